// The console's Ctrl+C, Ctrl+Break and close as the loop's signals. Windows calls the console
// handler on a thread of its own: the handler only queues the event's signal number and sets
// an event that the loop watches, and the program's handler runs from the loop, as on Linux.
// Ctrl+C is SIGINT and Ctrl+Break SIGBREAK, as the C library names them; closing the console,
// logging off and shutting down are SIGTERM. For those three Windows ends the process as soon
// as the handler returns, so the handler waits (within the system's few seconds) until the
// watch is gone, by which time the program has closed its port through its usual ending path.
#include <csignal>
#include <deque>
#include <mutex>

#include "platform/signal_watch.h"
#include "platform/win32/session_signal.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

// How long a close, logoff or shutdown waits for the program to end its work; Windows allows
// five seconds for closing the console.
constexpr DWORD CLOSE_WAIT_MS = 4500;

std::mutex g_mutex;
std::deque<int> g_pending;
// Set while a watch lives; g_hGone is signalled when it has gone.
HANDLE g_hArrived = nullptr;
HANDLE g_hGone = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD nEvent) {
    int nSignal = SIGTERM;
    if (nEvent == CTRL_C_EVENT)
        nSignal = SIGINT;
    else if (nEvent == CTRL_BREAK_EVENT)
        nSignal = SIGBREAK;
    HANDLE hGone = nullptr;
    {
        std::lock_guard lock(g_mutex);
        if (!g_hArrived)
            return FALSE;
        g_pending.push_back(nSignal);
        SetEvent(g_hArrived);
        hGone = g_hGone;
    }
    if (nSignal == SIGTERM)
        WaitForSingleObject(hGone, CLOSE_WAIT_MS);
    return TRUE;
}

int DescriptorOf(HANDLE h) {
    return static_cast<int>(reinterpret_cast<intptr_t>(h));
}

}  // namespace

CSignalWatch::CSignalWatch(EventLoop& loop, std::function<void(int, int)> onSignal)
    : m_loop(loop), m_onSignal(std::move(onSignal)) {
    {
        std::lock_guard lock(g_mutex);
        if (g_hArrived)
            return;
        HANDLE hArrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE hGone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!hArrived || !hGone) {
            if (hArrived)
                CloseHandle(hArrived);
            if (hGone)
                CloseHandle(hGone);
            return;
        }
        g_hArrived = hArrived;
        g_hGone = hGone;
        g_pending.clear();
    }
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        std::lock_guard lock(g_mutex);
        CloseHandle(g_hArrived);
        CloseHandle(g_hGone);
        g_hArrived = g_hGone = nullptr;
        return;
    }
    m_nReadFd = DescriptorOf(g_hArrived);
    m_loop.WatchDescriptor(m_nReadFd, [this] { Drain(); });
}

CSignalWatch::~CSignalWatch() {
    if (m_nReadFd < 0)
        return;
    m_loop.UnwatchDescriptor(m_nReadFd);
    HANDLE hGone = nullptr;
    {
        std::lock_guard lock(g_mutex);
        CloseHandle(g_hArrived);
        g_hArrived = nullptr;
        hGone = std::exchange(g_hGone, nullptr);
    }
    // A close waiting in the handler may now let Windows end the process. The handler stays
    // registered, answering FALSE, so the event is never handed to a handler that has gone.
    SetEvent(hGone);
}

namespace win32 {

bool QueueSignal(int nSignal) {
    std::lock_guard lock(g_mutex);
    if (!g_hArrived)
        return false;
    g_pending.push_back(nSignal);
    SetEvent(g_hArrived);
    return true;
}

bool SignalWatchLives() {
    std::lock_guard lock(g_mutex);
    return g_hArrived != nullptr;
}

}  // namespace win32

void CSignalWatch::Drain() {
    std::deque<int> signals;
    {
        std::lock_guard lock(g_mutex);
        signals.swap(g_pending);
        ResetEvent(g_hArrived);
    }
    for (const int nSignal : signals) {
        ++m_nCount;
        if (m_nFirstSignal == 0)
            m_nFirstSignal = nSignal;
        m_onSignal(nSignal, m_nCount);
    }
}

}  // namespace platform
