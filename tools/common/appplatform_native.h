// The programs' platform natively: every call keeps or reads state that a test can
// inspect and drive.
// - Registry: the simulated kernel's registry (HKLM is \REGISTRY\Machine, HKCU is
//   kCurrentUserHive, HKCR is HKLM\Software\Classes). A key handle does only what
//   the access it was opened with allows, as on Windows NT. Text values are kept as the
//   UTF-16 the drivers read; the programs' bytes map one to one onto UTF-16 units.
// - Files: a Windows path "X:\a\b" is <root>/x/a/b, its elements matched without
//   regard to case; with no root set, paths are used as they stand (slashes for
//   backslashes). Relative paths start at currentDirectory.
// - Message boxes are recorded and answered from a queue; top-level windows are
//   records a test registers; ShellExecuteA is recorded and may "start" a program by
//   registering its window; timers and posted messages are delivered when the test
//   advances the virtual clock (Advance); Sleep moves the clock without delivering.
// - Devices: the simulated kernel's user-mode door (sim::user), or a test's hook.
// - Drawing: into a skin::Canvas, as the skin library's native platform does.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "appplatform.h"
#include "platform_native.h"

namespace app {

constexpr const char* kCurrentUserHive = "\\REGISTRY\\User\\Current";

// The window messages and message-box answers it knows by number: wincodes.h.

struct MessageBoxCall {
    Window owner = nullptr;
    std::string text;
    std::string caption;
    std::uint32_t type = 0;
    int answer = 0;
};

struct ShellCall {
    Window window = nullptr;
    std::string verb, file, parameters, directory;
    int show = 0;
};

struct MouseCall {
    std::uint32_t flags = 0, dx = 0, dy = 0, data = 0;
};

struct SpiCall {
    std::uint32_t action = 0, uiParam = 0, winIni = 0;
};

struct DeviceCall {
    std::uint32_t code = 0, inSize = 0, outSize = 0;
    std::vector<std::uint8_t> in;
};

// Flipkey and BEEP:
struct WindowPosCall {
    Window window = nullptr, insertAfter = nullptr;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t flags = 0;
};

struct ShowCall {
    Window window = nullptr;
    int command = 0;
};

struct DdeConversation {
    std::string service, topic;
    std::vector<std::string> commands;
    bool open = true;
};

class NativeDialog;

// A top-level window or dialog of the native machine. Window values are pointers to these.
struct NativeAppWindow {
    std::string className;
    std::string title;
    bool alive = true;
    skin::Rect rect;            // GetWindowRect
    skin::Rect clientOnScreen;  // GetClientRect mapped to the screen
    bool shaped = false;        // SetWindowRgn was called
    skin::Rect region;
    std::vector<Message> received;  // every message sent or delivered, in order
    // Answers a message (sent or delivered); when empty, WM_CLOSE destroys the window
    // (DefWindowProc) and other messages give 0.
    std::function<std::intptr_t(const Message&)> proc;
    NativeDialog* dialog = nullptr;  // the dialog this window belongs to, if any
};

class NativeAppPlatform : public Platform {
public:
    NativeAppPlatform();
    ~NativeAppPlatform() override;

    // ---- what a test sets --------------------------------------------------------------
    std::string root;                       // native folder holding the drives (c/, d/, ...)
    std::string currentDirectory = "C:\\";  // for relative paths
    std::string modulePath;                 // GetModuleFileNameA (Windows path)
    std::uint16_t langId = 0x0409;
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string systemDirectory = "C:\\WINDOWS\\SYSTEM32";
    OsVersion version{5, 1, 2600, 2, "Service Pack 2"};
    bool versionFails = false;
    std::map<int, int> metrics{{0, 1024}, {1, 768}};  // SM_CXSCREEN, SM_CYSCREEN
    bool shutdownPrivilege = true;                    // what EnableShutdownPrivilege reports
    bool ddeAvailable = true;                         // Program Manager answers DdeConnect
    bool ddeAcknowledges = true;
    bool driveKernelClock = true;           // Advance and Sleep move the simulated kernel's clock too
    std::deque<int> messageBoxAnswers;      // the next answers; empty: the box's first button
    std::deque<std::string> folderAnswers;  // BrowseForFolder; empty: cancelled
    // ShellExecuteA: a program whose file name (without folder, any case) is a key here
    // "starts" by registering a top-level window with that title.
    std::map<std::string, std::string> programWindows;
    std::function<std::intptr_t(const ShellCall&)> onShellExecute;  // result; default 42
    std::function<void(const MouseCall&)> onMouseEvent;
    std::function<void(const MessageBoxCall&)> onMessageBox;  // sees each box before it is answered
    // Replaces the simulated kernel's door for device calls when set.
    std::function<bool(std::uint32_t code, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                       std::uint32_t* returned)>
        deviceHook;
    std::function<bool(const char* path)> deviceOpenHook;  // with deviceHook: whether the open succeeds

