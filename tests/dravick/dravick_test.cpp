#include "harness.h"

namespace dravicktest {

using Strings = std::vector<std::string>;

// ---- the event road -------------------------------------------------------------------------------
TEST_F(DravickMachine, TapInClickAtLiftModeMovesThenClicksLeftAtTheLiftPoint)
{
    Plug();
    CreateRoot();
    ASSERT_TRUE(sim::mouclass::Connected());
    ASSERT_TRUE(sim::mouclass::PortOpen());
    EXPECT_EQ(sim::mouclass::Attributes().MouseIdentifier, 0x28);

    // Uncalibrated, Zelko stretches raw x by 40 and raw y by 54.
    ASSERT_TRUE(Touch(0x81, 1000, 800));
    ASSERT_TRUE(Touch(0x82, 1001, 800));
    ASSERT_TRUE(Touch(0x84, 1002, 801));
    EXPECT_EQ(Shown(),
              (Strings{"80/0000@40000,43200", "80/0000@40040,43200", "81/0001@40080,43254", "80/0002@40080,43254"}));
    ExpectWellFormed();
}

class LongPressTest : public DravickMachine {
protected:
    // down, then 101 holds at the same place: the last hold is the long press.
    void Press()
    {
        ASSERT_TRUE(Touch(0x81, 300, 300));
        for (int i = 0; i < 101; ++i)
            ASSERT_TRUE(Touch(0x82, 300, 300));
    }
    std::vector<std::string> LastTwo()
    {
        Strings all = Shown();
        return all.size() < 2 ? all : Strings(all.end() - 2, all.end());
    }
};

TEST_F(LongPressTest, AfterAMoveGivesRightDownThenRightUp)
{
    Plug();
    CreateRoot();
    SetMode("1");
    Press();
    EXPECT_EQ(sim::mouclass::Received().size(), 1u + 100u + 2u);
    EXPECT_EQ(LastTwo(), (Strings{"02/0004@700,1100", "00/0008@700,1100"}));
    ExpectWellFormed();
}

TEST_F(LongPressTest, AfterALeftPressReleasesLeftAndPressesRightInOneRecord)
{
    Plug();
    CreateRoot();
    SetMode("3");  // drag: every hold presses the left button
    Press();
    Strings all = Shown();
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(all[0], "80/0000@700,1100");
    EXPECT_EQ(all[1], "81/0001@700,1100");
    EXPECT_EQ(all[2], "81/0000@700,1100");
    EXPECT_EQ(LastTwo(), (Strings{"02/0006@700,1100", "00/0008@700,1100"}));
}

// ---- the read loop -------------------------------------------------------------------------------------
TEST_F(DravickMachine, EmptyCompletionReadsAgainAndCancelEndsTheLoop)
{
    Plug();
    CreateRoot();
    SetMode("6");                      // move only: a touch-down queues nothing
    ASSERT_TRUE(Touch(0x81, 10, 10));  // completes the read with 0 bytes
    EXPECT_TRUE(sim::mouclass::Received().empty());
    ASSERT_TRUE(Touch(0x82, 10, 20));  // the renewed read takes it
    EXPECT_EQ(Shown(), Strings{"80/0000@120,260"});

    ASSERT_EQ(zelkotest::CancelReads(Dvx()->zelkoFile), STATUS_SUCCESS);
    EXPECT_FALSE(Dvx()->readActive);
    ASSERT_TRUE(Touch(0x82, 10, 30));
    EXPECT_EQ(sim::mouclass::Received().size(), 1u);
    EXPECT_EQ(GetEvent().code, 0x80u);  // nobody else took it
}

TEST_F(DravickMachine, OddCompletionsAreSkippedTimeoutsRetriedOtherErrorsEndTheLoop)
{
    holder.Install();
    Plug();
    CreateRoot();
    holder.hold = true;
    ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);
    ASSERT_EQ(sim::mouclass::OpenPort(), STATUS_SUCCESS);
    ASSERT_EQ(holder.held.size(), 1u);

