// The report path on its own: decoding, touch modes, long press, stability,
// mapping and the event queue, with a hand-driven clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usb/kernal_driver/usb/touch.h"

using namespace zelko;

namespace {

const uint32_t kTick = 156250;  // 15.625 ms in 100-ns units

struct Touch {
    TouchSettings settings{};
    TouchState state{};
    StabilityWindow window{};
    uint64_t ticks = 1000;
    InputQueue queue{};

    Touch() { SetDefaultSettings(settings); }

    TouchContext Ctx() { return TouchContext{settings, state, window}; }

    // One report; returns its events as "code@x,y" words and queues them.
    std::string Feed(uint8_t status, uint16_t x, uint16_t y, bool* complete = nullptr)
    {
        TouchReport r{{0, 0, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8), status, 0}};
        ReportResult out;
        InterpretReport(Ctx(), r, TouchClock{ticks, kTick}, out);
        if (complete)
            *complete = out.completeHeldRead;
        std::string s;
        for (unsigned i = 0; i < out.count; ++i) {
            char b[32];
            snprintf(b, sizeof b, "%s%02x@%u,%u", s.empty() ? "" : " ", out.events[i].code, out.events[i].x,
                     out.events[i].y);
            s += b;
            SaveInputData(queue, out.events[i].code, out.events[i].x, out.events[i].y);
        }
        return s;
    }

    void AdvanceMs(uint64_t ms) { ticks += ms * 10000 / kTick; }

    void LoadTables()
    {
        for (unsigned i = 0; i < RAW_POINTS; ++i) {
            settings.XArray[i] = (uint16_t)(i * 10);
            settings.YArray[i] = (uint16_t)(i * 10 + 1);
        }
        settings.settingsLoaded = true;
    }
};

TEST(TouchModes, EachModeTurnsDownHoldUpIntoItsEvents)
{
    struct Row {
        int32_t mode;
        const char *down, *hold, *up;
    } rows[] = {
        {1, "80@4000,5400", "80@4000,5400", "81@4000,5400 80@4000,5400"},
        {2, "81@4000,5400 80@4000,5400", "80@4000,5400", "80@4000,5400"},
        {3, "80@4000,5400", "81@4000,5400", "80@4000,5400"},
        {7, "80@4000,5400", "81@4000,5400", "80@4000,5400"},  // any other value drags
        {0, "80@4000,5400", "81@4000,5400", "80@4000,5400"},
        {6, "", "80@4000,5400", "80@0,0"},
    };
    for (auto& row : rows) {
        Touch t;
        t.settings.doneMode = row.mode;
        EXPECT_EQ(t.Feed(TOUCH_DOWN, 100, 100), row.down) << "mode " << row.mode;
        EXPECT_EQ(t.Feed(TOUCH_HOLD, 100, 100), row.hold) << "mode " << row.mode;
        EXPECT_EQ(t.Feed(TOUCH_UP, 100, 100), row.up) << "mode " << row.mode;
    }
}

TEST(TouchModes, StatusesWithoutAMeaningMoveThePointer)
{
    for (uint8_t status : {0x00, 0x80, 0x83, 0xFF}) {
        Touch t;
        EXPECT_EQ(t.Feed(status, 10, 20), "80@400,1080") << int(status);
    }
    // Pointer-only mode tests bits: 0x86 holds both the held and the lifted bits.
    Touch t;
    t.settings.doneMode = DONEMODE_MOVE;
    EXPECT_EQ(t.Feed(0x86, 10, 20), "80@400,1080 80@0,0");
    bool complete = false;
    EXPECT_EQ(t.Feed(TOUCH_DOWN, 10, 20, &complete), "");
    EXPECT_TRUE(complete) << "a held read is completed even when nothing was queued";
}

TEST(TouchModes, DragWithoutAHeldReportNeverPresses)
{
    Touch t;
    t.settings.doneMode = DONEMODE_DRAG;
    EXPECT_EQ(t.Feed(TOUCH_DOWN, 1, 1) + "|" + t.Feed(TOUCH_UP, 1, 1), "80@40,54|80@40,54");
}

