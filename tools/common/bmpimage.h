// A 24-bit BMP picture read from a skin file and drawn stretched, whole or in parts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform.h"

// BITMAPFILEHEADER, field by field (14 bytes in a file, little-endian).
struct BmpFileHeader {
    std::uint16_t bfType = 0;
    std::uint32_t bfSize = 0;
    std::uint16_t bfReserved1 = 0;
    std::uint16_t bfReserved2 = 0;
    std::uint32_t bfOffBits = 0;
};

class BmpImage {
public:
    BmpImage() = default;
    BmpImage(const BmpImage&) = delete;
    BmpImage& operator=(const BmpImage&) = delete;

    // Reads an uncompressed 24-bit bottom-up BMP file. Returns 1 on success, 0 when
    // the file is missing, short in its headers, not "BM", compressed, not 24-bit,
    // has its pixel data before byte 54, misses a row's padding byte, or claims a
    // negative width or more than 64 MiB of (padded) pixel data. Width and
    // height, when both pointers are given, are set to 0 first and to the header's
    // values once the headers pass. A top-down file (negative height) loads without
    // pixels; pixels missing from a file cut short are 0.
    int Load(const char* path, std::int32_t* width = nullptr, std::int32_t* height = nullptr);
    // The same from an open stream; name is what the path field records. The caller
    // closes the stream.
    int Load(std::FILE* file, const char* name, std::int32_t* width = nullptr, std::int32_t* height = nullptr);

    // Stretches the whole picture onto (x, y, w, h) of dc.
    void Draw(skin::DrawContext dc, int x, int y, int w, int h) const;
    // Stretches the part (sx, sy, sw, sh) of the picture, measured from its top-left
    // corner, onto (x, y, w, h) of dc.
    void DrawPart(skin::DrawContext dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const;
    // Back to the state after construction.
    void Clear();

    // A copy of pixels (height rows of width * 3 bytes) with each row padded to a
    // multiple of 4 bytes; the row length goes to *stride. None when pixels is none,
    // the picture is not 24-bit, or memory runs out.
    std::unique_ptr<std::uint8_t[]> PaddedRows(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                                               std::int32_t* stride) const;

    bool HasPixels() const { return pixels_ != nullptr; }
    const std::uint8_t* Pixels() const { return pixels_.get(); }
    std::int32_t PixelBytes() const { return pixelBytes_; }
    std::int32_t Width() const { return info_.biWidth; }
    std::int32_t Height() const { return info_.biHeight; }
    const char* Path() const { return path_; }
    const BmpFileHeader& FileHeader() const { return fileHeader_; }
    const skin::DibHeader& Info() const { return info_; }

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const;
    };
    void Stretch(skin::DrawContext dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const;

    char path_[1023] = {};
    std::int64_t readPos_ = 0;  // bytes consumed from the file while loading
    BmpFileHeader fileHeader_;
    skin::DibHeader info_;
    std::unique_ptr<std::uint8_t[], FreeDeleter> pixels_;
    std::int32_t pixelBytes_ = 0;
};

namespace skin {
// Clips a dialog to its client area: its client rectangle in screen coordinates
// becomes its window region. Called while the dialog still stands at (0, 0), so
// the region is the client area in window coordinates.
bool ClipWindowToClient(WindowHandle window);
}  // namespace skin
