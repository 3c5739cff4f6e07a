// The drivers of both families, as the setup API and the registry see them.
#include <gtest/gtest.h>

#include "harness.h"

namespace setuptest {
namespace {

constexpr const char* kOemName = "hklm\\SoftWare\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\Inf\\OEM Name";
constexpr const char* kRun = "hklm\\software\\microsoft\\windows\\currentversion\\run";
using Calls = std::vector<std::string>;

class Win98Test : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        os.platformId = 1;
        os.SetValue(kOemName, "existing", app::kRegSz, "x");
        os.SetValue(kRun, "Pointwell", app::kRegSz, "c:\\veltran\\Pointwell.exe");
        installer.toolPath = "c:\\veltran\\Pointwell.exe";
    }
};

TEST_F(Win98Test, ServiceAndUsbDriverKeysCopiesAndOemNames)
{
    EXPECT_TRUE(installer.InstallDrivers98());
    EXPECT_EQ(api.calls, Calls({"DiInstallClass c:\\pkg\\98\\Dravo98.inf 0x4000000",
                                "OpenInf c:\\pkg\\98\\Dravo98.inf (null)",
                                "SetDirectoryId 65659 C:\\WINDOWS\\system32\\drivers",
                                "OpenFileQueue",
                                "InitDefaultQueueCallback owner=none",
                                "InstallFilesFromInfSection UsbInfr.Install c:\\pkg\\ 0x4",
                                "CommitFileQueue",
                                "InstallFromInfSection UsbInfr.Install1 0x6 key c:\\pkg\\ 0x4 owner=none",
                                "InstallFromInfSection UsbInfr.Install2 0x6 key c:\\pkg\\ 0x4 owner=none",
                                "TermDefaultQueueCallback",
                                "CloseFileQueue",
                                "CloseInf",
                                "OpenInf c:\\pkg\\win98\\zelkron98.inf USB",
                                "SetDirectoryId 65659 C:\\WINDOWS\\system32",
                                "OpenFileQueue",
                                "InitDefaultQueueCallback owner=none",
                                "InstallFilesFromInfSection zelkron c:\\pkg\\ 0x4",
                                "CommitFileQueue",
                                "TermDefaultQueueCallback",
                                "CloseFileQueue",
                                "CloseInf"}));
    EXPECT_EQ(api.openHandles, 0);
    EXPECT_EQ(os.copies, Calls({"c:\\pkg\\98\\Dravo98.inf -> C:\\WINDOWS\\inf\\Dravo98.inf",
                                "c:\\pkg\\98\\Dravo98.inf -> C:\\WINDOWS\\inf\\OTHER\\VeltranDravo98.inf",
                                "c:\\pkg\\98\\Dravo98.sys -> C:\\WINDOWS\\SYSTEM32\\drivers\\Dravo98.sys",
                                "c:\\pkg\\98\\zelkron98.inf -> C:\\WINDOWS\\inf\\zelkron98.inf",
                                "c:\\pkg\\98\\zelkron98.inf -> C:\\WINDOWS\\inf\\OTHER\\Veltranzelkron98.inf",
                                "c:\\pkg\\98\\Zelkron.sys -> C:\\WINDOWS\\SYSTEM32\\drivers\\Zelkron.sys"}));
    EXPECT_TRUE(os.HasKey("hklm\\system\\CurrentcontrolSet\\Services\\class\\Tscrn\\0000"));
    EXPECT_TRUE(os.HasKey("hklm\\Enum\\Root\\Tscrn\\0000"));
    for (const auto& [name, data] : {std::pair{"C:\\WINDOWS\\inf\\other\\VeltranDravo98.inf", "VeltranDravo98.inf"},
                                     std::pair{"C:\\WINDOWS\\inf\\Dravo98.inf", "Dravo98.inf"},
                                     std::pair{"C:\\WINDOWS\\inf\\other\\Veltranzelkron98.inf", "Veltranzelkron98.inf"},
                                     std::pair{"C:\\WINDOWS\\inf\\zelkron98.inf", "zelkron98.inf"}}) {
        EXPECT_EQ(os.Value(kOemName, name).data, data) << name;
        EXPECT_EQ(os.Value(kOemName, name).type, app::kRegSz);
    }
    EXPECT_FALSE(os.HasValue(kRun, "Pointwell"));
    EXPECT_TRUE(os.messageBoxes.empty());
}

