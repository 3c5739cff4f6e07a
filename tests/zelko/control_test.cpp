// Zelko's control interface through its real entry points: the tool's command
// and event requests, the consumers' waiting reads, raw mode and the interface
// re-announcement.
#include "harness.h"

namespace zelkotest {

class Control : public ZelkoMachine {
protected:
    void SetUp() override
    {
        ZelkoMachine::SetUp();
        Plug();
    }
};

TEST_F(Control, EventRequestOnAnEmptyQueueCarriesTheMarker)
{
    EventRecord e = GetEvent();
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(e.bytes, 16u);
    EXPECT_EQ(e.reserved, 0u);
    EXPECT_EQ(e.x, 111u);
    EXPECT_EQ(e.y, 111u);
    EXPECT_EQ(e.code, 111u);
}

TEST_F(Control, RecordsOfTheWrongLengthAreRefused)
{
    for (uint32_t length : {0u, 1u, 15u, 17u, 20u, 4096u}) {
        EventRecord e = GetEvent(length);
        EXPECT_FALSE(e.ok) << length;
        EXPECT_EQ(sim::user::LastStatus(), STATUS_INVALID_PARAMETER) << length;
        EXPECT_EQ(e.bytes, 0u) << length;
        EXPECT_EQ(Command(CMD_RAW_ON, length), STATUS_INVALID_PARAMETER) << length;
    }
    EXPECT_FALSE(Dx()->touch.rawMode) << "a refused command changes nothing";

    uint32_t bytes = 99;
    uint8_t buf[16] = {};
    EXPECT_FALSE(sim::user::DeviceIoControl(Tool(), 0x22000C, buf, 16, buf, 16, &bytes));
    EXPECT_EQ(sim::user::LastStatus(), STATUS_INVALID_PARAMETER);
    ConsumerRead unknown;
    unknown.Issue(10, PASSIVE_LEVEL, 0x22200C);
    EXPECT_TRUE(unknown.done);
    EXPECT_EQ(unknown.status, STATUS_INVALID_PARAMETER);
}

TEST_F(Control, AnyOtherCommandOnlyResetsTheStabilityCounter)
{
    Dx()->touch.stableCounter = 9;
    Dx()->touch.rawMode = true;
    EXPECT_EQ(Command(7), STATUS_SUCCESS);
    EXPECT_EQ(Dx()->touch.stableCounter, 0u);
    EXPECT_TRUE(Dx()->touch.rawMode);
    EXPECT_EQ(Command(CMD_RAW_OFF), STATUS_SUCCESS);
    EXPECT_FALSE(Dx()->touch.rawMode);
}

TEST_F(Control, CommandsReannounceTheInterfaceUntilTheFirstConsumerRead)
{
    InterfaceWatcher watcher;
    watcher.Register();
    EXPECT_EQ(watcher.arrivals, 1) << "the existing interface is reported at registration";

    ConsumerRead held;
    held.Issue();  // held in the list... but not before the first command below
    EXPECT_EQ(held.returned, STATUS_PENDING);
    // The consumer has read now, so commands no longer re-announce.
    EXPECT_EQ(Command(7), STATUS_SUCCESS);
    EXPECT_EQ(watcher.removals, 0);
    EXPECT_FALSE(held.done);
    CancelReads();
    EXPECT_EQ(held.status, STATUS_CANCELLED);
}

TEST_F(Control, EveryCommandBeforeAnyConsumerReadWithdrawsAndReannounces)
{
    InterfaceWatcher watcher;
    watcher.Register();
    EXPECT_EQ(Command(7), STATUS_SUCCESS);
    EXPECT_EQ(Command(CMD_RAW_ON, 3), STATUS_INVALID_PARAMETER) << "even one with a wrong length";
    EXPECT_EQ(watcher.removals, 2);
    EXPECT_EQ(watcher.arrivals, 3);

    ConsumerRead tooSmall;
    tooSmall.Issue(4);
    EXPECT_EQ(tooSmall.status, STATUS_INVALID_PARAMETER) << "a 4-byte buffer fails...";
    EXPECT_EQ(Command(7), STATUS_SUCCESS);
    EXPECT_EQ(watcher.removals, 2) << "...yet counts as the consumer's first read";
}

TEST_F(Control, AWaitingReadIsCompletedByTheNextReportThatQueuesAnEvent)
{
    ConsumerRead read;
    EXPECT_EQ(read.Issue(), STATUS_PENDING);
    ASSERT_TRUE(Touch(0x81, 1000, 2000));
    ASSERT_TRUE(read.done);
    EXPECT_EQ(read.status, STATUS_SUCCESS);
    EXPECT_EQ(read.information, 5u);
    EXPECT_EQ(read.Event(), "80@40000,42464");

    // A report that queues nothing (pointer-only mode, touch-down) completes a
    // waiting read with no data.
    Dx()->settings.doneMode = zelko::DONEMODE_MOVE;
    ConsumerRead empty;
    EXPECT_EQ(empty.Issue(), STATUS_PENDING);
    Touch(0x81, 1, 1);
    ASSERT_TRUE(empty.done);
    EXPECT_EQ(empty.status, STATUS_SUCCESS);
    EXPECT_EQ(empty.information, 0u);
}

TEST_F(Control, AQueuedEventIsTakenAtOnceAndEachEventGoesToOneReader)
{
    Touch(0x84, 10, 10);  // mode 1 lift: 0x81 then 0x80
    ConsumerRead first;
    EXPECT_EQ(first.Issue(10, DISPATCH_LEVEL), STATUS_SUCCESS);
    EXPECT_EQ(first.Event(), "81@400,540");
    EventRecord e = GetEvent();
    EXPECT_EQ(e.code, 0x80u);
    EXPECT_EQ(GetEvent().code, 111u);
}

TEST_F(Control, OneReportCompletesAtMostOneWaitingRead)
{
    ConsumerRead a, b;
    a.Issue();
    b.Issue();
    Touch(0x84, 10, 10);  // two events
    EXPECT_TRUE(a.done);
    EXPECT_EQ(a.Event(), "81@400,540");
    EXPECT_FALSE(b.done) << "the second read waits for the next report";
    Touch(0x82, 20, 20);
    EXPECT_TRUE(b.done);
    EXPECT_EQ(b.Event(), "80@400,540") << "the oldest event first";
}

TEST_F(Control, RawModeKeepsReadsHeldAndGivesTheToolRawPoints)
{
    ConsumerRead read;
    read.Issue();
    EXPECT_EQ(Command(CMD_RAW_ON), STATUS_SUCCESS);
    Touch(0x84, 4321, 1234);
    EXPECT_FALSE(read.done);
    EventRecord e = GetEvent();
    EXPECT_EQ(e.x, 4321u);
    EXPECT_EQ(e.y, 1234u);
    EXPECT_EQ(e.code, 0x84u);
    // A raw event still queued when raw mode ends goes to the next reader.
    Touch(0x81, 7, 8);
    EXPECT_EQ(Command(CMD_RAW_OFF), STATUS_SUCCESS);
    Touch(0x82, 9, 9);
    ASSERT_TRUE(read.done);
    EXPECT_EQ(read.Event(), "81@7,8");
}

TEST_F(Control, DisabledDeviceQueuesNothingAndLeavesReadsHeld)
{
    Dx()->settings.disabledev = 1;
    ConsumerRead read;
    read.Issue();
    Touch(0x81, 5, 5);
    EXPECT_FALSE(read.done);
    EXPECT_EQ(GetEvent().code, 111u);
    CancelReads();
    EXPECT_EQ(read.status, STATUS_CANCELLED);
    EXPECT_EQ(read.information, 0u);
}

TEST_F(Control, NoMemoryForTheListEntryFailsTheRead)
{
    ConsumerRead read;
    sim::FailAllocation(2);  // the request itself, then the list entry
    read.Issue();
    EXPECT_TRUE(read.done);
    EXPECT_EQ(read.status, STATUS_NO_MEMORY);

    // With an event queued, the read is served even without memory for an entry.
    Touch(0x82, 1, 1);
    ConsumerRead served;
    sim::FailAllocation(2);
    served.Issue();
    EXPECT_EQ(served.status, STATUS_SUCCESS);
    EXPECT_EQ(served.information, 5u);
}

TEST_F(Control, ConsumerBuffersBelowFiveBytesAreRefused)
{
    ConsumerRead r;
    r.Issue(0);
    EXPECT_EQ(r.status, STATUS_INVALID_PARAMETER);
    r = ConsumerRead();
    r.Issue(5);
    EXPECT_EQ(r.returned, STATUS_PENDING);
    Touch(0x82, 2, 3);
    EXPECT_EQ(r.information, 5u);
}

TEST_F(Control, TheReportPathAllocatesNothing)
{
    WriteToolSettings("1", "30");
    EXPECT_EQ(Command(CMD_RELOAD), STATUS_SUCCESS);
    const uint64_t before = sim::PoolAllocationsMade();
    KIRQL old = KfRaiseIrql(DISPATCH_LEVEL);
    for (int i = 0; i < 300; ++i) {
        auto r = Report(i % 3 == 0 ? 0x81 : i % 3 == 1 ? 0x82 : 0x84, (uint16_t)(i * 7), (uint16_t)(i * 11));
        zelko::ProcessReport(Dx(), r.data());
    }
    KfLowerIrql(old);
    EXPECT_EQ(sim::PoolAllocationsMade(), before);
    EXPECT_EQ(sim::PoolUsageOf(ZelkoTag()).allocations, 2) << "the read URB and the registry path copy";
}

}  // namespace zelkotest
