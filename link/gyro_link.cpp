#include "link/gyro_link.h"

#include <cwchar>

#include "link/comport.h"
#include "link/frames.h"
#include "link/wire_trace.h"

namespace {

constexpr int OPEN_ERROR_TEXT_CAPACITY = 128;
// The wake-up step pauses at most this many times while bytes keep coming: a port that keeps
// talking would otherwise keep the thread in that step, where no timer runs, for ever.
constexpr int WAKEUP_DISCARD_PAUSES = COMPORT_BUFFER_SIZE;
constexpr unsigned WAKEUP_DISCARD_PAUSE_MS = 10;
// Step timer intervals: before the open (Read, Store), after it, and between steps.
constexpr unsigned READ_OPEN_WAIT_MS = 100;
constexpr unsigned STORE_OPEN_WAIT_MS = 10;
constexpr unsigned WAKEUP_WAIT_MS = 1000;
constexpr unsigned STEP_MS = 1;
// Room for every message of the sequences.
constexpr size_t MESSAGE_CAPACITY = 256 + OPEN_ERROR_TEXT_CAPACITY;

const wchar_t UNABLE_TO_COMMUNICATE[] =
    L"Unable to communicate with the gyro. \nCheck that:\nThe gyro is powered.\nAll the cables are "
    L"connected corretly.\nThe correct COM port is selected.";
const wchar_t LOST_COMMUNICATIONS[] =
    L"Lost communications with the gyro, \nCheck that:\nThe gyro is powered.\nAll the cables are "
    L"connected corretly.\nThe correct COM port is selected.";
const wchar_t UNKNOWN_DEVICE[] =
    L"Unknown device with Product ID %04x.\n\nThis program is not designed to interface with your "
    L"product.";
const wchar_t WRONG_FORMAT[] =
    L"Your gyro firmware uses configuration format R%i but this program supports R%i only.\n\n"
    L"Please update your gyro with the latest firmware and download the latest version of this "
    L"application.\n\nBoth are available on the Morvane RC website.";

// The states' names in the wire trace, by number; null where no state has the number.
const char* const READ_STATE_NAMES[] = {"start",       "open",
                                        "wakeup",      "wakeup-echo",
                                        "product-id",  "product-id-answer",
                                        "format",      "format-answer",
                                        "serial-low",  "serial-low-answer",
                                        "serial-high", "serial-high-answer",
                                        "firmware",    "firmware-answer",
                                        "loader",      "loader-answer",
                                        "parameter",   "parameter-answer",
                                        "finish"};
const char* const STORE_STATE_NAMES[] = {"start",       "open",
                                         "wakeup",      "wakeup-echo",
                                         nullptr,       nullptr,
                                         "format",      "format-answer",
                                         "serial-low",  "serial-low-answer",
                                         "serial-high", "serial-high-answer",
                                         "firmware",    "firmware-answer",
                                         "loader",      "loader-answer",
                                         "direction",   "direction-answer",
                                         "write",       "write-ack",
                                         "finish"};

WireTraceState LinkStateName(int nState) {
    if (nState >= READ_START && nState <= READ_FINISH)
        return {"read", READ_STATE_NAMES[nState - READ_START]};
    if (nState >= STORE_START && nState <= STORE_FINISH)
        return {"store", STORE_STATE_NAMES[nState - STORE_START]};
    return {nullptr, nState == LINK_IDLE ? "idle" : nullptr};
}

template <typename... Args>
std::wstring Format(const wchar_t* pFormat, Args... args) {
    wchar_t text[MESSAGE_CAPACITY];
    std::swprintf(text, MESSAGE_CAPACITY, pFormat, args...);
    return text;
}

}  // namespace

CGyroLink::CGyroLink(CGyroLinkOwner& owner, platform::EventLoop& loop,
                     platform::CTimerTarget* pWindow)
    : m_owner(owner), m_loop(loop), m_pWindow(pWindow) {}

CGyroLink::~CGyroLink() {
    for (const unsigned nId : {TIMER_RESPONSE_TIMEOUT, TIMER_READ_STEP, TIMER_STORE_STEP,
                               TIMER_RECEIVE_POLL, TIMER_STATUS_CLEAR})
        KillTimer(nId);
    if (m_bLinkBusy)
        ComPortClose(m_nComPort - 1);
}

