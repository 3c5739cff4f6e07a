// libFuzzer target: the initialisation-file reader on arbitrary text. The input is
// <size byte> <section> NUL <key> NUL <file text>; the output buffer is exactly
// as large as the size asks, so any write past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::uint32_t outSize = 1 + data[0] % 300;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string parts[2];
    for (std::string& part : parts) {
        const size_t nul = rest.find('\0');
        if (nul == std::string_view::npos)
            return 0;
        part.assign(rest.substr(0, nul));
        rest.remove_prefix(nul + 1);
    }
    std::unique_ptr<char[]> out(new char[outSize]);
    const std::uint32_t n = skin::IniString(rest, parts[0].c_str(), parts[1].c_str(), "dflt  ", out.get(), outSize);
    if (n >= outSize || out[n] != '\0' || std::strlen(out.get()) != n)
        std::abort();
    return 0;
}
