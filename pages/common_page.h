// The Common page: the servo direction, as two push-like toggles of which exactly one is
// pressed, and the rudder stick deadband.
#pragma once

#include "pages/numeric_fields.h"

enum : int {
    IDC_DEADBAND = 1022,
    IDC_COMMON_PLUS10 = 1023,
    IDC_COMMON_PLUS1 = 1024,
    IDC_COMMON_MINUS1 = 1025,
    IDC_COMMON_MINUS10 = 1026,
    IDC_DIRECTION_NORMAL = 1033,
    IDC_DIRECTION_REVERSE = 1034,
};

class CCommonCtrlPage : public CNumericFieldPage {
  public:
    // Step targets: 0 or 1 "Normal", 2 "Reverse", 3 the deadband.
    CCommonCtrlPage();

    bool OnInitDialog() override;
    void OnCommand(int nId, int nCode) override;

  protected:
    void ShowOtherControls() override;

  private:
    // Every tap flips the direction, whichever button it was.
    void OnDirectionTapped(int nId);
};
