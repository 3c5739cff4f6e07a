// Pointwell's main dialog on the native machine: start-up, the delayed first
// calibration, the pages, tabs and dragging, what SaveSettings stores and starts,
// and leaving with Escape or the Exit tab.
#include "maindialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../common/testfiles.h"
#include "appplatform_native.h"
#include "axistable.h"
#include "langtext.h"
#include "simkernel/sim.h"
#include "zelkoioctl.h"

namespace pointwell {
namespace {

const char* const kKernelToolKey = "\\REGISTRY\\Machine\\SOFTWARE\\Veltran\\Pointwell";
const char* const kKernelRunKey = "\\REGISTRY\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class FakeView : public MainView {
public:
    skin::Rect ClientRect() override { return client; }
    void ClientToScreen(int* x, int* y) override
    {
        *x += int(window->rect.left);
        *y += int(window->rect.top);
    }
    void SetCapture() override { ++captures; }
    void ReleaseCapture() override { ++releases; }
    void* SetTabCursor() override
    {
        void* previous = cursor;
        cursor = tabCursor;
        return previous;
    }
    void RestoreCursor(void* c) override { cursor = c; }
    void SetIcons() override { ++icons; }
    skin::DrawContext BeginDraw() override { return &canvas; }
    void EndDraw(skin::DrawContext) override {}
    bool IsMinimized() override { return minimized; }
    void DrawIconCentred(skin::DrawContext) override { ++iconPaints; }
    std::intptr_t RunCalibrationDialog(CalibrationScreen&) override
    {
        ++calibrationScreens;
        return kResultEnter;  // nothing saved for the pass
    }
    std::intptr_t RunVerifyDialog(VerifyCountdown&) override { return kResultEscape; }

