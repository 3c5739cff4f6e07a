// zelkosim's script language without a machine: one script line in, one
// command with its arguments out. The simulated machine (scenario.cpp) and the
// Wine bench's runner (winebench/zsrun) both execute what this reads, so a
// script means the same on both. Plain C++: no platform header, no kernel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelkosim {

enum class Verb {
    None,  // a blank or comment-only line
    Plug,
    Unplug,
    Stop,
    Start,
    Sleep,
    Wake,
    Touch,      // bytes: the 8-byte report
    Report,     // bytes: the 8 bytes as written
    Short,      // bytes: 0 to 8 bytes
    Fail,       // statusName
    Port,       // connected
    Wait,       // ms
    RegSz,      // valueName, text
    RegBin,     // valueName, bytes
    RegDword,   // valueName, dword
    RegDel,     // valueName
    RegTables,  // kx, cx, ky, cy
    RegShow,
    ToolCommand,  // code, length
    ToolEvent,    // length
};

// The frame `plug` asks for; an option that was not given keeps its default.
struct PlugOptions {
    bool hasVendorId = false, hasProductId = false, hasInterfaces = false, hasEndpoints = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint8_t interfaces = 0;
    uint8_t endpoints = 0;  // per interface

    bool Any() const { return hasVendorId || hasProductId || hasInterfaces || hasEndpoints; }
};

// One parsed line. Only the fields of its verb are set.
struct Command {
    Verb verb = Verb::None;
    std::string word;  // the command word as written ("plug", "reg", "tool", ...)
    PlugOptions plug;
    std::vector<uint8_t> bytes;
    std::string statusName;  // as written: the platform knows the values
    bool connected = true;
    uint64_t ms = 0;
    std::string valueName;
    std::string text;
    uint32_t dword = 0;
    double kx = 0, cx = 0, ky = 0, cy = 0;
    uint8_t code = 0;
    uint32_t length = 0;
};

// Limits of the language.
const unsigned kMaxToolLength = 4096;  // the largest record buffer the tool lines may ask for
const unsigned kMaxInterfaces = 32;
const unsigned kMaxEndpoints = 30;
const uint64_t kMaxWaitMs = 86400000;  // a day

// Reads one script line (its comment and line end do not count). False and the
// reason (without the line number) when the line is not a valid command; a
// blank line gives true with Verb::None.
bool ParseLine(const std::string& line, Command* command, std::string* reason);

// The line `reg show` prints for one value: "reg <which> <name> <TYPE> <data>", the
// data a text up to its first zero character, a REG_DWORD in decimal, anything
// else as its byte count (a text's characters above 0xFF print as '?').
std::string RegShowLine(const std::string& which, const std::string& name, uint32_t type,
                        const std::vector<uint8_t>& data);

}  // namespace zelkosim
