// The settings store: the six values read from the tool's key on CMD_RELOAD,
// a copy kept under the driver's own service key and read at device start.
#include <stddef.h>

#include "zelko.h"

namespace zelko {

namespace {

const WCHAR kToolKey[] = WSTR(ZELKO_TOOL_KEY_KERNEL);
const WCHAR kCopySubkey[] = WSTR(ZELKO_COPY_SUBKEY);
const WCHAR kXArray[] = WSTR("XArray");
const WCHAR kYArray[] = WSTR("YArray");
const WCHAR kDoneMode[] = WSTR("doneMode");
const WCHAR kChangeXY[] = WSTR("changexy");
const WCHAR kDisableDev[] = WSTR("disabledev");
const WCHAR kMoveSlider[] = WSTR("moveSlider");

// Windows hands the driver "\REGISTRY\MACHINE\SYSTEM\ControlSet001\Services\Zelko",
// which fits 132 bytes with "\Pointwell"; other hosts (Wine: CurrentControlSet)
// give longer paths, so the buffer has room for any service path.
const ULONG PATH_BYTES = 512;
const ULONG SCALAR_BYTES = 100;

PUNICODE_STRING RegistryPath(PDRIVER_OBJECT driver)
{
    auto* copy = (PUNICODE_STRING)IoGetDriverObjectExtension(driver, ZELKO_REGISTRY_PATH_ID);
    return copy ? copy : &g_zelko.registryPathFallback;
}

// Opens (or, for the driver's copy, creates) one of the two keys. The path is
// assembled in a counted buffer; a path that does not fit is not opened.
NTSTATUS OpenSettingsKey(PDEVICE_EXTENSION dx, bool copyKey, bool create, HANDLE* key)
{
    WCHAR buffer[PATH_BYTES / sizeof(WCHAR)];
    RtlZeroMemory(buffer, sizeof buffer);
    UNICODE_STRING path;
    path.Buffer = buffer;
    path.Length = 0;
    path.MaximumLength = (USHORT)sizeof buffer;
    if (copyKey) {
        PUNICODE_STRING saved = RegistryPath(dx->driverObject);
        if (!saved || !saved->Buffer || saved->Length == 0 || saved->Length > path.MaximumLength)
            return STATUS_OBJECT_NAME_NOT_FOUND;
        RtlCopyMemory(buffer, saved->Buffer, saved->Length);
        path.Length = saved->Length;
        if (!NT_SUCCESS(RtlAppendUnicodeToString(&path, kCopySubkey)))
            return STATUS_OBJECT_NAME_INVALID;
    } else if (!NT_SUCCESS(RtlAppendUnicodeToString(&path, kToolKey))) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    if (path.Length == 0)
        return STATUS_OBJECT_NAME_NOT_FOUND;

    OBJECT_ATTRIBUTES oa;
    InitializeObjectAttributes(&oa, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE | OBJ_OPENIF, NULL, NULL);
    const ACCESS_MASK access = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
    if (create) {
        ULONG disposition;
        return ZwCreateKey(key, access, &oa, 0, NULL, REG_OPTION_NON_VOLATILE, &disposition);
    }
    return ZwOpenKey(key, access, &oa);
}

// Reads a decimal-text setting; false (field unchanged) when the value cannot be read.
bool ReadScalar(HANDLE key, PCWSTR name, uint32_t* field)
{
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    CHAR text[SCALAR_BYTES];
    RtlZeroMemory(text, sizeof text);
    if (!NT_SUCCESS(QueryValue(key, &valueName, text, sizeof text)))
        return false;

    // The text ends at its first zero byte, or at the end of the buffer.
    ANSI_STRING ansi;
    ansi.Buffer = text;
    ansi.Length = 0;
    while (ansi.Length < sizeof text && text[ansi.Length])
        ++ansi.Length;
    ansi.MaximumLength = (USHORT)sizeof text;

    WCHAR wide[SCALAR_BYTES + 1];
    UNICODE_STRING number;
    number.Buffer = wide;
    number.Length = 0;
    number.MaximumLength = (USHORT)sizeof wide;
    if (!NT_SUCCESS(RtlAnsiStringToUnicodeString(&number, &ansi, FALSE)))
        return false;
    ULONG value = 0;
    if (!NT_SUCCESS(RtlUnicodeStringToInteger(&number, 10, &value)))
        return false;
    *field = (uint32_t)value;
    return true;
}

bool ReadTable(HANDLE key, PCWSTR name, USHORT* table)
{
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    return NT_SUCCESS(QueryValue(key, &valueName, table, TABLE_BYTES));
}

void WriteScalar(HANDLE key, PCWSTR name, ULONG value)
{
    WCHAR digits[25];  // a 50-byte buffer
    UNICODE_STRING text;
    text.Buffer = digits;
    text.Length = 0;
    text.MaximumLength = (USHORT)sizeof digits;
    if (!NT_SUCCESS(RtlIntegerToUnicodeString(value, 10, &text)))
        return;
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    ZwSetValueKey(key, &valueName, 0, REG_SZ, digits, text.Length + sizeof(WCHAR));
}

void WriteTable(HANDLE key, PCWSTR name, USHORT* table)
{
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    ZwSetValueKey(key, &valueName, 0, REG_BINARY, table, TABLE_BYTES);
}

// The six settings, once: their value names and where each lives in the record.
// A table is REG_BINARY (5000 unsigned 16-bit entries), the rest decimal text.
struct Setting {
    PCWSTR name;
    bool table;
    size_t offset;
};
const Setting kSettings[] = {
    {kXArray, true, offsetof(TouchSettings, XArray)},
    {kYArray, true, offsetof(TouchSettings, YArray)},
    {kDoneMode, false, offsetof(TouchSettings, doneMode)},
    {kChangeXY, false, offsetof(TouchSettings, changexy)},
    {kDisableDev, false, offsetof(TouchSettings, disabledev)},
    {kMoveSlider, false, offsetof(TouchSettings, moveSlider)},
};
const int SETTING_COUNT = (int)(sizeof kSettings / sizeof kSettings[0]);
static_assert(sizeof(TouchSettings::doneMode) == 4 && sizeof(TouchSettings::changexy) == 4 &&
                  sizeof(TouchSettings::disabledev) == 4 && sizeof(TouchSettings::moveSlider) == 4,
              "the decimal settings are 32-bit fields");

void* FieldOf(TouchSettings& s, const Setting& setting) { return (UCHAR*)&s + setting.offset; }

// Reads every setting from the key; how many could be read. One that cannot be
// read leaves its field unchanged.
int ReadSettings(HANDLE key, TouchSettings& s)
{
    int read = 0;
    for (const Setting& setting : kSettings)
        read += setting.table ? ReadTable(key, setting.name, (USHORT*)FieldOf(s, setting))
                              : ReadScalar(key, setting.name, (uint32_t*)FieldOf(s, setting));
    return read;
}

void WriteSettings(HANDLE key, TouchSettings& s)
{
    for (const Setting& setting : kSettings) {
        if (setting.table)
            WriteTable(key, setting.name, (USHORT*)FieldOf(s, setting));
        else
            WriteScalar(key, setting.name, *(ULONG*)FieldOf(s, setting));
    }
}

}  // namespace

NTSTATUS QueryValue(HANDLE key, PUNICODE_STRING name, PVOID destination, ULONG destinationSize)
{
    const ULONG size = name->MaximumLength + destinationSize + 24;
    auto* info = (PKEY_VALUE_FULL_INFORMATION)ExAllocatePoolWithTag(PagedPool, size, ZELKO_TAG);
    if (!info)
        return STATUS_INSUFFICIENT_RESOURCES;
    ULONG resultLength = 0;
    NTSTATUS status = ZwQueryValueKey(key, name, KeyValueFullInformation, info, size, &resultLength);
    if (NT_SUCCESS(status) &&
        (info->DataLength > destinationSize || info->DataOffset > size || info->DataLength > size - info->DataOffset))
        status = STATUS_BUFFER_TOO_SMALL;
    if (NT_SUCCESS(status)) {
        PUCHAR data = (PUCHAR)info + info->DataOffset;
        if (info->Type == REG_SZ) {
            UNICODE_STRING text;
            text.Buffer = (PWSTR)data;
            text.Length = (USHORT)(info->DataLength & ~1u);
            text.MaximumLength = text.Length;
            ANSI_STRING narrow;
            status = RtlUnicodeStringToAnsiString(&narrow, &text, TRUE);
            if (NT_SUCCESS(status)) {
                // The text and its terminating zero; both fit, as the text has
                // half as many bytes as the data that fitted.
                ULONG n = (ULONG)narrow.Length + 1;
                if (n > destinationSize)
                    n = destinationSize;
                RtlCopyMemory(destination, narrow.Buffer, n);
                RtlFreeAnsiString(&narrow);
            }
        } else {
            RtlCopyMemory(destination, data, info->DataLength);
        }
    }
    ExFreePool(info);
    return status;
}

namespace {

// Reads the settings from the tool's key or the driver's copy into a fresh record
// at passive level, then puts the fields that could be read in place under the
// lock that the report path holds while it reads them. True when all were read.
bool LoadSettings(PDEVICE_EXTENSION dx, bool copyKey)
{
    HANDLE key;
    if (!NT_SUCCESS(OpenSettingsKey(dx, copyKey, false, &key)))
        return false;
    auto* fresh = (TouchSettings*)ExAllocatePoolWithTag(NonPagedPool, sizeof(TouchSettings), ZELKO_TAG);
    if (!fresh) {
        ZwClose(key);
        return false;
    }
    KIRQL irql;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
    RtlCopyMemory(fresh, &dx->settings, sizeof *fresh);
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    const bool all = ReadSettings(key, *fresh) == SETTING_COUNT;
    ZwClose(key);
    if (all)
        fresh->settingsLoaded = true;
    KeAcquireSpinLock(&g_zelko.pendingReadLock, &irql);
    RtlCopyMemory(&dx->settings, fresh, sizeof *fresh);
    KeReleaseSpinLock(&g_zelko.pendingReadLock, irql);
    ExFreePool(fresh);
    return all;
}

}  // namespace

void LoadToolSettings(PDEVICE_EXTENSION dx)
{
    if (LoadSettings(dx, false))
        SaveServiceSettings(dx);
}

BOOLEAN LoadServiceSettings(PDEVICE_EXTENSION dx) { return LoadSettings(dx, true) ? TRUE : FALSE; }

void SaveServiceSettings(PDEVICE_EXTENSION dx)
{
    TouchSettings& s = dx->settings;
    if (!s.settingsLoaded)
        return;
    HANDLE key;
    if (!NT_SUCCESS(OpenSettingsKey(dx, true, true, &key)))
        return;
    WriteSettings(key, s);
    ZwClose(key);
}

NTSTATUS SaveRegistryPath(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    // Kept in the driver object's extension; a host without those extensions
    // (Wine 8 stubs them) gets a driver-wide copy instead.
    PUNICODE_STRING copy = NULL;
    NTSTATUS status =
        IoAllocateDriverObjectExtension(driver, ZELKO_REGISTRY_PATH_ID, sizeof(UNICODE_STRING), (PVOID*)&copy);
    if (!NT_SUCCESS(status) || !copy)
        copy = &g_zelko.registryPathFallback;
    RtlZeroMemory(copy, sizeof *copy);
    const ULONG bytes = (ULONG)registryPath->Length + sizeof(WCHAR);
    copy->Buffer = (PWSTR)ExAllocatePoolWithTag(NonPagedPool, bytes, ZELKO_TAG);
    if (!copy->Buffer)
        return STATUS_INSUFFICIENT_RESOURCES;  // the copy key then cannot be opened
    RtlZeroMemory(copy->Buffer, bytes);
    copy->MaximumLength = (USHORT)bytes;
    RtlCopyUnicodeString(copy, registryPath);
    return STATUS_SUCCESS;
}

void FreeRegistryPath(PDRIVER_OBJECT driver)
{
    PUNICODE_STRING copy = RegistryPath(driver);
    if (copy && copy->Buffer) {
        ExFreePool(copy->Buffer);
        copy->Buffer = NULL;
        copy->Length = copy->MaximumLength = 0;
    }
}

}  // namespace zelko
