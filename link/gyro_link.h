// The Read and Store sequences: integer state machines that move the whole parameter set
// between the gyro and the tool over the serial channel, one step per timer event or per
// batch of received text, on the one user-interface thread.
//
// The machine keeps the members a Main page has always had (m_nState, m_bLinkBusy, ...) to
// itself: others read them and change them only through its calls. Its timers belong to the
// owning window; the window's timer handler passes every event to OnTimer and then refreshes
// its controls. Everything else it needs of the page comes through CGyroLinkOwner.
#pragma once

#include <cstdint>
#include <string>

#include "link/gyro_params.h"
#include "platform/event_loop.h"

// Timer ids of the Main page.
enum : unsigned {
    TIMER_RESPONSE_TIMEOUT = 101,
    TIMER_READ_STEP = 102,
    TIMER_STORE_STEP = 103,
    TIMER_RECEIVE_POLL = 104,
    TIMER_STATUS_CLEAR = 106,
};

constexpr int RESPONSE_TIMEOUT_MS = 1000;
constexpr int RECEIVE_POLL_MS = 10;
constexpr int STATUS_CLEAR_MS = 2000;
constexpr uint32_t SUPPORTED_PRODUCT_ID = 0x0480;
constexpr uint32_t SUPPORTED_MEMORY_MAP_VERSION = 3;

// Sequence states: 0 idle, 1..19 Read, 20..40 Store. The numbers are the ones the tool has
// always used; they do not follow the order of the steps.
enum : int {
    LINK_IDLE = 0,
    READ_START = 1,
    READ_OPEN = 2,
    READ_WAKEUP = 3,
    READ_WAKEUP_ECHO = 4,
    READ_PRODUCT_ID = 5,
    READ_PRODUCT_ID_ANSWER = 6,
    READ_FORMAT = 7,
    READ_FORMAT_ANSWER = 8,
    READ_SERIAL_LOW = 9,
    READ_SERIAL_LOW_ANSWER = 10,
    READ_SERIAL_HIGH = 11,
    READ_SERIAL_HIGH_ANSWER = 12,
    READ_FIRMWARE = 13,
    READ_FIRMWARE_ANSWER = 14,
    READ_LOADER = 15,
    READ_LOADER_ANSWER = 16,
    READ_PARAMETER = 17,
    READ_PARAMETER_ANSWER = 18,
    READ_FINISH = 19,
    STORE_START = 20,
    STORE_OPEN = 21,
    STORE_WAKEUP = 22,
    STORE_WAKEUP_ECHO = 23,
    STORE_FORMAT = 26,
    STORE_FORMAT_ANSWER = 27,
    STORE_SERIAL_LOW = 28,
    STORE_SERIAL_LOW_ANSWER = 29,
    STORE_SERIAL_HIGH = 30,
    STORE_SERIAL_HIGH_ANSWER = 31,
    STORE_FIRMWARE = 32,
    STORE_FIRMWARE_ANSWER = 33,
    STORE_LOADER = 34,
    STORE_LOADER_ANSWER = 35,
    STORE_DIRECTION = 36,
    STORE_DIRECTION_ANSWER = 37,
    STORE_WRITE = 38,
    STORE_WRITE_ACK = 39,
    STORE_FINISH = 40,
};

// What the sequences need of the page that owns them.
class CGyroLinkOwner {
  public:
    // A modal box with the caption "Attention", the exclamation icon and one OK button.
    virtual void ShowAttention(const std::wstring& strText) = 0;
    // Enables or disables Read, Store, Load Defaults and the port list.
    virtual void EnableLinkControls(bool bEnable) = 0;
    // Moves the members into the controls (identity texts, status line).
    virtual void RefreshControls() = 0;
    // The shared parameter record.
    virtual GyroParameters& Parameters() = 0;
    // A Read (bStore false) or a Store has completed and the port is closed again: the
    // parameter record holds what the gyro holds.
    virtual void SequenceCompleted(bool /*bStore*/) {}

