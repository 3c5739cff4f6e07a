// The USB side of Zelko: configuring and checking the frame, the interrupt read
// that is renewed by its own completion, and the port reset that follows a
// failing read.
#include "zelko.h"

namespace zelko {

namespace {

const USHORT FRAME_VENDOR = 0x5A53;
const USHORT FRAME_PRODUCT = 0x0001;

// Sends an internal request to the lower device and waits for it without time limit.
NTSTATUS CallLowerSync(PDEVICE_EXTENSION dx, ULONG code, PVOID argument1, PVOID argument2)
{
    return kutil::SendInternalSync(dx->lowerDevice, code, argument1, argument2);
}

// A URB request fails when the request or the URB itself reports an error.
NTSTATUS SubmitUrbSync(PDEVICE_EXTENSION dx, PURB urb)
{
    NTSTATUS status = CallLowerSync(dx, IOCTL_INTERNAL_USB_SUBMIT_URB, urb, NULL);
    if (status == STATUS_INSUFFICIENT_RESOURCES)
        return status;
    if (!NT_SUCCESS(status) || !USBD_SUCCESS(urb->UrbHeader.Status))
        return STATUS_UNSUCCESSFUL;
    return STATUS_SUCCESS;
}

PURB AllocateUrb()
{
    PURB urb = (PURB)ExAllocatePoolWithTag(NonPagedPool, sizeof(URB), ZELKO_TAG);
    if (urb)
        RtlZeroMemory(urb, sizeof(URB));
    return urb;
}

// Reads a descriptor into buffer; on success *received holds the bytes returned.
NTSTATUS GetDescriptor(PDEVICE_EXTENSION dx, PURB urb, UCHAR type, PVOID buffer, ULONG length, ULONG* received)
{
    RtlZeroMemory(urb, sizeof(URB));
    UsbBuildGetDescriptorRequest(urb, (USHORT)sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST), type, 0, 0, buffer, NULL,
                                 length, NULL);
    NTSTATUS status = SubmitUrbSync(dx, urb);
    if (NT_SUCCESS(status) && received) {
        ULONG n = urb->UrbControlDescriptorRequest.TransferBufferLength;
        *received = n < length ? n : length;
    }
    return status;
}

NTSTATUS SelectConfiguration(PDEVICE_EXTENSION dx, PURB urb)
{
    dx->pipeHandle = NULL;

    USB_CONFIGURATION_DESCRIPTOR header;
    RtlZeroMemory(&header, sizeof header);
    ULONG received = 0;
    NTSTATUS status = GetDescriptor(dx, urb, USB_CONFIGURATION_DESCRIPTOR_TYPE, &header, sizeof header, &received);
    if (!NT_SUCCESS(status))
        return status;
    const ULONG total = header.wTotalLength;
    if (received < sizeof header || total < sizeof header)
        return STATUS_UNSUCCESSFUL;  // not a configuration descriptor

    auto* config = (PUSB_CONFIGURATION_DESCRIPTOR)ExAllocatePoolWithTag(NonPagedPool, total + 16, ZELKO_TAG);
    if (!config)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(config, total + 16);
    status = GetDescriptor(dx, urb, USB_CONFIGURATION_DESCRIPTOR_TYPE, config, total, &received);
    if (!NT_SUCCESS(status)) {
        ExFreePool(config);
        return status;
    }
    // Parse only what the frame delivered.
    if (received < total)
        config->wTotalLength = (USHORT)received;

    auto* iface = (PUSB_INTERFACE_DESCRIPTOR)USBD_ParseDescriptors(config, config->wTotalLength, config,
                                                                   USB_INTERFACE_DESCRIPTOR_TYPE);
    if (!iface || iface->bLength < sizeof(USB_INTERFACE_DESCRIPTOR)) {
        ExFreePool(config);
        return STATUS_NO_SUCH_DEVICE;
    }

    USBD_INTERFACE_LIST_ENTRY list[2];
    RtlZeroMemory(list, sizeof list);
    list[0].InterfaceDescriptor = iface;
    PURB request = USBD_CreateConfigurationRequestEx(config, list);
    if (!request) {
        ExFreePool(config);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = SubmitUrbSync(dx, request);
    if (NT_SUCCESS(status)) {
        dx->configurationHandle = request->UrbSelectConfiguration.ConfigurationHandle;
        PUSBD_INTERFACE_INFORMATION info = list[0].Interface;
        // The first pipe is the report pipe, whatever its type and direction.
        if (info && info->NumberOfPipes >= 1)
            dx->pipeHandle = info->Pipes[0].PipeHandle;
        else
            status = STATUS_UNSUCCESSFUL;
    }
    ExFreePool(request);
    ExFreePool(config);
    return status;
}

NTSTATUS CheckFrame(PDEVICE_EXTENSION dx, PURB urb)
{
    USB_DEVICE_DESCRIPTOR device;
    RtlZeroMemory(&device, sizeof device);
    NTSTATUS status = GetDescriptor(dx, urb, USB_DEVICE_DESCRIPTOR_TYPE, &device, sizeof device, NULL);
    if (!NT_SUCCESS(status))
        return status;
    if (device.idVendor != FRAME_VENDOR || device.idProduct != FRAME_PRODUCT)
        return STATUS_UNSUCCESSFUL;
    return STATUS_SUCCESS;
}

// On a HID interface this is GET_IDLE; the byte it returns is not used.
NTSTATUS SendClassRequest(PDEVICE_EXTENSION dx, PURB urb)
{
    UCHAR data = 0;
    RtlZeroMemory(urb, sizeof(URB));
    UsbBuildVendorRequest(urb, URB_FUNCTION_CLASS_INTERFACE,
                          (USHORT)sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST),
                          USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, 0, 0x02, 0, 0, &data, NULL, 1, NULL);
    return SubmitUrbSync(dx, urb);
}

bool ResetWanted(NTSTATUS status) { return status == STATUS_UNSUCCESSFUL || status == STATUS_DEVICE_DATA_ERROR; }

// Fills the read request and its URB for the next read; with ioLock held.
void PrepareRead(PDEVICE_EXTENSION dx)
{
    PIRP irp = dx->readRequest;
    IoReuseIrp(irp, STATUS_SUCCESS);
    dx->transferLength = REPORT_BYTES;
    RtlZeroMemory(dx->readUrb, dx->urbLength);
    UsbBuildInterruptOrBulkTransferRequest(dx->readUrb, dx->urbLength, dx->pipeHandle, dx->report, NULL,
                                           dx->transferLength, USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK,
                                           NULL);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = dx->readUrb;
    IoSetCompletionRoutine(irp, ReadComplete, dx, TRUE, TRUE, TRUE);
}

// Reads are sent only while the device runs at full power; with ioLock held.
bool RunningLocked(PDEVICE_EXTENSION dx)
{
    return !dx->stopped && dx->started && dx->devicePowerState == PowerDeviceD0;
}

// The port work item, at passive level: the asynchronous reset, or the second
// half of a successful one (reset once more, then read again if the port reports
// the frame connected). It holds the remove lock from its queuing to its end.
void NTAPI PortWork(PDEVICE_OBJECT device, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    const LONG next = dx->resetWorkNext;
    InterlockedExchange(&dx->resetWorkQueued, 0);
    KIRQL irql;
    KeAcquireSpinLock(&dx->ioLock, &irql);
    const bool started = !dx->stopped && dx->started;
    KeReleaseSpinLock(&dx->ioLock, irql);
    if (started) {
        if (next == PORT_WORK_RESET) {
            ResetPortAsync(dx);
        } else {
            CallLowerSync(dx, IOCTL_INTERNAL_USB_RESET_PORT, &dx->resetPortStatus, NULL);
            ULONG portStatus = 0;
            NTSTATUS status = CallLowerSync(dx, IOCTL_INTERNAL_USB_GET_PORT_STATUS, &portStatus, NULL);
            if (NT_SUCCESS(status) && (portStatus & USBD_PORT_CONNECTED))
                SubmitRead(dx);
            else
                KTRACE(("Zelko: port not back after reset (%08x, port %08x): reads stay off\n", status, portStatus));
        }
    }
    IoReleaseRemoveLock(&dx->removeLock, dx->resetWorkItem);
}

}  // namespace

