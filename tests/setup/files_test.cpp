// The install folder tree and the file copy from filelist.ini.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "filelist.h"
#include "inifile.h"
#include "harness.h"

namespace setuptest {
namespace {

using setup::MakeFolderTree;

std::vector<std::string> Made(const FakePlatform& os)
{
    std::vector<std::string> out;
    for (const std::string& e : os.events)
        if (e.rfind("CreateDirectory ", 0) == 0)
            out.push_back(e.substr(16));
    return out;
}

TEST_F(SetupTest, FolderTreeMakesEachMissingFolderOnTheWayButNeverTheDrive)
{
    EXPECT_TRUE(MakeFolderTree(os, "c:\\veltran"));
    EXPECT_EQ(Made(os), std::vector<std::string>({"c:\\veltran"}));
    EXPECT_TRUE(os.Exists("c:\\veltran"));

    os.events.clear();
    os.AddDrive('d');
    EXPECT_TRUE(MakeFolderTree(os, "d:\\a\\b\\c"));
    EXPECT_EQ(Made(os), std::vector<std::string>({"d:\\a", "d:\\a\\b", "d:\\a\\b\\c"}));

    // An existing tree is accepted without making anything.
    os.events.clear();
    EXPECT_TRUE(MakeFolderTree(os, "d:\\a\\b"));
    EXPECT_TRUE(Made(os).empty());
}

TEST_F(SetupTest, FolderTreeWithATrailingBackslashIsMadeAtTheBackslash)
{
    EXPECT_TRUE(MakeFolderTree(os, "c:\\v\\"));
    EXPECT_EQ(Made(os), std::vector<std::string>({"c:\\v"}));
}

TEST_F(SetupTest, FolderTreeFailsOnAMissingDriveAFileInTheWayAndAnEmptyPath)
{
    EXPECT_FALSE(MakeFolderTree(os, "q:\\x\\y"));
    os.WriteFile("c:\\f", "a file");
    EXPECT_FALSE(MakeFolderTree(os, "c:\\f\\x"));
    EXPECT_FALSE(MakeFolderTree(os, "c:\\f"));
    EXPECT_FALSE(MakeFolderTree(os, ""));
}

TEST(FileListEntries, ValuesEndAtTheFirstSpaceAndMustStayInsideTheFolder)
{
    EXPECT_EQ(setup::EntryName("en\\license.txt  the licence"), "en\\license.txt");
    EXPECT_EQ(setup::EntryName(" starts with a space"), "");
    for (const char* inside : {"Pointwell.exe", "en\\license.txt", "nologo\\tw\\main.bmp", "a..b.txt", ".\\x.txt"})
        EXPECT_TRUE(setup::EntryStaysInside(inside)) << inside;
    for (const char* outside : {"..\\boot.ini", "en\\..\\..\\x", "en/../../x", "...\\x", "c:\\windows\\x.dll",
                                "\\windows\\x.dll", "/etc/x", "x.txt:stream", "en\\.."})
        EXPECT_FALSE(setup::EntryStaysInside(outside)) << outside;
}

TEST(FileListEntries, OnlyCountsTheProgressBarCanShowAreUsable)
{
    EXPECT_EQ(setup::UsableFileCount(0), 0u);
    EXPECT_EQ(setup::UsableFileCount(1), 1u);
    EXPECT_EQ(setup::UsableFileCount(65535), 65535u);
    EXPECT_EQ(setup::UsableFileCount(65536), 0u);
    EXPECT_EQ(setup::UsableFileCount(0xFFFFFFFFu), 0u);  // "-1"
    EXPECT_STREQ(setup::FileListSection(9598), "win98");
    EXPECT_STREQ(setup::FileListSection(2001), "win2k");
    EXPECT_STREQ(setup::FileListSection(-1), "win2k");
}

class CopyTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        for (const char* f : {"c:\\inst", "c:\\inst\\en", "c:\\inst\\tw"})
            os.CreateDirectory(f);
        os.WriteFile("c:\\pkg\\Pointwell.exe", "MZ tool");
        os.WriteFile("c:\\pkg\\en\\license.txt", "licence text");
        os.WriteFile("c:\\pkg\\tw\\main.bmp", "BM picture");
        os.WriteFile("c:\\pkg\\empty.txt", "");
    }
    std::string Record(const char* key)
    {
        char out[300] = {};
        os.ProfileString("COPYED", key, "(none)", out, sizeof out, "c:\\inst\\list.cpd");
        return out;
    }
    FakeDialog dialog;
};

