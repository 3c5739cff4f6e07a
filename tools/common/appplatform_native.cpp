#include "appplatform_native.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "inifile.h"
#include "simkernel/sim.h"

namespace app {
namespace {

constexpr std::uint32_t kRegExpandSz = 2;

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower((unsigned char)c));
    return s;
}

bool SameText(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

// The Win32 error RtlNtStatusToDosError gives for the statuses the simulated door reports.
std::uint32_t ErrorOfStatus(NTSTATUS s)
{
    switch (s) {
    case STATUS_OBJECT_NAME_NOT_FOUND:
        return kErrorFileNotFound;
    case STATUS_OBJECT_PATH_NOT_FOUND:
        return kErrorPathNotFound;
    case STATUS_OBJECT_NAME_INVALID:
        return 123;
    case STATUS_INVALID_PARAMETER:
        return kErrorInvalidParameter;
    case STATUS_INVALID_DEVICE_REQUEST:
    case STATUS_NOT_IMPLEMENTED:
        return kErrorInvalidFunction;
    case STATUS_NO_SUCH_DEVICE:
        return kErrorNoSuchDevice;
    case STATUS_ACCESS_DENIED:
        return kErrorAccessDenied;
    case STATUS_BUFFER_TOO_SMALL:
        return kErrorInsufficientBuffer;
    case STATUS_BUFFER_OVERFLOW:
        return kErrorMoreData;
    case STATUS_SHARING_VIOLATION:
        return kErrorSharingViolation;
    case STATUS_DELETE_PENDING:
        return kErrorDeletePending;
    case STATUS_INSUFFICIENT_RESOURCES:
        return kErrorNoSystemResources;
    case STATUS_NO_MEMORY:
        return kErrorNotEnoughMemory;
    case STATUS_DEVICE_DATA_ERROR:
        return kErrorIoDevice;
    case STATUS_DEVICE_NOT_CONNECTED:
        return kErrorDeviceNotConnected;
    case STATUS_IO_TIMEOUT:
        return kErrorTimeout;
    case STATUS_NOT_SUPPORTED:
        return kErrorNotSupported;
    case STATUS_CANCELLED:
        return kErrorOperationAborted;
    case STATUS_INVALID_DEVICE_STATE:
        return kErrorBadDevice;
    case STATUS_DEVICE_BUSY:
        return kErrorBusy;
    case STATUS_TIMEOUT:
        return kErrorTimeout;
    default:
        return kErrorGenFailure;
    }
}

bool IsTextType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// The programs' narrow text as the UTF-16 the registry holds: one unit per byte.
std::vector<std::uint8_t> WideOf(const void* data, std::uint32_t size)
{
    std::vector<std::uint8_t> w(size_t(size) * 2);
    const auto* b = static_cast<const std::uint8_t*>(data);
    for (std::uint32_t i = 0; i < size; ++i)
        w[2 * i] = b[i];
    return w;
}

// And back; a unit above 0xFF has no narrow form and reads as '?'. An odd last byte
// (a malformed value) is dropped.
std::vector<std::uint8_t> NarrowOf(const std::vector<std::uint8_t>& w)
{
    std::vector<std::uint8_t> n(w.size() / 2);
    for (size_t i = 0; i < n.size(); ++i)
        n[i] = w[2 * i + 1] ? std::uint8_t('?') : w[2 * i];
    return n;
}

bool IsDir(const std::string& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

// The first button of a message box's type: what Enter picks.
int FirstButton(std::uint32_t type)
{
    switch (type & 0xF) {
    case 2:
        return kIdAbort;  // MB_ABORTRETRYIGNORE
    case 3:
        return kIdYes;  // MB_YESNOCANCEL
    case 4:
        return kIdYes;  // MB_YESNO
    case 5:
        return kIdRetry;  // MB_RETRYCANCEL
    default:
        return kIdOk;  // MB_OK, MB_OKCANCEL
    }
}

std::string BaseName(const std::string& path)
{
    const auto pos = path.find_last_of("\\/:");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

}  // namespace

// ---- construction ---------------------------------------------------------------------

NativeAppPlatform::NativeAppPlatform() { modulePath = drawing_.modulePath; }

NativeAppPlatform::~NativeAppPlatform()
{
    for (auto& o : objects_)
        if (o.second.kind == Object::kDevice && o.second.device != -1)
            sim::user::CloseHandle(o.second.device);
    for (auto& w : windows_)
        if (w->dialog)
            w->dialog = nullptr;
}

// ---- windows, messages, timers ---------------------------------------------------------

Window NativeAppPlatform::NewWindow(const std::string& title, const std::string& className, NativeDialog* dialog)
{
    auto w = std::make_unique<NativeAppWindow>();
    w->title = title;
    w->className = className;
    w->dialog = dialog;
    windows_.push_back(std::move(w));
    return windows_.back().get();
}

Window NativeAppPlatform::AddWindow(const std::string& title, const std::string& className)
{
    return NewWindow(title, className, nullptr);
}

NativeAppWindow* NativeAppPlatform::WindowOf(Window window)
{
    for (auto& w : windows_)
        if (w.get() == window)
            return w.get();
    return nullptr;
}

void NativeAppPlatform::ForgetWindow(NativeAppWindow* window)
{
    window->alive = false;
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.window == window; }),
                  timers_.end());
    posted_.erase(std::remove_if(posted_.begin(), posted_.end(), [&](const Message& m) { return m.window == window; }),
                  posted_.end());
}

int NativeAppPlatform::CountWindows(const std::string& title)
{
    int n = 0;
    for (auto& w : windows_)
        if (w->alive && w->title == title)
            ++n;
    return n;
}

std::intptr_t NativeAppPlatform::Deliver(NativeAppWindow* window, const Message& message)
{
    window->received.push_back(message);
    if (window->proc)
        return window->proc(message);
    if (message.msg == kWmClose)
        ForgetWindow(window);  // DefWindowProc: DestroyWindow
    return 0;
}

