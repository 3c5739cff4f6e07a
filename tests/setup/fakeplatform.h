// The installer's test platform: the programs' native platform (drives under a temp
// root, the simulated kernel's registry, recorded message boxes, DDE and restarts)
// with a log of the calls whose order the installer's tests look at, the answers they
// set in the installer's terms, and short helpers for files and registry values.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "appplatform_native.h"

namespace setuptest {

struct RegValue {
    std::uint32_t type = 0;
    std::string data;  // the bytes as stored
};

class FakePlatform : public app::NativeAppPlatform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // ---- what the test sets -------------------------------------------------------------
    int platformId = 2;                   // GetVersionExA's platform id; -1: the call fails
    bool zelkoDevice = false;             // \\.\Zelkode opens
    std::set<std::string> failCreateKey;  // HKLM key paths (lower case) that can't be made or opened

    // ---- what it records ----------------------------------------------------------------
    std::vector<std::string> events;  // one line per notable call, in order
    std::vector<std::string> copies;  // CopyFileA: "from -> to"
    std::string browseTitle;

    // ---- helpers: Windows paths on the drives, "hklm\..." registry paths ------------------
    void AddDrive(char letter);
    void WriteFile(const std::string& windowsPath, const std::string& bytes);
    std::string ReadFile(const std::string& windowsPath) const;
    bool Exists(const std::string& windowsPath) const;
    void SetAttributeBits(const std::string& windowsPath, std::uint32_t bits)
    {
        SetFileAttributes(windowsPath.c_str(), bits);
    }
    bool HasKey(const std::string& path);
    bool HasValue(const std::string& key, const std::string& name);
    RegValue Value(const std::string& key, const std::string& name);
    void SetValue(const std::string& key, const std::string& name, std::uint32_t type, const std::string& data);
    std::vector<std::string> DdeCommands() const;

    // ---- the calls that are logged or answered here ---------------------------------------
    long RegOpenKey(app::RegKey root, const char* subKey, std::uint32_t access, app::RegKey* out) override;
    long RegCreateKey(app::RegKey root, const char* subKey, std::uint32_t access, app::RegKey* out,
                      bool* created) override;
    long RegSetValue(app::RegKey key, const char* name, std::uint32_t type, const void* data,
                     std::uint32_t size) override;
    long RegDeleteKey(app::RegKey key, const char* subKey) override;
    std::FILE* OpenFile(const char* path, const char* mode) override;
    bool SetFileAttributes(const char* path, std::uint32_t attributes) override;
    bool CopyFile(const char* from, const char* to, bool failIfExists) override;
    bool DeleteFile(const char* path) override;
    bool CreateDirectory(const char* path) override;
    app::Handle OpenDevice(const char* path, std::uint32_t access) override;
    bool VersionEx(app::OsVersion* out) override;
    bool EnableShutdownPrivilege() override;
    bool ExitWindows(std::uint32_t flags) override;
    int MessageBox(app::Window owner, const char* text, const char* caption, std::uint32_t type) override;
    std::string BrowseForFolder(app::Window owner, const char* title) override;
    app::Handle DdeOpen(const char* service, const char* topic) override;
    void DdeClose(app::Handle conversation) override;

private:
    static std::string Lower(std::string s);
    static std::string Sub(const std::string& hklmPath);  // "hklm\x" -> "x"
};

// A dialog whose controls are plain state; its window is one of the platform's.
class FakeDialog : public app::Dialog {
public:
    explicit FakeDialog(app::Window window = nullptr) : window_(window) {}
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

    app::Window handle() override { return window_ ? window_ : reinterpret_cast<app::Window>(0xD1A); }
    bool IsChecked(int id) override { return controls[id].checked; }
    void SetChecked(int id, bool checked) override { controls[id].checked = checked; }
    std::string Text(int id) override { return controls[id].text; }
    void SetText(int id, const char* text) override { controls[id].text = text; }
    void SetTitle(const char*) override {}
    void Show(int id, bool visible) override { controls[id].visible = visible; }
    bool IsVisible(int id) override { return controls[id].visible; }
    void Enable(int id, bool enabled) override { controls[id].enabled = enabled; }
    std::intptr_t SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        itemMessages.push_back(std::to_string(id) + " " + std::to_string(msg) + " " + std::to_string(wParam) + " " +
                               std::to_string(lParam));
        return 0;
    }
    skin::Rect WindowRect() override { return {}; }
    void Move(const skin::Rect&, bool) override {}
    void Invalidate() override {}
    void End(std::intptr_t r) override
    {
        ended = true;
        result = r;
    }

private:
    app::Window window_;
};

}  // namespace setuptest
