// The calibration's logic on the native platform: how touches become clicks, what a
// pass sends to the driver and stores, the mapping's arithmetic, the drawing of the
// targets and the Examination countdown. The expected values are worked out by hand
// from the rules (see the comments beside them).
#include "calibration.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "appplatform_native.h"
#include "langtext.h"
#include "zelkoioctl.h"

namespace pointwell {
namespace {

// Zelko's control device as a script: samples waiting to be read (then the
// no-event record), and every command received. It answers the native platform's
// device calls.
class ScriptedDevice {
public:
    bool Control(std::uint32_t code, const void* in, void* out, std::uint32_t outSize, std::uint32_t* returned)
    {
        if (code == IOCTL_ZELKO_COMMAND) {
            commands.push_back(static_cast<const std::uint8_t*>(in)[0]);
            log->push_back("command " + std::to_string(commands.back()));
            *returned = 0;
            return true;
        }
        std::uint8_t record[16] = {};
        std::uint32_t x = ZELKO_NO_EVENT, y = ZELKO_NO_EVENT, status = ZELKO_NO_EVENT;
        if (!samples.empty()) {
            x = samples.front().x;
            y = samples.front().y;
            status = samples.front().status;
            samples.pop_front();
        }
        ZelkoPutU32(record + 4, x);
        ZelkoPutU32(record + 8, y);
        ZelkoPutU32(record + 12, status);
        std::memcpy(out, record, outSize < 16 ? outSize : 16);
        *returned = 16;
        ++reads;
        return true;
    }
    struct Sample {
        std::uint32_t x, y, status;
    };
    std::deque<Sample> samples;
    std::vector<int> commands;
    int reads = 0;
    std::vector<std::string>* log = nullptr;
};

// The main dialog's side: a tool key in memory, and a log of what was done in order.
class FakeHost : public CalibrationHost {
public:
    explicit FakeHost(app::NativeAppPlatform& platform)
    {
        mainWindow = platform.AddWindow("Pointwell");
        device.log = &log;
        platform.deviceHook = [this](std::uint32_t code, const void* in, std::uint32_t, void* out,
                                     std::uint32_t outSize, std::uint32_t* returned) {
            return device.Control(code, in, out, outSize, returned);
        };
        // Opened on the test's platform, as the tool opens it at start; and the
        // process's first touch is ahead again.
        app::Platform* previous = app::SetAppPlatform(&platform);
        link.Open();
        app::SetAppPlatform(previous);
        ResetTouchEventMemory();
    }

    bool DevicePresent() override { return present; }
    DeviceLink& Link() override { return link; }
    int ReadTouchEvent(TouchEvent* event) override { return pointwell::ReadTouchEvent(link, event); }
    app::Window MainWindow() override { return mainWindow; }
    void EnsureKey() override
    {
        log.push_back("EnsureKey");
        keyExists = true;
    }
    void WriteText(const char* name, const char* text) override
    {
        log.push_back(std::string("write ") + name + "=" + text);
        if (keyExists)
            values[name] = text;  // RegOpenKeyEx fails without the key
    }
    void ReadText(const char* name, char* buffer) override
    {
        log.push_back(std::string("read ") + name);
        auto it = values.find(name);
        if (it != values.end())
            std::snprintf(buffer, 50, "%s", it->second.c_str());
    }
    void SetMapping(double kx, double ky, double cx, double cy) override
    {
        log.push_back("SetMapping");
        mapping[0] = kx, mapping[1] = ky, mapping[2] = cx, mapping[3] = cy;
    }
    void EnableSave() override { log.push_back("EnableSave"); }
    void SaveSettings() override
    {
        log.push_back("SaveSettings");
        if (present)
            link.SendCommand(CMD_RELOAD);
    }
    std::intptr_t RunCalibrationDialog(CalibrationScreen& screen) override
    {
        log.push_back("calibration screen");
        return onScreen ? onScreen(screen) : 0;
    }
    std::intptr_t RunVerifyDialog(VerifyCountdown&) override
    {
        log.push_back("Examination");
        if (verifyResults.empty())
            return kResultEscape;
        const std::intptr_t r = verifyResults.front();
        verifyResults.pop_front();
        return r;
    }

