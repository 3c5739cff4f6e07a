// uitarget: the window that test-uiprobe.sh drives with uiprobe. It writes what reaches
// it, one line each, to standard output (flushed at once):
//   clicked 101 | check 102 STATE | changed 103 TEXT | scroll 104 CODE POS |
//   selchange 105 INDEX | answer ID | keydown VK | lbuttondown X Y | close
//
//   uitarget [TITLE]      (default "uiprobe target")
#include <windows.h>
#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

enum { kPush = 101, kCheck = 102, kEdit = 103, kTrack = 104, kCombo = 105, kAsk = 106, kTwin = 107 };

void Say(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
    std::printf("\n");
    std::fflush(stdout);
}

std::string Utf8Text(HWND w)
{
    wchar_t buf[256] = L"";
    GetWindowTextW(w, buf, 256);
    char out[768] = "";
    WideCharToMultiByte(CP_UTF8, 0, buf, -1, out, sizeof(out), nullptr, nullptr);
    return out;
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id)
{
    return CreateWindowExW(0, cls, text, WS_CHILD | style, x, y, w, h, parent, (HMENU)(INT_PTR)id, nullptr, nullptr);
}

LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE: {
        Child(w, L"BUTTON", L"Push", WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, kPush);
        Child(w, L"BUTTON", L"Check", WS_VISIBLE | BS_AUTOCHECKBOX, 100, 10, 80, 24, kCheck);
        Child(w, L"EDIT", L"start", WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 40, 170, 24, kEdit);
        HWND tb = Child(w, TRACKBAR_CLASSW, L"", WS_VISIBLE, 10, 70, 200, 30, kTrack);
        SendMessageW(tb, TBM_SETRANGE, TRUE, MAKELPARAM(0, 50));
        SendMessageW(tb, TBM_SETPOS, TRUE, 10);
        HWND cb = Child(w, L"COMBOBOX", L"", WS_VISIBLE | CBS_DROPDOWNLIST, 10, 110, 120, 100, kCombo);
        for (const wchar_t* item : {L"one", L"two", L"three"})
            SendMessageW(cb, CB_ADDSTRING, 0, (LPARAM)item);
        SendMessageW(cb, CB_SETCURSEL, 0, 0);
        Child(w, L"BUTTON", L"Ask", WS_VISIBLE | BS_PUSHBUTTON, 200, 10, 80, 24, kAsk);
        // The same id twice, the first one hidden (as on a property sheet's other page).
        Child(w, L"STATIC", L"hidden twin", 0, 10, 150, 100, 20, kTwin);
        Child(w, L"STATIC", L"shown twin", WS_VISIBLE, 10, 150, 100, 20, kTwin);
        return 0;
    }
    case WM_COMMAND: {
        int id = LOWORD(wp), code = HIWORD(wp);
        if (id == kPush && code == BN_CLICKED)
            Say("clicked %d", id);
        else if (id == kCheck && code == BN_CLICKED)
            Say("check %d %ld", id, (long)SendMessageW((HWND)lp, BM_GETCHECK, 0, 0));
        else if (id == kEdit && code == EN_CHANGE)
            Say("changed %d %s", id, Utf8Text((HWND)lp).c_str());
        else if (id == kCombo && code == CBN_SELCHANGE)
            Say("selchange %d %ld", id, (long)SendMessageW((HWND)lp, CB_GETCURSEL, 0, 0));
        else if (id == kAsk && code == BN_CLICKED)
            Say("answer %d", MessageBoxW(w, L"Sure?", L"uiprobe question", MB_YESNO));
        return 0;
    }
    case WM_HSCROLL:
        if (GetDlgCtrlID((HWND)lp) == kTrack)
            Say("scroll 104 %d %ld", (int)LOWORD(wp), (long)SendMessageW((HWND)lp, TBM_GETPOS, 0, 0));
        return 0;
    case WM_LBUTTONDOWN:
        Say("lbuttondown %d %d", (int)(short)LOWORD(lp), (int)(short)HIWORD(lp));
        return 0;
    case WM_CLOSE:
        Say("close");
        DestroyWindow(w);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t* title = argc > 1 ? argv[1] : L"uiprobe target";
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"UiTarget";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, L"UiTarget", title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 50, 50, 400,
                             240, nullptr, nullptr, wc.hInstance, nullptr);
    if (!w)
        return 1;
    SetFocus(GetDlgItem(w, kEdit));
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_KEYDOWN)
            Say("keydown %ld", (long)m.wParam);
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
