// The Win32 calls behind DeviceIo (built only for Windows).
#pragma once

#include "devicelink.h"

namespace pointwell {

// CreateFileA / DeviceIoControl / CloseHandle / GetLastError.
DeviceIo& Win32DeviceIo();

}  // namespace pointwell
