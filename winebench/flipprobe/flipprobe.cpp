// flipprobe: what the Flipkey and BEEP bench needs besides uiprobe, one command a run.
//
//   flipprobe swap 0|1         another program sets the button swap (SPI_SETMOUSEBUTTONSWAP,
//                              SPIF_SENDCHANGE): "swap N" read back from SM_SWAPBUTTON
//   flipprobe repaint TITLE    the window and its children invalidated and painted now:
//                              "repaint TITLE"
//   flipprobe arrow TITLE      which way the arrow on the window's screen area points:
//                              "arrow left|right|none ink=N" (N: ink pixels seen)
//   flipprobe rclick X Y       a right click (SendInput) at screen pixel X,Y: "rclick X Y"
//   flipprobe audio            the wave output devices the system has: "audio N"
//
// The arrow is told by its ink (the dark blue of the pictures): the tip end of an arrow
// is one column high, the shaft end many. Exit code 0 done, 1 window missing, 2 usage,
// 3 the operation failed.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

HWND Find(const char* title) { return FindWindowA(nullptr, title); }

int Arrow(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return 3;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<unsigned char> px(size_t(w) * h * 4);
    GetDIBits(mem, bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);

    std::vector<int> column(w, 0);
    int ink = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = &px[(size_t(y) * w + x) * 4];  // B G R x
            if (p[0] > 120 && p[1] < 110 && p[2] < 80) {
                ++column[x];
                ++ink;
            }
        }
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x)
        if (column[x]) {
            if (first < 0)
                first = x;
            last = x;
        }
    const char* way = "none";
    if (ink > 0 && first != last) {
        // Three columns in from each end, so that a rim pixel decides nothing.
        const int a = column[first + (last - first > 6 ? 3 : 0)];
        const int b = column[last - (last - first > 6 ? 3 : 0)];
        way = a < b ? "left" : a > b ? "right" : "none";
    }
    std::printf("arrow %s ink=%d\n", way, ink);
    return 0;
}

int RightClick(int x, int y)
{
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[3] = {};
    for (INPUT& i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = LONG((x * 65535.0) / (sw - 1) + 0.5);
        i.mi.dy = LONG((y * 65535.0) / (sh - 1) + 0.5);
    }
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_ABSOLUTE;
    in[2].mi.dwFlags = MOUSEEVENTF_RIGHTUP | MOUSEEVENTF_ABSOLUTE;
    if (SendInput(3, in, sizeof(INPUT)) != 3)
        return 3;
    std::printf("rclick %d %d\n", x, y);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && !std::strcmp(argv[1], "swap")) {
        const UINT on = std::atoi(argv[2]) ? 1 : 0;
        if (!SystemParametersInfoA(SPI_SETMOUSEBUTTONSWAP, on, nullptr, SPIF_SENDCHANGE))
            return 3;
        std::printf("swap %d\n", GetSystemMetrics(SM_SWAPBUTTON) ? 1 : 0);
        return 0;
    }
    if (argc == 3 && !std::strcmp(argv[1], "repaint")) {
        HWND w = Find(argv[2]);
        if (!w) {
            std::printf("missing %s\n", argv[2]);
            return 1;
        }
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        std::printf("repaint %s\n", argv[2]);
        return 0;
    }
    if (argc == 3 && !std::strcmp(argv[1], "arrow")) {
        HWND w = Find(argv[2]);
        if (!w) {
            std::printf("missing %s\n", argv[2]);
            return 1;
        }
        return Arrow(w);
    }
    if (argc == 4 && !std::strcmp(argv[1], "rclick"))
        return RightClick(std::atoi(argv[2]), std::atoi(argv[3]));
    if (argc == 2 && !std::strcmp(argv[1], "audio")) {
        std::printf("audio %u\n", waveOutGetNumDevs());
        return 0;
    }
    std::fprintf(stderr, "usage: flipprobe swap 0|1 | repaint TITLE | arrow TITLE | rclick X Y | audio\n");
    return 2;
}
