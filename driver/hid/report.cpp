// Miravel's HID report path: the class driver's minidriver requests answered
// from the fixed tables, the event queue, the waiting read-report requests and
// the standing read at Zelko that feeds them.
#include "miravel.h"

namespace miravel {

namespace {

// Offsets and lengths of the two texts inside the string block.
const ULONG MANUFACTURER_TEXT = 6;
const ULONG MANUFACTURER_BYTES = 20;
const ULONG PRODUCT_TEXT = 28;
const ULONG PRODUCT_BYTES = 30;

void WriteReport(PUCHAR report, UCHAR code, USHORT x, USHORT y)
{
    report[0] = code;
    ZelkoPutU16(report + 1, x);
    ZelkoPutU16(report + 3, y);
}

void CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

// Takes the oldest waiting request out of the list; the caller holds
// HidMini_IrpReadLock. A request whose cancel routine has already been claimed
// is being cancelled: it stays in the list for its cancel routine to take.
PENDING_IRP* TakeWaitingRequest()
{
    for (PLIST_ENTRY e = HidMini_ReadIrpHead.Flink; e != &HidMini_ReadIrpHead; e = e->Flink) {
        auto* entry = CONTAINING_RECORD(e, PENDING_IRP, links);
        if (IoSetCancelRoutine(entry->irp, NULL)) {
            RemoveEntryList(e);
            return entry;
        }
    }
    return NULL;
}

// The class driver gives up a waiting read-report request.
void NTAPI CancelReadReport(PDEVICE_OBJECT device, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    PENDING_IRP* found = NULL;
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    for (PLIST_ENTRY e = HidMini_ReadIrpHead.Flink; e != &HidMini_ReadIrpHead; e = e->Flink) {
        auto* entry = CONTAINING_RECORD(e, PENDING_IRP, links);
        if (entry->irp == irp) {
            RemoveEntryList(e);
            found = entry;
            break;
        }
    }
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    if (found)
        ExFreePool(found);
    CompleteRequest(irp, STATUS_CANCELLED, 0);
}

}  // namespace

PDEVICE_EXTENSION GetExtension(PDEVICE_OBJECT device)
{
    if (!device || !device->DeviceExtension)
        return NULL;
    return (PDEVICE_EXTENSION)((PHID_DEVICE_EXTENSION)device->DeviceExtension)->MiniDeviceExtension;
}

// ---- the event queue ----------------------------------------------------------------------
void SaveInputData(PDEVICE_EXTENSION dx, UCHAR code, USHORT x, USHORT y)
{
    dx->eventCount = dx->eventCount >= QUEUE_LENGTH ? QUEUE_LENGTH : dx->eventCount + 1;
    for (unsigned i = QUEUE_LENGTH - 1; i > 0; --i)
        dx->InputQueue[i] = dx->InputQueue[i - 1];
    dx->InputQueue[0].code = code;
    dx->InputQueue[0].x = x;
    dx->InputQueue[0].y = y;
}

BOOLEAN GetDataInput(PDEVICE_EXTENSION dx, UCHAR* code, USHORT* x, USHORT* y)
{
    if (dx->eventCount == 0)
        return FALSE;
    if (dx->eventCount > QUEUE_LENGTH)
        dx->eventCount = QUEUE_LENGTH;
    const InputData& e = dx->InputQueue[dx->eventCount - 1];
    *code = e.code;
    *x = e.x;
    *y = e.y;
    --dx->eventCount;
    return TRUE;
}

// ---- the waiting read-report requests -----------------------------------------------------
void ProcessOnePendingIrp(PDEVICE_EXTENSION dx, KIRQL irql)
{
    // Taking the request and its event is one step under the lock, so that the
    // oldest request always receives the oldest event. A request is taken only
    // when there is an event for it.
    PENDING_IRP* entry = dx->eventCount ? TakeWaitingRequest() : NULL;
    if (!entry) {
        KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
        return;
    }
    PIRP irp = entry->irp;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    PUCHAR report = (PUCHAR)irp->UserBuffer;
    UCHAR code = 0;
    USHORT x = 0, y = 0;
    ULONG_PTR information = 0;
    if (sp->Parameters.DeviceIoControl.OutputBufferLength >= REPORT_BYTES && report && GetDataInput(dx, &code, &x, &y))
        information = REPORT_BYTES;
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    ExFreePool(entry);
    if (information)
        WriteReport(report, code, x, y);
    CompleteRequest(irp, STATUS_SUCCESS, information);
}

void HidMiniAbortPendingRequests()
{
    LIST_ENTRY taken;
    InitializeListHead(&taken);
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    while (PENDING_IRP* entry = TakeWaitingRequest())
        InsertTailList(&taken, &entry->links);
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    while (!IsListEmpty(&taken)) {
        auto* entry = CONTAINING_RECORD(RemoveHeadList(&taken), PENDING_IRP, links);
        PIRP irp = entry->irp;
        ExFreePool(entry);
        CompleteRequest(irp, STATUS_NO_SUCH_DEVICE, 0);
    }
}

// ---- the class driver's requests -----------------------------------------------------------
NTSTATUS TH_GetDeviceDescriptor(PDEVICE_OBJECT device, PIRP irp)
{
    if (!GetExtension(device))
        return STATUS_UNSUCCESSFUL;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->Parameters.DeviceIoControl.OutputBufferLength < HID_DESCRIPTOR_BYTES)
        return STATUS_BUFFER_TOO_SMALL;
    if (!irp->UserBuffer)
        return STATUS_INVALID_USER_BUFFER;
    RtlCopyMemory(irp->UserBuffer, MouseHidDescriptor, HID_DESCRIPTOR_BYTES);
    irp->IoStatus.Information = HID_DESCRIPTOR_BYTES;
    return STATUS_SUCCESS;
}

