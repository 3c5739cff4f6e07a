// The Win32 calls behind the programs' platform (built only for Windows): each
// method is the call its declaration names, with no logic of its own.
#include "appplatform_win32.h"

#include <cstring>
#include <vector>

namespace app {
namespace {

// The predefined roots are sign-extended handles on 64-bit Windows.
HKEY ToHkey(RegKey key)
{
    switch (key) {
    case kHkeyClassesRoot:
        return HKEY_CLASSES_ROOT;
    case kHkeyCurrentUser:
        return HKEY_CURRENT_USER;
    case kHkeyLocalMachine:
        return HKEY_LOCAL_MACHINE;
    default:
        return reinterpret_cast<HKEY>(key);
    }
}

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

struct DdeLink {
    DWORD instance = 0;
    HCONV conversation = nullptr;
};

class Win32AppPlatform : public Platform {
public:
    // ---- skin::Platform: the skin library's Win32 calls ----------------------------------
    std::string ModuleFileName() override { return skin::DefaultPlatform().ModuleFileName(); }
    std::uint16_t SystemDefaultLangId() override { return GetSystemDefaultLangID(); }
    std::uint32_t ProfileString(const char* section, const char* key, const char* def, char* out, std::uint32_t size,
                                const char* file) override
    {
        return GetPrivateProfileStringA(section, key, def, out, size, file);
    }
    std::FILE* OpenForReading(const char* path) override { return std::fopen(path, "rb"); }
    void SetStretchMode(skin::DrawContext dc, int mode) override { SetStretchBltMode(static_cast<HDC>(dc), mode); }
    int StretchDib(skin::DrawContext dc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                   const void* bits, const skin::DibHeader& info) override
    {
        return skin::DefaultPlatform().StretchDib(dc, dx, dy, dw, dh, sx, sy, sw, sh, bits, info);
    }
    bool ClientRectOnScreen(skin::WindowHandle window, skin::Rect* rect) override
    {
        return skin::DefaultPlatform().ClientRectOnScreen(window, rect);
    }
    bool SetWindowRegion(skin::WindowHandle window, const skin::Rect& rect) override
    {
        return skin::DefaultPlatform().SetWindowRegion(window, rect);
    }

