// Shared set-up of the installer's tests: a fake platform installed for the skin and
// language code, a recording setup API, and a package folder c:\pkg with the real
// lang.lg.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "fakeplatform.h"
#include "installer.h"
#include "langtext.h"
#include "platform.h"
#include "setupcalls_recording.h"

namespace setuptest {

inline std::string ReadHostFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = app::SetAppPlatform(&os);
        os.WriteFile("c:\\pkg\\lang.lg", ReadHostFile(PACKAGE_DIR "/lang.lg"));
        SelectLanguage();
    }
    void TearDown() override { app::SetAppPlatform(previous_); }

    // A file list of the given section body ("filenum=2\nfile0=a.txt\n...").
    void FileList(const std::string& section, const std::string& body)
    {
        os.WriteFile("c:\\pkg\\filelist.ini", "[" + section + "]\n" + body);
    }
    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> out;
        for (const auto& m : os.messageBoxes)
            out.push_back(m.text);
        return out;
    }

    FakePlatform os;
    setup::RecordingSetupApi api;
    setup::Installer installer{os, api};

private:
    app::Platform* previous_ = nullptr;
};

}  // namespace setuptest
