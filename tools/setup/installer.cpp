#include "installer.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cfgrecords.h"
#include "filelist.h"
#include "langtext.h"
#include "resource.h"

namespace setup {

int ClassifyWindows(app::Platform& os)
{
    app::OsVersion version;
    if (!os.VersionEx(&version))
        return kOsUnknown;
    switch (version.platformId) {
    case 0:
        return kOsWin32s;
    case 1:
        return kOsWin9x;
    case 2:
        return kOsNt;
    default:
        return kOsUnknown;
    }
}

namespace {

bool IsDirectory(app::Platform& os, const std::string& path)
{
    const std::uint32_t attributes = os.FileAttributes(path.c_str());
    return attributes != app::kInvalidAttributes && (attributes & app::kAttrDirectory);
}

bool IsFile(app::Platform& os, const std::string& path)
{
    const std::uint32_t attributes = os.FileAttributes(path.c_str());
    return attributes != app::kInvalidAttributes && !(attributes & app::kAttrDirectory);
}

bool Fits(const std::string& path) { return path.size() < kPathBuffer; }

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// The whole source in one buffer of its size; false when it can't be opened, its size
// had or it read whole.
bool ReadWholeFile(app::Platform& os, const std::string& path, std::unique_ptr<char[]>* bytes, long* size)
{
    std::FILE* in = os.OpenFile(path.c_str(), "rb");
    if (!in)
        return false;
    bool ok = false;
    *size = -1;
    if (std::fseek(in, 0, SEEK_END) == 0)
        *size = std::ftell(in);
    if (*size >= 0 && std::fseek(in, 0, SEEK_SET) == 0) {
        bytes->reset(new (std::nothrow) char[*size > 0 ? *size : 1]);
        ok = *bytes && std::fread(bytes->get(), 1, *size, in) == std::size_t(*size);
    }
    std::fclose(in);
    return ok;
}

// A new file of exactly these bytes; false when it can't be made or written whole.
bool WriteWholeFile(app::Platform& os, const std::string& path, const char* bytes, long size)
{
    std::FILE* out = os.OpenFile(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = std::fwrite(bytes, 1, size, out) == std::size_t(size);
    if (std::fclose(out) != 0)
        ok = false;
    return ok;
}

}  // namespace

std::string Lang(const char* key, const char* def)
{
    char text[256];
    LangText(key, def, text);
    return text;
}

bool MakeFolderTree(app::Platform& os, const std::string& path)
{
    if (path.empty())
        return false;  // GetFileAttributesA("") fails: nothing to make
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '\\')
            continue;
        const std::string prefix = path.substr(0, i);
        if (!IsDirectory(os, prefix) && i > 3 && !os.CreateDirectory(prefix.c_str()))
            return false;
    }
    return IsDirectory(os, path) || os.CreateDirectory(path.c_str());
}

void FillDefaultTables(int osClass, DefaultTables* tables)
{
    std::memset(tables, 0, sizeof *tables);
    for (int i = 0; i < 4900; ++i) {
        if (osClass == kOsWin9x) {
            std::uint16_t x = std::uint16_t(std::int64_t(std::trunc(i * 81.9175)));
            std::uint16_t y = std::uint16_t(std::int64_t(std::trunc(i * 109.22333333333333)));
            tables->x[i] = x == 65535 ? 65530 : x;
            tables->y[i] = y == 65535 ? 65534 : y;
        } else {
            std::uint16_t x = std::uint16_t(std::int64_t(std::trunc(i * 40.9575)));
            std::uint16_t y = std::uint16_t(std::int64_t(std::trunc(i * 54.61)));
            tables->x[i] = x > 32766 ? 32766 : x;
            tables->y[i] = y > 32766 ? 32766 : y;
        }
    }
}

