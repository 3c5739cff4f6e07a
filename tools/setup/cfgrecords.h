// The settings records of winxp.cfg and win98.cfg: back to back, no header, all
// numbers little-endian.
//   offset 0   4 bytes  type: 1 text value (REG_SZ), 3 byte string (REG_BINARY), other: skipped
//   offset 4  50 bytes  value name, ended by a zero byte within the 50
//   offset 54  4 bytes  n, the data's length, at most 10000
//   offset 58  n bytes  data (a text ends at its first zero byte, or after its n bytes)
// A read that delivers no byte at all ends the file: the file's end, and a record whose
// n is 0. A record cut short inside its data still counts, the missing bytes zero. A
// record with n above 10000, a name without its zero byte, or a text record of 10000
// bytes without a zero byte ends the file: it and everything after it are not applied.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace setup {

constexpr std::uint32_t kCfgText = 1;
constexpr std::uint32_t kCfgBinary = 3;
constexpr std::uint32_t kCfgNameBytes = 50;
constexpr std::uint32_t kCfgMaxData = 10000;

struct CfgRecord {
    std::uint32_t type = 0;
    std::string name;
    std::vector<std::uint8_t> data;  // n bytes (zero where the file ended early)
    // A text record's value: the data up to its first zero byte, or all of it.
    std::string Text() const;
};

// Reads the next record of file into *record. False at the end of the records (see above).
bool ReadCfgRecord(std::FILE* file, CfgRecord* record);

// The record's bytes as the file holds them (the name padded with zeros to 50 bytes).
std::vector<std::uint8_t> EncodeCfgRecord(std::uint32_t type, const std::string& name,
                                          const std::vector<std::uint8_t>& data);

}  // namespace setup
