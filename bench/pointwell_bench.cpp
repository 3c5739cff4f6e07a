// Pointwell: the calibration tables' computation (target: both tables in at most
// 100 us) and SaveSettings on the native machine, whose 500 ms wait is a plain wait
// on the virtual clock there, so what is measured is everything but the wait.
#include <benchmark/benchmark.h>

#include <cstring>

#include "appplatform_native.h"
#include "../tests/pointwell/headlessview.h"
#include "axistable.h"
#include "langtext.h"
#include "maindialog.h"
#include "simkernel/sim.h"
#include "zelkoioctl.h"

namespace {

using namespace pointwell;

void BM_ComputeTables(benchmark::State& state)
{
    ToolSettings s;
    s.kx = 0.2291, s.cx = -68.7, s.screenWidth = 1024;
    s.ky = -0.1812, s.cy = 851.6, s.screenHeight = 768;
    const bool half = state.range(0) != 0;
    for (auto _ : state) {
        ComputeTables(s, half);
        benchmark::DoNotOptimize(s.xTable.data());
        benchmark::DoNotOptimize(s.yTable.data());
    }
}
BENCHMARK(BM_ComputeTables)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SaveSettingsWithoutWait(benchmark::State& state)
{
    sim::Reset();
    sim::registry::CreateKey("\\REGISTRY\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    app::NativeAppPlatform platform;
    platform.driveKernelClock = false;
    platform.modulePath = "C:\\Tool\\Pointwell.exe";
    platform.deviceOpenHook = [](const char*) { return true; };
    platform.deviceHook = [](std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t, std::uint32_t* returned) {
        *returned = 0;
        return true;
    };
    app::Platform* previous = app::SetAppPlatform(&platform);
    RegistryStore store;
    store.EnsureKey();
    store.WriteText("IsCfg", "YES");
    store.WriteText("Kx", "0.229100");
    store.WriteText("Cx", "-68.700000");
    store.WriteText("Ky", "-0.181200");
    store.WriteText("Cy", "851.600000");
    {
        app::NativeDialog dialog(platform, "Pointwell");
        dialog.SetKind(IDC_SLIDER, app::NativeDialog::Kind::kTrackbar);
        HeadlessView view;
        MainDialog tool;
        tool.BeforeCreate();
        tool.OnInitDialog(dialog, view);
        dialog.SetChecked(IDC_DOWNMODE, true);
        dialog.SetChecked(IDC_SWAPXYBOX, true);
        for (auto _ : state)
            tool.SaveSettings();
        state.counters["waits_ms"] = double(platform.sleeps.empty() ? 0 : platform.sleeps.back());
    }
    app::SetAppPlatform(previous);
}
BENCHMARK(BM_SaveSettingsWithoutWait)->Unit(benchmark::kMicrosecond);

}  // namespace
