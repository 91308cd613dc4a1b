#include "link/comport.h"

#include <memory>
#include <string>

#include "link/wire_trace.h"
#include "platform/serial.h"

namespace {

struct ComPortSlot {
    std::unique_ptr<platform::SerialDevice> pDevice;  // null while closed
    platform::SerialTimeouts savedTimeouts;
    uint8_t nReceiveMask = 0xFF;
};

constexpr uint32_t LINE_BAUD_RATE = 19200;
constexpr uint8_t LINE_DATA_BITS = 8;

ComPortSlot g_slots[COMPORT_COUNT];
uint32_t g_nLastSystemError = 0;

bool IndexValid(int nIndex) {
    return nIndex >= 0 && nIndex < COMPORT_COUNT;
}

int32_t SystemError() {
    g_nLastSystemError = platform::LastSystemError();
    return COMPORT_SYSTEM_ERROR;
}

// The channel's line settings over the driver's: parity checking, the error-character flag
// and the error, end-of-file and event characters keep the driver's values.
void SetChannelLine(platform::SerialLineSettings& line, int nInBufferSize) {
    line.bBinary = true;
    line.bOutxCtsFlow = false;
    line.bOutxDsrFlow = false;
    line.nDtrControl = platform::LINE_CONTROL_DISABLE;
    line.bDsrSensitivity = false;
    line.bTxContinueOnXoff = true;
    line.bOutX = false;
    line.bInX = false;
    line.bNull = false;
    line.nRtsControl = platform::LINE_CONTROL_DISABLE;
    line.bAbortOnError = false;
    line.nBaudRate = LINE_BAUD_RATE;
    line.nByteSize = LINE_DATA_BITS;
    line.nParity = platform::PARITY_NONE;
    line.nStopBits = platform::STOP_BITS_ONE;
    line.cXonChar = 0x11;
    line.cXoffChar = 0x13;
    const int nLimit = nInBufferSize > 512 ? 128 : nInBufferSize / 4;
    line.nXonLim = static_cast<uint16_t>(nLimit);
    line.nXoffLim = static_cast<uint16_t>(nLimit);
}

// ComPortOpen without the trace; line holds the settings asked for, also on failure.
int32_t OpenSlot(int nIndex, int nInBufferSize, int nOutBufferSize,
                 platform::SerialLineSettings& line) {
    SetChannelLine(line, nInBufferSize);
    if (!IndexValid(nIndex))
        return COMPORT_BAD_INDEX;
    std::string strName = "COM0:";
    strName[3] = static_cast<char>('1' + nIndex);

    // Exclusive: a port already open here fails at the platform like any busy device.
    auto pDevice = platform::CurrentSerialOpener().Open(strName);
    if (!pDevice)
        return SystemError();
    ComPortSlot& slot = g_slots[nIndex];
    if (slot.pDevice)
        slot.pDevice->Close();
    slot.pDevice = std::move(pDevice);
    platform::SerialDevice& device = *slot.pDevice;

    if (!device.GetTimeouts(slot.savedTimeouts))
        return SystemError();

    line.nLength = sizeof line;
    if (!device.GetLineSettings(line))
        return SystemError();
    SetChannelLine(line, nInBufferSize);
    if (!device.SetLineSettings(line))
        return SystemError();

    // A driver that cannot size its buffers still works.
    device.SetBufferSizes(static_cast<uint32_t>(nInBufferSize),
                          static_cast<uint32_t>(nOutBufferSize));

    // Reads return at once with whatever has arrived; writes have no time limit.
    platform::SerialTimeouts timeouts;
    timeouts.nReadIntervalTimeout = 0xFFFFFFFF;
    if (!device.SetTimeouts(timeouts))
        return SystemError();

    slot.nReceiveMask = static_cast<uint8_t>((1u << line.nByteSize) - 1);
    return 0;
}

// ComPortReadByte without the trace.
int32_t ReadSlotByte(int nIndex) {
    if (!IndexValid(nIndex))
        return COMPORT_BAD_INDEX;
    ComPortSlot& slot = g_slots[nIndex];
    if (!slot.pDevice)
        return COMPORT_NOT_OPEN;
    // Asking for the queue counts also clears line errors: the checksums catch their damage.
    // A query that fails is a failure, not "no data": a hung-up tty (a cable or adapter
    // pulled) fails it and would otherwise look like a quiet line for ever.
    uint32_t nErrors = 0;
    platform::SerialStatus status;
    uint32_t nRead = 0;
    uint8_t byte = 0;
    if (!slot.pDevice->ClearErrors(nErrors, status))
        return SystemError();
    if (status.nInQueue > 0 && !slot.pDevice->Read(&byte, 1, nRead))
        return SystemError();
    if (nRead == 0)
        return COMPORT_NO_DATA;
    return byte & slot.nReceiveMask;
}

}  // namespace

int32_t ComPortOpen(int nIndex, int nInBufferSize, int nOutBufferSize) {
    platform::SerialLineSettings line;
    const int32_t nResult = OpenSlot(nIndex, nInBufferSize, nOutBufferSize, line);
    if (CWireTrace* pTrace = CWireTrace::Current())
        pTrace->Opened(nIndex, line, nResult, g_nLastSystemError);
    return nResult;
}

int32_t ComPortClose(int nIndex) {
    if (!IndexValid(nIndex))
        return COMPORT_BAD_INDEX;
    ComPortSlot& slot = g_slots[nIndex];
    if (!slot.pDevice)
        return COMPORT_NOT_OPEN;
    slot.pDevice->SetTimeouts(slot.savedTimeouts);
    auto pDevice = std::move(slot.pDevice);
    const bool bReleased = pDevice->Close();
    if (CWireTrace* pTrace = CWireTrace::Current())
        pTrace->Closed(nIndex, bReleased);
    return bReleased ? 1 : 0;
}

int32_t ComPortWrite(int nIndex, const void* pBuffer, uint32_t nCount) {
    if (!IndexValid(nIndex))
        return COMPORT_BAD_INDEX;
    ComPortSlot& slot = g_slots[nIndex];
    if (!slot.pDevice)
        return COMPORT_NOT_OPEN;
    if (!pBuffer || nCount == 0)
        return COMPORT_BAD_ARGUMENT;
    uint32_t nWritten = 0;
    const int32_t nResult =
        slot.pDevice->Write(static_cast<const uint8_t*>(pBuffer), nCount, nWritten)
            ? static_cast<int32_t>(nWritten)
            : SystemError();
    if (CWireTrace* pTrace = CWireTrace::Current())
        pTrace->Wrote(nIndex, pBuffer, nCount, nResult, g_nLastSystemError);
    return nResult;
}

int32_t ComPortReadByte(int nIndex) {
    const int32_t nResult = ReadSlotByte(nIndex);
    if (CWireTrace* pTrace = CWireTrace::Current())
        pTrace->ReadByte(nIndex, nResult, g_nLastSystemError);
    return nResult;
}

int32_t ComPortErrorText(int nIndex, wchar_t* pText, int nCapacity) {
    if (!IndexValid(nIndex))
        return COMPORT_BAD_INDEX;
    const auto nCode = static_cast<int32_t>(g_nLastSystemError);
    if (nCapacity <= 0 || !pText)
        return nCode;
    const std::wstring strText = platform::SystemErrorText(g_nLastSystemError);
    const size_t nLength = std::min(strText.size(), static_cast<size_t>(nCapacity) - 1);
    strText.copy(pText, nLength);
    pText[nLength] = L'\0';
    return nCode;
}
