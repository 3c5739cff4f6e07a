// Dravick, the mouse input service driver: the device's life (creation, PnP,
// power, open and close by the mouse class, Zelko's interface, the start and
// stop of reading). The data path is in datapath.cpp.
#include "sermdep.h"

namespace dravick {

namespace {

// The device whose interface notifications are served. The system may deliver a
// notification after the registration is gone (IoUnregisterPlugPlayNotification
// does not wait for them): the callback finds its device here, under the lock,
// and holds the device's remove lock while it works; the removal clears the slot
// first and drains the remove lock before the device goes.
KSPIN_LOCK g_bindingLock;
PDEVICE_OBJECT g_boundDevice;

const GUID GUID_ZELKO_DEVICE_INTERFACE = ZELKO_INTERFACE_GUID_INIT;
const WCHAR kZelkoLink[] = WSTR(ZELKO_LINK_NAME);
const WCHAR kHardwareId[] = WSTR("root\\DRAVLINE");
const ULONG kIdBufferBytes = 30;  // the id, its zero and the zero that ends the list

using kutil::CompleteIrp;

// ---- the passive-level lock ------------------------------------------------------------------
void Lock(PDEVICE_EXTENSION dx) { KeWaitForSingleObject(&dx->controlLock, Executive, KernelMode, FALSE, NULL); }
void Unlock(PDEVICE_EXTENSION dx) { KeSetEvent(&dx->controlLock, IO_NO_INCREMENT, FALSE); }

// Ends the read loop: no read is renewed from now on, the outstanding one is
// cancelled at Zelko and its completion awaited; then the request is freed.
// A completion that was already on its way may still renew the read once, so
// the cancellation is repeated until the loop has ended. Called with the lock.
void EndReadLoop(PDEVICE_EXTENSION dx)
{
    StoreFlag(dx->zelkoOpen, 0);
    while (LoadFlag(dx->readActive)) {
        KeClearEvent(&dx->completionEvent);
        if (!LoadFlag(dx->readActive))
            break;
        CancelZelkoReads(dx);
        LARGE_INTEGER poll;
        poll.QuadPart = READ_END_POLL;
        KeWaitForSingleObject(&dx->completionEvent, Executive, KernelMode, FALSE, &poll);
    }
    if (dx->readRequest) {
        IoFreeIrp(dx->readRequest);
        dx->readRequest = NULL;
    }
}

// Lets go of Zelko: ends the read loop and drops the reference to its file object.
void ReleaseZelko(PDEVICE_EXTENSION dx)
{
    EndReadLoop(dx);
    if (dx->zelkoDevice)
        ReleaseButtons(dx);
    if (dx->zelkoFile)
        ObDereferenceObject(dx->zelkoFile);
    dx->zelkoFile = NULL;
    dx->zelkoDevice = NULL;
    StoreFlag(dx->readActive, 0);
}

// ---- open and close by the mouse class driver ---------------------------------------------------
// The class forwards every client's open and close: reading stops only when
// the last client has closed.
NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    InterlockedIncrement(&dx->opens);
    StartReading(dx);
    return CompleteIrp(irp, STATUS_SUCCESS, 0);
}

NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    for (;;) {
        LONG n = dx->opens;
        if (n <= 0)
            break;  // a close without an open: nothing to count
        if (InterlockedCompareExchange(&dx->opens, n - 1, n) == n) {
            if (n == 1)
                StopReading(dx);
            break;
        }
    }
    return CompleteIrp(irp, STATUS_SUCCESS, 0);
}

// ---- PnP ----------------------------------------------------------------------------------------
// Passing down: forward and forget (the completion goes on unchanged).
NTSTATUS PassDown(PDEVICE_EXTENSION dx, PIRP irp) { return kutil::ForwardAndForget(dx->lowerDevice, irp); }