TEST(Mapping, FixedFactorsWrapAt16BitsAndTablesClampTheRawPoint)
{
    Touch t;
    uint16_t x, y;
    MapPoint(t.settings, 800, 600, &x, &y);
    EXPECT_EQ(x, 32000);
    EXPECT_EQ(y, 32400);
    MapPoint(t.settings, 1639, 0, &x, &y);
    EXPECT_EQ(x, 24);  // 65 560 truncated to 16 bits

    t.LoadTables();
    MapPoint(t.settings, 4999, 4999, &x, &y);
    EXPECT_EQ(x, 49990);
    EXPECT_EQ(y, 49991);
    MapPoint(t.settings, 5000, 65535, &x, &y);
    EXPECT_EQ(x, 49990) << "raw X of 5000 or more maps through XArray[4999]";
    EXPECT_EQ(y, 49991);
}

TEST(Mapping, SwappedAxesAreMappedAfterTheSwap)
{
    Touch t;
    t.settings.changexy = 1;
    EXPECT_EQ(t.Feed(TOUCH_DOWN, 10, 20), "80@800,540");
}

TEST(Queue, TheEleventhEventPushesOutTheFirst)
{
    InputQueue q{};
    for (uint16_t i = 1; i <= 11; ++i)
        SaveInputData(q, 0x80, i, (uint16_t)(100 + i));
    EXPECT_EQ(q.count, 10u);
    uint8_t code;
    uint16_t x, y;
    for (uint16_t i = 2; i <= 11; ++i) {
        ASSERT_TRUE(GetDataInput(q, &code, &x, &y));
        EXPECT_EQ(x, i);
        EXPECT_EQ(y, 100 + i);
    }
    code = 0x55;
    x = y = 7;
    EXPECT_FALSE(GetDataInput(q, &code, &x, &y));
    EXPECT_EQ(code, 0x55) << "outputs untouched when empty";
    EXPECT_EQ(x, 7);
}

TEST(Queue, AnOverlargeCountIsClampedBeforeTheOldestIsTaken)
{
    InputQueue q{};
    for (uint16_t i = 0; i < 10; ++i)
        SaveInputData(q, 1, i, i);
    q.count = 1000;
    uint8_t code;
    uint16_t x, y;
    ASSERT_TRUE(GetDataInput(q, &code, &x, &y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(q.count, 9u);
}

TEST(Switches, DisabledDeviceIgnoresReportsAndRawModeQueuesTheStatus)
{
    Touch t;
    t.settings.disabledev = 1;
    bool complete = true;
    EXPECT_EQ(t.Feed(TOUCH_DOWN, 5, 5, &complete), "");
    EXPECT_FALSE(complete) << "held requests stay held while the device is disabled";

    Touch raw;
    raw.state.rawMode = true;
    raw.settings.changexy = 1;
    raw.LoadTables();
    EXPECT_EQ(raw.Feed(TOUCH_UP, 300, 4000, &complete), "84@4000,300") << "raw, swapped, unmapped";
    EXPECT_FALSE(complete) << "raw points are for the tool's polling only";
    EXPECT_EQ(raw.Feed(0x42, 1, 2), "42@2,1");
}

TEST(LongPress, FiresOnThe102ndReportOfAStillHold)
{
    Touch t;
    EXPECT_EQ(t.Feed(TOUCH_DOWN, 1000, 1000), "80@40000,54000");
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(t.Feed(TOUCH_HOLD, 1000 + i % 19, 1000 - i % 19),
                  "80@" + std::to_string((1000 + i % 19) * 40 % 65536) + "," +
                      std::to_string((1000 - i % 19) * 54 % 65536))
            << i;
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1001, 1001), "02@40040,54054 00@40040,54054");
    // From then on the touch only moves the pointer, and the lift queues nothing.
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1500, 1500), "80@60000,15464");
    EXPECT_EQ(t.Feed(TOUCH_UP, 1500, 1500), "");
    // The next touch starts a new count.
    EXPECT_EQ(t.Feed(TOUCH_DOWN, 10, 10), "80@400,540");
    EXPECT_EQ(t.state.longCounter, 1);
}

