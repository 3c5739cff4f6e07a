// The Windows headers for the programs' Win32 glue, with the A/W macros that share
// names with the platform's calls taken away (call the ...A functions by name), and
// the dialog wrapper. Include this instead of <windows.h> wherever appplatform.h is
// used too.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <ddeml.h>
#include <shellapi.h>
#include <shlobj.h>

#undef RegOpenKey
#undef RegCreateKey
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue
#undef RegDeleteKey
#undef RegEnumKey
#undef CopyFile
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory
#undef SetFileAttributes
#undef CreateMutex
#undef ShellExecute
#undef FindWindow
#undef SendMessage
#undef PostMessage
#undef MessageBox
#undef ExitWindows
#undef WriteProfileString
#undef SystemParametersInfo
#undef SetCurrentDirectory  // Uninst

#include "appplatform.h"

namespace app {

// A dialog window of the running program (the HWND its dialog procedure receives).
class Win32Dialog : public Dialog {
public:
    explicit Win32Dialog(HWND hwnd) : hwnd_(hwnd) {}

    Window handle() override { return hwnd_; }
    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    std::string Text(int id) override;
    void SetText(int id, const char* text) override;
    void SetTitle(const char* text) override;
    void Show(int id, bool visible) override;
    bool IsVisible(int id) override;
    void Enable(int id, bool enabled) override;
    std::intptr_t SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    skin::Rect WindowRect() override;
    void Move(const skin::Rect& rect, bool repaint) override;
    void Invalidate() override;
    void End(std::intptr_t result) override;

private:
    HWND hwnd_;
};

}  // namespace app
