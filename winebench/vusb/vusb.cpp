// ZkVusb: the test bench's virtual USB bus. A root-enumerated bus driver whose
// one child PDO plays the touch frame (USB\VID_5A53&PID_0001): it answers the
// PnP manager's id, capability and text queries, and the function driver's USB
// requests (configuration, descriptors, the class request, the interrupt-IN
// transfer, port reset and port status). A control device (\\.\ZkVusbCtl) lets
// the test inject reports and read failures, set the port state and read what
// the bus has seen. Test-only: never shipped.
#include "ddk.h"
#include "kutil.h"
#include "zelkoioctl.h"

#include "vusbctl.h"

namespace vusb {

const ULONG TAG = POOL_TAG('Z', 'k', 'V', 'u');

enum DeviceKind : ULONG { KIND_BUS = 0x42555321, KIND_FRAME = 0x46524d21, KIND_CONTROL = 0x43544c21 };

struct BusExtension {
    DeviceKind kind;
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT lower;
    PDEVICE_OBJECT pdo;  // the bus's own PDO (root-enumerated)
    bool started;
    bool removed;
};

struct FrameExtension {
    DeviceKind kind;
    PDEVICE_OBJECT self;
};

struct ControlExtension {
    DeviceKind kind;
};

// The frame's configuration descriptor, built when its PDO is created: the
// configuration, then for each interface (HID class) the interface, the HID
// descriptor and its interrupt-IN endpoints of 8 bytes. The touch frame has one
// interface with one endpoint (0x81).
const ULONG CONFIG_MAX = 9 + VUSB_MAX_INTERFACES * (9 + 9 + VUSB_MAX_ENDPOINTS * 7);

// What VUSB_SET_FRAME sets.
struct FrameShape {
    USHORT vendor;
    USHORT product;
    ULONG interfaces;
    ULONG endpoints;  // per interface
};

// Handles given out by SELECT_CONFIGURATION; any non-null cookie will do. Pipe
// n * endpoints + e is endpoint e of interface n.
const UCHAR CONFIG_HANDLE_COOKIE = 1;
const UCHAR INTERFACE_HANDLE_COOKIE = 2;
UCHAR g_pipeCookies[VUSB_MAX_INTERFACES * VUSB_MAX_ENDPOINTS];
#define CONFIG_HANDLE ((USBD_CONFIGURATION_HANDLE)&CONFIG_HANDLE_COOKIE)
#define INTERFACE_HANDLE ((USBD_INTERFACE_HANDLE)&INTERFACE_HANDLE_COOKIE)

// Driver-wide state: one bus, one frame. Plain data, set up in DriverEntry.
struct FrameState {
    KSPIN_LOCK lock;  // guards everything below but the counters
    LIST_ENTRY held;  // held interrupt transfers (IRP Tail.Overlay.ListEntry)
    VUSB_INJECT injections[VUSB_MAX_INJECTIONS];
    ULONG injectHead;
    ULONG injectCount;
    ULONG portConnected;
    NTSTATUS resetStatus;
    USHORT idVendor;
    USHORT idProduct;
    FrameShape next;   // the frame the next plug brings
    FrameShape shape;  // the frame whose PDO exists (taken from `next` when it was created)
    UCHAR config[CONFIG_MAX];
    ULONG configLength;
    bool present;  // plugged in: reported in the bus relations
    bool gone;     // surprise-removed or removed: transfers fail at once
    bool configured;
    volatile LONG counters[sizeof(VUSB_COUNTERS) / sizeof(ULONG)];
};

FrameState g_frame;
BusExtension* g_bus;        // the one bus, while it exists
PDEVICE_OBJECT g_framePdo;  // its child, while it exists
PDEVICE_OBJECT g_control;   // the control device, while the bus exists

#define COUNTER_INDEX(field) (FIELD_OFFSET(VUSB_COUNTERS, field) / sizeof(ULONG))
#define COUNT(field) InterlockedIncrement(&g_frame.counters[COUNTER_INDEX(field)])
#define SET_COUNTER(field, v) InterlockedExchange(&g_frame.counters[COUNTER_INDEX(field)], (LONG)(v))

NTSTATUS CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    return kutil::CompleteIrp(irp, status, information);
}

// ---------------------------------------------------------------------------
// Interrupt transfers: held until an injection answers them.

USBD_STATUS UsbdStatusFor(NTSTATUS status)
{
    if (status == STATUS_CANCELLED)
        return USBD_STATUS_CANCELED;
    if (status == STATUS_DEVICE_NOT_CONNECTED || status == STATUS_NO_SUCH_DEVICE)
        return USBD_STATUS_DEVICE_GONE;
    return USBD_STATUS_XACT_ERROR;
}

PURB UrbOf(PIRP irp) { return (PURB)IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1; }

void FinishTransfer(PIRP irp, NTSTATUS status, USBD_STATUS usbd)
{
    UrbOf(irp)->UrbHeader.Status = usbd;
    if (status != STATUS_SUCCESS)
        UrbOf(irp)->UrbBulkOrInterruptTransfer.TransferBufferLength = 0;
    CompleteRequest(irp, status, 0);
}

