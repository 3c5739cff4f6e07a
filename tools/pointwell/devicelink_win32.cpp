#include "devicelink_win32.h"

#include <windows.h>

namespace pointwell {
namespace {

class Win32Io : public DeviceIo {
 public:
  Handle Open(const char* path) override {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
  }

  bool Control(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
               std::uint32_t outSize, std::uint32_t* returned) override {
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(static_cast<HANDLE>(handle), code, const_cast<void*>(in), inSize,
                                    out, outSize, &got, nullptr);
    *returned = got;
    return ok != 0;
  }

  void Close(Handle handle) override { CloseHandle(static_cast<HANDLE>(handle)); }

  std::uint32_t LastError() override { return GetLastError(); }
};

}  // namespace

DeviceIo& Win32DeviceIo() {
  static Win32Io io;
  return io;
}

}  // namespace pointwell
