// cfgtool: writes a settings record file (winxp.cfg, win98.cfg) from its readable text
// form, or prints a record file in that form.
//   cfgtool build TEXT OUT     one record a line:  text NAME VALUE  |  binary NAME HEX...
//                              ('#' starts a comment line; a text value is stored with
//                              its terminating zero byte)
//   cfgtool dump FILE          the records as the installer reads them, one a line
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cfgrecords.h"

namespace {

int Fail(const std::string& message)
{
    std::cerr << "cfgtool: " << message << "\n";
    return 1;
}

bool ParseHex(const std::string& word, std::vector<std::uint8_t>* out)
{
    if (word.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < word.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(word[i])) ||
            !std::isxdigit(static_cast<unsigned char>(word[i + 1])))
            return false;
        out->push_back(std::uint8_t(std::stoi(word.substr(i, 2), nullptr, 16)));
    }
    return true;
}

int Build(const char* textPath, const char* outPath)
{
    std::ifstream in(textPath);
    if (!in)
        return Fail(std::string("cannot read ") + textPath);
    std::vector<std::uint8_t> bytes;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string kind, name;
        if (!(words >> kind) || kind[0] == '#')
            continue;
        const std::string where = std::string(textPath) + ":" + std::to_string(number) + ": ";
        if (!(words >> name))
            return Fail(where + "no value name");
        if (name.size() >= setup::kCfgNameBytes)
            return Fail(where + "value name longer than 49 characters");
        std::vector<std::uint8_t> data;
        std::uint32_t type = 0;
        if (kind == "text") {
            type = setup::kCfgText;
            std::string value;
            std::getline(words >> std::ws, value);
            data.assign(value.begin(), value.end());
            data.push_back(0);
        } else if (kind == "binary") {
            type = setup::kCfgBinary;
            std::string word;
            while (words >> word)
                if (!ParseHex(word, &data))
                    return Fail(where + "bad hex bytes '" + word + "'");
        } else {
            return Fail(where + "unknown kind '" + kind + "' (text or binary)");
        }
        if (data.empty() || data.size() > setup::kCfgMaxData)
            return Fail(where + "data must hold 1 to 10000 bytes");
        const std::vector<std::uint8_t> record = setup::EncodeCfgRecord(type, name, data);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    std::ofstream out(outPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return out ? 0 : Fail(std::string("cannot write ") + outPath);
}

int Dump(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return Fail(std::string("cannot read ") + path);
    setup::CfgRecord record;
    while (setup::ReadCfgRecord(file, &record)) {
        if (record.type == setup::kCfgText) {
            std::cout << "text " << record.name << " " << record.Text() << "\n";
        } else {
            std::cout << (record.type == setup::kCfgBinary ? "binary " : "skipped ") << record.name;
            for (std::size_t i = 0; i < record.data.size(); ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%s%02x", i % 32 == 0 ? " " : "", record.data[i]);
                std::cout << hex;
            }
            std::cout << "\n";
        }
    }
    std::fclose(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "build") == 0)
        return Build(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "dump") == 0)
        return Dump(argv[2]);
    std::cerr << "usage: cfgtool build TEXT OUT | cfgtool dump FILE\n";
    return 2;
}