TEST(LongPress, AHoldThatWandersRestartsTheCount)
{
    Touch t;
    t.Feed(TOUCH_DOWN, 1000, 1000);
    for (int i = 0; i < 60; ++i)
        t.Feed(TOUCH_HOLD, 1000, 1000);
    t.Feed(TOUCH_HOLD, 1020, 1000);  // 20 units away: the count restarts
    EXPECT_EQ(t.state.longCounter, 0);
    t.Feed(TOUCH_UP, 1020, 1000);  // the next report anchors anew, whatever its status
    EXPECT_EQ(t.state.longCounter, 1);
    EXPECT_EQ(t.state.longAnchorX, 1020);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(t.Feed(TOUCH_HOLD, 1020, 1000).substr(0, 2), "80");
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1020, 1000).substr(0, 2), "02");
}

TEST(LongPress, IsNotRunInPointerOnlyMode)
{
    Touch t;
    t.settings.doneMode = DONEMODE_MOVE;
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(t.Feed(TOUCH_HOLD, 50, 50), "80@2000,2700");
}

class Stability : public ::testing::Test {
protected:
    void SetUp() override { t.settings.moveSlider = 30; }
    Touch t;
};

TEST_F(Stability, HoldsAFingerInsideTheBoxForTheWindow)
{
    t.Feed(TOUCH_DOWN, 1000, 1000);
    t.AdvanceMs(200);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1040, 1000), "80@40000,54000") << "40 units right, within 480 ms";
    t.AdvanceMs(250);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1090, 910), "80@40000,54000") << "90 units is still inside 3 x 30";
    t.AdvanceMs(100);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1040, 1000), "80@41600,54000") << "the window has passed";
}

TEST_F(Stability, AFingerThatLeftTheBoxIsNotHeldAgainUntilTheNextTouchDown)
{
    t.Feed(TOUCH_DOWN, 1000, 1000);
    t.AdvanceMs(50);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1091, 1000), "80@43640,54000") << "91 units away";
    t.AdvanceMs(50);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1005, 1000), "80@40200,54000") << "back in the box, not held";
    EXPECT_EQ(t.Feed(TOUCH_UP, 1005, 1000), "81@40200,54000 80@40200,54000");
    t.AdvanceMs(300);
    t.Feed(TOUCH_DOWN, 2000, 2000);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 2010, 2000), "80@14464,42464") << "the next touch is held again";
}

TEST_F(Stability, TwoQuickTapsInARowAreEachHeldAtTheirOwnTouchDownPoint)
{
    for (uint16_t at : {1000, 3000}) {
        t.Feed(TOUCH_DOWN, at, at);
        t.AdvanceMs(30);
        uint16_t x = (uint16_t)(at * 40), y = (uint16_t)(at * 54);
        std::string held =
            "81@" + std::to_string(x) + "," + std::to_string(y) + " 80@" + std::to_string(x) + "," + std::to_string(y);
        EXPECT_EQ(t.Feed(TOUCH_UP, (uint16_t)(at + 7), (uint16_t)(at - 5)), held) << "tap at " << at;
        EXPECT_GT(t.state.stableCounter, 0u) << "the lift counted inside the window";
        t.AdvanceMs(700);  // longer than the first tap's window
    }
}

TEST_F(Stability, ZeroSwitchesTheFilterOffAndTheWindowFollowsTheSlider)
{
    t.settings.moveSlider = 0;
    t.Feed(TOUCH_DOWN, 1000, 1000);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1001, 1000), "80@40040,54000");
    EXPECT_EQ(t.state.stableCounter, 0u);

    t.settings.moveSlider = 2;  // a 32 ms window and a 6-unit box
    t.Feed(TOUCH_DOWN, 1000, 1000);
    EXPECT_EQ(t.window.window, 2u * 160000 + kTick);
    t.AdvanceMs(32);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1006, 1000), "80@40000,54000");
    t.AdvanceMs(32);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 1006, 1000), "80@40240,54000");
}

TEST_F(Stability, RunsOnTheSwappedUnmappedPoint)
{
    t.settings.changexy = 1;
    t.LoadTables();
    t.Feed(TOUCH_DOWN, 100, 200);
    EXPECT_EQ(t.Feed(TOUCH_HOLD, 110, 190), "80@2000,1001");
}

}  // namespace
