// The simulated machine: IRQL, spin locks, events and waits, the virtual clock,
// deferred work and the machine's reset.
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <thread>

#include "internal.h"
#include "simkernel/hidclass.h"
#include "simkernel/mouclass.h"
#include "simkernel/pnp.h"

namespace sim {
namespace usb {
void ResetUsb();
}
}  // namespace sim

namespace sim {
namespace detail {

std::mutex& DispatcherLock()
{
    static std::mutex m;
    return m;
}

std::condition_variable& DispatcherCondition()
{
    static std::condition_variable c;
    return c;
}

namespace {
std::mutex g_workLock;
std::deque<std::function<void()>> g_work;
std::mutex g_timerLock;
std::multimap<uint64_t, std::function<void()>> g_timers;
std::atomic<uint64_t> g_now{0};
thread_local int g_runDepth = 0;

// The system worker thread of the asynchronous mode.
std::condition_variable g_workWake;
std::thread g_worker;
bool g_workerOn = false;
bool g_workerStop = false;
unsigned g_workerRunning = 0;
thread_local bool t_isWorker = false;

void WorkerLoop()
{
    t_isWorker = true;
    std::unique_lock<std::mutex> lock(g_workLock);
    for (;;) {
        if (g_work.empty()) {
            if (g_workerStop)
                return;
            g_workWake.wait(lock);
            continue;
        }
        std::function<void()> fn = std::move(g_work.front());
        g_work.pop_front();
        ++g_workerRunning;
        lock.unlock();
        fn();
        if (KeGetCurrentIrql() != PASSIVE_LEVEL)
            Bugcheck("deferred work returned above passive level");
        lock.lock();
        --g_workerRunning;
        g_workWake.notify_all();
    }
}
}  // namespace

void Defer(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(g_workLock);
    g_work.push_back(std::move(fn));
    g_workWake.notify_all();
}

bool WorkerThreadOn()
{
    std::lock_guard<std::mutex> lock(g_workLock);
    return g_workerOn;
}

bool WorkerIdle()
{
    std::lock_guard<std::mutex> lock(g_workLock);
    return g_work.empty() && g_workerRunning == 0;
}

void WaitWorkerIdle()
{
    if (t_isWorker)
        return;
    std::unique_lock<std::mutex> lock(g_workLock);
    if (!g_workerOn)
        return;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(g_work.empty() && g_workerRunning == 0))
        if (g_workWake.wait_until(lock, until) == std::cv_status::timeout && !(g_work.empty() && g_workerRunning == 0))
            Bugcheck("system worker thread never becomes idle (a hang on a real system)");
}

void SetWorkerThread(bool on)
{
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(g_workLock);
        if (on == g_workerOn)
            return;
        g_workerOn = on;
        if (on) {
            g_workerStop = false;
            g_worker = std::thread(WorkerLoop);
            return;
        }
        g_workerStop = true;
        g_workWake.notify_all();
        t = std::move(g_worker);
    }
    t.join();
}

void ResetClock()
{
    SetWorkerThread(false);
    g_now = 0;
    std::lock_guard<std::mutex> lock(g_timerLock);
    g_timers.clear();
    std::lock_guard<std::mutex> lock2(g_workLock);
    g_work.clear();
}

std::string Lower(const std::string& s)
{
    std::string r = s;
    for (auto& c : r)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return r;
}

// Runs one piece of due work; false when there was none.
static bool RunOne()
{
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(g_workLock);
        if (!g_workerOn && !g_work.empty()) {
            fn = std::move(g_work.front());
            g_work.pop_front();
        }
    }
    if (!fn) {
        std::lock_guard<std::mutex> lock(g_timerLock);
        auto it = g_timers.begin();
        if (it != g_timers.end() && it->first <= g_now) {
            fn = std::move(it->second);
            g_timers.erase(it);
        }
    }
    if (!fn)
        return false;
    fn();
    return true;
}

}  // namespace detail

using namespace detail;

namespace {
thread_local KIRQL t_irql = PASSIVE_LEVEL;
}

[[noreturn]] void Bugcheck(const char* what, const char* detail)
{
    std::fprintf(stderr, "simkernel: BUGCHECK: %s %s\n", what, detail);
    std::fflush(stderr);
    std::abort();
}

void RunPending()
{
    if (t_irql != PASSIVE_LEVEL)
        Bugcheck("RunPending above passive level");
    // With a worker thread of its own the machine settles by letting it finish.
    if (WorkerThreadOn()) {
        WaitWorkerIdle();
        return;
    }
    ++g_runDepth;
    if (g_runDepth > 64)
        Bugcheck("deferred work nests too deep");
    while (RunOne()) {
    }
    --g_runDepth;
}

uint64_t Now() { return g_now; }