    ScriptedDevice device;
    DeviceLink link;
    bool present = true;
    bool keyExists = true;
    app::Window mainWindow = nullptr;
    std::map<std::string, std::string> values;
    double mapping[4] = {};
    std::vector<std::string> log;
    std::function<std::intptr_t(CalibrationScreen&)> onScreen;
    std::deque<std::intptr_t> verifyResults;
};

// The calibration window's calls, recorded.
class FakeView : public CalibrationView {
public:
    skin::Rect Maximise() override { return window; }
    void PlaceTarget(int x, int y, int w, int h) override { placed.push_back({x, y, x + w, y + h}); }
    void SetTargetIcon() override { ++icons; }
    skin::DrawContext BeginDraw() override { return &canvas; }
    void EndDraw(skin::DrawContext) override {}
    void FillBackground(int w, int h) override { fills.push_back({0, 0, w, h}); }
    void End(std::intptr_t r) override
    {
        ended = true;
        result = r;
    }

    skin::Rect window{0, 0, 1000, 800};
    skin::Canvas canvas{1000, 800};
    std::vector<skin::Rect> placed;
    std::vector<skin::Rect> fills;
    int icons = 0;
    bool ended = false;
    std::intptr_t result = -99;
};

class CalibrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform.metrics = {{0, 1000}, {1, 800}};
        previous = app::SetAppPlatform(&platform);
        std::strcpy(LangFolder, "en");
    }
    void TearDown() override { app::SetAppPlatform(previous); }

    // A sample the frame reports in raw mode.
    void Sample(std::uint32_t x, std::uint32_t y, std::uint32_t status)
    {
        host.device.samples.push_back({x, y, status});
    }
    // One poll per sample waiting.
    void PollAll(Calibration& c)
    {
        while (!host.device.samples.empty())
            c.PollDevice();
    }
    std::vector<std::uint32_t> MouseFlags() const
    {
        std::vector<std::uint32_t> flags;
        for (const auto& m : platform.mouseEvents)
            flags.push_back(m.flags);
        return flags;
    }
    // A whole touch: down at (x+2, y+2), held at (x+1, y+1) and (x, y), lifted at (x, y).
    void Touch(std::uint32_t x, std::uint32_t y)
    {
        Sample(x + 2, y + 2, 0x81);
        Sample(x + 1, y + 1, 0x82);
        Sample(x, y, 0x82);
        Sample(x, y, 0x84);
    }

    app::NativeAppPlatform platform;
    app::Platform* previous = nullptr;
    FakeHost host{platform};
};

// ---- touches into clicks ---------------------------------------------------------------

TEST_F(CalibrationTest, TouchesBecomeOnePressAndOneReleaseAtTheCursor)
{
    Calibration c(host);
    c.set_calibrating(true);

    // The very first sample of the program is ReadTouchEvent's baseline; the next
    // arms the poll; a touch with only one distinct sample then injects nothing.
    Sample(500, 500, 0x81);  // baseline
    Sample(410, 320, 0x81);  // arms
    Sample(410, 320, 0x84);  // release, nothing was pressed
    PollAll(c);
    EXPECT_TRUE(platform.mouseEvents.empty());

    // A normal touch: the first sample arms, the second presses, repeats and equal
    // held samples add nothing, the release releases. Both at the cursor: no
    // movement (relative, 0, 0).
    Sample(200, 300, 0x81);
    Sample(202, 301, 0x82);
    Sample(202, 301, 0x82);  // the same event again: not reported
    Sample(203, 303, 0x82);  // still pressed: the same button state injects nothing
    Sample(204, 305, 0x84);
    PollAll(c);
    ASSERT_EQ(MouseFlags(), (std::vector<std::uint32_t>{kMouseLeftDown, kMouseLeftUp}));
    for (const auto& m : platform.mouseEvents) {
        EXPECT_EQ(m.dx, 0u);
        EXPECT_EQ(m.dy, 0u);
    }
    // The raw point is the release's. Every event the poll passes on is followed by
    // 2 ms, injected or not: the press-less release, the press, the still-pressed
    // sample and the release.
    EXPECT_EQ(c.lastRaw().x, 204);
    EXPECT_EQ(c.lastRaw().y, 305);
    EXPECT_EQ(c.lastRaw().kind, TOUCH_EVENT_RELEASE);
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{2, 2, 2, 2}));

    // Outside a pass the samples are read and dropped.
    c.set_calibrating(false);
    platform.mouseEvents.clear();
    Touch(700, 700);
    PollAll(c);
    EXPECT_TRUE(platform.mouseEvents.empty());
    EXPECT_EQ(c.lastRaw().x, 204);
}

