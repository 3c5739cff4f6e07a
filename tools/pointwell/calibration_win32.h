// The Win32 side of the calibration's two windows: modal runs of the templates.
#pragma once

// The platform interface first: windows.h turns some of its names into macros.
#include "calibration.h"

#include <windows.h>

namespace pointwell {

// DialogBoxParam of template 131 over owner, driving screen; its result (-1 when it
// could not be shown).
INT_PTR ShowCalibrationDialog(HWND owner, CalibrationScreen& screen);
// The same for template 156 ("Examination") and countdown.
INT_PTR ShowVerifyDialog(HWND owner, VerifyCountdown& countdown);

}  // namespace pointwell
