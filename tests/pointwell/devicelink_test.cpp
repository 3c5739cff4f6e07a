// Pointwell's device link against a scripted device: what goes to the driver, how
// its answers are read, and what the user is told.
#include "devicelink.h"

#include "appplatform_native.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace pointwell {
namespace {

struct Request {
    std::uint32_t code;
    std::vector<std::uint8_t> in;
    std::uint32_t outSize;
};

// Answers each request with the next scripted reply (a 16-byte record, or a
// failure), as the device behind the native platform's door.
class FakeIo {
public:
    struct Reply {
        bool ok;
        std::uint8_t record[16];
    };

    FakeIo()
    {
        platform.deviceOpenHook = [this](const char*) { return !openFails; };
        platform.deviceHook = [this](std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                                     std::uint32_t outSize, std::uint32_t* returned) {
            const auto* bytes = static_cast<const std::uint8_t*>(in);
            requests.push_back({code, std::vector<std::uint8_t>(bytes, bytes + inSize), outSize});
            Reply r{true, {}};
            if (!replies.empty()) {
                r = replies.front();
                replies.pop_front();
            }
            if (out) {
                for (std::uint32_t i = 0; i < outSize; ++i)
                    EXPECT_EQ(static_cast<std::uint8_t*>(out)[i], 0);
                std::memcpy(out, r.record, outSize < 16 ? outSize : 16);
            }
            *returned = r.ok && out ? 16 : 0;
            return r.ok;
        };
        previous = app::SetAppPlatform(&platform);
    }
    ~FakeIo() { app::SetAppPlatform(previous); }
    const std::vector<std::string>& openedPaths() const { return platform.deviceOpens; }
    int closes() const { return platform.deviceCloses; }

    void Event(std::uint32_t x, std::uint32_t y, std::uint32_t code)
    {
        Reply r{true, {}};
        ZelkoPutU32(r.record + 4, x);
        ZelkoPutU32(r.record + 8, y);
        ZelkoPutU32(r.record + 12, code);
        replies.push_back(r);
    }
    void Failure() { replies.push_back(Reply{false, {}}); }

