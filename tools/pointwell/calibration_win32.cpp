// The calibration's windows under Windows: the dialog procedures of templates 131
// and 156 hand every event to the plain logic (CalibrationScreen, VerifyCountdown)
// and do only the drawing and window calls it asks for.
#include "calibration_win32.h"

namespace pointwell {

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// The calibration window's calls.
class ScreenView : public CalibrationView {
public:
    explicit ScreenView(HWND window) : window_(window) {}

    skin::Rect Maximise() override
    {
        // The size the window returns to when it is restored is the screen too: Wine
        // restores a captionless popup right after showing it maximised.
        MoveWindow(window_, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), FALSE);
        ShowWindow(window_, SW_MAXIMIZE);
        RECT r{};
        GetWindowRect(window_, &r);
        return skin::Rect{r.left, r.top, r.right, r.bottom};
    }
    void PlaceTarget(int x, int y, int w, int h) override
    {
        HWND button = GetDlgItem(window_, IDC_TARGET);
        MoveWindow(button, x, y, w, h, TRUE);
        SetTargetIcon();
        UpdateWindow(button);
    }
    void SetTargetIcon() override
    {
        HICON icon = LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_TARGET));
        SendDlgItemMessageA(window_, IDC_TARGET, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    }
    skin::DrawContext BeginDraw() override { return GetDC(window_); }
    void EndDraw(skin::DrawContext dc) override { ReleaseDC(window_, static_cast<HDC>(dc)); }
    void FillBackground(int w, int h) override
    {
        HDC dc = GetDC(window_);
        SetBkMode(dc, TRANSPARENT);
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, 55));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        Rectangle(dc, 0, 0, w, h);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(pen);
        DeleteObject(brush);
        ReleaseDC(window_, dc);
    }
    void End(std::intptr_t result) override { EndDialog(window_, result); }

private:
    HWND window_;
};

// The target button is a push button to the user, but never to the dialog manager:
// Windows makes a push button that takes the focus (the only control here, so at once)
// the default one, and Enter then clicks it, taking a target with whatever raw point
// came last. Without the push-button codes, Enter is the screen's own IDOK.
WNDPROC g_buttonProc = nullptr;

LRESULT CALLBACK TargetButtonProc(HWND button, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcA(g_buttonProc, button, msg, wParam, lParam);
    if (msg == WM_GETDLGCODE)
        return result & ~LRESULT(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
    return result;
}

INT_PTR CALLBACK CalibrationProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* screen = reinterpret_cast<CalibrationScreen*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        const WNDPROC previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            GetDlgItem(window, IDC_TARGET), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TargetButtonProc)));
        if (previous != &TargetButtonProc)
            g_buttonProc = previous;
        ScreenView view(window);
        reinterpret_cast<CalibrationScreen*>(lParam)->OnInit(view);
        return TRUE;
    }
    case WM_PAINT: {
        if (!screen)
            break;
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        ScreenView view(window);
        screen->OnPaint(view);
        return TRUE;
    }
    case WM_LBUTTONUP:
        if (screen) {
            ScreenView view(window);
            screen->OnStep(view);
        }
        return FALSE;  // the default handling follows
    case WM_COMMAND:
        if (!screen)
            break;
        if (LOWORD(wParam) == IDC_TARGET && HIWORD(wParam) == BN_CLICKED) {
            ScreenView view(window);
            screen->OnStep(view);
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (screen)
            screen->OnDestroy();
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK VerifyProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* countdown = reinterpret_cast<VerifyCountdown*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        app::Win32Dialog dialog(window);
        reinterpret_cast<VerifyCountdown*>(lParam)->OnInit(dialog);
        SetForegroundWindow(window);
        // No control takes the focus, so that Enter is the dialog's own IDOK.
        SetFocus(window);
        return FALSE;
    }
    case WM_TIMER:
        if (countdown && wParam == kVerifyTimerId) {
            app::Win32Dialog dialog(window);
            countdown->OnTick(dialog);
            return TRUE;
        }
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_VERIFY_OK:
            EndDialog(window, kResultEscape);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        break;
    case WM_DESTROY:
        KillTimer(window, kVerifyTimerId);
        break;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowCalibrationDialog(HWND owner, CalibrationScreen& screen)
{
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_CALIBRATE), owner, CalibrationProc,
                           reinterpret_cast<LPARAM>(&screen));
}

INT_PTR ShowVerifyDialog(HWND owner, VerifyCountdown& countdown)
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_VERIFY), owner, VerifyProc,
                           reinterpret_cast<LPARAM>(&countdown));
}

}  // namespace pointwell
