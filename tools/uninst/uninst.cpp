#include "uninst.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "appplatform.h"
#include "langkeys.h"
#include "langtext.h"

namespace uninst {

namespace {

constexpr const char* kSettingsKey = "SOFTWARE\\Veltran\\Pointwell";
constexpr const char* kMakerKey = "SOFTWARE\\Veltran";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRecordName = "list.cpd";
constexpr const char* kInterfaceClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{C0CF0648-5F5F-11D2-B677-00C0DFE4C1FB}";

// How long a companion program gets to close its window, and how often we look.
constexpr std::uint32_t kCloseWaitMs = 3000;
constexpr std::uint32_t kClosePollMs = 100;

app::Platform& P() { return app::CurrentAppPlatform(); }

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string StripTrailingBackslashes(std::string s)
{
    while (!s.empty() && s.back() == '\\')
        s.pop_back();
    return s;
}

// A name Windows would take as a device whatever folder it is in.
bool IsDeviceName(const std::string& component)
{
    std::string stem = component.substr(0, component.find('.'));
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

bool IsPlainName(const std::string& component)
{
    if (component.empty() || component == "." || component == "..")
        return false;
    for (unsigned char c : component) {
        if (c < 0x20 || std::strchr("<>:\"/|?*", c) != nullptr)
            return false;
    }
    const char last = component.back();
    if (last == '.' || last == ' ')
        return false;
    return !IsDeviceName(component);
}

std::string Text(const LangKey& key)
{
    char buffer[256];
    LangText(key, buffer);
    return buffer;
}

// Deletes a key and everything below it (RegDeleteKeyA on NT refuses a key with
// subkeys). A bound on the subkeys visited keeps a strange registry from looping.
void DeleteKeyTree(app::RegKey root, const std::string& path, int depth = 0)
{
    app::Platform& p = P();
    if (depth > 16)
        return;
    app::RegKey key = 0;
    if (p.RegOpenKey(root, path.c_str(), app::kKeyAllAccess, &key) != app::kErrorSuccess)
        return;
    std::vector<std::string> children;
    for (std::uint32_t i = 0; i < 1024; ++i) {
        char name[256];
        std::uint32_t size = sizeof(name);
        if (p.RegEnumKey(key, i, name, &size) != app::kErrorSuccess)
            break;
        children.emplace_back(name, size < sizeof(name) ? size : sizeof(name) - 1);
    }
    p.RegCloseKey(key);
    for (const std::string& child : children)
        DeleteKeyTree(root, path + "\\" + child, depth + 1);
    p.RegDeleteKey(root, path.c_str());
}

bool KeyHasSubkeys(app::RegKey root, const char* path)
{
    app::Platform& p = P();
    app::RegKey key = 0;
    if (p.RegOpenKey(root, path, app::kKeyRead, &key) != app::kErrorSuccess)
        return false;
    char name[256];
    std::uint32_t size = sizeof(name);
    const bool any = p.RegEnumKey(key, 0, name, &size) == app::kErrorSuccess;
    p.RegCloseKey(key);
    return any;
}

// Removes a file that is the package's, whatever its attributes; true when it is
// gone afterwards (or was never there).
bool RemoveFile(const std::string& path)
{
    app::Platform& p = P();
    const std::uint32_t attributes = p.FileAttributes(path.c_str());
    if (attributes == app::kInvalidAttributes)
        return true;
    if (attributes & app::kAttrDirectory)
        return false;
    const std::uint32_t cleared = attributes & ~(app::kAttrReadOnly | app::kAttrHidden | app::kAttrSystem);
    if (cleared != attributes)
        p.SetFileAttributes(path.c_str(), cleared ? cleared : app::kAttrNormal);
    return p.DeleteFile(path.c_str());
}

// A driver file: removed now, or left for the system to remove at the next restart
// when it is still loaded.
void RemoveDriverFile(const std::string& path)
{
    if (!RemoveFile(path))
        P().DeleteAtRestart(path.c_str());
}

int RemoveDriversNt()
{
    app::Platform& p = P();
    // The devices first, so that their drivers stop: Dravick's root devices, then the
    // frame's device node (it would point at a service that no longer exists).
    const int devices = p.RemoveDevices("ROOT\\DRAVLINE", "root\\DRAVLINE");
    p.RemoveDevices("USB", "USB\\VID_5A53&PID_0001");
    p.DeleteService("Dravick");
    p.DeleteService("Zelko");
    // The frame's interface class key, once no device of it is registered.
    if (!KeyHasSubkeys(app::kHkeyLocalMachine, kInterfaceClassKey))
        p.RegDeleteKey(app::kHkeyLocalMachine, kInterfaceClassKey);
    const std::string drivers = p.SystemDirectory() + "\\drivers\\";
    RemoveDriverFile(drivers + "Dravick.sys");
    RemoveDriverFile(drivers + "Zelko.sys");
    // The INF copies in the system's INF folder (oem<n>.inf from the setup API, or
    // under their own names) with their compiled .pnf files: those whose text is ours.
    const std::string inf = p.WindowsDirectory() + "\\inf\\";
    for (const std::string& name : p.FindFiles((inf + "*.inf").c_str())) {
        if (!IsPackageInf(inf + name))
            continue;
        RemoveFile(inf + name);
        RemoveFile(inf + name.substr(0, name.size() - 4) + ".pnf");
    }
    return devices > 0 ? devices : 0;
}

void RemoveDrivers98()
{
    app::Platform& p = P();
    const std::string windir = p.WindowsDirectory();
    const std::string copies[] = {
        windir + "\\inf\\Dravo98.inf",
        windir + "\\inf\\OTHER\\VeltranDravo98.inf",
        windir + "\\inf\\zelkron98.inf",
        windir + "\\inf\\OTHER\\Veltranzelkron98.inf",
    };
    for (const std::string& f : copies)
        RemoveFile(f);
    RemoveDriverFile(windir + "\\SYSTEM32\\drivers\\Dravo98.sys");
    RemoveDriverFile(windir + "\\SYSTEM32\\drivers\\Zelkron.sys");

    const app::RegKey hklm = app::kHkeyLocalMachine;
    DeleteKeyTree(hklm, "System\\CurrentControlSet\\Services\\Class\\Tscrn");
    DeleteKeyTree(hklm, "Enum\\Root\\Tscrn");
    // The installer registered each INF copy under its full path.
    app::RegKey key = 0;
    if (p.RegOpenKey(hklm, "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\Inf\\OEM Name",
                     app::kKeyAllAccess, &key) == app::kErrorSuccess) {
        const std::string names[] = {
            windir + "\\inf\\other\\VeltranDravo98.inf",
            windir + "\\inf\\Dravo98.inf",
            windir + "\\inf\\other\\Veltranzelkron98.inf",
            windir + "\\inf\\zelkron98.inf",
        };
        for (const std::string& n : names)
            p.RegDeleteValue(key, n.c_str());
        p.RegCloseKey(key);
    }
}

int MessageBoxText(void* owner, const std::string& text, const char* caption, std::uint32_t type)
{
    return P().MessageBox(owner, text.c_str(), caption, type);
}

}  // namespace

const char* const kLanguageFolders[7] = {
    "nologo\\cn", "nologo\\en", "nologo\\tw", "nologo", "cn", "en", "tw",
};

std::string RelativeInside(const std::string& folder, const std::string& entry)
{
    const std::string base = StripTrailingBackslashes(folder);
    if (base.empty() || entry.size() <= base.size() + 1)
        return std::string();
    if (!EqualNoCase(entry.substr(0, base.size()), base) || entry[base.size()] != '\\')
        return std::string();
    // A folder typed with a trailing backslash gives entries with a doubled one.
    std::size_t start = base.size();
    while (start < entry.size() && entry[start] == '\\')
        ++start;
    const std::string rel = entry.substr(start);
    if (rel.empty())
        return std::string();
    std::size_t from = 0;
    for (;;) {
        const std::size_t cut = rel.find('\\', from);
        if (!IsPlainName(rel.substr(from, cut == std::string::npos ? std::string::npos : cut - from)))
            return std::string();
        if (cut == std::string::npos)
            break;
        from = cut + 1;
    }
    return rel;
}

CopyRecord ReadCopyRecord(const std::string& folder)
{
    app::Platform& p = P();
    CopyRecord record;
    const std::string path = folder + "\\" + kRecordName;
    const std::uint32_t attributes = p.FileAttributes(path.c_str());
    if (attributes == app::kInvalidAttributes || (attributes & app::kAttrDirectory))
        return record;

    record.status = RecordStatus::kDamaged;
    char count[32] = {};
    p.ProfileString("COPYED", "filenum", "", count, sizeof(count), path.c_str());
    std::uint32_t n = 0;
    if (count[0] == '\0')
        return record;
    for (const char* c = count; *c; ++c) {
        if (*c < '0' || *c > '9' || n > kMaxRecordEntries)
            return record;
        n = n * 10 + static_cast<std::uint32_t>(*c - '0');
    }
    if (n == 0 || n > kMaxRecordEntries)
        return record;

    std::vector<std::string> files;
    for (std::uint32_t i = 0; i < n; ++i) {
        char key[16];
        std::snprintf(key, sizeof(key), "file%u", i);
        char value[1024] = {};
        if (p.ProfileString("COPYED", key, "", value, sizeof(value), path.c_str()) == 0)
            return record;
        const std::string rel = RelativeInside(folder, value);
        if (rel.empty()) {
            record.status = RecordStatus::kForeign;
            return record;
        }
        files.push_back(rel);
    }
    record.status = RecordStatus::kOk;
    record.files = std::move(files);
    return record;
}

bool IsPackageInf(const std::string& infPath)
{
    app::Platform& p = P();
    char maker[64] = {};
    p.ProfileString("Strings", "Veltran", "", maker, sizeof(maker), infPath.c_str());
    if (std::strcmp(maker, "Veltran") != 0)
        return false;
    for (const char* driver : {"Zelko.sys", "Dravick.sys"}) {
        char disk[16] = {};
        if (p.ProfileString("SourceDisksFiles", driver, "", disk, sizeof(disk), infPath.c_str()) > 0)
            return true;
    }
    return false;
}

int CloseCompanionWindows()
{
    app::Platform& p = P();
    int closed = 0;
    for (const char* title : {"Function", "beep"}) {
        // More than one copy may run; each gets its WM_CLOSE and a while to go.
        for (int copies = 0; copies < 8; ++copies) {
            app::Window window = p.FindWindow(nullptr, title);
            if (!window)
                break;
            // The program's file can be deleted only once its process has ended, a little
            // after its window: hold the process to wait for it.
            app::Handle process = p.OpenWindowProcess(window);
            p.SendMessage(window, app::kWmClose, 0, 0);
            std::uint32_t waited = 0;
            while (p.FindWindow(nullptr, title) == window && waited < kCloseWaitMs) {
                p.Sleep(kClosePollMs);
                waited += kClosePollMs;
            }
            const bool gone = p.FindWindow(nullptr, title) != window;
            if (process) {
                if (gone)
                    p.WaitForObject(process, kCloseWaitMs);
                p.CloseHandle(process);
            }
            if (!gone)
                break;  // it stays: leave it be
            ++closed;
        }
    }
    return closed;
}

void RemoveRunEntries()
{
    app::Platform& p = P();
    app::RegKey key = 0;
    if (p.RegOpenKey(app::kHkeyLocalMachine, kRunKey, app::kKeyAllAccess, &key) != app::kErrorSuccess)
        return;
    p.RegDeleteValue(key, "ChgFile");
    p.RegDeleteValue(key, "beep");
    p.RegCloseKey(key);
}

int RemoveDrivers()
{
    app::OsVersion version;
    if (!P().VersionEx(&version))
        return 0;
    if (version.platformId == 2)
        return RemoveDriversNt();
    if (version.platformId == 1)
        RemoveDrivers98();
    return 0;
}

void RemoveSettings()
{
    DeleteKeyTree(app::kHkeyLocalMachine, kSettingsKey);
    // The maker's key goes too when nothing of another program is left in it.
    if (!KeyHasSubkeys(app::kHkeyLocalMachine, kMakerKey))
        P().RegDeleteKey(app::kHkeyLocalMachine, kMakerKey);
}

void RemoveProgramGroup()
{
    app::Platform& p = P();
    app::Handle conversation = p.DdeOpen("PROGMAN", "PROGMAN");
    if (!conversation)
        return;
    const std::string command = "[DeleteGroup(" + Text(langkeys::AppGroup) + ")]";
    p.DdeExecute(conversation, command.c_str());
    p.DdeClose(conversation);
}

void RemoveInstalledFiles(const std::string& folder, const CopyRecord& record, Outcome* out)
{
    if (record.status != RecordStatus::kOk)
        return;
    app::Platform& p = P();
    for (const std::string& rel : record.files) {
        const std::string path = folder + "\\" + rel;
        if (p.FileAttributes(path.c_str()) == app::kInvalidAttributes)
            continue;  // gone already
        if (RemoveFile(path)) {
            out->removed.push_back(path);
        } else if (!(p.FileAttributes(path.c_str()) & app::kAttrDirectory) && p.DeleteAtRestart(path.c_str())) {
            // A file in use (this program's own, or a program that would not end) goes
            // when the computer restarts.
            out->atRestart.push_back(path);
        } else {
            out->left.push_back(path);
        }
    }
    for (const char* sub : kLanguageFolders)
        p.RemoveDirectory((folder + "\\" + sub).c_str());
    // The record stays while it still names a file, so a later run can finish.
    if (out->left.empty())
        RemoveFile(folder + "\\" + kRecordName);
    // The process's current folder cannot be removed while it is current.
    p.SetCurrentDirectory(p.WindowsDirectory().c_str());
    out->folderRemoved = p.RemoveDirectory(folder.c_str());
    if (!out->folderRemoved && !out->atRestart.empty() && out->left.empty() && p.DeleteAtRestart(folder.c_str()))
        out->atRestart.push_back(folder);
}

Outcome Run(void* owner)
{
    Outcome out;
    SelectLanguage();
    std::string folder;
    const bool haveFolder = ProgramFolder(&folder);

    if (MessageBoxText(owner, Text(langkeys::UninstAsk), "Prompt", app::kMbYesNo | app::kMbIconQuestion) ==
        app::kIdNo) {
        out.cancelled = true;
        return out;
    }
    // "Yes" keeps them, and is the default button's answer too.
    out.keptSettings =
        MessageBoxText(owner, Text(langkeys::UninstKeep), "Prompt", app::kMbYesNo | app::kMbIconQuestion) != app::kIdNo;

    const CopyRecord record = haveFolder ? ReadCopyRecord(folder) : CopyRecord{};
    out.record = record.status;
    out.windowsClosed = CloseCompanionWindows();
    RemoveRunEntries();
    out.devicesRemoved = RemoveDrivers();
    if (!out.keptSettings)
        RemoveSettings();
    RemoveProgramGroup();
    if (haveFolder)
        RemoveInstalledFiles(folder, record, &out);

    std::string text;
    std::uint32_t icon = app::kMbIconInformation;
    if (record.status != RecordStatus::kOk) {
        text = Text(langkeys::UninstNoRecord) + "\n" + (haveFolder ? folder : std::string());
        icon = app::kMbIconError;
    } else if (!out.left.empty()) {
        text = Text(langkeys::UninstLeft);
        for (std::size_t i = 0; i < out.left.size() && i < 10; ++i)
            text += "\n" + out.left[i];
        if (out.left.size() > 10)
            text += "\n...";
        icon = app::kMbIconError;
    } else if (!out.atRestart.empty()) {
        text = Text(langkeys::UninstRestart);
    } else {
        text = Text(langkeys::UninstDone);
    }
    MessageBoxText(owner, text, "Information", icon);
    return out;
}

}  // namespace uninst
