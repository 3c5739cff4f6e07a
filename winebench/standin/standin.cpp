// A stand-in for Zelko on the Wine test bench (never shipped): the smallest USB
// function driver that drives the virtual frame the way Zelko does, so that the
// bus and the test script can be checked on their own. It configures the frame
// (configuration header, whole configuration, selection, device descriptor, the
// class request), keeps one interrupt read outstanding, resets the port after a
// data error, and serves \\.\Zelkode with the raw reports only: GET_EVENT gives
// (x, y, touch status) or the no-event marker; every 16-byte command is accepted.
// No mapping, no settings, no consumers.
#include "ddk.h"
#include "kutil.h"

#include "zelkoioctl.h"

namespace standin {

const ULONG TAG = POOL_TAG('Z', 'k', 'S', 't');
const ULONG QUEUE = 16;

struct Extension {
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT lower;
    KSPIN_LOCK lock;
    UCHAR report[8];
    ULONG queue[QUEUE][3];
    ULONG head, count;
    PURB readUrb;
    PIRP readIrp;
    KEVENT readDone;
    USBD_PIPE_HANDLE pipe;
    PIO_WORKITEM resetItem;
    volatile LONG resetQueued;
    bool started;
};

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    return kutil::CompleteIrp(irp, status, information);
}

// One synchronous internal request to the bus.
NTSTATUS CallUsb(Extension* ext, ULONG code, PVOID arg1)
{
    KEVENT done;
    IO_STATUS_BLOCK iosb;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(code, ext->lower, NULL, 0, NULL, 0, TRUE, &done, &iosb);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = arg1;
    NTSTATUS status = IoCallDriver(ext->lower, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        status = iosb.Status;
    }
    return status;
}

NTSTATUS CallUrb(Extension* ext, PURB urb)
{
    NTSTATUS status = CallUsb(ext, IOCTL_INTERNAL_USB_SUBMIT_URB, urb);
    if (NT_SUCCESS(status) && !USBD_SUCCESS(urb->UrbHeader.Status))
        status = STATUS_UNSUCCESSFUL;
    return status;
}

NTSTATUS ReadDescriptor(Extension* ext, UCHAR type, PVOID buffer, ULONG length)
{
    PURB urb = (PURB)ExAllocatePoolWithTag(NonPagedPool, sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST), TAG);
    if (!urb)
        return STATUS_INSUFFICIENT_RESOURCES;
    UsbBuildGetDescriptorRequest(urb, (USHORT)sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST), type, 0, 0, buffer, NULL,
                                 length, NULL);
    NTSTATUS status = CallUrb(ext, urb);
    ExFreePool(urb);
    return status;
}

NTSTATUS Configure(Extension* ext)
{
    USB_CONFIGURATION_DESCRIPTOR header;
    NTSTATUS status = ReadDescriptor(ext, USB_CONFIGURATION_DESCRIPTOR_TYPE, &header, sizeof(header));
    if (!NT_SUCCESS(status))
        return status;
    ULONG total = header.wTotalLength;
    PUSB_CONFIGURATION_DESCRIPTOR config =
        (PUSB_CONFIGURATION_DESCRIPTOR)ExAllocatePoolWithTag(NonPagedPool, total + 16, TAG);
    if (!config)
        return STATUS_INSUFFICIENT_RESOURCES;
    status = ReadDescriptor(ext, USB_CONFIGURATION_DESCRIPTOR_TYPE, config, total);
    PUSB_INTERFACE_DESCRIPTOR iface = NULL;
    if (NT_SUCCESS(status)) {
        iface = (PUSB_INTERFACE_DESCRIPTOR)USBD_ParseDescriptors(config, total, config, USB_INTERFACE_DESCRIPTOR_TYPE);
        if (!iface)
            status = STATUS_NO_SUCH_DEVICE;
    }
    if (NT_SUCCESS(status)) {
        USBD_INTERFACE_LIST_ENTRY list[2] = {{iface, NULL}, {NULL, NULL}};
        PURB urb = USBD_CreateConfigurationRequestEx(config, list);
        if (!urb) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        } else {
            status = CallUrb(ext, urb);
            if (NT_SUCCESS(status)) {
                if (list[0].Interface->NumberOfPipes > 0)
                    ext->pipe = list[0].Interface->Pipes[0].PipeHandle;
                else
                    status = STATUS_UNSUCCESSFUL;
            }
            ExFreePool(urb);
        }
    }
    ExFreePool(config);
    if (!NT_SUCCESS(status))
        return status;

    USB_DEVICE_DESCRIPTOR device;
    status = ReadDescriptor(ext, USB_DEVICE_DESCRIPTOR_TYPE, &device, sizeof(device));
    if (!NT_SUCCESS(status))
        return status;
    if (device.idVendor != 0x5A53 || device.idProduct != 0x0001)
        return STATUS_UNSUCCESSFUL;

    PURB urb = (PURB)ExAllocatePoolWithTag(NonPagedPool, sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST), TAG);
    if (!urb)
        return STATUS_INSUFFICIENT_RESOURCES;
    UCHAR idle = 0;
    RtlZeroMemory(urb, sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST));
    urb->UrbHeader.Length = sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST);
    urb->UrbHeader.Function = URB_FUNCTION_CLASS_INTERFACE;
    urb->UrbControlVendorClassRequest.TransferFlags = USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK;
    urb->UrbControlVendorClassRequest.TransferBuffer = &idle;
    urb->UrbControlVendorClassRequest.TransferBufferLength = 1;
    urb->UrbControlVendorClassRequest.Request = 0x02;
    status = CallUrb(ext, urb);
    ExFreePool(urb);
    return status;
}

