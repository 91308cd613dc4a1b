// What each system's file backend (files.cpp, win32/files_win32.cpp) gives the shared file
// services of files_common.cpp.
#pragma once

#include <string>

namespace platform {

// The running program's own path; empty when the system cannot tell.
std::string RunningProgramPath();
// Makes the folder and any missing parents; 0 or the errno of the step that failed.
int MakeFolders(const std::string& strFolder);

}  // namespace platform
