// uiprobe: drives and reads another program's windows for the Wine test scripts, one
// command per run.
//
//   uiprobe windows                    every titled or visible top-level window:
//                                      window visible=V class=C rect=L,T,R,B title=TEXT
//   uiprobe wait TITLE SECS            until a visible window TITLE exists: "found TITLE"
//   uiprobe gone TITLE SECS            until no window TITLE exists: "gone TITLE"
//   uiprobe controls TITLE             each child window, depth first, one line each:
//                                      control id=N class=C visible=V enabled=E checked=K
//                                      rect=L,T,R,B text=TEXT   (K is - when not a button)
//   uiprobe click TITLE ID             BM_CLICK: "click ID done", or "click ID pending" when
//                                      the button's handler is still running (a modal dialog
//                                      or message box it opened, say)
//   uiprobe check TITLE ID             BM_GETCHECK: "check ID 0|1|2"
//   uiprobe text TITLE ID              WM_GETTEXT: "text ID TEXT"
//   uiprobe settext TITLE ID TEXT      WM_SETTEXT, then "text ID TEXT" read back
//   uiprobe trackbar TITLE ID [POS]    "trackbar ID pos=P min=A max=B"; with POS the thumb is
//                                      moved there and the owner told (WM_HSCROLL/WM_VSCROLL
//                                      TB_THUMBPOSITION, then TB_ENDTRACK), as a drag would
//   uiprobe combo TITLE ID [INDEX]     "combo ID sel=S count=N" and "item I TEXT" lines; with
//                                      INDEX that item is selected and CBN_SELCHANGE sent
//   uiprobe post TITLE MSG W L         PostMessage to the window: "post MSG"
//   uiprobe send TITLE MSG W L         SendMessage to the window: "result R" (or "pending")
//   uiprobe close TITLE                WM_CLOSE posted: "close TITLE"
//   uiprobe key TITLE VK               WM_KEYDOWN and WM_KEYUP posted to the window's focus
//                                      (or the window): "key VK"
//   uiprobe mouse X Y down|up|click    absolute SendInput at screen pixel X,Y (left button):
//                                      "mouse X Y ACTION cursor=CX,CY"
//   uiprobe rect TITLE                 "rect L T R B" (window) and "client L T R B" (client
//                                      area, screen coordinates)
//   uiprobe metrics                    "screen W H", "swapbutton 0|1", "langid 0xNNNN"
//                                      (system default), "userlangid 0xNNNN", "acp N"
//   uiprobe regget ROOT\KEY VALUE      "type REG_..." and "data ..." (REG_SZ as text, DWORD as
//                                      decimal, REG_BINARY as hex bytes, one "data" line per
//                                      REG_MULTI_SZ string); VALUE "@" is the default value.
//                                      ROOT: HKLM, HKCU, HKCR, HKU (or their long names)
//
// TITLE is a top-level window's exact title; "TEXT*" matches titles beginning with TEXT.
// Visible windows are preferred. ID is a control id (decimal or 0x hex), or, when not a
// number, the exact text of a control. Among equal ids the visible control wins (the
// pages of a property sheet repeat ids). MSG is a number or WM_COMMAND, WM_CLOSE,
// WM_SYSCOMMAND, WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_TIMER, WM_USER, WM_APP. VK is a number,
// one letter or digit, or RETURN, ESCAPE, TAB, SPACE, LEFT, RIGHT, UP, DOWN, HOME, END,
// PRIOR, NEXT, DELETE, BACK, F1..F12.
//
// Text arguments may carry "\xHH" escapes of UTF-8 bytes, so that non-ASCII titles pass
// unchanged whatever the locale Wine decodes the command line with. Output is UTF-8, one
// fact a line, LF line ends; text values come last on their line with CR, LF and
// backslash written as \r, \n and \\. Exit code: 0 done, 1 window, control or value
// missing (or a wait that timed out; a "missing ..." line says what), 2 bad usage,
// 3 the operation failed.
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

const UINT kSendTimeoutMs = 5000;  // a window that does not answer in 5 s is hung

// ---- text ---------------------------------------------------------------------------

