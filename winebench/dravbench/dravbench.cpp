// DravBench.sys, test bench only (never shipped). Wine's PnP manager loads no
// filter drivers, so the system's mouse class driver cannot be stood in for as
// the class's upper filter above Dravick. The nearest arrangement Wine hosts:
//  - a root bus with one child device, hardware id "root\DRAVLINE", on which
//    Wine's PnP manager installs Dravick from the staged Dravila.inf, in this
//    driver's process (a function driver is loaded where its device appears);
//  - a stand-in for the mouse class driver that sends the class driver's
//    requests (connect, attributes, open, close, ...) to the top of the child's
//    stack, which is Dravick, and records what Dravick's service calls deliver;
//  - a control device for the checker (dravck.exe), and two probes of the
//    kernel services a consumer of Zelko's interface depends on.
#include "ddk.h"
#include "kutil.h"
#include "dravbench.h"

namespace dravbench {
namespace {

const ULONG TAG = POOL_TAG('D', 'v', 'B', 'n');

enum { KIND_BUS = 1, KIND_CHILD = 2, KIND_CONTROL = 3 };

struct BusExtension {
    int kind;
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT pdo;
    PDEVICE_OBJECT lower;
};

struct SimpleExtension {
    int kind;
};

// {6E3C2B1A-3F5D-4C8E-9A71-2D5B8E4F0C13}: the interface class of the notification probe.
const GUID GUID_DRAVBENCH_PROBE = {0x6e3c2b1a, 0x3f5d, 0x4c8e, {0x9a, 0x71, 0x2d, 0x5b, 0x8e, 0x4f, 0x0c, 0x13}};

struct Globals {
    BusExtension* bus;
    PDEVICE_OBJECT child;
    PDEVICE_OBJECT control;
    CONNECT_DATA connect;
    KSPIN_LOCK lock;  // records
    DRAVBENCH_RECORD records[DRAVBENCH_MAX_RECORDS];
    ULONG recordCount;
    volatile LONG childPresent, childStarted, starts, surpriseRemovals, removes;
    volatile LONG deviceObjectPointer, interfaceNotification;  // DRAVBENCH_PROBE_*
};
Globals g;

int KindOf(PDEVICE_OBJECT device) { return ((SimpleExtension*)device->DeviceExtension)->kind; }

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    return kutil::CompleteIrp(irp, status, information);
}

NTSTATUS NTAPI SignalEvent(PDEVICE_OBJECT, PIRP, PVOID context)
{
    KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// ---- the stand-in for the mouse class driver ---------------------------------------------------
// The class service: MouseClassServiceCallback(class device, first, one past the last, consumed).
VOID NTAPI ClassService(PVOID, PVOID first, PVOID last, PVOID consumedOut)
{
    PMOUSE_INPUT_DATA begin = (PMOUSE_INPUT_DATA)first, end = (PMOUSE_INPUT_DATA)last;
    const ULONG irql = KeGetCurrentIrql();
    KIRQL old;
    KeAcquireSpinLock(&g.lock, &old);
    for (PMOUSE_INPUT_DATA p = begin; p < end && g.recordCount < DRAVBENCH_MAX_RECORDS; ++p) {
        DRAVBENCH_RECORD& r = g.records[g.recordCount++];
        r.unitId = p->UnitId;
        r.flags = p->Flags;
        r.buttonFlags = p->ButtonFlags;
        r.buttonData = p->ButtonData;
        r.rawButtons = p->RawButtons;
        r.lastX = p->LastX;
        r.lastY = p->LastY;
        r.extraInformation = p->ExtraInformation;
        r.irql = irql;
    }
    KeReleaseSpinLock(&g.lock, old);
    *(PULONG)consumedOut = (ULONG)(end - begin);
}

// One request to the top of the child's stack, waited for.
NTSTATUS Send(const DRAVBENCH_SEND& in, DRAVBENCH_RESULT* out)
{
    if (!g.child)
        return STATUS_DEVICE_NOT_CONNECTED;
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(g.child);
    PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
    if (!irp) {
        ObDereferenceObject(top);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    UCHAR buffer[16];
    RtlZeroMemory(buffer, sizeof buffer);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    irp->AssociatedIrp.SystemBuffer = buffer;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    switch (in.kind) {
    case DRAVBENCH_SEND_CREATE:
        next->MajorFunction = IRP_MJ_CREATE;
        break;
    case DRAVBENCH_SEND_CLOSE:
        next->MajorFunction = IRP_MJ_CLOSE;
        break;
    case DRAVBENCH_SEND_CONNECT:
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_MOUSE_CONNECT;
        next->Parameters.DeviceIoControl.InputBufferLength = sizeof(CONNECT_DATA);
        next->Parameters.DeviceIoControl.Type3InputBuffer = &g.connect;
        break;
    default:
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = in.code;
        next->Parameters.DeviceIoControl.OutputBufferLength = in.length;
        break;
    }
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(top, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    out->status = irp->IoStatus.Status;
    out->information = (unsigned int)irp->IoStatus.Information;
    RtlCopyMemory(out->data, buffer, sizeof buffer);
    IoFreeIrp(irp);
    ObDereferenceObject(top);
    return STATUS_SUCCESS;
}

// ---- probes of Wine's kernel --------------------------------------------------------------------
NTSTATUS NTAPI ProbeCallback(PVOID, PVOID)
{
    InterlockedExchange(&g.interfaceNotification, DRAVBENCH_PROBE_WORKS);
    return STATUS_SUCCESS;
}

void ProbePlatform(BusExtension* bus, PDRIVER_OBJECT driver)
{
    // A name that does not exist must fail; a stub reports success.
    UNICODE_STRING missing;
    RtlInitUnicodeString(&missing, WSTR("\\Device\\DravBenchNoSuchDevice"));
    PFILE_OBJECT file = NULL;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status = IoGetDeviceObjectPointer(&missing, FILE_ALL_ACCESS, &file, &device);
    InterlockedExchange(&g.deviceObjectPointer, NT_SUCCESS(status) ? DRAVBENCH_PROBE_STUB : DRAVBENCH_PROBE_WORKS);
    if (NT_SUCCESS(status) && file)
        ObDereferenceObject(file);

    // An enabled interface must be reported to a registration that includes existing ones.
    UNICODE_STRING link;
    RtlZeroMemory(&link, sizeof link);
    if (!NT_SUCCESS(IoRegisterDeviceInterface(bus->pdo, &GUID_DRAVBENCH_PROBE, NULL, &link)))
        return;
    if (!NT_SUCCESS(IoSetDeviceInterfaceState(&link, TRUE))) {
        RtlFreeUnicodeString(&link);
        return;
    }
    InterlockedCompareExchange(&g.interfaceNotification, DRAVBENCH_PROBE_STUB, DRAVBENCH_PROBE_NOT_RUN);
    PVOID entry = NULL;
    IoRegisterPlugPlayNotification(EventCategoryDeviceInterfaceChange,
                                   PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES, (PVOID)&GUID_DRAVBENCH_PROBE,
                                   driver, ProbeCallback, NULL, &entry);
    if (entry)
        IoUnregisterPlugPlayNotification(entry);
    RtlFreeUnicodeString(&link);
}

// ---- the child device (root\DRAVLINE) -------------------------------------------------------------
#define POOL_TEXT(lit) ((PWCHAR)kutil::PoolCopy(PagedPool, lit, sizeof(lit), TAG))

NTSTATUS ChildQueryId(PIRP irp)
{
    PWCHAR id;
    switch (IoGetCurrentIrpStackLocation(irp)->Parameters.QueryId.IdType) {
    case BusQueryDeviceID:
        id = POOL_TEXT(WSTR("DRAVBENCH\\DRAVLINE"));
        break;
    case BusQueryHardwareIDs:
        id = POOL_TEXT(WSTR("root\\DRAVLINE\0"));
        break;
    case BusQueryCompatibleIDs:
        id = POOL_TEXT(WSTR("\0"));
        break;
    case BusQueryInstanceID:
        id = POOL_TEXT(WSTR("0000"));
        break;
    default:
        return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    return id ? Complete(irp, STATUS_SUCCESS, (ULONG_PTR)id) : Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
}

NTSTATUS ChildPnp(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE:
        InterlockedIncrement(&g.starts);
        InterlockedExchange(&g.childStarted, 1);
        return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_SURPRISE_REMOVAL:
        InterlockedIncrement(&g.surpriseRemovals);
        return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_REMOVE_DEVICE:
        InterlockedIncrement(&g.removes);
        InterlockedExchange(&g.childStarted, 0);
        Complete(irp, STATUS_SUCCESS, 0);
        if (!g.childPresent && g.child == device) {  // unplugged: the PDO goes now
            g.child = NULL;
            IoDeleteDevice(device);
        }
        return STATUS_SUCCESS;
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_QUERY_ID:
        return ChildQueryId(irp);
    case IRP_MN_QUERY_DEVICE_TEXT: {
        if (sp->Parameters.QueryDeviceText.DeviceTextType != DeviceTextDescription)
            return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
        PWCHAR text = POOL_TEXT(WSTR("Dravick test device"));
        return text ? Complete(irp, STATUS_SUCCESS, (ULONG_PTR)text) : Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    case IRP_MN_QUERY_CAPABILITIES: {
        PDEVICE_CAPABILITIES caps = sp->Parameters.DeviceCapabilities.Capabilities;
        if (!caps || caps->Size < sizeof(DEVICE_CAPABILITIES))
            return Complete(irp, STATUS_UNSUCCESSFUL, 0);
        caps->SilentInstall = TRUE;
        caps->Address = 0;
        caps->UINumber = 0;
        caps->DeviceState[PowerSystemWorking] = PowerDeviceD0;
        for (int s = PowerSystemSleeping1; s < PowerSystemMaximum; ++s)
            caps->DeviceState[s] = PowerDeviceD3;
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (sp->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
            auto* rel = (PDEVICE_RELATIONS)ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS), TAG);
            if (!rel)
                return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
            ObReferenceObject(device);
            rel->Count = 1;
            rel->Objects[0] = device;
            return Complete(irp, STATUS_SUCCESS, (ULONG_PTR)rel);
        }
        return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    default:
        return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
}

NTSTATUS CreateChild(PDRIVER_OBJECT driver)
{
    PDEVICE_OBJECT pdo;
    NTSTATUS status = IoCreateDevice(driver, sizeof(SimpleExtension), NULL, FILE_DEVICE_UNKNOWN,
                                     FILE_AUTOGENERATED_DEVICE_NAME | FILE_DEVICE_SECURE_OPEN, FALSE, &pdo);
    if (!NT_SUCCESS(status))
        return status;
    ((SimpleExtension*)pdo->DeviceExtension)->kind = KIND_CHILD;
    pdo->Flags |= DO_POWER_PAGABLE;
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    g.child = pdo;
    InterlockedExchange(&g.childPresent, 1);
    return STATUS_SUCCESS;
}

// ---- the bus ------------------------------------------------------------------------------------
NTSTATUS PassDown(BusExtension* bus, PIRP irp) { return kutil::ForwardAndForget(bus->lower, irp); }

void DeleteControl()
{
    if (!g.control)
        return;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, WSTR(DRAVBENCH_LINK_NAME));
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(g.control);
    g.control = NULL;
}

NTSTATUS BusPnp(BusExtension* bus, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE: {
        KEVENT done;
        KeInitializeEvent(&done, NotificationEvent, FALSE);
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
        if (IoCallDriver(bus->lower, irp) == STATUS_PENDING)
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        NTSTATUS status = irp->IoStatus.Status;
        if (NT_SUCCESS(status)) {
            ProbePlatform(bus, bus->self->DriverObject);
            if (!g.child && NT_SUCCESS(CreateChild(bus->self->DriverObject)))
                IoInvalidateDeviceRelations(bus->pdo, BusRelations);
        }
        return Complete(irp, status, irp->IoStatus.Information);
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (sp->Parameters.QueryDeviceRelations.Type == BusRelations) {
            auto* rel = (PDEVICE_RELATIONS)ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS), TAG);
            if (!rel)
                return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
            rel->Count = 0;
            if (g.child && g.childPresent) {
                ObReferenceObject(g.child);
                rel->Objects[rel->Count++] = g.child;
            }
            irp->IoStatus.Information = (ULONG_PTR)rel;
            irp->IoStatus.Status = STATUS_SUCCESS;
        }
        return PassDown(bus, irp);
    case IRP_MN_REMOVE_DEVICE: {
        InterlockedExchange(&g.childPresent, 0);
        if (g.child) {
            PDEVICE_OBJECT child = g.child;
            g.child = NULL;
            IoDeleteDevice(child);
        }
        DeleteControl();
        irp->IoStatus.Status = STATUS_SUCCESS;
        NTSTATUS status = PassDown(bus, irp);
        IoDetachDevice(bus->lower);
        g.bus = NULL;
        IoDeleteDevice(bus->self);
        return status;
    }
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(bus, irp);
    default:
        return PassDown(bus, irp);
    }
}

// ---- the control device --------------------------------------------------------------------------
void CopyDriverName(PDEVICE_OBJECT top, char* out, ULONG size)
{
    ULONG n = 0;
    if (top && top->DriverObject) {
        const UNICODE_STRING& name = top->DriverObject->DriverName;
        for (ULONG i = 0; i < name.Length / sizeof(WCHAR) && n + 1 < size; ++i)
            out[n++] = (char)name.Buffer[i];
    }
    out[n] = 0;
}

NTSTATUS Control(PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    const ULONG inLength = sp->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outLength = sp->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_DRAVBENCH_STATE: {
        if (outLength < sizeof(DRAVBENCH_STATE))
            return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        auto* s = (DRAVBENCH_STATE*)buffer;
        RtlZeroMemory(s, sizeof *s);
        s->childPresent = g.childPresent;
        s->childStarted = g.childStarted;
        s->starts = g.starts;
        s->surpriseRemovals = g.surpriseRemovals;
        s->removes = g.removes;
        s->records = g.recordCount;
        s->deviceObjectPointer = g.deviceObjectPointer;
        s->interfaceNotification = g.interfaceNotification;
        if (g.child && g.child->AttachedDevice) {
            s->attached = 1;
            CopyDriverName(IoGetAttachedDevice(g.child), s->topDriver, sizeof s->topDriver);
        }
        return Complete(irp, STATUS_SUCCESS, sizeof *s);
    }
    case IOCTL_DRAVBENCH_SEND: {
        if (inLength != sizeof(DRAVBENCH_SEND) || outLength < sizeof(DRAVBENCH_RESULT))
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        DRAVBENCH_SEND in = *(const DRAVBENCH_SEND*)buffer;
        if (in.length > 16)
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        DRAVBENCH_RESULT result;
        RtlZeroMemory(&result, sizeof result);
        NTSTATUS status = Send(in, &result);
        if (!NT_SUCCESS(status))
            return Complete(irp, status, 0);
        RtlCopyMemory(buffer, &result, sizeof result);
        return Complete(irp, STATUS_SUCCESS, sizeof result);
    }
    case IOCTL_DRAVBENCH_RECORDS: {
        KIRQL old;
        KeAcquireSpinLock(&g.lock, &old);
        ULONG n = g.recordCount;
        if (n > outLength / sizeof(DRAVBENCH_RECORD))
            n = outLength / sizeof(DRAVBENCH_RECORD);
        RtlCopyMemory(buffer, g.records, n * sizeof(DRAVBENCH_RECORD));
        KeReleaseSpinLock(&g.lock, old);
        return Complete(irp, STATUS_SUCCESS, n * sizeof(DRAVBENCH_RECORD));
    }
    case IOCTL_DRAVBENCH_UNPLUG:
        if (!g.bus || !g.child)
            return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
        InterlockedExchange(&g.childPresent, 0);
        IoInvalidateDeviceRelations(g.bus->pdo, BusRelations);
        return Complete(irp, STATUS_SUCCESS, 0);
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

// ---- dispatch ---------------------------------------------------------------------------------------
NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    switch (KindOf(device)) {
    case KIND_BUS:
        return BusPnp((BusExtension*)device->DeviceExtension, irp);
    case KIND_CHILD:
        return ChildPnp(device, irp);
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp)
{
    PoStartNextPowerIrp(irp);
    if (KindOf(device) == KIND_BUS) {
        IoSkipCurrentIrpStackLocation(irp);
        return PoCallDriver(((BusExtension*)device->DeviceExtension)->lower, irp);
    }
    UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    if (minor == IRP_MN_SET_POWER || minor == IRP_MN_QUERY_POWER)
        return Complete(irp, STATUS_SUCCESS, 0);
    return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
}

NTSTATUS NTAPI DispatchOther(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (KindOf(device)) {
    case KIND_BUS:
        return PassDown((BusExtension*)device->DeviceExtension, irp);
    case KIND_CONTROL:
        if (sp->MajorFunction == IRP_MJ_CREATE || sp->MajorFunction == IRP_MJ_CLOSE ||
            sp->MajorFunction == IRP_MJ_CLEANUP)
            return Complete(irp, STATUS_SUCCESS, 0);
        if (sp->MajorFunction == IRP_MJ_DEVICE_CONTROL)
            return Control(irp);
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    default:
        return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    if (g.bus)
        return STATUS_DEVICE_ALREADY_ATTACHED;
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, WSTR(DRAVBENCH_DEVICE_NAME));
    RtlInitUnicodeString(&link, WSTR(DRAVBENCH_LINK_NAME));
    PDEVICE_OBJECT control;
    NTSTATUS status = IoCreateDevice(driver, sizeof(SimpleExtension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
    if (!NT_SUCCESS(status))
        return status;
    ((SimpleExtension*)control->DeviceExtension)->kind = KIND_CONTROL;
    control->Flags |= DO_BUFFERED_IO;
    control->Flags &= ~DO_DEVICE_INITIALIZING;
    g.control = control;
    if (!NT_SUCCESS(status = IoCreateSymbolicLink(&link, &name))) {
        IoDeleteDevice(control);
        g.control = NULL;
        return status;
    }

    PDEVICE_OBJECT fdo;
    status = IoCreateDevice(driver, sizeof(BusExtension), NULL, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &fdo);
    if (!NT_SUCCESS(status)) {
        DeleteControl();
        return status;
    }
    auto* bus = (BusExtension*)fdo->DeviceExtension;
    bus->kind = KIND_BUS;
    bus->self = fdo;
    bus->pdo = pdo;
    bus->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    if (!bus->lower) {
        IoDeleteDevice(fdo);
        DeleteControl();
        return STATUS_NO_SUCH_DEVICE;
    }
    g.connect.ClassDeviceObject = control;  // the stand-in's "class device"
    g.connect.ClassService = (PVOID)(PSERVICE_CALLBACK_ROUTINE)ClassService;
    g.bus = bus;
    fdo->Flags |= DO_POWER_PAGABLE;
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

VOID NTAPI Unload(PDRIVER_OBJECT) {}

}  // namespace

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING)
{
    RtlZeroMemory(&g, sizeof g);
    KeInitializeSpinLock(&g.lock);
    for (ULONG i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = DispatchOther;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}

}  // namespace dravbench

DRIVER_ENTRY_EXPORT(dravbench)