    // ---- registry ---------------------------------------------------------------------------
    long RegOpenKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out) override
    {
        HKEY k = nullptr;
        const LONG r = RegOpenKeyExA(ToHkey(root), subKey, 0, access, &k);
        *out = reinterpret_cast<RegKey>(k);
        return r;
    }
    long RegCreateKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out, bool* created) override
    {
        HKEY k = nullptr;
        DWORD disposition = 0;
        char empty[1] = "";
        const LONG r =
            RegCreateKeyExA(ToHkey(root), subKey, 0, empty, REG_OPTION_NON_VOLATILE, access, nullptr, &k, &disposition);
        *out = reinterpret_cast<RegKey>(k);
        if (created)
            *created = r == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
        return r;
    }
    long RegQueryValue(RegKey key, const char* name, std::uint32_t* type, void* data, std::uint32_t* size) override
    {
        DWORD t = type ? *type : 0;
        DWORD n = size ? *size : 0;
        const LONG r = RegQueryValueExA(ToHkey(key), name, nullptr, type ? &t : nullptr, static_cast<BYTE*>(data),
                                        size ? &n : nullptr);
        if (type)
            *type = t;
        if (size)
            *size = n;
        return r;
    }
    long RegSetValue(RegKey key, const char* name, std::uint32_t type, const void* data, std::uint32_t size) override
    {
        return RegSetValueExA(ToHkey(key), name, 0, type, static_cast<const BYTE*>(data), size);
    }
    long RegDeleteValue(RegKey key, const char* name) override { return RegDeleteValueA(ToHkey(key), name); }
    long RegDeleteKey(RegKey key, const char* subKey) override { return RegDeleteKeyA(ToHkey(key), subKey); }
    long RegEnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) override
    {
        DWORD n = *nameSize;
        const LONG r = RegEnumKeyExA(ToHkey(key), index, name, &n, nullptr, nullptr, nullptr, nullptr);
        *nameSize = n;
        return r;
    }
    long RegCloseKey(RegKey key) override { return ::RegCloseKey(ToHkey(key)); }

    // ---- files -------------------------------------------------------------------------------
    std::FILE* OpenFile(const char* path, const char* mode) override { return std::fopen(path, mode); }
    std::uint32_t FileAttributes(const char* path) override { return GetFileAttributesA(path); }
    bool SetFileAttributes(const char* path, std::uint32_t attributes) override
    {
        return SetFileAttributesA(path, attributes) != 0;
    }
    bool CopyFile(const char* from, const char* to, bool failIfExists) override
    {
        return CopyFileA(from, to, failIfExists) != 0;
    }
    bool DeleteFile(const char* path) override { return DeleteFileA(path) != 0; }
    bool CreateDirectory(const char* path) override { return CreateDirectoryA(path, nullptr) != 0; }
    bool RemoveDirectory(const char* path) override { return RemoveDirectoryA(path) != 0; }
    std::string WindowsDirectory() override
    {
        char buf[MAX_PATH] = {};
        const UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
        return std::string(buf, n < MAX_PATH ? n : 0);
    }
    std::string SystemDirectory() override
    {
        char buf[MAX_PATH] = {};
        const UINT n = GetSystemDirectoryA(buf, MAX_PATH);
        return std::string(buf, n < MAX_PATH ? n : 0);
    }
    std::uint32_t ProfileInt(const char* section, const char* key, int def, const char* file) override
    {
        return GetPrivateProfileIntA(section, key, def, file);
    }
    bool WriteProfileString(const char* section, const char* key, const char* value, const char* file) override
    {
        return WritePrivateProfileStringA(section, key, value, file) != 0;
    }
    std::uint32_t LastError() override { return GetLastError(); }

    // ---- devices -----------------------------------------------------------------------------
    Handle OpenDevice(const char* path, std::uint32_t access) override
    {
        HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        return h == INVALID_HANDLE_VALUE ? nullptr : h;
    }
    bool DeviceControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* returned) override
    {
        DWORD n = 0;
        const BOOL ok = DeviceIoControl(handle, code, const_cast<void*>(in), inSize, out, outSize, &n, nullptr);
        if (returned)
            *returned = n;
        return ok != 0;
    }
    bool CloseHandle(Handle handle) override { return ::CloseHandle(handle) != 0; }

    // ---- process and system --------------------------------------------------------------------
    bool VersionEx(OsVersion* out) override
    {
        OSVERSIONINFOA vi = {};
        vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExA(&vi))
            return false;
