// Pointwell's link to Zelko's control device: open "\\.\Zelkode", read one sample
// (IOCTL_ZELKO_GET_EVENT) or send one command (IOCTL_ZELKO_COMMAND), and turn
// samples into touch events for the calibration. Plain C++: the system calls go
// through the programs' platform (app::CurrentAppPlatform), the messages for the
// user through LinkNotifier.
#pragma once

#include <cstdint>

#include "appplatform.h"
#include "langkeys.h"
#include "zelkoioctl.h"

namespace pointwell {

// Shows a failure to the user: the tool puts the key's language text in a message box.
class LinkNotifier {
public:
    virtual ~LinkNotifier() = default;
    virtual void Show(const LangKey& message) = 0;
};

// The 16-byte event record, field by field.
struct EventRecord {
    std::uint32_t reserved = 0;
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t code = 0;

    bool IsNoEvent() const { return x == ZELKO_NO_EVENT && y == ZELKO_NO_EVENT && (code & 0xFF) == ZELKO_NO_EVENT; }
};

// One IOCTL_ZELKO_GET_EVENT with a zeroed output buffer of outSize bytes (16 is the
// record; other sizes exist to probe the driver). On success the first 16 bytes
// (fewer if outSize is smaller) are decoded into record.
bool RequestEvent(app::Platform& platform, app::Handle handle, EventRecord* record,
                  std::uint32_t outSize = ZELKO_EVENT_BYTES, std::uint32_t* returned = nullptr);
// One IOCTL_ZELKO_COMMAND: a zeroed input buffer of inSize bytes with code in byte 0.
bool RequestCommand(app::Platform& platform, app::Handle handle, std::uint8_t code,
                    std::uint32_t inSize = ZELKO_COMMAND_BYTES, std::uint32_t* returned = nullptr);

// The tool's one device link. Once a read has failed the link is removed for good:
// every later call returns 0 at once, without a request and without a message.
// Destruction does not close the handle (the tool leaves it to the process exit).
class DeviceLink {
public:
    explicit DeviceLink(LinkNotifier* notifier = nullptr);

    // 1 when "\\.\Zelkode" was opened; else 0, no handle, and NOUSBDEV is shown.
    int Open();
    // Always 1; closes the handle if one is held.
    int Close();
    // 1 when a sample was delivered. The no-event record gives 0 and three zero outputs;
    // a failed request sets removed, closes the link, writes 0xFE into *status, shows
    // USBDEVREMOVED and gives 0 (x and y untouched).
    int ReadSample(std::int32_t* x, std::int32_t* y, std::uint8_t* status);
    // 1 when the driver accepted the command; on failure SNDCMDERROR is shown, 0.
    int SendCommand(std::uint8_t code);

    bool IsOpen() const { return handle_ != nullptr; }
    bool IsRemoved() const { return removed_; }
    app::Handle handle() const { return handle_; }
    std::uint32_t bytesReturned() const { return bytesReturned_; }

private:
    void Notify(const LangKey& message);

    LinkNotifier* notifier_;
    std::uint32_t bytesReturned_ = 0;
    app::Handle handle_ = nullptr;
    bool removed_ = false;
};

// A touch as the calibration sees it.
enum : std::uint8_t {
    TOUCH_EVENT_TOUCH = 0xA0,    // from status 0x81 (down) or 0x82 (held)
    TOUCH_EVENT_RELEASE = 0x80,  // from status 0x84 (lifted)
};

struct TouchEvent {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint8_t kind = 0;
};

// ReadTouchEvent: one sample of the link as a touch event. The process keeps one
// last event (all zero at the start): the first touch becomes the baseline and is
// not reported; an event equal to the last one in x, y and kind is not reported
// again; other statuses are ignored. 1 and *event filled when a new event is
// reported; else 0 and *event cleared.
int ReadTouchEvent(DeviceLink& link, TouchEvent* event);
// Forgets the last event, as at program start (tests only).
void ResetTouchEventMemory();

}  // namespace pointwell
