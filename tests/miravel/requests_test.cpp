// The class driver's requests answered from Miravel's tables: what the class
// learns at start, the report descriptor as a HID parser reads it, and every
// request with odd buffers.
#include "harness.h"

namespace miraveltest {

using sim::hidclass::MainItem;
using sim::hidclass::ParsedDescriptor;

class Requests : public MiravelMachine {
protected:
    static std::shared_ptr<sim::hidclass::Request> Ask(ULONG code, ULONG length, ULONG_PTR type3 = 0,
                                                       bool withBuffer = true)
    {
        auto r = sim::hidclass::Send(code, length, (PVOID)type3, type3 ? 4 : 0, withBuffer);
        EXPECT_TRUE(r->done) << "request " << std::hex << code << " was left waiting";
        return r;
    }

    static std::u16string Text(const std::vector<uint8_t>& b, size_t bytes)
    {
        std::u16string s;
        for (size_t i = 0; i + 1 < bytes; i += 2)
            s += (char16_t)(b[i] | (b[i + 1] << 8));
        return s;
    }
};

TEST_F(Requests, TheClassDriverStartsTheDeviceFromTheTables)
{
    AddMiravel();
    ASSERT_TRUE(sim::hidclass::Started());
    sim::hidclass::StartAnswers a = sim::hidclass::Answers();
    EXPECT_EQ(a.deviceDescriptor, Bytes({0x09, 0x21, 0x00, 0x00, 0x00, 0x01, 0x22, 0x34, 0x00}));
    EXPECT_EQ(a.reportDescriptor.size(), 52u);
    EXPECT_EQ(a.attributesStatus, STATUS_SUCCESS);
    ASSERT_EQ(a.attributes.size(), 32u);
    EXPECT_EQ(a.attributes[0], 32);
    EXPECT_EQ(a.vendorId, 0x5A53);
    EXPECT_EQ(a.productId, 0x0001);
    EXPECT_EQ(a.versionNumber, 0x0100);
    for (size_t i = 10; i < 32; ++i)
        EXPECT_EQ(a.attributes[i], 0) << "reserved byte " << i;
    EXPECT_EQ(a.manufacturerStatus, STATUS_SUCCESS);
    EXPECT_EQ(a.manufacturer, u"Sorvendale");
    EXPECT_EQ(a.productStatus, STATUS_SUCCESS);
    EXPECT_EQ(a.product, u"Infrared Screen");
}

// ---- the report descriptor, read by the class driver's parser --------------------------------------
void ExpectPointer(const ParsedDescriptor& p, uint32_t logicalMaximumRaw)
{
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_FALSE(p.reportIds);
    EXPECT_EQ(p.usagePage, 0x01);  // Generic Desktop
    EXPECT_EQ(p.usage, 0x02);      // Mouse
    ASSERT_EQ(p.collections.size(), 2u);
    EXPECT_EQ(p.collections[0].type, 1);  // application, top level
    EXPECT_EQ(p.collections[0].depth, 0u);
    EXPECT_EQ(p.collections[1].type, 0);  // physical: the pointer inside it
    EXPECT_EQ(p.collections[1].usage, 0x01);
    EXPECT_EQ(p.collections[1].depth, 1u);
    EXPECT_TRUE(p.outputs.empty());
    EXPECT_TRUE(p.features.empty());

    ASSERT_EQ(p.inputs.size(), 3u);
    const MainItem& buttons = p.inputs[0];
    EXPECT_EQ(buttons.usagePage, 0x09);
    EXPECT_TRUE(buttons.usageRange);
    EXPECT_EQ(buttons.usageMinimum, 1);
    EXPECT_EQ(buttons.usageMaximum, 3);
    EXPECT_EQ(buttons.logicalMinimum, 0);
    EXPECT_EQ(buttons.logicalMaximum, 1);
    EXPECT_EQ(buttons.reportSize, 1u);
    EXPECT_EQ(buttons.reportCount, 3u);
    EXPECT_TRUE(buttons.Variable());
    EXPECT_FALSE(buttons.Constant());
    EXPECT_FALSE(buttons.Relative());
    EXPECT_EQ(buttons.bitOffset, 0u);

    const MainItem& padding = p.inputs[1];
    EXPECT_TRUE(padding.Constant());
    EXPECT_EQ(padding.reportSize * padding.reportCount, 5u);
    EXPECT_EQ(padding.bitOffset, 3u);

    const MainItem& xy = p.inputs[2];
    EXPECT_EQ(xy.usagePage, 0x01);
    EXPECT_EQ(xy.usages, (std::vector<uint16_t>{0x30, 0x31}));  // X, Y
    EXPECT_FALSE(xy.usageRange);
    EXPECT_EQ(xy.logicalMinimum, 1);
    EXPECT_EQ(xy.logicalMaximumRaw, logicalMaximumRaw);
    EXPECT_EQ(xy.reportSize, 16u);
    EXPECT_EQ(xy.reportCount, 2u);
    EXPECT_TRUE(xy.Variable());
    EXPECT_FALSE(xy.Relative());  // absolute
    EXPECT_EQ(xy.bitOffset, 8u);  // X in bytes 1-2, Y in bytes 3-4

    // Five data bytes, no report id; a reader of the collection gets one id byte more.
    EXPECT_EQ(p.inputBits, 40u);
    EXPECT_EQ(p.InputReportBytes(), 5u);
    EXPECT_EQ(p.InputReportByteLength(), 6u);
}

TEST_F(Requests, UsbdiBelow300GetsTheFullRangeVariant)
{
    sim::SetUsbdiVersion(0x200);
    AddMiravel();
    sim::hidclass::StartAnswers a = sim::hidclass::Answers();
    ASSERT_EQ(a.reportDescriptor.size(), 52u);
    EXPECT_EQ(Bytes({a.reportDescriptor[41], a.reportDescriptor[42], a.reportDescriptor[43]}),
              Bytes({0x26, 0xFF, 0xFF}));
    ExpectPointer(a.parsed, 0xFFFF);
    // 26 FF FF is a two-byte Logical Maximum; read as a signed value it is -1.
    EXPECT_EQ(a.parsed.inputs[2].logicalMaximum, -1);
    EXPECT_EQ(a.parsed.warnings.size(), 1u);
}

TEST_F(Requests, Usbdi300AndLaterGetThe2kVariant)
{
    for (ULONG version : {0x300u, 0x500u}) {
        SCOPED_TRACE(version);
        sim::SetUsbdiVersion(version);
        AddMiravel();
        sim::hidclass::StartAnswers a = sim::hidclass::Answers();
        ASSERT_EQ(a.reportDescriptor.size(), 52u);
        EXPECT_EQ(Bytes({a.reportDescriptor[41], a.reportDescriptor[42], a.reportDescriptor[43]}),
                  Bytes({0x26, 0xFF, 0x7F}));
        ExpectPointer(a.parsed, 0x7FFF);
        EXPECT_EQ(a.parsed.inputs[2].logicalMaximum, 32767);
        EXPECT_TRUE(a.parsed.warnings.empty());
        sim::pnp::Remove(hid);
        hid = nullptr;
    }
}

TEST_F(Requests, TheTwoVariantsDifferOnlyInTheLogicalMaximum)
{
    sim::SetUsbdiVersion(0x200);
    AddMiravel();
    std::vector<uint8_t> full = sim::hidclass::Answers().reportDescriptor;
    sim::pnp::Remove(hid);
    sim::SetUsbdiVersion(0x500);
    AddMiravel();
    std::vector<uint8_t> twoK = sim::hidclass::Answers().reportDescriptor;
    ASSERT_EQ(full.size(), twoK.size());
    for (size_t i = 0; i < full.size(); ++i)
        if (i != 43)
            EXPECT_EQ(full[i], twoK[i]) << "byte " << i;
}

TEST_F(Requests, ReportDescriptorIntoALargerBufferZeroesTheRest)
{
    AddMiravel();
    auto r = Ask(IOCTL_HID_GET_REPORT_DESCRIPTOR, 64);
    EXPECT_EQ(r->status, STATUS_SUCCESS);
    EXPECT_EQ(r->information, 52u);
    EXPECT_EQ(std::vector<uint8_t>(r->buffer.begin(), r->buffer.begin() + 52),
              sim::hidclass::Answers().reportDescriptor);
    for (size_t i = 52; i < 64; ++i)
        EXPECT_EQ(r->buffer[i], 0) << "byte " << i;
}

// ---- odd buffers: the status for each, nothing written, never a crash -------------------------------
TEST_F(Requests, ShortBuffersAreTooSmall)
{
    AddMiravel();
    struct Case {
        ULONG code, length;
    } cases[] = {
        {IOCTL_HID_GET_DEVICE_DESCRIPTOR, 0},
        {IOCTL_HID_GET_DEVICE_DESCRIPTOR, 8},
        {IOCTL_HID_GET_REPORT_DESCRIPTOR, 0},
        {IOCTL_HID_GET_REPORT_DESCRIPTOR, 51},
        // Only the low 16 bits of the length count: 64 KiB reads as 0.
        {IOCTL_HID_GET_REPORT_DESCRIPTOR, 0x10000},
        {IOCTL_HID_GET_DEVICE_ATTRIBUTES, 0},
        {IOCTL_HID_GET_DEVICE_ATTRIBUTES, 31},
        {IOCTL_HID_READ_REPORT, 0},
        {IOCTL_HID_READ_REPORT, 4},
        {IOCTL_HID_READ_REPORT, 6},
        {IOCTL_HID_READ_REPORT, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code << " length " << std::dec << c.length);
        auto r = Ask(c.code, c.length);
        EXPECT_EQ(r->status, STATUS_BUFFER_TOO_SMALL);
        EXPECT_EQ(r->information, 0u);
        for (uint8_t b : r->buffer)
            ASSERT_EQ(b, 0xCB) << "written into";
    }
}

TEST_F(Requests, MissingBuffersAreInvalidUserBuffers)
{
    AddMiravel();
    for (ULONG code : {IOCTL_HID_GET_DEVICE_DESCRIPTOR, IOCTL_HID_GET_REPORT_DESCRIPTOR,
                       IOCTL_HID_GET_DEVICE_ATTRIBUTES, IOCTL_HID_READ_REPORT}) {
        auto r = Ask(code, code == IOCTL_HID_READ_REPORT ? 5 : 64, 0, false);
        EXPECT_EQ(r->status, STATUS_INVALID_USER_BUFFER) << std::hex << code;
        EXPECT_EQ(r->information, 0u);
    }
}

TEST_F(Requests, AttributesFillExactly32Bytes)
{
    AddMiravel();
    auto r = Ask(IOCTL_HID_GET_DEVICE_ATTRIBUTES, 40);
    EXPECT_EQ(r->status, STATUS_SUCCESS);
    EXPECT_EQ(r->information, 32u);
    EXPECT_EQ(r->buffer[32], 0xCB);
}

TEST_F(Requests, StringsAnswerBothIdConventions)
{
    AddMiravel();
    // The documented ids (14, 15) and the USB string indexes (1, 2); the
    // language in the high word does not matter.
    struct Case {
        ULONG_PTR id;
        std::u16string text;
    } cases[] = {{14, u"Sorvendale"},
                 {15, u"Infrared Screen"},
                 {1, u"Sorvendale"},
                 {2, u"Infrared Screen"},
                 {15 | (0x0407u << 16), u"Infrared Screen"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        auto r = Ask(IOCTL_HID_GET_STRING, 100, c.id);
        EXPECT_EQ(r->status, STATUS_SUCCESS);
        ASSERT_EQ(r->information, c.text.size() * 2 + 2);
        EXPECT_EQ(Text(r->buffer, r->information - 2), c.text);
        EXPECT_EQ(r->buffer[r->information - 2], 0);  // NUL-terminated
        EXPECT_EQ(r->buffer[r->information - 1], 0);
        EXPECT_EQ(r->buffer[r->information], 0xCB);
    }
}

TEST_F(Requests, StringsAreCutToTheBuffer)
{
    AddMiravel();
    auto r = Ask(IOCTL_HID_GET_STRING, 9, 14);  // room for four characters
    EXPECT_EQ(r->status, STATUS_SUCCESS);
    EXPECT_EQ(r->information, 8u);
    EXPECT_EQ(Text(r->buffer, 8), u"Sorv");
    EXPECT_EQ(r->buffer[8], 0xCB);

    r = Ask(IOCTL_HID_GET_STRING, 21, 14);  // the text without its NUL
    EXPECT_EQ(r->information, 20u);
    EXPECT_EQ(Text(r->buffer, 20), u"Sorvendale");
}

TEST_F(Requests, StringRequestsWithoutRoomOrUnknownIdsFail)
{
    AddMiravel();
    EXPECT_EQ(Ask(IOCTL_HID_GET_STRING, 0, 14)->status, STATUS_INVALID_USER_BUFFER);
    EXPECT_EQ(Ask(IOCTL_HID_GET_STRING, 1, 14)->status, STATUS_INVALID_USER_BUFFER);
    EXPECT_EQ(Ask(IOCTL_HID_GET_STRING, 100, 14, false)->status, STATUS_INVALID_USER_BUFFER);
    for (ULONG_PTR id : {0u, 3u, 16u, 0xFFFFu}) {
        auto r = Ask(IOCTL_HID_GET_STRING, 100, id);
        EXPECT_EQ(r->status, STATUS_INVALID_PARAMETER) << id;
        EXPECT_EQ(r->information, 0u);
    }
}

TEST_F(Requests, OtherCodesGetTheirFixedAnswers)
{
    AddMiravel();
    for (ULONG code : {IOCTL_HID_WRITE_REPORT, IOCTL_HID_ACTIVATE_DEVICE, IOCTL_HID_DEACTIVATE_DEVICE})
        EXPECT_EQ(Ask(code, 8)->status, STATUS_SUCCESS) << std::hex << code;
    for (ULONG code : {IOCTL_HID_SET_FEATURE, IOCTL_HID_GET_FEATURE, IOCTL_GET_PHYSICAL_DESCRIPTOR})
        EXPECT_EQ(Ask(code, 8)->status, STATUS_NOT_SUPPORTED) << std::hex << code;
    for (ULONG code : {0xB01A2u /* IOCTL_HID_GET_INPUT_REPORT */, 0xB0017u, 0x222004u, 0u})
        EXPECT_EQ(Ask(code, 8)->status, STATUS_INVALID_DEVICE_REQUEST) << std::hex << code;
}

// ---- the parser itself, on descriptors that break the rules -------------------------------------------
TEST(ReportDescriptorParser, RejectsBrokenDescriptors)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"unclosed", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01}},
        {"end without open", {0xC0}},
        {"item past the end", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x26, 0xFF}},
        {"input outside a collection", {0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        {"no collection", {0x05, 0x01}},
        {"pop without push", {0xB4}},
        {"usage minimum alone", {0xA1, 0x01, 0x19, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0xC0}},
    };
    for (const Case& c : cases) {
        ParsedDescriptor p = sim::hidclass::ParseReportDescriptor(c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(p.ok) << c.what;
        EXPECT_FALSE(p.error.empty()) << c.what;
    }
}

TEST(ReportDescriptorParser, CountsBitsPerReportId)
{
    const uint8_t d[] = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02, 0x75, 0x08, 0x95, 0x03,
                         0x81, 0x02, 0xA4, 0x75, 0x04, 0x81, 0x03, 0xB4, 0x91, 0x02, 0xC0};
    ParsedDescriptor p = sim::hidclass::ParseReportDescriptor(d, sizeof d);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.reportIds);
    EXPECT_EQ(p.inputBits, 24u + 12u);
    EXPECT_EQ(p.InputReportBytes(), 6u);  // 36 bits in 5 bytes, and the id byte
    ASSERT_EQ(p.outputs.size(), 1u);
    EXPECT_EQ(p.outputs[0].reportSize, 8u);  // restored by Pop
    EXPECT_EQ(p.inputs[1].bitOffset, 24u);
}

}  // namespace miraveltest
