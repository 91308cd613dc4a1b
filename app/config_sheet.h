// The property sheet that is the whole user interface: it owns the pages, and through the
// pages every value the tool holds. Any part that needs a value held elsewhere reaches it
// through g_pConfigSheet, which shows the pages only the shared record.
#pragma once

#include "firmware/firmware_page.h"
#include "pages/common_page.h"
#include "pages/main_page.h"
#include "pages/mode1_page.h"
#include "pages/mode2_page.h"
#include "pages/servo_page.h"
#include "platform/ui/ui.h"
#include "shell/config_sheet_data.h"

class CTQ480ConfigSheet : public platform::ui::CPropertySheet, public CConfigSheetData {
  public:
    CTQ480ConfigSheet(const std::wstring& strCaption, void* pParentWnd, int nSelectPage);

    // The pages, constructed in this order; the tabs follow the order they are added in:
    // Main, Common, Servo, Mode1, Mode2, Firmware Update.
    CCommonCtrlPage m_commonPage;
    CMainCtrlPage m_mainPage;
    CMode1CtrlPage m_mode1Page;
    CMode2CtrlPage m_mode2Page;
    CServoCtrlPage m_servoPage;
    CTQ480FirmwarePage m_firmwarePage;
    // The program icon shown in the sheet's header.
    int m_hIcon = 0;

    bool OnInitDialog() override;
    // The firmware upload uses the port the Main page selected.
    void SetFirmwareComPort(int nComPort) override {
        m_firmwarePage.m_upload.m_nComPort = nComPort;
    }
    int GetFirmwareComPort() const override { return m_firmwarePage.m_upload.m_nComPort; }
    bool IsUploadRunning() const override {
        const CFirmwareUpload& upload = m_firmwarePage.m_upload;
        return upload.m_nUploadState != UPLOAD_IDLE || upload.m_bTransferActive;
    }
};
