#include "platform/win32/win32_event_loop.h"

#include <algorithm>

#include "platform/win32/windows_ui_api.h"

namespace platform::win32 {

namespace {

constexpr int64_t NS_PER_MS = 1'000'000;
constexpr UINT WM_LOOP_WAKE = WM_APP + 0x100;
constexpr UINT WM_LOOP_POSTED = WM_APP + 0x101;
constexpr UINT WM_LOOP_READY = WM_APP + 0x102;
// At most this many waiting input messages go ahead of one timer.
constexpr int INPUT_AHEAD_LIMIT = 64;
const wchar_t LOOP_WINDOW_CLASS[] = L"MorvaneLoopWindow";

LRESULT CALLBACK LoopWindowProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* pLoop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (pLoop) {
        bool bHandled = false;
        const intptr_t nResult = pLoop->HandleMessage(nMsg, wParam, lParam, bHandled);
        if (bHandled)
            return nResult;
    }
    return DefWindowProcW(hwnd, nMsg, wParam, lParam);
}

HWND HwndOf(void* hwnd) {
    return static_cast<HWND>(hwnd);
}

void CALLBACK OnTimerDue(PTP_CALLBACK_INSTANCE, PVOID pContext, PTP_TIMER) {
    // The pool's thread only posts: everything runs on the loop's thread.
    auto* pLoop = static_cast<Win32EventLoop*>(pContext);
    PostMessageW(HwndOf(pLoop->Window()), WM_LOOP_WAKE, 0, 0);
}

}  // namespace

// A watched handle's thread-pool wait; its callback posts the handle's readiness.
struct Win32EventLoop::Wait {
    HWND hwnd = nullptr;
    int nFd = -1;
    unsigned nGeneration = 0;
    PTP_WAIT pWait = nullptr;
};

namespace {

void CALLBACK OnHandleSignalled(PTP_CALLBACK_INSTANCE, PVOID pContext, PTP_WAIT, TP_WAIT_RESULT) {
    const auto* pWait = static_cast<const Win32EventLoop::Wait*>(pContext);
    PostMessageW(pWait->hwnd, WM_LOOP_READY, static_cast<WPARAM>(pWait->nFd),
                 static_cast<LPARAM>(pWait->nGeneration));
}

}  // namespace

Win32EventLoop::Win32EventLoop() : m_nStartNs(SteadyNowNs()) {
    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LoopWindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = LOOP_WINDOW_CLASS;
    RegisterClassExW(&wc);
    // Top-level, never shown: message-only windows do not hear the system's broadcasts.
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, LOOP_WINDOW_CLASS, L"", WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, hInstance, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_hwnd = hwnd;
    m_pTimer = CreateThreadpoolTimer(OnTimerDue, this, nullptr);
}

Win32EventLoop::~Win32EventLoop() {
    for (auto& [nFd, pWait] : m_waits) {
        SetThreadpoolWait(pWait->pWait, nullptr, nullptr);
        WaitForThreadpoolWaitCallbacks(pWait->pWait, TRUE);
        CloseThreadpoolWait(pWait->pWait);
    }
    if (auto* pTimer = static_cast<PTP_TIMER>(m_pTimer)) {
        SetThreadpoolTimer(pTimer, nullptr, 0, 0);
        WaitForThreadpoolTimerCallbacks(pTimer, TRUE);
        CloseThreadpoolTimer(pTimer);
    }
    SetWindowLongPtrW(HwndOf(m_hwnd), GWLP_USERDATA, 0);
    DestroyWindow(HwndOf(m_hwnd));
    // Messages of this loop still queued would reach no one.
    MSG msg;
    while (PeekMessageW(&msg, HwndOf(m_hwnd), WM_LOOP_WAKE, WM_LOOP_READY, PM_REMOVE)) {
    }
}

int64_t Win32EventLoop::NowNs() const {
    return SteadyNowNs() - m_nStartNs;
}

intptr_t Win32EventLoop::HandleMessage(unsigned nMsg, uintptr_t wParam, intptr_t lParam,
                                       bool& bHandled) {
    bHandled = true;
    switch (nMsg) {
        case WM_LOOP_WAKE:
            m_bWakePosted = false;
            Wake();
            return 0;
        case WM_LOOP_POSTED:
            m_bPostedMessagePending = false;
            RunPosted();
            return 0;
        case WM_LOOP_READY:
            HandleReady(static_cast<int>(wParam), static_cast<unsigned>(lParam));
            return 0;
        case WM_DEVICECHANGE:
            if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) &&
                m_onDeviceChange)
                m_onDeviceChange();
            return TRUE;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam && m_onSessionEnd)
                m_onSessionEnd();
            return 0;
        default:
            bHandled = false;
            return 0;
    }
}

void Win32EventLoop::Post(std::function<void()> message) {
    m_posted.push_back(std::move(message));
    if (!m_bPostedMessagePending) {
        m_bPostedMessagePending = true;
        PostMessageW(HwndOf(m_hwnd), WM_LOOP_POSTED, 0, 0);
    }
}

void Win32EventLoop::RunPosted() {
    // Only those waiting now: a call that posts again goes round the queue first.
    size_t nCount = m_posted.size();
    while (nCount-- > 0 && !m_posted.empty()) {
        auto message = std::move(m_posted.front());
        m_posted.pop_front();
        message();
    }
    if (!m_posted.empty() && !m_bPostedMessagePending) {
        m_bPostedMessagePending = true;
        PostMessageW(HwndOf(m_hwnd), WM_LOOP_POSTED, 0, 0);
    }
}

