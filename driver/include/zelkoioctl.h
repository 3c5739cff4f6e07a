// Zelko's control interface: names, codes and records shared by Zelko, its
// consumer drivers (Dravick, Miravel) and the tool. Plain C++; no platform header.
#pragma once

#include <stdint.h>

#define ZELKO_CTL_CODE(function) ((0x22u << 16) | ((function) << 2) | 0u /* METHOD_BUFFERED, FILE_ANY_ACCESS */)

// From user mode (IRP_MJ_DEVICE_CONTROL).
#define IOCTL_ZELKO_COMMAND ZELKO_CTL_CODE(1u)   /* 0x220004: 16-byte command record in */
#define IOCTL_ZELKO_GET_EVENT ZELKO_CTL_CODE(2u) /* 0x220008: 16-byte event record out */
// From the consumer drivers (IRP_MJ_INTERNAL_DEVICE_CONTROL).
#define IOCTL_ZELKO_READ_EVENT ZELKO_CTL_CODE(0x801u)   /* 0x222004: short event out, waits */
#define IOCTL_ZELKO_CANCEL_READS ZELKO_CTL_CODE(0x802u) /* 0x222008: ends every waiting read */

// Command byte of the command record.
enum : uint8_t {
    CMD_RAW_ON = 4,
    CMD_RAW_OFF = 5,
    CMD_RELOAD = 6,
};

const unsigned ZELKO_COMMAND_BYTES = 16;
const unsigned ZELKO_EVENT_BYTES = 16;
const unsigned ZELKO_SHORT_EVENT_BYTES = 5;
const unsigned ZELKO_CONSUMER_BUFFER_BYTES = 10;  // what Dravick and Miravel give

// The event record's "nothing queued" marker: x = y = code = 111 ('o').
const uint32_t ZELKO_NO_EVENT = 111;

// {C0CF0648-5F5F-11D2-B677-00C0DFE4C1FB}
#define ZELKO_INTERFACE_GUID_INIT                                                                                      \
    {                                                                                                                  \
        0xc0cf0648, 0x5f5f, 0x11d2, { 0xb6, 0x77, 0x00, 0xc0, 0xdf, 0xe4, 0xc1, 0xfb }                                 \
    }

#define ZELKO_DEVICE_NAME "\\Device\\Zelko"
#define ZELKO_LINK_NAME "\\DosDevices\\Zelkode"
#define ZELKO_USER_PATH "\\\\.\\Zelkode"

// Registry: the tool's key (HKEY_LOCAL_MACHINE) and the subkey of the driver's copy.
#define ZELKO_TOOL_KEY "SOFTWARE\\Veltran\\Pointwell"
#define ZELKO_TOOL_KEY_KERNEL "\\REGISTRY\\Machine\\Software\\Veltran\\Pointwell"
#define ZELKO_COPY_SUBKEY "\\Pointwell"

// Little-endian helpers for the records.
inline void ZelkoPutU32(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
inline uint32_t ZelkoGetU32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void ZelkoPutU16(uint8_t* p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
inline uint16_t ZelkoGetU16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
