// The native window of one dialog or property page, made by the dialog manager from an
// in-memory dialog template built from the framework's template (so that Windows converts
// its dialog units with the template's font), and kept equal to the framework's control
// state.
//
// Every control of the template becomes the native control of its kind with the id
// FIRST_CONTROL_ID + its index (templates share IDC_STATIC between labels). Code-side changes
// reach the controls while the view is writing, which its notification handling ignores. A
// person's input (a focus change, a click, typing, a choice, a trackbar move) goes to the
// framework through CUserInput, and the control is then set back to the framework's state,
// which decides (a refused toggle stays as it was).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/ui.h"
#include "platform/win32/windows_ui_api.h"

namespace platform::win32 {

class Win32UiHost;

// The in-memory dialog template (DLGTEMPLATEEX) for a framework template: its caption and
// font (the point size times the zoom, rounded), its size, and its controls when bControls.
// A child is a property page: a control parent without a frame of its own.
std::vector<uint8_t> BuildDialogTemplate(const ui::DialogTemplate& tmpl, double dZoom, bool bChild,
                                         bool bControls);

constexpr int FIRST_CONTROL_ID = 0x4000;

class CWin32DialogView final : public ui::CDialog::View {
  public:
    // Makes the window as a child of hParent (a page) or a popup owned by it (a dialog).
    CWin32DialogView(Win32UiHost& host, ui::CDialog& dlg, HWND hParent, bool bChild);
    ~CWin32DialogView() override;
    CWin32DialogView(const CWin32DialogView&) = delete;
    CWin32DialogView& operator=(const CWin32DialogView&) = delete;

    // The window is being destroyed: it goes now, the view takes no more input.
    void Detach();

    HWND Window() const { return m_hwnd; }
    ui::CDialog* Dialog() const { return m_pDlg; }
    HWND ControlWindow(const ui::CControl& control) const;
    // Puts the native focus where the framework has it.
    void ApplyFocus();

    void ControlChanged(ui::CControl& control) override;
    void FocusChanged(ui::CControl* pControl) override;

    // The dialog procedure's and the controls' subclass work.
    INT_PTR DialogMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT ControlMessage(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam, size_t nIndex);

  private:
    void Sync(size_t nIndex);
    void SyncItems(size_t nIndex, const ui::CControl& control);
    void SyncEdit(size_t nIndex, const ui::CControl& control);
    void OnCommand(size_t nIndex, int nCode);
    void OnScroll(size_t nIndex, int nCode, int nPos);
    // Runs a person's input on a control, then shows the framework's state again.
    template <typename Action>
    void Input(size_t nIndex, Action action);
    ui::CControl* ControlAt(size_t nIndex) const;
    size_t IndexOf(const ui::CControl& control) const;

    Win32UiHost& m_host;
    ui::CDialog* m_pDlg;
    HWND m_hwnd = nullptr;
    std::vector<HWND> m_controls;  // in template order, as the framework's
    int m_nSyncDepth = 0;          // writing to controls: their notifications are not input
    const ui::CControl* m_pTyping = nullptr;           // the edit a person is typing into
    std::map<size_t, bool> m_dropped;                  // drop-down lists open now
    std::map<size_t, bool> m_listByKeys;               // a list box's last input came from the keys
    std::map<size_t, std::pair<int, int>> m_shownSel;  // edit selections shown
};

}  // namespace platform::win32
