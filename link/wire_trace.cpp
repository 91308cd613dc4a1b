#include "link/wire_trace.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "link/comport.h"
#include "platform/port_map.h"
#include "platform/text.h"

namespace {

std::string PortName(int nIndex) {
    return "COM" + std::to_string(nIndex + 1);
}

// The bytes as a quoted text that a person can read and a program can take apart again.
std::string QuotedBytes(const void* pBuffer, size_t nCount) {
    const auto* pBytes = static_cast<const uint8_t*>(pBuffer);
    std::string strText = "\"";
    for (size_t i = 0; i < nCount; ++i) {
        const uint8_t c = pBytes[i];
        if (c == '\\' || c == '"') {
            strText += '\\';
            strText += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            strText += static_cast<char>(c);
        } else {
            char szHex[8];
            std::snprintf(szHex, sizeof szHex, "\\x%02X", c);
            strText += szHex;
        }
    }
    return strText + "\"";
}

// "/dev/pts/4 " or "/dev/ttyUSB0 (/dev/serial/by-id/usb-FTDI_...) ": the device a port of
// the port map opens, and the link it opens it by; empty for another opener (tests) or a
// port the map does not know.
std::string DeviceText(int nIndex) {
    if (&platform::CurrentSerialOpener() != &platform::DefaultSerialOpener())
        return "";
    const std::optional<std::string> path =
        platform::PortMap::Instance().OpenPathFor(PortName(nIndex));
    if (!path)
        return "";
    std::error_code error;
    const std::string strDevice = std::filesystem::canonical(*path, error).string();
    if (error || strDevice == *path)
        return *path + " ";
    return strDevice + " (" + *path + ") ";
}

// "19200 8N1 DTR off RTS off no flow control".
std::string LineText(const platform::SerialLineSettings& line) {
    static const char* const CONTROL[] = {"off", "on", "handshake", "toggle"};
    static const char PARITY[] = "NOEMS";
    static const char* const STOP_BITS[] = {"1", "1.5", "2"};
    auto pick = [](const char* const* ppNames, size_t nNames, unsigned nValue) {
        return nValue < nNames ? std::string(ppNames[nValue]) : std::to_string(nValue);
    };
    std::string strText =
        std::to_string(line.nBaudRate) + " " + std::to_string(line.nByteSize) +
        (line.nParity < 5 ? PARITY[line.nParity] : '?') + pick(STOP_BITS, 3, line.nStopBits) +
        " DTR " + pick(CONTROL, 3, line.nDtrControl) + " RTS " + pick(CONTROL, 4, line.nRtsControl);
    std::string strFlow;
    for (const auto& [bOn, pszName] :
         {std::pair{line.bOutxCtsFlow, " CTS"}, std::pair{line.bOutxDsrFlow, " DSR"},
          std::pair{line.bOutX || line.bInX, " XON/XOFF"}})
        if (bOn)
            strFlow += pszName;
    return strText + (strFlow.empty() ? " no flow control" : strFlow + " flow control");
}

}  // namespace

CWireTrace::CWireTrace(platform::CAppendFile& file, const platform::EventLoop& loop,
                       const std::string& strProgram)
    : m_file(file), m_loop(loop), m_nOriginNs(loop.NowNs()) {
    const std::time_t nNow = std::time(nullptr);
    char szTime[32] = "";
    if (const std::tm* pUtc = std::gmtime(&nNow))
        std::strftime(szTime, sizeof szTime, "%Y-%m-%dT%H:%M:%SZ", pUtc);
    m_file.Append("# " + strProgram + " wire trace, " + szTime +
                  "; times in ms since the port was opened\n");
    s_pCurrent = this;
}

CWireTrace::~CWireTrace() {
    FlushRead();
    FlushRepeats();
    if (s_pCurrent == this)
        s_pCurrent = nullptr;
}

void CWireTrace::Line(const std::string& strText, int64_t nAtNs) {
    const int64_t nMicros = (nAtNs - m_nOriginNs) / 1000;
    char szTime[32];
    std::snprintf(szTime, sizeof szTime, "%7" PRId64 ".%03" PRId64 " ", nMicros / 1000,
                  nMicros % 1000);
    m_file.Append(szTime + strText + "\n");
}

void CWireTrace::Event(const std::string& strText) {
    FlushRead();
    FlushRepeats();
    Line(strText, m_loop.NowNs());
}

void CWireTrace::FlushRepeats() {
    if (m_nRepeats > 0)
        Line(m_strRepeated + ", " + std::to_string(m_nRepeats) + " more times", m_nRepeatNs);
    m_nRepeats = 0;
    m_strRepeated.clear();
}

void CWireTrace::FlushRead() {
    if (m_strRead.empty())
        return;
    FlushRepeats();
    Line(PortName(m_nReadIndex) + " < " + std::to_string(m_strRead.size()) + " " +
             QuotedBytes(m_strRead.data(), m_strRead.size()),
         m_nReadNs);
    m_strRead.clear();
}

