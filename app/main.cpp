// morvane-gyro-tools: the desktop program.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/gyro_tools_app.h"
#include "link/wire_trace.h"
#include "platform/append_file.h"
#ifdef _WIN32
#include "platform/win32/win32_program.h"
#else
#include "platform/qt/qt_program.h"
#endif
#include "platform/ui/ui.h"
#include "res/resources.h"
#include "res/version.h"
#include "shell/history.h"

namespace {

const char USAGE[] =
    "Usage: morvane-gyro-tools [-h | --help | --version]\n"
    "       morvane-gyro-tools --trace FILE\n"
    "Configures the Morvane tq480 tail-rotor gyro of a radio-controlled helicopter\n"
    "through a serial port: reads its identity and its parameters, stores them back\n"
    "after the safety agreement, and updates its firmware from a .fwr file (the\n"
    "tq390's too).\n"
    "\n"
    "  --trace FILE  adds a wire trace to FILE ('-': standard error): every port\n"
    "                opened and closed, every byte sent and received, every step\n"
    "                of Read, Store and the firmware update, one line each; send\n"
    "                it with a request for help\n"
    "  -h, --help    show this text\n"
    "  --version     show the program's version\n"
    "\n"
#ifdef _WIN32
    "The chosen port is kept in morvane.ini beside the program or, when that folder\n"
    "or file cannot be written (as under Program Files), in\n"
    "%APPDATA%\\Morvane\\morvane.ini; until that one exists, a read-only file beside\n"
    "the program still names the port. Each completed read and store keeps the\n"
    "parameter set in %LOCALAPPDATA%\\Morvane\\history. morvane-gyro-cli does the\n"
    "same from the command line.\n";
#else
    "The chosen port is kept in morvane.ini beside the program or, when that folder\n"
    "or file cannot be written, in $XDG_CONFIG_HOME/morvane/morvane.ini\n"
    "(~/.config/morvane/morvane.ini); until that one exists, a read-only file beside\n"
    "the program still names the port. Each completed read and store keeps the\n"
    "parameter set in $XDG_STATE_HOME/morvane/history (~/.local/state/morvane/\n"
    "history). morvane-gyro-cli does the same from the command line.\n";
#endif

}  // namespace

#ifdef _WIN32
namespace desktop = platform::win32;
using ProgramSetup = desktop::Win32ProgramSetup;
#else
namespace desktop = platform::qt;
using ProgramSetup = desktop::QtProgramSetup;
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    desktop::UseParentConsole();
#endif
    // --trace FILE is the program's own: Qt never sees it.
    std::optional<std::string> traceFile;
    std::vector<char*> qtArgs;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--trace") == 0) {
            if (i + 1 >= argc) {
                std::fputs(
                    "morvane-gyro-tools: --trace needs a FILE; try 'morvane-gyro-tools "
                    "--help'\n",
                    stderr);
                return 2;
            }
            traceFile = argv[++i];
        } else {
            qtArgs.push_back(argv[i]);
        }
    }
    argc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);
    argv = qtArgs.data();
    // Answered before Qt starts, so they work without a display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("morvane-gyro-tools " MORVANE_VERSION);
        return 0;
    }
    SetHistoryFailureReport([](const std::string& strWhy) {
        std::fprintf(stderr, "morvane-gyro-tools: history not kept: %s\n", strWhy.c_str());
    });
    platform::CAppendFile traceOutput;
    if (traceFile) {
        if (const int nError = traceOutput.Open(*traceFile)) {
            std::fprintf(stderr, "morvane-gyro-tools: trace %s: %s\n", traceFile->c_str(),
                         std::strerror(nError));
            return 2;
        }
    }
    ProgramSetup setup;
    setup.pszProgramName = "morvane-gyro-tools";
    setup.templates = FindDialogTemplate;
    setup.icons = LoadIconXpm;
    setup.nProgramIconId = IDR_MAINFRAME;
    setup.initInstance = [&traceFile, &traceOutput] {
        // On the clock of the loop that runs the program.
        std::optional<CWireTrace> trace;
        if (traceFile)
            trace.emplace(traceOutput, platform::ui::CurrentHost().Loop(),
                          "morvane-gyro-tools " MORVANE_VERSION);
        return theApp.InitInstance();
    };
#ifdef _WIN32
    const int nResult = desktop::RunWin32Program(argc, argv, setup);
#else
    const int nResult = desktop::RunQtProgram(argc, argv, setup);
#endif
    return nResult != 0 ? nResult : theApp.ExitStatus();
}