std::string Installer::SetupFolder()
{
    const std::string path = os_.ModuleFileName();
    const std::size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// ---- files -----------------------------------------------------------------------

bool Installer::CopyPackageFiles(const std::string& folder, app::Dialog* dialog)
{
    const std::string record = folder + "\\list.cpd";
    if (IsFile(os_, record))
        os_.DeleteFile(record.c_str());
    const std::string setupFolder = SetupFolder();
    const std::string list = setupFolder + "\\filelist.ini";
    const char* section = FileListSection(ClassifyWindows(os_));
    const std::uint32_t n = UsableFileCount(os_.ProfileInt(section, "filenum", 0, list.c_str()));

    if (dialog)
        dialog->SendItemMessage(IDC_PROGRESS_BAR, app::kPbmSetRange, 0, std::intptr_t(n & 0xFFFF) << 16);
    if (n == 0)
        return false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (dialog)
            dialog->SendItemMessage(IDC_PROGRESS_BAR, app::kPbmSetPos, i, 0);
        char key[16];
        std::snprintf(key, sizeof key, "file%u", i);
        char value[500] = {};
        if (os_.ProfileString(section, key, "", value, sizeof value, list.c_str()) == 0)
            return false;
        const std::string name = EntryName(value);
        if (name.empty())
            return false;

        const std::string source = setupFolder + "\\" + name;
        const std::string destination = folder + "\\" + name;
        if (!EntryStaysInside(name) || !Fits(source) || !Fits(destination)) {
            Message(dialog ? dialog->handle() : nullptr, "Copy File Error.", "Information", app::kMbIconError);
            return false;
        }
        if (!IsFile(os_, source)) {
            Message(dialog ? dialog->handle() : nullptr, "The file to be copied is not exists!", "Information",
                    app::kMbIconError);
            return false;
        }
        // The source is read whole before the destination is touched: when both name the
        // same file (the package unpacked into the install folder), deleting the
        // destination first would delete the package's own file.
        std::unique_ptr<char[]> bytes;
        long size = 0;
        const bool read = ReadWholeFile(os_, source, &bytes, &size);
        const std::uint32_t attributes = os_.FileAttributes(destination.c_str());
        if (read && attributes != app::kInvalidAttributes && !(attributes & app::kAttrDirectory)) {
            os_.SetFileAttributes(destination.c_str(),
                                  attributes & ~(app::kAttrReadOnly | app::kAttrHidden | app::kAttrSystem));
            os_.DeleteFile(destination.c_str());
        }
        if (!read || !WriteWholeFile(os_, destination, bytes.get(), size)) {
            Message(dialog ? dialog->handle() : nullptr, "Copy File Error.", "Information", app::kMbIconError);
            return false;
        }
        os_.WriteProfileString("COPYED", key, destination.c_str(), record.c_str());
    }
    char count[16];
    std::snprintf(count, sizeof count, "%u", n);
    os_.WriteProfileString("COPYED", "filenum", count, record.c_str());
    return true;
}

// ---- drivers ---------------------------------------------------------------------

void Installer::ShowSystemError()
{
    const std::string text = api_.SystemErrorText(api_.LastError());
    Message(nullptr, text.c_str(), "Error", app::kMbIconInformation);
}

bool Installer::CommitQueue(const std::string& infPath, const char* infClass, const std::string& directory,
                            const char* fileSection, QueueRun* run)
{
    *run = QueueRun();
    if (!Fits(infPath))
        return false;
    run->inf = api_.OpenInf(infPath.c_str(), infClass);
    if (!run->inf) {
        api_.LastError();
        return false;
    }
    if (!api_.SetDirectoryId(run->inf, kDirIdInstaller, directory.c_str())) {
        api_.CloseInf(run->inf);
        return false;
    }
    run->queue = api_.OpenFileQueue();
    if (!run->queue) {
        api_.CloseInf(run->inf);
        return false;
    }
    run->context = api_.InitDefaultQueueCallback(nullptr);
    if (!run->context) {
        api_.CloseFileQueue(run->queue);
        api_.CloseInf(run->inf);
        return false;
    }
    const std::string root = SetupFolder() + "\\";
    if (api_.InstallFilesFromInfSection(run->inf, run->queue, fileSection, root.c_str(), kSpCopyNewer) &&
        api_.CommitFileQueue(nullptr, run->queue, run->context))
        run->copyStatus = 0;
    else
        run->copyStatus = api_.LastError();
    return true;
}

void Installer::CloseQueue(QueueRun* run)
{
    api_.TermDefaultQueueCallback(run->context);
    api_.CloseFileQueue(run->queue);
    api_.CloseInf(run->inf);
}

bool Installer::TouchDriverRunning()
{
    if (ClassifyWindows(os_) == kOsWin9x) {
        app::Handle device = os_.OpenDevice("\\\\.\\Zelkode", 0);
        if (!device)
            return false;
        os_.CloseHandle(device);
        return true;
    }
    return api_.QueryDosDevice("Zelkode");
}