Window NativeAppPlatform::FindWindow(const char* className, const char* title)
{
    // The topmost match: the most recently made window.
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        NativeAppWindow& w = **it;
        if (!w.alive)
            continue;
        if (className && !SameText(className, w.className))
            continue;
        if (title && !SameText(title, w.title))
            continue;
        return &w;
    }
    lastError_ = 0;
    return nullptr;
}

std::intptr_t NativeAppPlatform::SendMessage(Window window, std::uint32_t msg, std::uintptr_t wParam,
                                             std::intptr_t lParam)
{
    NativeAppWindow* w = WindowOf(window);
    if (!w || !w->alive) {
        lastError_ = 1400;  // ERROR_INVALID_WINDOW_HANDLE
        return 0;
    }
    return Deliver(w, Message{window, msg, wParam, lParam});
}

bool NativeAppPlatform::PostMessage(Window window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    NativeAppWindow* w = WindowOf(window);
    if (!w || !w->alive)
        return Fail(1400);
    posted_.push_back(Message{window, msg, wParam, lParam});
    return true;
}

void NativeAppPlatform::Pump()
{
    while (!posted_.empty()) {
        Message m = posted_.front();
        posted_.pop_front();
        NativeAppWindow* w = WindowOf(m.window);
        if (w && w->alive)
            Deliver(w, m);
    }
}

std::uintptr_t NativeAppPlatform::SetTimer(Window window, std::uintptr_t id, std::uint32_t ms)
{
    NativeAppWindow* w = WindowOf(window);
    if (!w || !w->alive) {
        lastError_ = 1400;
        return 0;
    }
    // Windows keeps a timer's period at least 10 ms (USER_TIMER_MINIMUM).
    const std::uint32_t period = std::max<std::uint32_t>(ms, 10);
    for (Timer& t : timers_)
        if (t.window == window && t.id == id) {
            t.period = period;
            t.due = clock_ + period;
            return id;
        }
    timers_.push_back(Timer{window, id, period, clock_ + period});
    return id ? id : 1;
}

bool NativeAppPlatform::KillTimer(Window window, std::uintptr_t id)
{
    const auto before = timers_.size();
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [&](const Timer& t) { return t.window == window && t.id == id; }),
                  timers_.end());
    return timers_.size() != before;
}

bool NativeAppPlatform::HasTimer(Window window, std::uintptr_t id) const
{
    for (const Timer& t : timers_)
        if (t.window == window && t.id == id)
            return true;
    return false;
}

void NativeAppPlatform::MoveClock(std::uint32_t ms)
{
    clock_ += ms;
    now += ms;
    if (driveKernelClock)
        sim::AdvanceMs(ms);
}

void NativeAppPlatform::Advance(std::uint32_t ms)
{
    const std::uint64_t end = clock_ + ms;
    Pump();
    for (;;) {
        // The timer due first (the earliest made among equals).
        Timer* next = nullptr;
        for (Timer& t : timers_)
            if (t.due <= end && (!next || t.due < next->due))
                next = &t;
        if (!next)
            break;
        if (next->due > clock_)
            MoveClock(std::uint32_t(next->due - clock_));
        // A late timer fires once and is rescheduled from now, as WM_TIMER is not queued twice.
        next->due = clock_ + next->period;
        const Message m{next->window, kWmTimer, next->id, 0};
        NativeAppWindow* w = WindowOf(m.window);
        if (w && w->alive)
            Deliver(w, m);
        Pump();
    }
    if (end > clock_)
        MoveClock(std::uint32_t(end - clock_));
    Pump();
}

void NativeAppPlatform::Sleep(std::uint32_t ms)
{
    sleeps.push_back(ms);
    MoveClock(ms);
}

int NativeAppPlatform::MessageBox(Window owner, const char* text, const char* caption, std::uint32_t type)
{
    MessageBoxCall call{owner, text ? text : "", caption ? caption : "Error", type, 0};
    if (onMessageBox)
        onMessageBox(call);
    if (!messageBoxAnswers.empty()) {
        call.answer = messageBoxAnswers.front();
        messageBoxAnswers.pop_front();
    } else {
        call.answer = FirstButton(type);
    }
    messageBoxes.push_back(call);
    return call.answer;
}

int NativeAppPlatform::ShowCursor(bool show) { return cursorCount += show ? 1 : -1; }

std::string NativeAppPlatform::BrowseForFolder(Window, const char*)
{
    if (folderAnswers.empty())
        return "";
    std::string r = folderAnswers.front();
    folderAnswers.pop_front();
    return r;
}

bool NativeAppPlatform::ClientRectOnScreen(skin::WindowHandle window, skin::Rect* rect)
{
    NativeAppWindow* w = WindowOf(window);
    if (!w || !rect)
        return false;
    *rect = w->clientOnScreen;
    return true;
}

bool NativeAppPlatform::SetWindowRegion(skin::WindowHandle window, const skin::Rect& rect)
{
    NativeAppWindow* w = WindowOf(window);
    if (!w)
        return false;
    w->shaped = true;
    w->region = rect;
    return true;
}

void NativeAppPlatform::SetStretchMode(skin::DrawContext dc, int mode) { drawing_.SetStretchMode(dc, mode); }

int NativeAppPlatform::StretchDib(skin::DrawContext dc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                                  const void* bits, const skin::DibHeader& info)
{
    return drawing_.StretchDib(dc, dx, dy, dw, dh, sx, sy, sw, sh, bits, info);
}

// ---- registry --------------------------------------------------------------------------

bool NativeAppPlatform::KeyPath(RegKey key, std::string* path, const char* subKey) const
{
    if (!RootPath(key, path))
        return false;
    if (subKey && *subKey)
        *path += std::string("\\") + subKey;
    return true;
}

