// Control protocol of the Dravick test bench (DravBench.sys, test only): what the
// checker (dravck.exe) asks of the stand-in for the mouse class driver. Shared by
// the driver and the program; plain C types only.
#pragma once

#define DRAVBENCH_DEVICE_NAME "\\Device\\DravBench"
#define DRAVBENCH_LINK_NAME "\\DosDevices\\DravBench"
#define DRAVBENCH_USER_PATH "\\\\.\\DravBench"

// CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900 + n, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define DRAVBENCH_CTL_CODE(n) ((0x22u << 16) | ((0x900u + (n)) << 2))
#define IOCTL_DRAVBENCH_STATE DRAVBENCH_CTL_CODE(1)   /* out DRAVBENCH_STATE */
#define IOCTL_DRAVBENCH_SEND DRAVBENCH_CTL_CODE(2)    /* in DRAVBENCH_SEND, out DRAVBENCH_RESULT */
#define IOCTL_DRAVBENCH_RECORDS DRAVBENCH_CTL_CODE(3) /* out DRAVBENCH_RECORD[] */
#define IOCTL_DRAVBENCH_UNPLUG DRAVBENCH_CTL_CODE(4)  /* the child device goes away */

// What the stand-in sends to the top of the child's device stack, as the mouse
// class driver does to its port.
enum {
    DRAVBENCH_SEND_INTERNAL = 1,  // IRP_MJ_INTERNAL_DEVICE_CONTROL `code`, output buffer of `length`
    DRAVBENCH_SEND_CONNECT = 2,   // IOCTL_INTERNAL_MOUSE_CONNECT with the stand-in's CONNECT_DATA
    DRAVBENCH_SEND_CREATE = 3,    // IRP_MJ_CREATE
    DRAVBENCH_SEND_CLOSE = 4,     // IRP_MJ_CLOSE
};

typedef struct DRAVBENCH_SEND {
    unsigned int kind;
    unsigned int code;
    unsigned int length;  // at most 16
} DRAVBENCH_SEND;

typedef struct DRAVBENCH_RESULT {
    int status;
    unsigned int information;
    unsigned char data[16];
} DRAVBENCH_RESULT;

typedef struct DRAVBENCH_STATE {
    unsigned int childPresent;                       // the bus reports the child
    unsigned int childStarted;                       // IRP_MN_START_DEVICE reached the child
    unsigned int attached;                           // a function driver is attached above the child
    unsigned int starts, surpriseRemovals, removes;  // PnP requests that reached the child
    unsigned int records;                            // input records the service callback received
    // Whether Wine's kernel does what a consumer of Zelko's interface needs, each
    // DRAVBENCH_PROBE_*: IoGetDeviceObjectPointer (a name that does not exist must
    // fail) and interface-change notification for existing interfaces (an enabled
    // interface must reach the callback).
    unsigned int deviceObjectPointer;
    unsigned int interfaceNotification;
    char topDriver[48];  // the name of the driver on top of the child's stack
} DRAVBENCH_STATE;

enum { DRAVBENCH_PROBE_NOT_RUN = 0, DRAVBENCH_PROBE_STUB = 1, DRAVBENCH_PROBE_WORKS = 2 };

#define DRAVBENCH_MAX_RECORDS 64

typedef struct DRAVBENCH_RECORD {
    unsigned short unitId, flags, buttonFlags, buttonData;
    unsigned int rawButtons;
    int lastX, lastY;
    unsigned int extraInformation;
    unsigned int irql;
} DRAVBENCH_RECORD;
