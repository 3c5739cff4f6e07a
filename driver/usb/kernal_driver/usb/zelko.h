// Zelko, the USB function driver of the touch frame: per-device state and the
// driver's internal interfaces.
#pragma once

#include "ddk.h"
#include "kutil.h"
#include "touch.h"
#include "zelkoioctl.h"

namespace zelko {

const ULONG ZELKO_TAG = POOL_TAG('Z', 'e', 'l', 'k');

// A failing port reset is retried at once, at most this many times in a row;
// after that the reads stay off until the next start or return to full power.
// Five attempts ride out a hub that is still settling without letting a dead
// port keep the completion path busy for ever.
const ULONG MAX_RESET_RETRIES = 5;

struct DEVICE_EXTENSION {
    UCHAR consumerSeen;
    // Set (under the held-read lock) once the removal has begun: a consumer's
    // read that arrives later fails instead of waiting for a device that is gone.
    UCHAR removed;
    TouchState touch;        // long press, stability, rawMode
    TouchSettings settings;  // XArray, YArray, doneMode, moveSlider, changexy, disabledev, settingsLoaded

    PDEVICE_OBJECT deviceObject;
    PDEVICE_OBJECT lowerDevice;
    PDEVICE_OBJECT physicalDevice;
    PDRIVER_OBJECT driverObject;
    DEVICE_CAPABILITIES capabilities;

    InputQueue inputQueue;

    // Set while the PnP manager has the device started: from a successful
    // IRP_MN_START_DEVICE to IRP_MN_STOP_DEVICE, IRP_MN_SURPRISE_REMOVAL or removal.
    UCHAR started;
    // The one interrupt read request, allocated with the device and reused by
    // every read. While readOutstanding is set it belongs to the USB stack; only
    // its completion (or a send that never happened) gives it back.
    PIRP readRequest;
    volatile LONG readOutstanding;
    PIRP resetRequest;
    ULONG resetPortStatus;
    UNICODE_STRING interfaceName;
    // Set while the frame is not configured for reading: from creation to a
    // successful StartDevice, and again from StopDevice on.
    UCHAR stopped;
    volatile LONG startCount;

    USBD_CONFIGURATION_HANDLE configurationHandle;
    USBD_PIPE_HANDLE pipeHandle;
    USHORT urbLength;
    PURB readUrb;
    UCHAR report[REPORT_BYTES];
    ULONG transferLength;
    KEVENT readDone;  // signalled while no read is outstanding
    DEVICE_POWER_STATE devicePowerState;

    // Guards the decision to send the read against stopped, started, the power
    // state and readOutstanding, so that a completion never renews a read that
    // StopDevice has already looked for.
    KSPIN_LOCK ioLock;
    // Held by the port reset on its way and by every queued work item; drained
    // at removal before anything is freed.
    IO_REMOVE_LOCK removeLock;

    // Passive-level work: the port reset and its second half, and the return to D0.
    PIO_WORKITEM resetWorkItem;
    PIO_WORKITEM powerWorkItem;
    volatile LONG resetWorkQueued;
    volatile LONG powerWorkQueued;
    LONG resetWorkNext;  // PORT_WORK_RESET or PORT_WORK_FINISH
    ULONG resetRetries;
};
typedef DEVICE_EXTENSION* PDEVICE_EXTENSION;

// One held consumer read.
struct PENDING_READ {
    LIST_ENTRY links;
    PIRP irp;
};

// State kept once for the whole driver.
struct DRIVER_GLOBALS {
    LIST_ENTRY pendingReadList;
    KSPIN_LOCK pendingReadLock;  // guards the list and every device's InputQueue
    StabilityWindow window;
    PDRIVER_OBJECT driverObject;
    // The registry path's copy when the host keeps no driver-object extensions.
    UNICODE_STRING registryPathFallback;
};
extern DRIVER_GLOBALS g_zelko;

// Driver-object extension holding the copy of the registry path.
#define ZELKO_REGISTRY_PATH_ID ((PVOID)1)

// What the port work item does next.
enum : LONG {
    PORT_WORK_RESET = 1,   // send the asynchronous port reset
    PORT_WORK_FINISH = 2,  // after a successful reset: reset again, query the port, read
};

// zelko.cpp
NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);
NTSTATUS StartDevice(PDEVICE_EXTENSION dx);
void StopDevice(PDEVICE_EXTENSION dx);
void RemoveDevice(PDEVICE_EXTENSION dx);
void RecordDevicePowerState(PDEVICE_EXTENSION dx, DEVICE_POWER_STATE state);

// control.cpp
DRIVER_DISPATCH DispatchCreateClose;
DRIVER_DISPATCH DispatchDeviceControl;
DRIVER_DISPATCH DispatchInternalDeviceControl;
void ProcessReport(PDEVICE_EXTENSION dx, const UCHAR* report);
void ProcessOnePendingIrp(PDEVICE_EXTENSION dx);
void AbortPendingReads();
// Ends the held reads sent for this file object only (a consumer's own reads).
void AbortFileReads(PFILE_OBJECT file);

// settings.cpp
void LoadToolSettings(PDEVICE_EXTENSION dx);
BOOLEAN LoadServiceSettings(PDEVICE_EXTENSION dx);
void SaveServiceSettings(PDEVICE_EXTENSION dx);
NTSTATUS QueryValue(HANDLE key, PUNICODE_STRING name, PVOID destination, ULONG destinationSize);
NTSTATUS SaveRegistryPath(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);
void FreeRegistryPath(PDRIVER_OBJECT driver);

// usbio.cpp
NTSTATUS ConfigureDevice(PDEVICE_EXTENSION dx);
NTSTATUS DeconfigureDevice(PDEVICE_EXTENSION dx);
NTSTATUS SubmitRead(PDEVICE_EXTENSION dx);
NTSTATUS ResetPortAsync(PDEVICE_EXTENSION dx);
// Queues the port work item (passive level) with what it is to do; nothing when
// it is queued already or the device is being removed.
void QueuePortWork(PDEVICE_EXTENSION dx, LONG next);
// Ends an outstanding read and waits until its completion has run.
void EndRead(PDEVICE_EXTENSION dx);
IO_COMPLETION_ROUTINE ReadComplete;
IO_COMPLETION_ROUTINE ResetComplete;

}  // namespace zelko