bool NativeAppPlatform::RootPath(RegKey key, std::string* path) const
{
    switch (key) {
    case kHkeyLocalMachine:
        *path = "\\REGISTRY\\Machine";
        return true;
    case kHkeyCurrentUser:
        *path = kCurrentUserHive;
        return true;
    case kHkeyClassesRoot:
        *path = "\\REGISTRY\\Machine\\Software\\Classes";
        return true;
    default:
        break;
    }
    auto it = keys_.find(key);
    if (it == keys_.end())
        return false;
    *path = it->second;
    return true;
}

RegKey NativeAppPlatform::NewKey(const std::string& path, std::uint32_t access)
{
    const RegKey k = nextKey_;
    nextKey_ += 4;
    keys_[k] = path;
    // The generic rights and MAXIMUM_ALLOWED as the key rights they stand for.
    std::uint32_t rights = access & 0xFFFF;
    if (access & 0x80000000u)
        rights |= kKeyRead & 0xFFFF;  // GENERIC_READ
    if (access & 0x40000000u)
        rights |= kKeySetValue | kKeyCreateSubKey;  // GENERIC_WRITE
    if (access & 0x20000000u)
        rights |= kKeyRead & 0xFFFF;  // GENERIC_EXECUTE
    if (access & 0x12000000u)
        rights |= kKeyAllAccess & 0xFFFF;  // GENERIC_ALL, MAXIMUM_ALLOWED
    keyAccess_[k] = rights;
    return k;
}

// What a key handle was opened for (the predefined roots allow everything). Windows
// NT refuses the rest with ERROR_ACCESS_DENIED; Windows 98 checks nothing, so a
// program that works here asks for what it does on both.
bool NativeAppPlatform::KeyAllows(RegKey key, std::uint32_t right) const
{
    if (key == kHkeyLocalMachine || key == kHkeyCurrentUser || key == kHkeyClassesRoot)
        return true;
    auto it = keyAccess_.find(key);
    return it != keyAccess_.end() && (it->second & right) == right;
}

long NativeAppPlatform::RegOpenKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out)
{
    if (!out)
        return kErrorInvalidParameter;
    std::string path;
    if (!KeyPath(root, &path, subKey))
        return kErrorInvalidHandle;
    if (!sim::registry::KeyExists(path)) {
        *out = 0;
        return kErrorFileNotFound;
    }
    *out = NewKey(path, access);
    return kErrorSuccess;
}

long NativeAppPlatform::RegCreateKey(RegKey root, const char* subKey, std::uint32_t access, RegKey* out, bool* created)
{
    if (!out)
        return kErrorInvalidParameter;
    std::string path;
    if (!KeyPath(root, &path, subKey))
        return kErrorInvalidHandle;
    const bool existed = sim::registry::KeyExists(path);
    if (!existed && !KeyAllows(root, kKeyCreateSubKey))
        return kErrorAccessDenied;
    if (!existed && !sim::registry::CreateKey(path))
        return kErrorAccessDenied;
    if (created)
        *created = !existed;
    *out = NewKey(path, access);
    return kErrorSuccess;
}

long NativeAppPlatform::RegQueryValue(RegKey key, const char* name, std::uint32_t* type, void* data,
                                      std::uint32_t* size)
{
    std::string path;
    if (!KeyPath(key, &path))
        return kErrorInvalidHandle;
    if (data && !size)
        return kErrorInvalidParameter;
    if (!KeyAllows(key, kKeyQueryValue))
        return kErrorAccessDenied;
    // Before it looks, Windows sets the type to REG_NONE (Windows 98; NT leaves any
    // value) and a size-only query's size to 0: neither survives a missing value.
    if (type)
        *type = 0;
    if (!data && size)
        *size = 0;
    sim::registry::Value v;
    if (!sim::registry::GetValue(path, name ? name : "", &v)) {
        return sim::registry::KeyExists(path) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    const std::vector<std::uint8_t> bytes = IsTextType(v.type) ? NarrowOf(v.data) : v.data;
    if (type)
        *type = v.type;
    if (!size)
        return kErrorSuccess;
    const auto needed = std::uint32_t(bytes.size());
    if (!data) {
        *size = needed;
        return kErrorSuccess;
    }
    if (*size < needed) {
        // The buffer's contents are undefined then (documented as partly filled): the
        // part that fits, so that a caller who takes it for its preset is caught.
        if (*size)
            std::memcpy(data, bytes.data(), *size);
        *size = needed;
        return kErrorMoreData;
    }
    if (needed)
        std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return kErrorSuccess;
}

long NativeAppPlatform::RegSetValue(RegKey key, const char* name, std::uint32_t type, const void* data,
                                    std::uint32_t size)
{
    std::string path;
    if (!KeyPath(key, &path))
        return kErrorInvalidHandle;
    if (!data && size)
        return 998;  // ERROR_NOACCESS
    if (!KeyAllows(key, kKeySetValue))
        return kErrorAccessDenied;
    if (!sim::registry::KeyExists(path))
        return kErrorInvalidHandle;  // the key was deleted
    if (IsTextType(type)) {
        const std::vector<std::uint8_t> w = WideOf(data, size);
        sim::registry::SetValue(path, name ? name : "", type, w.data(), w.size());
    } else {
        sim::registry::SetValue(path, name ? name : "", type, data, size);
    }
    return kErrorSuccess;
}

long NativeAppPlatform::RegDeleteValue(RegKey key, const char* name)
{
    std::string path;
    if (!KeyPath(key, &path))
        return kErrorInvalidHandle;
    if (!KeyAllows(key, kKeySetValue))
        return kErrorAccessDenied;
    return sim::registry::DeleteValue(path, name ? name : "") ? kErrorSuccess : kErrorFileNotFound;
}

long NativeAppPlatform::RegDeleteKey(RegKey key, const char* subKey)
{
    std::string path;
    if (!KeyPath(key, &path, subKey))
        return kErrorInvalidHandle;
    if (!subKey || !*subKey)
        return kErrorAccessDenied;  // a key does not delete itself here
    if (!sim::registry::KeyExists(path))
        return kErrorFileNotFound;
    return sim::registry::DeleteKey(path) ? kErrorSuccess : kErrorAccessDenied;
}

long NativeAppPlatform::RegEnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameSize)
{
    std::string path;
    if (!KeyPath(key, &path))
        return kErrorInvalidHandle;
    if (!name || !nameSize)
        return kErrorInvalidParameter;
    if (!KeyAllows(key, kKeyEnumerateSubKeys))
        return kErrorAccessDenied;
    const std::vector<std::string> subKeys = sim::registry::SubKeys(path);
    if (index >= subKeys.size())
        return kErrorNoMoreItems;
    const std::string& s = subKeys[index];
    if (s.size() + 1 > *nameSize)
        return kErrorMoreData;
    std::memcpy(name, s.c_str(), s.size() + 1);
    *nameSize = std::uint32_t(s.size());
    return kErrorSuccess;
}

