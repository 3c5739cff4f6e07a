// Driver loading and unloading: the driver object, its entry with the service
// key, the unload with its leak report, and a driver kept for a device still referenced.
#include "iomanager.h"

namespace sim {

using namespace io;

std::string ServiceKey(const std::string& name)
{
    return "\\REGISTRY\\Machine\\System\\CurrentControlSet\\Services\\" + name;
}

PDRIVER_OBJECT LoadDriver(const std::string& name, PDRIVER_INITIALIZE entry, NTSTATUS* status, uint32_t poolTag)
{
    auto* rec = new DriverRecord();
    rec->name = name;
    rec->poolTag = poolTag;
    rec->registryPath = Utf16(ServiceKey(name));
    registry::CreateKey(ServiceKey(name));
    auto* d = new DRIVER_OBJECT();
    d->Type = IO_TYPE_DRIVER;
    d->Size = sizeof(DRIVER_OBJECT);
    d->DriverExtension = &rec->extension;
    rec->extension.DriverObject = d;
    for (auto& f : d->MajorFunction)
        f = InvalidDeviceRequest;
    d->DriverInit = entry;
    rec->registryPathString.Buffer = (PWSTR)rec->registryPath.c_str();
    rec->registryPathString.Length = (USHORT)(rec->registryPath.size() * 2);
    rec->registryPathString.MaximumLength = rec->registryPathString.Length + 2;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_drivers[d] = rec;
    }
    // The path is the I/O manager's: valid only during the call, as on Windows.
    UNICODE_STRING path = rec->registryPathString;
    NTSTATUS s = entry(d, &path);
    if (status)
        *status = s;
    if (!NT_SUCCESS(s)) {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_drivers.erase(d);
        for (auto& e : rec->objectExtensions)
            ExFreePool(e.second);
        delete rec;
        delete d;
        return nullptr;
    }
    return d;
}

PDRIVER_OBJECT LoadDriver(const std::string& name, PDRIVER_INITIALIZE entry, NTSTATUS* status)
{
    return LoadDriver(name, entry, status, 0);
}

namespace io {

// The unload proper: the driver's unload routine, then the driver object goes.
std::string FinishUnload(PDRIVER_OBJECT driver)
{
    DriverRecord* rec;
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        rec = g_drivers.at(driver);
        rec->unloadPending = false;
    }
    if (driver->DriverUnload)
        driver->DriverUnload(driver);
    RunPending();
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_drivers.erase(driver);
    }
    for (auto& e : rec->objectExtensions)
        ExFreePool(e.second);
    std::string leak;
    if (rec->poolTag) {
        PoolUsage u = PoolUsageOf(rec->poolTag);
        if (u.allocations || u.bytes) {
            char line[160];
            std::snprintf(line, sizeof line, "%s: %lld pool allocation(s), %lld byte(s) leaked at unload\n",
                          rec->name.c_str(), (long long)u.allocations, (long long)u.bytes);
            leak = line;
            if (rec->report)
                std::fputs(line, stderr);
        }
    }
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        g_unloadReports += leak;
    }
    delete rec;
    delete driver;
    return leak;
}

}  // namespace io

std::string UnloadDriver(PDRIVER_OBJECT driver, bool report)
{
    {
        std::lock_guard<std::recursive_mutex> lock(g_lock);
        auto it = g_drivers.find(driver);
        if (it == g_drivers.end())
            Bugcheck("UnloadDriver of a driver that is not loaded");
        if (driver->DeviceObject)
            Bugcheck("driver unloaded while it still has device objects");
        it->second->report = report;
        // A deleted device that is still referenced (an open handle) keeps the
        // driver loaded; it unloads when the last such device goes.
        if (it->second->liveDevices > 0) {
            it->second->unloadPending = true;
            return std::string();
        }
    }
    return FinishUnload(driver);
}

PDRIVER_OBJECT ReviveDriver(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto& d : g_drivers)
        if (d.second->name == name && d.second->unloadPending) {
            d.second->unloadPending = false;
            return d.first;
        }
    return nullptr;
}

std::string UnloadReports()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_unloadReports;
}

void UnloadDriver(PDRIVER_OBJECT driver) { UnloadDriver(driver, true); }

}  // namespace sim
