// zelkosim's script language and command line: what a user gets wrong is
// reported with its line and ends the run with status 2; what is right is read
// the same whichever way it is written.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "scenario.h"
#include "simkernel/sim.h"

namespace {

using zelkosim::Consumer;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome RunScript(const std::string& script, Consumer consumer = Consumer::None)
{
    std::istringstream in(script);
    std::ostringstream out, err;
    int status = zelkosim::RunScenario(in, consumer, out, err);
    return {status, out.str(), err.str()};
}

Outcome RunMain(const std::vector<std::string>& args, const std::string& input = "")
{
    std::istringstream in(input);
    std::ostringstream out, err;
    int status = zelkosim::Main(args, in, out, err);
    return {status, out.str(), err.str()};
}

const char* const kMarker = "tool status=STATUS_SUCCESS bytes=16 x=111 y=111 code=0x6f\n";

// ---- errors ----------------------------------------------------------------------------------------

struct ErrorCase {
    const char* script;
    const char* error;  // the whole standard error
};

TEST(ScriptErrors, NameTheLineAndTheReasonAndExitWithTwo)
{
    const ErrorCase cases[] = {
        {"frobnicate\n", "zelkosim: line 1: unknown command 'frobnicate'\n"},
        {"# a comment\n\nplug\n   \nplug\n", "zelkosim: line 5: plug while plugged\n"},
        {"plug\ntouch down 12a 5\n", "zelkosim: line 2: bad number '12a'\n"},
        {"plug\ntouch down 0x 5\n", "zelkosim: line 2: bad number '0x'\n"},
        {"plug\ntouch down -1 5\n", "zelkosim: line 2: bad number '-1'\n"},
        {"plug\ntouch down 65536 0\n", "zelkosim: line 2: number '65536' is out of range (at most 65535)\n"},
        {"plug\ntouch down 99999999999999999999 0\n",
         "zelkosim: line 2: number '99999999999999999999' is out of range (at most 65535)\n"},
        {"plug\ntouch 256 1 1\n", "zelkosim: line 2: number '256' is out of range (at most 255)\n"},
        {"plug\ntouch press 1 1\n", "zelkosim: line 2: bad touch status 'press' (down, hold, up or a number)\n"},
        {"plug\ntouch down 5\n", "zelkosim: line 2: missing argument (touch <down|hold|up|N> <x> <y>)\n"},
        {"plug\nunplug now\n", "zelkosim: line 2: too many arguments (unplug)\n"},
        {"plug\nfail STATUS_BOGUS\n", "zelkosim: line 2: unknown status name 'STATUS_BOGUS'\n"},
        {"plug\nfail\n", "zelkosim: line 2: missing argument (fail <STATUS_NAME>)\n"},
        {"touch down 1 1\n", "zelkosim: line 1: touch: the frame is not plugged\n"},
        {"report 0 0 0 0 0 0 81 0\n", "zelkosim: line 1: report: the frame is not plugged\n"},
        {"fail STATUS_CANCELLED\n", "zelkosim: line 1: fail: the frame is not plugged\n"},
        {"unplug\n", "zelkosim: line 1: unplug: the frame is not plugged\n"},
        {"plug\nunplug\nunplug\n", "zelkosim: line 3: unplug: the frame is not plugged\n"},
        {"stop\n", "zelkosim: line 1: stop: the frame is not plugged\n"},
        {"plug\nreport 00 00 20 03 58 02 81\n",
         "zelkosim: line 2: missing argument (report b0 b1 b2 b3 b4 b5 b6 b7)\n"},
        {"plug\nreport 00 00 20 03 58 02 81 1g\n", "zelkosim: line 2: bad byte '1g' (one byte in hex, 00 to ff)\n"},
        {"plug\nreport 00 00 20 03 58 02 181 00\n", "zelkosim: line 2: bad byte '181' (one byte in hex, 00 to ff)\n"},
        {"plug\nshort 3 00 01\n", "zelkosim: line 2: short 3 needs 3 byte(s), got 2\n"},
        {"plug\nshort 9 0 0 0 0 0 0 0 0\n", "zelkosim: line 2: number '9' is out of range (at most 8)\n"},
        {"wake\n", "zelkosim: line 1: wake while awake\n"},
        {"sleep\nsleep\n", "zelkosim: line 2: sleep while asleep\n"},
        {"port sideways\n", "zelkosim: line 1: bad port state 'sideways' (connected or disconnected)\n"},
        {"plug speed=12\n",
         "zelkosim: line 1: bad plug option 'speed=12' (plug [vid=N] [pid=N] [interfaces=N] [endpoints=N])\n"},
        {"plug vid\n", "zelkosim: line 1: bad plug option 'vid' (plug [vid=N] [pid=N] [interfaces=N] [endpoints=N])\n"},
        {"plug vid=0x10000\n", "zelkosim: line 1: number '0x10000' is out of range (at most 65535)\n"},
        {"wait\n", "zelkosim: line 1: missing argument (wait <ms>)\n"},
        {"reg\n", "zelkosim: line 1: missing argument (reg sz|bin|dword|del|tables|show ...)\n"},
        {"reg frob x\n", "zelkosim: line 1: unknown reg command 'frob' (reg sz|bin|dword|del|tables|show ...)\n"},
        {"reg sz\n", "zelkosim: line 1: missing argument (reg sz <name> <text>)\n"},
        {"reg tables 1 0 1\n", "zelkosim: line 1: missing argument (reg tables <kx> <cx> <ky> <cy>)\n"},
        {"reg tables 1 x 1 0\n", "zelkosim: line 1: bad number 'x'\n"},
        {"reg tables 1 0 1 inf\n", "zelkosim: line 1: bad number 'inf'\n"},
        {"reg dword doneMode 0x100000000\n",
         "zelkosim: line 1: number '0x100000000' is out of range (at most 4294967295)\n"},
        {"reg bin XArray 10 zz\n", "zelkosim: line 1: bad byte 'zz' (one byte in hex, 00 to ff)\n"},
        {"reg show all\n", "zelkosim: line 1: too many arguments (reg show)\n"},
        {"tool\n", "zelkosim: line 1: missing argument (tool command <N> [<length>] | tool event [<length>])\n"},
        {"tool frob\n", "zelkosim: line 1: unknown tool command 'frob' (command or event)\n"},
        {"tool command\n", "zelkosim: line 1: missing argument (tool command <N> [<length>])\n"},
        {"tool command 256\n", "zelkosim: line 1: number '256' is out of range (at most 255)\n"},
        {"tool event 4097\n", "zelkosim: line 1: number '4097' is out of range (at most 4096)\n"},
        {"tool event 16 16\n", "zelkosim: line 1: too many arguments (tool event [<length>])\n"},
    };
    for (const ErrorCase& c : cases) {
        Outcome r = RunScript(c.script);
        EXPECT_EQ(r.status, 2) << c.script;
        EXPECT_EQ(r.err, c.error) << c.script;
    }
}

TEST(ScriptErrors, EndTheRunButKeepWhatWasPrintedBefore)
{
    Outcome r = RunScript("plug\ntool event\nbogus\ntool event\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kMarker) << "the line before the error ran, the one after did not";
    EXPECT_EQ(r.err, "zelkosim: line 3: unknown command 'bogus'\n");

    r = RunScript("bogus\nplug\ntool event\n");
    EXPECT_EQ(r.out, "");
}

// ---- what is read the same ---------------------------------------------------------------------------

TEST(ScriptText, CommentsBlankLinesBlanksAndCrlfLineEndsDoNotMatter)
{
    const std::string plain = RunScript("plug\ntouch down 800 600\ntool event\ntool event\n").out;
    ASSERT_EQ(plain, "tool status=STATUS_SUCCESS bytes=16 x=32000 y=32400 code=0x80\n" + std::string(kMarker));
    EXPECT_EQ(RunScript("# setup\n\nplug   # the frame\r\n\ttouch  down\t800 600#x\r\n\ntool event\r\ntool event").out,
              plain);
}

TEST(ScriptText, NumbersAreDecimalOrHexAndStatusesNamedOrNumbered)
{
    const std::string want =
        RunScript("plug\ntouch down 800 600\ntouch up 801 600\ntool event\ntool event\ntool event\n").out;
    EXPECT_EQ(RunScript("plug\ntouch 0x81 0x320 0X258\ntouch 132 801 600\ntool event\ntool event\ntool event\n").out,
              want);
    EXPECT_EQ(RunScript("plug\nreport 00 00 20 03 58 02 81 00\nreport 0x00 0 0x21 3 58 2 84 0\n"
                        "tool event\ntool event\ntool event\n")
                  .out,
              want)
        << "report bytes are hex, with or without 0x";
}

TEST(ScriptText, RegShowReportsEachValueAsItIsStored)
{
    Outcome r =
        RunScript("reg sz doneMode  2 # one blank ends the name; the next is part of the text; the comment is not\n"
                  "reg sz Empty\n"
                  "reg bin blob 01 02 0x03\n"
                  "reg dword Count 0x10\n"
                  "reg sz gone 1\n"
                  "reg del gone\n"
                  "reg del never\n"
                  "reg show\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "reg tool blob REG_BINARY 3\n"
                     "reg tool Count REG_DWORD 16\n"
                     "reg tool doneMode REG_SZ  2\n"
                     "reg tool Empty REG_SZ \n");
}

TEST(ScriptText, RegTablesTruncateEachEntryTowardZeroAndKeepItTo16Bits)
{
    std::ostringstream out;
    zelkosim::Session s(Consumer::None, out);
    std::string reason;
    ASSERT_TRUE(s.Execute("reg tables -2.5 10.9 20 -0.5", &reason)) << reason;
    sim::registry::Value x, y;
    ASSERT_TRUE(sim::registry::GetValue("HKLM\\SOFTWARE\\Veltran\\Pointwell", "XArray", &x));
    ASSERT_TRUE(sim::registry::GetValue("HKLM\\SOFTWARE\\Veltran\\Pointwell", "YArray", &y));
    ASSERT_EQ(x.type, (uint32_t)REG_BINARY);
    ASSERT_EQ(x.data.size(), 10000u);
    ASSERT_EQ(y.data.size(), 10000u);
    auto at = [](const sim::registry::Value& v, unsigned i) { return v.data[2 * i] | (v.data[2 * i + 1] << 8); };
    EXPECT_EQ(at(x, 0), 10);  // 10.9
    EXPECT_EQ(at(x, 1), 8);   // 8.4
    EXPECT_EQ(at(x, 4), 0);   // 0.9
    EXPECT_EQ(at(x, 5), 0);   // -1.6 truncates to -1, kept to 0
    EXPECT_EQ(at(x, 4999), 0);
    EXPECT_EQ(at(y, 0), 0);   // -0.5
    EXPECT_EQ(at(y, 1), 19);  // 19.5
    EXPECT_EQ(at(y, 3276), 65519);
    EXPECT_EQ(at(y, 3277), 65535);  // 65539.5, kept to 65535
    EXPECT_EQ(at(y, 4999), 65535);
}

TEST(ScriptText, EachRunStartsOnAFreshMachine)
{
    // A first run leaves a plugged frame, a queued event and a registry value.
    Outcome first = RunScript("reg sz doneMode 2\nplug\ntouch down 1 1\n");
    ASSERT_EQ(first.status, 0) << first.err;
    Outcome second = RunScript("plug\ntool event\nreg show\n");
    EXPECT_EQ(second.status, 0) << second.err << ": the frame of the first run is gone";
    EXPECT_EQ(second.out, kMarker) << "no queued event and no registry value survive";
}

// ---- the command line ------------------------------------------------------------------------------

TEST(CommandLine, ReadsTheScriptFromStandardInputWithoutAFileOrWithADash)
{
    const std::string script = "plug\ntool event\n";
    Outcome a = RunMain({"--consumer", "none"}, script);
    Outcome b = RunMain({"--consumer=none", "-"}, script);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.out, kMarker);
    EXPECT_EQ(b.out, kMarker);
}

TEST(CommandLine, ReadsAScriptFile)
{
    std::string path = ::testing::TempDir() + "zelkosim_cli_test.zs";
    {
        std::ofstream f(path);
        f << "plug\ntool event\nnope\n";
    }
    Outcome r = RunMain({"--consumer", "none", path});
    std::remove(path.c_str());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kMarker);
    EXPECT_EQ(r.err, "zelkosim: line 3: unknown command 'nope'\n");
}

