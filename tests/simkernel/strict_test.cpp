// Where the simulated kernel is as strict as Windows documents it: the hub
// driver's port requests are passive-level only, the bus's asynchronous mode
// completes on its own thread at dispatch level, and a notification on its way
// still arrives after its watcher unregistered.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "simkernel/pnp.h"
#include "simkernel/sim.h"

namespace {

// A port request to the frame's PDO, as a function driver sends it.
struct PortRequest {
    KEVENT done;
    ULONG word = 0;
    std::atomic<NTSTATUS> status{STATUS_PENDING};
    std::atomic<KIRQL> irql{0xFF};
    std::thread::id thread;

    static NTSTATUS NTAPI Done(PDEVICE_OBJECT, PIRP irp, PVOID context)
    {
        auto* r = (PortRequest*)context;
        r->irql = KeGetCurrentIrql();
        r->thread = std::this_thread::get_id();
        r->status = irp->IoStatus.Status;
        IoFreeIrp(irp);
        KeSetEvent(&r->done, IO_NO_INCREMENT, FALSE);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }

    NTSTATUS Send(PDEVICE_OBJECT pdo, ULONG code, KIRQL at = PASSIVE_LEVEL)
    {
        KeInitializeEvent(&done, NotificationEvent, FALSE);
        PIRP irp = IoAllocateIrp(pdo->StackSize, FALSE);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = code;
        next->Parameters.Others.Argument1 = &word;
        IoSetCompletionRoutine(irp, Done, this, TRUE, TRUE, TRUE);
        KIRQL old = KfRaiseIrql(at);
        NTSTATUS s = IoCallDriver(pdo, irp);
        KfLowerIrql(old);
        return s;
    }
};

class StrictBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        node = sim::usb::Plug();  // no function driver: the PDO alone
        ASSERT_NE(node, nullptr);
        pdo = sim::pnp::Pdo(node);
    }
    void TearDown() override
    {
        sim::usb::SetAsync(false);
        sim::usb::Unplug();
        EXPECT_EQ(sim::IrpsOutstanding(), 0);
        sim::Reset();
    }
    sim::pnp::DevNode* node = nullptr;
    PDEVICE_OBJECT pdo = nullptr;
};

using StrictBusDeathTest = StrictBus;

TEST_F(StrictBusDeathTest, PortRequestsAbovePassiveLevelBugcheck)
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    PortRequest r;
    EXPECT_DEATH(r.Send(pdo, IOCTL_INTERNAL_USB_RESET_PORT, DISPATCH_LEVEL),
                 "IOCTL_INTERNAL_USB_RESET_PORT above passive level");
    EXPECT_DEATH(r.Send(pdo, IOCTL_INTERNAL_USB_GET_PORT_STATUS, DISPATCH_LEVEL),
                 "IOCTL_INTERNAL_USB_GET_PORT_STATUS above passive level");
}

TEST_F(StrictBus, SynchronousModeCompletesPortRequestsAtOnceOnTheCaller)
{
    PortRequest r;
    EXPECT_EQ(r.Send(pdo, IOCTL_INTERNAL_USB_GET_PORT_STATUS), STATUS_SUCCESS);
    EXPECT_EQ(r.status, STATUS_SUCCESS);
    EXPECT_EQ(r.thread, std::this_thread::get_id());
    EXPECT_EQ(r.word, (ULONG)(USBD_PORT_CONNECTED | USBD_PORT_ENABLED));
}

TEST_F(StrictBus, AsynchronousModeCompletesOnTheBusThreadAtDispatchLevel)
{
    sim::usb::SetAsync(true, 500, 3);
    for (ULONG code : {IOCTL_INTERNAL_USB_RESET_PORT, IOCTL_INTERNAL_USB_GET_PORT_STATUS}) {
        PortRequest r;
        EXPECT_EQ(r.Send(pdo, code), STATUS_PENDING);
        KeWaitForSingleObject(&r.done, Executive, KernelMode, FALSE, NULL);
        EXPECT_EQ(r.status, STATUS_SUCCESS);
        EXPECT_NE(r.thread, std::this_thread::get_id());
        EXPECT_EQ(r.irql, DISPATCH_LEVEL);
    }
}

TEST_F(StrictBus, AsynchronousTimedWaitsTakeRealTime)
{
    sim::usb::SetAsync(true);
    KEVENT never;
    KeInitializeEvent(&never, NotificationEvent, FALSE);
    LARGE_INTEGER t;
    t.QuadPart = -1000000;  // 100 ms of the machine: a millisecond of real time
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &t), STATUS_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::microseconds(900));
    EXPECT_EQ(sim::Now(), 1000000u);
}

// ---- notifications ----------------------------------------------------------------------------
int g_calls;
NTSTATUS NTAPI CountCall(PVOID, PVOID)
{
    ++g_calls;
    return STATUS_SUCCESS;
}

TEST(StrictNotifications, OneOnItsWayStillArrivesAfterUnregistration)
{
    sim::Reset();
    sim::pnp::DevNode* node = sim::usb::Plug();
    ASSERT_NE(node, nullptr);
    static const GUID kClass = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
    UNICODE_STRING link;
    ASSERT_EQ(IoRegisterDeviceInterface(sim::pnp::Pdo(node), &kClass, NULL, &link), STATUS_SUCCESS);
    g_calls = 0;
    PVOID entry = nullptr;
    ASSERT_EQ(IoRegisterPlugPlayNotification(EventCategoryDeviceInterfaceChange, 0, (PVOID)&kClass, NULL, CountCall,
                                             NULL, &entry),
              STATUS_SUCCESS);
    IoSetDeviceInterfaceState(&link, TRUE);  // the arrival is on its way
    EXPECT_EQ(IoUnregisterPlugPlayNotification(entry), STATUS_SUCCESS);
    sim::RunPending();
    EXPECT_EQ(g_calls, 1) << "the system does not synchronise its delivery with the unregistration";
    IoSetDeviceInterfaceState(&link, FALSE);  // after the unregistration: not sent
    sim::RunPending();
    EXPECT_EQ(g_calls, 1);
    RtlFreeUnicodeString(&link);
    sim::usb::Unplug();
    sim::Reset();
}

}  // namespace
