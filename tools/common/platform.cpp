#include "platform.h"

namespace skin {
namespace {
Platform* g_override = nullptr;
}

Platform& CurrentPlatform() { return g_override ? *g_override : DefaultPlatform(); }

Platform* SetPlatform(Platform* platform)
{
    Platform* previous = g_override;
    g_override = platform;
    return previous;
}

}  // namespace skin
