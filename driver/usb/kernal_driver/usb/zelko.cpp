// Zelko's life with the operating system: driver entry and unload, the device
// object with its fixed name, link and interface, PnP, power, start and stop.
#include "zelko.h"

namespace zelko {

DRIVER_GLOBALS g_zelko;

namespace {

const GUID GUID_ZELKO_DEVICE_INTERFACE = ZELKO_INTERFACE_GUID_INIT;
const WCHAR kDeviceName[] = WSTR(ZELKO_DEVICE_NAME);
const WCHAR kLinkName[] = WSTR(ZELKO_LINK_NAME);

using kutil::CompleteIrp;
using kutil::WaitAmoment;

NTSTATUS PassDown(PDEVICE_EXTENSION dx, PIRP irp) { return kutil::ForwardAndForget(dx->lowerDevice, irp); }

void QueryPdoCapabilities(PDEVICE_EXTENSION dx)
{
    DEVICE_CAPABILITIES& caps = dx->capabilities;
    RtlZeroMemory(&caps, sizeof caps);
    caps.Size = sizeof(DEVICE_CAPABILITIES);
    caps.Version = 1;
    caps.Address = 0xFFFFFFFF;
    caps.UINumber = 0xFFFFFFFF;
    PIRP irp = IoAllocateIrp(dx->lowerDevice->StackSize, FALSE);
    if (!irp)
        return;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_PNP;
    next->MinorFunction = IRP_MN_QUERY_CAPABILITIES;
    next->Parameters.DeviceCapabilities.Capabilities = &caps;
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, kutil::SignalEventCompletion, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(dx->lowerDevice, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    IoFreeIrp(irp);
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    UNICODE_STRING deviceName, linkName;
    RtlInitUnicodeString(&deviceName, kDeviceName);
    RtlInitUnicodeString(&linkName, kLinkName);

    PDEVICE_OBJECT device;
    NTSTATUS status =
        IoCreateDevice(driver, sizeof(DEVICE_EXTENSION), &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }

    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    RtlZeroMemory(dx, sizeof *dx);
    dx->lowerDevice = IoAttachDeviceToDeviceStack(device, pdo);
    dx->physicalDevice = pdo;
    dx->deviceObject = device;
    dx->driverObject = driver;
    SetDefaultSettings(dx->settings);
    dx->stopped = 1;
    dx->urbLength = (USHORT)sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER);
    dx->transferLength = REPORT_BYTES;
    dx->devicePowerState = PowerDeviceD0;
    KeInitializeEvent(&dx->readDone, NotificationEvent, TRUE);  // no read is outstanding
    KeInitializeSpinLock(&dx->ioLock);
    IoInitializeRemoveLock(&dx->removeLock, ZELKO_TAG, 0, 0);
    dx->readUrb = (PURB)ExAllocatePoolWithTag(NonPagedPool, dx->urbLength, ZELKO_TAG);
    dx->readRequest = dx->lowerDevice ? IoAllocateIrp(dx->lowerDevice->StackSize, FALSE) : NULL;
    dx->resetWorkItem = IoAllocateWorkItem(device);
    dx->powerWorkItem = IoAllocateWorkItem(device);
    device->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;

    if (!dx->lowerDevice || !dx->readUrb || !dx->readRequest || !dx->resetWorkItem || !dx->powerWorkItem)
        status = STATUS_INSUFFICIENT_RESOURCES;
    else {
        QueryPdoCapabilities(dx);
        status = IoRegisterDeviceInterface(pdo, &GUID_ZELKO_DEVICE_INTERFACE, NULL, &dx->interfaceName);
    }
    if (!NT_SUCCESS(status)) {
        if (dx->readUrb)
            ExFreePool(dx->readUrb);
        if (dx->readRequest)
            IoFreeIrp(dx->readRequest);
        if (dx->resetWorkItem)
            IoFreeWorkItem(dx->resetWorkItem);
        if (dx->powerWorkItem)
            IoFreeWorkItem(dx->powerWorkItem);
        if (dx->lowerDevice)
            IoDetachDevice(dx->lowerDevice);
        IoDeleteSymbolicLink(&linkName);
        IoDeleteDevice(device);
        return status;
    }
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void NTAPI DriverUnload(PDRIVER_OBJECT driver)
{
    AbortPendingReads();
    UNICODE_STRING linkName;
    RtlInitUnicodeString(&linkName, kLinkName);
    IoDeleteSymbolicLink(&linkName);
    FreeRegistryPath(driver);
}

// ---- PnP -------------------------------------------------------------------------------------
void ClearStarted(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&dx->ioLock, &irql);
    dx->started = 0;
    KeReleaseSpinLock(&dx->ioLock, irql);
}

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE: {
        NTSTATUS status = kutil::ForwardAndWait(dx->lowerDevice, irp);
        if (NT_SUCCESS(status)) {
            KIRQL irql;
            KeAcquireSpinLock(&dx->ioLock, &irql);
            dx->started = 1;
            KeReleaseSpinLock(&dx->ioLock, irql);
            NTSTATUS started = StartDevice(dx);  // a failed start only means the device does not read
            if (!NT_SUCCESS(started))
                KTRACE(("Zelko: StartDevice failed (%08x): the device does not read\n", started));
        }
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
        ClearStarted(dx);
        StopDevice(dx);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(dx, irp);
    case IRP_MN_REMOVE_DEVICE: {
        ClearStarted(dx);
        {
            // From here a consumer's read fails; those held so far end below.
            KIRQL irql;
            KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
            dx->removed = 1;
            KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
        }
        AbortPendingReads();
        StopDevice(dx);
        // The port reset and the work items still on their way end before the
        // removal goes down and anything is freed.
        if (NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, irp)))
            IoReleaseRemoveLockAndWait(&dx->removeLock, irp);
        irp->IoStatus.Status = STATUS_SUCCESS;
        NTSTATUS status = PassDown(dx, irp);
        // The device below is gone now: nothing more is sent to it.
        RemoveDevice(dx);
        return status;
    }
    case IRP_MN_QUERY_CAPABILITIES: {
        PDEVICE_CAPABILITIES caps = sp->Parameters.DeviceCapabilities.Capabilities;
        if (!caps)
            return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
        dx->capabilities.SurpriseRemovalOK = 1;
        RtlCopyMemory(caps, &dx->capabilities, sizeof(DEVICE_CAPABILITIES));
        return CompleteIrp(irp, STATUS_SUCCESS, irp->IoStatus.Information);
    }
    case IRP_MN_QUERY_PNP_DEVICE_STATE:
        if (!dx->settings.settingsLoaded)
            LoadServiceSettings(dx);
        return PassDown(dx, irp);
    default:
        return PassDown(dx, irp);
    }
}