    // ---- what a test reads -------------------------------------------------------------
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<ShellCall> shellCalls;
    std::vector<MouseCall> mouseEvents;
    std::vector<SpiCall> spiCalls;
    std::vector<DeviceCall> deviceCalls;
    std::vector<std::string> deviceOpens;  // paths of OpenDevice calls
    int deviceCloses = 0;                  // device handles closed
    std::vector<std::uint32_t> sleeps;
    std::vector<std::uint32_t> exitWindowsCalls;
    std::vector<DdeConversation> ddeConversations;
    int cursorCount = 0;         // ShowCursor's display count
    bool swapButtons = false;    // SPI_SETMOUSEBUTTONSWAP's state
    std::uint32_t now = 100000;  // GetTickCount (ms)

    // ---- what a test does ---------------------------------------------------------------
    // Registers a top-level window (another program's, e.g. "Function").
    Window AddWindow(const std::string& title, const std::string& className = "");
    NativeAppWindow* WindowOf(Window window);    // nullptr when not a window of this platform
    int CountWindows(const std::string& title);  // alive top-level windows with this title
    // Moves the virtual clock by ms, delivering posted messages and timers as they fall
    // due (posted messages first, timers in order of their due time).
    void Advance(std::uint32_t ms);
    // Delivers the posted messages without moving the clock.
    void Pump();
    bool HasTimer(Window window, std::uintptr_t id) const;
    // The native path a Windows path maps to.
    std::string HostPath(const char* windowsPath) const;
    // Value of a registry text value as the programs read it; false when missing.
    bool RegistryText(RegKey root, const std::string& subKey, const std::string& name, std::string* out);
    skin::NativePlatform& drawing() { return drawing_; }

    // ---- skin::Platform ---------------------------------------------------------------
    std::string ModuleFileName() override;
    std::uint16_t SystemDefaultLangId() override { return langId; }
    std::uint32_t ProfileString(const char* section, const char* key, const char* def, char* out, std::uint32_t size,
                                const char* file) override;
    std::FILE* OpenForReading(const char* path) override;
    void SetStretchMode(skin::DrawContext dc, int mode) override;
    int StretchDib(skin::DrawContext dc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                   const void* bits, const skin::DibHeader& info) override;
    bool ClientRectOnScreen(skin::WindowHandle window, skin::Rect* rect) override;
    bool SetWindowRegion(skin::WindowHandle window, const skin::Rect& rect) override;

