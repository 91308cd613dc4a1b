// What SIGINT, SIGTERM and SIGHUP do to the sheet, in both programs. Each signal comes from
// the loop (platform/signal_watch.h) and ends the work under way through the ending a tap or
// a time-out takes, so the port is closed and given back as it was found:
//  - a Read is ended at once;
//  - a Store writes its remaining words on the first signal and is stopped at once by a
//    second; one that has not written a word yet is stopped at once;
//  - an upload stops on the first signal as "Stop Sending" answered Yes does (the record in
//    flight is answered first), and at once on a second; one whose port is not open yet is
//    called off at once.
#pragma once

#include "app/config_sheet.h"

enum class InterruptAction {
    NOTHING_RUNNING,
    READ_ENDED,
    STORE_FINISHING,
    STORE_ENDED,
    UPLOAD_STOPPING,
    UPLOAD_ENDED,
    UPLOAD_CALLED_OFF,
};

class CSheetInterrupt final : private platform::CTimerTarget {
  public:
    explicit CSheetInterrupt(CTQ480ConfigSheet& sheet);
    ~CSheetInterrupt();
    CSheetInterrupt(const CSheetInterrupt&) = delete;
    CSheetInterrupt& operator=(const CSheetInterrupt&) = delete;

    // One signal; nCount how many have come so far, this one included.
    InterruptAction OnSignal(int nSignal, int nCount);
    // The first signal, 0 before any.
    int Signal() const { return m_nSignal; }
    // 128 + the first signal, as a shell reports a process that a signal ended.
    int ExitStatus() const { return 128 + m_nSignal; }
    // A Read, Store or upload is under way, from the tap that starts it to its ending.
    bool Running() const;
    // Store words acknowledged by the gyro so far, and whether the next one was sent and
    // awaits its acknowledgement.
    int StoreWordsWritten() const;
    bool StoreWordInFlight() const;
    // Quitting: ends the sheet, without asking its pages, as soon as nothing runs.
    void EndSheetWhenIdle();

  private:
    void OnTimer(unsigned nIdEvent) override;

    CTQ480ConfigSheet& m_sheet;
    int m_nSignal = 0;
};
