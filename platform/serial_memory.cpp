#include "platform/serial_memory.h"

#include <cmath>

namespace platform {

class MemorySerialLine::ProgramEnd final : public SerialDevice {
  public:
    ProgramEnd(MemorySerialLine& line, std::shared_ptr<bool> pAlive, uint64_t nGeneration)
        : m_line(line), m_pAlive(std::move(pAlive)), m_nGeneration(nGeneration) {}
    ~ProgramEnd() override { Close(); }

    bool GetLineSettings(SerialLineSettings& settings) override {
        if (!Usable("GetLineSettings"))
            return false;
        if (settings.nLength < sizeof(SerialLineSettings))
            return Fail(SystemErrorCode(SerialFailure::BAD_SETTING));
        settings = m_line.m_settings;
        return true;
    }
    bool SetLineSettings(const SerialLineSettings& settings) override {
        if (!Usable("SetLineSettings"))
            return false;
        if (settings.nBaudRate == 0 || settings.nByteSize < 5 || settings.nByteSize > 8)
            return Fail(SystemErrorCode(SerialFailure::BAD_SETTING));
        m_line.m_settings = settings;
        return true;
    }
    bool GetTimeouts(SerialTimeouts& timeouts) override {
        if (!Usable("GetTimeouts"))
            return false;
        timeouts = m_line.m_timeouts;
        return true;
    }
    bool SetTimeouts(const SerialTimeouts& timeouts) override {
        if (!Usable("SetTimeouts"))
            return false;
        m_line.m_timeouts = timeouts;
        return true;
    }
    bool SetBufferSizes(uint32_t nInBytes, uint32_t nOutBytes) override {
        if (!Usable("SetBufferSizes"))
            return false;
        m_line.m_nInBufferSize = nInBytes;
        m_line.m_nOutBufferSize = nOutBytes;
        return true;
    }
    bool ClearErrors(uint32_t& nErrors, SerialStatus& status) override {
        if (!Usable("ClearErrors"))
            return false;
        nErrors = 0;
        status.nInQueue = static_cast<uint32_t>(m_line.m_toProgram.size());
        status.nOutQueue = static_cast<uint32_t>(m_line.m_nInFlightToFar);
        return true;
    }
    bool Read(uint8_t* pBuffer, uint32_t nCount, uint32_t& nRead) override {
        nRead = 0;
        if (!Usable("Read"))
            return false;
        while (nRead < nCount && !m_line.m_toProgram.empty()) {
            pBuffer[nRead++] = m_line.m_toProgram.front();
            m_line.m_toProgram.pop_front();
        }
        return true;
    }
    bool Write(const uint8_t* pBuffer, uint32_t nCount, uint32_t& nWritten) override {
        nWritten = 0;
        if (!Usable("Write"))
            return false;
        for (uint32_t i = 0; i < nCount; ++i)
            m_line.SendToFar(pBuffer[i]);
        m_line.m_strSentByProgram.append(reinterpret_cast<const char*>(pBuffer), nCount);
        nWritten = nCount;
        return true;
    }
    bool Close() override {
        if (m_bClosed)
            return Fail(SystemErrorCode(SerialFailure::NOT_OPEN));
        m_bClosed = true;
        if (*m_pAlive && m_line.m_nOpenGeneration == m_nGeneration)
            m_line.m_bProgramOpen = false;
        return true;
    }

  private:
    bool Fail(uint32_t nCode) {
        SetLastSystemError(nCode);
        return false;
    }
    bool Usable(const char* pOperation) {
        if (m_bClosed || !*m_pAlive)
            return Fail(SystemErrorCode(SerialFailure::NOT_OPEN));
        if (m_line.m_bDisconnected)
            return Fail(SystemErrorCode(SerialFailure::IO_ERROR));
        return !m_line.TakeFailure(pOperation);
    }