    // ---- app::Platform ------------------------------------------------------------------
    long RegOpenKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out) override;
    long RegCreateKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out, bool* created) override;
    long RegQueryValue(RegKey key, const char* name, std::uint32_t* type, void* data, std::uint32_t* size) override;
    long RegSetValue(RegKey key, const char* name, std::uint32_t type, const void* data, std::uint32_t size) override;
    long RegDeleteValue(RegKey key, const char* name) override;
    long RegDeleteKey(RegKey key, const char* subKey) override;
    long RegEnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) override;
    long RegCloseKey(RegKey key) override;

    std::FILE* OpenFile(const char* path, const char* mode) override;
    std::uint32_t FileAttributes(const char* path) override;
    bool SetFileAttributes(const char* path, std::uint32_t attributes) override;
    bool CopyFile(const char* from, const char* to, bool failIfExists) override;
    bool DeleteFile(const char* path) override;
    bool CreateDirectory(const char* path) override;
    bool RemoveDirectory(const char* path) override;
    std::string WindowsDirectory() override { return windowsDirectory; }
    std::string SystemDirectory() override { return systemDirectory; }
    std::uint32_t ProfileInt(const char* section, const char* key, int def, const char* file) override;
    bool WriteProfileString(const char* section, const char* key, const char* value, const char* file) override;
    std::uint32_t LastError() override { return lastError_; }

    Handle OpenDevice(const char* path, std::uint32_t access) override;
    bool DeviceControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* returned) override;
    bool CloseHandle(Handle handle) override;

    bool VersionEx(OsVersion* out) override;
    int SystemMetric(int index) override;
    std::uint32_t TickCount() override { return now; }
    void Sleep(std::uint32_t ms) override;
    bool SystemParametersInfo(std::uint32_t action, std::uint32_t uiParam, void* pvParam,
                              std::uint32_t winIni) override;
    void MouseEvent(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy, std::uint32_t data) override;
    Handle CreateMutex(const char* name, bool initialOwner, bool* alreadyExisted) override;
    std::uint32_t WaitForObject(Handle handle, std::uint32_t ms) override;
    bool ReleaseMutex(Handle handle) override;
    std::intptr_t ShellExecute(Window window, const char* verb, const char* file, const char* parameters,
                               const char* directory, int show) override;
    bool EnableShutdownPrivilege() override { return shutdownPrivilege; }
    bool ExitWindows(std::uint32_t flags) override;

    Window FindWindow(const char* className, const char* title) override;
    std::intptr_t SendMessage(Window window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool PostMessage(Window window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    int MessageBox(Window owner, const char* text, const char* caption, std::uint32_t type) override;
    std::uintptr_t SetTimer(Window window, std::uintptr_t id, std::uint32_t ms) override;
    bool KillTimer(Window window, std::uintptr_t id) override;
    int ShowCursor(bool show) override;
    std::string BrowseForFolder(Window owner, const char* title) override;

    Handle DdeOpen(const char* service, const char* topic) override;
    bool DdeExecute(Handle conversation, const char* command) override;
    void DdeClose(Handle conversation) override;

    // ---- added by the programs (each in its own section) --------------------------------
    // Pointwell:
    // setup:
    bool ddeInitializes = true;  // DdeInitializeA succeeds
    bool DdeAvailable() override { return ddeInitializes; }
    // Flipkey and BEEP:
    // Bitmaps: every resource loads except those a test lists as missing; the live
    // ones are kept by handle with their resource id until DeleteObject.
    std::set<int> missingBitmaps;
    std::map<Handle, int> bitmaps;
    int badDeletes = 0;                         // DeleteObject of no live object
    std::vector<WindowPosCall> windowPosCalls;  // SetWindowPos (also applied to the window's rect)
    std::vector<ShowCall> showCalls;            // ShowWindow
    std::vector<Window> windowUpdates;          // UpdateWindow
    bool mouseHookAvailable = true;             // false: a system without WH_MOUSE_LL
    bool soundAvailable = true;                 // what PlayWave reports
    std::vector<const void*> wavesPlayed;       // PlayWave, each wave given
    // The user presses the left button somewhere: the hook's callback, if one is set.
    bool PressLeft();
    bool mouseHooked() const { return hookCallback_ != nullptr; }
    // Mutexes (by lower-case name) another process holds: a wait on them lasts its whole time-out
    // (the clock moves on) and ends in WAIT_TIMEOUT.
    std::set<std::string> mutexesHeldElsewhere;

    Handle LoadBitmapResource(int id) override;
    bool DeleteObject(Handle object) override;
    bool SetWindowPos(Window window, Window insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override;
    bool ShowWindow(Window window, int command) override;
    bool UpdateWindow(Window window) override;
    bool WindowRect(Window window, skin::Rect* rect) override;
    bool InstallMouseHook(void (*onLeftPress)(void*), void* context) override;
    void RemoveMouseHook() override;
    bool PlayWave(const void* wave) override;
    // Uninst:
    // Files match the pattern's last element ('*' and '?', without regard to case).
    // Devices are the keys of HKLM\SYSTEM\CurrentControlSet\Enum\<enumerator> (one or
    // two levels down: instances, or device ids holding instances) whose HardwareID
    // (REG_MULTI_SZ) holds the hardware id; a service is
    // HKLM\SYSTEM\CurrentControlSet\Services\<name>. Both go with their whole tree.
    // DeleteAtRestart records the path (NT versions only).
    std::vector<std::string> restartDeletions;
    std::vector<std::string> FindFiles(const char* pattern) override;
    bool DeleteAtRestart(const char* path) override;
    int RemoveDevices(const char* enumerator, const char* hardwareId) override;
    bool DeleteService(const char* name) override;
    bool SetCurrentDirectory(const char* path) override;
    // The native machine has no processes: the window's end is the program's end.
    Handle OpenWindowProcess(Window) override { return nullptr; }

private:
    friend class NativeDialog;
    struct Timer {
        Window window;
        std::uintptr_t id;
        std::uint32_t period;
        std::uint64_t due;
    };
    struct Object {
        enum Kind { kDevice, kMutex, kDde };
        explicit Object(Kind k = kDevice) : kind(k) {}
        Kind kind;
        std::intptr_t device = -1;  // the simulated kernel's handle
        std::string name;           // a mutex's name
        std::size_t conversation = 0;
    };

    Window NewWindow(const std::string& title, const std::string& className, NativeDialog* dialog);
    void ForgetWindow(NativeAppWindow* window);
    std::intptr_t Deliver(NativeAppWindow* window, const Message& message);
    // The registry path of an open key or a root, with subKey (when given) below it.
    bool KeyPath(RegKey key, std::string* path, const char* subKey = nullptr) const;
    bool RootPath(RegKey key, std::string* path) const;
    RegKey NewKey(const std::string& path, std::uint32_t access);
    bool KeyAllows(RegKey key, std::uint32_t right) const;
    Handle NewObject(const Object& object);
    Object* ObjectOf(Handle handle);
    std::string Resolve(const char* windowsPath) const;
    bool Fail(std::uint32_t error)
    {
        lastError_ = error;
        return false;
    }
    void MoveClock(std::uint32_t ms);

    skin::NativePlatform drawing_;
    std::vector<std::unique_ptr<NativeAppWindow>> windows_;
    std::deque<Message> posted_;
    std::vector<Timer> timers_;
    std::uint64_t clock_ = 0;  // ms since the platform was made (timers' due times)
    std::map<RegKey, std::string> keys_;
    std::map<RegKey, std::uint32_t> keyAccess_;  // the key rights each handle was opened with
    RegKey nextKey_ = 0x1000;
    std::map<std::uintptr_t, Object> objects_;
    std::uintptr_t nextObject_ = 0x2000;
    std::map<std::string, int> mutexes_;               // open handles by lower-case name
    std::map<std::string, std::uint32_t> attributes_;  // SetFileAttributes by host path
    std::uint32_t lastError_ = 0;
    // Flipkey and BEEP:
    std::uintptr_t nextBitmap_ = 0xB000;
    void (*hookCallback_)(void*) = nullptr;
    void* hookContext_ = nullptr;
};

// A dialog of the native machine: a window of the platform and its controls by id.
// Controls spring into being when first used; a test declares trackbars and
// progress bars (their messages share numbers) with SetKind.
class NativeDialog : public Dialog {
public:
    enum class Kind { kPlain, kTrackbar, kProgress };
    struct Control {
        Kind kind = Kind::kPlain;
        bool checked = false;
        std::string text;
        bool visible = true;
        bool enabled = true;
        int rangeMin = 0, rangeMax = 100, pos = 0, step = 10;  // trackbar and progress bar
        std::intptr_t image = 0;                               // BM_SETIMAGE
        std::vector<Message> messages;                         // every SendItemMessage
    };

    explicit NativeDialog(NativeAppPlatform& platform, const std::string& title = "");
    ~NativeDialog() override;

    Control& control(int id) { return controls_[id]; }
    bool HasControl(int id) const { return controls_.count(id) != 0; }
    void SetKind(int id, Kind kind) { controls_[id].kind = kind; }
    // What the dialog does with a message delivered to it (timers, posted messages,
    // messages sent to it); the program's dialog procedure in a test.
    std::function<std::intptr_t(const Message&)>& proc();
    NativeAppWindow& window() { return *window_; }
    bool ended() const { return ended_; }
    std::intptr_t result() const { return result_; }
    int invalidations() const { return invalidations_; }

    Window handle() override { return window_; }
    bool IsChecked(int id) override { return control(id).checked; }
    void SetChecked(int id, bool checked) override { control(id).checked = checked; }
    std::string Text(int id) override { return control(id).text; }
    void SetText(int id, const char* text) override { control(id).text = text ? text : ""; }
    void SetTitle(const char* text) override { window_->title = text ? text : ""; }
    void Show(int id, bool visible) override { control(id).visible = visible; }
    bool IsVisible(int id) override;
    void Enable(int id, bool enabled) override { control(id).enabled = enabled; }
    std::intptr_t SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    skin::Rect WindowRect() override { return window_->rect; }
    void Move(const skin::Rect& rect, bool repaint) override;
    void Invalidate() override { ++invalidations_; }
    void End(std::intptr_t result) override;

private:
    NativeAppPlatform& platform_;
    NativeAppWindow* window_;
    std::map<int, Control> controls_;
    bool ended_ = false;
    std::intptr_t result_ = 0;
    int invalidations_ = 0;
};

}  // namespace app
