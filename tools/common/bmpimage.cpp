#include "bmpimage.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Bytes of one row padded to a multiple of 4, as a DIB stores it.
std::int64_t DibStride(std::int32_t width) { return (std::int64_t(width) * 24 + 31) / 32 * 4; }

// The largest picture accepted: 64 MiB of padded rows (4096 x 5461 pixels). Skins
// are screen-sized; a header claiming more is refused before any size is computed
// in 32 bits or allocated.
constexpr std::int64_t kMaxPixelBytes = std::int64_t(64) << 20;

}  // namespace

void BmpImage::FreeDeleter::operator()(std::uint8_t* p) const { std::free(p); }

int BmpImage::Load(const char* path, std::int32_t* width, std::int32_t* height)
{
    if (width && height)
        *width = *height = 0;
    Clear();
    std::FILE* f = path ? skin::CurrentPlatform().OpenForReading(path) : nullptr;
    if (!f)
        return 0;
    const int ok = Load(f, path, width, height);
    std::fclose(f);
    return ok;
}

int BmpImage::Load(std::FILE* f, const char* name, std::int32_t* width, std::int32_t* height)
{
    const bool wantSize = width && height;
    if (wantSize)
        *width = *height = 0;
    Clear();
    if (!f)
        return 0;

    std::uint8_t raw[40];
    if (std::fread(raw, 1, 14, f) != 14)
        return 0;
    BmpFileHeader fh;
    fh.bfType = U16(raw);
    fh.bfSize = U32(raw + 2);
    fh.bfReserved1 = U16(raw + 6);
    fh.bfReserved2 = U16(raw + 8);
    fh.bfOffBits = U32(raw + 10);
    if (fh.bfType != 0x4D42)
        return 0;  // "BM"
    readPos_ = 14;

    if (std::fread(raw, 1, 40, f) != 40)
        return 0;
    skin::DibHeader ih;
    ih.biSize = U32(raw);
    ih.biWidth = std::int32_t(U32(raw + 4));
    ih.biHeight = std::int32_t(U32(raw + 8));
    ih.biPlanes = U16(raw + 12);
    ih.biBitCount = U16(raw + 14);
    ih.biCompression = U32(raw + 16);
    ih.biSizeImage = U32(raw + 20);
    ih.biXPelsPerMeter = std::int32_t(U32(raw + 24));
    ih.biYPelsPerMeter = std::int32_t(U32(raw + 28));
    ih.biClrUsed = U32(raw + 32);
    ih.biClrImportant = U32(raw + 36);
    if (ih.biCompression != 0)
        return 0;
    readPos_ = 54;
    if (ih.biBitCount != 24)
        return 0;
    if (fh.bfOffBits < 54)
        return 0;

    // A colour table or the rest of a longer header is skipped unread.
    while (readPos_ < std::int64_t(fh.bfOffBits)) {
        if (std::fgetc(f) == EOF) {
            readPos_ = fh.bfOffBits;  // every later read fails as well
            break;
        }
        ++readPos_;
    }

    const std::int32_t w = ih.biWidth, h = ih.biHeight;
    if (wantSize) {
        *width = w;
        *height = h;
    }
    // Refuse a negative width and pictures beyond kMaxPixelBytes.
    if (w < 0)
        return 0;
    if (h >= 1 && DibStride(w) > kMaxPixelBytes / h)
        return 0;

    std::unique_ptr<std::uint8_t[], FreeDeleter> pixels;
    const std::size_t rowBytes = std::size_t(w) * 3;
    if (h >= 1 && w >= 1)
        pixels.reset(static_cast<std::uint8_t*>(std::calloc(rowBytes * std::size_t(h), 1)));
    if (pixels) {  // no memory: the rows are not read, and the load still succeeds
        const std::size_t padding = (4 - rowBytes % 4) % 4;
        for (std::int32_t row = 0; row < h; ++row) {
            std::uint8_t* dst = pixels.get() + rowBytes * std::size_t(row);
            const std::size_t got = std::fread(dst, 1, rowBytes, f);
            if (got < rowBytes) {
                // A pixel whose three bytes did not all arrive stays 0 (the buffer
                // starts zeroed; only a partly read pixel needs clearing).
                const std::size_t whole = got / 3 * 3;
                std::memset(dst + whole, 0, got - whole);
            }
            readPos_ += std::int64_t(rowBytes);
            for (std::size_t k = 0; k < padding; ++k) {
                if (std::fgetc(f) == EOF)
                    return 0;  // pixels released by their owner
                ++readPos_;
            }
            if (got < rowBytes)
                break;  // end of file: the remaining rows stay 0
        }
    }

    ih.biClrImportant = 0;
    ih.biClrUsed = 0;
    ih.biSizeImage = 0;
    ih.biXPelsPerMeter = 0;
    ih.biYPelsPerMeter = 0;
    ih.biBitCount = 24;
    fileHeader_ = fh;
    info_ = ih;
    pixelBytes_ = pixels ? std::int32_t(rowBytes * std::size_t(h)) : 0;
    pixels_ = std::move(pixels);
    if (name) {
        std::strncpy(path_, name, sizeof path_ - 1);
        path_[sizeof path_ - 1] = '\0';
    }
    return 1;
}