    MemorySerialLine& m_line;
    std::shared_ptr<bool> m_pAlive;
    uint64_t m_nGeneration;
    bool m_bClosed = false;
};

MemorySerialLine::MemorySerialLine(EventLoop& loop)
    : m_loop(loop), m_pAlive(std::make_shared<bool>(true)) {
    // A driver's own values before anyone configures the port.
    m_settings.nBaudRate = 9600;
    m_timeouts.nReadTotalTimeoutConstant = 500;
    m_timeouts.nWriteTotalTimeoutConstant = 500;
}

MemorySerialLine::~MemorySerialLine() {
    *m_pAlive = false;
}

std::unique_ptr<SerialDevice> MemorySerialLine::OpenProgramEnd() {
    if (m_bDisconnected) {
        SetLastSystemError(SystemErrorCode(SerialFailure::DEVICE_GONE));
        return nullptr;
    }
    if (m_bProgramOpen) {
        SetLastSystemError(SystemErrorCode(SerialFailure::PORT_BUSY));
        return nullptr;
    }
    m_bProgramOpen = true;
    return std::make_unique<ProgramEnd>(*this, m_pAlive, ++m_nOpenGeneration);
}

void MemorySerialLine::SetFarReceiver(std::function<void(uint8_t)> receiver) {
    m_farReceiver = std::move(receiver);
}

int64_t MemorySerialLine::ByteTimeNs() const {
    // Start bit, data bits, parity bit, stop bits.
    double dBits = 1.0 + m_settings.nByteSize + (m_settings.nParity != PARITY_NONE ? 1.0 : 0.0);
    dBits += m_settings.nStopBits == STOP_BITS_TWO            ? 2.0
             : m_settings.nStopBits == STOP_BITS_ONE_AND_HALF ? 1.5
                                                              : 1.0;
    return std::llround(dBits * 1e9 / m_settings.nBaudRate);
}

void MemorySerialLine::SendToFar(uint8_t byte) {
    const int64_t nStart = std::max(m_loop.NowNs(), m_nToFarLineFreeNs);
    m_nToFarLineFreeNs = nStart + ByteTimeNs();
    ++m_nInFlightToFar;
    std::weak_ptr<bool> pAlive = m_pAlive;
    m_loop.ScheduleDeviceWork(m_nToFarLineFreeNs, [this, pAlive, byte] {
        const auto pLive = pAlive.lock();
        if (!pLive || !*pLive)
            return;
        --m_nInFlightToFar;
        if (m_bDisconnected)
            return;
        if (m_farReceiver)
            m_farReceiver(byte);
    });
}

void MemorySerialLine::FarWrite(const std::string& strBytes) {
    std::weak_ptr<bool> pAlive = m_pAlive;
    for (const char c : strBytes) {
        const int64_t nStart = std::max(m_loop.NowNs(), m_nToProgramLineFreeNs);
        m_nToProgramLineFreeNs = nStart + ByteTimeNs();
        const auto byte = static_cast<uint8_t>(c);
        m_loop.ScheduleDeviceWork(m_nToProgramLineFreeNs, [this, pAlive, byte] {
            const auto pLive = pAlive.lock();
            if (!pLive || !*pLive || m_bDisconnected)
                return;
            m_toProgram.push_back(byte);
        });
    }
}

void MemorySerialLine::Disconnect() {
    m_bDisconnected = true;
    m_toProgram.clear();
}

void MemorySerialLine::FailNext(const std::string& strOperation, uint32_t nCode) {
    m_failures[strOperation] = nCode;
}

bool MemorySerialLine::TakeFailure(const char* pOperation) {
    const auto it = m_failures.find(pOperation);
    if (it == m_failures.end())
        return false;
    SetLastSystemError(it->second);
    m_failures.erase(it);
    return true;
}

std::unique_ptr<SerialDevice> MemorySerialOpener::Open(const std::string& strName) {
    const auto it = m_lines.find(strName);
    if (it == m_lines.end()) {
        SetLastSystemError(SystemErrorCode(SerialFailure::NO_SUCH_PORT));
        return nullptr;
    }
    return it->second->OpenProgramEnd();
}

}  // namespace platform
