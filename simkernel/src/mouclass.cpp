// The mouse class driver of the simulated machine: an upper filter that
// connects to the mouse port below it, opens and closes the port for its
// clients, and records what the port delivers through its service callback.
#include <mutex>

#include "internal.h"
#include "simkernel/mouclass.h"

namespace sim {
namespace mouclass {
namespace {

struct ClassExtension {
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT lower;  // the top of the port's stack when the class attached
    CONNECT_DATA connect;  // what the class hands the port
    KSPIN_LOCK lock;       // taken by the service callback, at DPC level
    BOOLEAN connected;
    LONG clients;  // opens of the class not yet closed; each one reached the port
    NTSTATUS connectStatus;
    MOUSE_ATTRIBUTES attributes;
};

std::mutex g_lock;  // records, sink, settings and the current device
std::vector<Record> g_records;
std::function<void(const MOUSE_INPUT_DATA&, KIRQL)> g_sink;
bool g_openOnStart = true;
PDEVICE_OBJECT g_current = nullptr;
PDRIVER_OBJECT g_driver = nullptr;

ClassExtension* Ext(PDEVICE_OBJECT d) { return (ClassExtension*)d->DeviceExtension; }

ClassExtension* Current()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_current ? Ext(g_current) : nullptr;
}

// The class's service callback: MouseClassServiceCallback(class device, first
// record, one past the last, records consumed).
void ServiceCallback(PVOID context, PVOID first, PVOID last, PVOID consumedOut)
{
    auto* device = (PDEVICE_OBJECT)context;
    auto* begin = (PMOUSE_INPUT_DATA)first;
    auto* end = (PMOUSE_INPUT_DATA)last;
    auto* consumed = (PULONG)consumedOut;
    if (!device || device->Type != IO_TYPE_DEVICE || device->DriverObject != g_driver)
        Bugcheck("mouse class service called without its class device object");
    if (!begin || !end || end < begin || !consumed)
        Bugcheck("mouse class service called with a bad record range");
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "mouse class service called above dispatch level");
    ClassExtension* ext = Ext(device);
    KeAcquireSpinLockAtDpcLevel(&ext->lock);  // below dispatch level: a bugcheck
    std::function<void(const MOUSE_INPUT_DATA&, KIRQL)> sink;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        for (auto* p = begin; p < end; ++p)
            g_records.push_back(Record{*p, irql});
        sink = g_sink;
    }
    KeReleaseSpinLockFromDpcLevel(&ext->lock);
    *consumed = (ULONG)(end - begin);
    if (sink)
        for (auto* p = begin; p < end; ++p)
            sink(*p, irql);
}