    app::NativeAppWindow* window = nullptr;
    skin::Rect client{0, 0, 561, 400};
    skin::Canvas canvas{1200, 900};
    void* const arrow = reinterpret_cast<void*>(0xA1);
    void* const tabCursor = reinterpret_cast<void*>(0x157);
    void* cursor = arrow;
    int captures = 0, releases = 0, icons = 0, iconPaints = 0, calibrationScreens = 0;
    bool minimized = false;
};

class MainDialogTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        sim::Reset();
        ASSERT_TRUE(sim::registry::CreateKey(kKernelRunKey));  // every Windows has it
        ResetTouchEventMemory();
        LangId = 0;
        std::strcpy(LangFolder, "en");
        platform.root = dir;
        platform.modulePath = "C:\\Tool\\Pointwell.exe";
        platform.driveKernelClock = false;
        ASSERT_EQ(std::system(("mkdir -p '" + dir + "/c/tool/en'").c_str()), 0);
        platform.deviceOpenHook = [this](const char*) { return framePresent; };
        platform.deviceHook = [this](std::uint32_t code, const void* in, std::uint32_t, void* out,
                                     std::uint32_t outSize, std::uint32_t* returned) {
            if (code == IOCTL_ZELKO_COMMAND) {
                const int c = static_cast<const std::uint8_t*>(in)[0];
                commands.push_back(c);
                if (c == CMD_RELOAD)
                    tablesAtReload = sim::registry::KeyExists(kKernelToolKey) && HasTables();
                return true;
            }
            std::uint8_t record[16] = {};  // nothing pending
            ZelkoPutU32(record + 4, ZELKO_NO_EVENT);
            ZelkoPutU32(record + 8, ZELKO_NO_EVENT);
            ZelkoPutU32(record + 12, ZELKO_NO_EVENT);
            std::memcpy(out, record, outSize < 16 ? outSize : 16);
            *returned = 16;
            return true;
        };
        previous = app::SetAppPlatform(&platform);
        // The template: every control but the edit box starts hidden.
        for (int id : {1006, 1009, 1028, 1046, 1017, 1018, 1019, 1052, 1053, 1054, 1043, 1021, 1044, 1045, 1040, 1050,
                       1041, 1026})
            dialog.Show(id, false);
        dialog.SetKind(IDC_SLIDER, app::NativeDialog::Kind::kTrackbar);
        dialog.window().rect = skin::Rect{100, 50, 661, 450};
        dialog.window().clientOnScreen = skin::Rect{100, 50, 661, 450};
        view.window = &dialog.window();
        dialog.proc() = [this](const app::Message& m) -> std::intptr_t {
            if (m.msg == app::kWmTimer)
                tool.OnTimer(m.wParam);
            if (m.msg == kStartCalibrationMessage)
                tool.OnStartCalibration();
            return 0;
        };
    }
    void TearDown() override
    {
        app::SetAppPlatform(previous);
        TempDirTest::TearDown();
    }

    bool HasTables()
    {
        sim::registry::Value x, y;
        return sim::registry::GetValue(kKernelToolKey, "XArray", &x) &&
               sim::registry::GetValue(kKernelToolKey, "YArray", &y);
    }
    void Start()
    {
        tool.BeforeCreate();
        ASSERT_TRUE(tool.OnInitDialog(dialog, view));
    }
    void Set(const char* name, const char* text)
    {
        RegistryStore store;
        store.EnsureKey();
        store.WriteText(name, text);
    }
    std::string Get(const char* name)
    {
        std::string text;
        return platform.RegistryText(app::kHkeyLocalMachine, kToolKey, name, &text) ? text : "<absent>";
    }
    std::string Run(const char* name)
    {
        std::string text;
        return platform.RegistryText(app::kHkeyLocalMachine, kRunKey, name, &text) ? text : "<absent>";
    }
    void Skin(int w = 561, int h = 400)
    {
        Write("c/tool/en/main.bmp", MakeBmp(BmpFields{w, h}));
        Write("c/tool/en/mainbk.bmp", MakeBmp(BmpFields{w, h}));
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> r;
        for (const auto& b : platform.messageBoxes)
            r.push_back(b.caption + ": " + b.text);
        return r;
    }

    app::NativeAppPlatform platform;
    app::Platform* previous = nullptr;
    app::NativeDialog dialog{platform, "Pointwell"};
    FakeView view;
    MainDialog tool;
    bool framePresent = true;
    std::vector<int> commands;
    bool tablesAtReload = false;
};

// ---- start-up ------------------------------------------------------------------------------

TEST_F(MainDialogTest, WithoutTheFrameTheToolSaysSoAndNeitherCalibratesNorCommands)
{
    framePresent = false;
    Start();
    // The key is missing too: CONFIGDRV (owned by the dialog) comes before NOUSBDEV.
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Prompt: Please config the device immediately.",
                                                 "Error: No USB Infrared Touch found!"}));
    EXPECT_EQ(platform.messageBoxes[0].owner, dialog.handle());
    EXPECT_EQ(platform.messageBoxes[0].type, 0x10u);
    EXPECT_EQ(platform.messageBoxes[1].owner, nullptr);
    EXPECT_FALSE(tool.DevicePresent());
    EXPECT_FALSE(dialog.IsVisible(IDC_CONFIG));
    EXPECT_FALSE(tool.calibrationStartPending());
    platform.Advance(1000);
    EXPECT_EQ(view.calibrationScreens, 0);
    tool.SaveSettings();
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(platform.messageBoxes.size(), 2u);  // no SNDCMDERROR either
}