void AdvanceTime(uint64_t hundredNs)
{
    const uint64_t target = g_now + hundredNs;
    for (;;) {
        RunPending();
        uint64_t next = UINT64_MAX;
        {
            std::lock_guard<std::mutex> lock(g_timerLock);
            if (!g_timers.empty())
                next = g_timers.begin()->first;
        }
        if (next > target)
            break;
        if (next > g_now)
            g_now = next;
        RunPending();
    }
    g_now = target;
    RunPending();
}

void ScheduleAt(uint64_t when, std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(g_timerLock);
    g_timers.emplace(when, std::move(fn));
}

void Reset()
{
    pnp::ResetPnp();
    usb::ResetUsb();
    hidclass::ResetHidclass();
    mouclass::ResetMouclass();
    ResetIo();
    ResetRegistry();
    ResetPool();
    ResetClock();
}

}  // namespace sim

using namespace sim;
using namespace sim::detail;

extern "C" {

// ---- IRQL ---------------------------------------------------------------------------------
KIRQL KeGetCurrentIrql(void) { return t_irql; }

KIRQL KfRaiseIrql(KIRQL newIrql)
{
    KIRQL old = t_irql;
    if (newIrql < old)
        Bugcheck("IRQL_NOT_GREATER_OR_EQUAL", "KeRaiseIrql to a lower level");
    t_irql = newIrql;
    return old;
}

void KfLowerIrql(KIRQL newIrql)
{
    if (newIrql > t_irql)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "KeLowerIrql to a higher level");
    t_irql = newIrql;
}

KIRQL KeRaiseIrqlToDpcLevel(void) { return KfRaiseIrql(DISPATCH_LEVEL); }

// ---- interlocked --------------------------------------------------------------------------
LONG InterlockedIncrement(volatile LONG* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(volatile LONG* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(volatile LONG* p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
LONG InterlockedCompareExchange(volatile LONG* p, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
PVOID InterlockedExchangePointer(PVOID volatile* p, PVOID v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }

// ---- spin locks: real locks, so that ThreadSanitizer sees the drivers' locking ----------------
void KeInitializeSpinLock(PKSPIN_LOCK lock) { __atomic_store_n(lock, 0, __ATOMIC_RELEASE); }

void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK lock)
{
    if (t_irql < DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_GREATER_OR_EQUAL", "KeAcquireSpinLockAtDpcLevel below dispatch level");
    for (;;) {
        ULONG_PTR expected = 0;
        if (__atomic_compare_exchange_n(lock, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
            return;
        std::this_thread::yield();
    }
}

void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK lock)
{
    if (__atomic_load_n(lock, __ATOMIC_RELAXED) != 1)
        Bugcheck("SPIN_LOCK_NOT_OWNED");
    __atomic_store_n(lock, 0, __ATOMIC_RELEASE);
}

void KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL oldIrql)
{
    *oldIrql = KfRaiseIrql(DISPATCH_LEVEL);
    KeAcquireSpinLockAtDpcLevel(lock);
}

void KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL oldIrql)
{
    KeReleaseSpinLockFromDpcLevel(lock);
    KfLowerIrql(oldIrql);
}

PLIST_ENTRY ExInterlockedInsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry, PKSPIN_LOCK lock)
{
    KIRQL irql;
    KeAcquireSpinLock(lock, &irql);
    PLIST_ENTRY first = IsListEmpty(head) ? NULL : head->Blink;
    InsertTailList(head, entry);
    KeReleaseSpinLock(lock, irql);
    return first;
}

PLIST_ENTRY ExInterlockedInsertHeadList(PLIST_ENTRY head, PLIST_ENTRY entry, PKSPIN_LOCK lock)
{
    KIRQL irql;
    KeAcquireSpinLock(lock, &irql);
    PLIST_ENTRY first = IsListEmpty(head) ? NULL : head->Flink;
    InsertHeadList(head, entry);
    KeReleaseSpinLock(lock, irql);
    return first;
}

PLIST_ENTRY ExInterlockedRemoveHeadList(PLIST_ENTRY head, PKSPIN_LOCK lock)
{
    KIRQL irql;
    KeAcquireSpinLock(lock, &irql);
    PLIST_ENTRY e = IsListEmpty(head) ? NULL : RemoveHeadList(head);
    KeReleaseSpinLock(lock, irql);
    return e;
}

// ---- events and waits ---------------------------------------------------------------------
void KeInitializeEvent(PRKEVENT event, EVENT_TYPE type, BOOLEAN state)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    event->Header.Type = (UCHAR)type;
    event->Header.Size = sizeof(KEVENT);
    event->Header.SignalState = state ? 1 : 0;
}

LONG KeSetEvent(PRKEVENT event, KPRIORITY increment, BOOLEAN wait)
{
    if (t_irql > DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "KeSetEvent above dispatch level");
    LONG old;
    {
        std::lock_guard<std::mutex> lock(DispatcherLock());
        old = event->Header.SignalState;
        event->Header.SignalState = 1;
    }
    DispatcherCondition().notify_all();
    return old;
}

void KeClearEvent(PRKEVENT event)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    event->Header.SignalState = 0;
}

