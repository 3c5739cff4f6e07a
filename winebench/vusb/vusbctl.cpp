// vusbctl: plays the touch frame through the test bench's virtual USB bus.
//
//   vusbctl [--wait MS] COMMAND [ARGS] [COMMAND [ARGS]]...
//
// Commands run in order on one handle to \\.\ZkVusbCtl; each prints one line.
//   touch STATUS X Y     an 8-byte report: raw X at bytes 2-3, raw Y at 4-5, status at 6
//   report B0 [B1..B7]   a transfer of exactly these bytes (hex; fewer than 8: a short one)
//   fail NTSTATUS [USBD] the next transfer fails with these statuses (hex)
//   port on|off          the port answers connected and enabled, or not connected
//   reset-status NTSTATUS  how port resets complete from now on
//   ids VID PID          vendor and product in the device descriptor (hex)
//   frame VID PID INTERFACES ENDPOINTS   the frame the next plug brings: its ids (hex) in
//                        the hardware id and the device descriptor, its interfaces and
//                        the interrupt-IN endpoints of each (decimal)
//   plug | unplug        the frame appears on the bus or leaves it
//   consumer-read [LEN]  the bus sends one IOCTL_ZELKO_READ_EVENT (output LEN, default 10)
//                        to the top of the frame's stack, as a kernel consumer does
//   counters             what the bus has seen, as name=value pairs
//   wait NAME>=N [MS]    polls the counters until NAME is at least N (default 5000 ms)
//   wait NAME=N [MS]     ... until NAME equals N
//   sleep MS
// --wait MS retries opening the control device for up to MS milliseconds.
// Exit code: 0 when every command succeeded, 1 when one failed, 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vusbctl.h"

namespace {

const char* const kCounterNames[] = {VUSB_COUNTER_NAMES};
const unsigned kCounterCount = sizeof(VUSB_COUNTERS) / sizeof(unsigned);
static_assert(sizeof(kCounterNames) / sizeof(kCounterNames[0]) == kCounterCount, "one name per counter");

HANDLE g_device = INVALID_HANDLE_VALUE;

// *value is changed only when the whole text is a number.
bool ParseNumber(const char* text, unsigned long* value, int base)
{
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, base);
    if (end == text || *end != 0)
        return false;
    *value = v;
    return true;
}

bool Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength, DWORD* error)
{
    DWORD returned = 0;
    if (DeviceIoControl(g_device, code, const_cast<void*>(in), inLength, out, outLength, &returned, nullptr)) {
        *error = 0;
        return true;
    }
    *error = GetLastError();
    return false;
}

bool Inject(const char* what, const VUSB_INJECT& inj)
{
    ULONG delivered = 0;
    DWORD error;
    if (!Control(IOCTL_VUSB_INJECT, &inj, sizeof(inj), &delivered, sizeof(delivered), &error)) {
        std::printf("%s error %lu\n", what, error);
        return false;
    }
    std::printf("%s ok delivered=%lu\n", what, delivered);
    return true;
}

bool Set(const char* what, const VUSB_SETTINGS& settings)
{
    DWORD error;
    if (!Control(IOCTL_VUSB_SET, &settings, sizeof(settings), nullptr, 0, &error)) {
        std::printf("%s error %lu\n", what, error);
        return false;
    }
    std::printf("%s ok\n", what);
    return true;
}

bool ReadCounters(VUSB_COUNTERS* counters, DWORD* error)
{
    return Control(IOCTL_VUSB_COUNTERS, nullptr, 0, counters, sizeof(*counters), error);
}

unsigned CounterValue(const VUSB_COUNTERS& counters, unsigned index)
{
    return reinterpret_cast<const unsigned*>(&counters)[index];
}

int CounterIndex(const char* name, size_t length)
{
    for (unsigned i = 0; i < kCounterCount; ++i)
        if (std::strlen(kCounterNames[i]) == length && std::strncmp(kCounterNames[i], name, length) == 0)
            return (int)i;
    return -1;
}

// "NAME>=N" or "NAME=N".
bool ParseCondition(const char* text, int* index, bool* atLeast, unsigned long* value)
{
    const char* op = std::strchr(text, '=');
    if (!op || op == text)
        return false;
    *atLeast = op[-1] == '>';
    size_t nameLength = (size_t)(op - text) - (*atLeast ? 1 : 0);
    *index = CounterIndex(text, nameLength);
    return *index >= 0 && ParseNumber(op + 1, value, 10);
}

