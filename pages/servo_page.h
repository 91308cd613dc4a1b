// The Servo page: the endpoints and the midpoint trim, and the servo model, signal type and
// speed chosen from three lists. Choosing a model selects its type and speed; choosing a type
// by hand that differs from the type reference turns the model back to "Generic".
#pragma once

#include "pages/numeric_fields.h"

enum : int {
    IDC_HIGH_ENDPOINT = 1008,
    IDC_LOW_ENDPOINT = 1009,
    IDC_SERVO_PLUS10 = 1010,
    IDC_SERVO_MINUS10 = 1011,
    IDC_SERVO_PLUS1 = 1012,
    IDC_SERVO_MINUS1 = 1013,
    IDC_MIDPOINT_TRIM = 1014,
    IDC_SERVO_MODEL = 1015,
    IDC_SERVO_TYPE = 1016,
    IDC_SERVO_SPEED = 1017,
};

class CServoCtrlPage : public CNumericFieldPage {
  public:
    // Step targets: 0 none, 1 to 3 the high and low endpoints and the trim, 4 to 6 the model,
    // type and speed lists.
    CServoCtrlPage();

    // The type shown just before the last preset was applied, or at the last activation.
    int m_nTypeReference = 0;

    bool OnInitDialog() override;
    void OnCommand(int nId, int nCode) override;

  protected:
    void ShowOtherControls() override;

  private:
    // A list without a selected entry changes nothing in any of these.
    void ApplyPreset();
    void TypeChanged();
    void SpeedClosedUp();
};