void CGyroLink::SetTimer(unsigned nId, unsigned nMs) {
    m_loop.SetTimer(m_pWindow, nId, nMs);
    if (CWireTrace* pTrace = CWireTrace::Current())
        pTrace->TimerArmed(&m_nState, nId, nMs);
}

void CGyroLink::KillTimer(unsigned nId) {
    m_loop.KillTimer(m_pWindow, nId);
}

void CGyroLink::ClearIdentityTexts() {
    m_strFirmwareVersion.clear();
    m_strLoaderVersion.clear();
    m_strSerialNumber.clear();
}

bool CGyroLink::StartRead() {
    // One sequence at a time: a second would run over the first one's state and port.
    if (m_nState != LINK_IDLE)
        return false;
    const CWireTraceStep step(m_nState, LinkStateName, 0);
    ClearIdentityTexts();
    m_nState = READ_START;
    SetTimer(TIMER_READ_STEP, STEP_MS);
    return true;
}

bool CGyroLink::StartStore() {
    if (m_nState != LINK_IDLE)
        return false;
    const CWireTraceStep step(m_nState, LinkStateName, 0);
    m_nState = STORE_START;
    SetTimer(TIMER_STORE_STEP, STEP_MS);
    return true;
}

void CGyroLink::Reset() {
    m_strReceived.clear();
    m_bLinkBusy = false;
}

void CGyroLink::OnTimer(unsigned nIdEvent) {
    const CWireTraceStep step(m_nState, LinkStateName, nIdEvent);
    switch (nIdEvent) {
        case TIMER_RESPONSE_TIMEOUT:
            KillTimer(TIMER_RESPONSE_TIMEOUT);
            KillTimer(TIMER_RECEIVE_POLL);
            // No echo at all means the gyro was never reached.
            m_owner.ShowAttention(m_nState == READ_WAKEUP || m_nState == READ_WAKEUP_ECHO
                                      ? UNABLE_TO_COMMUNICATE
                                      : LOST_COMMUNICATIONS);
            EndSequence();
            break;
        case TIMER_READ_STEP:
            KillTimer(TIMER_READ_STEP);
            ReadStep(L"");
            break;
        case TIMER_STORE_STEP:
            KillTimer(TIMER_STORE_STEP);
            StoreStep(L"");
            break;
        case TIMER_RECEIVE_POLL:
            if (!m_bLinkBusy)
                break;
            KillTimer(TIMER_RECEIVE_POLL);
            ReceivePoll();
            break;
        case TIMER_STATUS_CLEAR:
            KillTimer(TIMER_STATUS_CLEAR);
            m_strStatus.clear();
            break;
        default:
            break;
    }
}

bool CGyroLink::AbortNow() {
    if (m_nState == LINK_IDLE && !m_bLinkBusy)
        return false;
    const CWireTraceStep step(m_nState, LinkStateName, 0);
    KillTimer(TIMER_READ_STEP);
    KillTimer(TIMER_STORE_STEP);
    EndSequence();
    return true;
}

void CGyroLink::ReceivePoll() {
    const ReceivedText received = ::ReceivePoll(m_nComPort - 1);
    if (received.bGathered)
        DispatchReceived(received.strText);
    // A step that ended the sequence has stopped the poll: it stays stopped.
    if (m_bLinkBusy)
        SetTimer(TIMER_RECEIVE_POLL, RECEIVE_POLL_MS);
}

void CGyroLink::DispatchReceived(const std::wstring& strText) {
    // The first and last steps of each sequence are run by its step timer only.
    if (m_nState >= READ_OPEN && m_nState <= READ_PARAMETER_ANSWER)
        ReadStep(strText);
    else if (m_nState >= STORE_OPEN && m_nState <= STORE_WRITE_ACK)
        StoreStep(strText);
}

void CGyroLink::Next(int nState, unsigned nStepTimer, unsigned nMs) {
    m_strReceived.clear();
    m_nState = nState;
    SetTimer(nStepTimer, nMs);
}

