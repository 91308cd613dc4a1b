// Files and paths as the handheld's file layer gives them.
#pragma once

#include <sys/types.h>

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
// A folder of the user's by the XDG rule: $VARIABLE/strTail, else $HOME/strUnderHome/strTail;
// empty when neither variable is set.
std::string XdgUserFolder(const char* pszVariable, const std::string& strUnderHome,
                          const std::string& strTail);

// Replaces the file at strPath by one holding strContent, never truncating it in place: the
// content is written aside into a new file of the same folder, flushed to the disk, renamed
// over the old file, and the folder is flushed. An existing file's permissions (and, where
// allowed, its owner) pass to the new one; a new file gets nMode (less the umask). When any
// step fails the old file stays as it was and the file aside is removed. A path that names
// something other than a regular file or nothing (a terminal, a pipe, /dev/null) is written
// to directly: it holds nothing to keep. 0 when done, else the errno of the failed step.
int ReplaceFile(const std::string& strPath, const std::string& strContent, mode_t nMode);

// A folder that the user alone can change: a real folder (not a link to one) owned by this
// user, which neither its group nor others may write to. Anything a program keeps in a folder
// that another local user could change could be planted or replaced by that user. 0 when
// trusted, else an errno (ENOENT, ENOTDIR, EPERM for a folder of someone else or open to
// others). On Windows: a folder (no reparse point) owned by this user, the Administrators or
// the system, whose permissions let no one else add, remove or change what it holds, nor
// change the folder or its permissions.
int OwnFolderTrusted(const std::string& strFolder);

// Creates the folder (with its missing parents, mode 0700) when needed; 0 when it then is an
// own, trusted folder, else an errno as OwnFolderTrusted gives or the one of the failed mkdir.
int MakeOwnFolder(const std::string& strFolder);

// A path as the user interface holds it (wide text) in the file system's encoding, UTF-8.
std::string NativePath(const std::wstring& strPath);

}  // namespace platform