std::string Utf8(const std::wstring& w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Wide(const std::string& s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// A command-line text with its "\xHH" escapes of UTF-8 bytes resolved.
std::wstring Unescape(const std::wstring& arg)
{
    if (arg.find(L"\\x") == std::wstring::npos)
        return arg;
    std::string bytes;
    for (size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] == L'\\' && i + 3 < arg.size() && arg[i + 1] == L'x' && HexDigit(arg[i + 2]) >= 0 &&
            HexDigit(arg[i + 3]) >= 0) {
            bytes += (char)(HexDigit(arg[i + 2]) * 16 + HexDigit(arg[i + 3]));
            i += 3;
        } else {
            bytes += Utf8(std::wstring(1, arg[i]));
        }
    }
    return Wide(bytes);
}

// Text as one line: CR, LF and backslash escaped.
std::string OneLine(const std::wstring& w)
{
    std::string out;
    for (char c : Utf8(w)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

void Line(const std::string& s)
{
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}

std::string Num(long long v) { return std::to_string(v); }

std::string Rect(const RECT& r, char sep)
{
    return Num(r.left) + sep + Num(r.top) + sep + Num(r.right) + sep + Num(r.bottom);
}

bool ParseNumber(const std::wstring& s, long long* out)
{
    if (s.empty())
        return false;
    wchar_t* end = nullptr;
    long long v = std::wcstoll(s.c_str(), &end, 0);
    if (!end || *end != L'\0')
        return false;
    *out = v;
    return true;
}

// ---- windows ------------------------------------------------------------------------

std::wstring WindowText(HWND w)
{
    // WM_GETTEXT crosses processes (GetWindowText does not read another process's edit).
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
        return {};
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), (LPARAM)buf.data(), SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
        return {};
    return std::wstring(buf.data());
}

std::wstring ClassOf(HWND w)
{
    wchar_t name[256] = L"";
    GetClassNameW(w, name, 256);
    return name;
}

bool TitleMatches(const std::wstring& title, const std::wstring& pattern)
{
    if (!pattern.empty() && pattern.back() == L'*')
        return title.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return title == pattern;
}

// Of the windows that match, the first visible one, else the first hidden one.
struct Pick {
    HWND visible = nullptr;
    HWND hidden = nullptr;
    // Whether the search goes on (it ends at a visible match).
    BOOL Offer(HWND w)
    {
        if (IsWindowVisible(w)) {
            visible = w;
            return FALSE;
        }
        if (!hidden)
            hidden = w;
        return TRUE;
    }
    HWND Best() const { return visible ? visible : hidden; }
};

struct TopSearch {
    std::wstring pattern;
    Pick pick;
};

BOOL CALLBACK FindTopProc(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<TopSearch*>(p);
    wchar_t title[1024] = L"";
    GetWindowTextW(w, title, 1024);  // a top-level caption is readable from any process
    return TitleMatches(title, s->pattern) ? s->pick.Offer(w) : TRUE;
}

HWND FindTop(const std::wstring& pattern, bool visibleOnly = false)
{
    TopSearch s;
    s.pattern = pattern;
    EnumWindows(FindTopProc, (LPARAM)&s);
    return visibleOnly ? s.pick.visible : s.pick.Best();
}

struct ChildSearch {
    bool byId = true;
    long long id = 0;
    std::wstring text;
    Pick pick;
};

BOOL CALLBACK FindChildProc(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<ChildSearch*>(p);
    bool match = s->byId ? GetDlgCtrlID(w) == (int)s->id : WindowText(w) == s->text;
    return match ? s->pick.Offer(w) : TRUE;
}

HWND FindControl(HWND top, const std::wstring& idArg)
{
    ChildSearch s;
    s.byId = ParseNumber(idArg, &s.id);
    if (!s.byId)
        s.text = idArg;
    EnumChildWindows(top, FindChildProc, (LPARAM)&s);
    return s.pick.Best();
}

bool IsButton(HWND w) { return _wcsicmp(ClassOf(w).c_str(), L"Button") == 0; }

bool IsTrackbar(HWND w) { return _wcsicmp(ClassOf(w).c_str(), TRACKBAR_CLASSW) == 0; }

// ---- sending without hanging on a modal loop ----------------------------------------

struct SendState {
    bool done = false;
    LRESULT result = 0;
};

VOID CALLBACK SendDone(HWND, UINT, ULONG_PTR data, LRESULT result)
{
    auto* st = reinterpret_cast<SendState*>(data);
    st->done = true;
    st->result = result;
}

// Sends MSG to W and waits for the answer. A handler that opens a modal dialog or a
// message box does not return while it is up: that shows as the top-level window
// TOP losing its enabled state (or a new window of its thread), and then this returns
// false at once, leaving the message to finish on its own. Also false after the wait.
bool SendAndWait(HWND w, HWND top, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, DWORD waitMs = kSendTimeoutMs)
{
    SendState st;
    if (!SendMessageCallbackW(w, msg, wp, lp, SendDone, (ULONG_PTR)&st))
        return false;
    DWORD start = GetTickCount();
    bool wasEnabled = top && IsWindowEnabled(top);
    while (!st.done) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (st.done)
            break;
        if (GetTickCount() - start >= waitMs)
            return false;
        if (top && wasEnabled && IsWindow(top) && !IsWindowEnabled(top)) {
            // Give a handler that disables its window only briefly a moment to finish.
            Sleep(100);
            PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
            return st.done;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    *result = st.result;
    return true;
}

// ---- commands -----------------------------------------------------------------------

int Missing(const std::string& what)
{
    Line("missing " + what);
    return 1;
}

BOOL CALLBACK ListTopProc(HWND w, LPARAM)
{
    wchar_t title[1024] = L"";
    GetWindowTextW(w, title, 1024);
    bool visible = IsWindowVisible(w) != 0;
    if (!visible && title[0] == L'\0')
        return TRUE;
    RECT r = {};
    GetWindowRect(w, &r);
    Line("window visible=" + Num(visible) + " class=" + Utf8(ClassOf(w)) + " rect=" + Rect(r, ',') +
         " title=" + OneLine(title));
    return TRUE;
}

int CmdWindows()
{
    EnumWindows(ListTopProc, 0);
    return 0;
}

int CmdWait(const std::wstring& title, double secs, bool untilGone)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND w = FindTop(title, !untilGone);
        if (untilGone ? w == nullptr : w != nullptr) {
            Line((untilGone ? "gone " : "found ") + OneLine(title));
            return 0;
        }
        if (GetTickCount() - start >= (DWORD)(secs * 1000))
            break;
        Sleep(50);
    }
    Line((untilGone ? "present " : "missing ") + OneLine(title));
    return 1;
}

