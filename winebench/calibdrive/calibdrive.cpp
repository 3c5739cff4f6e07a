// calibdrive DIR [--timeout]
//
// Plays the user at Pointwell's calibration under Wine: waits for the main window
// "Pointwell" and for the calibration screen (a dialog holding the target button
// 1011), then for each target the screen shows injects a touch at the virtual
// frame at the target's raw point, from the frame's linear map
//   raw x = 300 + 4.4 * screen x,   raw y = 4700 - 5.5 * screen y
// (a finger settling on it: down two raw units off, held one off, then on it, and
// lifted on it), and times the release to the step (the target button moves on, or
// the screen ends after the fourth). After four targets it waits for
// "Examination"; with --timeout it first lets that dialog run out and waits for the
// second pass's screen, presses Enter there (the pass ends unsaved and the
// Examination follows at once) and Enter in the Examination (no confirmation: a new
// pass), calibrates again, then presses Ok. Last, with raw mode off,
// it touches each target's raw point again and reads Zelko's mapped event through
// "\\.\Zelkode".
//
// It says "ready" once it watches for the tool's windows. Two pauses for screenshots: it prints "shot NAME" and waits
// for the file DIR\go-NAME. Every finding is one line "key values..." on standard output; the exit code is 0 when the
// procedure could be driven to its end, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vusbctl.h"
#include "zelkoioctl.h"

namespace {

HANDLE g_bus = INVALID_HANDLE_VALUE;
std::string g_dir;
LARGE_INTEGER g_freq;

double NowMs()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(g_freq.QuadPart);
}

void Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

bool Report(int x, int y, unsigned char status)
{
    VUSB_INJECT inj{};
    inj.kind = VUSB_INJECT_DATA;
    inj.length = VUSB_REPORT_BYTES;
    inj.data[2] = static_cast<unsigned char>(x & 0xFF);
    inj.data[3] = static_cast<unsigned char>(x >> 8);
    inj.data[4] = static_cast<unsigned char>(y & 0xFF);
    inj.data[5] = static_cast<unsigned char>(y >> 8);
    inj.data[6] = status;
    ULONG delivered = 0;
    DWORD returned = 0;
    return DeviceIoControl(g_bus, IOCTL_VUSB_INJECT, &inj, sizeof(inj), &delivered, sizeof(delivered), &returned,
                           nullptr) != FALSE;
}

int RawX(double sx) { return static_cast<int>(300.0 + 4.4 * sx + 0.5); }
int RawY(double sy) { return static_cast<int>(4700.0 - 5.5 * sy + 0.5); }

// The calibration screen: a visible top-level dialog with the target button.
HWND g_found = nullptr;
BOOL CALLBACK FindScreen(HWND w, LPARAM)
{
    if (IsWindowVisible(w) && GetDlgItem(w, 1011)) {
        g_found = w;
        return FALSE;
    }
    return TRUE;
}
HWND CalibrationScreen()
{
    g_found = nullptr;
    EnumWindows(FindScreen, 0);
    return g_found;
}

HWND Visible(const char* title)
{
    HWND w = FindWindowA(nullptr, title);
    return w && IsWindowVisible(w) ? w : nullptr;
}

template <typename F>
bool WaitFor(double ms, F done)
{
    const double end = NowMs() + ms;
    while (NowMs() < end) {
        if (done())
            return true;
        Sleep(1);
    }
    return done();
}

// A key typed at a window of the tool: WM_KEYDOWN and WM_KEYUP posted to the control
// that holds the focus in top (or to top), as the dialog manager sees typed keys.
void Key(HWND top, UINT vk)
{
    HWND to = top;
    GUITHREADINFO gti{};
    gti.cbSize = sizeof(gti);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &gti) && gti.hwndFocus &&
        (gti.hwndFocus == top || IsChild(top, gti.hwndFocus)))
        to = gti.hwndFocus;
    const LPARAM down = 1 | (static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16);
    PostMessageA(to, WM_KEYDOWN, vk, down);
    PostMessageA(to, WM_KEYUP, vk, down | (1UL << 30) | (1UL << 31));
}