std::string CWireTrace::FailureText(int32_t nResult, uint32_t nSystemError) {
    if (nResult != COMPORT_SYSTEM_ERROR)
        return "failed (code " + std::to_string(nResult) + ")";
    return "failed (" + std::to_string(nSystemError) + " " +
           platform::Utf8FromWide(platform::SystemErrorText(nSystemError)) + ")";
}

void CWireTrace::Opened(int nIndex, const platform::SerialLineSettings& line, int32_t nResult,
                        uint32_t nSystemError) {
    FlushRead();
    FlushRepeats();
    m_nOriginNs = m_loop.NowNs();
    Line("open " + PortName(nIndex) + ": " + DeviceText(nIndex) + LineText(line) + ": " +
             (nResult == 0 ? "ok" : FailureText(nResult, nSystemError)),
         m_nOriginNs);
}

void CWireTrace::Closed(int nIndex, bool bReleased) {
    Event("close " + PortName(nIndex) + ": " + (bReleased ? "ok" : "failed"));
}

void CWireTrace::Wrote(int nIndex, const void* pBuffer, uint32_t nCount, int32_t nResult,
                       uint32_t nSystemError) {
    std::string strText =
        PortName(nIndex) + " > " + std::to_string(nCount) + " " + QuotedBytes(pBuffer, nCount);
    if (nResult >= 0 && static_cast<uint32_t>(nResult) != nCount)
        strText += ": wrote " + std::to_string(nResult);
    else if (nResult < 0)
        strText += ": " + FailureText(nResult, nSystemError);
    Event(strText);
}

void CWireTrace::ReadByte(int nIndex, int32_t nResult, uint32_t nSystemError) {
    if (nResult >= 0) {
        if (nIndex != m_nReadIndex)
            FlushRead();
        if (m_strRead.empty())
            m_nReadNs = m_loop.NowNs();
        m_nReadIndex = nIndex;
        m_strRead += static_cast<char>(nResult);
    } else if (nResult == COMPORT_NO_DATA) {
        FlushRead();
    } else {
        // A port that fails every poll (a cable pulled) says so once, and how often in the end.
        const std::string strText = PortName(nIndex) + " < " + FailureText(nResult, nSystemError);
        if (strText == m_strRepeated) {
            ++m_nRepeats;
            m_nRepeatNs = m_loop.NowNs();
            return;
        }
        Event(strText);
        m_strRepeated = strText;
    }
}

void CWireTrace::TimerArmed(const int* pnState, unsigned nId, unsigned nMs) {
    m_armedMs[{pnState, nId}] = nMs;
    for (CWireTraceStep* pStep = m_pInnermostStep; pStep; pStep = pStep->m_pOuter) {
        if (pStep->m_pnState != pnState)
            continue;
        pStep->m_strArmed += (pStep->m_strArmed.empty() ? "" : ", ") + std::to_string(nId) + " " +
                             std::to_string(nMs) + " ms";
        break;
    }
}

void CWireTraceStep::Begin(const int& nState, WireTraceNamer namer, unsigned nTimer) {
    m_pnState = &nState;
    m_namer = namer;
    m_nTimer = nTimer;
    m_nBefore = nState;
    // The interval the running timer was armed with, before the step arms it again.
    const auto it = m_pTrace->m_armedMs.find({m_pnState, nTimer});
    m_nTimerMs = it != m_pTrace->m_armedMs.end() ? static_cast<int>(it->second) : -1;
    m_pOuter = m_pTrace->m_pInnermostStep;
    m_pTrace->m_pInnermostStep = this;
    // A step of the same machine under a box of this one: what this one changed until now
    // comes first.
    for (CWireTraceStep* pStep = m_pOuter; pStep; pStep = pStep->m_pOuter) {
        if (pStep->m_pnState == m_pnState) {
            pStep->ReportChange();
            break;
        }
    }
}

void CWireTraceStep::End() {
    m_pTrace->m_pInnermostStep = m_pOuter;
    ReportChange();
    for (CWireTraceStep* pStep = m_pOuter; pStep; pStep = pStep->m_pOuter) {
        if (pStep->m_pnState == m_pnState) {
            pStep->m_nBefore = *m_pnState;
            break;
        }
    }
}

void CWireTraceStep::ReportChange() {
    const int nAfter = *m_pnState;
    if (nAfter == m_nBefore)
        return;
    const WireTraceState before = m_namer(m_nBefore), after = m_namer(nAfter);
    auto describe = [](int nState, const WireTraceState& names) {
        return std::to_string(nState) + (names.pszName ? std::string(" ") + names.pszName : "");
    };
    const char* pszSequence = after.pszSequence ? after.pszSequence : before.pszSequence;
    std::string strCause = "call";
    if (m_nTimer)
        strCause = "timer " + std::to_string(m_nTimer) +
                   (m_nTimerMs >= 0 ? " " + std::to_string(m_nTimerMs) + " ms" : "");
    m_pTrace->Event(std::string(pszSequence ? pszSequence : "machine") + " state " +
                    describe(m_nBefore, before) + " -> " + describe(nAfter, after) + " (" +
                    strCause + (m_strArmed.empty() ? "" : "; armed " + m_strArmed) + ")");
    m_nBefore = nAfter;
    m_strArmed.clear();
}
