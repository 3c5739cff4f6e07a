#include "axistable.h"

#include <cctype>
#include <cmath>

namespace pointwell {

bool HalfScaleTables(int osVersionCode, RegistryStore& store) {
  if (osVersionCode != 2000) return false;
  char flag[300] = {};
  store.ReadOsFlag(flag);
  const bool xp = std::tolower((unsigned char)flag[0]) == 'x' && std::tolower((unsigned char)flag[1]) == 'p' &&
                  flag[2] == 0;
  return !xp;
}

std::uint16_t AxisTableValue(int axis, unsigned index, const ToolSettings& s, bool halfScale) {
  double k, c;
  int size;
  if (axis == 'x') {
    k = s.kx, c = s.cx, size = s.screenWidth;
  } else if (axis == 'y') {
    k = s.ky, c = s.cy, size = s.screenHeight;
  } else {
    return 0;
  }
  if (size <= 0) return 0;  // no screen to normalise to
  // p := trunc(i * K + C + 0.5) as a 32-bit integer; values beyond 1000000 taken as
  // unsigned (so every negative one) become 0. A mapping read from a damaged value
  // may put the product beyond 32 bits, or give no number: those are beyond too.
  const double product = std::trunc(double(index) * k + c + 0.5);
  if (!(product >= 0.0 && product <= 1000000.0)) return 0;
  const double p = product;
  const double top = halfScale ? 32767.0 : 65535.0;
  const double v = std::trunc(p / size * top);
  return v > top ? std::uint16_t(top) : std::uint16_t(v);
}

void ComputeTables(ToolSettings& s, bool halfScale) {
  for (unsigned i = 0; i < unsigned(kTableEntries); ++i) {
    s.xTable[i] = AxisTableValue('x', i, s, halfScale);
    s.yTable[i] = AxisTableValue('y', i, s, halfScale);
  }
}

}  // namespace pointwell
