// Files and paths as the handheld's file layer gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// A full file path holds at most MAX_FILE_PATH - 1 characters; longer paths cannot be opened.
constexpr uint32_t MAX_FILE_PATH = 260;

// Copies the full path of the program's executable, terminated, into the buffer and returns
// its length; 0 (buffer emptied when it has room) when the path cannot be read or does not
// fit with its terminator. The path is /proc/self/exe's target unless overridden.
uint32_t GetExecutablePath(char* pBuffer, uint32_t nCapacity);
// Makes GetExecutablePath report that path (tests); nullopt puts the real one back.
void SetExecutablePathOverride(std::optional<std::string> strPath);

// The tool's folder among the user's configuration: $XDG_CONFIG_HOME/morvane, else
// $HOME/.config/morvane; empty when neither variable is set.
std::string UserConfigFolder();

// A path as the user interface holds it (wide text) in the file system's encoding, UTF-8.
std::string NativePath(const std::wstring& strPath);

}  // namespace platform
