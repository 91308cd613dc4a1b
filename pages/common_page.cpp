#include "pages/common_page.h"

#include "res/resources.h"

using namespace platform::ui;

namespace {

constexpr int STEP_TARGETS[] = {IDC_DIRECTION_NORMAL, IDC_DIRECTION_NORMAL, IDC_DIRECTION_REVERSE,
                                IDC_DEADBAND};
constexpr int STEP_TARGET_NORMAL = 1;
constexpr int STEP_TARGET_REVERSE = 2;
constexpr int STEP_TARGET_DEADBAND = 3;

// A step that had to clamp leaves the committed deadband as it was.
const NumericPageRules RULES = {
    {IDC_COMMON_PLUS10, IDC_COMMON_PLUS1, IDC_COMMON_MINUS1, IDC_COMMON_MINUS10},
    STEP_TARGETS,
    false,
    true,
};

}  // namespace

CCommonCtrlPage::CCommonCtrlPage() : CNumericFieldPage(IDD_COMMON_PAGE, RULES) {}

bool CCommonCtrlPage::OnInitDialog() {
    CNumericFieldPage::OnInitDialog();
    m_nStepTarget = STEP_TARGET_DEADBAND;
    return true;
}

void CCommonCtrlPage::OnCommand(int nId, int nCode) {
    if ((nId == IDC_DIRECTION_NORMAL || nId == IDC_DIRECTION_REVERSE) && nCode == BN_CLICKED)
        OnDirectionTapped(nId);
    else
        CNumericFieldPage::OnCommand(nId, nCode);
}

void CCommonCtrlPage::OnDirectionTapped(int nId) {
    // The tapped toggle has already flipped its own state.
    CControl& normal = *GetDlgItem(IDC_DIRECTION_NORMAL);
    CControl& reverse = *GetDlgItem(IDC_DIRECTION_REVERSE);
    const bool bReverse =
        nId == IDC_DIRECTION_NORMAL ? normal.GetCheck() == 0 : reverse.GetCheck() != 0;
    normal.SetCheck(bReverse ? 0 : 1);
    reverse.SetCheck(bReverse ? 1 : 0);
    Parameters().ServoDirection = bReverse;
    m_nStepTarget = bReverse ? STEP_TARGET_REVERSE : STEP_TARGET_NORMAL;
}

void CCommonCtrlPage::ShowOtherControls() {
    const bool bReverse = Parameters().ServoDirection;
    GetDlgItem(IDC_DIRECTION_NORMAL)->SetCheck(bReverse ? 0 : 1);
    GetDlgItem(IDC_DIRECTION_REVERSE)->SetCheck(bReverse ? 1 : 0);
}
