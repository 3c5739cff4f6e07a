// The report path's cost: InterpretReport alone, and Zelko's whole
// ProcessReport (decode, map, queue under the lock, hand-off to a held read).
#include <benchmark/benchmark.h>

#include "simkernel/pnp.h"
#include "simkernel/sim.h"
#include "usb/kernal_driver/usb/zelko.h"

namespace {

using namespace zelko;

void LoadTables(TouchSettings& s)
{
    for (unsigned i = 0; i < RAW_POINTS; ++i) {
        s.XArray[i] = (uint16_t)(i * 13);
        s.YArray[i] = (uint16_t)(i * 13 + 7);
    }
    s.settingsLoaded = true;
}

// A touch of 40 reports: down, 38 held reports wandering a little, up.
struct Stroke {
    TouchReport reports[40];
    Stroke()
    {
        for (int i = 0; i < 40; ++i) {
            uint8_t status = i == 0 ? TOUCH_DOWN : i == 39 ? TOUCH_UP : TOUCH_HOLD;
            uint16_t x = (uint16_t)(2000 + (i * 7) % 23), y = (uint16_t)(1500 + (i * 5) % 17);
            reports[i] = TouchReport{{0, 0, (uint8_t)x, (uint8_t)(x >> 8), (uint8_t)y, (uint8_t)(y >> 8), status, 0}};
        }
    }
};

void InterpretMode1(benchmark::State& state)
{
    static TouchSettings settings;
    SetDefaultSettings(settings);
    LoadTables(settings);
    settings.moveSlider = (uint32_t)state.range(0);
    TouchState touch{};
    StabilityWindow window{};
    TouchContext ctx{settings, touch, window};
    InputQueue queue{};
    Stroke stroke;
    uint64_t ticks = 0;
    size_t i = 0;
    for (auto _ : state) {
        ReportResult out;
        InterpretReport(ctx, stroke.reports[i % 40], TouchClock{ticks++, 156250}, out);
        for (unsigned e = 0; e < out.count; ++e)
            SaveInputData(queue, out.events[e].code, out.events[e].x, out.events[e].y);
        benchmark::DoNotOptimize(queue);
        ++i;
    }
    state.SetLabel(state.range(0) ? "tables, stability on" : "tables, stability off");
}
BENCHMARK(InterpretMode1)->Arg(0)->Arg(30);

// Zelko's ProcessReport on a started device, at dispatch level as the read
// completion calls it; a tool drains the queue now and then.
void ProcessReportMode1(benchmark::State& state)
{
    sim::Reset();
    sim::pnp::InstallFunctionDriver("USB\\VID_5A53&PID_0001", {"Zelko", zelko::DriverEntry, sim::TagOf("Zelk")});
    sim::usb::Plug();
    auto* dx = (PDEVICE_EXTENSION)sim::FindDevice("\\Device\\Zelko")->DeviceExtension;
    LoadTables(dx->settings);
    dx->settings.moveSlider = (uint32_t)state.range(0);
    Stroke stroke;
    size_t i = 0;
    KIRQL old = KfRaiseIrql(DISPATCH_LEVEL);
    for (auto _ : state) {
        ProcessReport(dx, stroke.reports[i % 40].bytes);
        ++i;
    }
    KfLowerIrql(old);
    state.SetLabel(state.range(0) ? "tables, stability on" : "tables, stability off");
    sim::usb::Unplug();
    sim::Reset();
}
BENCHMARK(ProcessReportMode1)->Arg(0)->Arg(30);

}  // namespace