bool CGyroLink::SendRequest(const std::string& strFrame) {
    std::wstring strFailure;
    if (SendFrame(m_nComPort, strFrame, strFailure) != static_cast<int32_t>(strFrame.size())) {
        // The box is modal but timers keep firing under it: without the poll, nothing that
        // arrives meanwhile can move the failed sequence on to its next request.
        KillTimer(TIMER_RECEIVE_POLL);
        KillTimer(TIMER_RESPONSE_TIMEOUT);
        m_owner.ShowAttention(strFailure);
        EndSequence();
        return false;
    }
    SetTimer(TIMER_RESPONSE_TIMEOUT, RESPONSE_TIMEOUT_MS);
    return true;
}

bool CGyroLink::TakeAnswer(bool bComplete, uint16_t& wWord, bool& bParsed) {
    if (!bComplete)
        return false;
    KillTimer(TIMER_RESPONSE_TIMEOUT);
    bParsed = ParseWordAnswer(m_strReceived, wWord);
    return true;
}

void CGyroLink::OpenStep(int nNextState, unsigned nStepTimer, const wchar_t* pCodeFormat) {
    m_bLinkBusy = true;
    m_owner.EnableLinkControls(false);
    const int32_t nResult = ComPortOpen(m_nComPort - 1, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE);
    if (nResult == COMPORT_SYSTEM_ERROR) {
        wchar_t text[OPEN_ERROR_TEXT_CAPACITY] = L"";
        ComPortErrorText(m_nComPort - 1, text, OPEN_ERROR_TEXT_CAPACITY);
        m_owner.ShowAttention(Format(L"Cannot open COM%1d: %ls", m_nComPort, text));
        EndSequence();
        return;
    }
    if (nResult < 0) {
        // Nothing was opened, so there is nothing to close.
        m_owner.ShowAttention(Format(pCodeFormat, m_nComPort, nResult));
        m_nState = LINK_IDLE;
        m_strStatus.clear();
        m_owner.EnableLinkControls(true);
        m_bLinkBusy = false;
        return;
    }
    m_strStatus = Format(L"Opened COM%i", m_nComPort);
    m_nItem = 0;
    m_nState = nNextState;
    SetTimer(nStepTimer, WAKEUP_WAIT_MS);
}

void CGyroLink::WakeUpStep(int nNextState) {
    m_strReceived.clear();
    m_nState = nNextState;
    // Whatever was waiting before the wake-up is stale.
    DiscardWaitingBytes(m_nComPort - 1, m_loop, WAKEUP_DISCARD_PAUSE_MS, WAKEUP_DISCARD_PAUSES);
    SetTimer(TIMER_RECEIVE_POLL, RECEIVE_POLL_MS);
    SendRequest(WAKEUP_STRING);
}

void CGyroLink::EndSequence() {
    m_nState = LINK_IDLE;
    m_strStatus.clear();
    m_owner.EnableLinkControls(true);
    m_bLinkBusy = false;
    // Nothing may keep polling or timing out a port that is closed.
    KillTimer(TIMER_RECEIVE_POLL);
    KillTimer(TIMER_RESPONSE_TIMEOUT);
    ComPortClose(m_nComPort - 1);
}

void CGyroLink::Refuse(const std::wstring& strMessage) {
    // Nothing received under the box may reach the refused sequence.
    KillTimer(TIMER_RECEIVE_POLL);
    m_owner.ShowAttention(strMessage);
    ComPortClose(m_nComPort - 1);
    m_nState = LINK_IDLE;
    m_owner.EnableLinkControls(true);
    m_strStatus = L"Read Failed";
    SetTimer(TIMER_STATUS_CLEAR, STATUS_CLEAR_MS);
    m_bLinkBusy = false;
}

void CGyroLink::EndReadFailed() {
    m_nState = LINK_IDLE;
    KillTimer(TIMER_RECEIVE_POLL);
    m_owner.EnableLinkControls(true);
    m_bLinkBusy = false;
    ComPortClose(m_nComPort - 1);
    // No box, but the pilot is told that the word read failed.
    m_strStatus = L"Read Failed";
    SetTimer(TIMER_STATUS_CLEAR, STATUS_CLEAR_MS);
}

