#include "fakeplatform.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <sstream>

#include "simkernel/sim.h"

namespace fs = std::filesystem;

namespace setuptest {

FakePlatform::FakePlatform()
{
    sim::Reset();
    char tmpl[] = "/tmp/setuptest.XXXXXX";
    root = mkdtemp(tmpl);
    AddDrive('c');
    modulePath = "c:\\pkg\\setup.exe";
    systemDirectory = "C:\\WINDOWS\\system32";
    SetValue("hklm\\SoftWare\\Microsoft\\Windows\\CurrentVersion\\Run", "", 0, "");
}

FakePlatform::~FakePlatform()
{
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string FakePlatform::Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string FakePlatform::Sub(const std::string& hklmPath)
{
    return Lower(hklmPath.substr(0, 5)) == "hklm\\" ? hklmPath.substr(5) : hklmPath;
}

// ---- helpers --------------------------------------------------------------------------

void FakePlatform::AddDrive(char letter) { fs::create_directories(root + "/" + char(std::tolower(letter))); }

void FakePlatform::WriteFile(const std::string& windowsPath, const std::string& bytes)
{
    const std::string host = HostPath(windowsPath.c_str());
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
}

std::string FakePlatform::ReadFile(const std::string& windowsPath) const
{
    std::ifstream in(HostPath(windowsPath.c_str()), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FakePlatform::Exists(const std::string& windowsPath) const { return fs::exists(HostPath(windowsPath.c_str())); }

bool FakePlatform::HasKey(const std::string& path)
{
    app::RegKey key = 0;
    if (NativeAppPlatform::RegOpenKey(app::kHkeyLocalMachine, Sub(path).c_str(), app::kKeyRead, &key) != 0)
        return false;
    RegCloseKey(key);
    return true;
}

bool FakePlatform::HasValue(const std::string& key, const std::string& name) { return Value(key, name).type != 0; }

RegValue FakePlatform::Value(const std::string& path, const std::string& name)
{
    RegValue out;
    app::RegKey key = 0;
    if (NativeAppPlatform::RegOpenKey(app::kHkeyLocalMachine, Sub(path).c_str(), app::kKeyRead, &key) != 0)
        return out;
    std::uint32_t size = 0, type = 0;
    if (RegQueryValue(key, name.c_str(), &type, nullptr, &size) == 0) {
        std::string data(size, '\0');
        if (RegQueryValue(key, name.c_str(), &type, data.data(), &size) == 0)
            out = RegValue{type, data.substr(0, size)};
    }
    RegCloseKey(key);
    return out;
}

void FakePlatform::SetValue(const std::string& path, const std::string& name, std::uint32_t type,
                            const std::string& data)
{
    app::RegKey key = 0;
    if (NativeAppPlatform::RegCreateKey(app::kHkeyLocalMachine, Sub(path).c_str(), app::kKeyAllAccess, &key, nullptr) !=
        0)
        return;
    if (type != 0)
        NativeAppPlatform::RegSetValue(key, name.c_str(), type, data.data(), std::uint32_t(data.size()));
    RegCloseKey(key);
}

std::vector<std::string> FakePlatform::DdeCommands() const
{
    std::vector<std::string> out;
    for (const auto& c : ddeConversations)
        out.insert(out.end(), c.commands.begin(), c.commands.end());
    return out;
}

// ---- logged and answered calls ----------------------------------------------------------

long FakePlatform::RegOpenKey(app::RegKey rootKey, const char* subKey, std::uint32_t access, app::RegKey* out)
{
    if (rootKey == app::kHkeyLocalMachine && failCreateKey.count(Lower(subKey)))
        return app::kErrorAccessDenied;
    return NativeAppPlatform::RegOpenKey(rootKey, subKey, access, out);
}

long FakePlatform::RegCreateKey(app::RegKey rootKey, const char* subKey, std::uint32_t access, app::RegKey* out,
                                bool* created)
{
    if (rootKey == app::kHkeyLocalMachine && failCreateKey.count(Lower(subKey)))
        return app::kErrorAccessDenied;
    return NativeAppPlatform::RegCreateKey(rootKey, subKey, access, out, created);
}

long FakePlatform::RegSetValue(app::RegKey key, const char* name, std::uint32_t type, const void* data,
                               std::uint32_t size)
{
    events.push_back(std::string("RegSetValue ") + (name ? name : ""));
    return NativeAppPlatform::RegSetValue(key, name, type, data, size);
}

long FakePlatform::RegDeleteKey(app::RegKey key, const char* subKey)
{
    events.push_back(std::string("RegDeleteKey ") + (subKey ? subKey : ""));
    return NativeAppPlatform::RegDeleteKey(key, subKey);
}

std::FILE* FakePlatform::OpenFile(const char* path, const char* mode)
{
    if (std::strchr(mode, 'w'))
        events.push_back(std::string("OpenFile ") + path + " " + mode);
    return NativeAppPlatform::OpenFile(path, mode);
}

bool FakePlatform::SetFileAttributes(const char* path, std::uint32_t attributes)
{
    events.push_back(std::string("SetFileAttributes ") + path);
    return NativeAppPlatform::SetFileAttributes(path, attributes);
}

bool FakePlatform::CopyFile(const char* from, const char* to, bool failIfExists)
{
    copies.push_back(std::string(from) + " -> " + to);
    return NativeAppPlatform::CopyFile(from, to, failIfExists);
}

bool FakePlatform::DeleteFile(const char* path)
{
    events.push_back(std::string("DeleteFile ") + path);
    return NativeAppPlatform::DeleteFile(path);
}

bool FakePlatform::CreateDirectory(const char* path)
{
    events.push_back(std::string("CreateDirectory ") + path);
    return NativeAppPlatform::CreateDirectory(path);
}

app::Handle FakePlatform::OpenDevice(const char* path, std::uint32_t)
{
    events.push_back(std::string("OpenDevice ") + path);
    return zelkoDevice && std::string(path) == "\\\\.\\Zelkode" ? reinterpret_cast<app::Handle>(0x2E1) : nullptr;
}

bool FakePlatform::VersionEx(app::OsVersion* out)
{
    versionFails = platformId < 0;
    version.platformId = std::uint32_t(platformId);
    return NativeAppPlatform::VersionEx(out);
}

bool FakePlatform::EnableShutdownPrivilege()
{
    events.push_back("EnableShutdownPrivilege");
    return NativeAppPlatform::EnableShutdownPrivilege();
}

bool FakePlatform::ExitWindows(std::uint32_t flags)
{
    events.push_back("ExitWindows " + std::to_string(flags));
    return NativeAppPlatform::ExitWindows(flags);
}

int FakePlatform::MessageBox(app::Window owner, const char* text, const char* caption, std::uint32_t type)
{
    events.push_back(std::string("MessageBox ") + text);
    return NativeAppPlatform::MessageBox(owner, text, caption, type);
}

std::string FakePlatform::BrowseForFolder(app::Window owner, const char* title)
{
    browseTitle = title;
    return NativeAppPlatform::BrowseForFolder(owner, title);
}

app::Handle FakePlatform::DdeOpen(const char* service, const char* topic)
{
    events.push_back(std::string("DdeOpen ") + service + " " + topic);
    return NativeAppPlatform::DdeOpen(service, topic);
}

void FakePlatform::DdeClose(app::Handle conversation)
{
    events.push_back("DdeClose");
    NativeAppPlatform::DdeClose(conversation);
}

}  // namespace setuptest
