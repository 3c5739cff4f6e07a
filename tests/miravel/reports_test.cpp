// The event road from the frame through Zelko to the class driver's read-report
// requests: the queue, the waiting requests and the read loop at Zelko.
#include "harness.h"

namespace miraveltest {

// Most cases hold their own read-report requests: the class driver's stream is
// off, as while no reader has the collection open.
class Reports : public MiravelMachine {
protected:
    void StartWithoutStream()
    {
        sim::hidclass::SetReadStream(false);
        PlugFrame();
        AddMiravel();
        ASSERT_EQ(ZelkoHeldReads(), 1);
    }
};

TEST_F(Reports, AnEventCompletesTheWaitingRequest)
{
    StartWithoutStream();
    auto r = ReadReport();
    ASSERT_FALSE(r->done);
    ASSERT_TRUE(Frame(kLift, 1000, 2000));  // (0x81, 1000, 2000) then (0x80, 1000, 2000)
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->status, STATUS_SUCCESS);
    EXPECT_EQ(r->information, 5u);
    EXPECT_EQ(r->buffer, Bytes({0x81, 0xE8, 0x03, 0xD0, 0x07}));
    // The second event waits in the queue for the next request, which takes it at once.
    auto next = ReadReport();
    ASSERT_TRUE(next->done);
    EXPECT_EQ(next->buffer, HidReport(0x80, 1000, 2000));
    EXPECT_EQ(ZelkoHeldReads(), 1);  // the loop goes on
}

TEST_F(Reports, TheStreamSeesEveryEventUnchanged)
{
    PlugFrame();
    AddMiravel();
    ASSERT_TRUE(Frame(kDown, 10, 20));
    ASSERT_TRUE(Frame(kLift, 4999, 0));
    std::vector<std::vector<uint8_t>> expected = {HidReport(0x80, 10, 20), HidReport(0x81, 4999, 0),
                                                  HidReport(0x80, 4999, 0)};
    EXPECT_EQ(sim::hidclass::Received(), expected);
}

TEST_F(Reports, TheOlderOfTwoWaitingRequestsGetsTheEvent)
{
    StartWithoutStream();
    auto first = ReadReport();
    auto second = ReadReport();
    ASSERT_TRUE(Frame(kDown, 10, 20));
    ASSERT_TRUE(first->done);
    EXPECT_EQ(first->buffer, HidReport(0x80, 10, 20));
    EXPECT_FALSE(second->done);
    ASSERT_TRUE(Frame(kDown, 30, 40));
    ASSERT_TRUE(second->done);
    EXPECT_EQ(second->buffer, HidReport(0x80, 30, 40));
}

