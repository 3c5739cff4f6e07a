// The installer's setup-API interface on Windows: each call is the Win32 call it names.
#include "appplatform_win32.h"

#include <setupapi.h>

#include <cstring>

#undef QueryDosDevice

#include "setupcalls.h"

namespace setup {
namespace {

static_assert(sizeof(SP_DEVINFO_DATA) <= sizeof(DevInfoData::raw), "SP_DEVINFO_DATA does not fit");
static_assert(sizeof(Guid) == sizeof(GUID), "GUID layout");

GUID ToGuid(const Guid& g)
{
    GUID out;
    std::memcpy(&out, &g, sizeof out);
    return out;
}

SP_DEVINFO_DATA* Device(DevInfoData* d)
{
    auto* data = reinterpret_cast<SP_DEVINFO_DATA*>(d->raw);
    data->cbSize = sizeof(SP_DEVINFO_DATA);
    return data;
}

HWND Hwnd(app::Window w) { return static_cast<HWND>(w); }
void* Valid(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

// The file-queue callback: a file that can't be deleted is skipped without asking.
UINT CALLBACK SkipDeleteErrors(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    if (notification == SPFILENOTIFY_DELETEERROR)
        return FILEOP_SKIP;
    return SetupDefaultQueueCallbackA(context, notification, param1, param2);
}

class Win32SetupApi : public SetupApi {
public:
    std::uint32_t LastError() override { return GetLastError(); }
    std::string SystemErrorText(std::uint32_t code) override
    {
        char* text = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
                       nullptr);
        std::string out = text ? text : "";
        if (text)
            LocalFree(text);
        return out;
    }
    bool QueryDosDevice(const char* name) override
    {
        char target[100];
        return ::QueryDosDeviceA(name, target, sizeof target) != 0;
    }
    InfHandle OpenInf(const char* path, const char* infClass) override
    {
        return Valid(SetupOpenInfFileA(path, infClass, INF_STYLE_WIN4, nullptr));
    }
    void CloseInf(InfHandle inf) override { SetupCloseInfFile(inf); }
    bool SetDirectoryId(InfHandle inf, std::uint32_t id, const char* directory) override
    {
        return SetupSetDirectoryIdA(inf, id, directory);
    }
    FileQueue OpenFileQueue() override
    {
        HSPFILEQ queue = SetupOpenFileQueue();
        return queue == INVALID_HANDLE_VALUE ? nullptr : queue;
    }
    bool CloseFileQueue(FileQueue queue) override { return SetupCloseFileQueue(queue); }
    QueueContext InitDefaultQueueCallback(app::Window owner) override
    {
        return SetupInitDefaultQueueCallbackEx(Hwnd(owner), nullptr, 0, 0, nullptr);
    }
    void TermDefaultQueueCallback(QueueContext context) override { SetupTermDefaultQueueCallback(context); }
    bool InstallFilesFromInfSection(InfHandle inf, FileQueue queue, const char* section, const char* sourceRoot,
                                    std::uint32_t copyFlags) override
    {
        return SetupInstallFilesFromInfSectionA(inf, nullptr, queue, section, sourceRoot, copyFlags);
    }
    bool CommitFileQueue(app::Window owner, FileQueue queue, QueueContext context) override
    {
        return SetupCommitFileQueueA(Hwnd(owner), queue, SkipDeleteErrors, context);
    }
    bool InstallFromInfSection(app::Window owner, InfHandle inf, const char* section, std::uint32_t flags,
                               app::RegKey relativeKey, const char* sourceRoot, std::uint32_t copyFlags) override
    {
        return SetupInstallFromInfSectionA(Hwnd(owner), inf, section, flags, reinterpret_cast<HKEY>(relativeKey),
                                           sourceRoot, copyFlags, nullptr, nullptr, nullptr, nullptr);
    }
    bool InstallServicesFromInfSection(InfHandle inf, const char* section, std::uint32_t flags) override
    {
        return SetupInstallServicesFromInfSectionA(inf, section, flags);
    }
    bool CopyOemInf(const char* path, const char* sourceLocation) override
    {
        return SetupCopyOEMInfA(path, sourceLocation, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr);
    }
    bool DiInstallClass(app::Window owner, const char* infPath, std::uint32_t flags) override
    {
        return SetupDiInstallClassA(Hwnd(owner), infPath, flags, nullptr);
    }
    DevInfoSet DiGetClassDevs(const Guid& cls, const char* enumerator, app::Window owner, std::uint32_t flags) override
    {
        const GUID g = ToGuid(cls);
        return Valid(SetupDiGetClassDevsA(&g, enumerator, Hwnd(owner), flags));
    }
    DevInfoSet DiCreateDeviceInfoList(const Guid& cls, app::Window owner) override
    {
        const GUID g = ToGuid(cls);
        return Valid(SetupDiCreateDeviceInfoList(&g, Hwnd(owner)));
    }
    bool DiDestroyDeviceInfoList(DevInfoSet set) override { return SetupDiDestroyDeviceInfoList(set); }
    bool DiEnumDeviceInfo(DevInfoSet set, std::uint32_t index, DevInfoData* device) override
    {
        return SetupDiEnumDeviceInfo(set, index, Device(device));
    }
    bool DiCreateDeviceInfo(DevInfoSet set, const char* instanceId, const Guid& cls, const char* description,
                            app::Window owner, std::uint32_t flags, DevInfoData* device) override
    {
        const GUID g = ToGuid(cls);
        return SetupDiCreateDeviceInfoA(set, instanceId, &g, description, Hwnd(owner), flags, Device(device));
    }
    bool DiRegisterDeviceInfo(DevInfoSet set, DevInfoData* device, std::uint32_t flags) override
    {
        return SetupDiRegisterDeviceInfo(set, Device(device), flags, nullptr, nullptr, nullptr);
    }
    bool DiSetDeviceInstallParams(DevInfoSet set, DevInfoData* device, const DevInstallParams& params) override
    {
        SP_DEVINSTALL_PARAMS_A p;
        std::memset(&p, 0, sizeof p);
        p.cbSize = sizeof p;
        p.Flags = params.flags;
        p.FlagsEx = params.flagsEx;
        p.hwndParent = Hwnd(params.parent);
        if (params.driverPath.size() >= sizeof p.DriverPath)
            return false;
        std::memcpy(p.DriverPath, params.driverPath.c_str(), params.driverPath.size() + 1);
        return SetupDiSetDeviceInstallParamsA(set, Device(device), &p);
    }
    app::RegKey DiCreateDevRegKey(DevInfoSet set, DevInfoData* device, std::uint32_t scope, std::uint32_t profile,
                                  std::uint32_t keyType, InfHandle inf, const char* section) override
    {
        HKEY key = SetupDiCreateDevRegKeyA(set, Device(device), scope, profile, keyType, inf, section);
        return key == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<app::RegKey>(key);
    }
    bool DiSetHardwareIds(DevInfoSet set, DevInfoData* device, const char* ids, std::uint32_t size) override
    {
        return SetupDiSetDeviceRegistryPropertyA(set, Device(device), SPDRP_HARDWAREID,
                                                 reinterpret_cast<const BYTE*>(ids), size);
    }
    bool DiBuildDriverInfoList(DevInfoSet set, DevInfoData* device, std::uint32_t driverType) override
    {
        return SetupDiBuildDriverInfoList(set, Device(device), driverType);
    }
    bool DiCallClassInstaller(std::uint32_t function, DevInfoSet set, DevInfoData* device) override
    {
        return SetupDiCallClassInstaller(function, set, Device(device));
    }
};

}  // namespace

SetupApi& DefaultSetupApi()
{
    static Win32SetupApi api;
    return api;
}

}  // namespace setup