// ---- power ------------------------------------------------------------------------------------
struct PowerWait {
    KEVENT done;
    NTSTATUS status;
};

void NTAPI DevicePowerDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK iosb)
{
    auto* wait = (PowerWait*)context;
    wait->status = iosb->Status;
    KeSetEvent(&wait->done, IO_NO_INCREMENT, FALSE);
}

NTSTATUS RequestDevicePower(PDEVICE_EXTENSION dx, DEVICE_POWER_STATE state)
{
    PowerWait wait;
    KeInitializeEvent(&wait.done, NotificationEvent, FALSE);
    wait.status = STATUS_SUCCESS;
    POWER_STATE ps;
    ps.DeviceState = state;
    NTSTATUS status = PoRequestPowerIrp(dx->physicalDevice, IRP_MN_SET_POWER, ps, DevicePowerDone, &wait, NULL);
    if (!NT_SUCCESS(status))
        return status;
    KeWaitForSingleObject(&wait.done, Executive, KernelMode, FALSE, NULL);
    return wait.status;
}

// The passive-level half of the return to full power: the device power request
// for D0 is awaited here, then the port reset restarts the reads.
// A read the frame kept through D3 is ended (and its completion awaited) while
// the state is still D3, so that it is not renewed beside the reset's own read.
void NTAPI PowerUpWork(PDEVICE_OBJECT device, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    InterlockedExchange(&dx->powerWorkQueued, 0);
    EndRead(dx);
    if (NT_SUCCESS(RequestDevicePower(dx, PowerDeviceD0))) {
        RecordDevicePowerState(dx, PowerDeviceD0);
        dx->resetRetries = 0;
        ResetPortAsync(dx);
    }
    IoReleaseRemoveLock(&dx->removeLock, dx->powerWorkItem);
}

NTSTATUS NTAPI SystemPowerUpDone(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    if (irp->PendingReturned)
        IoMarkIrpPending(irp);
    NTSTATUS status = irp->IoStatus.Status;
    if (NT_SUCCESS(status)) {
        SYSTEM_POWER_STATE system = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.SystemState;
        DEVICE_POWER_STATE wanted = system <= PowerSystemWorking ? PowerDeviceD0 : PowerDeviceD3;
        if (wanted < dx->devicePowerState && InterlockedExchange(&dx->powerWorkQueued, 1) == 0) {
            if (NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, dx->powerWorkItem)))
                IoQueueWorkItem(dx->powerWorkItem, PowerUpWork, DelayedWorkQueue, dx);
            else
                InterlockedExchange(&dx->powerWorkQueued, 0);
        }
    }
    PoStartNextPowerIrp(irp);
    return status;
}

NTSTATUS NTAPI DevicePowerUpDone(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    if (irp->PendingReturned)
        IoMarkIrpPending(irp);
    if (NT_SUCCESS(irp->IoStatus.Status))
        RecordDevicePowerState(dx, IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState);
    PoStartNextPowerIrp(irp);
    return irp->IoStatus.Status;
}

NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->MinorFunction != IRP_MN_SET_POWER)
        return kutil::ForwardPowerAndForget(dx->lowerDevice, irp);

    if (sp->Parameters.Power.Type == SystemPowerState) {
        SYSTEM_POWER_STATE system = sp->Parameters.Power.State.SystemState;
        DEVICE_POWER_STATE wanted = system <= PowerSystemWorking ? PowerDeviceD0 : PowerDeviceD3;
        if (wanted > dx->devicePowerState) {
            NTSTATUS status = RequestDevicePower(dx, wanted);
            if (!NT_SUCCESS(status)) {
                PoStartNextPowerIrp(irp);
                return CompleteIrp(irp, status, 0);
            }
            if (wanted != dx->devicePowerState)
                RecordDevicePowerState(dx, wanted);
            return kutil::ForwardPowerAndForget(dx->lowerDevice, irp);
        }
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, SystemPowerUpDone, dx, TRUE, TRUE, TRUE);
        return PoCallDriver(dx->lowerDevice, irp);
    }

    DEVICE_POWER_STATE state = sp->Parameters.Power.State.DeviceState;
    if (state > dx->devicePowerState) {
        RecordDevicePowerState(dx, state);
        return kutil::ForwardPowerAndForget(dx->lowerDevice, irp);
    }
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, DevicePowerUpDone, dx, TRUE, TRUE, TRUE);
    return PoCallDriver(dx->lowerDevice, irp);
}

}  // namespace

void RecordDevicePowerState(PDEVICE_EXTENSION dx, DEVICE_POWER_STATE state)
{
    KIRQL irql;
    KeAcquireSpinLock(&dx->ioLock, &irql);
    dx->devicePowerState = state;
    KeReleaseSpinLock(&dx->ioLock, irql);
    if (state == PowerDeviceD0 || KeGetCurrentIrql() < DISPATCH_LEVEL) {
        POWER_STATE ps;
        ps.DeviceState = state;
        PoSetPowerState(dx->deviceObject, DevicePowerState, ps);
    }
}

NTSTATUS StartDevice(PDEVICE_EXTENSION dx)
{
    if (!dx->stopped)
        return STATUS_SUCCESS;
    // After two failed starts the device is not started again until it is
    // removed and added anew.
    if (dx->startCount > 1)
        return STATUS_UNSUCCESSFUL;
    InterlockedIncrement(&dx->startCount);
    if (!NT_SUCCESS(ConfigureDevice(dx)))
        return STATUS_UNSUCCESSFUL;
    KIRQL irql;
    KeAcquireSpinLock(&dx->ioLock, &irql);
    dx->stopped = 0;
    KeReleaseSpinLock(&dx->ioLock, irql);
    if (!dx->settings.settingsLoaded)
        LoadServiceSettings(dx);
    dx->resetRetries = 0;
    SubmitRead(dx);
    IoSetDeviceInterfaceState(&dx->interfaceName, TRUE);
    return STATUS_SUCCESS;
}

void StopDevice(PDEVICE_EXTENSION dx)
{
    if (dx->stopped)
        return;
    InterlockedDecrement(&dx->startCount);
    AbortPendingReads();
    KIRQL irql;
    KeAcquireSpinLock(&dx->ioLock, &irql);
    dx->stopped = 1;  // from here no completion renews the read
    KeReleaseSpinLock(&dx->ioLock, irql);
    WaitAmoment(1000000);  // 100 ms
    // The read is cancelled and its completion awaited, however long the stack
    // takes: until then the request and its URB belong to the stack.
    EndRead(dx);
    DeconfigureDevice(dx);
    IoSetDeviceInterfaceState(&dx->interfaceName, FALSE);
}

// After the removal has gone down: only what the device itself holds is freed.
// The stop before it deconfigured the frame, ended the read and the removal
// drained the reset and the work items.
void RemoveDevice(PDEVICE_EXTENSION dx)
{
    if (!dx->stopped)
        StopDevice(dx);
    IoFreeIrp(dx->readRequest);
    dx->readRequest = NULL;
    ExFreePool(dx->readUrb);
    dx->readUrb = NULL;
    RtlFreeUnicodeString(&dx->interfaceName);
    IoFreeWorkItem(dx->resetWorkItem);
    IoFreeWorkItem(dx->powerWorkItem);
    // Windows unloads the driver with its last device, and the unload deletes
    // the link; a host that keeps the driver loaded (Wine 8) would otherwise
    // leave the link behind and the next frame could not be added.
    UNICODE_STRING linkName;
    RtlInitUnicodeString(&linkName, kLinkName);
    IoDeleteSymbolicLink(&linkName);
    IoDetachDevice(dx->lowerDevice);
    IoDeleteDevice(dx->deviceObject);
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    // The list is ready before any device exists, so that an unload that finds
    // no device never walks an uninitialised list.
    InitializeListHead(&g_zelko.pendingReadList);
    KeInitializeSpinLock(&g_zelko.pendingReadLock);
    RtlZeroMemory(&g_zelko.window, sizeof g_zelko.window);
    g_zelko.driverObject = driver;
    SaveRegistryPath(driver, registryPath);

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}

}  // namespace zelko

DRIVER_ENTRY_EXPORT(zelko)
