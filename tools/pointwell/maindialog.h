// Pointwell's main dialog: start-up, the skinned pages, the tabs and dragging, the
// settings it stores and the companions it starts and closes.
//
// Plain C++: system calls go through app::Platform, the controls through
// app::Dialog, and what only the main window itself does (its client rectangle,
// capture, cursor, icons, drawing contexts, the calibration's modal windows)
// through MainView. pointwell_win32.cpp has the Win32 side; tests drive the
// native one.
#pragma once

#include <cstdint>

#include "appplatform.h"
#include "bmpimage.h"
#include "calibration.h"
#include "devicelink.h"
#include "toolsettings.h"

namespace pointwell {

// Resources and controls of the main dialog (template 102).
enum : int {
    IDD_MAIN = 102,
    IDI_MAIN = 134,       // the program's icon, 32 x 32 and 16 x 16
    IDC_TABCURSOR = 157,  // the cursor over a tab, hot spot (12, 1)
    IDC_CONFIG = 1006,
    IDC_SAVE = 1009,
    IDC_CLOSE = 1028,
    IDC_MODEGROUP = 1046,
    IDC_UPMODE = 1017,
    IDC_DOWNMODE = 1018,
    IDC_DRAGMODE = 1019,
    IDC_SERCLICKMODE = 1052,
    IDC_OEMMODE = 1053,
    IDC_HIDDENMODE = 1054,
    IDC_STABILITYGROUP = 1043,
    IDC_SLIDER = 1021,
    IDC_SLIDERLOW = 1044,
    IDC_SLIDERHIGH = 1045,
    IDC_BEEPBOX = 1040,
    IDC_DISABLEBOX = 1050,
    IDC_SWAPXYBOX = 1041,
    IDC_SWAPBUTTONBOX = 1026,
    IDC_PAGETEXT = 1025,
};

constexpr std::uint32_t kStartCalibrationMessage = 9999;  // posted to the main window
constexpr std::uintptr_t kStartTimerId = 100;             // the delayed first calibration
constexpr std::uint32_t kStartDelayMs = 100;
constexpr std::uint32_t kTabFlashMs = 200;
constexpr std::uint32_t kSaveWaitMs = 500;
constexpr std::uint32_t kPageTextMax = 10200;
// Client size to skin scale: sx = width * kScaleX (the constant exactly, not a
// division by 561), sy = height * kScaleY.
constexpr double kScaleX = 0.0017825311942959;
constexpr double kScaleY = 0.0025;

// The main window's own calls.
class MainView {
public:
    virtual ~MainView() = default;
    virtual skin::Rect ClientRect() = 0;              // GetClientRect
    virtual void ClientToScreen(int* x, int* y) = 0;  // ClientToScreen
    virtual void SetCapture() = 0;
    virtual void ReleaseCapture() = 0;
    // LoadCursorA(IDC_TABCURSOR) + SetCursor: the cursor it replaced.
    virtual void* SetTabCursor() = 0;
    virtual void RestoreCursor(void* cursor) = 0;            // SetCursor
    virtual void SetIcons() = 0;                             // WM_SETICON, big and small, icon 134
    virtual skin::DrawContext BeginDraw() = 0;               // GetDC
    virtual void EndDraw(skin::DrawContext dc) = 0;          // ReleaseDC
    virtual bool IsMinimized() = 0;                          // IsIconic
    virtual void DrawIconCentred(skin::DrawContext dc) = 0;  // DrawIcon in the client area's middle
    // The calibration's modal windows over the main window.
    virtual std::intptr_t RunCalibrationDialog(CalibrationScreen& screen) = 0;
    virtual std::intptr_t RunVerifyDialog(VerifyCountdown& countdown) = 0;
};

// The tab k (0 Mode, 1 Data, 2 Verify, 3 Exit) under a client point for the scale
// (sx, sy), or -1: trunc(15 sx) < x < trunc(81 sx) and the tab's band
// trunc(a sy) < y < trunc(b sy), every bound exclusive.
int TabAt(double sx, double sy, int x, int y);
// The title area that drags the window: trunc(5 sx) < x < trunc(604 sx),
// trunc(4 sy) < y < trunc(77 sy).
bool InTitleArea(double sx, double sy, int x, int y);

class MainDialog : public CalibrationHost, public LinkNotifier {
public:
    MainDialog();

