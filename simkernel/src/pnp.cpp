// The PnP manager (device nodes, driver loading by hardware id, the PnP
// requests of start, stop and removal), the root bus that enumerates
// root devices, and the power manager's system sleep and wake.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "internal.h"
#include "simkernel/pnp.h"

namespace sim {
namespace pnp {

struct DevNode {
    std::vector<std::string> hardwareIds;
    PDEVICE_OBJECT pdo = nullptr;
    std::string functionService;
    std::vector<std::string> filterServices;
    bool added = false;
    bool started = false;
    bool removed = false;
    NTSTATUS startStatus = STATUS_SUCCESS;
};

namespace {

struct Loaded {
    PDRIVER_OBJECT driver;
    int devices;
};

std::recursive_mutex g_lock;
std::map<std::string, DriverPackage> g_functions;  // by lower-case hardware id
std::map<std::string, std::vector<DriverPackage>> g_filters;
std::map<std::string, Loaded> g_loaded;  // by service
std::vector<std::unique_ptr<DevNode>> g_nodes;
PDRIVER_OBJECT g_rootBus = nullptr;

// ---- the root bus: PDOs of root-enumerated devices ---------------------------------------------
struct RootPdo {
    char hardwareId[200];
};

NTSTATUS CompleteWith(PIRP irp, NTSTATUS status, ULONG_PTR info)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = info;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

PWSTR MultiSz(const std::string& id)
{
    size_t n = id.size();
    PWSTR p = (PWSTR)ExAllocatePoolWithTag(PagedPool, (n + 2) * 2, TagOf("PnpI"));
    if (!p)
        return NULL;
    for (size_t i = 0; i < n; ++i)
        p[i] = (WCHAR)(unsigned char)id[i];
    p[n] = 0;
    p[n + 1] = 0;
    return p;
}

NTSTATUS RootPnp(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_PNP_DEVICE_STATE:
        return CompleteWith(irp, STATUS_SUCCESS, irp->IoStatus.Information);
    case IRP_MN_REMOVE_DEVICE:
        CompleteWith(irp, STATUS_SUCCESS, 0);
        ForgetInterfacesOf(device);
        ForgetPowerState(device);
        IoDeleteDevice(device);
        return STATUS_SUCCESS;
    case IRP_MN_QUERY_CAPABILITIES: {
        PDEVICE_CAPABILITIES caps = sp->Parameters.DeviceCapabilities.Capabilities;
        if (!caps || caps->Size < sizeof(DEVICE_CAPABILITIES))
            return CompleteWith(irp, STATUS_INVALID_PARAMETER, 0);
        caps->DeviceState[PowerSystemWorking] = PowerDeviceD0;
        for (int s = PowerSystemSleeping1; s < PowerSystemMaximum; ++s)
            caps->DeviceState[s] = PowerDeviceD3;
        caps->SilentInstall = 1;
        caps->RawDeviceOK = 0;
        return CompleteWith(irp, STATUS_SUCCESS, 0);
    }
    case IRP_MN_QUERY_ID: {
        if (sp->Parameters.QueryId.IdType == BusQueryInstanceID) {
            PWSTR p = MultiSz("0000");
            return p ? CompleteWith(irp, STATUS_SUCCESS, (ULONG_PTR)p)
                     : CompleteWith(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
        }
        PWSTR p = MultiSz(((RootPdo*)device->DeviceExtension)->hardwareId);
        return p ? CompleteWith(irp, STATUS_SUCCESS, (ULONG_PTR)p)
                 : CompleteWith(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    default: {
        // A bus driver leaves requests it does not handle as they are.
        NTSTATUS s = irp->IoStatus.Status;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return s;
    }
    }
}

NTSTATUS RootPower(PDEVICE_OBJECT, PIRP irp)
{
    PoStartNextPowerIrp(irp);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->MinorFunction == IRP_MN_SET_POWER || sp->MinorFunction == IRP_MN_QUERY_POWER)
        return CompleteWith(irp, STATUS_SUCCESS, 0);
    NTSTATUS s = irp->IoStatus.Status;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return s;
}

NTSTATUS RootEntry(PDRIVER_OBJECT driver, PUNICODE_STRING)
{
    driver->MajorFunction[IRP_MJ_PNP] = RootPnp;
    driver->MajorFunction[IRP_MJ_POWER] = RootPower;
    return STATUS_SUCCESS;
}

PDRIVER_OBJECT RootBus()
{
    if (!g_rootBus)
        g_rootBus = LoadDriver("PnpManager", RootEntry);
    return g_rootBus;
}

// ---- sending PnP and power requests ---------------------------------------------------------------
NTSTATUS SignalDone(PDEVICE_OBJECT, PIRP, PVOID context)
{
    KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS SendAndWait(PDEVICE_OBJECT top, PIRP irp, ULONG_PTR* information)
{
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
    NTSTATUS s = IofCallDriver(top, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    s = irp->IoStatus.Status;
    if (information)
        *information = irp->IoStatus.Information;
    IoFreeIrp(irp);
    return s;
}

NTSTATUS SendPower(DevNode* node, SYSTEM_POWER_STATE state)
{
    PDEVICE_OBJECT top = IoGetAttachedDevice(node->pdo);
    PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = IRP_MJ_POWER;
    sp->MinorFunction = IRP_MN_SET_POWER;
    sp->Parameters.Power.Type = SystemPowerState;
    sp->Parameters.Power.State.SystemState = state;
    sp->Parameters.Power.ShutdownType = state == PowerSystemWorking ? PowerActionNone : PowerActionSleep;
    return SendAndWait(top, irp, nullptr);
}

DriverPackage* FunctionFor(const std::vector<std::string>& ids)
{
    for (auto& id : ids) {
        auto it = g_functions.find(detail::Lower(id));
        if (it != g_functions.end())
            return &it->second;
    }
    return nullptr;
}

PDRIVER_OBJECT Acquire(const DriverPackage& p)
{
    auto it = g_loaded.find(p.service);
    if (it != g_loaded.end()) {
        ++it->second.devices;
        return it->second.driver;
    }
    // A driver whose unload waits for its last referenced device is used again.
    PDRIVER_OBJECT d = ReviveDriver(p.service);
    if (!d)
        d = LoadDriver(p.service, p.entry, nullptr, p.poolTag);
    if (d)
        g_loaded[p.service] = Loaded{d, 1};
    return d;
}

void Release(const std::string& service)
{
    auto it = g_loaded.find(service);
    if (it == g_loaded.end())
        return;
    if (--it->second.devices > 0)
        return;
    PDRIVER_OBJECT d = it->second.driver;
    g_loaded.erase(it);
    UnloadDriver(d, false);
}

// Adds the drivers of a new device node and starts it.
void AddAndStart(DevNode* node)
{
    RunPending();
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    DriverPackage* fn = FunctionFor(node->hardwareIds);
    if (!fn)
        return;
    PDRIVER_OBJECT d = Acquire(*fn);
    if (!d)
        return;
    node->functionService = fn->service;
    detail::BeginAddDevice();
    NTSTATUS s = d->DriverExtension->AddDevice ? d->DriverExtension->AddDevice(d, node->pdo) : STATUS_UNSUCCESSFUL;
    detail::EndAddDevice();
    if (!NT_SUCCESS(s)) {
        node->functionService.clear();
        Release(fn->service);
        node->startStatus = s;
        return;
    }
    for (auto& id : node->hardwareIds) {
        auto it = g_filters.find(detail::Lower(id));
        if (it == g_filters.end())
            continue;
        for (auto& f : it->second) {
            PDRIVER_OBJECT fd = Acquire(f);
            detail::BeginAddDevice();
            const bool added =
                fd && fd->DriverExtension->AddDevice && NT_SUCCESS(fd->DriverExtension->AddDevice(fd, node->pdo));
            detail::EndAddDevice();
            if (added)
                node->filterServices.push_back(f.service);
            else if (fd)
                Release(f.service);
        }
        break;
    }
    node->added = true;
    Start(node);
}

void ReleaseDrivers(DevNode* node)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto& f : node->filterServices)
        Release(f);
    node->filterServices.clear();
    if (!node->functionService.empty())
        Release(node->functionService);
    node->functionService.clear();
}

}  // namespace

void InstallFunctionDriver(const std::string& hardwareId, const DriverPackage& package)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_functions[detail::Lower(hardwareId)] = package;
}

void InstallUpperFilter(const std::string& hardwareId, const DriverPackage& package)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_filters[detail::Lower(hardwareId)].push_back(package);
}

DevNode* CreateRootDevice(const std::string& hardwareId)
{
    PDEVICE_OBJECT pdo;
    if (!NT_SUCCESS(IoCreateDevice(RootBus(), sizeof(RootPdo), NULL, FILE_DEVICE_BUS_EXTENDER,
                                   FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &pdo)))
        return nullptr;
    auto* ext = (RootPdo*)pdo->DeviceExtension;
    snprintf(ext->hardwareId, sizeof ext->hardwareId, "%s", hardwareId.c_str());
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return ReportChild(pdo, {hardwareId});
}

DevNode* ReportChild(PDEVICE_OBJECT pdo, const std::vector<std::string>& hardwareIds)
{
    DevNode* node;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_nodes.push_back(std::make_unique<DevNode>());
        node = g_nodes.back().get();
        node->hardwareIds = hardwareIds;
        node->pdo = pdo;
    }
    AddAndStart(node);
    RunPending();
    return node;
}

