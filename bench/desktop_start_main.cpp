// morvane-bench-desktop: the desktop program as morvane-gyro-tools starts it, ending as soon as
// its property sheet is shown and its modal loop has taken two rounds of events. morvane-bench
// runs it on Qt's offscreen platform and measures the time to that moment and the peak memory.
#include <unistd.h>

#include "app/gyro_tools_app.h"
#include "platform/event_loop.h"
#include "platform/qt/qt_program.h"
#include "platform/ui/ui.h"
#include "res/resources.h"

int main(int argc, char** argv) {
    platform::qt::QtProgramSetup setup;
    setup.pszProgramName = "morvane-bench-desktop";
    setup.templates = FindDialogTemplate;
    setup.icons = LoadIconXpm;
    setup.nProgramIconId = IDR_MAINFRAME;
    setup.initInstance = [] {
        platform::EventLoop& loop = platform::ui::CurrentHost().Loop();
        // Posted messages run once a loop runs: the sheet's own, after it has been shown.
        loop.Post([&loop] { loop.Post([] { _exit(0); }); });
        return theApp.InitInstance();
    };
    return platform::qt::RunQtProgram(argc, argv, setup);
}
