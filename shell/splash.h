// The two safety agreements shown before anything is written into the gyro: the
// configuration agreement before a store, the firmware agreement before an upload. Only the
// visible "I Agree" button sets the agreed flag; the caller goes on only when the dialog
// ended with OK and the flag is set.
#pragma once

#include "platform/ui/ui.h"

enum : int { IDC_I_AGREE = 1040 };

class CAgreementDialog : public platform::ui::CDialog {
  public:
    explicit CAgreementDialog(int nTemplateId) : CDialog(nTemplateId) {}

    bool m_bAgreed = false;

    void OnCommand(int nId, int nCode) override;
    // True when the user tapped "I Agree".
    bool Agreed() const { return EndCode() == platform::ui::IDOK && m_bAgreed; }
};

// The configuration agreement, before a store.
class SplashScreen : public CAgreementDialog {
  public:
    SplashScreen();
};

// The firmware agreement, before an upload.
class DialogSplashFW : public CAgreementDialog {
  public:
    DialogSplashFW();
};
