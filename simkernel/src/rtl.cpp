// Run-time library: counted strings, conversions between text and numbers.
#include <cstdio>

#include "internal.h"

namespace sim {

std::u16string Utf16(const std::string& s)
{
    std::u16string r;
    for (unsigned char c : s)
        r += (char16_t)c;
    return r;
}

std::string Narrow(const std::u16string& s)
{
    std::string r;
    for (char16_t c : s)
        r += c < 0x100 ? (char)c : '?';
    return r;
}

std::string Narrow(PCUNICODE_STRING s)
{
    if (!s || !s->Buffer)
        return std::string();
    return Narrow(std::u16string(s->Buffer, s->Length / 2));
}

}  // namespace sim

using namespace sim;

namespace {
const ULONG kStringTag = TagOf("Strg");

size_t WideLength(PCWSTR s)
{
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}
}  // namespace

extern "C" {

void RtlInitUnicodeString(PUNICODE_STRING dest, PCWSTR source)
{
    if (!source) {
        dest->Length = dest->MaximumLength = 0;
        dest->Buffer = NULL;
        return;
    }
    size_t n = WideLength(source) * 2;
    if (n > 0xFFFC)
        n = 0xFFFC;
    dest->Length = (USHORT)n;
    dest->MaximumLength = (USHORT)(n + 2);
    dest->Buffer = (PWSTR)source;
}

void RtlInitAnsiString(PANSI_STRING dest, PCSZ source)
{
    if (!source) {
        dest->Length = dest->MaximumLength = 0;
        dest->Buffer = NULL;
        return;
    }
    size_t n = strlen(source);
    if (n > 0xFFFE)
        n = 0xFFFE;
    dest->Length = (USHORT)n;
    dest->MaximumLength = (USHORT)(n + 1);
    dest->Buffer = (PCHAR)source;
}

void RtlCopyUnicodeString(PUNICODE_STRING dest, PCUNICODE_STRING source)
{
    if (!source) {
        dest->Length = 0;
        return;
    }
    USHORT n = source->Length < dest->MaximumLength ? source->Length : dest->MaximumLength;
    memcpy(dest->Buffer, source->Buffer, n);
    dest->Length = n;
    if (n + 2 <= dest->MaximumLength)
        dest->Buffer[n / 2] = 0;
}

NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING dest, PCWSTR source)
{
    if (!source)
        return STATUS_SUCCESS;
    size_t n = WideLength(source) * 2;
    if (dest->Length + n > dest->MaximumLength)
        return STATUS_BUFFER_TOO_SMALL;
    memcpy((char*)dest->Buffer + dest->Length, source, n);
    dest->Length = (USHORT)(dest->Length + n);
    if (dest->Length + 2 <= dest->MaximumLength)
        dest->Buffer[dest->Length / 2] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING dest, PCUNICODE_STRING source)
{
    if (dest->Length + source->Length > dest->MaximumLength)
        return STATUS_BUFFER_TOO_SMALL;
    memcpy((char*)dest->Buffer + dest->Length, source->Buffer, source->Length);
    dest->Length = (USHORT)(dest->Length + source->Length);
    if (dest->Length + 2 <= dest->MaximumLength)
        dest->Buffer[dest->Length / 2] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS RtlIntegerToUnicodeString(ULONG value, ULONG base, PUNICODE_STRING string)
{
    if (base == 0)
        base = 10;
    if (base != 2 && base != 8 && base != 10 && base != 16)
        return STATUS_INVALID_PARAMETER;
    char digits[33];
    int n = 0;
    do {
        ULONG d = value % base;
        digits[n++] = (char)(d < 10 ? '0' + d : 'A' + d - 10);
        value /= base;
    } while (value);
    // The text and its terminating zero must fit.
    if ((ULONG)(n + 1) * 2 > string->MaximumLength)
        return STATUS_BUFFER_OVERFLOW;
    for (int i = 0; i < n; ++i)
        string->Buffer[i] = (WCHAR)digits[n - 1 - i];
    string->Buffer[n] = 0;
    string->Length = (USHORT)(n * 2);
    return STATUS_SUCCESS;
}

NTSTATUS RtlUnicodeStringToInteger(PCUNICODE_STRING string, ULONG base, PULONG value)
{
    const WCHAR* p = string->Buffer;
    size_t n = string->Length / 2, i = 0;
    while (i < n && p[i] <= ' ')
        ++i;
    bool negative = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) {
        negative = p[i] == '-';
        ++i;
    }
    if (base == 0) {
        base = 10;
        if (i + 1 < n && p[i] == '0') {
            WCHAR c = p[i + 1];
            if (c == 'x' || c == 'X')
                base = 16, i += 2;
            else if (c == 'o' || c == 'O')
                base = 8, i += 2;
            else if (c == 'b' || c == 'B')
                base = 2, i += 2;
        }
    } else if (base != 2 && base != 8 && base != 10 && base != 16) {
        return STATUS_INVALID_PARAMETER;
    }
    ULONG result = 0;
    for (; i < n; ++i) {
        WCHAR c = p[i];
        ULONG d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        if (d >= base)
            break;
        result = result * base + d;
    }
    *value = negative ? (ULONG)(0u - result) : result;
    return STATUS_SUCCESS;
}

