// Miravel, the HID minidriver of the touch frame: it reads Zelko's pointer
// events and serves them to the system's HID class driver as input reports of
// an absolute pointing device. Per-device state, driver-wide state and the
// driver's internal interfaces.
#pragma once

#include "ddk.h"
#include "kutil.h"
#include "zelkoioctl.h"

namespace miravel {

const ULONG MIRAVEL_TAG = POOL_TAG('s', 's', 'e', 'r');

const unsigned QUEUE_LENGTH = 10;
const unsigned REPORT_BYTES = 5;        // the input report: code, x, y
const unsigned READ_BUFFER_BYTES = 10;  // the read request's system buffer at Zelko
const CHAR READ_STACK_SIZE = 4;

const ULONG HID_DESCRIPTOR_BYTES = 9;
const ULONG REPORT_DESCRIPTOR_BYTES = 52;
const ULONG ATTRIBUTES_BYTES = 32;
const ULONG STRING_BLOCK_BYTES = 58;

// String ids of IOCTL_HID_GET_STRING: the class driver's documented ids, and the
// USB string-descriptor indexes that some class drivers (Wine's) pass instead.
const USHORT HID_STRING_ID_IMANUFACTURER = 14;
const USHORT HID_STRING_ID_IPRODUCT = 15;
const USHORT USB_STRING_INDEX_MANUFACTURER = 1;
const USHORT USB_STRING_INDEX_PRODUCT = 2;

// One pointer event as Zelko delivers it.
struct InputData {
    UCHAR code;
    USHORT x;
    USHORT y;
};

// The minidriver extension (HID_DEVICE_EXTENSION.MiniDeviceExtension); the class
// driver allocates it with the size given at registration.
struct DEVICE_EXTENSION {
    InputData InputQueue[QUEUE_LENGTH];  // index 0 the newest
    ULONG eventCount;
    UCHAR readingEnabled;

    PDEVICE_OBJECT nextLowerDevice;  // HID_DEVICE_EXTENSION.NextDeviceObject
    PDEVICE_OBJECT deviceObject;
    PDRIVER_OBJECT driverObject;

    PDEVICE_OBJECT zelkoDevice;  // from IoGetDeviceObjectPointer; none while Zelko is not open
    PFILE_OBJECT zelkoFile;
    ULONG usbdiVersion;

    PIRP readRequest;  // the request out at Zelko, or none
    UCHAR stopped;
    KEVENT readDone;  // set, under the lock, whenever the read loop has ended
    volatile UCHAR readPending;
    UCHAR readBuffer[READ_BUFFER_BYTES];

    // A synchronization event used as a lock (signalled: free) that keeps open,
    // close, start and stop of the binding to Zelko apart, at passive level.
    KEVENT controlLock;
    UCHAR removed;  // set under controlLock once the device is being removed
    // Held by every read out at Zelko until its completion has finished, and by
    // every notification callback; drained at removal.
    IO_REMOVE_LOCK removeLock;
    // Set while READ's call to Zelko is on the stack: a completion that finds it
    // set leaves the next read to READ's loop instead of nesting.
    volatile UCHAR sending;
    volatile UCHAR renew;
    // The last event delivered: a button still down when Zelko goes away is
    // released at this position.
    UCHAR lastCode;
    USHORT lastX, lastY;
};
typedef DEVICE_EXTENSION* PDEVICE_EXTENSION;

// One waiting IOCTL_HID_READ_REPORT request.
struct PENDING_IRP {
    LIST_ENTRY links;
    PIRP irp;
};

// State kept once for the whole driver.
extern LIST_ENTRY HidMini_ReadIrpHead;
extern LIST_ENTRY HidMini_WriteIrpHead;  // initialised, never used
extern KSPIN_LOCK HidMini_IrpReadLock;   // guards the pending list and the event queue
extern PVOID diNotificationEntry;
extern PDEVICE_OBJECT g_servedDevice;  // the one device this driver serves, or none
// The device whose interface notifications are acted on (cleared first at its
// removal, under HidMini_IrpReadLock): a notification the system delivers after
// the unregistration finds no device.
extern PDEVICE_OBJECT g_boundDevice;

// The fixed tables.
extern const UCHAR MouseHidDescriptor[HID_DESCRIPTOR_BYTES];
extern const UCHAR MouseHidReportDesc[REPORT_DESCRIPTOR_BYTES];    // USBDI below 0x300
extern const UCHAR MouseHidReportDesc2k[REPORT_DESCRIPTOR_BYTES];  // USBDI 0x300 and later
extern const HID_DEVICE_ATTRIBUTES_RECORD MouseAttributes;
extern const UCHAR AStringDescriptor[STRING_BLOCK_BYTES];
extern const WCHAR MyBusID[];
extern const ULONG MyBusIDBytes;  // with its terminating NUL

// The minidriver extension of a class-driver device, or none.
PDEVICE_EXTENSION GetExtension(PDEVICE_OBJECT device);

// report.cpp: the HID report path.
DRIVER_DISPATCH TH_InternalDeviceControl_dispatch;
NTSTATUS TH_GetDeviceDescriptor(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS TH_GetReportDescriptor(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS TH_ReadReport(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS TH_GetStringDescriptor(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS TH_GetAttributes(PDEVICE_OBJECT device, PIRP irp);
// The event queue; the caller holds HidMini_IrpReadLock.
void SaveInputData(PDEVICE_EXTENSION dx, UCHAR code, USHORT x, USHORT y);
BOOLEAN GetDataInput(PDEVICE_EXTENSION dx, UCHAR* code, USHORT* x, USHORT* y);
// Serves the oldest waiting read-report request with the oldest event; called
// with HidMini_IrpReadLock held (taken at `irql`), which it releases.
void ProcessOnePendingIrp(PDEVICE_EXTENSION dx, KIRQL irql);
void HidMiniAbortPendingRequests();
NTSTATUS READ(PDEVICE_EXTENSION dx);
// The completion of the read at Zelko (not of a USB transfer: Miravel talks to
// Zelko only).
IO_COMPLETION_ROUTINE USB_ReadComplete;
// A button still down when the binding to Zelko ends: its release at the last
// position, as a report with no button; the last code starts afresh.
void ReleaseButtons(PDEVICE_EXTENSION dx);

// miravel.cpp: registration, PnP, power and the binding to Zelko.
NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);
NTSTATUS RegisterForPnpNotification(PDRIVER_OBJECT driver, PDEVICE_OBJECT device);
void UnregisterForPnpNotification();
// The interface-change callback for Zelko's interface (the name is historical:
// it has nothing to do with keyboards).
DRIVER_NOTIFICATION_CALLBACK_ROUTINE HidKbdDicCallback;
void OpenLowyerDev(PDEVICE_OBJECT device);
void CloseLowyerDev(PDEVICE_OBJECT device, PUNICODE_STRING symbolicLinkName);
// Sends IOCTL_ZELKO_CANCEL_READS for Miravel's own reads (it ends them; it is
// no notification of a removal).
NTSTATUS SendRemoveNotifyToUsbDriver(PDEVICE_EXTENSION dx);
void StopDevice(PDEVICE_EXTENSION dx);
void RemoveDevice(PDEVICE_EXTENSION dx);
NTSTATUS DownToNext(PDEVICE_OBJECT device, PIRP irp);
void WaitAmoment(LONGLONG hundredNs);
DRIVER_DISPATCH HidMiniPnP;
DRIVER_DISPATCH HidMiniPower;

}  // namespace miravel
