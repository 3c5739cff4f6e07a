// hidprobe: the touch frame's HID device as a user-mode program sees it, for the
// Wine test bench.
//
//   hidprobe [--wait MS] info
//       attributes, caps and strings of the HID device with vendor 0x5A53, product 0x0001
//   hidprobe [--wait MS] read COUNT TIMEOUT_MS [PROGRAM ARGS...]
//       opens the device, runs PROGRAM (to make the frame report) and reads up to COUNT
//       input reports, each within TIMEOUT_MS
//
// --wait retries finding the device for up to MS milliseconds (it appears some time
// after its driver is installed). One line per fact; exit code 0 when everything
// asked for was found, 1 otherwise, 2 for bad usage.
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const USHORT kVendor = 0x5A53, kProduct = 0x0001;

// The device path of the first HID device with the frame's ids, or "".
std::string FindDevice()
{
    GUID hid;
    HidD_GetHidGuid(&hid);
    HDEVINFO set = SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return "";
    std::string found;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; found.empty() && SetupDiEnumDeviceInterfaces(set, nullptr, &hid, i, &data); ++i) {
        char buffer[1024];
        auto* detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_A*)buffer;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr))
            continue;
        HANDLE h =
            CreateFileA(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        HIDD_ATTRIBUTES a = {};
        a.Size = sizeof a;
        if (HidD_GetAttributes(h, &a) && a.VendorID == kVendor && a.ProductID == kProduct)
            found = detail->DevicePath;
        CloseHandle(h);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

std::string WaitForDevice(DWORD waitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string path = FindDevice();
        if (!path.empty() || GetTickCount() - start >= waitMs)
            return path;
        Sleep(200);
    }
}

std::string Narrow(const WCHAR* w)
{
    std::string s;
    for (; *w; ++w)
        s += *w < 128 ? (char)*w : '?';
    return s;
}

int Info(const std::string& path)
{
    int rc = 0;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::printf("open error %lu\n", GetLastError());
        return 1;
    }
    HIDD_ATTRIBUTES a = {};
    a.Size = sizeof a;
    if (HidD_GetAttributes(h, &a))
        std::printf("attributes vid=%04x pid=%04x version=%04x\n", a.VendorID, a.ProductID, a.VersionNumber);
    else {
        std::printf("attributes error %lu\n", GetLastError());
        rc = 1;
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps = {};
    if (HidD_GetPreparsedData(h, &preparsed) && HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
        std::printf("caps page=%u usage=%u input=%u output=%u feature=%u\n", caps.UsagePage, caps.Usage,
                    caps.InputReportByteLength, caps.OutputReportByteLength, caps.FeatureReportByteLength);
        USHORT n = caps.NumberInputValueCaps;
        HIDP_VALUE_CAPS values[8];
        if (n > 8)
            n = 8;
        if (n && HidP_GetValueCaps(HidP_Input, values, &n, preparsed) == HIDP_STATUS_SUCCESS)
            for (USHORT i = 0; i < n; ++i)
                std::printf("value page=%u usage=%u bits=%u min=%ld max=%ld\n", values[i].UsagePage,
                            values[i].IsRange ? values[i].Range.UsageMin : values[i].NotRange.Usage, values[i].BitSize,
                            values[i].LogicalMin, values[i].LogicalMax);
        HidD_FreePreparsedData(preparsed);
    } else {
        std::printf("caps error %lu\n", GetLastError());
        rc = 1;
    }
    WCHAR text[128];
    std::memset(text, 0, sizeof text);
    if (HidD_GetManufacturerString(h, text, sizeof text))
        std::printf("manufacturer %s\n", Narrow(text).c_str());
    else {
        std::printf("manufacturer error %lu\n", GetLastError());
        rc = 1;
    }
    std::memset(text, 0, sizeof text);
    if (HidD_GetProductString(h, text, sizeof text))
        std::printf("product %s\n", Narrow(text).c_str());
    else {
        std::printf("product error %lu\n", GetLastError());
        rc = 1;
    }
    CloseHandle(h);
    return rc;
}

int Read(const std::string& path, int count, DWORD timeoutMs, int argc, char** argv)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::printf("open error %lu\n", GetLastError());
        return 1;
    }
    std::printf("open ok\n");
    std::fflush(stdout);
    if (argc > 0) {
        std::string command;
        for (int i = 0; i < argc; ++i) {
            command += i ? " \"" : "\"";
            command += argv[i];
            command += "\"";
        }
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            std::printf("run error %lu\n", GetLastError());
            CloseHandle(h);
            return 1;
        }
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    int rc = 0;
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < count; ++i) {
        unsigned char report[64];
        DWORD n = 0;
        ResetEvent(ov.hEvent);
        BOOL ok = ReadFile(h, report, sizeof report, &n, &ov);
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(ov.hEvent, timeoutMs) != WAIT_OBJECT_0) {
                CancelIo(h);
                GetOverlappedResult(h, &ov, &n, TRUE);
                std::printf("report timeout\n");
                rc = 1;
                break;
            }
            ok = GetOverlappedResult(h, &ov, &n, FALSE);
        }
        if (!ok) {
            std::printf("report error %lu\n", GetLastError());
            rc = 1;
            break;
        }
        std::printf("report");
        for (DWORD k = 0; k < n; ++k)
            std::printf(" %02x", report[k]);
        std::printf("\n");
    }
    CloseHandle(ov.hEvent);
    CloseHandle(h);
    return rc;
}

int Usage()
{
    std::printf("usage: hidprobe [--wait MS] info | read COUNT TIMEOUT_MS [PROGRAM ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int i = 1;
    DWORD waitMs = 0;
    if (i + 1 < argc && std::strcmp(argv[i], "--wait") == 0) {
        waitMs = (DWORD)std::strtoul(argv[i + 1], nullptr, 10);
        i += 2;
    }
    if (i >= argc)
        return Usage();
    std::string command = argv[i++];
    std::string path = WaitForDevice(waitMs);
    if (path.empty()) {
        std::printf("%s error device not found\n", command.c_str());
        return 1;
    }
    if (command == "info")
        return Info(path);
    if (command == "read" && i + 1 < argc)
        return Read(path, std::atoi(argv[i]), (DWORD)std::strtoul(argv[i + 1], nullptr, 10), argc - i - 2,
                    argv + i + 2);
    return Usage();
}
