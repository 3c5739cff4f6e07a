// zelkosim's engine: script commands (read by script.h) executed on the simulated machine.
#include "scenario.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

#include "script.h"
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

std::string CopyKey() { return sim::ServiceKey("Zelko") + "\\Pointwell"; }

// A script error found when the command runs (the machine's state does not
// allow it): the reason, without the line number.
struct ScriptError {
    std::string reason;
};

[[noreturn]] void Fail(const std::string& reason) { throw ScriptError{reason}; }

std::string Quoted(const std::string& word) { return "'" + word + "'"; }

}  // namespace

// ---- consumers ----------------------------------------------------------------------------------

bool ParseConsumer(const std::string& text, Consumer* consumer)
{
    static const std::pair<const char*, Consumer> names[] = {{"none", Consumer::None},
                                                             {"dravick", Consumer::Dravick},
                                                             {"miravel", Consumer::Miravel},
                                                             {"both", Consumer::Both}};
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
    // The command's words were read by ParseLine; what is checked here is the
    // machine's state (a frame to report from, awake or asleep, a known status).
    void Execute(const Command& c)
    {
        switch (c.verb) {
        case Verb::Plug:
            Plug(c);
            break;
        case Verb::Unplug:
            Unplug();
            break;
        case Verb::Stop:
        case Verb::Start:
            StopStart(c);
            break;
        case Verb::Sleep:
        case Verb::Wake:
            SleepWake(c);
            break;
        case Verb::Touch:
        case Verb::Report:
        case Verb::Short:
            RequireFrame(c.word);
            Deliver(c.bytes.data(), (unsigned)c.bytes.size());
            break;
        case Verb::Fail:
            FailRead(c);
            break;
        case Verb::Port:
            portConnected = c.connected;
            sim::usb::SetPortConnected(portConnected);
            break;
        case Verb::Wait:
            sim::AdvanceMs(c.ms);
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
        case Verb::None:
            return;
        }
        sim::RunPending();
    }

    void RequireFrame(const std::string& command)
    {
        if (!sim::usb::Plugged())
            Fail(command + ": the frame is not plugged");
    }

    void Plug(const Command& c)
    {
        sim::usb::FrameDescription d;
        if (c.plug.hasVendorId)
            d.vendorId = c.plug.vendorId;
        if (c.plug.hasProductId)
            d.productId = c.plug.productId;
        if (c.plug.hasInterfaces)
            d.interfaces = c.plug.interfaces;
        if (c.plug.hasEndpoints)
            d.endpointsPerInterface = c.plug.endpoints;
        if (sim::usb::Plugged())
            Fail("plug while plugged");
        if (!sim::usb::Plug(d))
            Fail("plug: the bus could not report the frame");
        if (!portConnected)
            sim::usb::SetPortConnected(false);
    }

    void Unplug()
    {
        RequireFrame("unplug");
        CloseTool();
        sim::usb::Unplug();
    }

    void StopStart(const Command& c)
    {
        RequireFrame(c.word);
        sim::pnp::DevNode* node = sim::usb::FrameNode();
        if (c.verb == Verb::Stop)
            sim::pnp::Stop(node);
        else
            sim::pnp::Start(node);
    }

    void SleepWake(const Command& c)
    {
        const bool sleep = c.verb == Verb::Sleep;
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

    void FailRead(const Command& c)
    {
        NTSTATUS status;
        if (!sim::StatusFromName(c.statusName, &status))
            Fail("unknown status name " + Quoted(c.statusName));
        RequireFrame("fail");
        sim::usb::FailTransfer(status);
    }

    // ---- registry -----------------------------------------------------------------------------------
    void Registry(const Command& c)
    {
        switch (c.verb) {
        case Verb::RegSz: {
            // Stored as the programs store text: UTF-16 without a terminating zero.
            std::u16string wide = sim::Utf16(c.text);
            sim::registry::SetValue(kToolKey, c.valueName, REG_SZ, wide.data(), wide.size() * 2);
            break;
        }
        case Verb::RegBin:
            sim::registry::SetValue(kToolKey, c.valueName, REG_BINARY, c.bytes.data(), c.bytes.size());
            break;
        case Verb::RegDword:
            sim::registry::SetDword(kToolKey, c.valueName, c.dword);
            break;
        case Verb::RegDel:
            sim::registry::DeleteValue(kToolKey, c.valueName);
            break;
        case Verb::RegTables:
            WriteTable("XArray", c.kx, c.cx);
            WriteTable("YArray", c.ky, c.cy);
            break;
        default:
            ShowKey("tool", kToolKey);
            ShowKey("copy", CopyKey());
            break;
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
            Emit(RegShowLine(which, v.name, v.type, v.data).c_str());
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

    void ToolCommand(const Command& c)
    {
        NTSTATUS status = STATUS_SUCCESS;
        if (OpenTool(&status)) {
            std::vector<uint8_t> record(c.length ? c.length : 1, 0);
            record[0] = c.code;
            uint32_t bytes = 0;
            if (!sim::user::DeviceIoControl(tool, IOCTL_ZELKO_COMMAND, record.data(), c.length, nullptr, 0, &bytes))
                status = sim::user::LastStatus();
        }
        std::string line = "tool status=" + sim::StatusName(status);
        Emit(line.c_str());
    }

    void ToolEvent(const Command& c)
    {
        const uint32_t length = c.length;
        NTSTATUS status = STATUS_SUCCESS;
        uint32_t bytes = 0;
        uint8_t record[ZELKO_EVENT_BYTES] = {0};
        if (OpenTool(&status)) {
            std::vector<uint8_t> buffer(length ? length : 1, 0);
            if (!sim::user::DeviceIoControl(tool, IOCTL_ZELKO_GET_EVENT, nullptr, 0, buffer.data(), length, &bytes))
                status = sim::user::LastStatus();
            for (uint32_t i = 0; i < bytes && i < ZELKO_EVENT_BYTES && i < length; ++i)
                record[i] = buffer[i];
        }
        char line[160];
        std::snprintf(line, sizeof line, "tool status=%s bytes=%u x=%u y=%u code=0x%02x",
                      sim::StatusName(status).c_str(), bytes, ZelkoGetU32(record + 4), ZelkoGetU32(record + 8),
                      ZelkoGetU32(record + 12));
        Emit(line);
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
    Command c;
    if (!ParseLine(line, &c, reason))
        return false;
    if (c.verb == Verb::None)
        return true;
    try {
        s_->Execute(c);
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
