// zelkosim's engine: script parsing and execution on the simulated machine.
#include "scenario.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

#include "simkernel/pnp.h"
#include "simkernel/sim.h"
#include "usb/kernal_driver/usb/zelko.h"
#include "zelkoioctl.h"

// The consumer drivers join the build as they are written: CMake defines
// ZELKOSIM_HAVE_DRAVICK / ZELKOSIM_HAVE_MIRAVEL when their targets exist, and
// the simulated class driver each one talks to must be there as well.
#if defined(ZELKOSIM_HAVE_DRAVICK) && __has_include("simkernel/mouclass.h")
#include "simkernel/mouclass.h"
#include "usb/kernal_driver/2kService/sermdep.h"
#define ZELKOSIM_DRAVICK 1
#else
#define ZELKOSIM_DRAVICK 0
#endif

#if defined(ZELKOSIM_HAVE_MIRAVEL) && __has_include("simkernel/hidclass.h")
#include "hid/miravel.h"
#include "simkernel/hidclass.h"
#define ZELKOSIM_MIRAVEL 1
#else
#define ZELKOSIM_MIRAVEL 0
#endif

namespace zelkosim {

namespace {

const char* const kToolKey = "HKLM\\SOFTWARE\\Veltran\\Pointwell";
const char* const kFrameHardwareId = "USB\\VID_5A53&PID_0001";
const char* const kDravickHardwareId = "root\\DRAVLINE";
const char* const kMiravelHardwareId = "HID\\Vid_05E3&Pid_1205";
const unsigned kMaxToolLength = 4096;  // the largest record buffer the tool lines may ask for
const unsigned kMaxInterfaces = 32;
const unsigned kMaxEndpoints = 30;

std::string CopyKey() { return sim::ServiceKey("Zelko") + "\\Pointwell"; }

// A script error: the reason, without the line number.
struct ScriptError {
    std::string reason;
};

[[noreturn]] void Fail(const std::string& reason) { throw ScriptError{reason}; }

std::string Quoted(const std::string& word) { return "'" + word + "'"; }

// A decimal or 0x-hex number no greater than max.
uint64_t Number(const std::string& word, uint64_t max)
{
    uint64_t value = 0;
    size_t i = 0;
    unsigned base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i == word.size())
        Fail("bad number " + Quoted(word));
    for (; i < word.size(); ++i) {
        char c = word[i];
        unsigned d;
        if (c >= '0' && c <= '9')
            d = (unsigned)(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = (unsigned)(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = (unsigned)(c - 'A' + 10);
        else
            Fail("bad number " + Quoted(word));
        if (value > (UINT64_MAX - d) / base)
            Fail("number " + Quoted(word) + " is out of range (at most " + std::to_string(max) + ")");
        value = value * base + d;
    }
    if (value > max)
        Fail("number " + Quoted(word) + " is out of range (at most " + std::to_string(max) + ")");
    return value;
}

// One byte in hex: one or two hex digits, optionally after 0x.
uint8_t HexByte(const std::string& word)
{
    std::string digits = word;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 2)
        Fail("bad byte " + Quoted(word) + " (one byte in hex, 00 to ff)");
    unsigned value = 0;
    for (char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = (unsigned)(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = (unsigned)(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = (unsigned)(c - 'A' + 10);
        else
            Fail("bad byte " + Quoted(word) + " (one byte in hex, 00 to ff)");
        value = value * 16 + d;
    }
    return (uint8_t)value;
}

// A finite decimal real number (the factors of `reg tables`).
double Real(const std::string& word)
{
    const char* begin = word.c_str();
    char* end = nullptr;
    double v = std::strtod(begin, &end);
    if (word.empty() || end != begin + word.size() || !std::isfinite(v))
        Fail("bad number " + Quoted(word));
    return v;
}

const char* TypeName(uint32_t type)
{
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    return type < sizeof names / sizeof names[0] ? names[type] : nullptr;
}

// How `reg show` prints a value's data: a text up to its first zero character,
// a REG_DWORD in decimal, anything else as its byte count.
std::string ValueText(const sim::registry::Value& v)
{
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
        std::u16string text;
        for (size_t i = 0; i + 1 < v.data.size(); i += 2) {
            char16_t c = (char16_t)(v.data[i] | (v.data[i + 1] << 8));
            if (c == 0)
                break;
            text += c;
        }
        return sim::Narrow(text);
    }
    if (v.type == REG_DWORD && v.data.size() == 4)
        return std::to_string(ZelkoGetU32(v.data.data()));
    return std::to_string(v.data.size());
}

// A script line split into words, with the text each word starts.
struct Words {
    std::string text;  // without its comment and trailing blanks
    std::vector<std::string> words;
    std::vector<size_t> starts;

    explicit Words(const std::string& line)
    {
        text = line.substr(0, line.find('#'));
        while (!text.empty() && std::isspace((unsigned char)text.back()))
            text.pop_back();
        size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && std::isspace((unsigned char)text[i]))
                ++i;
            if (i == text.size())
                break;
            size_t start = i;
            while (i < text.size() && !std::isspace((unsigned char)text[i]))
                ++i;
            words.push_back(text.substr(start, i - start));
            starts.push_back(start);
        }
    }
    size_t size() const { return words.size(); }
    const std::string& operator[](size_t i) const { return words[i]; }
};

// Checks the number of words of a command against its usage.
void Arity(const Words& w, size_t least, size_t most, const char* usage)
{
    if (w.size() < least)
        Fail("missing argument (" + std::string(usage) + ")");
    if (w.size() > most)
        Fail("too many arguments (" + std::string(usage) + ")");
}

}  // namespace