    app::NativeAppPlatform platform;
    app::Platform* previous = nullptr;
    bool openFails = false;
    std::vector<Request> requests;
    std::deque<Reply> replies;
};

class Messages : public LinkNotifier {
public:
    void Show(const LangKey& message) override { shown.push_back(message.key); }
    std::vector<std::string> shown;
};

class DeviceLinkTest : public ::testing::Test {
protected:
    FakeIo io;
    Messages messages;
    DeviceLink link{&messages};
};

TEST_F(DeviceLinkTest, OpenTakesTheFixedPathAndReportsAMissingDevice)
{
    EXPECT_EQ(link.Open(), 1);
    EXPECT_TRUE(link.IsOpen());
    ASSERT_EQ(io.openedPaths().size(), 1u);
    EXPECT_EQ(io.openedPaths()[0], "\\\\.\\Zelkode");
    EXPECT_TRUE(messages.shown.empty());

    io.openFails = true;
    DeviceLink missing(&messages);
    EXPECT_EQ(missing.Open(), 0);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(messages.shown, std::vector<std::string>{"NOUSBDEV"});
    // Nothing is sent without a handle.
    std::int32_t x = 7, y = 7;
    std::uint8_t status = 7;
    EXPECT_EQ(missing.ReadSample(&x, &y, &status), 0);
    EXPECT_EQ(missing.SendCommand(CMD_RAW_ON), 0);
    EXPECT_TRUE(io.requests.empty());
    EXPECT_EQ(x, 7);
}

TEST_F(DeviceLinkTest, ReadSampleSendsOneEventRequestAndDecodesTheRecord)
{
    link.Open();
    io.Event(1234, 0xFFFFFFFFu, 0xABCD0081u);
    std::int32_t x = 0, y = 0;
    std::uint8_t status = 0;
    EXPECT_EQ(link.ReadSample(&x, &y, &status), 1);
    EXPECT_EQ(x, 1234);
    EXPECT_EQ(y, -1);         // signed 32-bit
    EXPECT_EQ(status, 0x81);  // the low byte of the code only
    ASSERT_EQ(io.requests.size(), 1u);
    EXPECT_EQ(io.requests[0].code, 0x220008u);
    EXPECT_TRUE(io.requests[0].in.empty());
    EXPECT_EQ(io.requests[0].outSize, 16u);
    EXPECT_EQ(link.bytesReturned(), 16u);
}

TEST_F(DeviceLinkTest, TheNoEventRecordIsNoSampleButOnlyWithAllThreeMarkers)
{
    link.Open();
    std::int32_t x = -5, y = -5;
    std::uint8_t status = 9;
    io.Event(111, 111, 0x1200006F);  // the bytes above the status byte do not matter
    EXPECT_EQ(link.ReadSample(&x, &y, &status), 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(status, 0);

    io.Event(111, 5, 0x6F);
    EXPECT_EQ(link.ReadSample(&x, &y, &status), 1);
    EXPECT_EQ(y, 5);
    io.Event(5, 111, 0x6F);
    EXPECT_EQ(link.ReadSample(&x, &y, &status), 1);
    io.Event(111, 111, 0x81);
    EXPECT_EQ(link.ReadSample(&x, &y, &status), 1);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DeviceLinkTest, AFailedReadRemovesTheLinkForGood)
{
    link.Open();
    io.Failure();
    std::int32_t x = 3, y = 4;
    std::uint8_t status = 0;
    EXPECT_EQ(link.ReadSample(&x, &y, &status), 0);
    EXPECT_EQ(status, 0xFE);
    EXPECT_EQ(x, 3);  // untouched
    EXPECT_EQ(y, 4);
    EXPECT_TRUE(link.IsRemoved());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(io.closes(), 1);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"USBDEVREMOVED"});

    // Later calls touch neither the device nor the user.
    io.Event(1, 2, 0x81);
    status = 0;
    EXPECT_EQ(link.ReadSample(&x, &y, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(link.SendCommand(CMD_RELOAD), 0);
    EXPECT_EQ(io.requests.size(), 1u);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(link.Close(), 1);
    EXPECT_EQ(io.closes(), 1);
}

TEST_F(DeviceLinkTest, CommandsGoAsA16ByteRecordAndAFailureIsShownEachTime)
{
    link.Open();
    EXPECT_EQ(link.SendCommand(CMD_RAW_OFF), 1);
    ASSERT_EQ(io.requests.size(), 1u);
    EXPECT_EQ(io.requests[0].code, 0x220004u);
    std::vector<std::uint8_t> record(16, 0);
    record[0] = 5;
    EXPECT_EQ(io.requests[0].in, record);
    EXPECT_EQ(io.requests[0].outSize, 0u);

    io.Failure();
    io.Failure();
    EXPECT_EQ(link.SendCommand(CMD_RELOAD), 0);
    EXPECT_EQ(link.SendCommand(CMD_RELOAD), 0);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{"SNDCMDERROR", "SNDCMDERROR"}));
    EXPECT_FALSE(link.IsRemoved());  // only a failed read removes the link
    EXPECT_EQ(link.SendCommand(CMD_RAW_ON), 1);
    EXPECT_EQ(io.requests.size(), 4u);
}

TEST_F(DeviceLinkTest, RequestsOfOtherSizesReachTheDriverAsGiven)
{
    link.Open();
    std::uint32_t returned = 99;
    EXPECT_TRUE(RequestCommand(io.platform, link.handle(), 4, 15, &returned));
    EXPECT_EQ(io.requests.back().in.size(), 15u);
    EXPECT_EQ(io.requests.back().in[0], 4);
    EventRecord r;
    io.Event(10, 20, 0x82);
    EXPECT_TRUE(RequestEvent(io.platform, link.handle(), &r, 20, &returned));
    EXPECT_EQ(io.requests.back().outSize, 20u);
    EXPECT_EQ(r.x, 10u);
    EXPECT_EQ(r.y, 20u);
    EXPECT_EQ(r.code, 0x82u);
    EXPECT_TRUE(RequestEvent(io.platform, link.handle(), &r, 100));  // larger than the stack buffer
    EXPECT_EQ(io.requests.back().outSize, 100u);
}

