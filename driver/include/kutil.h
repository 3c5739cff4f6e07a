// Small kernel helpers every driver of the package uses the same way.
#pragma once

#include "ddk.h"

// KTRACE(("Zelko: ... (%08x)\n", status)): one line in the debugger's log naming
// the call whose failure the driver otherwise drops without a word (a failed
// start, reads stopped, retries used up). Empty in the product build; the
// simulated kernel prints it with SIMKERNEL_DEBUG set, and a test build for the
// Wine benches defines KUTIL_TRACE to have it in their logs.
#if defined(SIMKERNEL) || defined(KUTIL_TRACE)
#define KTRACE(args) DbgPrint args
#else
#define KTRACE(args) ((void)0)
#endif

namespace kutil {

// Completes a request with its status and byte count, no priority boost.
inline NTSTATUS CompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// A pause at passive level: a wait on an event nobody signals, with a relative
// time-out in 100-ns units.
inline void WaitAmoment(LONGLONG hundredNs)
{
    KEVENT never;
    KeInitializeEvent(&never, NotificationEvent, FALSE);
    LARGE_INTEGER timeout;
    timeout.QuadPart = -hundredNs;
    KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &timeout);
}

// Completion routine that hands a request back to a waiting sender.
inline NTSTATUS NTAPI SignalEventCompletion(PDEVICE_OBJECT, PIRP, PVOID context)
{
    KeSetEvent((PKEVENT)context, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// Forward and forget: passes a request down unchanged (its stack location
// skipped); the lower drivers complete it. Returns what the call returned.
inline NTSTATUS ForwardAndForget(PDEVICE_OBJECT lower, PIRP irp)
{
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(lower, irp);
}

// The same for a power request: the next one may start, then PoCallDriver.
inline NTSTATUS ForwardPowerAndForget(PDEVICE_OBJECT lower, PIRP irp)
{
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(lower, irp);
}

// Forward and wait: passes a request down and waits until the lower drivers have completed it;
// the request is then the caller's again, to complete. Returns its status.
inline NTSTATUS ForwardAndWait(PDEVICE_OBJECT lower, PIRP irp)
{
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, SignalEventCompletion, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(lower, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    return irp->IoStatus.Status;
}

// A copy of a block in pool memory (a PnP id or text answer, which its receiver
// frees); null when there is no memory.
inline PVOID PoolCopy(POOL_TYPE type, const void* data, ULONG bytes, ULONG tag)
{
    PVOID p = ExAllocatePoolWithTag(type, bytes, tag);
    if (p)
        RtlCopyMemory(p, data, bytes);
    return p;
}

// Sends an internal device-control request with its two arguments (and the file
// object it is sent for, if any) and waits for it without time limit: a failing
// call's status, or the one it completed with.
inline NTSTATUS SendInternalSync(PDEVICE_OBJECT target, ULONG code, PVOID argument1, PVOID argument2,
                                 PFILE_OBJECT file = NULL)
{
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb;
    iosb.Status = STATUS_SUCCESS;
    iosb.Information = 0;
    PIRP irp = IoBuildDeviceIoControlRequest(code, target, NULL, 0, NULL, 0, TRUE, &done, &iosb);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->Parameters.Others.Argument1 = argument1;
    next->Parameters.Others.Argument2 = argument2;
    next->FileObject = file;
    NTSTATUS status = IoCallDriver(target, irp);
    if (status == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    else if (!NT_SUCCESS(status))
        return status;
    return iosb.Status;
}

}  // namespace kutil