// The start goes down first; reading begins once the devices below have started.
NTSTATUS StartDevice(PDEVICE_EXTENSION dx, PIRP irp)
{
    NTSTATUS status = kutil::ForwardAndWait(dx->lowerDevice, irp);
    if (NT_SUCCESS(status))
        StartReading(dx);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The same answer for every kind of id: "root\DRAVLINE" and the zero that ends the list.
NTSTATUS QueryId(PIRP irp)
{
    if (irp->IoStatus.Information != 0) {
        irp->IoStatus.Status = STATUS_UNSUCCESSFUL;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_UNSUCCESSFUL;
    }
    auto* ids = (PWCHAR)ExAllocatePoolWithTag(NonPagedPool, kIdBufferBytes, DRAVICK_TAG);
    if (!ids)
        return CompleteIrp(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    RtlZeroMemory(ids, kIdBufferBytes);
    RtlCopyMemory(ids, kHardwareId, sizeof kHardwareId);
    return CompleteIrp(irp, STATUS_SUCCESS, (ULONG_PTR)ids);
}

void RemoveDevice(PDEVICE_EXTENSION dx, PIRP irp)
{
    // Notifications from now on find no device; then the registration goes.
    KIRQL irql;
    KeAcquireSpinLock(&g_bindingLock, &irql);
    if (g_boundDevice == dx->deviceObject)
        g_boundDevice = NULL;
    KeReleaseSpinLock(&g_bindingLock, irql);
    if (dx->notificationEntry) {
        IoUnregisterPlugPlayNotification(dx->notificationEntry);
        dx->notificationEntry = NULL;
    }
    // Power requests on their way down and notification callbacks still running
    // end before the device goes.
    if (NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, irp)))
        IoReleaseRemoveLockAndWait(&dx->removeLock, irp);

    StoreFlag(dx->started, 1);  // so that the stop runs in full
    StopReading(dx);
    Lock(dx);
    ReleaseZelko(dx);
    Unlock(dx);

    irp->IoStatus.Status = STATUS_SUCCESS;
    PassDown(dx, irp);
    IoDetachDevice(dx->lowerDevice);
    IoDeleteDevice(dx->deviceObject);
}

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE:
        return StartDevice(dx, irp);
    case IRP_MN_STOP_DEVICE:
        StopReading(dx);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(dx, irp);
    case IRP_MN_REMOVE_DEVICE:
        RemoveDevice(dx, irp);
        return STATUS_SUCCESS;
    case IRP_MN_SURPRISE_REMOVAL:
        StopReading(dx);
        return CompleteIrp(irp, STATUS_NOT_SUPPORTED, irp->IoStatus.Information);
    case IRP_MN_QUERY_ID:
        return QueryId(irp);
    default:
        return PassDown(dx, irp);
    }
}

// ---- power ----------------------------------------------------------------------------------------
NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    NTSTATUS status = IoAcquireRemoveLock(&dx->removeLock, irp);
    PoStartNextPowerIrp(irp);
    if (!NT_SUCCESS(status))
        return CompleteIrp(irp, status, 0);
    IoSkipCurrentIrpStackLocation(irp);
    status = PoCallDriver(dx->lowerDevice, irp);
    IoReleaseRemoveLock(&dx->removeLock, irp);
    return status;
}

// ---- Zelko's interface ------------------------------------------------------------------------------
NTSTATUS NTAPI InterfaceNotification(PVOID notification, PVOID context)
{
    auto* n = (PDEVICE_INTERFACE_CHANGE_NOTIFICATION)notification;
    auto* device = (PDEVICE_OBJECT)context;
    // The device is looked at only once it is known to be alive and held.
    PDEVICE_EXTENSION dx = NULL;
    KIRQL irql;
    KeAcquireSpinLock(&g_bindingLock, &irql);
    if (device && g_boundDevice == device) {
        dx = (PDEVICE_EXTENSION)device->DeviceExtension;
        if (!NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, notification)))
            dx = NULL;
    }
    KeReleaseSpinLock(&g_bindingLock, irql);
    if (!dx)
        return STATUS_SUCCESS;  // a notification for a device already removed
    if (InlineIsEqualGUID(n->Event, GUID_DEVICE_INTERFACE_ARRIVAL))
        OnInterfaceArrival(device);
    else if (InlineIsEqualGUID(n->Event, GUID_DEVICE_INTERFACE_REMOVAL))
        OnInterfaceRemoval(device);
    IoReleaseRemoveLock(&dx->removeLock, notification);
    return STATUS_SUCCESS;
}

