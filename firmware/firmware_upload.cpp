#include "firmware/firmware_upload.h"

#include <cwchar>

#include "link/comport.h"
#include "link/frames.h"
#include "link/wire_trace.h"

namespace {

constexpr int ERROR_TEXT_CHARS = 127;
constexpr size_t MESSAGE_CAPACITY = 256 + ERROR_TEXT_CHARS;
constexpr uint32_t START_COMMAND_BYTES = 6;
constexpr unsigned START_COMMAND_GAP_MS = 500;
constexpr unsigned DISCARD_FIRST_WAIT_MS = 500;
// The line must have been quiet for this long before the start commands go; at most this
// many pauses, so that a line that keeps sending does not hold the thread for ever.
constexpr unsigned DISCARD_PAUSE_MS = 100;
constexpr int DISCARD_PAUSES = COMPORT_BUFFER_SIZE;
constexpr unsigned END_WAIT_MS = 500;

const char FIRST_START_COMMAND[] = "15EBaa";
const char SECOND_START_COMMAND[] = "16EAaa";

const wchar_t UNABLE_TO_COMMUNICATE[] =
    L"Unable to communicate with the gyro.\n\nEnsure that you are in range of the WaveTether and "
    L"the power to the gyro and WaveTether is good.";
const wchar_t UNKNOWN_DEVICE[] =
    L"Unknown device with Product ID %04x.\n\nThis program is not designed to interface with your "
    L"product.";
const wchar_t NOT_SUITABLE[] = L"The selected firmware is not suitable for your %ls";
const wchar_t FILE_MISSING[] = L"Cannot find selected firmware file.  Locate and try again.";
const wchar_t CORRUPT_FILE[] = L"Corrupt firmware file found, download firmware again.";
const wchar_t RECORD_REFUSED[] =
    L"The %ls reported a corrupt program was sent. Reset the %ls and try again.%ls";
const wchar_t COMMUNICATIONS_ERROR[] =
    L"Communications Error, unable to send data to gyro.\n\nPlease try again.";
const wchar_t CANNOT_COMMUNICATE[] = L"Cannot communicate with the gyro";
const wchar_t ABORTED[] =
    L"Programming aborted by user.\n\nDo not attempt to fly the gyro until a firmware update has "
    L"been sucessfully completed.";
const wchar_t INTERNAL_ERROR[] = L"An internal error has occurred";

WireTraceState UploadStateName(int nState) {
    switch (nState) {
        case UPLOAD_IDLE:
            return {nullptr, "idle"};
        case UPLOAD_CONNECT:
            return {"upload", "connect"};
        case UPLOAD_IDENTIFY:
            return {"upload", "identify"};
        case UPLOAD_OPEN_FILE:
            return {"upload", "open-file"};
        case UPLOAD_SEND_RECORD:
            return {"upload", "send-record"};
        case UPLOAD_WAIT_RECORD:
            return {"upload", "wait-record"};
        case UPLOAD_FINISH:
            return {"upload", "finish"};
        default:
            return {"upload", nullptr};
    }
}

template <typename... Args>
std::wstring Format(const wchar_t* pFormat, Args... args) {
    wchar_t text[MESSAGE_CAPACITY];
    std::swprintf(text, MESSAGE_CAPACITY, pFormat, args...);
    return text;
}

}  // namespace

void TrimLoaderReply(std::wstring& strReply) {
    const size_t nDot = strReply.find(L'.');
    if (nDot == std::wstring::npos)
        return;
    strReply.erase(0, nDot);
    if (strReply.size() > 6 && strReply.find(L'.', 1) != std::wstring::npos)
        strReply.erase(0, 5);
}

CFirmwareUpload::CFirmwareUpload(CFirmwareUploadOwner& owner, platform::EventLoop& loop,
                                 platform::CTimerTarget* pWindow)
    : m_owner(owner), m_loop(loop), m_pWindow(pWindow) {}

CFirmwareUpload::~CFirmwareUpload() {
    for (const unsigned nId : {TIMER_UPLOAD_POLL, TIMER_UPLOAD_STEP, TIMER_UPLOAD_TIMEOUT})
        KillTimer(nId);
    if (m_bTransferActive)
        ComPortClose(m_nComPort - 1);
}