TEST_F(CalibrationTest, InjectButtonTellsTransitionsFromMovesAndScalesToTheScreen)
{
    Calibration c(host);
    c.InjectButton(0x10, 0, 0, 0);            // right pressed
    c.InjectButton(0x10, 0, 0, 0);            // the same triple: nothing
    c.InjectButton(0x20, 0, 0, 0);            // left pressed, right released: the right's flag wins
    c.InjectButton(0x20, 500, 400, 0);        // same buttons: a move, to the middle
    c.InjectButton(0x20, 2500, 900, 0x8000);  // beyond the screen: its edge; extra flags kept
    c.InjectButton(0, 0, 0, 0);               // left released
    ASSERT_EQ(platform.mouseEvents.size(), 5u);
    const std::uint32_t flags[] = {kMouseRightDown, kMouseRightUp, kMouseMove, kMouseMove | 0x8000, kMouseLeftUp};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(platform.mouseEvents[i].flags, flags[i]) << i;
    // 500 / 1000 * 65535 = 32767.5 and 400 / 800 * 65535 likewise: truncated.
    EXPECT_EQ(platform.mouseEvents[2].dx, 32767u);
    EXPECT_EQ(platform.mouseEvents[2].dy, 32767u);
    EXPECT_EQ(platform.mouseEvents[3].dx, 65535u);
    EXPECT_EQ(platform.mouseEvents[3].dy, 65535u);

    // A screen whose size is unknown gives 0, not a division by zero.
    platform.metrics = {{0, 0}, {1, 0}};
    c.InjectButton(0x20, 300, 300, 0);
    EXPECT_EQ(platform.mouseEvents.back().dx, 0u);
    EXPECT_EQ(platform.mouseEvents.back().dy, 0u);
}

// ---- the mapping ------------------------------------------------------------------------

// Takes the four targets with these raw release points.
void TakeTargets(Calibration& c, CalibrationScreen& screen, FakeView& view, const std::int32_t raw[4][2])
{
    screen.OnInit(view);
    for (int k = 0; k < 4; ++k) {
        c.set_lastRaw(TouchEvent{raw[k][0], raw[k][1], TOUCH_EVENT_RELEASE});
        screen.OnStep(view);
    }
}

TEST_F(CalibrationTest, FourTargetsOnA1000By800WindowStoreTheMappingAsText)
{
    Calibration c(host);
    CalibrationScreen screen(c);
    FakeView view;
    host.keyExists = false;  // made before the first value is written
    // Targets (100, 80), (900, 720), (100, 720), (900, 80). In X both diagonals give
    // K = 800 / 800 = 1 and C = 0; in Y K = 640 / 600 and C = 80 - 200 * 640 / 600.
    const std::int32_t raw[4][2] = {{100, 200}, {900, 800}, {100, 800}, {900, 200}};
    TakeTargets(c, screen, view, raw);
    EXPECT_EQ(host.values["Kx"], "1.000000");
    EXPECT_EQ(host.values["Ky"], "1.066667");
    EXPECT_EQ(host.values["Cx"], "0.000000");
    EXPECT_EQ(host.values["Cy"], "-133.333333");
    EXPECT_EQ(host.log.front(), "EnsureKey");
    EXPECT_EQ(screen.index(), 4);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.result, 0);
    // Every step repaints at once: the background over the whole screen.
    ASSERT_EQ(view.fills.size(), 4u);
    EXPECT_EQ(view.fills[0].right, 1000);
    EXPECT_EQ(view.fills[0].bottom, 800);
}

