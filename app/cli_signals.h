// SIGINT, SIGTERM and SIGHUP for the command-line companion: the sheet's interrupt
// (sheet_interrupt.h) with what it did said on the error stream. The command ends with
// 128 + the first signal's number once the sequence or upload has ended and given the port
// back.
#pragma once

#include <ostream>

#include "app/sheet_interrupt.h"
#include "platform/signal_watch.h"

class CCliSignals {
  public:
    CCliSignals(CTQ480ConfigSheet& sheet, platform::EventLoop& loop, std::ostream& err);

    bool Caught() const { return m_interrupt.Signal() != 0; }
    int ExitStatus() const { return m_interrupt.ExitStatus(); }
    // After an interrupted Read or Store: says that a finished store completed; the status.
    int SequenceEnded(bool bStoreCompleted);
    // After an interrupted upload that did not complete: says that the gyro waits in its
    // loader, unless its port was never opened; the status.
    int FlashEnded(bool bCompleted);

  private:
    void OnSignal(int nSignal, int nCount);

    std::ostream& m_err;
    CSheetInterrupt m_interrupt;
    bool m_bUploadCalledOff = false;
    // Last: no signal reaches the members before they exist.
    platform::CSignalWatch m_watch;
};
