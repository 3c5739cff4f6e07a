// Zelko's requests to the bus and its own work at stop and removal, on a bus that
// completes on its own thread as a multiprocessor does: who owns the read, the
// port reset and the work items when the device goes, and what is sent after.
#include <string>
#include <vector>

#include "harness.h"

namespace zelkotest {

using sim::usb::Request;

namespace {

// Records, in order, the PnP requests and the USB requests that reach the bus
// driver's PDO ("pnp 17", "pnp 2", "urb 0", "reset", ...).
struct BusSpy {
    static BusSpy*& Current()
    {
        static BusSpy* current = nullptr;
        return current;
    }
    PDRIVER_DISPATCH pnp = nullptr, internal = nullptr;
    PDRIVER_OBJECT bus = nullptr;
    std::vector<std::string> seen;

    static NTSTATUS NTAPI Pnp(PDEVICE_OBJECT d, PIRP irp)
    {
        Current()->seen.push_back("pnp " + std::to_string(IoGetCurrentIrpStackLocation(irp)->MinorFunction));
        return Current()->pnp(d, irp);
    }
    static NTSTATUS NTAPI Internal(PDEVICE_OBJECT d, PIRP irp)
    {
        PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
        if (sp->Parameters.DeviceIoControl.IoControlCode == IOCTL_INTERNAL_USB_SUBMIT_URB)
            Current()->seen.push_back("urb " +
                                      std::to_string(((PURB)sp->Parameters.Others.Argument1)->UrbHeader.Function));
        else
            Current()->seen.push_back("port");
        return Current()->internal(d, irp);
    }
    void Attach(PDEVICE_OBJECT pdo)
    {
        Current() = this;
        bus = pdo->DriverObject;
        pnp = bus->MajorFunction[IRP_MJ_PNP];
        internal = bus->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL];
        bus->MajorFunction[IRP_MJ_PNP] = Pnp;
        bus->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = Internal;
    }
    ~BusSpy()
    {
        if (bus) {
            bus->MajorFunction[IRP_MJ_PNP] = pnp;
            bus->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = internal;
        }
        Current() = nullptr;
    }
};

}  // namespace

class Removal : public ZelkoMachine {
protected:
    void TearDown() override
    {
        sim::usb::SetAsync(false);
        ZelkoMachine::TearDown();
    }

    // Plugs, lets something be on its way at the bus, pulls the frame out, and
    // checks that nothing is left behind; `iterations` times.
    template <typename OnItsWay>
    void PullOutWhile(OnItsWay onItsWay, int iterations)
    {
        for (int i = 0; i < iterations; ++i) {
            Plug();
            onItsWay();
            sim::usb::Unplug();
            sim::RunPending();
            while (!sim::usb::Idle())
                sim::RunPending();
            ASSERT_EQ(sim::FindDevice("\\Device\\Zelko"), nullptr) << "iteration " << i;
            ASSERT_EQ(sim::IrpsOutstanding(), 0) << "iteration " << i;
            ASSERT_EQ(sim::PoolUsageOf(ZelkoTag()).bytes, 0) << "iteration " << i;
        }
    }
};

// The frame's report completes the read on the bus's thread a moment later,
// while the frame is already being pulled out: the removal must wait for that
// completion instead of freeing the request the bus still holds.
TEST_F(Removal, AReadCompletingDuringTheRemovalIsNeverFreedUnderTheBus)
{
    sim::usb::SetAsync(true, 3000, 11);
    PullOutWhile(
        [] {
            auto r = Report(0x81, 10, 10);
            sim::usb::Report(r.data(), 8);
        },
        40);
}

// The same for a stop: the read ends before the stop returns, and the next start
// reads with the same one request.
TEST_F(Removal, AStopWaitsForTheReadToComeBackAndTheStartReusesIt)
{
    sim::usb::SetAsync(true, 3000, 12);
    Plug();
    PIRP read = Dx()->readRequest;
    ASSERT_NE(read, nullptr);
    for (int i = 0; i < 20; ++i) {
        auto r = Report(0x82, 10, 10);
        sim::usb::Report(r.data(), 8);
        ASSERT_EQ(sim::pnp::Stop(node), STATUS_SUCCESS);
        EXPECT_FALSE(sim::usb::TransferHeld()) << "iteration " << i;
        EXPECT_EQ(sim::IrpsOutstanding(), 1) << "only the device's own read request, back with its owner";
        ASSERT_EQ(sim::pnp::Start(node), STATUS_SUCCESS);
        EXPECT_EQ(Dx()->readRequest, read) << "one read request for the device's life";
    }
}

