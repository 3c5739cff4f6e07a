// The calibration: four targets on a full-screen window, the linear mapping from the
// frame's raw coordinates to screen pixels, the stored tables and the confirmation.
//
// While a pass runs, Zelko is in raw mode and the tool reads the touches itself
// (PollDevice, every 5 ms from the main window's timer 1028): each touch becomes a
// left-button press and release at the cursor, which operates the calibration
// window, and the raw point of the release is what CalibrationStep takes for the
// target on show. Plain C++: the system calls go through app::Platform, the main
// dialog's part through CalibrationHost, and the two windows' Win32 side lives in
// calibration_win32.cpp.
#pragma once

#include <cstdint>

#include "appplatform.h"
#include "bmpimage.h"
#include "devicelink.h"

namespace pointwell {

// Resource and control ids of the two dialogs.
enum : int {
    IDD_CALIBRATE = 131,  // the full-screen calibration window
    IDC_TARGET = 1011,    // its flat target button
    IDI_TARGET = 159,     // the button's icon, 32 x 32, 16 colours
    IDD_VERIFY = 156,     // "Examination"
    IDB_VERIFY = 163,     // its 64 x 64 picture
    IDC_VERIFY_PROGRESS = 1036,
    IDC_VERIFY_COUNTER = 1037,
    IDC_VERIFY_OK = 1038,
    IDC_VERIFY_MSG1 = 1047,
    IDC_VERIFY_MSG2 = 1048,
    IDC_VERIFY_MSG3 = 1049,
};

constexpr std::uintptr_t kPollTimerId = 1028;  // on the main window
constexpr std::uint32_t kPollPeriodMs = 5;
constexpr std::uintptr_t kVerifyTimerId = 0;  // on the Examination dialog
constexpr std::uint32_t kVerifyTickMs = 1000;
// The Examination dialog waits twenty one-second ticks: the bar fills up, the
// counter reaches 20, and the next tick starts a new pass. The dialog's texts in
// every language speak of 20 seconds.
constexpr int kVerifySeconds = 20;

// Mouse event flags (mouse_event).
enum : std::uint32_t {
    kMouseMove = 0x01,
    kMouseLeftDown = 0x02,
    kMouseLeftUp = 0x04,
    kMouseRightDown = 0x08,
    kMouseRightUp = 0x10,
};

// Progress-bar and window messages the Examination dialog sends.
enum : std::uint32_t {
    kPbmSetRange = 0x0401,  // PBM_SETRANGE
    kPbmSetPos = 0x0402,    // PBM_SETPOS
    kPbmGetPos = 0x0408,    // PBM_GETPOS
};

// Dialog results.
constexpr std::intptr_t kResultEnter = 1;    // IDOK: the Enter key
constexpr std::intptr_t kResultEscape = 2;   // IDCANCEL: the Escape key
constexpr std::intptr_t kResultFailed = -1;  // the dialog could not be shown

// The screen point of target k (0 top left, 1 bottom right, 2 bottom left, 3 top
// right) on a window whose right and bottom are w and h, untruncated.
void TargetPoint(int k, std::int32_t w, std::int32_t h, double* x, double* y);

// "%f" of a value, as the mapping is stored.
void FormatMapping(double value, char out[64]);

// One side of the mapping: screen = k * raw + c through two points (raw a -> screen
// a, raw b -> screen b). False, and nothing written, when the raw values differ by
// 0.1 or less.
bool FitAxis(double screenA, double screenB, double rawA, double rawB, double* k, double* c);

class CalibrationScreen;
class VerifyCountdown;

// What the tool's main dialog lends the calibration.
class CalibrationHost {
public:
    virtual ~CalibrationHost() = default;
    // The main dialog's device-present flag.
    virtual bool DevicePresent() = 0;
    // The process-wide device link (reading pending samples away, the commands).
    virtual DeviceLink& Link() = 0;
    // The process-wide ReadTouchEvent.
    virtual int ReadTouchEvent(TouchEvent* event) = 0;
    // The main window: owner of the poll timer and of the calibration's windows.
    virtual app::Window MainWindow() = 0;
    // The tool key's values (RegistryStore): EnsureKey, WriteText and ReadText (a
    // buffer of at least 50 bytes, left as it was when the value is missing).
    virtual void EnsureKey() = 0;
    virtual void WriteText(const char* name, const char* text) = 0;
    virtual void ReadText(const char* name, char* buffer) = 0;
    // The mapping in the in-memory settings record.
    virtual void SetMapping(double kx, double ky, double cx, double cy) = 0;
    // The Save button's state, and SaveSettings (every setting, both tables, CMD_RELOAD).
    virtual void EnableSave() = 0;
    virtual void SaveSettings() = 0;
    // Modal runs of the two windows; the result each ended with (kResultFailed when
    // it could not be shown).
    virtual std::intptr_t RunCalibrationDialog(CalibrationScreen& screen) = 0;
    virtual std::intptr_t RunVerifyDialog(VerifyCountdown& countdown) = 0;
};

// The process-wide state of the calibration and its procedure.
class Calibration {
public:
    explicit Calibration(CalibrationHost& host) : host_(host) {}

