#include "setupdialog.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "langtext.h"
#include "resource.h"

namespace setup {
namespace {

constexpr std::size_t kLicenceRead = 10200;
constexpr std::size_t kLicenceBuffer = 10240;
constexpr const char* kDefaultFolder = "c:\\veltran";
constexpr const char* kLanguageFolders[] = {"\\cn",         "\\en",         "\\tw",        "\\nologo",
                                            "\\nologo\\cn", "\\nologo\\en", "\\nologo\\tw"};
constexpr const char* kToolFile = "\\Pointwell.exe";
// Controls that "I agree" enables and "I don't agree" disables.
constexpr int kInstallControls[] = {IDC_START_BUTTON,  IDC_PROGRESS_LABEL, IDC_PATH_LABEL,
                                    IDC_SELECT_BUTTON, IDC_PROGRESS_BAR,   IDC_PATH_EDIT};

}  // namespace

void SetupDialog::Init(app::Dialog& dialog)
{
    dialog.SetText(IDC_PATH_EDIT, kDefaultFolder);
    SelectLanguage();
    const std::string folder = installer_.SetupFolder();

    std::string bannerPath = folder + "\\";
    if (NoLogoSkin())
        bannerPath += "nologo\\";
    bannerPath += std::string(LangFolder) + "\\setup.bmp";
    bannerLoaded_ = banner_.Load(bannerPath.c_str()) == 1;

    const std::string licence = folder + "\\" + Lang("LICENFILE", "en\\license.txt");
    if (std::FILE* file = os_.OpenFile(licence.c_str(), "rb")) {
        std::unique_ptr<char[]> text(new char[kLicenceBuffer]());
        if (std::fread(text.get(), 1, kLicenceRead, file) > 0)
            dialog.SetText(IDC_LICENSE_TEXT, text.get());
        std::fclose(file);
    }

    installer_.installFolder.clear();
    installer_.osTag.clear();
    installer_.maker = "Veltran";
    skin::ClipWindowToClient(dialog.handle());

    installer_.groupName = Lang("APPGROUP", "Infrared Touch Screen");
    installer_.toolCaption = Lang("APPCTRL", "Setting and Calibrate");
    installer_.uninstCaption = Lang("APPUNINST", "Uninstall Infrared Touch Screen");

    const struct {
        int id;
        const char* key;
        const char* english;
    } captions[] = {{IDC_LICENSE_LABEL, "IDC_LICENETEXT", "License"},
                    {IDC_AGREE_RADIO, "IDC_AGREE", "I agree"},
                    {IDC_DISAGREE_RADIO, "IDC_DISAGREE", "I don't agree"},
                    {IDC_START_BUTTON, "IDC_START", "Start"},
                    {IDC_EXIT_BUTTON, "IDC_CANCEL", "Exit"},
                    {IDC_SELECT_BUTTON, "IDC_SELETE", "Select"},
                    {IDC_PATH_LABEL, "IDC_PATHTEXT", "Path"},
                    {IDC_PROGRESS_LABEL, "IDC_PRGTEXT", "Progress"}};
    for (const auto& c : captions)
        dialog.SetText(c.id, Lang(c.key, c.english).c_str());
}

void SetupDialog::Agree(app::Dialog& dialog)
{
    if (!dialog.IsChecked(IDC_AGREE_RADIO))
        return;
    for (int id : kInstallControls)
        dialog.Enable(id, true);
}

void SetupDialog::Disagree(app::Dialog& dialog)
{
    if (!dialog.IsChecked(IDC_DISAGREE_RADIO))
        return;
    for (int id : kInstallControls)
        dialog.Enable(id, false);
}

void SetupDialog::Browse(app::Dialog& dialog)
{
    const std::string path = os_.BrowseForFolder(dialog.handle(), "Select a directory");
    if (!path.empty())
        dialog.SetText(IDC_PATH_EDIT, path.c_str());
}

bool SetupDialog::Start(app::Dialog& dialog)
{
    // The driver steps' boxes and the setup API's windows have no owner, so the dialog
    // stays usable behind them: a second installation must not start inside the first.
    if (installing_)
        return false;
    installing_ = true;
    const bool ends = Install(dialog);
    installing_ = false;
    return ends;
}

bool SetupDialog::Install(app::Dialog& dialog)
{
    Installer& in = installer_;
    in.installFolder = dialog.Text(IDC_PATH_EDIT);
    // Every path formed from the folder must fit its buffer (the longest is the tool's):
    // a longer one is refused, never cut.
    const bool fits = in.installFolder.size() + std::strlen(kToolFile) < kPathBuffer;
    if (in.installFolder.empty() || !fits || !MakeFolderTree(os_, in.installFolder)) {
        const std::string text = Lang("INVALIDPATH", "Please input a valid path!");
        os_.MessageBox(dialog.handle(), text.c_str(), "Prompt", app::kMbIconError);
        return false;
    }
    for (const char* sub : kLanguageFolders)
        MakeFolderTree(os_, in.installFolder + sub);
    in.toolPath = in.installFolder + kToolFile;

    in.WriteInitialSettings();
    const int osClass = ClassifyWindows(os_);
    in.osTag = osClass == kOsWin9x ? "usb98" : osClass == kOsNt ? "usbxp" : "";

    bool driversOk = false;
    if (in.osTag == "usb98") {
        if (!in.CopyPackageFiles(in.installFolder, &dialog)) {
            dialog.End(0);
            return true;
        }
        driversOk = in.InstallDrivers98();
        in.WriteOsFlag("98");
    } else if (in.osTag == "usbxp") {
        if (!in.CopyPackageFiles(in.installFolder, &dialog)) {
            dialog.End(0);
            return true;
        }
        in.RemoveServiceDevices(dialog.handle());
        driversOk = in.InstallDriversXp();
        in.WriteOsFlag("xp");
    } else {
        dialog.End(0);
        return true;
    }
    if (!driversOk) {
        dialog.End(0);
        return true;
    }
    in.CreateProgramGroup(in.installFolder);
    const std::string text = Lang("INSTALLREBOOT", "Install finished,the computer will reboot.");
    os_.MessageBox(dialog.handle(), text.c_str(), "Prompt", app::kMbIconInformation);
    Restart();
    dialog.End(0);
    return true;
}

void SetupDialog::Restart()
{
    if (ClassifyWindows(os_) == kOsWin9x) {
        os_.ExitWindows(app::kEwxReboot);
        return;
    }
    if (os_.EnableShutdownPrivilege())
        os_.ExitWindows(app::kEwxReboot | app::kEwxForce);
}

void SetupDialog::ReleaseBanner()
{
    if (!bannerLoaded_)
        return;
    banner_.Clear();
    bannerLoaded_ = false;
}

}  // namespace setup
