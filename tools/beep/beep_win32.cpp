// BEEP.exe: its hidden window titled "beep" and the message loop around the logic of
// beep.h. No decisions are made here.
#include "appplatform_win32.h"
#include "beep.h"

namespace {

beep::Companion* g_companion = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case beep::kCountMessage:
        return LRESULT(wParam == 1 ? g_companion->played() : g_companion->presses());
    default:
        return DefWindowProcA(window, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    beep::Companion companion(app::CurrentAppPlatform());
    if (!companion.Start())
        return 0;
    g_companion = &companion;

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = "BeepCompanion";
    if (!RegisterClassA(&wc))
        return 1;
    // Never shown: a top-level window only so that it can be found by its title.
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, beep::kWindowTitle, WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return 1;

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    companion.Stop();
    g_companion = nullptr;
    return 0;
}
