// zsrun: a zelkosim scenario on a real machine. Under Wine that is Wine's own
// kernel, PnP manager and usbd with the real Zelko.sys on the bench's virtual USB
// bus (ZkVusb.sys); the output is what zelkosim prints for the consumer "none",
// so that the two can be compared line by line.
//
//   zsrun [--consumer none] [-v] [SCRIPT]       (SCRIPT absent or "-": standard input)
//
// The script is read with zelkosim's own reader (zelkosim/script.h). Each command:
//   plug, unplug          the bus's control device plugs the frame in (with the ids,
//                         interfaces and endpoints asked) or pulls it out; zsrun waits
//                         until Wine has started the device and Zelko's read is held,
//                         or until the device is removed and its link gone
//   touch, report, short  one transfer for the held interrupt read, then zsrun waits
//   fail STATUS           until Zelko has taken it (its next read held, or the bus quiet);
//                         with no read held the report is lost, as on the wire
//   port                  what the port status query answers
//   wait MS               a real pause of MS milliseconds
//   reg ...               the Win32 registry: the tool's key HKLM\SOFTWARE\Veltran\Pointwell
//                         and (reg show) Zelko's copy under its service key
//   tool command|event    Pointwell's device link to "\\.\Zelkode"
// stop, start, sleep, wake and any consumer but "none" cannot be done here: zsrun names
// the first such line and exits with 3 before it has changed anything.
//
// Before the script the machine is made fresh as zelkosim's is: the frame unplugged
// (the device removed), the tool's key and Zelko's copy deleted, the port connected.
// Zelko's driver itself stays loaded between runs (Wine does not unload it).
//
// Every wait is bounded. -v logs each command with the bus's counters and the time
// it took on standard error.
//
// Exit status: 0; 1 when the bench cannot be driven (no bus, a wait ran out where the
// bench must answer); 2 for a script error (as zelkosim: "zsrun: line N: reason");
// 3 when the script needs something this platform cannot do.
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <ntstatus.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "appplatform_win32.h"
#include "devicelink.h"
#include "script.h"
#include "usb/kernal_driver/usb/touch.h"
#include "vusbctl.h"
#include "zelkoioctl.h"

