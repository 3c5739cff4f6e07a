// SetupDialog: its start, the licence choice, the folder browser and the Start sequence
// of each family with each of its early ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "resource.h"
#include "setupdialog.h"

namespace setuptest {
namespace {

constexpr const char* kKey = "hklm\\software\\veltran\\pointwell";
using Lines = std::vector<std::string>;

// A 24-bit bottom-up BMP of 2 x 1 pixels.
std::string TinyBmp()
{
    std::string b = "BM";
    auto le = [&b](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(char(v >> (8 * i)));
    };
    le(62, 4), le(0, 4), le(54, 4);
    le(40, 4), le(2, 4), le(1, 4), le(1, 2), le(24, 2), le(0, 4), le(8, 4), le(0, 4), le(0, 4), le(0, 4), le(0, 4);
    b += std::string("\x01\x02\x03\x04\x05\x06\x00\x00", 8);
    return b;
}

class FlowTest : public SetupTest {
protected:
    void SetUp() override
    {
        SetupTest::SetUp();
        os.WriteFile("c:\\pkg\\en\\license.txt", "Licence\r\nText");
        os.WriteFile("c:\\pkg\\Pointwell.exe", "MZ");
        os.WriteFile("c:\\pkg\\Uninst.exe", "MZ");
        os.WriteFile("c:\\pkg\\filelist.ini", "[win2k]\nfilenum=2\nfile0=Pointwell.exe\nfile1=en\\license.txt\n"
                                              "[win98]\nfilenum=1\nfile0=Uninst.exe\n");
        dialog.controls[IDC_PATH_EDIT].enabled = false;
        dlg.Init(dialog);
    }
    // The index of the first event starting with prefix, or -1.
    int Event(const std::string& prefix) const
    {
        for (std::size_t i = 0; i < os.events.size(); ++i)
            if (os.events[i].rfind(prefix, 0) == 0)
                return int(i);
        return -1;
    }
    FakeDialog dialog{os.AddWindow("License", "#32770")};
    setup::SetupDialog dlg{os, api};
};

TEST_F(FlowTest, StartUpFillsPathLicenceCaptionsAndRegion)
{
    EXPECT_EQ(dialog.controls[IDC_PATH_EDIT].text, "c:\\veltran");
    EXPECT_EQ(dialog.controls[IDC_LICENSE_TEXT].text, "Licence\r\nText");
    const std::pair<int, const char*> captions[] = {
        {IDC_LICENSE_LABEL, "License"}, {IDC_AGREE_RADIO, "I agree"},    {IDC_DISAGREE_RADIO, "I don't agree"},
        {IDC_START_BUTTON, "Start"},    {IDC_EXIT_BUTTON, "Exit"},       {IDC_SELECT_BUTTON, "Select"},
        {IDC_PATH_LABEL, "Path"},       {IDC_PROGRESS_LABEL, "Progress"}};
    for (const auto& [id, text] : captions)
        EXPECT_EQ(dialog.controls[id].text, text) << id;
    EXPECT_TRUE(os.WindowOf(dialog.handle())->shaped);
    EXPECT_FALSE(dlg.bannerLoaded());  // no setup.bmp in this package
    EXPECT_EQ(dlg.installer().groupName, "Infrared Touch Screen");
    EXPECT_EQ(dlg.installer().maker, "Veltran");
}

TEST_F(FlowTest, BannerFollowsLanguageAndNoLogo)
{
    os.WriteFile("c:\\pkg\\en\\setup.bmp", TinyBmp());
    FakeDialog d;
    setup::SetupDialog s(os, api);
    s.Init(d);
    EXPECT_TRUE(s.bannerLoaded());
    EXPECT_STREQ(s.banner().Path(), "c:\\pkg\\en\\setup.bmp");
    s.ReleaseBanner();
    EXPECT_FALSE(s.bannerLoaded());

    os.langId = 0x0404;
    os.WriteFile("c:\\pkg\\nologo\\tw\\setup.bmp", TinyBmp());
    os.WriteFile("c:\\pkg\\lang.lg", "[0409]\nNOLOGO=yes\nLICENFILE=tw\\license.txt\n");
    os.WriteFile("c:\\pkg\\tw\\license.txt", std::string(10300, 'L'));
    setup::SetupDialog t(os, api);
    t.Init(d);
    EXPECT_STREQ(t.banner().Path(), "c:\\pkg\\nologo\\tw\\setup.bmp");
    EXPECT_EQ(d.controls[IDC_LICENSE_TEXT].text, std::string(10200, 'L'));  // the first 10200 bytes
}

TEST_F(FlowTest, AMissingLicenceLeavesTheBoxEmpty)
{
    os.WriteFile("c:\\pkg\\lang.lg", "[0409]\nLICENFILE=none.txt\n");
    FakeDialog d;
    setup::SetupDialog s(os, api);
    s.Init(d);
    EXPECT_EQ(d.controls[IDC_LICENSE_TEXT].text, "");
    EXPECT_TRUE(os.messageBoxes.empty());
}

TEST_F(FlowTest, AgreeEnablesTheInstallControlsAndDisagreeDisablesThem)
{
    const int six[] = {IDC_START_BUTTON,  IDC_PROGRESS_LABEL, IDC_PATH_LABEL,
                       IDC_SELECT_BUTTON, IDC_PROGRESS_BAR,   IDC_PATH_EDIT};
    dlg.Agree(dialog);  // not checked: nothing changes
    EXPECT_FALSE(dialog.controls[IDC_PATH_EDIT].enabled);
    dialog.controls[IDC_AGREE_RADIO].checked = true;
    dlg.Agree(dialog);
    for (int id : six)
        EXPECT_TRUE(dialog.controls[id].enabled) << id;
    dialog.controls[IDC_AGREE_RADIO].checked = false;
    dialog.controls[IDC_DISAGREE_RADIO].checked = true;
    dlg.Disagree(dialog);
    for (int id : six)
        EXPECT_FALSE(dialog.controls[id].enabled) << id;
    EXPECT_TRUE(dialog.controls[IDC_EXIT_BUTTON].enabled);
}

TEST_F(FlowTest, BrowseFillsThePathOrKeepsItWhenCancelled)
{
    os.folderAnswers.clear();
    dlg.Browse(dialog);
    EXPECT_EQ(dialog.controls[IDC_PATH_EDIT].text, "c:\\veltran");
    EXPECT_EQ(os.browseTitle, "Select a directory");
    os.folderAnswers = {"d:\\touch"};
    dlg.Browse(dialog);
    EXPECT_EQ(dialog.controls[IDC_PATH_EDIT].text, "d:\\touch");
}

TEST_F(FlowTest, XpInstallationRunsEveryStepInOrderAndRestarts)
{
    EXPECT_TRUE(dlg.Start(dialog));
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(dialog.result, 0);
    for (const char* sub : {"", "\\cn", "\\en", "\\tw", "\\nologo", "\\nologo\\cn", "\\nologo\\en", "\\nologo\\tw"})
        EXPECT_TRUE(os.Exists(std::string("c:\\veltran") + sub)) << sub;
    EXPECT_EQ(os.ReadFile("c:\\veltran\\Pointwell.exe"), "MZ");
    EXPECT_EQ(dlg.installer().toolPath, "c:\\veltran\\Pointwell.exe");
    EXPECT_EQ(dlg.installer().osTag, "usbxp");
    EXPECT_EQ(os.Value(kKey, "osflg").data, "xp");
    EXPECT_EQ(os.DdeCommands().size(), 4u);

    // Settings before the copy, the old service devices removed before the new one, the
    // group before the closing message, the privilege before the restart.
    EXPECT_LT(Event("RegSetValue IsCfg"), Event("OpenFile c:\\veltran\\Pointwell.exe wb"));
    EXPECT_LT(api.IndexOf("DiGetClassDevs"), api.IndexOf("DiInstallClass"));
    EXPECT_LT(Event("RegSetValue osflg"), Event("DdeOpen"));
    EXPECT_LT(Event("DdeClose"), Event("MessageBox"));
    EXPECT_EQ(os.events[os.events.size() - 2], "EnableShutdownPrivilege");
    EXPECT_EQ(os.events.back(), "ExitWindows 6");  // EWX_REBOOT | EWX_FORCE
    ASSERT_EQ(os.messageBoxes.size(), 1u);
    EXPECT_EQ(os.messageBoxes[0].text, "Install finished,the computer will reboot.");
    EXPECT_EQ(os.messageBoxes[0].caption, "Prompt");
    EXPECT_EQ(os.messageBoxes[0].type, app::kMbIconInformation);
    EXPECT_EQ(os.messageBoxes[0].owner, dialog.handle());
}

TEST_F(FlowTest, Windows98RestartsWithoutPrivilegesAndFlags98)
{
    os.platformId = 1;
    EXPECT_TRUE(dlg.Start(dialog));
    EXPECT_EQ(os.Value(kKey, "osflg").data, "98");
    EXPECT_TRUE(os.Exists("c:\\veltran\\Uninst.exe"));
    EXPECT_EQ(Event("EnableShutdownPrivilege"), -1);
    EXPECT_EQ(os.exitWindowsCalls, std::vector<std::uint32_t>({2}));  // EWX_REBOOT
    EXPECT_NE(api.IndexOf("DiInstallClass c:\\pkg\\98\\Dravo98.inf"), -1);
}

TEST_F(FlowTest, StartPressedAgainWhileAnOwnerlessBoxIsUpIsIgnored)
{
    // The driver steps' boxes have no owner, so the dialog stays usable behind them and
    // its Start button can be pressed again from inside the running installation.
    api.failing = {"InstallServicesFromInfSection zelkron.NT.Services 0x0"};
    int nested = 0;
    bool nestedResult = true;
    os.onMessageBox = [&](const app::MessageBoxCall& box) {
        if (box.owner == nullptr && nested++ == 0)
            nestedResult = dlg.Start(dialog);
    };
    EXPECT_TRUE(dlg.Start(dialog));
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(api.CallsStartingWith("DiInstallClass").size(), 1u);
    EXPECT_EQ(os.exitWindowsCalls.size(), 1u);
    EXPECT_EQ(MessageTexts(), Lines({"system error 0xE000020E", "Install finished,the computer will reboot."}));
}

TEST_F(FlowTest, NoRestartWithoutTheShutdownPrivilege)
{
    os.shutdownPrivilege = false;
    EXPECT_TRUE(dlg.Start(dialog));
    EXPECT_TRUE(os.exitWindowsCalls.empty());
    EXPECT_TRUE(dialog.ended);
}

TEST_F(FlowTest, AnInvalidPathKeepsTheDialogOpenUntilAGoodOneIsGiven)
{
    for (const std::string& path : {std::string("q:\\veltran"), std::string(""), "c:\\" + std::string(243, 'v')}) {
        os.messageBoxes.clear();
        dialog.controls[IDC_PATH_EDIT].text = path;
        EXPECT_FALSE(dlg.Start(dialog)) << path;
        EXPECT_FALSE(dialog.ended);
        ASSERT_EQ(MessageTexts(), Lines({"Please input a valid path!"})) << path;
        EXPECT_EQ(os.messageBoxes[0].caption, "Prompt");
        EXPECT_EQ(os.messageBoxes[0].type, app::kMbIconError);
        EXPECT_EQ(os.messageBoxes[0].owner, dialog.handle());
        EXPECT_FALSE(os.HasKey(kKey));
        EXPECT_TRUE(api.calls.empty());
    }
    // The longest accepted folder: its tool path just fits 259 characters.
    os.messageBoxes.clear();
    os.WriteFile("c:\\pkg\\filelist.ini", "[win2k]\nfilenum=1\nfile0=Pointwell.exe\n");
    dialog.controls[IDC_PATH_EDIT].text = "c:\\" + std::string(242, 'v');
    EXPECT_TRUE(dlg.Start(dialog));
    EXPECT_EQ(dlg.installer().toolPath.size(), 259u);
    EXPECT_EQ(os.Value(kKey, "osflg").data, "xp");
}

TEST_F(FlowTest, AnUnknownFamilyEndsAfterTheSettings)
{
    for (int platform : {0, -1, 3}) {
        FakeDialog d;
        d.controls[IDC_PATH_EDIT].text = "c:\\veltran";
        os.platformId = platform;
        EXPECT_TRUE(dlg.Start(d)) << platform;
        EXPECT_TRUE(d.ended);
        EXPECT_EQ(os.Value(kKey, "IsCfg").data, "no");
        EXPECT_FALSE(os.Exists("c:\\veltran\\list.cpd"));
        EXPECT_FALSE(os.HasValue(kKey, "osflg"));
        EXPECT_TRUE(os.messageBoxes.empty());
        EXPECT_TRUE(api.calls.empty());
    }
}

TEST_F(FlowTest, AFailedCopyEndsBeforeTheDrivers)
{
    for (int platform : {2, 1}) {
        FakeDialog d;
        d.controls[IDC_PATH_EDIT].text = "c:\\veltran";
        os.platformId = platform;
        os.WriteFile("c:\\pkg\\filelist.ini", "[win2k]\nfilenum=0\n[win98]\nfilenum=0\n");
        EXPECT_TRUE(dlg.Start(d)) << platform;
        EXPECT_TRUE(d.ended) << platform;
        EXPECT_EQ(d.result, 0) << platform;
        EXPECT_TRUE(api.calls.empty()) << platform;
        EXPECT_TRUE(os.copies.empty()) << platform;
        EXPECT_FALSE(os.HasValue(kKey, "osflg")) << platform;
        EXPECT_TRUE(os.exitWindowsCalls.empty()) << platform;
    }
}

TEST_F(FlowTest, AFailedDriverStepWritesOsFlagButNoGroupAndNoRestart)
{
    api.failing = {"DiInstallClass"};
    EXPECT_TRUE(dlg.Start(dialog));
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(os.Value(kKey, "osflg").data, "xp");
    EXPECT_EQ(Event("DdeOpen"), -1);
    EXPECT_TRUE(os.messageBoxes.empty());
    EXPECT_TRUE(os.exitWindowsCalls.empty());
}

TEST_F(FlowTest, WithoutProgramManagerOrDdeTheInstallationStillRestarts)
{
    os.ddeAvailable = false;
    EXPECT_TRUE(dlg.Start(dialog));
    EXPECT_EQ(MessageTexts(), Lines({"Install finished,the computer will reboot."}));
    EXPECT_EQ(os.exitWindowsCalls.size(), 1u);

    FakeDialog again;
    again.controls[IDC_PATH_EDIT].text = "c:\\veltran";
    os.messageBoxes.clear();
    os.ddeInitializes = false;
    EXPECT_TRUE(dlg.Start(again));
    EXPECT_EQ(MessageTexts(), Lines({"DDE Error!", "Install finished,the computer will reboot."}));
    EXPECT_EQ(os.exitWindowsCalls.size(), 2u);
}

}  // namespace
}  // namespace setuptest
