// The setup API for native runs: every call is recorded as one line of text (its name
// and the arguments that matter), and answers come from what the test set: calls named
// in `failing` fail with `failError`, the device list answers from `presentDevices`,
// instance ids in `existingIds` can't be created, QueryDosDevice answers `zelkoRunning`.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "setupcalls.h"

namespace setup {

class RecordingSetupApi : public SetupApi {
public:
    std::vector<std::string> calls;
    std::set<std::string> failing;         // call names that fail
    std::uint32_t failError = 0xE000020E;  // what LastError gives after a failure
    std::uint32_t presentDevices = 0;      // devices DiGetClassDevs finds
    std::set<std::string> existingIds;     // instance ids DiCreateDeviceInfo refuses
    bool zelkoRunning = false;

    // The recorded calls whose line starts with prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    // Index of the first recorded call starting with prefix, or -1.
    int IndexOf(const std::string& prefix) const;

    std::uint32_t LastError() override { return lastError_; }
    std::string SystemErrorText(std::uint32_t code) override;
    bool QueryDosDevice(const char* name) override;
    InfHandle OpenInf(const char* path, const char* infClass) override;
    void CloseInf(InfHandle inf) override;
    bool SetDirectoryId(InfHandle inf, std::uint32_t id, const char* directory) override;
    FileQueue OpenFileQueue() override;
    bool CloseFileQueue(FileQueue queue) override;
    QueueContext InitDefaultQueueCallback(app::Window owner) override;
    void TermDefaultQueueCallback(QueueContext context) override;
    bool InstallFilesFromInfSection(InfHandle inf, FileQueue queue, const char* section, const char* sourceRoot,
                                    std::uint32_t copyFlags) override;
    bool CommitFileQueue(app::Window owner, FileQueue queue, QueueContext context) override;
    bool InstallFromInfSection(app::Window owner, InfHandle inf, const char* section, std::uint32_t flags,
                               app::RegKey relativeKey, const char* sourceRoot, std::uint32_t copyFlags) override;
    bool InstallServicesFromInfSection(InfHandle inf, const char* section, std::uint32_t flags) override;
    bool CopyOemInf(const char* path, const char* sourceLocation) override;
    bool DiInstallClass(app::Window owner, const char* infPath, std::uint32_t flags) override;
    DevInfoSet DiGetClassDevs(const Guid& cls, const char* enumerator, app::Window owner, std::uint32_t flags) override;
    DevInfoSet DiCreateDeviceInfoList(const Guid& cls, app::Window owner) override;
    bool DiDestroyDeviceInfoList(DevInfoSet set) override;
    bool DiEnumDeviceInfo(DevInfoSet set, std::uint32_t index, DevInfoData* device) override;
    bool DiCreateDeviceInfo(DevInfoSet set, const char* instanceId, const Guid& cls, const char* description,
                            app::Window owner, std::uint32_t flags, DevInfoData* device) override;
    bool DiRegisterDeviceInfo(DevInfoSet set, DevInfoData* device, std::uint32_t flags) override;
    bool DiSetDeviceInstallParams(DevInfoSet set, DevInfoData* device, const DevInstallParams& params) override;
    app::RegKey DiCreateDevRegKey(DevInfoSet set, DevInfoData* device, std::uint32_t scope, std::uint32_t profile,
                                  std::uint32_t keyType, InfHandle inf, const char* section) override;
    bool DiSetHardwareIds(DevInfoSet set, DevInfoData* device, const char* ids, std::uint32_t size) override;
    bool DiBuildDriverInfoList(DevInfoSet set, DevInfoData* device, std::uint32_t driverType) override;
    bool DiCallClassInstaller(std::uint32_t function, DevInfoSet set, DevInfoData* device) override;

    // Handles the recording gave out and has not seen closed (INF, queue, context, set).
    int openHandles = 0;

private:
    bool Answer(const std::string& name, const std::string& line);
    void* NewHandle();
    std::uint32_t lastError_ = 0;
    std::uintptr_t nextHandle_ = 0x1000;
    std::string devicesCreated_;  // the set's device, by instance id
};

}  // namespace setup
