// morvane-gyro-tools: the desktop program.
#include "app/gyro_tools_app.h"
#include "platform/qt/qt_program.h"
#include "res/resources.h"

int main(int argc, char** argv) {
    platform::qt::QtProgramSetup setup;
    setup.templates = FindDialogTemplate;
    setup.icons = LoadIconXpm;
    setup.nProgramIconId = IDR_MAINFRAME;
    setup.initInstance = [] { return theApp.InitInstance(); };
    return platform::qt::RunQtProgram(argc, argv, setup);
}
