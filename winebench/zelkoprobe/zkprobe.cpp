// zkprobe: Zelko's control interface from user mode, through Pointwell's device link.
//
//   zkprobe [--wait MS] COMMAND [ARGS] [COMMAND [ARGS]]...
//
// Opens "\\.\Zelkode" once (retrying for up to MS milliseconds with --wait), then runs
// the commands in order, one output line each:
//   event [LEN]          IOCTL_ZELKO_GET_EVENT (output buffer LEN, default 16)
//                        -> "event ok reserved=R x=X y=Y code=C" or "event error=E"
//   command N [LEN]      IOCTL_ZELKO_COMMAND with byte 0 = N (input LEN, default 16)
//                        -> "command N ok" or "command N error=E"
//   sample               the tool's ReadSample -> "sample result=R x=X y=Y status=S"
//   drain                GET_EVENT until the no-event record -> "drain count=N"
//   sleep MS
// Exit code: 0 when the commands ran (a refused request is an output line, not a
// failure), 1 when the device could not be opened, 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "appplatform_win32.h"
#include "devicelink.h"

namespace {

// The tool's messages as output lines (muted while the probe waits for the device).
class PrintNotifier : public pointwell::LinkNotifier {
public:
    void Show(const LangKey& message) override
    {
        if (!muted)
            std::printf("message %s\n", message.key);
    }
    bool muted = false;
};

// *value is changed only when the whole text is a number.
bool ParseNumber(const char* text, unsigned long* value)
{
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 0);
    if (end == text || *end != 0)
        return false;
    *value = v;
    return true;
}

int Usage()
{
    std::fprintf(stderr, "usage: zkprobe [--wait MS] COMMAND...\n"
                         "  event [LEN] | command N [LEN] | sample | drain | sleep MS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int i = 1;
    unsigned long waitMs = 0;
    if (i + 1 < argc && std::strcmp(argv[i], "--wait") == 0) {
        if (!ParseNumber(argv[i + 1], &waitMs))
            return Usage();
        i += 2;
    }
    if (i >= argc)
        return Usage();

    app::Platform& io = app::CurrentAppPlatform();
    PrintNotifier notifier;
    pointwell::DeviceLink link(&notifier);
    const DWORD start = GetTickCount();
    notifier.muted = true;
    while (!link.Open()) {
        if (GetTickCount() - start >= waitMs) {
            std::printf("open error=%u\n", io.LastError());
            return 1;
        }
        Sleep(50);
    }
    notifier.muted = false;

    while (i < argc) {
        const char* cmd = argv[i++];
        unsigned long a = 0, len = 0;
        if (std::strcmp(cmd, "event") == 0) {
            len = ZELKO_EVENT_BYTES;
            if (i < argc && ParseNumber(argv[i], &len))
                ++i;
            pointwell::EventRecord r;
            std::uint32_t got = 0;
            if (pointwell::RequestEvent(io, link.handle(), &r, len, &got))
                std::printf("event ok reserved=%u x=%u y=%u code=%u bytes=%u\n", r.reserved, r.x, r.y, r.code, got);
            else
                std::printf("event error=%u\n", io.LastError());
        } else if (std::strcmp(cmd, "command") == 0) {
            if (i >= argc || !ParseNumber(argv[i], &a) || a > 0xFF)
                return Usage();
            ++i;
            len = ZELKO_COMMAND_BYTES;
            if (i < argc && ParseNumber(argv[i], &len))
                ++i;
            if (pointwell::RequestCommand(io, link.handle(), static_cast<std::uint8_t>(a), len))
                std::printf("command %lu ok\n", a);
            else
                std::printf("command %lu error=%u\n", a, io.LastError());
        } else if (std::strcmp(cmd, "sample") == 0) {
            std::int32_t x = -1, y = -1;
            std::uint8_t status = 0;
            const int result = link.ReadSample(&x, &y, &status);
            std::printf("sample result=%d x=%d y=%d status=%u\n", result, x, y, status);
        } else if (std::strcmp(cmd, "drain") == 0) {
            unsigned count = 0;
            pointwell::EventRecord r;
            while (count < 1000 && pointwell::RequestEvent(io, link.handle(), &r) && !r.IsNoEvent())
                ++count;
            std::printf("drain count=%u\n", count);
        } else if (std::strcmp(cmd, "sleep") == 0) {
            if (i >= argc || !ParseNumber(argv[i++], &a))
                return Usage();
            Sleep(a);
            std::printf("sleep ok\n");
        } else {
            return Usage();
        }
        std::fflush(stdout);
    }
    link.Close();
    return 0;
}
