// The whole event road: one frame report from the USB bus through Zelko's
// interrupt read and Dravick's read loop to a MOUSE_INPUT_DATA at the mouse
// class driver.
#include <benchmark/benchmark.h>

#include "simkernel/mouclass.h"
#include "simkernel/pnp.h"
#include "simkernel/sim.h"
#include "usb/kernal_driver/2kService/sermdep.h"
#include "usb/kernal_driver/usb/zelko.h"

namespace {

void FrameReportToMouseClass(benchmark::State& state)
{
    sim::Reset();
    sim::pnp::InstallFunctionDriver("USB\\VID_5A53&PID_0001", {"Zelko", zelko::DriverEntry, sim::TagOf("Zelk")});
    sim::pnp::InstallFunctionDriver("root\\DRAVLINE", {"Dravick", dravick::DriverEntry, sim::TagOf("Drvk")});
    sim::mouclass::Install();
    sim::usb::Plug();
    sim::pnp::DevNode* root = sim::pnp::CreateRootDevice("root\\DRAVLINE");

    // Held reports in click-at-lift mode, each a move; the point jumps back and
    // forth so that no long press builds up.
    uint8_t reports[2][8] = {{0, 0, 0xE8, 0x03, 0x20, 0x03, 0x82, 0}, {0, 0, 0xD0, 0x07, 0x40, 0x06, 0x82, 0}};
    uint8_t down[8] = {0, 0, 0xE8, 0x03, 0x20, 0x03, 0x81, 0};
    sim::usb::Report(down, 8);

    size_t i = 0, delivered = 0;
    for (auto _ : state) {
        sim::usb::Report(reports[i & 1], 8);
        if ((++i & 4095) == 0) {
            delivered += sim::mouclass::Received().size();
            sim::mouclass::Clear();
        }
    }
    delivered += sim::mouclass::Received().size();
    if (delivered < i)
        state.SkipWithError("a report did not reach the mouse class");

    sim::pnp::Remove(root);
    sim::usb::Unplug();
    sim::Reset();
}
BENCHMARK(FrameReportToMouseClass);

}  // namespace
