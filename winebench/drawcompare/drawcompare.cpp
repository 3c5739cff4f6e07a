// Draws BmpImage pictures with the system's StretchDIBits into a memory bitmap and
// with the native platform into a Canvas, and compares the pixels: the native
// tests' canvas must read the source rectangle as GDI does (a bottom-up picture,
// its source measured from the bottom-left corner). One line per draw, "same" or
// "DIFF", then the count; exit code 1 on any difference.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bmpimage.h"
#include "platform_native.h"

namespace {

// A w x h 24-bit file whose pixel (x, y from the bottom) is red x, green y / 256, blue y.
std::string MakeBmp(int w, int h)
{
    std::string s;
    auto put = [&s](unsigned v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            s += char(v >> (8 * i));
    };
    put(0x4D42, 2), put(0, 4), put(0, 4), put(54, 4), put(40, 4), put(w, 4), put(h, 4), put(1, 2);
    put(24, 2), put(0, 4), put(0, 4), put(0, 4), put(0, 4), put(0, 4), put(0, 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            put(unsigned(x) << 16 | unsigned(y), 3);
        for (int pad = (4 - w * 3 % 4) % 4; pad > 0; --pad)
            s += '\0';
    }
    return s;
}

struct Draw {
    const char* what;
    int pw, ph;          // picture
    int x, y, w, h;      // destination
    int sx, sy, sw, sh;  // source part; sw 0: the whole picture (Draw)
};

}  // namespace

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : ".";
    if (dir.back() != '\\')
        dir += '\\';
    const Draw draws[] = {
        {"3x2 whole", 3, 2, 1, 1, 3, 2, 0, 0, 0, 0},
        {"3x2 doubled", 3, 2, 0, 0, 6, 4, 0, 0, 0, 0},
        {"4x4 whole", 4, 4, 2, 3, 4, 4, 0, 0, 0, 0},
        {"13x7 part", 13, 7, 5, 5, 4, 3, 2, 1, 4, 3},
        {"84x400 part 0,139,84,46", 84, 400, 0, 0, 84, 46, 0, 139, 84, 46},
        {"84x400 part doubled", 84, 400, 0, 0, 40, 40, 10, 200, 20, 20},
    };
    const int cw = 96, ch = 64;
    int same = 0, differ = 0;
    skin::NativePlatform native;
    for (const Draw& d : draws) {
        const std::string path = dir + "drawcompare.bmp";
        FILE* f = std::fopen(path.c_str(), "wb");
        const std::string bytes = MakeBmp(d.pw, d.ph);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        BmpImage img;
        if (!img.Load(path.c_str())) {
            std::printf("DIFF %s: the picture did not load\n", d.what);
            ++differ;
            continue;
        }

        // The system: a top-down 32-bit DIB section filled with a marker colour.
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = cw;
        bi.bmiHeader.biHeight = -ch;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bmp);
        auto* sys = static_cast<DWORD*>(bits);
        for (int i = 0; i < cw * ch; ++i)
            sys[i] = 0xABCDEF;
        skin::Canvas canvas(cw, ch, 0xABCDEF);

        for (int pass = 0; pass < 2; ++pass) {
            skin::SetPlatform(pass ? &native : nullptr);
            void* target = pass ? static_cast<void*>(&canvas) : static_cast<void*>(dc);
            if (d.sw == 0)
                img.Draw(target, d.x, d.y, d.w, d.h);
            else
                img.DrawPart(target, d.x, d.y, d.w, d.h, d.sx, d.sy, d.sw, d.sh);
        }
        skin::SetPlatform(nullptr);
        GdiFlush();

        int bad = 0, firstX = -1, firstY = -1;
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                if ((sys[y * cw + x] & 0xFFFFFF) != canvas.At(x, y) && bad++ == 0)
                    firstX = x, firstY = y;
        if (bad == 0) {
            std::printf("same %s\n", d.what);
            ++same;
        } else {
            std::printf("DIFF %s: %d pixels, first at (%d, %d): system %06lX, canvas %06X\n", d.what, bad, firstX,
                        firstY, (unsigned long)(sys[firstY * cw + firstX] & 0xFFFFFF), canvas.At(firstX, firstY));
            ++differ;
        }
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        DeleteFileA(path.c_str());
    }
    std::printf("drawcompare: %d passed, %d failed\n", same, differ);
    return differ ? 1 : 0;
}