NTSTATUS ConfigureDevice(PDEVICE_EXTENSION dx)
{
    USBD_VERSION_INFORMATION version;
    USBD_GetUSBDIVersion(&version);

    PURB urb = AllocateUrb();
    if (!urb)
        return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS status = SelectConfiguration(dx, urb);
    if (NT_SUCCESS(status))
        status = CheckFrame(dx, urb);  // the configuration stays selected if the check fails
    if (NT_SUCCESS(status))
        status = SendClassRequest(dx, urb);
    ExFreePool(urb);
    return status;
}

NTSTATUS DeconfigureDevice(PDEVICE_EXTENSION dx)
{
    PURB urb = AllocateUrb();
    if (!urb)
        return STATUS_INSUFFICIENT_RESOURCES;
    UsbBuildSelectConfigurationRequest(urb, (USHORT)sizeof(struct _URB_SELECT_CONFIGURATION), NULL);
    NTSTATUS status = SubmitUrbSync(dx, urb);
    ExFreePool(urb);
    dx->pipeHandle = NULL;
    return NT_SUCCESS(status) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

void QueuePortWork(PDEVICE_EXTENSION dx, LONG next)
{
    if (InterlockedExchange(&dx->resetWorkQueued, 1) != 0)
        return;
    if (!NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, dx->resetWorkItem))) {
        InterlockedExchange(&dx->resetWorkQueued, 0);
        return;
    }
    dx->resetWorkNext = next;
    IoQueueWorkItem(dx->resetWorkItem, PortWork, DelayedWorkQueue, dx);
}

