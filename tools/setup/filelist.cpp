#include "filelist.h"

namespace setup {

const char* FileListSection(int osClass) { return osClass == 9598 ? "win98" : "win2k"; }

std::uint32_t UsableFileCount(std::uint32_t filenum) { return filenum >= 1 && filenum <= 65535 ? filenum : 0; }

std::string EntryName(const char* value)
{
    std::string name(value);
    const std::size_t space = name.find(' ');
    if (space != std::string::npos)
        name.resize(space);
    return name;
}

bool EntryStaysInside(const std::string& name)
{
    if (name.empty() || name.find(':') != std::string::npos)
        return false;
    if (name[0] == '\\' || name[0] == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part.size() >= 2 && part.find_first_not_of('.') == std::string::npos)
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace setup