void Win32EventLoop::Reschedule() {
    int64_t nWake = std::min(NextDeviceWorkNs(), m_timers.NextDueNs());
    auto* pTimer = static_cast<PTP_TIMER>(m_pTimer);
    if (!pTimer)
        return;
    if (nWake == INT64_MAX) {
        if (m_nArmedNs != INT64_MAX) {
            m_nArmedNs = INT64_MAX;
            SetThreadpoolTimer(pTimer, nullptr, 0, 0);
        }
        return;
    }
    const int64_t nNow = NowNs();
    if (nWake <= nNow) {
        // Due already: straight to the queue.
        if (!m_bWakePosted.exchange(true))
            PostMessageW(HwndOf(m_hwnd), WM_LOOP_WAKE, 0, 0);
        return;
    }
    if (nWake == m_nArmedNs)
        return;
    m_nArmedNs = nWake;
    // Relative, in 100 ns units (negative), rounded up: early would find nothing due.
    const int64_t nRelative = -((nWake - nNow + 99) / 100);
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(nRelative);
    FILETIME ft;
    ft.dwLowDateTime = due.LowPart;
    ft.dwHighDateTime = due.HighPart;
    SetThreadpoolTimer(pTimer, &ft, 0, 0);
}

void Win32EventLoop::Wake() {
    m_nArmedNs = INT64_MAX;
    while (RunDeviceWorkDue(NowNs())) {
    }
    if (m_timers.NextDueNs() <= NowNs())
        DeliverTimer();
    Reschedule();
}

void Win32EventLoop::DeliverTimer() {
    // Timer messages are the lowest priority: the keyboard and mouse input and the calls
    // posted by now go first. A handler among them may open a modal box; timers keep firing
    // there, through this loop's messages.
    MSG msg;
    for (int i = 0;
         i < INPUT_AHEAD_LIMIT && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT); ++i)
        DispatchMessageOf(&msg);
    if (!m_posted.empty())
        RunPosted();
    while (RunDeviceWorkDue(NowNs())) {
    }
    if (const auto due = m_timers.TakeDue(NowNs())) {
        // Armed before the handler runs, so timers keep firing in a modal box it opens.
        Reschedule();
        due->pWindow->OnTimer(due->nId);
    }
}

void Win32EventLoop::WatchChanged(int nFd, bool bWatched) {
    const auto it = m_waits.find(nFd);
    if (it != m_waits.end()) {
        SetThreadpoolWait(it->second->pWait, nullptr, nullptr);
        WaitForThreadpoolWaitCallbacks(it->second->pWait, TRUE);
        CloseThreadpoolWait(it->second->pWait);
        m_waits.erase(it);
    }
    if (!bWatched)
        return;
    auto pWait = std::make_unique<Wait>();
    pWait->hwnd = HwndOf(m_hwnd);
    pWait->nFd = nFd;
    pWait->nGeneration = ++m_nWaitGeneration;
    pWait->pWait = CreateThreadpoolWait(OnHandleSignalled, pWait.get(), nullptr);
    if (!pWait->pWait)
        return;
    m_waits[nFd] = std::move(pWait);
    ArmWait(nFd);
}

void Win32EventLoop::ArmWait(int nFd) {
    const auto it = m_waits.find(nFd);
    if (it != m_waits.end())
        SetThreadpoolWait(it->second->pWait,
                          reinterpret_cast<HANDLE>(static_cast<intptr_t>(it->second->nFd)),
                          nullptr);
}

void Win32EventLoop::HandleReady(int nFd, unsigned nGeneration) {
    const auto it = m_waits.find(nFd);
    // A wait since replaced or ended has nothing to say.
    if (it == m_waits.end() || it->second->nGeneration != nGeneration)
        return;
    DescriptorReady(nFd);
    // Still signalled (the handler read nothing) fires again at once, as a readable
    // descriptor would.
    ArmWait(nFd);
}

void Win32EventLoop::DispatchMessageOf(void* pMsg) {
    auto* pMessage = static_cast<MSG*>(pMsg);
    if (m_preTranslate && m_preTranslate(pMessage))
        return;
    TranslateMessage(pMessage);
    DispatchMessageW(pMessage);
}

bool Win32EventLoop::PumpUntil(int64_t nUntilNs) {
    const int64_t nWaitNs = std::max<int64_t>(0, nUntilNs - NowNs());
    const auto nWaitMs =
        static_cast<DWORD>(std::min<int64_t>((nWaitNs + NS_PER_MS - 1) / NS_PER_MS, INFINITE - 1));
    MsgWaitForMultipleObjectsEx(0, nullptr, nWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return true;
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    DispatchMessageOf(&msg);
    return true;
}

void Win32EventLoop::Sleep(unsigned nMs) {
    BlockRunningDeviceWork(nMs);
    Reschedule();
}

void Win32EventLoop::RunFor(int64_t nMs) {
    const int64_t nEndNs = NowNs() + nMs * NS_PER_MS;
    while (NowNs() < nEndNs && PumpUntil(nEndNs)) {
    }
}

bool Win32EventLoop::RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) {
    const int64_t nEndNs = NowNs() + nLimitMs * NS_PER_MS;
    while (!pred()) {
        if (NowNs() >= nEndNs || !PumpUntil(nEndNs))
            return pred();
    }
    return true;
}

}  // namespace platform::win32
