// Pointwell under Windows: the program runs its main dialog (template 102) modally and
// exits when it ends. The dialog procedure hands every event to MainDialog and does
// only the window calls MainView names.
#include "appplatform_win32.h"
#include "calibration_win32.h"
#include "maindialog.h"

namespace pointwell {
namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

class Win32MainView : public MainView {
public:
    explicit Win32MainView(HWND window) : window_(window) {}

    skin::Rect ClientRect() override
    {
        RECT r{};
        GetClientRect(window_, &r);
        return skin::Rect{r.left, r.top, r.right, r.bottom};
    }
    void ClientToScreen(int* x, int* y) override
    {
        POINT p{*x, *y};
        ::ClientToScreen(window_, &p);
        *x = p.x;
        *y = p.y;
    }
    void SetCapture() override { ::SetCapture(window_); }
    void ReleaseCapture() override { ::ReleaseCapture(); }
    void* SetTabCursor() override { return ::SetCursor(LoadCursorA(Instance(), MAKEINTRESOURCEA(IDC_TABCURSOR))); }
    void RestoreCursor(void* cursor) override { ::SetCursor(static_cast<HCURSOR>(cursor)); }
    void SetIcons() override
    {
        HICON big = static_cast<HICON>(LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, 32, 32, 0));
        HICON small = static_cast<HICON>(LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, 16, 16, 0));
        SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
        SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
    skin::DrawContext BeginDraw() override { return GetDC(window_); }
    void EndDraw(skin::DrawContext dc) override { ReleaseDC(window_, static_cast<HDC>(dc)); }
    bool IsMinimized() override { return IsIconic(window_) != 0; }
    void DrawIconCentred(skin::DrawContext dc) override
    {
        RECT r{};
        GetClientRect(window_, &r);
        const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
        DrawIcon(static_cast<HDC>(dc), (r.right - r.left - cx + 1) / 2, (r.bottom - r.top - cy + 1) / 2,
                 LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_MAIN)));
    }
    std::intptr_t RunCalibrationDialog(CalibrationScreen& screen) override
    {
        return ShowCalibrationDialog(window_, screen);
    }
    std::intptr_t RunVerifyDialog(VerifyCountdown& countdown) override { return ShowVerifyDialog(window_, countdown); }

private:
    HWND window_;
};

struct Session {
    MainDialog* tool = nullptr;
    app::Win32Dialog* dialog = nullptr;
    Win32MainView* view = nullptr;
};
Session g_session;

INT_PTR CALLBACK MainProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MainDialog* tool = g_session.tool;
    switch (msg) {
    case WM_INITDIALOG:
        g_session.dialog = new app::Win32Dialog(window);
        g_session.view = new Win32MainView(window);
        return tool->OnInitDialog(*g_session.dialog, *g_session.view) ? TRUE : FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0)
            tool->OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* n = reinterpret_cast<const NMHDR*>(lParam);
        if (n && n->idFrom == IDC_SLIDER && n->code == NM_RELEASEDCAPTURE)
            tool->OnSliderReleased();
        return FALSE;
    }
    case WM_TIMER:
        tool->OnTimer(wParam);
        return TRUE;
    case kStartCalibrationMessage:
        tool->OnStartCalibration();
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        tool->OnPaint(dc);
        EndPaint(window, &ps);
        return TRUE;
    }
    case WM_LBUTTONDOWN:
        tool->OnLButtonDown(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return FALSE;
    case WM_MOUSEMOVE:
        tool->OnMouseMove(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return FALSE;
    case WM_LBUTTONUP:
        tool->OnLButtonUp();
        return FALSE;
    case WM_CAPTURECHANGED:
        // lParam is the window that now holds the capture; the tool's own SetCapture
        // while it already holds it is no loss.
        if (reinterpret_cast<HWND>(lParam) != window)
            tool->OnCaptureLost();
        return FALSE;
    case WM_DESTROY:
        tool->OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace
}  // namespace pointwell

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    static pointwell::MainDialog tool;  // the process-wide objects live as long as the process
    pointwell::g_session.tool = &tool;
    tool.BeforeCreate();
    DialogBoxParamA(instance, MAKEINTRESOURCEA(pointwell::IDD_MAIN), nullptr, pointwell::MainProc, 0);
    // The dialog's end is the program's end; its result is not looked at.
    return 0;
}
