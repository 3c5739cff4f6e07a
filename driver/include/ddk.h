// The one include of every driver source: the driver kit (the real mingw-w64
// DDK headers in the Windows builds, the simulated kernel's in the native one),
// plus the few items mingw-w64 lacks.
#pragma once

#ifndef SIMKERNEL
extern "C" {
#endif
#include <ntddk.h>
#include <usb.h>
#include <usbdlib.h>
#include <usbioctl.h>
#include <kbdmou.h>
#include <ntddmou.h>
#include <initguid.h>
#include <wdmguid.h>
#ifndef SIMKERNEL
}
#endif

#include "ddkextra.h"

// Wide literals: UTF-16 in both worlds (wchar_t is 16 bits on Windows only).
#ifdef SIMKERNEL
#define WSTR_(s) u##s
#else
#define WSTR_(s) L##s
#endif
#define WSTR(s) WSTR_(s)

// A pool tag from its four characters, in the order the pool tools show them.
#define POOL_TAG(a, b, c, d) ((ULONG)(a) | ((ULONG)(b) << 8) | ((ULONG)(c) << 16) | ((ULONG)(d) << 24))

// Each driver lives in a namespace of its own (so that the simulated build can
// link all three into one program); the Windows entry point is the global
// extern "C" DriverEntry that forwards to it.
#ifdef SIMKERNEL
#define DRIVER_ENTRY_EXPORT(ns)
#else
#define DRIVER_ENTRY_EXPORT(ns)                                                                                        \
    extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path)                                 \
    {                                                                                                                  \
        return ns::DriverEntry(driver, path);                                                                          \
    }
#endif