NTSTATUS SendPnp(DevNode* node, UCHAR minor, ULONG_PTR* information, PVOID argument, ULONG_PTR initialInformation)
{
    if (node->removed)
        return STATUS_NO_SUCH_DEVICE;
    PDEVICE_OBJECT top = IoGetAttachedDevice(node->pdo);
    PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    irp->IoStatus.Information = initialInformation;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = IRP_MJ_PNP;
    sp->MinorFunction = minor;
    sp->Parameters.Others.Argument1 = argument;
    NTSTATUS s = SendAndWait(top, irp, information);
    RunPending();
    return s;
}

NTSTATUS QueryCapabilities(DevNode* node, DEVICE_CAPABILITIES* caps)
{
    memset(caps, 0, sizeof *caps);
    caps->Size = sizeof *caps;
    caps->Version = 1;
    caps->Address = caps->UINumber = 0xFFFFFFFF;
    return SendPnp(node, IRP_MN_QUERY_CAPABILITIES, nullptr, caps);
}

NTSTATUS Start(DevNode* node)
{
    if (!node->added)
        return STATUS_NO_SUCH_DEVICE;
    NTSTATUS s = SendPnp(node, IRP_MN_START_DEVICE);
    node->startStatus = s;
    node->started = NT_SUCCESS(s);
    if (node->started) {
        ULONG_PTR state = 0;
        SendPnp(node, IRP_MN_QUERY_PNP_DEVICE_STATE, &state);
    }
    return s;
}

