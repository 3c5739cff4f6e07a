// flipkey.exe: the window messages of Flipkey's two windows handed to its logic
// (flipkey.h). No decisions are made here.
#include "appplatform_win32.h"
#include "flipkey.h"

#include "resource.h"

static_assert(IDC_FLIPBUTTON == flipkey::kPushButtonId, "push button id");
static_assert(IDB_LEFTKEY == flipkey::kBitmapLeft && IDB_RIGHTKEY == flipkey::kBitmapRight, "bitmap ids");

namespace {

flipkey::MainWindow* g_main = nullptr;
flipkey::ButtonWindow* g_button = nullptr;
HWND g_mainWindow = nullptr;
bool g_buttonGone = false;

INT_PTR CALLBACK ButtonProc(HWND window, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        g_button->Init(window, GetDlgItem(window, IDC_FLIPBUTTON));
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        g_button->ShowState();
        EndPaint(window, &ps);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_FLIPBUTTON && HIWORD(wParam) == BN_CLICKED) {
            g_button->Flip();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {  // Escape
            SendMessageA(window, WM_CLOSE, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        g_button->Flip();
        return TRUE;
    case WM_CLOSE:
        g_button->End();
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        g_button->End();
        g_buttonGone = true;
        // A WM_CLOSE sent from another program (Pointwell, Uninst) is handled inside
        // GetMessageA, which then waits on: a posted message lets the loop see the end.
        PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

// The button window as a modal dialog of the main window, with a loop of its own so
// that right-button messages for the push button are turned into left-button ones
// before they are dispatched.
void RunButtonWindow()
{
    flipkey::ButtonWindow button(app::CurrentAppPlatform());
    g_button = &button;
    g_buttonGone = false;
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FUNCTION), g_mainWindow, ButtonProc, 0);
    if (dialog) {
        ShowWindow(dialog, SW_SHOW);
        HWND pushButton = GetDlgItem(dialog, IDC_FLIPBUTTON);
        MSG m;
        while (!g_buttonGone) {
            const BOOL got = GetMessageA(&m, nullptr, 0, 0);
            if (got == 0) {  // WM_QUIT: close the window, hand the quit on
                if (IsWindow(dialog))
                    DestroyWindow(dialog);
                PostQuitMessage(int(m.wParam));
                break;
            }
            if (got == -1)
                break;
            app::Message message{m.hwnd, m.message, m.wParam, m.lParam};
            if (flipkey::TranslateToLeftButton(message, pushButton))
                m.message = message.msg;
            if (!IsDialogMessageA(dialog, &m)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
        }
        if (IsWindow(dialog))
            DestroyWindow(dialog);
    }
    g_button = nullptr;
}

INT_PTR CALLBACK MainProc(HWND window, UINT msg, WPARAM wParam, LPARAM)
{
    bool live = true;
    switch (msg) {
    case WM_INITDIALOG:
        g_mainWindow = window;
        if (!g_main->Init(window))
            EndDialog(window, 0);
        return TRUE;
    case WM_TIMER:
        live = g_main->OnTimer(wParam);
        break;
    case flipkey::kStartMessage:
        live = g_main->OnStart();
        break;
    default:
        return FALSE;
    }
    if (!live)
        EndDialog(window, 0);
    return TRUE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    flipkey::MainWindow main(app::CurrentAppPlatform(), RunButtonWindow);
    g_main = &main;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_FLIPKEY_MAIN), nullptr, MainProc, 0);
    g_main = nullptr;
    return 0;
}
