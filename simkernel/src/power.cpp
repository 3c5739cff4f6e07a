// The power manager's calls that drivers make: device power requests,
// passing power requests down, and the recorded power state of each device.
#include <map>
#include <mutex>

#include "internal.h"

namespace sim {
namespace {
std::mutex g_lock;
std::map<PDEVICE_OBJECT, POWER_STATE> g_deviceStates;
uint64_t g_startNextCalls = 0;

struct PowerRequest {
    PDEVICE_OBJECT target;
    UCHAR minor;
    POWER_STATE state;
    PREQUEST_POWER_COMPLETE completion;
    PVOID context;
};

NTSTATUS PowerRequestDone(PDEVICE_OBJECT, PIRP irp, PVOID context)
{
    auto* r = (PowerRequest*)context;
    IO_STATUS_BLOCK status = irp->IoStatus;
    IoFreeIrp(irp);
    if (r->completion)
        r->completion(r->target, r->minor, r->state, r->context, &status);
    delete r;
    return STATUS_MORE_PROCESSING_REQUIRED;
}
}  // namespace

uint64_t PowerStartNextCalls()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_startNextCalls;
}

DEVICE_POWER_STATE RecordedDevicePowerState(PDEVICE_OBJECT device)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_deviceStates.find(device);
    return it == g_deviceStates.end() ? PowerDeviceUnspecified : it->second.DeviceState;
}

void ForgetPowerState(PDEVICE_OBJECT device)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_deviceStates.erase(device);
}

}  // namespace sim

using namespace sim;

extern "C" {

void PoStartNextPowerIrp(PIRP irp)
{
    std::lock_guard<std::mutex> lock(g_lock);
    ++g_startNextCalls;
}

NTSTATUS PoCallDriver(PDEVICE_OBJECT device, PIRP irp)
{
    if (IoGetNextIrpStackLocation(irp)->MajorFunction != IRP_MJ_POWER)
        Bugcheck("PoCallDriver with a request that is not a power request");
    return IofCallDriver(device, irp);
}

NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT device, UCHAR minor, POWER_STATE state, PREQUEST_POWER_COMPLETE completion,
                           PVOID context, PIRP* irpOut)
{
    if (minor != IRP_MN_SET_POWER && minor != IRP_MN_QUERY_POWER && minor != IRP_MN_WAIT_WAKE)
        return STATUS_INVALID_PARAMETER;
    PDEVICE_OBJECT top = IoGetAttachedDevice(device);
    PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    auto* r = new PowerRequest{device, minor, state, completion, context};
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(irp);
    sp->MajorFunction = IRP_MJ_POWER;
    sp->MinorFunction = minor;
    sp->Parameters.Power.Type = DevicePowerState;
    sp->Parameters.Power.State = state;
    IoSetCompletionRoutine(irp, PowerRequestDone, r, TRUE, TRUE, TRUE);
    if (irpOut)
        *irpOut = irp;
    PoCallDriver(top, irp);
    return STATUS_PENDING;
}

POWER_STATE PoSetPowerState(PDEVICE_OBJECT device, POWER_STATE_TYPE type, POWER_STATE state)
{
    if (type == DevicePowerState && state.DeviceState != PowerDeviceD0 && KeGetCurrentIrql() > APC_LEVEL)
        Bugcheck("PoSetPowerState for a low-power state at dispatch level");
    std::lock_guard<std::mutex> lock(g_lock);
    POWER_STATE old = g_deviceStates[device];
    g_deviceStates[device] = state;
    return old;
}

}  // extern "C"
