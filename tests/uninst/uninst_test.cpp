// Uninst on the native machine: an install folder under a temporary drive root, the
// simulated registry, recorded message boxes, windows and DDE.
#include "uninst.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "appplatform_native.h"
#include "langkeys.h"
#include "langtext.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolder = "C:\\veltran";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kSettingsKey = "SOFTWARE\\Veltran\\Pointwell";

// The files setup copies, relative to the install folder (a typical list).
const std::vector<std::string> kInstalled = {
    "Pointwell.exe", "flipkey.exe",  "BEEP.exe",     "Uninst.exe",           "lang.lg",
    "en\\main.bmp",  "tw\\main.bmp", "cn\\main.bmp", "nologo\\en\\main.bmp", "en\\ModeMsg.txt",
};

class UninstTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/uninst-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        p_.root = root_;
        p_.modulePath = std::string(kFolder) + "\\Uninst.exe";
        previous_ = app::SetAppPlatform(&p_);
        for (const char* f : {"C:\\WINDOWS\\inf", "C:\\WINDOWS\\SYSTEM32\\drivers"})
            MakeDir(f);
        Hklm(kRunKey);  // the system's Run key exists
    }
    void TearDown() override
    {
        app::SetAppPlatform(previous_);
        for (const char* key :
             {kSettingsKey, "SOFTWARE\\Veltran\\Other", "SOFTWARE\\Veltran",
              "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\DRAVLINE\\0000",
              "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\DRAVLINE\\0001",
              "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\DRAVLINE",
              "SYSTEM\\CurrentControlSet\\Services\\Zelko\\Pointwell", "SYSTEM\\CurrentControlSet\\Services\\Zelko",
              "SYSTEM\\CurrentControlSet\\Services\\Dravick", "SYSTEM\\CurrentControlSet\\Services\\i8042prt",
              "Enum\\Root\\Tscrn\\0000", "Enum\\Root\\Tscrn", "System\\CurrentControlSet\\Services\\Class\\Tscrn\\0000",
              "System\\CurrentControlSet\\Services\\Class\\Tscrn"})
            p_.RegDeleteKey(app::kHkeyLocalMachine, key);
        app::RegKey run = 0;
        if (p_.RegOpenKey(app::kHkeyLocalMachine, kRunKey, app::kKeyAllAccess, &run) == 0) {
            for (const char* v : {"ChgFile", "beep", "Other"})
                p_.RegDeleteValue(run, v);
            p_.RegCloseKey(run);
        }
        fs::remove_all(root_);
    }

    std::string Host(const std::string& windowsPath) { return p_.HostPath(windowsPath.c_str()); }
    void MakeDir(const std::string& windowsPath) { fs::create_directories(Host(windowsPath)); }
    void Write(const std::string& windowsPath, const std::string& text = "x")
    {
        fs::create_directories(fs::path(Host(windowsPath)).parent_path());
        std::ofstream(Host(windowsPath), std::ios::binary) << text;
    }
    bool Exists(const std::string& windowsPath) { return fs::exists(Host(windowsPath)); }

    // The install folder as setup leaves it: the language folders, the files and the
    // record naming each file by its full path.
    void Install(const std::string& folder = kFolder)
    {
        for (const char* sub : uninst::kLanguageFolders)
            MakeDir(folder + "\\" + sub);
        std::string record = "[COPYED]\r\n";
        for (std::size_t i = 0; i < kInstalled.size(); ++i) {
            Write(folder + "\\" + kInstalled[i]);
            record += "file" + std::to_string(i) + "=" + folder + "\\" + kInstalled[i] + "\r\n";
        }
        record += "filenum=" + std::to_string(kInstalled.size()) + "\r\n";
        Write(folder + "\\list.cpd", record);
    }

    void Hklm(const std::string& key, const char* name = nullptr, const std::string& text = "")
    {
        app::RegKey k = 0;
        ASSERT_EQ(p_.RegCreateKey(app::kHkeyLocalMachine, key.c_str(), app::kKeyAllAccess, &k, nullptr), 0);
        if (name)
            p_.RegSetValue(k, name, app::kRegSz, text.data(), std::uint32_t(text.size()));
        p_.RegCloseKey(k);
    }
    // A device's instance key with its hardware ids (REG_MULTI_SZ).
    void Device(const std::string& key, const std::string& hardwareId)
    {
        app::RegKey k = 0;
        ASSERT_EQ(p_.RegCreateKey(app::kHkeyLocalMachine, key.c_str(), app::kKeyAllAccess, &k, nullptr), 0);
        const std::string ids = hardwareId + std::string(1, '\0') + "compat" + std::string(2, '\0');
        p_.RegSetValue(k, "HardwareID", app::kRegMultiSz, ids.data(), std::uint32_t(ids.size()));
        p_.RegCloseKey(k);
    }
    bool KeyExists(const std::string& key)
    {
        app::RegKey k = 0;
        if (p_.RegOpenKey(app::kHkeyLocalMachine, key.c_str(), app::kKeyRead, &k) != 0)
            return false;
        p_.RegCloseKey(k);
        return true;
    }
    bool ValueExists(const std::string& key, const char* name)
    {
        std::string text;
        return p_.RegistryText(app::kHkeyLocalMachine, key, name, &text);
    }

    app::NativeAppPlatform p_;
    app::Platform* previous_ = nullptr;
    std::string root_;
};