TEST_F(MainDialogTest, AnUncalibratedFrameIsCalibratedOnce100msAfterTheStart)
{
    for (const char* isCfg : {"", "NO", "YES ", "yes", "Yes"}) {
        SCOPED_TRACE(isCfg);
        sim::Reset();
        if (*isCfg)
            Set("IsCfg", isCfg);
        MainDialog t;
        app::NativeDialog d(platform, "Pointwell");
        int started = 0;
        d.proc() = [&](const app::Message& m) -> std::intptr_t {
            if (m.msg == app::kWmTimer)
                t.OnTimer(m.wParam);
            if (m.msg == kStartCalibrationMessage)
                ++started;
            return 0;
        };
        t.BeforeCreate();
        t.OnInitDialog(d, view);
        const bool calibrated = std::string(isCfg) == "yes" || std::string(isCfg) == "Yes";
        EXPECT_EQ(t.calibrationStartPending(), !calibrated);
        EXPECT_TRUE(d.IsVisible(IDC_CONFIG));
        platform.Advance(99);
        EXPECT_EQ(started, 0);
        platform.Advance(1);
        EXPECT_EQ(started, calibrated ? 0 : 1);
        platform.Advance(1000);
        EXPECT_EQ(started, calibrated ? 0 : 1);  // once per run
        EXPECT_FALSE(platform.HasTimer(d.handle(), kStartTimerId));
    }
}

TEST_F(MainDialogTest, Message9999RunsTheCalibration)
{
    Set("doneMode", "1");  // the key exists: the confirmation can be stored
    Start();
    platform.Advance(100);
    EXPECT_EQ(view.calibrationScreens, 1);
    // The pass put the frame into raw mode and out again, and the user confirmed.
    EXPECT_EQ(commands, (std::vector<int>{CMD_RAW_ON, CMD_RAW_OFF}));
    EXPECT_EQ(Get("IsCfg"), "YES");
}

TEST_F(MainDialogTest, StartClosesTheButtonSwapUtilitiesAndTheToolsOwnRunEntry)
{
    for (int i = 0; i < 3; ++i)
        platform.AddWindow("Function");
    platform.AddWindow("beep");
    ASSERT_TRUE(sim::registry::CreateKey(kKernelRunKey));
    RegistryStore().SetRunEntry("Pointwell", "C:\\Tool\\Pointwell.exe");
    Start();
    EXPECT_EQ(platform.CountWindows("Function"), 0);
    EXPECT_EQ(platform.CountWindows("beep"), 1);
    EXPECT_EQ(Run("Pointwell"), "<absent>");
    EXPECT_EQ(view.icons, 1);
}

TEST_F(MainDialogTest, ControlsStartFromTheStoredValues)
{
    Start();  // nothing stored
    EXPECT_EQ(dialog.SendItemMessage(IDC_SLIDER, 0x400, 0, 0), 30);
    EXPECT_EQ(dialog.control(IDC_SLIDER).rangeMax, 40);
    EXPECT_FALSE(dialog.IsChecked(IDC_UPMODE) || dialog.IsChecked(IDC_DOWNMODE) || dialog.IsChecked(IDC_DRAGMODE));
    EXPECT_FALSE(dialog.IsVisible(IDC_SERCLICKMODE));
    EXPECT_EQ(dialog.Text(IDC_SWAPBUTTONBOX), "Swap Left&Right");
    EXPECT_EQ(dialog.Text(IDC_CONFIG), "Config");

    Set("moveSlider", "12");
    Set("doneMode", "2");
    Set("chgbutton", "2");
    Set("beep", "1");
    Set("changexy", "1");
    MainDialog again;
    app::NativeDialog d(platform, "Pointwell");
    d.SetKind(IDC_SLIDER, app::NativeDialog::Kind::kTrackbar);
    again.BeforeCreate();
    again.OnInitDialog(d, view);
    EXPECT_EQ(d.SendItemMessage(IDC_SLIDER, 0x400, 0, 0), 12);
    EXPECT_TRUE(d.IsChecked(IDC_DOWNMODE));
    EXPECT_FALSE(d.IsChecked(IDC_SWAPBUTTONBOX));  // "2" is not on
    EXPECT_TRUE(d.IsChecked(IDC_BEEPBOX));
    EXPECT_TRUE(d.IsChecked(IDC_SWAPXYBOX));
    EXPECT_EQ(again.settings().mode, 2);

    Set("doneMode", "2 ");  // not exactly a mode
    MainDialog third;
    app::NativeDialog d3(platform, "Pointwell");
    third.BeforeCreate();
    third.OnInitDialog(d3, view);
    EXPECT_FALSE(d3.IsChecked(IDC_DOWNMODE));
    EXPECT_EQ(third.settings().mode, 0);
}