  protected:
    ~CGyroLinkOwner() = default;
};

class CGyroLink {
  public:
    // pWindow names the timers; they fire through the window's own timer handler.
    CGyroLink(CGyroLinkOwner& owner, platform::EventLoop& loop, platform::CTimerTarget* pWindow);
    ~CGyroLink();

    // Read button: empties the identity texts and starts the Read sequence. Store after the
    // agreement: starts the Store sequence (the caller has emptied the identity texts before
    // asking). Both do nothing and give false while a sequence runs.
    bool StartRead();
    bool StartStore();
    void ClearIdentityTexts();

    // The owning window's timer handler passes every timer event here first.
    void OnTimer(unsigned nIdEvent);
    // Ends a running sequence at once through the ending its time-outs take, without a box:
    // port closed, controls enabled. False when none runs.
    bool AbortNow();

    // The port the next sequence opens, 1-based as the user sees it.
    void SetComPort(int nComPort) { m_nComPort = nComPort; }
    // Page initialisation: empties the receive buffer and clears the busy flag.
    void Reset();

    int State() const { return m_nState; }
    bool IsBusy() const { return m_bLinkBusy; }
    int ComPort() const { return m_nComPort; }
    // The parameter item being read or written (0..15).
    int Item() const { return m_nItem; }
    const GyroIdentity& Identity() const { return m_gyroIdentity; }

    // The texts of the Main page's identity boxes and status line, bound to its controls.
    std::wstring m_strFirmwareVersion;
    std::wstring m_strLoaderVersion;
    std::wstring m_strSerialNumber;
    std::wstring m_strStatus;

  private:
    void ReadStep(const std::wstring& strText);
    void StoreStep(const std::wstring& strText);
    void DispatchReceived(const std::wstring& strText);
    void ReceivePoll();

    // Shared steps of both sequences; nStepTimer is 102 or 103.
    void OpenStep(int nNextState, unsigned nStepTimer, const wchar_t* pCodeFormat);
    void WakeUpStep(int nNextState);
    void WakeUpAnswerStep(int nNextState, unsigned nStepTimer);
    // Empties the buffer, moves on, names the request on the status line (null: unchanged),
    // starts the receive poll when asked, and sends the read request.
    void RequestStep(int nNextState, const wchar_t* pStatus, uint16_t wAddress, bool bStartPoll);
    void IdentityAnswerStep(uint16_t wAddress, int nNextState, unsigned nStepTimer);
    // Keeps an identity word and its text; false when the gyro is refused for it.
    bool TakeIdentityWord(uint16_t wAddress, uint16_t wWord);
    bool SendRequest(const std::string& strFrame);
    void Next(int nState, unsigned nStepTimer, unsigned nMs);
    bool TakeAnswer(bool bComplete, uint16_t& wWord, bool& bParsed);

    void EndSequence();
    void Refuse(const std::wstring& strMessage);
    // A word read failed its checksum: ended without a box, "Read Failed" for a while.
    void EndReadFailed();
    void Finish(const wchar_t* pStatus);

    void SetTimer(unsigned nId, unsigned nMs);
    void KillTimer(unsigned nId);

    CGyroLinkOwner& m_owner;
    platform::EventLoop& m_loop;
    platform::CTimerTarget* m_pWindow;

    int m_nState = LINK_IDLE;
    bool m_bLinkBusy = false;
    int m_nComPort = -1;  // 1-based; the channel index is one less
    std::wstring m_strReceived;
    int m_nItem = 0;
    int m_nServoData = 0;
    int m_nDirectionWord = 0;
    int32_t m_nSerialLow = -1;  // the serial number's low word just read; -1: failed
    GyroIdentity m_gyroIdentity;
    // The Read sequence decodes into this copy and hands it over only when every parameter
    // word has passed its checksum.
    GyroParameters m_readParameters;
};
