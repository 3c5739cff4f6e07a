// Miravel's binding to Zelko through its device interface, PnP and power.
#include "harness.h"

namespace miraveltest {

class Lifecycle : public MiravelMachine {};

const uint64_t kMs = 10000;  // 100-ns units

TEST_F(Lifecycle, ZelkoPresentBeforeAddDeviceIsOpenedThereButReadOnlyAtStart)
{
    PlugFrame();
    bool checked = false, openInAddDevice = false;
    int readsInAddDevice = -1;
    // Runs during the 100 ms pause that opening Zelko takes inside AddDevice.
    sim::ScheduleAt(sim::Now() + 50 * kMs, [&] {
        checked = true;
        miravel::PDEVICE_EXTENSION dx = Ext();
        openInAddDevice = dx && dx->zelkoFile && dx->stopped;
        readsInAddDevice = spyZelko.readEvents;
    });
    AddMiravel();
    ASSERT_TRUE(checked);
    EXPECT_TRUE(openInAddDevice);
    EXPECT_EQ(readsInAddDevice, 0);
    EXPECT_EQ(spyZelko.readEvents, 1);
    EXPECT_EQ(ZelkoHeldReads(), 1);
}

TEST_F(Lifecycle, ZelkoAppearingAfterStartIsReadAHundredMillisecondsLater)
{
    AddMiravel();
    ASSERT_TRUE(sim::pnp::Started(hid));
    EXPECT_EQ(Ext()->zelkoFile, nullptr);
    const uint64_t t0 = sim::Now();
    int readsBefore = -1;
    bool openBefore = false;
    sim::ScheduleAt(t0 + 99 * kMs, [&] {
        readsBefore = ZelkoHeldReads();
        openBefore = Ext()->zelkoFile != nullptr;
    });
    PlugFrame();
    EXPECT_TRUE(openBefore);
    EXPECT_EQ(readsBefore, 0);
    EXPECT_EQ(ZelkoHeldReads(), 1);
    EXPECT_GE(sim::Now() - t0, 100 * kMs);
    ASSERT_TRUE(Frame(kDown, 3, 4));
    EXPECT_EQ(sim::hidclass::Received(), std::vector<std::vector<uint8_t>>{HidReport(0x80, 3, 4)});
}

TEST_F(Lifecycle, ZelkoArrivingWhileStoppedIsOpenedButNotRead)
{
    AddMiravel();
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    PlugFrame();
    EXPECT_NE(Ext()->zelkoFile, nullptr);
    EXPECT_EQ(ZelkoHeldReads(), 0);
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    EXPECT_EQ(ZelkoHeldReads(), 1);
}

TEST_F(Lifecycle, StopWithAReadOutCancelsItAndEndsWaitingRequests)
{
    sim::hidclass::SetReadStream(false);
    PlugFrame();
    AddMiravel();
    auto r = ReadReport();
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    EXPECT_EQ(spyZelko.cancelReads, 1);
    EXPECT_EQ(ZelkoHeldReads(), 0);
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->status, STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(r->information, 0u);
    // Events now wait in Zelko's queue.
    ASSERT_TRUE(Frame(kDown, 1, 1));
    EXPECT_EQ(sim::PoolUsageOf(SserTag()).allocations, 0);
}

TEST_F(Lifecycle, StopWithNoReadOutSendsNoCancel)
{
    sim::hidclass::SetReadStream(false);
    PlugFrame();
    AddMiravel();
    ASSERT_TRUE(ZelkoCompletes(STATUS_DEVICE_NOT_CONNECTED));  // the loop ends
    auto r = ReadReport();
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    EXPECT_EQ(spyZelko.cancelReads, 0);
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->status, STATUS_NO_SUCH_DEVICE);
}

TEST_F(Lifecycle, StopThenStartResumesTheLoop)
{
    PlugFrame();
    AddMiravel();
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    int reads = spyZelko.readEvents;
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    EXPECT_EQ(spyZelko.readEvents, reads + 1);
    EXPECT_EQ(ZelkoHeldReads(), 1);
    ASSERT_TRUE(Frame(kDown, 9, 9));
    EXPECT_EQ(sim::hidclass::Received(), std::vector<std::vector<uint8_t>>{HidReport(0x80, 9, 9)});
}

