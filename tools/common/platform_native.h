// The native stand-in for the Win32 calls: drawing goes to a Canvas, windows are
// NativeWindow records, profile strings come from the initialisation-file reader.
// Paths are written Windows-style (backslashes) and opened with slashes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

namespace skin {

// A top-down picture of 0x00RRGGBB pixels that StretchDib draws into.
struct Canvas {
    Canvas(int w, int h, std::uint32_t fill = 0) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    std::uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }

    int width, height;
    std::vector<std::uint32_t> pixels;
    int stretchMode = 0;
    int dibCalls = 0;                // StretchDib calls that reached the canvas
    const void* lastBits = nullptr;  // the bits of the last call
};

struct NativeWindow {
    Rect clientOnScreen;  // what ClientRectOnScreen reports
    bool shaped = false;  // SetWindowRegion was called
    Rect region;          // its rectangle
};

class NativePlatform : public Platform {
public:
    NativePlatform();

    std::string ModuleFileName() override { return modulePath; }
    std::uint16_t SystemDefaultLangId() override { return langId; }
    std::uint32_t ProfileString(const char* section, const char* key, const char* def, char* out, std::uint32_t size,
                                const char* file) override;
    std::FILE* OpenForReading(const char* path) override;
    void SetStretchMode(DrawContext dc, int mode) override;
    int StretchDib(DrawContext dc, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, const void* bits,
                   const DibHeader& info) override;
    bool ClientRectOnScreen(WindowHandle window, Rect* rect) override;
    bool SetWindowRegion(WindowHandle window, const Rect& rect) override;

    // Windows-style path of the running program (backslashes), as tests set it.
    std::string modulePath;
    std::uint16_t langId = 0x0409;
};

// "C:\a\b" style path to a path this system opens: backslashes become slashes.
std::string NativePath(const char* path);
// A native path written Windows-style: slashes become backslashes.
std::string WindowsStylePath(const std::string& path);

}  // namespace skin