void Pause(const char* name)
{
    Say("shot %s", name);
    const std::string go = g_dir + "\\go-" + name;
    WaitFor(30000, [&] { return GetFileAttributesA(go.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

void TargetPoint(int k, const RECT& r, double* x, double* y)
{
    *x = (k == 1 || k == 3 ? 0.9 : 0.1) * r.right;
    *y = (k == 1 || k == 2 ? 0.9 : 0.1) * r.bottom;
}

// A touch at (rx, ry): settling, held, lifted; 15 ms between reports, so that the
// tool's 5 ms poll reads each one.
void Touch(int rx, int ry)
{
    const int settle[] = {2, 1, 0, 0};
    const unsigned char status[] = {0x81, 0x82, 0x82, 0x82};
    for (int i = 0; i < 4; ++i) {
        Report(rx + settle[i], ry + settle[i], status[i]);
        Sleep(15);
    }
}

// Four targets on the screen; false when a step did not come.
bool Calibrate(int pass, bool shoot)
{
    for (int k = 0; k < 4; ++k) {
        HWND screen = CalibrationScreen();
        if (!screen) {
            Say("error pass %d target %d: no calibration screen", pass, k);
            return false;
        }
        RECT r{};
        GetWindowRect(screen, &r);
        if (k == 0)
            Say("screen %ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
        double sx, sy;
        TargetPoint(k, r, &sx, &sy);
        const int rx = RawX(sx), ry = RawY(sy);
        HWND button = GetDlgItem(screen, 1011);
        RECT before{};
        GetWindowRect(button, &before);
        if (k == 0 && shoot)
            Pause("screen");
        Touch(rx, ry);
        Report(rx, ry, 0x84);
        const double up = NowMs();
        const bool stepped = WaitFor(3000, [&] {
            if (k == 3)
                return !IsWindow(screen) || !IsWindowVisible(screen);
            RECT now{};
            GetWindowRect(button, &now);
            return std::memcmp(&now, &before, sizeof(RECT)) != 0;
        });
        const double step = NowMs() - up;
        Say("target %d %d %.1f %.1f %d %d", pass, k, sx, sy, rx, ry);
        if (!stepped) {
            Say("error pass %d target %d: no step within 3 s of the release", pass, k);
            return false;
        }
        Say("step %d %d %.2f", pass, k, step);
        Sleep(30);
    }
    return true;
}

bool ZelkoEvent(HANDLE zelko, unsigned* x, unsigned* y, unsigned* code)
{
    unsigned char record[16] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(zelko, IOCTL_ZELKO_GET_EVENT, nullptr, 0, record, sizeof(record), &returned, nullptr))
        return false;
    *x = ZelkoGetU32(record + 4);
    *y = ZelkoGetU32(record + 8);
    *code = ZelkoGetU32(record + 12) & 0xFF;
    return !(*x == ZELKO_NO_EVENT && *y == ZELKO_NO_EVENT && *code == ZELKO_NO_EVENT);
}

}  // namespace

int main(int argc, char** argv)
{
    QueryPerformanceFrequency(&g_freq);
    if (argc < 2) {
        std::fprintf(stderr, "usage: calibdrive DIR [--timeout]\n");
        return 2;
    }
    g_dir = argv[1];
    const bool timeout = argc > 2 && std::strcmp(argv[2], "--timeout") == 0;

    WaitFor(10000, [] {
        g_bus = CreateFileA(VUSB_CTL_USER_PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
        return g_bus != INVALID_HANDLE_VALUE;
    });
    if (g_bus == INVALID_HANDLE_VALUE) {
        Say("error: the bus's control device does not open");
        return 1;
    }

    // Started before the tool: the script starts Pointwell.exe once this is said.
    Say("ready");
    // The main window, then the calibration screen that its 100 ms timer brings.
    double mainAt = 0, screenAt = 0;
    if (!WaitFor(30000, [&] { return Visible("Pointwell") != nullptr || CalibrationScreen(); })) {
        Say("error: no main window");
        return 1;
    }
    mainAt = NowMs();
    if (!WaitFor(10000, [&] { return CalibrationScreen() != nullptr; })) {
        Say("error: no calibration screen");
        return 1;
    }
    screenAt = NowMs();
    Say("screen_after_main %.1f", screenAt - mainAt);
    Sleep(300);  // the screen settles (maximised, painted)

    if (!Calibrate(1, true))
        return 1;
    double examAt = 0;
    if (!WaitFor(5000, [&] { return Visible("Examination") != nullptr; })) {
        Say("error: no Examination dialog after the fourth target");
        return 1;
    }
    examAt = NowMs();
    Say("examination 1");

    if (timeout) {
        // Nobody confirms: the countdown ends the dialog and a new pass begins.
        if (!WaitFor(40000, [&] { return !Visible("Examination") && CalibrationScreen(); })) {
            Say("error: no second pass after the Examination dialog");
            return 1;
        }
        Say("second_pass_after %.0f", NowMs() - examAt);
        Sleep(300);
        // Enter on the calibration screen ends the pass without a target taken: the
        // Examination follows at once. Windows' dialog manager makes a push button that
        // takes the focus the default one (BM_SETSTYLE BS_DEFPUSHBUTTON to a control
        // answering DLGC_UNDEFPUSHBUTTON), when the dialog starts and when it is clicked;
        // Wine's does not, so the finger does it here, and Enter then finds the
        // target button as it would on Windows.
        HWND screen = CalibrationScreen();
        HWND target = GetDlgItem(screen, 1011);
        if (SendMessageA(target, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)
            SendMessageA(target, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        Key(screen, VK_RETURN);
        if (!WaitFor(3000, [&] { return Visible("Examination") != nullptr && !CalibrationScreen(); })) {
            Say("error: Enter did not end the calibration screen");
            return 1;
        }
        Say("enter_screen examination");
        // Enter in the Examination is no confirmation: another pass starts.
        Key(Visible("Examination"), VK_RETURN);
        if (!WaitFor(3000, [&] { return !Visible("Examination") && CalibrationScreen(); })) {
            Say("error: Enter in the Examination did not start a new pass");
            return 1;
        }
        Say("enter_examination new pass");
        Sleep(300);
        if (!Calibrate(2, false))
            return 1;
        if (!WaitFor(5000, [&] { return Visible("Examination") != nullptr; })) {
            Say("error: no Examination dialog after the second pass");
            return 1;
        }
        Say("examination 2");
    }
    Sleep(1500);  // the countdown shows a tick or so
    HWND exam = Visible("Examination");
    char counter[32] = {};
    GetDlgItemTextA(exam, 1037, counter, sizeof(counter));
    Say("counter %s", counter);
    Pause("examination");
    PostMessageA(exam, WM_COMMAND, MAKEWPARAM(1038, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(exam, 1038)));
    if (!WaitFor(5000, [&] { return Visible("Examination") == nullptr; })) {
        Say("error: Ok did not end the Examination dialog");
        return 1;
    }
    Say("confirmed");
    Sleep(300);

    // Raw mode is off: a touch on each target's raw point comes back mapped.
    HANDLE zelko =
        CreateFileA(ZELKO_USER_PATH, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (zelko == INVALID_HANDLE_VALUE) {
        Say("error: \\\\.\\Zelkode does not open");
        return 1;
    }
    unsigned x, y, code;
    while (ZelkoEvent(zelko, &x, &y, &code)) {
    }
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    RECT full{0, 0, sw, sh};
    for (int k = 0; k < 4; ++k) {
        double sx, sy;
        TargetPoint(k, full, &sx, &sy);
        Report(RawX(sx), RawY(sy), 0x81);
        bool got = WaitFor(2000, [&] { return ZelkoEvent(zelko, &x, &y, &code); });
        Report(RawX(sx), RawY(sy), 0x84);
        Sleep(50);
        unsigned dummy1, dummy2, dummy3;
        while (ZelkoEvent(zelko, &dummy1, &dummy2, &dummy3)) {
        }
        if (!got) {
            Say("probe %d none", k);
            continue;
        }
        // The point on the 0-65535 scale, and one screen pixel on it.
        Say("probe %d %u %u %.1f %.1f %.1f %.1f", k, x, y, sx / sw * 65535.0, sy / sh * 65535.0, 65535.0 / sw,
            65535.0 / sh);
        Sleep(50);
    }
    CloseHandle(zelko);
    return 0;
}
