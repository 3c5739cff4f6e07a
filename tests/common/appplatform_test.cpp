// The native platform behaves as the Win32 calls it stands for, where the programs
// rely on it: registry sizes and missing values, paths, timers, windows, boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "appplatform_native.h"
#include "simkernel/sim.h"
#include "testfiles.h"

namespace {

using namespace app;

const char* const kKey = "SOFTWARE\\Veltran\\Pointwell";
const char* const kKernelKey = "\\REGISTRY\\Machine\\SOFTWARE\\Veltran\\Pointwell";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        ASSERT_EQ(p.RegCreateKey(kHkeyLocalMachine, kKey, kKeyAllAccess, &key, nullptr), kErrorSuccess);
    }
    void TearDown() override { p.RegCloseKey(key); }
    NativeAppPlatform p;
    RegKey key = 0;
};

TEST_F(RegistryTest, TextIsStoredAsGivenInTheUtf16TheDriverReads)
{
    // The programs pass strlen: no terminating zero is stored.
    ASSERT_EQ(p.RegSetValue(key, "doneMode", kRegSz, "3", 1), kErrorSuccess);
    sim::registry::Value v;
    ASSERT_TRUE(sim::registry::GetValue(kKernelKey, "doneMode", &v));
    EXPECT_EQ(v.type, kRegSz);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{'3', 0}));

    // Asked back: the size is 1 byte, and the same again with a larger buffer.
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(p.RegQueryValue(key, "doneMode", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 1u);
    char buf[8] = "xxxxxxx";
    size = sizeof buf;
    EXPECT_EQ(p.RegQueryValue(key, "doneMode", &type, buf, &size), kErrorSuccess);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(std::string(buf, 2), "3x");  // nothing written past the value
}

TEST_F(RegistryTest, DriverTextReadsBackWithItsTerminator)
{
    ASSERT_TRUE(sim::registry::SetString(kKernelKey, "moveSlider", "45"));
    char buf[8] = {};
    std::uint32_t size = sizeof buf;
    EXPECT_EQ(p.RegQueryValue(key, "MOVESLIDER", nullptr, buf, &size), kErrorSuccess);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(buf, 3), std::string("45\0", 3));
}

TEST_F(RegistryTest, ShortBufferGivesMoreDataTheSizeAndNoPromiseAboutTheBuffer)
{
    const std::uint8_t table[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(p.RegSetValue(key, "XArray", kRegBinary, table, sizeof table), kErrorSuccess);
    std::uint8_t buf[5] = {9, 9, 9, 9, 9};
    std::uint32_t size = 4;
    EXPECT_EQ(p.RegQueryValue(key, "XArray", nullptr, buf, &size), kErrorMoreData);
    EXPECT_EQ(size, 6u);
    // Windows leaves the buffer's contents undefined here (partly filled, as its
    // documentation says): a caller must not take it for its preset. The native
    // platform fills what fits, and nothing beyond the size it was given.
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[3], 4);
    EXPECT_EQ(buf[4], 9);
    std::uint8_t full[6] = {};
    size = sizeof full;
    EXPECT_EQ(p.RegQueryValue(key, "XArray", nullptr, full, &size), kErrorSuccess);
    EXPECT_EQ(0, std::memcmp(full, table, 6));
}

TEST_F(RegistryTest, MissingValueOrKeyLeavesTheCallersBuffers)
{
    std::uint32_t type = 77, size = 5;
    char buf[5] = "keep";
    EXPECT_EQ(p.RegQueryValue(key, "IsCfg", &type, buf, &size), kErrorFileNotFound);
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(buf, "keep");
    // The type is not left alone: Windows 98 sets REG_NONE before it looks, NT
    // leaves any value there. A caller must look at the result, not the type.
    EXPECT_EQ(type, 0u);
    // Asking only the size of a missing value gives 0, not the caller's number.
    size = 123;
    EXPECT_EQ(p.RegQueryValue(key, "IsCfg", nullptr, nullptr, &size), kErrorFileNotFound);
    EXPECT_EQ(size, 0u);
    size = 5;
    type = 77;

    RegKey other = 1234;
    EXPECT_EQ(p.RegOpenKey(kHkeyLocalMachine, "SOFTWARE\\Nobody", kKeyRead, &other), kErrorFileNotFound);
    EXPECT_EQ(p.RegDeleteValue(key, "IsCfg"), kErrorFileNotFound);
    EXPECT_NE(p.RegQueryValue(0xDEAD, "IsCfg", &type, buf, &size), kErrorSuccess);
    EXPECT_EQ(size, 5u);
}

