// The Win32 numbers the programs pass to the platform and compare its answers with:
// window and control messages, message-box styles and answers, file attributes,
// registry access masks, restart flags and the error codes the programs look at.
// Plain constants under the programs' names for the Windows ones (kMbIconError is
// MB_ICONERROR), so that the logic that uses them builds natively as well; the
// platform (appplatform.h) includes this file.
#pragma once

#include <cstdint>

namespace app {

// Window and control messages.
constexpr std::uint32_t kWmClose = 0x0010;      // WM_CLOSE
constexpr std::uint32_t kWmTimer = 0x0113;      // WM_TIMER
constexpr std::uint32_t kBmGetCheck = 0x00F0;   // BM_GETCHECK
constexpr std::uint32_t kBmSetImage = 0x00F7;   // BM_SETIMAGE
constexpr std::uint32_t kPbmSetRange = 0x0401;  // PBM_SETRANGE: lParam low word min, high word max
constexpr std::uint32_t kPbmSetPos = 0x0402;    // PBM_SETPOS

// Message-box styles (MB_*) and the buttons MessageBoxA answers with (ID*).
constexpr std::uint32_t kMbOk = 0x00;
constexpr std::uint32_t kMbOkCancel = 0x01;
constexpr std::uint32_t kMbYesNo = 0x04;
constexpr std::uint32_t kMbIconError = 0x10;
constexpr std::uint32_t kMbIconQuestion = 0x20;
constexpr std::uint32_t kMbIconWarning = 0x30;
constexpr std::uint32_t kMbIconInformation = 0x40;
constexpr int kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7;

// File attributes (GetFileAttributesA); kInvalidAttributes when the path does not exist.
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrNormal = 0x80;

// Registry access masks.
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// ExitWindowsEx flags.
constexpr std::uint32_t kEwxReboot = 0x02;
constexpr std::uint32_t kEwxForce = 0x04;

// Win32 error codes the programs look at.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorAlreadyExists = 183;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;

}  // namespace app
