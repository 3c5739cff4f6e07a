// Miravel's binding to Zelko under the system's real habits: a START and an
// arrival notification at once, a notification after the removal, Zelko going
// away with a button down, a queue full of events, and a removal while Zelko's
// completions run on another processor.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "harness.h"

namespace miraveltest {

namespace {

// Holds each IRP_MJ_CREATE that reaches Zelko for a while, to see whether
// another one comes in meanwhile (two opens of Zelko at once).
struct CreateGate {
    static CreateGate*& Current()
    {
        static CreateGate* current = nullptr;
        return current;
    }
    PDRIVER_DISPATCH original = nullptr;
    PDRIVER_OBJECT zelko = nullptr;
    std::mutex lock;
    int inside = 0, most = 0, creates = 0;

    static NTSTATUS NTAPI Create(PDEVICE_OBJECT device, PIRP irp)
    {
        CreateGate* g = Current();
        {
            std::lock_guard<std::mutex> l(g->lock);
            ++g->creates;
            g->most = std::max(g->most, ++g->inside);
        }
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard<std::mutex> l(g->lock);
                if (g->inside > 1)
                    break;
            }
            std::this_thread::yield();
        }
        NTSTATUS s = g->original(device, irp);
        std::lock_guard<std::mutex> l(g->lock);
        --g->inside;
        return s;
    }
    void Install()
    {
        Current() = this;
        zelko = sim::pnp::LoadedDriver("Zelko");
        original = zelko->MajorFunction[IRP_MJ_CREATE];
        zelko->MajorFunction[IRP_MJ_CREATE] = Create;
    }
    ~CreateGate()
    {
        if (zelko && sim::pnp::LoadedDriver("Zelko") == zelko)
            zelko->MajorFunction[IRP_MJ_CREATE] = original;
        Current() = nullptr;
    }
};

zelko::PDEVICE_EXTENSION ZelkoDx()
{
    return (zelko::PDEVICE_EXTENSION)sim::FindDevice("\\Device\\Zelko")->DeviceExtension;
}

}  // namespace

class Binding : public MiravelMachine {
protected:
    void TearDown() override
    {
        sim::usb::SetAsync(false);
        MiravelMachine::TearDown();
    }
};

