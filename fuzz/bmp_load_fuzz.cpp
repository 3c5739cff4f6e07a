// libFuzzer target: BmpImage::Load on arbitrary bytes, then drawing what loaded.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bmpimage.h"
#include "platform_native.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::FILE* f = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!f)
        return 0;
    BmpImage img;
    std::int32_t w = -1, h = -1;
    const int ok = img.Load(f, "fuzz.bmp", &w, &h);
    std::fclose(f);
    if (!ok) {
        if (img.HasPixels() || img.PixelBytes() != 0)
            std::abort();
        return 0;
    }
    if (img.HasPixels() && img.PixelBytes() != w * h * 3)
        std::abort();
    // Drawing reads every row (through PaddedRows when the width is not a multiple
    // of 4); kept to pictures of up to 1 MB so that each input stays quick.
    if (img.PixelBytes() <= (1 << 20)) {
        skin::Canvas canvas(17, 13);
        img.Draw(&canvas, -2, 1, 20, 9);
        img.DrawPart(&canvas, 0, 0, 17, 13, data[0] % 7, data[size - 1] % 11, 5, 3);
    }
    return 0;
}