BOOL CALLBACK ListChildProc(HWND w, LPARAM)
{
    RECT r = {};
    GetWindowRect(w, &r);
    std::string checked = "-";
    if (IsButton(w)) {
        DWORD_PTR state = 0;
        SendMessageTimeoutW(w, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state);
        checked = Num((long long)state);
    }
    Line("control id=" + Num(GetDlgCtrlID(w)) + " class=" + Utf8(ClassOf(w)) +
         " visible=" + Num(IsWindowVisible(w) != 0) + " enabled=" + Num(IsWindowEnabled(w) != 0) +
         " checked=" + checked + " rect=" + Rect(r, ',') + " text=" + OneLine(WindowText(w)));
    return TRUE;
}

struct Target {
    HWND top = nullptr;
    HWND control = nullptr;
};

// Finds TITLE and, when idArg is given, its control; prints what is missing.
int Resolve(const std::wstring& title, const std::wstring* idArg, Target* t)
{
    t->top = FindTop(title);
    if (!t->top)
        return Missing("window " + OneLine(title));
    if (idArg) {
        t->control = FindControl(t->top, *idArg);
        if (!t->control)
            return Missing("control " + OneLine(*idArg) + " in " + OneLine(title));
    }
    return 0;
}

int CmdClick(const Target& t, const std::string& id)
{
    LRESULT r = 0;
    bool done = SendAndWait(t.control, t.top, BM_CLICK, 0, 0, &r);
    Line("click " + id + (done ? " done" : " pending"));
    return 0;
}