// Answers one transfer with one injection (the caller has taken both off their queues).
void Answer(PIRP irp, const VUSB_INJECT& inj)
{
    struct _URB_BULK_OR_INTERRUPT_TRANSFER& t = UrbOf(irp)->UrbBulkOrInterruptTransfer;
    if (inj.kind == VUSB_INJECT_DATA) {
        ULONG n = inj.length;
        if (n > t.TransferBufferLength)
            n = t.TransferBufferLength;
        RtlCopyMemory(t.TransferBuffer, inj.data, n);
        t.TransferBufferLength = n;
        COUNT(delivered);
        FinishTransfer(irp, STATUS_SUCCESS, USBD_STATUS_SUCCESS);
    } else {
        COUNT(failed);
        FinishTransfer(irp, inj.ntStatus, (USBD_STATUS)inj.usbdStatus);
    }
}

VOID NTAPI CancelTransfer(PDEVICE_OBJECT device, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&g_frame.lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    SET_COUNTER(held, g_frame.counters[COUNTER_INDEX(held)] - 1);
    KeReleaseSpinLock(&g_frame.lock, irql);
    COUNT(cancelled);
    FinishTransfer(irp, STATUS_CANCELLED, USBD_STATUS_CANCELED);
}

// Takes the oldest held transfer off the list, unless its cancellation has begun
// (the cancel routine then completes it). Called with the lock held.
PIRP TakeHeldLocked()
{
    while (!IsListEmpty(&g_frame.held)) {
        PLIST_ENTRY e = RemoveHeadList(&g_frame.held);
        PIRP irp = CONTAINING_RECORD(e, IRP, Tail.Overlay.ListEntry);
        SET_COUNTER(held, g_frame.counters[COUNTER_INDEX(held)] - 1);
        if (IoSetCancelRoutine(irp, NULL) != NULL)
            return irp;
        // The cancel routine runs: leave it an entry it can unlink.
        InitializeListHead(&irp->Tail.Overlay.ListEntry);
        SET_COUNTER(held, g_frame.counters[COUNTER_INDEX(held)] + 1);
    }
    return NULL;
}

// Pairs held transfers with queued injections, completing outside the lock.
// A completion routine may send the next transfer at once; it is then held or
// paired by its own dispatch, so one pass at a time here is enough.
void Pump()
{
    for (;;) {
        KIRQL irql;
        KeAcquireSpinLock(&g_frame.lock, &irql);
        PIRP irp = NULL;
        VUSB_INJECT inj;
        if (g_frame.injectCount > 0)
            irp = TakeHeldLocked();
        if (irp) {
            inj = g_frame.injections[g_frame.injectHead];
            g_frame.injectHead = (g_frame.injectHead + 1) % VUSB_MAX_INJECTIONS;
            --g_frame.injectCount;
            SET_COUNTER(queued, g_frame.injectCount);
        }
        KeReleaseSpinLock(&g_frame.lock, irql);
        if (!irp)
            return;
        Answer(irp, inj);
    }
}

// Fails every held transfer (removal, abort pipe).
void DropHeld(NTSTATUS status)
{
    for (;;) {
        KIRQL irql;
        KeAcquireSpinLock(&g_frame.lock, &irql);
        PIRP irp = TakeHeldLocked();
        KeReleaseSpinLock(&g_frame.lock, irql);
        if (!irp)
            return;
        COUNT(dropped);
        FinishTransfer(irp, status, UsbdStatusFor(status));
    }
}

bool ValidPipe(USBD_PIPE_HANDLE handle)
{
    PUCHAR p = (PUCHAR)handle;
    return p >= g_pipeCookies && p < g_pipeCookies + g_frame.shape.interfaces * g_frame.shape.endpoints;
}

NTSTATUS InterruptTransfer(PIRP irp, PURB urb)
{
    struct _URB_BULK_OR_INTERRUPT_TRANSFER& t = urb->UrbBulkOrInterruptTransfer;
    COUNT(transfers);
    SET_COUNTER(lastTransferFlags, t.TransferFlags);
    SET_COUNTER(lastTransferLength, t.TransferBufferLength);
    if (!ValidPipe(t.PipeHandle) || !(t.TransferFlags & USBD_TRANSFER_DIRECTION_IN) || !t.TransferBuffer ||
        t.TransferBufferLength == 0) {
        COUNT(badTransfers);
        urb->UrbHeader.Status = USBD_STATUS_INVALID_PARAMETER;
        return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
    }

    KIRQL irql;
    KeAcquireSpinLock(&g_frame.lock, &irql);
    if (g_frame.gone || !g_frame.configured) {
        bool gone = g_frame.gone;
        KeReleaseSpinLock(&g_frame.lock, irql);
        COUNT(dropped);
        NTSTATUS status = gone ? STATUS_DEVICE_NOT_CONNECTED : STATUS_INVALID_DEVICE_STATE;
        urb->UrbHeader.Status = gone ? USBD_STATUS_DEVICE_GONE : USBD_STATUS_INVALID_PIPE_HANDLE;
        return CompleteRequest(irp, status, 0);
    }
    (void)IoSetCancelRoutine(irp, CancelTransfer);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        KeReleaseSpinLock(&g_frame.lock, irql);
        COUNT(cancelled);
        FinishTransfer(irp, STATUS_CANCELLED, USBD_STATUS_CANCELED);
        return STATUS_CANCELLED;
    }
    IoMarkIrpPending(irp);
    urb->UrbHeader.Status = USBD_STATUS_PENDING;
    InsertTailList(&g_frame.held, &irp->Tail.Overlay.ListEntry);
    SET_COUNTER(held, g_frame.counters[COUNTER_INDEX(held)] + 1);
    KeReleaseSpinLock(&g_frame.lock, irql);
    Pump();
    return STATUS_PENDING;
}

// ---------------------------------------------------------------------------
// Control requests and configuration.