long NativeAppPlatform::RegCloseKey(RegKey key)
{
    if (key == kHkeyLocalMachine || key == kHkeyCurrentUser || key == kHkeyClassesRoot)
        return kErrorSuccess;
    keyAccess_.erase(key);
    return keys_.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

bool NativeAppPlatform::RegistryText(RegKey root, const std::string& subKey, const std::string& name, std::string* out)
{
    RegKey k = 0;
    if (RegOpenKey(root, subKey.c_str(), kKeyRead, &k) != kErrorSuccess)
        return false;
    char buf[4096];
    std::uint32_t size = sizeof buf;
    std::uint32_t type = 0;
    const long r = RegQueryValue(k, name.c_str(), &type, buf, &size);
    RegCloseKey(k);
    if (r != kErrorSuccess)
        return false;
    *out = std::string(buf, size);
    return true;
}

// ---- files ------------------------------------------------------------------------------

std::string NativeAppPlatform::Resolve(const char* windowsPath) const
{
    std::string p = windowsPath ? windowsPath : "";
    for (char& c : p)
        if (c == '/')
            c = '\\';
    if (root.empty())
        return skin::NativePath(p.c_str());
    const bool hasDrive = p.size() >= 2 && p[1] == ':' && std::isalpha((unsigned char)p[0]);
    if (!hasDrive) {
        std::string base = currentDirectory;
        if (!p.empty() && p[0] == '\\')  // rooted on the current drive
            base = currentDirectory.substr(0, 2);
        else if (!base.empty() && base.back() != '\\')
            base += '\\';
        p = base + p;
    }
    std::string host = root;
    if (!host.empty() && host.back() == '/')
        host.pop_back();
    host += '/';
    host += char(std::tolower((unsigned char)p[0]));
    // Each element: the existing entry that matches without regard to case, else as written.
    size_t i = 2;
    std::vector<std::string> parts;
    while (i < p.size()) {
        size_t j = p.find('\\', i);
        if (j == std::string::npos)
            j = p.size();
        std::string part = p.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    for (const std::string& part : parts) {
        std::string chosen = part;
        if (!Exists(host + "/" + part)) {
            if (DIR* d = ::opendir(host.c_str())) {
                while (dirent* e = ::readdir(d))
                    if (SameText(e->d_name, part)) {
                        chosen = e->d_name;
                        break;
                    }
                ::closedir(d);
            }
        }
        host += "/" + chosen;
    }
    return host;
}

std::string NativeAppPlatform::HostPath(const char* windowsPath) const { return Resolve(windowsPath); }

std::string NativeAppPlatform::ModuleFileName() { return modulePath; }

std::FILE* NativeAppPlatform::OpenForReading(const char* path) { return OpenFile(path, "rb"); }

std::FILE* NativeAppPlatform::OpenFile(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    const std::string host = Resolve(path);
    const bool writes = std::strpbrk(mode, "wa+") != nullptr;
    auto a = attributes_.find(host);
    if (writes && a != attributes_.end() && (a->second & kAttrReadOnly)) {
        lastError_ = kErrorAccessDenied;
        return nullptr;
    }
    if (IsDir(host)) {
        lastError_ = kErrorAccessDenied;
        return nullptr;
    }
    std::FILE* f = std::fopen(host.c_str(), mode);
    if (!f)
        lastError_ = errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied;
    return f;
}

std::uint32_t NativeAppPlatform::FileAttributes(const char* path)
{
    const std::string host = Resolve(path);
    if (!Exists(host)) {
        lastError_ = kErrorFileNotFound;
        return kInvalidAttributes;
    }
    if (IsDir(host))
        return kAttrDirectory;
    auto a = attributes_.find(host);
    return a != attributes_.end() && a->second ? a->second : kAttrNormal;
}

bool NativeAppPlatform::SetFileAttributes(const char* path, std::uint32_t attributes)
{
    const std::string host = Resolve(path);
    if (!Exists(host))
        return Fail(kErrorFileNotFound);
    attributes &= ~kAttrNormal & ~kAttrDirectory;
    if (attributes)
        attributes_[host] = attributes;
    else
        attributes_.erase(host);
    return true;
}

bool NativeAppPlatform::CopyFile(const char* from, const char* to, bool failIfExists)
{
    const std::string src = Resolve(from), dst = Resolve(to);
    if (!Exists(src) || IsDir(src))
        return Fail(kErrorFileNotFound);
    if (Exists(dst)) {
        if (failIfExists)
            return Fail(kErrorFileExists);
        auto a = attributes_.find(dst);
        if (IsDir(dst) || (a != attributes_.end() && (a->second & (kAttrReadOnly | kAttrHidden))))
            return Fail(kErrorAccessDenied);
    }
    std::FILE* in = std::fopen(src.c_str(), "rb");
    if (!in)
        return Fail(kErrorAccessDenied);
    std::FILE* out = std::fopen(dst.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return Fail(IsDir(dst.substr(0, dst.rfind('/'))) ? kErrorAccessDenied : kErrorPathNotFound);
    }
    char buf[65536];
    bool ok = true;
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;)
        if (std::fwrite(buf, 1, n, out) != n)
            ok = false;
    if (std::ferror(in))
        ok = false;
    std::fclose(in);
    if (std::fclose(out) != 0)
        ok = false;
    if (!ok)
        return Fail(kErrorGenFailure);
    // The copy takes the source's attributes.
    auto a = attributes_.find(src);
    if (a != attributes_.end())
        attributes_[dst] = a->second;
    else
        attributes_.erase(dst);
    return true;
}

bool NativeAppPlatform::DeleteFile(const char* path)
{
    const std::string host = Resolve(path);
    if (!Exists(host))
        return Fail(kErrorFileNotFound);
    if (IsDir(host))
        return Fail(kErrorAccessDenied);
    auto a = attributes_.find(host);
    if (a != attributes_.end() && (a->second & kAttrReadOnly))
        return Fail(kErrorAccessDenied);
    if (std::remove(host.c_str()) != 0)
        return Fail(kErrorAccessDenied);
    attributes_.erase(host);
    return true;
}

bool NativeAppPlatform::CreateDirectory(const char* path)
{
    std::string host = Resolve(path);
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    if (Exists(host))
        return Fail(kErrorAlreadyExists);
    if (::mkdir(host.c_str(), 0777) != 0)
        return Fail(kErrorPathNotFound);
    return true;
}

bool NativeAppPlatform::RemoveDirectory(const char* path)
{
    const std::string host = Resolve(path);
    if (!Exists(host))
        return Fail(kErrorFileNotFound);
    if (!IsDir(host))
        return Fail(267);  // ERROR_DIRECTORY
    if (::rmdir(host.c_str()) != 0)
        return Fail(kErrorDirNotEmpty);
    return true;
}

std::uint32_t NativeAppPlatform::ProfileString(const char* section, const char* key, const char* def, char* out,
                                               std::uint32_t size, const char* file)
{
    if (!out || !size)
        return 0;
    return skin::IniFileString(Resolve(file).c_str(), section, key, def, out, size);
}

// GetPrivateProfileIntA: the default when the key is missing or empty, else the
// leading decimal number of the value (0 when there is none).
std::uint32_t NativeAppPlatform::ProfileInt(const char* section, const char* key, int def, const char* file)
{
    char buf[256];
    const char* kMissing = "\x01missing";
    skin::IniFileString(Resolve(file).c_str(), section, key, kMissing, buf, sizeof buf);
    if (std::strcmp(buf, kMissing) == 0 || buf[0] == 0)
        return std::uint32_t(def);
    return std::uint32_t(std::strtol(buf, nullptr, 10));
}

// WritePrivateProfileStringA: sets the key in the first section of that name (made at
// the end when missing); a null value deletes the key, a null key the whole section.
bool NativeAppPlatform::WriteProfileString(const char* section, const char* key, const char* value, const char* file)
{
    if (!section || !file)
        return Fail(kErrorInvalidParameter);
    const std::string host = Resolve(file);
    std::vector<std::string> lines;
    if (std::FILE* f = std::fopen(host.c_str(), "rb")) {
        std::string text;
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        std::fclose(f);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            start = end + 1;
        }
    }
    auto trim = [](const std::string& s) {
        const auto b = s.find_first_not_of(" \t");
        if (b == std::string::npos)
            return std::string();
        return s.substr(b, s.find_last_not_of(" \t") - b + 1);
    };
    auto sectionOf = [&](const std::string& line, std::string* name) {
        const std::string t = trim(line);
        if (t.empty() || t[0] != '[')
            return false;
        const auto close = t.rfind(']');
        *name = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return true;
    };
    size_t head = lines.size(), end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (!sectionOf(lines[i], &name))
            continue;
        if (head == lines.size()) {
            if (SameText(name, section))
                head = i;
        } else {
            end = i;
            break;
        }
    }
    if (head == lines.size()) {
        if (!key || !value)
            return true;  // nothing to delete
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(std::string(key) + "=" + value);
    } else if (!key) {
        lines.erase(lines.begin() + long(head), lines.begin() + long(end));
    } else {
        size_t found = end;
        for (size_t i = head + 1; i < end; ++i) {
            const std::string t = trim(lines[i]);
            const auto eq = t.find('=');
            if (SameText(trim(t.substr(0, eq)), trim(key))) {
                found = i;
                break;
            }
        }
        if (found != end) {
            if (value)
                lines[found] = std::string(key) + "=" + value;
            else
                lines.erase(lines.begin() + long(found));
        } else if (value) {
            // After the section's last non-blank line.
            size_t at = end;
            while (at > head + 1 && trim(lines[at - 1]).empty())
                --at;
            lines.insert(lines.begin() + long(at), std::string(key) + "=" + value);
        }
    }
    std::FILE* f = std::fopen(host.c_str(), "wb");
    if (!f)
        return Fail(kErrorPathNotFound);
    bool ok = true;
    for (const std::string& line : lines) {
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size())
            ok = false;
        if (std::fwrite("\r\n", 1, 2, f) != 2)
            ok = false;
    }
    if (std::fclose(f) != 0)
        ok = false;
    return ok ? true : Fail(kErrorGenFailure);
}