TEST_F(DeviceLinkTest, CloseIsAlways1AndClosesOnce)
{
    EXPECT_EQ(link.Close(), 1);
    EXPECT_EQ(io.closes(), 0);
    link.Open();
    EXPECT_EQ(link.Close(), 1);
    EXPECT_EQ(link.Close(), 1);
    EXPECT_EQ(io.closes(), 1);
}

class TouchEventTest : public DeviceLinkTest {
protected:
    void SetUp() override
    {
        ResetTouchEventMemory();
        link.Open();
    }
    int Read(std::uint32_t x, std::uint32_t y, std::uint32_t status, TouchEvent* e)
    {
        io.Event(x, y, status);
        return ReadTouchEvent(link, e);
    }
};

TEST_F(TouchEventTest, TheFirstTouchIsTheBaselineAndRepeatsAreReportedOnce)
{
    TouchEvent e;
    EXPECT_EQ(Read(100, 200, 0x81, &e), 0);  // baseline
    EXPECT_EQ(e.kind, 0);
    EXPECT_EQ(Read(100, 200, 0x82, &e), 0);  // same place, same kind (touch)
    EXPECT_EQ(Read(101, 200, 0x82, &e), 1);
    EXPECT_EQ(e.x, 101);
    EXPECT_EQ(e.y, 200);
    EXPECT_EQ(e.kind, TOUCH_EVENT_TOUCH);
    EXPECT_EQ(Read(101, 200, 0x84, &e), 1);
    EXPECT_EQ(e.kind, TOUCH_EVENT_RELEASE);
    EXPECT_EQ(Read(101, 200, 0x84, &e), 0);
    EXPECT_EQ(Read(101, 200, 0x81, &e), 1);
    EXPECT_EQ(e.kind, TOUCH_EVENT_TOUCH);
}

// The last event belongs to the process, not to a pass: a second calibration pass
// (a new link user, the same process) reports its first touch.
TEST_F(TouchEventTest, OnlyTheProcesssFirstTouchIsABaseline)
{
    TouchEvent e;
    EXPECT_EQ(Read(100, 200, 0x81, &e), 0);  // the process's baseline
    EXPECT_EQ(Read(150, 250, 0x84, &e), 1);
    DeviceLink secondPass(&messages);
    secondPass.Open();
    io.Event(400, 300, 0x81);
    EXPECT_EQ(ReadTouchEvent(secondPass, &e), 1);
    EXPECT_EQ(e.x, 400);
    EXPECT_EQ(e.kind, TOUCH_EVENT_TOUCH);
    ResetTouchEventMemory();  // as at the next program start
    io.Event(500, 300, 0x81);
    EXPECT_EQ(ReadTouchEvent(secondPass, &e), 0);
}

TEST_F(TouchEventTest, OtherStatusesAndTheNoEventRecordReportNothing)
{
    TouchEvent e;
    EXPECT_EQ(Read(100, 200, 0x81, &e), 0);
    e.x = 9;
    EXPECT_EQ(Read(300, 400, 0x80, &e), 0);
    EXPECT_EQ(e.x, 0);  // the output is cleared
    EXPECT_EQ(Read(111, 111, 0x6F, &e), 0);
    EXPECT_EQ(Read(111, 5, 0x6F, &e), 0);  // a delivered sample with a status it ignores
    EXPECT_EQ(Read(300, 400, 0x82, &e), 1);
}

}  // namespace
}  // namespace pointwell
