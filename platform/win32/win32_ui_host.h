// The native Windows backend of the dialog framework: real dialog windows built from the
// same templates as the other backends, fed back through the framework's CUserInput, so that
// the pages hear the same notifications in the same order on every backend.
//
//  - Dialogs and pages: in-memory dialog templates (win32_dialog_view.h).
//  - Modal dialogs: a popup owned by the window below it, which is disabled while this
//    loop's message loop runs until the framework's dialog has ended. Enter is the default
//    command (IDOK); Escape and the title bar's close button are Cancel.
//  - The property sheet: a window titled with the sheet's caption, a tab control with its
//    tabs at the bottom in page order, the pages over its display area. A tab change goes
//    through the framework and stays refused when the active page refuses; closing the
//    window is the sheet's OK and stays refused likewise. Ctrl+Tab and Ctrl+PageDown go to
//    the next tab, with Shift or PageUp to the one before.
//  - Message boxes: MessageBoxW with the framework's types, which are Windows' own values. The
//    file-open dialog: GetOpenFileNameW. Both run the system's modal loop, in which this
//    loop's messages keep timers and posted calls going.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui.h"
#include "platform/win32/win32_event_loop.h"
#include "platform/win32/windows_ui_api.h"

namespace platform::win32 {

class CWin32DialogView;
class CWin32SheetWindow;

// An icon from XPM lines (the resources' format), at its own size; null when they do not
// parse. Transparent where the XPM says None.
HICON IconFromXpm(const char* const* pXpm);

// The handheld's file filter ("Firmware Files (*.fwr)|*.fwr||") in GetOpenFileNameW's form:
// pairs of description and patterns, each ended by a zero, the whole ended by a second zero.
std::wstring NativeFileFilter(const std::wstring& strFilter);

class Win32UiHost final : public ui::UiHost {
  public:
    explicit Win32UiHost(Win32EventLoop& loop);
    ~Win32UiHost() override;
    Win32UiHost(const Win32UiHost&) = delete;
    Win32UiHost& operator=(const Win32UiHost&) = delete;

    // The templates' fonts are enlarged by this factor so that a handheld's layout reads well
    // on a desktop screen, as on the other desktop backend. Set before windows exist.
    void SetZoom(double dZoom) { m_dZoom = dZoom; }
    double Zoom() const { return m_dZoom; }
    // The program icon, large and small: every window's icon.
    void SetIcons(HICON hIcon, HICON hSmallIcon) {
        m_hIcon = hIcon;
        m_hSmallIcon = hSmallIcon;
    }
    HICON Icon() const { return m_hIcon; }
    HICON SmallIcon() const { return m_hSmallIcon; }

    // Modal boxes and dialogs open right now, and opened so far.
    int ModalDepth() const { return m_nModalDepth; }
    int ModalsOpened() const { return m_nModalsOpened; }

    // The native windows of windows that exist (null otherwise), for tests and screenshots.
    HWND WindowOf(const ui::CDialog& dlg) const;
    HWND ControlWindow(const ui::CControl& control) const;
    HWND SheetWindow(const ui::CPropertySheet& sheet) const;

    EventLoop& Loop() override { return m_loop; }
    int RunMessageBox(ui::CDialog* pOwner, const std::wstring& strText,
                      const std::wstring& strCaption, unsigned nType) override;
    int RunModalDialog(ui::CDialog& dlg) override;
    int RunPropertySheet(ui::CPropertySheet& sheet) override;
    bool RunFileOpenDialog(ui::CDialog* pOwner, const std::wstring& strFilter,
                           std::wstring& strPath) override;
    void WindowCreated(ui::CDialog& dlg) override;
    void WindowDestroyed(ui::CDialog& dlg) override;
    void BeginQuit() override;

    // A person's keys before the dialog manager sees them: Enter, Escape, the sheet's tab
    // keys. True when taken.
    bool PreTranslate(MSG& msg);
    // The keyboard's focus where the framework has it, in the topmost of this program's
    // windows: after a box or dialog, a tab change, or a control that lost it by being
    // disabled. A sheet whose page has no control to take it parks it on the tabs.
    void RestoreFocus();
    // The view of a window that exists, if it is one of this host's.
    CWin32DialogView* ViewOfWindow(HWND hwnd) const;
    // A person's input is being handled (nested calls count): views whose windows are destroyed
    // meanwhile stay until the outermost has ended.
    void BeginInput() { ++m_nInputDepth; }
    void EndInput();
    // The keyboard's focus waits on the tabs for the page's focused control to take it back.
    bool IsFocusParked() const;
    // The title bar's close button or Escape on a modal dialog: Cancel, which it may refuse.
    void CancelByUser(ui::CDialog& dlg);

  private:
    HWND OwnerWindow(ui::CDialog* pOwner) const;
    CWin32SheetWindow* SheetOf(const ui::CPropertySheet* pSheet) const;
    // Runs a system modal window (a box, the file dialog); quitting closes it with the
    // command given.
    template <typename Run>
    auto RunSystemModal(int nQuitCommand, Run run);

    Win32EventLoop& m_loop;
    double m_dZoom = 1.25;
    HICON m_hIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    int m_nModalDepth = 0;
    int m_nModalsOpened = 0;
    std::map<const ui::CDialog*, std::unique_ptr<CWin32DialogView>> m_views;
    std::vector<std::unique_ptr<CWin32DialogView>> m_retiredViews;
    int m_nInputDepth = 0;
    std::vector<ui::CDialog*> m_modalDialogs;
    std::vector<CWin32SheetWindow*> m_sheetWindows;
    // The window a dialog being created goes under, and whether it is a page.
    HWND m_hCreatingParent = nullptr;
    std::wstring m_strLastFolder;
    bool m_bQuitting = false;
    bool m_bFocusParked = false;
    // How quitting closes each modal window open now, innermost last.
    std::vector<std::function<void()>> m_quitClosers;
};

}  // namespace platform::win32
