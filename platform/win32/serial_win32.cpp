#include "platform/win32/serial_win32.h"

#include "platform/port_map.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {

bool Fail(DWORD nCode) {
    SetLastSystemError(nCode);
    return false;
}

bool FailLast() {
    return Fail(GetLastError());
}

void LineSettingsFromDcb(const DCB& dcb, SerialLineSettings& settings) {
    settings.nBaudRate = dcb.BaudRate;
    settings.bBinary = dcb.fBinary != 0;
    settings.bParity = dcb.fParity != 0;
    settings.bOutxCtsFlow = dcb.fOutxCtsFlow != 0;
    settings.bOutxDsrFlow = dcb.fOutxDsrFlow != 0;
    settings.nDtrControl = static_cast<uint8_t>(dcb.fDtrControl);
    settings.bDsrSensitivity = dcb.fDsrSensitivity != 0;
    settings.bTxContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    settings.bOutX = dcb.fOutX != 0;
    settings.bInX = dcb.fInX != 0;
    settings.bErrorChar = dcb.fErrorChar != 0;
    settings.bNull = dcb.fNull != 0;
    settings.nRtsControl = static_cast<uint8_t>(dcb.fRtsControl);
    settings.bAbortOnError = dcb.fAbortOnError != 0;
    settings.nXonLim = dcb.XonLim;
    settings.nXoffLim = dcb.XoffLim;
    settings.nByteSize = dcb.ByteSize;
    settings.nParity = dcb.Parity;
    settings.nStopBits = dcb.StopBits;
    settings.cXonChar = dcb.XonChar;
    settings.cXoffChar = dcb.XoffChar;
    settings.cErrorChar = dcb.ErrorChar;
    settings.cEofChar = dcb.EofChar;
    settings.cEvtChar = dcb.EvtChar;
}

// The record's fields over the driver's DCB; its own fields (fDummy2 and the rest) stay.
void DcbFromLineSettings(const SerialLineSettings& settings, DCB& dcb) {
    dcb.BaudRate = settings.nBaudRate;
    dcb.fBinary = settings.bBinary;
    dcb.fParity = settings.bParity;
    dcb.fOutxCtsFlow = settings.bOutxCtsFlow;
    dcb.fOutxDsrFlow = settings.bOutxDsrFlow;
    dcb.fDtrControl = settings.nDtrControl;
    dcb.fDsrSensitivity = settings.bDsrSensitivity;
    dcb.fTXContinueOnXoff = settings.bTxContinueOnXoff;
    dcb.fOutX = settings.bOutX;
    dcb.fInX = settings.bInX;
    dcb.fErrorChar = settings.bErrorChar;
    dcb.fNull = settings.bNull;
    dcb.fRtsControl = settings.nRtsControl;
    dcb.fAbortOnError = settings.bAbortOnError;
    dcb.XonLim = settings.nXonLim;
    dcb.XoffLim = settings.nXoffLim;
    dcb.ByteSize = settings.nByteSize;
    dcb.Parity = settings.nParity;
    dcb.StopBits = settings.nStopBits;
    dcb.XonChar = settings.cXonChar;
    dcb.XoffChar = settings.cXoffChar;
    dcb.ErrorChar = settings.cErrorChar;
    dcb.EofChar = settings.cEofChar;
    dcb.EvtChar = settings.cEvtChar;
}

class Win32SerialDevice final : public SerialDevice {
  public:
    Win32SerialDevice(HANDLE hPort, const DCB& savedDcb, const COMMTIMEOUTS& savedTimeouts)
        : m_hPort(hPort), m_savedDcb(savedDcb), m_savedTimeouts(savedTimeouts) {}
    ~Win32SerialDevice() override { Release(); }
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    bool GetLineSettings(SerialLineSettings& settings) override {
        if (!CheckOpen())
            return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_hPort, &dcb))
            return FailLast();
        SerialLineSettings result = settings;
        result.nLength = sizeof(SerialLineSettings);
        LineSettingsFromDcb(dcb, result);
        settings = result;
        return true;
    }

    bool SetLineSettings(const SerialLineSettings& settings) override {
        if (!CheckOpen())
            return false;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(m_hPort, &dcb))
            return FailLast();
        DcbFromLineSettings(settings, dcb);
        return SetCommState(m_hPort, &dcb) || FailLast();
    }

    bool GetTimeouts(SerialTimeouts& timeouts) override {
        if (!CheckOpen())
            return false;
        timeouts = m_timeouts;
        return true;
    }

    // Kept for the caller only: the port's own time-outs make every read return at once, as
    // the channel polls it on its timers.
    bool SetTimeouts(const SerialTimeouts& timeouts) override {
        if (!CheckOpen())
            return false;
        m_timeouts = timeouts;
        return true;
    }

    bool SetBufferSizes(uint32_t nInBytes, uint32_t nOutBytes) override {
        if (!CheckOpen())
            return false;
        return SetupComm(m_hPort, nInBytes, nOutBytes) || FailLast();
    }

    // The driver's CE_OVERRUN, CE_RXPARITY and CE_FRAME are the record's error flags.
    bool ClearErrors(uint32_t& nErrors, SerialStatus& status) override {
        if (!CheckOpen())
            return false;
        DWORD nFlags = 0;
        COMSTAT comStat{};
        if (!ClearCommError(m_hPort, &nFlags, &comStat))
            return FailLast();
        nErrors = nFlags & (SERIAL_ERROR_OVERRUN | SERIAL_ERROR_PARITY | SERIAL_ERROR_FRAME);
        status.nInQueue = comStat.cbInQue;
        status.nOutQueue = comStat.cbOutQue;
        return true;
    }

    bool Read(uint8_t* pBuffer, uint32_t nCount, uint32_t& nRead) override {
        nRead = 0;
        if (!CheckOpen())
            return false;
        if (nCount == 0)
            return true;
        DWORD nTaken = 0;
        if (!ReadFile(m_hPort, pBuffer, nCount, &nTaken, nullptr))
            return FailLast();
        nRead = nTaken;
        return true;
    }

    bool Write(const uint8_t* pBuffer, uint32_t nCount, uint32_t& nWritten) override {
        nWritten = 0;
        if (!CheckOpen())
            return false;
        while (nWritten < nCount) {
            DWORD nTaken = 0;
            if (!WriteFile(m_hPort, pBuffer + nWritten, nCount - nWritten, &nTaken, nullptr))
                return FailLast();
            if (nTaken == 0)
                return Fail(ERROR_WRITE_FAULT);
            nWritten += nTaken;
        }
        return true;
    }

    bool Close() override {
        if (!CheckOpen())
            return false;
        Release();
        return true;
    }

  private:
    bool CheckOpen() const { return m_hPort != INVALID_HANDLE_VALUE || Fail(ERROR_INVALID_HANDLE); }

    // Gives the port back as it was found. Best effort: a device that is gone cannot take it.
    void Release() {
        if (m_hPort == INVALID_HANDLE_VALUE)
            return;
        SetCommState(m_hPort, &m_savedDcb);
        SetCommTimeouts(m_hPort, &m_savedTimeouts);
        CloseHandle(m_hPort);
        m_hPort = INVALID_HANDLE_VALUE;
    }

    HANDLE m_hPort;
    DCB m_savedDcb;
    COMMTIMEOUTS m_savedTimeouts;
    SerialTimeouts m_timeouts;
};

}  // namespace