void CFirmwareUpload::SetTimer(unsigned nId, unsigned nMs) {
    m_loop.SetTimer(m_pWindow, nId, nMs);
    if (CWireTrace* pTrace = CWireTrace::Current())
        pTrace->TimerArmed(&m_nUploadState, nId, nMs);
}

void CFirmwareUpload::KillTimer(unsigned nId) {
    m_loop.KillTimer(m_pWindow, nId);
}

void CFirmwareUpload::Start() {
    // A second agreement before the first step has run starts nothing more.
    if (m_nUploadState != UPLOAD_IDLE)
        return;
    const CWireTraceStep step(m_nUploadState, UploadStateName, 0);
    m_nUploadState = UPLOAD_CONNECT;
    SetTimer(TIMER_UPLOAD_STEP, UPLOAD_FIRST_STEP_MS);
}

bool CFirmwareUpload::AbortNow() {
    if (m_nUploadState == UPLOAD_IDLE)
        return false;
    const CWireTraceStep step(m_nUploadState, UploadStateName, 0);
    KillTimer(TIMER_UPLOAD_STEP);
    if (!m_bTransferActive) {
        m_nUploadState = UPLOAD_IDLE;
        return true;
    }
    m_bAbortRequested = true;
    EndTransfer(ABORTED);
    return true;
}

void CFirmwareUpload::Next(int nState) {
    m_nUploadState = nState;
    SetTimer(TIMER_UPLOAD_STEP, UPLOAD_STEP_MS);
}

void CFirmwareUpload::OnTimer(unsigned nIdEvent) {
    const CWireTraceStep step(m_nUploadState, UploadStateName, nIdEvent);
    switch (nIdEvent) {
        case TIMER_UPLOAD_POLL:
            KillTimer(TIMER_UPLOAD_POLL);
            ReceivePoll();
            break;
        case TIMER_UPLOAD_STEP:
            KillTimer(TIMER_UPLOAD_STEP);
            RunUploadStep(L"");
            break;
        case TIMER_UPLOAD_TIMEOUT:
            KillTimer(TIMER_UPLOAD_TIMEOUT);
            EndTransfer(UNABLE_TO_COMMUNICATE);
            break;
        default:
            break;
    }
}

void CFirmwareUpload::ReceivePoll() {
    const ReceivedText received = ::ReceivePoll(m_nComPort - 1);
    if (received.bGathered && m_nUploadState >= UPLOAD_IDENTIFY && m_nUploadState <= 22)
        RunUploadStep(received.strText);
    // An ending has stopped the poll: it stays stopped.
    if (m_bTransferActive)
        SetTimer(TIMER_UPLOAD_POLL, UPLOAD_POLL_MS);
}

void CFirmwareUpload::RunUploadStep(const std::wstring& strText) {
    m_strReply += strText;
    switch (m_nUploadState) {
        case UPLOAD_CONNECT:
            ConnectStep();
            break;
        case UPLOAD_IDENTIFY:
            IdentifyStep();
            break;
        case UPLOAD_OPEN_FILE:
            OpenFileStep();
            break;
        case UPLOAD_SEND_RECORD:
            SendRecordStep();
            break;
        case UPLOAD_WAIT_RECORD:
            WaitRecordStep();
            break;
        case UPLOAD_FINISH:
            EndTransfer(m_bAbortRequested ? ABORTED : UPLOAD_COMPLETED);
            break;
        default:
            m_owner.ShowAttention(INTERNAL_ERROR);
            m_owner.ResetFirmwarePage();
            m_nUploadState = UPLOAD_IDLE;
            break;
    }
}

