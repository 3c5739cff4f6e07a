// The Win32 side of the calibration's two windows: modal runs of the templates.
#pragma once

#include "appplatform_win32.h"
#include "calibration.h"

namespace pointwell {

// DialogBoxParam of template 131 over owner, driving screen; its result (-1 when it
// could not be shown).
INT_PTR ShowCalibrationDialog(HWND owner, CalibrationScreen& screen);
// The same for template 156 ("Examination") and countdown.
INT_PTR ShowVerifyDialog(HWND owner, VerifyCountdown& countdown);

}  // namespace pointwell
