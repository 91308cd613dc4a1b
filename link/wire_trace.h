// The wire trace: when a pilot asks for it, one line for each thing that happens on the
// serial channel and for each state change of the Read/Store and upload machines, for a
// report when a real cable or adapter misbehaves. Off unless a trace is installed; every hook
// then costs one pointer test and nothing is written anywhere.
//
// After a header line, each line starts with the time in ms, to the microsecond, on the
// event loop's clock since the latest port open (before any open, since the trace began):
//   # morvane-gyro-cli 1.07 wire trace, 2026-12-07T13:00:00Z; times in ms since the port ...
//         0.000 open COM1: /dev/pts/4 19200 8N1 DTR off RTS off no flow control: ok
//      1000.000 COM1 > 5 "01234"
//      1010.000 COM1 < 5 "01234"
//      1010.000 read state 4 wakeup-echo -> 5 product-id (timer 104 10 ms; armed 102 1 ms)
//      1554.000 close COM1: ok
// ">" is one write and "<" the bytes taken in one go (one receive poll), with their count;
// bytes 0x20..0x7E stand as they are, but '\' and '"' as \\ and \", every other byte as
// \xNN. A failure ends its line as ": failed (5 Input/output error)"; a read failure that
// comes again at each poll stands once, and before the next event once more with ", 98 more
// times". An open names the device the port resolved to, when known. A state line names
// what ran the step (a timer with its interval, or "call" for a button or an ending) and the
// timers the step armed.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "platform/append_file.h"
#include "platform/event_loop.h"
#include "platform/serial.h"

class CWireTraceStep;

class CWireTrace {
  public:
    // Writes the session header ("# " + strProgram + " wire trace, " UTC time) and installs
    // this trace until it is destroyed. The file and the loop outlive it.
    CWireTrace(platform::CAppendFile& file, const platform::EventLoop& loop,
               const std::string& strProgram);
    ~CWireTrace();
    CWireTrace(const CWireTrace&) = delete;
    CWireTrace& operator=(const CWireTrace&) = delete;

    // The trace installed now; null (the default) when none is.
    static CWireTrace* Current() { return s_pCurrent; }

    // The serial channel's events: nIndex 0 is COM1; a negative result is the channel's
    // code, with the system's error code for COMPORT_SYSTEM_ERROR.
    void Opened(int nIndex, const platform::SerialLineSettings& line, int32_t nResult,
                uint32_t nSystemError);
    // A port that was open has been closed; bReleased false when the release failed.
    void Closed(int nIndex, bool bReleased);
    void Wrote(int nIndex, const void* pBuffer, uint32_t nCount, int32_t nResult,
               uint32_t nSystemError);
    // One ComPortReadByte: a byte joins the bytes taken since the last other event; "no
    // data" ends them as one line.
    void ReadByte(int nIndex, int32_t nResult, uint32_t nSystemError);

    // A state machine's timer set while its step runs (the machine is named by its state).
    void TimerArmed(const int* pnState, unsigned nId, unsigned nMs);

  private:
    friend class CWireTraceStep;

    // One line: the time of nAtNs, then the text.
    void Line(const std::string& strText, int64_t nAtNs);
    // One line now, after the bytes read before it.
    void Event(const std::string& strText);
    // The bytes read since the last other event as one line.
    void FlushRead();
    // How often the last read failure came again since its line, as one line.
    void FlushRepeats();
    // "failed (5 Input/output error)", or with the channel's own code.
    static std::string FailureText(int32_t nResult, uint32_t nSystemError);

    static inline CWireTrace* s_pCurrent = nullptr;

    platform::CAppendFile& m_file;
    const platform::EventLoop& m_loop;
    int64_t m_nOriginNs;
    int m_nReadIndex = -1;  // the port of the bytes in m_strRead
    int64_t m_nReadNs = 0;  // when the first of them was taken
    std::string m_strRead;
    std::string m_strRepeated;  // the last read failure's line
    int m_nRepeats = 0;         // how often it came again since
    int64_t m_nRepeatNs = 0;    // when it last did
    // The last interval each machine's timers were armed with.
    std::map<std::pair<const int*, unsigned>, unsigned> m_armedMs;
    CWireTraceStep* m_pInnermostStep = nullptr;
};

// A state's names for the trace: the sequence it belongs to ("read"; null for idle) and its
// own ("wakeup-echo"; null for a number the machine never uses).
struct WireTraceState {
    const char* pszSequence;
    const char* pszName;
};
using WireTraceNamer = WireTraceState (*)(int nState);

// One step of a state machine under the trace, from a timer event (nTimer) or a call (0):
// when the step ends with another state than it began with, that change becomes one line,
// with the timers the step armed. A step under a modal box inside another reports its own
// change; the outer one reports only what it changed after.
class CWireTraceStep {
  public:
    CWireTraceStep(const int& nState, WireTraceNamer namer, unsigned nTimer)
        : m_pTrace(CWireTrace::Current()) {
        if (m_pTrace)
            Begin(nState, namer, nTimer);
    }
    ~CWireTraceStep() {
        if (m_pTrace)
            End();
    }
    CWireTraceStep(const CWireTraceStep&) = delete;
    CWireTraceStep& operator=(const CWireTraceStep&) = delete;

  private:
    friend class CWireTrace;

    void Begin(const int& nState, WireTraceNamer namer, unsigned nTimer);
    void End();
    // The change since the step began or last reported, as one line.
    void ReportChange();

    CWireTrace* m_pTrace;
    const int* m_pnState = nullptr;
    WireTraceNamer m_namer = nullptr;
    unsigned m_nTimer = 0;
    int m_nTimerMs = -1;  // its interval; -1 when not known
    int m_nBefore = 0;
    std::string m_strArmed;
    CWireTraceStep* m_pOuter = nullptr;
};