TEST_F(Lifecycle, AStartTheBusFailsReadsNothingAndFails)
{
    PlugFrame();
    AddMiravel();
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    spyRoot.failMinor = IRP_MN_START_DEVICE;
    EXPECT_EQ(sim::pnp::Start(hid), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(ZelkoHeldReads(), 0);
    EXPECT_TRUE(Ext()->stopped);
    spyRoot.failMinor = -1;
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    EXPECT_EQ(ZelkoHeldReads(), 1);
}

TEST_F(Lifecycle, EventsQueuedAcrossAStopAreDeliveredAfterTheStart)
{
    sim::hidclass::SetReadStream(false);
    PlugFrame();
    AddMiravel();
    ASSERT_TRUE(Frame(kDown, 1, 2));
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    auto r = ReadReport();
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->buffer, HidReport(0x80, 1, 2));
}

// Letting go of Zelko with a read out there ends that read first (as Dravick
// does): a read left at a Zelko that has stopped would wait for ever, and the
// next stop of Miravel with it.
TEST_F(Lifecycle, RemovalNotificationWhileAReadIsOutEndsThatReadFirst)
{
    PlugFrame();
    AddMiravel();
    ASSERT_EQ(ZelkoHeldReads(), 1);
    zelko::PDEVICE_EXTENSION zx = (zelko::PDEVICE_EXTENSION)sim::FindDevice("\\Device\\Zelko")->DeviceExtension;
    // Zelko withdraws its interface while it still holds Miravel's read.
    IoSetDeviceInterfaceState(&zx->interfaceName, FALSE);
    sim::RunPending();
    EXPECT_EQ(spyZelko.cancelReads, 1);
    EXPECT_EQ(ZelkoHeldReads(), 0);
    EXPECT_FALSE(Ext()->readPending);
    EXPECT_EQ(spyZelko.closes, 1);  // then the file object is released
    EXPECT_EQ(Ext()->zelkoFile, nullptr);
    // No reader now: the event stays in Zelko's queue.
    int reads = spyZelko.readEvents;
    ASSERT_TRUE(Frame(kDown, 11, 12));
    EXPECT_TRUE(sim::hidclass::Received().empty());
    EXPECT_EQ(spyZelko.readEvents, reads);
    // Announced again: opened, and read 100 ms later; the queued event comes first.
    IoSetDeviceInterfaceState(&zx->interfaceName, TRUE);
    sim::RunPending();
    EXPECT_NE(Ext()->zelkoFile, nullptr);
    EXPECT_EQ(sim::hidclass::Received(), std::vector<std::vector<uint8_t>>{HidReport(0x80, 11, 12)});
    EXPECT_EQ(ZelkoHeldReads(), 1);
}

TEST_F(Lifecycle, TheFrameUnpluggedAndPluggedAgain)
{
    PlugFrame();
    AddMiravel();
    sim::usb::Unplug();
    sim::RunPending();
    EXPECT_EQ(Ext()->zelkoFile, nullptr);
    EXPECT_FALSE(Ext()->readPending);
    PlugFrame();
    EXPECT_NE(Ext()->zelkoFile, nullptr);
    ASSERT_TRUE(Frame(kLift, 100, 200));
    std::vector<std::vector<uint8_t>> expected = {HidReport(0x81, 100, 200), HidReport(0x80, 100, 200)};
    EXPECT_EQ(sim::hidclass::Received(), expected);
}

TEST_F(Lifecycle, SurpriseRemovalEndsEverything)
{
    sim::hidclass::SetReadStream(false);
    PlugFrame();
    AddMiravel();
    auto r = ReadReport();
    sim::pnp::SurpriseRemove(hid);
    hid = nullptr;
    EXPECT_EQ(ZelkoHeldReads(), 0);
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->status, STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(spyZelko.closes, 1);
    // Zelko's interface is no longer watched.
    sim::usb::Unplug();
    sim::RunPending();
}

// ---- PnP requests answered by Miravel itself ---------------------------------------------------------
TEST_F(Lifecycle, QueryIdAnswersTheHardwareIdForEveryType)
{
    AddMiravel();
    for (int type = BusQueryDeviceID; type <= BusQueryDeviceSerialNumber; ++type) {
        SCOPED_TRACE(type);
        ULONG_PTR info = 0;
        ASSERT_EQ(sim::pnp::SendPnp(hid, IRP_MN_QUERY_ID, &info, (PVOID)(ULONG_PTR)type), STATUS_SUCCESS);
        auto* id = (const char16_t*)info;
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(std::u16string(id), u"HID\\Vid_05E3&Pid_1205");
        EXPECT_EQ(id[22], 0);     // a list of one string
        ExFreePool((PVOID)info);  // the PnP manager's part
    }
    EXPECT_FALSE(spyRoot.Saw(IRP_MN_QUERY_ID));
}