NTSTATUS RtlUnicodeStringToAnsiString(PANSI_STRING dest, PCUNICODE_STRING source, BOOLEAN allocate)
{
    ULONG chars = source->Length / 2;
    ULONG size = chars + 1;
    if (size > 0xFFFF)
        return STATUS_INVALID_PARAMETER;
    if (allocate) {
        dest->Buffer = (PCHAR)ExAllocatePoolWithTag(PagedPool, size, kStringTag);
        if (!dest->Buffer)
            return STATUS_NO_MEMORY;
        dest->MaximumLength = (USHORT)size;
    } else if (size > dest->MaximumLength) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (ULONG i = 0; i < chars; ++i) {
        WCHAR c = source->Buffer[i];
        dest->Buffer[i] = c < 0x100 ? (CHAR)c : '?';
    }
    dest->Buffer[chars] = 0;
    dest->Length = (USHORT)chars;
    return STATUS_SUCCESS;
}

NTSTATUS RtlAnsiStringToUnicodeString(PUNICODE_STRING dest, PCANSI_STRING source, BOOLEAN allocate)
{
    ULONG size = (source->Length + 1) * 2;
    if (size > 0xFFFF)
        return STATUS_INVALID_PARAMETER;
    if (allocate) {
        dest->Buffer = (PWSTR)ExAllocatePoolWithTag(PagedPool, size, kStringTag);
        if (!dest->Buffer)
            return STATUS_NO_MEMORY;
        dest->MaximumLength = (USHORT)size;
    } else if (size > dest->MaximumLength) {
        return STATUS_BUFFER_OVERFLOW;
    }
    for (ULONG i = 0; i < source->Length; ++i)
        dest->Buffer[i] = (WCHAR)(unsigned char)source->Buffer[i];
    dest->Buffer[source->Length] = 0;
    dest->Length = (USHORT)(source->Length * 2);
    return STATUS_SUCCESS;
}

void RtlFreeUnicodeString(PUNICODE_STRING string)
{
    if (string->Buffer)
        ExFreePool(string->Buffer);
    string->Buffer = NULL;
    string->Length = string->MaximumLength = 0;
}

void RtlFreeAnsiString(PANSI_STRING string)
{
    if (string->Buffer)
        ExFreePool(string->Buffer);
    string->Buffer = NULL;
    string->Length = string->MaximumLength = 0;
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING a, PCUNICODE_STRING b, BOOLEAN caseInsensitive)
{
    if (a->Length != b->Length)
        return FALSE;
    for (size_t i = 0; i < a->Length / 2u; ++i) {
        WCHAR x = a->Buffer[i], y = b->Buffer[i];
        if (caseInsensitive) {
            if (x >= 'a' && x <= 'z')
                x = (WCHAR)(x - 32);
            if (y >= 'a' && y <= 'z')
                y = (WCHAR)(y - 32);
        }
        if (x != y)
            return FALSE;
    }
    return TRUE;
}

SIZE_T RtlCompareMemory(const void* a, const void* b, SIZE_T length)
{
    SIZE_T i = 0;
    while (i < length && ((const UCHAR*)a)[i] == ((const UCHAR*)b)[i])
        ++i;
    return i;
}

}  // extern "C"
