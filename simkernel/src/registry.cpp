// The registry: one store that the kernel (Zw*) and user mode (sim::registry)
// share. Key paths and value names are matched without regard to case.
#include <algorithm>
#include <map>
#include <mutex>

#include "internal.h"

namespace sim {
namespace {

struct Key {
    std::vector<registry::Value> values;
    std::string name;  // the last path element as first created (its case kept)
};

std::recursive_mutex g_lock;
std::map<std::string, Key> g_keys;  // by normalized path
std::map<uintptr_t, std::string> g_handles;
uintptr_t g_nextHandle = 0x1000;

const char* const kRoots[] = {"\\registry",
                              "\\registry\\machine",
                              "\\registry\\machine\\software",
                              "\\registry\\machine\\system",
                              "\\registry\\machine\\system\\currentcontrolset",
                              "\\registry\\machine\\system\\currentcontrolset\\services",
                              "\\registry\\user"};

void AddRoots()
{
    for (auto r : kRoots)
        g_keys[r];
}

std::string Parent(const std::string& key)
{
    auto pos = key.rfind('\\');
    return pos == std::string::npos || pos == 0 ? std::string() : key.substr(0, pos);
}

registry::Value* FindValue(Key& k, const std::string& name)
{
    std::string lower = detail::Lower(name);
    for (auto& v : k.values)
        if (detail::Lower(v.name) == lower)
            return &v;
    return nullptr;
}

Key* FindKey(const std::string& normalized)
{
    auto it = g_keys.find(normalized);
    return it == g_keys.end() ? nullptr : &it->second;
}

// The kernel path of an object-attributes block (absolute, or relative to a key handle).
bool PathOf(POBJECT_ATTRIBUTES oa, std::string* out)
{
    if (!oa || !oa->ObjectName)
        return false;
    std::string name = Narrow(oa->ObjectName);
    if (oa->RootDirectory) {
        auto it = g_handles.find((uintptr_t)oa->RootDirectory);
        if (it == g_handles.end())
            return false;
        name = it->second + "\\" + name;
    }
    *out = registry::Normalize(name);
    return !out->empty() && (*out)[0] == '\\';
}

HANDLE NewHandle(const std::string& key)
{
    uintptr_t h = g_nextHandle;
    g_nextHandle += 4;
    g_handles[h] = key;
    return (HANDLE)h;
}

}  // namespace

namespace detail {
void ResetRegistry()
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_keys.clear();
    g_handles.clear();
    AddRoots();
}
}  // namespace detail

namespace registry {

std::string Normalize(const std::string& key)
{
    std::string k = detail::Lower(key);
    for (auto& c : k)
        if (c == '/')
            c = '\\';
    if (k.rfind("hklm\\", 0) == 0)
        k = "\\registry\\machine\\" + k.substr(5);
    else if (k == "hklm")
        k = "\\registry\\machine";
    else if (k.rfind("hkey_local_machine\\", 0) == 0)
        k = "\\registry\\machine\\" + k.substr(19);
    std::string r;
    for (char c : k) {
        if (c == '\\' && !r.empty() && r.back() == '\\')
            continue;
        r += c;
    }
    while (r.size() > 1 && r.back() == '\\')
        r.pop_back();
    return r;
}

bool CreateKey(const std::string& key)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (g_keys.empty())
        AddRoots();
    std::string k = Normalize(key);
    if (k.empty() || k[0] != '\\')
        return false;
    // The case of each element as the caller wrote it, for SubKeys.
    std::string written = key;
    for (auto& c : written)
        if (c == '/')
            c = '\\';
    while (!written.empty() && written.back() == '\\')
        written.pop_back();
    for (std::string p = k; !p.empty(); p = Parent(p)) {
        Key& entry = g_keys[p];
        std::string element = p.substr(p.rfind('\\') + 1);
        if (entry.name.empty()) {
            const auto pos = written.rfind('\\');
            std::string tail = pos == std::string::npos ? written : written.substr(pos + 1);
            entry.name = detail::Lower(tail) == element ? tail : element;
        }
        const auto pos = written.rfind('\\');
        written = pos == std::string::npos ? std::string() : written.substr(0, pos);
    }
    return true;
}

