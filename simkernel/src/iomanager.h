// The I/O manager's own state, shared by its parts (io.cpp, drivers.cpp,
// userdoor.cpp).
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "internal.h"

namespace sim {
namespace io {

// IRP ownership marks kept in IRP::SimPrivate.
const uintptr_t kIoManagerOwned = 1;  // built by the I/O manager: it ends the request

struct DeviceRecord {
    std::string name;
    bool deletePending = false;
    // Opens by name are refused while the device is being added (Windows: while
    // DO_DEVICE_INITIALIZING is set); the PnP manager clears it, under the lock,
    // once AddDevice has returned.
    bool initializing = false;
};

struct DriverRecord {
    std::string name;
    std::u16string registryPath;
    UNICODE_STRING registryPathString;
    DRIVER_EXTENSION extension;
    std::vector<std::pair<PVOID, PVOID>> objectExtensions;  // (id, block)
    uint32_t poolTag;
    int liveDevices = 0;         // device objects not yet freed, deleted ones included
    bool unloadPending = false;  // unload asked while a deleted device was still referenced
    bool report = true;
};

struct UserHandle {
    PFILE_OBJECT file;
};

extern std::recursive_mutex g_lock;
extern std::map<PDRIVER_OBJECT, DriverRecord*> g_drivers;
extern std::map<intptr_t, UserHandle> g_userHandles;
extern std::set<PFILE_OBJECT> g_files;
extern intptr_t g_nextUserHandle;
extern thread_local NTSTATUS t_lastStatus;
extern std::string g_unloadReports;

DeviceRecord* RecordOf(PDEVICE_OBJECT d);
PDEVICE_OBJECT ResolveName(const std::string& name);
NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp);
NTSTATUS SendFileRequest(PDEVICE_OBJECT top, PFILE_OBJECT file, UCHAR major);
PFILE_OBJECT NewFileObject(PDEVICE_OBJECT device);
// The unload proper: the driver's unload routine, then the driver object goes.
std::string FinishUnload(PDRIVER_OBJECT driver);

}  // namespace io
}  // namespace sim
