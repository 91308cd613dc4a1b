// The widgets of one dialog or property page, built from its template when the framework
// creates the window, and kept equal to the framework's control state.
//
// Every control is placed at its template rectangle converted from dialog units: across,
// x * average character width / 4; down, y * font height / 8; the average width is that of
// "A".."Z", "a".."z" in the template's font, as the handheld computes it. A drop-down list's
// template height includes its dropped list; the closed box is as tall as its style needs.
//
// Code-side changes reach the widgets with their signals blocked, so they never notify. A
// person's input goes to the framework through CUserInput and the widget is then set back
// to the framework's state, which decides (a refused toggle stays as it was).
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>
#include <map>
#include <utility>
#include <vector>

#include "platform/ui/ui.h"

class QPushButton;

namespace platform::qt {

class QtUiHost;

// Dialog units of a font, and their conversion to pixels (rounded like MulDiv).
struct DialogUnits {
    int nBaseX = 0;
    int nBaseY = 0;
    int X(int x) const;
    int Y(int y) const;
    QRect Rect(int x, int y, int cx, int cy) const;
};
DialogUnits DialogUnitsOf(const QFont& font);

class CQtDialogView final : public QWidget, public ui::CDialog::View {
  public:
    CQtDialogView(QtUiHost& host, ui::CDialog& dlg, QWidget* pParent);
    ~CQtDialogView() override;

    // The dialog's window is being destroyed: forget it, take no more input.
    void Detach();

    QWidget* ControlWidget(const ui::CControl& control) const;
    const DialogUnits& Units() const { return m_units; }
    // Puts Qt's focus where the framework has it.
    void ApplyFocus();

    void ControlChanged(ui::CControl& control) override;
    void FocusChanged(ui::CControl* pControl) override;

  protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

  private:
    // One widget per control kind, placed at its template rectangle.
    QWidget* CreateControl(size_t nIndex, const ui::ControlTemplate& tmpl);
    QWidget* CreateGroupBox();
    QWidget* CreateStatic(const ui::ControlTemplate& tmpl, const QRect& rect);
    QWidget* CreateEdit(size_t nIndex, const ui::ControlTemplate& tmpl);
    QPushButton* CreateButton(size_t nIndex);
    QWidget* CreatePushButton(size_t nIndex, bool bDefault);
    QWidget* CreateToggle(size_t nIndex);
    QWidget* CreateDropDownList(size_t nIndex);
    QWidget* CreateListBox(size_t nIndex, const ui::ControlTemplate& tmpl);
    QWidget* CreateTrackbar(size_t nIndex, const ui::ControlTemplate& tmpl);
    QWidget* CreateProgressBar();
    void Sync(ui::CControl& control);
    void SyncEdit(ui::CControl& control, QWidget* pWidget);
    // Runs a person's input on a control, then shows the framework's state again.
    template <typename Action>
    void Input(size_t nIndex, Action action);
    ui::CControl* ControlAt(size_t nIndex) const;
    // A focus change now is a person's (or their screen reader's), not Qt's own.
    bool TakesFocusInput() const;
    size_t IndexOf(const QObject* pWidget) const;

    QtUiHost& m_host;
    ui::CDialog* m_pDlg;
    DialogUnits m_units;
    std::vector<QWidget*> m_widgets;  // in template order, as the framework's controls
    int m_nSyncDepth = 0;             // writing to widgets: their focus changes are not input
    const ui::CControl* m_pTyping = nullptr;         // the edit a person is typing into
    const ui::CControl* m_pMouseFocused = nullptr;   // focused by the press of a click
    const ui::CControl* m_pClickAfterBox = nullptr;  // that focus change opened a modal box
    std::map<const ui::CControl*, std::pair<int, int>> m_shownSel;  // edit selections shown
};

}  // namespace platform::qt
