// Zelko with the PnP and power managers and the USB bus: configuration, the
// interrupt read and its recovery, stop, removal, sleep and wake.
#include "harness.h"

namespace zelkotest {

using sim::usb::Counters;
using sim::usb::Request;

class Lifecycle : public ZelkoMachine {};

TEST_F(Lifecycle, AFrameWithAnotherIdentityIsConfiguredThenRefused)
{
    for (auto d :
         {sim::usb::FrameDescription{0x1234, 0x0001, 1, 1}, sim::usb::FrameDescription{0x5A53, 0x0002, 1, 1}}) {
        sim::pnp::InstallFunctionDriver("USB\\VID_1234&PID_0001", {"Zelko", zelko::DriverEntry, ZelkoTag()});
        sim::pnp::InstallFunctionDriver("USB\\VID_5A53&PID_0002", {"Zelko", zelko::DriverEntry, ZelkoTag()});
        Plug(d);
        EXPECT_EQ(sim::pnp::LastStartStatus(node), STATUS_SUCCESS) << "the PnP request returns the bus's status";
        Counters c = sim::usb::GetCounters();
        EXPECT_EQ(c.selectConfigurations, 1u);
        EXPECT_EQ(c.transfersSubmitted, 0u) << "no read";
        EXPECT_EQ(c.classRequests, 0u);
        EXPECT_TRUE(Dx()->stopped);
        EXPECT_EQ(zelko::ConfigureDevice(Dx()), STATUS_UNSUCCESSFUL);
        sim::usb::Unplug();
    }
}

TEST_F(Lifecycle, ConfigurationFailuresEachGiveTheirStatus)
{
    Plug(sim::usb::FrameDescription{0x5A53, 0x0001, 1, 0});
    EXPECT_EQ(sim::usb::GetCounters().transfersSubmitted, 0u);
    EXPECT_EQ(zelko::ConfigureDevice(Dx()), STATUS_UNSUCCESSFUL) << "no endpoint";
    sim::usb::Unplug();

    Plug(sim::usb::FrameDescription{0x5A53, 0x0001, 0, 0});
    EXPECT_EQ(zelko::ConfigureDevice(Dx()), STATUS_NO_SUCH_DEVICE) << "no interface";
    sim::usb::Unplug();

    Plug();
    sim::usb::InjectStatus(Request::ClassRequest, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(zelko::ConfigureDevice(Dx()), STATUS_UNSUCCESSFUL) << "the class request is part of it";
    sim::usb::InjectStatus(Request::GetDescriptor, STATUS_DEVICE_DATA_ERROR);
    EXPECT_EQ(zelko::ConfigureDevice(Dx()), STATUS_UNSUCCESSFUL);
    sim::usb::InjectStatus(Request::SelectConfiguration, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(zelko::ConfigureDevice(Dx()), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(zelko::ConfigureDevice(Dx()), STATUS_SUCCESS);
}

TEST_F(Lifecycle, TwoDeviceInterfacesOfTheFirstInterfaceUseItsFirstPipe)
{
    Plug(sim::usb::FrameDescription{0x5A53, 0x0001, 2, 3});
    EXPECT_TRUE(sim::usb::TransferHeld());
    EXPECT_TRUE(Touch(0x81, 1, 2));
    EXPECT_EQ(GetEvent().code, 0x80u);
}

TEST_F(Lifecycle, ATimedOutReadIsRenewedWithoutProcessing)
{
    Plug();
    EXPECT_TRUE(sim::usb::FailTransfer(STATUS_IO_TIMEOUT));
    sim::RunPending();
    EXPECT_TRUE(sim::usb::TransferHeld());
    EXPECT_EQ(GetEvent().code, 111u);
    EXPECT_EQ(sim::usb::GetCounters().resets, 0u);
}

TEST_F(Lifecycle, ADataErrorResetsThePortAndReadsResumeOnceConnected)
{
    Plug();
    sim::usb::SetPortConnected(false);
    EXPECT_TRUE(sim::usb::FailTransfer(STATUS_DEVICE_DATA_ERROR));
    sim::RunPending();
    Counters c = sim::usb::GetCounters();
    EXPECT_EQ(c.resets, 2u) << "the asynchronous reset, then the second one at passive level";
    EXPECT_EQ(c.portStatusQueries, 1u);
    EXPECT_FALSE(sim::usb::TransferHeld()) << "reads stay off while disconnected";

    // The next reset (a return to full power starts one too) finds the frame back.
    sim::usb::SetPortConnected(true);
    zelko::ResetPortAsync(Dx());
    sim::RunPending();
    EXPECT_TRUE(sim::usb::TransferHeld());
    EXPECT_TRUE(Touch(0x81, 3, 3));
    EXPECT_EQ(GetEvent().x, 120u);
}

TEST_F(Lifecycle, AFailingResetIsRetriedABoundedNumberOfTimes)
{
    Plug();
    sim::usb::InjectStatus(Request::ResetPort, STATUS_UNSUCCESSFUL, 0);
    EXPECT_TRUE(sim::usb::FailTransfer(STATUS_UNSUCCESSFUL));
    sim::RunPending();
    EXPECT_EQ(sim::usb::GetCounters().resets, 1u + zelko::MAX_RESET_RETRIES);
    EXPECT_FALSE(sim::usb::TransferHeld());

    // Another status ends the attempts at once; a later success reads again.
    sim::usb::InjectStatus(Request::ResetPort, STATUS_CANCELLED, 1);
    zelko::ResetPortAsync(Dx());
    EXPECT_EQ(sim::usb::GetCounters().resets, 2u + zelko::MAX_RESET_RETRIES);
    sim::usb::ClearInjections();
    zelko::ResetPortAsync(Dx());
    sim::RunPending();
    EXPECT_TRUE(sim::usb::TransferHeld());
}

TEST_F(Lifecycle, ACancelledReadEndsTheReadsAndStillSignalsDone)
{
    Plug();
    KeClearEvent(&Dx()->readDone);
    EXPECT_TRUE(sim::usb::FailTransfer(STATUS_CANCELLED));
    sim::RunPending();
    EXPECT_FALSE(sim::usb::TransferHeld());
    EXPECT_EQ(KeReadStateEvent(&Dx()->readDone), 1);
    EXPECT_EQ(Dx()->readOutstanding, 0) << "the request is back with the device";
    EXPECT_EQ(sim::usb::GetCounters().resets, 0u);
}

TEST_F(Lifecycle, AShortTransferKeepsThePreviousReportsTail)
{
    Plug();
    Touch(0x84, 0x0102, 0x0304);
    GetEvent();
    GetEvent();
    const uint8_t two[] = {0xAA, 0xBB};
    ASSERT_TRUE(sim::usb::Report(two, 2));
    EventRecord e = GetEvent();
    EXPECT_EQ(e.code, 0x81u) << "status 0x84 of the previous report";
    EXPECT_EQ(e.x, 0x0102u * 40);
    EXPECT_EQ(Dx()->report[0], 0xAA);
}

TEST_F(Lifecycle, SurpriseRemovalEndsHeldReadsAndIssuesNoRead)
{
    Plug();
    ConsumerRead held;
    held.Issue();
    sim::usb::Unplug();
    EXPECT_TRUE(held.done);
    EXPECT_EQ(held.status, STATUS_CANCELLED);
    EXPECT_EQ(sim::FindDevice("\\Device\\Zelko"), nullptr);
    EXPECT_EQ(sim::pnp::LoadedDriver("Zelko"), nullptr) << "unloaded with its last device";
}

TEST_F(Lifecycle, StopAndStartKeepSettingsQueueAndTouchState)
{
    Plug();
    WriteToolSettings("2", "10");
    Command(CMD_RELOAD);
    Touch(0x81, 5, 6);  // mode 2: 0x81, 0x80 queued
    Dx()->touch.longCounter = 33;
    ConsumerRead held;
    held.Issue();
    EXPECT_TRUE(held.done) << "an event was queued";

    EXPECT_EQ(sim::pnp::Stop(node), STATUS_SUCCESS);
    EXPECT_FALSE(sim::usb::TransferHeld());
    EXPECT_EQ(sim::usb::GetCounters().deconfigurations, 1u);
    ConsumerRead whileStopped;
    EXPECT_EQ(whileStopped.Issue(), STATUS_SUCCESS) << "requests work in every state";

    EXPECT_EQ(sim::pnp::Start(node), STATUS_SUCCESS);
    EXPECT_TRUE(sim::usb::TransferHeld());
    EXPECT_EQ(Dx()->settings.doneMode, 2);
    EXPECT_EQ(Dx()->touch.longCounter, 33);
    EXPECT_TRUE(Dx()->settings.settingsLoaded);
}

TEST_F(Lifecycle, AStopWithAHeldReadCancelsIt)
{
    Plug();
    ConsumerRead held;
    held.Issue();
    const uint64_t before = sim::Now();
    sim::pnp::Stop(node);
    EXPECT_EQ(held.status, STATUS_CANCELLED);
    EXPECT_GE(sim::Now() - before, 1000000u) << "the 100 ms pause";
    EXPECT_LT(sim::Now() - before, 1000000u + 12000000u) << "the cancelled read ended the wait";
    EXPECT_EQ(Dx()->readOutstanding, 0);
}

TEST_F(Lifecycle, TheThirdStartAfterTwoFailedOnesFailsAtOnce)
{
    sim::usb::InjectStatus(Request::ClassRequest, STATUS_UNSUCCESSFUL, 2);
    Plug();
    EXPECT_TRUE(Dx()->stopped);
    EXPECT_EQ(sim::pnp::Start(node), STATUS_SUCCESS);  // the second failed start
    EXPECT_TRUE(Dx()->stopped);
    const uint64_t configs = sim::usb::GetCounters().selectConfigurations;
    EXPECT_EQ(sim::pnp::Start(node), STATUS_SUCCESS);
    EXPECT_TRUE(Dx()->stopped);
    EXPECT_EQ(sim::usb::GetCounters().selectConfigurations, configs) << "not even configured";
}

TEST_F(Lifecycle, ASecondDeviceCannotTakeTheFixedName)
{
    Plug();
    sim::pnp::DevNode* other = sim::pnp::CreateRootDevice("ROOT\\OTHER");
    PDRIVER_OBJECT driver = sim::pnp::FunctionDriver(node);
    EXPECT_EQ(driver->DriverExtension->AddDevice(driver, sim::pnp::Pdo(other)), STATUS_OBJECT_NAME_COLLISION);
    sim::pnp::Remove(other);
}

TEST_F(Lifecycle, CapabilitiesComeFromThePdoWithSurpriseRemovalAllowed)
{
    Plug();
    DEVICE_CAPABILITIES caps;
    EXPECT_EQ(sim::pnp::QueryCapabilities(node, &caps), STATUS_SUCCESS);
    EXPECT_EQ(caps.SurpriseRemovalOK, 1u);
    EXPECT_EQ(caps.Removable, 1u) << "the bus's own answer";
    EXPECT_EQ(caps.Address, 1u);
    EXPECT_EQ(caps.DeviceState[PowerSystemSleeping3], PowerDeviceD3);
}

TEST_F(Lifecycle, SleepAndWakeResumeReadsThroughAPortReset)
{
    Plug();
    EXPECT_EQ(sim::pnp::SystemSleep(), STATUS_SUCCESS);
    EXPECT_EQ(Dx()->devicePowerState, PowerDeviceD3);
    EXPECT_EQ(sim::RecordedDevicePowerState(Dx()->deviceObject), PowerDeviceD3);
    EXPECT_FALSE(sim::usb::TransferHeld()) << "the suspended frame ended the read; none follows";
    EXPECT_FALSE(Touch(0x81, 1, 1));

    EXPECT_EQ(sim::pnp::SystemWake(), STATUS_SUCCESS);
    EXPECT_EQ(Dx()->devicePowerState, PowerDeviceD0);
    EXPECT_EQ(sim::usb::GetCounters().resets, 2u);
    EXPECT_TRUE(sim::usb::TransferHeld());
    EXPECT_TRUE(Touch(0x81, 2, 2));
    EXPECT_EQ(GetEvent().x, 80u);
}

TEST_F(Lifecycle, EveryAllocationFailureLeavesNothingBehind)
{
    // Each pool allocation from plugging the frame to its first report, made
    // to fail in turn: whatever fails, the frame can be pulled out cleanly.
    for (uint64_t n = 1; n <= 60; ++n) {
        sim::Reset();
        sim::pnp::InstallFunctionDriver("USB\\VID_5A53&PID_0001", {"Zelko", zelko::DriverEntry, ZelkoTag()});
        sim::FailAllocation(n);
        sim::usb::Plug();
        sim::RunPending();
        auto r = Report(0x81, 9, 9);
        sim::usb::Report(r.data(), 8);
        sim::RunPending();
        sim::FailAllocation(0);
        sim::usb::Unplug();
        EXPECT_EQ(sim::IrpsOutstanding(), 0) << "failing allocation " << n;
        EXPECT_EQ(sim::PoolUsageOf(ZelkoTag()).bytes, 0) << "failing allocation " << n;
        EXPECT_EQ(sim::pnp::UnloadReports(), "") << "failing allocation " << n;
    }
}

TEST_F(Lifecycle, RemovalAndUnloadLeaveNoRequestAndNoPool)
{
    Plug();
    WriteToolSettings();
    Command(CMD_RELOAD);
    ConsumerRead held;
    held.Issue();
    Touch(0x84, 1, 1);
    sim::user::CloseHandle(tool);
    tool = sim::user::kInvalidHandle;
    sim::pnp::Remove(node);
    EXPECT_EQ(sim::IrpsOutstanding(), 0);
    EXPECT_EQ(sim::PoolUsageOf(ZelkoTag()).allocations, 0);
    EXPECT_EQ(sim::PoolUsageOf(ZelkoTag()).bytes, 0);
    EXPECT_EQ(sim::pnp::UnloadReports(), "");
}

}  // namespace zelkotest
