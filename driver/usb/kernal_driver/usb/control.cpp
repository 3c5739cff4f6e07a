// Zelko's control interface: the tool's command and event requests, the
// consumers' waiting reads, and the hand-off from the report path.
#include "zelko.h"

namespace zelko {

namespace {

using kutil::CompleteIrp;

void WriteShortEvent(PVOID buffer, UCHAR code, USHORT x, USHORT y)
{
    uint8_t* p = (uint8_t*)buffer;
    p[0] = code;
    ZelkoPutU16(p + 1, x);
    ZelkoPutU16(p + 3, y);
}

bool TakeEvent(PDEVICE_EXTENSION dx, UCHAR* code, USHORT* x, USHORT* y)
{
    KIRQL irql;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
    bool found = GetDataInput(dx->inputQueue, code, x, y);
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    return found;
}

NTSTATUS Command(PDEVICE_EXTENSION dx, PIRP irp, ULONG inputLength)
{
    if (!__atomic_load_n(&dx->consumerSeen, __ATOMIC_ACQUIRE)) {
        // A consumer that missed the interface's arrival sees it again. The
        // interface is enabled only while the PnP manager has the device
        // started: a stopped or surprise-removed device's stays off.
        AbortPendingReads();
        KIRQL irql;
        KeAcquireSpinLock(&dx->ioLock, &irql);
        const bool started = dx->started != 0;
        KeReleaseSpinLock(&dx->ioLock, irql);
        if (started) {
            IoSetDeviceInterfaceState(&dx->interfaceName, FALSE);
            IoSetDeviceInterfaceState(&dx->interfaceName, TRUE);
        }
    }
    const UCHAR* record = (const UCHAR*)irp->AssociatedIrp.SystemBuffer;
    if (inputLength != ZELKO_COMMAND_BYTES || !record)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    KIRQL irql;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);  // the report path reads them
    dx->touch.stableCounter = 0;
    if (record[0] == CMD_RAW_ON)
        dx->touch.rawMode = true;
    else if (record[0] == CMD_RAW_OFF)
        dx->touch.rawMode = false;
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    switch (record[0]) {
    case CMD_RELOAD:
        KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
        dx->settings.settingsLoaded = false;
        KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
        LoadToolSettings(dx);
        LoadServiceSettings(dx);
        break;
    default:
        break;
    }
    return CompleteIrp(irp, STATUS_SUCCESS, 0);
}

NTSTATUS GetEvent(PDEVICE_EXTENSION dx, PIRP irp, ULONG outputLength)
{
    uint8_t* record = (uint8_t*)irp->AssociatedIrp.SystemBuffer;
    if (outputLength != ZELKO_EVENT_BYTES || !record)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    UCHAR code;
    USHORT x, y;
    ZelkoPutU32(record, 0);
    if (TakeEvent(dx, &code, &x, &y)) {
        ZelkoPutU32(record + 4, x);
        ZelkoPutU32(record + 8, y);
        ZelkoPutU32(record + 12, code);
    } else {
        ZelkoPutU32(record + 4, ZELKO_NO_EVENT);
        ZelkoPutU32(record + 8, ZELKO_NO_EVENT);
        ZelkoPutU32(record + 12, ZELKO_NO_EVENT);
    }
    return CompleteIrp(irp, STATUS_SUCCESS, ZELKO_EVENT_BYTES);
}

NTSTATUS ReadEvent(PDEVICE_EXTENSION dx, PIRP irp, ULONG outputLength)
{
    if (!__atomic_load_n(&dx->consumerSeen, __ATOMIC_ACQUIRE))
        __atomic_store_n(&dx->consumerSeen, (UCHAR)1, __ATOMIC_RELEASE);  // set once and never cleared
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    if (outputLength < ZELKO_SHORT_EVENT_BYTES || !buffer)
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);

    // The entry is allocated before the queue is looked at, so that finding the
    // queue empty and holding the request are one step under the lock: an event
    // never waits in the queue while a read waits in the list.
    auto* entry = (PENDING_READ*)ExAllocatePoolWithTag(NonPagedPool, sizeof(PENDING_READ), ZELKO_TAG);
    UCHAR code;
    USHORT x, y;
    KIRQL irql;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
    if (GetDataInput(dx->inputQueue, &code, &x, &y)) {
        KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
        if (entry)
            ExFreePool(entry);
        WriteShortEvent(buffer, code, x, y);
        return CompleteIrp(irp, STATUS_SUCCESS, ZELKO_SHORT_EVENT_BYTES);
    }
    if (!entry) {
        KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
        return CompleteIrp(irp, STATUS_NO_MEMORY, 0);
    }
    if (dx->removed) {
        KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
        ExFreePool(entry);
        return CompleteIrp(irp, STATUS_DELETE_PENDING, 0);
    }
    entry->irp = irp;
    IoMarkIrpPending(irp);
    InsertTailList(&g_zelko.pendingReadList, &entry->links);
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    return STATUS_PENDING;
}