// START and the arrival of Zelko's interface on two threads: Zelko is opened
// once, and the one reference is let go with it.
TEST_F(Binding, AStartAndAnArrivalAtOnceOpenZelkoOnce)
{
    PlugFrame();
    AddMiravel();
    ASSERT_TRUE(Ext()->readPending);
    sim::usb::SetAsync(true, 100, 21);  // notifications come from the system's worker thread
    CreateGate gate;
    gate.Install();
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    ASSERT_EQ(sim::pnp::Stop(frame), STATUS_SUCCESS);  // Zelko's interface goes: Miravel closes it
    sim::RunPending();
    ASSERT_EQ(Ext()->zelkoDevice, nullptr);
    // Zelko starts on another thread; its arrival reaches Miravel on the worker
    // thread, whose open of Zelko the gate holds while Miravel's START comes here.
    std::thread zelkoStart([&] { EXPECT_EQ(sim::pnp::Start(frame), STATUS_SUCCESS); });
    for (int i = 0; i < 2000; ++i) {
        {
            std::lock_guard<std::mutex> l(gate.lock);
            if (gate.creates > 0)
                break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    zelkoStart.join();
    sim::RunPending();
    EXPECT_EQ(gate.most, 1) << "two opens of Zelko at once";
    EXPECT_EQ(gate.creates, 1);
    EXPECT_TRUE(Ext()->readPending);
    sim::usb::SetAsync(false);
    // Every reference taken is let go: Zelko's device goes with the frame.
    sim::pnp::Remove(hid);
    hid = nullptr;
    sim::usb::Unplug();
    EXPECT_EQ(sim::FindDevice("\\Device\\Zelko"), nullptr);
    EXPECT_EQ(sim::pnp::LoadedDriver("Zelko"), nullptr) << "a reference to the dead Zelko was kept";
}

// A notification on its way when the device was removed finds it gone.
TEST_F(Binding, NotificationsArrivingAfterTheRemovalAreIgnored)
{
    PlugFrame();
    AddMiravel();
    sim::HoldNotifications(true);
    ASSERT_EQ(sim::pnp::Stop(frame), STATUS_SUCCESS);   // the removal of Zelko's interface, held
    ASSERT_EQ(sim::pnp::Start(frame), STATUS_SUCCESS);  // and its arrival
    sim::pnp::Remove(hid);
    hid = nullptr;
    sim::HoldNotifications(false);
    sim::RunPending();
    EXPECT_EQ(sim::FindDevice("\\Device\\Zelko")->ReferenceCount, 0) << "nothing opened Zelko for the dead device";
}

// A button down when Zelko goes away is released where the pointer was.
TEST_F(Binding, ZelkoGoingAwayWithTheButtonDownReleasesItAtTheLastPosition)
{
    PlugFrame();
    AddMiravel();
    ZelkoDx()->settings.doneMode = zelko::DONEMODE_DRAG;
    ASSERT_TRUE(Frame(kDown, 100, 200));  // 0x80
    ASSERT_TRUE(Frame(0x82, 100, 200));   // 0x81: left pressed
    ASSERT_EQ(sim::hidclass::Received(),
              (std::vector<std::vector<uint8_t>>{HidReport(0x80, 100, 200), HidReport(0x81, 100, 200)}));
    sim::usb::Unplug();
    EXPECT_EQ(sim::hidclass::Received().back(), HidReport(0x80, 100, 200));
    EXPECT_EQ(sim::hidclass::Received().size(), 3u);

    // Without a button down the end of the binding adds nothing.
    sim::hidclass::Clear();
    PlugFrame();
    ZelkoDx()->settings.doneMode = zelko::DONEMODE_DRAG;
    ASSERT_TRUE(Frame(kDown, 7, 8));
    sim::usb::Unplug();
    EXPECT_EQ(sim::hidclass::Received(), (std::vector<std::vector<uint8_t>>{HidReport(0x80, 7, 8)}));
}

// Ten events wait in Zelko's queue when Miravel starts reading: each read
// completes at once, and the loop must not nest a completion per event.
namespace {
std::vector<uintptr_t> g_readDepths;
PDRIVER_DISPATCH g_zelkoInternal;
NTSTATUS NTAPI MeasureRead(PDEVICE_OBJECT device, PIRP irp)
{
    if (IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode == IOCTL_ZELKO_READ_EVENT) {
        volatile char here = 0;
        g_readDepths.push_back((uintptr_t)&here);
    }
    return g_zelkoInternal(device, irp);
}
}  // namespace

TEST_F(Binding, AFullQueueIsReadWithoutTheStackGrowing)
{
    PlugFrame();
    AddMiravel();
    ZelkoDx()->settings.doneMode = zelko::DONEMODE_MOVE;  // one event per held report
    ASSERT_EQ(sim::pnp::Stop(hid), STATUS_SUCCESS);
    for (uint16_t i = 1; i <= 10; ++i)
        ASSERT_TRUE(Frame(0x82, i, i));
    PDRIVER_OBJECT z = sim::pnp::LoadedDriver("Zelko");
    g_zelkoInternal = z->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL];
    z->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = MeasureRead;
    g_readDepths.clear();
    ASSERT_EQ(sim::pnp::Start(hid), STATUS_SUCCESS);
    z->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = g_zelkoInternal;
    ASSERT_EQ(g_readDepths.size(), 11u) << "ten that complete at once, one that waits";
    auto spread = *std::max_element(g_readDepths.begin(), g_readDepths.end()) -
                  *std::min_element(g_readDepths.begin(), g_readDepths.end());
    EXPECT_EQ(spread, 0u) << "every read is sent at the same stack depth";
    EXPECT_EQ(sim::hidclass::Received().size(), 10u);
}

// Zelko completes Miravel's read on another processor; the next read that the
// completion sends ends at once while the device is being removed: the first
// completion must not touch the device after the removal could free it (a use
// after free that AddressSanitizer shows).
namespace {
struct LateRead {
    PDRIVER_DISPATCH original = nullptr;
    std::thread::id testThread;
    std::atomic<bool> armed{false}, reached{false}, removed{false};
} g_late;

NTSTATUS NTAPI EndReadLate(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->Parameters.DeviceIoControl.IoControlCode != IOCTL_ZELKO_READ_EVENT ||
        std::this_thread::get_id() == g_late.testThread || !g_late.armed.exchange(false))
        return g_late.original(device, irp);
    // The read the completion renews: let the removal begin and wait for it,
    // then end the read as a cancelled one, and wait until the removal is over.
    g_late.reached = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    for (int i = 0; i < 300 && !g_late.removed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return STATUS_CANCELLED;
}
}  // namespace

TEST_F(Binding, ARemovalWhileTheReadCompletesOnAnotherProcessor)
{
    PlugFrame();
    AddMiravel();
    ZelkoDx()->settings.doneMode = zelko::DONEMODE_MOVE;
    PDRIVER_OBJECT z = sim::pnp::LoadedDriver("Zelko");
    g_late.original = z->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL];
    g_late.testThread = std::this_thread::get_id();
    g_late.reached = g_late.removed = false;
    g_late.armed = true;
    z->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = EndReadLate;
    std::thread frameThread([] {
        uint8_t r[8] = {0, 0, 5, 0, 6, 0, 0x82, 0};
        sim::usb::Report(r, 8);  // completes Miravel's read here; the completion reads again
    });
    while (!g_late.reached)
        std::this_thread::yield();
    sim::pnp::Remove(hid);
    hid = nullptr;
    g_late.removed = true;
    frameThread.join();
    z->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = g_late.original;
    EXPECT_EQ(sim::PoolUsageOf(SserTag()).bytes, 0);
}

}  // namespace miraveltest
