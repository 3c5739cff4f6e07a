#include "axistable.h"

#include <cctype>
#include <cmath>

namespace pointwell {

bool HalfScaleTables(int osVersionCode, RegistryStore& store)
{
    if (osVersionCode != 2000)
        return false;
    char flag[300] = {};
    store.ReadOsFlag(flag);
    const bool xp =
        std::tolower((unsigned char)flag[0]) == 'x' && std::tolower((unsigned char)flag[1]) == 'p' && flag[2] == 0;
    return !xp;
}

namespace {

// The entry for index i of an axis with mapping (k, c), screen size and scale top.
inline std::uint16_t Entry(unsigned i, double k, double c, int size, double top)
{
    if (size <= 0)
        return 0;  // no screen to normalise to
    // p := trunc(i * K + C + 0.5) as a 32-bit integer; values beyond 1000000 taken as
    // unsigned (so every negative one) become 0. A mapping read from a damaged value
    // may put the product beyond 32 bits, or give no number: those are beyond too.
    const double p = std::trunc(double(i) * k + c + 0.5);
    if (!(p >= 0.0 && p <= 1000000.0))
        return 0;
    const double v = std::trunc(p / size * top);
    return v > top ? std::uint16_t(top) : std::uint16_t(v);
}

}  // namespace

std::uint16_t AxisTableValue(int axis, unsigned index, const ToolSettings& s, bool halfScale)
{
    const double top = halfScale ? 32767.0 : 65535.0;
    if (axis == 'x')
        return Entry(index, s.kx, s.cx, s.screenWidth, top);
    if (axis == 'y')
        return Entry(index, s.ky, s.cy, s.screenHeight, top);
    return 0;
}

void ComputeTables(ToolSettings& s, bool halfScale)
{
    const double top = halfScale ? 32767.0 : 65535.0;
    std::uint16_t* x = s.xTable.data();
    std::uint16_t* y = s.yTable.data();
    for (unsigned i = 0; i < unsigned(kTableEntries); ++i)
        x[i] = Entry(i, s.kx, s.cx, s.screenWidth, top);
    for (unsigned i = 0; i < unsigned(kTableEntries); ++i)
        y[i] = Entry(i, s.ky, s.cy, s.screenHeight, top);
}

}  // namespace pointwell