// ---- SaveSettings ------------------------------------------------------------------------------

TEST_F(MainDialogTest, SaveSettingsStoresEverySettingTheTablesThenReloads)
{
    platform.metrics = {{0, 1024}, {1, 768}};
    Set("Kx", "0.2");
    Set("Cx", "-50");
    Set("Ky", "0.1");
    Set("Cy", "10");
    Start();
    dialog.SetChecked(IDC_DRAGMODE, true);
    dialog.SetChecked(IDC_SWAPXYBOX, true);
    dialog.SetChecked(IDC_DISABLEBOX, false);
    dialog.SendItemMessage(IDC_SLIDER, 0x405, 1, 7);
    dialog.Enable(IDC_SAVE, true);
    tool.SaveSettings();

    EXPECT_EQ(Get("doneMode"), "3");
    EXPECT_EQ(Get("changexy"), "1");
    EXPECT_EQ(Get("disabledev"), "0");
    EXPECT_EQ(Get("chgbutton"), "0");
    EXPECT_EQ(Get("beep"), "0");
    EXPECT_EQ(Get("moveSlider"), "7");
    sim::registry::Value x, y;
    ASSERT_TRUE(sim::registry::GetValue(kKernelToolKey, "XArray", &x));
    ASSERT_TRUE(sim::registry::GetValue(kKernelToolKey, "YArray", &y));
    ASSERT_EQ(x.data.size(), 10000u);
    ASSERT_EQ(y.data.size(), 10000u);
    // Entry 1000: x p = 150 -> 150 / 1024 * 65535 = 9599; y p = trunc(110.5) = 110 -> 110 / 768 * 65535 = 9386.
    EXPECT_EQ(x.data[2000] | x.data[2001] << 8, 9599);
    EXPECT_EQ(y.data[2000] | y.data[2001] << 8, 9386);
    EXPECT_EQ(commands, (std::vector<int>{CMD_RELOAD}));
    EXPECT_TRUE(tablesAtReload);  // the driver is told only once everything is stored
    EXPECT_FALSE(dialog.control(IDC_SAVE).enabled);
    ASSERT_FALSE(platform.sleeps.empty());
    EXPECT_EQ(platform.sleeps.back(), 500u);
    EXPECT_EQ(tool.settings().mode, 3);
    EXPECT_EQ(tool.settings().slider, 7);
}

TEST_F(MainDialogTest, WithNoModeCheckedTheStoredModeStays)
{
    Set("doneMode", "2");
    Start();
    dialog.SetChecked(IDC_DOWNMODE, false);
    tool.SaveSettings();
    EXPECT_EQ(Get("doneMode"), "2");
}

