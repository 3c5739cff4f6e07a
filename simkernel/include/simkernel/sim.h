// The simulated machine's own controls: what a test, a benchmark or zelkosim
// uses to drive the simulated kernel (clock, pool counters, registry, user-mode
// door, driver loading, deferred work). Drivers never include this header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "nt.h"

namespace sim {

// ---- the machine -------------------------------------------------------------------
// A fresh machine: empty registry, clock at 0, no drivers or devices, pool
// counters and allocation-failure injection reset.
void Reset();
// Runs queued work items, interface notifications and timers that are due, until
// none is left. Called by the harness between steps and by a wait that would block.
void RunPending();
// Fatal error of the simulated kernel (a driver broke a rule): prints and aborts.
[[noreturn]] void Bugcheck(const char* what, const char* detail = "");

// ---- the clock -------------------------------------------------------------------------
const uint32_t kTimeIncrement = 156250;  // one clock tick in 100-ns units (15.625 ms)
uint64_t Now();                          // 100-ns units since boot
void AdvanceTime(uint64_t hundredNs);    // moves the clock; timers that fall due run
inline void AdvanceMs(uint64_t ms) { AdvanceTime(ms * 10000); }
// A timer of the machine itself (the USB frame's scheduled behaviour, ...).
void ScheduleAt(uint64_t when, std::function<void()> fn);

// ---- pool ------------------------------------------------------------------------------
struct PoolUsage {
    int64_t allocations = 0;  // outstanding
    int64_t bytes = 0;        // outstanding
};
uint32_t TagOf(const char* fourChars);
PoolUsage PoolUsageOf(uint32_t tag);
uint64_t PoolAllocationsMade();  // every successful allocation since Reset
// The n-th allocation from now (1 = the next one) fails; 0 disables.
void FailAllocation(uint64_t n);
// One line per tag with outstanding allocations; empty when none.
std::string PoolReport();

// ---- registry --------------------------------------------------------------------------
// Paths: the kernel form "\REGISTRY\Machine\..." or "HKLM\..." / "HKEY_LOCAL_MACHINE\...".
namespace registry {
struct Value {
    std::string name;  // as first written
    uint32_t type = 0;
    std::vector<uint8_t> data;
};
bool SetValue(const std::string& key, const std::string& name, uint32_t type, const void* data, size_t size);
bool SetString(const std::string& key, const std::string& name, const std::string& text);  // REG_SZ, UTF-16 + zero
bool SetDword(const std::string& key, const std::string& name, uint32_t value);
bool GetValue(const std::string& key, const std::string& name, Value* out);
bool DeleteValue(const std::string& key, const std::string& name);
bool KeyExists(const std::string& key);
bool CreateKey(const std::string& key);
std::vector<Value> Values(const std::string& key);  // sorted by name, case-insensitively
std::string Normalize(const std::string& key);      // canonical lower-case kernel form
// The names of the key's direct subkeys (as first created), sorted case-insensitively.
std::vector<std::string> SubKeys(const std::string& key);
// Deletes a key that has no subkeys (with its values); false when missing or not empty.
bool DeleteKey(const std::string& key);
}  // namespace registry

// ---- user mode ------------------------------------------------------------------------
namespace user {
using Handle = intptr_t;
const Handle kInvalidHandle = -1;
// CreateFile of "\\.\NAME" (read and write sharing, OPEN_EXISTING).
Handle CreateFile(const std::string& path);
// METHOD_BUFFERED DeviceIoControl; bytesReturned as Windows reports it.
bool DeviceIoControl(Handle h, uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                     uint32_t* bytesReturned);
bool CloseHandle(Handle h);
NTSTATUS LastStatus();  // the status of the last failed call on this thread
}  // namespace user

// ---- drivers ---------------------------------------------------------------------------
// Creates the driver object "\Driver\NAME" and calls its entry with the service
// key "\REGISTRY\Machine\System\CurrentControlSet\Services\NAME".
PDRIVER_OBJECT LoadDriver(const std::string& name, PDRIVER_INITIALIZE entry, NTSTATUS* status = nullptr);
// The same, naming the driver's pool tag for the leak report at unload.
PDRIVER_OBJECT LoadDriver(const std::string& name, PDRIVER_INITIALIZE entry, NTSTATUS* status, uint32_t poolTag);
// Calls the unload routine and frees the driver object. Devices must be gone.
// Pool still held under the driver's tag is reported on stderr.
void UnloadDriver(PDRIVER_OBJECT driver);
// The same; returns the leak report instead of (report = false) or besides printing it.
std::string UnloadDriver(PDRIVER_OBJECT driver, bool report);
std::string ServiceKey(const std::string& name);
// A driver whose unload waits for its last referenced device, made to stay: the
// PnP manager adds the next device of that service to it. Null when none.
PDRIVER_OBJECT ReviveDriver(const std::string& name);
// Every leak report of the drivers unloaded since Reset.
std::string UnloadReports();

// ---- objects -------------------------------------------------------------------------
PDEVICE_OBJECT FindDevice(const std::string& name);  // by device or link name
// The link name of a device interface registered for pdo, and whether it is enabled.
std::string InterfaceLinkOf(PDEVICE_OBJECT pdo, const GUID& guid, bool* enabled = nullptr);
void ForgetInterfacesOf(PDEVICE_OBJECT pdo);
// While held, interface notifications wait (a PnP manager busy elsewhere); on
// release they are delivered, to their watchers as registered when they were
// sent, even to a watcher that has unregistered meanwhile.
void HoldNotifications(bool hold);

// ---- power and USBD ------------------------------------------------------------------------
uint64_t PowerStartNextCalls();
DEVICE_POWER_STATE RecordedDevicePowerState(PDEVICE_OBJECT device);  // by PoSetPowerState
void ForgetPowerState(PDEVICE_OBJECT device);
void SetUsbdiVersion(ULONG version);  // what USBD_GetUSBDIVersion answers (0x500 by default)
ULONG UsbdiVersion();

// ---- IRP accounting ---------------------------------------------------------------------
int64_t IrpsOutstanding();  // allocated and not yet freed

// ---- strings --------------------------------------------------------------------------
std::u16string Utf16(const std::string& s);
std::string Narrow(const std::u16string& s);
std::string Narrow(PCUNICODE_STRING s);
std::string StatusName(NTSTATUS status);  // "STATUS_SUCCESS", ... or hex
bool StatusFromName(const std::string& name, NTSTATUS* status);

}  // namespace sim
