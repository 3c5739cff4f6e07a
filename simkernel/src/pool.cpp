// Pool: per-tag accounting of outstanding allocations, injectable failure of
// the n-th allocation, and checks on the rules of paged and nonpaged pool.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_set>
#include <mutex>

#include "internal.h"

namespace sim {
namespace {

struct Header {
    uint64_t magic;
    uint32_t tag;
    uint32_t type;
    size_t bytes;
    uint64_t pad;  // keeps the block 16-byte aligned
};
const uint64_t kLive = 0x4c4f4f504d495331ull;  // "1SIMPOOL"
const uint64_t kFreed = 0x444545524644454full;

std::mutex g_lock;
std::map<uint32_t, PoolUsage> g_usage;
uint64_t g_made = 0;
uint64_t g_failIn = 0;               // 0: off; else the countdown to the failing allocation
std::unordered_set<Header*> g_live;  // every block not yet freed (freed at Reset)

}  // namespace

namespace detail {
void ResetPool()
{
    std::lock_guard<std::mutex> lock(g_lock);
    for (Header* h : g_live) {
        h->magic = kFreed;
        std::free(h);
    }
    g_live.clear();
    g_usage.clear();
    g_made = 0;
    g_failIn = 0;
}
}  // namespace detail

uint32_t TagOf(const char* s)
{
    uint32_t t = 0;
    for (int i = 0; i < 4 && s[i]; ++i)
        t |= (uint32_t)(uint8_t)s[i] << (8 * i);
    return t;
}

static std::string TagText(uint32_t tag)
{
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = (char)(tag >> (8 * i));
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

PoolUsage PoolUsageOf(uint32_t tag)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_usage.find(tag);
    return it == g_usage.end() ? PoolUsage{} : it->second;
}

uint64_t PoolAllocationsMade()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_made;
}

void FailAllocation(uint64_t n)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_failIn = n;
}

std::string PoolReport()
{
    std::lock_guard<std::mutex> lock(g_lock);
    std::string r;
    for (auto& [tag, u] : g_usage) {
        if (u.allocations == 0 && u.bytes == 0)
            continue;
        char line[96];
        std::snprintf(line, sizeof line, "pool tag '%s': %lld allocation(s), %lld byte(s) outstanding\n",
                      TagText(tag).c_str(), (long long)u.allocations, (long long)u.bytes);
        r += line;
    }
    return r;
}

}  // namespace sim

using namespace sim;

extern "C" {

PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag)
{
    const bool paged = (type & 1) != 0;
    if (paged && KeGetCurrentIrql() > APC_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "paged pool allocation at dispatch level");
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "pool allocation above dispatch level");
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (g_failIn && --g_failIn == 0)
            return NULL;
        ++g_made;
        auto& u = g_usage[tag];
        ++u.allocations;
        u.bytes += (int64_t)bytes;
    }
    Header* h = (Header*)std::malloc(sizeof(Header) + (bytes ? bytes : 1));
    if (!h)
        Bugcheck("host out of memory");
    h->magic = kLive;
    h->tag = tag;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_live.insert(h);
    }
    h->type = (uint32_t)type;
    h->bytes = bytes;
    // Fresh pool is not zeroed: fill it so that a driver relying on zeroes shows.
    std::memset(h + 1, 0xA5, bytes);
    return h + 1;
}

void ExFreePool(PVOID p)
{
    if (!p)
        Bugcheck("BAD_POOL_CALLER", "ExFreePool(NULL)");
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        Bugcheck("IRQL_NOT_LESS_OR_EQUAL", "pool free above dispatch level");
    Header* h = (Header*)p - 1;
    if (h->magic == kFreed)
        Bugcheck("BAD_POOL_CALLER", "pool block freed twice");
    if (h->magic != kLive)
        Bugcheck("BAD_POOL_CALLER", "not a pool block");
    {
        std::lock_guard<std::mutex> lock(g_lock);
        auto& u = g_usage[h->tag];
        --u.allocations;
        u.bytes -= (int64_t)h->bytes;
        g_live.erase(h);
    }
    h->magic = kFreed;
    std::free(h);
}

void ExFreePoolWithTag(PVOID p, ULONG tag)
{
    if (p && ((Header*)p - 1)->magic == kLive && ((Header*)p - 1)->tag != tag)
        Bugcheck("BAD_POOL_CALLER", "ExFreePoolWithTag with another tag");
    ExFreePool(p);
}

}  // extern "C"