TEST_F(Win98Test, ARunningFrameSkipsTheUsbDriver)
{
    os.zelkoDevice = true;
    EXPECT_TRUE(installer.InstallDrivers98());
    EXPECT_EQ(api.IndexOf("OpenInf c:\\pkg\\win98"), -1);
    EXPECT_EQ(os.copies.size(), 3u);
    EXPECT_FALSE(os.HasValue(kRun, "Pointwell"));
}

TEST_F(Win98Test, FailuresAreShownAndTheStepStillSucceeds)
{
    api.failing = {"DiInstallClass", "InstallFromInfSection UsbInfr.Install1 0x6 key c:\\pkg\\ 0x4 owner=none"};
    EXPECT_TRUE(installer.InstallDrivers98());
    EXPECT_EQ(MessageTexts(), Calls({"system error 0xE000020E", "system error 0xE000020E", "Install device fail"}));
    EXPECT_EQ(os.messageBoxes[0].caption, "Error");
    EXPECT_EQ(os.messageBoxes[0].type, app::kMbIconInformation);  // the system error box
    EXPECT_EQ(os.messageBoxes[2].type, app::kMbIconError);
    EXPECT_EQ(api.IndexOf("InstallFromInfSection UsbInfr.Install2"), -1);
    EXPECT_FALSE(os.HasValue(kOemName, "C:\\WINDOWS\\inf\\Dravo98.inf"));
    EXPECT_TRUE(os.HasValue(kOemName, "C:\\WINDOWS\\inf\\zelkron98.inf"));
    EXPECT_EQ(api.openHandles, 0);
}

TEST_F(Win98Test, AFailedDeviceKeySectionSkipsTheOemNamesOfDravo98)
{
    api.failing = {"InstallFromInfSection UsbInfr.Install2 0x6 key c:\\pkg\\ 0x4 owner=none"};
    EXPECT_TRUE(installer.InstallDrivers98());
    EXPECT_EQ(MessageTexts(), Calls({"system error 0xE000020E", "Install device fail"}));
    EXPECT_EQ(os.messageBoxes[1].caption, "Error");
    EXPECT_EQ(os.messageBoxes[1].type, app::kMbIconError);
    EXPECT_TRUE(os.HasKey("hklm\\Enum\\Root\\Tscrn\\0000"));
    EXPECT_FALSE(os.HasValue(kOemName, "C:\\WINDOWS\\inf\\other\\VeltranDravo98.inf"));
    EXPECT_TRUE(os.HasValue(kOemName, "C:\\WINDOWS\\inf\\zelkron98.inf"));
    EXPECT_EQ(api.openHandles, 0);
}

TEST_F(Win98Test, WithoutDravo98TheServiceStepEndsAndZelkoIsStillInstalled)
{
    api.failing = {"DiInstallClass", "OpenInf c:\\pkg\\98\\Dravo98.inf (null)"};
    EXPECT_TRUE(installer.InstallDrivers98());
    EXPECT_EQ(MessageTexts(), Calls({"system error 0xE000020E"}));
    EXPECT_EQ(api.IndexOf("InstallFromInfSection UsbInfr.Install1"), -1);
    EXPECT_NE(api.IndexOf("InstallFilesFromInfSection zelkron"), -1);
    EXPECT_FALSE(os.HasValue(kRun, "Pointwell"));
    EXPECT_EQ(api.openHandles, 0);
}

TEST_F(Win98Test, NoOemNameKeyNoValues)
{
    FakePlatform bare;
    bare.platformId = 1;
    app::Platform* previous = app::SetAppPlatform(&bare);
    setup::Installer in(bare, api);
    EXPECT_TRUE(in.InstallDrivers98());
    app::SetAppPlatform(previous);
    EXPECT_FALSE(bare.HasKey(kOemName));
}