bool Installer::EnsureKey(const std::string& path)
{
    app::RegKey key = 0;
    if (os_.RegOpenKey(app::kHkeyLocalMachine, path.c_str(), app::kKeyAllAccess, &key) == 0) {
        os_.RegCloseKey(key);
        return true;
    }
    if (os_.RegCreateKey(app::kHkeyLocalMachine, path.c_str(), app::kKeyAllAccess, &key, nullptr) != 0)
        return false;
    os_.RegCloseKey(key);
    return true;
}

bool Installer::InstallSectionOnKey(QueueRun* run, const std::string& keyPath, const char* section)
{
    EnsureKey(keyPath);
    app::RegKey key = 0;
    if (os_.RegOpenKey(app::kHkeyLocalMachine, keyPath.c_str(), app::kKeyAllAccess, &key) != 0)
        return false;
    const std::string root = SetupFolder() + "\\";
    const bool ok = api_.InstallFromInfSection(nullptr, run->inf, section, kSpinstIniFiles | kSpinstRegistry, key,
                                               root.c_str(), kSpCopyNewer);
    os_.RegCloseKey(key);
    return ok;
}

void Installer::RegisterOemName(const std::string& valueName, const std::string& data)
{
    app::RegKey key = 0;
    if (os_.RegOpenKey(app::kHkeyLocalMachine, kOemNameKey, app::kKeyAllAccess, &key) != 0)
        return;
    os_.RegSetValue(key, valueName.c_str(), app::kRegSz, data.data(), std::uint32_t(data.size()));
    os_.RegCloseKey(key);
}

bool Installer::InstallServiceDriver98()
{
    const std::string root = SetupFolder() + "\\";
    const std::string inf = root + "98\\Dravo98.inf";
    if (!api_.DiInstallClass(nullptr, inf.c_str(), kDiForceCopy))
        ShowSystemError();

    const std::string windows = os_.WindowsDirectory();
    os_.CopyFile(inf.c_str(), (windows + "\\inf\\Dravo98.inf").c_str(), false);
    os_.CopyFile(inf.c_str(), (windows + "\\inf\\OTHER\\" + maker + "Dravo98.inf").c_str(), false);
    os_.CopyFile((root + "98\\Dravo98.sys").c_str(), (windows + "\\SYSTEM32\\drivers\\Dravo98.sys").c_str(), false);

    QueueRun run;
    if (!CommitQueue(inf, nullptr, windows + "\\system32\\drivers", "UsbInfr.Install", &run))
        return false;
    char instance[8];
    std::snprintf(instance, sizeof instance, "%04d", 0);
    if (!InstallSectionOnKey(&run, std::string("system\\CurrentcontrolSet\\Services\\class\\Tscrn\\") + instance,
                             "UsbInfr.Install1")) {
        ShowSystemError();
        Message(nullptr, "Install device fail", "Error", app::kMbIconError);
    } else {
        EnsureKey("Enum\\Root\\Tscrn");
        if (!InstallSectionOnKey(&run, std::string("Enum\\Root\\Tscrn\\") + instance, "UsbInfr.Install2")) {
            ShowSystemError();
            Message(nullptr, "Install device fail", "Error", app::kMbIconError);
        } else {
            RegisterOemName(windows + "\\inf\\other\\" + maker + "Dravo98.inf", maker + "Dravo98.inf");
            RegisterOemName(windows + "\\inf\\Dravo98.inf", "Dravo98.inf");
        }
    }
    CloseQueue(&run);
    return run.copyStatus == 0;
}

