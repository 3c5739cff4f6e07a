#include "calibration.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "langtext.h"

namespace pointwell {

namespace {

using app::kSmCxScreen;
using app::kSmCyScreen;
constexpr std::uint32_t kRawOffDelayMs = 200;
constexpr std::uint32_t kAfterInjectMs = 2;

bool IsZero(const TouchEvent& e) { return e.x == 0 && e.y == 0 && e.kind == 0; }
bool Same(const TouchEvent& a, const TouchEvent& b) { return a.x == b.x && a.y == b.y && a.kind == b.kind; }

// trunc(v / size * scale), for a v already limited to 0..size; 0 when the size is
// unknown (a division by it would give no number at all).
std::uint32_t Normalise(std::int32_t v, int size, double scale)
{
    if (size <= 0)
        return 0;
    return static_cast<std::uint32_t>(static_cast<double>(v) / size * scale);
}

}  // namespace

void TargetPoint(int k, std::int32_t w, std::int32_t h, double* x, double* y)
{
    const bool right = k == 1 || k == 3;
    const bool bottom = k == 1 || k == 2;
    *x = (right ? 0.9 : 0.1) * w;
    *y = (bottom ? 0.9 : 0.1) * h;
}

void FormatMapping(double value, char out[64])
{
    // A diagonal whose targets share C = 0 computes it as 0 / (negative), which is
    // -0.0 and would be written "-0.000000".
    if (value == 0.0)
        value = 0.0;
    std::snprintf(out, 64, "%f", value);
}

bool FitAxis(double screenA, double screenB, double rawA, double rawB, double* k, double* c)
{
    if (!(std::fabs(rawA - rawB) > 0.1))
        return false;
    *k = (screenA - screenB) / (rawA - rawB);
    *c = (rawA * screenB - screenA * rawB) / (rawA - rawB);
    return true;
}

// ---- the procedure ---------------------------------------------------------------------

void Calibration::RunCalibration()
{
    CalibrationScreen screen(*this);
    VerifyCountdown countdown;
    for (;;) {
        calibrating_ = true;
        BeginCalibrationMode();
        const std::intptr_t shown = host_.RunCalibrationDialog(screen);
        // Enter saves nothing, and neither does a screen that never came up.
        if (shown != kResultEnter && shown != kResultFailed) {
            // The values in memory become exactly the stored texts.
            double mapping[4];
            const char* names[4] = {"Kx", "Ky", "Cx", "Cy"};
            for (int i = 0; i < 4; ++i) {
                char text[64] = {};
                host_.ReadText(names[i], text);
                text[sizeof(text) - 1] = 0;
                mapping[i] = std::strtod(text, nullptr);
            }
            host_.SetMapping(mapping[0], mapping[1], mapping[2], mapping[3]);
            host_.EnableSave();
            host_.SaveSettings();
        }
        EndCalibrationMode();
        calibrating_ = false;
        const std::intptr_t verified = host_.RunVerifyDialog(countdown);
        if (verified == kResultEscape)
            break;
        // An Examination dialog that cannot be shown would start pass after pass
        // without anyone able to stop it: the procedure ends unconfirmed instead.
        if (verified == kResultFailed)
            return;
    }
    host_.WriteText("IsCfg", "YES");
}

int Calibration::BeginCalibrationMode()
{
    if (host_.DevicePresent()) {
        DeviceLink& link = host_.Link();
        std::int32_t x = 0, y = 0;
        std::uint8_t status = 0;
        while (link.ReadSample(&x, &y, &status)) {
        }
        link.SendCommand(CMD_RAW_ON);
        app::CurrentAppPlatform().SetTimer(host_.MainWindow(), kPollTimerId, kPollPeriodMs);
    }
    return 1;
}

void Calibration::EndCalibrationMode()
{
    app::Platform& p = app::CurrentAppPlatform();
    p.KillTimer(host_.MainWindow(), kPollTimerId);
    p.Sleep(kRawOffDelayMs);
    if (host_.DevicePresent())
        host_.Link().SendCommand(CMD_RAW_OFF);
}

void Calibration::PollDevice()
{
    TouchEvent event;
    if (!host_.ReadTouchEvent(&event) || !calibrating_)
        return;
    if (IsZero(pollPredecessor_)) {
        pollPredecessor_ = event;  // the first event of a touch only arms the poll
        return;
    }
    if (Same(event, pollPredecessor_))
        return;
    pollPredecessor_ = event;
    if (event.kind == TOUCH_EVENT_RELEASE)
        pollPredecessor_ = TouchEvent();
    lastRaw_ = event;
    InjectButton(event.kind == TOUCH_EVENT_TOUCH ? 0x20 : 0, 0, 0, 0);
    app::CurrentAppPlatform().Sleep(kAfterInjectMs);
}

void Calibration::InjectButton(std::uint32_t flags, std::int32_t x, std::int32_t y, std::uint32_t extra)
{
    if (flags == lastFlags_ && x == lastX_ && y == lastY_)
        return;
    lastFlags_ = flags;
    lastX_ = x;
    lastY_ = y;

    std::uint32_t buttons = flags;
    if (flags == 0x20) {
        buttons = 1;
    } else if (flags == 0x10) {
        buttons = 2;
    }
    std::uint32_t event = kMouseMove;
    if (buttons != lastButtons_) {
        event = 0;
        const std::uint32_t changed = buttons ^ lastButtons_;
        if (changed & 1)
            event = (buttons & 1) ? kMouseLeftDown : kMouseLeftUp;
        if (changed & 2)
            event = (buttons & 2) ? kMouseRightDown : kMouseRightUp;
    }
    lastButtons_ = buttons;

    app::Platform& p = app::CurrentAppPlatform();
    const int sw = p.SystemMetric(kSmCxScreen);
    const int sh = p.SystemMetric(kSmCyScreen);
    if (x > sw)
        x = sw;
    if (y > sh)
        y = sh;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    p.MouseEvent(event | extra, Normalise(x, sw, 65535.0), Normalise(y, sh, 65535.0), 0);
}

// ---- the calibration window ------------------------------------------------------------

void CalibrationScreen::OnInit(CalibrationView& view)
{
    index_ = 0;
    app::Platform& p = app::CurrentAppPlatform();
    screenW_ = p.SystemMetric(kSmCxScreen);
    screenH_ = p.SystemMetric(kSmCyScreen);
    const skin::Rect r = view.Maximise();
    w_ = static_cast<std::int32_t>(r.right);
    h_ = static_cast<std::int32_t>(r.bottom);
    view.SetTargetIcon();
    // Both pictures come from the language's own folder, never the logo-free one.
    const std::string targetPath = SkinImagePath("calibratebtn.bmp", false);
    const std::string promptPath = SkinImagePath("prompt.bmp", false);
    targetLoaded_ = !targetPath.empty() && target_.Load(targetPath.c_str()) == 1;
    promptLoaded_ = !promptPath.empty() && prompt_.Load(promptPath.c_str()) == 1;
    p.ShowCursor(false);
    DrawTargets(view);
}

void CalibrationScreen::OnPaint(CalibrationView& view)
{
    view.FillBackground(screenW_, screenH_);
    DrawTargets(view);
}

void CalibrationScreen::OnDestroy()
{
    app::CurrentAppPlatform().ShowCursor(true);
    target_.Clear();
    prompt_.Clear();
    targetLoaded_ = promptLoaded_ = false;
}

void CalibrationScreen::DrawTargets(CalibrationView& view)
{
    if (!targetLoaded_ && !promptLoaded_)
        return;
    skin::DrawContext dc = view.BeginDraw();
    if (targetLoaded_ && index_ >= 0 && index_ <= 3) {
        double tx, ty;
        TargetPoint(index_, w_, h_, &tx, &ty);
        const int x = static_cast<int>(tx);
        const int y = static_cast<int>(ty);
        view.PlaceTarget(x - 12, y - 12, 24, 24);
        target_.Draw(dc, x - 32, y - 32, 64, 64);
    }
    if (promptLoaded_) {
        prompt_.Draw(dc, static_cast<int>(0.5 * w_) - 150, static_cast<int>(0.5 * h_) - 100, 300, 200);
    }
    view.EndDraw(dc);
}

void CalibrationScreen::Repaint(CalibrationView& view)
{
    view.FillBackground(screenW_, screenH_);
    DrawTargets(view);
}

void CalibrationScreen::CalibrationStep(CalibrationView& view)
{
    const int k = index_;
    const double rawX = calibration_.lastRaw().x;
    const double rawY = calibration_.lastRaw().y;
    if (k == 0 || k == 2) {
        TargetPoint(k, w_, h_, &xa_, &ya_);
        rxa_ = rawX;
        rya_ = rawY;
    } else if (k == 1 || k == 3) {
        TargetPoint(k, w_, h_, &xb_, &yb_);
        rxb_ = rawX;
        ryb_ = rawY;
        // Both axes or neither: a diagonal is taken only when it spans both.
        Calibration::Pair& pair = calibration_.pair(k == 1 ? 0 : 1);
        if (std::fabs(rxa_ - rxb_) > 0.1 && std::fabs(rya_ - ryb_) > 0.1) {
            FitAxis(xa_, xb_, rxa_, rxb_, &pair.k[0], &pair.c[0]);
            FitAxis(ya_, yb_, rya_, ryb_, &pair.k[1], &pair.c[1]);
        }
        if (k == 3) {
            CalibrationHost& host = calibration_.host();
            const Calibration::Pair& p1 = calibration_.pair(0);
            const Calibration::Pair& p2 = calibration_.pair(1);
            const double values[4] = {(p2.k[0] + p1.k[0]) * 0.5, (p2.k[1] + p1.k[1]) * 0.5, (p2.c[0] + p1.c[0]) * 0.5,
                                      (p2.c[1] + p1.c[1]) * 0.5};
            const char* names[4] = {"Kx", "Ky", "Cx", "Cy"};
            // Without the tool key the four writes would be lost, and the tables rebuilt
            // right after from nothing: the key is made first.
            host.EnsureKey();
            for (int i = 0; i < 4; ++i) {
                char text[64];
                FormatMapping(values[i], text);
                host.WriteText(names[i], text);
            }
        }
    }
    index_ = k + 1;
    Repaint(view);
    if (index_ >= 4) {
        view.End(0);
        target_.Clear();
        prompt_.Clear();
        targetLoaded_ = promptLoaded_ = false;
    }
}

// ---- the Examination dialog ------------------------------------------------------------

void VerifyCountdown::OnInit(app::Dialog& dialog)
{
    dialog.SetText(IDC_VERIFY_COUNTER, "0");
    dialog.SendItemMessage(IDC_VERIFY_PROGRESS, kPbmSetRange, 0, static_cast<std::intptr_t>(kVerifySeconds) << 16);
    dialog.SendItemMessage(IDC_VERIFY_PROGRESS, kPbmSetPos, 0, 0);
    char text[256];
    const struct {
        int id;
        const LangKey& key;
    } lines[] = {{IDC_VERIFY_MSG1, langkeys::ChkMsg1},
                 {IDC_VERIFY_MSG2, langkeys::ChkMsg2},
                 {IDC_VERIFY_MSG3, langkeys::ChkMsg3},
                 {IDC_VERIFY_OK, langkeys::Ok}};
    for (const auto& line : lines) {
        LangText(line.key, text);
        dialog.SetText(line.id, text);
    }
    app::CurrentAppPlatform().SetTimer(dialog.handle(), kVerifyTimerId, kVerifyTickMs);
}

void VerifyCountdown::OnTick(app::Dialog& dialog)
{
    const std::intptr_t p = dialog.SendItemMessage(IDC_VERIFY_PROGRESS, kPbmGetPos, 0, 0);
    if (p >= kVerifySeconds) {
        app::CurrentAppPlatform().KillTimer(dialog.handle(), kVerifyTimerId);
        dialog.End(0);
        return;
    }
    dialog.SendItemMessage(IDC_VERIFY_PROGRESS, kPbmSetPos, static_cast<std::uintptr_t>(p + 1), 0);
    char counter[24];
    std::snprintf(counter, sizeof(counter), "%d", static_cast<int>(p + 1));
    dialog.SetText(IDC_VERIFY_COUNTER, counter);
}

}  // namespace pointwell
