// The Win32 calls behind the platform interface (built only for Windows).
#include <windows.h>

#include "platform.h"

namespace skin {
namespace {

class Win32Platform : public Platform {
public:
    std::string ModuleFileName() override
    {
        char path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        return std::string(path, n < MAX_PATH ? n : MAX_PATH);
    }

    std::uint16_t SystemDefaultLangId() override { return GetSystemDefaultLangID(); }

    std::uint32_t ProfileString(const char* section, const char* key, const char* def, char* out, std::uint32_t size,
                                const char* file) override
    {
        return GetPrivateProfileStringA(section, key, def, out, size, file);
    }

    std::FILE* OpenForReading(const char* path) override { return std::fopen(path, "rb"); }

    void SetStretchMode(DrawContext dc, int mode) override { SetStretchBltMode(static_cast<HDC>(dc), mode); }

    int StretchDib(DrawContext dc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, const void* bits,
                   const DibHeader& h) override
    {
        BITMAPINFO bmi = {};
        // Only the 40-byte header is held: a file's longer header (V4, V5) is described
        // to GDI as the plain one so that it reads nothing beyond it.
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = h.biWidth;
        bmi.bmiHeader.biHeight = h.biHeight;
        bmi.bmiHeader.biPlanes = h.biPlanes;
        bmi.bmiHeader.biBitCount = h.biBitCount;
        bmi.bmiHeader.biCompression = h.biCompression;
        bmi.bmiHeader.biSizeImage = h.biSizeImage;
        bmi.bmiHeader.biXPelsPerMeter = h.biXPelsPerMeter;
        bmi.bmiHeader.biYPelsPerMeter = h.biYPelsPerMeter;
        bmi.bmiHeader.biClrUsed = h.biClrUsed;
        bmi.bmiHeader.biClrImportant = h.biClrImportant;
        return StretchDIBits(static_cast<HDC>(dc), dx, dy, dw, dh, sx, sy, sw, sh, bits, &bmi, DIB_RGB_COLORS, SRCCOPY);
    }

    bool ClientRectOnScreen(WindowHandle window, Rect* rect) override
    {
        RECT rc;
        if (!GetClientRect(static_cast<HWND>(window), &rc))
            return false;
        MapWindowPoints(static_cast<HWND>(window), HWND_DESKTOP, reinterpret_cast<POINT*>(&rc), 2);
        *rect = Rect{rc.left, rc.top, rc.right, rc.bottom};
        return true;
    }

    bool SetWindowRegion(WindowHandle window, const Rect& r) override
    {
        HRGN region = CreateRectRgn(int(r.left), int(r.top), int(r.right), int(r.bottom));
        if (!region)
            return false;
        // The window owns the region from here on.
        if (SetWindowRgn(static_cast<HWND>(window), region, TRUE))
            return true;
        DeleteObject(region);
        return false;
    }
};

}  // namespace

Platform& DefaultPlatform()
{
    static Win32Platform platform;
    return platform;
}

}  // namespace skin
