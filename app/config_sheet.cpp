#include "app/config_sheet.h"

#include "res/resources.h"

CTQ480ConfigSheet::CTQ480ConfigSheet(const std::wstring& strCaption, void* /*pParentWnd*/,
                                     int nSelectPage)
    : CPropertySheet(strCaption, nSelectPage) {
    // A missing icon leaves the header without one.
    if (LoadIconXpm(IDR_MAINFRAME))
        m_hIcon = IDR_MAINFRAME;
    SetIconId(m_hIcon);
    AddPage(&m_mainPage);
    AddPage(&m_commonPage);
    AddPage(&m_servoPage);
    AddPage(&m_mode1Page);
    AddPage(&m_mode2Page);
    AddPage(&m_firmwarePage);
}

bool CTQ480ConfigSheet::OnInitDialog() {
    const bool bResult = CPropertySheet::OnInitDialog();
    g_pConfigSheet = this;
    return bResult;
}
