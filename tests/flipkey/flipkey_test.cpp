// Flipkey's logic on the native platform: the button window's state, pictures and the
// system's button swap; the right-to-left translation; the main window's single-
// instance guard and delayed start.
#include "flipkey.h"

#include <gtest/gtest.h>

#include "appplatform_native.h"

namespace {

using flipkey::ButtonWindow;
using flipkey::MainWindow;
using namespace flipkey;

constexpr std::uint32_t kSpiSwap = 0x21;

class FlipkeyTest : public ::testing::Test {
protected:
    FlipkeyTest()
    {
        p.metrics[0] = 1024;
        p.metrics[1] = 768;
        self = p.AddWindow("Function", "#32770");
        pushButton = p.AddWindow("Button1", "Button");
        // The push button as the dialog shows it at (0, 0): 52 x 57 pixels.
        p.WindowOf(pushButton)->rect = skin::Rect{0, 0, 52, 57};
    }

    // The picture the push button was last given (kBmSetImage, kImageBitmap).
    app::Handle ShownPicture()
    {
        const auto& got = p.WindowOf(pushButton)->received;
        for (auto it = got.rbegin(); it != got.rend(); ++it)
            if (it->msg == kBmSetImage && it->wParam == kImageBitmap)
                return reinterpret_cast<app::Handle>(it->lParam);
        return nullptr;
    }
    int ResourceOf(app::Handle picture)
    {
        auto it = p.bitmaps.find(picture);
        return it == p.bitmaps.end() ? 0 : it->second;
    }
    std::size_t SwapCalls()
    {
        std::size_t n = 0;
        for (const auto& c : p.spiCalls)
            n += c.action == kSpiSwap;
        return n;
    }