// ---- consumers ----------------------------------------------------------------------------------

bool ParseConsumer(const std::string& text, Consumer* consumer)
{
    static const std::pair<const char*, Consumer> names[] = {
        {"none", Consumer::None}, {"dravick", Consumer::Dravick}, {"miravel", Consumer::Miravel}, {"both", Consumer::Both}};
    for (auto& n : names)
        if (text == n.first) {
            *consumer = n.second;
            return true;
        }
    return false;
}

const char* ConsumerName(Consumer consumer)
{
    switch (consumer) {
    case Consumer::Dravick:
        return "dravick";
    case Consumer::Miravel:
        return "miravel";
    case Consumer::Both:
        return "both";
    default:
        return "none";
    }
}

bool ConsumerAvailable(Consumer consumer)
{
    switch (consumer) {
    case Consumer::Dravick:
        return ZELKOSIM_DRAVICK;
    case Consumer::Miravel:
        return ZELKOSIM_MIRAVEL;
    case Consumer::Both:
        return ZELKOSIM_DRAVICK && ZELKOSIM_MIRAVEL;
    default:
        return true;
    }
}

Consumer DefaultConsumer() { return ZELKOSIM_DRAVICK ? Consumer::Dravick : Consumer::None; }

// ---- the session --------------------------------------------------------------------------------

struct Session::State {
    std::ostream& out;
    Consumer consumer;
    sim::user::Handle tool = sim::user::kInvalidHandle;
    bool portConnected = true;
    bool asleep = false;
    std::vector<sim::pnp::DevNode*> consumerNodes;

    State(Consumer c, std::ostream& o) : out(o), consumer(c) {}

    void Emit(const char* line)
    {
        out << line << '\n';
        out.flush();  // a machine fault aborts: what came before it stays visible
    }

    // ---- machine set-up --------------------------------------------------------------------------
    void Start()
    {
        sim::Reset();
        sim::pnp::InstallFunctionDriver(kFrameHardwareId, {"Zelko", zelko::DriverEntry, sim::TagOf("Zelk")});
        if (consumer == Consumer::Dravick || consumer == Consumer::Both)
            AddDravick();
        if (consumer == Consumer::Miravel || consumer == Consumer::Both)
            AddMiravel();
        sim::RunPending();
    }

    void AddDravick()
    {
#if ZELKOSIM_DRAVICK
        sim::mouclass::SetSink([this](const MOUSE_INPUT_DATA& d, KIRQL) {
            char line[96];
            std::snprintf(line, sizeof line, "mouse buttons=0x%04x raw=0x%02x x=%u y=%u", (unsigned)d.ButtonFlags,
                          (unsigned)d.RawButtons, (unsigned)d.LastX, (unsigned)d.LastY);
            Emit(line);
        });
        sim::mouclass::Install(kDravickHardwareId);
        sim::pnp::InstallFunctionDriver(kDravickHardwareId, {"Dravick", dravick::DriverEntry, dravick::DRAVICK_TAG});
        consumerNodes.push_back(sim::pnp::CreateRootDevice(kDravickHardwareId));
#else
        (void)kDravickHardwareId;
#endif
    }

