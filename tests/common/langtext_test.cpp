#include "langtext.h"

#include <cstring>
#include <map>
#include <set>

#include "inifile.h"
#include "platform_native.h"
#include "testfiles.h"

#ifndef PACKAGE_LANG_LG
#error "PACKAGE_LANG_LG must name package/lang.lg"
#endif

namespace {

// A program in a temp folder; lang.lg is written beside it.
class LangTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        platform.modulePath = skin::WindowsStylePath(dir + "/pointwell.exe");
        skin::SetPlatform(&platform);
        LangId = 0;
        std::strcpy(LangFolder, "en");
    }
    void TearDown() override
    {
        skin::SetPlatform(nullptr);
        TempDirTest::TearDown();
    }
    std::string Text(const char* key, const char* def = "default")
    {
        char out[256];
        std::memset(out, 'x', sizeof out);
        LangText(key, def, out);
        return out;
    }
    skin::NativePlatform platform;
};

TEST_F(LangTest, FallsBackFromOwnSectionToEnglishToDefault)
{
    Write("lang.lg", "[0804]\r\nIDC_QUIT=\r\nOWN=\xB9\xD8\xB1\xD5\r\n"
                     "[0409]\r\nIDC_QUIT=Close\r\nOWN=Own\r\nENONLY=English\r\nBLANK=\r\n");
    LangId = 0x0804;
    EXPECT_EQ(Text("IDC_QUIT"), "Close");  // empty in 0804 counts as absent
    EXPECT_EQ(Text("OWN"), "\xB9\xD8\xB1\xD5");
    EXPECT_EQ(Text("ENONLY"), "English");
    EXPECT_EQ(Text("BLANK"), "default");
    EXPECT_EQ(Text("ABSENT"), "default");
    LangId = 0x0C04;  // no such section
    EXPECT_EQ(Text("OWN"), "Own");
}

TEST_F(LangTest, SectionNamesAreFourUpperCaseHexDigitsAndMatchAnyCase)
{
    EXPECT_EQ(LangSection(0x0409), "0409");
    EXPECT_EQ(LangSection(0x0C04), "0C04");
    EXPECT_EQ(LangSection(0xABCD), "ABCD");
    EXPECT_EQ(LangSection(0), "0000");
    Write("lang.lg", "[0c04]\r\nK=hk\r\n[0000]\r\nK=before\r\n[0409]\r\nK=en\r\n");
    EXPECT_EQ(Text("K"), "before");  // LangId is 0 until the language is selected
    LangId = 0x0C04;
    EXPECT_EQ(Text("k"), "hk");
}

TEST_F(LangTest, SelectLanguageSetsIdAndSkinFolder)
{
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0404, "tw"}, {0x0804, "cn"}, {0x0409, "en"}, {0x0C04, "en"}, {0x0407, "en"}};
    for (const auto& [id, folder] : cases) {
        platform.langId = id;
        SelectLanguage();
        EXPECT_EQ(LangId, id);
        EXPECT_STREQ(LangFolder, folder);
    }
    EXPECT_EQ(SkinImagePath("main.bmp", true), skin::WindowsStylePath(dir) + "\\nologo\\en\\main.bmp");
    platform.langId = 0x0404;
    SelectLanguage();
    EXPECT_EQ(SkinImagePath("prompt.bmp", false), skin::WindowsStylePath(dir) + "\\tw\\prompt.bmp");
}

TEST_F(LangTest, LongValuesAreCutTo255Characters)
{
    Write("lang.lg", "[0409]\r\nLONG=" + std::string(300, 'v') + "\r\n");
    EXPECT_EQ(Text("LONG"), std::string(255, 'v'));
    EXPECT_EQ(Text("ABSENT", std::string(300, 'd').c_str()), std::string(255, 'd'));
}

TEST_F(LangTest, MissingFileOrFolderGivesDefaults)
{
    EXPECT_EQ(Text(langkeys::NoLogo.key, langkeys::NoLogo.english), "NO");
    EXPECT_FALSE(NoLogoSkin());
    Write("lang.lg", "[0409]\r\nK=v\r\n");
    platform.modulePath = "pointwell.exe";  // no backslash: no folder to look in
    EXPECT_EQ(Text("K"), "default");
    EXPECT_EQ(SkinImagePath("main.bmp", false), "");
}