void CGyroLink::Finish(const wchar_t* pStatus) {
    m_nState = LINK_IDLE;
    ComPortClose(m_nComPort - 1);
    KillTimer(TIMER_RECEIVE_POLL);
    m_owner.EnableLinkControls(true);
    m_strStatus = pStatus;
    SetTimer(TIMER_STATUS_CLEAR, STATUS_CLEAR_MS);
    m_bLinkBusy = false;
}

void CGyroLink::RequestStep(int nNextState, const wchar_t* pStatus, uint16_t wAddress,
                            bool bStartPoll) {
    m_strReceived.clear();
    m_nState = nNextState;
    if (pStatus)
        m_strStatus = pStatus;
    if (bStartPoll)
        SetTimer(TIMER_RECEIVE_POLL, RECEIVE_POLL_MS);
    SendRequest(BuildReadFrame(wAddress));
}

void CGyroLink::WakeUpAnswerStep(int nNextState, unsigned nStepTimer) {
    if (!IsWakeupEchoComplete(m_strReceived))
        return;
    KillTimer(TIMER_RESPONSE_TIMEOUT);
    Next(nNextState, nStepTimer, STEP_MS);
}

void CGyroLink::IdentityAnswerStep(uint16_t wAddress, int nNextState, unsigned nStepTimer) {
    uint16_t wWord = 0;
    bool bParsed = false;
    if (!TakeAnswer(IsIdentityAnswerComplete(m_strReceived), wWord, bParsed))
        return;
    // A word that fails its checksum leaves its value as it was, and is not checked.
    if (bParsed && !TakeIdentityWord(wAddress, wWord))
        return;
    if (!bParsed && wAddress == GYRO_ADDRESS_SERIAL_LOW)
        m_nSerialLow = -1;
    Next(nNextState, nStepTimer, STEP_MS);
}

bool CGyroLink::TakeIdentityWord(uint16_t wAddress, uint16_t wWord) {
    GyroIdentity& identity = m_gyroIdentity;
    switch (wAddress) {
        case GYRO_ADDRESS_PRODUCT_ID:
            identity.ProductId = wWord;
            if (wWord == SUPPORTED_PRODUCT_ID)
                break;
            Refuse(Format(UNKNOWN_DEVICE, wWord));
            return false;
        case GYRO_ADDRESS_MEMORY_MAP_VERSION:
            identity.MemoryMapVersion = wWord;
            if (wWord == SUPPORTED_MEMORY_MAP_VERSION)
                break;
            Refuse(Format(WRONG_FORMAT, static_cast<int>(wWord),
                          static_cast<int>(SUPPORTED_MEMORY_MAP_VERSION)));
            return false;
        case GYRO_ADDRESS_FIRMWARE_VERSION:
            identity.FirmwareVersion = DecodeFirmwareVersion(wWord);
            m_strFirmwareVersion = FormatFirmwareVersion(identity.FirmwareVersion);
            break;
        // The serial number changes only when both halves passed: one half of this gyro's
        // number beside one of the last would be a number no gyro has.
        case GYRO_ADDRESS_SERIAL_LOW:
            m_nSerialLow = wWord;
            break;
        case GYRO_ADDRESS_SERIAL_HIGH:
            if (m_nSerialLow < 0)
                break;
            identity.SerialNumber = AddSerialNumberHighWord(m_nSerialLow, wWord);
            m_strSerialNumber = FormatSerialNumber(identity.SerialNumber);
            break;
        case GYRO_ADDRESS_LOADER_VERSION:
            identity.LoaderVersion = wWord;
            m_strLoaderVersion = FormatLoaderVersion(wWord);
            break;
        default:
            break;
    }
    return true;
}