    void AddMiravel()
    {
#if ZELKOSIM_MIRAVEL
        sim::hidclass::SetSink([this](const uint8_t* report, size_t length) {
            std::string line = "hid";
            char b[4];
            for (size_t i = 0; i < length; ++i) {
                std::snprintf(b, sizeof b, " %02x", report[i]);
                line += b;
            }
            Emit(line.c_str());
        });
        sim::pnp::InstallFunctionDriver(kMiravelHardwareId, {"Miravel", miravel::DriverEntry, miravel::MIRAVEL_TAG});
        consumerNodes.push_back(sim::pnp::CreateRootDevice(kMiravelHardwareId));
#else
        (void)kMiravelHardwareId;
#endif
    }

    void ClearSinks()
    {
#if ZELKOSIM_DRAVICK
        sim::mouclass::SetSink(nullptr);
#endif
#if ZELKOSIM_MIRAVEL
        sim::hidclass::SetSink(nullptr);
#endif
    }

    // The tool's handle ends before the device it leads to goes away; the tool
    // opens the device anew when it is next needed.
    void CloseTool()
    {
        if (tool != sim::user::kInvalidHandle)
            sim::user::CloseHandle(tool);
        tool = sim::user::kInvalidHandle;
    }

    // ---- commands ---------------------------------------------------------------------------------
    void Execute(const Words& w)
    {
        const std::string& c = w[0];
        if (c == "plug")
            Plug(w);
        else if (c == "unplug")
            Unplug(w);
        else if (c == "stop" || c == "start")
            StopStart(w);
        else if (c == "sleep" || c == "wake")
            SleepWake(w);
        else if (c == "touch")
            Touch(w);
        else if (c == "report")
            Report(w);
        else if (c == "short")
            Short(w);
        else if (c == "fail")
            FailRead(w);
        else if (c == "port")
            Port(w);
        else if (c == "wait")
            Wait(w);
        else if (c == "reg")
            Registry(w);
        else if (c == "tool")
            Tool(w);
        else
            Fail("unknown command " + Quoted(c));
        sim::RunPending();
    }

    void RequireFrame(const std::string& command)
    {
        if (!sim::usb::Plugged())
            Fail(command + ": the frame is not plugged");
    }

    void Plug(const Words& w)
    {
        const char* usage = "plug [vid=N] [pid=N] [interfaces=N] [endpoints=N]";
        sim::usb::FrameDescription d;
        for (size_t i = 1; i < w.size(); ++i) {
            size_t eq = w[i].find('=');
            std::string key = w[i].substr(0, eq);
            if (eq == std::string::npos)
                Fail("bad plug option " + Quoted(w[i]) + " (" + usage + ")");
            std::string value = w[i].substr(eq + 1);
            if (key == "vid")
                d.vendorId = (uint16_t)Number(value, 0xFFFF);
            else if (key == "pid")
                d.productId = (uint16_t)Number(value, 0xFFFF);
            else if (key == "interfaces")
                d.interfaces = (uint8_t)Number(value, kMaxInterfaces);
            else if (key == "endpoints")
                d.endpointsPerInterface = (uint8_t)Number(value, kMaxEndpoints);
            else
                Fail("bad plug option " + Quoted(w[i]) + " (" + usage + ")");
        }
        if (sim::usb::Plugged())
            Fail("plug while plugged");
        if (!sim::usb::Plug(d))
            Fail("plug: the bus could not report the frame");
        if (!portConnected)
            sim::usb::SetPortConnected(false);
    }

    void Unplug(const Words& w)
    {
        Arity(w, 1, 1, "unplug");
        RequireFrame("unplug");
        CloseTool();
        sim::usb::Unplug();
    }