TEST_F(CalibrationTest, ADiagonalWithoutSpreadKeepsItsPreviousResults)
{
    Calibration c(host);
    CalibrationScreen screen(c);
    FakeView view;

    // First pass of the program, first diagonal touched twice at one place: its
    // results stay 0.0, so the stored mapping is half the second diagonal's
    // (K2x = 1, K2y = 640 / 600, C2y = -133.333...).
    const std::int32_t flat[4][2] = {{100, 200}, {100, 800}, {100, 800}, {900, 200}};
    TakeTargets(c, screen, view, flat);
    EXPECT_EQ(host.values["Kx"], "0.500000");
    EXPECT_EQ(host.values["Ky"], "0.533333");
    EXPECT_EQ(host.values["Cx"], "0.000000");
    EXPECT_EQ(host.values["Cy"], "-66.666667");

    // A good pass, then one whose first diagonal has equal raw X values: the first
    // diagonal keeps K1x = 1, C1x = 0, K1y = 1.0667, C1y = -133.333; the second is
    // new: targets (100, 720) and (900, 80) at raw (150, 750) and (850, 150) give
    // K2x = -800 / -700 = 1.142857, C2x = (150 * 900 - 100 * 850) / -700 = -71.428571,
    // K2y = 640 / 600, C2y = (750 * 80 - 720 * 150) / 600 = -80.
    const std::int32_t good[4][2] = {{100, 200}, {900, 800}, {100, 800}, {900, 200}};
    TakeTargets(c, screen, view, good);
    const std::int32_t sameX[4][2] = {{300, 200}, {300, 800}, {150, 750}, {850, 150}};
    TakeTargets(c, screen, view, sameX);
    EXPECT_EQ(host.values["Kx"], "1.071429");  // (1 + 1.142857) / 2
    EXPECT_EQ(host.values["Ky"], "1.066667");
    EXPECT_EQ(host.values["Cx"], "-35.714286");   // (0 - 71.428571) / 2
    EXPECT_EQ(host.values["Cy"], "-106.666667");  // (-133.333333 - 80) / 2

    // Equal raw Y values alone are enough to keep a diagonal as it was, in both axes:
    // the second diagonal's (100, 720) and (900, 80) touched at raw (100, 500) and
    // (900, 500) keeps K2x = 1.142857, C2x = -71.428571, K2y and C2y = -80 from above,
    // though its X values differ.
    const std::int32_t sameY[4][2] = {{100, 200}, {900, 800}, {100, 500}, {900, 500}};
    TakeTargets(c, screen, view, sameY);
    EXPECT_EQ(host.values["Kx"], "1.071429");
    EXPECT_EQ(host.values["Ky"], "1.066667");
    EXPECT_EQ(host.values["Cx"], "-35.714286");
    EXPECT_EQ(host.values["Cy"], "-106.666667");
}

TEST_F(CalibrationTest, TheComputationUsesUntruncatedTargetPoints)
{
    Calibration c(host);
    CalibrationScreen screen(c);
    FakeView view;
    view.window = skin::Rect{0, 0, 1366, 768};
    // Raw x 1000 and 9000 for the points 136.6 and 1229.4 (0.1 and 0.9 of 1366) give
    // K = 1092.8 / 8000 = 0.1366 and C = 0; the truncated points 136 and 1229 would
    // give 0.136625 and -0.625. In Y, 614.4 / 8000 = 0.0768 (truncated: 0.076875).
    const std::int32_t raw[4][2] = {{1000, 1000}, {9000, 9000}, {1000, 9000}, {9000, 1000}};
    TakeTargets(c, screen, view, raw);
    EXPECT_EQ(host.values["Kx"], "0.136600");
    EXPECT_EQ(host.values["Ky"], "0.076800");
    EXPECT_NEAR(std::strtod(host.values["Cx"].c_str(), nullptr), 0.0, 1e-6);
    EXPECT_NEAR(std::strtod(host.values["Cy"].c_str(), nullptr), 0.0, 1e-6);
}

