// The class driver's read-report requests on one thread while the frame's
// events arrive on another: finding the event queue empty and queuing a request
// are one step, so an event never waits in the queue while a request waits in
// the list, and requests receive events oldest first.
#include <thread>

#include "harness.h"

namespace miraveltest {

class Concurrency : public MiravelMachine {};

TEST_F(Concurrency, NoEventWaitsWhileARequestWaits)
{
    sim::hidclass::SetReadStream(false);
    PlugFrame();
    AddMiravel();
    miravel::PDEVICE_EXTENSION dx = Ext();
    ASSERT_NE(dx, nullptr);
    const int kEvents = 3000;  // raw x = 1..3000 with identity tables: unique, rising
    const int kMaxWaiting = 3;

    std::atomic<bool> reporting{true}, checking{true};
    std::atomic<int> sent{0};
    std::atomic<int> violations{0}, checks{0};
    std::vector<std::shared_ptr<sim::hidclass::Request>> requests;
    requests.reserve(kEvents);

    // Looks at the queue and the list under their lock: from each side right
    // after its step, and from a third thread again and again.
    auto look = [&] {
        KIRQL irql;
        KeAcquireSpinLock(&miravel::HidMini_IrpReadLock, &irql);
        if (dx->eventCount > 0 && !IsListEmpty(&miravel::HidMini_ReadIrpHead))
            ++violations;
        KeReleaseSpinLock(&miravel::HidMini_IrpReadLock, irql);
        ++checks;
    };
    std::thread checker([&] {
        while (checking.load()) {
            look();
            std::this_thread::yield();
        }
    });

    // The class driver: read-report requests, a few waiting at a time.
    std::thread reader([&] {
        size_t completed = 0;
        while (requests.size() < (size_t)kEvents) {
            while (completed < requests.size() && requests[completed]->done.load(std::memory_order_acquire))
                ++completed;
            if (requests.size() - completed < (size_t)kMaxWaiting) {
                ++sent;  // announced first: its event may come while it is being queued
                requests.push_back(sim::hidclass::Send(IOCTL_HID_READ_REPORT, 5));
                look();
            } else if (!reporting.load()) {
                break;
            } else {
                std::this_thread::yield();
            }
        }
    });

    for (int i = 1; i <= kEvents; ++i) {
        // Events keep pace with the requests, so that a request often finds the
        // queue empty while its event is on the way: the moment the two steps
        // must be one.
        while (i > sent.load() && sent.load() < kEvents)
            std::this_thread::yield();
        uint8_t r[8] = {0, 0, (uint8_t)i, (uint8_t)(i >> 8), (uint8_t)i, (uint8_t)(i >> 8), kDown, 0};
        while (!sim::usb::Report(r, 8))
            std::this_thread::yield();  // Zelko is renewing its transfer
        look();
        if (i % 16 == 0)
            std::this_thread::yield();
    }
    reporting = false;
    reader.join();
    checking = false;
    checker.join();

    EXPECT_EQ(violations, 0) << "of " << checks.load() << " looks";
    // Requests were served in the order they came, each with the oldest event
    // left: the served ones come first, and their events rise.
    size_t served = 0;
    int lastX = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        const auto& r = requests[i];
        if (!r->done.load(std::memory_order_acquire))
            break;
        ASSERT_EQ(r->status, STATUS_SUCCESS) << i;
        ASSERT_EQ(r->information, 5u) << i;
        int x = ZelkoGetU16(&r->buffer[1]);
        ASSERT_GT(x, lastX) << "request " << i;
        lastX = x;
        ++served;
    }
    for (size_t i = served; i < requests.size(); ++i)
        EXPECT_FALSE(requests[i]->done) << "request " << i << " served out of order";
    EXPECT_GT(served, 0u);
    // At rest: whatever waits, the other side is empty.
    KIRQL irql;
    KeAcquireSpinLock(&miravel::HidMini_IrpReadLock, &irql);
    const bool both = dx->eventCount > 0 && !IsListEmpty(&miravel::HidMini_ReadIrpHead);
    KeReleaseSpinLock(&miravel::HidMini_IrpReadLock, irql);
    EXPECT_FALSE(both);
    // The waiting requests end with the device.
    sim::pnp::Remove(hid);
    hid = nullptr;
    for (size_t i = served; i < requests.size(); ++i)
        EXPECT_EQ(requests[i]->status, STATUS_NO_SUCH_DEVICE);
}

}  // namespace miraveltest