#pragma GCC diagnostic pop
        out->major = vi.dwMajorVersion;
        out->minor = vi.dwMinorVersion;
        out->build = vi.dwBuildNumber;
        out->platformId = vi.dwPlatformId;
        out->csdVersion = std::string(vi.szCSDVersion, strnlen(vi.szCSDVersion, sizeof vi.szCSDVersion));
        return true;
    }
    int SystemMetric(int index) override { return GetSystemMetrics(index); }
    std::uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
    bool SystemParametersInfo(std::uint32_t action, std::uint32_t uiParam, void* pvParam, std::uint32_t winIni) override
    {
        return SystemParametersInfoA(action, uiParam, pvParam, winIni) != 0;
    }
    void MouseEvent(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy, std::uint32_t data) override
    {
        mouse_event(flags, dx, dy, data, 0);
    }
    Handle CreateMutex(const char* name, bool initialOwner, bool* alreadyExisted) override
    {
        HANDLE h = CreateMutexA(nullptr, initialOwner, name);
        if (alreadyExisted)
            *alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
        return h;
    }
    std::uint32_t WaitForObject(Handle handle, std::uint32_t ms) override { return WaitForSingleObject(handle, ms); }
    bool ReleaseMutex(Handle handle) override { return ::ReleaseMutex(handle) != 0; }
    std::intptr_t ShellExecute(Window window, const char* verb, const char* file, const char* parameters,
                               const char* directory, int show) override
    {
        return reinterpret_cast<std::intptr_t>(
            ShellExecuteA(static_cast<HWND>(window), verb, file, parameters, directory, show));
    }
    bool EnableShutdownPrivilege() override
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return false;
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        bool ok = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid) &&
                  AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
        ::CloseHandle(token);
        return ok;
    }
    bool ExitWindows(std::uint32_t flags) override { return ExitWindowsEx(flags, 0) != 0; }

    // ---- windows, messages and timers ------------------------------------------------------------
    Window FindWindow(const char* className, const char* title) override { return FindWindowA(className, title); }
    std::intptr_t SendMessage(Window window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        return SendMessageA(static_cast<HWND>(window), msg, wParam, lParam);
    }
    bool PostMessage(Window window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        return PostMessageA(static_cast<HWND>(window), msg, wParam, lParam) != 0;
    }
    int MessageBox(Window owner, const char* text, const char* caption, std::uint32_t type) override
    {
        return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
    }
    std::uintptr_t SetTimer(Window window, std::uintptr_t id, std::uint32_t ms) override
    {
        return ::SetTimer(static_cast<HWND>(window), id, ms, nullptr);
    }
    bool KillTimer(Window window, std::uintptr_t id) override
    {
        return ::KillTimer(static_cast<HWND>(window), id) != 0;
    }
    int ShowCursor(bool show) override { return ::ShowCursor(show); }
    std::string BrowseForFolder(Window owner, const char* title) override
    {
        LPITEMIDLIST rootList = nullptr;
        SHGetSpecialFolderLocation(static_cast<HWND>(owner), CSIDL_DRIVES, &rootList);
        BROWSEINFOA bi = {};
        bi.hwndOwner = static_cast<HWND>(owner);
        bi.pidlRoot = rootList;
        bi.lpszTitle = title;
        bi.ulFlags = BIF_RETURNONLYFSDIRS;
        char path[MAX_PATH] = {};
        std::string result;
        if (LPITEMIDLIST chosen = SHBrowseForFolderA(&bi)) {
            if (SHGetPathFromIDListA(chosen, path))
                result = path;
            CoTaskMemFree(chosen);
        }
        if (rootList)
            CoTaskMemFree(rootList);
        return result;
    }

    // ---- Program Manager DDE ---------------------------------------------------------------------
    Handle DdeOpen(const char* service, const char* topic) override
    {
        auto* link = new DdeLink;
        if (DdeInitializeA(&link->instance, DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
            delete link;
            return nullptr;
        }
        HSZ s = DdeCreateStringHandleA(link->instance, service, CP_WINANSI);
        HSZ t = DdeCreateStringHandleA(link->instance, topic, CP_WINANSI);
        link->conversation = DdeConnect(link->instance, s, t, nullptr);
        if (s)
            DdeFreeStringHandle(link->instance, s);
        if (t)
            DdeFreeStringHandle(link->instance, t);
        if (!link->conversation) {
            DdeUninitialize(link->instance);
            delete link;
            return nullptr;
        }
        return link;
    }
    bool DdeExecute(Handle conversation, const char* command) override
    {
        auto* link = static_cast<DdeLink*>(conversation);
        if (!link || !command)
            return false;
        DWORD result = 0;
        HDDEDATA r =
            DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(command)), DWORD(std::strlen(command) + 1),
                                 link->conversation, nullptr, 0, XTYP_EXECUTE, 10000, &result);
        return r != nullptr;
    }
    void DdeClose(Handle conversation) override
    {
        auto* link = static_cast<DdeLink*>(conversation);
        if (!link)
            return;
        DdeDisconnect(link->conversation);
        DdeUninitialize(link->instance);
        delete link;
    }

    // ---- added by the programs (each in its own section) ----------------------------------------
    // Pointwell:
    // setup:
    bool DdeAvailable() override
    {
        DWORD instance = 0;
        if (DdeInitializeA(&instance, DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
            return false;
        DdeUninitialize(instance);
        return true;
    }
    // Flipkey and BEEP:
    Handle LoadBitmapResource(int id) override { return LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)); }
    bool DeleteObject(Handle object) override { return ::DeleteObject(static_cast<HGDIOBJ>(object)) != 0; }
    bool SetWindowPos(Window window, Window insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override
    {
        return ::SetWindowPos(static_cast<HWND>(window), static_cast<HWND>(insertAfter), x, y, cx, cy, flags) != 0;
    }
    bool ShowWindow(Window window, int command) override
    {
        return ::ShowWindow(static_cast<HWND>(window), command) != 0;
    }
    bool UpdateWindow(Window window) override { return ::UpdateWindow(static_cast<HWND>(window)) != 0; }
    bool WindowRect(Window window, skin::Rect* rect) override
    {
        RECT rc;
        if (!rect || !GetWindowRect(static_cast<HWND>(window), &rc))
            return false;
        *rect = skin::Rect{rc.left, rc.top, rc.right, rc.bottom};
        return true;
    }
    bool InstallMouseHook(void (*onLeftPress)(void*), void* context) override
    {
        if (mouseHook_ || !onLeftPress)
            return false;
        hookCallback_ = onLeftPress;
        hookContext_ = context;
        mouseHook_ = SetWindowsHookExA(WH_MOUSE_LL, &Win32AppPlatform::LowLevelMouse, GetModuleHandleA(nullptr), 0);
        if (!mouseHook_)
            hookCallback_ = nullptr;
        return mouseHook_ != nullptr;
    }
    void RemoveMouseHook() override
    {
        if (mouseHook_)
            UnhookWindowsHookEx(mouseHook_);
        mouseHook_ = nullptr;
        hookCallback_ = nullptr;
    }
    bool PlayWave(const void* wave) override
    {
        return PlaySoundA(static_cast<LPCSTR>(wave), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT) != 0;
    }
    // Uninst:
    std::vector<std::string> FindFiles(const char* pattern) override
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(pattern, &data);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.emplace_back(data.cFileName);
        } while (FindNextFileA(find, &data));
        FindClose(find);
        return names;
    }
    bool DeleteAtRestart(const char* path) override
    {
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    }
    int RemoveDevices(const char* enumerator, const char* hardwareId) override
    {
        // The setup API is loaded here only, so that the other programs do not import it.
        // SP_DEVINFO_DATA: cbSize, ClassGuid, DevInst, Reserved.
        struct DevInfoData {
            DWORD cbSize;
            GUID classGuid;
            DWORD devInst;
            ULONG_PTR reserved;
        };
        using GetClassDevs = HANDLE(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
        using EnumDeviceInfo = BOOL(WINAPI*)(HANDLE, DWORD, DevInfoData*);
        using CallClassInstaller = BOOL(WINAPI*)(UINT, HANDLE, DevInfoData*);
        using DestroyList = BOOL(WINAPI*)(HANDLE);
        using GetProperty = BOOL(WINAPI*)(HANDLE, DevInfoData*, DWORD, DWORD*, BYTE*, DWORD, DWORD*);
        HMODULE setupapi = LoadLibraryA("setupapi.dll");
        if (!setupapi)
            return -1;
        auto getClassDevs =
            reinterpret_cast<GetClassDevs>(reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupDiGetClassDevsA")));
        auto enumDevice = reinterpret_cast<EnumDeviceInfo>(
            reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupDiEnumDeviceInfo")));
        auto callInstaller = reinterpret_cast<CallClassInstaller>(
            reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupDiCallClassInstaller")));
        auto destroy = reinterpret_cast<DestroyList>(
            reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupDiDestroyDeviceInfoList")));
        auto getProperty = reinterpret_cast<GetProperty>(
            reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupDiGetDeviceRegistryPropertyA")));
        int removed = -1;
        if (getClassDevs && enumDevice && callInstaller && destroy && getProperty) {
            constexpr DWORD kDigcfAllClasses = 0x4;
            constexpr UINT kDifRemove = 0x5;
            HANDLE set = getClassDevs(nullptr, enumerator, nullptr, kDigcfAllClasses);
            if (set != INVALID_HANDLE_VALUE) {
                removed = 0;
                DevInfoData device = {};
                device.cbSize = sizeof(device);
                for (DWORD i = 0; enumDevice(set, i, &device); ++i) {
                    // SPDRP_HARDWAREID (1): a multi-string; room for its two closing zeros.
                    BYTE ids[1024] = {};
                    DWORD type = 0;
                    bool match = false;
                    if (getProperty(set, &device, 1, &type, ids, sizeof(ids) - 2, nullptr)) {
                        for (const char* id = reinterpret_cast<const char*>(ids); *id; id += std::strlen(id) + 1)
                            if (lstrcmpiA(id, hardwareId) == 0)
                                match = true;
                    }
                    if (match && callInstaller(kDifRemove, set, &device))
                        ++removed;
                    device = DevInfoData{};
                    device.cbSize = sizeof(device);
                }
                destroy(set);
            }
        }
        FreeLibrary(setupapi);
        return removed;
    }
    bool DeleteService(const char* name) override
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (!manager)
            return false;
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
        bool deleted = false;
        if (service) {
            // A stopped service is deleted at once; a running one only when it stops.
            SERVICE_STATUS status = {};
            if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
                for (int k = 0;
                     k < 50 && QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOP_PENDING;
                     ++k)
                    ::Sleep(100);
            }
            deleted = ::DeleteService(service) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
        return deleted;
    }
    bool SetCurrentDirectory(const char* path) override { return ::SetCurrentDirectoryA(path) != 0; }
    Handle OpenWindowProcess(Window window) override
    {
        DWORD id = 0;
        if (!GetWindowThreadProcessId(static_cast<HWND>(window), &id) || id == 0)
            return nullptr;
        return OpenProcess(SYNCHRONIZE, FALSE, id);
    }

private:
    // Flipkey and BEEP: the one low-level mouse hook (its procedure has no context).
    static LRESULT CALLBACK LowLevelMouse(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HC_ACTION && wParam == WM_LBUTTONDOWN && hookCallback_)
            hookCallback_(hookContext_);
        return CallNextHookEx(mouseHook_, code, wParam, lParam);
    }
    static inline HHOOK mouseHook_ = nullptr;
    static inline void (*hookCallback_)(void*) = nullptr;
    static inline void* hookContext_ = nullptr;
};

}  // namespace

// ---- the dialog ----------------------------------------------------------------------------------

bool Win32Dialog::IsChecked(int id) { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
void Win32Dialog::SetChecked(int id, bool checked) { CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED); }
std::string Win32Dialog::Text(int id)
{
    const int n = GetWindowTextLengthA(GetDlgItem(hwnd_, id));
    std::vector<char> buf(size_t(n > 0 ? n : 0) + 1, 0);
    const UINT got = GetDlgItemTextA(hwnd_, id, buf.data(), int(buf.size()));
    return std::string(buf.data(), got);
}
void Win32Dialog::SetText(int id, const char* text) { SetDlgItemTextA(hwnd_, id, text); }
void Win32Dialog::SetTitle(const char* text) { SetWindowTextA(hwnd_, text); }
void Win32Dialog::Show(int id, bool visible) { ShowWindow(GetDlgItem(hwnd_, id), visible ? SW_SHOW : SW_HIDE); }
bool Win32Dialog::IsVisible(int id) { return IsWindowVisible(GetDlgItem(hwnd_, id)) != 0; }
void Win32Dialog::Enable(int id, bool enabled) { EnableWindow(GetDlgItem(hwnd_, id), enabled); }
std::intptr_t Win32Dialog::SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    return SendDlgItemMessageA(hwnd_, id, msg, wParam, lParam);
}
skin::Rect Win32Dialog::WindowRect()
{
    RECT rc = {};
    GetWindowRect(hwnd_, &rc);
    return skin::Rect{rc.left, rc.top, rc.right, rc.bottom};
}
void Win32Dialog::Move(const skin::Rect& r, bool repaint)
{
    MoveWindow(hwnd_, int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top), repaint);
}
void Win32Dialog::Invalidate() { InvalidateRect(hwnd_, nullptr, TRUE); }
void Win32Dialog::End(std::intptr_t result) { EndDialog(hwnd_, result); }

// ---- the platform in use -------------------------------------------------------------------------

Platform& DefaultAppPlatform()
{
    static Win32AppPlatform platform;
    return platform;
}

}  // namespace app
