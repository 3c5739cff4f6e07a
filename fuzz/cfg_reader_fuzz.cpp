// The settings record reader on arbitrary files: every record it hands out has a name
// shorter than 50 bytes, 1 to 10000 data bytes, and, for a text record, a text shorter
// than 10000 bytes; it never reads past the file nor loops without progress.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cfgrecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    setup::CfgRecord record;
    std::size_t records = 0;
    while (setup::ReadCfgRecord(file, &record)) {
        if (record.name.size() >= setup::kCfgNameBytes || std::memchr(record.name.data(), 0, record.name.size()))
            std::abort();
        if (record.data.empty() || record.data.size() > setup::kCfgMaxData)
            std::abort();
        if (record.type == setup::kCfgText && record.Text().size() >= setup::kCfgMaxData)
            std::abort();
        if (++records > size / 59 + 1)
            std::abort();  // each record takes at least 59 bytes
    }
    std::fclose(file);
    return 0;
}