NTSTATUS TH_GetReportDescriptor(PDEVICE_OBJECT device, PIRP irp)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx)
        return STATUS_UNSUCCESSFUL;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    const ULONG length = sp->Parameters.DeviceIoControl.OutputBufferLength;
    if ((length & 0xFFFF) < REPORT_DESCRIPTOR_BYTES)
        return STATUS_BUFFER_TOO_SMALL;
    if (!irp->UserBuffer)
        return STATUS_INVALID_USER_BUFFER;
    RtlZeroMemory(irp->UserBuffer, length);
    RtlCopyMemory(irp->UserBuffer, dx->usbdiVersion < 0x300 ? MouseHidReportDesc : MouseHidReportDesc2k,
                  REPORT_DESCRIPTOR_BYTES);
    irp->IoStatus.Information = REPORT_DESCRIPTOR_BYTES;
    return STATUS_SUCCESS;
}

NTSTATUS TH_GetAttributes(PDEVICE_OBJECT device, PIRP irp)
{
    if (!GetExtension(device))
        return STATUS_UNSUCCESSFUL;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->Parameters.DeviceIoControl.OutputBufferLength < ATTRIBUTES_BYTES)
        return STATUS_BUFFER_TOO_SMALL;
    if (!irp->UserBuffer)
        return STATUS_INVALID_USER_BUFFER;
    RtlZeroMemory(irp->UserBuffer, ATTRIBUTES_BYTES);
    auto* attributes = (HID_DEVICE_ATTRIBUTES_RECORD*)irp->UserBuffer;
    attributes->Size = MouseAttributes.Size;
    attributes->VendorID = MouseAttributes.VendorID;
    attributes->ProductID = MouseAttributes.ProductID;
    attributes->VersionNumber = MouseAttributes.VersionNumber;
    irp->IoStatus.Information = ATTRIBUTES_BYTES;
    return STATUS_SUCCESS;
}

// The string id is the low word of Type3InputBuffer (the language id, its high
// word, is not looked at). The manufacturer and the product text of the string
// block are answered as NUL-terminated UTF-16 strings, cut to the output buffer.
NTSTATUS TH_GetStringDescriptor(PDEVICE_OBJECT device, PIRP irp)
{
    if (!GetExtension(device))
        return STATUS_UNSUCCESSFUL;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    const ULONG room = sp->Parameters.DeviceIoControl.OutputBufferLength & ~(ULONG)1;
    PUCHAR out = (PUCHAR)irp->UserBuffer;
    if (!out || room == 0)
        return STATUS_INVALID_USER_BUFFER;

    ULONG offset, bytes;
    switch ((USHORT)((ULONG_PTR)sp->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF)) {
    case HID_STRING_ID_IMANUFACTURER:
    case USB_STRING_INDEX_MANUFACTURER:
        offset = MANUFACTURER_TEXT;
        bytes = MANUFACTURER_BYTES;
        break;
    case HID_STRING_ID_IPRODUCT:
    case USB_STRING_INDEX_PRODUCT:
        offset = PRODUCT_TEXT;
        bytes = PRODUCT_BYTES;
        break;
    default:
        return STATUS_INVALID_PARAMETER;
    }
    ULONG copied = bytes + sizeof(WCHAR) <= room ? bytes + sizeof(WCHAR) : room;
    RtlCopyMemory(out, AStringDescriptor + offset, copied < bytes ? copied : bytes);
    if (copied > bytes)
        RtlZeroMemory(out + bytes, copied - bytes);
    irp->IoStatus.Information = copied;
    return STATUS_SUCCESS;
}

