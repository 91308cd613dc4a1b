#include "pages/numeric_fields.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "pages/common_page.h"
#include "pages/mode1_page.h"
#include "pages/mode2_page.h"
#include "pages/servo_page.h"
#include "res/resources.h"
#include "shell/config_sheet_data.h"

using namespace platform::ui;

namespace {

const wchar_t DEADBAND_LOW[] =
    L"Deadband must be greater or equal to 5\nValue has been changed to previous value";
const wchar_t DEADBAND_HIGH[] =
    L"Deadband must be less or equal to 100\nValue has been change to previous value";
const wchar_t ENDPOINT_LOW[] =
    L"Endpoint must be greater or equal to 30%\nValue has been changed to previous value";
const wchar_t ENDPOINT_HIGH[] =
    L"Endpoint must be less or equal to 145%\nValue has been change to previous value";
const wchar_t TRIM_LOW[] =
    L"Midpoint trim must be greater or equal to -100\nValue has been changed to previous value";
const wchar_t TRIM_HIGH[] =
    L"Midpoint trim must be less or equal to 100\nValue has been change to previous value";
const wchar_t EXPONENTIAL_LOW[] =
    L"Exponentials must be greater or equal to -100%\nValue has been changed to previous value";
const wchar_t EXPONENTIAL_HIGH[] =
    L"Exponentials must be less or equal to 100%\nValue has been change to previous value";
const wchar_t GAIN_LOW[] =
    L"Gain must be greater or equal to 50%\nValue has been changed to previous value";
const wchar_t GAIN_HIGH[] =
    L"Gain must be less or equal to 200%\nValue has been change to previous value";
const wchar_t SENSITIVITY_LOW[] =
    L"Sensitivity must be greater or equal to 50%\nValue has been changed to previous value";
const wchar_t SENSITIVITY_HIGH[] =
    L"Sensitivity must be less or equal to 150%\nValue has been change to previous value";

const wchar_t SERVO_TRAVEL[] = L"servo travel";

constexpr RangeCheckForm TWO = RangeCheckForm::TWO_STAGE;
constexpr RangeCheckForm ONE = RangeCheckForm::ONE_STAGE;

}  // namespace

// Constant-initialised, so the command-line companion's own table may copy from it while the
// program's statics are being set up.
constinit const std::array<NumericField, 9> NUMERIC_FIELDS = {{
    {IDD_COMMON_PAGE, IDC_DEADBAND, L"Rudder Stick Deadband", &GyroParameters::RudderstickDeadband,
     5, 100, TWO, DEADBAND_LOW, DEADBAND_HIGH},
    {IDD_SERVO_PAGE, IDC_HIGH_ENDPOINT, L"High Endpoint", &GyroParameters::HighEndpoint, 30, 145,
     TWO, ENDPOINT_LOW, ENDPOINT_HIGH, SERVO_TRAVEL},
    {IDD_SERVO_PAGE, IDC_LOW_ENDPOINT, L"Low Endpoint", &GyroParameters::LowEndpoint, 30, 145, TWO,
     ENDPOINT_LOW, ENDPOINT_HIGH, SERVO_TRAVEL},
    {IDD_SERVO_PAGE, IDC_MIDPOINT_TRIM, L"Midpoint Trim", &GyroParameters::MidpointTrim, -100, 100,
     TWO, TRIM_LOW, TRIM_HIGH},
    {IDD_MODE1_PAGE, IDC_RATE_EXPONENTIAL, L"Rudder Exponential",
     &GyroParameters::RateRudderExponential, -100, 100, ONE, EXPONENTIAL_LOW, EXPONENTIAL_HIGH},
    {IDD_MODE2_PAGE, IDC_CCW_STOP_GAIN, L"Counter Clockwise Stop Gain",
     &GyroParameters::AvcsCcwStopGain, 50, 200, ONE, GAIN_LOW, GAIN_HIGH},
    {IDD_MODE2_PAGE, IDC_CW_STOP_GAIN, L"Clockwise Stop Gain", &GyroParameters::AvcsCwStopGain, 50,
     200, ONE, GAIN_LOW, GAIN_HIGH},
    {IDD_MODE2_PAGE, IDC_AVCS_EXPONENTIAL, L"Rudder Exponential",
     &GyroParameters::AvcsRudderExponential, -100, 100, ONE, EXPONENTIAL_LOW, EXPONENTIAL_HIGH},
    {IDD_MODE2_PAGE, IDC_SENSITIVITY, L"Rudder Sensitivity", &GyroParameters::AvcsRudderSensitivity,
     50, 150, ONE, SENSITIVITY_LOW, SENSITIVITY_HIGH},
}};

std::span<const NumericField> NumericFieldsOfPage(int nPage) {
    const auto first = std::find_if(NUMERIC_FIELDS.begin(), NUMERIC_FIELDS.end(),
                                    [&](const NumericField& f) { return f.nPage == nPage; });
    const auto last = std::find_if(first, NUMERIC_FIELDS.end(),
                                   [&](const NumericField& f) { return f.nPage != nPage; });
    return {first, last};
}

const NumericField* NumericFieldFor(int32_t GyroParameters::*pValue) {
    for (const NumericField& field : NUMERIC_FIELDS)
        if (field.pValue == pValue)
            return &field;
    return nullptr;
}

std::wstring RangeDescription(const NumericField& field) {
    const std::wstring strMin = std::to_wstring(field.nMin);
    const std::wstring strRange = strMin + L" to " + std::to_wstring(field.nMax);
    if (std::wstring_view(field.pszBelowMin).find(strMin + L"%") == std::wstring_view::npos)
        return strRange;
    std::wstring strUnit = L"Percent";
    if (field.pszPercentOf)
        strUnit += std::wstring(L" of ") + field.pszPercentOf;
    return strUnit + L", " + strRange;
}

