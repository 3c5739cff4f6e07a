// Miravel's fixed tables: the HID descriptor, the two report descriptors, the
// attributes, the string block and the hardware id.
#include "miravel.h"

namespace miravel {

// bLength 9, HID descriptor, bcdHID 0, no country, one report descriptor of 52 bytes.
const UCHAR MouseHidDescriptor[HID_DESCRIPTOR_BYTES] = {0x09, 0x21, 0x00, 0x00, 0x00, 0x01, 0x22, 0x34, 0x00};

// An absolute pointer: three buttons, five padding bits, X and Y of 16 bits each.
// The two variants differ only in the logical maximum of X and Y.
#define MIRAVEL_REPORT_DESCRIPTOR(maxLow, maxHigh)                                                                     \
    {                                                                                                                  \
        0x05, 0x01,                /* Usage Page (Generic Desktop) */                                                  \
            0x09, 0x02,            /* Usage (Mouse) */                                                                 \
            0xA1, 0x01,            /* Collection (Application) */                                                      \
            0x09, 0x01,            /*   Usage (Pointer) */                                                             \
            0xA1, 0x00,            /*   Collection (Physical) */                                                       \
            0x05, 0x09,            /*     Usage Page (Button) */                                                       \
            0x19, 0x01,            /*     Usage Minimum (1) */                                                         \
            0x29, 0x03,            /*     Usage Maximum (3) */                                                         \
            0x15, 0x00,            /*     Logical Minimum (0) */                                                       \
            0x25, 0x01,            /*     Logical Maximum (1) */                                                       \
            0x95, 0x03,            /*     Report Count (3) */                                                          \
            0x75, 0x01,            /*     Report Size (1) */                                                           \
            0x81, 0x02,            /*     Input (Data, Variable, Absolute): the buttons */                             \
            0x95, 0x01,            /*     Report Count (1) */                                                          \
            0x75, 0x05,            /*     Report Size (5) */                                                           \
            0x81, 0x01,            /*     Input (Constant): padding */                                                 \
            0x05, 0x01,            /*     Usage Page (Generic Desktop) */                                              \
            0x09, 0x30,            /*     Usage (X) */                                                                 \
            0x09, 0x31,            /*     Usage (Y) */                                                                 \
            0x16, 0x01, 0x00,      /*     Logical Minimum (1) */                                                       \
            0x26, maxLow, maxHigh, /*     Logical Maximum */                                                           \
            0x75, 0x10,            /*     Report Size (16) */                                                          \
            0x95, 0x02,            /*     Report Count (2) */                                                          \
            0x81, 0x02,            /*     Input (Data, Variable, Absolute): X, Y */                                    \
            0xC0,                  /*   End Collection */                                                              \
            0xC0,                  /* End Collection */                                                                \
    }

const UCHAR MouseHidReportDesc[REPORT_DESCRIPTOR_BYTES] = MIRAVEL_REPORT_DESCRIPTOR(0xFF, 0xFF);
const UCHAR MouseHidReportDesc2k[REPORT_DESCRIPTOR_BYTES] = MIRAVEL_REPORT_DESCRIPTOR(0xFF, 0x7F);

#undef MIRAVEL_REPORT_DESCRIPTOR

const HID_DEVICE_ATTRIBUTES_RECORD MouseAttributes = {ATTRIBUTES_BYTES, 0x5A53, 0x0001, 0x0100, {0}};

// Three USB-style string descriptors in a row: the language list (language
// 0x0009), the manufacturer and the product. The manufacturer's length byte
// says 0x14 although its header and text take 22 bytes.
const UCHAR AStringDescriptor[STRING_BLOCK_BYTES] = {
    0x04, 0x03, 0x09, 0x00, 0x14, 0x03, 'S',  0,    'o', 0, 'r', 0, 'v', 0, 'e', 0, 'n', 0, 'd', 0,
    'a',  0,    'l',  0,    'e',  0,    0x20, 0x03, 'I', 0, 'n', 0, 'f', 0, 'r', 0, 'a', 0, 'r', 0,
    'e',  0,    'd',  0,    ' ',  0,    'S',  0,    'c', 0, 'r', 0, 'e', 0, 'e', 0, 'n', 0,
};

const WCHAR MyBusID[] = WSTR("HID\\Vid_05E3&Pid_1205");
const ULONG MyBusIDBytes = sizeof MyBusID;

}  // namespace miravel
