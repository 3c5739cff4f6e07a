// The installer's steps: the Windows family, the install folder tree, the file copy,
// the drivers of each family, the settings key, the Run key and the program group.
// Everything goes through the programs' platform (files, registry, messages, DDE) and
// the installer's setup-API interface, so that the whole sequence runs natively in
// tests with recording stand-ins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "appplatform.h"
#include "wincodes.h"
#include "setupcalls.h"

namespace setup {

// What ClassifyWindows reports.
constexpr int kOsWin32s = 3132;
constexpr int kOsWin9x = 9598;
constexpr int kOsNt = 2001;  // Windows 2000 and XP alike
constexpr int kOsUnknown = -1;

// Paths live in buffers of this many bytes (terminator included): a longer path is
// refused, never cut.
constexpr std::size_t kPathBuffer = 260;

// The access the settings key is opened with for writing.
constexpr std::uint32_t kKeyWriteSettings = app::kKeyRead | app::kKeySetValue | app::kKeyCreateSubKey;

// The settings key and the values the installer writes.
constexpr const char* kSettingsKey = "SOFTWARE\\Veltran\\Pointwell";
constexpr const char* kRunKey = "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kOemNameKey = "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\Inf\\OEM Name";
constexpr const char* kFrameHardwareId98 = "VID_5a53&PID_0001";
constexpr const char* kServiceDeviceDescription = "usb infrared touch screen service for win2000 winxp";

// LangText of key with its English default, as a string.
std::string Lang(const char* key, const char* def);

// The platform's family: GetVersionExA's platform id, asked anew on every call.
int ClassifyWindows(app::Platform& os);

// Makes every missing folder of path (prefixes of three characters or fewer, such as
// "c:\", are never made) and path itself. False when one can't be made.
bool MakeFolderTree(app::Platform& os, const std::string& path);

// The default calibration tables of a family: 5000 entries each, 4900 computed from
// the raw range, the rest 0.
struct DefaultTables {
    std::uint16_t x[5000];
    std::uint16_t y[5000];
};
void FillDefaultTables(int osClass, DefaultTables* tables);

// The state of one installation and its steps. The dialog (if any) owns the file
// copy's messages and drives the progress bar.
class Installer {
public:
    Installer(app::Platform& os, SetupApi& api) : os_(os), api_(api) {}

    // Set by the dialog's Start.
    std::string installFolder;
    std::string toolPath;
    std::string osTag;
    std::string maker = "Veltran";
    std::string groupName = "Infrared Touch Screen";
    std::string toolCaption = "Setting and Calibrate";
    std::string uninstCaption = "Uninstall Infrared Touch Screen";

    // The folder of the running program, without its last backslash ("" if none).
    std::string SetupFolder();

    // ---- files -----------------------------------------------------------------
    // Copies the files that filelist.ini lists for this family into folder, records
    // each in folder\list.cpd, moves control 1052 of dialog (may be null).
    bool CopyPackageFiles(const std::string& folder, app::Dialog* dialog);

    // ---- drivers ---------------------------------------------------------------
    bool InstallDrivers98();  // always true
    void RemoveServiceDevices(app::Window owner);
    bool InstallDriversXp();
    bool TouchDriverRunning();
    // Removes the frame's earlier USB registrations on Windows 98; false when there are none.
    bool PurgeUsbInstances98(const char* hardwareId);
    bool InstallServiceDriver98();
    bool InstallUsbDriver98();
    bool InstallServiceDevice();
    bool InstallUsbDriverNt();
    void ShowSystemError();

    // ---- registry and program group ----------------------------------------------
    void WriteInitialSettings();
    void ApplyCfgFile(const char* fileName);
    void WriteOsFlag(const char* text);
    void RemoveAutostart(const std::string& toolPath);
    bool CreateProgramGroup(const std::string& folder);
    long WriteRegText(const char* keyPath, const char* name, const std::string& text);

private:
    // One INF's file-copy sequence; Close ends it (callback, queue, INF, in this order).
    struct QueueRun {
        InfHandle inf = nullptr;
        FileQueue queue = nullptr;
        QueueContext context = nullptr;
        std::uint32_t copyStatus = 0;
    };
    bool CommitQueue(const std::string& infPath, const char* infClass, const std::string& directory,
                     const char* fileSection, QueueRun* run);
    void CloseQueue(QueueRun* run);
    void EnsureSettingsKey();
    bool EnsureKey(const std::string& path);
    bool InstallSectionOnKey(QueueRun* run, const std::string& keyPath, const char* section);
    void RegisterOemName(const std::string& valueName, const std::string& data);
    int Message(app::Window owner, const char* text, const char* caption, std::uint32_t type)
    {
        return os_.MessageBox(owner, text, caption, type);
    }

    app::Platform& os_;
    SetupApi& api_;
};

}  // namespace setup
