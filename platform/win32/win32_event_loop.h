// The event loop on the Windows message loop, for the desktop program: the timer table and
// rules of every loop (platform/event_loop.h) on the real clock.
//
// Everything the loop does arrives as a message to a hidden window of its own, so that it
// goes on in any message loop of the thread: this loop's, a dialog's, and the system's own
// modal loops (a message box, the file-open dialog), which know nothing of it.
//  - The wake-up is a thread-pool timer armed at the next moment something falls due; its
//    callback only posts a message. The system's timer tick is 1 ms for the program's life.
//  - Watched descriptors are waitable handles (as on the Windows headless loop); a thread-pool
//    wait posts a message when one is signalled, and is armed again after its handler.
//  - A due window timer is delivered after the keyboard and mouse input waiting at that
//    moment and the calls posted before it: timer messages are the lowest priority.
//  - The hidden window is a top-level window that is never shown, so it hears the system's
//    broadcasts: device arrival and removal, and the end of the session.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/event_loop.h"

namespace platform::win32 {

class Win32EventLoop final : public EventLoop {
  public:
    Win32EventLoop();
    ~Win32EventLoop() override;
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    int64_t NowNs() const override;
    void Sleep(unsigned nMs) override;
    void Post(std::function<void()> message) override;
    // Runs the thread's message loop (nested when called from a handler).
    void RunFor(int64_t nMs) override;
    bool RunUntil(const std::function<bool()>& pred, int64_t nLimitMs) override;

    // The hidden window's handle (an HWND), for the program's own messages.
    void* Window() const { return m_hwnd; }

    // Called for every message this loop takes from the queue before it is dispatched; true
    // when it was handled (a dialog's keys). The user interface sets it.
    using PreTranslate = std::function<bool(void* pMsg)>;
    void SetPreTranslate(PreTranslate preTranslate) { m_preTranslate = std::move(preTranslate); }
    // Dispatches one message as this loop does: the pre-translation, then the window's.
    void DispatchMessageOf(void* pMsg);

    // Told of the system's device arrival and removal broadcasts (any device).
    void SetDeviceChange(std::function<void()> onChange) { m_onDeviceChange = std::move(onChange); }
    // Told when the session ends (log off, shut down) before Windows ends the process: it must
    // return only when the program's work has ended.
    void SetSessionEnd(std::function<void()> onEnd) { m_onSessionEnd = std::move(onEnd); }

    // The hidden window's procedure's work (public for the window procedure only).
    intptr_t HandleMessage(unsigned nMsg, uintptr_t wParam, intptr_t lParam, bool& bHandled);

    // A watched handle's thread-pool wait (defined in the source).
    struct Wait;

  protected:
    void Rescheduled() override { Reschedule(); }
    void WatchChanged(int nFd, bool bWatched) override;

  private:
    void Wake();
    void DeliverTimer();
    void RunPosted();
    void Reschedule();
    void ArmWait(int nFd);
    void HandleReady(int nFd, unsigned nGeneration);
    // Waits for a message at most until the moment given (loop clock) and dispatches what
    // has come; false on WM_QUIT, which is put back for the outer loop.
    bool PumpUntil(int64_t nUntilNs);

    int64_t m_nStartNs;
    void* m_hwnd = nullptr;
    void* m_pTimer = nullptr;  // PTP_TIMER
    int64_t m_nArmedNs = INT64_MAX;
    std::atomic<bool> m_bWakePosted{false};
    bool m_bDeliveryPending = false;
    std::deque<std::function<void()>> m_posted;
    bool m_bPostedMessagePending = false;
    std::map<int, std::unique_ptr<Wait>> m_waits;
    unsigned m_nWaitGeneration = 0;
    PreTranslate m_preTranslate;
    std::function<void()> m_onDeviceChange;
    std::function<void()> m_onSessionEnd;
};

}  // namespace platform::win32