std::wstring Win32DevicePathFor(const std::string& strComName) {
    const std::optional<int> number = PortMap::ParseComName(strComName);
    if (!number)
        return {};
    return L"\\\\.\\COM" + std::to_wstring(*number);
}

std::unique_ptr<SerialDevice> OpenWin32SerialDevice(const std::wstring& strDevicePath) {
    // No sharing: a second open, by this program or another, fails with ERROR_ACCESS_DENIED.
    HANDLE hPort = CreateFileW(strDevicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hPort == INVALID_HANDLE_VALUE) {
        FailLast();
        return nullptr;
    }
    DCB saved{};
    saved.DCBlength = sizeof saved;
    COMMTIMEOUTS savedTimeouts{};
    if (!GetCommState(hPort, &saved) || !GetCommTimeouts(hPort, &savedTimeouts)) {
        const DWORD nCode = GetLastError();
        CloseHandle(hPort);
        Fail(nCode);
        return nullptr;
    }
    // Reads return at once with what has arrived; writes wait until the driver took it all.
    COMMTIMEOUTS immediate{};
    immediate.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommTimeouts(hPort, &immediate)) {
        const DWORD nCode = GetLastError();
        CloseHandle(hPort);
        Fail(nCode);
        return nullptr;
    }
    auto pDevice = std::make_unique<Win32SerialDevice>(hPort, saved, savedTimeouts);
    SerialLineSettings settings;
    settings.nBaudRate = 19200;
    settings.nDtrControl = LINE_CONTROL_DISABLE;
    settings.nRtsControl = LINE_CONTROL_DISABLE;
    if (!pDevice->SetLineSettings(settings)) {
        const uint32_t nCode = LastSystemError();
        pDevice.reset();
        SetLastSystemError(nCode);
        return nullptr;
    }
    return pDevice;
}

// The system's own text for a Windows error code, without its closing line break.
std::wstring SystemErrorText(uint32_t nCode) {
    wchar_t* pText = nullptr;
    const DWORD nLength = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, nCode, 0, reinterpret_cast<wchar_t*>(&pText), 0, nullptr);
    std::wstring strText = nLength != 0 && pText ? std::wstring(pText, nLength) : std::wstring();
    LocalFree(pText);
    while (!strText.empty() && (strText.back() == L'\n' || strText.back() == L'\r' ||
                                strText.back() == L' ' || strText.back() == L'.'))
        strText.pop_back();
    if (strText.empty())
        strText = L"Error " + std::to_wstring(nCode);
    return strText;
}

// The codes Windows gives a program for the same failures of a real port: a port that is not
// there, or whose device has gone, is not found; one that another program holds refuses access;
// a device that fails a transfer "is not functioning".
uint32_t SystemErrorCode(SerialFailure nFailure) {
    switch (nFailure) {
        case SerialFailure::NO_SUCH_PORT:
        case SerialFailure::DEVICE_GONE:
            return ERROR_FILE_NOT_FOUND;
        case SerialFailure::PORT_BUSY:
            return ERROR_ACCESS_DENIED;
        case SerialFailure::IO_ERROR:
            return ERROR_GEN_FAILURE;
        case SerialFailure::NOT_OPEN:
            return ERROR_INVALID_HANDLE;
        case SerialFailure::BAD_SETTING:
            break;
    }
    return ERROR_INVALID_PARAMETER;
}

}  // namespace platform
