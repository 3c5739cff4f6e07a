// The settings key's first values and tables, the cfg records, osflg, the Run value and
// the program group's commands.
#include <gtest/gtest.h>

#include <cstdio>

#include "cfgrecords.h"
#include "harness.h"

namespace setuptest {
namespace {

constexpr const char* kKey = "hklm\\software\\veltran\\pointwell";

std::uint16_t Entry(const RegValue& table, int i)
{
    return std::uint16_t(std::uint8_t(table.data[2 * i]) | std::uint8_t(table.data[2 * i + 1]) << 8);
}

std::string Bytes(std::initializer_list<std::vector<std::uint8_t>> records)
{
    std::string out;
    for (const auto& r : records)
        out.append(r.begin(), r.end());
    return out;
}

std::vector<std::uint8_t> TextData(const std::string& s, std::size_t n)
{
    std::vector<std::uint8_t> d(s.begin(), s.end());
    d.resize(n, 0);
    return d;
}

TEST(DefaultTables, NtSpreadsRawOverHalfTheRangeAndHoldsTheLimit)
{
    setup::DefaultTables t;
    setup::FillDefaultTables(2001, &t);
    EXPECT_EQ(t.x[0], 0);
    EXPECT_EQ(t.x[1], 40);
    EXPECT_EQ(t.x[800], 32766);
    EXPECT_EQ(t.x[801], 32766);
    EXPECT_EQ(t.x[1600], 32766);
    EXPECT_EQ(t.x[1601], 36);  // the 16-bit value wraps past twice the range
    EXPECT_EQ(t.y[1], 54);
    EXPECT_EQ(t.y[600], 32766);
    for (int i = 4900; i < 5000; ++i)
        ASSERT_EQ(t.x[i] | t.y[i], 0) << i;
}

TEST(DefaultTables, Windows98SpreadsRawOverTheWholeRangeAndWraps)
{
    setup::DefaultTables t;
    setup::FillDefaultTables(9598, &t);
    EXPECT_EQ(t.x[1], 81);
    EXPECT_EQ(t.x[800], 65534);
    EXPECT_EQ(t.x[801], 79);
    EXPECT_EQ(t.y[1], 109);
    EXPECT_EQ(t.y[600], 65534);
    for (int i = 4900; i < 5000; ++i)
        ASSERT_EQ(t.x[i] | t.y[i], 0) << i;
}

TEST_F(SetupTest, InitialSettingsOnXpWithoutCfgFile)
{
    installer.WriteInitialSettings();
    EXPECT_EQ(os.Value(kKey, "chgbutton").data, "");
    EXPECT_EQ(os.Value(kKey, "chgbutton").type, app::kRegSz);
    EXPECT_EQ(os.Value(kKey, "donemode").data, "1");  // stored without the terminating zero
    EXPECT_EQ(os.Value(kKey, "IsCfg").data, "no");
    EXPECT_EQ(os.Value(kKey, "dubwheel").data, "yes");
    EXPECT_EQ(os.Value(kKey, "moveSlider").data, "30");
    const RegValue x = os.Value(kKey, "XArray"), y = os.Value(kKey, "YArray");
    ASSERT_EQ(x.type, app::kRegBinary);
    ASSERT_EQ(x.data.size(), 10000u);
    ASSERT_EQ(y.data.size(), 10000u);
    EXPECT_EQ(Entry(x, 800), 32766);
    EXPECT_EQ(Entry(x, 1), 40);
    EXPECT_EQ(Entry(y, 600), 32766);
    EXPECT_EQ(Entry(y, 1), 54);
    EXPECT_FALSE(os.HasValue(kKey, "changexy"));
    EXPECT_FALSE(os.HasValue(kKey, "osflg"));
}

TEST_F(SetupTest, InitialSettingsOnWindows98UseItsTablesAndItsCfgFile)
{
    os.platformId = 1;
    os.WriteFile("c:\\pkg\\win98.cfg", Bytes({setup::EncodeCfgRecord(1, "changexy", TextData("0", 2))}));
    os.WriteFile("c:\\pkg\\winxp.cfg", Bytes({setup::EncodeCfgRecord(1, "changexy", TextData("1", 2))}));
    installer.WriteInitialSettings();
    EXPECT_EQ(Entry(os.Value(kKey, "XArray"), 800), 65534);
    EXPECT_EQ(Entry(os.Value(kKey, "XArray"), 801), 79);
    EXPECT_EQ(os.Value(kKey, "changexy").data, "0");
}

TEST_F(SetupTest, NoCfgFileForAnUnknownFamilyAndNothingWhenTheKeyCannotBeMade)
{
    os.platformId = 0;
    os.WriteFile("c:\\pkg\\winxp.cfg", Bytes({setup::EncodeCfgRecord(1, "changexy", TextData("1", 2))}));
    installer.WriteInitialSettings();
    EXPECT_FALSE(os.HasValue(kKey, "changexy"));
    EXPECT_EQ(Entry(os.Value(kKey, "XArray"), 800), 32766);

    FakePlatform locked;
    locked.failCreateKey = {"software\\veltran", "software\\veltran\\pointwell"};
    app::Platform* previous = app::SetAppPlatform(&locked);
    setup::Installer other(locked, api);
    other.WriteInitialSettings();
    other.WriteOsFlag("xp");
    app::SetAppPlatform(previous);
    EXPECT_FALSE(locked.HasKey(kKey));
}

TEST_F(SetupTest, CfgRecordsOverrideByTypeAndEndAtZeroLength)
{
    std::vector<std::uint8_t> table(10000);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = std::uint8_t(i * 7);
    os.WriteFile("c:\\pkg\\winxp.cfg", Bytes({setup::EncodeCfgRecord(1, "moveSlider", TextData("20", 3)),
                                              setup::EncodeCfgRecord(2, "skipped", TextData("x", 2)),
                                              setup::EncodeCfgRecord(3, "XArray", table),
                                              setup::EncodeCfgRecord(1, "disabledev", TextData("0", 2)),
                                              setup::EncodeCfgRecord(1, "afterzero", {}),  // n = 0 ends the file
                                              setup::EncodeCfgRecord(1, "notapplied", TextData("1", 2))}));
    installer.WriteInitialSettings();
    EXPECT_EQ(os.Value(kKey, "moveSlider").data, "20");  // length 2, as the text stands
    EXPECT_FALSE(os.HasValue(kKey, "skipped"));
    EXPECT_EQ(os.Value(kKey, "XArray").data, std::string(table.begin(), table.end()));
    EXPECT_EQ(os.Value(kKey, "disabledev").data, "0");
    EXPECT_FALSE(os.HasValue(kKey, "afterzero"));
    EXPECT_FALSE(os.HasValue(kKey, "notapplied"));
}

TEST_F(SetupTest, MalformedCfgRecordsEndTheFile)
{
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bad;
    } cases[] = {
        {"text filling all 10000 bytes without a zero byte",
         setup::EncodeCfgRecord(1, "bad", std::vector<std::uint8_t>(10000, 'a'))},
        {"n above 10000", setup::EncodeCfgRecord(3, "bad", std::vector<std::uint8_t>(10001, 1))},
    };
    for (const Case& c : cases) {
        FakePlatform fresh;
        fresh.SetValue(kKey, "keep", app::kRegSz, "");
        app::Platform* previous = app::SetAppPlatform(&fresh);
        fresh.WriteFile("c:\\pkg\\winxp.cfg", Bytes({setup::EncodeCfgRecord(1, "first", TextData("1", 2)), c.bad,
                                                     setup::EncodeCfgRecord(1, "after", TextData("1", 2))}));
        setup::Installer in(fresh, api);
        in.ApplyCfgFile("winxp.cfg");
        app::SetAppPlatform(previous);
        EXPECT_EQ(fresh.Value(kKey, "first").data, "1") << c.what;
        EXPECT_FALSE(fresh.HasValue(kKey, "bad")) << c.what;
        EXPECT_FALSE(fresh.HasValue(kKey, "after")) << c.what;
    }
    // A name that fills all 50 bytes without its zero byte ends the file too.
    std::vector<std::uint8_t> noName = setup::EncodeCfgRecord(1, "x", TextData("1", 2));
    for (int i = 4; i < 54; ++i)
        noName[i] = 'n';
    os.SetValue(kKey, "keep", app::kRegSz, "");
    os.WriteFile("c:\\pkg\\winxp.cfg", Bytes({noName, setup::EncodeCfgRecord(1, "after", TextData("1", 2))}));
    installer.ApplyCfgFile("winxp.cfg");
    EXPECT_FALSE(os.HasValue(kKey, "after"));
}

TEST_F(SetupTest, AShortTextWithoutItsZeroByteEndsWhereItsDataEnds)
{
    // The data buffer holds 10000 zero bytes before each record, so a text of fewer bytes
    // ends after its n bytes even when the file gives it no zero byte of its own.
    os.SetValue(kKey, "keep", app::kRegSz, "");
    os.WriteFile("c:\\pkg\\winxp.cfg", Bytes({setup::EncodeCfgRecord(1, "moveSlider", TextData("20", 2)),
                                              setup::EncodeCfgRecord(1, "changexy", TextData("1", 2))}));
    installer.ApplyCfgFile("winxp.cfg");
    EXPECT_EQ(os.Value(kKey, "moveSlider").data, "20");
    EXPECT_EQ(os.Value(kKey, "changexy").data, "1");
}

TEST_F(SetupTest, AShortCfgFileAppliesWholeRecordsAndTheOneCutInItsData)
{
    os.SetValue(kKey, "keep", app::kRegSz, "");
    std::vector<std::uint8_t> cut = setup::EncodeCfgRecord(3, "YArray", std::vector<std::uint8_t>(100, 0xAB));
    cut.resize(58 + 10);  // ten of its hundred bytes
    os.WriteFile("c:\\pkg\\winxp.cfg", Bytes({setup::EncodeCfgRecord(1, "donemode", TextData("2", 2)), cut}));
    installer.ApplyCfgFile("winxp.cfg");
    EXPECT_EQ(os.Value(kKey, "donemode").data, "2");
    EXPECT_EQ(os.Value(kKey, "YArray").data, std::string(10, '\xAB') + std::string(90, '\0'));

    // Cut inside the name or the length: not applied.
    for (std::size_t keep : {std::size_t(20), std::size_t(56)}) {
        std::vector<std::uint8_t> r = setup::EncodeCfgRecord(1, "cutvalue", TextData("1", 2));
        r.resize(keep);
        os.WriteFile("c:\\pkg\\winxp.cfg", Bytes({r}));
        installer.ApplyCfgFile("winxp.cfg");
        EXPECT_FALSE(os.HasValue(kKey, "cutvalue")) << keep;
    }
}

TEST_F(SetupTest, ShippedCfgFilesCompleteTheDriversFirstLoad)
{
    for (const char* family : {"winxp", "win98"}) {
        std::FILE* f = std::fopen((std::string(PACKAGE_DIR) + "/" + family + ".cfg").c_str(), "rb");
        ASSERT_NE(f, nullptr) << family;
        std::map<std::string, std::string> texts;
        setup::CfgRecord r;
        while (setup::ReadCfgRecord(f, &r))
            if (r.type == setup::kCfgText)
                texts[r.name] = r.Text();
        std::fclose(f);
        EXPECT_EQ(texts["changexy"], "0") << family;
        EXPECT_EQ(texts["disabledev"], "0") << family;
    }
}

TEST_F(SetupTest, OsFlagAndTheRunValue)
{
    installer.WriteOsFlag("xp");
    EXPECT_EQ(os.Value(kKey, "osflg").data, "xp");
    const char* run = "hklm\\software\\microsoft\\windows\\currentversion\\run";
    os.SetValue(run, "Pointwell", app::kRegSz, "c:\\veltran\\Pointwell.exe");
    os.SetValue(run, "ChgFile", app::kRegSz, "c:\\veltran\\flipkey.exe");
    installer.RemoveAutostart("c:\\veltran\\Pointwell.exe");
    EXPECT_FALSE(os.HasValue(run, "Pointwell"));
    EXPECT_TRUE(os.HasValue(run, "ChgFile"));
    installer.RemoveAutostart("c:\\veltran\\Pointwell.exe");  // absent before: still absent
    EXPECT_FALSE(os.HasValue(run, "Pointwell"));
}

TEST_F(SetupTest, ProgramGroupCommandsNameTheGroupAndBothItems)
{
    installer.groupName = "Infrared Touch Screen";
    installer.toolCaption = "Setting and Calibrate";
    installer.uninstCaption = "Uninstall Infrared Touch Screen";
    EXPECT_TRUE(installer.CreateProgramGroup("c:\\veltran"));
    EXPECT_EQ(os.DdeCommands(),
              std::vector<std::string>(
                  {"[CreateGroup(Infrared Touch Screen)]", "[ShowGroup(Infrared Touch Screen,1)]",
                   "[AddItem(c:\\veltran\\Pointwell.exe,Setting and Calibrate,c:\\veltran\\Pointwell.exe,0)]",
                   "[AddItem(c:\\veltran\\Uninst.exe,Uninstall Infrared Touch Screen,c:\\veltran\\Uninst.exe,0)]"}));
    EXPECT_EQ(os.events.back(), "DdeClose");

    os.ddeAvailable = false;  // no Program Manager: no group, no message, still true
    EXPECT_TRUE(installer.CreateProgramGroup("c:\\veltran"));
    EXPECT_EQ(os.ddeConversations.size(), 1u);
    EXPECT_TRUE(os.messageBoxes.empty());

    os.ddeInitializes = false;  // no DDE at all: said so, no group, false
    EXPECT_FALSE(installer.CreateProgramGroup("c:\\veltran"));
    ASSERT_EQ(os.messageBoxes.size(), 1u);
    EXPECT_EQ(os.messageBoxes[0].text, "DDE Error!");
    EXPECT_EQ(os.messageBoxes[0].caption, "Error");
    EXPECT_EQ(os.messageBoxes[0].owner, nullptr);
    EXPECT_EQ(os.ddeConversations.size(), 1u);
}

}  // namespace
}  // namespace setuptest