TEST(CommandLine, RefusesWhatItCannotRun)
{
    Outcome r = RunMain({"--consumer", "mouse"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zelkosim: unknown consumer 'mouse' (dravick, miravel, both or none)\n");

    r = RunMain({"--consumer"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zelkosim: --consumer needs a name (dravick, miravel, both or none)\n");

    r = RunMain({"--verbose"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("zelkosim: unknown option '--verbose'\n", 0), 0u) << r.err;

    r = RunMain({"a.zs", "b.zs"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("zelkosim: more than one script given\n", 0), 0u) << r.err;

    r = RunMain({"--consumer", "none", "/nonexistent/zelkosim/script.zs"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zelkosim: cannot open '/nonexistent/zelkosim/script.zs'\n");
    EXPECT_EQ(r.out, "");
}

TEST(CommandLine, AConsumerThatIsNotBuiltIsNotAvailable)
{
    for (Consumer c : {Consumer::Dravick, Consumer::Miravel, Consumer::Both}) {
        if (zelkosim::ConsumerAvailable(c))
            continue;
        Outcome r = RunMain({"--consumer", zelkosim::ConsumerName(c)}, "plug\n");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, std::string("zelkosim: consumer ") + zelkosim::ConsumerName(c) + " is not available\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(zelkosim::ConsumerAvailable(Consumer::None));
}

TEST(CommandLine, TheDefaultConsumerIsDravickOnceItIsBuilt)
{
    Consumer want = zelkosim::ConsumerAvailable(Consumer::Dravick) ? Consumer::Dravick : Consumer::None;
    EXPECT_EQ(zelkosim::DefaultConsumer(), want);
    // The default is what a run without --consumer uses.
    std::string script = "plug\ntouch down 1 1\ntool event\n";
    std::istringstream in(script);
    std::ostringstream out, err;
    zelkosim::RunScenario(in, want, out, err);
    EXPECT_EQ(RunMain({}, script).out, out.str());
}

}  // namespace
