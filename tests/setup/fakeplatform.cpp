#include "fakeplatform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "inifile.h"

namespace fs = std::filesystem;

namespace setuptest {

FakePlatform::FakePlatform() {
  char tmpl[] = "/tmp/setuptest.XXXXXX";
  root = mkdtemp(tmpl);
  AddDrive('c');
  for (const char* key : {"hklm\\software", "hklm\\software\\microsoft\\windows\\currentversion\\run",
                          "hklm\\system\\currentcontrolset\\services"}) {
    keys_[key];
    keyNames_[key] = key;
  }
}

FakePlatform::~FakePlatform() {
  std::error_code ec;
  fs::remove_all(root, ec);
}

std::string FakePlatform::Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string FakePlatform::Norm(const std::string& windowsPath) const {
  std::string p = Lower(windowsPath);
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

void FakePlatform::AddDrive(char letter) { fs::create_directories(root + "/" + char(std::tolower(letter))); }

std::string FakePlatform::NativeOf(const std::string& windowsPath) const {
  const std::string p = Norm(windowsPath);
  if (p.size() < 2 || p[1] != ':' || !std::isalpha(static_cast<unsigned char>(p[0]))) return "";
  const std::string drive = root + "/" + p[0];
  if (!fs::is_directory(drive)) return "";
  std::string rest = p.substr(2);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  return drive + rest;
}

void FakePlatform::WriteFile(const std::string& windowsPath, const std::string& bytes) {
  const std::string native = NativeOf(windowsPath);
  fs::create_directories(fs::path(native).parent_path());
  std::ofstream(native, std::ios::binary) << bytes;
}

std::string FakePlatform::ReadFile(const std::string& windowsPath) const {
  std::ifstream in(NativeOf(windowsPath), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool FakePlatform::Exists(const std::string& windowsPath) const {
  const std::string native = NativeOf(windowsPath);
  return !native.empty() && fs::exists(native);
}

// ---- registry ---------------------------------------------------------------------

std::string FakePlatform::KeyPath(app::RegKey rootKey, const char* subKey) const {
  std::string base;
  if (rootKey == app::kHkeyLocalMachine) base = "hklm";
  else if (rootKey == app::kHkeyCurrentUser) base = "hkcu";
  else if (handles_.count(rootKey)) base = handles_.at(rootKey);
  else return "";
  std::string sub = subKey ? Lower(subKey) : "";
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  return sub.empty() ? base : base + "\\" + sub;
}

long FakePlatform::RegOpenKey(app::RegKey rootKey, const char* subKey, std::uint32_t, app::RegKey* out) {
  const std::string path = KeyPath(rootKey, subKey);
  if (path.empty() || !keys_.count(path) || failCreateKey.count(path)) return app::kErrorFileNotFound;
  *out = nextHandle_++;
  handles_[*out] = path;
  return 0;
}

long FakePlatform::RegCreateKey(app::RegKey rootKey, const char* subKey, std::uint32_t, app::RegKey* out,
                                bool* created) {
  const std::string path = KeyPath(rootKey, subKey);
  if (path.empty() || failCreateKey.count(path)) return app::kErrorAccessDenied;
  if (created) *created = !keys_.count(path);
  // Every missing key on the way is made too.
  std::string original = subKey ? subKey : "";
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      const std::string prefix = path.substr(0, i);
      if (!keys_.count(prefix)) {
        keys_[prefix];
        keyNames_[prefix] = prefix;
      }
    }
  }
  *out = nextHandle_++;
  handles_[*out] = path;
  return 0;
}

long FakePlatform::RegQueryValue(app::RegKey key, const char* name, std::uint32_t* type, void* data,
                                 std::uint32_t* size) {
  if (!handles_.count(key)) return app::kErrorInvalidParameter;
  auto& values = keys_[handles_[key]];
  auto it = values.find(Lower(name ? name : ""));
  if (it == values.end()) return app::kErrorFileNotFound;
  if (type) *type = it->second.type;
  const std::uint32_t need = std::uint32_t(it->second.data.size());
  if (!data) {
    *size = need;
    return 0;
  }
  if (*size < need) {
    *size = need;
    return app::kErrorMoreData;
  }
  std::memcpy(data, it->second.data.data(), need);
  *size = need;
  return 0;
}

long FakePlatform::RegSetValue(app::RegKey key, const char* name, std::uint32_t type, const void* data,
                               std::uint32_t size) {
  if (!handles_.count(key)) return app::kErrorInvalidParameter;
  keys_[handles_[key]][Lower(name ? name : "")] = RegValue{type, std::string(static_cast<const char*>(data), size)};
  events.push_back(std::string("RegSetValue ") + (name ? name : ""));
  return 0;
}

long FakePlatform::RegDeleteValue(app::RegKey key, const char* name) {
  if (!handles_.count(key)) return app::kErrorInvalidParameter;
  return keys_[handles_[key]].erase(Lower(name)) ? 0 : app::kErrorFileNotFound;
}

long FakePlatform::RegDeleteKey(app::RegKey key, const char* subKey) {
  const std::string path = KeyPath(key, subKey);
  if (path.empty() || !keys_.count(path)) return app::kErrorFileNotFound;
  for (const auto& k : keys_)
    if (k.first.compare(0, path.size() + 1, path + "\\") == 0) return app::kErrorAccessDenied;
  keys_.erase(path);
  events.push_back("RegDeleteKey " + path);
  return 0;
}

long FakePlatform::RegEnumKey(app::RegKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) {
  if (!handles_.count(key)) return app::kErrorInvalidParameter;
  const std::string prefix = handles_[key] + "\\";
  std::uint32_t i = 0;
  for (const auto& k : keys_) {
    if (k.first.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string child = k.first.substr(prefix.size());
    if (child.find('\\') != std::string::npos) continue;
    if (i++ != index) continue;
    if (child.size() + 1 > *nameSize) return app::kErrorMoreData;
    std::memcpy(name, child.c_str(), child.size() + 1);
    *nameSize = std::uint32_t(child.size());
    return 0;
  }
  return app::kErrorNoMoreItems;
}

long FakePlatform::RegCloseKey(app::RegKey key) {
  handles_.erase(key);
  return 0;
}

bool FakePlatform::HasKey(const std::string& path) const { return keys_.count(Lower(path)) != 0; }

bool FakePlatform::HasValue(const std::string& key, const std::string& name) const {
  auto k = keys_.find(Lower(key));
  return k != keys_.end() && k->second.count(Lower(name));
}

std::size_t FakePlatform::ValueCount(const std::string& key) const {
  auto k = keys_.find(Lower(key));
  return k == keys_.end() ? 0 : k->second.size();
}

RegValue FakePlatform::Value(const std::string& key, const std::string& name) const {
  auto k = keys_.find(Lower(key));
  if (k == keys_.end()) return {};
  auto v = k->second.find(Lower(name));
  return v == k->second.end() ? RegValue{} : v->second;
}

void FakePlatform::SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                            const std::string& data) {
  const std::string path = Lower(key);
  for (std::size_t i = 0; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '\\') keys_[path.substr(0, i)];
  keys_[path][Lower(name)] = RegValue{type, data};
}

// ---- files ------------------------------------------------------------------------

std::FILE* FakePlatform::OpenFile(const char* path, const char* mode) {
  const std::string native = NativeOf(path);
  if (native.empty()) return nullptr;
  if (std::strchr(mode, 'w') && (FileAttributes(path) & app::kAttrReadOnly) &&
      FileAttributes(path) != app::kInvalidAttributes)
    return nullptr;
  if (fs::is_directory(native)) return nullptr;
  if (std::strchr(mode, 'w')) {
    attributes_.erase(Norm(path));  // a new file
    events.push_back(std::string("OpenFile ") + path + " " + mode);
  }
  return std::fopen(native.c_str(), mode);
}

std::uint32_t FakePlatform::FileAttributes(const char* path) {
  const std::string native = NativeOf(path);
  std::error_code ec;
  if (native.empty() || !fs::exists(native, ec)) return app::kInvalidAttributes;
  std::uint32_t bits = fs::is_directory(native) ? app::kAttrDirectory : 0;
  auto it = attributes_.find(Norm(path));
  if (it != attributes_.end()) bits |= it->second;
  return bits ? bits : app::kAttrNormal;
}

bool FakePlatform::SetFileAttributes(const char* path, std::uint32_t attributes) {
  if (FileAttributes(path) == app::kInvalidAttributes) return false;
  attributes_[Norm(path)] = attributes & ~(app::kAttrDirectory | app::kAttrNormal);
  events.push_back(std::string("SetFileAttributes ") + path);
  return true;
}

bool FakePlatform::CopyFile(const char* from, const char* to, bool) {
  copies.push_back(std::string(from) + " -> " + to);
  const std::string a = NativeOf(from), b = NativeOf(to);
  std::error_code ec;
  return !a.empty() && !b.empty() && fs::copy_file(a, b, fs::copy_options::overwrite_existing, ec);
}

bool FakePlatform::DeleteFile(const char* path) {
  events.push_back(std::string("DeleteFile ") + path);
  const std::uint32_t attributes = FileAttributes(path);
  if (attributes == app::kInvalidAttributes || (attributes & (app::kAttrDirectory | app::kAttrReadOnly)))
    return false;
  attributes_.erase(Norm(path));
  return ::unlink(NativeOf(path).c_str()) == 0;
}

bool FakePlatform::CreateDirectory(const char* path) {
  const std::string native = NativeOf(path);
  events.push_back(std::string("CreateDirectory ") + path);
  return !native.empty() && ::mkdir(native.c_str(), 0755) == 0;
}

bool FakePlatform::RemoveDirectory(const char* path) {
  const std::string native = NativeOf(path);
  return !native.empty() && ::rmdir(native.c_str()) == 0;
}

std::uint32_t FakePlatform::ProfileString(const char* section, const char* key, const char* def, char* out,
                                          std::uint32_t size, const char* file) {
  return skin::IniFileString(NativeOf(file).c_str(), section, key, def, out, size);
}

std::uint32_t FakePlatform::ProfileInt(const char* section, const char* key, int def, const char* file) {
  char text[64];
  if (ProfileString(section, key, "", text, sizeof text, file) == 0) return std::uint32_t(def);
  return std::uint32_t(std::strtol(text, nullptr, 10));
}

bool FakePlatform::WriteProfileString(const char* section, const char* key, const char* value, const char* file) {
  std::vector<std::string> lines;
  {
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  const std::string head = "[" + Lower(section) + "]";
  auto sectionAt = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return Lower(l) == head; });
  if (sectionAt == lines.end()) {
    lines.push_back(std::string("[") + section + "]");
    sectionAt = lines.end() - 1;
  }
  auto it = sectionAt + 1;
  for (; it != lines.end() && (it->empty() || (*it)[0] != '['); ++it) {
    if (Lower(it->substr(0, it->find('='))) == Lower(key)) {
      *it = std::string(key) + "=" + value;
      break;
    }
  }
  if (it == lines.end() || (!it->empty() && (*it)[0] == '[')) lines.insert(it, std::string(key) + "=" + value);
  const std::string native = NativeOf(file);
  if (native.empty() || !fs::is_directory(fs::path(native).parent_path())) return false;
  std::ofstream out(native, std::ios::binary);
  for (const std::string& l : lines) out << l << "\n";
  return bool(out);
}

// ---- devices, system, windows -----------------------------------------------------

app::Handle FakePlatform::OpenDevice(const char* path, std::uint32_t) {
  events.push_back(std::string("OpenDevice ") + path);
  return zelkoDevice && std::string(path) == "\\\\.\\Zelkode" ? reinterpret_cast<app::Handle>(0x2E1) : nullptr;
}

bool FakePlatform::VersionEx(app::OsVersion* out) {
  if (platformId < 0) return false;
  out->platformId = std::uint32_t(platformId);
  out->major = platformId == 2 ? 5 : 4;
  out->minor = platformId == 2 ? 1 : 10;
  return true;
}

bool FakePlatform::EnableShutdownPrivilege() {
  events.push_back("EnableShutdownPrivilege");
  return privilegeOk;
}

bool FakePlatform::ExitWindows(std::uint32_t flags) {
  events.push_back("ExitWindows " + std::to_string(flags));
  exitRequests.push_back(flags);
  return true;
}

int FakePlatform::MessageBox(app::Window owner, const char* text, const char* caption, std::uint32_t type) {
  messages.push_back({owner, text, caption, type});
  events.push_back(std::string("MessageBox ") + text);
  return 1;
}

std::string FakePlatform::BrowseForFolder(app::Window, const char* title) {
  browseTitle = title;
  return browseResult;
}

bool FakePlatform::ClientRectOnScreen(skin::WindowHandle, skin::Rect* rect) {
  *rect = {0, 0, 600, 440};
  return true;
}

bool FakePlatform::SetWindowRegion(skin::WindowHandle, const skin::Rect& rect) {
  region = rect;
  regionSet = true;
  return true;
}

app::Handle FakePlatform::DdeOpen(const char* service, const char* topic) {
  events.push_back(std::string("DdeOpen ") + service + " " + topic);
  return ddeAnswers ? reinterpret_cast<app::Handle>(0xDDE) : nullptr;
}

bool FakePlatform::DdeExecute(app::Handle, const char* command) {
  ddeCommands.push_back(command);
  return true;
}

void FakePlatform::DdeClose(app::Handle) { events.push_back("DdeClose"); }

std::intptr_t FakeDialog::SendItemMessage(int id, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  itemMessages.push_back(std::to_string(id) + " " + std::to_string(msg) + " " + std::to_string(wParam) + " " +
                         std::to_string(lParam));
  return 0;
}

}  // namespace setuptest