// ---- handles and devices ---------------------------------------------------------------

Handle NativeAppPlatform::NewObject(const Object& object)
{
    const std::uintptr_t h = nextObject_;
    nextObject_ += 4;
    objects_[h] = object;
    return reinterpret_cast<Handle>(h);
}

NativeAppPlatform::Object* NativeAppPlatform::ObjectOf(Handle handle)
{
    auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects_.end() ? nullptr : &it->second;
}

Handle NativeAppPlatform::OpenDevice(const char* path, std::uint32_t)
{
    deviceOpens.push_back(path ? path : "");
    if (!path) {
        lastError_ = kErrorInvalidParameter;
        return nullptr;
    }
    Object o(Object::kDevice);
    if (deviceHook) {
        if (deviceOpenHook && !deviceOpenHook(path)) {
            lastError_ = kErrorFileNotFound;
            return nullptr;
        }
    } else {
        o.device = sim::user::CreateFile(path);
        if (o.device == sim::user::kInvalidHandle) {
            lastError_ = ErrorOfStatus(sim::user::LastStatus());
            return nullptr;
        }
    }
    return NewObject(o);
}

bool NativeAppPlatform::DeviceControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                                      void* out, std::uint32_t outSize, std::uint32_t* returned)
{
    Object* o = ObjectOf(handle);
    if (!o || o->kind != Object::kDevice)
        return Fail(kErrorInvalidHandle);
    DeviceCall call{code, inSize, outSize, {}};
    if (in && inSize)
        call.in.assign(static_cast<const std::uint8_t*>(in), static_cast<const std::uint8_t*>(in) + inSize);
    deviceCalls.push_back(call);
    if (deviceHook) {
        if (returned)
            *returned = 0;
        return deviceHook(code, in, inSize, out, outSize, returned) ? true : Fail(kErrorGenFailure);
    }
    std::uint32_t got = 0;
    const bool ok = sim::user::DeviceIoControl(o->device, code, in, inSize, out, outSize, &got);
    if (returned)
        *returned = got;
    if (!ok)
        lastError_ = ErrorOfStatus(sim::user::LastStatus());
    return ok;
}