namespace {

using zelkosim::Command;
using zelkosim::Verb;

// ---- names ----------------------------------------------------------------------------------------

// The status names zelkosim prints (and, where `fail` is true, accepts after `fail`).
struct StatusEntry {
    NTSTATUS status;
    const char* name;
    bool fail;
};
const StatusEntry kStatuses[] = {
    {STATUS_SUCCESS, "STATUS_SUCCESS", true},
    {STATUS_TIMEOUT, "STATUS_TIMEOUT", true},
    {STATUS_PENDING, "STATUS_PENDING", false},
    {STATUS_MORE_PROCESSING_REQUIRED, "STATUS_MORE_PROCESSING_REQUIRED", false},
    {STATUS_BUFFER_OVERFLOW, "STATUS_BUFFER_OVERFLOW", true},
    {STATUS_UNSUCCESSFUL, "STATUS_UNSUCCESSFUL", true},
    {STATUS_NOT_IMPLEMENTED, "STATUS_NOT_IMPLEMENTED", true},
    {STATUS_INVALID_PARAMETER, "STATUS_INVALID_PARAMETER", true},
    {STATUS_NO_SUCH_DEVICE, "STATUS_NO_SUCH_DEVICE", true},
    {STATUS_INVALID_DEVICE_REQUEST, "STATUS_INVALID_DEVICE_REQUEST", true},
    {STATUS_NO_MEMORY, "STATUS_NO_MEMORY", true},
    {STATUS_ACCESS_DENIED, "STATUS_ACCESS_DENIED", true},
    {STATUS_BUFFER_TOO_SMALL, "STATUS_BUFFER_TOO_SMALL", true},
    {STATUS_OBJECT_NAME_INVALID, "STATUS_OBJECT_NAME_INVALID", false},
    {STATUS_OBJECT_NAME_NOT_FOUND, "STATUS_OBJECT_NAME_NOT_FOUND", false},
    {STATUS_OBJECT_NAME_COLLISION, "STATUS_OBJECT_NAME_COLLISION", false},
    {STATUS_SHARING_VIOLATION, "STATUS_SHARING_VIOLATION", true},
    {STATUS_DELETE_PENDING, "STATUS_DELETE_PENDING", true},
    {STATUS_INSUFFICIENT_RESOURCES, "STATUS_INSUFFICIENT_RESOURCES", true},
    {STATUS_DEVICE_DATA_ERROR, "STATUS_DEVICE_DATA_ERROR", true},
    {STATUS_DEVICE_NOT_CONNECTED, "STATUS_DEVICE_NOT_CONNECTED", true},
    {STATUS_IO_TIMEOUT, "STATUS_IO_TIMEOUT", true},
    {STATUS_NOT_SUPPORTED, "STATUS_NOT_SUPPORTED", true},
    {STATUS_INVALID_USER_BUFFER, "STATUS_INVALID_USER_BUFFER", true},
    {STATUS_CANCELLED, "STATUS_CANCELLED", true},
    {STATUS_INVALID_DEVICE_STATE, "STATUS_INVALID_DEVICE_STATE", true},
    {STATUS_DEVICE_BUSY, "STATUS_DEVICE_BUSY", true},
};

// As zelkosim names a status: its name, or 0x%08X when it has none.
std::string StatusName(NTSTATUS status)
{
    for (const StatusEntry& e : kStatuses)
        if (e.status == status)
            return e.name;
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", (unsigned)status);
    return b;
}

// The user-mode calls report a Win32 error where the driver completed with an
// NTSTATUS (the system maps one to the other). The errors a Zelko request can end
// with, back to the status zelkosim shows. Several statuses share an error (1 is
// also STATUS_NOT_IMPLEMENTED); the one listed is the one Zelko's road gives.
// An error not listed prints as WIN32_ERROR_n, which no zelkosim line matches.
std::string StatusNameOfError(DWORD error)
{
    static const struct {
        DWORD error;
        NTSTATUS status;
    } map[] = {
        {ERROR_SUCCESS, STATUS_SUCCESS},
        {ERROR_INVALID_FUNCTION, STATUS_INVALID_DEVICE_REQUEST},     // 1
        {ERROR_FILE_NOT_FOUND, STATUS_OBJECT_NAME_NOT_FOUND},        // 2: no such name
        {ERROR_PATH_NOT_FOUND, STATUS_OBJECT_PATH_NOT_FOUND},        // 3: a link whose device is gone
        {ERROR_ACCESS_DENIED, STATUS_ACCESS_DENIED},                 // 5
        {ERROR_NOT_ENOUGH_MEMORY, STATUS_NO_MEMORY},                 // 8
        {ERROR_GEN_FAILURE, STATUS_UNSUCCESSFUL},                    // 31
        {ERROR_SHARING_VIOLATION, STATUS_SHARING_VIOLATION},         // 32
        {ERROR_NOT_SUPPORTED, STATUS_NOT_SUPPORTED},                 // 50
        {ERROR_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},         // 87
        {ERROR_INSUFFICIENT_BUFFER, STATUS_BUFFER_TOO_SMALL},        // 122
        {ERROR_BUSY, STATUS_DEVICE_BUSY},                            // 170
        {ERROR_MORE_DATA, STATUS_BUFFER_OVERFLOW},                   // 234
        {ERROR_OPERATION_ABORTED, STATUS_CANCELLED},                 // 995
        {ERROR_DEVICE_NOT_CONNECTED, STATUS_DEVICE_NOT_CONNECTED},   // 1167
        {ERROR_NO_SYSTEM_RESOURCES, STATUS_INSUFFICIENT_RESOURCES},  // 1450
    };
    for (const auto& m : map)
        if (m.error == error)
            return StatusName(m.status);
    return "WIN32_ERROR_" + std::to_string(error);
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring w((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string s((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &s[0], n, nullptr, nullptr);
    return s;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return s;
}

// ---- errors ---------------------------------------------------------------------------------------

struct ScriptError {  // a script error: exit 2
    std::string reason;
};
struct BenchError {  // the bench did not answer as it must: exit 1
    std::string reason;
};

[[noreturn]] void Fail(const std::string& reason) { throw ScriptError{reason}; }

[[noreturn]] void BenchFail(const char* format, ...)
{
    char b[512];
    va_list a;
    va_start(a, format);
    std::vsnprintf(b, sizeof b, format, a);
    va_end(a);
    throw BenchError{b};
}

bool g_verbose = false;
unsigned g_line = 0;

void Note(const char* format, ...)
{
    char b[512];
    va_list a;
    va_start(a, format);
    std::vsnprintf(b, sizeof b, format, a);
    va_end(a);
    std::fprintf(stderr, "zsrun: line %u: %s\n", g_line, b);
    std::fflush(stderr);
}

// ---- the bench's bus ------------------------------------------------------------------------------

// Bounds of the waits (milliseconds).
const DWORD kOpenBusMs = 30000;  // the bus's control device appears
const DWORD kPnpMs = 20000;      // Wine starts or removes the frame's device
const DWORD kLinkGoneMs = 5000;  // Zelko's link goes with its removed device
const DWORD kSettleMs = 5000;    // Zelko answers a transfer (at most)
const DWORD kQuietMs = 500;      // no counter moved for this long: no read is coming
const DWORD kPollMs = 2;

// The URB status of a failed transfer, as zelkosim's bus gives it (Zelko looks only
// at the request's status).
const int kUsbdDevNotResponding = (int)0xC0000005;  // USBD_STATUS_DEV_NOT_RESPONDING

class Bus {
public:
    ~Bus()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }

    void Open()
    {
        DWORD start = GetTickCount();
        for (;;) {
            h_ = CreateFileA(VUSB_CTL_USER_PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
            if (h_ != INVALID_HANDLE_VALUE)
                return;
            if (GetTickCount() - start >= kOpenBusMs)
                BenchFail("the bench's bus (%s) cannot be opened: error %lu", VUSB_CTL_USER_PATH, GetLastError());
            Sleep(50);
        }
    }

    VUSB_COUNTERS Counters()
    {
        VUSB_COUNTERS c;
        DWORD error = Control(IOCTL_VUSB_COUNTERS, nullptr, 0, &c, sizeof c);
        if (error)
            BenchFail("the bus's counters cannot be read: error %lu", error);
        return c;
    }

    // The transfer held now gets this injection; false when none was held (the bus
    // then keeps it for the next transfer).
    bool Inject(const VUSB_INJECT& inj)
    {
        ULONG delivered = 0;
        DWORD error = Control(IOCTL_VUSB_INJECT, &inj, sizeof inj, &delivered, sizeof delivered);
        if (error)
            BenchFail("the bus refused an injection: error %lu", error);
        return delivered != 0;
    }

    void Set(const VUSB_SETTINGS& settings)
    {
        DWORD error = Control(IOCTL_VUSB_SET, &settings, sizeof settings, nullptr, 0);
        if (error)
            BenchFail("the bus refused its settings: error %lu", error);
    }

    // ERROR_BUSY while the frame pulled out before is not gone yet.
    DWORD Plug(bool present)
    {
        ULONG in = present ? 1 : 0;
        return Control(IOCTL_VUSB_PLUG, &in, sizeof in, nullptr, 0);
    }

private:
    DWORD Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength)
    {
        DWORD returned = 0;
        if (DeviceIoControl(h_, code, const_cast<void*>(in), inLength, out, outLength, &returned, nullptr))
            return 0;
        return GetLastError();
    }

    HANDLE h_ = INVALID_HANDLE_VALUE;
};

bool SameCounters(const VUSB_COUNTERS& a, const VUSB_COUNTERS& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string CountersText(const VUSB_COUNTERS& c)
{
    char b[256];
    std::snprintf(b, sizeof b,
                  "transfers=%u held=%u queued=%u delivered=%u failed=%u resets=%u portqueries=%u starts=%u "
                  "removes=%u present=%u configured=%u",
                  c.transfers, c.held, c.queued, c.delivered, c.failed, c.resets, c.portQueries, c.starts, c.removes,
                  c.present, c.configured);
    return b;
}

// ---- the machine ----------------------------------------------------------------------------------

const wchar_t kToolKey[] = L"SOFTWARE\\Veltran\\Pointwell";  // under HKLM
// Zelko's copy: ZELKO_COPY_SUBKEY under its service key (Windows hands the driver
// ControlSet001, Wine CurrentControlSet; the one is a link to the other).
const wchar_t kCopyKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Zelko\\Pointwell";

// The touch frame, the one Zelko is installed for.
const uint16_t kBusVendor = VUSB_VENDOR_ID, kBusProduct = VUSB_PRODUCT_ID;

class Machine {
public:
    Machine() : io_(app::CurrentAppPlatform()) {}
    ~Machine() { CloseTool(); }

    // The state zelkosim starts from.
    void MakeFresh()
    {
        bus_.Open();
        VUSB_SETTINGS s = {};
        s.mask = VUSB_SET_PORT | VUSB_SET_RESET_STATUS | VUSB_SET_FRAME;
        s.portConnected = 1;
        s.resetStatus = STATUS_SUCCESS;
        s.frameVendor = kBusVendor;
        s.frameProduct = kBusProduct;
        s.frameInterfaces = 1;
        s.frameEndpoints = 1;
        bus_.Set(s);
        VUSB_COUNTERS c = bus_.Counters();
        if (c.present)
            PullOut();
        c = bus_.Counters();
        if (c.queued)
            BenchFail("the bus holds %u injection(s) from before", c.queued);
        DeleteKey(kToolKey);
        DeleteKey(kCopyKey);
        plugged_ = false;
    }

    void Execute(const Command& c)
    {
        switch (c.verb) {
        case Verb::Plug:
            if (plugged_)
                Fail("plug while plugged");
            PlugIn(c.plug);
            plugged_ = true;
            break;
        case Verb::Unplug:
            RequireFrame("unplug");
            CloseTool();
            PullOut();
            plugged_ = false;
            break;
        case Verb::Touch:
        case Verb::Report:
        case Verb::Short: {
            RequireFrame(c.word);
            VUSB_INJECT inj = {};
            inj.kind = VUSB_INJECT_DATA;
            inj.length = (unsigned)c.bytes.size();
            std::memcpy(inj.data, c.bytes.data(), c.bytes.size());
            Transfer(inj);
            break;
        }
        case Verb::Fail:
            FailRead(c);
            break;
        case Verb::Port: {
            VUSB_SETTINGS s = {};
            s.mask = VUSB_SET_PORT;
            s.portConnected = c.connected ? 1 : 0;
            bus_.Set(s);
            break;
        }
        case Verb::Wait:
            Sleep((DWORD)c.ms);
            break;
        case Verb::RegSz:
        case Verb::RegBin:
        case Verb::RegDword:
        case Verb::RegDel:
        case Verb::RegTables:
        case Verb::RegShow:
            Registry(c);
            break;
        case Verb::ToolCommand:
            ToolCommand(c);
            break;
        case Verb::ToolEvent:
            ToolEvent(c);
            break;
        default:  // refused before the run
            Fail(c.word + " is not available on this platform");
        }
    }

    std::string Snapshot() { return CountersText(bus_.Counters()); }

private:
    void RequireFrame(const std::string& command)
    {
        if (!plugged_)
            Fail(command + ": the frame is not plugged");
    }

    // The frame appears; Wine's PnP manager (asynchronously) adds Zelko's device
    // and starts it. Done when the device was started and, as far as Zelko goes on
    // to read, its read is held. A frame of another product has no driver here (the
    // package's INF names the touch frame alone): done when the PnP manager has
    // looked at it and the bus has been quiet for kQuietMs.
    void PlugIn(const zelkosim::PlugOptions& options)
    {
        VUSB_SETTINGS s = {};
        s.mask = VUSB_SET_FRAME;
        s.frameVendor = options.hasVendorId ? options.vendorId : kBusVendor;
        s.frameProduct = options.hasProductId ? options.productId : kBusProduct;
        s.frameInterfaces = options.hasInterfaces ? options.interfaces : 1;
        s.frameEndpoints = options.hasEndpoints ? options.endpoints : 1;
        bus_.Set(s);
        const bool zelkoFrame = s.frameVendor == kBusVendor && s.frameProduct == kBusProduct;
        VUSB_COUNTERS before = bus_.Counters();
        DWORD start = GetTickCount();
        for (;;) {
            DWORD error = bus_.Plug(true);
            if (!error)
                break;
            if (error != ERROR_BUSY || GetTickCount() - start >= kPnpMs)
                BenchFail("plug: the bus refused: error %lu", error);
            Sleep(10);
        }
        start = GetTickCount();
        if (!zelkoFrame) {
            while (bus_.Counters().capsQueries == before.capsQueries) {
                if (GetTickCount() - start >= kPnpMs)
                    BenchFail("plug: the PnP manager did not look at the frame within %lu ms", kPnpMs);
                Sleep(kPollMs);
            }
            if (Settle(before))
                Note("plug: a frame of another product is read");
            return;
        }
        while (bus_.Counters().starts == before.starts) {
            if (GetTickCount() - start >= kPnpMs)
                BenchFail("plug: the frame was not started within %lu ms", kPnpMs);
            Sleep(kPollMs);
        }
        if (!Settle(before) && g_verbose)
            Note("plug: no read held after the start");
    }

    // Surprise removal and removal of the frame's device; done when the device
    // has been removed and Zelko's link to it is gone.
    void PullOut()
    {
        VUSB_COUNTERS before = bus_.Counters();
        DWORD error = bus_.Plug(false);
        if (error)
            BenchFail("unplug: the bus refused: error %lu", error);
        DWORD start = GetTickCount();
        while (bus_.Counters().removes == before.removes) {
            if (GetTickCount() - start >= kPnpMs)
                BenchFail("unplug: the frame's device was not removed within %lu ms", kPnpMs);
            Sleep(kPollMs);
        }
        // The removal reaches the bus before Zelko has finished with it: Zelko deletes
        // its link once the removal has come back up. A link that stays shows in the
        // next tool line.
        start = GetTickCount();
        for (;;) {
            app::Handle h = io_.OpenDevice(ZELKO_USER_PATH, 0);
            if (!h)
                break;
            io_.CloseHandle(h);
            if (GetTickCount() - start >= kLinkGoneMs) {
                Note("unplug: %s still opens %lu ms after the removal", ZELKO_USER_PATH, kLinkGoneMs);
                break;
            }
            Sleep(kPollMs);
        }
    }

    // Waits until Zelko has dealt with what the bus gave it: its next read is held
    // (a read newer than `before`), or nothing has moved at the bus for kQuietMs
    // (Zelko does not read again). False when no read is held.
    bool Settle(const VUSB_COUNTERS& before)
    {
        DWORD start = GetTickCount(), lastChange = start;
        VUSB_COUNTERS last = bus_.Counters();
        for (;;) {
            VUSB_COUNTERS c = bus_.Counters();
            if (c.held >= 1 && c.transfers > before.transfers)
                return true;
            DWORD now = GetTickCount();
            if (!SameCounters(c, last)) {
                last = c;
                lastChange = now;
            } else if (now - lastChange >= kQuietMs) {
                return false;
            }
            if (now - start >= kSettleMs) {
                Note("Zelko was still busy after %lu ms (%s)", kSettleMs, CountersText(c).c_str());
                return false;
            }
            Sleep(kPollMs);
        }
    }

    // One interrupt transfer answered, if one is held; else the report is lost.
    //
    // The bus completes the held transfer in the injecting request's thread, and
    // Zelko's completion routine runs there at once: a report is processed and the
    // next read sent before the injection returns. A failing read is different: the
    // port reset, the port status query and the read after them are sent from a work
    // item, later. So when no new read is held on return, the bench waits until one
    // is, or until the bus has been quiet for kQuietMs (the reads ended, or the port
    // reports no frame).
    void Transfer(const VUSB_INJECT& inj)
    {
        VUSB_COUNTERS before = bus_.Counters();
        if (before.held == 0)
            return;
        if (!bus_.Inject(inj))
            BenchFail("the transfer was taken away before the injection; the bus keeps it");
        VUSB_COUNTERS c = bus_.Counters();
        if (c.held >= 1 && c.transfers > before.transfers)
            return;
        Settle(before);
    }

    void FailRead(const Command& c)
    {
        const StatusEntry* entry = nullptr;
        for (const StatusEntry& e : kStatuses)
            if (e.fail && c.statusName == e.name)
                entry = &e;
        if (!entry)
            Fail("unknown status name '" + c.statusName + "'");
        RequireFrame("fail");
        VUSB_INJECT inj = {};
        if (entry->status == STATUS_SUCCESS) {
            inj.kind = VUSB_INJECT_DATA;  // an empty successful transfer
            inj.length = 0;
        } else {
            inj.kind = VUSB_INJECT_FAIL;
            inj.ntStatus = entry->status;
            inj.usbdStatus = kUsbdDevNotResponding;
        }
        Transfer(inj);
    }

    // ---- registry -------------------------------------------------------------------------------
    // The key, its values and subkeys; a key that is not there is fine.
    static void DeleteKey(const wchar_t* path)
    {
        LONG r = RegDeleteTreeW(HKEY_LOCAL_MACHINE, path);
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
            BenchFail("HKLM\\%s cannot be deleted: error %ld", Narrow(path).c_str(), r);
    }

    static HKEY ToolKey()
    {
        HKEY key;
        LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kToolKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr);
        if (r != ERROR_SUCCESS)
            BenchFail("the tool's key cannot be created: error %ld", r);
        return key;
    }

    static void SetValue(const std::string& name, DWORD type, const void* data, size_t size)
    {
        HKEY key = ToolKey();
        LONG r = RegSetValueExW(key, Wide(name).c_str(), 0, type, (const BYTE*)data, (DWORD)size);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS)
            BenchFail("the value %s cannot be written: error %ld", name.c_str(), r);
    }

    void Registry(const Command& c)
    {
        switch (c.verb) {
        case Verb::RegSz: {
            // Stored as the programs store text: UTF-16 without a terminating zero.
            // RegSetValueExW counts a zero in for a caller that "forgot" it when the
            // character after the data is zero (Windows does so as well); a character
            // other than zero there keeps the value exactly as long as counted.
            std::wstring text = Wide(c.text);
            std::wstring buffer = text + L'.';
            SetValue(c.valueName, REG_SZ, text.empty() ? L"" : buffer.c_str(), text.size() * sizeof(wchar_t));
            break;
        }
        case Verb::RegBin:
            SetValue(c.valueName, REG_BINARY, c.bytes.empty() ? (const void*)"" : c.bytes.data(), c.bytes.size());
            break;
        case Verb::RegDword: {
            DWORD v = c.dword;
            SetValue(c.valueName, REG_DWORD, &v, sizeof v);
            break;
        }
        case Verb::RegDel: {
            HKEY key = ToolKey();
            LONG r = RegDeleteValueW(key, Wide(c.valueName).c_str());
            RegCloseKey(key);
            if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
                BenchFail("the value %s cannot be deleted: error %ld", c.valueName.c_str(), r);
            break;
        }
        case Verb::RegTables:
            WriteTable("XArray", c.kx, c.cx);
            WriteTable("YArray", c.ky, c.cy);
            break;
        default:
            ShowKey("tool", kToolKey);
            ShowKey("copy", kCopyKey);
            break;
        }
    }

    // table[i] = trunc(k * i + c), kept to 0..65535, for i = 0..4999 (as zelkosim writes it).
    static void WriteTable(const char* name, double k, double c)
    {
        std::vector<uint8_t> t(zelko::TABLE_BYTES);
        for (unsigned i = 0; i < zelko::RAW_POINTS; ++i) {
            double v = std::trunc(k * (double)i + c);
            uint16_t n = v <= 0 ? 0 : v >= 65535 ? 65535 : (uint16_t)v;
            ZelkoPutU16(&t[2 * i], n);
        }
        SetValue(name, REG_BINARY, t.data(), t.size());
    }

    struct Value {
        std::string name;
        DWORD type;
        std::vector<uint8_t> data;
    };

    // As zelkosim prints a value: text up to its first zero character, REG_DWORD in
    // decimal, anything else as its byte count; the values by name, case aside.
    void ShowKey(const char* which, const wchar_t* path)
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return;
        std::vector<Value> values;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = sizeof name / sizeof name[0];
            DWORD type = 0, size = 0;
            LONG r = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size);
            if (r == ERROR_NO_MORE_ITEMS)
                break;
            if (r != ERROR_SUCCESS)
                BenchFail("reg show: value %lu of %s cannot be read: error %ld", i, which, r);
            Value v;
            v.name = Narrow(std::wstring(name, nameLength));
            v.type = type;
            v.data.resize(size);
            DWORD got = size;
            r = RegQueryValueExW(key, name, nullptr, &type, size ? v.data.data() : nullptr, &got);
            if (r != ERROR_SUCCESS)
                BenchFail("reg show: %s cannot be read: error %ld", v.name.c_str(), r);
            v.data.resize(got);
            values.push_back(v);
        }
        RegCloseKey(key);
        std::sort(values.begin(), values.end(),
                  [](const Value& a, const Value& b) { return Lower(a.name) < Lower(b.name); });
        for (const Value& v : values) {
            Emit(zelkosim::RegShowLine(which, v.name, v.type, v.data));
        }
    }

    // ---- the tool -------------------------------------------------------------------------------
    // The tool's handle to "\\.\Zelkode", opened when first needed and again after an unplug.
    bool OpenTool(std::string* status)
    {
        if (!tool_) {
            tool_ = io_.OpenDevice(ZELKO_USER_PATH, 0);
            if (!tool_) {
                *status = StatusNameOfError(io_.LastError());
                return false;
            }
        }
        return true;
    }

    void CloseTool()
    {
        if (tool_)
            io_.CloseHandle(tool_);
        tool_ = nullptr;
    }

    void ToolCommand(const Command& c)
    {
        std::string status = "STATUS_SUCCESS";
        if (OpenTool(&status) && !pointwell::RequestCommand(io_, tool_, c.code, c.length))
            status = StatusNameOfError(io_.LastError());
        Emit("tool status=" + status);
    }

    void ToolEvent(const Command& c)
    {
        std::string status = "STATUS_SUCCESS";
        pointwell::EventRecord record;
        std::uint32_t bytes = 0;
        if (OpenTool(&status) && !pointwell::RequestEvent(io_, tool_, &record, c.length, &bytes)) {
            status = StatusNameOfError(io_.LastError());
            record = pointwell::EventRecord();
        }
        // As zelkosim: only the bytes that came back count.
        uint8_t raw[ZELKO_EVENT_BYTES] = {0};
        ZelkoPutU32(raw + 4, record.x);
        ZelkoPutU32(raw + 8, record.y);
        ZelkoPutU32(raw + 12, record.code);
        for (uint32_t i = bytes; i < ZELKO_EVENT_BYTES; ++i)
            raw[i] = 0;
        char line[160];
        std::snprintf(line, sizeof line, "tool status=%s bytes=%u x=%u y=%u code=0x%02x", status.c_str(),
                      (unsigned)bytes, ZelkoGetU32(raw + 4), ZelkoGetU32(raw + 8), ZelkoGetU32(raw + 12));
        Emit(line);
    }

    static void Emit(const std::string& line)
    {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    Bus bus_;
    app::Platform& io_;
    app::Handle tool_ = nullptr;
    bool plugged_ = false;
};