// A read that fails with a data error resets the port: the reset goes out from
// passive level and is still on its way when the frame is pulled out.
TEST_F(Removal, ARemovalWaitsForThePortResetAndItsWork)
{
    sim::usb::SetAsync(true, 3000, 13);
    PullOutWhile([] { sim::usb::FailTransfer(STATUS_DEVICE_DATA_ERROR); }, 40);
}

TEST_F(Removal, FailingResetsAreRetriedFromPassiveLevelWithTheSameBound)
{
    sim::usb::SetAsync(true, 200, 14);
    Plug();
    sim::usb::InjectStatus(Request::ResetPort, STATUS_UNSUCCESSFUL, 0);
    ASSERT_TRUE(sim::usb::FailTransfer(STATUS_UNSUCCESSFUL));
    for (int i = 0; i < 2000 && sim::usb::GetCounters().resets < 1 + zelko::MAX_RESET_RETRIES; ++i)
        sim::RunPending();
    sim::usb::SetAsync(false);
    sim::RunPending();
    EXPECT_EQ(sim::usb::GetCounters().resets, 1u + zelko::MAX_RESET_RETRIES);
    EXPECT_FALSE(sim::usb::TransferHeld());
    sim::usb::ClearInjections();
}

// Once the removal has gone down the stack, the device below is gone: nothing
// more is sent to it.
TEST_F(Removal, NothingIsSentBelowAfterTheRemovalHasGoneDown)
{
    Plug();
    BusSpy spy;
    spy.Attach(sim::pnp::Pdo(node));
    sim::pnp::Remove(node);
    ASSERT_FALSE(spy.seen.empty());
    auto removal = std::find(spy.seen.begin(), spy.seen.end(), "pnp " + std::to_string(IRP_MN_REMOVE_DEVICE));
    ASSERT_NE(removal, spy.seen.end());
    EXPECT_EQ(removal + 1, spy.seen.end()) << "sent after the removal: " << *(removal + 1);
    // The stop before it deconfigured the frame once.
    EXPECT_EQ(std::count(spy.seen.begin(), removal, "urb " + std::to_string(URB_FUNCTION_SELECT_CONFIGURATION)), 1);
}

// A command from the tool re-announces the interface only while the device is
// started: a stopped or surprise-removed device's interface stays off.
TEST_F(Removal, ACommandReannouncesTheInterfaceOnlyWhileStarted)
{
    Plug();
    InterfaceWatcher watcher;
    watcher.Register();
    sim::RunPending();
    ASSERT_EQ(watcher.arrivals, 1);
    const GUID zelkoInterface = ZELKO_INTERFACE_GUID_INIT;
    bool enabled = true;

    // No consumer has read yet, so every command would re-announce.
    ASSERT_EQ(sim::pnp::Stop(node), STATUS_SUCCESS);
    EXPECT_EQ(Command(7), STATUS_SUCCESS);
    sim::InterfaceLinkOf(sim::pnp::Pdo(node), zelkoInterface, &enabled);
    EXPECT_FALSE(enabled) << "a stopped device's interface stays off";
    EXPECT_EQ(watcher.arrivals, 1);

    ASSERT_EQ(sim::pnp::Start(node), STATUS_SUCCESS);
    EXPECT_EQ(Command(7), STATUS_SUCCESS);
    sim::InterfaceLinkOf(sim::pnp::Pdo(node), zelkoInterface, &enabled);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(watcher.arrivals, 3) << "the start's announcement and the command's";

    ASSERT_EQ(sim::pnp::SendPnp(node, IRP_MN_SURPRISE_REMOVAL), STATUS_SUCCESS);
    EXPECT_EQ(Command(7), STATUS_SUCCESS);
    sim::InterfaceLinkOf(sim::pnp::Pdo(node), zelkoInterface, &enabled);
    EXPECT_FALSE(enabled) << "nor does a surprise-removed one's";
    EXPECT_EQ(watcher.arrivals, 3);
}

}  // namespace zelkotest
