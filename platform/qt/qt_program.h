// The desktop program's frame: Qt's application, the Qt backend of the dialog framework,
// and the one-copy rule. Its interface carries no Qt types, so the program's own start-up
// code stays free of the toolkit.
#pragma once

#include <functional>

#include "platform/ui/ui.h"

namespace platform::qt {

struct QtProgramSetup {
    // Named in the hint for an argument neither Qt nor the program takes.
    const char* pszProgramName = "";
    ui::TemplateLookup templates = nullptr;
    const char* const* (*icons)(int nId) = nullptr;
    int nProgramIconId = 0;
    // The application's start-up; it runs the sheet and returns when it is closed.
    std::function<bool()> initInstance;
};

// Runs the program. A copy started while another copy of the same executable runs brings
// that copy's window to the front and ends without starting. An argument that Qt does not
// take ends it with a one-line hint and 2.
int RunQtProgram(int argc, char** argv, const QtProgramSetup& setup);

}  // namespace platform::qt
