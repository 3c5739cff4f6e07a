// The few system services the skin and language code needs. Under Windows they are
// the Win32 calls (platform_win32.cpp); elsewhere a native implementation stands in
// (platform_native.h): an initialisation-file reader with the profile API's results
// and an in-memory canvas that drawing goes to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace skin {

// A BITMAPINFOHEADER, field by field (40 bytes in a file, little-endian).
struct DibHeader {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

struct Rect {
    long left = 0, top = 0, right = 0, bottom = 0;
};

constexpr int kColorOnColor = 3;  // SetStretchBltMode COLORONCOLOR

// Handles are the caller's: an HDC and an HWND under Windows, a Canvas* and a
// NativeWindow* with the native implementation.
using DrawContext = void*;
using WindowHandle = void*;

class Platform {
public:
    virtual ~Platform() = default;

    // GetModuleFileNameA(NULL, buffer, 260): full path of the running program.
    virtual std::string ModuleFileName() = 0;
    // GetSystemDefaultLangID.
    virtual std::uint16_t SystemDefaultLangId() = 0;
    // GetPrivateProfileStringA for one key: copies the value (or the default) into
    // out, at most size - 1 bytes and a terminator; returns the bytes copied.
    virtual std::uint32_t ProfileString(const char* section, const char* key, const char* def, char* out,
                                        std::uint32_t size, const char* file) = 0;
    // fopen(path, "rb"), the path written with backslashes.
    virtual std::FILE* OpenForReading(const char* path) = 0;

    virtual void SetStretchMode(DrawContext dc, int mode) = 0;
    // StretchDIBits(dc, dx, dy, dw, dh, sx, sy, sw, sh, bits, info, DIB_RGB_COLORS,
    // SRCCOPY): bits is a bottom-up DIB with rows padded to 4 bytes, the source
    // rectangle measured from its bottom-left corner. Returns the scan lines copied.
    virtual int StretchDib(DrawContext dc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                           const void* bits, const DibHeader& info) = 0;

    // GetClientRect mapped to screen coordinates (MapWindowPoints).
    virtual bool ClientRectOnScreen(WindowHandle window, Rect* rect) = 0;
    // CreateRectRgn + SetWindowRgn(window, region, TRUE).
    virtual bool SetWindowRegion(WindowHandle window, const Rect& rect) = 0;
};

// The platform in use: the Win32 one under Windows, the native one elsewhere.
Platform& CurrentPlatform();
// Replaces the platform (tests); nullptr restores the default. Returns the previous.
Platform* SetPlatform(Platform* platform);

// The default implementation for this build (defined in the platform file that is built).
Platform& DefaultPlatform();

}  // namespace skin
