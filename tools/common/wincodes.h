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
constexpr std::uint32_t kWmClose = 0x0010;  // WM_CLOSE
constexpr std::uint32_t kWmTimer = 0x0113;  // WM_TIMER
constexpr std::uint32_t kWmLButtonDown = 0x0201, kWmLButtonUp = 0x0202, kWmLButtonDblClk = 0x0203;
constexpr std::uint32_t kWmRButtonDown = 0x0204, kWmRButtonUp = 0x0205, kWmRButtonDblClk = 0x0206;
constexpr std::uint32_t kBmGetCheck = 0x00F0;      // BM_GETCHECK
constexpr std::uint32_t kBmSetImage = 0x00F7;      // BM_SETIMAGE
constexpr std::uint32_t kPbmSetRange = 0x0401;     // PBM_SETRANGE: lParam low word min, high word max
constexpr std::uint32_t kPbmSetPos = 0x0402;       // PBM_SETPOS
constexpr std::uint32_t kTbmGetPos = 0x0400;       // TBM_GETPOS
constexpr std::uint32_t kTbmSetTic = 0x0404;       // TBM_SETTIC
constexpr std::uint32_t kTbmSetPos = 0x0405;       // TBM_SETPOS
constexpr std::uint32_t kTbmSetRangeMin = 0x0407;  // TBM_SETRANGEMIN
constexpr std::uint32_t kTbmSetRangeMax = 0x0408;  // TBM_SETRANGEMAX
constexpr std::uintptr_t kImageBitmap = 0;         // IMAGE_BITMAP: BM_SETIMAGE's wParam

// ShowWindow commands, SetWindowPos flags, GetSystemMetrics indexes.
constexpr int kSwHide = 0, kSwShowNormal = 1;
constexpr std::uint32_t kSwpNoSize = 0x0001, kSwpNoMove = 0x0002, kSwpHideWindow = 0x0080;
constexpr int kSmCxScreen = 0, kSmCyScreen = 1;

// SystemParametersInfoA actions and flags.
constexpr std::uint32_t kSpiSetMouseButtonSwap = 0x0021;
constexpr std::uint32_t kSpiGetWorkArea = 0x0030;
constexpr std::uint32_t kSpifSendChange = 0x0002;

// WaitForSingleObject answers.
constexpr std::uint32_t kWaitObject0 = 0, kWaitAbandoned = 0x80, kWaitTimeout = 0x102;

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
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// ExitWindowsEx flags.
constexpr std::uint32_t kEwxReboot = 0x02;
constexpr std::uint32_t kEwxForce = 0x04;

// Win32 error codes the programs look at and the native platform sets.
constexpr long kErrorSuccess = 0;
constexpr long kErrorInvalidFunction = 1;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorPathNotFound = 3;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorNotEnoughMemory = 8;
constexpr long kErrorNotReady = 21;
constexpr long kErrorGenFailure = 31;
constexpr long kErrorSharingViolation = 32;
constexpr long kErrorNotSupported = 50;
constexpr long kErrorFileExists = 80;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorInsufficientBuffer = 122;
constexpr long kErrorDirNotEmpty = 145;
constexpr long kErrorBusy = 170;
constexpr long kErrorAlreadyExists = 183;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorDeletePending = 303;
constexpr long kErrorNoSuchDevice = 433;
constexpr long kErrorOperationAborted = 995;
constexpr long kErrorIoDevice = 1117;
constexpr long kErrorDeviceNotConnected = 1167;
constexpr long kErrorBadDevice = 1200;
constexpr long kErrorNoSystemResources = 1450;
constexpr long kErrorTimeout = 1460;

}  // namespace app
