// Initialisation-file reader that gives GetPrivateProfileStringA's results for one
// key, as Wine's profile code does (checked against it by winebench/inicompare):
// - lines end at CR or LF; blanks (tab, LF, VT, FF, CR, space, ^Z) around a line,
//   around the key, after "=" and inside "[ ]" are dropped; a line without "=" is a key without
//   value, whose lookup gives the default;
// - a section head "[name]" runs to the last "]" of its line; sections and keys match without
//   regard to ASCII case; the first section of a name is the only one searched and
//   the first key of a name in it wins; keys before any section head belong to
//   the section "";
// - one pair of matching quotes (' or ") around a value is removed;
// - the value is cut to size - 1 bytes;
// - a UTF-8 byte-order mark is skipped; other bytes are taken as they stand.
#pragma once

#include <cstdint>
#include <string_view>

namespace skin {

// Looks the key up in the text of an initialisation file. out must hold size bytes
// (size >= 1). Returns the number of bytes copied, without the terminator.
std::uint32_t IniString(std::string_view text, const char* section, const char* key, const char* def, char* out,
                        std::uint32_t size);

// The same on a file read whole; a file that can't be read counts as empty.
std::uint32_t IniFileString(const char* path, const char* section, const char* key, const char* def, char* out,
                            std::uint32_t size);

}  // namespace skin