// A key handle does what its access allows and nothing more (Windows NT; Windows 98
// checks nothing, so a program must ask for what it does).
TEST_F(RegistryTest, AKeyDoesOnlyWhatItWasOpenedFor)
{
    constexpr std::uint32_t kQueryValue = 0x1, kSetValue = 0x2, kCreateSubKey = 0x4;
    ASSERT_EQ(p.RegSetValue(key, "doneMode", kRegSz, "3", 1), kErrorSuccess);
    RegKey reader = 0;
    ASSERT_EQ(p.RegOpenKey(kHkeyLocalMachine, kKey, kKeyRead, &reader), kErrorSuccess);
    EXPECT_EQ(p.RegSetValue(reader, "doneMode", kRegSz, "1", 1), kErrorAccessDenied);
    EXPECT_EQ(p.RegDeleteValue(reader, "doneMode"), kErrorAccessDenied);
    RegKey sub = 0;
    EXPECT_EQ(p.RegCreateKey(reader, "Sub", kKeyRead, &sub, nullptr), kErrorAccessDenied);
    char buf[4];
    std::uint32_t size = sizeof buf;
    EXPECT_EQ(p.RegQueryValue(reader, "doneMode", nullptr, buf, &size), kErrorSuccess);
    EXPECT_EQ(std::string(buf, size), "3");
    p.RegCloseKey(reader);

    RegKey creator = 0;
    ASSERT_EQ(p.RegOpenKey(kHkeyLocalMachine, kKey, kCreateSubKey, &creator), kErrorSuccess);
    size = sizeof buf;
    EXPECT_EQ(p.RegQueryValue(creator, "doneMode", nullptr, buf, &size), kErrorAccessDenied);
    char name[16];
    std::uint32_t nameSize = sizeof name;
    EXPECT_EQ(p.RegEnumKey(creator, 0, name, &nameSize), kErrorAccessDenied);
    ASSERT_EQ(p.RegCreateKey(creator, "Sub", kQueryValue | kSetValue, &sub, nullptr), kErrorSuccess);
    EXPECT_EQ(p.RegSetValue(sub, "x", kRegSz, "1", 1), kErrorSuccess);
    p.RegCloseKey(sub);
    p.RegCloseKey(creator);

    // The generic rights stand for the key rights they map to.
    RegKey writer = 0;
    ASSERT_EQ(p.RegOpenKey(kHkeyLocalMachine, kKey, 0x40000000u /* GENERIC_WRITE */, &writer), kErrorSuccess);
    EXPECT_EQ(p.RegSetValue(writer, "doneMode", kRegSz, "2", 1), kErrorSuccess);
    size = sizeof buf;
    EXPECT_EQ(p.RegQueryValue(writer, "doneMode", nullptr, buf, &size), kErrorAccessDenied);
    p.RegCloseKey(writer);
}

TEST_F(RegistryTest, KeysAreCreatedEnumeratedAndDeletedAsWindowsDoes)
{
    bool created = false;
    RegKey k = 0;
    ASSERT_EQ(p.RegCreateKey(key, "Beta", kKeyAllAccess, &k, &created), kErrorSuccess);
    EXPECT_TRUE(created);
    p.RegCloseKey(k);
    ASSERT_EQ(p.RegCreateKey(key, "alpha\\inner", kKeyAllAccess, &k, &created), kErrorSuccess);
    p.RegCloseKey(k);
    ASSERT_EQ(p.RegCreateKey(key, "BETA", kKeyAllAccess, &k, &created), kErrorSuccess);
    EXPECT_FALSE(created);
    p.RegCloseKey(k);

    char name[16];
    std::uint32_t n = sizeof name;
    ASSERT_EQ(p.RegEnumKey(key, 0, name, &n), kErrorSuccess);
    EXPECT_STREQ(name, "alpha");
    EXPECT_EQ(n, 5u);
    n = sizeof name;
    ASSERT_EQ(p.RegEnumKey(key, 1, name, &n), kErrorSuccess);
    EXPECT_STREQ(name, "Beta");
    n = sizeof name;
    EXPECT_EQ(p.RegEnumKey(key, 2, name, &n), kErrorNoMoreItems);
    n = 3;
    EXPECT_EQ(p.RegEnumKey(key, 0, name, &n), kErrorMoreData);

    EXPECT_NE(p.RegDeleteKey(key, "alpha"), kErrorSuccess);  // it has a subkey
    EXPECT_EQ(p.RegDeleteKey(key, "alpha\\inner"), kErrorSuccess);
    EXPECT_EQ(p.RegDeleteKey(key, "alpha"), kErrorSuccess);
    EXPECT_EQ(p.RegDeleteKey(key, "alpha"), kErrorFileNotFound);
}