TEST_F(Win98Test, PurgeRemovesEveryEarlierRegistrationAndOnlyItsOwnInfFiles)
{
    const std::string usb = "hklm\\Enum\\USB\\VID_5a53&PID_0001";
    os.SetValue(usb + "\\0000", "Driver", app::kRegSz, "USB\\0003");
    os.SetValue(usb + "\\0001", "Driver", app::kRegSz, "USB\\0004");
    os.SetValue(usb + "\\0002", "Driver", app::kRegSz, "USB\\0005");
    os.SetValue("hklm\\System\\CurrentControlSet\\Services\\class\\USB\\0003", "infpath", app::kRegSz, "OEM3.INF");
    os.SetValue("hklm\\System\\CurrentControlSet\\Services\\class\\USB\\0004", "infpath", app::kRegSz, "zelkron98.inf");
    os.SetValue("hklm\\System\\CurrentControlSet\\Services\\class\\USB\\0005", "infpath", app::kRegSz, "..\\win.ini");
    for (const char* f :
         {"C:\\WINDOWS\\inf\\OEM3.INF", "C:\\WINDOWS\\inf\\other\\OEM3.INF", "C:\\WINDOWS\\inf\\zelkron98.inf",
          "C:\\WINDOWS\\inf\\other\\zelkron98.inf", "C:\\WINDOWS\\win.ini"})
        os.WriteFile(f, "x");

    EXPECT_TRUE(installer.PurgeUsbInstances98("VID_5a53&PID_0001"));
    for (const char* k : {"0000", "0001", "0002"})
        EXPECT_FALSE(os.HasKey(usb + "\\" + k)) << k;
    for (const char* k : {"0003", "0004", "0005"})
        EXPECT_FALSE(os.HasKey(std::string("hklm\\System\\CurrentControlSet\\Services\\class\\USB\\") + k)) << k;
    EXPECT_FALSE(os.Exists("C:\\WINDOWS\\inf\\zelkron98.inf"));
    EXPECT_FALSE(os.Exists("C:\\WINDOWS\\inf\\other\\zelkron98.inf"));
    EXPECT_TRUE(os.Exists("C:\\WINDOWS\\inf\\OEM3.INF"));
    EXPECT_TRUE(os.Exists("C:\\WINDOWS\\inf\\other\\OEM3.INF"));
    EXPECT_TRUE(os.Exists("C:\\WINDOWS\\win.ini"));  // a path in infpath is not followed

    EXPECT_FALSE(installer.PurgeUsbInstances98("VID_0000&PID_0000"));
}

class XpTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        os.SetValue(kRun, "Pointwell", app::kRegSz, "c:\\veltran\\Pointwell.exe");
        installer.toolPath = "c:\\veltran\\Pointwell.exe";
    }
    const std::string kSystemError = "system error 0xE000020E";
};

const Calls kServiceDevice = {
    "DiInstallClass c:\\pkg\\2000xp\\Dravila.inf 0x4000000",
    "OpenInf c:\\pkg\\2000xp\\Dravila.inf MOUSE",
    "SetDirectoryId 65659 C:\\WINDOWS\\system32",
    "OpenFileQueue",
    "InitDefaultQueueCallback owner=none",
    "InstallFilesFromInfSection Dravick c:\\pkg\\ 0x4",
    "CommitFileQueue",
    "TermDefaultQueueCallback",
    "CloseFileQueue",
    "CloseInf",
    "OpenInf c:\\pkg\\2000xp\\Dravila.inf MOUSE",
    "DiCreateDeviceInfoList mouse",
    "DiCreateDeviceInfo ROOT\\DRAVLINE\\0000 usb infrared touch screen service for win2000 winxp 0x0",
    "DiRegisterDeviceInfo 0x0",
    "DiSetDeviceInstallParams 0x1010000 0x0 c:\\pkg\\2000xp\\Dravila.inf",
    "DiCreateDevRegKey dev Dravick1 0x1 0",
    "DiCreateDevRegKey drv Dravick.DriverKey 0x1 0",
    "DiEnumDeviceInfo 0",
    "DiSetHardwareIds root\\DRAVLINE\\0\\0",
    "DiBuildDriverInfoList 0x2",
    "DiCallClassInstaller DIF_SELECTBESTCOMPATDRV 0",
    "DiCallClassInstaller DIF_INSTALLDEVICE 0",
    "InstallFromInfSection Veltran.Mfg 0x6 nokey (null) 0x0 owner=none",
    "InstallServicesFromInfSection Dravick.Services 0x0",
    "DiDestroyDeviceInfoList",
    "CloseInf"};

