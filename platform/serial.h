// Serial devices as the serial channel sees them: a device opened by name for exclusive use,
// its line-settings record, its five time-out values, driver buffer sizes, error state and
// queue counts, reads that return what has arrived, writes that return when every byte was
// taken, and the system's text for an error code.
//
// Calls return true on success; on failure they set the thread's last system error
// (LastSystemError) to the code that SystemErrorText explains.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// DTR and RTS line control.
enum : uint8_t {
    LINE_CONTROL_DISABLE = 0,
    LINE_CONTROL_ENABLE = 1,
    LINE_CONTROL_HANDSHAKE = 2,
    RTS_CONTROL_TOGGLE = 3,
};

enum : uint8_t {
    PARITY_NONE = 0,
    PARITY_ODD = 1,
    PARITY_EVEN = 2,
    PARITY_MARK = 3,
    PARITY_SPACE = 4
};
enum : uint8_t { STOP_BITS_ONE = 0, STOP_BITS_ONE_AND_HALF = 1, STOP_BITS_TWO = 2 };

// The device-control record: every line setting a serial driver keeps for a port.
struct SerialLineSettings {
    uint32_t nLength = sizeof(SerialLineSettings);  // set by the caller before a get
    uint32_t nBaudRate = 9600;
    bool bBinary = true;
    bool bParity = false;  // parity checking
    bool bOutxCtsFlow = false;
    bool bOutxDsrFlow = false;
    uint8_t nDtrControl = LINE_CONTROL_ENABLE;
    bool bDsrSensitivity = false;
    bool bTxContinueOnXoff = false;
    bool bOutX = false;  // XON/XOFF on output
    bool bInX = false;   // XON/XOFF on input
    bool bErrorChar = false;
    bool bNull = false;  // NUL stripping
    uint8_t nRtsControl = LINE_CONTROL_ENABLE;
    bool bAbortOnError = false;
    uint16_t nXonLim = 0;
    uint16_t nXoffLim = 0;
    uint8_t nByteSize = 8;
    uint8_t nParity = PARITY_NONE;
    uint8_t nStopBits = STOP_BITS_ONE;
    char cXonChar = 0x11;
    char cXoffChar = 0x13;
    char cErrorChar = 0;
    char cEofChar = 0;
    char cEvtChar = 0;

    bool operator==(const SerialLineSettings&) const = default;
};

// The five time-out values, in milliseconds.
struct SerialTimeouts {
    uint32_t nReadIntervalTimeout = 0;
    uint32_t nReadTotalTimeoutMultiplier = 0;
    uint32_t nReadTotalTimeoutConstant = 0;
    uint32_t nWriteTotalTimeoutMultiplier = 0;
    uint32_t nWriteTotalTimeoutConstant = 0;

    bool operator==(const SerialTimeouts&) const = default;
};

// Line error flags reported (and cleared) with the queue counts.
enum : uint32_t { SERIAL_ERROR_OVERRUN = 0x2, SERIAL_ERROR_PARITY = 0x4, SERIAL_ERROR_FRAME = 0x8 };

struct SerialStatus {
    uint32_t nInQueue = 0;
    uint32_t nOutQueue = 0;
};

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    virtual bool GetLineSettings(SerialLineSettings& settings) = 0;
    virtual bool SetLineSettings(const SerialLineSettings& settings) = 0;
    virtual bool GetTimeouts(SerialTimeouts& timeouts) = 0;
    virtual bool SetTimeouts(const SerialTimeouts& timeouts) = 0;
    virtual bool SetBufferSizes(uint32_t nInBytes, uint32_t nOutBytes) = 0;
    // Reports and clears the line error flags; gives the queue counts.
    virtual bool ClearErrors(uint32_t& nErrors, SerialStatus& status) = 0;
    // Takes up to nCount bytes that have arrived; never waits.
    virtual bool Read(uint8_t* pBuffer, uint32_t nCount, uint32_t& nRead) = 0;
    // Returns when the driver has taken every byte (or on failure).
    virtual bool Write(const uint8_t* pBuffer, uint32_t nCount, uint32_t& nWritten) = 0;
    // Releases the device; further calls fail.
    virtual bool Close() = 0;
};

// Opens devices by the handheld's names ("COM1:"). The channel asks the current opener.
class SerialOpener {
  public:
    virtual ~SerialOpener() = default;
    // Null on failure, with the last system error set.
    virtual std::unique_ptr<SerialDevice> Open(const std::string& strName) = 0;
};

// The opener the channel uses; by default the port map with the termios backend.
SerialOpener& CurrentSerialOpener();
// The default: "COMn:" resolved through the port map, opened with the termios backend.
SerialOpener& DefaultSerialOpener();
// Replaces the opener (tests); null puts the default back. The caller keeps ownership.
void SetSerialOpener(SerialOpener* pOpener);

// The thread's last system error code and its text in the system's language.
uint32_t LastSystemError();
void SetLastSystemError(uint32_t nCode);
std::wstring SystemErrorText(uint32_t nCode);

// The failures that the parts standing in for a device (the in-memory line) report, and the
// system's own code for each: errno values on Linux, Windows error codes on Windows, so that
// SystemErrorText tells them as the system tells a real device's.
enum class SerialFailure { NO_SUCH_PORT, PORT_BUSY, DEVICE_GONE, IO_ERROR, NOT_OPEN, BAD_SETTING };
uint32_t SystemErrorCode(SerialFailure nFailure);

}  // namespace platform
