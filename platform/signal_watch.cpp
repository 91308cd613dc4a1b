#include "platform/signal_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace platform {

namespace {

constexpr int WATCHED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// The writing end for the handler; -1 while no watch lives.
volatile sig_atomic_t g_nSignalPipe = -1;
struct sigaction g_previous[3];

void OnSignal(int nSignal) {
    const int nSavedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    if (g_nSignalPipe >= 0) [[maybe_unused]]
        const ssize_t nWritten = write(g_nSignalPipe, &byte, 1);
    errno = nSavedErrno;
}

}  // namespace

CSignalWatch::CSignalWatch(EventLoop& loop, std::function<void(int, int)> onSignal)
    : m_loop(loop), m_onSignal(std::move(onSignal)) {
    int fds[2];
    if (g_nSignalPipe >= 0 || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_nReadFd = fds[0];
    g_nSignalPipe = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(WATCHED_SIGNALS); ++i)
        sigaction(WATCHED_SIGNALS[i], &action, &g_previous[i]);
    m_loop.WatchDescriptor(m_nReadFd, [this] { Drain(); });
}

CSignalWatch::~CSignalWatch() {
    if (m_nReadFd < 0)
        return;
    for (size_t i = 0; i < std::size(WATCHED_SIGNALS); ++i)
        sigaction(WATCHED_SIGNALS[i], &g_previous[i], nullptr);
    m_loop.UnwatchDescriptor(m_nReadFd);
    const int nWriteFd = g_nSignalPipe;
    g_nSignalPipe = -1;
    close(nWriteFd);
    close(m_nReadFd);
}

void CSignalWatch::Drain() {
    unsigned char signals[16];
    const ssize_t nRead = read(m_nReadFd, signals, sizeof signals);
    for (ssize_t i = 0; i < nRead; ++i) {
        ++m_nCount;
        if (m_nFirstSignal == 0)
            m_nFirstSignal = signals[i];
        m_onSignal(signals[i], m_nCount);
    }
}

}  // namespace platform