bool KeyExists(const std::string& key)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return FindKey(Normalize(key)) != nullptr;
}

bool SetValue(const std::string& key, const std::string& name, uint32_t type, const void* data, size_t size)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (!CreateKey(key))
        return false;
    Key& k = g_keys[Normalize(key)];
    Value* v = FindValue(k, name);
    if (!v) {
        k.values.push_back(Value{name, 0, {}});
        v = &k.values.back();
    }
    v->type = type;
    v->data.assign((const uint8_t*)data, (const uint8_t*)data + size);
    return true;
}

bool SetString(const std::string& key, const std::string& name, const std::string& text)
{
    std::u16string w = Utf16(text);
    w.push_back(0);
    return SetValue(key, name, REG_SZ, w.data(), w.size() * 2);
}

bool SetDword(const std::string& key, const std::string& name, uint32_t value)
{
    uint8_t b[4] = {(uint8_t)value, (uint8_t)(value >> 8), (uint8_t)(value >> 16), (uint8_t)(value >> 24)};
    return SetValue(key, name, REG_DWORD, b, 4);
}

bool GetValue(const std::string& key, const std::string& name, Value* out)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Key* k = FindKey(Normalize(key));
    Value* v = k ? FindValue(*k, name) : nullptr;
    if (!v)
        return false;
    *out = *v;
    return true;
}

bool DeleteValue(const std::string& key, const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Key* k = FindKey(Normalize(key));
    if (!k)
        return false;
    std::string lower = detail::Lower(name);
    auto it = std::find_if(k->values.begin(), k->values.end(),
                           [&](const Value& v) { return detail::Lower(v.name) == lower; });
    if (it == k->values.end())
        return false;
    k->values.erase(it);
    return true;
}

std::vector<Value> Values(const std::string& key)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Key* k = FindKey(Normalize(key));
    if (!k)
        return {};
    std::vector<Value> r = k->values;
    std::sort(r.begin(), r.end(),
              [](const Value& a, const Value& b) { return detail::Lower(a.name) < detail::Lower(b.name); });
    return r;
}

std::vector<std::string> SubKeys(const std::string& key)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    const std::string k = Normalize(key);
    std::vector<std::string> r;
    if (!FindKey(k))
        return r;
    const std::string prefix = k + "\\";
    for (auto it = g_keys.lower_bound(prefix); it != g_keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
         ++it)
        if (it->first.find('\\', prefix.size()) == std::string::npos)
            r.push_back(it->second.name.empty() ? it->first.substr(prefix.size()) : it->second.name);
    std::sort(r.begin(), r.end(),
              [](const std::string& a, const std::string& b) { return detail::Lower(a) < detail::Lower(b); });
    return r;
}

bool DeleteKey(const std::string& key)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    const std::string k = Normalize(key);
    auto it = g_keys.find(k);
    if (it == g_keys.end())
        return false;
    const std::string prefix = k + "\\";
    auto child = g_keys.lower_bound(prefix);
    if (child != g_keys.end() && child->first.compare(0, prefix.size(), prefix) == 0)
        return false;
    g_keys.erase(it);
    return true;
}

}  // namespace registry
}  // namespace sim

using namespace sim;

static void RequirePassive(const char* who)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", who);
}

