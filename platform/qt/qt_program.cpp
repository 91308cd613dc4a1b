#include "platform/qt/qt_program.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdio>
#include <memory>

#include "platform/files.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/qt_ui_host.h"
#include "platform/single_instance.h"

namespace platform::qt {

namespace {

// Brings the program's visible windows to the front: the sheet, and any box over it.
void BringToFront() {
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        if (!pWidget->isVisible())
            continue;
        pWidget->setWindowState((pWidget->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        pWidget->raise();
        pWidget->activateWindow();
    }
}

}  // namespace

int RunQtProgram(int argc, char** argv, const QtProgramSetup& setup) {
    char path[MAX_FILE_PATH] = "";
    GetExecutablePath(path, MAX_FILE_PATH);
    SingleInstance instance(path[0] ? path : argv[0]);
    if (!instance.IsFirst() && instance.ActivateRunningCopy())
        return 0;
    if (!instance.Problem().empty())
        std::fprintf(stderr, "%s: starting without the one-copy lock: %s\n", setup.pszProgramName,
                     instance.Problem().c_str());

    QApplication app(argc, argv);
    // Qt has taken its own options (-platform, -style, ...); the program takes none.
    if (app.arguments().size() > 1) {
        std::fprintf(stderr, "%s: unknown option \"%s\"; try '%s --help'\n", setup.pszProgramName,
                     app.arguments()[1].toLocal8Bit().constData(), setup.pszProgramName);
        return 2;
    }
    QtEventLoop loop;
    QtUiHost host(loop);
    if (setup.icons)
        host.SetIconLookup(setup.icons, setup.nProgramIconId);
    ui::SetHost(&host);
    ui::SetTemplateLookup(setup.templates);

    // A copy that does not listen gets no notifier: Qt refuses one for descriptor -1.
    std::unique_ptr<QSocketNotifier> pActivation;
    if (instance.ActivationFd() >= 0) {
        pActivation =
            std::make_unique<QSocketNotifier>(instance.ActivationFd(), QSocketNotifier::Read);
        QObject::connect(pActivation.get(), &QSocketNotifier::activated, [&instance] {
            if (instance.TakeActivation())
                BringToFront();
        });
    }

    if (setup.initInstance)
        setup.initInstance();
    ui::SetHost(nullptr);
    return 0;
}

}  // namespace platform::qt