NTSTATUS TH_ReadReport(PDEVICE_OBJECT device, PIRP irp)
{
    PDEVICE_EXTENSION dx = GetExtension(device);
    if (!dx)
        return STATUS_UNSUCCESSFUL;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->Parameters.DeviceIoControl.OutputBufferLength != REPORT_BYTES)
        return STATUS_BUFFER_TOO_SMALL;
    PUCHAR report = (PUCHAR)irp->UserBuffer;
    if (!report)
        return STATUS_INVALID_USER_BUFFER;

    // Finding the queue empty and appending the request to the list are one
    // step under the lock: an event never waits while a request waits.
    UCHAR code;
    USHORT x, y;
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    if (GetDataInput(dx, &code, &x, &y)) {
        KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
        WriteReport(report, code, x, y);
        irp->IoStatus.Information = REPORT_BYTES;
        return STATUS_SUCCESS;
    }
    auto* entry = (PENDING_IRP*)ExAllocatePoolWithTag(NonPagedPool, sizeof(PENDING_IRP), MIRAVEL_TAG);
    if (!entry) {
        KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    entry->irp = irp;
    IoMarkIrpPending(irp);
    InsertTailList(&HidMini_ReadIrpHead, &entry->links);
    (void)IoSetCancelRoutine(irp, CancelReadReport);
    if (__atomic_load_n(&irp->Cancel, __ATOMIC_ACQUIRE) && IoSetCancelRoutine(irp, NULL)) {
        // Cancelled before it could wait.
        RemoveEntryList(&entry->links);
        KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
        ExFreePool(entry);
        CompleteRequest(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    return STATUS_PENDING;
}

NTSTATUS NTAPI TH_InternalDeviceControl_dispatch(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    irp->IoStatus.Information = 0;
    NTSTATUS status;
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HID_GET_DEVICE_DESCRIPTOR:
        status = TH_GetDeviceDescriptor(device, irp);
        break;
    case IOCTL_HID_GET_REPORT_DESCRIPTOR:
        status = TH_GetReportDescriptor(device, irp);
        break;
    case IOCTL_HID_READ_REPORT:
        status = TH_ReadReport(device, irp);
        if (status == STATUS_PENDING)
            return status;  // waits in the list (or was completed as cancelled)
        break;
    case IOCTL_HID_WRITE_REPORT:
    case IOCTL_HID_ACTIVATE_DEVICE:
    case IOCTL_HID_DEACTIVATE_DEVICE:
        status = STATUS_SUCCESS;
        break;
    case IOCTL_HID_GET_STRING:
        status = TH_GetStringDescriptor(device, irp);
        break;
    case IOCTL_HID_GET_DEVICE_ATTRIBUTES:
        status = TH_GetAttributes(device, irp);
        break;
    case IOCTL_HID_SET_FEATURE:
    case IOCTL_HID_GET_FEATURE:
    case IOCTL_GET_PHYSICAL_DESCRIPTOR:
        status = STATUS_NOT_SUPPORTED;
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// ---- the read loop with Zelko ---------------------------------------------------------------
// Ends the loop: nothing is out at Zelko any more. Under the lock, so that a stop
// that finds the flag clear finds the event set too.
static void LoopEnded(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    dx->readPending = 0;
    KeSetEvent(&dx->readDone, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
}

// Sends reads until one stays out at Zelko. A read that Zelko completes within
// the call (an event was queued) is followed here, in this loop, rather than
// from its completion routine, so that the stack does not grow with the queue.
// The call holds the remove lock until its loop ends or a completion takes it over.
NTSTATUS READ(PDEVICE_EXTENSION dx)
{
    if (!NT_SUCCESS(IoAcquireRemoveLock(&dx->removeLock, dx))) {
        LoopEnded(dx);
        return STATUS_DELETE_PENDING;
    }
    for (;;) {
        // The Zelko device is looked at and referenced under the lock, so that a
        // removal notification closing Zelko meanwhile cannot pull it away during the send.
        KIRQL irql;
        KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
        PDEVICE_OBJECT zelko = dx->readingEnabled ? dx->zelkoDevice : NULL;
        PFILE_OBJECT file = dx->zelkoFile;
        if (!zelko || dx->readRequest) {
            // Not reading; or a request is still out at Zelko: at most one read is out at a time.
            const bool ended = !dx->readRequest;
            if (ended) {
                dx->readPending = 0;
                KeSetEvent(&dx->readDone, IO_NO_INCREMENT, FALSE);
            }
            KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
            IoReleaseRemoveLock(&dx->removeLock, dx);
            return STATUS_UNSUCCESSFUL;
        }
        ObReferenceObject(zelko);
        PIRP irp = IoAllocateIrp(zelko->StackSize > READ_STACK_SIZE ? zelko->StackSize : READ_STACK_SIZE, FALSE);
        dx->readRequest = irp;
        dx->readPending = 1;
        KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
        if (!irp) {
            ObDereferenceObject(zelko);
            KTRACE(("Miravel: no request for the read at Zelko: reads stopped\n"));
            LoopEnded(dx);
            IoReleaseRemoveLock(&dx->removeLock, dx);
            return STATUS_UNSUCCESSFUL;
        }
        RtlZeroMemory(dx->readBuffer, sizeof dx->readBuffer);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = IOCTL_ZELKO_READ_EVENT;
        next->Parameters.DeviceIoControl.OutputBufferLength = READ_BUFFER_BYTES;
        next->Parameters.DeviceIoControl.InputBufferLength = 0;
        next->DeviceObject = zelko;
        next->FileObject = file;  // Zelko ends a consumer's own reads by it
        irp->AssociatedIrp.SystemBuffer = dx->readBuffer;
        irp->UserBuffer = NULL;
        IoSetCompletionRoutine(irp, USB_ReadComplete, dx, TRUE, TRUE, TRUE);
        __atomic_store_n(&dx->sending, 1, __ATOMIC_SEQ_CST);
        NTSTATUS status = IoCallDriver(zelko, irp);
        ObDereferenceObject(zelko);
        // Whoever clears `sending` first carries the loop on: the completion, if it
        // runs later (it then releases the remove lock), or this loop.
        if (__atomic_exchange_n(&dx->sending, 0, __ATOMIC_SEQ_CST))
            return status;
        if (!__atomic_load_n(&dx->renew, __ATOMIC_ACQUIRE)) {
            LoopEnded(dx);
            IoReleaseRemoveLock(&dx->removeLock, dx);
            return status;
        }
    }
}

NTSTATUS NTAPI USB_ReadComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    auto* dx = (PDEVICE_EXTENSION)context;
    const NTSTATUS status = irp->IoStatus.Status;
    const ULONG_PTR information = irp->IoStatus.Information;
    const bool again = status == STATUS_SUCCESS || status == STATUS_IO_TIMEOUT;

    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    dx->readRequest = NULL;
    if (status == STATUS_SUCCESS && information > 0) {
        const UCHAR* b = dx->readBuffer;
        dx->lastCode = b[0];
        dx->lastX = ZelkoGetU16(b + 1);
        dx->lastY = ZelkoGetU16(b + 3);
        SaveInputData(dx, b[0], dx->lastX, dx->lastY);
        ProcessOnePendingIrp(dx, irql);  // releases the lock
    } else {
        KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
    }
    IoFreeIrp(irp);
    if (!again && status != STATUS_CANCELLED)
        KTRACE(("Miravel: read at Zelko failed (%08x): reads stopped\n", status));

    __atomic_store_n(&dx->renew, again ? 1 : 0, __ATOMIC_RELEASE);
    if (__atomic_exchange_n(&dx->sending, 0, __ATOMIC_SEQ_CST))
        return STATUS_MORE_PROCESSING_REQUIRED;  // within READ's call: its loop goes on
    if (again)
        READ(dx);  // ends the loop itself when reading has been disabled meanwhile
    else
        LoopEnded(dx);
    // Last: the removal may free the device once the remove lock is released.
    IoReleaseRemoveLock(&dx->removeLock, dx);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

void ReleaseButtons(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&HidMini_IrpReadLock, &irql);
    if (!(dx->lastCode & 0x7)) {
        dx->lastCode = 0;
        KeReleaseSpinLock(&HidMini_IrpReadLock, irql);
        return;
    }
    dx->lastCode = 0;
    SaveInputData(dx, 0x80, dx->lastX, dx->lastY);  // the pointer without a button
    ProcessOnePendingIrp(dx, irql);                 // releases the lock
}

}  // namespace miravel
