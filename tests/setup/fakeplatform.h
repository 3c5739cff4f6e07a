// A recording stand-in for the programs' platform, made for the installer's tests:
// drives (c:, d:, ...) are folders under a temp root, read-only and hidden attributes
// are kept beside them, the registry is an in-memory tree, message boxes, DDE commands,
// copies and restart requests are recorded, and the system's answers (version, device,
// privilege, folder browser) are set by the test.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "appplatform.h"

namespace setuptest {

struct MessageRecord {
  app::Window owner;
  std::string text, caption;
  std::uint32_t type;
};

struct RegValue {
  std::uint32_t type = 0;
  std::string data;  // the bytes as stored
};

class FakePlatform : public app::Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // ---- what the test sets and reads ------------------------------------------------
  std::string root;                      // the temp folder that holds the drives
  std::string modulePath = "c:\\pkg\\setup.exe";
  std::uint16_t langId = 0x0409;
  int platformId = 2;                    // -1: GetVersionExA fails
  bool zelkoDevice = false;              // \\.\Zelkode opens
  bool privilegeOk = true;
  bool ddeAnswers = true;
  std::string browseResult;
  std::vector<MessageRecord> messages;
  std::vector<std::string> ddeCommands;
  std::vector<std::string> copies;       // "from -> to"
  std::vector<std::uint32_t> exitRequests;
  std::vector<std::string> events;       // one line per notable call, in order
  std::set<std::string> failCreateKey;   // registry paths (lower case) that can't be made or opened

  std::string NativeOf(const std::string& windowsPath) const;  // "" for a missing drive
  void AddDrive(char letter);
  void WriteFile(const std::string& windowsPath, const std::string& bytes);
  std::string ReadFile(const std::string& windowsPath) const;
  bool Exists(const std::string& windowsPath) const;
  void SetAttributeBits(const std::string& windowsPath, std::uint32_t bits) { attributes_[Norm(windowsPath)] = bits; }

  bool HasKey(const std::string& path) const;
  bool HasValue(const std::string& key, const std::string& name) const;
  std::size_t ValueCount(const std::string& key) const;
  RegValue Value(const std::string& key, const std::string& name) const;
  void SetValue(const std::string& key, const std::string& name, std::uint32_t type, const std::string& data);

  // ---- skin::Platform -------------------------------------------------------------
  std::string ModuleFileName() override { return modulePath; }
  std::uint16_t SystemDefaultLangId() override { return langId; }
  std::uint32_t ProfileString(const char* section, const char* key, const char* def, char* out,
                              std::uint32_t size, const char* file) override;
  std::FILE* OpenForReading(const char* path) override { return OpenFile(path, "rb"); }
  void SetStretchMode(skin::DrawContext, int) override {}
  int StretchDib(skin::DrawContext, int, int, int, int dh, int, int, int, int, const void*,
                 const skin::DibHeader&) override { return dh; }
  bool ClientRectOnScreen(skin::WindowHandle, skin::Rect* rect) override;
  bool SetWindowRegion(skin::WindowHandle, const skin::Rect& rect) override;

  // ---- app::Platform ----------------------------------------------------------------
  long RegOpenKey(app::RegKey root, const char* subKey, std::uint32_t access, app::RegKey* out) override;
  long RegCreateKey(app::RegKey root, const char* subKey, std::uint32_t access, app::RegKey* out,
                    bool* created) override;
  long RegQueryValue(app::RegKey key, const char* name, std::uint32_t* type, void* data,
                     std::uint32_t* size) override;
  long RegSetValue(app::RegKey key, const char* name, std::uint32_t type, const void* data,
                   std::uint32_t size) override;
  long RegDeleteValue(app::RegKey key, const char* name) override;
  long RegDeleteKey(app::RegKey key, const char* subKey) override;
  long RegEnumKey(app::RegKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) override;
  long RegCloseKey(app::RegKey key) override;