// ---- the passes -------------------------------------------------------------------------

TEST_F(CalibrationTest, APassSendsRawOnReloadRawOffAndATimeOutStartsAnother)
{
    Calibration c(host);
    // Two samples wait before the first pass: read away, never polled.
    Sample(10, 10, 0x81);
    Sample(11, 11, 0x84);
    host.values = {{"Kx", "1.500000"}, {"Ky", "2.000000"}, {"Cx", "-3.250000"}, {"Cy", "4.000000"}};
    // The main window's poll ticks, counted as its message loop would deliver them.
    int ticks = 0;
    platform.WindowOf(host.mainWindow)->proc = [&](const app::Message& m) -> std::intptr_t {
        if (m.msg == app::kWmTimer && m.wParam == kPollTimerId)
            ++ticks;
        return 0;
    };
    host.onScreen = [&](CalibrationScreen&) {
        EXPECT_TRUE(c.calibrating());
        EXPECT_TRUE(platform.HasTimer(host.mainWindow, kPollTimerId));
        EXPECT_TRUE(host.device.samples.empty());
        // The poll asks for 5 ms while the screen shows, which Windows raises to its
        // shortest timer, 10 ms: ten ticks in 100 ms.
        ticks = 0;
        platform.Advance(100);
        EXPECT_EQ(ticks, 10);
        return std::intptr_t{0};
    };
    host.verifyResults = {0, kResultEscape};  // a time-out, then the Ok button
    c.RunCalibration();

    const std::vector<std::string> pass = {"command 4", "calibration screen", "read Kx",    "read Ky",      "read Cx",
                                           "read Cy",   "SetMapping",         "EnableSave", "SaveSettings", "command 6",
                                           "command 5", "Examination"};
    std::vector<std::string> expected = pass;
    expected.insert(expected.end(), pass.begin(), pass.end());
    expected.push_back("write IsCfg=YES");
    EXPECT_EQ(host.log, expected);
    EXPECT_EQ(host.mapping[0], 1.5);
    EXPECT_EQ(host.mapping[2], -3.25);
    EXPECT_FALSE(c.calibrating());
    EXPECT_FALSE(platform.HasTimer(host.mainWindow, kPollTimerId));
    // CMD_RAW_OFF follows 200 ms after the poll timer stopped.
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{200, 200}));
}

TEST_F(CalibrationTest, DialogResultsDecideWhatIsSavedAndWhenTheProcedureEnds)
{
    struct Case {
        const char* name;
        std::intptr_t screen;
        std::deque<std::intptr_t> verify;
        int passes;      // calibration screens shown
        int saves;       // SaveSettings runs
        bool confirmed;  // IsCfg written
    };
    const Case cases[] = {
        // Enter on the calibration screen saves nothing; the Examination follows.
        {"enter on the screen", kResultEnter, {kResultEscape}, 1, 0, true},
        // Escape there is no Enter: the mapping stored so far is taken up.
        {"escape on the screen", kResultEscape, {kResultEscape}, 1, 1, true},
        // Enter in the Examination dialog is no confirmation: another pass.
        {"enter in the Examination", 0, {kResultEnter, kResultEscape}, 2, 2, true},
        // Screens that cannot be shown: nothing saved, and no endless passes.
        {"no screen", kResultFailed, {kResultEscape}, 1, 0, true},
        {"no Examination", 0, {kResultFailed}, 1, 1, false},
    };
    for (const Case& t : cases) {
        FakeHost h(platform);
        Calibration c(h);
        h.onScreen = [&](CalibrationScreen&) { return t.screen; };
        h.verifyResults = t.verify;
        c.RunCalibration();
        int passes = 0, saves = 0;
        bool confirmed = false;
        for (const auto& line : h.log) {
            passes += line == "calibration screen";
            saves += line == "SaveSettings";
            confirmed |= line == "write IsCfg=YES";
        }
        EXPECT_EQ(passes, t.passes) << t.name;
        EXPECT_EQ(saves, t.saves) << t.name;
        EXPECT_EQ(confirmed, t.confirmed) << t.name;
        // Raw mode is left on every pass, saved or not.
        std::vector<int> commands;
        for (int p = 0; p < t.passes; ++p) {
            commands.push_back(CMD_RAW_ON);
            if (p < t.saves)
                commands.push_back(CMD_RELOAD);
            commands.push_back(CMD_RAW_OFF);
        }
        EXPECT_EQ(h.device.commands, commands) << t.name;
    }
}

