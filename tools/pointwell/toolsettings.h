// The tool's registry values and their in-memory copy.
//
// The tool key HKLM\SOFTWARE\Veltran\Pointwell is shared with Zelko and the
// installer; the Run key holds the companions' autostart entries. RegistryStore
// opens the key for each operation, does one thing and closes it; every failure is
// silent. Text values are REG_SZ without the terminating zero.
#pragma once

#include <cstdint>
#include <vector>

#include "appplatform.h"

namespace pointwell {

constexpr const char* kToolKey = "SOFTWARE\\Veltran\\Pointwell";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr int kTableEntries = 5000;
constexpr std::uint32_t kTableBytes = kTableEntries * 2;
constexpr std::uint32_t kTextValueBytes = 50;  // ReadText's buffer
constexpr std::uint32_t kOsFlagBytes = 200;    // ReadOsFlag's query size

class RegistryStore {
public:
    // The tool key opens for reading.
    bool KeyExists();
    // Creates "Veltran" under HKLM\SOFTWARE and "Pointwell" under it when the key is missing.
    void EnsureKey();
    // 0 on success, else the error of the open; the store's own result is not looked at.
    long WriteText(const char* name, const char* text);
    long WriteBinary(const char* name, const void* bytes, std::uint32_t size);
    // The query's result. buffer holds at least 50 bytes, preset by the caller with the
    // default text: a missing key or value leaves it as it was. A stored text replaces
    // the whole preset (it ends where the stored bytes end), whether or not it was
    // stored with its terminating zero; texts of 50 bytes and more are cut to 49.
    long ReadText(const char* name, char* buffer);
    // *size: the buffer's size in, the stored size out (as RegQueryValueExA).
    long ReadBinary(const char* name, void* buffer, std::uint32_t* size);
    void SetRunEntry(const char* name, const char* text);
    // Stores the empty text under the name and deletes the value.
    void DeleteRunEntry(const char* name);
    // "osflg" into a zeroed buffer of at least 300 bytes.
    void ReadOsFlag(char* buffer);
};

// 3132 Win32s, 9598 Windows 95/98/Me, 2000 Windows 2000, 2001 XP and later NT 5.x,
// -1 anything else or when the version can't be read.
int OsVersionCode();

// The settings record the tool keeps in memory.
struct ToolSettings {
    double kx = 0, ky = 0, cx = 0, cy = 0;  // screen pixel = K * raw + C
    int mode = 0;                           // 1 to 3; 0 none
    int slider = 0;                         // 0 to 40
    int chgbutton = 0, changexy = 0, disabledev = 0, beep = 0;
    std::vector<std::uint16_t> xTable = std::vector<std::uint16_t>(kTableEntries);
    std::vector<std::uint16_t> yTable = std::vector<std::uint16_t>(kTableEntries);
    int screenWidth = 0, screenHeight = 0;

    // The mapping, the four switches, both tables and the screen size, in that order.
    void Load(RegistryStore& store);
};

// A switch's text counts as on only when it converts to exactly 1.
bool SwitchOn(const char* text);

}  // namespace pointwell
