#include "langtext.h"

#include <cstring>

#include "platform.h"

std::uint16_t LangId = 0;
char LangFolder[4] = "en";

namespace {

constexpr std::uint32_t kTextBuffer = 256;  // what a lookup reads: 255 characters

void CopyText(char* out, const char* text)
{
    std::strncpy(out, text ? text : "", kTextBuffer - 1);
    out[kTextBuffer - 1] = '\0';
}

}  // namespace

void SelectLanguage()
{
    LangId = skin::CurrentPlatform().SystemDefaultLangId();
    std::strcpy(LangFolder, LangFolderFor(LangId));
}

const char* LangFolderFor(std::uint16_t langId)
{
    switch (langId) {
    case 0x0404:
        return "tw";
    case 0x0804:
        return "cn";
    default:
        return "en";
    }
}

std::string LangSection(std::uint16_t langId)
{
    // The identifier as an unsigned 32-bit value in eight hex digits; the last four.
    static const char kHex[] = "0123456789ABCDEF";
    const std::uint32_t v = langId;
    char digits[9];
    for (int i = 0; i < 8; ++i)
        digits[i] = kHex[(v >> (28 - 4 * i)) & 0xF];
    digits[8] = '\0';
    return std::string(digits + 4);
}

bool ProgramFolder(std::string* folder)
{
    const std::string path = skin::CurrentPlatform().ModuleFileName();
    const std::size_t cut = path.rfind('\\');
    if (cut == std::string::npos)
        return false;
    *folder = path.substr(0, cut);
    return true;
}

void LangText(const char* key, const char* def, char* out)
{
    CopyText(out, def);
    std::string file;
    if (!ProgramFolder(&file))
        return;  // no folder to look in: the default stands
    file += "\\lang.lg";

    skin::Platform& platform = skin::CurrentPlatform();
    char buffer[kTextBuffer];
    for (const std::string& section : {LangSection(LangId), std::string("0409")}) {
        buffer[0] = '\0';
        if (platform.ProfileString(section.c_str(), key, "", buffer, kTextBuffer, file.c_str()) > 0) {
            CopyText(out, buffer);
            return;
        }
    }
}

bool NoLogoSkin()
{
    char value[kTextBuffer];
    LangText(langkeys::NoLogo, value);
    const char* yes = "YES";
    for (int i = 0; i < 4; ++i) {
        const char c = value[i] >= 'a' && value[i] <= 'z' ? char(value[i] - 'a' + 'A') : value[i];
        if (c != yes[i])
            return false;
    }
    return true;
}

std::string SkinImagePath(const char* file, bool fromNoLogoTree)
{
    std::string path;
    if (!ProgramFolder(&path))
        return std::string();
    path += '\\';
    if (fromNoLogoTree)
        path += "nologo\\";
    path += LangFolder;
    path += '\\';
    path += file;
    return path;
}