NTSTATUS SubmitRead(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&dx->ioLock, &irql);
    if (!RunningLocked(dx) || dx->readOutstanding) {
        KeReleaseSpinLock(&dx->ioLock, irql);
        return STATUS_SUCCESS;
    }
    InterlockedExchange(&dx->readOutstanding, 1);
    KeClearEvent(&dx->readDone);
    PrepareRead(dx);
    KeReleaseSpinLock(&dx->ioLock, irql);
    // From here the request belongs to the stack until its completion.
    return IoCallDriver(dx->lowerDevice, dx->readRequest);
}

void EndRead(PDEVICE_EXTENSION dx)
{
    for (;;) {
        KIRQL irql;
        KeAcquireSpinLock(&dx->ioLock, &irql);
        const bool outstanding = dx->readOutstanding != 0;
        if (outstanding)
            KeClearEvent(&dx->readDone);
        KeReleaseSpinLock(&dx->ioLock, irql);
        if (!outstanding)
            return;
        // The request stays the device's for its whole life, so cancelling it is
        // safe even when its completion is running on another processor now.
        IoCancelIrp(dx->readRequest);
        KeWaitForSingleObject(&dx->readDone, Executive, KernelMode, FALSE, NULL);
    }
}

// The read's completion (at dispatch level): hands the report on, then renews
// the read or gives the request back to the device.
NTSTATUS NTAPI ReadComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    const NTSTATUS status = irp->IoStatus.Status;
    const bool readAgain = status == STATUS_SUCCESS || status == STATUS_IO_TIMEOUT;

    // A short transfer leaves the previous report's tail in place.
    if (status == STATUS_SUCCESS)
        ProcessReport(dx, dx->report);

    KIRQL irql;
    KeAcquireSpinLock(&dx->ioLock, &irql);
    const bool running = RunningLocked(dx);
    const bool renew = readAgain && running;
    const bool reset = ResetWanted(status) && running;
    if (renew)
        PrepareRead(dx);
    KeReleaseSpinLock(&dx->ioLock, irql);

    if (renew) {
        // Nothing of the device is touched after this call: the read may already
        // have ended and the device gone by the time it returns.
        IoCallDriver(dx->lowerDevice, irp);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    if (!readAgain && !reset && running)
        KTRACE(("Zelko: read failed (%08x): reads stopped\n", status));
    if (reset) {
        // The reset is sent from passive level, as the hub driver requires.
        dx->resetRetries = 0;
        QueuePortWork(dx, PORT_WORK_RESET);
    }
    // Last, under the lock: the request is the device's again and readDone set.
    // Once the lock is released this routine no longer touches the device, so
    // StopDevice may return (and the device go) as soon as it sees the flag clear.
    KeAcquireSpinLock(&dx->ioLock, &irql);
    InterlockedExchange(&dx->readOutstanding, 0);
    KeSetEvent(&dx->readDone, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&dx->ioLock, irql);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS ResetPortAsync(PDEVICE_EXTENSION dx)
{
    if (!dx->started)
        return STATUS_UNSUCCESSFUL;
    // The request and its completion hold the remove lock.
    if (!NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, &dx->resetRequest)))
        return STATUS_DELETE_PENDING;
    PIRP irp = IoAllocateIrp(dx->lowerDevice->StackSize, FALSE);
    if (!irp) {
        IoReleaseRemoveLock(&dx->removeLock, &dx->resetRequest);
        return STATUS_UNSUCCESSFUL;
    }
    dx->resetRequest = irp;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_RESET_PORT;
    next->Parameters.Others.Argument1 = &dx->resetPortStatus;
    next->Parameters.Others.Argument2 = NULL;
    IoSetCompletionRoutine(irp, ResetComplete, dx, TRUE, TRUE, TRUE);
    return IoCallDriver(dx->lowerDevice, irp);
}

// The reset's completion (at dispatch level): everything that follows it is sent
// from the port work item at passive level.
NTSTATUS NTAPI ResetComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    const NTSTATUS status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    dx->resetRequest = NULL;

    if (status == STATUS_SUCCESS) {
        dx->resetRetries = 0;
        QueuePortWork(dx, PORT_WORK_FINISH);
    } else if (ResetWanted(status)) {
        KIRQL irql;
        KeAcquireSpinLock(&dx->ioLock, &irql);
        const bool started = !dx->stopped && dx->started;
        KeReleaseSpinLock(&dx->ioLock, irql);
        if (started && ++dx->resetRetries <= MAX_RESET_RETRIES)
            QueuePortWork(dx, PORT_WORK_RESET);
        else
            KTRACE(("Zelko: port reset retries used up (%08x): reads stay off\n", status));
    }
    // Last: the removal may go on once this is released.
    IoReleaseRemoveLock(&dx->removeLock, &dx->resetRequest);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace zelko