bool NativeAppPlatform::CloseHandle(Handle handle)
{
    Object* o = ObjectOf(handle);
    if (!o)
        return Fail(kErrorInvalidHandle);
    if (o->kind == Object::kDevice) {
        if (o->device != -1)
            sim::user::CloseHandle(o->device);
        ++deviceCloses;
    }
    if (o->kind == Object::kMutex) {
        auto it = mutexes_.find(o->name);
        if (it != mutexes_.end() && --it->second <= 0)
            mutexes_.erase(it);
    }
    objects_.erase(reinterpret_cast<std::uintptr_t>(handle));
    return true;
}

Handle NativeAppPlatform::CreateMutex(const char* name, bool, bool* alreadyExisted)
{
    Object o(Object::kMutex);
    o.name = name ? Lower(name) : "";
    bool existed = false;
    if (!o.name.empty())
        existed = mutexes_[o.name]++ > 0;
    lastError_ = existed ? std::uint32_t(kErrorAlreadyExists) : 0;
    if (alreadyExisted)
        *alreadyExisted = existed;
    return NewObject(o);
}

std::uint32_t NativeAppPlatform::WaitForObject(Handle handle, std::uint32_t ms)
{
    Object* o = ObjectOf(handle);
    if (!o) {
        lastError_ = kErrorInvalidHandle;
        return 0xFFFFFFFFu;  // WAIT_FAILED
    }
    if (o->kind == Object::kMutex && mutexesHeldElsewhere.count(o->name)) {
        MoveClock(ms);
        return 0x102;  // WAIT_TIMEOUT
    }
    return 0;  // WAIT_OBJECT_0: one thread, nothing to wait for
}

bool NativeAppPlatform::ReleaseMutex(Handle handle)
{
    Object* o = ObjectOf(handle);
    if (!o || o->kind != Object::kMutex)
        return Fail(kErrorInvalidHandle);
    return true;
}

// ---- process and system ------------------------------------------------------------------

bool NativeAppPlatform::VersionEx(OsVersion* out)
{
    if (versionFails || !out)
        return Fail(kErrorInvalidParameter);
    *out = version;
    return true;
}

int NativeAppPlatform::SystemMetric(int index)
{
    auto it = metrics.find(index);
    return it == metrics.end() ? 0 : it->second;
}

bool NativeAppPlatform::SystemParametersInfo(std::uint32_t action, std::uint32_t uiParam, void* pvParam,
                                             std::uint32_t winIni)
{
    spiCalls.push_back(SpiCall{action, uiParam, winIni});
    if (action == kSpiGetWorkArea) {
        if (!pvParam)
            return Fail(kErrorInvalidParameter);
        const std::int32_t r[4] = {0, 0, SystemMetric(0), SystemMetric(1)};  // a RECT
        std::memcpy(pvParam, r, sizeof r);
    } else if (action == kSpiSetMouseButtonSwap) {
        swapButtons = uiParam != 0;
    }
    return true;
}

void NativeAppPlatform::MouseEvent(std::uint32_t flags, std::uint32_t dx, std::uint32_t dy, std::uint32_t data)
{
    const MouseCall call{flags, dx, dy, data};
    mouseEvents.push_back(call);
    if (onMouseEvent)
        onMouseEvent(call);
}

std::intptr_t NativeAppPlatform::ShellExecute(Window window, const char* verb, const char* file, const char* parameters,
                                              const char* directory, int show)
{
    ShellCall call{window, verb ? verb : "", file ? file : "", parameters ? parameters : "", directory ? directory : "",
                   show};
    shellCalls.push_back(call);
    if (onShellExecute)
        return onShellExecute(call);
    const std::string base = Lower(BaseName(call.file));
    for (const auto& p : programWindows)
        if (Lower(p.first) == base)
            AddWindow(p.second);
    return 42;
}

bool NativeAppPlatform::ExitWindows(std::uint32_t flags)
{
    exitWindowsCalls.push_back(flags);
    return true;
}

// ---- Program Manager DDE -------------------------------------------------------------------

Handle NativeAppPlatform::DdeOpen(const char* service, const char* topic)
{
    if (!ddeAvailable)
        return nullptr;
    ddeConversations.push_back(DdeConversation{service ? service : "", topic ? topic : "", {}, true});
    Object o(Object::kDde);
    o.conversation = ddeConversations.size() - 1;
    return NewObject(o);
}

bool NativeAppPlatform::DdeExecute(Handle conversation, const char* command)
{
    Object* o = ObjectOf(conversation);
    if (!o || o->kind != Object::kDde || !command)
        return false;
    ddeConversations[o->conversation].commands.push_back(command);
    return ddeAcknowledges;
}

void NativeAppPlatform::DdeClose(Handle conversation)
{
    Object* o = ObjectOf(conversation);
    if (!o || o->kind != Object::kDde)
        return;
    ddeConversations[o->conversation].open = false;
    objects_.erase(reinterpret_cast<std::uintptr_t>(conversation));
}