// What this platform cannot do, or empty.
std::string NotAvailable(const Command& c)
{
    switch (c.verb) {
    case Verb::Stop:
    case Verb::Start:
    case Verb::Sleep:
    case Verb::Wake:
        return c.word;
    case Verb::Fail: {
        // The bus completes a transfer with data (STATUS_SUCCESS: none) or with an
        // error status; not with a success-class status such as STATUS_TIMEOUT.
        for (const StatusEntry& e : kStatuses)
            if (c.statusName == e.name && e.status != STATUS_SUCCESS && e.status >= 0)
                return "fail " + c.statusName;
        return "";
    }
    default:
        return "";
    }
}

int Usage(FILE* f)
{
    std::fprintf(f, "usage: zsrun [--consumer none] [-v] [SCRIPT]\n"
                    "Runs a zelkosim scenario on this machine (the bench's bus and Zelko) and prints what\n"
                    "zelkosim prints for the consumer none. SCRIPT absent or '-': standard input.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);  // "\n" line ends, as zelkosim's
    std::string script;
    bool haveScript = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        }
        if (a == "-v") {
            g_verbose = true;
        } else if (a == "--consumer" || a.rfind("--consumer=", 0) == 0) {
            std::string name;
            if (a == "--consumer") {
                if (i + 1 == argc)
                    return Usage(stderr);
                name = argv[++i];
            } else {
                name = a.substr(11);
            }
            if (name != "none") {
                std::fprintf(stderr, "zsrun: consumer %s is not available on this platform\n", name.c_str());
                return 3;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "zsrun: unknown option '%s'\n", a.c_str());
            return Usage(stderr);
        } else {
            if (haveScript)
                return Usage(stderr);
            script = a;
            haveScript = true;
        }
    }

    std::vector<std::string> lines;
    {
        std::ifstream file;
        std::istream* in = &std::cin;
        if (haveScript && script != "-") {
            file.open(script, std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "zsrun: cannot open '%s'\n", script.c_str());
                return 2;
            }
            in = &file;
        }
        for (std::string l; std::getline(*in, l);)
            lines.push_back(l);
    }

    // What cannot be done here is refused before anything is changed; a script error
    // comes when its line is reached, after the lines before it have run (as zelkosim).
    for (size_t i = 0; i < lines.size(); ++i) {
        Command c;
        if (!zelkosim::ParseLine(lines[i], &c, nullptr))
            break;
        std::string what = NotAvailable(c);
        if (!what.empty()) {
            std::fprintf(stderr, "zsrun: line %u: %s is not available on this platform\n", (unsigned)(i + 1),
                         what.c_str());
            return 3;
        }
    }

    Machine machine;
    try {
        machine.MakeFresh();
        if (g_verbose)
            std::fprintf(stderr, "zsrun: fresh: %s\n", machine.Snapshot().c_str());
        for (size_t i = 0; i < lines.size(); ++i) {
            g_line = (unsigned)(i + 1);
            Command c;
            std::string reason;
            if (!zelkosim::ParseLine(lines[i], &c, &reason))
                Fail(reason);
            if (c.verb == Verb::None)
                continue;
            DWORD t0 = GetTickCount();
            machine.Execute(c);
            if (g_verbose)
                std::fprintf(stderr, "zsrun: line %u (%lu ms): %s | %s\n", g_line, GetTickCount() - t0,
                             lines[i].c_str(), machine.Snapshot().c_str());
        }
    } catch (const ScriptError& e) {
        std::fprintf(stderr, "zsrun: line %u: %s\n", g_line, e.reason.c_str());
        return 2;
    } catch (const BenchError& e) {
        std::fprintf(stderr, "zsrun: line %u: %s\n", g_line, e.reason.c_str());
        return 1;
    }
    return 0;
}
