// An in-memory serial line: the program's end is a SerialDevice, the far end (a software
// gyro) is driven by callbacks. Bytes travel at the real byte time of the line settings the
// program wrote (1 start bit, data bits, parity bit, stop bits at the baud rate: 520.8 us a
// byte at 19200 8N1), on the event loop's clock, one byte after the other in each direction.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/serial.h"

namespace platform {

class MemorySerialLine {
  public:
    explicit MemorySerialLine(EventLoop& loop);
    ~MemorySerialLine();
    MemorySerialLine(const MemorySerialLine&) = delete;
    MemorySerialLine& operator=(const MemorySerialLine&) = delete;

    // The program's end. Exclusive: null with EBUSY while it is open; null with ENODEV
    // after Disconnect.
    std::unique_ptr<SerialDevice> OpenProgramEnd();
    bool IsProgramEndOpen() const { return m_bProgramOpen; }

    // The far end: each byte the program sends is handed over when its last bit has
    // arrived; FarWrite queues bytes towards the program behind those still on the line.
    void SetFarReceiver(std::function<void(uint8_t)> receiver);
    void FarWrite(const std::string& strBytes);

    // The cable is pulled: the program's open end fails every call with EIO from now on,
    // and no further open succeeds.
    void Disconnect();
    bool IsDisconnected() const { return m_bDisconnected; }

    // What the program's end holds now.
    const SerialLineSettings& LineSettings() const { return m_settings; }
    const SerialTimeouts& Timeouts() const { return m_timeouts; }
    uint32_t InBufferSize() const { return m_nInBufferSize; }
    uint32_t OutBufferSize() const { return m_nOutBufferSize; }
    size_t PendingForProgram() const { return m_toProgram.size(); }
    // Every byte the program has written, in order.
    const std::string& SentByProgram() const { return m_strSentByProgram; }

    // Time one byte takes on the line with the current settings.
    int64_t ByteTimeNs() const;

    // Makes the next call of the named operation on the program's end fail with the code
    // ("GetLineSettings", "SetLineSettings", "GetTimeouts", "SetTimeouts", "SetBufferSizes",
    // "Read", "Write").
    void FailNext(const std::string& strOperation, uint32_t nCode);

  private:
    class ProgramEnd;
    friend class ProgramEnd;

    bool TakeFailure(const char* pOperation);
    void SendToFar(uint8_t byte);

    EventLoop& m_loop;
    // Shared with scheduled deliveries, which may outlive this line.
    std::shared_ptr<bool> m_pAlive;
    SerialLineSettings m_settings;
    SerialTimeouts m_timeouts;
    uint32_t m_nInBufferSize = 4096;
    uint32_t m_nOutBufferSize = 4096;
    bool m_bProgramOpen = false;
    bool m_bDisconnected = false;
    uint64_t m_nOpenGeneration = 0;
    std::deque<uint8_t> m_toProgram;
    size_t m_nInFlightToFar = 0;
    int64_t m_nToFarLineFreeNs = 0;
    int64_t m_nToProgramLineFreeNs = 0;
    std::function<void(uint8_t)> m_farReceiver;
    std::string m_strSentByProgram;
    std::map<std::string, uint32_t> m_failures;
};

// Resolves "COMn:" to in-memory lines given by a test.
class MemorySerialOpener final : public SerialOpener {
  public:
    void Attach(const std::string& strName, MemorySerialLine* pLine) { m_lines[strName] = pLine; }
    std::unique_ptr<SerialDevice> Open(const std::string& strName) override;

  private:
    std::map<std::string, MemorySerialLine*> m_lines;
};

}  // namespace platform
