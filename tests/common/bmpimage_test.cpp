#include "bmpimage.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform_native.h"
#include "testfiles.h"

namespace {

class BmpTest : public TempDirTest {
protected:
    // Loads a file and checks its pixels against TestPixel row by row.
    void ExpectTestPixels(const BmpImage& img, int w, int h)
    {
        ASSERT_TRUE(img.HasPixels());
        ASSERT_EQ(img.PixelBytes(), w * h * 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = img.Pixels() + (y * w + x) * 3;
                ASSERT_EQ(std::uint32_t(p[2] << 16 | p[1] << 8 | p[0]), TestPixel(x, y)) << x << "," << y;
            }
    }
    // Canvas row j, column i must show the picture's pixel (i, rowAtTop - j).
    static void ExpectCanvasShows(const skin::Canvas& c, int rowAtTop)
    {
        for (int j = 0; j < c.height; ++j)
            for (int i = 0; i < c.width; ++i)
                ASSERT_EQ(c.At(i, j), TestPixel(i, rowAtTop - j)) << i << "," << j;
    }
    BmpImage img;
    std::int32_t w = -1, h = -1;
};

TEST_F(BmpTest, ThreeByTwoLoadsUnpaddedBottomRowFirstAndDrawsThroughPaddedRows)
{
    ASSERT_EQ(img.Load(Write("a.bmp", MakeBmp({3, 2})).c_str(), &w, &h), 1);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    ExpectTestPixels(img, 3, 2);  // 18 bytes: the file's 3 padding bytes per row are gone
    const skin::DibHeader& info = img.Info();
    EXPECT_EQ(info.biSizeImage | info.biClrUsed | info.biClrImportant, 0u);
    EXPECT_EQ(info.biXPelsPerMeter | info.biYPelsPerMeter, 0);
    EXPECT_EQ(info.biSize, 40u);

    std::int32_t stride = 0;
    auto padded = img.PaddedRows(img.Pixels(), 3, 2, &stride);
    ASSERT_TRUE(padded);
    EXPECT_EQ(stride, 12);
    EXPECT_EQ(0, std::memcmp(padded.get() + 12, img.Pixels() + 9, 9));

    skin::Canvas canvas(3, 2);
    img.Draw(&canvas, 0, 0, 3, 2);
    EXPECT_EQ(canvas.stretchMode, skin::kColorOnColor);
    EXPECT_NE(canvas.lastBits, img.Pixels());
    ExpectCanvasShows(canvas, 1);
}

TEST_F(BmpTest, FourByFourDrawsStraightFromItsPixelsAndStretches)
{
    ASSERT_EQ(img.Load(Write("a.bmp", MakeBmp({4, 4})).c_str()), 1);
    ExpectTestPixels(img, 4, 4);
    skin::Canvas canvas(8, 8);
    img.Draw(&canvas, 0, 0, 8, 8);
    EXPECT_EQ(canvas.lastBits, img.Pixels());
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i)
            ASSERT_EQ(canvas.At(i, j), TestPixel(i / 2, 3 - j / 2));
}

TEST_F(BmpTest, ColourTableOrLongerHeaderIsSkipped)
{
    ASSERT_EQ(img.Load(Write("a.bmp", MakeBmp({5, 3, 54 + 1024})).c_str()), 1);
    ExpectTestPixels(img, 5, 3);
}

TEST_F(BmpTest, RefusedFilesLeaveNoPixelsAndNoSize)
{
    const BmpFields refused[] = {{4, 4, 50}, {4, 4, 54, 8}, {4, 4, 54, 32}, {4, 4, 54, 24, 1}};
    for (const BmpFields& f : refused) {
        img.Load(Write("ok.bmp", MakeBmp({2, 2})).c_str());
        EXPECT_EQ(img.Load(Write("bad.bmp", MakeBmp(f)).c_str(), &w, &h), 0) << f.offset << " " << f.bits;
        EXPECT_FALSE(img.HasPixels());
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
        EXPECT_STREQ(img.Path(), "");
    }
    std::string notBm = MakeBmp({2, 2});
    notBm[1] = 'A';
    EXPECT_EQ(img.Load(Write("c.bmp", notBm).c_str()), 0);
    EXPECT_EQ(img.Load(Write("d.bmp", MakeBmp({2, 2}).substr(0, 53)).c_str()), 0);
    EXPECT_EQ(img.Load((dir + "/missing.bmp").c_str()), 0);
}

TEST_F(BmpTest, TopDownFileLoadsWithoutRowsAndDrawsNothing)
{
    ASSERT_EQ(img.Load(Write("a.bmp", MakeBmp({4, -4})).c_str(), &w, &h), 1);
    EXPECT_EQ(h, -4);
    EXPECT_FALSE(img.HasPixels());
    skin::Canvas canvas(4, 4, 0xABCDEF);
    img.Draw(&canvas, 0, 0, 4, 4);
    EXPECT_EQ(canvas.dibCalls, 0);
}

TEST_F(BmpTest, FileCutShortMidRowLoadsWithMissingPixelsZero)
{
    // 4 x 3, cut after one and a half pixels of the second row.
    ASSERT_EQ(img.Load(Write("a.bmp", MakeBmp({4, 3}).substr(0, 54 + 12 + 5)).c_str()), 1);
    ASSERT_EQ(img.PixelBytes(), 36);
    const std::uint8_t* p = img.Pixels();
    EXPECT_EQ(p[12], 1);  // pixel (0, 1) arrived whole; pixel (1, 1) only in part
    for (int i = 15; i < 36; ++i)
        ASSERT_EQ(p[i], 0) << i;
    // With padding after each row, a missing padding byte refuses the file.
    EXPECT_EQ(img.Load(Write("b.bmp", MakeBmp({3, 3}).substr(0, 54 + 12 + 5)).c_str(), &w, &h), 0);
    EXPECT_EQ(w, 3);  // the headers had passed
    EXPECT_FALSE(img.HasPixels());
}