    app::NativeAppPlatform p;
    app::Window self = nullptr;
    app::Window pushButton = nullptr;
};

TEST_F(FlipkeyTest, InitCutsTheWindowToThePictureAndPlacesItNearTheBottomRightCorner)
{
    ButtonWindow b(p);
    b.Init(self, pushButton);

    const app::NativeAppWindow& w = *p.WindowOf(self);
    ASSERT_TRUE(w.shaped);
    // 9 from the left, 8 from the top, 10 from the right, 11 from the bottom of 52 x 57.
    EXPECT_EQ(w.region.left, 9);
    EXPECT_EQ(w.region.top, 8);
    EXPECT_EQ(w.region.right, 42);
    EXPECT_EQ(w.region.bottom, 46);

    ASSERT_EQ(p.windowPosCalls.size(), 1u);
    const app::WindowPosCall& pos = p.windowPosCalls[0];
    EXPECT_EQ(pos.window, self);
    EXPECT_EQ(pos.insertAfter, Topmost());
    EXPECT_EQ(pos.x, 1024 - 60);
    EXPECT_EQ(pos.y, 768 - 100);
    EXPECT_EQ(pos.flags & kSwpNoSize, kSwpNoSize);
    EXPECT_EQ(pos.flags & kSwpNoMove, 0u);
}

TEST_F(FlipkeyTest, FlipsBetweenTheTwoArrowsAndTheUnstoredSwap)
{
    ButtonWindow b(p);
    b.Init(self, pushButton);
    EXPECT_EQ(b.state(), "LeftKey");
    EXPECT_EQ(ResourceOf(b.picture()), 154);

    b.ShowState();  // the first paint
    EXPECT_EQ(ResourceOf(ShownPicture()), 154);
    EXPECT_FALSE(p.swapButtons);

    b.Flip();
    EXPECT_EQ(b.state(), "RightKey");
    EXPECT_EQ(ResourceOf(ShownPicture()), 149);
    EXPECT_TRUE(p.swapButtons);
    EXPECT_EQ(p.bitmaps.size(), 1u) << "the left arrow is released when the right one comes";

    b.Flip();
    EXPECT_EQ(b.state(), "LeftKey");
    EXPECT_EQ(ResourceOf(ShownPicture()), 154);
    EXPECT_FALSE(p.swapButtons);
    EXPECT_EQ(p.bitmaps.size(), 1u);

    // Each showing updates the push button at once and broadcasts the swap without
    // storing it (SPIF_UPDATEINIFILE would make it outlive the program).
    EXPECT_EQ(p.windowUpdates.size(), 3u);
    for (app::Window u : p.windowUpdates)
        EXPECT_EQ(u, pushButton);
    ASSERT_EQ(SwapCalls(), 3u);
    for (const auto& c : p.spiCalls)
        EXPECT_EQ(c.winIni, kSpifSendChange);
}

TEST_F(FlipkeyTest, EveryPaintPutsBackASwapAnotherProgramChanged)
{
    ButtonWindow b(p);
    b.Init(self, pushButton);
    b.Flip();
    ASSERT_TRUE(p.swapButtons);
    p.swapButtons = false;  // another program
    b.ShowState();
    EXPECT_TRUE(p.swapButtons);

    b.Flip();
    p.swapButtons = true;
    b.ShowState();
    EXPECT_FALSE(p.swapButtons);
}

TEST_F(FlipkeyTest, EndingSetsTheButtonsBackAndReleasesThePicture)
{
    ButtonWindow b(p);
    b.Init(self, pushButton);
    b.Flip();
    ASSERT_TRUE(p.swapButtons);
    b.End();  // the close request
    EXPECT_FALSE(p.swapButtons);
    EXPECT_TRUE(p.bitmaps.empty());
    EXPECT_EQ(b.picture(), nullptr);
    b.End();  // the destruction that follows
    EXPECT_FALSE(p.swapButtons);
    EXPECT_EQ(p.badDeletes, 0);
    for (const auto& c : p.spiCalls)
        EXPECT_EQ(c.winIni, kSpifSendChange) << "never stored";
}

TEST_F(FlipkeyTest, APictureThatCannotBeLoadedChangesNothing)
{
    p.missingBitmaps = {154};
    {
        ButtonWindow b(p);
        b.Init(self, pushButton);
        EXPECT_EQ(b.picture(), nullptr);
        b.ShowState();
        b.Flip();
        b.ShowState();
        b.Flip();
        EXPECT_EQ(SwapCalls(), 0u);
        EXPECT_EQ(ShownPicture(), nullptr);
        EXPECT_TRUE(p.bitmaps.empty()) << "no picture is loaded when none was loaded before";
        b.End();
        EXPECT_FALSE(p.swapButtons);
    }
    EXPECT_EQ(p.badDeletes, 0);
}

// The pictures load one at a time; when the next one is missing, the window keeps the
// one it shows, and with it its state and the system's swap, so that what the user
// sees and what the buttons do still agree.
TEST_F(FlipkeyTest, AFlipWhoseNextPictureIsMissingKeepsPictureStateAndSwapTogether)
{
    ButtonWindow b(p);
    b.Init(self, pushButton);
    b.ShowState();
    p.missingBitmaps = {149};
    b.Flip();
    EXPECT_EQ(b.state(), "LeftKey");
    EXPECT_EQ(ResourceOf(b.picture()), 154);
    EXPECT_FALSE(p.swapButtons);

    p.missingBitmaps.clear();
    b.Flip();
    ASSERT_TRUE(p.swapButtons);
    p.missingBitmaps = {154};
    b.Flip();  // the way back: the buttons stay swapped under the right arrow
    EXPECT_EQ(b.state(), "RightKey");
    EXPECT_EQ(ResourceOf(b.picture()), 149);
    EXPECT_TRUE(p.swapButtons);
    b.End();
    EXPECT_FALSE(p.swapButtons);
    EXPECT_TRUE(p.bitmaps.empty());
}

TEST(FlipkeyTranslation, RightButtonMessagesForThePushButtonBecomeLeftButtonOnes)
{
    int button = 0, other = 0;
    app::Window pushButton = &button, dialog = &other;
    struct Case {
        app::Window to;
        std::uint32_t in, out;
    } cases[] = {
        {pushButton, kWmRButtonDown, kWmLButtonDown},
        {pushButton, kWmRButtonUp, kWmLButtonUp},
        {pushButton, kWmRButtonDblClk, kWmLButtonDblClk},
        {pushButton, kWmLButtonDown, kWmLButtonDown},
        {pushButton, kWmLButtonUp, kWmLButtonUp},
        {pushButton, 0x0200 /* WM_MOUSEMOVE */, 0x0200},
        {pushButton, 0x0100 /* WM_KEYDOWN */, 0x0100},
        {dialog, kWmRButtonDown, kWmRButtonDown},  // the window's own: a flip there
        {dialog, kWmRButtonUp, kWmRButtonUp},
    };
    for (const Case& c : cases) {
        app::Message m{c.to, c.in, 0x0002, 0x00100020};
        EXPECT_EQ(flipkey::TranslateToLeftButton(m, pushButton), c.in != c.out) << std::hex << c.in;
        EXPECT_EQ(m.msg, c.out) << std::hex << c.in;
        EXPECT_EQ(m.window, c.to);
        EXPECT_EQ(m.wParam, 0x0002u);
        EXPECT_EQ(m.lParam, 0x00100020);
    }
    app::Message m{nullptr, kWmRButtonDown, 0, 0};
    EXPECT_FALSE(flipkey::TranslateToLeftButton(m, nullptr)) << "no push button yet";
    EXPECT_EQ(m.msg, kWmRButtonDown);
}

// ---- the main window -----------------------------------------------------------------

class FlipkeyMainTest : public ::testing::Test {
protected:
    FlipkeyMainTest()
    {
        mainWindow = p.AddWindow("", "#32770");
        p.WindowOf(mainWindow)->proc = [this](const app::Message& m) -> std::intptr_t {
            if (!main || ended)
                return 0;
            bool live = true;
            if (m.msg == app::kWmTimer)
                live = main->OnTimer(m.wParam);
            if (m.msg == flipkey::kStartMessage)
                live = main->OnStart();
            if (!live)
                ended = true;
            return 0;
        };
    }

