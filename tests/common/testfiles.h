// Temp folders, files and hand-made BMP files for the tools/common tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

// A fresh folder under the temp directory, removed with its files afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/skincommon.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string dir;
};

// The test pictures' pixel at column x, row y counted from the bottom: blue and
// green hold y, red holds x, so a drawn pixel reads back as x << 16 | y.
inline std::uint32_t TestPixel(int x, int y) { return std::uint32_t(x) << 16 | std::uint32_t(y); }

struct BmpFields {
    std::int32_t width, height;
    std::uint32_t offset = 54;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
};

// A BMP file with rows of TestPixel values, each padded to 4 bytes; the space
// between byte 54 and the pixel-data offset holds filler bytes.
inline std::string MakeBmp(const BmpFields& f)
{
    std::string s;
    auto put = [&s](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            s += char(v >> (8 * i));
    };
    put(0x4D42, 2), put(0, 4), put(0, 4), put(f.offset, 4);
    put(40, 4), put(std::uint32_t(f.width), 4), put(std::uint32_t(f.height), 4), put(1, 2);
    put(f.bits, 2), put(f.compression, 4), put(1234, 4), put(2835, 4), put(2835, 4), put(7, 4), put(7, 4);
    while (s.size() < f.offset)
        s += '\x5A';
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x)
            put(TestPixel(x, y), 3);  // blue, green, red
        for (int pad = (4 - f.width * 3 % 4) % 4; pad > 0; --pad)
            s += '\x77';
    }
    return s;
}
