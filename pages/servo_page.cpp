#include "pages/servo_page.h"

#include "link/servo_table.h"
#include "res/resources.h"

using namespace platform::ui;

namespace {

constexpr int STEP_TARGETS[] = {0,
                                IDC_HIGH_ENDPOINT,
                                IDC_LOW_ENDPOINT,
                                IDC_MIDPOINT_TRIM,
                                IDC_SERVO_MODEL,
                                IDC_SERVO_TYPE,
                                IDC_SERVO_SPEED};
constexpr int STEP_TARGET_MODEL = 4;

const NumericPageRules RULES = {
    {IDC_SERVO_PLUS10, IDC_SERVO_PLUS1, IDC_SERVO_MINUS1, IDC_SERVO_MINUS10},
    STEP_TARGETS,
    true,
    true,
};

}  // namespace

CServoCtrlPage::CServoCtrlPage() : CNumericFieldPage(IDD_SERVO_PAGE, RULES) {}

bool CServoCtrlPage::OnInitDialog() {
    CNumericFieldPage::OnInitDialog();
    CControl& models = *GetDlgItem(IDC_SERVO_MODEL);
    CControl& types = *GetDlgItem(IDC_SERVO_TYPE);
    CControl& speeds = *GetDlgItem(IDC_SERVO_SPEED);
    for (int i = 0; i < SERVO_PRESET_COUNT; ++i)
        models.InsertString(i, SERVO_PRESETS[static_cast<size_t>(i)].pszName);
    for (int i = 0; i < SERVO_TYPE_COUNT; ++i)
        types.InsertString(i, SERVO_TYPES[static_cast<size_t>(i)].pszName);
    for (int i = 0; i < SERVO_SPEED_COUNT; ++i)
        speeds.InsertString(i, SERVO_SPEEDS[static_cast<size_t>(i)]);
    m_nStepTarget = 0;
    Step(0, true);
    return true;
}

void CServoCtrlPage::OnCommand(int nId, int nCode) {
    if (nId < IDC_SERVO_MODEL || nId > IDC_SERVO_SPEED) {
        CNumericFieldPage::OnCommand(nId, nCode);
        return;
    }
    // A list that gets the focus is the step target; the step buttons only re-focus it.
    if (nCode == CBN_SETFOCUS)
        m_nStepTarget = STEP_TARGET_MODEL + (nId - IDC_SERVO_MODEL);
    if (nId == IDC_SERVO_MODEL && (nCode == CBN_SELCHANGE || nCode == CBN_CLOSEUP))
        ApplyPreset();
    if (nId == IDC_SERVO_TYPE && nCode == CBN_SELCHANGE)
        TypeChanged();
    if (nId == IDC_SERVO_SPEED && nCode == CBN_CLOSEUP)
        SpeedClosedUp();
}

void CServoCtrlPage::ApplyPreset() {
    const int nRow = GetDlgItem(IDC_SERVO_MODEL)->GetCurSel();
    if (nRow < 0)
        return;
    GyroParameters& params = Parameters();
    params.ServoPreset = nRow;
    CControl& types = *GetDlgItem(IDC_SERVO_TYPE);
    m_nTypeReference = types.GetCurSel();
    params.ServoType = ServoPresetType(nRow);
    types.SetCurSel(params.ServoType);
    params.ServoSpeed = ServoPresetSpeed(nRow);
    GetDlgItem(IDC_SERVO_SPEED)->SetCurSel(params.ServoSpeed);
}

void CServoCtrlPage::TypeChanged() {
    const int nType = GetDlgItem(IDC_SERVO_TYPE)->GetCurSel();
    if (nType < 0)
        return;
    if (nType != m_nTypeReference) {
        GetDlgItem(IDC_SERVO_MODEL)->SetCurSel(0);
        Parameters().ServoPreset = 0;
    }
    Parameters().ServoType = nType;
}

void CServoCtrlPage::SpeedClosedUp() {
    const int nSpeed = GetDlgItem(IDC_SERVO_SPEED)->GetCurSel();
    if (nSpeed >= 0)
        Parameters().ServoSpeed = nSpeed;
}

void CServoCtrlPage::ShowOtherControls() {
    const GyroParameters& params = Parameters();
    GetDlgItem(IDC_SERVO_MODEL)->SetCurSel(params.ServoPreset);
    m_nTypeReference = params.ServoType;
    GetDlgItem(IDC_SERVO_TYPE)->SetCurSel(params.ServoType);
    GetDlgItem(IDC_SERVO_SPEED)->SetCurSel(params.ServoSpeed);
}
