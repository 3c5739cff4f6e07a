// The settings store: CMD_RELOAD from the tool's key, the driver's own copy,
// and values of every odd type and size.
#include "harness.h"

namespace zelkotest {

class Settings : public ZelkoMachine {
protected:
    void SetUp() override
    {
        ZelkoMachine::SetUp();
        Plug();
    }

    const zelko::TouchSettings& S() { return Dx()->settings; }

    static void PutBinary(const char* key, const char* name, const std::vector<uint8_t>& data)
    {
        sim::registry::SetValue(key, name, REG_BINARY, data.data(), data.size());
    }
};

TEST_F(Settings, ACompleteReloadFillsTheDriversCopy)
{
    WriteToolSettings("2", "30");
    EXPECT_EQ(Command(CMD_RELOAD), STATUS_SUCCESS);
    EXPECT_TRUE(S().settingsLoaded);
    EXPECT_EQ(S().doneMode, 2);
    EXPECT_EQ(S().moveSlider, 30u);
    EXPECT_EQ(S().XArray[4999], 2 * 4999 + 100);
    EXPECT_EQ(S().YArray[1], 203);

    // Scalars as decimal text with the terminating zero; tables as 10000 bytes.
    sim::registry::Value v;
    ASSERT_TRUE(sim::registry::GetValue(kCopyKey, "doneMode", &v));
    EXPECT_EQ(v.type, (uint32_t)REG_SZ);
    EXPECT_EQ(v.data, std::vector<uint8_t>({'2', 0, 0, 0}));
    EXPECT_EQ(RegText(kCopyKey, "moveSlider"), "30");
    EXPECT_EQ(RegText(kCopyKey, "changexy"), "0");
    EXPECT_EQ(RegText(kCopyKey, "disabledev"), "0");
    ASSERT_TRUE(sim::registry::GetValue(kCopyKey, "XArray", &v));
    EXPECT_EQ(v.type, (uint32_t)REG_BINARY);
    EXPECT_EQ(v.data, Table(2, 100));

    // Mapped through the tables now.
    Touch(0x81, 10, 20);
    EventRecord e = GetEvent();
    EXPECT_EQ(e.code, 0x81u);
    EXPECT_EQ(e.x, 120u);
    EXPECT_EQ(e.y, 260u);
}

TEST_F(Settings, TheCopyIsReadWhenTheDeviceStartsAgain)
{
    WriteToolSettings("3", "12");
    Command(CMD_RELOAD);
    sim::usb::Unplug();
    sim::registry::DeleteValue(kToolKey, "doneMode");
    Plug();
    EXPECT_TRUE(S().settingsLoaded) << "the copy needs no tool key";
    EXPECT_EQ(S().doneMode, 3);
    EXPECT_EQ(S().moveSlider, 12u);
}

TEST_F(Settings, AMissingValueLeavesTheOlderCopyInForce)
{
    // No older copy: the five values read stay in force, the load is incomplete.
    WriteToolSettings("2", "", false);
    Dx()->settings.moveSlider = 77;
    Command(CMD_RELOAD);
    EXPECT_FALSE(S().settingsLoaded);
    EXPECT_EQ(S().doneMode, 2);
    EXPECT_EQ(S().moveSlider, 77u);
    EXPECT_FALSE(sim::registry::KeyExists(kCopyKey));
    Touch(0x82, 800, 600);
    EXPECT_EQ(GetEvent().x, 32000u) << "fixed factors while not loaded";

    // With an older copy: the copy is not rewritten and its values win.
    WriteToolSettings("3", "5");
    Command(CMD_RELOAD);
    ASSERT_TRUE(S().settingsLoaded);
    sim::registry::DeleteValue(kToolKey, "moveSlider");
    PutString(kToolKey, "doneMode", "6");
    Command(CMD_RELOAD);
    EXPECT_TRUE(S().settingsLoaded);
    EXPECT_EQ(S().doneMode, 3) << "overwritten at once by the older copy";
    EXPECT_EQ(RegText(kCopyKey, "doneMode"), "3");
}

TEST_F(Settings, DecimalTextIsParsedAsTheRuntimeLibraryDoes)
{
    struct {
        const char* text;
        int32_t doneMode;
    } cases[] = {{" 2", 2}, {"abc", 0}, {"6x", 6}, {"+1", 1}, {"", 0}, {"-3", -3}, {"0012", 12}};
    for (auto& c : cases) {
        WriteToolSettings(c.text, "0");
        Command(CMD_RELOAD);
        EXPECT_EQ(S().doneMode, c.doneMode) << '"' << c.text << '"';
    }
    // "abc" reads as 0, which drags.
    WriteToolSettings("abc", "0");
    Command(CMD_RELOAD);
    Touch(0x82, 1, 1);
    EXPECT_EQ(GetEvent().code, 0x81u);
}

TEST_F(Settings, ANegativeSliderIsSavedAsItsUnsignedDecimal)
{
    WriteToolSettings("1", "-1");
    Command(CMD_RELOAD);
    EXPECT_EQ(S().moveSlider, 4294967295u);
    EXPECT_EQ(RegText(kCopyKey, "moveSlider"), "4294967295");
}

TEST_F(Settings, AShortTableReplacesOnlyItsFirstEntriesAndALongOneIsRefused)
{
    WriteToolSettings();
    Command(CMD_RELOAD);
    PutBinary(kToolKey, "XArray", Table(0, 7, 4900));  // 9800 bytes
    Command(CMD_RELOAD);
    EXPECT_TRUE(S().settingsLoaded);
    EXPECT_EQ(S().XArray[0], 7);
    EXPECT_EQ(S().XArray[4899], 7);
    EXPECT_EQ(S().XArray[4900], 2 * 4900 + 100) << "entries 4900..4999 as they were";

    std::vector<uint8_t> tooLong = Table(0, 9, 5000);
    tooLong.push_back(0);
    PutBinary(kToolKey, "XArray", tooLong);
    PutString(kToolKey, "doneMode", "2");
    sim::registry::DeleteValue(kCopyKey, "XArray");
    Command(CMD_RELOAD);
    EXPECT_FALSE(S().settingsLoaded) << "neither key gives a whole set now";
    EXPECT_EQ(S().XArray[0], 7) << "the refused table left the old one";
    EXPECT_EQ(S().doneMode, 1) << "the copy is read last, and what it holds wins";
}

TEST_F(Settings, ValuesOfOtherTypesAreTakenAsTheirBytes)
{
    WriteToolSettings();
    sim::registry::SetDword(kToolKey, "doneMode", 2);  // bytes 02 00 00 00: no digits
    Command(CMD_RELOAD);
    EXPECT_TRUE(S().settingsLoaded);
    EXPECT_EQ(S().doneMode, 0);

    // A text too long for the 100-byte scalar buffer is refused.
    PutString(kToolKey, "changexy", "1" + std::string(60, ' '));
    Dx()->settings.changexy = 5;
    Command(CMD_RELOAD);
    EXPECT_EQ(RegText(kCopyKey, "changexy"), "0") << "the copy keeps the last complete set";

    // A text table is converted to 8-bit text before it is copied.
    PutString(kToolKey, "changexy", "0");
    const char* ascii = "AB";
    sim::registry::SetString(kToolKey, "YArray", ascii);
    Command(CMD_RELOAD);
    EXPECT_EQ(S().YArray[0], 'A' | ('B' << 8));

    // A binary scalar without a zero byte is read to the end of its buffer.
    PutBinary(kToolKey, "disabledev", std::vector<uint8_t>(100, '1'));
    Command(CMD_RELOAD);
    uint32_t wrapped = 0;
    for (int i = 0; i < 100; ++i)
        wrapped = wrapped * 10 + 1;
    EXPECT_EQ((uint32_t)S().disabledev, wrapped) << "all 100 digits, wrapping as the runtime library does";
}

TEST_F(Settings, AStartWithoutTheToolKeyOrACopyKeepsTheDefaults)
{
    EXPECT_FALSE(S().settingsLoaded);
    EXPECT_EQ(S().doneMode, 1);
    EXPECT_EQ(Command(CMD_RELOAD), STATUS_SUCCESS);
    EXPECT_FALSE(S().settingsLoaded);
    EXPECT_FALSE(sim::registry::KeyExists(kCopyKey));
}

TEST_F(Settings, TheDeviceStateQueryRetriesTheCopyWhileNotLoaded)
{
    WriteToolSettings("2", "4");
    Command(CMD_RELOAD);
    Dx()->settings.settingsLoaded = false;
    Dx()->settings.doneMode = 9;
    ULONG_PTR state = 0;
    sim::pnp::SendPnp(node, IRP_MN_QUERY_PNP_DEVICE_STATE, &state);
    EXPECT_TRUE(S().settingsLoaded);
    EXPECT_EQ(S().doneMode, 2);
}

}  // namespace zelkotest

namespace zelkotest {

TEST_F(ZelkoMachine, TheCopyKeyIsFoundWithoutADriverObjectExtension)
{
    sim::FailAllocation(2);  // the bus's PDO, then Zelko's driver-object extension
    Plug();
    ASSERT_EQ(IoGetDriverObjectExtension(sim::pnp::FunctionDriver(node), ZELKO_REGISTRY_PATH_ID), nullptr);
    WriteToolSettings("2", "8");
    EXPECT_EQ(Command(CMD_RELOAD), STATUS_SUCCESS);
    EXPECT_EQ(RegText(kCopyKey, "moveSlider"), "8");
}

}  // namespace zelkotest
