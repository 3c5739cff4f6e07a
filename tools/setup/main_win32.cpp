// setup.exe: SetupDialog's window (template 129) and the program around it. Everything
// the dialog does is in setupdialog.cpp; this file only turns window messages into
// those calls and paints the icon and the banner.
#include "appplatform_win32.h"
#include "resource.h"
#include "setupcalls.h"
#include "setupdialog.h"

namespace {

setup::SetupDialog* g_dialog = nullptr;
HICON g_icon = nullptr;

void DrawBanner(HWND hwnd, HDC dc)
{
    if (!g_dialog->bannerLoaded())
        return;
    RECT r;
    GetClientRect(hwnd, &r);
    r.right = setup::kBannerWidth;
    r.bottom = setup::kBannerHeight;
    g_dialog->banner().Draw(dc, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

INT_PTR CALLBACK SetupDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    app::Win32Dialog dialog(hwnd);
    switch (msg) {
    case WM_INITDIALOG: {
        SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_icon));
        SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_icon));
        g_dialog->Init(dialog);
        HDC dc = GetDC(hwnd);
        DrawBanner(hwnd, dc);
        ReleaseDC(hwnd, dc);
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_AGREE_RADIO:
            g_dialog->Agree(dialog);
            return TRUE;
        case IDC_DISAGREE_RADIO:
            g_dialog->Disagree(dialog);
            return TRUE;
        case IDC_SELECT_BUTTON:
            g_dialog->Browse(dialog);
            return TRUE;
        case IDC_START_BUTTON:
            g_dialog->Start(dialog);
            return TRUE;
        case IDC_EXIT_BUTTON:
        case IDCANCEL:
            EndDialog(hwnd, 0);
            return TRUE;
        case IDOK:
            EndDialog(hwnd, 1);
            return TRUE;
        }
        return FALSE;
    case WM_PAINT: {
        // The banner goes on top of the dialog's own background, which painting erases.
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (IsIconic(hwnd)) {
            RECT r;
            GetClientRect(hwnd, &r);
            DrawIcon(dc, (r.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
                     (r.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, g_icon);
        } else {
            DrawBanner(hwnd, dc);
        }
        EndPaint(hwnd, &ps);
        return TRUE;
    }
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(g_icon);
    case WM_CLOSE:
    case WM_DESTROY:
        g_dialog->ReleaseBanner();
        return FALSE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    g_icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));
    setup::SetupDialog dialog(app::CurrentAppPlatform(), setup::DefaultSetupApi());
    g_dialog = &dialog;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), nullptr, SetupDialogProc, 0);
    g_dialog = nullptr;
    return 0;
}
