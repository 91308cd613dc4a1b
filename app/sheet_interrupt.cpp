#include "app/sheet_interrupt.h"

namespace {

constexpr unsigned TIMER_END_WHEN_IDLE = 1;
constexpr unsigned END_WHEN_IDLE_MS = 10;

}  // namespace

CSheetInterrupt::CSheetInterrupt(CTQ480ConfigSheet& sheet) : m_sheet(sheet) {}

CSheetInterrupt::~CSheetInterrupt() {
    platform::ui::CurrentHost().Loop().KillAllTimers(this);
}

bool CSheetInterrupt::Running() const {
    const CGyroLink& link = m_sheet.m_mainPage.m_link;
    const CFirmwareUpload& upload = m_sheet.m_firmwarePage.m_upload;
    return link.State() != LINK_IDLE || link.IsBusy() || upload.m_nUploadState != UPLOAD_IDLE ||
           upload.m_bTransferActive;
}

int CSheetInterrupt::StoreWordsWritten() const {
    const CGyroLink& link = m_sheet.m_mainPage.m_link;
    if (link.State() == STORE_FINISH)
        return GYRO_STORE_ITEM_COUNT;
    return link.State() == STORE_WRITE || link.State() == STORE_WRITE_ACK ? link.Item() : 0;
}

bool CSheetInterrupt::StoreWordInFlight() const {
    return m_sheet.m_mainPage.m_link.State() == STORE_WRITE_ACK;
}

InterruptAction CSheetInterrupt::OnSignal(int nSignal, int nCount) {
    if (m_nSignal == 0)
        m_nSignal = nSignal;
    CGyroLink& link = m_sheet.m_mainPage.m_link;
    CFirmwareUpload& upload = m_sheet.m_firmwarePage.m_upload;
    const int nState = link.State();
    if (nState >= READ_START && nState <= READ_FINISH) {
        link.AbortNow();
        return InterruptAction::READ_ENDED;
    }
    if (nState >= STORE_START && nState <= STORE_FINISH) {
        // Half a store leaves the gyro with some new and some old words: it is finished,
        // unless nothing has been written yet or the user insists.
        // Past its last word only the closing step is left.
        const bool bWriting = nState >= STORE_WRITE;
        if (bWriting && (nCount == 1 || nState == STORE_FINISH))
            return InterruptAction::STORE_FINISHING;
        link.AbortNow();
        return InterruptAction::STORE_ENDED;
    }
    if (upload.m_nUploadState == UPLOAD_CONNECT && !upload.m_bTransferActive) {
        upload.AbortNow();
        return InterruptAction::UPLOAD_CALLED_OFF;
    }
    if (upload.m_nUploadState != UPLOAD_IDLE) {
        if (nCount == 1) {
            // As "Stop Sending" answered Yes.
            upload.RequestStop();
            return InterruptAction::UPLOAD_STOPPING;
        }
        upload.AbortNow();
        return InterruptAction::UPLOAD_ENDED;
    }
    return InterruptAction::NOTHING_RUNNING;
}

void CSheetInterrupt::EndSheetWhenIdle() {
    if (Running())
        platform::ui::CurrentHost().Loop().SetTimer(this, TIMER_END_WHEN_IDLE, END_WHEN_IDLE_MS);
    else
        m_sheet.EndSheet();
}

void CSheetInterrupt::OnTimer(unsigned nIdEvent) {
    if (nIdEvent != TIMER_END_WHEN_IDLE || Running())
        return;
    platform::ui::CurrentHost().Loop().KillTimer(this, TIMER_END_WHEN_IDLE);
    m_sheet.EndSheet();
}