TEST_F(MainDialogTest, CompanionsFollowTheirSwitches)
{
    Start();
    dialog.SetChecked(IDC_SWAPBUTTONBOX, true);
    dialog.SetChecked(IDC_BEEPBOX, true);
    platform.programWindows["flipkey.exe"] = "Function";
    platform.programWindows["BEEP.exe"] = "beep";
    tool.SaveSettings();
    EXPECT_EQ(Get("chgbutton"), "1");
    EXPECT_EQ(Get("beep"), "1");
    EXPECT_EQ(Run("ChgFile"), "C:\\Tool\\flipkey.exe");
    EXPECT_EQ(Run("beep"), "C:\\Tool\\BEEP.exe");
    ASSERT_EQ(platform.shellCalls.size(), 2u);
    EXPECT_EQ(platform.shellCalls[0].file, "C:\\Tool\\flipkey.exe");
    EXPECT_EQ(platform.shellCalls[0].verb, "open");
    EXPECT_EQ(platform.shellCalls[0].show, 1);
    EXPECT_EQ(platform.shellCalls[1].file, "C:\\Tool\\BEEP.exe");

    // Running already: not started twice.
    tool.SaveSettings();
    EXPECT_EQ(platform.shellCalls.size(), 2u);
    EXPECT_EQ(platform.CountWindows("Function"), 1);

    // Switched off: the entries go and the programs are closed.
    dialog.SetChecked(IDC_SWAPBUTTONBOX, false);
    dialog.SetChecked(IDC_BEEPBOX, false);
    tool.SaveSettings();
    EXPECT_EQ(Run("ChgFile"), "<absent>");
    EXPECT_EQ(Run("beep"), "<absent>");
    EXPECT_EQ(platform.CountWindows("Function"), 0);
    EXPECT_EQ(platform.CountWindows("beep"), 0);
    EXPECT_EQ(Get("chgbutton"), "0");
}

TEST_F(MainDialogTest, EscapeAndEnterStoreNothing)
{
    for (int key : {2, 1}) {
        sim::Reset();
        Set("doneMode", "1");
        const auto before = sim::registry::Values(kKernelToolKey);
        MainDialog t;
        app::NativeDialog d(platform, "Pointwell");
        t.BeforeCreate();
        t.OnInitDialog(d, view);
        d.SetChecked(IDC_UPMODE, false);
        d.SetChecked(IDC_DRAGMODE, true);
        d.SetChecked(IDC_BEEPBOX, true);
        commands.clear();
        t.OnCommand(key);
        EXPECT_TRUE(d.ended());
        EXPECT_EQ(d.result(), key);
        const auto after = sim::registry::Values(kKernelToolKey);
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_EQ(after[i].data, before[i].data) << after[i].name;
        EXPECT_TRUE(commands.empty());
        EXPECT_TRUE(platform.shellCalls.empty());
    }
}

// ---- tabs, pages, dragging -----------------------------------------------------------------------

TEST(TabHitTest, BoundsAreExclusiveAndTruncated)
{
    // 561 x 400: sx = 0.9999999999999999, so the column is 14 < x < 80.
    const double sx = 561 * kScaleX, sy = 400 * kScaleY;
    EXPECT_LT(sx, 1.0);
    EXPECT_EQ(TabAt(sx, sy, 50, 160), 0);
    EXPECT_EQ(TabAt(sx, sy, 50, 146), -1);
    EXPECT_EQ(TabAt(sx, sy, 50, 147), 0);
    EXPECT_EQ(TabAt(sx, sy, 50, 183), 0);
    EXPECT_EQ(TabAt(sx, sy, 50, 184), -1);
    EXPECT_EQ(TabAt(sx, sy, 14, 160), -1);
    EXPECT_EQ(TabAt(sx, sy, 15, 160), 0);
    EXPECT_EQ(TabAt(sx, sy, 79, 220), 1);
    EXPECT_EQ(TabAt(sx, sy, 80, 220), -1);
    EXPECT_EQ(TabAt(sx, sy, 50, 296), 2);
    EXPECT_EQ(TabAt(sx, sy, 50, 357), 3);
    EXPECT_FALSE(InTitleArea(sx, sy, 50, 146));
    EXPECT_TRUE(InTitleArea(sx, sy, 300, 40));
    EXPECT_TRUE(InTitleArea(sx, sy, 602, 76));
    EXPECT_FALSE(InTitleArea(sx, sy, 603, 40));
    EXPECT_FALSE(InTitleArea(sx, sy, 300, 4));
    // 1122 x 800: the Data tab is 29 < x < 161 and 404 < y < 478.
    const double sx2 = 1122 * kScaleX, sy2 = 800 * kScaleY;
    EXPECT_EQ(TabAt(sx2, sy2, 30, 405), 1);
    EXPECT_EQ(TabAt(sx2, sy2, 160, 477), 1);
    EXPECT_EQ(TabAt(sx2, sy2, 29, 405), -1);
    EXPECT_EQ(TabAt(sx2, sy2, 161, 405), -1);
    EXPECT_EQ(TabAt(sx2, sy2, 30, 404), -1);
    EXPECT_EQ(TabAt(sx2, sy2, 30, 478), -1);
}