LONG KeResetEvent(PRKEVENT event)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    LONG old = event->Header.SignalState;
    event->Header.SignalState = 0;
    return old;
}

LONG KeReadStateEvent(PRKEVENT event)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    return event->Header.SignalState;
}

// Takes the signal when present (a synchronization event resets itself).
static bool TrySatisfy(PKEVENT event)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    if (event->Header.SignalState == 0)
        return false;
    if (event->Header.Type == SynchronizationEvent)
        event->Header.SignalState = 0;
    return true;
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               PLARGE_INTEGER timeout)
{
    PKEVENT event = (PKEVENT)object;
    const bool zeroTimeout = timeout && timeout->QuadPart == 0;
    if (t_irql > DISPATCH_LEVEL || (t_irql == DISPATCH_LEVEL && !zeroTimeout))
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "KeWaitForSingleObject at or above dispatch level");
    if (TrySatisfy(event))
        return STATUS_SUCCESS;
    if (zeroTimeout)
        return STATUS_TIMEOUT;

    if (WorkerThreadOn()) {
        // Other threads do the machine's work: the wait really waits, a timed one
        // for a hundredth of its length in real time, then the clock moves on.
        std::unique_lock<std::mutex> lock(DispatcherLock());
        auto satisfied = [event] { return event->Header.SignalState != 0; };
        if (timeout) {
            uint64_t span = timeout->QuadPart < 0
                                ? (uint64_t)(-timeout->QuadPart)
                                : ((uint64_t)timeout->QuadPart > Now() ? (uint64_t)timeout->QuadPart - Now() : 0);
            bool got = DispatcherCondition().wait_for(lock, std::chrono::microseconds(span / 1000), satisfied);
            if (got && event->Header.Type == SynchronizationEvent)
                event->Header.SignalState = 0;
            lock.unlock();
            g_now += span;
            return got ? STATUS_SUCCESS : STATUS_TIMEOUT;
        }
        if (!DispatcherCondition().wait_for(lock, std::chrono::seconds(20), satisfied))
            Bugcheck("wait without time limit is never satisfied (a hang on a real system)");
        if (event->Header.Type == SynchronizationEvent)
            event->Header.SignalState = 0;
        return STATUS_SUCCESS;
    }

    // Work that other threads of a real system would do meanwhile.
    RunPending();
    if (TrySatisfy(event))
        return STATUS_SUCCESS;

    if (timeout) {
        // A relative (negative) or absolute time-out: the virtual clock moves on to
        // it, running what falls due on the way; the object may be signalled then.
        uint64_t deadline =
            timeout->QuadPart < 0 ? Now() + (uint64_t)(-timeout->QuadPart) : (uint64_t)timeout->QuadPart;
        while (Now() < deadline) {
            uint64_t step = deadline - Now();
            if (step > kTimeIncrement)
                step = kTimeIncrement;
            AdvanceTime(step);
            if (TrySatisfy(event))
                return STATUS_SUCCESS;
        }
        return TrySatisfy(event) ? STATUS_SUCCESS : STATUS_TIMEOUT;
    }

    // No time limit: only another thread can signal it now. A wait nothing ends
    // is a hang on a real system; here it is reported.
    std::unique_lock<std::mutex> lock(DispatcherLock());
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (event->Header.SignalState == 0) {
        if (DispatcherCondition().wait_until(lock, until) == std::cv_status::timeout && event->Header.SignalState == 0)
            Bugcheck("wait without time limit is never satisfied (a hang on a real system)");
    }
    if (event->Header.Type == SynchronizationEvent)
        event->Header.SignalState = 0;
    return STATUS_SUCCESS;
}

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, PLARGE_INTEGER interval)
{
    KEVENT never;
    KeInitializeEvent(&never, NotificationEvent, FALSE);
    KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, interval);
    return STATUS_SUCCESS;
}

void KeQueryTickCount(PLARGE_INTEGER count) { count->QuadPart = (LONGLONG)(Now() / kTimeIncrement); }

ULONG KeQueryTimeIncrement(void) { return kTimeIncrement; }

void KeQuerySystemTime(PLARGE_INTEGER time) { time->QuadPart = (LONGLONG)Now(); }

ULONG DbgPrint(PCSTR format, ...)
{
    if (!std::getenv("SIMKERNEL_DEBUG"))
        return 0;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    return 0;
}

}  // extern "C"