TEST_F(CalibrationTest, WithoutADeviceNothingIsReadSentOrPolled)
{
    host.present = false;
    Calibration c(host);
    Sample(10, 10, 0x81);
    EXPECT_EQ(c.BeginCalibrationMode(), 1);
    EXPECT_FALSE(platform.HasTimer(host.mainWindow, kPollTimerId));
    c.EndCalibrationMode();
    EXPECT_EQ(host.device.reads, 0);
    EXPECT_TRUE(host.device.commands.empty());
    EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{200}));
}

// ---- the calibration window --------------------------------------------------------------

// A 24-bit BMP of w x h pixels, one colour.
void WriteBmp(const std::filesystem::path& file, int w, int h)
{
    std::filesystem::create_directories(file.parent_path());
    const int stride = (w * 3 + 3) & ~3;
    const std::uint32_t size = 54 + stride * h;
    std::vector<std::uint8_t> b(size, 0x40);
    auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, size);
    put32(6, 0);
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    b[26] = 1, b[27] = 0, b[28] = 24, b[29] = 0;
    put32(30, 0);
    put32(34, stride * h);
    for (int at = 38; at < 54; ++at)
        b[at] = 0;
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

class CalibrationScreenTest : public CalibrationTest {
protected:
    void SetUp() override
    {
        CalibrationTest::SetUp();
        root = std::filesystem::temp_directory_path() /
               ("calib-screen-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root);
        platform.root = root.string();
        platform.modulePath = "C:\\Tool\\Pointwell.exe";
        platform.drawing().modulePath = platform.modulePath;
    }
    void TearDown() override
    {
        std::filesystem::remove_all(root);
        CalibrationTest::TearDown();
    }
    std::filesystem::path root;
};

TEST_F(CalibrationScreenTest, TargetsAndPromptAreDrawnAtTheirPoints)
{
    std::strcpy(LangFolder, "tw");
    WriteBmp(root / "c/tool/tw/calibratebtn.bmp", 8, 8);
    WriteBmp(root / "c/tool/tw/prompt.bmp", 30, 20);
    WriteBmp(root / "c/tool/nologo/tw/calibratebtn.bmp", 8, 8);  // never used
    Calibration c(host);
    CalibrationScreen screen(c);
    FakeView view;
    view.window = skin::Rect{0, 0, 1366, 768};
    const int before = platform.cursorCount;
    screen.OnInit(view);
    EXPECT_TRUE(screen.targetLoaded());
    EXPECT_TRUE(screen.promptLoaded());
    EXPECT_EQ(platform.cursorCount, before - 1);  // hidden while the screen shows
    EXPECT_EQ(screen.width(), 1366);
    EXPECT_EQ(screen.height(), 768);

    // Target points, truncated: (136, 76), (1229, 691), (136, 691), (1229, 76); the
    // button is the 24 x 24 square around each.
    const skin::Rect buttons[4] = {
        {124, 64, 148, 88}, {1217, 679, 1241, 703}, {124, 679, 148, 703}, {1217, 64, 1241, 88}};
    ASSERT_EQ(view.placed.size(), 1u);
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(view.placed.size(), static_cast<std::size_t>(k + 1));
        EXPECT_EQ(view.placed[k].left, buttons[k].left) << k;
        EXPECT_EQ(view.placed[k].top, buttons[k].top) << k;
        EXPECT_EQ(view.placed[k].right, buttons[k].right) << k;
        EXPECT_EQ(view.placed[k].bottom, buttons[k].bottom) << k;
        if (k < 3) {
            c.set_lastRaw(TouchEvent{100 * (k + 1), 100 * (k + 2), TOUCH_EVENT_RELEASE});
            screen.OnStep(view);
        }
    }
    // The target picture covers 64 x 64 around the first point: (104..167, 44..107);
    // the prompt 300 x 200 around the middle: (533..832, 284..483).
    FakeView fresh;
    fresh.window = view.window;
    fresh.canvas = skin::Canvas(1366, 768, 0xFFFFFF);
    CalibrationScreen other(c);
    other.OnInit(fresh);
    EXPECT_EQ(fresh.canvas.At(104, 44), 0x404040u);
    EXPECT_EQ(fresh.canvas.At(167, 107), 0x404040u);
    EXPECT_EQ(fresh.canvas.At(103, 44), 0xFFFFFFu);
    EXPECT_EQ(fresh.canvas.At(168, 107), 0xFFFFFFu);
    EXPECT_EQ(fresh.canvas.At(533, 284), 0x404040u);
    EXPECT_EQ(fresh.canvas.At(832, 483), 0x404040u);
    EXPECT_EQ(fresh.canvas.At(532, 284), 0xFFFFFFu);
    EXPECT_EQ(fresh.canvas.At(833, 484), 0xFFFFFFu);

