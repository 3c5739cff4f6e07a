// The tool's registry values as Zelko and the installer see them, the settings
// record's load, the Windows version code and the calibration tables' entries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "appplatform_native.h"
#include "axistable.h"
#include "simkernel/sim.h"
#include "toolsettings.h"

namespace {

using namespace pointwell;

const char* const kKernelToolKey = "\\REGISTRY\\Machine\\SOFTWARE\\Veltran\\Pointwell";
const char* const kKernelRunKey = "\\REGISTRY\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class ToolRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        previous = app::SetAppPlatform(&platform);
    }
    void TearDown() override { app::SetAppPlatform(previous); }
    // What a program asking for the value sees: its type and size.
    std::uint32_t SizeOf(const char* name)
    {
        app::RegKey k = 0;
        EXPECT_EQ(platform.RegOpenKey(app::kHkeyLocalMachine, kToolKey, app::kKeyRead, &k), app::kErrorSuccess);
        std::uint32_t size = 0;
        platform.RegQueryValue(k, name, nullptr, nullptr, &size);
        platform.RegCloseKey(k);
        return size;
    }
    app::NativeAppPlatform platform;
    app::Platform* previous = nullptr;
    RegistryStore store;
};

TEST_F(ToolRegistry, WritesNeedTheKeyAndStoreTextWithoutItsZero)
{
    EXPECT_FALSE(store.KeyExists());
    EXPECT_EQ(store.WriteText("beep", "1"), app::kErrorFileNotFound);
    EXPECT_FALSE(sim::registry::KeyExists(kKernelToolKey));

    store.EnsureKey();
    ASSERT_TRUE(store.KeyExists());
    EXPECT_EQ(store.WriteText("beep", "1"), app::kErrorSuccess);
    EXPECT_EQ(SizeOf("beep"), 1u);
    sim::registry::Value v;
    ASSERT_TRUE(sim::registry::GetValue(kKernelToolKey, "beep", &v));
    EXPECT_EQ(v.type, app::kRegSz);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{'1', 0}));
}

TEST_F(ToolRegistry, ReadTextKeepsThePresetOnlyWhenNothingIsStored)
{
    store.EnsureKey();
    char buf[kTextValueBytes] = "30";
    EXPECT_EQ(store.ReadText("moveSlider", buf), app::kErrorFileNotFound);
    EXPECT_STREQ(buf, "30");
    // A shorter stored text is the whole value, not the head of the preset.
    store.WriteText("moveSlider", "5");
    EXPECT_EQ(store.ReadText("moveSlider", buf), app::kErrorSuccess);
    EXPECT_STREQ(buf, "5");
    // The driver's text comes with its zero.
    sim::registry::SetString(kKernelToolKey, "doneMode", "2");
    std::strcpy(buf, "xyz");
    store.ReadText("doneMode", buf);
    EXPECT_STREQ(buf, "2");
    // 50 bytes and more: refused by the 50-byte query, the preset stays.
    const std::string longText(60, 'a');
    store.WriteText("long", longText.c_str());
    std::strcpy(buf, "keep");
    EXPECT_EQ(store.ReadText("long", buf), app::kErrorMoreData);
    EXPECT_STREQ(buf, "keep");
}

TEST_F(ToolRegistry, RunEntriesComeAndGo)
{
    ASSERT_TRUE(sim::registry::CreateKey(kKernelRunKey));
    sim::registry::SetString(kKernelRunKey, "Other", "C:\\other.exe");
    store.DeleteRunEntry("Pointwell");  // absent: the key stays as it was
    auto values = sim::registry::Values(kKernelRunKey);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Other");

    store.SetRunEntry("ChgFile", "C:\\Tool\\flipkey.exe");
    std::string text;
    EXPECT_TRUE(platform.RegistryText(app::kHkeyLocalMachine, kRunKey, "ChgFile", &text));
    EXPECT_EQ(text, "C:\\Tool\\flipkey.exe");
    store.DeleteRunEntry("ChgFile");
    EXPECT_FALSE(platform.RegistryText(app::kHkeyLocalMachine, kRunKey, "ChgFile", &text));
    EXPECT_EQ(sim::registry::Values(kKernelRunKey).size(), 1u);
}

TEST_F(ToolRegistry, SettingsLoadWithTheirDefaults)
{
    platform.metrics[0] = 800;
    platform.metrics[1] = 600;
    ToolSettings s;
    s.kx = 9;
    s.chgbutton = 9;
    s.Load(store);  // no key at all
    EXPECT_EQ(s.kx, 0.0);
    EXPECT_EQ(s.chgbutton, 0);
    EXPECT_EQ(s.beep, 0);
    EXPECT_EQ(s.screenWidth, 800);
    EXPECT_EQ(s.screenHeight, 600);

    store.EnsureKey();
    char text[64];
    std::snprintf(text, sizeof text, "%f", -133.333333);
    store.WriteText("Cy", text);
    store.WriteText("Kx", "1.066667");
    store.WriteText("chgbutton", "2");
    store.WriteText("disabledev", "1");
    sim::registry::SetString(kKernelToolKey, "changexy", "1");  // as the driver writes it
    s.Load(store);
    EXPECT_STREQ(text, "-133.333333");
    EXPECT_DOUBLE_EQ(s.cy, -133.333333);
    EXPECT_DOUBLE_EQ(s.kx, 1.066667);
    EXPECT_EQ(s.chgbutton, 2);
    EXPECT_FALSE(SwitchOn("2"));
    EXPECT_TRUE(SwitchOn("1"));
    EXPECT_EQ(s.disabledev, 1);
    EXPECT_EQ(s.changexy, 1);
}

