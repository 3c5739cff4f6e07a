#include "inifile.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace skin {
namespace {

bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == 0x20; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The profile code keeps names and values as terminated texts: a zero byte ends them.
std::string_view UpToZero(std::string_view s)
{
    const auto z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

bool SameName(std::string_view stored, std::string_view wanted)
{
    stored = UpToZero(stored);
    if (stored.size() != wanted.size())
        return false;
    for (size_t i = 0; i < stored.size(); ++i)
        if (Lower(stored[i]) != Lower(wanted[i]))
            return false;
    return true;
}

// Copies value into out (size bytes), dropping one pair of matching quotes. As the
// profile code does it: the closing quote is removed only when the whole value fit.
std::uint32_t CopyEntry(std::string_view value, char* out, std::uint32_t size)
{
    value = UpToZero(value);
    bool quoted = false;
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front()) {
        quoted = true;
        value.remove_prefix(1);
    }
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    if (quoted && size >= value.size() && n > 0)
        out[--n] = '\0';
    return std::uint32_t(n);
}

}  // namespace

std::uint32_t IniString(std::string_view text, const char* section, const char* key, const char* def, char* out,
                        std::uint32_t size)
{
    if (!out || size == 0)
        return 0;
    std::string_view wantSection = Trim(section ? section : "");
    std::string_view wantKey = Trim(key ? key : "");
    // The default loses its trailing spaces (spaces only, not other blanks).
    std::string_view defText = def ? def : "";
    while (defText.size() > 1 && defText.back() == ' ')
        defText.remove_suffix(1);

    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0)
        text.remove_prefix(3);

    // Text before the first section head forms the section "" (an empty file has none).
    bool inSection = !text.empty() && wantSection.empty();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end;
        while (pos < text.size() && (text[pos] == '\n' || text[pos] == '\r'))
            ++pos;
        if (line.empty())
            continue;

        if (line.front() == '[') {
            const size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                if (inSection)
                    break;  // only the first section of that name is searched
                inSection = SameName(Trim(line.substr(1, close - 1)), wantSection);
                continue;
            }
            // "[" without "]" is an ordinary line
        }
        if (!inSection)
            continue;

        const size_t eq = line.find('=');
        std::string_view name = eq == std::string_view::npos ? line : Trim(line.substr(0, eq));
        if (!SameName(name, wantKey))
            continue;
        if (eq == std::string_view::npos)
            break;  // key without value: the default
        return CopyEntry(Trim(line.substr(eq + 1)), out, size);
    }
    return CopyEntry(defText, out, size);
}

std::uint32_t IniFileString(const char* path, const char* section, const char* key, const char* def, char* out,
                            std::uint32_t size)
{
    std::string text;
    if (std::FILE* f = std::fopen(path, "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            text.append(chunk, n);
        std::fclose(f);
    }
    return IniString(text, section, key, def, out, size);
}

}  // namespace skin