TEST_F(Reports, ElevenEventsWithoutReaderKeepTheTenNewest)
{
    StartWithoutStream();
    for (uint16_t i = 1; i <= 11; ++i)
        ASSERT_TRUE(Frame(kDown, i, (uint16_t)(100 + i)));
    std::vector<std::shared_ptr<sim::hidclass::Request>> r;
    for (int i = 0; i < 11; ++i)
        r.push_back(ReadReport());
    for (uint16_t i = 0; i < 10; ++i) {
        ASSERT_TRUE(r[i]->done) << i;
        EXPECT_EQ(r[i]->buffer, HidReport(0x80, (uint16_t)(i + 2), (uint16_t)(102 + i))) << i;
    }
    EXPECT_FALSE(r[10]->done);
    // Removal ends the one that waits.
    sim::pnp::Remove(hid);
    hid = nullptr;
    ASSERT_TRUE(r[10]->done);
    EXPECT_EQ(r[10]->status, STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(r[10]->information, 0u);
}

TEST_F(Reports, FailedRequestsLeaveTheEventForTheNextOne)
{
    StartWithoutStream();
    ASSERT_TRUE(Frame(kDown, 7, 8));
    EXPECT_EQ(ReadReport(4)->status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(ReadReport(6)->status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(ReadReport(5, false)->status, STATUS_INVALID_USER_BUFFER);
    auto r = ReadReport();
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->buffer, HidReport(0x80, 7, 8));
}

TEST_F(Reports, NoMemoryForAWaitingRequest)
{
    StartWithoutStream();
    sim::FailAllocation(2);  // the request itself, then Miravel's list element
    auto r = ReadReport();
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->status, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(r->information, 0u);
    ASSERT_TRUE(Frame(kDown, 1, 2));  // kept for the next request
    auto next = ReadReport();
    ASSERT_TRUE(next->done);
    EXPECT_EQ(next->buffer, HidReport(0x80, 1, 2));
}

TEST_F(Reports, ACancelledRequestLeavesTheList)
{
    StartWithoutStream();
    auto first = ReadReport();
    auto second = ReadReport();
    ASSERT_TRUE(sim::hidclass::Cancel(first));
    ASSERT_TRUE(first->done);
    EXPECT_EQ(first->status, STATUS_CANCELLED);
    EXPECT_EQ(first->information, 0u);
    EXPECT_EQ(sim::PoolUsageOf(SserTag()).allocations, 1);  // the second's element only
    ASSERT_TRUE(Frame(kDown, 5, 6));
    ASSERT_TRUE(second->done);
    EXPECT_EQ(second->buffer, HidReport(0x80, 5, 6));
}

// ---- how Zelko ends the read -----------------------------------------------------------------------
TEST_F(Reports, ATimedOutReadIsRenewedAtOnce)
{
    StartWithoutStream();
    auto r = ReadReport();
    int reads = spyZelko.readEvents;
    ASSERT_TRUE(ZelkoCompletes(STATUS_IO_TIMEOUT, 5, 0x81, 1, 1));
    EXPECT_EQ(spyZelko.readEvents, reads + 1);
    EXPECT_EQ(ZelkoHeldReads(), 1);
    EXPECT_FALSE(r->done);  // nothing was stored
}

TEST_F(Reports, ASuccessWithoutBytesStoresNothingAndReadsAgain)
{
    StartWithoutStream();
    auto r = ReadReport();
    ASSERT_TRUE(ZelkoCompletes(STATUS_SUCCESS, 0));
    EXPECT_EQ(ZelkoHeldReads(), 1);
    EXPECT_FALSE(r->done);
}

TEST_F(Reports, AnEventFromZelkoIsPassedThroughUnchanged)
{
    StartWithoutStream();
    auto r = ReadReport();
    ASSERT_TRUE(ZelkoCompletes(STATUS_SUCCESS, 5, 0x02, 0xFFFF, 0x1234));  // right button, no scaling
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->buffer, Bytes({0x02, 0xFF, 0xFF, 0x34, 0x12}));
}

TEST_F(Reports, NoMemoryForTheNextReadStopsTheLoopUntilTheNextStart)
{
    StartWithoutStream();
    sim::FailAllocation(1);  // the next read's request, allocated in the completion
    ASSERT_TRUE(ZelkoCompletes(STATUS_SUCCESS, 5, 0x80, 6, 7));
    EXPECT_EQ(ZelkoHeldReads(), 0);
    EXPECT_FALSE(Ext()->readPending);
    auto r = ReadReport();  // the event was stored all the same
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->buffer, HidReport(0x80, 6, 7));
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    EXPECT_EQ(spyZelko.cancelReads, 0);
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    EXPECT_EQ(ZelkoHeldReads(), 1);
}

TEST_F(Reports, CancelledOrFailedReadsEndTheLoop)
{
    for (NTSTATUS status : {STATUS_CANCELLED, STATUS_DEVICE_NOT_CONNECTED, STATUS_INVALID_PARAMETER}) {
        SCOPED_TRACE(sim::StatusName(status));
        StartWithoutStream();
        int reads = spyZelko.readEvents;
        ASSERT_TRUE(ZelkoCompletes(status, 5, 0x81, 1, 1));
        EXPECT_EQ(spyZelko.readEvents, reads);
        EXPECT_EQ(ZelkoHeldReads(), 0);
        // Events stay in Zelko's queue meanwhile: nothing reaches a request.
        auto r = ReadReport();
        ASSERT_TRUE(Frame(kDown, 1, 1));
        EXPECT_FALSE(r->done);
        sim::pnp::Remove(hid);
        hid = nullptr;
        EXPECT_EQ(r->status, STATUS_NO_SUCH_DEVICE);
        sim::usb::Unplug();
        sim::RunPending();
    }
}

}  // namespace miraveltest