int CmdTrackbar(const Target& t, const std::string& id, const std::wstring* posArg)
{
    if (!IsTrackbar(t.control)) {
        Line("error control " + id + " is a " + Utf8(ClassOf(t.control)) + ", not a trackbar");
        return 3;
    }
    DWORD_PTR pos = 0, lo = 0, hi = 0;
    if (posArg) {
        long long want = 0;
        if (!ParseNumber(*posArg, &want)) {
            Line("error position " + OneLine(*posArg) + " is not a number");
            return 2;
        }
        SendMessageTimeoutW(t.control, TBM_SETPOS, TRUE, (LPARAM)want, SMTO_ABORTIFHUNG, kSendTimeoutMs, &pos);
        SendMessageTimeoutW(t.control, TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &pos);
        // TBM_SETPOS tells nobody; a drag ends with these two notifications to the owner.
        bool vertical = (GetWindowLongW(t.control, GWL_STYLE) & TBS_VERT) != 0;
        UINT msg = vertical ? WM_VSCROLL : WM_HSCROLL;
        HWND owner = GetParent(t.control);
        LRESULT r = 0;
        SendAndWait(owner, t.top, msg, MAKEWPARAM(TB_THUMBPOSITION, (WORD)pos), (LPARAM)t.control, &r);
        SendAndWait(owner, t.top, msg, MAKEWPARAM(TB_ENDTRACK, 0), (LPARAM)t.control, &r);
    }
    SendMessageTimeoutW(t.control, TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &pos);
    SendMessageTimeoutW(t.control, TBM_GETRANGEMIN, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &lo);
    SendMessageTimeoutW(t.control, TBM_GETRANGEMAX, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &hi);
    Line("trackbar " + id + " pos=" + Num((long)pos) + " min=" + Num((long)lo) + " max=" + Num((long)hi));
    return 0;
}

int CmdCombo(const Target& t, const std::string& id, const std::wstring* indexArg)
{
    if (_wcsicmp(ClassOf(t.control).c_str(), L"ComboBox") != 0) {
        Line("error control " + id + " is a " + Utf8(ClassOf(t.control)) + ", not a combo box");
        return 3;
    }
    DWORD_PTR sel = 0, count = 0;
    if (indexArg) {
        long long want = 0;
        if (!ParseNumber(*indexArg, &want)) {
            Line("error index " + OneLine(*indexArg) + " is not a number");
            return 2;
        }
        SendMessageTimeoutW(t.control, CB_SETCURSEL, (WPARAM)want, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &sel);
        if ((LRESULT)sel == CB_ERR) {
            Line("error combo " + id + " has no item " + Num(want));
            return 3;
        }
        // CB_SETCURSEL tells nobody; a user's choice sends CBN_SELCHANGE to the owner.
        LRESULT r = 0;
        SendAndWait(GetParent(t.control), t.top, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(t.control), CBN_SELCHANGE),
                    (LPARAM)t.control, &r);
    }
    SendMessageTimeoutW(t.control, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &sel);
    SendMessageTimeoutW(t.control, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count);
    Line("combo " + id + " sel=" + Num((long)(LRESULT)sel) + " count=" + Num((long)count));
    for (DWORD_PTR i = 0; i < count && (LRESULT)count != CB_ERR; ++i) {
        DWORD_PTR len = 0;
        SendMessageTimeoutW(t.control, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len);
        if ((LRESULT)len == CB_ERR)
            continue;
        std::vector<wchar_t> buf(len + 2, L'\0');
        DWORD_PTR got = 0;
        SendMessageTimeoutW(t.control, CB_GETLBTEXT, i, (LPARAM)buf.data(), SMTO_ABORTIFHUNG, kSendTimeoutMs, &got);
        Line("item " + Num((long)i) + " " + OneLine(buf.data()));
    }
    return 0;
}

bool ParseMessage(const std::wstring& s, UINT* msg)
{
    static const struct {
        const wchar_t* name;
        UINT msg;
    } names[] = {{L"WM_COMMAND", WM_COMMAND}, {L"WM_CLOSE", WM_CLOSE}, {L"WM_SYSCOMMAND", WM_SYSCOMMAND},
                 {L"WM_KEYDOWN", WM_KEYDOWN}, {L"WM_KEYUP", WM_KEYUP}, {L"WM_CHAR", WM_CHAR},
                 {L"WM_TIMER", WM_TIMER},     {L"WM_USER", WM_USER},   {L"WM_APP", WM_APP}};
    for (const auto& n : names) {
        if (_wcsicmp(s.c_str(), n.name) == 0) {
            *msg = n.msg;
            return true;
        }
    }
    long long v = 0;
    if (!ParseNumber(s, &v))
        return false;
    *msg = (UINT)v;
    return true;
}