TEST_F(CopyTest, CopiesRecordsAndMovesTheProgressBarBeforeEachFile)
{
    FileList("win2k", "filenum=4\nfile0=Pointwell.exe\nfile1=en\\license.txt  the licence, remark\n"
                      "file2=tw\\main.bmp\nfile3=empty.txt\n");
    EXPECT_TRUE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(os.ReadFile("c:\\inst\\Pointwell.exe"), "MZ tool");
    EXPECT_EQ(os.ReadFile("c:\\inst\\en\\license.txt"), "licence text");
    EXPECT_EQ(os.ReadFile("c:\\inst\\tw\\main.bmp"), "BM picture");
    EXPECT_TRUE(os.Exists("c:\\inst\\empty.txt"));
    EXPECT_EQ(Record("file0"), "c:\\inst\\Pointwell.exe");
    EXPECT_EQ(Record("file1"), "c:\\inst\\en\\license.txt");
    EXPECT_EQ(Record("file3"), "c:\\inst\\empty.txt");
    EXPECT_EQ(Record("filenum"), "4");
    // PBM_SETRANGE 0..4 (high word 4), then PBM_SETPOS 0, 1, 2, 3; none after the last.
    EXPECT_EQ(dialog.itemMessages, std::vector<std::string>({"1052 1025 0 262144", "1052 1026 0 0", "1052 1026 1 0",
                                                             "1052 1026 2 0", "1052 1026 3 0"}));
    EXPECT_TRUE(os.messageBoxes.empty());
}

TEST_F(CopyTest, AMissingEntryStopsSilentlyAndLeavesARecordWithoutCount)
{
    FileList("win2k", "filenum=3\nfile0=Pointwell.exe\nfile1=en\\license.txt\n");
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(Record("file0"), "c:\\inst\\Pointwell.exe");
    EXPECT_EQ(Record("file1"), "c:\\inst\\en\\license.txt");
    EXPECT_EQ(Record("filenum"), "(none)");
    EXPECT_TRUE(os.messageBoxes.empty());

    FileList("win2k", "filenum=1\nfile0=\" remark only\"\n");
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_TRUE(os.messageBoxes.empty());
}

TEST_F(CopyTest, AReadOnlyHiddenDestinationIsReplaced)
{
    os.WriteFile("c:\\inst\\Pointwell.exe", "old");
    os.SetAttributeBits("c:\\inst\\Pointwell.exe", app::kAttrReadOnly | app::kAttrHidden);
    FileList("win2k", "filenum=1\nfile0=Pointwell.exe\n");
    EXPECT_TRUE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(os.ReadFile("c:\\inst\\Pointwell.exe"), "MZ tool");
    EXPECT_EQ(os.FileAttributes("c:\\inst\\Pointwell.exe"), app::kAttrNormal);
}

TEST_F(CopyTest, ADirectoryOrAFolderTheFlowDidNotMakeGivesCopyFileError)
{
    os.CreateDirectory("c:\\inst\\Pointwell.exe");
    FileList("win2k", "filenum=1\nfile0=Pointwell.exe\n");
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({"Copy File Error."}));
    EXPECT_EQ(os.FileAttributes("c:\\inst\\Pointwell.exe"), app::kAttrDirectory);
    EXPECT_EQ(os.messageBoxes[0].caption, "Information");
    EXPECT_EQ(os.messageBoxes[0].type, app::kMbIconError);
    EXPECT_EQ(os.messageBoxes[0].owner, dialog.handle());

    os.messageBoxes.clear();
    os.WriteFile("c:\\pkg\\drivers\\x.sys", "driver");
    FileList("win2k", "filenum=1\nfile0=drivers\\x.sys\n");
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({"Copy File Error."}));
}

TEST_F(CopyTest, AMissingSourceIsReported)
{
    FileList("win2k", "filenum=1\nfile0=nothere.txt\n");
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({"The file to be copied is not exists!"}));
    os.messageBoxes.clear();
    FileList("win2k", "filenum=1\nfile0=en\n");  // a directory of the package
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({"The file to be copied is not exists!"}));
}

TEST_F(CopyTest, EntriesThatLeaveTheInstallFolderCopyNothing)
{
    os.WriteFile("c:\\evil.txt", "package's own");  // so that the source exists when ".." climbs
    for (const char* entry : {"..\\evil.txt", "en\\..\\..\\evil.txt", "c:\\evil.txt", "\\evil.txt"}) {
        os.messageBoxes.clear();
        os.WriteFile("c:\\target.txt", "user's file");
        FileList("win2k", std::string("filenum=1\nfile0=") + entry + "\n");
        EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog)) << entry;
        EXPECT_EQ(MessageTexts(), std::vector<std::string>({"Copy File Error."})) << entry;
        EXPECT_EQ(os.ReadFile("c:\\target.txt"), "user's file");
    }
    EXPECT_EQ(os.ReadFile("c:\\evil.txt"), "package's own");
}

TEST_F(CopyTest, BadCountsAreFailuresWithoutMessage)
{
    for (const char* count : {"0", "-1", "70000", "many", ""}) {
        FileList("win2k", std::string("filenum=") + count + "\nfile0=Pointwell.exe\n");
        EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog)) << count;
    }
    FileList("other", "filenum=1\nfile0=Pointwell.exe\n");
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_FALSE(os.Exists("c:\\inst\\Pointwell.exe"));
}

