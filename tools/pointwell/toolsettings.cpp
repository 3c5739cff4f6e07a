#include "toolsettings.h"

#include <cstdlib>
#include <cstring>

namespace pointwell {
namespace {

// The tool opens its keys for reading as well as writing.
constexpr std::uint32_t kKeyWrite = app::kKeyRead | app::kKeySetValue | app::kKeyCreateSubKey;
using app::kSmCxScreen;
using app::kSmCyScreen;

long WriteValue(const char* keyName, const char* name, std::uint32_t type, const void* data, std::uint32_t size)
{
    app::Platform& p = app::CurrentAppPlatform();
    app::RegKey key = 0;
    const long r = p.RegOpenKey(app::kHkeyLocalMachine, keyName, kKeyWrite, &key);
    if (r != app::kErrorSuccess)
        return r;
    p.RegSetValue(key, name, type, data, size);
    p.RegCloseKey(key);
    return app::kErrorSuccess;
}

// Opens the key, queries the value with *size, closes.
long QueryValue(const char* name, std::uint32_t access, void* buffer, std::uint32_t* size)
{
    app::Platform& p = app::CurrentAppPlatform();
    app::RegKey key = 0;
    long r = p.RegOpenKey(app::kHkeyLocalMachine, kToolKey, access, &key);
    if (r != app::kErrorSuccess)
        return r;
    r = p.RegQueryValue(key, name, nullptr, buffer, size);
    p.RegCloseKey(key);
    return r;
}

void CreateSubKey(const char* parent, const char* name)
{
    app::Platform& p = app::CurrentAppPlatform();
    app::RegKey key = 0, created = 0;
    if (p.RegOpenKey(app::kHkeyLocalMachine, parent, app::kKeyCreateSubKey, &key) != app::kErrorSuccess)
        return;
    if (p.RegCreateKey(key, name, app::kKeyCreateSubKey, &created, nullptr) == app::kErrorSuccess)
        p.RegCloseKey(created);
    p.RegCloseKey(key);
}

}  // namespace

bool RegistryStore::KeyExists()
{
    app::Platform& p = app::CurrentAppPlatform();
    app::RegKey key = 0;
    if (p.RegOpenKey(app::kHkeyLocalMachine, kToolKey, app::kKeyRead, &key) != app::kErrorSuccess)
        return false;
    p.RegCloseKey(key);
    return true;
}

void RegistryStore::EnsureKey()
{
    if (KeyExists())
        return;
    CreateSubKey("SOFTWARE", "Veltran");
    CreateSubKey("SOFTWARE\\Veltran", "Pointwell");
}

long RegistryStore::WriteText(const char* name, const char* text)
{
    return WriteValue(kToolKey, name, app::kRegSz, text, std::uint32_t(std::strlen(text)));
}

long RegistryStore::WriteBinary(const char* name, const void* bytes, std::uint32_t size)
{
    return WriteValue(kToolKey, name, app::kRegBinary, bytes, size);
}

long RegistryStore::ReadText(const char* name, char* buffer)
{
    char value[kTextValueBytes];
    std::uint32_t size = kTextValueBytes;
    const long r = QueryValue(name, app::kKeyRead, value, &size);
    if (r != app::kErrorSuccess)
        return r;
    // The stored bytes are the whole text: nothing of the preset may show behind a
    // shorter value ("5" over a preset "30" is "5", not "50").
    if (size >= kTextValueBytes)
        size = kTextValueBytes - 1;
    std::memcpy(buffer, value, size);
    buffer[size] = 0;
    return r;
}

long RegistryStore::ReadBinary(const char* name, void* buffer, std::uint32_t* size)
{
    return QueryValue(name, app::kKeyRead, buffer, size);
}

void RegistryStore::SetRunEntry(const char* name, const char* text)
{
    WriteValue(kRunKey, name, app::kRegSz, text, std::uint32_t(std::strlen(text)));
}

void RegistryStore::DeleteRunEntry(const char* name)
{
    app::Platform& p = app::CurrentAppPlatform();
    app::RegKey key = 0;
    if (p.RegOpenKey(app::kHkeyLocalMachine, kRunKey, kKeyWrite, &key) != app::kErrorSuccess)
        return;
    p.RegSetValue(key, name, app::kRegSz, "", 0);
    p.RegDeleteValue(key, name);
    p.RegCloseKey(key);
}

void RegistryStore::ReadOsFlag(char* buffer)
{
    std::uint32_t size = kOsFlagBytes;
    QueryValue("osflg", kKeyWrite, buffer, &size);
}

int OsVersionCode()
{
    app::OsVersion v;
    if (!app::CurrentAppPlatform().VersionEx(&v))
        return -1;
    switch (v.platformId) {
    case 0:
        return 3132;
    case 1:
        return 9598;
    case 2:
        if (v.major == 5)
            return v.minor == 0 ? 2000 : 2001;
        return -1;
    default:
        return -1;
    }
}

bool SwitchOn(const char* text) { return std::atoi(text) == 1; }

void ToolSettings::Load(RegistryStore& store)
{
    double* mapping[4] = {&kx, &ky, &cx, &cy};
    const char* mappingNames[4] = {"Kx", "Ky", "Cx", "Cy"};
    for (int i = 0; i < 4; ++i) {
        char text[kTextValueBytes] = {};
        store.ReadText(mappingNames[i], text);
        *mapping[i] = std::strtod(text, nullptr);
    }
    int* switches[4] = {&chgbutton, &changexy, &disabledev, &beep};
    const char* switchNames[4] = {"chgbutton", "changexy", "disabledev", "beep"};
    for (int i = 0; i < 4; ++i) {
        char text[kTextValueBytes] = "0";
        store.ReadText(switchNames[i], text);
        *switches[i] = std::atoi(text);
    }
    // Each table is offered its own buffer's size: a stored table of another size must
    // neither overrun the buffer nor cut the other table's read short.
    // A stored table too long for its buffer is refused, and whatever the refused
    // query left in the buffer is not kept as a table.
    std::uint32_t size = kTableBytes;
    if (store.ReadBinary("XArray", xTable.data(), &size) == app::kErrorMoreData)
        xTable.assign(kTableEntries, 0);
    size = kTableBytes;
    if (store.ReadBinary("YArray", yTable.data(), &size) == app::kErrorMoreData)
        yTable.assign(kTableEntries, 0);
    app::Platform& p = app::CurrentAppPlatform();
    screenWidth = p.SystemMetric(kSmCxScreen);
    screenHeight = p.SystemMetric(kSmCyScreen);
}

}  // namespace pointwell