TEST(RelativeInside, AcceptsOnlyPlainPathsBelowTheFolder)
{
    struct Case {
        const char* folder;
        const char* entry;
        const char* expected;  // "" when refused
    } cases[] = {
        {"C:\\veltran", "C:\\veltran\\Pointwell.exe", "Pointwell.exe"},
        {"C:\\veltran", "c:\\VELTRAN\\en\\main.bmp", "en\\main.bmp"},      // case does not matter
        {"C:\\veltran\\", "C:\\veltran\\\\en\\main.bmp", "en\\main.bmp"},  // typed with a trailing backslash
        {"C:\\veltran", "C:\\veltran\\\\lang.lg", "lang.lg"},
        {"C:\\veltran", "C:\\veltran2\\Pointwell.exe", ""},  // a sibling folder sharing the prefix
        {"C:\\veltran", "C:\\veltran", ""},                  // the folder itself
        {"C:\\veltran", "C:\\veltran\\", ""},
        {"C:\\veltran", "C:\\other\\Pointwell.exe", ""},
        {"C:\\veltran", "D:\\veltran\\Pointwell.exe", ""},
        {"C:\\veltran", "C:\\veltran\\..\\boot.ini", ""},  // climbs out
        {"C:\\veltran", "C:\\veltran\\en\\..\\..\\x.txt", ""},
        {"C:\\veltran", "C:\\veltran\\.\\lang.lg", ""},
        {"C:\\veltran", "C:\\veltran\\en\\\\main.bmp", ""},  // an empty name inside
        {"C:\\veltran", "C:\\veltran\\en/../../x.txt", ""},  // "/" is a separator to Windows
        {"C:\\veltran", "C:\\veltran\\lang.lg:stream", ""},
        {"C:\\veltran", "C:\\veltran\\lang.lg.", ""},  // Windows would open lang.lg
        {"C:\\veltran", "C:\\veltran\\lang.lg ", ""},
        {"C:\\veltran", "C:\\veltran\\nul", ""},
        {"C:\\veltran", "C:\\veltran\\en\\COM1.txt", ""},
        {"C:\\veltran", "C:\\veltran\\a*.exe", ""},
        {"C:\\veltran", "", ""},
        {"", "C:\\veltran\\Pointwell.exe", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(uninst::RelativeInside(c.folder, c.entry), c.expected) << c.folder << " | " << c.entry;
}

TEST_F(UninstTest, ReadsAWholeRecordAndRefusesMissingDamagedOrForeignOnes)
{
    EXPECT_EQ(uninst::ReadCopyRecord(kFolder).status, uninst::RecordStatus::kMissing);

    Install();
    uninst::CopyRecord ok = uninst::ReadCopyRecord(kFolder);
    ASSERT_EQ(ok.status, uninst::RecordStatus::kOk);
    EXPECT_EQ(ok.files, kInstalled);

    struct Case {
        const char* text;
        uninst::RecordStatus expected;
    } cases[] = {
        // A copy that stopped part-way has no filenum.
        {"[COPYED]\nfile0=C:\\veltran\\lang.lg\n", uninst::RecordStatus::kDamaged},
        {"[COPYED]\nfile0=C:\\veltran\\lang.lg\nfilenum=abc\n", uninst::RecordStatus::kDamaged},
        {"[COPYED]\nfile0=C:\\veltran\\lang.lg\nfilenum=-1\n", uninst::RecordStatus::kDamaged},
        {"[COPYED]\nfilenum=0\n", uninst::RecordStatus::kDamaged},
        {"[COPYED]\nfile0=C:\\veltran\\lang.lg\nfilenum=99999999999999999999\n", uninst::RecordStatus::kDamaged},
        // filenum 3 with file1 missing, then with an empty file2.
        {"[COPYED]\nfile0=C:\\veltran\\a\nfile2=C:\\veltran\\c\nfilenum=3\n", uninst::RecordStatus::kDamaged},
        {"[COPYED]\nfile0=C:\\veltran\\a\nfile1=C:\\veltran\\b\nfile2=\nfilenum=3\n", uninst::RecordStatus::kDamaged},
        {"[OTHER]\nfile0=C:\\veltran\\a\nfilenum=1\n", uninst::RecordStatus::kDamaged},
        {"garbage\x01\x02\xff", uninst::RecordStatus::kDamaged},
        // One entry outside the folder spoils the whole record.
        {"[COPYED]\nfile0=C:\\veltran\\a\nfile1=C:\\WINDOWS\\win.ini\nfilenum=2\n", uninst::RecordStatus::kForeign},
        // A record moved here from another install folder.
        {"[COPYED]\nfile0=D:\\touch\\lang.lg\nfilenum=1\n", uninst::RecordStatus::kForeign},
    };
    for (const Case& c : cases) {
        Write(std::string(kFolder) + "\\list.cpd", c.text);
        const uninst::CopyRecord r = uninst::ReadCopyRecord(kFolder);
        EXPECT_EQ(r.status, c.expected) << c.text;
        EXPECT_TRUE(r.files.empty()) << c.text;
    }
}

TEST_F(UninstTest, RemovesWhatThePackageLeftAndKeepsEverythingElse)
{
    Install();
    Write("C:\\veltran\\en\\my notes.txt");  // the user's own file in a language folder
    Write("C:\\keep.txt");
    Hklm(kSettingsKey, "IsCfg", "YES");
    Hklm(kRunKey, "ChgFile", "C:\\veltran\\flipkey.exe");
    Hklm(kRunKey, "beep", "C:\\veltran\\BEEP.exe");
    Hklm(kRunKey, "Other", "C:\\other\\other.exe");
    app::Window flipkey = p_.AddWindow("Function");
    app::Window beep = p_.AddWindow("beep");
    p_.messageBoxAnswers = {app::kIdYes, app::kIdYes};  // remove; keep the settings

    const uninst::Outcome out = uninst::Run(nullptr);

    EXPECT_FALSE(out.cancelled);
    EXPECT_EQ(out.record, uninst::RecordStatus::kOk);
    EXPECT_EQ(out.removed.size(), kInstalled.size());
    EXPECT_TRUE(out.left.empty());
    for (const std::string& f : kInstalled)
        EXPECT_FALSE(Exists(std::string(kFolder) + "\\" + f)) << f;
    EXPECT_FALSE(Exists("C:\\veltran\\list.cpd"));
    // Empty language folders go; the one holding the user's file and the folder stay.
    EXPECT_FALSE(Exists("C:\\veltran\\nologo"));
    EXPECT_FALSE(Exists("C:\\veltran\\tw"));
    EXPECT_TRUE(Exists("C:\\veltran\\en\\my notes.txt"));
    EXPECT_FALSE(out.folderRemoved);
    EXPECT_TRUE(Exists("C:\\keep.txt"));

    EXPECT_EQ(out.windowsClosed, 2);
    for (app::Window w : {flipkey, beep}) {
        ASSERT_FALSE(p_.WindowOf(w)->received.empty());
        EXPECT_EQ(p_.WindowOf(w)->received[0].msg, 0x0010u);  // WM_CLOSE
    }
    EXPECT_FALSE(ValueExists(kRunKey, "ChgFile"));
    EXPECT_FALSE(ValueExists(kRunKey, "beep"));
    EXPECT_TRUE(ValueExists(kRunKey, "Other"));
    EXPECT_TRUE(out.keptSettings);
    EXPECT_TRUE(ValueExists(kSettingsKey, "IsCfg"));

    ASSERT_EQ(p_.ddeConversations.size(), 1u);
    EXPECT_EQ(p_.ddeConversations[0].service, "PROGMAN");
    EXPECT_EQ(p_.ddeConversations[0].commands, std::vector<std::string>{"[DeleteGroup(Infrared Touch Screen)]"});

    ASSERT_EQ(p_.messageBoxes.size(), 3u);
    EXPECT_EQ(p_.messageBoxes[0].type & 0xF, app::kMbYesNo);
    EXPECT_EQ(p_.messageBoxes[1].type & 0xF, app::kMbYesNo);
    EXPECT_EQ(p_.messageBoxes[1].type & 0xF00, 0u);  // "Yes" (keep) is the default button
    EXPECT_EQ(p_.messageBoxes[2].text, langkeys::UninstDone.english);
}

TEST_F(UninstTest, AnEmptiedFolderGoesWithTheRecord)
{
    Install();
    p_.messageBoxAnswers = {app::kIdYes, app::kIdYes};
    const uninst::Outcome out = uninst::Run(nullptr);
    EXPECT_TRUE(out.folderRemoved);
    EXPECT_FALSE(Exists(kFolder));
    EXPECT_TRUE(Exists("C:\\WINDOWS\\inf"));
}

TEST_F(UninstTest, ReadOnlyAndHiddenRecordedFilesAreRemovedToo)
{
    Install();
    p_.SetFileAttributes("C:\\veltran\\lang.lg", app::kAttrReadOnly | app::kAttrHidden);
    p_.messageBoxAnswers = {app::kIdYes, app::kIdYes};
    uninst::Run(nullptr);
    EXPECT_FALSE(Exists("C:\\veltran\\lang.lg"));
}

TEST_F(UninstTest, AFileThatCannotBeRemovedIsNamedAndKeepsTheRecord)
{
    Install();
    // The record names a file where a folder now stands: DeleteFile cannot remove it.
    std::string record = "[COPYED]\nfile0=C:\\veltran\\lang.lg\nfile1=C:\\veltran\\en\\held\nfilenum=2\n";
    Write("C:\\veltran\\list.cpd", record);
    Write("C:\\veltran\\en\\held\\inner.txt");
    p_.messageBoxAnswers = {app::kIdYes, app::kIdYes};

    const uninst::Outcome out = uninst::Run(nullptr);

    EXPECT_EQ(out.removed, std::vector<std::string>{"C:\\veltran\\lang.lg"});
    EXPECT_EQ(out.left, std::vector<std::string>{"C:\\veltran\\en\\held"});
    EXPECT_TRUE(Exists("C:\\veltran\\en\\held\\inner.txt"));
    EXPECT_TRUE(Exists("C:\\veltran\\list.cpd"));  // a later run can finish the job
    EXPECT_FALSE(out.folderRemoved);
    ASSERT_EQ(p_.messageBoxes.size(), 3u);
    EXPECT_EQ(p_.messageBoxes[2].text, std::string(langkeys::UninstLeft.english) + "\nC:\\veltran\\en\\held");
}

TEST_F(UninstTest, ATamperedOrMissingRecordRemovesNothingFromTheFolderAndSaysSo)
{
    const std::string tampered = "[COPYED]\nfile0=C:\\veltran\\lang.lg\nfile1=C:\\veltran\\..\\boot.ini\n"
                                 "file2=C:\\WINDOWS\\win.ini\nfilenum=3\n";
    for (const std::string& record : {tampered, std::string()}) {
        SCOPED_TRACE(record.empty() ? "missing" : "tampered");
        Install();
        if (record.empty())
            fs::remove(Host("C:\\veltran\\list.cpd"));
        else
            Write("C:\\veltran\\list.cpd", record);
        Write("C:\\boot.ini");
        Write("C:\\WINDOWS\\win.ini");
        Hklm(kRunKey, "ChgFile", "C:\\veltran\\flipkey.exe");
        p_.messageBoxes.clear();
        p_.messageBoxAnswers = {app::kIdYes, app::kIdYes};

        const uninst::Outcome out = uninst::Run(nullptr);

        EXPECT_NE(out.record, uninst::RecordStatus::kOk);
        EXPECT_TRUE(out.removed.empty());
        for (const std::string& f : kInstalled)
            EXPECT_TRUE(Exists(std::string(kFolder) + "\\" + f)) << f;
        EXPECT_TRUE(Exists("C:\\veltran\\nologo\\tw"));  // no folder removed either
        EXPECT_TRUE(Exists("C:\\boot.ini"));
        EXPECT_TRUE(Exists("C:\\WINDOWS\\win.ini"));
        // The rest of the package still goes.
        EXPECT_FALSE(ValueExists(kRunKey, "ChgFile"));
        ASSERT_EQ(p_.messageBoxes.size(), 3u);
        EXPECT_EQ(p_.messageBoxes[2].text, std::string(langkeys::UninstNoRecord.english) + "\n" + kFolder);
        EXPECT_EQ(p_.messageBoxes[2].type & 0xF0, app::kMbIconError);
    }
}

TEST_F(UninstTest, DecliningTheFirstQuestionChangesNothing)
{
    Install();
    Hklm(kRunKey, "ChgFile", "C:\\veltran\\flipkey.exe");
    app::Window flipkey = p_.AddWindow("Function");
    p_.messageBoxAnswers = {app::kIdNo};
    const uninst::Outcome out = uninst::Run(nullptr);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(p_.messageBoxes.size(), 1u);
    EXPECT_TRUE(Exists("C:\\veltran\\list.cpd"));
    for (const std::string& f : kInstalled)
        EXPECT_TRUE(Exists(std::string(kFolder) + "\\" + f));
    EXPECT_TRUE(ValueExists(kRunKey, "ChgFile"));
    EXPECT_TRUE(p_.WindowOf(flipkey)->received.empty());
    EXPECT_TRUE(p_.ddeConversations.empty());
}

TEST_F(UninstTest, SettingsGoOnlyWhenTheUserSaysSoAndTheMakerKeyOnlyWhenEmpty)
{
    Install();
    Hklm(kSettingsKey, "IsCfg", "YES");
    Hklm(std::string(kSettingsKey) + "\\Sub", "x", "1");
    p_.messageBoxAnswers = {app::kIdYes, app::kIdNo};
    uninst::Outcome out = uninst::Run(nullptr);
    EXPECT_FALSE(out.keptSettings);
    EXPECT_FALSE(KeyExists(kSettingsKey));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Veltran"));

    // Another program of the maker keeps its key, and so the maker's key.
    Install();
    Hklm(kSettingsKey, "IsCfg", "YES");
    Hklm("SOFTWARE\\Veltran\\Other", "v", "1");
    p_.messageBoxAnswers = {app::kIdYes, app::kIdNo};
    uninst::Run(nullptr);
    EXPECT_FALSE(KeyExists(kSettingsKey));
    EXPECT_TRUE(ValueExists("SOFTWARE\\Veltran\\Other", "v"));
}

TEST_F(UninstTest, AWindowThatWillNotCloseIsLeftAfterItsWait)
{
    app::Window stubborn = p_.AddWindow("Function");
    p_.WindowOf(stubborn)->proc = [](const app::Message&) -> std::intptr_t { return 0; };
    p_.AddWindow("beep");
    const std::uint32_t before = p_.now;
    EXPECT_EQ(uninst::CloseCompanionWindows(), 1);  // only "beep" went
    EXPECT_EQ(p_.CountWindows("Function"), 1);
    EXPECT_GE(p_.now - before, 3000u);
    EXPECT_LT(p_.now - before, 4000u);
}

TEST_F(UninstTest, OnNtTheDevicesServicesDriverFilesAndOwnInfCopiesGo)
{
    const std::string enumKey = "SYSTEM\\CurrentControlSet\\Enum\\";
    Device(enumKey + "ROOT\\DRAVLINE\\0000", "root\\DRAVLINE");
    Device(enumKey + "ROOT\\DRAVLINE\\0001", "ROOT\\dravline");
    Device(enumKey + "USB\\VID_5A53&PID_0001\\1", "USB\\VID_5A53&PID_0001");
    Device(enumKey + "USB\\VID_046D&PID_C077\\5&1", "USB\\VID_046D&PID_C077");  // someone's mouse
    Hklm("SYSTEM\\CurrentControlSet\\Services\\Dravick", "ImagePath", "x");
    Hklm("SYSTEM\\CurrentControlSet\\Services\\Zelko", "ImagePath", "x");
    Hklm("SYSTEM\\CurrentControlSet\\Services\\Zelko\\Pointwell", "doneMode", "1");  // the driver's copy
    Hklm("SYSTEM\\CurrentControlSet\\Services\\i8042prt", "ImagePath", "x");
    Write("C:\\WINDOWS\\SYSTEM32\\drivers\\Zelko.sys");
    Write("C:\\WINDOWS\\SYSTEM32\\drivers\\Dravick.sys");
    Write("C:\\WINDOWS\\SYSTEM32\\drivers\\mouclass.sys");
    const std::string ours =
        "[Version]\nProvider=%Veltran%\n[SourceDisksFiles]\nZelko.sys=1\n[Strings]\nVeltran=\"Veltran\"\n";
    const std::string oursToo = "[SourceDisksFiles]\nDravick.sys=1\n[Strings]\nVeltran=\"Veltran\"\n";
    const std::string otherMaker = "[SourceDisksFiles]\nZelko.sys=1\n[Strings]\nVeltran=\"Someone else\"\n";
    const std::string noDriver = "[SourceDisksFiles]\nfoo.sys=1\n[Strings]\nVeltran=\"Veltran\"\n";
    Write("C:\\WINDOWS\\inf\\oem3.inf", ours);
    Write("C:\\WINDOWS\\inf\\oem3.pnf");
    Write("C:\\WINDOWS\\inf\\OEM12.INF", oursToo);
    Write("C:\\WINDOWS\\inf\\zelkron2kxp.inf", ours);  // a copy under its own name
    Write("C:\\WINDOWS\\inf\\zelkron2kxp.pnf");
    Write("C:\\WINDOWS\\inf\\oem4.inf", otherMaker);
    Write("C:\\WINDOWS\\inf\\oem4.pnf");
    Write("C:\\WINDOWS\\inf\\oem5.inf", noDriver);
    Write("C:\\WINDOWS\\inf\\machine.inf", "[Version]\nSignature=\"$Windows NT$\"\n");
    Write("C:\\WINDOWS\\inf\\machine.pnf");

    const std::string interfaceClass =
        "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{C0CF0648-5F5F-11D2-B677-00C0DFE4C1FB}";
    Hklm(interfaceClass);  // the frame's interface class, its device gone with the device

    EXPECT_EQ(uninst::RemoveDrivers(), 2);

    EXPECT_FALSE(KeyExists(interfaceClass));

    EXPECT_FALSE(KeyExists(enumKey + "ROOT\\DRAVLINE\\0000"));
    EXPECT_FALSE(KeyExists(enumKey + "ROOT\\DRAVLINE\\0001"));
    EXPECT_FALSE(KeyExists(enumKey + "USB\\VID_5A53&PID_0001\\1"));
    EXPECT_TRUE(KeyExists(enumKey + "USB\\VID_046D&PID_C077\\5&1"));
    EXPECT_FALSE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\Dravick"));
    EXPECT_FALSE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\Zelko"));
    EXPECT_TRUE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\i8042prt"));
    EXPECT_FALSE(Exists("C:\\WINDOWS\\SYSTEM32\\drivers\\Zelko.sys"));
    EXPECT_FALSE(Exists("C:\\WINDOWS\\SYSTEM32\\drivers\\Dravick.sys"));
    EXPECT_TRUE(Exists("C:\\WINDOWS\\SYSTEM32\\drivers\\mouclass.sys"));
    for (const char* gone : {"oem3.inf", "oem3.pnf", "OEM12.INF", "zelkron2kxp.inf", "zelkron2kxp.pnf"})
        EXPECT_FALSE(Exists(std::string("C:\\WINDOWS\\inf\\") + gone)) << gone;
    for (const char* kept : {"oem4.inf", "oem4.pnf", "oem5.inf", "machine.inf", "machine.pnf"})
        EXPECT_TRUE(Exists(std::string("C:\\WINDOWS\\inf\\") + kept)) << kept;
    p_.RegDeleteKey(app::kHkeyLocalMachine, (enumKey + "USB\\VID_046D&PID_C077\\5&1").c_str());
}

TEST_F(UninstTest, OnWindows98TheHandMadeCopiesAndKeysGo)
{
    p_.version = app::OsVersion{4, 10, 2222, 1, " A "};
    const char* files[] = {"C:\\WINDOWS\\inf\\Dravo98.inf",
                           "C:\\WINDOWS\\inf\\OTHER\\VeltranDravo98.inf",
                           "C:\\WINDOWS\\inf\\zelkron98.inf",
                           "C:\\WINDOWS\\inf\\OTHER\\Veltranzelkron98.inf",
                           "C:\\WINDOWS\\SYSTEM32\\drivers\\Dravo98.sys",
                           "C:\\WINDOWS\\SYSTEM32\\drivers\\Zelkron.sys"};
    for (const char* f : files)
        Write(f);
    Write("C:\\WINDOWS\\inf\\OTHER\\SomeoneElse.inf");
    Hklm("System\\CurrentControlSet\\Services\\Class\\Tscrn\\0000", "DevLoader", "x");
    Hklm("Enum\\Root\\Tscrn\\0000", "Class", "Tscrn");
    const std::string oemKey = "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\Inf\\OEM Name";
    Hklm(oemKey, "C:\\WINDOWS\\inf\\Dravo98.inf", "Dravo98.inf");
    Hklm(oemKey, "C:\\WINDOWS\\inf\\other\\Veltranzelkron98.inf", "Veltranzelkron98.inf");
    Hklm(oemKey, "C:\\WINDOWS\\inf\\mdmgen.inf", "mdmgen.inf");

    uninst::RemoveDrivers();

    for (const char* f : files)
        EXPECT_FALSE(Exists(f)) << f;
    EXPECT_TRUE(Exists("C:\\WINDOWS\\inf\\OTHER\\SomeoneElse.inf"));
    EXPECT_FALSE(KeyExists("System\\CurrentControlSet\\Services\\Class\\Tscrn"));
    EXPECT_FALSE(KeyExists("Enum\\Root\\Tscrn"));
    EXPECT_FALSE(ValueExists(oemKey, "C:\\WINDOWS\\inf\\Dravo98.inf"));
    EXPECT_FALSE(ValueExists(oemKey, "C:\\WINDOWS\\inf\\other\\Veltranzelkron98.inf"));
    EXPECT_TRUE(ValueExists(oemKey, "C:\\WINDOWS\\inf\\mdmgen.inf"));
    p_.RegDeleteKey(app::kHkeyLocalMachine, oemKey.c_str());
}

}  // namespace

namespace {

// Uninst's questions and answers exist in the shipped lang.lg for both Chinese
// languages, not only as the English fallback.
TEST_F(UninstTest, ItsTextsComeFromLangLgInEachLanguage)
{
    MakeDir(kFolder);
    fs::copy_file(PACKAGE_LANG_LG, Host("C:\\veltran\\lang.lg"), fs::copy_options::overwrite_existing);
    const LangKey keys[] = {langkeys::UninstAsk,     langkeys::UninstKeep,     langkeys::UninstDone,
                            langkeys::UninstRestart, langkeys::UninstNoRecord, langkeys::UninstLeft};
    for (std::uint16_t lang : {std::uint16_t(0x0404), std::uint16_t(0x0804)}) {
        p_.langId = lang;
        SelectLanguage();
        for (const LangKey& k : keys) {
            char text[256];
            LangText(k.key, "", text);
            EXPECT_NE(text[0], '\0') << std::hex << lang << " " << k.key;
            EXPECT_STRNE(text, k.english) << std::hex << lang << " " << k.key;
            EXPECT_TRUE(static_cast<unsigned char>(text[0]) >= 0x80) << std::hex << lang << " " << k.key;
        }
    }
    p_.langId = 0x0409;
    SelectLanguage();
    char english[256];
    LangText(langkeys::UninstAsk, english);
    EXPECT_STREQ(english, langkeys::UninstAsk.english);
}

}  // namespace