  std::FILE* OpenFile(const char* path, const char* mode) override;
  std::uint32_t FileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, std::uint32_t attributes) override;
  bool CopyFile(const char* from, const char* to, bool failIfExists) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
  std::string SystemDirectory() override { return "C:\\WINDOWS\\system32"; }
  std::uint32_t ProfileInt(const char* section, const char* key, int def, const char* file) override;
  bool WriteProfileString(const char* section, const char* key, const char* value, const char* file) override;
  std::uint32_t LastError() override { return 0; }

  app::Handle OpenDevice(const char* path, std::uint32_t access) override;
  bool DeviceControl(app::Handle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
                     std::uint32_t*) override { return false; }
  bool CloseHandle(app::Handle) override { return true; }

  bool VersionEx(app::OsVersion* out) override;
  int SystemMetric(int) override { return 0; }
  std::uint32_t TickCount() override { return 0; }
  void Sleep(std::uint32_t) override {}
  bool SystemParametersInfo(std::uint32_t, std::uint32_t, void*, std::uint32_t) override { return true; }
  void MouseEvent(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {}
  app::Handle CreateMutex(const char*, bool, bool*) override { return nullptr; }
  std::uint32_t WaitForObject(app::Handle, std::uint32_t) override { return 0; }
  bool ReleaseMutex(app::Handle) override { return true; }
  std::intptr_t ShellExecute(app::Window, const char*, const char*, const char*, const char*, int) override {
    return 42;
  }
  bool EnableShutdownPrivilege() override;
  bool ExitWindows(std::uint32_t flags) override;

  app::Window FindWindow(const char*, const char*) override { return nullptr; }
  std::intptr_t SendMessage(app::Window, std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
  bool PostMessage(app::Window, std::uint32_t, std::uintptr_t, std::intptr_t) override { return true; }
  int MessageBox(app::Window owner, const char* text, const char* caption, std::uint32_t type) override;
  std::uintptr_t SetTimer(app::Window, std::uintptr_t id, std::uint32_t) override { return id; }
  bool KillTimer(app::Window, std::uintptr_t) override { return true; }
  int ShowCursor(bool) override { return 0; }
  std::string BrowseForFolder(app::Window owner, const char* title) override;

  app::Handle DdeOpen(const char* service, const char* topic) override;
  bool DdeExecute(app::Handle conversation, const char* command) override;
  void DdeClose(app::Handle conversation) override;

  // Uninst's calls: setup never makes them.
  std::vector<std::string> FindFiles(const char*) override { return {}; }
  bool DeleteAtRestart(const char*) override { return false; }
  int RemoveDevices(const char*) override { return -1; }
  bool DeleteService(const char*) override { return false; }
  bool SetCurrentDirectory(const char*) override { return false; }

  skin::Rect region;  // what SetWindowRegion got
  bool regionSet = false;
  std::string browseTitle;

 private:
  static std::string Lower(std::string s);
  std::string Norm(const std::string& windowsPath) const;  // lower case, backslashes
  std::string KeyPath(app::RegKey root, const char* subKey) const;  // "" when root unknown
  std::map<std::string, std::map<std::string, RegValue>> keys_;      // lower-case path -> values
  std::map<std::string, std::string> keyNames_;                      // lower-case path -> as created
  std::map<app::RegKey, std::string> handles_;
  app::RegKey nextHandle_ = 0x100;
  std::map<std::string, std::uint32_t> attributes_;  // extra attribute bits by normalised path
};

// A dialog whose controls are plain state.
class FakeDialog : public app::Dialog {
 public:
  struct Control {
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool visible = true;
  };
  std::map<int, Control> controls;
  std::vector<std::string> itemMessages;  // "id msg wParam lParam"
  bool ended = false;
  std::intptr_t result = -1;

  app::Window handle() override { return reinterpret_cast<app::Window>(0xD1A); }
  bool IsChecked(int id) override { return controls[id].checked; }
  void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
  std::string Text(int id) override { return controls[id].text; }
  void SetText(int id, const char* text) override { controls[id].text = text; }
  void SetTitle(const char*) override {}
  void Show(int id, bool visible) override { controls[id].visible = visible; }
  bool IsVisible(int id) override { return controls[id].visible; }
  void Enable(int id, bool enabled) override { controls[id].enabled = enabled; }
  std::intptr_t SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override;
  skin::Rect WindowRect() override { return {}; }
  void Move(const skin::Rect&, bool) override {}
  void Invalidate() override {}
  void End(std::intptr_t r) override {
    ended = true;
    result = r;
  }
};

}  // namespace setuptest
