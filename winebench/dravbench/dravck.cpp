// dravck: the checker of the Dravick test bench. Installs devices through the setup
// API and drives the stand-in for the mouse class driver (DravBench.sys) through its
// control device; prints one line per step.
//
//   dravck stage INF                 SetupCopyOEMInfA (the PnP manager looks there)
//   dravck root HWID INF             a root device with this hardware id, given its driver
//   dravck remove HWID               DIF_REMOVE on every device with this hardware id
//   dravck [--wait MS] STEP...       steps at the stand-in, in order:
//     state | wait-attached MS | wait-removed MS | attributes LENGTH | internal CODE
//     connect | create | close | records | unplug
//
// Exit code 0 when every step ran (whatever the statuses it prints), 1 otherwise.
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>
#include <ntddmou.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dravbench.h"

namespace {

int Fail(const char* step)
{
    std::printf("%s error %lu\n", step, GetLastError());
    return 1;
}

int Stage(const char* inf)
{
    char dest[MAX_PATH] = "";
    if (!SetupCopyOEMInfA(inf, nullptr, SPOST_PATH, 0, dest, sizeof dest, nullptr, nullptr))
        return Fail("stage");
    std::printf("stage ok\n");
    return 0;
}

int Root(const char* hwid, const char* inf)
{
    GUID cls;
    char className[MAX_CLASS_NAME];
    if (!SetupDiGetINFClassA(inf, &cls, className, sizeof className, nullptr))
        return Fail("root");
    HDEVINFO set = SetupDiCreateDeviceInfoList(&cls, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return Fail("root");
    SP_DEVINFO_DATA dev = {};
    dev.cbSize = sizeof dev;
    char ids[256] = {};
    std::snprintf(ids, sizeof ids - 2, "%s", hwid);
    int rc = 0;
    if (!SetupDiCreateDeviceInfoA(set, className, &cls, nullptr, nullptr, DICD_GENERATE_ID, &dev) ||
        !SetupDiSetDeviceRegistryPropertyA(set, &dev, SPDRP_HARDWAREID, (const BYTE*)ids,
                                           (DWORD)std::strlen(ids) + 2) ||
        !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &dev)) {
        rc = Fail("root");
    } else {
        BOOL reboot = FALSE;
        if (!UpdateDriverForPlugAndPlayDevicesA(nullptr, hwid, inf, INSTALLFLAG_FORCE, &reboot)) {
            rc = Fail("root");
            SetupDiCallClassInstaller(DIF_REMOVE, set, &dev);
        } else {
            std::printf("root ok\n");
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return rc;
}

int Remove(const char* hwid)
{
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return Fail("remove");
    SP_DEVINFO_DATA dev = {};
    dev.cbSize = sizeof dev;
    int removed = 0;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
        char ids[1024] = {};
        if (!SetupDiGetDeviceRegistryPropertyA(set, &dev, SPDRP_HARDWAREID, nullptr, (BYTE*)ids, sizeof ids - 2,
                                               nullptr))
            continue;
        for (const char* p = ids; *p; p += std::strlen(p) + 1)
            if (lstrcmpiA(p, hwid) == 0 && SetupDiCallClassInstaller(DIF_REMOVE, set, &dev)) {
                ++removed;
                break;
            }
    }
    SetupDiDestroyDeviceInfoList(set);
    std::printf("remove ok count=%d\n", removed);
    return 0;
}

// ---- the stand-in ------------------------------------------------------------------------
HANDLE Open(DWORD waitMs)
{
    for (DWORD waited = 0;; waited += 100) {
        HANDLE h = CreateFileA(DRAVBENCH_USER_PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE || waited >= waitMs)
            return h;
        Sleep(100);
    }
}

bool State(HANDLE h, DRAVBENCH_STATE* s)
{
    DWORD bytes = 0;
    return DeviceIoControl(h, IOCTL_DRAVBENCH_STATE, nullptr, 0, s, sizeof *s, &bytes, nullptr) && bytes == sizeof *s;
}

const char* Probe(unsigned result)
{
    return result == DRAVBENCH_PROBE_WORKS ? "works" : result == DRAVBENCH_PROBE_STUB ? "stub" : "not-run";
}

bool SendStep(HANDLE h, unsigned kind, unsigned code, unsigned length, DRAVBENCH_RESULT* r)
{
    DRAVBENCH_SEND in = {kind, code, length};
    DWORD bytes = 0;
    return DeviceIoControl(h, IOCTL_DRAVBENCH_SEND, &in, sizeof in, r, sizeof *r, &bytes, nullptr);
}

// Polls until the condition holds; "NAME ok" or "NAME timeout".
template <typename Cond>
bool WaitFor(HANDLE h, const char* name, DWORD ms, Cond cond)
{
    for (DWORD waited = 0;; waited += 100) {
        DRAVBENCH_STATE s;
        if (State(h, &s) && cond(s)) {
            std::printf("%s ok\n", name);
            return true;
        }
        if (waited >= ms) {
            std::printf("%s timeout\n", name);
            return true;
        }
        Sleep(100);
    }
}

bool Step(HANDLE h, char** argv, int argc, int* i)
{
    const char* step = argv[*i];
    auto arg = [&]() -> const char* { return *i + 1 < argc ? argv[++*i] : "0"; };
    DRAVBENCH_RESULT r = {};
    if (!std::strcmp(step, "state")) {
        DRAVBENCH_STATE s;
        if (!State(h, &s))
            return false;
        std::printf("state present=%u started=%u attached=%u driver=%s starts=%u surprise=%u removes=%u records=%u "
                    "getdeviceobjectpointer=%s notification=%s\n",
                    s.childPresent, s.childStarted, s.attached, s.topDriver[0] ? s.topDriver : "-", s.starts,
                    s.surpriseRemovals, s.removes, s.records, Probe(s.deviceObjectPointer),
                    Probe(s.interfaceNotification));
        return true;
    }
    if (!std::strcmp(step, "wait-attached"))
        return WaitFor(h, step, (DWORD)std::strtoul(arg(), nullptr, 0),
                       [](const DRAVBENCH_STATE& s) { return s.attached && s.childStarted; });
    if (!std::strcmp(step, "wait-removed"))
        return WaitFor(h, step, (DWORD)std::strtoul(arg(), nullptr, 0),
                       [](const DRAVBENCH_STATE& s) { return s.removes > 0 && !s.attached; });
    if (!std::strcmp(step, "attributes")) {
        unsigned length = (unsigned)std::strtoul(arg(), nullptr, 0);
        if (!SendStep(h, DRAVBENCH_SEND_INTERNAL, IOCTL_MOUSE_QUERY_ATTRIBUTES, length, &r))
            return false;
        std::printf("attributes %u status=0x%08X bytes=%u", length, (unsigned)r.status, r.information);
        if (r.information >= 12) {
            const MOUSE_ATTRIBUTES* a = (const MOUSE_ATTRIBUTES*)r.data;
            std::printf(" id=0x%02X buttons=%u rate=%u queue=%lu", a->MouseIdentifier, a->NumberOfButtons,
                        a->SampleRate, a->InputDataQueueLength);
        }
        std::printf("\n");
        return true;
    }
    if (!std::strcmp(step, "internal")) {
        unsigned code = (unsigned)std::strtoul(arg(), nullptr, 0);
        if (!SendStep(h, DRAVBENCH_SEND_INTERNAL, code, 0, &r))
            return false;
        std::printf("internal 0x%08X status=0x%08X\n", code, (unsigned)r.status);
        return true;
    }
    unsigned kind = !std::strcmp(step, "connect")  ? DRAVBENCH_SEND_CONNECT
                    : !std::strcmp(step, "create") ? DRAVBENCH_SEND_CREATE
                    : !std::strcmp(step, "close")  ? DRAVBENCH_SEND_CLOSE
                                                   : 0;
    if (kind) {
        if (!SendStep(h, kind, 0, 0, &r))
            return false;
        std::printf("%s status=0x%08X\n", step, (unsigned)r.status);
        return true;
    }
    if (!std::strcmp(step, "records")) {
        DRAVBENCH_RECORD records[DRAVBENCH_MAX_RECORDS];
        DWORD bytes = 0;
        if (!DeviceIoControl(h, IOCTL_DRAVBENCH_RECORDS, nullptr, 0, records, sizeof records, &bytes, nullptr))
            return false;
        unsigned n = bytes / sizeof records[0];
        std::printf("records count=%u\n", n);
        for (unsigned k = 0; k < n; ++k)
            std::printf("record flags=%u buttons=0x%04X raw=0x%02X x=%d y=%d irql=%u\n", records[k].flags,
                        records[k].buttonFlags, records[k].rawButtons, records[k].lastX, records[k].lastY,
                        records[k].irql);
        return true;
    }
    if (!std::strcmp(step, "unplug")) {
        DWORD bytes = 0;
        if (!DeviceIoControl(h, IOCTL_DRAVBENCH_UNPLUG, nullptr, 0, nullptr, 0, &bytes, nullptr))
            return false;
        std::printf("unplug ok\n");
        return true;
    }
    std::printf("%s unknown step\n", step);
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && !std::strcmp(argv[1], "stage"))
        return Stage(argv[2]);
    if (argc == 4 && !std::strcmp(argv[1], "root"))
        return Root(argv[2], argv[3]);
    if (argc == 3 && !std::strcmp(argv[1], "remove"))
        return Remove(argv[2]);
    int i = 1;
    DWORD waitMs = 0;
    if (argc > 2 && !std::strcmp(argv[1], "--wait")) {
        waitMs = (DWORD)std::strtoul(argv[2], nullptr, 0);
        i = 3;
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: dravck stage INF | root HWID INF | remove HWID | [--wait MS] STEP...\n");
        return 2;
    }
    HANDLE h = Open(waitMs);
    if (h == INVALID_HANDLE_VALUE) {
        std::printf("open error %lu\n", GetLastError());
        return 1;
    }
    int rc = 0;
    for (; i < argc && rc == 0; ++i)
        if (!Step(h, argv, argc, &i)) {
            std::printf("%s error %lu\n", argv[i], GetLastError());
            rc = 1;
        }
    CloseHandle(h);
    return rc;
}
