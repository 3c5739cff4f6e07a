// Dravick, the mouse input service driver: the port driver of the root device
// "root\DRAVLINE". It reads the touch frame's pointer events from Zelko and
// hands them to the mouse class driver above it as absolute mouse input.
#pragma once

#include "ddk.h"
#include "kutil.h"
#include "zelkoioctl.h"

namespace dravick {

const ULONG DRAVICK_TAG = POOL_TAG('D', 'r', 'v', 'k');

// MOUSE_ATTRIBUTES.MouseIdentifier reported to the mouse class driver.
const USHORT DRAVICK_MOUSE_IDENTIFIER = 0x28;

// How long an ending read loop waits between two cancellations, should a read
// slip in at Zelko after the first one (100-ns units, negative: relative).
const LONGLONG READ_END_POLL = -100000;  // 10 ms

// The flags started, zelkoOpen and readActive are single bytes written at
// passive level and from the read's completion at dispatch level; they are read
// and written whole, with the ordering of an interlocked operation.
inline UCHAR LoadFlag(const volatile UCHAR& flag) { return __atomic_load_n(&flag, __ATOMIC_ACQUIRE); }
inline void StoreFlag(volatile UCHAR& flag, UCHAR value) { __atomic_store_n(&flag, value, __ATOMIC_SEQ_CST); }

struct DEVICE_EXTENSION {
    volatile UCHAR started;
    PDRIVER_OBJECT driverObject;
    PDEVICE_OBJECT deviceObject;
    volatile UCHAR zelkoOpen;  // Zelko is open and reads may be submitted
    PIRP readRequest;          // the driver's own read request, reused from read to read
    KEVENT completionEvent;    // notification event, set by every read completion
    // The second event: a synchronization event used as a lock (signalled: free)
    // that keeps start, stop, open, close and the interface notifications apart.
    KEVENT controlLock;
    volatile UCHAR readActive;  // a read is outstanding at Zelko (or its completion runs)
    // Set while SubmitRead's call to Zelko is on the stack: a completion that
    // finds it set leaves the next read to that call's loop instead of nesting.
    volatile UCHAR sending;
    volatile UCHAR renew;  // what such a completion decided: read again
    PDEVICE_OBJECT zelkoDevice;
    PFILE_OBJECT zelkoFile;
    PDEVICE_OBJECT physicalDevice;
    PDEVICE_OBJECT lowerDevice;
    MOUSE_ATTRIBUTES attributes;
    CONNECT_DATA connectData;  // ClassService is written last and read first
    IO_REMOVE_LOCK removeLock;
    UCHAR readBuffer[ZELKO_CONSUMER_BUFFER_BYTES];
    PVOID notificationEntry;  // this device's interface-change registration
    volatile LONG opens;      // the mouse class's clients that have the device open
};
typedef DEVICE_EXTENSION* PDEVICE_EXTENSION;

// The event code of the previous report, shared by every device of the driver,
// and where that report put the pointer.
extern ULONG lastCode;
extern USHORT lastX, lastY;

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

// The data path (datapath.cpp).
DRIVER_DISPATCH DispatchInternalDeviceControl;
NTSTATUS SubmitRead(PDEVICE_EXTENSION dx);
NTSTATUS CancelZelkoReads(PDEVICE_EXTENSION dx);
IO_COMPLETION_ROUTINE ReadComplete;
void ReportInput(PDEVICE_EXTENSION dx, ULONG code, USHORT x, USHORT y);
// When the binding to Zelko ends with a button down: its release, where the
// pointer was, and the last code starts afresh.
void ReleaseButtons(PDEVICE_EXTENSION dx);

// The lifecycle (sermdep.cpp).
NTSTATUS StartReading(PDEVICE_EXTENSION dx);
NTSTATUS StopReading(PDEVICE_EXTENSION dx);
void OnInterfaceArrival(PDEVICE_OBJECT device);
void OnInterfaceRemoval(PDEVICE_OBJECT device);

}  // namespace dravick
