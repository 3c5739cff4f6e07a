// Miravel's life with the operating system: registration with the HID class
// driver, the device, the binding to Zelko through its device interface, PnP,
// power, stop and removal.
#include "miravel.h"

namespace miravel {

LIST_ENTRY HidMini_ReadIrpHead;
LIST_ENTRY HidMini_WriteIrpHead;
KSPIN_LOCK HidMini_IrpReadLock;
PVOID diNotificationEntry;
PDEVICE_OBJECT g_servedDevice;
PDEVICE_OBJECT g_boundDevice;

namespace {

const GUID GUID_ZELKO_DEVICE_INTERFACE = ZELKO_INTERFACE_GUID_INIT;
const WCHAR kZelkoLink[] = WSTR(ZELKO_LINK_NAME);
const ACCESS_MASK ZELKO_ACCESS = 0x1F03FF;
const LONGLONG OPEN_SETTLE_TIME = 1000000;  // 100 ms in 100-ns units

// The passive-level lock of the binding to Zelko.
void Lock(PDEVICE_EXTENSION dx) { KeWaitForSingleObject(&dx->controlLock, Executive, KernelMode, FALSE, NULL); }
void Unlock(PDEVICE_EXTENSION dx) { KeSetEvent(&dx->controlLock, IO_NO_INCREMENT, FALSE); }

// Completes a request with the byte count already set in it.
NTSTATUS Finish(PIRP irp, NTSTATUS status) { return kutil::CompleteIrp(irp, status, irp->IoStatus.Information); }

// Starts the read loop when the device is started, Zelko is open and no read
// is out. The decision and the pending flag are one step under the lock, so
// that a START and an arrival notification at the same time send one read.
void StartReading(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    const bool start = !dx->stopped && dx->zelkoDevice && !dx->readPending;
    if (start) {
        dx->readingEnabled = 1;
        dx->readPending = 1;
    }
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    if (start)
        READ(dx);
}

bool ReadPending(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    const bool pending = dx->readPending != 0;
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    return pending;
}

NTSTATUS NTAPI HidMiniCompletionRouting(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    if (irp->PendingReturned)
        IoMarkIrpPending(irp);
    return irp->IoStatus.Status;
}

NTSTATUS NTAPI TH_Create_dispatch(PDEVICE_OBJECT device, PIRP irp)
{
    irp->IoStatus.Information = 0;
    return Finish(irp, GetExtension(device) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL);
}

NTSTATUS NTAPI TH_Close_dispatch(PDEVICE_OBJECT device, PIRP irp)
{
    irp->IoStatus.Information = 0;
    return Finish(irp, STATUS_SUCCESS);
}

void NTAPI TH_Unload_dispatch(PDRIVER_OBJECT driver) {}

NTSTATUS NTAPI TH_AddDevice_dispatch(PDRIVER_OBJECT driver, PDEVICE_OBJECT device)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx)
        return STATUS_UNSUCCESSFUL;
    // The notification handle and the request lists are driver-wide: one touch
    // device is served at a time, and a second one is refused.
    if (g_servedDevice)
        return STATUS_INVALID_DEVICE_STATE;

    RtlZeroMemory(dx, sizeof *dx);
    dx->deviceObject = device;
    dx->nextLowerDevice = ((PHID_DEVICE_EXTENSION)device->DeviceExtension)->NextDeviceObject;
    dx->driverObject = driver;
    dx->stopped = 1;
    KeInitializeEvent(&dx->readDone, NotificationEvent, FALSE);
    KeInitializeEvent(&dx->controlLock, SynchronizationEvent, TRUE);
    IoInitializeRemoveLock(&dx->removeLock, MIRAVEL_TAG, 0, 0);

#ifdef MIRAVEL_FIXED_USBDI_VERSION
    // The Wine test bench's copy of the driver only (never the product): Wine's
    // usbd.sys leaves USBD_GetUSBDIVersion unimplemented. See docs/wine.md.
    dx->usbdiVersion = MIRAVEL_FIXED_USBDI_VERSION;
#else
    USBD_VERSION_INFORMATION version;
    RtlZeroMemory(&version, sizeof version);
    USBD_GetUSBDIVersion(&version);
    dx->usbdiVersion = version.USBDI_Version;
#endif

