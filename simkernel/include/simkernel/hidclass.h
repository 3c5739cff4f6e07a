// The simulated machine's HID class driver (HIDCLASS). A HID minidriver calls
// HidRegisterMinidriver from its DriverEntry; the class then owns the driver
// object: its AddDevice creates the functional device (HID_DEVICE_EXTENSION
// first, the minidriver's extension of the registered size after it), attaches
// it to the PDO and calls the minidriver's own AddDevice; every request to the
// device comes to the class, which hands PnP, power, create and close to the
// minidriver's own dispatch routines.
//
// At IRP_MN_START_DEVICE the class passes the request to the minidriver, waits
// for it, and then sends the minidriver requests as the system's class driver
// does: IOCTL_HID_GET_DEVICE_DESCRIPTOR, IOCTL_HID_GET_REPORT_DESCRIPTOR (with
// the length the HID descriptor names), which it parses, then
// IOCTL_HID_GET_DEVICE_ATTRIBUTES; a failure there fails the start. It then asks
// the manufacturer and product strings (IOCTL_HID_GET_STRING, string ids 14 and
// 15, language 0x0409) and keeps two IOCTL_HID_READ_REPORT requests at the
// minidriver while the device is started (the documented ping-pong): whenever one
// completes with success, it is sent again; a failed one ends the stream until
// the next start. At stop and removal it stops the stream, cancels its waiting
// reads, passes the request to the minidriver and waits until both have come back.
//
// Rules the minidriver is held to (a Bugcheck otherwise): an output byte count
// above the buffer's length, bytes written past the buffer, a request completed
// twice, a wait for its read that never ends.
//
// The calls below act on the class device created last. sim::Reset() clears
// the records, the sink and the settings.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "nt.h"

namespace sim {
namespace hidclass {

// ---- the report-descriptor parser --------------------------------------------------
// One main item (Input, Output or Feature) with the global and local state in
// force when it was read.
struct MainItem {
    enum Kind { Input, Output, Feature } kind = Input;
    uint32_t flags = 0;  // the item's data: bit 0 constant, bit 1 variable, bit 2 relative
    bool Constant() const { return flags & 1; }
    bool Variable() const { return flags & 2; }
    bool Relative() const { return flags & 4; }
    uint8_t reportId = 0;
    uint32_t reportSize = 0;   // bits per field
    uint32_t reportCount = 0;  // fields
    uint32_t bitOffset = 0;    // within the report, after the report id byte
    uint16_t usagePage = 0;
    std::vector<uint16_t> usages;  // Usage items, in order
    uint16_t usageMinimum = 0, usageMaximum = 0;
    bool usageRange = false;
    // Logical extents as the item data says them (raw, unsigned) and as the HID
    // rules read them (sign-extended from the item's size).
    uint32_t logicalMinimumRaw = 0, logicalMaximumRaw = 0;
    int32_t logicalMinimum = 0, logicalMaximum = 0;
};

struct Collection {
    uint8_t type = 0;  // 0 physical, 1 application, 2 logical, ...
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    unsigned depth = 0;  // 0 for a top-level collection
};

struct ParsedDescriptor {
    bool ok = false;
    std::string error;                  // why it is not usable
    std::vector<std::string> warnings;  // usable, but against the HID rules
    unsigned items = 0;
    std::vector<Collection> collections;  // in the order they open
    std::vector<MainItem> inputs, outputs, features;
    bool reportIds = false;
    uint32_t inputBits = 0;  // of the input report (report id 0, or the first id)
    // The top-level collection's usage page and usage (as HidP_GetCaps reports them).
    uint16_t usagePage = 0, usage = 0;
    // The input report as the minidriver delivers it (no report id byte when none
    // is used) and as a reader of the collection receives it (always one id byte).
    uint32_t InputReportBytes() const { return (inputBits + 7) / 8 + (reportIds ? 1 : 0); }
    uint32_t InputReportByteLength() const { return (inputBits + 7) / 8 + 1; }
};

ParsedDescriptor ParseReportDescriptor(const uint8_t* data, size_t length);

// ---- the class device --------------------------------------------------------------------
// What the minidriver answered while the device started.
struct StartAnswers {
    NTSTATUS deviceDescriptorStatus = STATUS_PENDING;
    std::vector<uint8_t> deviceDescriptor;
    NTSTATUS reportDescriptorStatus = STATUS_PENDING;
    std::vector<uint8_t> reportDescriptor;
    ParsedDescriptor parsed;
    NTSTATUS attributesStatus = STATUS_PENDING;
    std::vector<uint8_t> attributes;
    uint16_t vendorId = 0, productId = 0, versionNumber = 0;
    NTSTATUS manufacturerStatus = STATUS_PENDING;
    std::u16string manufacturer;  // up to its NUL
    NTSTATUS productStatus = STATUS_PENDING;
    std::u16string product;
};

PDEVICE_OBJECT Fdo();         // the class device created last, or null (deleted at removal)
PVOID MiniDeviceExtension();  // its HID_DEVICE_EXTENSION.MiniDeviceExtension
bool Started();               // started by the class (its start requests all succeeded)
StartAnswers Answers();       // of the last start

// Input reports the stream received (each as the minidriver completed it, with
// its byte count), since Reset or Clear.
std::vector<std::vector<uint8_t>> Received();
void Clear();
// Called for every received report at the IRQL of the read's completion, outside
// the class's lock. Null removes it.
void SetSink(std::function<void(const uint8_t* report, size_t length)> sink);

// Whether the class keeps its read-report stream going while the device is
// started (as while a reader has the collection open). Default: true. Switching
// it on while started sends a read at once; switching it off lets the read that
// is out finish and sends no more.
void SetReadStream(bool on);
uint64_t ReadsSent();         // read-report requests of the stream since Reset
NTSTATUS LastStreamStatus();  // the status of the last completed stream read

// A minidriver request sent as the class driver sends it (METHOD_NEITHER: the
// output buffer in Irp->UserBuffer, `type3Input` in Type3InputBuffer), for tests
// that probe the minidriver. It may complete later; `done` then turns true.
struct Request {
    ULONG code = 0;
    std::atomic<bool> done{false};  // set last, once the fields below are final
    NTSTATUS status = STATUS_PENDING;
    ULONG_PTR information = 0;
    std::vector<uint8_t> buffer;  // the output buffer as the minidriver left it
};
// `withBuffer` false sends no output buffer (UserBuffer null) with the length given.
std::shared_ptr<Request> Send(ULONG code, ULONG outputLength, PVOID type3Input = nullptr, ULONG inputLength = 0,
                              bool withBuffer = true);
// IoCancelIrp on a request that has not completed; false when it had.
bool Cancel(const std::shared_ptr<Request>& request);

void ResetHidclass();

}  // namespace hidclass
}  // namespace sim
