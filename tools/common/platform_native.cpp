#include "platform_native.h"

#include <climits>
#include <cstdlib>

#include "inifile.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace skin {

std::string NativePath(const char* path)
{
    std::string p = path ? path : "";
    for (char& c : p)
        if (c == '\\')
            c = '/';
    return p;
}

std::string WindowsStylePath(const std::string& path)
{
    std::string p = path;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

NativePlatform::NativePlatform()
{
#if !defined(_WIN32)
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0)
        modulePath = WindowsStylePath(std::string(buf, size_t(n)));
#endif
}

std::uint32_t NativePlatform::ProfileString(const char* section, const char* key, const char* def, char* out,
                                            std::uint32_t size, const char* file)
{
    return IniFileString(NativePath(file).c_str(), section, key, def, out, size);
}

std::FILE* NativePlatform::OpenForReading(const char* path) { return std::fopen(NativePath(path).c_str(), "rb"); }

void NativePlatform::SetStretchMode(DrawContext dc, int mode)
{
    if (dc)
        static_cast<Canvas*>(dc)->stretchMode = mode;
}

// Nearest-neighbour stretch of a bottom-up 24-bit DIB; source pixels outside the
// picture and destination pixels outside the canvas are skipped.
int NativePlatform::StretchDib(DrawContext dc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                               const void* bits, const DibHeader& info)
{
    auto* canvas = static_cast<Canvas*>(dc);
    if (!canvas || !bits || info.biBitCount != 24 || info.biCompression != 0)
        return 0;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || info.biWidth <= 0 || info.biHeight <= 0)
        return 0;
    canvas->dibCalls++;
    canvas->lastBits = bits;
    const auto* src = static_cast<const std::uint8_t*>(bits);
    const long long stride = ((long long)info.biWidth * 24 + 31) / 32 * 4;
    for (int j = 0; j < dh; ++j) {
        const long long ty = (long long)dy + j;
        if (ty < 0 || ty >= canvas->height)
            continue;
        // Row j of the destination shows the source row j * sh / dh counted from the top
        // of the source rectangle, whose top row is sy + sh - 1 counted from the bottom.
        const long long row = (long long)sy + sh - 1 - (long long)j * sh / dh;
        if (row < 0 || row >= info.biHeight)
            continue;
        for (int i = 0; i < dw; ++i) {
            const long long tx = (long long)dx + i;
            const long long col = (long long)sx + (long long)i * sw / dw;
            if (tx < 0 || tx >= canvas->width || col < 0 || col >= info.biWidth)
                continue;
            const std::uint8_t* p = src + row * stride + col * 3;  // blue, green, red
            canvas->pixels[size_t(ty) * canvas->width + size_t(tx)] =
                std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
        }
    }
    return dh;
}

bool NativePlatform::ClientRectOnScreen(WindowHandle window, Rect* rect)
{
    if (!window || !rect)
        return false;
    *rect = static_cast<NativeWindow*>(window)->clientOnScreen;
    return true;
}

bool NativePlatform::SetWindowRegion(WindowHandle window, const Rect& rect)
{
    if (!window)
        return false;
    auto* w = static_cast<NativeWindow*>(window);
    w->shaped = true;
    w->region = rect;
    return true;
}

#if !defined(_WIN32)
Platform& DefaultPlatform()
{
    static NativePlatform platform;
    return platform;
}
#endif

}  // namespace skin