bool ParseVk(const std::wstring& s, UINT* vk)
{
    static const struct {
        const wchar_t* name;
        UINT vk;
    } names[] = {{L"RETURN", VK_RETURN}, {L"ENTER", VK_RETURN}, {L"ESCAPE", VK_ESCAPE}, {L"ESC", VK_ESCAPE},
                 {L"TAB", VK_TAB},       {L"SPACE", VK_SPACE},  {L"LEFT", VK_LEFT},     {L"RIGHT", VK_RIGHT},
                 {L"UP", VK_UP},         {L"DOWN", VK_DOWN},    {L"HOME", VK_HOME},     {L"END", VK_END},
                 {L"PRIOR", VK_PRIOR},   {L"NEXT", VK_NEXT},    {L"DELETE", VK_DELETE}, {L"BACK", VK_BACK}};
    for (const auto& n : names) {
        if (_wcsicmp(s.c_str(), n.name) == 0) {
            *vk = n.vk;
            return true;
        }
    }
    if ((s[0] == L'F' || s[0] == L'f') && s.size() >= 2 && s.size() <= 3) {
        long long f = 0;
        if (ParseNumber(s.substr(1), &f) && f >= 1 && f <= 12) {
            *vk = VK_F1 + (UINT)f - 1;
            return true;
        }
    }
    if (s.size() == 1 && std::iswalnum(s[0])) {
        *vk = (UINT)std::towupper(s[0]);
        return true;
    }
    long long v = 0;
    if (!ParseNumber(s, &v) || v <= 0 || v > 255)
        return false;
    *vk = (UINT)v;
    return true;
}

int CmdKey(const Target& t, const std::wstring& vkArg)
{
    UINT vk = 0;
    if (!ParseVk(vkArg, &vk)) {
        Line("error unknown key " + OneLine(vkArg));
        return 2;
    }
    // The dialog manager and the window's own procedure see posted keys as typed ones.
    HWND to = t.top;
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    DWORD thread = GetWindowThreadProcessId(t.top, nullptr);
    if (GetGUIThreadInfo(thread, &gti) && gti.hwndFocus && (gti.hwndFocus == t.top || IsChild(t.top, gti.hwndFocus)))
        to = gti.hwndFocus;
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | ((LPARAM)scan << 16);
    LPARAM up = down | (1UL << 30) | (1UL << 31);
    if (!PostMessageW(to, WM_KEYDOWN, vk, down) || !PostMessageW(to, WM_KEYUP, vk, up)) {
        Line("error PostMessage " + Num(GetLastError()));
        return 3;
    }
    Line("key " + Num(vk));
    return 0;
}

int CmdMouse(long long x, long long y, const std::wstring& action)
{
    DWORD flags;
    if (action == L"down")
        flags = MOUSEEVENTF_LEFTDOWN;
    else if (action == L"up")
        flags = MOUSEEVENTF_LEFTUP;
    else if (action == L"click")
        flags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP;
    else {
        Line("error mouse action " + OneLine(action) + " (down, up or click)");
        return 2;
    }
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    if (w <= 0 || h <= 0 || x < 0 || y < 0 || x >= w || y >= h) {
        Line("error point " + Num(x) + "," + Num(y) + " is off the " + Num(w) + "x" + Num(h) + " screen");
        return 3;
    }
    // Absolute coordinates are 0..65535 across the screen; the smallest value that maps
    // back to pixel x (x = dx * width / 65536, rounded down).
    INPUT in[3] = {};
    int n = 0;
    in[n].type = INPUT_MOUSE;
    in[n].mi.dx = (LONG)((x * 65536 + w - 1) / w);
    in[n].mi.dy = (LONG)((y * 65536 + h - 1) / h);
    in[n].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ++n;
    if (flags & MOUSEEVENTF_LEFTDOWN) {
        in[n].type = INPUT_MOUSE;
        in[n].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        ++n;
    }
    if (flags & MOUSEEVENTF_LEFTUP) {
        in[n].type = INPUT_MOUSE;
        in[n].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ++n;
    }
    if (SendInput(n, in, sizeof(INPUT)) != (UINT)n) {
        Line("error SendInput " + Num(GetLastError()));
        return 3;
    }
    POINT p = {};
    GetCursorPos(&p);
    Line("mouse " + Num(x) + " " + Num(y) + " " + Utf8(action) + " cursor=" + Num(p.x) + "," + Num(p.y));
    return 0;
}

