// The programs' platform: every system service that Pointwell, setup, Flipkey and
// the companion programs use, behind one interface. Under Windows it is the Win32
// call of the same name (appplatform_win32.cpp, thin: no logic); natively it is
// NativeAppPlatform (appplatform_native.h), which keeps state a test can inspect and
// drive and reaches the simulated kernel's registry and user-mode door, so that the
// programs' logic talks to the simulated Zelko through the same registry values and
// control device it uses on Windows.
//
// The interface is the skin library's platform grown: one object serves both, so a
// program installs one platform (SetAppPlatform) and the bitmap and language code
// draw and read through the same object.
//
// Conventions: every call mirrors one Win32 call (named in its comment) with the
// same results (Win32 error codes as long, BOOL as bool, handles as opaque values);
// strings are the programs' narrow (ANSI) strings; paths are Windows paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform.h"
#include "wincodes.h"  // error codes, file attributes, access masks, messages

namespace app {

using Handle = void*;           // a kernel object (file, mutex, ...); nullptr is none
using Window = void*;           // an HWND; nullptr is none
using RegKey = std::uintptr_t;  // an HKEY

// Predefined registry roots (the HKEY values of Windows).
constexpr RegKey kHkeyClassesRoot = 0x80000000u;
constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;

// Registry value types.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// What GetVersionExA reports (OSVERSIONINFOA, size 148 on every build).
struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t platformId = 0;  // 0 Win32s, 1 Windows 95/98/Me, 2 NT
    std::string csdVersion;
};

