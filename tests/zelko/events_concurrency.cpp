// Consumers' waiting reads and the tool's event requests on several threads
// while the frame reports: every event reaches exactly one reader.
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "harness.h"

namespace zelkotest {

namespace {

struct Collected {
    std::mutex lock;
    std::vector<uint16_t> xs;  // every event received, by any reader
};

struct Read {
    uint8_t buffer[10];
    std::atomic<bool> done{false};
    std::atomic<NTSTATUS> status{STATUS_PENDING};
    std::atomic<ULONG_PTR> information{0};

    static NTSTATUS NTAPI Done(PDEVICE_OBJECT, PIRP irp, PVOID context)
    {
        auto* r = (Read*)context;
        r->status = irp->IoStatus.Status;
        r->information = irp->IoStatus.Information;
        IoFreeIrp(irp);
        r->done.store(true, std::memory_order_release);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
};

// A consumer driver's loop: one read outstanding, renewed until cancelled.
std::atomic<int> g_consumersDone{0};

void ConsumerLoop(PDEVICE_OBJECT zelko, Collected* out, std::vector<uint16_t>* own, KIRQL irql)
{
    struct Finish {
        ~Finish() { ++g_consumersDone; }
    } finish;
    for (;;) {
        Read r;
        PIRP irp = IoAllocateIrp(zelko->StackSize, FALSE);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = IOCTL_ZELKO_READ_EVENT;
        next->Parameters.DeviceIoControl.OutputBufferLength = 10;
        irp->AssociatedIrp.SystemBuffer = r.buffer;
        IoSetCompletionRoutine(irp, Read::Done, &r, TRUE, TRUE, TRUE);
        KIRQL old = KfRaiseIrql(irql);
        IoCallDriver(zelko, irp);
        KfLowerIrql(old);
        while (!r.done.load(std::memory_order_acquire))
            std::this_thread::yield();
        if (r.status != STATUS_SUCCESS)
            return;
        if (r.information == 5) {
            uint16_t x = ZelkoGetU16(r.buffer + 1);
            own->push_back(x);
            std::lock_guard<std::mutex> g(out->lock);
            out->xs.push_back(x);
        }
    }
}

}  // namespace

class Concurrency : public ZelkoMachine {};

TEST_F(Concurrency, EveryEventReachesExactlyOneReader)
{
    Plug();
    Dx()->settings.doneMode = zelko::DONEMODE_MOVE;  // one event per held report
    PDEVICE_OBJECT zelko = sim::FindDevice("\\Device\\Zelko");
    const int kReports = 1500;  // mapped x = raw x * 40, unique below 1639

    // The first consumer read, before the threads start, as the drivers do at connect.
    ConsumerRead first;
    first.Issue();
    ASSERT_FALSE(first.done);

    g_consumersDone = 0;
    Collected all;
    std::atomic<bool> reporting{true};
    std::vector<uint16_t> perConsumer[3];
    std::vector<std::thread> threads;
    threads.emplace_back(ConsumerLoop, zelko, &all, &perConsumer[0], (KIRQL)PASSIVE_LEVEL);
    threads.emplace_back(ConsumerLoop, zelko, &all, &perConsumer[1], (KIRQL)DISPATCH_LEVEL);
    threads.emplace_back(ConsumerLoop, zelko, &all, &perConsumer[2], (KIRQL)DISPATCH_LEVEL);
    std::vector<uint16_t> toolSeen[2];
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            sim::user::Handle h = sim::user::CreateFile("\\\\.\\Zelkode");
            while (reporting.load()) {
                uint8_t rec[16];
                uint32_t bytes = 0;
                ASSERT_TRUE(sim::user::DeviceIoControl(h, IOCTL_ZELKO_GET_EVENT, nullptr, 0, rec, 16, &bytes));
                ASSERT_EQ(bytes, 16u);
                if (ZelkoGetU32(rec + 12) == 111)
                    continue;
                uint16_t x = (uint16_t)ZelkoGetU32(rec + 4);
                toolSeen[t].push_back(x);
                std::lock_guard<std::mutex> g(all.lock);
                all.xs.push_back(x);
            }
            sim::user::CloseHandle(h);
        });

    for (int i = 1; i <= kReports; ++i) {
        auto r = Report(0x82, (uint16_t)i, (uint16_t)i);
        while (!sim::usb::Report(r.data(), 8))
            std::this_thread::yield();  // the read is being renewed
        if (i % 64 == 0)
            std::this_thread::yield();
    }
    reporting = false;
    threads[3].join();
    threads[4].join();
    // Drain what is left, then end the consumers' waiting reads.
    for (;;) {
        EventRecord e = GetEvent();
        if (e.code == 111)
            break;
        all.xs.push_back((uint16_t)e.x);
    }
    // A consumer may be between two reads when the cancel arrives: cancel
    // until every consumer has seen its read end.
    while (g_consumersDone.load() < 3) {
        CancelReads();
        std::this_thread::yield();
    }
    for (int t = 0; t < 3; ++t)
        threads[t].join();
    if (first.done && first.information == 5)
        all.xs.push_back(ZelkoGetU16(first.buffer + 1));
    CancelReads();

    std::set<uint16_t> unique(all.xs.begin(), all.xs.end());
    EXPECT_EQ(unique.size(), all.xs.size()) << "an event was delivered twice";
    for (uint16_t x : unique)
        EXPECT_TRUE(x % 40 == 0 && x / 40 >= 1 && x / 40 <= kReports) << "an event nobody queued: " << x;
    // Only the queue's drop-oldest may lose events: the newest ten are never lost.
    for (int i = kReports - 9; i <= kReports; ++i)
        EXPECT_TRUE(unique.count((uint16_t)(i * 40))) << "the newest events must survive: " << i;
    // Each reader takes events oldest first.
    for (auto& seen : {perConsumer[0], perConsumer[1], perConsumer[2], toolSeen[0], toolSeen[1]})
        for (size_t i = 1; i < seen.size(); ++i)
            EXPECT_LT(seen[i - 1], seen[i]);
}

}  // namespace zelkotest
