// The Mode1 page: the rudder exponential of the rate mode, the one field and the one step
// target of the page.
#pragma once

#include "pages/numeric_fields.h"

enum : int {
    IDC_MODE1_PLUS10 = 1027,
    IDC_MODE1_PLUS1 = 1028,
    IDC_MODE1_MINUS1 = 1029,
    IDC_MODE1_MINUS10 = 1030,
    IDC_RATE_EXPONENTIAL = 1031,
};

class CMode1CtrlPage : public CNumericFieldPage {
  public:
    CMode1CtrlPage();

    bool OnInitDialog() override;
};
