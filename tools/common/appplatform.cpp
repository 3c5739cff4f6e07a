#include "appplatform.h"

namespace app {
namespace {
Platform* g_override = nullptr;
}

Platform& CurrentAppPlatform() { return g_override ? *g_override : DefaultAppPlatform(); }

Platform* SetAppPlatform(Platform* platform)
{
    Platform* previous = g_override;
    g_override = platform;
    // The skin library draws and reads through the same object.
    skin::SetPlatform(platform);
    return previous;
}

}  // namespace app