    const uint8_t event[10] = {0x81, 0x34, 0x12, 0x78, 0x56, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    holder.Complete(STATUS_SUCCESS, event, 4);  // too short for an event
    ASSERT_EQ(holder.held.size(), 1u);
    holder.Complete(STATUS_SUCCESS, event, 10);  // more than an event: the first five count
    ASSERT_EQ(holder.held.size(), 1u);
    holder.Complete(STATUS_IO_TIMEOUT, nullptr, 0);
    ASSERT_EQ(holder.held.size(), 1u);
    EXPECT_EQ(Shown(), Strings{"81/0001@4660,22136"});

    holder.Complete(STATUS_DEVICE_NOT_CONNECTED, nullptr, 0);
    EXPECT_TRUE(holder.held.empty());
    EXPECT_FALSE(Dvx()->readActive);
    ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);  // nothing outstanding: returns at once
}

// ---- the mouse class driver's requests -------------------------------------------------------------
TEST_F(DravickMachine, ClassRequestsGetTheirStatusForEveryBufferLength)
{
    CreateRoot();
    PDEVICE_OBJECT port = sim::mouclass::PortDevice();
    uint8_t out[32];
    for (ULONG n : {0u, 8u, 11u, 12u, 32u}) {
        ULONG_PTR info = 99;
        NTSTATUS s = SendInternal(port, IOCTL_MOUSE_QUERY_ATTRIBUTES, nullptr, 0, out, n, &info);
        EXPECT_EQ(s, n < 12 ? STATUS_BUFFER_TOO_SMALL : STATUS_SUCCESS) << n;
        EXPECT_EQ(info, n < 12 ? 0u : 12u) << n;
    }
    EXPECT_EQ(SendInternal(port, IOCTL_INTERNAL_MOUSE_DISCONNECT, nullptr, 0, nullptr, 0), STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(SendInternal(port, IOCTL_INTERNAL_MOUSE_ENABLE, nullptr, 0, nullptr, 0), STATUS_NOT_SUPPORTED);
    EXPECT_EQ(SendInternal(port, IOCTL_INTERNAL_MOUSE_DISABLE, nullptr, 0, nullptr, 0), STATUS_NOT_SUPPORTED);
    EXPECT_EQ(SendInternal(port, 0x000F0007, nullptr, 0, out, 32), STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(SendInternal(port, IOCTL_ZELKO_READ_EVENT, nullptr, 0, out, 10), STATUS_INVALID_DEVICE_REQUEST);
}

class WithoutClass : public DravickMachine {
protected:
    bool WithClass() const override { return false; }
};

TEST_F(WithoutClass, ConnectNeedsAWholeRecordWithAService)
{
    CreateRoot();
    PDEVICE_OBJECT port = sim::pnp::Top(root);
    CONNECT_DATA none = {port, nullptr};
    EXPECT_EQ(SendInternal(port, IOCTL_INTERNAL_MOUSE_CONNECT, nullptr, 0, nullptr, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(SendInternal(port, IOCTL_INTERNAL_MOUSE_CONNECT, &none, sizeof none, nullptr, 0),
              STATUS_INVALID_PARAMETER);
    CONNECT_DATA half = {port, (PVOID)&Show};
    EXPECT_EQ(SendInternal(port, IOCTL_INTERNAL_MOUSE_CONNECT, &half, sizeof half - 1, nullptr, 0),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Dvx()->connectData.ClassService, nullptr);
}

TEST_F(DravickMachine, ASecondConnectFailsAndKeepsTheFirst)
{
    CreateRoot();
    EXPECT_EQ(sim::mouclass::ConnectStatus(), STATUS_SUCCESS);
    EXPECT_EQ(sim::mouclass::ConnectAgain(), STATUS_SHARING_VIOLATION);
    Plug();
    ASSERT_TRUE(Touch(0x81, 1, 1));
    EXPECT_EQ(Shown(), Strings{"80/0000@40,54"});
}

// The system's class connects while it adds the device; a port that reads before
// any class has connected only moves the last code.
std::vector<MOUSE_INPUT_DATA> g_serviced;
void NTAPI RecordingService(PVOID, PVOID first, PVOID last, PVOID consumed)
{
    for (auto* p = (PMOUSE_INPUT_DATA)first; p < (PMOUSE_INPUT_DATA)last; ++p)
        g_serviced.push_back(*p);
    *(PULONG)consumed = (ULONG)((PMOUSE_INPUT_DATA)last - (PMOUSE_INPUT_DATA)first);
}

TEST_F(WithoutClass, EventsBeforeTheConnectOnlyMoveTheLastCode)
{
    g_serviced.clear();
    Plug();
    SetMode("3");
    ASSERT_TRUE(Touch(0x81, 100, 100));  // 0x80
    ASSERT_TRUE(Touch(0x82, 100, 100));  // 0x81: left pressed
    CreateRoot();                        // reads both at its start, with no class connected
    EXPECT_EQ(dravick::lastCode, 0x81u);
    PDEVICE_OBJECT port = sim::pnp::Top(root);
    CONNECT_DATA connect = {port, (PVOID)RecordingService};
    ASSERT_EQ(SendInternal(port, IOCTL_INTERNAL_MOUSE_CONNECT, &connect, sizeof connect, nullptr, 0), STATUS_SUCCESS);
    ASSERT_TRUE(Touch(0x84, 100, 100));  // 0x80: the release of the press nobody saw
    ASSERT_EQ(g_serviced.size(), 1u);
    EXPECT_EQ(g_serviced[0].RawButtons, 0x80u);
    EXPECT_EQ(g_serviced[0].ButtonFlags, MOUSE_LEFT_BUTTON_UP);
    EXPECT_EQ(g_serviced[0].LastX, 300);
    EXPECT_EQ(g_serviced[0].LastY, 500);
}

// ---- binding to Zelko -----------------------------------------------------------------------------------
TEST_F(DravickMachine, ZelkoPresentBeforeTheStartIsReadFromTheStart)
{
    Plug();
    CreateRoot();
    EXPECT_TRUE(Dvx()->readActive);
    ASSERT_TRUE(Touch(0x81, 2, 3));
    EXPECT_EQ(Shown(), Strings{"80/0000@80,162"});
}

TEST_F(DravickMachine, ZelkoArrivingAfterTheStartIsReadFromItsArrival)
{
    CreateRoot();
    EXPECT_FALSE(Dvx()->readActive);
    Plug();
    EXPECT_TRUE(Dvx()->readActive);
    ASSERT_TRUE(Touch(0x81, 2, 3));
    EXPECT_EQ(Shown(), Strings{"80/0000@80,162"});

    sim::usb::Unplug();  // Zelko ends the read and goes
    sim::RunPending();
    EXPECT_EQ(Dvx()->zelkoDevice, nullptr);
    EXPECT_FALSE(Dvx()->readActive);
    uint64_t before = sim::Now();
    EXPECT_EQ(sim::pnp::Stop(root), STATUS_SUCCESS);  // nothing outstanding: no wait
    EXPECT_EQ(sim::Now(), before);
}

TEST_F(DravickMachine, ZelkoReannouncingItsInterfaceOnACommandMakesDravickConnect)
{
    // Zelko fails its first start: its interface never comes up, Dravick never opens it.
    sim::usb::InjectStatus(sim::usb::Request::SelectConfiguration, STATUS_UNSUCCESSFUL, 1);
    Plug();
    CreateRoot();
    EXPECT_EQ(Dvx()->zelkoDevice, nullptr);
    ASSERT_EQ(Command(7), STATUS_SUCCESS);  // any command re-announces it
    EXPECT_TRUE(Dvx()->readActive);
    EXPECT_TRUE(Dx()->consumerSeen);
    ASSERT_EQ(sim::pnp::Start(node), STATUS_SUCCESS);  // second start: Zelko reads the frame
    ASSERT_TRUE(Touch(0x81, 2, 3));
    EXPECT_EQ(Shown(), Strings{"80/0000@80,162"});
}

TEST_F(DravickMachine, InterfaceWithdrawnWhileAReadIsOutstandingEndsThatReadFirst)
{
    holder.Install();
    holder.hold = true;  // Zelko never sees Dravick's reads, so a command re-announces it
    Plug();
    CreateRoot();
    ASSERT_EQ(holder.held.size(), 1u);
    ASSERT_EQ(Command(7), STATUS_SUCCESS);  // removal and arrival, with the read still held
    ASSERT_EQ(holder.held.size(), 1u);      // the old one cancelled, one new read
    EXPECT_TRUE(Dvx()->readActive);
    // TearDown removes the device with this read outstanding.
}

// ---- open, close, PnP --------------------------------------------------------------------------------------
TEST_F(DravickMachine, CloseByTheClassStopsReadingAndTheNextOpenResumes)
{
    Plug();
    CreateRoot();
    ASSERT_EQ(sim::mouclass::ClosePort(), STATUS_SUCCESS);
    EXPECT_FALSE(Dvx()->readActive);
    EXPECT_EQ(Dvx()->readRequest, nullptr);
    ASSERT_TRUE(Touch(0x81, 2, 3));
    ASSERT_TRUE(Touch(0x84, 2, 3));
    EXPECT_TRUE(sim::mouclass::Received().empty());
    ASSERT_EQ(sim::mouclass::OpenPort(), STATUS_SUCCESS);  // reads the queued events at once
    EXPECT_EQ(Shown(), (Strings{"80/0000@80,162", "81/0001@80,162", "80/0002@80,162"}));
    ExpectWellFormed();  // raised to dispatch level for the class although read at passive level
}

TEST_F(DravickMachine, QueryIdAnswersTheHardwareIdForEveryKindOfId)
{
    CreateRoot();
    for (int type : {BusQueryDeviceID, BusQueryHardwareIDs, BusQueryCompatibleIDs, BusQueryInstanceID}) {
        ULONG_PTR info = 0;
        ASSERT_EQ(sim::pnp::SendPnp(root, IRP_MN_QUERY_ID, &info, (PVOID)(intptr_t)type), STATUS_SUCCESS);
        auto* ids = (const char16_t*)info;
        EXPECT_EQ(std::u16string(ids, 15), std::u16string(u"root\\DRAVLINE\0\0", 15)) << type;
        ExFreePool((PVOID)info);
    }
    ULONG_PTR info = 0;
    EXPECT_EQ(sim::pnp::SendPnp(root, IRP_MN_QUERY_ID, &info, (PVOID)(intptr_t)BusQueryHardwareIDs, 1),
              STATUS_UNSUCCESSFUL);
}

TEST_F(DravickMachine, SurpriseRemovalIsNotSupportedAndStopsReading)
{
    Plug();
    CreateRoot();
    EXPECT_EQ(sim::pnp::SendPnp(root, IRP_MN_SURPRISE_REMOVAL), STATUS_NOT_SUPPORTED);
    EXPECT_FALSE(Dvx()->readActive);
    ASSERT_TRUE(Touch(0x81, 2, 3));
    EXPECT_TRUE(sim::mouclass::Received().empty());
    // TearDown removes the device: nothing left in pool or in flight.
}

TEST_F(DravickMachine, PowerRequestsPassThroughAndRemovalLeavesNothing)
{
    Plug();
    const int64_t zelkoIrps = sim::IrpsOutstanding();
    CreateRoot();
    EXPECT_EQ(sim::pnp::SystemSleep(), STATUS_SUCCESS);
    EXPECT_EQ(sim::pnp::SystemWake(), STATUS_SUCCESS);
    ASSERT_TRUE(Touch(0x81, 2, 3));
    sim::pnp::Remove(root);
    root = nullptr;
    EXPECT_EQ(sim::PoolUsageOf(DravickTag()).allocations, 0);
    EXPECT_EQ(sim::pnp::LoadedDriver("Dravick"), nullptr);
    EXPECT_EQ(sim::IrpsOutstanding(), zelkoIrps);
}

}  // namespace dravicktest
