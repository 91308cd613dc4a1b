// The operating system's platform identifier and version, as the handheld reports them.
//
// On Linux the system reports the handheld's Windows CE platform, so the code written for it
// takes its own paths. Tests may report any platform and version.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

enum : uint32_t {
    PLATFORM_WIN32S = 0,
    PLATFORM_WIN32_WINDOWS = 1,  // the Windows 95 family
    PLATFORM_WIN32_NT = 2,
    PLATFORM_WIN32_CE = 3,
};

struct SystemVersion {
    uint32_t nPlatformId = PLATFORM_WIN32_CE;
    uint32_t nMajorVersion = 5;
    uint32_t nMinorVersion = 0;

    bool operator==(const SystemVersion&) const = default;
};

// The reported platform and version: Windows CE 5.0 unless overridden.
SystemVersion GetSystemVersion();
// Makes GetSystemVersion report that version (tests); nullopt puts the default back.
void SetSystemVersionOverride(std::optional<SystemVersion> version);

}  // namespace platform
