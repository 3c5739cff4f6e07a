// zelkosim's script language: reading one line; see script.h.
#include "script.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "usb/kernal_driver/usb/touch.h"
#include "zelkoioctl.h"

namespace zelkosim {

namespace {

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

void Plug(const Words& w, Command& c)
{
    const char* usage = "plug [vid=N] [pid=N] [interfaces=N] [endpoints=N]";
    PlugOptions& p = c.plug;
    for (size_t i = 1; i < w.size(); ++i) {
        size_t eq = w[i].find('=');
        std::string key = w[i].substr(0, eq);
        if (eq == std::string::npos)
            Fail("bad plug option " + Quoted(w[i]) + " (" + usage + ")");
        std::string value = w[i].substr(eq + 1);
        if (key == "vid") {
            p.vendorId = (uint16_t)Number(value, 0xFFFF);
            p.hasVendorId = true;
        } else if (key == "pid") {
            p.productId = (uint16_t)Number(value, 0xFFFF);
            p.hasProductId = true;
        } else if (key == "interfaces") {
            p.interfaces = (uint8_t)Number(value, kMaxInterfaces);
            p.hasInterfaces = true;
        } else if (key == "endpoints") {
            p.endpoints = (uint8_t)Number(value, kMaxEndpoints);
            p.hasEndpoints = true;
        } else {
            Fail("bad plug option " + Quoted(w[i]) + " (" + usage + ")");
        }
    }
}

void Touch(const Words& w, Command& c)
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
    c.bytes = {0, 0, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8), status, 0};
}

void Report(const Words& w, Command& c)
{
    Arity(w, 9, 9, "report b0 b1 b2 b3 b4 b5 b6 b7");
    for (size_t i = 0; i < 8; ++i)
        c.bytes.push_back(HexByte(w[i + 1]));
}

void Short(const Words& w, Command& c)
{
    const char* usage = "short <n> b0 ... b(n-1)";
    Arity(w, 2, 10, usage);
    unsigned n = (unsigned)Number(w[1], 8);
    if (w.size() - 2 != n)
        Fail("short " + std::to_string(n) + " needs " + std::to_string(n) + " byte(s), got " +
             std::to_string(w.size() - 2));
    for (unsigned i = 0; i < n; ++i)
        c.bytes.push_back(HexByte(w[i + 2]));
}

void Port(const Words& w, Command& c)
{
    Arity(w, 2, 2, "port <connected|disconnected>");
    if (w[1] == "connected")
        c.connected = true;
    else if (w[1] == "disconnected")
        c.connected = false;
    else
        Fail("bad port state " + Quoted(w[1]) + " (connected or disconnected)");
}

void Registry(const Words& w, Command& c)
{
    const char* usage = "reg sz|bin|dword|del|tables|show ...";
    Arity(w, 2, SIZE_MAX, usage);
    const std::string& sub = w[1];
    if (sub == "sz") {
        if (w.size() < 3)
            Fail("missing argument (reg sz <name> <text>)");
        c.verb = Verb::RegSz;
        c.valueName = w[2];
        // The text is the rest of the line after the one blank that ends the name.
        size_t at = w.starts[2] + w[2].size() + 1;
        c.text = at < w.text.size() ? w.text.substr(at) : std::string();
    } else if (sub == "bin") {
        if (w.size() < 3)
            Fail("missing argument (reg bin <name> <hex bytes>)");
        c.verb = Verb::RegBin;
        c.valueName = w[2];
        for (size_t i = 3; i < w.size(); ++i)
            c.bytes.push_back(HexByte(w[i]));
    } else if (sub == "dword") {
        Arity(w, 4, 4, "reg dword <name> <N>");
        c.verb = Verb::RegDword;
        c.valueName = w[2];
        c.dword = (uint32_t)Number(w[3], 0xFFFFFFFFu);
    } else if (sub == "del") {
        Arity(w, 3, 3, "reg del <name>");
        c.verb = Verb::RegDel;
        c.valueName = w[2];
    } else if (sub == "tables") {
        Arity(w, 6, 6, "reg tables <kx> <cx> <ky> <cy>");
        c.verb = Verb::RegTables;
        c.kx = Real(w[2]);
        c.cx = Real(w[3]);
        c.ky = Real(w[4]);
        c.cy = Real(w[5]);
    } else if (sub == "show") {
        Arity(w, 2, 2, "reg show");
        c.verb = Verb::RegShow;
    } else {
        Fail("unknown reg command " + Quoted(sub) + " (" + usage + ")");
    }
}

