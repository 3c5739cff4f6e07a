// filelist.ini, the package's list of program files, and its entries.
//   [win98] / [win2k]   filenum=N, file0 ... file(N-1)
// An entry is a path relative to the setup folder, which is also its path relative to
// the install folder; it ends at its first space (the rest of the line is a remark).
#pragma once

#include <cstdint>
#include <string>

namespace setup {

// The section of a family: "win98" for Windows 9x, "win2k" for every other.
const char* FileListSection(int osClass);

// filenum as GetPrivateProfileIntA read it: the count when it is 1 to 65535 (the progress
// bar's range), 0 for a missing, zero, negative or larger number.
std::uint32_t UsableFileCount(std::uint32_t filenum);

// An entry's value cut at its first space.
std::string EntryName(const char* value);

// True when name stays inside the folder it is appended to: not empty, no drive or
// stream colon, no leading separator, no component of dots only ("..", "...").
bool EntryStaysInside(const std::string& name);

}  // namespace setup