const Calls kUsbDriver = {"OpenInf c:\\pkg\\2000xp\\zelkron2kxp.inf (null)",
                          "SetDirectoryId 65659 C:\\WINDOWS\\system32",
                          "OpenFileQueue",
                          "InitDefaultQueueCallback owner=none",
                          "InstallFilesFromInfSection zelkron.NT c:\\pkg\\ 0x4",
                          "CommitFileQueue",
                          "CopyOemInf c:\\pkg\\2000xp\\zelkron2kxp.inf c:\\pkg\\",
                          "InstallFromInfSection Veltran.Mfg 0x6 nokey (null) 0x0 owner=none",
                          "InstallServicesFromInfSection zelkron.NT.Services 0x0",
                          "TermDefaultQueueCallback",
                          "CloseFileQueue",
                          "CloseInf"};

TEST_F(XpTest, ServiceDeviceThenUsbDriverThenTheRunValue)
{
    EXPECT_TRUE(installer.InstallDriversXp());
    Calls expected = kServiceDevice;
    expected.push_back("QueryDosDevice Zelkode");
    expected.insert(expected.end(), kUsbDriver.begin(), kUsbDriver.end());
    EXPECT_EQ(api.calls, expected);
    EXPECT_EQ(api.openHandles, 0);
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_FALSE(os.HasValue(kRun, "Pointwell"));
}

TEST_F(XpTest, ARunningFrameSkipsTheUsbDriver)
{
    api.zelkoRunning = true;
    EXPECT_TRUE(installer.InstallDriversXp());
    EXPECT_EQ(api.IndexOf("OpenInf c:\\pkg\\2000xp\\zelkron2kxp.inf"), -1);
    EXPECT_FALSE(os.HasValue(kRun, "Pointwell"));
}

TEST_F(XpTest, OldDevicesAreRemovedAndTheNextFreeIdTaken)
{
    api.presentDevices = 2;
    installer.RemoveServiceDevices(reinterpret_cast<app::Window>(0xD1A));
    EXPECT_EQ(api.calls, Calls({"DiGetClassDevs mouse ROOT\\DRAVLINE 0x2 owner=dialog", "DiEnumDeviceInfo 0",
                                "DiCallClassInstaller DIF_REMOVE 0", "DiEnumDeviceInfo 1",
                                "DiCallClassInstaller DIF_REMOVE 1", "DiEnumDeviceInfo 2", "DiDestroyDeviceInfoList"}));
    api.calls.clear();
    api.presentDevices = 0;
    api.existingIds = {"ROOT\\DRAVLINE\\0000"};
    EXPECT_TRUE(installer.InstallDriversXp());
    EXPECT_EQ(api.CallsStartingWith("DiCreateDeviceInfo ").size(), 2u);
    EXPECT_NE(api.IndexOf("DiCreateDeviceInfo ROOT\\DRAVLINE\\0001"), -1);
    EXPECT_NE(api.IndexOf("DiRegisterDeviceInfo"), -1);
}

TEST_F(XpTest, NoDeviceWhenAllTwentyIdsAreTaken)
{
    for (int k = 0; k < 20; ++k) {
        char id[32];
        std::snprintf(id, sizeof id, "ROOT\\DRAVLINE\\%04d", k);
        api.existingIds.insert(id);
    }
    EXPECT_TRUE(installer.InstallDriversXp());
    EXPECT_EQ(api.CallsStartingWith("DiCreateDeviceInfo ").size(), 20u);
    EXPECT_EQ(api.IndexOf("DiRegisterDeviceInfo"), -1);
    EXPECT_TRUE(os.messageBoxes.empty());
}

TEST_F(XpTest, ClassInstallOrInfOpenFailureEndsTheInstallationSilently)
{
    for (const char* failing : {"DiInstallClass", "OpenInf c:\\pkg\\2000xp\\Dravila.inf MOUSE"}) {
        api.calls.clear();
        api.failing = {failing};
        EXPECT_FALSE(installer.InstallDriversXp()) << failing;
        EXPECT_TRUE(os.messageBoxes.empty()) << failing;
        EXPECT_EQ(api.IndexOf("DiCreateDeviceInfoList"), -1) << failing;
        EXPECT_EQ(api.openHandles, 0) << failing;
    }
    EXPECT_TRUE(os.HasValue(kRun, "Pointwell"));
}

