#include "shell/splash.h"

#include "res/resources.h"

using namespace platform::ui;

void CAgreementDialog::OnCommand(int nId, int nCode) {
    if (nId == IDC_I_AGREE && nCode == BN_CLICKED) {
        m_bAgreed = true;
        EndDialog(IDOK);
        return;
    }
    // OK from anywhere else (the hidden default button, Enter) ends the dialog unagreed.
    CDialog::OnCommand(nId, nCode);
}

SplashScreen::SplashScreen() : CAgreementDialog(IDD_SPLASH) {}

DialogSplashFW::DialogSplashFW() : CAgreementDialog(IDD_SPLASH_FW) {}