void BmpImage::Clear()
{
    path_[0] = '\0';
    readPos_ = 0;
    fileHeader_ = BmpFileHeader();
    info_ = skin::DibHeader();
    pixels_.reset();
    pixelBytes_ = 0;
}

void BmpImage::Draw(skin::DrawContext dc, int x, int y, int w, int h) const
{
    Stretch(dc, x, y, w, h, 0, 0, info_.biWidth, info_.biHeight);
}

void BmpImage::DrawPart(skin::DrawContext dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const
{
    // StretchDIBits measures the source from the bottom of a bottom-up picture.
    const std::int64_t fromBottom = std::int64_t(info_.biHeight) - sy - sh;
    if (fromBottom < INT_MIN || fromBottom > INT_MAX)
        return;
    Stretch(dc, x, y, w, h, sx, int(fromBottom), sw, sh);
}

void BmpImage::Stretch(skin::DrawContext dc, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const
{
    skin::Platform& platform = skin::CurrentPlatform();
    platform.SetStretchMode(dc, skin::kColorOnColor);
    if (info_.biBitCount != 24 || !pixels_)
        return;
    if (info_.biWidth % 4 == 0) {  // rows of width * 3 bytes are already 4-byte multiples
        platform.StretchDib(dc, x, y, w, h, sx, sy, sw, sh, pixels_.get(), info_);
        return;
    }
    std::int32_t stride = 0;
    const auto padded = PaddedRows(pixels_.get(), info_.biWidth, info_.biHeight, &stride);
    if (padded)
        platform.StretchDib(dc, x, y, w, h, sx, sy, sw, sh, padded.get(), info_);
}

std::unique_ptr<std::uint8_t[]> BmpImage::PaddedRows(const std::uint8_t* pixels, std::int32_t width,
                                                     std::int32_t height, std::int32_t* stride) const
{
    if (!pixels || info_.biBitCount != 24 || width <= 0 || height <= 0)
        return nullptr;
    const std::int64_t rowStride = DibStride(width);
    if (rowStride > INT32_MAX / height)
        return nullptr;
    std::unique_ptr<std::uint8_t[]> out(new (std::nothrow) std::uint8_t[rowStride * height]);
    if (!out)
        return nullptr;
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* dst = out.get() + std::size_t(rowStride) * std::size_t(row);
        std::memcpy(dst, pixels + rowBytes * std::size_t(row), rowBytes);
        std::memset(dst + rowBytes, 0, std::size_t(rowStride) - rowBytes);
    }
    if (stride)
        *stride = std::int32_t(rowStride);
    return out;
}

namespace skin {

bool ClipWindowToClient(WindowHandle window)
{
    Platform& platform = CurrentPlatform();
    Rect client;
    if (!platform.ClientRectOnScreen(window, &client))
        return false;
    return platform.SetWindowRegion(window, client);
}

}  // namespace skin