bool Installer::PurgeUsbInstances98(const char* hardwareId)
{
    const std::string usbPath = std::string("Enum\\USB\\") + hardwareId;
    app::RegKey usb = 0;
    if (os_.RegOpenKey(app::kHkeyLocalMachine, usbPath.c_str(), app::kKeyAllAccess, &usb) != 0)
        return false;
    // The names first: deleting while enumerating by index would skip every other one.
    std::vector<std::string> instances;
    for (std::uint32_t i = 0; i < 32; ++i) {
        char name[190] = {};
        std::uint32_t size = sizeof name;
        if (os_.RegEnumKey(usb, i, name, &size) != 0)
            break;
        instances.emplace_back(name, strnlen(name, sizeof name));
    }
    const std::string windows = os_.WindowsDirectory();
    for (const std::string& instance : instances) {
        char driver[191] = {};
        app::RegKey key = 0;
        if (os_.RegOpenKey(usb, instance.c_str(), app::kKeyRead, &key) == 0) {
            std::uint32_t type = 0, size = 190;
            if (os_.RegQueryValue(key, "Driver", &type, driver, &size) != 0 || type != app::kRegSz)
                driver[0] = '\0';
            os_.RegCloseKey(key);
        }
        os_.RegDeleteKey(usb, instance.c_str());
        if (driver[0] == '\0')
            continue;

        const std::string classPath = std::string("System\\CurrentControlSet\\Services\\class\\") + driver;
        char infPath[191] = {};
        if (os_.RegOpenKey(app::kHkeyLocalMachine, classPath.c_str(), app::kKeyAllAccess, &key) != 0)
            continue;
        std::uint32_t type = 0, size = 190;
        if (os_.RegQueryValue(key, "infpath", &type, infPath, &size) != 0 || type != app::kRegSz)
            infPath[0] = '\0';
        os_.RegCloseKey(key);
        os_.RegDeleteKey(app::kHkeyLocalMachine, classPath.c_str());
        // Only a plain file name is deleted: a value that names a path could reach any file.
        const std::string inf(infPath);
        if (inf.empty() || StartsWithNoCase(inf, "OEM"))
            continue;
        if (inf.find_first_of("\\/:") != std::string::npos || !EntryStaysInside(inf))
            continue;
        os_.DeleteFile((windows + "\\inf\\" + inf).c_str());
        os_.DeleteFile((windows + "\\inf\\other\\" + inf).c_str());
    }
    os_.RegCloseKey(usb);
    return true;
}

bool Installer::InstallUsbDriver98()
{
    const std::string root = SetupFolder() + "\\";
    const std::string windows = os_.WindowsDirectory();
    const std::string inf = root + "98\\zelkron98.inf";
    os_.CopyFile(inf.c_str(), (windows + "\\inf\\zelkron98.inf").c_str(), false);
    os_.CopyFile(inf.c_str(), (windows + "\\inf\\OTHER\\" + maker + "zelkron98.inf").c_str(), false);
    os_.CopyFile((root + "98\\Zelkron.sys").c_str(), (windows + "\\SYSTEM32\\drivers\\Zelkron.sys").c_str(), false);
    QueueRun run;
    if (!CommitQueue(root + "win98\\zelkron98.inf", "USB", os_.SystemDirectory(), "zelkron", &run))
        return false;
    RegisterOemName(windows + "\\inf\\other\\" + maker + "zelkron98.inf", maker + "zelkron98.inf");
    RegisterOemName(windows + "\\inf\\zelkron98.inf", "zelkron98.inf");
    CloseQueue(&run);
    return run.copyStatus == 0;
}

bool Installer::InstallDrivers98()
{
    InstallServiceDriver98();
    if (!TouchDriverRunning()) {
        PurgeUsbInstances98(kFrameHardwareId98);
        InstallUsbDriver98();
    }
    RemoveAutostart(toolPath);
    return true;
}

void Installer::RemoveServiceDevices(app::Window owner)
{
    DevInfoSet set = api_.DiGetClassDevs(kGuidDevClassMouse, "ROOT\\DRAVLINE", owner, kDigcfPresent);
    if (!set)
        return;
    DevInfoData device;
    for (std::uint32_t i = 0; api_.DiEnumDeviceInfo(set, i, &device); ++i)
        api_.DiCallClassInstaller(kDifRemove, set, &device);
    api_.DiDestroyDeviceInfoList(set);
}