    void StopStart(const Words& w)
    {
        Arity(w, 1, 1, w[0] == "stop" ? "stop" : "start");
        RequireFrame(w[0]);
        sim::pnp::DevNode* node = sim::usb::FrameNode();
        if (w[0] == "stop")
            sim::pnp::Stop(node);
        else
            sim::pnp::Start(node);
    }

    void SleepWake(const Words& w)
    {
        const bool sleep = w[0] == "sleep";
        Arity(w, 1, 1, sleep ? "sleep" : "wake");
        if (sleep == asleep)
            Fail(sleep ? "sleep while asleep" : "wake while awake");
        asleep = sleep;
        if (sleep)
            sim::pnp::SystemSleep();
        else
            sim::pnp::SystemWake();
    }

    void Deliver(const uint8_t* bytes, unsigned length)
    {
        // A frame whose transfer is not held loses the report, as on the wire.
        sim::usb::Report(bytes, length);
    }

    void Touch(const Words& w)
    {
        Arity(w, 4, 4, "touch <down|hold|up|N> <x> <y>");
        uint8_t status;
        if (w[1] == "down")
            status = zelko::TOUCH_DOWN;
        else if (w[1] == "hold")
            status = zelko::TOUCH_HOLD;
        else if (w[1] == "up")
            status = zelko::TOUCH_UP;
        else if (!w[1].empty() && std::isdigit((unsigned char)w[1][0]))
            status = (uint8_t)Number(w[1], 0xFF);
        else
            Fail("bad touch status " + Quoted(w[1]) + " (down, hold, up or a number)");
        uint16_t x = (uint16_t)Number(w[2], 0xFFFF);
        uint16_t y = (uint16_t)Number(w[3], 0xFFFF);
        RequireFrame("touch");
        uint8_t r[8] = {0, 0, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8), status, 0};
        Deliver(r, sizeof r);
    }

    void Report(const Words& w)
    {
        Arity(w, 9, 9, "report b0 b1 b2 b3 b4 b5 b6 b7");
        uint8_t r[8];
        for (size_t i = 0; i < 8; ++i)
            r[i] = HexByte(w[i + 1]);
        RequireFrame("report");
        Deliver(r, sizeof r);
    }

    void Short(const Words& w)
    {
        const char* usage = "short <n> b0 ... b(n-1)";
        Arity(w, 2, 10, usage);
        unsigned n = (unsigned)Number(w[1], 8);
        if (w.size() - 2 != n)
            Fail("short " + std::to_string(n) + " needs " + std::to_string(n) + " byte(s), got " +
                 std::to_string(w.size() - 2));
        uint8_t r[8] = {0};
        for (unsigned i = 0; i < n; ++i)
            r[i] = HexByte(w[i + 2]);
        RequireFrame("short");
        Deliver(r, n);
    }

    void FailRead(const Words& w)
    {
        Arity(w, 2, 2, "fail <STATUS_NAME>");
        NTSTATUS status;
        if (!sim::StatusFromName(w[1], &status))
            Fail("unknown status name " + Quoted(w[1]));
        RequireFrame("fail");
        sim::usb::FailTransfer(status);
    }

    void Port(const Words& w)
    {
        Arity(w, 2, 2, "port <connected|disconnected>");
        if (w[1] == "connected")
            portConnected = true;
        else if (w[1] == "disconnected")
            portConnected = false;
        else
            Fail("bad port state " + Quoted(w[1]) + " (connected or disconnected)");
        sim::usb::SetPortConnected(portConnected);
    }

    void Wait(const Words& w)
    {
        Arity(w, 2, 2, "wait <ms>");
        sim::AdvanceMs(Number(w[1], 86400000));  // at most a day
    }

    // ---- registry -----------------------------------------------------------------------------------
    void Registry(const Words& w)
    {
        const char* usage = "reg sz|bin|dword|del|tables|show ...";
        Arity(w, 2, SIZE_MAX, usage);
        const std::string& sub = w[1];
        if (sub == "sz") {
            if (w.size() < 3)
                Fail("missing argument (reg sz <name> <text>)");
            // The text is the rest of the line after the one blank that ends the name.
            size_t at = w.starts[2] + w[2].size() + 1;
            std::string text = at < w.text.size() ? w.text.substr(at) : std::string();
            // Stored as the programs store text: UTF-16 without a terminating zero.
            std::u16string wide = sim::Utf16(text);
            sim::registry::SetValue(kToolKey, w[2], REG_SZ, wide.data(), wide.size() * 2);
        } else if (sub == "bin") {
            if (w.size() < 3)
                Fail("missing argument (reg bin <name> <hex bytes>)");
            std::vector<uint8_t> data;
            for (size_t i = 3; i < w.size(); ++i)
                data.push_back(HexByte(w[i]));
            sim::registry::SetValue(kToolKey, w[2], REG_BINARY, data.data(), data.size());
        } else if (sub == "dword") {
            Arity(w, 4, 4, "reg dword <name> <N>");
            sim::registry::SetDword(kToolKey, w[2], (uint32_t)Number(w[3], 0xFFFFFFFFu));
        } else if (sub == "del") {
            Arity(w, 3, 3, "reg del <name>");
            sim::registry::DeleteValue(kToolKey, w[2]);
        } else if (sub == "tables") {
            Arity(w, 6, 6, "reg tables <kx> <cx> <ky> <cy>");
            WriteTable("XArray", Real(w[2]), Real(w[3]));
            WriteTable("YArray", Real(w[4]), Real(w[5]));
        } else if (sub == "show") {
            Arity(w, 2, 2, "reg show");
            ShowKey("tool", kToolKey);
            ShowKey("copy", CopyKey());
        } else {
            Fail("unknown reg command " + Quoted(sub) + " (" + usage + ")");
        }
    }

    // table[i] = trunc(k * i + c), clamped to 0..65535, for i = 0..4999.
    static void WriteTable(const char* name, double k, double c)
    {
        std::vector<uint8_t> t(zelko::TABLE_BYTES);
        for (unsigned i = 0; i < zelko::RAW_POINTS; ++i) {
            double v = std::trunc(k * (double)i + c);
            uint16_t n = v <= 0 ? 0 : v >= 65535 ? 65535 : (uint16_t)v;
            ZelkoPutU16(&t[2 * i], n);
        }
        sim::registry::SetValue(kToolKey, name, REG_BINARY, t.data(), t.size());
    }

    void ShowKey(const char* which, const std::string& key)
    {
        for (const sim::registry::Value& v : sim::registry::Values(key)) {
            const char* type = TypeName(v.type);
            std::string line = std::string("reg ") + which + " " + v.name + " " +
                               (type ? type : std::to_string(v.type)) + " " + ValueText(v);
            Emit(line.c_str());
        }
    }

    // ---- the tool -----------------------------------------------------------------------------------
    // The tool's handle to "\\.\Zelkode", opened when first needed.
    bool OpenTool(NTSTATUS* status)
    {
        if (tool == sim::user::kInvalidHandle) {
            tool = sim::user::CreateFile(ZELKO_USER_PATH);
            if (tool == sim::user::kInvalidHandle) {
                *status = sim::user::LastStatus();
                return false;
            }
        }
        return true;
    }

    void Tool(const Words& w)
    {
        Arity(w, 2, SIZE_MAX, "tool command <N> [<length>] | tool event [<length>]");
        if (w[1] == "command") {
            Arity(w, 3, 4, "tool command <N> [<length>]");
            uint8_t command = (uint8_t)Number(w[2], 0xFF);
            uint32_t length = w.size() > 3 ? (uint32_t)Number(w[3], kMaxToolLength) : ZELKO_COMMAND_BYTES;
            NTSTATUS status = STATUS_SUCCESS;
            if (OpenTool(&status)) {
                std::vector<uint8_t> record(length ? length : 1, 0);
                record[0] = command;
                uint32_t bytes = 0;
                if (!sim::user::DeviceIoControl(tool, IOCTL_ZELKO_COMMAND, record.data(), length, nullptr, 0, &bytes))
                    status = sim::user::LastStatus();
            }
            std::string line = "tool status=" + sim::StatusName(status);
            Emit(line.c_str());
        } else if (w[1] == "event") {
            Arity(w, 2, 3, "tool event [<length>]");
            uint32_t length = w.size() > 2 ? (uint32_t)Number(w[2], kMaxToolLength) : ZELKO_EVENT_BYTES;
            NTSTATUS status = STATUS_SUCCESS;
            uint32_t bytes = 0;
            uint8_t record[ZELKO_EVENT_BYTES] = {0};
            if (OpenTool(&status)) {
                std::vector<uint8_t> buffer(length ? length : 1, 0);
                if (!sim::user::DeviceIoControl(tool, IOCTL_ZELKO_GET_EVENT, nullptr, 0, buffer.data(), length,
                                                &bytes))
                    status = sim::user::LastStatus();
                for (uint32_t i = 0; i < bytes && i < ZELKO_EVENT_BYTES && i < length; ++i)
                    record[i] = buffer[i];
            }
            char line[160];
            std::snprintf(line, sizeof line, "tool status=%s bytes=%u x=%u y=%u code=0x%02x",
                          sim::StatusName(status).c_str(), bytes, ZelkoGetU32(record + 4), ZelkoGetU32(record + 8),
                          ZelkoGetU32(record + 12));
            Emit(line);
        } else {
            Fail("unknown tool command " + Quoted(w[1]) + " (command or event)");
        }
    }
};

