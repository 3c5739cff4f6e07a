// Shared state of the simulated kernel's parts.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "simkernel/sim.h"

namespace sim {
namespace detail {

// One lock and condition for every dispatcher object (events), as the real
// kernel's dispatcher lock.
std::mutex& DispatcherLock();
std::condition_variable& DispatcherCondition();

// Deferred work that the machine runs at passive level (work items,
// interface notifications).
void Defer(std::function<void()> fn);

// In the bus's asynchronous mode deferred work runs on a system worker thread of
// its own, as on Windows, instead of on whichever thread waits or settles.
void SetWorkerThread(bool on);
bool WorkerThreadOn();
bool WorkerIdle();
void WaitWorkerIdle();

// The PnP manager calls a driver's AddDevice between these two: devices created
// meanwhile on this thread cannot be opened by name until the second.
void BeginAddDevice();
void EndAddDevice();

// Hooks each part registers so that Reset() can clear it.
void ResetPool();
void ResetRegistry();
void ResetIo();
void ResetClock();

// Driver context of the running code, for diagnostics.
struct IrqlGuard {
    KIRQL old;
    explicit IrqlGuard(KIRQL level) { old = KfRaiseIrql(level); }
    ~IrqlGuard() { KfLowerIrql(old); }
};

std::string Lower(const std::string& s);

}  // namespace detail
}  // namespace sim