// ---- added by the programs (each in its own section) ------------------------------------
// Pointwell:
// setup:
// Flipkey and BEEP:
Handle NativeAppPlatform::LoadBitmapResource(int id)
{
    if (missingBitmaps.count(id)) {
        lastError_ = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
        return nullptr;
    }
    Handle h = reinterpret_cast<Handle>(nextBitmap_++);
    bitmaps[h] = id;
    return h;
}

bool NativeAppPlatform::DeleteObject(Handle object)
{
    if (!bitmaps.erase(object)) {
        ++badDeletes;
        return false;
    }
    return true;
}

bool NativeAppPlatform::SetWindowPos(Window window, Window insertAfter, int x, int y, int cx, int cy,
                                     std::uint32_t flags)
{
    windowPosCalls.push_back(WindowPosCall{window, insertAfter, x, y, cx, cy, flags});
    NativeAppWindow* w = WindowOf(window);
    if (!w || !w->alive)
        return Fail(1400);
    skin::Rect& r = w->rect;
    const long width = (flags & 0x0001) ? r.right - r.left : cx;  // SWP_NOSIZE
    const long height = (flags & 0x0001) ? r.bottom - r.top : cy;
    if (!(flags & 0x0002))
        r.left = x, r.top = y;  // SWP_NOMOVE
    r.right = r.left + width;
    r.bottom = r.top + height;
    return true;
}

bool NativeAppPlatform::ShowWindow(Window window, int command)
{
    showCalls.push_back(ShowCall{window, command});
    return WindowOf(window) != nullptr;
}

bool NativeAppPlatform::UpdateWindow(Window window)
{
    windowUpdates.push_back(window);
    NativeAppWindow* w = WindowOf(window);
    return w && w->alive;
}

bool NativeAppPlatform::WindowRect(Window window, skin::Rect* rect)
{
    NativeAppWindow* w = WindowOf(window);
    if (!w || !w->alive || !rect)
        return Fail(1400);
    *rect = w->rect;
    return true;
}

bool NativeAppPlatform::InstallMouseHook(void (*onLeftPress)(void*), void* context)
{
    if (!mouseHookAvailable || hookCallback_ || !onLeftPress)
        return false;
    hookCallback_ = onLeftPress;
    hookContext_ = context;
    return true;
}

void NativeAppPlatform::RemoveMouseHook()
{
    hookCallback_ = nullptr;
    hookContext_ = nullptr;
}

bool NativeAppPlatform::PressLeft()
{
    if (!hookCallback_)
        return false;
    hookCallback_(hookContext_);
    return true;
}

bool NativeAppPlatform::PlayWave(const void* wave)
{
    wavesPlayed.push_back(wave);
    return soundAvailable;
}

// Uninst:
namespace {

bool WildMatch(const char* mask, const char* name)
{
    if (*mask == '\0')
        return *name == '\0';
    if (*mask == '*')
        return WildMatch(mask + 1, name) || (*name && WildMatch(mask, name + 1));
    if (*name == '\0')
        return false;
    if (*mask != '?' && std::tolower((unsigned char)*mask) != std::tolower((unsigned char)*name))
        return false;
    return WildMatch(mask + 1, name + 1);
}

// Deletes a key and its subkeys through the platform's own calls.
bool DeleteRegistryTree(NativeAppPlatform& p, const std::string& path)
{
    RegKey key = 0;
    if (p.RegOpenKey(kHkeyLocalMachine, path.c_str(), kKeyAllAccess, &key) != kErrorSuccess)
        return false;
    std::vector<std::string> children;
    for (std::uint32_t i = 0;; ++i) {
        char name[256];
        std::uint32_t size = sizeof(name);
        if (p.RegEnumKey(key, i, name, &size) != kErrorSuccess)
            break;
        children.emplace_back(name);
    }
    p.RegCloseKey(key);
    for (const std::string& child : children)
        DeleteRegistryTree(p, path + "\\" + child);
    return p.RegDeleteKey(kHkeyLocalMachine, path.c_str()) == kErrorSuccess;
}

}  // namespace