TEST_F(ToolRegistry, StoredTablesOfAnySizeStayInsideTheirBuffers)
{
    store.EnsureKey();
    // An XArray longer than the table (damaged) and a YArray of the right size.
    std::vector<std::uint8_t> longX(kTableBytes + 2000, 0x11);
    store.WriteBinary("XArray", longX.data(), std::uint32_t(longX.size()));
    std::vector<std::uint16_t> y(kTableEntries);
    for (int i = 0; i < kTableEntries; ++i)
        y[i] = std::uint16_t(i * 13);
    store.WriteBinary("YArray", y.data(), kTableBytes);
    ToolSettings s;
    s.Load(store);
    EXPECT_EQ(s.xTable.size(), std::size_t(kTableEntries));
    // The long one was refused: nothing of it is kept, whatever the refused query left
    // in the buffer (Windows gives no promise about it).
    EXPECT_EQ(s.xTable, std::vector<std::uint16_t>(kTableEntries, 0));
    EXPECT_EQ(s.yTable, y);

    // A short XArray must not cut the YArray's read short.
    store.WriteBinary("XArray", longX.data(), 100);
    s.yTable.assign(kTableEntries, 0);
    s.Load(store);
    EXPECT_EQ(s.xTable[49], 0x1111);
    EXPECT_EQ(s.yTable, y);
}

TEST_F(ToolRegistry, VersionCodes)
{
    struct Case {
        app::OsVersion v;
        int code;
    } cases[] = {
        {{3, 10, 0, 0, ""}, 3132},   {{4, 10, 2222, 1, ""}, 9598}, {{5, 0, 2195, 2, ""}, 2000},
        {{5, 1, 2600, 2, ""}, 2001}, {{5, 2, 3790, 2, ""}, 2001},  {{4, 0, 1381, 2, ""}, -1},
        {{6, 1, 7601, 2, ""}, -1},   {{5, 1, 0, 3, ""}, -1},
    };
    for (const Case& c : cases) {
        platform.version = c.v;
        EXPECT_EQ(OsVersionCode(), c.code) << c.v.major << "." << c.v.minor << " id " << c.v.platformId;
    }
    platform.versionFails = true;
    EXPECT_EQ(OsVersionCode(), -1);
}

TEST_F(ToolRegistry, TheHalfScaleIsForWindows2000WithoutXp)
{
    store.EnsureKey();
    EXPECT_TRUE(HalfScaleTables(2000, store));  // osflg absent
    store.WriteText("osflg", "Xp");
    EXPECT_FALSE(HalfScaleTables(2000, store));
    store.WriteText("osflg", "xp2");
    EXPECT_TRUE(HalfScaleTables(2000, store));
    EXPECT_FALSE(HalfScaleTables(2001, store));
    EXPECT_FALSE(HalfScaleTables(9598, store));
}

TEST(AxisTable, EntriesFollowTheMappingAndTheScreen)
{
    ToolSettings s;
    s.kx = 0.2, s.cx = -50, s.screenWidth = 1024;
    s.ky = 0.3, s.cy = 0, s.screenHeight = 1024;
    EXPECT_EQ(AxisTableValue('x', 1000, s, false), 9599);    // p = 150: 150 / 1024 * 65535
    EXPECT_EQ(AxisTableValue('x', 1000, s, true), 4799);     // the same on 0..32767
    EXPECT_EQ(AxisTableValue('x', 0, s, false), 0);          // p = -49
    EXPECT_EQ(AxisTableValue('x', 252, s, false), 0);        // p = 0
    EXPECT_EQ(AxisTableValue('y', 4999, s, false), 0xFFFF);  // p = 1500 is beyond the screen
    EXPECT_EQ(AxisTableValue('y', 4999, s, true), 0x7FFF);
    EXPECT_EQ(AxisTableValue('z', 1000, s, false), 0);
    EXPECT_EQ(AxisTableValue('X', 1000, s, false), 0);
}

TEST(AxisTable, DamagedMappingsAndScreensGiveZeroNotGarbage)
{
    ToolSettings s;
    s.screenWidth = 1024;
    s.kx = 1e300;  // beyond 32 bits
    EXPECT_EQ(AxisTableValue('x', 10, s, false), 0);
    s.kx = 1001;  // p = 1001000 > 1000000
    EXPECT_EQ(AxisTableValue('x', 1000, s, false), 0);
    s.kx = 1000;  // p = 1000000 exactly is kept, capped at the top
    EXPECT_EQ(AxisTableValue('x', 1000, s, false), 0xFFFF);
    s.kx = std::nan("");
    EXPECT_EQ(AxisTableValue('x', 1000, s, false), 0);
    s.kx = 1, s.screenWidth = 0;
    EXPECT_EQ(AxisTableValue('x', 1000, s, false), 0);
}

TEST(AxisTable, ComputeTablesFillsBothWhole)
{
    ToolSettings s;
    s.kx = 1.0, s.cx = 0, s.screenWidth = 5000;
    s.ky = -1.0, s.cy = 4999, s.screenHeight = 5000;
    ComputeTables(s, false);
    EXPECT_EQ(s.xTable[0], 0);
    EXPECT_EQ(s.xTable[2500], 32767);  // 2500 / 5000 * 65535 = 32767.5
    EXPECT_EQ(s.xTable[4999], 65521);  // 4999 / 5000 * 65535 = 65521.9
    EXPECT_EQ(s.yTable[0], 65521);
    EXPECT_EQ(s.yTable[4999], 0);
}

}  // namespace