bool Open(unsigned long waitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        g_device = CreateFileA(VUSB_CTL_USER_PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (g_device != INVALID_HANDLE_VALUE)
            return true;
        if (GetTickCount() - start >= waitMs)
            return false;
        Sleep(50);
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: vusbctl [--wait MS] COMMAND...\n"
                         "  touch STATUS X Y | report B0 [B1..B7] | fail NTSTATUS [USBD] | port on|off\n"
                         "  reset-status NTSTATUS | ids VID PID | frame VID PID INTERFACES ENDPOINTS\n"
                         "  plug | unplug | consumer-read [LEN]\n"
                         "  counters\n"
                         "  wait NAME>=N [MS] | wait NAME=N [MS] | sleep MS\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int i = 1;
    unsigned long waitMs = 0;
    if (i + 1 < argc && std::strcmp(argv[i], "--wait") == 0) {
        if (!ParseNumber(argv[i + 1], &waitMs, 10))
            return Usage();
        i += 2;
    }
    if (i >= argc)
        return Usage();
    if (!Open(waitMs)) {
        std::printf("open error %lu\n", GetLastError());
        return 1;
    }
    bool allOk = true;
    while (i < argc) {
        const char* cmd = argv[i++];
        int left = argc - i;
        bool ok = true;
        if (std::strcmp(cmd, "touch") == 0) {
            unsigned long status, x, y;
            if (left < 3 || !ParseNumber(argv[i], &status, 16) || !ParseNumber(argv[i + 1], &x, 10) ||
                !ParseNumber(argv[i + 2], &y, 10) || status > 0xFF || x > 0xFFFF || y > 0xFFFF)
                return Usage();
            i += 3;
            VUSB_INJECT inj = {};
            inj.kind = VUSB_INJECT_DATA;
            inj.length = VUSB_REPORT_BYTES;
            inj.data[2] = (unsigned char)x;
            inj.data[3] = (unsigned char)(x >> 8);
            inj.data[4] = (unsigned char)y;
            inj.data[5] = (unsigned char)(y >> 8);
            inj.data[6] = (unsigned char)status;
            ok = Inject("touch", inj);
        } else if (std::strcmp(cmd, "report") == 0) {
            VUSB_INJECT inj = {};
            inj.kind = VUSB_INJECT_DATA;
            unsigned long b;
            while (i < argc && inj.length < VUSB_REPORT_BYTES && ParseNumber(argv[i], &b, 16) && b <= 0xFF) {
                inj.data[inj.length++] = (unsigned char)b;
                ++i;
            }
            if (inj.length == 0)
                return Usage();
            ok = Inject("report", inj);
        } else if (std::strcmp(cmd, "fail") == 0) {
            unsigned long status, usbd = 0xC0000011;  // USBD_STATUS_XACT_ERROR
            if (left < 1 || !ParseNumber(argv[i], &status, 16))
                return Usage();
            ++i;
            if (i < argc && ParseNumber(argv[i], &usbd, 16))
                ++i;
            VUSB_INJECT inj = {};
            inj.kind = VUSB_INJECT_FAIL;
            inj.ntStatus = (int)status;
            inj.usbdStatus = (int)usbd;
            ok = Inject("fail", inj);
        } else if (std::strcmp(cmd, "port") == 0) {
            if (left < 1 || (std::strcmp(argv[i], "on") != 0 && std::strcmp(argv[i], "off") != 0))
                return Usage();
            VUSB_SETTINGS s = {};
            s.mask = VUSB_SET_PORT;
            s.portConnected = std::strcmp(argv[i++], "on") == 0;
            ok = Set("port", s);
        } else if (std::strcmp(cmd, "reset-status") == 0) {
            unsigned long status;
            if (left < 1 || !ParseNumber(argv[i++], &status, 16))
                return Usage();
            VUSB_SETTINGS s = {};
            s.mask = VUSB_SET_RESET_STATUS;
            s.resetStatus = (int)status;
            ok = Set("reset-status", s);
        } else if (std::strcmp(cmd, "ids") == 0) {
            unsigned long vid, pid;
            if (left < 2 || !ParseNumber(argv[i], &vid, 16) || !ParseNumber(argv[i + 1], &pid, 16) || vid > 0xFFFF ||
                pid > 0xFFFF)
                return Usage();
            i += 2;
            VUSB_SETTINGS s = {};
            s.mask = VUSB_SET_IDS;
            s.idVendor = (unsigned short)vid;
            s.idProduct = (unsigned short)pid;
            ok = Set("ids", s);
        } else if (std::strcmp(cmd, "frame") == 0) {
            unsigned long vid, pid, interfaces, endpoints;
            if (left < 4 || !ParseNumber(argv[i], &vid, 16) || !ParseNumber(argv[i + 1], &pid, 16) ||
                !ParseNumber(argv[i + 2], &interfaces, 10) || !ParseNumber(argv[i + 3], &endpoints, 10) ||
                vid > 0xFFFF || pid > 0xFFFF || interfaces > VUSB_MAX_INTERFACES || endpoints > VUSB_MAX_ENDPOINTS)
                return Usage();
            i += 4;
            VUSB_SETTINGS s = {};
            s.mask = VUSB_SET_FRAME;
            s.frameVendor = (unsigned short)vid;
            s.frameProduct = (unsigned short)pid;
            s.frameInterfaces = (unsigned int)interfaces;
            s.frameEndpoints = (unsigned int)endpoints;
            ok = Set("frame", s);
        } else if (std::strcmp(cmd, "plug") == 0 || std::strcmp(cmd, "unplug") == 0) {
            ULONG present = cmd[0] == 'p';
            DWORD error;
            ok = Control(IOCTL_VUSB_PLUG, &present, sizeof(present), nullptr, 0, &error);
            if (ok)
                std::printf("%s ok\n", cmd);
            else
                std::printf("%s error %lu\n", cmd, error);
        } else if (std::strcmp(cmd, "consumer-read") == 0) {
            unsigned long length = 10;
            if (i < argc && ParseNumber(argv[i], &length, 10))
                ++i;
            ULONG in = (ULONG)length;
            DWORD error;
            ok = Control(IOCTL_VUSB_CONSUMER_READ, &in, sizeof(in), nullptr, 0, &error);
            if (ok)
                std::printf("consumer-read ok\n");
            else
                std::printf("consumer-read error %lu\n", error);
        } else if (std::strcmp(cmd, "counters") == 0) {
            VUSB_COUNTERS c;
            DWORD error;
            ok = ReadCounters(&c, &error);
            if (ok) {
                std::printf("counters");
                for (unsigned k = 0; k < kCounterCount; ++k)
                    std::printf(" %s=%u", kCounterNames[k], CounterValue(c, k));
                std::printf("\n");
            } else {
                std::printf("counters error %lu\n", error);
            }
        } else if (std::strcmp(cmd, "wait") == 0) {
            int index;
            bool atLeast;
            unsigned long value, ms = 5000;
            if (left < 1 || !ParseCondition(argv[i], &index, &atLeast, &value))
                return Usage();
            const char* condition = argv[i++];
            if (i < argc && ParseNumber(argv[i], &ms, 10))
                ++i;
            DWORD start = GetTickCount();
            VUSB_COUNTERS c;
            DWORD error;
            for (;;) {
                if (!ReadCounters(&c, &error)) {
                    std::printf("wait %s error %lu\n", condition, error);
                    ok = false;
                    break;
                }
                unsigned now = CounterValue(c, (unsigned)index);
                if (atLeast ? now >= value : now == value) {
                    std::printf("wait %s ok\n", condition);
                    break;
                }
                if (GetTickCount() - start >= ms) {
                    std::printf("wait %s timeout %s=%u\n", condition, kCounterNames[index], now);
                    ok = false;
                    break;
                }
                Sleep(10);
            }
        } else if (std::strcmp(cmd, "sleep") == 0) {
            unsigned long ms;
            if (left < 1 || !ParseNumber(argv[i++], &ms, 10))
                return Usage();
            Sleep(ms);
            std::printf("sleep ok\n");
        } else {
            return Usage();
        }
        std::fflush(stdout);
        allOk = allOk && ok;
    }
    CloseHandle(g_device);
    return allOk ? 0 : 1;
}
