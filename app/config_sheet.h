// The property sheet that is the whole user interface: it owns the pages, and through the
// pages every value the tool holds. Any part that needs a value held elsewhere reaches it
// through g_pConfigSheet.
#pragma once

#include "link/gyro_params.h"
#include "pages/main_page.h"
#include "platform/ui/ui.h"

class CTQ480ConfigSheet : public platform::ui::CPropertySheet {
  public:
    CTQ480ConfigSheet(const std::wstring& strCaption, void* pParentWnd, int nSelectPage);

    static constexpr const char* RUNTIME_CLASS_NAME = "CTQ480ConfigSheet";

    // The parameter record the pages show and the sequences read and write.
    GyroParameters m_gyroParameters;
    // Members in declaration order; the tabs follow the order the pages are added in.
    CMainCtrlPage m_mainPage;
    // The COM port the firmware upload uses, kept equal to the Main page's choice.
    int m_nFirmwareComPort = -1;
    // The program icon shown in the sheet's header.
    int m_hIcon = 0;

    bool OnInitDialog() override;
};

// The one sheet, from its initialisation on; null before.
extern CTQ480ConfigSheet* g_pConfigSheet;