void CFirmwareUpload::ConnectStep() {
    const int nIndex = m_nComPort - 1;
    const int32_t nResult = ComPortOpen(nIndex, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE);
    if (nResult < 0) {
        if (nResult == COMPORT_SYSTEM_ERROR) {
            wchar_t text[ERROR_TEXT_CHARS] = L"";
            ComPortErrorText(nIndex, text, ERROR_TEXT_CHARS);
            m_owner.ShowAttention(Format(L"Cannot open COM%1d: %ls", m_nComPort, text));
        } else {
            m_owner.ShowAttention(
                Format(L"Cannot open COM%1d: Error Code %d", m_nComPort, nResult));
        }
        m_owner.ResetFirmwarePage();
        ComPortClose(nIndex);
        m_nUploadState = UPLOAD_IDLE;
        return;
    }
    m_bTransferActive = true;
    m_owner.EnableOpenButton(false);
    m_owner.SetSendButtonText(L"Stop Sending");
    // On a line that keeps sending, the identity answer's checks and time-out decide.
    DiscardWaitingBytes();
    // Text left by an earlier upload that ended mid-answer would be read as this one's answer.
    m_strReply.clear();
    m_bAbortRequested = false;
    if (!SendStartCommand(FIRST_START_COMMAND))
        return;
    m_loop.Sleep(START_COMMAND_GAP_MS);
    if (!SendStartCommand(SECOND_START_COMMAND))
        return;
    m_nUploadState = UPLOAD_IDENTIFY;
    SetTimer(TIMER_UPLOAD_TIMEOUT, UPLOAD_TIMEOUT_MS);
    SetTimer(TIMER_UPLOAD_POLL, UPLOAD_POLL_MS);
}

void CFirmwareUpload::DiscardWaitingBytes() {
    m_loop.Sleep(DISCARD_FIRST_WAIT_MS);
    ::DiscardWaitingBytes(m_nComPort - 1, m_loop, DISCARD_PAUSE_MS, DISCARD_PAUSES);
}

bool CFirmwareUpload::SendStartCommand(const char* pFrame) {
    if (SendUploadFrame(pFrame, START_COMMAND_BYTES) == static_cast<int32_t>(START_COMMAND_BYTES))
        return true;
    m_owner.ShowAttention(CANNOT_COMMUNICATE);
    m_bTransferActive = false;
    m_owner.ResetFirmwarePage();
    m_nUploadState = UPLOAD_IDLE;
    return false;
}

void CFirmwareUpload::IdentifyStep() {
    m_bTransferActive = true;
    TrimLoaderReply(m_strReply);
    if (m_strReply.find(L'.') == std::wstring::npos || m_strReply.size() < LOADER_IDENTITY_CHARS)
        return;
    KillTimer(TIMER_UPLOAD_TIMEOUT);
    m_strGyroProductId = m_strReply.substr(LOADER_PRODUCT_ID_AT, 4);
    const wchar_t* pName = ProductName(m_strGyroProductId);
    if (!pName) {
        const auto nId =
            static_cast<unsigned>(std::wcstoul(m_strGyroProductId.c_str(), nullptr, 16));
        EndTransfer(Format(UNKNOWN_DEVICE, nId).c_str());
        return;
    }
    m_strProductName = pName;
    if (m_strGyroProductId != m_strFileProductId) {
        EndTransfer(Format(NOT_SUITABLE, pName).c_str());
        return;
    }
    m_strReply.clear();
    Next(UPLOAD_OPEN_FILE);
}

void CFirmwareUpload::OpenFileStep() {
    if (!m_firmwareFile.Open(m_strFirmwarePath)) {
        EndTransfer(nullptr);
        m_strNewVersion = FILE_MISSING;
        return;
    }
    // Every record is checked before the first is sent: a bad one further on would leave the
    // gyro with part of a program.
    if (!SkipHeaderLines(m_firmwareFile) || !RecordsWellFormed(m_firmwareFile)) {
        EndTransfer(CORRUPT_FILE);
        return;
    }
    m_nCheckedLength = m_firmwareFile.Length();
    m_nTotalRecords = static_cast<int32_t>((m_nCheckedLength - m_firmwareFile.Position()) /
                                           FIRMWARE_RECORD_BYTES);
    m_nRecordsSent = 0;
    m_owner.StartProgress(m_nTotalRecords);
    Next(UPLOAD_SEND_RECORD);
}

