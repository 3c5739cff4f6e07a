// Dravick's data path: the mouse class driver's requests, the read loop against
// Zelko and the building of the input records.
#include "buttons.h"
#include "sermdep.h"

namespace dravick {

static_assert(BUTTON_LEFT_DOWN == MOUSE_LEFT_BUTTON_DOWN && BUTTON_LEFT_UP == MOUSE_LEFT_BUTTON_UP &&
                  BUTTON_RIGHT_DOWN == MOUSE_RIGHT_BUTTON_DOWN && BUTTON_RIGHT_UP == MOUSE_RIGHT_BUTTON_UP &&
                  BUTTON_MIDDLE_DOWN == MOUSE_MIDDLE_BUTTON_DOWN && BUTTON_MIDDLE_UP == MOUSE_MIDDLE_BUTTON_UP,
              "the mouse input record's button flags");

ULONG lastCode;
USHORT lastX, lastY;

namespace {

using kutil::CompleteIrp;

// ---- the mouse class driver's requests -------------------------------------------------------
NTSTATUS QueryAttributes(PDEVICE_EXTENSION dx, PIRP irp, ULONG outputLength)
{
    if (outputLength < sizeof(MOUSE_ATTRIBUTES))
        return CompleteIrp(irp, STATUS_BUFFER_TOO_SMALL, 0);
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    if (!buffer)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    RtlCopyMemory(buffer, &dx->attributes, sizeof(MOUSE_ATTRIBUTES));
    return CompleteIrp(irp, STATUS_SUCCESS, sizeof(MOUSE_ATTRIBUTES));
}

NTSTATUS Connect(PDEVICE_EXTENSION dx, PIRP irp, PIO_STACK_LOCATION sp)
{
    if (__atomic_load_n(&dx->connectData.ClassService, __ATOMIC_ACQUIRE))
        return CompleteIrp(irp, STATUS_SHARING_VIOLATION, 0);
    // The whole record must be there: 8 bytes on x86, 16 on x64.
    if (sp->Parameters.DeviceIoControl.InputBufferLength < sizeof(CONNECT_DATA))
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    const CONNECT_DATA* connect = (const CONNECT_DATA*)sp->Parameters.DeviceIoControl.Type3InputBuffer;
    if (!connect || !connect->ClassService)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    dx->connectData.ClassDeviceObject = connect->ClassDeviceObject;
    __atomic_store_n(&dx->connectData.ClassService, connect->ClassService, __ATOMIC_RELEASE);
    return CompleteIrp(irp, STATUS_SUCCESS, 0);
}

}  // namespace

NTSTATUS NTAPI DispatchInternalDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_MOUSE_QUERY_ATTRIBUTES:
        return QueryAttributes(dx, irp, sp->Parameters.DeviceIoControl.OutputBufferLength);
    case IOCTL_INTERNAL_MOUSE_CONNECT:
        return Connect(dx, irp, sp);
    case IOCTL_INTERNAL_MOUSE_DISCONNECT:
        return CompleteIrp(irp, STATUS_NOT_IMPLEMENTED, 0);
    case IOCTL_INTERNAL_MOUSE_ENABLE:
    case IOCTL_INTERNAL_MOUSE_DISABLE:
        return CompleteIrp(irp, STATUS_NOT_SUPPORTED, 0);
    default:
        return CompleteIrp(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

// ---- the read loop ------------------------------------------------------------------------------------
// Sends reads until one stays out at Zelko. A read that Zelko completes within
// the call (an event was queued) is followed here, in this loop, rather than
// from its completion routine, so that the stack does not grow with the queue.
NTSTATUS SubmitRead(PDEVICE_EXTENSION dx)
{
    for (;;) {
        if (!LoadFlag(dx->zelkoOpen)) {
            KeSetEvent(&dx->completionEvent, IO_NO_INCREMENT, FALSE);
            StoreFlag(dx->readActive, 0);
            return STATUS_UNSUCCESSFUL;
        }
        PDEVICE_OBJECT zelko = dx->zelkoDevice;
        const CHAR stack = zelko->StackSize > 4 ? zelko->StackSize : 4;

        // The request is allocated once per connection and reused for every read,
        // so that the report path allocates nothing.
        PIRP irp = dx->readRequest;
        if (irp && irp->StackCount >= stack) {
            IoReuseIrp(irp, STATUS_SUCCESS);
        } else {
            if (irp)
                IoFreeIrp(irp);
            irp = IoAllocateIrp(stack, FALSE);
            dx->readRequest = irp;
            if (!irp) {
                KeSetEvent(&dx->completionEvent, IO_NO_INCREMENT, FALSE);
                StoreFlag(dx->readActive, 0);
                return STATUS_UNSUCCESSFUL;
            }
        }
        StoreFlag(dx->readActive, 1);

        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = IOCTL_ZELKO_READ_EVENT;
        next->Parameters.DeviceIoControl.OutputBufferLength = ZELKO_CONSUMER_BUFFER_BYTES;
        next->Parameters.DeviceIoControl.InputBufferLength = 0;
        next->FileObject = dx->zelkoFile;  // Zelko ends a consumer's own reads by it
        irp->AssociatedIrp.SystemBuffer = dx->readBuffer;
        irp->UserBuffer = NULL;
        IoSetCompletionRoutine(irp, ReadComplete, dx->deviceObject, TRUE, TRUE, TRUE);
        StoreFlag(dx->sending, 1);
        NTSTATUS status = IoCallDriver(zelko, irp);
        // Whoever clears `sending` first carries the loop on: the completion, if
        // it runs later (the device is alive until then: readActive is set), or
        // this loop, if the read completed within the call.
        if (__atomic_exchange_n(&dx->sending, 0, __ATOMIC_SEQ_CST))
            return status;
        if (!LoadFlag(dx->renew)) {
            KeSetEvent(&dx->completionEvent, IO_NO_INCREMENT, FALSE);
            StoreFlag(dx->readActive, 0);
            return status;
        }
    }
}

NTSTATUS NTAPI ReadComplete(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)((PDEVICE_OBJECT)context)->DeviceExtension;
    const NTSTATUS status = irp->IoStatus.Status;

    // A short event is 5 bytes; a completion with fewer carries none.
    if (status == STATUS_SUCCESS && irp->IoStatus.Information >= ZELKO_SHORT_EVENT_BYTES) {
        const UCHAR* event = dx->readBuffer;
        ReportInput(dx, event[0], ZelkoGetU16(event + 1), ZelkoGetU16(event + 3));
    }
    const bool again = status == STATUS_SUCCESS || status == STATUS_IO_TIMEOUT;
    StoreFlag(dx->renew, again ? 1 : 0);
    if (__atomic_exchange_n(&dx->sending, 0, __ATOMIC_SEQ_CST))
        return STATUS_MORE_PROCESSING_REQUIRED;  // within SubmitRead's call: its loop goes on

    if (again) {
        SubmitRead(dx);  // ends the loop itself when zelkoOpen has gone
    } else {
        // The event is set before the loop's state changes: once readActive reads
        // clear, this routine no longer touches the device.
        KeSetEvent(&dx->completionEvent, IO_NO_INCREMENT, FALSE);
        StoreFlag(dx->readActive, 0);
    }
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS CancelZelkoReads(PDEVICE_EXTENSION dx)
{
    if (!dx->zelkoDevice)
        return STATUS_NO_SUCH_DEVICE;
    return kutil::SendInternalSync(dx->zelkoDevice, IOCTL_ZELKO_CANCEL_READS, NULL, NULL, dx->zelkoFile);
}

void ReportInput(PDEVICE_EXTENSION dx, ULONG code, USHORT x, USHORT y)
{
    MOUSE_INPUT_DATA data;
    RtlZeroMemory(&data, sizeof data);
    data.Flags = MOUSE_MOVE_ABSOLUTE;
    data.RawButtons = code;
    data.LastX = x;
    data.LastY = y;

    data.ButtonFlags = ButtonTransitions(lastCode, code);
    lastCode = code;
    lastX = x;
    lastY = y;

    PVOID service = __atomic_load_n(&dx->connectData.ClassService, __ATOMIC_ACQUIRE);
    if (!service)
        return;
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL)
        return;
    ULONG consumed = 0;
    auto callback = (PSERVICE_CALLBACK_ROUTINE)service;
    if (irql < DISPATCH_LEVEL) {
        KIRQL old;
        KeRaiseIrql(DISPATCH_LEVEL, &old);
        callback(dx->connectData.ClassDeviceObject, &data, &data + 1, &consumed);
        KeLowerIrql(old);
    } else {
        callback(dx->connectData.ClassDeviceObject, &data, &data + 1, &consumed);
    }
}

void ReleaseButtons(PDEVICE_EXTENSION dx)
{
    if (lastCode & 0x7)
        ReportInput(dx, 0x80, lastX, lastY);  // the pointer without a button: the releases
    lastCode = 0;
}

}  // namespace dravick