std::vector<std::string> NativeAppPlatform::FindFiles(const char* pattern)
{
    std::vector<std::string> names;
    std::string p = pattern ? pattern : "";
    const std::size_t cut = p.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string(".") : p.substr(0, cut);
    const std::string mask = cut == std::string::npos ? p : p.substr(cut + 1);
    const std::string host = Resolve(folder.c_str());
    if (DIR* d = ::opendir(host.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (!IsDir(host + "/" + e->d_name) && WildMatch(mask.c_str(), e->d_name))
                names.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool NativeAppPlatform::DeleteAtRestart(const char* path)
{
    if (version.platformId != 2)
        return Fail(kErrorInvalidFunction);
    restartDeletions.emplace_back(path ? path : "");
    return true;
}

int NativeAppPlatform::RemoveDevices(const char* enumerator, const char* hardwareId)
{
    const std::string base = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + (enumerator ? enumerator : "");
    const std::string wanted = Lower(hardwareId ? hardwareId : "");
    auto subkeys = [this](const std::string& path) {
        std::vector<std::string> names;
        RegKey key = 0;
        if (RegOpenKey(kHkeyLocalMachine, path.c_str(), kKeyRead, &key) != kErrorSuccess)
            return names;
        for (std::uint32_t i = 0;; ++i) {
            char name[256];
            std::uint32_t size = sizeof(name);
            if (RegEnumKey(key, i, name, &size) != kErrorSuccess)
                break;
            names.emplace_back(name);
        }
        RegCloseKey(key);
        return names;
    };
    // True when the key's HardwareID multi-string holds the wanted id.
    auto matches = [this, &wanted](const std::string& path) {
        RegKey key = 0;
        if (RegOpenKey(kHkeyLocalMachine, path.c_str(), kKeyRead, &key) != kErrorSuccess)
            return false;
        char data[1024] = {};
        std::uint32_t size = sizeof(data) - 2, type = 0;
        const bool read = RegQueryValue(key, "HardwareID", &type, data, &size) == kErrorSuccess;
        RegCloseKey(key);
        if (!read)
            return false;
        for (const char* id = data; *id; id += std::strlen(id) + 1)
            if (Lower(id) == wanted)
                return true;
        return false;
    };
    int removed = 0;
    for (const std::string& first : subkeys(base)) {
        const std::string path = base + "\\" + first;
        if (matches(path)) {
            removed += DeleteRegistryTree(*this, path) ? 1 : 0;
            continue;
        }
        for (const std::string& second : subkeys(path))
            if (matches(path + "\\" + second))
                removed += DeleteRegistryTree(*this, path + "\\" + second) ? 1 : 0;
    }
    return removed;
}

bool NativeAppPlatform::DeleteService(const char* name)
{
    return DeleteRegistryTree(*this, std::string("SYSTEM\\CurrentControlSet\\Services\\") + (name ? name : ""));
}

bool NativeAppPlatform::SetCurrentDirectory(const char* path)
{
    if (!path || !IsDir(Resolve(path)))
        return Fail(kErrorPathNotFound);
    currentDirectory = path;
    return true;
}

// ---- the native dialog ----------------------------------------------------------------------

NativeDialog::NativeDialog(NativeAppPlatform& platform, const std::string& title)
    : platform_(platform), window_(static_cast<NativeAppWindow*>(platform.NewWindow(title, "#32770", this)))
{
}

NativeDialog::~NativeDialog()
{
    if (platform_.WindowOf(window_)) {
        window_->dialog = nullptr;
        window_->proc = nullptr;
        platform_.ForgetWindow(window_);
    }
}

std::function<std::intptr_t(const Message&)>& NativeDialog::proc() { return window_->proc; }

bool NativeDialog::IsVisible(int id) { return window_->alive && !ended_ && control(id).visible; }

void NativeDialog::Move(const skin::Rect& rect, bool)
{
    const long dx = rect.left - window_->rect.left, dy = rect.top - window_->rect.top;
    window_->rect = rect;
    window_->clientOnScreen.left += dx;
    window_->clientOnScreen.right += dx;
    window_->clientOnScreen.top += dy;
    window_->clientOnScreen.bottom += dy;
}

void NativeDialog::End(std::intptr_t result)
{
    ended_ = true;
    result_ = result;
    platform_.ForgetWindow(window_);
}

std::intptr_t NativeDialog::SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    Control& c = control(id);
    c.messages.push_back(Message{window_, msg, wParam, lParam});
    auto low = [](std::intptr_t v) { return int(std::int16_t(v & 0xFFFF)); };
    auto high = [](std::intptr_t v) { return int(std::int16_t((v >> 16) & 0xFFFF)); };
    auto clamp = [&](int v) { return std::min(std::max(v, c.rangeMin), c.rangeMax); };
    switch (msg) {
    case 0xF0:
        return c.checked ? 1 : 0;  // BM_GETCHECK
    case 0xF1:
        c.checked = wParam == 1;
        return 0;  // BM_SETCHECK
    case 0xF7: {   // BM_SETIMAGE: the previous image
        const std::intptr_t old = c.image;
        c.image = lParam;
        return old;
    }
    default:
        break;
    }
    if (c.kind == Kind::kTrackbar) {
        switch (msg) {
        case 0x400:
            return c.pos;  // TBM_GETPOS
        case 0x401:
            return c.rangeMin;  // TBM_GETRANGEMIN
        case 0x402:
            return c.rangeMax;  // TBM_GETRANGEMAX
        case 0x405:
            c.pos = clamp(int(lParam));
            return 0;  // TBM_SETPOS
        case 0x406:    // TBM_SETRANGE
            c.rangeMin = low(lParam);
            c.rangeMax = high(lParam);
            c.pos = clamp(c.pos);
            return 0;
        case 0x407:
            c.rangeMin = int(lParam);
            c.pos = clamp(c.pos);
            return 0;  // TBM_SETRANGEMIN
        case 0x408:
            c.rangeMax = int(lParam);
            c.pos = clamp(c.pos);
            return 0;  // TBM_SETRANGEMAX
        default:
            return 0;
        }
    }
    if (c.kind == Kind::kProgress) {
        const int oldPos = c.pos;
        switch (msg) {
        case 0x401: {  // PBM_SETRANGE: the previous range
            const std::intptr_t old = (c.rangeMin & 0xFFFF) | (std::intptr_t(c.rangeMax & 0xFFFF) << 16);
            c.rangeMin = low(lParam) & 0xFFFF;
            c.rangeMax = high(lParam) & 0xFFFF;
            c.pos = clamp(c.pos);
            return old;
        }
        case 0x402:
            c.pos = clamp(int(wParam));
            return oldPos;  // PBM_SETPOS
        case 0x403:
            c.pos = clamp(c.pos + int(wParam));
            return oldPos;  // PBM_DELTAPOS
        case 0x404: {       // PBM_SETSTEP
            const int old = c.step;
            c.step = int(wParam);
            return old;
        }
        case 0x405:  // PBM_STEPIT: wraps to the start past the end
            c.pos += c.step;
            if (c.pos > c.rangeMax)
                c.pos = c.rangeMin + (c.pos - c.rangeMax);
            return oldPos;
        case 0x406: {  // PBM_SETRANGE32
            const std::intptr_t old = (c.rangeMin & 0xFFFF) | (std::intptr_t(c.rangeMax & 0xFFFF) << 16);
            c.rangeMin = int(wParam);
            c.rangeMax = int(lParam);
            c.pos = clamp(c.pos);
            return old;
        }
        case 0x408:
            return c.pos;  // PBM_GETPOS
        default:
            return 0;
        }
    }
    return 0;
}

// ---- the platform in use ---------------------------------------------------------------------

Platform& DefaultAppPlatform()
{
    static NativeAppPlatform platform;
    return platform;
}

}  // namespace app