NTSTATUS Deconfigure(Extension* ext)
{
    PURB urb = (PURB)ExAllocatePoolWithTag(NonPagedPool, sizeof(struct _URB_SELECT_CONFIGURATION), TAG);
    if (!urb)
        return STATUS_INSUFFICIENT_RESOURCES;
    UsbBuildSelectConfigurationRequest(urb, (USHORT)sizeof(struct _URB_SELECT_CONFIGURATION), NULL);
    NTSTATUS status = CallUrb(ext, urb);
    ExFreePool(urb);
    ext->pipe = NULL;
    return status;
}

NTSTATUS SubmitRead(Extension* ext);

VOID NTAPI ResetWork(PDEVICE_OBJECT device, PVOID context)
{
    Extension* ext = (Extension*)context;
    InterlockedExchange(&ext->resetQueued, 0);
    ULONG port = 0;
    if (ext->started && NT_SUCCESS(CallUsb(ext, IOCTL_INTERNAL_USB_RESET_PORT, NULL)) &&
        NT_SUCCESS(CallUsb(ext, IOCTL_INTERNAL_USB_GET_PORT_STATUS, &port)) && (port & USBD_PORT_CONNECTED))
        SubmitRead(ext);
}

NTSTATUS NTAPI ReadComplete(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    Extension* ext = (Extension*)context;
    NTSTATUS status = irp->IoStatus.Status;
    ext->readIrp = NULL;
    IoFreeIrp(irp);
    if (status == STATUS_SUCCESS) {
        KIRQL irql;
        KeAcquireSpinLock(&ext->lock, &irql);
        ULONG* e = ext->queue[(ext->head + ext->count) % QUEUE];
        e[0] = ext->report[2] | (ext->report[3] << 8);
        e[1] = ext->report[4] | (ext->report[5] << 8);
        e[2] = ext->report[6];
        if (ext->count < QUEUE)
            ++ext->count;
        else
            ext->head = (ext->head + 1) % QUEUE;
        KeReleaseSpinLock(&ext->lock, irql);
    }
    if ((status == STATUS_SUCCESS || status == STATUS_IO_TIMEOUT) && ext->started)
        SubmitRead(ext);
    KeSetEvent(&ext->readDone, IO_NO_INCREMENT, FALSE);
    if ((status == STATUS_UNSUCCESSFUL || status == STATUS_DEVICE_DATA_ERROR) && ext->started &&
        InterlockedExchange(&ext->resetQueued, 1) == 0)
        IoQueueWorkItem(ext->resetItem, ResetWork, DelayedWorkQueue, ext);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS SubmitRead(Extension* ext)
{
    if (!ext->started || !ext->pipe)
        return STATUS_SUCCESS;
    UsbBuildInterruptOrBulkTransferRequest(ext->readUrb, (USHORT)sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER),
                                           ext->pipe, ext->report, NULL, sizeof(ext->report),
                                           USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, NULL);
    PIRP irp = IoAllocateIrp(ext->lower->StackSize, FALSE);
    if (!irp)
        return STATUS_UNSUCCESSFUL;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = ext->readUrb;
    IoSetCompletionRoutine(irp, ReadComplete, ext, TRUE, TRUE, TRUE);
    KeClearEvent(&ext->readDone);
    ext->readIrp = irp;
    return IoCallDriver(ext->lower, irp);
}

void StopReads(Extension* ext)
{
    ext->started = false;
    PIRP irp = ext->readIrp;
    if (irp) {
        IoCancelIrp(irp);
        KeWaitForSingleObject(&ext->readDone, Executive, KernelMode, FALSE, NULL);
    }
}