    // Going away shows the cursor again.
    screen.OnDestroy();
    other.OnDestroy();
    EXPECT_EQ(platform.cursorCount, before);
}

TEST_F(CalibrationScreenTest, WithoutPicturesTheStepsStillAdvance)
{
    Calibration c(host);
    CalibrationScreen screen(c);
    FakeView view;
    screen.OnInit(view);
    EXPECT_FALSE(screen.targetLoaded());
    EXPECT_FALSE(screen.promptLoaded());
    for (int k = 0; k < 4; ++k)
        screen.OnStep(view);
    EXPECT_TRUE(view.placed.empty());  // the button stays where the template has it
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(screen.index(), 4);
}

// ---- the Examination dialog ---------------------------------------------------------------

TEST_F(CalibrationTest, TheExaminationCountsTwentySecondsThenEndsWithZero)
{
    app::NativeDialog dialog(platform, "Examination");
    dialog.SetKind(IDC_VERIFY_PROGRESS, app::NativeDialog::Kind::kProgress);
    VerifyCountdown countdown;
    dialog.proc() = [&](const app::Message& m) -> std::intptr_t {
        if (m.msg == app::kWmTimer && m.wParam == kVerifyTimerId)
            countdown.OnTick(dialog);
        return 0;
    };
    countdown.OnInit(dialog);
    EXPECT_EQ(dialog.Text(IDC_VERIFY_COUNTER), "0");
    EXPECT_EQ(dialog.control(IDC_VERIFY_PROGRESS).rangeMin, 0);
    EXPECT_EQ(dialog.control(IDC_VERIFY_PROGRESS).rangeMax, 20);
    EXPECT_EQ(dialog.Text(IDC_VERIFY_MSG1), "Config touch screen finish. Please touch");
    EXPECT_EQ(dialog.Text(IDC_VERIFY_MSG3), "after 20s If you can't touch the 'Ok'.");
    EXPECT_EQ(dialog.Text(IDC_VERIFY_OK), "Ok");

    platform.Advance(999);
    EXPECT_EQ(dialog.Text(IDC_VERIFY_COUNTER), "0");
    platform.Advance(1);
    EXPECT_EQ(dialog.Text(IDC_VERIFY_COUNTER), "1");
    platform.Advance(19000);  // 20 s: the bar is full, the dialog still waits
    EXPECT_EQ(dialog.Text(IDC_VERIFY_COUNTER), "20");
    EXPECT_EQ(dialog.control(IDC_VERIFY_PROGRESS).pos, 20);
    EXPECT_FALSE(dialog.ended());
    platform.Advance(1000);
    EXPECT_TRUE(dialog.ended());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_FALSE(platform.HasTimer(dialog.handle(), kVerifyTimerId));
}

}  // namespace
}  // namespace pointwell
