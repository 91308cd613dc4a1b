#include "platform/qt/qt_program.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

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

// True when something accepts a connection on the X display named like ":0", "unix:1.0" or
// "host:10.0": the local server's socket (path or abstract), else TCP port 6000 + number.
bool XDisplayReachable(const std::string& strDisplay) {
    const size_t nColon = strDisplay.rfind(':');
    if (nColon == std::string::npos || nColon + 1 >= strDisplay.size())
        return false;
    const std::string strHost = strDisplay.substr(0, nColon);
    const int nNumber = std::atoi(strDisplay.c_str() + nColon + 1);
    auto tryConnect = [](int nFamily, const sockaddr* pAddress, socklen_t nLength) {
        const int nFd = socket(nFamily, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (nFd < 0)
            return false;
        const bool bConnected = connect(nFd, pAddress, nLength) == 0;
        close(nFd);
        return bConnected;
    };
    if (strHost.empty() || strHost == "unix") {
        const std::string strPath = "/tmp/.X11-unix/X" + std::to_string(nNumber);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, strPath.c_str(), strPath.size());
        if (tryConnect(AF_UNIX, reinterpret_cast<sockaddr*>(&address), sizeof address))
            return true;
        // The same name in the abstract namespace: a leading zero byte.
        std::memset(address.sun_path, 0, sizeof address.sun_path);
        std::memcpy(address.sun_path + 1, strPath.c_str(), strPath.size());
        const auto nLength =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + strPath.size());
        if (tryConnect(AF_UNIX, reinterpret_cast<sockaddr*>(&address), nLength))
            return true;
        if (!strHost.empty())
            return false;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pList = nullptr;
    const std::string strPort = std::to_string(6000 + nNumber);
    if (getaddrinfo(strHost.empty() ? "localhost" : strHost.c_str(), strPort.c_str(), &hints,
                    &pList) != 0)
        return false;
    bool bReached = false;
    for (const addrinfo* p = pList; p && !bReached; p = p->ai_next)
        bReached = tryConnect(p->ai_family, p->ai_addr, p->ai_addrlen);
    freeaddrinfo(pList);
    return bReached;
}

// Whether Qt will find a screen: a platform without one (offscreen, minimal, a framebuffer)
// always does; Wayland needs WAYLAND_DISPLAY, X11 a display that answers. Qt itself aborts
// the process when it finds none, so the program asks first. The platform comes from
// "-platform NAME" among the arguments, else QT_QPA_PLATFORM (a ';' list Qt tries in order,
// each NAME possibly followed by ":options"), else Wayland or X11.
bool DisplayUsable(int argc, char** argv) {
    std::string strPlatforms;
    if (const char* psz = std::getenv("QT_QPA_PLATFORM"))
        strPlatforms = psz;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            strPlatforms = argv[i + 1];
    const char* pszWayland = std::getenv("WAYLAND_DISPLAY");
    const char* pszX = std::getenv("DISPLAY");
    const bool bWayland = pszWayland && *pszWayland;
    auto xUsable = [pszX] { return pszX && *pszX && XDisplayReachable(pszX); };
    if (strPlatforms.empty())
        return bWayland || xUsable();
    size_t nStart = 0;
    while (nStart <= strPlatforms.size()) {
        size_t nEnd = strPlatforms.find(';', nStart);
        if (nEnd == std::string::npos)
            nEnd = strPlatforms.size();
        const std::string strEntry = strPlatforms.substr(nStart, nEnd - nStart);
        const std::string strName = strEntry.substr(0, strEntry.find(':'));
        if (strName == "xcb") {
            if (xUsable())
                return true;
        } else if (strName.rfind("wayland", 0) == 0) {
            if (bWayland)
                return true;
        } else if (!strName.empty()) {
            return true;  // offscreen, minimal, vnc, eglfs, linuxfb, ...: no display to find
        }
        nStart = nEnd + 1;
    }
    return false;
}

}  // namespace

int RunQtProgram(int argc, char** argv, const QtProgramSetup& setup) {
    char path[MAX_FILE_PATH] = "";
    GetExecutablePath(path, MAX_FILE_PATH);
    if (!DisplayUsable(argc, argv)) {
        const char* pszX = std::getenv("DISPLAY");
        const std::string strWhich =
            pszX && *pszX ? "\"" + std::string(pszX) + "\"" : "(none is set)";
        std::fprintf(stderr, "%s: cannot open the display %s; set DISPLAY or WAYLAND_DISPLAY\n",
                     setup.pszProgramName, strWhich.c_str());
        return 1;
    }
    SingleInstance instance(path[0] ? path : argv[0]);
    if (!instance.IsFirst() && instance.ActivateRunningCopy()) {
        std::fprintf(stderr, "%s: already running; its window was brought to the front\n",
                     setup.pszProgramName);
        return 0;
    }
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
