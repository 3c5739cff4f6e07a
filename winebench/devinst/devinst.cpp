// devinst: the setup-API steps of the Wine test bench, one command per run.
//
//   devinst stage INF          SetupCopyOEMInfA: the INF goes to the system's INF folder,
//                              where the PnP manager looks when a matching device appears
//   devinst root HWID INF      a root-enumerated device with this hardware id, registered
//                              and given its driver from INF (UpdateDriverForPlugAndPlayDevicesA)
//   devinst remove HWID        DIF_REMOVE on every device whose hardware ids include HWID
//
// Prints one line ("<command> ok ..." or "<command> error <code> <step>"); exit code 0 on
// success, 1 on failure, 2 for bad usage.
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>

#include <cstdio>
#include <cstring>

namespace {

const int kMaxDeviceId = 200;  // MAX_DEVICE_ID_LEN (cfgmgr32.h)

int Fail(const char* command, const char* step)
{
    std::printf("%s error %lu %s\n", command, GetLastError(), step);
    return 1;
}

int Stage(const char* inf)
{
    char dest[MAX_PATH] = "";
    if (!SetupCopyOEMInfA(inf, nullptr, SPOST_PATH, 0, dest, sizeof(dest), nullptr, nullptr))
        return Fail("stage", "SetupCopyOEMInfA");
    std::printf("stage ok %s\n", dest);
    return 0;
}

int Root(const char* hwid, const char* inf)
{
    GUID classGuid;
    char className[MAX_CLASS_NAME];
    if (!SetupDiGetINFClassA(inf, &classGuid, className, sizeof(className), nullptr))
        return Fail("root", "SetupDiGetINFClassA");
    HDEVINFO set = SetupDiCreateDeviceInfoList(&classGuid, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return Fail("root", "SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA dev = {};
    dev.cbSize = sizeof(dev);
    int rc = 0;
    // The hardware id list: the id, then an empty string.
    char ids[kMaxDeviceId + 2] = {};
    std::strncpy(ids, hwid, kMaxDeviceId);
    DWORD idsSize = (DWORD)std::strlen(ids) + 2;
    if (!SetupDiCreateDeviceInfoA(set, className, &classGuid, nullptr, nullptr, DICD_GENERATE_ID, &dev))
        rc = Fail("root", "SetupDiCreateDeviceInfoA");
    else if (!SetupDiSetDeviceRegistryPropertyA(set, &dev, SPDRP_HARDWAREID, (const BYTE*)ids, idsSize))
        rc = Fail("root", "SPDRP_HARDWAREID");
    else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &dev))
        rc = Fail("root", "DIF_REGISTERDEVICE");
    if (rc == 0) {
        char instance[kMaxDeviceId] = "";
        SetupDiGetDeviceInstanceIdA(set, &dev, instance, sizeof(instance), nullptr);
        BOOL reboot = FALSE;
        if (!UpdateDriverForPlugAndPlayDevicesA(nullptr, hwid, inf, INSTALLFLAG_FORCE, &reboot)) {
            rc = Fail("root", "UpdateDriverForPlugAndPlayDevicesA");
            SetupDiCallClassInstaller(DIF_REMOVE, set, &dev);
        } else {
            std::printf("root ok %s\n", instance);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return rc;
}

bool HasHardwareId(HDEVINFO set, SP_DEVINFO_DATA* dev, const char* hwid)
{
    char ids[4096] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, dev, SPDRP_HARDWAREID, nullptr, (BYTE*)ids, sizeof(ids) - 2, nullptr))
        return false;
    for (const char* p = ids; *p; p += std::strlen(p) + 1)
        if (lstrcmpiA(p, hwid) == 0)
            return true;
    return false;
}

int Remove(const char* hwid)
{
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return Fail("remove", "SetupDiGetClassDevsA");
    SP_DEVINFO_DATA dev = {};
    dev.cbSize = sizeof(dev);
    int removed = 0, rc = 0;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
        if (!HasHardwareId(set, &dev, hwid))
            continue;
        if (!SetupDiCallClassInstaller(DIF_REMOVE, set, &dev)) {
            rc = Fail("remove", "DIF_REMOVE");
            break;
        }
        ++removed;
    }
    SetupDiDestroyDeviceInfoList(set);
    if (rc == 0)
        std::printf("remove ok count=%d\n", removed);
    return rc;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "stage") == 0)
        return Stage(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "root") == 0)
        return Root(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "remove") == 0)
        return Remove(argv[2]);
    std::fprintf(stderr, "usage: devinst stage INF | root HWID INF | remove HWID\n");
    return 2;
}