    g_servedDevice = device;
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    g_boundDevice = device;
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    NTSTATUS registered = RegisterForPnpNotification(driver, device);
    if (!NT_SUCCESS(registered))
        KTRACE(("Miravel: IoRegisterPlugPlayNotification failed (%08x): Zelko is found only at START\n", registered));

    device->Flags &= ~DO_DEVICE_INITIALIZING;
    device->Flags |= DO_POWER_PAGABLE | DO_BUFFERED_IO;

    InitializeListHead(&HidMini_ReadIrpHead);
    InitializeListHead(&HidMini_WriteIrpHead);
    return STATUS_SUCCESS;
}

}  // namespace

// ---- the binding to Zelko ---------------------------------------------------------------------
void WaitAmoment(LONGLONG hundredNs) { kutil::WaitAmoment(hundredNs); }

NTSTATUS RegisterForPnpNotification(PDRIVER_OBJECT driver, PDEVICE_OBJECT device)
{
    return IoRegisterPlugPlayNotification(
        EventCategoryDeviceInterfaceChange, PNPNOTIFY_DEVICE_INTERFACE_INCLUDE_EXISTING_INTERFACES,
        (PVOID)&GUID_ZELKO_DEVICE_INTERFACE, driver, HidKbdDicCallback, device, &diNotificationEntry);
}

void UnregisterForPnpNotification()
{
    if (diNotificationEntry) {
        IoUnregisterPlugPlayNotification(diNotificationEntry);
        diNotificationEntry = NULL;
    }
}

NTSTATUS NTAPI HidKbdDicCallback(PVOID notification, PVOID context)
{
    auto* change = (PDEVICE_INTERFACE_CHANGE_NOTIFICATION)notification;
    auto* device = (PDEVICE_OBJECT)context;
    // The system may deliver a notification after the unregistration: the device
    // is looked at only once it is known to be alive, and held meanwhile.
    PDEVICE_EXTENSION dx = NULL;
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    if (device && g_boundDevice == device) {
        dx = GetExtension(device);
        if (dx && !NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, notification)))
            dx = NULL;
    }
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    if (!dx)
        return STATUS_SUCCESS;
    if (InlineIsEqualGUID(change->Event, GUID_DEVICE_INTERFACE_ARRIVAL))
        OpenLowyerDev(device);
    else if (InlineIsEqualGUID(change->Event, GUID_DEVICE_INTERFACE_REMOVAL))
        CloseLowyerDev(device, change->SymbolicLinkName);
    IoReleaseRemoveLock(&dx->removeLock, notification);
    return STATUS_SUCCESS;
}

namespace {

// Opens Zelko unless it is open already; with the lock held. True when it is open.
bool OpenZelkoLocked(PDEVICE_EXTENSION dx)
{
    if (dx->zelkoDevice)
        return true;
    if (dx->removed)
        return false;
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, kZelkoLink);
    // A success without a file object or device (as from a host whose call is a
    // stub) counts as Zelko not being there: both are used until Zelko is closed.
    PFILE_OBJECT file = NULL;
    PDEVICE_OBJECT zelko = NULL;
    if (!NT_SUCCESS(IoGetDeviceObjectPointer(&name, ZELKO_ACCESS, &file, &zelko)) || !file || !zelko)
        return false;
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    dx->zelkoFile = file;
    dx->zelkoDevice = zelko;
    dx->readingEnabled = 1;
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    return true;
}