    // The whole procedure; returns once the user has confirmed a calibration (or the
    // Examination dialog could not be shown at all).
    void RunCalibration();
    // Reads pending samples away, CMD_RAW_ON, starts the poll timer (with a device).
    int BeginCalibrationMode();
    // Stops the poll timer, waits 200 ms, CMD_RAW_OFF (with a device).
    void EndCalibrationMode();
    // One tick of the poll timer.
    void PollDevice();
    // One mouse event, unless (flags, x, y) repeats the last one.
    void InjectButton(std::uint32_t flags, std::int32_t x, std::int32_t y, std::uint32_t extra);

    bool calibrating() const { return calibrating_; }
    void set_calibrating(bool on) { calibrating_ = on; }
    const TouchEvent& lastRaw() const { return lastRaw_; }
    void set_lastRaw(const TouchEvent& e) { lastRaw_ = e; }
    CalibrationHost& host() { return host_; }

    // The pair results of the two diagonals: k[axis], c[axis] with axis 0 = x, 1 = y.
    struct Pair {
        double k[2] = {0.0, 0.0};
        double c[2] = {0.0, 0.0};
    };
    Pair& pair(int diagonal) { return pairs_[diagonal]; }

private:
    CalibrationHost& host_;
    bool calibrating_ = false;
    TouchEvent lastRaw_;
    TouchEvent pollPredecessor_;
    std::uint32_t lastFlags_ = 0;
    std::int32_t lastX_ = 0;
    std::int32_t lastY_ = 0;
    std::uint32_t lastButtons_ = 0;
    Pair pairs_[2];
};

// The window side of the calibration screen (calibration_win32.cpp, or a test's).
class CalibrationView {
public:
    virtual ~CalibrationView() = default;
    // ShowWindow(SW_MAXIMIZE), then GetWindowRect.
    virtual skin::Rect Maximise() = 0;
    // The target button: MoveWindow to (x, y, w, h), BM_SETIMAGE with icon 159 and
    // UpdateWindow. SetTargetIcon alone puts the icon on it.
    virtual void PlaceTarget(int x, int y, int w, int h) = 0;
    virtual void SetTargetIcon() = 0;
    // A drawing context of the window for the images, and its release.
    virtual skin::DrawContext BeginDraw() = 0;
    virtual void EndDraw(skin::DrawContext dc) = 0;
    // Rectangle from (0, 0) to (w, h): black pen of width 1, brush RGB(0, 0, 55).
    virtual void FillBackground(int w, int h) = 0;
    virtual void End(std::intptr_t result) = 0;  // EndDialog
};

// The logic of the calibration window (template 131).
class CalibrationScreen {
public:
    explicit CalibrationScreen(Calibration& calibration) : calibration_(calibration) {}

    void OnInit(CalibrationView& view);
    void OnPaint(CalibrationView& view);
    // A click on the target button or a left-button release on the window.
    void OnStep(CalibrationView& view) { CalibrationStep(view); }
    void OnDestroy();

    void DrawTargets(CalibrationView& view);
    void CalibrationStep(CalibrationView& view);

    int index() const { return index_; }
    std::int32_t width() const { return w_; }
    std::int32_t height() const { return h_; }
    bool targetLoaded() const { return targetLoaded_; }
    bool promptLoaded() const { return promptLoaded_; }

private:
    void Repaint(CalibrationView& view);

    Calibration& calibration_;
    int index_ = 0;
    double xa_ = 0, ya_ = 0, xb_ = 0, yb_ = 0;
    double rxa_ = 0, rya_ = 0, rxb_ = 0, ryb_ = 0;
    std::int32_t w_ = 0, h_ = 0;     // the window's right and bottom
    int screenW_ = 0, screenH_ = 0;  // SM_CXSCREEN, SM_CYSCREEN
    BmpImage target_;
    BmpImage prompt_;
    bool targetLoaded_ = false;
    bool promptLoaded_ = false;
};

// The logic of the Examination dialog (template 156): a countdown of one-second
// ticks that ends the dialog with 0 when nobody confirms.
class VerifyCountdown {
public:
    void OnInit(app::Dialog& dialog);
    void OnTick(app::Dialog& dialog);
};

}  // namespace pointwell