NTSTATUS SignalDone(PDEVICE_OBJECT, PIRP, PVOID context)
{
    KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// IRP_MJ_CREATE or IRP_MJ_CLOSE to the port, waited for.
NTSTATUS SendFileRequest(ClassExtension* ext, UCHAR major)
{
    PIRP irp = IoAllocateIrp(ext->lower->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = major;
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
    if (IofCallDriver(ext->lower, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    NTSTATUS status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    return status;
}

NTSTATUS Internal(ClassExtension* ext, ULONG code, const void* input, ULONG inputLength, void* output,
                  ULONG outputLength, ULONG_PTR* information)
{
    KEVENT done;
    IO_STATUS_BLOCK iosb;
    iosb.Status = STATUS_SUCCESS;
    iosb.Information = 0;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(code, ext->lower, (PVOID)input, inputLength, output, outputLength, TRUE,
                                             &done, &iosb);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS status = IofCallDriver(ext->lower, irp);
    if (status == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    if (information)
        *information = iosb.Information;
    return iosb.Status;
}

NTSTATUS Connect(ClassExtension* ext)
{
    return Internal(ext, IOCTL_INTERNAL_MOUSE_CONNECT, &ext->connect, sizeof(CONNECT_DATA), nullptr, 0, nullptr);
}

// Every client's open is forwarded to the port, as every close is.
NTSTATUS Open(ClassExtension* ext)
{
    NTSTATUS status = SendFileRequest(ext, IRP_MJ_CREATE);
    if (!NT_SUCCESS(status))
        return status;
    InterlockedIncrement(&ext->clients);
    // The raw input thread asks for the attributes once it has the class open.
    MOUSE_ATTRIBUTES a;
    memset(&a, 0, sizeof a);
    if (NT_SUCCESS(Internal(ext, IOCTL_MOUSE_QUERY_ATTRIBUTES, nullptr, 0, &a, sizeof a, nullptr)))
        ext->attributes = a;
    return status;
}

NTSTATUS Close(ClassExtension* ext)
{
    for (;;) {
        LONG n = ext->clients;
        if (n == 0)
            return STATUS_SUCCESS;
        if (InterlockedCompareExchange(&ext->clients, n - 1, n) == n)
            break;
    }
    return SendFileRequest(ext, IRP_MJ_CLOSE);
}

NTSTATUS PassDown(ClassExtension* ext, PIRP irp)
{
    IoSkipCurrentIrpStackLocation(irp);
    return IofCallDriver(ext->lower, irp);
}

NTSTATUS ClassPnp(PDEVICE_OBJECT device, PIRP irp)
{
    ClassExtension* ext = Ext(device);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE: {
        KEVENT done;
        KeInitializeEvent(&done, NotificationEvent, FALSE);
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
        if (IofCallDriver(ext->lower, irp) == STATUS_PENDING)
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        NTSTATUS status = irp->IoStatus.Status;
        if (NT_SUCCESS(status)) {
            bool openNow;
            {
                std::lock_guard<std::mutex> lock(g_lock);
                openNow = g_openOnStart;
            }
            // The raw input thread opens the class once; a start after a stop finds it open.
            if (ext->connected && openNow && ext->clients == 0)
                Open(ext);
        }
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    case IRP_MN_REMOVE_DEVICE: {
        // The clients let go of a device that is going away.
        while (ext->clients > 0)
            Close(ext);
        NTSTATUS status = PassDown(ext, irp);
        IoDetachDevice(ext->lower);
        {
            std::lock_guard<std::mutex> lock(g_lock);
            if (g_current == device)
                g_current = nullptr;
        }
        IoDeleteDevice(device);
        return status;
    }
    default:
        return PassDown(ext, irp);
    }
}

NTSTATUS ClassPower(PDEVICE_OBJECT device, PIRP irp)
{
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(Ext(device)->lower, irp);
}

NTSTATUS ClassAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    PDEVICE_OBJECT device;
    NTSTATUS status = IoCreateDevice(driver, sizeof(ClassExtension), NULL, FILE_DEVICE_MOUSE, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    ClassExtension* ext = Ext(device);
    memset(ext, 0, sizeof *ext);
    ext->self = device;
    ext->lower = IoAttachDeviceToDeviceStack(device, pdo);
    if (!ext->lower) {
        IoDeleteDevice(device);
        return STATUS_NO_SUCH_DEVICE;
    }
    ext->connect.ClassDeviceObject = device;
    ext->connect.ClassService = (PVOID)ServiceCallback;
    ext->connectStatus = STATUS_PENDING;
    KeInitializeSpinLock(&ext->lock);
    device->Flags |= ext->lower->Flags & (DO_BUFFERED_IO | DO_POWER_PAGABLE);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_current = device;
    }
    // The class connects while it adds the device, before the stack has started
    // and before any client opens it.
    ext->connectStatus = Connect(ext);
    ext->connected = NT_SUCCESS(ext->connectStatus);
    return STATUS_SUCCESS;
}

NTSTATUS ClassEntry(PDRIVER_OBJECT driver, PUNICODE_STRING)
{
    driver->MajorFunction[IRP_MJ_PNP] = ClassPnp;
    driver->MajorFunction[IRP_MJ_POWER] = ClassPower;
    driver->DriverExtension->AddDevice = ClassAddDevice;
    std::lock_guard<std::mutex> lock(g_lock);
    g_driver = driver;
    return STATUS_SUCCESS;
}

}  // namespace

pnp::DriverPackage Package() { return pnp::DriverPackage{"mouclass", ClassEntry, TagOf("Mouc")}; }

void Install(const std::string& hardwareId) { pnp::InstallUpperFilter(hardwareId, Package()); }

std::vector<Record> Received()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_records;
}

void Clear()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_records.clear();
}

void SetSink(std::function<void(const MOUSE_INPUT_DATA&, KIRQL)> sink)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_sink = std::move(sink);
}

void SetOpenOnStart(bool open)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_openOnStart = open;
}

bool Attached() { return Current() != nullptr; }

bool Connected()
{
    ClassExtension* ext = Current();
    return ext && ext->connected;
}

NTSTATUS ConnectStatus()
{
    ClassExtension* ext = Current();
    return ext ? ext->connectStatus : STATUS_NO_SUCH_DEVICE;
}

bool PortOpen()
{
    ClassExtension* ext = Current();
    return ext && ext->clients > 0;
}

int Clients()
{
    ClassExtension* ext = Current();
    return ext ? (int)ext->clients : 0;
}

MOUSE_ATTRIBUTES Attributes()
{
    ClassExtension* ext = Current();
    MOUSE_ATTRIBUTES a;
    memset(&a, 0, sizeof a);
    return ext ? ext->attributes : a;
}

PDEVICE_OBJECT PortDevice()
{
    ClassExtension* ext = Current();
    return ext ? ext->lower : nullptr;
}

PDEVICE_OBJECT ClassDevice()
{
    ClassExtension* ext = Current();
    return ext ? ext->self : nullptr;
}

NTSTATUS ClosePort()
{
    ClassExtension* ext = Current();
    if (!ext)
        return STATUS_NO_SUCH_DEVICE;
    NTSTATUS status = Close(ext);
    RunPending();
    return status;
}

NTSTATUS OpenPort()
{
    ClassExtension* ext = Current();
    if (!ext)
        return STATUS_NO_SUCH_DEVICE;
    NTSTATUS status = Open(ext);
    RunPending();
    return status;
}

NTSTATUS ConnectAgain()
{
    ClassExtension* ext = Current();
    return ext ? Connect(ext) : STATUS_NO_SUCH_DEVICE;
}

NTSTATUS SendToPort(ULONG code, const void* input, ULONG inputLength, void* output, ULONG outputLength,
                    ULONG_PTR* information)
{
    if (information)
        *information = 0;
    ClassExtension* ext = Current();
    return ext ? Internal(ext, code, input, inputLength, output, outputLength, information) : STATUS_NO_SUCH_DEVICE;
}

void ResetMouclass()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_records.clear();
    g_sink = nullptr;
    g_openOnStart = true;
    g_current = nullptr;
    g_driver = nullptr;
}

}  // namespace mouclass
}  // namespace sim