void CGyroLink::ReadStep(const std::wstring& strText) {
    m_strReceived += strText;
    uint16_t wWord = 0;
    bool bParsed = false;
    switch (m_nState) {
        case READ_START:
            m_strStatus = Format(L"Initialising COM%i", m_nComPort);
            m_nState = READ_OPEN;
            SetTimer(TIMER_READ_STEP, READ_OPEN_WAIT_MS);
            break;
        case READ_OPEN:
            OpenStep(READ_WAKEUP, TIMER_READ_STEP, L"Cannot open COM%1d: Error Code %d");
            break;
        case READ_WAKEUP:
            WakeUpStep(READ_WAKEUP_ECHO);
            break;
        case READ_WAKEUP_ECHO:
            WakeUpAnswerStep(READ_PRODUCT_ID, TIMER_READ_STEP);
            break;
        // The identity words, in the order product ID, format, firmware, serial, loader.
        case READ_PRODUCT_ID:
            RequestStep(READ_PRODUCT_ID_ANSWER, L"Read PID", GYRO_ADDRESS_PRODUCT_ID, true);
            break;
        case READ_PRODUCT_ID_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_PRODUCT_ID, READ_FORMAT, TIMER_READ_STEP);
            break;
        case READ_FORMAT:
            RequestStep(READ_FORMAT_ANSWER, L"Read Memory Map Version",
                        GYRO_ADDRESS_MEMORY_MAP_VERSION, true);
            break;
        case READ_FORMAT_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_MEMORY_MAP_VERSION, READ_FIRMWARE, TIMER_READ_STEP);
            break;
        case READ_FIRMWARE:
            RequestStep(READ_FIRMWARE_ANSWER, L"Read Firmware Version",
                        GYRO_ADDRESS_FIRMWARE_VERSION, false);
            break;
        case READ_FIRMWARE_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_FIRMWARE_VERSION, READ_SERIAL_LOW, TIMER_READ_STEP);
            break;
        case READ_SERIAL_LOW:
            RequestStep(READ_SERIAL_LOW_ANSWER, L"Read Serial Number", GYRO_ADDRESS_SERIAL_LOW,
                        false);
            break;
        case READ_SERIAL_LOW_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_SERIAL_LOW, READ_SERIAL_HIGH, TIMER_READ_STEP);
            break;
        case READ_SERIAL_HIGH:
            RequestStep(READ_SERIAL_HIGH_ANSWER, nullptr, GYRO_ADDRESS_SERIAL_HIGH, false);
            break;
        case READ_SERIAL_HIGH_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_SERIAL_HIGH, READ_LOADER, TIMER_READ_STEP);
            break;
        case READ_LOADER:
            RequestStep(READ_LOADER_ANSWER, L"Read Loader Version", GYRO_ADDRESS_LOADER_VERSION,
                        false);
            break;
        case READ_LOADER_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_LOADER_VERSION, READ_PARAMETER, TIMER_READ_STEP);
            break;
        case READ_PARAMETER:
            if (m_nItem == 0)
                m_readParameters = m_owner.Parameters();
            RequestStep(READ_PARAMETER_ANSWER, nullptr,
                        static_cast<uint16_t>(GYRO_ADDRESS_PARAMETERS + 2 * m_nItem), false);
            break;
        case READ_PARAMETER_ANSWER:
            if (!TakeAnswer(IsParameterAnswerComplete(m_strReceived), wWord, bParsed))
                break;
            if (!bParsed) {
                // The values read so far are dropped with the rest: the record stays whole.
                EndReadFailed();
                break;
            }
            DecodeParameterWord(m_nItem, wWord, m_readParameters, m_nServoData);
            if (const wchar_t* pLabel =
                    GYRO_PARAMETER_ITEMS[static_cast<size_t>(m_nItem)].pszReadLabel)
                m_strStatus = pLabel;
            if (m_nItem < GYRO_PARAMETER_COUNT - 1) {
                ++m_nItem;
                Next(READ_PARAMETER, TIMER_READ_STEP, STEP_MS);
            } else {
                Next(READ_FINISH, TIMER_READ_STEP, STEP_MS);
            }
            break;
        case READ_FINISH:
            ApplyServoData(m_nServoData, m_readParameters);
            m_owner.Parameters() = m_readParameters;
            m_owner.RefreshControls();
            Finish(L"Read Complete");
            m_owner.SequenceCompleted(false);
            break;
        default:
            break;
    }
}

