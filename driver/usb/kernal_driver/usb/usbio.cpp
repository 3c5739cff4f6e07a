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
    UsbBuildGetDescriptorRequest(urb, (USHORT)sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST), type, 0, 0, buffer,
                                 NULL, length, NULL);
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

bool ResetWanted(NTSTATUS status)
{
    return status == STATUS_UNSUCCESSFUL || status == STATUS_DEVICE_DATA_ERROR;
}

// The passive-level half of a successful port reset: reset once more, then
// read again if the port reports the frame connected.
void NTAPI ResetWork(PDEVICE_OBJECT device, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    InterlockedExchange(&dx->resetWorkQueued, 0);
    if (dx->stopped || !dx->started)
        return;
    CallLowerSync(dx, IOCTL_INTERNAL_USB_RESET_PORT, &dx->resetPortStatus, NULL);
    ULONG portStatus = 0;
    NTSTATUS status = CallLowerSync(dx, IOCTL_INTERNAL_USB_GET_PORT_STATUS, &portStatus, NULL);
    if (NT_SUCCESS(status) && (portStatus & USBD_PORT_CONNECTED))
        SubmitRead(dx);
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

NTSTATUS SubmitRead(PDEVICE_EXTENSION dx)
{
    if (dx->stopped || !dx->started)
        return STATUS_SUCCESS;
    dx->transferLength = REPORT_BYTES;
    RtlZeroMemory(dx->readUrb, dx->urbLength);
    UsbBuildInterruptOrBulkTransferRequest(dx->readUrb, dx->urbLength, dx->pipeHandle, dx->report, NULL,
                                           dx->transferLength,
                                           USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, NULL);
    PIRP irp = IoAllocateIrp(dx->lowerDevice->StackSize, FALSE);
    if (!irp)
        return STATUS_UNSUCCESSFUL;  // reads stay off until the next start or port reset
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = dx->readUrb;
    IoSetCompletionRoutine(irp, ReadComplete, dx, TRUE, TRUE, TRUE);
    dx->readRequest = irp;
    return IoCallDriver(dx->lowerDevice, irp);
}

NTSTATUS NTAPI ReadComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    const NTSTATUS status = irp->IoStatus.Status;
    const bool readAgain = status == STATUS_SUCCESS || status == STATUS_IO_TIMEOUT;
    const bool reset = ResetWanted(status);

    IoFreeIrp(irp);
    dx->readRequest = NULL;

    // A short transfer leaves the previous report's tail in place.
    if (status == STATUS_SUCCESS)
        ProcessReport(dx, dx->report);

    const bool running = !dx->stopped && dx->started && dx->devicePowerState == PowerDeviceD0;
    if (readAgain && running)
        SubmitRead(dx);
    KeSetEvent(&dx->readDone, IO_NO_INCREMENT, FALSE);
    if (reset && running) {
        dx->resetRetries = 0;
        ResetPortAsync(dx);
    }
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS ResetPortAsync(PDEVICE_EXTENSION dx)
{
    if (!dx->started)
        return STATUS_UNSUCCESSFUL;
    PIRP irp = IoAllocateIrp(dx->lowerDevice->StackSize, FALSE);
    if (!irp)
        return STATUS_UNSUCCESSFUL;
    dx->resetRequest = irp;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_RESET_PORT;
    next->Parameters.Others.Argument1 = &dx->resetPortStatus;
    next->Parameters.Others.Argument2 = NULL;
    IoSetCompletionRoutine(irp, ResetComplete, dx, TRUE, TRUE, TRUE);
    return IoCallDriver(dx->lowerDevice, irp);
}

NTSTATUS NTAPI ResetComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    const NTSTATUS status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    dx->resetRequest = NULL;

    if (status == STATUS_SUCCESS) {
        dx->resetRetries = 0;
        if (dx->resetWorkItem && InterlockedExchange(&dx->resetWorkQueued, 1) == 0)
            IoQueueWorkItem(dx->resetWorkItem, ResetWork, DelayedWorkQueue, dx);
    } else if (ResetWanted(status)) {
        if (!dx->stopped && dx->started && ++dx->resetRetries <= MAX_RESET_RETRIES)
            ResetPortAsync(dx);
    }
    return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace zelko