bool Installer::InstallServiceDevice()
{
    const std::string inf = SetupFolder() + "\\2000xp\\Dravila.inf";
    if (!Fits(inf))
        return false;
    if (!api_.DiInstallClass(nullptr, inf.c_str(), kDiForceCopy))
        return false;

    // The driver file, by the file queue: the device is installed without file copies.
    QueueRun files;
    if (CommitQueue(inf, "MOUSE", os_.SystemDirectory(), "Dravick", &files))
        CloseQueue(&files);

    InfHandle hinf = api_.OpenInf(inf.c_str(), "MOUSE");
    if (!hinf)
        return false;
    DevInfoSet set = api_.DiCreateDeviceInfoList(kGuidDevClassMouse, nullptr);
    if (!set) {
        ShowSystemError();
    } else {
        DevInfoData device;
        bool created = false;
        for (int k = 0; k < 20 && !created; ++k) {
            char id[32];
            std::snprintf(id, sizeof id, "ROOT\\DRAVLINE\\%04d", k);
            created =
                api_.DiCreateDeviceInfo(set, id, kGuidDevClassMouse, kServiceDeviceDescription, nullptr, 0, &device);
        }
        if (created) {
            bool ok = api_.DiRegisterDeviceInfo(set, &device, 0);
            if (ok) {
                DevInstallParams params;
                params.flags = kDiEnumSingleInf | kDiNoFileCopy;
                params.driverPath = inf;
                ok = api_.DiSetDeviceInstallParams(set, &device, params);
            }
            for (const auto& [type, section] :
                 {std::pair{kDiregDev, "Dravick1"}, std::pair{kDiregDrv, "Dravick.DriverKey"}}) {
                if (!ok)
                    break;
                app::RegKey key = api_.DiCreateDevRegKey(set, &device, kDicsFlagGlobal, 0, type, hinf, section);
                if (key)
                    os_.RegCloseKey(key);
                ok = key != 0;
            }
            if (ok) {
                // The driver is chosen without a dialog: the device's hardware id, the compatible
                // drivers of this one INF, the best of them.
                static const char kIds[] = "root\\DRAVLINE\0";
                device = DevInfoData();
                ok = api_.DiEnumDeviceInfo(set, 0, &device) && api_.DiSetHardwareIds(set, &device, kIds, sizeof kIds) &&
                     api_.DiBuildDriverInfoList(set, &device, kSpditCompatDriver) &&
                     api_.DiCallClassInstaller(kDifSelectBestCompatDrv, set, &device) &&
                     api_.DiCallClassInstaller(kDifInstallDevice, set, &device);
            }
            if (ok) {
                if (!api_.InstallFromInfSection(nullptr, hinf, (maker + ".Mfg").c_str(),
                                                kSpinstIniFiles | kSpinstRegistry, 0, nullptr, 0))
                    Message(nullptr, "Install Error", "Error", app::kMbIconError);
                ok = api_.InstallServicesFromInfSection(hinf, "Dravick.Services", 0);
            }
            if (!ok)
                ShowSystemError();
        }
        api_.DiDestroyDeviceInfoList(set);
    }
    api_.CloseInf(hinf);
    return true;
}

bool Installer::InstallUsbDriverNt()
{
    const std::string inf = SetupFolder() + "\\2000xp\\zelkron2kxp.inf";
    QueueRun run;
    if (!CommitQueue(inf, nullptr, os_.SystemDirectory(), "zelkron.NT", &run))
        return false;
    // Plug and Play looks for the frame's driver in the system's INF folder, and copies
    // its file from the setup folder, where the file section above found it.
    const std::string root = SetupFolder() + "\\";
    if (!api_.CopyOemInf(inf.c_str(), root.c_str()))
        ShowSystemError();
    if (!api_.InstallFromInfSection(nullptr, run.inf, (maker + ".Mfg").c_str(), kSpinstIniFiles | kSpinstRegistry, 0,
                                    nullptr, 0))
        Message(nullptr, "Install fail", "Error", app::kMbIconError);
    if (!api_.InstallServicesFromInfSection(run.inf, "zelkron.NT.Services", 0))
        ShowSystemError();
    CloseQueue(&run);
    return run.copyStatus == 0;
}

bool Installer::InstallDriversXp()
{
    if (!InstallServiceDevice())
        return false;
    if (!TouchDriverRunning() && !InstallUsbDriverNt()) {
        const std::string text = Lang("INSTALLDRVFAIL", "Install usb device fail.");
        Message(nullptr, text.c_str(), "Prompt", app::kMbIconError);
        return false;
    }
    RemoveAutostart(toolPath);
    return true;
}

// ---- registry and program group ----------------------------------------------------

long Installer::WriteRegText(const char* keyPath, const char* name, const std::string& text)
{
    app::RegKey key = 0;
    const long error = os_.RegOpenKey(app::kHkeyLocalMachine, keyPath, kKeyWriteSettings, &key);
    if (error != 0)
        return error;
    os_.RegSetValue(key, name, app::kRegSz, text.data(), std::uint32_t(text.size()));
    os_.RegCloseKey(key);
    return 0;
}