TEST_F(CopyTest, PathsLongerThanTheBuffersAreRefusedNotCut)
{
    const std::string deep(240, 'd');
    os.WriteFile("c:\\pkg\\" + deep.substr(0, 100) + ".txt", "x");
    os.CreateDirectory(("c:\\inst\\" + deep.substr(0, 150)).c_str());
    FileList("win2k", "filenum=1\nfile0=" + deep.substr(0, 100) + ".txt\n");
    EXPECT_FALSE(installer.CopyPackageFiles("c:\\inst\\" + deep.substr(0, 150), &dialog));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>({"Copy File Error."}));
}

TEST_F(CopyTest, ASecondRunRewritesFilesAndRecord)
{
    FileList("win2k", "filenum=2\nfile0=Pointwell.exe\nfile1=en\\license.txt\n");
    ASSERT_TRUE(installer.CopyPackageFiles("c:\\inst", &dialog));
    os.WriteFile("c:\\pkg\\Pointwell.exe", "MZ tool 2");
    FileList("win2k", "filenum=1\nfile0=Pointwell.exe\n");
    ASSERT_TRUE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_EQ(os.ReadFile("c:\\inst\\Pointwell.exe"), "MZ tool 2");
    EXPECT_EQ(Record("filenum"), "1");
    EXPECT_EQ(Record("file1"), "(none)");  // the old record went first
}

TEST_F(CopyTest, InstallingIntoTheSetupFolderKeepsThePackageFiles)
{
    // The package unpacked into the folder the user installs to: each file is its own
    // destination. Clearing and deleting the destination first would delete the source.
    os.SetAttributeBits("c:\\pkg\\Pointwell.exe", app::kAttrReadOnly);
    FileList("win2k", "filenum=2\nfile0=Pointwell.exe\nfile1=en\\license.txt\n");
    EXPECT_TRUE(installer.CopyPackageFiles("c:\\pkg", &dialog));
    EXPECT_EQ(os.ReadFile("c:\\pkg\\Pointwell.exe"), "MZ tool");
    EXPECT_EQ(os.ReadFile("c:\\pkg\\en\\license.txt"), "licence text");
    EXPECT_TRUE(os.messageBoxes.empty());
    char count[8] = {};
    os.ProfileString("COPYED", "filenum", "", count, sizeof count, "c:\\pkg\\list.cpd");
    EXPECT_STREQ(count, "2");
}

TEST_F(CopyTest, Windows98ReadsItsOwnSection)
{
    os.platformId = 1;
    os.WriteFile("c:\\pkg\\filelist.ini", "[win2k]\nfilenum=1\nfile0=en\\license.txt\n"
                                          "[win98]\nfilenum=1\nfile0=Pointwell.exe\n");
    EXPECT_TRUE(installer.CopyPackageFiles("c:\\inst", &dialog));
    EXPECT_TRUE(os.Exists("c:\\inst\\Pointwell.exe"));
    EXPECT_FALSE(os.Exists("c:\\inst\\en\\license.txt"));
}

}  // namespace
}  // namespace setuptest

namespace setuptest {
namespace {

// The shipped list: both sections name every file the programs read beside them, in
// folders setup makes, and nothing that leaves the install folder.
TEST(ShippedFileList, NamesEveryProgramFileInBothSections)
{
    const std::string list = PACKAGE_DIR "/filelist.ini";
    for (const char* section : {"win98", "win2k"}) {
        char value[500];
        skin::IniFileString(list.c_str(), section, "filenum", "0", value, sizeof value);
        const int n = std::atoi(value);
        std::set<std::string> names;
        for (int i = 0; i < n; ++i) {
            skin::IniFileString(list.c_str(), section, ("file" + std::to_string(i)).c_str(), "", value, sizeof value);
            const std::string name = setup::EntryName(value);
            ASSERT_TRUE(setup::EntryStaysInside(name)) << section << " " << name;
            const std::size_t cut = name.rfind('\\');
            const std::string folder = cut == std::string::npos ? "" : name.substr(0, cut);
            EXPECT_TRUE(
                std::set<std::string>({"", "cn", "en", "tw", "nologo", "nologo\\cn", "nologo\\en", "nologo\\tw"})
                    .count(folder))
                << name;
            names.insert(name);
        }
        EXPECT_EQ(names.size(), std::size_t(n)) << section;
        for (const char* program : {"Pointwell.exe", "flipkey.exe", "BEEP.exe", "Uninst.exe", "lang.lg"})
            EXPECT_TRUE(names.count(program)) << section << " " << program;
        for (const char* lang : {"en", "tw", "cn"}) {
            for (const char* file : {"license.txt", "main.bmp", "mainbk.bmp", "calibratebtn.bmp", "prompt.bmp",
                                     "ModeMsg.txt", "DataMsg.txt", "VerifyMsg.txt"})
                EXPECT_TRUE(names.count(std::string(lang) + "\\" + file)) << section << " " << lang << " " << file;
            for (const char* file : {"main.bmp", "mainbk.bmp"})
                EXPECT_TRUE(names.count(std::string("nologo\\") + lang + "\\" + file)) << section << " " << file;
        }
    }
}

}  // namespace
}  // namespace setuptest
