// Driver-kit items that mingw-w64's DDK headers lack or get wrong, declared once
// from the public documentation: the HID minidriver interface (hidport.h) with
// the correct control codes, and two USBD status values.
#pragma once

#ifndef USBD_STATUS_DEVICE_BUSY
#define USBD_STATUS_DEVICE_BUSY ((USBD_STATUS)0xC0000007L)
#endif
#ifndef USBD_STATUS_REQUEST_FAILED
#define USBD_STATUS_REQUEST_FAILED ((USBD_STATUS)0x80000500L)
#endif

#ifndef SIMKERNEL
extern "C" {
#endif

// HID minidriver registration (hidport.h).
typedef struct _HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION, *PHID_MINIDRIVER_REGISTRATION;

typedef struct _HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION, *PHID_DEVICE_EXTENSION;

#define HID_REVISION 0x00000001

NTSTATUS NTAPI HidRegisterMinidriver(PHID_MINIDRIVER_REGISTRATION registration);

#ifndef SIMKERNEL
}
#endif

#pragma pack(push, 1)
typedef struct _MIRAVEL_HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    struct {
        UCHAR bReportType;
        USHORT wReportLength;
    } DescriptorList[1];
} MIRAVEL_HID_DESCRIPTOR;
#pragma pack(pop)

typedef struct _HID_DEVICE_ATTRIBUTES_RECORD {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES_RECORD;

// HID minidriver control codes: CTL_CODE(FILE_DEVICE_KEYBOARD, n, METHOD_NEITHER,
// FILE_ANY_ACCESS). mingw-w64's hidclass.h has small wrong numbers for some,
// so any earlier definition is replaced.
#define HID_CTL_CODE_(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#undef IOCTL_HID_GET_DEVICE_DESCRIPTOR
#define IOCTL_HID_GET_DEVICE_DESCRIPTOR HID_CTL_CODE_(0) /* 0xB0003 */
#undef IOCTL_HID_GET_REPORT_DESCRIPTOR
#define IOCTL_HID_GET_REPORT_DESCRIPTOR HID_CTL_CODE_(1) /* 0xB0007 */
#undef IOCTL_HID_READ_REPORT
#define IOCTL_HID_READ_REPORT HID_CTL_CODE_(2) /* 0xB000B */
#undef IOCTL_HID_WRITE_REPORT
#define IOCTL_HID_WRITE_REPORT HID_CTL_CODE_(3) /* 0xB000F */
#undef IOCTL_HID_GET_STRING
#define IOCTL_HID_GET_STRING HID_CTL_CODE_(4) /* 0xB0013 */
#undef IOCTL_HID_ACTIVATE_DEVICE
#define IOCTL_HID_ACTIVATE_DEVICE HID_CTL_CODE_(7) /* 0xB001F */
#undef IOCTL_HID_DEACTIVATE_DEVICE
#define IOCTL_HID_DEACTIVATE_DEVICE HID_CTL_CODE_(8) /* 0xB0023 */
#undef IOCTL_HID_GET_DEVICE_ATTRIBUTES
#define IOCTL_HID_GET_DEVICE_ATTRIBUTES HID_CTL_CODE_(9) /* 0xB0027 */
#undef IOCTL_HID_SET_FEATURE
#define IOCTL_HID_SET_FEATURE CTL_CODE(FILE_DEVICE_KEYBOARD, 100, METHOD_IN_DIRECT, FILE_ANY_ACCESS) /* 0xB0191 */
#undef IOCTL_HID_GET_FEATURE
#define IOCTL_HID_GET_FEATURE CTL_CODE(FILE_DEVICE_KEYBOARD, 100, METHOD_OUT_DIRECT, FILE_ANY_ACCESS) /* 0xB0192 */
#undef IOCTL_GET_PHYSICAL_DESCRIPTOR
#define IOCTL_GET_PHYSICAL_DESCRIPTOR                                                                                  \
    CTL_CODE(FILE_DEVICE_KEYBOARD, 102, METHOD_OUT_DIRECT, FILE_ANY_ACCESS) /* 0xB019A */