TEST_F(RegistryTest, CurrentUserIsAHiveOfItsOwn)
{
    RegKey run = 0;
    ASSERT_EQ(p.RegCreateKey(kHkeyCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", kKeyAllAccess, &run,
                             nullptr),
              kErrorSuccess);
    ASSERT_EQ(p.RegSetValue(run, "beep", kRegSz, "C:\\BEEP.exe", 11), kErrorSuccess);
    std::string text;
    EXPECT_TRUE(p.RegistryText(kHkeyCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "beep", &text));
    EXPECT_EQ(text, "C:\\BEEP.exe");
    EXPECT_FALSE(p.RegistryText(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "beep", &text));
    p.RegCloseKey(run);
}

class FilesTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        p.root = dir;
        ASSERT_EQ(std::system(("mkdir -p '" + dir + "/c'").c_str()), 0);
    }
    std::string Read(const char* path)
    {
        std::FILE* f = p.OpenFile(path, "rb");
        if (!f)
            return "<none>";
        char buf[256];
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        return std::string(buf, n);
    }
    NativeAppPlatform p;
};

TEST_F(FilesTest, DrivePathsLiveUnderTheRootAndMatchWithoutCase)
{
    ASSERT_TRUE(p.CreateDirectory("C:\\Program Files"));
    ASSERT_TRUE(p.CreateDirectory("C:\\Program Files\\Tool"));
    EXPECT_FALSE(p.CreateDirectory("c:\\PROGRAM FILES"));
    EXPECT_EQ(p.LastError(), std::uint32_t(kErrorAlreadyExists));
    EXPECT_FALSE(p.CreateDirectory("C:\\No\\Such"));  // no parent

    std::FILE* f = p.OpenFile("C:\\Program Files\\Tool\\lang.lg", "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("[0409]\r\nNOUSBDEV=none\r\n", f);
    std::fclose(f);
    EXPECT_EQ(p.HostPath("c:\\program files\\TOOL\\LANG.LG"), dir + "/c/Program Files/Tool/lang.lg");
    EXPECT_EQ(Read("c:\\program files\\TOOL\\LANG.LG"), "[0409]\r\nNOUSBDEV=none\r\n");

    p.currentDirectory = "C:\\Program Files\\Tool";
    EXPECT_EQ(Read("lang.lg"), "[0409]\r\nNOUSBDEV=none\r\n");
    EXPECT_EQ(p.FileAttributes("C:\\Program Files"), kAttrDirectory);
    EXPECT_EQ(p.FileAttributes("C:\\Program Files\\Tool\\missing.txt"), kInvalidAttributes);
    EXPECT_EQ(p.LastError(), std::uint32_t(kErrorFileNotFound));
}

TEST_F(FilesTest, ReadOnlyFilesResistDeleteAndOverwrite)
{
    Write("c/a.txt", "one");
    Write("c/b.txt", "two");
    ASSERT_TRUE(p.SetFileAttributes("C:\\b.txt", kAttrReadOnly));
    EXPECT_EQ(p.FileAttributes("C:\\b.txt"), kAttrReadOnly);
    EXPECT_FALSE(p.DeleteFile("C:\\b.txt"));
    EXPECT_EQ(p.LastError(), std::uint32_t(kErrorAccessDenied));
    EXPECT_FALSE(p.CopyFile("C:\\a.txt", "C:\\b.txt", false));
    EXPECT_EQ(p.OpenFile("C:\\b.txt", "wb"), nullptr);
    EXPECT_EQ(Read("C:\\b.txt"), "two");

    EXPECT_FALSE(p.CopyFile("C:\\a.txt", "C:\\b.txt", true));
    EXPECT_EQ(p.LastError(), 80u);  // ERROR_FILE_EXISTS
    ASSERT_TRUE(p.SetFileAttributes("C:\\b.txt", kAttrNormal));
    EXPECT_TRUE(p.CopyFile("C:\\a.txt", "C:\\b.txt", false));
    EXPECT_EQ(Read("C:\\b.txt"), "one");
    EXPECT_FALSE(p.CopyFile("C:\\missing.txt", "C:\\c.txt", false));
    EXPECT_TRUE(p.DeleteFile("C:\\b.txt"));
    EXPECT_EQ(p.FileAttributes("C:\\b.txt"), kInvalidAttributes);
}

TEST_F(FilesTest, ProfileWritesReadBackThroughTheProfileCalls)
{
    const char* ini = "C:\\setup.ini";
    Write("c/setup.ini", "; head\r\n[Main]\r\nPath=C:\\old\r\n\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(p.WriteProfileString("main", "path", "C:\\new", ini));
    ASSERT_TRUE(p.WriteProfileString("Main", "Count", "12abc", ini));
    ASSERT_TRUE(p.WriteProfileString("Fresh", "k", "v", ini));
    char buf[64];
    p.ProfileString("Main", "Path", "", buf, sizeof buf, ini);
    EXPECT_STREQ(buf, "C:\\new");
    EXPECT_EQ(p.ProfileInt("Main", "Count", 7, ini), 12u);
    EXPECT_EQ(p.ProfileInt("Main", "None", 7, ini), 7u);
    EXPECT_EQ(p.ProfileInt("Other", "x", 7, ini), 1u);
    p.ProfileString("Fresh", "k", "", buf, sizeof buf, ini);
    EXPECT_STREQ(buf, "v");
    ASSERT_TRUE(p.WriteProfileString("Other", nullptr, nullptr, ini));  // the whole section goes
    EXPECT_EQ(p.ProfileInt("Other", "x", 7, ini), 7u);
    EXPECT_EQ(p.ProfileInt("Main", "Count", 7, ini), 12u);
}

TEST(NativeMachine, TimersAndPostedMessagesArriveAsTheClockMoves)
{
    NativeAppPlatform p;
    p.driveKernelClock = false;
    NativeDialog dlg(p, "Pointwell");
    std::vector<std::pair<std::uint32_t, std::uintptr_t>> got;
    dlg.proc() = [&](const Message& m) {
        got.emplace_back(m.msg, m.wParam);
        return std::intptr_t(0);
    };
    const std::uint32_t start = p.TickCount();
    p.SetTimer(dlg.handle(), 7, 100);
    p.Advance(99);
    EXPECT_TRUE(got.empty());
    ASSERT_TRUE(p.PostMessage(dlg.handle(), 9999, 0, 0));
    p.Advance(1);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::make_pair(9999u, std::uintptr_t(0)));  // posted before the timer's message
    EXPECT_EQ(got[1], std::make_pair(kWmTimer, std::uintptr_t(7)));

    // A plain wait moves the clock but delivers nothing; a late timer then fires once.
    got.clear();
    p.Sleep(500);
    EXPECT_EQ(p.TickCount(), start + 600);
    EXPECT_TRUE(got.empty());
    p.Advance(0);
    EXPECT_EQ(got.size(), 1u);
    EXPECT_TRUE(p.KillTimer(dlg.handle(), 7));
    EXPECT_FALSE(p.KillTimer(dlg.handle(), 7));
    p.Advance(1000);
    EXPECT_EQ(got.size(), 1u);
}

TEST(NativeMachine, WindowsAreFoundByTitleAndClosedByWmClose)
{
    NativeAppPlatform p;
    for (int i = 0; i < 3; ++i)
        p.AddWindow("Function");
    p.AddWindow("beep");
    int closed = 0;
    while (Window w = p.FindWindow(nullptr, "FUNCTION")) {
        p.SendMessage(w, kWmClose, 0, 0);
        ASSERT_LT(++closed, 10);
    }
    EXPECT_EQ(closed, 3);
    EXPECT_EQ(p.CountWindows("beep"), 1);

    p.programWindows["Flipkey.exe"] = "Function";
    EXPECT_GT(p.ShellExecute(nullptr, "open", "C:\\Tool\\FLIPKEY.EXE", nullptr, nullptr, 1), 32);
    EXPECT_EQ(p.CountWindows("Function"), 1);
    ASSERT_EQ(p.shellCalls.size(), 1u);
    EXPECT_EQ(p.shellCalls[0].file, "C:\\Tool\\FLIPKEY.EXE");
}

TEST(NativeMachine, MessageBoxesAreRecordedAndAnswered)
{
    NativeAppPlatform p;
    p.messageBoxAnswers.push_back(kIdNo);
    EXPECT_EQ(p.MessageBox(nullptr, "Restart?", "Prompt", 4 /*MB_YESNO*/), kIdNo);
    EXPECT_EQ(p.MessageBox(nullptr, "Again?", "Prompt", 4), kIdYes);  // Enter: the first button
    EXPECT_EQ(p.MessageBox(nullptr, "Done", "Information", 0), kIdOk);
    ASSERT_EQ(p.messageBoxes.size(), 3u);
    EXPECT_EQ(p.messageBoxes[0].text, "Restart?");
    EXPECT_EQ(p.messageBoxes[2].caption, "Information");
}

TEST(NativeMachine, DeviceDoorReportsAMissingDevice)
{
    sim::Reset();
    NativeAppPlatform p;
    EXPECT_EQ(p.OpenDevice("\\\\.\\Zelkode", 0), nullptr);
    EXPECT_EQ(p.LastError(), std::uint32_t(kErrorFileNotFound));
    EXPECT_FALSE(p.DeviceControl(nullptr, 0x222000, nullptr, 0, nullptr, 0, nullptr));
}

TEST(NativeMachine, MutexNamesAreSharedUntilTheLastHandleCloses)
{
    NativeAppPlatform p;
    bool existed = true;
    Handle a = p.CreateMutex("SetupRunning", true, &existed);
    EXPECT_FALSE(existed);
    Handle b = p.CreateMutex("setuprunning", true, &existed);
    EXPECT_TRUE(existed);
    p.CloseHandle(a);
    p.CloseHandle(b);
    p.CreateMutex("SetupRunning", true, &existed);
    EXPECT_FALSE(existed);
}

TEST(NativeMachine, DialogControlsAnswerTrackbarAndProgressMessages)
{
    NativeAppPlatform p;
    NativeDialog dlg(p);
    dlg.SetKind(10, NativeDialog::Kind::kTrackbar);
    dlg.SendItemMessage(10, 0x406 /*TBM_SETRANGE*/, 1, (60 << 16) | 10);
    dlg.SendItemMessage(10, 0x405 /*TBM_SETPOS*/, 1, 75);
    EXPECT_EQ(dlg.SendItemMessage(10, 0x400 /*TBM_GETPOS*/, 0, 0), 60);  // clamped to the range
    dlg.SendItemMessage(10, 0x405, 1, 5);
    EXPECT_EQ(dlg.SendItemMessage(10, 0x400, 0, 0), 10);

    dlg.SetKind(11, NativeDialog::Kind::kProgress);
    EXPECT_EQ(dlg.SendItemMessage(11, 0x401 /*PBM_SETRANGE*/, 0, (20 << 16) | 0), (100 << 16) | 0);
    EXPECT_EQ(dlg.SendItemMessage(11, 0x402 /*PBM_SETPOS*/, 15, 0), 0);
    EXPECT_EQ(dlg.SendItemMessage(11, 0x402, 30, 0), 15);
    EXPECT_EQ(dlg.SendItemMessage(11, 0x408 /*PBM_GETPOS*/, 0, 0), 20);

    dlg.SetChecked(1001, true);
    EXPECT_EQ(dlg.SendItemMessage(1001, 0xF0 /*BM_GETCHECK*/, 0, 0), 1);
    dlg.Show(1001, false);
    EXPECT_FALSE(dlg.IsVisible(1001));
    dlg.End(2);
    EXPECT_TRUE(dlg.ended());
    EXPECT_EQ(p.FindWindow("#32770", nullptr), nullptr);
}

TEST(NativeMachine, InstalledPlatformServesTheSkinLibraryToo)
{
    NativeAppPlatform p;
    Platform* previous = SetAppPlatform(&p);
    EXPECT_EQ(&CurrentAppPlatform(), &p);
    EXPECT_EQ(&skin::CurrentPlatform(), static_cast<skin::Platform*>(&p));
    SetAppPlatform(previous);
    EXPECT_NE(&CurrentAppPlatform(), &p);
}

}  // namespace