// Ends the read out at Zelko, if any, and waits until its completion has run;
// with the lock held. Reading is off, so at most the read that is out now (or
// one that a completion running at this moment still sends) is left. The event
// is cleared before the flag is looked at: the loop's end sets both under the
// spin lock, so every end from then on ends the wait.
void EndReadsLocked(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    dx->readingEnabled = 0;
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    for (;;) {
        KeClearEvent(&dx->readDone);
        if (!ReadPending(dx))
            break;
        SendRemoveNotifyToUsbDriver(dx);
        KeWaitForSingleObject(&dx->readDone, Executive, KernelMode, FALSE, NULL);
    }
}

// Lets go of Zelko; with the lock held. A read still out at Zelko is ended
// first: one sent after Zelko stopped would otherwise wait there for ever, and
// the next stop with it. A button left down is released.
void CloseZelkoLocked(PDEVICE_EXTENSION dx)
{
    if (dx->zelkoDevice)
        EndReadsLocked(dx);
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    dx->readingEnabled = 0;
    PFILE_OBJECT file = dx->zelkoFile;
    dx->zelkoFile = NULL;
    dx->zelkoDevice = NULL;
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    if (file) {
        ObDereferenceObject(file);
        ReleaseButtons(dx);
    }
}

// Stops reading; with the lock held.
void StopDeviceLocked(PDEVICE_EXTENSION dx)
{
    if (!dx->stopped) {
        dx->stopped = 1;
        EndReadsLocked(dx);
    }
    HidMiniAbortPendingRequests();
}

}  // namespace

// START, the arrival notification, stop and removal all take the passive-level
// lock, so that Zelko is opened at most once and never while it is let go.
void OpenLowyerDev(PDEVICE_OBJECT device)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx)
        return;
    Lock(dx);
    const bool wasOpen = dx->zelkoDevice != NULL;
    if (!wasOpen && OpenZelkoLocked(dx)) {
        WaitAmoment(OPEN_SETTLE_TIME);
        StartReading(dx);
    }
    Unlock(dx);
}

void CloseLowyerDev(PDEVICE_OBJECT device, PUNICODE_STRING symbolicLinkName)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx)
        return;
    Lock(dx);
    CloseZelkoLocked(dx);
    Unlock(dx);
}

NTSTATUS SendRemoveNotifyToUsbDriver(PDEVICE_EXTENSION dx)
{
    PDEVICE_OBJECT zelko = dx->zelkoDevice;
    if (!zelko)
        return STATUS_NO_SUCH_DEVICE;
    return kutil::SendInternalSync(zelko, IOCTL_ZELKO_CANCEL_READS, NULL, NULL, dx->zelkoFile);
}

void StopDevice(PDEVICE_EXTENSION dx)
{
    Lock(dx);
    StopDeviceLocked(dx);
    Unlock(dx);
}

// Also for a surprise removal, and then once more for the removal.
void RemoveDevice(PDEVICE_EXTENSION dx)
{
    // Notifications from now on find no device; then the registration goes.
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    if (g_boundDevice == dx->deviceObject)
        g_boundDevice = NULL;
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    UnregisterForPnpNotification();
    Lock(dx);
    dx->removed = 1;
    StopDeviceLocked(dx);
    CloseZelkoLocked(dx);
    Unlock(dx);
    // The last read's completion and the notification callbacks still running
    // end before the device can go.
    if (NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, dx)))
        IoReleaseRemoveLockAndWait(&dx->removeLock, dx);
}

// ---- PnP and power ------------------------------------------------------------------------------
NTSTATUS DownToNext(PDEVICE_OBJECT device, PIRP irp)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx)
        return Finish(irp, STATUS_UNSUCCESSFUL);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, HidMiniCompletionRouting, dx, TRUE, TRUE, TRUE);
    return IoCallDriver(dx->nextLowerDevice, irp);
}

