// The USBD library: version, descriptor parsing and the configuration request.
#include <atomic>

#include "internal.h"
#include "simkernel/usb.h"

namespace sim {
namespace {
std::atomic<ULONG> g_usbdiVersion{0x500};
}
void SetUsbdiVersion(ULONG version) { g_usbdiVersion = version; }
ULONG UsbdiVersion() { return g_usbdiVersion; }
}  // namespace sim

using namespace sim;

extern "C" {

void USBD_GetUSBDIVersion(PUSBD_VERSION_INFORMATION info)
{
    if (info) {
        info->USBDI_Version = g_usbdiVersion;
        info->Supported_USB_Version = 0x200;
    }
}

PUSB_COMMON_DESCRIPTOR USBD_ParseDescriptors(PVOID buffer, ULONG totalLength, PVOID start, LONG type)
{
    UCHAR* p = (UCHAR*)start;
    UCHAR* end = (UCHAR*)buffer + totalLength;
    while (p >= (UCHAR*)buffer && p + sizeof(USB_COMMON_DESCRIPTOR) <= end) {
        PUSB_COMMON_DESCRIPTOR d = (PUSB_COMMON_DESCRIPTOR)p;
        if (d->bLength < sizeof(USB_COMMON_DESCRIPTOR) || p + d->bLength > end)
            return NULL;
        if (type == -1 || d->bDescriptorType == type)
            return d;
        p += d->bLength;
    }
    return NULL;
}

PUSB_INTERFACE_DESCRIPTOR USBD_ParseConfigurationDescriptorEx(PUSB_CONFIGURATION_DESCRIPTOR config, PVOID start,
                                                              LONG number, LONG alternate, LONG cls, LONG subClass,
                                                              LONG protocol)
{
    PVOID p = start;
    for (;;) {
        auto* d = (PUSB_INTERFACE_DESCRIPTOR)USBD_ParseDescriptors(config, config->wTotalLength, p,
                                                                   USB_INTERFACE_DESCRIPTOR_TYPE);
        if (!d)
            return NULL;
        if (d->bLength >= sizeof(USB_INTERFACE_DESCRIPTOR) && (number == -1 || d->bInterfaceNumber == number) &&
            (alternate == -1 || d->bAlternateSetting == alternate) && (cls == -1 || d->bInterfaceClass == cls) &&
            (subClass == -1 || d->bInterfaceSubClass == subClass) &&
            (protocol == -1 || d->bInterfaceProtocol == protocol))
            return d;
        p = (UCHAR*)d + d->bLength;
    }
}

PURB USBD_CreateConfigurationRequestEx(PUSB_CONFIGURATION_DESCRIPTOR config, PUSBD_INTERFACE_LIST_ENTRY list)
{
    const size_t pipe = sizeof(USBD_PIPE_INFORMATION);
    size_t size = sizeof(_URB_SELECT_CONFIGURATION) - sizeof(USBD_INTERFACE_INFORMATION);
    int n = 0;
    for (; list[n].InterfaceDescriptor; ++n) {
        ULONG endpoints = list[n].InterfaceDescriptor->bNumEndpoints;
        size += sizeof(USBD_INTERFACE_INFORMATION) + (endpoints ? (endpoints - 1) * pipe : 0);
    }
    if (n == 0)
        return NULL;
    PURB urb = (PURB)ExAllocatePoolWithTag(NonPagedPool, size, TagOf("USBD"));
    if (!urb)
        return NULL;
    memset(urb, 0, size);
    urb->UrbHeader.Length = (USHORT)size;
    urb->UrbHeader.Function = URB_FUNCTION_SELECT_CONFIGURATION;
    urb->UrbSelectConfiguration.ConfigurationDescriptor = config;
    UCHAR* p = (UCHAR*)&urb->UrbSelectConfiguration.Interface;
    for (int i = 0; i < n; ++i) {
        auto* info = (PUSBD_INTERFACE_INFORMATION)p;
        PUSB_INTERFACE_DESCRIPTOR d = list[i].InterfaceDescriptor;
        ULONG endpoints = d->bNumEndpoints;
        info->Length = (USHORT)(sizeof(USBD_INTERFACE_INFORMATION) + (endpoints ? (endpoints - 1) * pipe : 0));
        info->InterfaceNumber = d->bInterfaceNumber;
        info->AlternateSetting = d->bAlternateSetting;
        info->NumberOfPipes = endpoints;
        for (ULONG e = 0; e < endpoints; ++e)
            info->Pipes[e].MaximumTransferSize = 4096;
        list[i].Interface = info;
        p += info->Length;
    }
    return urb;
}

}  // extern "C"