    // Steps 1 to 3 of the initialisation, before the dialog's controls exist: the
    // device-present flag, the nologo setting, the language.
    void BeforeCreate();
    // Steps 5 to 17, once the controls exist. Returns true (focus to the framework).
    bool OnInitDialog(app::Dialog& dialog, MainView& view);
    void OnCommand(int id);   // buttons; IDOK / IDCANCEL end the dialog
    void OnSliderReleased();  // NM_RELEASEDCAPTURE from the slider
    void OnTimer(std::uintptr_t id);
    void OnStartCalibration();           // message 9999
    void OnPaint(skin::DrawContext dc);  // between BeginPaint and EndPaint
    void OnLButtonDown(int x, int y);
    void OnMouseMove(int x, int y);
    void OnLButtonUp();
    void OnCaptureLost();  // another window took the mouse capture
    void OnDestroy();

    void ShowPage();
    void SaveSettings() override;
    void CloseTool();

    // ---- CalibrationHost ----------------------------------------------------------------
    bool DevicePresent() override { return devicePresent_; }
    DeviceLink& Link() override { return link_; }
    int ReadTouchEvent(TouchEvent* event) override { return pointwell::ReadTouchEvent(link_, event); }
    app::Window MainWindow() override;
    void EnsureKey() override { store_.EnsureKey(); }
    void WriteText(const char* name, const char* text) override { store_.WriteText(name, text); }
    void ReadText(const char* name, char* buffer) override { store_.ReadText(name, buffer); }
    void SetMapping(double kx, double ky, double cx, double cy) override;
    void EnableSave() override;
    std::intptr_t RunCalibrationDialog(CalibrationScreen& screen) override;
    std::intptr_t RunVerifyDialog(VerifyCountdown& countdown) override;

    // ---- LinkNotifier: the device link's messages ---------------------------------------
    void Show(const LangKey& message) override;

    // ---- state a test reads ---------------------------------------------------------------
    int page() const { return page_; }
    double sx() const { return sx_; }
    double sy() const { return sy_; }
    bool dragging() const { return dragging_; }
    bool noLogo() const { return noLogo_; }
    int osVersionCode() const { return osVersionCode_; }
    bool backgroundLoaded() const { return mainLoaded_; }
    bool highlightLoaded() const { return highlightLoaded_; }
    const skin::Rect& tabRect(int k) const { return tabRects_[k]; }
    const ToolSettings& settings() const { return settings_; }
    Calibration& calibration() { return calibration_; }
    bool calibrationStartPending() const { return startTimerRunning_; }

private:
    void InitControls();
    void LoadSkin();
    void SetCaptions();
    void DrawTab(int k, bool highlighted);
    void StartCompanion(const char* exe, const char* title);
    void CloseCompanion(const char* title);
    std::string CompanionPath(const char* exe) const;

    app::Dialog* dialog_ = nullptr;
    MainView* view_ = nullptr;
    DeviceLink link_;
    RegistryStore store_;
    ToolSettings settings_;
    Calibration calibration_;
    bool devicePresent_ = false;
    bool noLogo_ = false;
    int osVersionCode_ = -1;
    // Skin.
    BmpImage main_;
    BmpImage highlight_;
    bool mainLoaded_ = false;
    bool highlightLoaded_ = false;
    double sx_ = 1.0, sy_ = 1.0;
    skin::Rect tabRects_[4];
    int page_ = 1;
    int shownPage_ = 0;  // the page whose controls and text are up (0: none yet)
    void* replacedCursor_ = nullptr;
    bool dragging_ = false;
    int dragX_ = 0, dragY_ = 0;
    // The delayed first calibration.
    bool startTimerRunning_ = false;
    bool startPosted_ = false;
};

}  // namespace pointwell
