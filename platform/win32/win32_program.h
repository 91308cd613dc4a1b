// The desktop program's frame on Windows: the Windows message loop, the native backend of the
// dialog framework and the one-copy rule. Its interface carries no Windows types, so the
// program's own start-up code stays free of them.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/ui.h"

namespace platform::win32 {

struct Win32ProgramSetup {
    // Named in the hint for an argument the program does not take.
    const char* pszProgramName = "";
    ui::TemplateLookup templates = nullptr;
    const char* const* (*icons)(int nId) = nullptr;
    int nProgramIconId = 0;
    // The application's start-up; it runs the sheet and returns when it is closed.
    std::function<bool()> initInstance;
};

// Runs the program. A copy started while another copy of the same executable runs brings
// that copy's windows to the front and ends without starting. Any argument ends it with a
// one-line hint and 2.
int RunWin32Program(int argc, char** argv, const Win32ProgramSetup& setup);

// A program of the windows subsystem has no console; started from one, it writes its
// standard output and error there, unless they were redirected already.
void UseParentConsole();

// The name of the one-copy lock for an executable: its full path with every backslash
// turned into a slash (a backslash would name a namespace), prefixed to be per session.
// Paths longer than a kernel object's name may be are shortened to a hash of the rest.
std::wstring OneCopyLockName(const std::wstring& strExecutablePath);

}  // namespace platform::win32
