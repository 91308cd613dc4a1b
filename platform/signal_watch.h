// SIGINT, SIGTERM and SIGHUP as events of the loop: the handler only writes the signal's
// number into a pipe that the loop watches, and the loop calls the program's handler like
// any other input, so a signal ends work through the same paths as a pilot's tap.
#pragma once

#include <functional>

#include "platform/event_loop.h"

namespace platform {

class CSignalWatch {
  public:
    // Catches the three signals for as long as it lives; one watch at a time per process.
    // The handler runs from the loop and must not destroy the watch.
    // nSignal is SIGINT, SIGTERM or SIGHUP; nCount how many signals have come so far, this
    // one included.
    CSignalWatch(EventLoop& loop, std::function<void(int nSignal, int nCount)> onSignal);
    // Gives the signals back their earlier handling and stops watching.
    ~CSignalWatch();
    CSignalWatch(const CSignalWatch&) = delete;
    CSignalWatch& operator=(const CSignalWatch&) = delete;

    // False when the pipe or a handler could not be set up: the signals then act as before.
    bool IsActive() const { return m_nReadFd >= 0; }
    int Count() const { return m_nCount; }
    // The first signal caught, 0 before any.
    int FirstSignal() const { return m_nFirstSignal; }

  private:
    void Drain();

    EventLoop& m_loop;
    std::function<void(int, int)> m_onSignal;
    int m_nReadFd = -1;
    int m_nCount = 0;
    int m_nFirstSignal = 0;
};

}  // namespace platform
