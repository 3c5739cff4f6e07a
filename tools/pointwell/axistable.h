// The calibration tables: the entry for each raw coordinate follows from the mapping
// (screen pixel = K * raw + C) and the screen size, normalised to the absolute
// 0..65535 scale (0..32767 on Windows 2000 unless the installer marked the system
// "xp").
#pragma once

#include <cstdint>

#include "toolsettings.h"

namespace pointwell {

// Whether the tables use the 0..32767 scale: OS version code 2000 and "osflg" not
// "xp" (without regard to case). Read once per table computation.
bool HalfScaleTables(int osVersionCode, RegistryStore& store);

// The entry for raw coordinate index of axis 'x' (Kx, Cx, screen width) or 'y' (Ky,
// Cy, screen height); any other axis gives 0. A mapped point beyond 1000000 (or
// below 0) gives 0; the entry is capped at the scale's top. A screen size that is
// not positive gives 0.
std::uint16_t AxisTableValue(int axis, unsigned index, const ToolSettings& settings, bool halfScale);

// Both tables whole, into the settings' xTable and yTable.
void ComputeTables(ToolSettings& settings, bool halfScale);

}  // namespace pointwell