extern "C" {

NTSTATUS ZwOpenKey(PHANDLE key, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes)
{
    RequirePassive("ZwOpenKey above passive level");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::string path;
    if (!PathOf(attributes, &path))
        return STATUS_OBJECT_NAME_INVALID;
    if (!FindKey(path))
        return STATUS_OBJECT_NAME_NOT_FOUND;
    *key = NewHandle(path);
    return STATUS_SUCCESS;
}

NTSTATUS ZwCreateKey(PHANDLE key, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, ULONG titleIndex,
                     PUNICODE_STRING keyClass, ULONG options, PULONG disposition)
{
    RequirePassive("ZwCreateKey above passive level");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::string path;
    if (!PathOf(attributes, &path))
        return STATUS_OBJECT_NAME_INVALID;
    ULONG d = REG_OPENED_EXISTING_KEY;
    if (!FindKey(path)) {
        // Like the real registry, one level at a time: the parent must exist.
        if (!FindKey(Parent(path)))
            return STATUS_OBJECT_NAME_NOT_FOUND;
        g_keys[path];
        d = REG_CREATED_NEW_KEY;
    }
    if (disposition)
        *disposition = d;
    *key = NewHandle(path);
    return STATUS_SUCCESS;
}

NTSTATUS ZwQueryValueKey(HANDLE key, PUNICODE_STRING name, KEY_VALUE_INFORMATION_CLASS cls, PVOID info, ULONG length,
                         PULONG resultLength)
{
    RequirePassive("ZwQueryValueKey above passive level");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_handles.find((uintptr_t)key);
    if (it == g_handles.end())
        return STATUS_INVALID_PARAMETER;
    Key* k = FindKey(it->second);
    registry::Value* v = k ? FindValue(*k, Narrow(name)) : nullptr;
    if (!v)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    const ULONG dataLength = (ULONG)v->data.size();
    if (cls == KeyValueFullInformation) {
        const ULONG fixed = offsetof(KEY_VALUE_FULL_INFORMATION, Name);
        const ULONG nameLength = name->Length;
        const ULONG dataOffset = (fixed + nameLength + 7) & ~7u;
        const ULONG needed = dataOffset + dataLength;
        *resultLength = needed;
        if (length < fixed)
            return STATUS_BUFFER_TOO_SMALL;
        auto* fi = (PKEY_VALUE_FULL_INFORMATION)info;
        fi->TitleIndex = 0;
        fi->Type = v->type;
        fi->DataOffset = dataOffset;
        fi->DataLength = dataLength;
        fi->NameLength = nameLength;
        if (length < needed)
            return STATUS_BUFFER_OVERFLOW;
        memcpy(fi->Name, name->Buffer, nameLength);
        memcpy((char*)info + dataOffset, v->data.data(), dataLength);
        return STATUS_SUCCESS;
    }
    if (cls == KeyValuePartialInformation) {
        const ULONG fixed = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
        *resultLength = fixed + dataLength;
        if (length < fixed)
            return STATUS_BUFFER_TOO_SMALL;
        auto* pi = (PKEY_VALUE_PARTIAL_INFORMATION)info;
        pi->TitleIndex = 0;
        pi->Type = v->type;
        pi->DataLength = dataLength;
        if (length < fixed + dataLength)
            return STATUS_BUFFER_OVERFLOW;
        memcpy(pi->Data, v->data.data(), dataLength);
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_PARAMETER;
}

NTSTATUS ZwSetValueKey(HANDLE key, PUNICODE_STRING name, ULONG titleIndex, ULONG type, PVOID data, ULONG size)
{
    RequirePassive("ZwSetValueKey above passive level");
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_handles.find((uintptr_t)key);
    if (it == g_handles.end())
        return STATUS_INVALID_PARAMETER;
    registry::SetValue(it->second, Narrow(name), type, data, size);
    return STATUS_SUCCESS;
}

NTSTATUS ZwDeleteValueKey(HANDLE key, PUNICODE_STRING name)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = g_handles.find((uintptr_t)key);
    if (it == g_handles.end())
        return STATUS_INVALID_PARAMETER;
    return registry::DeleteValue(it->second, Narrow(name)) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

NTSTATUS ZwClose(HANDLE handle)
{
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (!g_handles.erase((uintptr_t)handle))
        Bugcheck("INVALID_KERNEL_HANDLE", "ZwClose of a handle that is not open");
    return STATUS_SUCCESS;
}

}  // extern "C"