Session::Session(Consumer consumer, std::ostream& out) : s_(new State(consumer, out)) { s_->Start(); }

Session::~Session()
{
    s_->CloseTool();
    s_->ClearSinks();
    sim::Reset();
}

bool Session::Execute(const std::string& line, std::string* reason)
{
    Words w(line);
    if (w.size() == 0)
        return true;
    try {
        s_->Execute(w);
    } catch (const ScriptError& e) {
        if (reason)
            *reason = e.reason;
        return false;
    }
    return true;
}

std::string Session::Shutdown()
{
    s_->CloseTool();
    if (sim::usb::Plugged())
        sim::usb::Unplug();
    for (sim::pnp::DevNode* node : s_->consumerNodes)
        if (node)
            sim::pnp::Remove(node);
    s_->consumerNodes.clear();
    sim::RunPending();
    std::string report = sim::pnp::UnloadReports();
    if (int64_t n = sim::IrpsOutstanding())
        report += std::to_string(n) + " request(s) still allocated\n";
    return report;
}

int RunScenario(std::istream& script, Consumer consumer, std::ostream& out, std::ostream& err)
{
    Session session(consumer, out);
    std::string line, reason;
    for (unsigned number = 1; std::getline(script, line); ++number) {
        if (!session.Execute(line, &reason)) {
            err << "zelkosim: line " << number << ": " << reason << '\n';
            err.flush();
            return 2;
        }
    }
    return 0;
}