NTSTATUS NTAPI SignalEvent(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    if (irp->PendingReturned)
        KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    Extension* ext = (Extension*)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE: {
        KEVENT done;
        KeInitializeEvent(&done, NotificationEvent, FALSE);
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
        NTSTATUS status = IoCallDriver(ext->lower, irp);
        if (status == STATUS_PENDING) {
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
            status = irp->IoStatus.Status;
        }
        if (NT_SUCCESS(status) && NT_SUCCESS(Configure(ext))) {
            ext->started = true;
            SubmitRead(ext);
        }
        return Complete(irp, status, 0);
    }
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_SURPRISE_REMOVAL:
        StopReads(ext);
        break;
    case IRP_MN_REMOVE_DEVICE: {
        StopReads(ext);
        Deconfigure(ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        NTSTATUS status = kutil::ForwardAndForget(ext->lower, irp);
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, WSTR(ZELKO_LINK_NAME));
        IoDeleteSymbolicLink(&link);
        IoFreeWorkItem(ext->resetItem);
        ExFreePool(ext->readUrb);
        IoDetachDevice(ext->lower);
        IoDeleteDevice(device);
        return status;
    }
    default:
        break;
    }
    return kutil::ForwardAndForget(ext->lower, irp);
}

NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp)
{
    Extension* ext = (Extension*)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    if (code == IOCTL_ZELKO_COMMAND) {
        if (sp->Parameters.DeviceIoControl.InputBufferLength != ZELKO_COMMAND_BYTES)
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    if (code == IOCTL_ZELKO_GET_EVENT) {
        if (sp->Parameters.DeviceIoControl.OutputBufferLength != ZELKO_EVENT_BYTES)
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        uint8_t* out = (uint8_t*)irp->AssociatedIrp.SystemBuffer;
        ULONG x = ZELKO_NO_EVENT, y = ZELKO_NO_EVENT, c = ZELKO_NO_EVENT;
        KIRQL irql;
        KeAcquireSpinLock(&ext->lock, &irql);
        if (ext->count) {
            x = ext->queue[ext->head][0];
            y = ext->queue[ext->head][1];
            c = ext->queue[ext->head][2];
            ext->head = (ext->head + 1) % QUEUE;
            --ext->count;
        }
        KeReleaseSpinLock(&ext->lock, irql);
        ZelkoPutU32(out, 0);
        ZelkoPutU32(out + 4, x);
        ZelkoPutU32(out + 8, y);
        ZelkoPutU32(out + 12, c);
        return Complete(irp, STATUS_SUCCESS, ZELKO_EVENT_BYTES);
    }
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
}

NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp)
{
    Extension* ext = (Extension*)device->DeviceExtension;
    switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLOSE:
        return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_DEVICE_CONTROL:
        return DispatchControl(device, irp);
    case IRP_MJ_PNP:
        return DispatchPnp(device, irp);
    case IRP_MJ_POWER:
        return kutil::ForwardPowerAndForget(ext->lower, irp);
    default:
        return kutil::ForwardAndForget(ext->lower, irp);
    }
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, WSTR(ZELKO_DEVICE_NAME));
    RtlInitUnicodeString(&link, WSTR(ZELKO_LINK_NAME));
    PDEVICE_OBJECT device;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    Extension* ext = (Extension*)device->DeviceExtension;
    RtlZeroMemory(ext, sizeof(*ext));
    ext->self = device;
    KeInitializeSpinLock(&ext->lock);
    KeInitializeEvent(&ext->readDone, NotificationEvent, TRUE);
    ext->readUrb = (PURB)ExAllocatePoolWithTag(NonPagedPool, sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER), TAG);
    ext->resetItem = IoAllocateWorkItem(device);
    if (!ext->readUrb || !ext->resetItem) {
        if (ext->readUrb)
            ExFreePool(ext->readUrb);
        if (ext->resetItem)
            IoFreeWorkItem(ext->resetItem);
        IoDeleteDevice(device);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = IoCreateSymbolicLink(&link, &name);
    if (NT_SUCCESS(status)) {
        ext->lower = IoAttachDeviceToDeviceStack(device, pdo);
        if (!ext->lower) {
            IoDeleteSymbolicLink(&link);
            status = STATUS_NO_SUCH_DEVICE;
        }
    }
    if (!NT_SUCCESS(status)) {
        ExFreePool(ext->readUrb);
        IoFreeWorkItem(ext->resetItem);
        IoDeleteDevice(device);
        return status;
    }
    device->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

VOID NTAPI Unload(PDRIVER_OBJECT) {}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING)
{
    for (ULONG i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = Dispatch;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}

}  // namespace standin

DRIVER_ENTRY_EXPORT(standin)
