// A form with a control of every kind, for the tests of the desktop backends, and a dialog on
// it that records every notification as "id:code" (scrolls as "hid:code") and hands its timers
// to the test.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace form {

using namespace platform::ui;

enum { IDC_EDIT_A = 10, IDC_EDIT_B, IDC_BUTTON, IDC_TOGGLE, IDC_COMBO, IDC_TRACK, IDC_LIST };
enum { IDC_PROGRESS = 17, IDC_STATUS, IDD_FORM = 600 };

// The form's template; null for any other number.
inline const DialogTemplate* FormTemplate(int nId) {
    constexpr uint32_t TAB = STYLE_TABSTOP;
    static const std::vector<ControlTemplate> CONTROLS = {
        {IDC_STATIC, ControlKind::Static, L"Value A", 10, 12, 40, 8, 0},
        {IDC_EDIT_A, ControlKind::Edit, L"", 55, 10, 40, 12, TAB | STYLE_BORDER},
        {IDC_EDIT_B, ControlKind::Edit, L"", 55, 26, 40, 12, TAB | STYLE_BORDER},
        {IDC_BUTTON, ControlKind::PushButton, L"+1", 100, 10, 30, 14, TAB},
        {IDC_TOGGLE, ControlKind::PushLikeToggle, L"Reverse", 100, 26, 40, 14, 0},
        {IDC_COMBO, ControlKind::DropDownList, L"", 55, 44, 80, 60, TAB | STYLE_VSCROLL},
        {IDC_TRACK, ControlKind::Trackbar, L"", 10, 71, 100, 19, TAB | STYLE_AUTOTICKS},
        {IDC_LIST, ControlKind::ListBox, L"", 10, 94, 120, 30, TAB | STYLE_BORDER},
        {IDC_PROGRESS, ControlKind::ProgressBar, L"", 10, 128, 120, 10, STYLE_SMOOTH},
        {IDC_STATUS, ControlKind::Static, L"", 10, 142, 140, 10, STYLE_CENTER},
        {IDOK, ControlKind::DefPushButton, L"OK", 30, 156, 40, 14, TAB},
        {IDCANCEL, ControlKind::PushButton, L"Cancel", 80, 156, 40, 14, TAB},
    };
    static const DialogTemplate FORM{IDD_FORM, L"Form", 160, 176, L"MS Sans Serif", 8, CONTROLS};
    return nId == IDD_FORM ? &FORM : nullptr;
}

class CFormDialog : public CDialog {
  public:
    CFormDialog() : CDialog(IDD_FORM) {}
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_EDIT_A, m_nA); }
    void OnCommand(int nId, int nCode) override {
        m_log.push_back(std::to_string(nId) + ":" + std::to_string(nCode));
        CDialog::OnCommand(nId, nCode);
    }
    void OnHScroll(int nId, int nCode, int) override {
        m_log.push_back("h" + std::to_string(nId) + ":" + std::to_string(nCode));
    }
    void OnTimer(unsigned) override { m_onTimer(); }

    int m_nA = 1;
    std::vector<std::string> m_log;
    std::function<void()> m_onTimer = [] {};
};

}  // namespace form
