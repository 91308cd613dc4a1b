#include "pages/mode2_page.h"

#include <string>

#include "res/resources.h"

using namespace platform::ui;

namespace {

constexpr int STEP_TARGETS[] = {IDC_ACCELERATION, IDC_ACCELERATION,  IDC_DECELERATION,
                                IDC_CW_STOP_GAIN, IDC_CCW_STOP_GAIN, IDC_AVCS_EXPONENTIAL,
                                IDC_SENSITIVITY};
constexpr int STEP_TARGET_ACCELERATION = 1;
constexpr int STEP_TARGET_DECELERATION = 2;

const NumericPageRules RULES = {
    {IDC_MODE2_PLUS10, IDC_MODE2_PLUS1, IDC_MODE2_MINUS1, IDC_MODE2_MINUS10},
    STEP_TARGETS,
    true,
    true,
};

}  // namespace

CMode2CtrlPage::CMode2CtrlPage() : CNumericFieldPage(IDD_MODE2_PAGE, RULES) {}

bool CMode2CtrlPage::OnInitDialog() {
    CNumericFieldPage::OnInitDialog();
    // Told beside each trackbar's name; the "Fast" label stands at the maximum's end.
    const std::wstring strProfiles = std::to_wstring(PROFILE_POSITION_MIN) + L" (slow) to " +
                                     std::to_wstring(PROFILE_POSITION_MAX) + L" (fast)";
    for (const int nId : {IDC_ACCELERATION, IDC_DECELERATION}) {
        GetDlgItem(nId)->SetRange(PROFILE_POSITION_MIN, PROFILE_POSITION_MAX);
        GetDlgItem(nId)->SetDescription(strProfiles);
    }
    m_nStepTarget = 0;
    ShowFields();
    return true;
}

void CMode2CtrlPage::OnHScroll(int nId, int nCode, int nPos) {
    if (nId == IDC_ACCELERATION) {
        m_nStepTarget = STEP_TARGET_ACCELERATION;
        Parameters().AvcsAccelerationProfile = GetDlgItem(nId)->GetPos();
    } else if (nId == IDC_DECELERATION) {
        m_nStepTarget = STEP_TARGET_DECELERATION;
        Parameters().AvcsDecelerationProfile = GetDlgItem(nId)->GetPos();
    }
    CNumericFieldPage::OnHScroll(nId, nCode, nPos);
}

void CMode2CtrlPage::ShowOtherControls() {
    GetDlgItem(IDC_ACCELERATION)->SetPos(Parameters().AvcsAccelerationProfile);
    GetDlgItem(IDC_DECELERATION)->SetPos(Parameters().AvcsDecelerationProfile);
}