NTSTATUS UrbDone(PIRP irp, PURB urb, USBD_STATUS usbd, NTSTATUS status)
{
    urb->UrbHeader.Status = usbd;
    return CompleteRequest(irp, status, 0);
}

NTSTATUS SelectConfiguration(PIRP irp, PURB urb)
{
    struct _URB_SELECT_CONFIGURATION& s = urb->UrbSelectConfiguration;
    if (!s.ConfigurationDescriptor) {
        COUNT(deconfigures);
        g_frame.configured = false;
        SET_COUNTER(configured, 0);
        DropHeld(STATUS_CANCELLED);
        return UrbDone(irp, urb, USBD_STATUS_SUCCESS, STATUS_SUCCESS);
    }
    COUNT(selects);
    // The interface list follows the fixed part; each entry has its own length and
    // room for the pipes of its interface.
    PUCHAR end = (PUCHAR)urb + urb->UrbHeader.Length;
    PUSBD_INTERFACE_INFORMATION iface = &s.Interface;
    const ULONG endpoints = g_frame.shape.endpoints;
    ULONG interfaces = 0;
    while ((PUCHAR)iface + FIELD_OFFSET(USBD_INTERFACE_INFORMATION, Pipes) <= end && iface->Length &&
           (PUCHAR)iface + iface->Length <= end) {
        const ULONG n = iface->InterfaceNumber;
        if (n >= g_frame.shape.interfaces || iface->AlternateSetting != 0 ||
            iface->Length < FIELD_OFFSET(USBD_INTERFACE_INFORMATION, Pipes) + endpoints * sizeof(USBD_PIPE_INFORMATION))
            return UrbDone(irp, urb, USBD_STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER);
        iface->Class = 3;
        iface->SubClass = 0;
        iface->Protocol = 0;
        iface->InterfaceHandle = INTERFACE_HANDLE;
        iface->NumberOfPipes = endpoints;
        for (ULONG e = 0; e < endpoints; ++e) {
            USBD_PIPE_INFORMATION& p = iface->Pipes[e];
            p.MaximumPacketSize = VUSB_REPORT_BYTES;
            p.EndpointAddress = (UCHAR)(VUSB_ENDPOINT + (n * endpoints + e) % 15);
            p.Interval = 10;
            p.PipeType = UsbdPipeTypeInterrupt;
            p.PipeHandle = (USBD_PIPE_HANDLE)&g_pipeCookies[n * endpoints + e];
            if (p.MaximumTransferSize == 0)
                p.MaximumTransferSize = 4096;
        }
        ++interfaces;
        iface = (PUSBD_INTERFACE_INFORMATION)((PUCHAR)iface + iface->Length);
    }
    if (interfaces == 0)
        return UrbDone(irp, urb, USBD_STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER);
    s.ConfigurationHandle = CONFIG_HANDLE;
    g_frame.configured = true;
    SET_COUNTER(configured, 1);
    return UrbDone(irp, urb, USBD_STATUS_SUCCESS, STATUS_SUCCESS);
}

NTSTATUS GetDescriptor(PIRP irp, PURB urb)
{
    struct _URB_CONTROL_DESCRIPTOR_REQUEST& d = urb->UrbControlDescriptorRequest;
    UCHAR device[18] = {18,
                        USB_DEVICE_DESCRIPTOR_TYPE,
                        0x10,
                        0x01,
                        0,
                        0,
                        0,
                        8,
                        (UCHAR)g_frame.idVendor,
                        (UCHAR)(g_frame.idVendor >> 8),
                        (UCHAR)g_frame.idProduct,
                        (UCHAR)(g_frame.idProduct >> 8),
                        0x00,
                        0x01,
                        0,
                        0,
                        0,
                        1};
    const UCHAR* source;
    ULONG size;
    if (d.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE) {
        COUNT(deviceDescReads);
        source = device;
        size = sizeof(device);
    } else if (d.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE && d.Index == 0) {
        COUNT(configDescReads);
        source = g_frame.config;
        size = g_frame.configLength;
    } else {
        COUNT(otherUrbs);
        d.TransferBufferLength = 0;
        return UrbDone(irp, urb, USBD_STATUS_STALL_PID, STATUS_UNSUCCESSFUL);
    }
    if (!d.TransferBuffer)
        return UrbDone(irp, urb, USBD_STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER);
    if (size > d.TransferBufferLength)
        size = d.TransferBufferLength;
    RtlCopyMemory(d.TransferBuffer, source, size);
    d.TransferBufferLength = size;
    return UrbDone(irp, urb, USBD_STATUS_SUCCESS, STATUS_SUCCESS);
}

