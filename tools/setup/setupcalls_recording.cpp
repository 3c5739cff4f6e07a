#include "setupcalls_recording.h"

#include <cstdio>
#include <cstring>

namespace setup {
namespace {

std::string Hex(std::uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

std::string Text(const char* s) { return s ? std::string(s) : std::string("(null)"); }

}  // namespace

std::vector<std::string> RecordingSetupApi::CallsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            out.push_back(c);
    return out;
}

int RecordingSetupApi::IndexOf(const std::string& prefix) const
{
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (calls[i].compare(0, prefix.size(), prefix) == 0)
            return int(i);
    return -1;
}

bool RecordingSetupApi::Answer(const std::string& name, const std::string& line)
{
    calls.push_back(line);
    if (failing.count(name) || failing.count(line)) {
        lastError_ = failError;
        return false;
    }
    lastError_ = 0;
    return true;
}

void* RecordingSetupApi::NewHandle()
{
    ++openHandles;
    nextHandle_ += 0x10;
    return reinterpret_cast<void*>(nextHandle_);
}

std::string RecordingSetupApi::SystemErrorText(std::uint32_t code) { return "system error " + Hex(code); }

bool RecordingSetupApi::QueryDosDevice(const char* name)
{
    calls.push_back("QueryDosDevice " + Text(name));
    return zelkoRunning;
}

InfHandle RecordingSetupApi::OpenInf(const char* path, const char* infClass)
{
    return Answer("OpenInf", "OpenInf " + Text(path) + " " + Text(infClass)) ? NewHandle() : nullptr;
}

void RecordingSetupApi::CloseInf(InfHandle inf)
{
    calls.push_back("CloseInf");
    if (inf)
        --openHandles;
}

bool RecordingSetupApi::SetDirectoryId(InfHandle, std::uint32_t id, const char* directory)
{
    return Answer("SetDirectoryId", "SetDirectoryId " + std::to_string(id) + " " + Text(directory));
}

FileQueue RecordingSetupApi::OpenFileQueue()
{
    return Answer("OpenFileQueue", "OpenFileQueue") ? NewHandle() : nullptr;
}

bool RecordingSetupApi::CloseFileQueue(FileQueue queue)
{
    calls.push_back("CloseFileQueue");
    if (queue)
        --openHandles;
    return true;
}

QueueContext RecordingSetupApi::InitDefaultQueueCallback(app::Window owner)
{
    return Answer("InitDefaultQueueCallback",
                  std::string("InitDefaultQueueCallback owner=") + (owner ? "dialog" : "none"))
               ? NewHandle()
               : nullptr;
}

void RecordingSetupApi::TermDefaultQueueCallback(QueueContext context)
{
    calls.push_back("TermDefaultQueueCallback");
    if (context)
        --openHandles;
}

bool RecordingSetupApi::InstallFilesFromInfSection(InfHandle, FileQueue, const char* section, const char* sourceRoot,
                                                   std::uint32_t copyFlags)
{
    return Answer("InstallFilesFromInfSection",
                  "InstallFilesFromInfSection " + Text(section) + " " + Text(sourceRoot) + " " + Hex(copyFlags));
}

bool RecordingSetupApi::CommitFileQueue(app::Window, FileQueue, QueueContext)
{
    return Answer("CommitFileQueue", "CommitFileQueue");
}

bool RecordingSetupApi::InstallFromInfSection(app::Window owner, InfHandle, const char* section, std::uint32_t flags,
                                              app::RegKey relativeKey, const char* sourceRoot, std::uint32_t copyFlags)
{
    return Answer("InstallFromInfSection", "InstallFromInfSection " + Text(section) + " " + Hex(flags) +
                                               (relativeKey ? " key" : " nokey") + " " + Text(sourceRoot) + " " +
                                               Hex(copyFlags) + (owner ? " owner=dialog" : " owner=none"));
}

bool RecordingSetupApi::InstallServicesFromInfSection(InfHandle, const char* section, std::uint32_t flags)
{
    return Answer("InstallServicesFromInfSection", "InstallServicesFromInfSection " + Text(section) + " " + Hex(flags));
}

bool RecordingSetupApi::CopyOemInf(const char* path, const char* sourceLocation)
{
    return Answer("CopyOemInf", "CopyOemInf " + Text(path) + " " + Text(sourceLocation));
}

bool RecordingSetupApi::DiInstallClass(app::Window, const char* infPath, std::uint32_t flags)
{
    return Answer("DiInstallClass", "DiInstallClass " + Text(infPath) + " " + Hex(flags));
}

DevInfoSet RecordingSetupApi::DiGetClassDevs(const Guid& cls, const char* enumerator, app::Window owner,
                                             std::uint32_t flags)
{
    const bool mouse = std::memcmp(&cls, &kGuidDevClassMouse, sizeof cls) == 0;
    return Answer("DiGetClassDevs", std::string("DiGetClassDevs ") + (mouse ? "mouse " : "other ") + Text(enumerator) +
                                        " " + Hex(flags) + (owner ? " owner=dialog" : " owner=none"))
               ? NewHandle()
               : nullptr;
}

DevInfoSet RecordingSetupApi::DiCreateDeviceInfoList(const Guid& cls, app::Window)
{
    const bool mouse = std::memcmp(&cls, &kGuidDevClassMouse, sizeof cls) == 0;
    return Answer("DiCreateDeviceInfoList", std::string("DiCreateDeviceInfoList ") + (mouse ? "mouse" : "other"))
               ? NewHandle()
               : nullptr;
}

bool RecordingSetupApi::DiDestroyDeviceInfoList(DevInfoSet set)
{
    calls.push_back("DiDestroyDeviceInfoList");
    if (set)
        --openHandles;
    return true;
}

bool RecordingSetupApi::DiEnumDeviceInfo(DevInfoSet, std::uint32_t index, DevInfoData* device)
{
    calls.push_back("DiEnumDeviceInfo " + std::to_string(index));
    const std::uint32_t count = devicesCreated_.empty() ? presentDevices : 1;
    if (failing.count("DiEnumDeviceInfo") || index >= count) {
        lastError_ = 259;  // ERROR_NO_MORE_ITEMS
        return false;
    }
    std::memcpy(device->raw, &index, sizeof index);
    return true;
}

bool RecordingSetupApi::DiCreateDeviceInfo(DevInfoSet, const char* instanceId, const Guid&, const char* description,
                                           app::Window, std::uint32_t flags, DevInfoData*)
{
    calls.push_back("DiCreateDeviceInfo " + Text(instanceId) + " " + Text(description) + " " + Hex(flags));
    if (existingIds.count(Text(instanceId)) || failing.count("DiCreateDeviceInfo")) {
        lastError_ = 0xE0000207;  // ERROR_DEVINST_ALREADY_EXISTS
        return false;
    }
    devicesCreated_ = instanceId;
    return true;
}

bool RecordingSetupApi::DiRegisterDeviceInfo(DevInfoSet, DevInfoData*, std::uint32_t flags)
{
    return Answer("DiRegisterDeviceInfo", "DiRegisterDeviceInfo " + Hex(flags));
}

bool RecordingSetupApi::DiSetDeviceInstallParams(DevInfoSet, DevInfoData*, const DevInstallParams& params)
{
    return Answer("DiSetDeviceInstallParams", "DiSetDeviceInstallParams " + Hex(params.flags) + " " +
                                                  Hex(params.flagsEx) + " " + params.driverPath);
}

app::RegKey RecordingSetupApi::DiCreateDevRegKey(DevInfoSet, DevInfoData*, std::uint32_t scope, std::uint32_t profile,
                                                 std::uint32_t keyType, InfHandle, const char* section)
{
    const std::string type = keyType == kDiregDev ? "dev" : keyType == kDiregDrv ? "drv" : Hex(keyType);
    if (!Answer("DiCreateDevRegKey",
                "DiCreateDevRegKey " + type + " " + Text(section) + " " + Hex(scope) + " " + std::to_string(profile)))
        return 0;
    return 0x7E000000u;  // a key only the recording knows: closing it is harmless
}

bool RecordingSetupApi::DiSetHardwareIds(DevInfoSet, DevInfoData*, const char* ids, std::uint32_t size)
{
    std::string shown;
    for (std::uint32_t i = 0; i < size; ++i)
        shown += ids[i] ? std::string(1, ids[i]) : std::string("\\0");
    return Answer("DiSetHardwareIds", "DiSetHardwareIds " + shown);
}

bool RecordingSetupApi::DiBuildDriverInfoList(DevInfoSet, DevInfoData*, std::uint32_t driverType)
{
    return Answer("DiBuildDriverInfoList", "DiBuildDriverInfoList " + Hex(driverType));
}

bool RecordingSetupApi::DiCallClassInstaller(std::uint32_t function, DevInfoSet, DevInfoData* device)
{
    std::uint32_t index = 0;
    std::memcpy(&index, device->raw, sizeof index);
    const std::string name = function == kDifRemove                ? "DIF_REMOVE"
                             : function == kDifInstallDevice       ? "DIF_INSTALLDEVICE"
                             : function == kDifSelectBestCompatDrv ? "DIF_SELECTBESTCOMPATDRV"
                                                                   : Hex(function);
    return Answer(name, "DiCallClassInstaller " + name + " " + std::to_string(index));
}

}  // namespace setup
