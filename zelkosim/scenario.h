// zelkosim's engine: runs a touch scenario on the simulated machine (the
// simulated kernel with Zelko and the consumer drivers that are built) and
// prints what the system delivers. The program's main() is a thin shell around
// Main(); tests run scenarios in-process through RunScenario() or Session.
//
// The simulated machine is one per process: only one Session may exist at a time.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace zelkosim {

// Which drivers take Zelko's events: the mouse service (Dravick), the HID
// minidriver (Miravel), both, or none (the events then wait in Zelko's queue
// for the tool).
enum class Consumer { None, Dravick, Miravel, Both };

bool ParseConsumer(const std::string& text, Consumer* consumer);
const char* ConsumerName(Consumer consumer);
// Whether the consumer's driver is part of this build ("none" always is).
bool ConsumerAvailable(Consumer consumer);
// dravick when it is built, otherwise none.
Consumer DefaultConsumer();

// One run of the machine: a fresh machine at construction (empty registry, the
// frame unplugged, the clock at 0, Zelko installed for the frame, the chosen
// consumers' devices added and started), then one script line at a time.
class Session {
public:
    // The consumer must be available. Output lines go to `out`.
    Session(Consumer consumer, std::ostream& out);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one script line (comments and blank lines do nothing). False and the
    // reason on a script error; the machine is then left as the error found it.
    bool Execute(const std::string& line, std::string* reason);

    // Unplugs the frame and removes the consumers' devices, so that every driver
    // is unloaded. Returns what was left behind: requests still allocated and
    // the drivers' pool leak reports; empty when the machine is clean.
    std::string Shutdown();

private:
    struct State;
    std::unique_ptr<State> s_;
};

// Runs a whole script on a fresh machine. A script error is reported on `err`
// as "zelkosim: line N: reason" and ends the run. Returns the exit status: 0,
// or 2 after a script error.
int RunScenario(std::istream& script, Consumer consumer, std::ostream& out, std::ostream& err);

// The command line without the program name:
//   [--consumer dravick|miravel|both|none] [SCRIPT]
// SCRIPT absent or "-": `in`. Returns the exit status (0; 2 for a usage or script error).
int Main(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace zelkosim