TEST_F(BmpTest, NegativeWidthAndPicturesOver64MiBAreRefused)
{
    auto withSize = [](std::int32_t width, std::int32_t height) {
        std::string file = MakeBmp({1, 1});
        std::memcpy(&file[18], &width, 4);
        std::memcpy(&file[22], &height, 4);
        return file;
    };
    const BmpFields refused[] = {{0x7FFFFFFF, 0x7FFFFFFF}, {1000000, 1000}, {-5, 4}, {4096, 5462}};
    for (const BmpFields& f : refused) {
        EXPECT_EQ(img.Load(Write("a.bmp", withSize(f.width, f.height)).c_str(), &w, &h), 0) << f.width;
        EXPECT_EQ(w, f.width);
        EXPECT_FALSE(img.HasPixels());
    }
    // 4096 x 5461 is just within the limit: the short file loads with zero pixels.
    ASSERT_EQ(img.Load(Write("b.bmp", withSize(4096, 5461)).c_str()), 1);
    EXPECT_EQ(img.PixelBytes(), 4096 * 5461 * 3);
    EXPECT_EQ(img.Pixels()[3 * 4096 * 5461 - 1], 0);
}

TEST_F(BmpTest, DrawPartCutsFromTheTopOfThePicture)
{
    ASSERT_EQ(img.Load(Write("a.bmp", MakeBmp({84, 400})).c_str()), 1);
    skin::Canvas canvas(84, 46);
    img.DrawPart(&canvas, 0, 0, 84, 46, 0, 139, 84, 46);
    ExpectCanvasShows(canvas, 260);  // rows 260 down to 215, counted from the bottom
    EXPECT_EQ(canvas.At(0, 45), TestPixel(0, 215));
}

TEST_F(BmpTest, ClearEmptiesAndALaterLoadReplaces)
{
    ASSERT_EQ(img.Load(Write("a.bmp", MakeBmp({3, 2})).c_str()), 1);
    EXPECT_STREQ(img.Path(), (dir + "/a.bmp").c_str());
    ASSERT_EQ(img.Load(Write("b.bmp", MakeBmp({4, 4})).c_str()), 1);
    ExpectTestPixels(img, 4, 4);
    img.Clear();
    EXPECT_FALSE(img.HasPixels());
    EXPECT_EQ(img.PixelBytes(), 0);
    EXPECT_STREQ(img.Path(), "");
    EXPECT_EQ(img.PaddedRows(nullptr, 3, 2, nullptr), nullptr);
}

// Files written by ImageMagick from known RGB bytes decode to the same bytes.
TEST_F(BmpTest, ImageMagickFilesDecodeToTheEncodersPixels)
{
    if (std::system("convert -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick 'convert' is not installed";
    const int sizes[][2] = {{1, 1}, {3, 2}, {13, 7}, {84, 46}};
    std::uint32_t seed = 12345;
    for (const auto& s : sizes) {
        std::string rgb;
        for (int i = 0; i < s[0] * s[1] * 3; ++i)
            rgb += char((seed = seed * 1103515245 + 12345) >> 16);
        const std::string in = Write("in.rgb", rgb), size = std::to_string(s[0]) + "x" + std::to_string(s[1]);
        for (const char* format : {"BMP3", "BMP"}) {  // 40-byte header; 124-byte header at offset 138
            const std::string out = dir + "/out.bmp";
            const std::string cmd =
                "convert -size " + size + " -depth 8 rgb:" + in + " -type TrueColor " + format + ":" + out;
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
            ASSERT_EQ(img.Load(out.c_str(), &w, &h), 1) << cmd;
            ASSERT_EQ(w, s[0]);
            ASSERT_EQ(h, s[1]);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::uint8_t* p = img.Pixels() + ((h - 1 - y) * w + x) * 3;  // bottom row first
                    const char* q = rgb.data() + (y * w + x) * 3;
                    ASSERT_EQ(p[2], std::uint8_t(q[0])) << cmd;
                    ASSERT_EQ(p[1], std::uint8_t(q[1]));
                    ASSERT_EQ(p[0], std::uint8_t(q[2]));
                }
        }
        if (s[0] != 13)
            continue;  // 8-bit files, plain and run-length encoded, on one size
        for (const char* refused : {"-type Palette -compress None BMP3", "-type Palette BMP3"}) {
            const std::string cmd =
                "convert -size " + size + " -depth 8 rgb:" + in + " " + refused + ":" + dir + "/pal.bmp";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
            EXPECT_EQ(img.Load((dir + "/pal.bmp").c_str()), 0) << cmd;
        }
    }
}

TEST(WindowShape, ClientRectangleBecomesTheRegion)
{
    skin::NativeWindow window;
    window.clientOnScreen = {3, 22, 403, 322};
    ASSERT_TRUE(skin::ClipWindowToClient(&window));
    EXPECT_TRUE(window.shaped);
    EXPECT_EQ(window.region.left, 3);
    EXPECT_EQ(window.region.bottom, 322);
}

}  // namespace
