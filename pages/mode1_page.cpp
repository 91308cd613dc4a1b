#include "pages/mode1_page.h"

#include "res/resources.h"

namespace {

// The field is the step target whatever the number; it is never set to anything but 0.
constexpr int STEP_TARGETS[] = {IDC_RATE_EXPONENTIAL, IDC_RATE_EXPONENTIAL};

// A step only moves the focus into the field; it selects nothing.
const NumericPageRules RULES = {
    {IDC_MODE1_PLUS10, IDC_MODE1_PLUS1, IDC_MODE1_MINUS1, IDC_MODE1_MINUS10},
    STEP_TARGETS,
    true,
    false,
};

}  // namespace

CMode1CtrlPage::CMode1CtrlPage() : CNumericFieldPage(IDD_MODE1_PAGE, RULES) {}

bool CMode1CtrlPage::OnInitDialog() {
    CNumericFieldPage::OnInitDialog();
    m_nStepTarget = 0;
    return true;
}