// A message of a window (the platform delivers timers and posted messages this way).
struct Message {
    Window window = nullptr;
    std::uint32_t msg = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class Platform : public skin::Platform {
public:
    // ---- registry (advapi32); results are Win32 error codes --------------------------
    // RegOpenKeyExA(root, subKey, 0, access, out).
    virtual long RegOpenKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out) = 0;
    // RegCreateKeyExA(root, subKey, 0, "", REG_OPTION_NON_VOLATILE, access, nullptr, out,
    // &disposition); *created (may be null) tells REG_CREATED_NEW_KEY.
    virtual long RegCreateKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out, bool* created) = 0;
    // RegQueryValueExA(key, name, nullptr, type, data, size): data may be null to ask the
    // size; a missing value leaves data (and *size, when data is given) as they were.
    // *type is not kept, and after kErrorMoreData the buffer holds nothing to rely on.
    virtual long RegQueryValue(RegKey key, const char* name, std::uint32_t* type, void* data, std::uint32_t* size) = 0;
    // RegSetValueExA(key, name, 0, type, data, size): REG_SZ is stored as given (the
    // programs pass the length without the terminating zero).
    virtual long RegSetValue(RegKey key, const char* name, std::uint32_t type, const void* data,
                             std::uint32_t size) = 0;
    virtual long RegDeleteValue(RegKey key, const char* name) = 0;  // RegDeleteValueA
    virtual long RegDeleteKey(RegKey key, const char* subKey) = 0;  // RegDeleteKeyA (no subkeys)
    // RegEnumKeyExA(key, index, name, nameSize, ...): kErrorNoMoreItems past the end.
    virtual long RegEnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) = 0;
    virtual long RegCloseKey(RegKey key) = 0;

    // ---- files (kernel32) ------------------------------------------------------------
    // fopen(path, mode) on the Windows path (the programs' file streams open through it).
    virtual std::FILE* OpenFile(const char* path, const char* mode) = 0;
    virtual std::uint32_t FileAttributes(const char* path) = 0;                      // GetFileAttributesA
    virtual bool SetFileAttributes(const char* path, std::uint32_t attributes) = 0;  // SetFileAttributesA
    virtual bool CopyFile(const char* from, const char* to, bool failIfExists) = 0;  // CopyFileA
    virtual bool DeleteFile(const char* path) = 0;                                   // DeleteFileA
    virtual bool CreateDirectory(const char* path) = 0;                              // CreateDirectoryA(path, nullptr)
    virtual bool RemoveDirectory(const char* path) = 0;                              // RemoveDirectoryA
    virtual std::string WindowsDirectory() = 0;                                      // GetWindowsDirectoryA
    virtual std::string SystemDirectory() = 0;                                       // GetSystemDirectoryA
    // GetPrivateProfileIntA / WritePrivateProfileStringA (GetPrivateProfileStringA is the
    // skin platform's ProfileString).
    virtual std::uint32_t ProfileInt(const char* section, const char* key, int def, const char* file) = 0;
    virtual bool WriteProfileString(const char* section, const char* key, const char* value, const char* file) = 0;
    virtual std::uint32_t LastError() = 0;  // GetLastError

    // ---- devices (kernel32) ----------------------------------------------------------
    // CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
    // 0, nullptr); nullptr when it fails.
    virtual Handle OpenDevice(const char* path, std::uint32_t access) = 0;
    // DeviceIoControl(handle, code, in, inSize, out, outSize, returned, nullptr) != 0.
    virtual bool DeviceControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                               std::uint32_t outSize, std::uint32_t* returned) = 0;
    virtual bool CloseHandle(Handle handle) = 0;

    // ---- process and system ----------------------------------------------------------
    virtual bool VersionEx(OsVersion* out) = 0;  // GetVersionExA (false: failed)
    virtual int SystemMetric(int index) = 0;     // GetSystemMetrics
    virtual std::uint32_t TickCount() = 0;       // GetTickCount
    virtual void Sleep(std::uint32_t ms) = 0;    // Sleep: a plain blocking wait
    // SystemParametersInfoA(action, uiParam, pvParam, winIni).
    virtual bool SystemParametersInfo(std::uint32_t action, std::uint32_t uiParam, void* pvParam,
                                      std::uint32_t winIni) = 0;
    // mouse_event(flags, dx, dy, data, 0).
    virtual void MouseEvent(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy, std::uint32_t data) = 0;
    // CreateMutexA(nullptr, initialOwner, name); *alreadyExisted from GetLastError.
    virtual Handle CreateMutex(const char* name, bool initialOwner, bool* alreadyExisted) = 0;
    virtual std::uint32_t WaitForObject(Handle handle, std::uint32_t ms) = 0;  // WaitForSingleObject
    virtual bool ReleaseMutex(Handle handle) = 0;
    // ShellExecuteA(window, verb, file, parameters, directory, show): > 32 on success.
    virtual std::intptr_t ShellExecute(Window window, const char* verb, const char* file, const char* parameters,
                                       const char* directory, int show) = 0;
    // OpenProcessToken + LookupPrivilegeValueA(SE_SHUTDOWN_NAME) + AdjustTokenPrivileges.
    virtual bool EnableShutdownPrivilege() = 0;
    virtual bool ExitWindows(std::uint32_t flags) = 0;  // ExitWindowsEx(flags, 0)

    // ---- windows, messages and timers (user32) ---------------------------------------
    virtual Window FindWindow(const char* className, const char* title) = 0;  // FindWindowA
    virtual std::intptr_t SendMessage(Window window, std::uint32_t msg, std::uintptr_t wParam,
                                      std::intptr_t lParam) = 0;  // SendMessageA
    virtual bool PostMessage(Window window, std::uint32_t msg, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;  // PostMessageA
    // MessageBoxA(owner, text, caption, type): the button pressed (IDOK, IDYES, ...).
    virtual int MessageBox(Window owner, const char* text, const char* caption, std::uint32_t type) = 0;
    virtual std::uintptr_t SetTimer(Window window, std::uintptr_t id,
                                    std::uint32_t ms) = 0;  // SetTimer(w, id, ms, nullptr)
    virtual bool KillTimer(Window window, std::uintptr_t id) = 0;
    virtual int ShowCursor(bool show) = 0;  // ShowCursor: the display count after the call
    // SHBrowseForFolderA(root CSIDL_DRIVES, title) + SHGetPathFromIDListA; empty when cancelled.
    virtual std::string BrowseForFolder(Window owner, const char* title) = 0;

    // ---- Program Manager DDE (user32) ------------------------------------------------
    // DdeInitializeA + DdeConnect(service, topic); nullptr when no conversation.
    virtual Handle DdeOpen(const char* service, const char* topic) = 0;
    // One XTYP_EXECUTE transaction of the zero-terminated command; true when acknowledged.
    virtual bool DdeExecute(Handle conversation, const char* command) = 0;
    // DdeDisconnect + DdeUninitialize.
    virtual void DdeClose(Handle conversation) = 0;

    // ---- added by the programs (each in its own section, Win32 and native alike) ------
    // Pointwell:
    // setup:
    // DdeInitializeA(APPCMD_CLIENTONLY) then DdeUninitialize: false when the DDE library
    // cannot be initialised at all (DdeOpen's nullptr does not tell that from no answer).
    virtual bool DdeAvailable() = 0;
    // Flipkey and BEEP: (each answers "failed" unless a platform implements it, so that a
    // stand-in platform of another program's tests need not)
    // LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)); nullptr when missing.
    virtual Handle LoadBitmapResource(int) { return nullptr; }
    virtual bool DeleteObject(Handle) { return false; }  // DeleteObject (a GDI object)
    // SetWindowPos(window, insertAfter, x, y, cx, cy, flags); insertAfter -1 is HWND_TOPMOST.
    virtual bool SetWindowPos(Window, Window, int, int, int, int, std::uint32_t) { return false; }
    virtual bool ShowWindow(Window, int) { return false; }          // ShowWindow: was it visible
    virtual bool UpdateWindow(Window) { return false; }             // UpdateWindow
    virtual bool WindowRect(Window, skin::Rect*) { return false; }  // GetWindowRect
    // SetWindowsHookExA(WH_MOUSE_LL, ..., module, 0): onLeftPress(context) runs on the
    // calling thread for every WM_LBUTTONDOWN anywhere. False where there is no such
    // hook (Windows 98). One hook at a time; RemoveMouseHook is UnhookWindowsHookEx.
    virtual bool InstallMouseHook(void (*)(void* context), void*) { return false; }
    virtual void RemoveMouseHook() {}
    // PlaySoundA(wave, nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT): a whole RIFF WAVE
    // image that stays valid while it plays.
    virtual bool PlayWave(const void*) { return false; }
    // Uninst:
    // FindFirstFileA/FindNextFileA(pattern): the names (without folder) of the files
    // that match, folders left out; empty when none.
    virtual std::vector<std::string> FindFiles(const char* pattern) = 0;
    // MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT): the system removes the
    // file, or the empty folder, at the next restart (Windows NT; false on Windows 98).
    virtual bool DeleteAtRestart(const char* path) = 0;
    // SetupDiGetClassDevsA(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES) and
    // SetupDiCallClassInstaller(DIF_REMOVE) for each member whose hardware ids
    // (SPDRP_HARDWAREID) include hardwareId, compared without regard to case: the number
    // removed, -1 when the device list cannot be had (the setup API is loaded when first
    // needed, so that the other programs do not import it).
    virtual int RemoveDevices(const char* enumerator, const char* hardwareId) = 0;
    // OpenSCManagerA + OpenServiceA + ControlService(SERVICE_CONTROL_STOP) +
    // DeleteService: true when the service is deleted or marked for deletion.
    virtual bool DeleteService(const char* name) = 0;
    virtual bool SetCurrentDirectory(const char* path) = 0;  // SetCurrentDirectoryA
    // GetWindowThreadProcessId + OpenProcess(SYNCHRONIZE): the process that owns the
    // window, for WaitForObject and CloseHandle; nullptr when it cannot be had.
    virtual Handle OpenWindowProcess(Window window) = 0;
};