void CFirmwareUpload::SendRecordStep() {
    // Exactly the records counted and checked are sent: a file cut short since then is
    // refused where the cut is met, and one that grew is refused at its end, where records
    // would be left unsent: neither is reported sent.
    if (m_bAbortRequested) {
        Next(UPLOAD_FINISH);
        return;
    }
    if (m_nRecordsSent >= m_nTotalRecords) {
        if (m_firmwareFile.Length() != m_nCheckedLength)
            EndTransfer(CORRUPT_FILE);
        else
            Next(UPLOAD_FINISH);
        return;
    }
    // The next line up to and including its LF; a longer line than a record is kept only as
    // far as it shows that it is too long.
    std::string strRecord;
    int nByte = m_firmwareFile.ReadByte();
    for (; nByte >= 0; nByte = m_firmwareFile.ReadByte()) {
        if (strRecord.size() <= FIRMWARE_RECORD_BYTES)
            strRecord += static_cast<char>(nByte);
        if (nByte == '\n')
            break;
    }
    // Only a file changed since it was checked gets here with a line that is not a record.
    if (nByte != '\n' || strRecord.size() != FIRMWARE_RECORD_BYTES ||
        strRecord[FIRMWARE_RECORD_CHARS] != '\r') {
        EndTransfer(CORRUPT_FILE);
        return;
    }
    strRecord[FIRMWARE_RECORD_CHARS] = 'a';
    strRecord[FIRMWARE_RECORD_CHARS + 1] = 'a';
    // Only what comes after the record can be its verdict: a '.' left over from the identity
    // answer's tail would pass a record the loader never accepted.
    m_strReply.clear();
    if (SendUploadFrame(strRecord.data(), FIRMWARE_RECORD_BYTES) != FIRMWARE_RECORD_BYTES) {
        m_owner.ShowAttention(COMMUNICATIONS_ERROR);
        m_owner.ResetFirmwarePage();
        m_nUploadState = UPLOAD_IDLE;
        return;
    }
    SetTimer(TIMER_UPLOAD_TIMEOUT, UPLOAD_TIMEOUT_MS);
    m_nUploadState = UPLOAD_WAIT_RECORD;
    // Here at least one record was counted, so the total is not zero.
    m_nRecordsLeft = m_nTotalRecords - ++m_nRecordsSent;
    const auto fTotal = static_cast<float>(m_nTotalRecords);
    const auto fLeft = static_cast<float>(m_nRecordsLeft);
    m_strPercent = Format(L"%.01f%%", static_cast<double>((fTotal - fLeft) / fTotal * 100.0f));
    m_owner.StepProgress();
}

void CFirmwareUpload::WaitRecordStep() {
    if (m_strReply.find(L'.') != std::wstring::npos) {
        KillTimer(TIMER_UPLOAD_TIMEOUT);
        m_strReply.clear();
        Next(UPLOAD_SEND_RECORD);
    } else if (m_strReply.find(L'/') != std::wstring::npos) {
        const wchar_t* pName = m_strProductName.c_str();
        EndTransfer(Format(RECORD_REFUSED, pName, pName, L"").c_str());
    }
}

int32_t CFirmwareUpload::SendUploadFrame(const char* pBytes, uint32_t nCount) {
    const int nIndex = m_nComPort - 1;
    const int32_t nResult = ComPortWrite(nIndex, pBytes, nCount);
    if (nResult == static_cast<int32_t>(nCount))
        return nResult;
    std::wstring strMessage;
    if (nResult == COMPORT_SYSTEM_ERROR) {
        wchar_t text[ERROR_TEXT_CHARS] = L"";
        ComPortErrorText(nIndex, text, ERROR_TEXT_CHARS);
        strMessage = Format(L"Problem with COM%1d: %ls.", m_nComPort, text);
    } else {
        strMessage = Format(L"Problem with COM%1d: Error Code: %i", m_nComPort, nResult);
    }
    EndTransfer(strMessage.c_str());
    return nResult;
}

void CFirmwareUpload::EndTransfer(const wchar_t* pMessage) {
    KillTimer(TIMER_UPLOAD_TIMEOUT);
    KillTimer(TIMER_UPLOAD_POLL);
    m_loop.Sleep(END_WAIT_MS);
    ComPortClose(m_nComPort - 1);
    m_nUploadState = UPLOAD_IDLE;
    if (pMessage)
        m_owner.ShowAttention(pMessage);
    m_firmwareFile.Close();
    m_owner.ResetFirmwarePage();
    m_bTransferActive = false;
}