int CmdRect(const Target& t)
{
    RECT r = {}, c = {};
    GetWindowRect(t.top, &r);
    GetClientRect(t.top, &c);
    MapWindowPoints(t.top, nullptr, (POINT*)&c, 2);
    Line("rect " + Rect(r, ' '));
    Line("client " + Rect(c, ' '));
    return 0;
}

std::string Hex4(unsigned v)
{
    char b[16];
    std::snprintf(b, sizeof(b), "0x%04X", v & 0xFFFF);
    return b;
}

int CmdMetrics()
{
    Line("screen " + Num(GetSystemMetrics(SM_CXSCREEN)) + " " + Num(GetSystemMetrics(SM_CYSCREEN)));
    Line("swapbutton " + Num(GetSystemMetrics(SM_SWAPBUTTON) != 0));
    Line("langid " + Hex4(GetSystemDefaultLangID()));
    Line("userlangid " + Hex4(GetUserDefaultLangID()));
    Line("acp " + Num(GetACP()));
    return 0;
}

int CmdRegGet(const std::wstring& path, const std::wstring& valueArg)
{
    static const struct {
        const wchar_t* name;
        HKEY root;
    } roots[] = {{L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                 {L"HKCU", HKEY_CURRENT_USER},  {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                 {L"HKCR", HKEY_CLASSES_ROOT},  {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                 {L"HKU", HKEY_USERS},          {L"HKEY_USERS", HKEY_USERS}};
    size_t cut = path.find(L'\\');
    std::wstring rootName = path.substr(0, cut);
    std::wstring sub = cut == std::wstring::npos ? L"" : path.substr(cut + 1);
    HKEY root = nullptr;
    for (const auto& r : roots)
        if (_wcsicmp(rootName.c_str(), r.name) == 0)
            root = r.root;
    if (!root) {
        Line("error unknown registry root " + OneLine(rootName));
        return 2;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, sub.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return Missing("key " + OneLine(path));
    const wchar_t* name = valueArg == L"@" ? nullptr : valueArg.c_str();
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + 4, 0);  // room for missing terminators
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return Missing("value " + OneLine(valueArg) + " in " + OneLine(path));
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        Line(type == REG_SZ ? "type REG_SZ" : "type REG_EXPAND_SZ");
        Line("data " + OneLine(std::wstring(text, wcsnlen(text, size / sizeof(wchar_t)))));
        break;
    case REG_MULTI_SZ: {
        Line("type REG_MULTI_SZ");
        size_t n = size / sizeof(wchar_t), i = 0;
        while (i < n && text[i]) {
            size_t len = wcsnlen(text + i, n - i);
            Line("data " + OneLine(std::wstring(text + i, len)));
            i += len + 1;
        }
        break;
    }
    case REG_DWORD:
        if (size != 4) {
            Line("type REG_DWORD");
            Line("error REG_DWORD of " + Num(size) + " bytes");
            return 3;
        }
        Line("type REG_DWORD");
        Line("data " + Num(*reinterpret_cast<const DWORD*>(data.data())));
        break;
    default: {
        Line(type == REG_BINARY ? "type REG_BINARY" : "type " + Num(type));
        std::string hex;
        char b[4];
        for (DWORD i = 0; i < size; ++i) {
            std::snprintf(b, sizeof(b), i ? " %02x" : "%02x", data[i]);
            hex += b;
        }
        Line("data " + hex);
    }
    }
    return 0;
}

int Usage()
{
    std::fputs("usage: uiprobe windows | wait TITLE SECS | gone TITLE SECS | controls TITLE |\n"
               "  click TITLE ID | check TITLE ID | text TITLE ID | settext TITLE ID TEXT |\n"
               "  trackbar TITLE ID [POS] | combo TITLE ID [INDEX] | post TITLE MSG W L |\n"
               "  send TITLE MSG W L | close TITLE | key TITLE VK | mouse X Y down|up|click |\n"
               "  rect TITLE | metrics | regget ROOT\\KEY VALUE\n",
               stderr);
    return 2;
}

int Run(const std::vector<std::wstring>& a)
{
    if (a.empty())
        return Usage();
    const std::wstring& cmd = a[0];
    size_t n = a.size();
    auto is = [&](const wchar_t* name, size_t minArgs, size_t maxArgs) {
        return cmd == name && n >= minArgs + 1 && n <= maxArgs + 1;
    };
    if (is(L"windows", 0, 0))
        return CmdWindows();
    if (is(L"metrics", 0, 0))
        return CmdMetrics();
    if (is(L"wait", 2, 2) || is(L"gone", 2, 2))
        return CmdWait(a[1], std::wcstod(a[2].c_str(), nullptr), cmd == L"gone");
    if (is(L"regget", 2, 2))
        return CmdRegGet(a[1], a[2]);
    if (is(L"mouse", 3, 3)) {
        long long x = 0, y = 0;
        if (!ParseNumber(a[1], &x) || !ParseNumber(a[2], &y))
            return Usage();
        return CmdMouse(x, y, a[3]);
    }

    Target t;
    int rc;
    if (is(L"controls", 1, 1) || is(L"rect", 1, 1) || is(L"close", 1, 1)) {
        if ((rc = Resolve(a[1], nullptr, &t)) != 0)
            return rc;
        if (cmd == L"controls") {
            EnumChildWindows(t.top, ListChildProc, 0);
            return 0;
        }
        if (cmd == L"rect")
            return CmdRect(t);
        PostMessageW(t.top, WM_CLOSE, 0, 0);
        Line("close " + OneLine(a[1]));
        return 0;
    }
    if (is(L"key", 2, 2)) {
        if ((rc = Resolve(a[1], nullptr, &t)) != 0)
            return rc;
        return CmdKey(t, a[2]);
    }
    if (is(L"post", 4, 4) || is(L"send", 4, 4)) {
        UINT msg = 0;
        long long wp = 0, lp = 0;
        if (!ParseMessage(a[2], &msg) || !ParseNumber(a[3], &wp) || !ParseNumber(a[4], &lp))
            return Usage();
        if ((rc = Resolve(a[1], nullptr, &t)) != 0)
            return rc;
        if (cmd == L"post") {
            if (!PostMessageW(t.top, msg, (WPARAM)wp, (LPARAM)lp)) {
                Line("error PostMessage " + Num(GetLastError()));
                return 3;
            }
            Line("post " + Num(msg));
            return 0;
        }
        LRESULT r = 0;
        Line(SendAndWait(t.top, t.top, msg, (WPARAM)wp, (LPARAM)lp, &r) ? "result " + Num((long long)r) : "pending");
        return 0;
    }
    if (is(L"click", 2, 2) || is(L"check", 2, 2) || is(L"text", 2, 2) || is(L"settext", 3, 3) ||
        is(L"trackbar", 2, 3) || is(L"combo", 2, 3)) {
        if ((rc = Resolve(a[1], &a[2], &t)) != 0)
            return rc;
        std::string id = Num(GetDlgCtrlID(t.control));
        if (cmd == L"click")
            return CmdClick(t, id);
        if (cmd == L"check") {
            DWORD_PTR state = 0;
            SendMessageTimeoutW(t.control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state);
            Line("check " + id + " " + Num((long long)state));
            return 0;
        }
        if (cmd == L"settext") {
            // A pointer argument: only a synchronous send carries it to another process.
            DWORD_PTR r = 0;
            if (!SendMessageTimeoutW(t.control, WM_SETTEXT, 0, (LPARAM)a[3].c_str(), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                     &r)) {
                Line("error WM_SETTEXT was not answered");
                return 3;
            }
        }
        if (cmd == L"text" || cmd == L"settext") {
            Line("text " + id + " " + OneLine(WindowText(t.control)));
            return 0;
        }
        if (cmd == L"trackbar")
            return CmdTrackbar(t, id, n > 3 ? &a[3] : nullptr);
        return CmdCombo(t, id, n > 3 ? &a[3] : nullptr);
    }
    return Usage();
}

}  // namespace

int main()
{
    _setmode(_fileno(stdout), _O_BINARY);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < argc; ++i)
        args.push_back(Unescape(argv[i]));
    int rc = Run(args);
    std::fflush(stdout);
    return rc;
}
