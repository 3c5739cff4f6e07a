// Uninst, the package's uninstaller: the program group's second item starts it from
// the install folder. It undoes what setup and the tool left on the machine:
//  - the files that setup's copy record list.cpd (beside Uninst.exe) names, and only
//    those that lie inside the record's own folder; then the empty language folders,
//    the record and the install folder itself when nothing else is left in it;
//  - the companion programs' windows ("Function", "beep") and Run entries ("ChgFile",
//    "beep");
//  - the drivers: on Windows 2000/XP the ROOT\DRAVLINE devices, the Dravick and Zelko
//    services, their driver files and the INF copies the system made; on Windows 98
//    the files and registry keys the installer made by hand;
//  - the settings key, when the user chooses not to keep calibration and settings;
//  - the program group, through Program Manager DDE.
// Every system call goes through app::Platform, so the logic runs natively in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace uninst {

// What reading list.cpd found.
enum class RecordStatus {
    kOk,       // every entry 0 .. filenum-1 present and inside the folder
    kMissing,  // no list.cpd beside the program
    kDamaged,  // filenum missing, not a number, 0 or implausible; an entry missing or empty
    kForeign,  // an entry names a path outside the record's folder (tampered or moved)
};

struct CopyRecord {
    RecordStatus status = RecordStatus::kMissing;
    // The recorded files as paths relative to the folder (single backslashes), in
    // record order; empty unless status is kOk.
    std::vector<std::string> files;
};

// The most entries a record may hold; setup's lists are a few dozen files.
constexpr std::uint32_t kMaxRecordEntries = 4096;

// The part of `entry` below `folder` when entry names a file strictly inside it:
// the same folder (compared without regard to case, repeated backslashes counting
// as one) followed by a relative path of plain names. Empty when entry lies
// elsewhere, climbs with "." or "..", names a drive, a stream or a device, uses
// "/" or characters Windows does not allow in names, or ends in a dot or a space
// (names Windows would shorten to another file).
std::string RelativeInside(const std::string& folder, const std::string& entry);

// Reads folder\list.cpd (section "COPYED", keys "filenum" and "file%u").
CopyRecord ReadCopyRecord(const std::string& folder);

// True when the text of an INF file is one of this package's: its [Strings] give the
// maker word Veltran and its [SourceDisksFiles] name one of the package's drivers.
bool IsPackageInf(const std::string& infPath);

// The language folders setup creates in the install folder, deepest first.
extern const char* const kLanguageFolders[7];

// What a run did (the final message and the tests read it).
struct Outcome {
    bool cancelled = false;  // the user declined at the first question
    RecordStatus record = RecordStatus::kMissing;
    bool keptSettings = true;
    int windowsClosed = 0;
    int devicesRemoved = 0;
    std::vector<std::string> removed;    // full paths of files removed from the install folder
    std::vector<std::string> left;       // recorded files that could not be removed
    std::vector<std::string> atRestart;  // paths left for the system to remove at restart
    bool folderRemoved = false;
};

// The whole uninstallation, with its questions and final message. `owner` is the
// window that owns the message boxes (none for the program).
Outcome Run(void* owner);

// The steps of Run, each usable alone (tests).
int CloseCompanionWindows();  // windows closed
void RemoveRunEntries();
int RemoveDrivers();  // devices removed (NT)
void RemoveSettings();
void RemoveProgramGroup();
// Removes the recorded files, the language folders, the record and the folder.
void RemoveInstalledFiles(const std::string& folder, const CopyRecord& record, Outcome* out);

}  // namespace uninst