TEST_F(MainDialogTest, PressesOnTheSkinSwitchPagesOrDragTheWindow)
{
    Skin();
    Write("c/tool/en/ModeMsg.txt", "mode text");
    Write("c/tool/en/DataMsg.txt", "data text");
    Start();
    ASSERT_TRUE(tool.backgroundLoaded());
    EXPECT_EQ(tool.tabRect(1).top, 196);
    EXPECT_TRUE(dialog.window().shaped);  // clipped to the client area

    tool.OnLButtonDown(50, 146);  // on no tab, and below the title area
    EXPECT_EQ(tool.page(), 1);
    EXPECT_FALSE(tool.dragging());
    EXPECT_TRUE(platform.sleeps.empty());

    tool.OnLButtonDown(50, 210);
    EXPECT_EQ(tool.page(), 2);
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{200}));
    EXPECT_EQ(dialog.Text(IDC_PAGETEXT), "data text");
    for (int id : {1040, 1050, 1043, 1044, 1045, 1041, 1026, 1021, 1025})
        EXPECT_TRUE(dialog.IsVisible(id)) << id;
    for (int id : {1046, 1017, 1018, 1019, 1006, 1009, 1028, 1052})
        EXPECT_FALSE(dialog.IsVisible(id)) << id;

    tool.OnLButtonDown(50, 270);  // Verify: Config shows, device or not
    EXPECT_TRUE(dialog.IsVisible(IDC_CONFIG));
    EXPECT_EQ(dialog.Text(IDC_PAGETEXT), "");  // no VerifyMsg.txt

    tool.OnLButtonDown(300, 40);
    EXPECT_TRUE(tool.dragging());
    EXPECT_EQ(view.captures, 1);
    tool.OnMouseMove(310, 45);
    EXPECT_EQ(dialog.WindowRect().left, 110);
    EXPECT_EQ(dialog.WindowRect().top, 55);
    EXPECT_EQ(dialog.WindowRect().right, 671);
    tool.OnMouseMove(300, 40);  // the same screen point as the last one: no move
    EXPECT_EQ(dialog.WindowRect().left, 110);
    tool.OnLButtonUp();
    EXPECT_FALSE(tool.dragging());
    EXPECT_EQ(view.releases, 1);
}

TEST_F(MainDialogTest, WithoutTheSkinTheDesignUnitsAreTakenAsPixels)
{
    Start();
    EXPECT_FALSE(tool.backgroundLoaded());
    EXPECT_EQ(tool.sx(), 1.0);
    tool.OnLButtonDown(15, 160);  // 15 < x fails at scale 1.0 (it passes at 0.99999...)
    EXPECT_EQ(tool.page(), 1);
    EXPECT_TRUE(platform.sleeps.empty());
}

TEST_F(MainDialogTest, HoverSwapsTheCursorAndGivesTheOriginalBack)
{
    Skin();
    Start();
    tool.OnMouseMove(50, 160);
    EXPECT_EQ(view.cursor, view.tabCursor);
    tool.OnMouseMove(50, 220);  // tab to tab
    tool.OnMouseMove(300, 300);
    EXPECT_EQ(view.cursor, view.arrow);
}

