// The Mode2 page: the AVCS acceleration and deceleration profiles on two trackbars, and the
// stop gains, the rudder exponential and the rudder sensitivity of that mode.
#pragma once

#include "pages/numeric_fields.h"

enum : int {
    IDC_SENSITIVITY = 1009,
    IDC_CW_STOP_GAIN = 1010,
    IDC_CCW_STOP_GAIN = 1011,
    IDC_MODE2_PLUS10 = 1012,
    IDC_MODE2_MINUS10 = 1013,
    IDC_MODE2_PLUS1 = 1014,
    IDC_MODE2_MINUS1 = 1015,
    IDC_DECELERATION = 1019,
    IDC_ACCELERATION = 1020,
    IDC_AVCS_EXPONENTIAL = 1032,
};

// The trackbars' range; 15 is the end marked "Fast".
constexpr int PROFILE_POSITION_MIN = 0;
constexpr int PROFILE_POSITION_MAX = 15;

class CMode2CtrlPage : public CNumericFieldPage {
  public:
    // Step targets: 0 or 1 the acceleration trackbar, 2 the deceleration trackbar, 3 to 6 the
    // clockwise and counter-clockwise stop gains, the exponential and the sensitivity.
    CMode2CtrlPage();

    bool OnInitDialog() override;
    // Any movement of a trackbar, while dragged too: the record follows the thumb.
    void OnHScroll(int nId, int nCode, int nPos) override;

  protected:
    void ShowOtherControls() override;
};