void Installer::EnsureSettingsKey()
{
    for (const char* path : {"Software\\Veltran", "Software\\Veltran\\Pointwell"}) {
        app::RegKey key = 0;
        if (os_.RegCreateKey(app::kHkeyLocalMachine, path, app::kKeyAllAccess, &key, nullptr) == 0)
            os_.RegCloseKey(key);
    }
}

void Installer::WriteInitialSettings()
{
    EnsureSettingsKey();
    WriteRegText(kSettingsKey, "chgbutton", "");
    WriteRegText(kSettingsKey, "donemode", "1");
    WriteRegText(kSettingsKey, "IsCfg", "no");
    WriteRegText(kSettingsKey, "dubwheel", "yes");
    WriteRegText(kSettingsKey, "moveSlider", "30");

    const int osClass = ClassifyWindows(os_);
    auto tables = std::make_unique<DefaultTables>();
    FillDefaultTables(osClass, tables.get());
    std::uint8_t bytes[10000];
    app::RegKey key = 0;
    if (os_.RegOpenKey(app::kHkeyLocalMachine, kSettingsKey, kKeyWriteSettings, &key) == 0) {
        for (const auto& [name, table] : {std::pair{"XArray", tables->x}, std::pair{"YArray", tables->y}}) {
            for (int i = 0; i < 5000; ++i) {
                bytes[2 * i] = std::uint8_t(table[i]);
                bytes[2 * i + 1] = std::uint8_t(table[i] >> 8);
            }
            os_.RegSetValue(key, name, app::kRegBinary, bytes, sizeof bytes);
        }
        os_.RegCloseKey(key);
    }
    if (osClass == kOsWin9x)
        ApplyCfgFile("win98.cfg");
    else if (osClass == kOsNt)
        ApplyCfgFile("winxp.cfg");
}

void Installer::ApplyCfgFile(const char* fileName)
{
    const std::string path = SetupFolder() + "\\" + fileName;
    std::FILE* file = os_.OpenFile(path.c_str(), "rb");
    if (!file)
        return;
    app::RegKey key = 0;
    if (os_.RegOpenKey(app::kHkeyLocalMachine, kSettingsKey, kKeyWriteSettings, &key) != 0) {
        std::fclose(file);
        return;
    }
    CfgRecord record;
    while (ReadCfgRecord(file, &record)) {
        if (record.type == kCfgText)
            WriteRegText(kSettingsKey, record.name.c_str(), record.Text());
        else if (record.type == kCfgBinary)
            os_.RegSetValue(key, record.name.c_str(), app::kRegBinary, record.data.data(),
                            std::uint32_t(record.data.size()));
    }
    os_.RegCloseKey(key);
    std::fclose(file);
}

void Installer::WriteOsFlag(const char* text)
{
    EnsureSettingsKey();
    WriteRegText(kSettingsKey, "osflg", text);
}

void Installer::RemoveAutostart(const std::string&)
{
    app::RegKey key = 0;
    if (os_.RegOpenKey(app::kHkeyLocalMachine, kRunKey, app::kKeyAllAccess, &key) != 0)
        return;
    os_.RegSetValue(key, "Pointwell", app::kRegSz, "", 1);
    os_.RegDeleteValue(key, "Pointwell");
    os_.RegCloseKey(key);
}

bool Installer::CreateProgramGroup(const std::string& folder)
{
    if (!os_.DdeAvailable()) {
        Message(nullptr, "DDE Error!", "Error", app::kMbOk);
        return false;
    }
    app::Handle conversation = os_.DdeOpen("PROGMAN", "PROGMAN");
    if (!conversation)
        return true;  // no Program Manager answers: no group, no message
    const std::string tool = folder + "\\Pointwell.exe";
    const std::string uninst = folder + "\\Uninst.exe";
    const std::string commands[] = {
        "[CreateGroup(" + groupName + ")]",
        "[ShowGroup(" + groupName + ",1)]",
        "[AddItem(" + tool + "," + toolCaption + "," + tool + ",0)]",
        "[AddItem(" + uninst + "," + uninstCaption + "," + uninst + ",0)]",
    };
    for (const std::string& command : commands)
        os_.DdeExecute(conversation, command.c_str());
    os_.DdeClose(conversation);
    return true;
}

}  // namespace setup
