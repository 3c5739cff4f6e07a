// A main window that shows nothing: for runs of the main dialog's logic that look
// only at what it stores and sends (the frame tests, the benchmarks). The
// calibration's windows cannot be shown; a test that plays the user at them derives
// from this view and overrides the two dialogs.
#pragma once

#include "maindialog.h"

namespace pointwell {

class HeadlessView : public MainView {
public:
    skin::Rect ClientRect() override { return skin::Rect{0, 0, 561, 400}; }
    void ClientToScreen(int*, int*) override {}
    void SetCapture() override {}
    void ReleaseCapture() override {}
    void* SetTabCursor() override { return nullptr; }
    void RestoreCursor(void*) override {}
    void SetIcons() override {}
    skin::DrawContext BeginDraw() override { return nullptr; }
    void EndDraw(skin::DrawContext) override {}
    bool IsMinimized() override { return false; }
    void DrawIconCentred(skin::DrawContext) override {}
    std::intptr_t RunCalibrationDialog(CalibrationScreen&) override { return kResultFailed; }
    std::intptr_t RunVerifyDialog(VerifyCountdown&) override { return kResultFailed; }
};

}  // namespace pointwell