// ---- driver and device ------------------------------------------------------------------------------
NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    PDEVICE_OBJECT device;
    NTSTATUS status = IoCreateDevice(driver, sizeof(DEVICE_EXTENSION), NULL, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;

    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    RtlZeroMemory(dx, sizeof *dx);
    dx->driverObject = driver;
    dx->deviceObject = device;
    dx->lowerDevice = IoAttachDeviceToDeviceStack(device, pdo);
    dx->physicalDevice = pdo;
    if (!dx->lowerDevice) {
        IoDeleteDevice(device);
        return STATUS_NO_SUCH_DEVICE;
    }

    device->Flags &= ~DO_DEVICE_INITIALIZING;
    device->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;

    KeInitializeEvent(&dx->completionEvent, NotificationEvent, FALSE);
    KeInitializeEvent(&dx->controlLock, SynchronizationEvent, TRUE);
    IoInitializeRemoveLock(&dx->removeLock, DRAVICK_TAG, 0, 10);

    dx->attributes.MouseIdentifier = DRAVICK_MOUSE_IDENTIFIER;

    // Zelko may be there already: its interface is reported during the call.
    KIRQL irql;
    KeAcquireSpinLock(&g_bindingLock, &irql);
    g_boundDevice = device;
    KeReleaseSpinLock(&g_bindingLock, irql);
    IoRegisterPlugPlayNotification(
        EventCategoryDeviceInterfaceChange, PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES,
        (PVOID)&GUID_ZELKO_DEVICE_INTERFACE, driver, InterfaceNotification, device, &dx->notificationEntry);
    return status;
}

void NTAPI DriverUnload(PDRIVER_OBJECT) {}

}  // namespace

// ---- start and stop of reading ---------------------------------------------------------------------------
NTSTATUS StartReading(PDEVICE_EXTENSION dx)
{
    Lock(dx);
    if (!LoadFlag(dx->started)) {
        StoreFlag(dx->started, 1);
        if (dx->zelkoDevice && !LoadFlag(dx->readActive)) {
            StoreFlag(dx->zelkoOpen, 1);
            SubmitRead(dx);
        }
    }
    Unlock(dx);
    return STATUS_SUCCESS;
}

NTSTATUS StopReading(PDEVICE_EXTENSION dx)
{
    Lock(dx);
    if (LoadFlag(dx->started)) {
        StoreFlag(dx->started, 0);
        EndReadLoop(dx);
        StoreFlag(dx->readActive, 0);
    }
    Unlock(dx);
    return STATUS_SUCCESS;
}

void OnInterfaceArrival(PDEVICE_OBJECT device)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    if (!dx)
        return;
    Lock(dx);
    if (!dx->zelkoDevice) {
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, kZelkoLink);
        // A success without a file object or device (as from a host whose call is
        // a stub) counts as Zelko not being there: both are used until Zelko goes.
        PFILE_OBJECT file = NULL;
        PDEVICE_OBJECT zelko = NULL;
        if (NT_SUCCESS(IoGetDeviceObjectPointer(&link, FILE_ALL_ACCESS, &file, &zelko)) && file && zelko) {
            dx->zelkoFile = file;
            dx->zelkoDevice = zelko;
            StoreFlag(dx->zelkoOpen, 1);
            if (LoadFlag(dx->started) && !LoadFlag(dx->readActive))
                SubmitRead(dx);
        }
    }
    Unlock(dx);
}

void OnInterfaceRemoval(PDEVICE_OBJECT device)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    if (!dx)
        return;
    // Zelko ends its reads before it withdraws the interface; a read that was
    // submitted in between is cancelled here before Zelko is let go.
    Lock(dx);
    ReleaseZelko(dx);
    Unlock(dx);
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    lastCode = 0;
    lastX = lastY = 0;
    KeInitializeSpinLock(&g_bindingLock);
    g_boundDevice = NULL;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}

}  // namespace dravick

DRIVER_ENTRY_EXPORT(dravick)
