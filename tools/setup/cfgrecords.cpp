#include "cfgrecords.h"

#include <algorithm>
#include <cstring>

namespace setup {
namespace {

std::uint32_t Le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void PutLe32(std::vector<std::uint8_t>* out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(std::uint8_t(v >> (8 * i)));
}

}  // namespace

std::string CfgRecord::Text() const
{
    const auto end = std::find(data.begin(), data.end(), std::uint8_t(0));
    return std::string(data.begin(), end);
}

bool ReadCfgRecord(std::FILE* file, CfgRecord* record)
{
    std::uint8_t type[4] = {}, name[kCfgNameBytes] = {}, length[4] = {};
    if (std::fread(type, 1, sizeof type, file) == 0)
        return false;
    if (std::fread(name, 1, sizeof name, file) == 0)
        return false;
    if (std::fread(length, 1, sizeof length, file) == 0)
        return false;
    const std::uint32_t n = Le32(length);
    if (n == 0 || n > kCfgMaxData)
        return false;
    const std::uint8_t* nameEnd = std::find(name, name + kCfgNameBytes, std::uint8_t(0));
    if (nameEnd == name + kCfgNameBytes)
        return false;

    record->data.assign(n, 0);
    if (std::fread(record->data.data(), 1, n, file) == 0)
        return false;
    record->type = Le32(type);
    record->name.assign(reinterpret_cast<const char*>(name), std::size_t(nameEnd - name));
    // A text shorter than the 10000-byte buffer ends after its n bytes (the buffer's zero
    // bytes follow); one that fills the buffer without a zero byte has no end.
    if (record->type == kCfgText && n == kCfgMaxData &&
        std::find(record->data.begin(), record->data.end(), std::uint8_t(0)) == record->data.end())
        return false;
    return true;
}

std::vector<std::uint8_t> EncodeCfgRecord(std::uint32_t type, const std::string& name,
                                          const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> out;
    PutLe32(&out, type);
    std::uint8_t field[kCfgNameBytes] = {};
    std::memcpy(field, name.data(), std::min<std::size_t>(name.size(), kCfgNameBytes - 1));
    out.insert(out.end(), field, field + kCfgNameBytes);
    PutLe32(&out, std::uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace setup