// One dialog of a program: its window and its controls by id. The Win32 side wraps an
// HWND (GetDlgItem and the calls named below); the native one (NativeDialog) keeps
// each control's state for a test to read and set, and answers the trackbar and
// progress-bar messages the programs send.
class Dialog {
public:
    virtual ~Dialog() = default;
    virtual Window handle() = 0;
    virtual bool IsChecked(int id) = 0;                  // IsDlgButtonChecked == BST_CHECKED
    virtual void SetChecked(int id, bool checked) = 0;   // CheckDlgButton
    virtual std::string Text(int id) = 0;                // GetDlgItemTextA
    virtual void SetText(int id, const char* text) = 0;  // SetDlgItemTextA
    virtual void SetTitle(const char* text) = 0;         // SetWindowTextA of the dialog
    virtual void Show(int id, bool visible) = 0;         // ShowWindow(GetDlgItem(id), SW_SHOW / SW_HIDE)
    virtual bool IsVisible(int id) = 0;                  // IsWindowVisible(GetDlgItem(id))
    virtual void Enable(int id, bool enabled) = 0;       // EnableWindow(GetDlgItem(id), enabled)
    // SendDlgItemMessageA: trackbars (TBM_*), progress bars (PBM_*), BM_SETIMAGE, ...
    virtual std::intptr_t SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual skin::Rect WindowRect() = 0;                          // GetWindowRect (screen coordinates)
    virtual void Move(const skin::Rect& rect, bool repaint) = 0;  // MoveWindow
    virtual void Invalidate() = 0;                                // InvalidateRect(hwnd, nullptr, TRUE)
    virtual void End(std::intptr_t result) = 0;                   // EndDialog
};

// The platform in use (the Win32 one under Windows, NativeAppPlatform elsewhere).
Platform& CurrentAppPlatform();
// Installs a platform for the programs and the skin library alike (tests); nullptr
// restores the default. Returns the previous one.
Platform* SetAppPlatform(Platform* platform);
// The default platform of this build (defined by the platform file that is built).
Platform& DefaultAppPlatform();

}  // namespace app
