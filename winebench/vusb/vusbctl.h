// Control protocol of the test bench's virtual USB bus (ZkVusb.sys): what the
// control program (vusbctl.exe) sends to the bus's own control device to play the
// touch frame. Shared by the driver and the program; plain C types only.
#pragma once

#define VUSB_CTL_DEVICE_NAME "\\Device\\ZkVusbCtl"
#define VUSB_CTL_LINK_NAME "\\DosDevices\\ZkVusbCtl"
#define VUSB_CTL_USER_PATH "\\\\.\\ZkVusbCtl"

// CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900 + n, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define VUSB_CTL_CODE(n) ((0x22u << 16) | ((0x900u + (n)) << 2))
#define IOCTL_VUSB_INJECT VUSB_CTL_CODE(1)   /* in VUSB_INJECT, out ULONG delivered-now */
#define IOCTL_VUSB_SET VUSB_CTL_CODE(2)      /* in VUSB_SETTINGS */
#define IOCTL_VUSB_COUNTERS VUSB_CTL_CODE(3) /* out VUSB_COUNTERS */
#define IOCTL_VUSB_PLUG VUSB_CTL_CODE(4)     /* in ULONG: 1 plug the frame in, 0 pull it out */
// The bus as a kernel consumer of the frame's function driver: one internal read
// (IOCTL_ZELKO_READ_EVENT, 0x222004) sent to the top of the frame's device stack,
// with an output buffer of the given length (the consumers give 10). Its
// completion is recorded in the consumer* counters.
#define IOCTL_VUSB_CONSUMER_READ VUSB_CTL_CODE(5) /* in ULONG output length */

// One thing for the frame to answer its next interrupt-IN transfer with. Injections
// queue (up to VUSB_MAX_INJECTIONS) and are given out in order, one per transfer.
enum {
    VUSB_INJECT_DATA = 0,  // complete the transfer with `length` bytes of `data` (0..8; 0: an empty transfer)
    VUSB_INJECT_FAIL = 1,  // complete it with `ntStatus` and URB status `usbdStatus`
};
#define VUSB_MAX_INJECTIONS 32
#define VUSB_REPORT_BYTES 8

typedef struct VUSB_INJECT {
    unsigned int kind;
    unsigned int length;
    int ntStatus;
    int usbdStatus;
    unsigned char data[VUSB_REPORT_BYTES];
} VUSB_INJECT;

// Which fields of VUSB_SETTINGS to apply.
enum {
    VUSB_SET_PORT = 1,          // portConnected: 1 connected and enabled, 0 not connected
    VUSB_SET_RESET_STATUS = 2,  // resetStatus: how IOCTL_INTERNAL_USB_RESET_PORT completes
    VUSB_SET_IDS = 4,           // idVendor/idProduct of the device descriptor (hardware id unchanged)
    // The frame the next plug brings (and the bus's own first one): frameVendor and
    // frameProduct in its device and hardware ids (USB\VID_vvvv&PID_pppp) and in its
    // device descriptor, frameInterfaces interfaces of frameEndpoints interrupt-IN
    // endpoints each. The default is the touch frame: 5A53, 0001, 1, 1.
    VUSB_SET_FRAME = 8,
};
#define VUSB_MAX_INTERFACES 32
#define VUSB_MAX_ENDPOINTS 30  // per interface

typedef struct VUSB_SETTINGS {
    unsigned int mask;
    unsigned int portConnected;
    int resetStatus;
    unsigned short idVendor;
    unsigned short idProduct;
    unsigned short frameVendor;
    unsigned short frameProduct;
    unsigned int frameInterfaces;  // 0..VUSB_MAX_INTERFACES
    unsigned int frameEndpoints;   // 0..VUSB_MAX_ENDPOINTS
} VUSB_SETTINGS;

// What the bus has seen since it was loaded. Every field is a 32-bit unsigned
// number; vusbctl prints them by the names in VUSB_COUNTER_NAMES, in this order.
typedef struct VUSB_COUNTERS {
    unsigned int transfers;           // interrupt-IN transfers received
    unsigned int held;                // transfers held now, waiting for an injection
    unsigned int queued;              // injections waiting for a transfer
    unsigned int delivered;           // transfers completed with injected data
    unsigned int failed;              // transfers completed with an injected failure
    unsigned int cancelled;           // held transfers cancelled by their sender
    unsigned int dropped;             // held transfers failed by removal or abort
    unsigned int badTransfers;        // transfers refused: unknown pipe, not IN, no buffer
    unsigned int resets;              // IOCTL_INTERNAL_USB_RESET_PORT
    unsigned int portQueries;         // IOCTL_INTERNAL_USB_GET_PORT_STATUS
    unsigned int selects;             // SELECT_CONFIGURATION with a descriptor
    unsigned int deconfigures;        // SELECT_CONFIGURATION without one
    unsigned int deviceDescReads;     // GET_DESCRIPTOR_FROM_DEVICE, device descriptor
    unsigned int configDescReads;     // GET_DESCRIPTOR_FROM_DEVICE, configuration descriptor
    unsigned int classRequests;       // CLASS_INTERFACE
    unsigned int lastClassRequest;    // bRequest of the last one
    unsigned int otherUrbs;           // any other URB function
    unsigned int otherIoctls;         // any other internal control code
    unsigned int capsQueries;         // IRP_MN_QUERY_CAPABILITIES on the frame
    unsigned int starts;              // IRP_MN_START_DEVICE on the frame
    unsigned int surpriseRemovals;    // IRP_MN_SURPRISE_REMOVAL on the frame
    unsigned int removes;             // IRP_MN_REMOVE_DEVICE on the frame
    unsigned int present;             // 1 while the frame is plugged in
    unsigned int configured;          // 1 while a configuration is selected
    unsigned int lastTransferFlags;   // TransferFlags of the last interrupt transfer
    unsigned int lastTransferLength;  // TransferBufferLength it came with
    unsigned int consumerReads;       // consumer reads sent
    unsigned int consumerHeld;        // 1 while one is outstanding
    unsigned int consumerStatus;      // NTSTATUS of the last completed one
    unsigned int consumerBytes;       // its byte count
    unsigned int consumerCode;        // its short event: code, x, y
    unsigned int consumerX;
    unsigned int consumerY;
} VUSB_COUNTERS;

#define VUSB_COUNTER_NAMES                                                                                             \
    "transfers", "held", "queued", "delivered", "failed", "cancelled", "dropped", "bad", "resets", "portqueries",      \
        "selects", "deconfigures", "devdesc", "configdesc", "class", "lastclass", "otherurbs", "otherioctls", "caps",  \
        "starts", "surprise", "removes", "present", "configured", "lastflags", "lastlength", "creads", "cheld",        \
        "cstatus", "cbytes", "ccode", "cx", "cy"

// The frame as the bus presents it.
#define VUSB_VENDOR_ID 0x5A53
#define VUSB_PRODUCT_ID 0x0001
#define VUSB_ENDPOINT 0x81