TEST_F(XpTest, ServiceDeviceStepFailuresShowTheSystemErrorAndGoOn)
{
    const char* rows[] = {
        "DiCreateDeviceInfoList",  "DiRegisterDeviceInfo", "DiSetDeviceInstallParams",
        "DiCreateDevRegKey",       "DiSetHardwareIds",     "DiBuildDriverInfoList",
        "DIF_SELECTBESTCOMPATDRV", "DIF_INSTALLDEVICE",    "InstallServicesFromInfSection Dravick.Services 0x0"};
    for (const char* failing : rows) {
        api.calls.clear();
        os.messageBoxes.clear();
        api.failing = {failing};
        EXPECT_TRUE(installer.InstallDriversXp()) << failing;
        EXPECT_EQ(MessageTexts(), Calls({kSystemError})) << failing;
        EXPECT_EQ(os.messageBoxes[0].owner, nullptr);
        EXPECT_EQ(os.messageBoxes[0].caption, "Error");
        EXPECT_NE(api.IndexOf("OpenInf c:\\pkg\\2000xp\\zelkron2kxp.inf"), -1) << failing;  // the USB driver follows
        EXPECT_EQ(api.openHandles, 0) << failing;
    }
}

TEST_F(XpTest, MfgSectionFailuresAreNamedAndTheServicesStillInstalled)
{
    api.failing = {"InstallFromInfSection Veltran.Mfg 0x6 nokey (null) 0x0 owner=none"};
    EXPECT_TRUE(installer.InstallDriversXp());
    EXPECT_EQ(MessageTexts(), Calls({"Install Error", "Install fail"}));
    for (const auto& box : os.messageBoxes) {
        EXPECT_EQ(box.caption, "Error") << box.text;
        EXPECT_EQ(box.type, app::kMbIconError) << box.text;
        EXPECT_EQ(box.owner, nullptr) << box.text;
    }
    EXPECT_EQ(api.CallsStartingWith("InstallServicesFromInfSection").size(), 2u);
}

TEST_F(XpTest, UsbDriverServiceFailureIsShownButTheCopyDecides)
{
    api.failing = {"InstallServicesFromInfSection zelkron.NT.Services 0x0"};
    EXPECT_TRUE(installer.InstallDriversXp());
    EXPECT_EQ(MessageTexts(), Calls({kSystemError}));
}

TEST_F(XpTest, AFailedUsbDriverCopyEndsWithInstallDrvFail)
{
    // A copy that fails still lets the INF's registry and service sections run; an INF,
    // directory id, queue or callback that can't be set up ends the step before them.
    const struct {
        const char* failing;
        bool sectionsRun;
    } rows[] = {{"CommitFileQueue", true},
                {"InstallFilesFromInfSection", true},
                {"OpenInf c:\\pkg\\2000xp\\zelkron2kxp.inf (null)", false},
                {"SetDirectoryId", false},
                {"OpenFileQueue", false},
                {"InitDefaultQueueCallback", false}};
    for (const auto& row : rows) {
        api.calls.clear();
        os.messageBoxes.clear();
        api.failing = {row.failing};
        os.SetValue(kRun, "Pointwell", app::kRegSz, "x");
        EXPECT_FALSE(installer.InstallDriversXp()) << row.failing;
        ASSERT_EQ(MessageTexts(), Calls({"Install usb device fail."})) << row.failing;
        EXPECT_EQ(os.messageBoxes[0].caption, "Prompt");
        EXPECT_EQ(os.messageBoxes[0].type, app::kMbIconError);
        EXPECT_EQ(os.messageBoxes[0].owner, nullptr);
        EXPECT_EQ(api.IndexOf("InstallServicesFromInfSection zelkron.NT.Services") != -1, row.sectionsRun)
            << row.failing;
        EXPECT_TRUE(os.HasValue(kRun, "Pointwell")) << row.failing;
        EXPECT_EQ(api.openHandles, 0) << row.failing;
    }
}

TEST_F(XpTest, ASetupFolderTooLongForTheInfPathFails)
{
    os.modulePath = "c:\\" + std::string(245, 'p') + "\\setup.exe";
    EXPECT_FALSE(installer.InstallServiceDevice());
    EXPECT_TRUE(api.calls.empty());
}

}  // namespace
}  // namespace setuptest