TEST_F(Lifecycle, QueryIdAlreadyAnsweredFails)
{
    AddMiravel();
    ULONG_PTR info = 0;
    EXPECT_EQ(sim::pnp::SendPnp(hid, IRP_MN_QUERY_ID, &info, (PVOID)BusQueryHardwareIDs, 0x1234), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(info, 0x1234u);
}

TEST_F(Lifecycle, NoMemoryForTheId)
{
    AddMiravel();
    ULONG_PTR info = 0;
    sim::FailAllocation(2);  // the request, then the id
    EXPECT_EQ(sim::pnp::SendPnp(hid, IRP_MN_QUERY_ID, &info, (PVOID)BusQueryHardwareIDs),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(info, 0u);
}

TEST_F(Lifecycle, QueryStopAndDeviceStateStayWithMiravel)
{
    AddMiravel();
    spyRoot.pnpMinors.clear();
    EXPECT_EQ(sim::pnp::SendPnp(hid, IRP_MN_QUERY_STOP_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(sim::pnp::SendPnp(hid, IRP_MN_CANCEL_STOP_DEVICE), STATUS_SUCCESS);
    ULONG_PTR state = 0xFF;
    EXPECT_EQ(sim::pnp::SendPnp(hid, IRP_MN_QUERY_PNP_DEVICE_STATE, &state, nullptr, 0xFF), STATUS_SUCCESS);
    EXPECT_EQ(state, 0u);
    EXPECT_TRUE(spyRoot.pnpMinors.empty());
    // Others go down to the bus.
    DEVICE_CAPABILITIES caps;
    EXPECT_EQ(sim::pnp::QueryCapabilities(hid, &caps), STATUS_SUCCESS);
    EXPECT_TRUE(spyRoot.Saw(IRP_MN_QUERY_CAPABILITIES));
    EXPECT_EQ(sim::pnp::SendPnp(hid, IRP_MN_QUERY_REMOVE_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(sim::pnp::SendPnp(hid, IRP_MN_CANCEL_REMOVE_DEVICE), STATUS_SUCCESS);
    EXPECT_TRUE(spyRoot.Saw(IRP_MN_QUERY_REMOVE_DEVICE));
    EXPECT_TRUE(spyRoot.Saw(IRP_MN_CANCEL_REMOVE_DEVICE));
}

TEST_F(Lifecycle, StartAndStopReachTheBus)
{
    AddMiravel();
    EXPECT_TRUE(spyRoot.pnpMinors.empty());  // the spy was set after the start
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    EXPECT_TRUE(spyRoot.Saw(IRP_MN_STOP_DEVICE));
    EXPECT_TRUE(spyRoot.Saw(IRP_MN_START_DEVICE));
    EXPECT_FALSE(spyRoot.Saw(IRP_MN_QUERY_STOP_DEVICE));
}

TEST_F(Lifecycle, PowerPassesDownAndReadingGoesOn)
{
    PlugFrame();
    AddMiravel();
    uint64_t before = sim::PowerStartNextCalls();
    ASSERT_EQ(sim::pnp::SystemSleep(), STATUS_SUCCESS);
    ASSERT_EQ(sim::pnp::SystemWake(), STATUS_SUCCESS);
    EXPECT_GT(sim::PowerStartNextCalls(), before);
    ASSERT_TRUE(Frame(kDown, 2, 3));
    EXPECT_FALSE(sim::hidclass::Received().empty());
}

TEST_F(Lifecycle, ASecondDeviceIsRefused)
{
    PlugFrame();
    AddMiravel();
    sim::pnp::DevNode* second = sim::pnp::CreateRootDevice(kHidId);
    EXPECT_FALSE(sim::pnp::Started(second));
    EXPECT_EQ(sim::pnp::LastStartStatus(second), STATUS_INVALID_DEVICE_STATE);
    sim::pnp::Remove(second);
    ASSERT_TRUE(Frame(kDown, 4, 4));
    EXPECT_EQ(sim::hidclass::Received(), std::vector<std::vector<uint8_t>>{HidReport(0x80, 4, 4)});
}

TEST_F(Lifecycle, RemovalLeavesNothingBehind)
{
    PlugFrame();
    AddMiravel();
    ASSERT_TRUE(Frame(kDown, 1, 1));
    sim::pnp::Remove(hid);
    hid = nullptr;
    EXPECT_EQ(sim::pnp::LoadedDriver("Miravel"), nullptr);
    EXPECT_EQ(sim::PoolUsageOf(SserTag()).allocations, 0);
    EXPECT_EQ(spyZelko.closes, 1);
    EXPECT_EQ(ZelkoHeldReads(), 0);
    // A new device after the old one is served.
    AddMiravel();
    EXPECT_EQ(ZelkoHeldReads(), 1);
}

}  // namespace miraveltest
