// Pointwell's main dialog against the simulated machine: Zelko on the virtual USB
// bus with Dravick above it, the tool reaching the frame through the same registry
// key and control device it uses on Windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "appplatform_native.h"
#include "headlessview.h"
#include "langtext.h"
#include "maindialog.h"
#include "scenario.h"
#include "simkernel/sim.h"

namespace pointwell {
namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!zelkosim::ConsumerAvailable(zelkosim::Consumer::Dravick))
            GTEST_SKIP() << "Dravick is not built";
        machine = std::make_unique<zelkosim::Session>(zelkosim::Consumer::Dravick, out);
        ResetTouchEventMemory();
        LangId = 0;
        platform.modulePath = "C:\\Tool\\Pointwell.exe";
        platform.metrics = {{0, 1024}, {1, 768}};
        previous = app::SetAppPlatform(&platform);
    }
    void TearDown() override
    {
        if (!machine)
            return;
        tool.Link().Close();
        app::SetAppPlatform(previous);
        EXPECT_EQ(machine->Shutdown(), "");
    }
    void Do(const std::string& line)
    {
        std::string reason;
        ASSERT_TRUE(machine->Execute(line, &reason)) << line << ": " << reason;
    }
    void Start()
    {
        tool.BeforeCreate();
        tool.OnInitDialog(dialog, view);
    }

    std::ostringstream out;
    std::unique_ptr<zelkosim::Session> machine;
    app::NativeAppPlatform platform;
    app::Platform* previous = nullptr;
    app::NativeDialog dialog{platform, "Pointwell"};
    HeadlessView view;
    MainDialog tool;
};

TEST_F(FrameTest, WithoutTheFrameTheToolSaysNoUsbDevAndHidesConfig)
{
    Do("reg sz IsCfg YES");
    Start();
    ASSERT_EQ(platform.messageBoxes.size(), 1u);
    EXPECT_EQ(platform.messageBoxes[0].text, "No USB Infrared Touch found!");
    EXPECT_EQ(platform.messageBoxes[0].caption, "Error");
    EXPECT_FALSE(dialog.IsVisible(IDC_CONFIG));
    EXPECT_FALSE(tool.DevicePresent());
}

TEST_F(FrameTest, SavedSettingsReachZelkoAndMapTheNextTouch)
{
    Do("plug");
    Do("reg sz IsCfg YES");
    // The mapping a calibration left: x = 0.2 raw - 50, y = 0.1 raw + 10 (pixels).
    Do("reg sz Kx 0.200000");
    Do("reg sz Cx -50.000000");
    Do("reg sz Ky 0.100000");
    Do("reg sz Cy 10.000000");
    Start();
    EXPECT_TRUE(platform.messageBoxes.empty());
    ASSERT_TRUE(tool.DevicePresent());
    EXPECT_TRUE(dialog.IsVisible(IDC_CONFIG));
    EXPECT_FALSE(tool.calibrationStartPending());

    dialog.SetChecked(IDC_UPMODE, true);  // click at lift
    tool.SaveSettings();
    // Zelko took the values up on CMD_RELOAD and keeps its copy.
    sim::registry::Value mode;
    ASSERT_TRUE(sim::registry::GetValue(sim::ServiceKey("Zelko") + "\\Pointwell", "doneMode", &mode));
    ASSERT_TRUE(sim::registry::GetValue(sim::ServiceKey("Zelko") + "\\Pointwell", "XArray", &mode));
    ASSERT_EQ(mode.data.size(), 10000u);

    // A touch at raw (1000, 2000) now lands at the tables' entries:
    // x p = trunc(200 - 50 + 0.5) = 150 -> 150 / 1024 * 65535 = 9599;
    // y p = trunc(200 + 10 + 0.5) = 210 -> 210 / 768 * 65535 = 17919.
    out.str("");
    Do("touch down 1000 2000");
    Do("wait 20");
    unsigned buttons = 0, raw = 0, x = 0, y = 0;
    const std::string first = out.str().substr(0, out.str().find('\n'));
    ASSERT_EQ(std::sscanf(first.c_str(), "mouse buttons=0x%x raw=0x%x x=%u y=%u", &buttons, &raw, &x, &y), 4)
        << out.str();
    EXPECT_EQ(x, 9599u);
    EXPECT_EQ(y, 17919u);
    Do("touch up 1000 2000");
    Do("wait 20");
}

}  // namespace
}  // namespace pointwell
