// The keys of lang.lg that Pointwell and setup look up, with their English texts.
// The "0409" section of package/lang.lg holds each of them (a test checks it).
// The C++ names differ from the keys so that resource ids such as IDC_OK, which
// the dialogs #define, can't collide with them.
#pragma once

struct LangKey {
    const char* key;
    const char* english;
};

namespace langkeys {

// Pointwell, main dialog captions.
inline constexpr LangKey ButtonVerify{"IDC_BUTTON_VERIFY", "Config"};
inline constexpr LangKey ButtonApply{"IDC_BUTTON_APPLY", "Save"};
inline constexpr LangKey Mode{"IDC_MODE", "Touch Mode"};
inline constexpr LangKey UpDone{"IDC_UPDONE", "Up Mode(Config)"};
inline constexpr LangKey DownDone{"IDC_DOWNDONE", "Down Mode"};
inline constexpr LangKey DragDone{"IDC_DRAGDONE", "Drag Mode"};
inline constexpr LangKey SerClick{"IDC_SERCLICK", "Serial Click Mode"};
inline constexpr LangKey OemMode{"IDC_OEMMODE", "OEM Mode"};
inline constexpr LangKey Stability{"IDC_STABILITY", "Stability"};
inline constexpr LangKey Low{"IDC_LOW", "Low"};
inline constexpr LangKey High{"IDC_HIGH", "High"};
inline constexpr LangKey Beep{"IDC_BEEP", "Play Beep"};
inline constexpr LangKey ChangeXy{"IDC_CHANGEXY", "SwapXY"};
inline constexpr LangKey Quit{"IDC_QUIT", "Close"};
inline constexpr LangKey ChgButton{"IDC_CHGBUTTON", "Swap Left&Right"};
inline constexpr LangKey DisableDev{"IDC_DISABLEDEV", "Forbid Touch"};

// Pointwell, verification dialog.
inline constexpr LangKey ChkMsg1{"IDC_CHKMSG1", "Config touch screen finish. Please touch"};
inline constexpr LangKey ChkMsg2{"IDC_CHKMSG2", "'Ok' button. The tools will reconfig"};
inline constexpr LangKey ChkMsg3{"IDC_CHKMSG3", "after 20s If you can't touch the 'Ok'."};
inline constexpr LangKey Ok{"IDC_OK", "Ok"};

// Pointwell, messages.
inline constexpr LangKey NoUsbDev{"NOUSBDEV", "No USB Infrared Touch found!"};
inline constexpr LangKey UsbDevRemoved{"USBDEVREMOVED", "USB device has beed removed."};
inline constexpr LangKey SndCmdError{"SNDCMDERROR", "Send Command to Device Fail."};
inline constexpr LangKey ConfigDrv{"CONFIGDRV", "Please config the device immediately."};

// setup, dialog captions.
inline constexpr LangKey LicenseText{"IDC_LICENETEXT", "License"};
inline constexpr LangKey Agree{"IDC_AGREE", "I agree"};
inline constexpr LangKey Disagree{"IDC_DISAGREE", "I don't agree"};
inline constexpr LangKey PathText{"IDC_PATHTEXT", "Path"};
inline constexpr LangKey Select{"IDC_SELETE", "Select"};
inline constexpr LangKey ProgressText{"IDC_PRGTEXT", "Progress"};
inline constexpr LangKey Start{"IDC_START", "Start"};
inline constexpr LangKey Cancel{"IDC_CANCEL", "Exit"};

// setup, messages.
inline constexpr LangKey InvalidPath{"INVALIDPATH", "Please input a valid path!"};
inline constexpr LangKey InstallReboot{"INSTALLREBOOT", "Install finished,the computer will reboot."};
inline constexpr LangKey InstallDrvFail{"INSTALLDRVFAIL", "Install usb device fail."};

// Settings: data rather than captions.
inline constexpr LangKey NoLogo{"NOLOGO", "NO"};                     // "YES" (any case): logo-free skin images
inline constexpr LangKey LicenFile{"LICENFILE", "en\\license.txt"};  // relative to setup's folder
inline constexpr LangKey AppGroup{"APPGROUP", "Infrared Touch Screen"};
inline constexpr LangKey AppCtrl{"APPCTRL", "Setting and Calibrate"};
inline constexpr LangKey AppUninst{"APPUNINST", "Uninstall Infrared Touch Screen"};

// Uninst, messages.
inline constexpr LangKey UninstAsk{"UNINSTASK", "Remove Infrared Touch Screen and all of its components?"};
inline constexpr LangKey UninstKeep{"UNINSTKEEP",
                                    "Keep the calibration and the touch settings for a later installation?"};
inline constexpr LangKey UninstDone{"UNINSTDONE", "Infrared Touch Screen has been removed."};
inline constexpr LangKey UninstRestart{
    "UNINSTRESTART", "Infrared Touch Screen has been removed. The last files go when the computer restarts."};
inline constexpr LangKey UninstNoRecord{
    "UNINSTNORECORD", "The list of installed files (list.cpd) is missing or damaged. No file was removed from "
                      "the folder:"};
inline constexpr LangKey UninstLeft{"UNINSTLEFT", "These files could not be removed:"};

inline constexpr LangKey kAll[] = {
    ButtonVerify, ButtonApply,   Mode,        UpDone,        DownDone,
    DragDone,     SerClick,      OemMode,     Stability,     Low,
    High,         Beep,          ChangeXy,    Quit,          ChgButton,
    DisableDev,   ChkMsg1,       ChkMsg2,     ChkMsg3,       Ok,
    NoUsbDev,     UsbDevRemoved, SndCmdError, ConfigDrv,     LicenseText,
    Agree,        Disagree,      PathText,    Select,        ProgressText,
    Start,        Cancel,        InvalidPath, InstallReboot, InstallDrvFail,
    NoLogo,       LicenFile,     AppGroup,    AppCtrl,       AppUninst,
    UninstAsk,    UninstKeep,    UninstDone,  UninstRestart, UninstNoRecord,
    UninstLeft,
};

}  // namespace langkeys