NTSTATUS Stop(DevNode* node)
{
    NTSTATUS s = SendPnp(node, IRP_MN_QUERY_STOP_DEVICE);
    if (!NT_SUCCESS(s)) {
        SendPnp(node, IRP_MN_CANCEL_STOP_DEVICE);
        return s;
    }
    s = SendPnp(node, IRP_MN_STOP_DEVICE);
    node->started = false;
    return s;
}

static void FinishRemoval(DevNode* node)
{
    if (node->added)
        SendPnp(node, IRP_MN_REMOVE_DEVICE);
    else
        SendPnp(node, IRP_MN_REMOVE_DEVICE);  // the bus still deletes its PDO
    node->removed = true;
    node->started = false;
    RunPending();
    ReleaseDrivers(node);
    RunPending();
}

void SurpriseRemove(DevNode* node)
{
    if (node->removed)
        return;
    SendPnp(node, IRP_MN_SURPRISE_REMOVAL);
    FinishRemoval(node);
}

void Remove(DevNode* node)
{
    if (node->removed)
        return;
    if (node->added && !NT_SUCCESS(SendPnp(node, IRP_MN_QUERY_REMOVE_DEVICE))) {
        SendPnp(node, IRP_MN_CANCEL_REMOVE_DEVICE);
        return;
    }
    FinishRemoval(node);
}

bool Started(const DevNode* node) { return node->started; }
bool Removed(const DevNode* node) { return node->removed; }
PDEVICE_OBJECT Pdo(const DevNode* node) { return node->pdo; }
PDEVICE_OBJECT Top(const DevNode* node) { return node->removed ? nullptr : IoGetAttachedDevice(node->pdo); }
NTSTATUS LastStartStatus(const DevNode* node) { return node->startStatus; }

PDRIVER_OBJECT FunctionDriver(const DevNode* node)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_loaded.find(node->functionService);
    return it == g_loaded.end() ? nullptr : it->second.driver;
}

PDRIVER_OBJECT LoadedDriver(const std::string& service)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_loaded.find(service);
    return it == g_loaded.end() ? nullptr : it->second.driver;
}

std::string UnloadReports() { return sim::UnloadReports(); }

NTSTATUS SystemSleep()
{
    std::vector<DevNode*> nodes;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        for (auto& n : g_nodes)
            if (n->started && !n->removed)
                nodes.push_back(n.get());
    }
    NTSTATUS result = STATUS_SUCCESS;
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        NTSTATUS s = SendPower(*it, PowerSystemSleeping3);
        if (!NT_SUCCESS(s))
            result = s;
        RunPending();
    }
    return result;
}

NTSTATUS SystemWake()
{
    std::vector<DevNode*> nodes;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        for (auto& n : g_nodes)
            if (n->started && !n->removed)
                nodes.push_back(n.get());
    }
    NTSTATUS result = STATUS_SUCCESS;
    for (DevNode* n : nodes) {
        NTSTATUS s = SendPower(n, PowerSystemWorking);
        if (!NT_SUCCESS(s))
            result = s;
        RunPending();
    }
    return result;
}

void ResetPnp()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_functions.clear();
    g_filters.clear();
    g_loaded.clear();
    g_nodes.clear();
    g_rootBus = nullptr;
}

}  // namespace pnp
}  // namespace sim
