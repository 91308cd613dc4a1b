// The firmware upload: an integer state machine that sends the chosen firmware file to the
// gyro's loader, one step per timer event or per batch of received text, on the one
// user-interface thread.
//
// Outline: open the port and let what is waiting go; send the start commands "15EBaa" and,
// 500 ms later, "16EAaa"; take the loader's identity answer and check its product ID against
// the file's; then send the records one at a time, each answered "." (accepted) or "/"
// (refused). One refusal, one lost answer or one failed write ends the upload: nothing is
// resent.
//
// The machine keeps the members a Firmware Update page has always had (m_nUploadState,
// m_bTransferActive, ...). Its timers belong to the owning window, whose timer handler passes
// every event to OnTimer and then refreshes its controls; everything else it needs of the
// page comes through CFirmwareUploadOwner.
#pragma once

#include <cstdint>
#include <string>

#include "firmware/firmware_file.h"
#include "platform/event_loop.h"

// Timer ids of the Firmware Update page.
enum : unsigned {
    TIMER_UPLOAD_POLL = 107,
    TIMER_UPLOAD_STEP = 109,
    TIMER_UPLOAD_TIMEOUT = 110,
};

constexpr unsigned UPLOAD_POLL_MS = 15;
constexpr unsigned UPLOAD_FIRST_STEP_MS = 100;
constexpr unsigned UPLOAD_STEP_MS = 10;
constexpr unsigned UPLOAD_TIMEOUT_MS = 3000;

// Upload states; the numbers are fixed, and received text goes to the step in states 2..22.
enum : int {
    UPLOAD_IDLE = 0,
    UPLOAD_CONNECT = 1,
    UPLOAD_IDENTIFY = 2,
    UPLOAD_OPEN_FILE = 3,
    UPLOAD_SEND_RECORD = 5,
    UPLOAD_WAIT_RECORD = 6,
    UPLOAD_FINISH = 23,
};

// The loader's identity answer: complete at this length, the product ID at this position,
// both counted from its leading '.'.
constexpr size_t LOADER_IDENTITY_CHARS = 67;
constexpr size_t LOADER_PRODUCT_ID_AT = 17;

// The message of an upload that sent every record and had each accepted.
inline constexpr wchar_t UPLOAD_COMPLETED[] =
    L"The firmware update completed sucessfully.\n\nBefore you fly ensure the controls operate "
    L"correctly.";

// Drops what stands before the first '.', then a leading '.' with four characters when a
// further '.' follows more than five characters on (the answer to the first start command
// ahead of the identity answer).
void TrimLoaderReply(std::wstring& strReply);

// What the upload needs of the page that owns it.
class CFirmwareUploadOwner {
  public:
    // A modal box with the caption "Attention", the exclamation icon and one OK button.
    virtual void ShowAttention(const std::wstring& strText) = 0;
    // Back to the no-file state: open button enabled, send button "Send Firmware" and
    // disabled, version and description emptied, "0.0%", progress bar at 0.
    virtual void ResetFirmwarePage() = 0;
    virtual void EnableOpenButton(bool bEnable) = 0;
    virtual void SetSendButtonText(const std::wstring& strText) = 0;
    // Progress bar: range 0..nTotal, position 0, step 1; then one step per record sent.
    virtual void StartProgress(int nTotal) = 0;
    virtual void StepProgress() = 0;

  protected:
    ~CFirmwareUploadOwner() = default;
};

class CFirmwareUpload {
  public:
    // pWindow names the timers; they fire through the window's own timer handler.
    CFirmwareUpload(CFirmwareUploadOwner& owner, platform::EventLoop& loop,
                    platform::CTimerTarget* pWindow);
    ~CFirmwareUpload();
    CFirmwareUpload(const CFirmwareUpload&) = delete;
    CFirmwareUpload& operator=(const CFirmwareUpload&) = delete;

    // After the agreement: the first step runs 100 ms later. Nothing while an upload runs.
    void Start();
    // "Stop Sending" confirmed: the upload stops at its next record boundary.
    void RequestStop() { m_bAbortRequested = true; }
    // Ends a running upload at once: once the port is open, through the ending every way out
    // takes, with the stop message; before that, the start is called off and the port is
    // never opened. False when no upload runs or its ending is already under way.
    bool AbortNow();

    // The owning window's timer handler passes every timer event here first.
    void OnTimer(unsigned nIdEvent);

    // The members a Firmware Update page has always had.
    int m_nComPort = 0;  // 1-based; kept equal to the Main page's choice
    int m_nUploadState = UPLOAD_IDLE;
    bool m_bTransferActive = false;
    bool m_bAbortRequested = false;
    std::wstring m_strReply;
    std::wstring m_strFirmwarePath;
    std::wstring m_strFileProductId;
    std::wstring m_strGyroProductId;
    std::wstring m_strProductName;
    CFirmwareFile m_firmwareFile;
    int32_t m_nTotalRecords = 0;
    int32_t m_nRecordsLeft = 0;
    std::wstring m_strPercent = L"0.0%";
    std::wstring m_strNewVersion;

  private:
    void ReceivePoll();
    // One step with the text received since the last one (empty from the step timer).
    void RunUploadStep(const std::wstring& strText);
    void ConnectStep();
    // Lets the bytes waiting on the line go, up to a limit.
    void DiscardWaitingBytes();
    bool SendStartCommand(const char* pFrame);
    void IdentifyStep();
    void OpenFileStep();
    void SendRecordStep();
    void WaitRecordStep();
    // Writes the bytes; on any shortfall ends the upload with the port's message.
    int32_t SendUploadFrame(const char* pBytes, uint32_t nCount);
    // Every way out of a running upload; null for no message.
    void EndTransfer(const wchar_t* pMessage);
    void Next(int nState);

    void SetTimer(unsigned nId, unsigned nMs);
    void KillTimer(unsigned nId);

    // Records sent of those counted and checked when the file was opened.
    int32_t m_nRecordsSent = 0;
    int64_t m_nCheckedLength = 0;  // the file's length when its records were checked
    CFirmwareUploadOwner& m_owner;
    platform::EventLoop& m_loop;
    platform::CTimerTarget* m_pWindow;
};