// With the lock held: takes the oldest held read off the list and fills it with
// the oldest event, if any. Null when no read is held.
PENDING_READ* TakeHeldReadLocked(PDEVICE_EXTENSION dx, ULONG_PTR* information)
{
    *information = 0;
    if (IsListEmpty(&g_zelko.pendingReadList))
        return NULL;
    auto* entry = CONTAINING_RECORD(RemoveHeadList(&g_zelko.pendingReadList), PENDING_READ, links);
    PIRP irp = entry->irp;
    if (IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength >= ZELKO_SHORT_EVENT_BYTES) {
        UCHAR code;
        USHORT x, y;
        if (GetDataInput(dx->inputQueue, &code, &x, &y)) {
            WriteShortEvent(irp->AssociatedIrp.SystemBuffer, code, x, y);
            *information = ZELKO_SHORT_EVENT_BYTES;
        }
    }
    return entry;
}

// Outside the lock: the held read ends with what it was given.
void CompleteHeldRead(PENDING_READ* entry, ULONG_PTR information)
{
    PIRP irp = entry->irp;
    ExFreePool(entry);
    CompleteIrp(irp, STATUS_SUCCESS, information);
}

}  // namespace

void ProcessReport(PDEVICE_EXTENSION dx, const UCHAR* report)
{
    LARGE_INTEGER ticks;
    KeQueryTickCount(&ticks);
    TouchClock clock;
    clock.ticks = (uint64_t)ticks.QuadPart;
    clock.tickLength = KeQueryTimeIncrement();
    TouchContext ctx = {dx->settings, dx->touch, g_zelko.window};
    ReportResult result;
    // One pass under the lock: the touch state and settings (which a command
    // changes on another processor), the report's events into the queue, then
    // the oldest to the oldest held read.
    KIRQL irql;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
    InterpretReport(ctx, *(const TouchReport*)report, clock, result);
    if (!result.count && !result.completeHeldRead) {
        KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
        return;
    }
    for (unsigned i = 0; i < result.count; ++i)
        SaveInputData(dx->inputQueue, result.events[i].code, result.events[i].x, result.events[i].y);
    ULONG_PTR information = 0;
    PENDING_READ* held = result.completeHeldRead ? TakeHeldReadLocked(dx, &information) : NULL;
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    if (held)
        CompleteHeldRead(held, information);
}

void ProcessOnePendingIrp(PDEVICE_EXTENSION dx)
{
    KIRQL irql;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
    ULONG_PTR information;
    PENDING_READ* held = TakeHeldReadLocked(dx, &information);
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    if (held)
        CompleteHeldRead(held, information);
}

namespace {

// Takes every held read (or those sent for `file` only) off the list under the
// lock, then ends them with STATUS_CANCELLED outside it.
void AbortHeldReads(bool all, PFILE_OBJECT file)
{
    LIST_ENTRY taken;
    InitializeListHead(&taken);
    KIRQL irql;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
    for (PLIST_ENTRY e = g_zelko.pendingReadList.Flink; e != &g_zelko.pendingReadList;) {
        PLIST_ENTRY next = e->Flink;
        auto* entry = CONTAINING_RECORD(e, PENDING_READ, links);
        if (all || IoGetCurrentIrpStackLocation(entry->irp)->FileObject == file) {
            RemoveEntryList(e);
            InsertTailList(&taken, e);
        }
        e = next;
    }
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    while (!IsListEmpty(&taken)) {
        auto* entry = CONTAINING_RECORD(RemoveHeadList(&taken), PENDING_READ, links);
        PIRP irp = entry->irp;
        ExFreePool(entry);
        CompleteIrp(irp, STATUS_CANCELLED, 0);
    }
}

}  // namespace

void AbortPendingReads() { AbortHeldReads(true, NULL); }

void AbortFileReads(PFILE_OBJECT file) { AbortHeldReads(false, file); }

NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) { return CompleteIrp(irp, STATUS_SUCCESS, 0); }

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_ZELKO_COMMAND:
        return Command(dx, irp, sp->Parameters.DeviceIoControl.InputBufferLength);
    case IOCTL_ZELKO_GET_EVENT:
        return GetEvent(dx, irp, sp->Parameters.DeviceIoControl.OutputBufferLength);
    default:
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    }
}

NTSTATUS NTAPI DispatchInternalDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    auto* dx = (PDEVICE_EXTENSION)device->DeviceExtension;
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    switch (sp->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_ZELKO_READ_EVENT:
        return ReadEvent(dx, irp, sp->Parameters.DeviceIoControl.OutputBufferLength);
    case IOCTL_ZELKO_CANCEL_READS:
        // A consumer ends its own reads: another consumer's stay held.
        AbortFileReads(sp->FileObject);
        return CompleteIrp(irp, STATUS_SUCCESS, 0);
    default:
        return CompleteIrp(irp, STATUS_INVALID_PARAMETER, 0);
    }
}

}  // namespace zelko