TEST_F(LangTest, FileIsReadAnewAndNoLogoIgnoresCase)
{
    Write("lang.lg", "[0409]\r\nNOLOGO=yes\r\n");
    EXPECT_TRUE(NoLogoSkin());
    Write("lang.lg", "[0409]\r\nNOLOGO=YESS\r\n");
    EXPECT_FALSE(NoLogoSkin());
}

// The shipped lang.lg against langkeys.h, read through the same reader.
TEST_F(LangTest, PackageLangFileHoldsEveryKeyInEverySection)
{
    std::ifstream in(PACKAGE_LANG_LG, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(text.empty());
    // Keys per section, straight from the lines.
    std::map<std::string, std::set<std::string>> keys;
    std::string section;
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos && !section.empty())
            keys[section].insert(line.substr(0, line.find('=')));
    }
    char value[256];
    for (const LangKey& k : langkeys::kAll) {
        skin::IniString(text, "0409", k.key, "", value, sizeof value);
        EXPECT_STREQ(value, k.english) << k.key;
    }
    EXPECT_EQ(keys["0409"].size(), std::size(langkeys::kAll));
    // NOLOGO is one setting for the whole package: Pointwell reads it before the
    // language is known, setup after, so it lives in 0409 alone.
    std::set<std::string> translated = keys["0409"];
    translated.erase("NOLOGO");
    for (const char* lang : {"0404", "0804"}) {
        EXPECT_EQ(keys[lang], translated) << lang;
        for (const std::string& k : keys[lang]) {
            ASSERT_GT(skin::IniString(text, lang, k.c_str(), "", value, sizeof value), 0u) << lang << k;
            const bool setting = k == "LICENFILE";
            bool doubleByte = false;  // a translation holds DBCS characters: lead 0x81-0xFE, trail 0x40-0xFE
            for (const char* p = value; *p; ++p)
                if (std::uint8_t(*p) >= 0x81) {
                    ASSERT_TRUE(std::uint8_t(p[1]) >= 0x40 && std::uint8_t(p[1]) <= 0xFE) << lang << k;
                    doubleByte = true;
                    ++p;
                }
            EXPECT_NE(doubleByte, setting) << lang << " " << k;
        }
    }
    // End to end: a Traditional Chinese system gets the Big5 caption.
    Write("lang.lg", text);
    LangId = 0x0404;
    EXPECT_EQ(Text("IDC_QUIT"), "\xC3\xF6\xB3\xAC");  // 關閉
}

TEST(IniReader, FollowsTheProfileApi)
{
    const std::string ini =
        "top=before\r\n[ S ]\r\n  key  =  spaced value  \r\n;c=comment\r\nq=\"quoted\"\r\nq2=\"a'\r\n"
        "dup=first\r\nDUP=second\r\nbare\r\nbare=later\r\n[s]\r\nonly=second section\r\n";
    auto get = [&ini](const char* sec, const char* key, std::uint32_t size = 256) {
        char out[256];
        skin::IniString(ini, sec, key, "def", out, size);
        return std::string(out);
    };
    EXPECT_EQ(get("s", "KEY"), "spaced value");
    EXPECT_EQ(get("S", "c"), "def");
    EXPECT_EQ(get("S", ";c"), "comment");
    EXPECT_EQ(get("S", "q"), "quoted");
    EXPECT_EQ(get("S", "q", 7), "quote");  // cut before the closing quote is reached
    EXPECT_EQ(get("S", "q2"), "\"a'");
    EXPECT_EQ(get("S", "dup"), "first");
    EXPECT_EQ(get("S", "bare"), "def");  // a key without "=" answers with the default
    EXPECT_EQ(get("S", "only"), "def");  // only the first section of a name is searched
    EXPECT_EQ(get("", "top"), "before");
    EXPECT_EQ(get("S", "key", 6), "space");
}

}  // namespace