CNumericFieldPage::CNumericFieldPage(int nTemplateId, const NumericPageRules& rules)
    : CPropertyPage(nTemplateId),
      m_committedValues(NumericFieldsOfPage(nTemplateId).size()),
      m_rules(rules),
      m_fields(NumericFieldsOfPage(nTemplateId)) {}

GyroParameters& CNumericFieldPage::Parameters() {
    return g_pConfigSheet->m_gyroParameters;
}

const NumericField* CNumericFieldPage::FieldOfEdit(int nId) const {
    for (const NumericField& field : m_fields)
        if (field.nEditId == nId)
            return &field;
    return nullptr;
}

int32_t& CNumericFieldPage::Committed(const NumericField& field) {
    return m_committedValues[static_cast<size_t>(&field - m_fields.data())];
}

bool CNumericFieldPage::OnInitDialog() {
    for (const NumericField& field : m_fields)
        if (CControl* pEdit = GetDlgItem(field.nEditId))
            pEdit->SetDescription(RangeDescription(field));
    return CPropertyPage::OnInitDialog();
}

void CNumericFieldPage::DoDataExchange(CDataExchange* pDX) {
    for (const NumericField& field : m_fields)
        DDX_Text(pDX, field.nEditId, Parameters().*field.pValue);
}

bool CNumericFieldPage::ReadFields() {
    return UpdateData(true);
}

void CNumericFieldPage::ShowFields() {
    for (const NumericField& field : m_fields) {
        CControl* pEdit = GetDlgItem(field.nEditId);
        const std::wstring strText = std::to_wstring(Parameters().*field.pValue);
        // An unchanged text is left alone, and with it the selection and the caret.
        if (pEdit && pEdit->GetWindowText() != strText)
            pEdit->SetWindowText(strText);
    }
}

void CNumericFieldPage::Step(int nDelta, bool bReadFirst) {
    if (bReadFirst)
        ReadFields();
    const int nTargets = static_cast<int>(m_rules.stepTargets.size());
    if (m_nStepTarget < 0 || m_nStepTarget >= nTargets) {
        // A number outside the page's set becomes 0; this step does nothing more.
        m_nStepTarget = 0;
        ShowFields();
        return;
    }
    const int nId = m_rules.stepTargets[static_cast<size_t>(m_nStepTarget)];
    if (const NumericField* pField = FieldOfEdit(nId)) {
        int32_t& nValue = Parameters().*pField->pValue;
        const int64_t nStepped = int64_t{nValue} + nDelta;
        nValue = static_cast<int32_t>(std::clamp<int64_t>(nStepped, pField->nMin, pField->nMax));
        if (m_rules.bCommitClampedStep || nValue == nStepped)
            Committed(*pField) = nValue;
    }
    ShowFields();
    // The focus last, so that the selection holds the text now shown.
    CControl* pTarget = nId != 0 ? GetDlgItem(nId) : nullptr;
    if (!pTarget)
        return;
    const int nStart = pTarget->SelStart(), nEnd = pTarget->SelEnd();
    GotoDlgCtrl(pTarget);
    if (pTarget->Kind() == ControlKind::Edit && !m_rules.bSelectOnStep)
        pTarget->SetSel(nStart, nEnd);  // the focus only
}

void CNumericFieldPage::CheckRange(const NumericField& field) {
    // Taking the focus back to a bad text moves it away from the control that had just got
    // it; that control's own check is not run on top of this one.
    if (m_bCheckingRange)
        return;
    m_bCheckingRange = true;
    ReadFields();
    int32_t& nValue = Parameters().*field.pValue;
    auto restore = [&](const wchar_t* pszMessage) {
        MessageBox(pszMessage, L"Info", MB_OK | MB_ICONEXCLAMATION);
        nValue = Committed(field);
    };
    if (field.form == RangeCheckForm::TWO_STAGE) {
        if (nValue < field.nMin)
            restore(field.pszBelowMin);
        if (nValue <= field.nMax)
            Committed(field) = nValue;
        else
            restore(field.pszAboveMax);
    } else if (nValue < field.nMin) {
        restore(field.pszBelowMin);
    } else if (nValue > field.nMax) {
        restore(field.pszAboveMax);
    } else {
        Committed(field) = nValue;
    }
    ShowFields();
    m_bCheckingRange = false;
}

void CNumericFieldPage::OnCommand(int nId, int nCode) {
    for (size_t i = 0; i < STEP_DELTAS.size(); ++i) {
        if (nId == m_rules.stepButtons[i] && nCode == BN_CLICKED) {
            Step(STEP_DELTAS[i], true);
            return;
        }
    }
    const NumericField* pField = FieldOfEdit(nId);
    if (pField && nCode == EN_SETFOCUS) {
        const auto it = std::find(m_rules.stepTargets.begin(), m_rules.stepTargets.end(), nId);
        m_nStepTarget = static_cast<int>(it - m_rules.stepTargets.begin());
    }
    if (pField && nCode == EN_KILLFOCUS)
        CheckRange(*pField);
}

bool CNumericFieldPage::OnSetActive() {
    ShowOtherControls();
    Step(0, false);
    for (const NumericField& field : m_fields)
        Committed(field) = Parameters().*field.pValue;
    ShowFields();
    return true;
}

bool CNumericFieldPage::OnKillActive() {
    if (!ReadFields())
        return false;
    // The value typed into the field that has the focus has not been checked yet: check it
    // now, so that no value outside its range reaches the record by a change of tab.
    if (const CControl* pFocus = GetFocus())
        if (const NumericField* pField = FieldOfEdit(pFocus->GetDlgCtrlID()))
            CheckRange(*pField);
    return true;
}