    app::NativeAppPlatform p;
    app::Window mainWindow = nullptr;
    MainWindow* main = nullptr;
    bool ended = false;
};

TEST_F(FlipkeyMainTest, TheButtonWindowRunsOneTimerTickAfterStartWhileTheMutexIsHeld)
{
    int runs = 0;
    bool mutexHeldWhileRunning = false, hiddenBeforeRunning = false;
    MainWindow m(p, [&] {
        ++runs;
        bool existed = false;
        app::Handle probe = p.CreateMutex("flipkey", false, &existed);
        mutexHeldWhileRunning = existed;
        p.CloseHandle(probe);
        hiddenBeforeRunning =
            !p.showCalls.empty() && p.showCalls.back().window == mainWindow && p.showCalls.back().command == kSwHide;
    });
    main = &m;
    ASSERT_TRUE(m.Init(mainWindow));
    EXPECT_TRUE(m.holdsMutex());

    // Topmost, hidden and 0 x 0.
    ASSERT_EQ(p.windowPosCalls.size(), 1u);
    const app::WindowPosCall& pos = p.windowPosCalls[0];
    EXPECT_EQ(pos.insertAfter, Topmost());
    EXPECT_EQ(pos.cx, 0);
    EXPECT_EQ(pos.cy, 0);
    EXPECT_EQ(pos.flags & (kSwpHideWindow | kSwpNoSize), kSwpHideWindow);
    EXPECT_TRUE(p.HasTimer(mainWindow, flipkey::kStartTimerId));

    p.Advance(9);
    EXPECT_EQ(runs, 0);
    p.Advance(1);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(mutexHeldWhileRunning);
    EXPECT_TRUE(hiddenBeforeRunning);
    EXPECT_FALSE(p.HasTimer(mainWindow, flipkey::kStartTimerId)) << "the timer fires once";
    EXPECT_TRUE(ended);
    EXPECT_FALSE(m.holdsMutex());

    // The instance guard is free again: a later start takes it at once.
    bool existed = true;
    app::Handle again = p.CreateMutex("flipkey", false, &existed);
    EXPECT_FALSE(existed);
    p.CloseHandle(again);

    p.Advance(100);
    EXPECT_EQ(runs, 1);
}

// The main window still gets messages while the button window runs (its loop is the
// button window's): a start message then must not open a second button window in it.
TEST_F(FlipkeyMainTest, AStartMessageFromElsewhereRunsTheButtonWindowOnlyOnce)
{
    int runs = 0;
    MainWindow m(p, [&] {
        ++runs;
        p.PostMessage(mainWindow, flipkey::kStartMessage, 0, 0);
        p.Pump();
    });
    main = &m;
    ASSERT_TRUE(m.Init(mainWindow));
    p.PostMessage(mainWindow, flipkey::kStartMessage, 0, 0);  // before the tick
    p.Advance(50);
    EXPECT_EQ(runs, 1);
}

TEST_F(FlipkeyMainTest, ASecondInstanceWaitsThreeSecondsAndEndsWithoutAWindow)
{
    p.mutexesHeldElsewhere = {"flipkey"};
    int runs = 0;
    MainWindow m(p, [&] { ++runs; });
    main = &m;
    const std::uint32_t before = p.now;
    EXPECT_FALSE(m.Init(mainWindow));
    EXPECT_EQ(p.now - before, 3000u);
    EXPECT_FALSE(m.holdsMutex());
    EXPECT_TRUE(p.windowPosCalls.empty());
    EXPECT_FALSE(p.HasTimer(mainWindow, flipkey::kStartTimerId));
    p.Advance(100);
    EXPECT_EQ(runs, 0);
}

}  // namespace