void Tool(const Words& w, Command& c)
{
    Arity(w, 2, SIZE_MAX, "tool command <N> [<length>] | tool event [<length>]");
    if (w[1] == "command") {
        Arity(w, 3, 4, "tool command <N> [<length>]");
        c.verb = Verb::ToolCommand;
        c.code = (uint8_t)Number(w[2], 0xFF);
        c.length = w.size() > 3 ? (uint32_t)Number(w[3], kMaxToolLength) : ZELKO_COMMAND_BYTES;
    } else if (w[1] == "event") {
        Arity(w, 2, 3, "tool event [<length>]");
        c.verb = Verb::ToolEvent;
        c.length = w.size() > 2 ? (uint32_t)Number(w[2], kMaxToolLength) : ZELKO_EVENT_BYTES;
    } else {
        Fail("unknown tool command " + Quoted(w[1]) + " (command or event)");
    }
}

void Parse(const Words& w, Command& c)
{
    const std::string& word = w[0];
    c.word = word;
    if (word == "plug") {
        c.verb = Verb::Plug;
        Plug(w, c);
    } else if (word == "unplug") {
        c.verb = Verb::Unplug;
        Arity(w, 1, 1, "unplug");
    } else if (word == "stop" || word == "start") {
        c.verb = word == "stop" ? Verb::Stop : Verb::Start;
        Arity(w, 1, 1, word == "stop" ? "stop" : "start");
    } else if (word == "sleep" || word == "wake") {
        c.verb = word == "sleep" ? Verb::Sleep : Verb::Wake;
        Arity(w, 1, 1, word == "sleep" ? "sleep" : "wake");
    } else if (word == "touch") {
        c.verb = Verb::Touch;
        Touch(w, c);
    } else if (word == "report") {
        c.verb = Verb::Report;
        Report(w, c);
    } else if (word == "short") {
        c.verb = Verb::Short;
        Short(w, c);
    } else if (word == "fail") {
        c.verb = Verb::Fail;
        Arity(w, 2, 2, "fail <STATUS_NAME>");
        c.statusName = w[1];
    } else if (word == "port") {
        c.verb = Verb::Port;
        Port(w, c);
    } else if (word == "wait") {
        c.verb = Verb::Wait;
        Arity(w, 2, 2, "wait <ms>");
        c.ms = Number(w[1], kMaxWaitMs);
    } else if (word == "reg") {
        Registry(w, c);
    } else if (word == "tool") {
        Tool(w, c);
    } else {
        Fail("unknown command " + Quoted(word));
    }
}

}  // namespace

bool ParseLine(const std::string& line, Command* command, std::string* reason)
{
    *command = Command();
    Words w(line);
    if (w.size() == 0)
        return true;
    try {
        Parse(w, *command);
    } catch (const ScriptError& e) {
        if (reason)
            *reason = e.reason;
        *command = Command();
        return false;
    }
    return true;
}

std::string RegShowLine(const std::string& which, const std::string& name, uint32_t type,
                        const std::vector<uint8_t>& data)
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
    const uint32_t kSz = 1, kExpandSz = 2, kDword = 4;
    std::string text;
    if (type == kSz || type == kExpandSz) {
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            unsigned c = data[i] | (data[i + 1] << 8);
            if (c == 0)
                break;
            text += c < 0x100 ? (char)c : '?';
        }
    } else if (type == kDword && data.size() == 4) {
        text = std::to_string(ZelkoGetU32(data.data()));
    } else {
        text = std::to_string(data.size());
    }
    std::string typeName = type < sizeof names / sizeof names[0] ? names[type] : std::to_string(type);
    return "reg " + which + " " + name + " " + typeName + " " + text;
}

}  // namespace zelkosim