namespace {

void Usage(std::ostream& s)
{
    s << "usage: zelkosim [--consumer dravick|miravel|both|none] [SCRIPT]\n"
         "Runs a touch scenario on the simulated machine and prints what the drivers deliver.\n"
         "SCRIPT absent or '-': the script is read from standard input.\n";
}

}  // namespace

int Main(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    Consumer consumer = DefaultConsumer();
    std::string consumerText, script;
    bool haveScript = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            Usage(out);
            return 0;
        }
        if (a == "--consumer" || a.rfind("--consumer=", 0) == 0) {
            if (a == "--consumer") {
                if (i + 1 == args.size()) {
                    err << "zelkosim: --consumer needs a name (dravick, miravel, both or none)\n";
                    return 2;
                }
                consumerText = args[++i];
            } else {
                consumerText = a.substr(11);
            }
            if (!ParseConsumer(consumerText, &consumer)) {
                err << "zelkosim: unknown consumer '" << consumerText << "' (dravick, miravel, both or none)\n";
                return 2;
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            err << "zelkosim: unknown option '" << a << "'\n";
            Usage(err);
            return 2;
        }
        if (haveScript) {
            err << "zelkosim: more than one script given\n";
            Usage(err);
            return 2;
        }
        script = a;
        haveScript = true;
    }
    if (!ConsumerAvailable(consumer)) {
        err << "zelkosim: consumer " << ConsumerName(consumer) << " is not available\n";
        return 2;
    }
    if (!haveScript || script == "-")
        return RunScenario(in, consumer, out, err);
    std::ifstream file(script, std::ios::binary);
    if (!file) {
        err << "zelkosim: cannot open '" << script << "'\n";
        return 2;
    }
    return RunScenario(file, consumer, out, err);
}

}  // namespace zelkosim