TEST_F(MainDialogTest, PageTextsAreCutAt10200BytesAndAnEmptyFileKeepsTheText)
{
    Write("c/tool/en/DataMsg.txt", std::string(10300, 'a'));
    Write("c/tool/en/ModeMsg.txt", "");
    Start();
    tool.OnPaint(&view.canvas);  // the first paint shows page 1: an empty file
    EXPECT_EQ(dialog.Text(IDC_PAGETEXT), "");
    for (int id : {1046, 1017, 1018, 1019, 1025})
        EXPECT_TRUE(dialog.IsVisible(id)) << id;
    tool.OnLButtonDown(50, 210);
    EXPECT_EQ(dialog.Text(IDC_PAGETEXT).size(), 10200u);
    tool.OnLButtonDown(50, 160);
    EXPECT_EQ(dialog.Text(IDC_PAGETEXT).size(), 10200u);  // nothing read: the text stays
}

TEST_F(MainDialogTest, TheExitTabSavesClosesTheDeviceAndEndsTheDialog)
{
    Skin();
    Start();
    dialog.SetChecked(IDC_UPMODE, true);
    tool.OnLButtonDown(50, 330);
    EXPECT_EQ(tool.page(), 4);
    EXPECT_FALSE(tool.backgroundLoaded());
    EXPECT_EQ(Get("doneMode"), "1");
    EXPECT_EQ(commands, (std::vector<int>{CMD_RELOAD}));
    EXPECT_EQ(platform.deviceCloses, 1);
    EXPECT_TRUE(dialog.ended());
    EXPECT_EQ(dialog.result(), 0);
}

}  // namespace
}  // namespace pointwell

namespace pointwell {
namespace {

// NOLOGO is read before the language is chosen, so from [0409]; the skin then comes
// from the nologo tree of the system's language.
TEST_F(MainDialogTest, NoLogoTakesTheSkinFromTheNoLogoTree)
{
    Write("c/tool/lang.lg", "[0409]\r\nNOLOGO=yes\r\n[0404]\r\nIDC_BEEP=x\r\n");
    platform.langId = 0x0404;
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "/c/tool/nologo/tw'").c_str()), 0);
    Write("c/tool/nologo/tw/main.bmp", MakeBmp(BmpFields{561, 400}));
    Start();
    EXPECT_TRUE(tool.noLogo());
    EXPECT_STREQ(LangFolder, "tw");
    EXPECT_TRUE(tool.backgroundLoaded());
    EXPECT_FALSE(tool.highlightLoaded());
}

TEST_F(MainDialogTest, AMinimisedWindowPaintsItsIconOnly)
{
    Skin();
    Start();
    view.minimized = true;
    const int draws = view.canvas.dibCalls;
    tool.OnPaint(&view.canvas);
    EXPECT_EQ(view.iconPaints, 1);
    EXPECT_EQ(view.canvas.dibCalls, draws);
    EXPECT_EQ(dialog.Text(IDC_PAGETEXT), "");  // no page shown yet
}

}  // namespace
}  // namespace pointwell

