// The simulated machine's PnP and power managers, its root bus and its USB bus
// with a virtual touch frame. Used by tests, benchmarks and zelkosim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nt.h"
#include "usb.h"

namespace sim {
namespace pnp {

// A driver as an INF installs it: the service name, its entry point and its
// pool tag (for the leak report at unload). The PnP manager loads the driver
// when the first device it serves appears and unloads it when the last goes.
struct DriverPackage {
    std::string service;
    PDRIVER_INITIALIZE entry = nullptr;
    uint32_t poolTag = 0;
};

// The function driver for a hardware id (matched without regard to case).
void InstallFunctionDriver(const std::string& hardwareId, const DriverPackage& package);
// An upper filter (a class driver such as the mouse class) for a hardware id.
void InstallUpperFilter(const std::string& hardwareId, const DriverPackage& package);

struct DevNode;

// A root-enumerated device with this hardware id: its PDO comes from the root
// bus; the drivers are added and the device started.
DevNode* CreateRootDevice(const std::string& hardwareId);
// A device reported by a bus driver (its PDO and hardware ids); added and started.
DevNode* ReportChild(PDEVICE_OBJECT pdo, const std::vector<std::string>& hardwareIds);

// PnP requests to the top of a device's stack, as the PnP manager sends them.
NTSTATUS Start(DevNode* node);
NTSTATUS Stop(DevNode* node);        // query-stop, then stop
void SurpriseRemove(DevNode* node);  // surprise removal, then removal
void Remove(DevNode* node);          // query-remove, then removal
NTSTATUS SendPnp(DevNode* node, UCHAR minor, ULONG_PTR* information = nullptr, PVOID argument = nullptr,
                 ULONG_PTR initialInformation = 0);
NTSTATUS QueryCapabilities(DevNode* node, DEVICE_CAPABILITIES* caps);

bool Started(const DevNode* node);
bool Removed(const DevNode* node);
PDEVICE_OBJECT Pdo(const DevNode* node);
PDEVICE_OBJECT Top(const DevNode* node);
PDRIVER_OBJECT FunctionDriver(const DevNode* node);
NTSTATUS LastStartStatus(const DevNode* node);
// The loaded driver object of a service, or null.
PDRIVER_OBJECT LoadedDriver(const std::string& service);
// Leak reports collected when drivers were unloaded since Reset.
std::string UnloadReports();

// The system goes to sleep (S3) and back to working (S0): IRP_MN_SET_POWER for
// the system state to every started device, children first on the way down.
NTSTATUS SystemSleep();
NTSTATUS SystemWake();

void ResetPnp();

}  // namespace pnp

namespace usb {

// The frame as the USB bus describes it.
struct FrameDescription {
    uint16_t vendorId = 0x5A53;
    uint16_t productId = 0x0001;
    uint8_t interfaces = 1;
    uint8_t endpointsPerInterface = 1;
};

// What the bus saw, for tests.
struct Counters {
    uint64_t transfersSubmitted = 0;
    uint64_t transfersCompleted = 0;
    uint64_t reportsDropped = 0;  // the frame reported while no transfer was held
    uint64_t resets = 0;
    uint64_t portStatusQueries = 0;
    uint64_t selectConfigurations = 0;
    uint64_t deconfigurations = 0;
    uint64_t descriptorRequests = 0;
    uint64_t classRequests = 0;
};

// Requests whose completion status a test can inject.
enum class Request { SelectConfiguration, GetDescriptor, ClassRequest, ResetPort, PortStatus };

// Plugs the frame in: the bus reports the child, the PnP manager adds and starts it.
pnp::DevNode* Plug(const FrameDescription& description = FrameDescription());
// Pulls it out: held transfers fail, then surprise removal and removal.
void Unplug();
bool Plugged();
pnp::DevNode* FrameNode();

// The frame's scan: the held interrupt transfer completes with these bytes (a
// short transfer when fewer than the transfer asked for). False when no
// transfer was held (the report is dropped, as on the wire).
bool Report(const uint8_t* bytes, unsigned length);
// The held transfer completes with this status instead.
bool FailTransfer(NTSTATUS status);
bool TransferHeld();
void SetPortConnected(bool connected);
// The next `times` requests of that kind complete with this status (times 0: every one).
void InjectStatus(Request request, NTSTATUS status, unsigned times = 1);
void ClearInjections();
Counters GetCounters();

// The bus as a multiprocessor machine shows it: in asynchronous mode the
// transfers the frame answers (or that fail, are cancelled or ended by a reset
// or removal), port resets and port-status queries complete on the bus's own
// thread after a random delay of up to maxDelayUs, so that completion routines
// run while dispatch routines still run; timed waits then also really wait.
// Off (the default) the bus completes on the caller's thread at once.
// Switching it off waits until the bus thread owes nothing.
void SetAsync(bool on, unsigned maxDelayUs = 200, unsigned seed = 1);
bool Async();
bool Idle();  // the bus thread owes no completion

}  // namespace usb
}  // namespace sim