NTSTATUS ClassRequest(PIRP irp, PURB urb)
{
    struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST& c = urb->UrbControlVendorClassRequest;
    COUNT(classRequests);
    SET_COUNTER(lastClassRequest, c.Request);
    const UCHAR GET_IDLE = 0x02, SET_IDLE = 0x0A;
    bool in = (c.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0;
    if (c.Request == GET_IDLE && in) {
        if (!c.TransferBuffer || c.TransferBufferLength < 1)
            return UrbDone(irp, urb, USBD_STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER);
        *(PUCHAR)c.TransferBuffer = 0;  // idle rate: infinite
        c.TransferBufferLength = 1;
        return UrbDone(irp, urb, USBD_STATUS_SUCCESS, STATUS_SUCCESS);
    }
    if (c.Request == SET_IDLE && !in) {
        c.TransferBufferLength = 0;
        return UrbDone(irp, urb, USBD_STATUS_SUCCESS, STATUS_SUCCESS);
    }
    c.TransferBufferLength = 0;
    return UrbDone(irp, urb, USBD_STATUS_STALL_PID, STATUS_UNSUCCESSFUL);
}

NTSTATUS SubmitUrb(PIRP irp)
{
    PURB urb = UrbOf(irp);
    if (!urb)
        return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
    if (g_frame.gone && urb->UrbHeader.Function != URB_FUNCTION_SELECT_CONFIGURATION)
        return UrbDone(irp, urb, USBD_STATUS_DEVICE_GONE, STATUS_DEVICE_NOT_CONNECTED);
    switch (urb->UrbHeader.Function) {
    case URB_FUNCTION_SELECT_CONFIGURATION:
        return SelectConfiguration(irp, urb);
    case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
        return GetDescriptor(irp, urb);
    case URB_FUNCTION_CLASS_INTERFACE:
        return ClassRequest(irp, urb);
    case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
        return InterruptTransfer(irp, urb);
    case URB_FUNCTION_ABORT_PIPE:
        COUNT(otherUrbs);
        DropHeld(STATUS_CANCELLED);
        return UrbDone(irp, urb, USBD_STATUS_SUCCESS, STATUS_SUCCESS);
    case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
        COUNT(otherUrbs);
        return UrbDone(irp, urb, USBD_STATUS_SUCCESS, STATUS_SUCCESS);
    default:
        COUNT(otherUrbs);
        return UrbDone(irp, urb, USBD_STATUS_INVALID_URB_FUNCTION, STATUS_NOT_SUPPORTED);
    }
}

NTSTATUS FrameInternalControl(PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_INTERNAL_USB_SUBMIT_URB:
        return SubmitUrb(irp);
    case IOCTL_INTERNAL_USB_RESET_PORT: {
        COUNT(resets);
        NTSTATUS status = g_frame.gone ? STATUS_DEVICE_NOT_CONNECTED : g_frame.resetStatus;
        return CompleteRequest(irp, status, 0);
    }
    case IOCTL_INTERNAL_USB_GET_PORT_STATUS: {
        COUNT(portQueries);
        PULONG out = (PULONG)sp->Parameters.Others.Argument1;
        if (!out)
            return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
        *out = (!g_frame.gone && g_frame.portConnected) ? (USBD_PORT_CONNECTED | USBD_PORT_ENABLED) : 0;
        return CompleteRequest(irp, STATUS_SUCCESS, 0);
    }
    default:
        COUNT(otherIoctls);
        return CompleteRequest(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

// ---------------------------------------------------------------------------
// The frame's PnP and power requests.

// chars includes every terminator
PWCHAR PoolString(const WCHAR* text, ULONG chars)
{
    return (PWCHAR)kutil::PoolCopy(PagedPool, text, chars * sizeof(WCHAR), TAG);
}

#define POOL_STRING(lit) PoolString(lit, sizeof(lit) / sizeof(WCHAR))

// "USB\VID_vvvv&PID_pppp" and its zero: 22 characters.
void DeviceId(PWCHAR out, USHORT vendor, USHORT product)
{
    const WCHAR prefix[] = WSTR("USB\\VID_"), middle[] = WSTR("&PID_");
    const char* hex = "0123456789ABCDEF";
    ULONG n = 0;
    for (ULONG i = 0; prefix[i]; ++i)
        out[n++] = prefix[i];
    for (int shift = 12; shift >= 0; shift -= 4)
        out[n++] = (WCHAR)hex[(vendor >> shift) & 0xF];
    for (ULONG i = 0; middle[i]; ++i)
        out[n++] = middle[i];
    for (int shift = 12; shift >= 0; shift -= 4)
        out[n++] = (WCHAR)hex[(product >> shift) & 0xF];
    out[n] = 0;
}

NTSTATUS QueryId(PIRP irp)
{
    PWCHAR id = NULL;
    switch (IoGetCurrentIrpStackLocation(irp)->Parameters.QueryId.IdType) {
    case BusQueryDeviceID:
    case BusQueryHardwareIDs: {
        // "USB\VID_vvvv&PID_pppp", and as hardware ids that with "&REV_0100", then alone.
        WCHAR device[22], ids[22 + 9 + 1 + 22 + 1 + 1];
        DeviceId(device, g_frame.shape.vendor, g_frame.shape.product);
        if (IoGetCurrentIrpStackLocation(irp)->Parameters.QueryId.IdType == BusQueryDeviceID) {
            id = PoolString(device, 22);
            break;
        }
        const WCHAR rev[] = WSTR("&REV_0100");
        ULONG n = 0;
        for (ULONG i = 0; i < 21; ++i)
            ids[n++] = device[i];
        for (ULONG i = 0; i < 9; ++i)
            ids[n++] = rev[i];
        ids[n++] = 0;
        for (ULONG i = 0; i < 22; ++i)
            ids[n++] = device[i];
        ids[n++] = 0;
        id = PoolString(ids, n);
        break;
    }
    case BusQueryCompatibleIDs:
        id = POOL_STRING(WSTR("USB\\Class_03&SubClass_00&Prot_00\0USB\\Class_03&SubClass_00\0USB\\Class_03\0"));
        break;
    case BusQueryInstanceID:
        id = POOL_STRING(WSTR("1"));
        break;
    default:
        return CompleteRequest(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    if (!id)
        return CompleteRequest(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    return CompleteRequest(irp, STATUS_SUCCESS, (ULONG_PTR)id);
}

NTSTATUS QueryText(PIRP irp)
{
    PWCHAR text = NULL;
    switch (IoGetCurrentIrpStackLocation(irp)->Parameters.QueryDeviceText.DeviceTextType) {
    case DeviceTextDescription:
        text = POOL_STRING(WSTR("USB infrared touch frame (test bench)"));
        break;
    case DeviceTextLocationInformation:
        text = POOL_STRING(WSTR("Port_#0001.Hub_#0001"));
        break;
    default:
        return CompleteRequest(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    if (!text)
        return CompleteRequest(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    return CompleteRequest(irp, STATUS_SUCCESS, (ULONG_PTR)text);
}

NTSTATUS QueryCapabilities(PIRP irp)
{
    COUNT(capsQueries);
    PDEVICE_CAPABILITIES caps = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceCapabilities.Capabilities;
    if (!caps || caps->Version != 1 || caps->Size < sizeof(DEVICE_CAPABILITIES))
        return CompleteRequest(irp, STATUS_UNSUCCESSFUL, 0);
    caps->Removable = TRUE;
    caps->SurpriseRemovalOK = TRUE;
    caps->UniqueID = FALSE;
    caps->RawDeviceOK = FALSE;
    caps->Address = 1;
    caps->UINumber = 1;
    caps->DeviceState[PowerSystemWorking] = PowerDeviceD0;
    for (int s = PowerSystemSleeping1; s < PowerSystemMaximum; ++s)
        caps->DeviceState[s] = PowerDeviceD3;
    caps->SystemWake = PowerSystemUnspecified;
    caps->DeviceWake = PowerDeviceUnspecified;
    return CompleteRequest(irp, STATUS_SUCCESS, 0);
}

NTSTATUS RelationsOf(PIRP irp, PDEVICE_OBJECT member)
{
    PDEVICE_RELATIONS rel = (PDEVICE_RELATIONS)ExAllocatePoolWithTag(PagedPool, sizeof(DEVICE_RELATIONS), TAG);
    if (!rel)
        return STATUS_INSUFFICIENT_RESOURCES;
    rel->Count = 0;
    if (member) {
        ObReferenceObject(member);
        rel->Objects[rel->Count++] = member;
    }
    irp->IoStatus.Information = (ULONG_PTR)rel;
    return STATUS_SUCCESS;
}

NTSTATUS FramePnp(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE:
        COUNT(starts);
        g_frame.gone = false;
        return CompleteRequest(irp, STATUS_SUCCESS, 0);
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        return CompleteRequest(irp, STATUS_SUCCESS, 0);
    case IRP_MN_SURPRISE_REMOVAL:
        COUNT(surpriseRemovals);
        g_frame.gone = true;
        DropHeld(STATUS_DEVICE_NOT_CONNECTED);
        return CompleteRequest(irp, STATUS_SUCCESS, 0);
    case IRP_MN_REMOVE_DEVICE: {
        COUNT(removes);
        g_frame.gone = true;
        g_frame.configured = false;
        SET_COUNTER(configured, 0);
        DropHeld(STATUS_DEVICE_NOT_CONNECTED);
        // A frame that is still plugged in stays until its bus goes.
        bool remove = !g_frame.present || !g_bus || g_bus->removed;
        CompleteRequest(irp, STATUS_SUCCESS, 0);
        if (remove && g_framePdo == device) {
            g_framePdo = NULL;
            IoDeleteDevice(device);
        }
        return STATUS_SUCCESS;
    }
    case IRP_MN_QUERY_ID:
        return QueryId(irp);
    case IRP_MN_QUERY_DEVICE_TEXT:
        return QueryText(irp);
    case IRP_MN_QUERY_CAPABILITIES:
        return QueryCapabilities(irp);
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (sp->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
            NTSTATUS status = RelationsOf(irp, device);
            return CompleteRequest(irp, status, irp->IoStatus.Information);
        }
        return CompleteRequest(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    case IRP_MN_QUERY_BUS_INFORMATION: {
        PPNP_BUS_INFORMATION info =
            (PPNP_BUS_INFORMATION)ExAllocatePoolWithTag(PagedPool, sizeof(PNP_BUS_INFORMATION), TAG);
        if (!info)
            return CompleteRequest(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
        info->BusTypeGuid = GUID_BUS_TYPE_USB;
        info->LegacyBusType = PNPBus;
        info->BusNumber = 0;
        return CompleteRequest(irp, STATUS_SUCCESS, (ULONG_PTR)info);
    }
    default:
        return CompleteRequest(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
}

// ---------------------------------------------------------------------------
// The bus's own PnP requests.

NTSTATUS NTAPI SignalEvent(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    if (irp->PendingReturned)
        KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS ForwardAndWait(BusExtension* bus, PIRP irp)
{
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
    NTSTATUS status = IoCallDriver(bus->lower, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
        status = irp->IoStatus.Status;
    }
    return status;
}

NTSTATUS PassDown(BusExtension* bus, PIRP irp) { return kutil::ForwardAndForget(bus->lower, irp); }

// The configuration descriptor of g_frame.shape.
void BuildConfig()
{
    const FrameShape& f = g_frame.shape;
    PUCHAR c = g_frame.config;
    ULONG n = 0;
    const UCHAR head[] = {9, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, (UCHAR)f.interfaces, 1, 0, 0xA0, 50};
    for (UCHAR b : head)
        c[n++] = b;
    for (ULONG i = 0; i < f.interfaces; ++i) {
        const UCHAR iface[] = {9, USB_INTERFACE_DESCRIPTOR_TYPE, (UCHAR)i, 0, (UCHAR)f.endpoints, 3, 0, 0, 0};
        const UCHAR hid[] = {9, 0x21, 0x10, 0x01, 0, 1, 0x22, 50, 0};
        for (UCHAR b : iface)
            c[n++] = b;
        for (UCHAR b : hid)
            c[n++] = b;
        for (ULONG e = 0; e < f.endpoints; ++e) {
            const UCHAR endpoint[] = {7,
                                      USB_ENDPOINT_DESCRIPTOR_TYPE,
                                      (UCHAR)(VUSB_ENDPOINT + (i * f.endpoints + e) % 15),
                                      USB_ENDPOINT_TYPE_INTERRUPT,
                                      VUSB_REPORT_BYTES,
                                      0,
                                      10};
            for (UCHAR b : endpoint)
                c[n++] = b;
        }
    }
    c[2] = (UCHAR)n;
    c[3] = (UCHAR)(n >> 8);
    g_frame.configLength = n;
}

NTSTATUS CreateFrame()
{
    if (g_framePdo)
        return STATUS_SUCCESS;
    g_frame.shape = g_frame.next;
    BuildConfig();
    PDEVICE_OBJECT pdo;
    NTSTATUS status = IoCreateDevice(g_bus->self->DriverObject, sizeof(FrameExtension), NULL, FILE_DEVICE_UNKNOWN,
                                     FILE_AUTOGENERATED_DEVICE_NAME | FILE_DEVICE_SECURE_OPEN, FALSE, &pdo);
    if (!NT_SUCCESS(status))
        return status;
    FrameExtension* ext = (FrameExtension*)pdo->DeviceExtension;
    ext->kind = KIND_FRAME;
    ext->self = pdo;
    pdo->Flags |= DO_POWER_PAGABLE;
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    g_frame.gone = false;
    g_framePdo = pdo;
    return STATUS_SUCCESS;
}

void DeleteControlDevice()
{
    if (!g_control)
        return;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, WSTR(VUSB_CTL_LINK_NAME));
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(g_control);
    g_control = NULL;
}

NTSTATUS BusPnp(BusExtension* bus, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;
    switch (sp->MinorFunction) {
    case IRP_MN_START_DEVICE:
        status = ForwardAndWait(bus, irp);
        if (NT_SUCCESS(status)) {
            bus->started = true;
            if (g_frame.present && NT_SUCCESS(CreateFrame()))
                IoInvalidateDeviceRelations(bus->pdo, BusRelations);
        }
        return CompleteRequest(irp, status, irp->IoStatus.Information);
    case IRP_MN_QUERY_DEVICE_RELATIONS:
        if (sp->Parameters.QueryDeviceRelations.Type == BusRelations) {
            status = RelationsOf(irp, g_frame.present ? g_framePdo : NULL);
            if (!NT_SUCCESS(status))
                return CompleteRequest(irp, status, 0);
            irp->IoStatus.Status = STATUS_SUCCESS;
        }
        return PassDown(bus, irp);
    case IRP_MN_SURPRISE_REMOVAL:
        g_frame.gone = true;
        DropHeld(STATUS_DEVICE_NOT_CONNECTED);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return PassDown(bus, irp);
    case IRP_MN_REMOVE_DEVICE: {
        bus->removed = true;
        g_frame.gone = true;
        DropHeld(STATUS_DEVICE_NOT_CONNECTED);
        if (g_framePdo) {
            PDEVICE_OBJECT pdo = g_framePdo;
            g_framePdo = NULL;
            IoDeleteDevice(pdo);
        }
        DeleteControlDevice();
        irp->IoStatus.Status = STATUS_SUCCESS;
        status = PassDown(bus, irp);
        PDEVICE_OBJECT self = bus->self;
        IoDetachDevice(bus->lower);
        g_bus = NULL;
        IoDeleteDevice(self);
        return status;
    }
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

// ---------------------------------------------------------------------------
// The control device.

NTSTATUS Inject(PIRP irp, ULONG inLength, ULONG outLength)
{
    if (inLength != sizeof(VUSB_INJECT))
        return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
    const VUSB_INJECT* in = (const VUSB_INJECT*)irp->AssociatedIrp.SystemBuffer;
    if ((in->kind == VUSB_INJECT_DATA && in->length > VUSB_REPORT_BYTES) ||
        (in->kind == VUSB_INJECT_FAIL && NT_SUCCESS(in->ntStatus)) || in->kind > VUSB_INJECT_FAIL)
        return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
    KIRQL irql;
    KeAcquireSpinLock(&g_frame.lock, &irql);
    if (g_frame.injectCount == VUSB_MAX_INJECTIONS) {
        KeReleaseSpinLock(&g_frame.lock, irql);
        return CompleteRequest(irp, STATUS_DEVICE_BUSY, 0);
    }
    ULONG heldBefore = (ULONG)g_frame.counters[COUNTER_INDEX(held)];
    g_frame.injections[(g_frame.injectHead + g_frame.injectCount) % VUSB_MAX_INJECTIONS] = *in;
    ++g_frame.injectCount;
    SET_COUNTER(queued, g_frame.injectCount);
    KeReleaseSpinLock(&g_frame.lock, irql);
    Pump();
    ULONG_PTR info = 0;
    if (outLength >= sizeof(ULONG)) {
        *(PULONG)irp->AssociatedIrp.SystemBuffer = heldBefore > 0 ? 1 : 0;
        info = sizeof(ULONG);
    }
    return CompleteRequest(irp, STATUS_SUCCESS, info);
}

// The bus as a consumer: one internal read at the top of the frame's stack.
struct ConsumerRead {
    PDEVICE_OBJECT target;  // referenced until the read completes
    UCHAR buffer[64];
};

NTSTATUS NTAPI ConsumerReadDone(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    ConsumerRead* read = (ConsumerRead*)context;
    ULONG bytes = (ULONG)irp->IoStatus.Information;
    SET_COUNTER(consumerStatus, irp->IoStatus.Status);
    SET_COUNTER(consumerBytes, bytes);
    if (NT_SUCCESS(irp->IoStatus.Status) && bytes >= 5) {
        SET_COUNTER(consumerCode, read->buffer[0]);
        SET_COUNTER(consumerX, read->buffer[1] | (read->buffer[2] << 8));
        SET_COUNTER(consumerY, read->buffer[3] | (read->buffer[4] << 8));
    }
    ObDereferenceObject(read->target);
    ExFreePool(read);
    IoFreeIrp(irp);
    SET_COUNTER(consumerHeld, 0);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS StartConsumerRead(PIRP request, ULONG inLength)
{
    if (inLength != sizeof(ULONG))
        return CompleteRequest(request, STATUS_INVALID_PARAMETER, 0);
    ULONG length = *(PULONG)request->AssociatedIrp.SystemBuffer;
    if (length > sizeof(((ConsumerRead*)0)->buffer))
        return CompleteRequest(request, STATUS_INVALID_PARAMETER, 0);
    if (!g_framePdo || g_frame.gone)
        return CompleteRequest(request, STATUS_DEVICE_NOT_CONNECTED, 0);
    if (InterlockedCompareExchange(&g_frame.counters[COUNTER_INDEX(consumerHeld)], 1, 0) != 0)
        return CompleteRequest(request, STATUS_DEVICE_BUSY, 0);
    ConsumerRead* read = (ConsumerRead*)ExAllocatePoolWithTag(NonPagedPool, sizeof(ConsumerRead), TAG);
    PDEVICE_OBJECT target = IoGetAttachedDeviceReference(g_framePdo);
    PIRP irp = read ? IoAllocateIrp(target->StackSize, FALSE) : NULL;
    if (!irp) {
        if (read)
            ExFreePool(read);
        ObDereferenceObject(target);
        SET_COUNTER(consumerHeld, 0);
        return CompleteRequest(request, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    RtlZeroMemory(read->buffer, sizeof(read->buffer));
    read->target = target;
    irp->AssociatedIrp.SystemBuffer = read->buffer;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_ZELKO_READ_EVENT;
    next->Parameters.DeviceIoControl.OutputBufferLength = length;
    next->Parameters.DeviceIoControl.InputBufferLength = 0;
    IoSetCompletionRoutine(irp, ConsumerReadDone, read, TRUE, TRUE, TRUE);
    COUNT(consumerReads);
    IoCallDriver(target, irp);
    return CompleteRequest(request, STATUS_SUCCESS, 0);
}

NTSTATUS Plug(PIRP irp, ULONG inLength)
{
    if (inLength != sizeof(ULONG))
        return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
    bool present = *(PULONG)irp->AssociatedIrp.SystemBuffer != 0;
    if (!g_bus || !g_bus->started)
        return CompleteRequest(irp, STATUS_DEVICE_NOT_READY, 0);
    if (present && !g_frame.present) {
        if (g_framePdo)  // the old one is not gone yet
            return CompleteRequest(irp, STATUS_DEVICE_BUSY, 0);
        g_frame.present = true;
        NTSTATUS status = CreateFrame();
        if (!NT_SUCCESS(status)) {
            g_frame.present = false;
            return CompleteRequest(irp, status, 0);
        }
    } else if (!present && g_frame.present) {
        g_frame.present = false;
    }
    SET_COUNTER(present, g_frame.present ? 1 : 0);
    IoInvalidateDeviceRelations(g_bus->pdo, BusRelations);
    return CompleteRequest(irp, STATUS_SUCCESS, 0);
}

NTSTATUS ControlRequest(PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG inLength = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = sp->Parameters.DeviceIoControl.OutputBufferLength;
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_VUSB_INJECT:
        return Inject(irp, inLength, outLength);
    case IOCTL_VUSB_SET: {
        if (inLength != sizeof(VUSB_SETTINGS))
            return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
        const VUSB_SETTINGS* in = (const VUSB_SETTINGS*)irp->AssociatedIrp.SystemBuffer;
        if (in->mask & VUSB_SET_PORT)
            g_frame.portConnected = in->portConnected;
        if (in->mask & VUSB_SET_RESET_STATUS)
            g_frame.resetStatus = in->resetStatus;
        if ((in->mask & VUSB_SET_FRAME) &&
            (in->frameInterfaces > VUSB_MAX_INTERFACES || in->frameEndpoints > VUSB_MAX_ENDPOINTS))
            return CompleteRequest(irp, STATUS_INVALID_PARAMETER, 0);
        if (in->mask & VUSB_SET_IDS) {
            g_frame.idVendor = in->idVendor;
            g_frame.idProduct = in->idProduct;
        }
        if (in->mask & VUSB_SET_FRAME) {
            g_frame.next.vendor = in->frameVendor;
            g_frame.next.product = in->frameProduct;
            g_frame.next.interfaces = in->frameInterfaces;
            g_frame.next.endpoints = in->frameEndpoints;
            g_frame.idVendor = in->frameVendor;
            g_frame.idProduct = in->frameProduct;
        }
        return CompleteRequest(irp, STATUS_SUCCESS, 0);
    }
    case IOCTL_VUSB_COUNTERS: {
        if (outLength < sizeof(VUSB_COUNTERS))
            return CompleteRequest(irp, STATUS_BUFFER_TOO_SMALL, 0);
        PULONG out = (PULONG)irp->AssociatedIrp.SystemBuffer;
        for (ULONG i = 0; i < sizeof(VUSB_COUNTERS) / sizeof(ULONG); ++i)
            out[i] = (ULONG)g_frame.counters[i];
        return CompleteRequest(irp, STATUS_SUCCESS, sizeof(VUSB_COUNTERS));
    }
    case IOCTL_VUSB_PLUG:
        return Plug(irp, inLength);
    case IOCTL_VUSB_CONSUMER_READ:
        return StartConsumerRead(irp, inLength);
    default:
        return CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

// ---------------------------------------------------------------------------
// Dispatch.

DeviceKind KindOf(PDEVICE_OBJECT device) { return *(DeviceKind*)device->DeviceExtension; }

NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) { return CompleteRequest(irp, STATUS_SUCCESS, 0); }

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    if (KindOf(device) == KIND_CONTROL)
        return ControlRequest(irp);
    if (KindOf(device) == KIND_BUS)
        return PassDown((BusExtension*)device->DeviceExtension, irp);
    return CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

NTSTATUS NTAPI DispatchInternalControl(PDEVICE_OBJECT device, PIRP irp)
{
    if (KindOf(device) == KIND_FRAME)
        return FrameInternalControl(irp);
    if (KindOf(device) == KIND_BUS)
        return PassDown((BusExtension*)device->DeviceExtension, irp);
    return CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp)
{
    switch (KindOf(device)) {
    case KIND_FRAME:
        return FramePnp(device, irp);
    case KIND_BUS:
        return BusPnp((BusExtension*)device->DeviceExtension, irp);
    default:
        return CompleteRequest(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp)
{
    PoStartNextPowerIrp(irp);
    if (KindOf(device) == KIND_BUS) {
        IoSkipCurrentIrpStackLocation(irp);
        return PoCallDriver(((BusExtension*)device->DeviceExtension)->lower, irp);
    }
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (KindOf(device) == KIND_FRAME &&
        (sp->MinorFunction == IRP_MN_SET_POWER || sp->MinorFunction == IRP_MN_QUERY_POWER))
        return CompleteRequest(irp, STATUS_SUCCESS, 0);
    return CompleteRequest(irp, irp->IoStatus.Status, irp->IoStatus.Information);
}

NTSTATUS NTAPI DispatchOther(PDEVICE_OBJECT device, PIRP irp)
{
    if (KindOf(device) == KIND_BUS)
        return PassDown((BusExtension*)device->DeviceExtension, irp);
    return CompleteRequest(irp, irp->IoStatus.Status, irp->IoStatus.Information);
}

NTSTATUS CreateControlDevice(PDRIVER_OBJECT driver)
{
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, WSTR(VUSB_CTL_DEVICE_NAME));
    RtlInitUnicodeString(&link, WSTR(VUSB_CTL_LINK_NAME));
    PDEVICE_OBJECT control;
    NTSTATUS status = IoCreateDevice(driver, sizeof(ControlExtension), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
    if (!NT_SUCCESS(status))
        return status;
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(control);
        return status;
    }
    ((ControlExtension*)control->DeviceExtension)->kind = KIND_CONTROL;
    control->Flags |= DO_BUFFERED_IO;
    control->Flags &= ~DO_DEVICE_INITIALIZING;
    g_control = control;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo)
{
    if (g_bus)
        return STATUS_DEVICE_ALREADY_ATTACHED;  // one bus at a time
    PDEVICE_OBJECT fdo;
    NTSTATUS status = IoCreateDevice(driver, sizeof(BusExtension), NULL, FILE_DEVICE_BUS_EXTENDER,
                                     FILE_DEVICE_SECURE_OPEN, FALSE, &fdo);
    if (!NT_SUCCESS(status))
        return status;
    BusExtension* bus = (BusExtension*)fdo->DeviceExtension;
    RtlZeroMemory(bus, sizeof(*bus));
    bus->kind = KIND_BUS;
    bus->self = fdo;
    bus->pdo = pdo;
    bus->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    if (!bus->lower) {
        IoDeleteDevice(fdo);
        return STATUS_NO_SUCH_DEVICE;
    }
    status = CreateControlDevice(driver);
    if (!NT_SUCCESS(status)) {
        IoDetachDevice(bus->lower);
        IoDeleteDevice(fdo);
        return status;
    }
    g_frame.present = true;
    g_frame.gone = false;
    SET_COUNTER(present, 1);
    g_bus = bus;
    fdo->Flags |= DO_POWER_PAGABLE;
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

VOID NTAPI Unload(PDRIVER_OBJECT driver) {}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    RtlZeroMemory(&g_frame, sizeof(g_frame));
    KeInitializeSpinLock(&g_frame.lock);
    InitializeListHead(&g_frame.held);
    g_frame.portConnected = 1;
    g_frame.resetStatus = STATUS_SUCCESS;
    g_frame.idVendor = VUSB_VENDOR_ID;
    g_frame.idProduct = VUSB_PRODUCT_ID;
    g_frame.next.vendor = VUSB_VENDOR_ID;
    g_frame.next.product = VUSB_PRODUCT_ID;
    g_frame.next.interfaces = 1;
    g_frame.next.endpoints = 1;
    for (ULONG i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = DispatchOther;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}

}  // namespace vusb

DRIVER_ENTRY_EXPORT(vusb)