namespace pointwell {
namespace {

// Every captioned control gets its own key's text (here the English defaults), and
// the slider its range and ticks.
TEST_F(MainDialogTest, EachControlGetsItsCaptionAndTheSliderItsTicks)
{
    Start();
    const std::pair<int, const char*> captions[] = {
        {1006, "Config"},
        {1009, "Save"},
        {1046, "Touch Mode"},
        {1017, "Up Mode(Config)"},
        {1018, "Down Mode"},
        {1019, "Drag Mode"},
        {1052, "Serial Click Mode"},
        {1053, "OEM Mode"},
        {1043, "Stability"},
        {1044, "Low"},
        {1045, "High"},
        {1040, "Play Beep"},
        {1041, "SwapXY"},
        {1028, "Close"},
        {1026, "Swap Left&Right"},
        {1050, "Forbid Touch"},
    };
    for (const auto& c : captions)
        EXPECT_EQ(dialog.Text(c.first), c.second) << c.first;

    std::vector<std::intptr_t> ticks;
    for (const app::Message& m : dialog.control(IDC_SLIDER).messages)
        if (m.msg == 0x0404)
            ticks.push_back(m.lParam);  // TBM_SETTIC
    ASSERT_EQ(ticks.size(), 39u);
    EXPECT_EQ(ticks.front(), 1);
    EXPECT_EQ(ticks.back(), 39);
    EXPECT_EQ(dialog.control(IDC_SLIDER).rangeMin, 0);
    EXPECT_EQ(dialog.control(IDC_SLIDER).rangeMax, 40);
}

// The tabs are cut from the pictures by their rectangles. The test pictures show, at
// each pixel, its column and its row counted from the bottom; mainbk.bmp is made 450
// rows high so that its parts tell themselves apart from main.bmp's (400 rows).
// Client 561 x 400: sy = 1.0, so the Verify tab's destination is (0, 251, 92, 47),
// cut from source (0, 249, 84, 46): its top row is row 249 from the top, which is
// row 150 from the bottom of main.bmp and row 200 of mainbk.bmp; its bottom row
// (y 297) is source row 294 from the top (105 and 155 from the bottom); its last
// column (x 91) is source column trunc(91 * 84 / 92) = 83.
TEST_F(MainDialogTest, HoverDrawsTheTabsFromTheirSourceRectangles)
{
    Write("c/tool/en/main.bmp", MakeBmp(BmpFields{561, 400}));
    Write("c/tool/en/mainbk.bmp", MakeBmp(BmpFields{561, 450}));
    Start();
    ASSERT_TRUE(tool.highlightLoaded());
    auto at = [&](int x, int y) { return view.canvas.At(x, y); };
    // The background alone: client row y shows main.bmp's row 399 - y from the bottom.
    EXPECT_EQ(at(0, 251), 148u);

    tool.OnMouseMove(50, 270);  // over Verify: highlighted, the other three normal
    EXPECT_EQ(at(0, 251), 200u);
    EXPECT_EQ(at(91, 297), (83u << 16) | 155u);
    EXPECT_EQ(at(92, 251), (92u << 16) | 148u);  // right of the tab: background
    EXPECT_EQ(at(0, 250), 149u);                 // above it: background
    EXPECT_EQ(at(0, 298), 101u);                 // below it: background
    // Mode in its normal look: destination (0, 140, 92, 49) from source (0, 139, 84, 46).
    EXPECT_EQ(at(0, 140), 260u);
    EXPECT_EQ(at(0, 188), 215u);  // the 49th row: source row 184 from the top
    // Exit: destination (0, 313, 92, 47) from source (0, 310, 84, 46).
    EXPECT_EQ(at(0, 313), 89u);

    tool.OnMouseMove(50, 160);  // over Mode: Verify goes back to its normal look
    EXPECT_EQ(at(0, 251), 150u);
    EXPECT_EQ(at(0, 140), 310u);  // Mode highlighted: row 139 from the top of mainbk.bmp
}

}  // namespace
}  // namespace pointwell

namespace pointwell {
namespace {

// A drag lives as long as the tool holds the mouse: when another window takes the
// capture (a message box, a switch to another program) the button's release goes
// there, and the window must not go on following a mouse whose button is up.
TEST_F(MainDialogTest, ADragEndsWhenTheCaptureIsTakenAway)
{
    Skin();
    Start();
    tool.OnLButtonDown(300, 40);
    ASSERT_TRUE(tool.dragging());
    tool.OnCaptureLost();
    EXPECT_FALSE(tool.dragging());
    tool.OnMouseMove(320, 60);
    EXPECT_EQ(dialog.WindowRect().left, 100);
    EXPECT_EQ(dialog.WindowRect().top, 50);
    tool.OnLButtonUp();
    EXPECT_EQ(view.releases, 0);  // nothing to release: the capture is gone already
}

}  // namespace
}  // namespace pointwell