void CGyroLink::StoreStep(const std::wstring& strText) {
    m_strReceived += strText;
    uint16_t wWord = 0;
    bool bParsed = false;
    switch (m_nState) {
        case STORE_START:
            m_strStatus = Format(L"Initialising COM%i", m_nComPort);
            m_nState = STORE_OPEN;
            SetTimer(TIMER_STORE_STEP, STORE_OPEN_WAIT_MS);
            break;
        case STORE_OPEN:
            OpenStep(STORE_WAKEUP, TIMER_STORE_STEP, L"Cannot open COM%1d: Error Code: %d");
            break;
        case STORE_WAKEUP:
            WakeUpStep(STORE_WAKEUP_ECHO);
            break;
        case STORE_WAKEUP_ECHO:
            WakeUpAnswerStep(STORE_FORMAT, TIMER_STORE_STEP);
            break;
        // No product ID here: format, firmware, serial, loader.
        case STORE_FORMAT:
            RequestStep(STORE_FORMAT_ANSWER, L"Read Memory Map Version",
                        GYRO_ADDRESS_MEMORY_MAP_VERSION, true);
            break;
        case STORE_FORMAT_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_MEMORY_MAP_VERSION, STORE_FIRMWARE, TIMER_STORE_STEP);
            break;
        case STORE_FIRMWARE:
            RequestStep(STORE_FIRMWARE_ANSWER, L"Read Firmware Version",
                        GYRO_ADDRESS_FIRMWARE_VERSION, false);
            break;
        case STORE_FIRMWARE_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_FIRMWARE_VERSION, STORE_SERIAL_LOW, TIMER_STORE_STEP);
            break;
        case STORE_SERIAL_LOW:
            RequestStep(STORE_SERIAL_LOW_ANSWER, L"Read Serial Number", GYRO_ADDRESS_SERIAL_LOW,
                        false);
            break;
        case STORE_SERIAL_LOW_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_SERIAL_LOW, STORE_SERIAL_HIGH, TIMER_STORE_STEP);
            break;
        case STORE_SERIAL_HIGH:
            RequestStep(STORE_SERIAL_HIGH_ANSWER, nullptr, GYRO_ADDRESS_SERIAL_HIGH, false);
            break;
        case STORE_SERIAL_HIGH_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_SERIAL_HIGH, STORE_LOADER, TIMER_STORE_STEP);
            break;
        case STORE_LOADER:
            RequestStep(STORE_LOADER_ANSWER, L"Read Loader Version", GYRO_ADDRESS_LOADER_VERSION,
                        false);
            break;
        case STORE_LOADER_ANSWER:
            IdentityAnswerStep(GYRO_ADDRESS_LOADER_VERSION, STORE_DIRECTION, TIMER_STORE_STEP);
            break;
        case STORE_DIRECTION:
            RequestStep(
                STORE_DIRECTION_ANSWER, nullptr,
                GYRO_PARAMETER_ITEMS[static_cast<size_t>(GYRO_ITEM_SERVO_DIRECTION)].nAddress,
                false);
            break;
        case STORE_DIRECTION_ANSWER:
            if (!TakeAnswer(IsParameterAnswerComplete(m_strReceived), wWord, bParsed))
                break;
            if (!bParsed) {
                // Nothing has been written yet.
                EndReadFailed();
                break;
            }
            m_nDirectionWord = wWord;
            Next(STORE_WRITE, TIMER_STORE_STEP, STEP_MS);
            break;
        case STORE_WRITE: {
            m_strReceived.clear();
            m_nState = STORE_WRITE_ACK;
            const GyroStoreWord word = EncodeStoreWord(m_nItem, m_owner.Parameters(),
                                                       static_cast<uint16_t>(m_nDirectionWord));
            if (word.pszLabel)
                m_strStatus = word.pszLabel;
            SendRequest(BuildWriteFrame(word.nAddress, word.wValue));
            break;
        }
        case STORE_WRITE_ACK:
            if (!IsWriteAckComplete(m_strReceived))
                break;
            KillTimer(TIMER_RESPONSE_TIMEOUT);
            m_strReceived.clear();
            if (m_nItem < GYRO_STORE_ITEM_COUNT - 1) {
                ++m_nItem;
                m_nState = STORE_WRITE;
            } else {
                m_nState = STORE_FINISH;
            }
            SetTimer(TIMER_STORE_STEP, STEP_MS);
            break;
        case STORE_FINISH:
            m_owner.RefreshControls();
            Finish(L"Write Complete");
            m_owner.SequenceCompleted(true);
            break;
        default:
            break;
    }
}
