// The setup API calls the installer makes (SETUPAPI, plus the two kernel32 queries
// that only the driver steps use), behind one narrow interface of the installer's
// own. Under Windows it is setupcalls_win32.cpp (thin: each call is the Win32 call of
// the same name); natively it is RecordingSetupApi (setupcalls_recording.h), which
// records every call and answers as a test tells it.
//
// Conventions as in appplatform.h: handles are opaque, nullptr is an invalid handle
// (the Win32 side maps INVALID_HANDLE_VALUE to nullptr), results are BOOL as bool.
#pragma once

#include <cstdint>
#include <string>

#include "appplatform.h"

namespace setup {

using InfHandle = void*;     // HINF
using FileQueue = void*;     // HSPFILEQ
using QueueContext = void*;  // the default queue callback's context
using DevInfoSet = void*;    // HDEVINFO

// A GUID, field by field (the Windows layout).
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2, data3;
    std::uint8_t data4[8];
};

// {4D36E96F-E325-11CE-BFC1-08002BE10318}: the system's mouse class.
constexpr Guid kGuidDevClassMouse = {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// SP_DEVINFO_DATA as the caller holds it: its bytes, which only the implementation reads
// (28 bytes for i686, 32 for x86_64; cbSize is set by the implementation).
struct DevInfoData {
    alignas(8) unsigned char raw[32] = {};
};

// What SetupDiSetDeviceInstallParamsA receives (SP_DEVINSTALL_PARAMS_A, zero-filled
// apart from these fields).
struct DevInstallParams {
    std::uint32_t flags = 0;
    std::uint32_t flagsEx = 0;
    app::Window parent = nullptr;
    std::string driverPath;  // at most 259 characters
};

// Constants of the setup API that the installer passes.
constexpr std::uint32_t kSpCopyNewer = 0x00000004;
constexpr std::uint32_t kSpinstIniFiles = 0x00000002;
constexpr std::uint32_t kSpinstRegistry = 0x00000004;
constexpr std::uint32_t kDiForceCopy = 0x04000000;
constexpr std::uint32_t kDiEnumSingleInf = 0x00010000;
constexpr std::uint32_t kDiNoFileCopy = 0x01000000;
constexpr std::uint32_t kDigcfPresent = 0x00000002;
constexpr std::uint32_t kDicsFlagGlobal = 0x00000001;
constexpr std::uint32_t kDiregDev = 0x00000001;
constexpr std::uint32_t kDiregDrv = 0x00000002;
constexpr std::uint32_t kDifInstallDevice = 0x00000002;
constexpr std::uint32_t kDifRemove = 0x00000005;
constexpr std::uint32_t kDifSelectBestCompatDrv = 0x00000017;
constexpr std::uint32_t kSpditCompatDriver = 0x00000002;
constexpr std::uint32_t kDirIdInstaller = 65659;  // bound before every file queue

class SetupApi {
public:
    virtual ~SetupApi() = default;

    // ---- kernel32 ----------------------------------------------------------------
    virtual std::uint32_t LastError() = 0;  // GetLastError
    // FormatMessageA(FROM_SYSTEM | IGNORE_INSERTS, code, LANG_NEUTRAL/SUBLANG_DEFAULT).
    virtual std::string SystemErrorText(std::uint32_t code) = 0;
    // QueryDosDeviceA(name, a 100-character buffer) != 0.
    virtual bool QueryDosDevice(const char* name) = 0;

    // ---- INF files and file queues -------------------------------------------------
    // SetupOpenInfFileA(path, infClass (may be null), INF_STYLE_WIN4, nullptr).
    virtual InfHandle OpenInf(const char* path, const char* infClass) = 0;
    virtual void CloseInf(InfHandle inf) = 0;  // SetupCloseInfFile
    virtual bool SetDirectoryId(InfHandle inf, std::uint32_t id, const char* directory) = 0;
    virtual FileQueue OpenFileQueue() = 0;  // SetupOpenFileQueue
    virtual bool CloseFileQueue(FileQueue queue) = 0;
    // SetupInitDefaultQueueCallbackEx(owner, nullptr, 0, 0, nullptr).
    virtual QueueContext InitDefaultQueueCallback(app::Window owner) = 0;
    virtual void TermDefaultQueueCallback(QueueContext context) = 0;
    // SetupInstallFilesFromInfSectionA(inf, nullptr, queue, section, sourceRoot, copyFlags).
    virtual bool InstallFilesFromInfSection(InfHandle inf, FileQueue queue, const char* section, const char* sourceRoot,
                                            std::uint32_t copyFlags) = 0;
    // SetupCommitFileQueueA(owner, queue, callback, context), where the callback skips
    // SPFILENOTIFY_DELETEERROR (FILEOP_SKIP) and hands everything else to
    // SetupDefaultQueueCallbackA with the context.
    virtual bool CommitFileQueue(app::Window owner, FileQueue queue, QueueContext context) = 0;
    // SetupInstallFromInfSectionA(owner, inf, section, flags, relativeKey (0: none),
    // sourceRoot (may be null), copyFlags, no callback, no context, no device set, no device).
    virtual bool InstallFromInfSection(app::Window owner, InfHandle inf, const char* section, std::uint32_t flags,
                                       app::RegKey relativeKey, const char* sourceRoot, std::uint32_t copyFlags) = 0;
    // SetupInstallServicesFromInfSectionA(inf, section, flags).
    virtual bool InstallServicesFromInfSection(InfHandle inf, const char* section, std::uint32_t flags) = 0;
    // SetupCopyOEMInfA(path, sourceLocation, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr):
    // the INF into the system's INF folder, where Plug and Play looks for a new device's
    // driver, with the folder its files are to be copied from.
    virtual bool CopyOemInf(const char* path, const char* sourceLocation) = 0;

    // ---- device installation --------------------------------------------------------
    // SetupDiInstallClassA(owner, infPath, flags, nullptr).
    virtual bool DiInstallClass(app::Window owner, const char* infPath, std::uint32_t flags) = 0;
    // SetupDiGetClassDevsA(&cls, enumerator, owner, flags).
    virtual DevInfoSet DiGetClassDevs(const Guid& cls, const char* enumerator, app::Window owner,
                                      std::uint32_t flags) = 0;
    virtual DevInfoSet DiCreateDeviceInfoList(const Guid& cls, app::Window owner) = 0;
    virtual bool DiDestroyDeviceInfoList(DevInfoSet set) = 0;
    // SetupDiEnumDeviceInfo(set, index, device): device's size field set first.
    virtual bool DiEnumDeviceInfo(DevInfoSet set, std::uint32_t index, DevInfoData* device) = 0;
    // SetupDiCreateDeviceInfoA(set, instanceId, &cls, description, owner, flags, device).
    virtual bool DiCreateDeviceInfo(DevInfoSet set, const char* instanceId, const Guid& cls, const char* description,
                                    app::Window owner, std::uint32_t flags, DevInfoData* device) = 0;
    // SetupDiRegisterDeviceInfo(set, device, flags, nullptr, nullptr, nullptr).
    virtual bool DiRegisterDeviceInfo(DevInfoSet set, DevInfoData* device, std::uint32_t flags) = 0;
    virtual bool DiSetDeviceInstallParams(DevInfoSet set, DevInfoData* device, const DevInstallParams& params) = 0;
    // SetupDiCreateDevRegKeyA(set, device, scope, profile, keyType, inf, section): 0 when
    // the key is invalid; the caller closes a valid key with RegCloseKey.
    virtual app::RegKey DiCreateDevRegKey(DevInfoSet set, DevInfoData* device, std::uint32_t scope,
                                          std::uint32_t profile, std::uint32_t keyType, InfHandle inf,
                                          const char* section) = 0;
    // SetupDiSetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, ids, size): ids a
    // multi-string ending in two zero bytes, size counting both.
    virtual bool DiSetHardwareIds(DevInfoSet set, DevInfoData* device, const char* ids, std::uint32_t size) = 0;
    // SetupDiBuildDriverInfoList(set, device, driverType).
    virtual bool DiBuildDriverInfoList(DevInfoSet set, DevInfoData* device, std::uint32_t driverType) = 0;
    // SetupDiCallClassInstaller(function, set, device).
    virtual bool DiCallClassInstaller(std::uint32_t function, DevInfoSet set, DevInfoData* device) = 0;
};

// The Win32 setup API (defined in the Windows builds only).
SetupApi& DefaultSetupApi();

}  // namespace setup