NTSTATUS NTAPI HidMiniPnP(PDEVICE_OBJECT device, PIRP irp)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx)
        return Finish(irp, STATUS_UNSUCCESSFUL);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE: {
        // The lower drivers start first; the device reads only once they have.
        NTSTATUS status = kutil::ForwardAndWait(dx->nextLowerDevice, irp);
        if (NT_SUCCESS(status)) {
            Lock(dx);
            dx->stopped = 0;
            if (dx->zelkoDevice) {
                StartReading(dx);
            } else if (OpenZelkoLocked(dx)) {
                WaitAmoment(OPEN_SETTLE_TIME);
                StartReading(dx);
            }
            Unlock(dx);
        }
        return Finish(irp, status);
    }
    case IRP_MN_REMOVE_DEVICE: {
        RemoveDevice(dx);
        if (g_servedDevice == device)
            g_servedDevice = NULL;
        return DownToNext(device, irp);
    }
    case IRP_MN_SURPRISE_REMOVAL:
        RemoveDevice(dx);
        return DownToNext(device, irp);
    case IRP_MN_STOP_DEVICE:
        StopDevice(dx);
        return DownToNext(device, irp);
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MN_QUERY_ID: {
        if (irp->IoStatus.Information)
            return Finish(irp, STATUS_UNSUCCESSFUL);
        // The id, its NUL and a second NUL: a list of one string.
        const ULONG bytes = MyBusIDBytes + sizeof(WCHAR);
        PWCHAR id = (PWCHAR)ExAllocatePoolWithTag(NonPagedPool, bytes, MIRAVEL_TAG);
        if (!id)
            return Finish(irp, STATUS_INSUFFICIENT_RESOURCES);
        RtlZeroMemory(id, bytes);
        RtlCopyMemory(id, MyBusID, MyBusIDBytes);
        irp->IoStatus.Information = (ULONG_PTR)id;
        return Finish(irp, STATUS_SUCCESS);
    }
    case IRP_MN_QUERY_PNP_DEVICE_STATE:
        irp->IoStatus.Information = 0;
        return Finish(irp, STATUS_SUCCESS);
    default:
        return DownToNext(device, irp);
    }
}

NTSTATUS NTAPI HidMiniPower(PDEVICE_OBJECT device, PIRP irp)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx) {
        PoStartNextPowerIrp(irp);
        return Finish(irp, STATUS_UNSUCCESSFUL);
    }
    IoCopyCurrentIrpStackLocationToNext(irp);
    PoStartNextPowerIrp(irp);
    return PoCallDriver(dx->nextLowerDevice, irp);
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    // The lists are ready before any device exists.
    InitializeListHead(&HidMini_ReadIrpHead);
    InitializeListHead(&HidMini_WriteIrpHead);
    KeInitializeSpinLock(&HidMini_IrpReadLock);
    diNotificationEntry = NULL;
    g_servedDevice = NULL;
    g_boundDevice = NULL;

    driver->MajorFunction[IRP_MJ_CREATE] = TH_Create_dispatch;
    driver->MajorFunction[IRP_MJ_CLOSE] = TH_Close_dispatch;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = TH_InternalDeviceControl_dispatch;
    driver->MajorFunction[IRP_MJ_PNP] = HidMiniPnP;
    driver->MajorFunction[IRP_MJ_POWER] = HidMiniPower;
    driver->DriverUnload = TH_Unload_dispatch;
    driver->DriverExtension->AddDevice = TH_AddDevice_dispatch;

    HID_MINIDRIVER_REGISTRATION registration;
    RtlZeroMemory(&registration, sizeof registration);
    registration.Revision = 0;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = sizeof(DEVICE_EXTENSION);
    registration.DevicesArePolled = TRUE;
    NTSTATUS registered = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(registered))  // the driver stays loaded without devices
        KTRACE(("Miravel: HidRegisterMinidriver failed (%08x)\n", registered));
    return STATUS_SUCCESS;
}

}  // namespace miravel

DRIVER_ENTRY_EXPORT(miravel)
