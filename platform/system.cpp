#include "platform/system.h"

namespace platform {

namespace {

std::optional<SystemVersion> g_versionOverride;

}  // namespace

SystemVersion GetSystemVersion() {
    return g_versionOverride.value_or(SystemVersion{});
}

void SetSystemVersionOverride(std::optional<SystemVersion> version) {
    g_versionOverride = version;
}

}  // namespace platform
