#include "devicelink.h"

#include <cstring>

namespace pointwell {

bool RequestEvent(app::Platform& platform, app::Handle handle, EventRecord* record, std::uint32_t outSize,
                  std::uint32_t* returned)
{
    std::uint8_t small[ZELKO_EVENT_BYTES * 2] = {};
    std::uint8_t* buffer = small;
    std::uint8_t* big = nullptr;
    if (outSize > sizeof(small))
        buffer = big = new std::uint8_t[outSize]();
    std::uint32_t got = 0;
    const bool ok = platform.DeviceControl(handle, IOCTL_ZELKO_GET_EVENT, nullptr, 0, buffer, outSize, &got);
    if (returned)
        *returned = got;
    if (ok) {
        std::uint8_t raw[ZELKO_EVENT_BYTES] = {};
        std::memcpy(raw, buffer, outSize < sizeof(raw) ? outSize : sizeof(raw));
        record->reserved = ZelkoGetU32(raw);
        record->x = ZelkoGetU32(raw + 4);
        record->y = ZelkoGetU32(raw + 8);
        record->code = ZelkoGetU32(raw + 12);
    }
    delete[] big;
    return ok;
}

bool RequestCommand(app::Platform& platform, app::Handle handle, std::uint8_t code, std::uint32_t inSize,
                    std::uint32_t* returned)
{
    std::uint8_t small[ZELKO_COMMAND_BYTES * 2] = {};
    std::uint8_t* buffer = small;
    std::uint8_t* big = nullptr;
    if (inSize > sizeof(small))
        buffer = big = new std::uint8_t[inSize]();
    if (inSize > 0)
        buffer[0] = code;
    std::uint32_t got = 0;
    const bool ok = platform.DeviceControl(handle, IOCTL_ZELKO_COMMAND, buffer, inSize, nullptr, 0, &got);
    if (returned)
        *returned = got;
    delete[] big;
    return ok;
}

DeviceLink::DeviceLink(LinkNotifier* notifier) : notifier_(notifier) {}

void DeviceLink::Notify(const LangKey& message)
{
    if (notifier_)
        notifier_->Show(message);
}

int DeviceLink::Open()
{
    handle_ = app::CurrentAppPlatform().OpenDevice(ZELKO_USER_PATH, 0);
    if (!handle_) {
        Notify(langkeys::NoUsbDev);
        return 0;
    }
    return 1;
}

int DeviceLink::Close()
{
    if (handle_) {
        app::CurrentAppPlatform().CloseHandle(handle_);
        handle_ = nullptr;
    }
    return 1;
}

int DeviceLink::ReadSample(std::int32_t* x, std::int32_t* y, std::uint8_t* status)
{
    if (removed_ || !handle_)
        return 0;
    EventRecord record;
    if (!RequestEvent(app::CurrentAppPlatform(), handle_, &record, ZELKO_EVENT_BYTES, &bytesReturned_)) {
        // Removed and closed before the message, so that a poll made while the
        // message box is open returns at once.
        removed_ = true;
        Close();
        *status = 0xFE;
        Notify(langkeys::UsbDevRemoved);
        return 0;
    }
    *x = static_cast<std::int32_t>(record.x);
    *y = static_cast<std::int32_t>(record.y);
    *status = static_cast<std::uint8_t>(record.code);
    if (*status == ZELKO_NO_EVENT && *x == static_cast<std::int32_t>(ZELKO_NO_EVENT) &&
        *y == static_cast<std::int32_t>(ZELKO_NO_EVENT)) {
        *x = *y = 0;
        *status = 0;
        return 0;
    }
    return 1;
}

int DeviceLink::SendCommand(std::uint8_t code)
{
    if (removed_ || !handle_)
        return 0;
    if (RequestCommand(app::CurrentAppPlatform(), handle_, code, ZELKO_COMMAND_BYTES, &bytesReturned_))
        return 1;
    Notify(langkeys::SndCmdError);
    return 0;
}

namespace {
TouchEvent g_lastEvent;  // one for the whole process
}

void ResetTouchEventMemory() { g_lastEvent = TouchEvent(); }

int ReadTouchEvent(DeviceLink& link, TouchEvent* event)
{
    *event = TouchEvent();
    std::int32_t x = 0, y = 0;
    std::uint8_t status = 0;
    if (!link.ReadSample(&x, &y, &status))
        return 0;
    std::uint8_t kind;
    if (status == 0x81 || status == 0x82) {
        kind = TOUCH_EVENT_TOUCH;
    } else if (status == 0x84) {
        kind = TOUCH_EVENT_RELEASE;
    } else {
        return 0;
    }
    TouchEvent& last = g_lastEvent;
    if (last.x == 0 && last.y == 0 && last.kind == 0)
        last = TouchEvent{x, y, kind};
    if (last.x == x && last.y == y && last.kind == kind)
        return 0;
    last = TouchEvent{x, y, kind};
    *event = last;
    return 1;
}

}  // namespace pointwell
