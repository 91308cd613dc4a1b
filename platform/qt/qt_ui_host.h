// The Qt 6 Widgets backend: real windows for a person, built from the same templates as the
// headless backend and fed back through the framework's CUserInput, so that the pages hear
// the same notifications in the same order on both backends. A QApplication must exist.
//
//  - Dialogs and pages: one widget per control, placed at its rectangle converted from dialog
//    units with the template font's metrics (qt_dialog_view.h).
//  - Modal dialogs: a QDialog that runs until the framework's dialog has ended. Enter is the
//    default command (IDOK), Escape and the title bar's close button are Cancel.
//  - The property sheet: a window titled with the sheet's caption, its tabs at the bottom in
//    page order; a tab change goes through the framework and stays refused when the active
//    page refuses; closing the window is the sheet's OK and stays refused likewise.
//  - Message boxes and the file-open dialog: Qt's, with the handheld's types and answers.
#pragma once

#include <QFont>
#include <QPointer>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/qt/qt_event_loop.h"
#include "platform/ui/ui.h"

class QWidget;
class QDialog;

namespace platform::qt {

class CQtDialogView;
class CQtModalWindow;
class CQtSheetWindow;

class QtUiHost final : public ui::UiHost {
  public:
    explicit QtUiHost(QtEventLoop& loop);
    ~QtUiHost() override;
    QtUiHost(const QtUiHost&) = delete;
    QtUiHost& operator=(const QtUiHost&) = delete;

    // The templates' fonts are enlarged by this factor so that a handheld's layout reads well
    // on a desktop screen; dialog units follow the enlarged font. Set before windows exist.
    void SetZoom(double dZoom) { m_dZoom = dZoom; }
    double Zoom() const { return m_dZoom; }

    // Icons by resource number as XPM lines (the program passes its LoadIconXpm). The
    // program icon becomes every window's icon; a sheet with an icon id of its own shows that.
    using IconLookup = const char* const* (*)(int nId);
    void SetIconLookup(IconLookup lookup, int nProgramIconId);

    // The font a template is shown in: its own face when the system has it, else a close
    // sans-serif face, at its point size times the zoom.
    QFont DialogFont(const ui::DialogTemplate& tmpl) const;

    // Modal boxes and dialogs open right now, and opened so far.
    int ModalDepth() const { return m_nModalDepth; }
    int ModalsOpened() const { return m_nModalsOpened; }

    // The widgets of windows that exist (null otherwise), for tests and screenshots.
    QWidget* WindowWidget(const ui::CDialog& dlg) const;
    QWidget* ControlWidget(const ui::CControl& control) const;
    QDialog* SheetWindow(const ui::CPropertySheet& sheet) const;

    EventLoop& Loop() override { return m_loop; }
    int RunMessageBox(ui::CDialog* pOwner, const std::wstring& strText,
                      const std::wstring& strCaption, unsigned nType) override;
    int RunModalDialog(ui::CDialog& dlg) override;
    int RunPropertySheet(ui::CPropertySheet& sheet) override;
    bool RunFileOpenDialog(ui::CDialog* pOwner, const std::wstring& strFilter,
                           std::wstring& strPath) override;
    void WindowCreated(ui::CDialog& dlg) override;
    void WindowDestroyed(ui::CDialog& dlg) override;

    // After a person's input: closes the modal windows whose dialog or sheet has ended.
    void AfterInput();
    // Quitting: boxes are answered at once (their text goes to standard error), and the
    // boxes and dialogs open now close as by No, OK or Cancel.
    void BeginQuit() override;

    // Runs Qt's own work that moves the focus (a tab's page brought to the front); the focus
    // changes meanwhile are not input.
    template <typename Work>
    void MoveFocusAsQt(Work work) {
        ++m_nQtFocusMoves;
        work();
        --m_nQtFocusMoves;
    }
    bool IsQtMovingFocus() const { return m_nQtFocusMoves > 0; }

  private:
    QWidget* OwnerWindow(ui::CDialog* pOwner) const;
    CQtSheetWindow* SheetOf(const ui::CPropertySheet* pSheet) const;

    QtEventLoop& m_loop;
    double m_dZoom = 1.25;
    IconLookup m_iconLookup = nullptr;
    int m_nModalDepth = 0;
    int m_nModalsOpened = 0;
    int m_nQtFocusMoves = 0;
    std::map<const ui::CDialog*, QPointer<CQtDialogView>> m_views;
    std::vector<CQtModalWindow*> m_modalWindows;
    std::vector<CQtSheetWindow*> m_sheetWindows;
    // The modal window whose dialog is being created, to hold the dialog's widgets.
    CQtModalWindow* m_pCreating = nullptr;
    std::wstring m_strLastFolder;
    bool m_bQuitting = false;
    // How quitting closes each modal window open now, innermost last.
    std::vector<std::function<void()>> m_quitClosers;
};

}  // namespace platform::qt
