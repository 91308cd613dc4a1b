#include "platform/qt/qt_dialog_view.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <functional>
#include <type_traits>
#include <utility>

#include "platform/qt/dialog_texts.h"
#include "platform/qt/qt_ui_host.h"

namespace platform::qt {

using ui::CControl;
using ui::ControlKind;
using ui::ControlTemplate;
using ui::CUserInput;

namespace {

// a * b / c rounded to the nearest, as the handheld's MulDiv.
int MulDiv(int a, int b, int c) {
    const long long nProduct = static_cast<long long>(a) * b;
    const long long nHalf = c / 2;
    return static_cast<int>(nProduct >= 0 ? (nProduct + nHalf) / c : (nProduct - nHalf) / c);
}

QString ToQt(const std::wstring& str) {
    return QString::fromStdWString(str);
}

// A drop-down list that tells how a choice was made: in the dropped list (a pick), with the
// keys while closed, or not at all (opened and closed again).
class CQtDropDownList final : public QComboBox {
  public:
    explicit CQtDropDownList(QWidget* pParent) : QComboBox(pParent) {
        connect(this, &QComboBox::activated, this, [this](int nIndex) {
            if (m_bOpen || m_bClosing) {
                m_bChosen = true;
                if (m_onPick)
                    m_onPick(nIndex);
            } else if (m_onKeys) {
                m_onKeys(nIndex);
            }
        });
    }

    std::function<void(int)> m_onPick;
    std::function<void(int)> m_onKeys;
    std::function<void()> m_onCloseUp;

    void showPopup() override {
        m_bOpen = true;
        m_bChosen = false;
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        if (!m_bOpen)
            return;
        m_bOpen = false;
        // The choice, if any, is reported right after the list closes.
        m_bClosing = true;
        QTimer::singleShot(0, this, [this] {
            m_bClosing = false;
            if (!m_bChosen && m_onCloseUp)
                m_onCloseUp();
        });
    }

  protected:
    // A wheel turned over a closed list must not change a setting by accident.
    void wheelEvent(QWheelEvent* pEvent) override { pEvent->ignore(); }

  private:
    bool m_bOpen = false;
    bool m_bClosing = false;
    bool m_bChosen = false;
};

// What a screen reader is told of a drop-down list: its name is its label ("Servo"), the
// entry shown is its value. (Qt's own interface on Linux names the list by its entry.) Its
// one child is the dropped list, as in Qt's; the focus can be set from outside.
class CQtDropDownListAccessible final : public QAccessibleWidget {
  public:
    explicit CQtDropDownListAccessible(QComboBox* pCombo)
        : QAccessibleWidget(pCombo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? Combo()->currentText() : QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int nIndex) const override {
        return nIndex == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* pChild) const override {
        return pChild && pChild->object() == Combo()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction() << pressAction();
    }
    void doAction(const QString& strAction) override {
        if (strAction != showMenuAction() && strAction != pressAction())
            QAccessibleWidget::doAction(strAction);
        else if (Combo()->view()->isVisible())
            Combo()->hidePopup();
        else
            Combo()->showPopup();
    }

  private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* DropDownListAccessible(const QString& strClass, QObject* pObject) {
    if (strClass != QLatin1String("QComboBox"))
        return nullptr;
    auto* pList = dynamic_cast<CQtDropDownList*>(pObject);
    return pList ? new CQtDropDownListAccessible(pList) : nullptr;
}

// A trackbar whose keys step as the handheld's do (left and up are "line up").
class CQtTrackbar final : public QSlider {
  public:
    explicit CQtTrackbar(QWidget* pParent) : QSlider(Qt::Horizontal, pParent) {}

    std::function<void(int)> m_onStep;

  protected:
    void keyPressEvent(QKeyEvent* pEvent) override {
        int nCode = -1;
        switch (pEvent->key()) {
            case Qt::Key_Left:
            case Qt::Key_Up:
                nCode = ui::TB_LINEUP;
                break;
            case Qt::Key_Right:
            case Qt::Key_Down:
                nCode = ui::TB_LINEDOWN;
                break;
            case Qt::Key_PageUp:
                nCode = ui::TB_PAGEUP;
                break;
            case Qt::Key_PageDown:
                nCode = ui::TB_PAGEDOWN;
                break;
            case Qt::Key_Home:
                nCode = ui::TB_TOP;
                break;
            case Qt::Key_End:
                nCode = ui::TB_BOTTOM;
                break;
            default:
                QSlider::keyPressEvent(pEvent);
                return;
        }
        pEvent->accept();
        if (m_onStep)
            m_onStep(nCode);
    }
    void wheelEvent(QWheelEvent* pEvent) override { pEvent->ignore(); }
};

// A list box that tells a selection moved by the keys from one made with the pen.
class CQtListBox final : public QListWidget {
  public:
    explicit CQtListBox(QWidget* pParent) : QListWidget(pParent) {}
    bool m_bKeys = false;

  protected:
    void keyPressEvent(QKeyEvent* pEvent) override {
        m_bKeys = true;
        QListWidget::keyPressEvent(pEvent);
        m_bKeys = false;
    }
};

bool IsButtonKind(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::DefPushButton ||
           kind == ControlKind::PushLikeToggle;
}

// Focus that Qt gives back by itself (a window activated again, a popup closed) is not input;
// any other move is: a click, the keys, a screen reader's focus action, a call from outside.
bool IsRestoredFocus(Qt::FocusReason reason) {
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

int TrackbarCode(int nAction) {
    switch (nAction) {
        case QAbstractSlider::SliderSingleStepSub:
            return ui::TB_LINEUP;
        case QAbstractSlider::SliderSingleStepAdd:
            return ui::TB_LINEDOWN;
        case QAbstractSlider::SliderPageStepSub:
            return ui::TB_PAGEUP;
        case QAbstractSlider::SliderPageStepAdd:
            return ui::TB_PAGEDOWN;
        case QAbstractSlider::SliderToMinimum:
            return ui::TB_TOP;
        case QAbstractSlider::SliderToMaximum:
            return ui::TB_BOTTOM;
        default:
            return -1;
    }
}

// Sets a list-like widget's entries when they differ from the framework's.
template <typename Widget>
void SyncItems(Widget* pWidget, const CControl& control) {
    bool bSame = pWidget->count() == control.GetCount();
    for (int i = 0; bSame && i < control.GetCount(); ++i) {
        if constexpr (std::is_same_v<Widget, QComboBox>)
            bSame = pWidget->itemText(i) == ToQt(control.GetLBText(i));
        else
            bSame = pWidget->item(i)->text() == ToQt(control.GetLBText(i));
    }
    if (bSame)
        return;
    pWidget->clear();
    for (int i = 0; i < control.GetCount(); ++i)
        pWidget->addItem(ToQt(control.GetLBText(i)));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Dialog units

int DialogUnits::X(int x) const {
    return MulDiv(x, nBaseX, 4);
}

int DialogUnits::Y(int y) const {
    return MulDiv(y, nBaseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int cx, int cy) const {
    return QRect(X(x), Y(y), X(cx), Y(cy));
}

DialogUnits DialogUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int cx = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(cx / 26 + 1) / 2, metrics.height()};
}

// ---------------------------------------------------------------------------------------------
// CQtDialogView

CQtDialogView::CQtDialogView(QtUiHost& host, ui::CDialog& dlg, QWidget* pParent)
    : QWidget(pParent), m_host(host), m_pDlg(&dlg) {
    const ui::DialogTemplate& tmpl = dlg.Template();
    const QFont font = host.DialogFont(tmpl);
    setFont(font);
    m_units = DialogUnitsOf(font);
    setFixedSize(m_units.X(tmpl.cx), m_units.Y(tmpl.cy));

    const std::vector<std::wstring> names = AccessibleNames(tmpl);
    const auto& controls = dlg.Controls();
    m_widgets.reserve(controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        QWidget* pWidget = CreateControl(i, controls[i]->Template());
        if (i < names.size())
            pWidget->setAccessibleName(ToQt(names[i]));
        pWidget->installEventFilter(this);
        m_widgets.push_back(pWidget);
    }
    // Group boxes are drawn behind the controls they frame.
    for (size_t i = 0; i < controls.size(); ++i)
        if (controls[i]->Kind() == ControlKind::GroupBox)
            m_widgets[i]->lower();
    for (const auto& pControl : controls)
        Sync(*pControl);
    dlg.SetView(this);
}

CQtDialogView::~CQtDialogView() {
    Detach();
}

void CQtDialogView::Detach() {
    if (m_pDlg && m_pDlg->GetView() == this)
        m_pDlg->SetView(nullptr);
    m_pDlg = nullptr;
    m_pTyping = nullptr;
    m_pMouseFocused = nullptr;
    m_pClickAfterBox = nullptr;
    m_shownSel.clear();
}

CControl* CQtDialogView::ControlAt(size_t nIndex) const {
    if (!m_pDlg || nIndex >= m_pDlg->Controls().size())
        return nullptr;
    return m_pDlg->Controls()[nIndex].get();
}

size_t CQtDialogView::IndexOf(const QObject* pWidget) const {
    const auto it = std::find(m_widgets.begin(), m_widgets.end(), pWidget);
    return static_cast<size_t>(it - m_widgets.begin());
}

QWidget* CQtDialogView::ControlWidget(const CControl& control) const {
    if (!m_pDlg)
        return nullptr;
    const auto& controls = m_pDlg->Controls();
    for (size_t i = 0; i < controls.size() && i < m_widgets.size(); ++i)
        if (controls[i].get() == &control)
            return m_widgets[i];
    return nullptr;
}

template <typename Action>
void CQtDialogView::Input(size_t nIndex, Action action) {
    CControl* pControl = ControlAt(nIndex);
    if (!pControl)
        return;
    QtUiHost& host = m_host;
    const QPointer<CQtDialogView> pSelf(this);
    action(*pControl);
    // The handlers may have destroyed the window; while it exists its controls do.
    if (pSelf && m_pDlg)
        Sync(*pControl);
    host.AfterInput();
}

QWidget* CQtDialogView::CreateControl(size_t nIndex, const ControlTemplate& tmpl) {
    QRect rect = m_units.Rect(tmpl.x, tmpl.y, tmpl.cx, tmpl.cy);
    QWidget* pWidget = nullptr;
    switch (tmpl.kind) {
        case ControlKind::GroupBox:
            pWidget = CreateGroupBox();
            break;
        case ControlKind::Static:
            pWidget = CreateStatic(tmpl, rect);
            break;
        case ControlKind::Edit:
            pWidget = CreateEdit(nIndex, tmpl);
            break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
            pWidget = CreatePushButton(nIndex, tmpl.kind == ControlKind::DefPushButton);
            break;
        case ControlKind::PushLikeToggle:
            pWidget = CreateToggle(nIndex);
            break;
        case ControlKind::DropDownList:
            pWidget = CreateDropDownList(nIndex);
            // The closed box: as tall as the style needs for the font, never taller than the
            // template allows.
            rect.setHeight(std::min(rect.height(), pWidget->sizeHint().height()));
            break;
        case ControlKind::ListBox:
            pWidget = CreateListBox(nIndex, tmpl);
            break;
        case ControlKind::Trackbar:
            pWidget = CreateTrackbar(nIndex, tmpl);
            break;
        case ControlKind::ProgressBar:
            pWidget = CreateProgressBar();
            break;
    }
    // Tab stops take the focus by keys and the pen, other controls by the pen only.
    if (pWidget->focusPolicy() != Qt::NoFocus)
        pWidget->setFocusPolicy((tmpl.nStyle & ui::STYLE_TABSTOP) ? Qt::StrongFocus
                                                                  : Qt::ClickFocus);
    pWidget->setGeometry(rect);
    return pWidget;
}

QWidget* CQtDialogView::CreateGroupBox() {
    auto* pGroup = new QGroupBox(this);
    // As the handheld draws it: the frame line runs through the middle of the title.
    const int nLine = QFontMetrics(font()).height() / 2;
    pGroup->setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                       " margin-top: %1px; }"
                       " QGroupBox::title { subcontrol-origin: margin; left: %2px;"
                       " padding: 0px 2px; }")
            .arg(nLine)
            .arg(m_units.nBaseX));
    pGroup->setAttribute(Qt::WA_TransparentForMouseEvents);
    pGroup->setFocusPolicy(Qt::NoFocus);
    return pGroup;
}

QWidget* CQtDialogView::CreateStatic(const ControlTemplate& tmpl, const QRect& rect) {
    auto* pLabel = new QLabel(this);
    pLabel->setTextFormat(Qt::PlainText);
    Qt::Alignment align = Qt::AlignLeft;
    if (tmpl.nStyle & ui::STYLE_CENTER)
        align = Qt::AlignHCenter;
    else if (tmpl.nStyle & ui::STYLE_RIGHT)
        align = Qt::AlignRight;
    pLabel->setAlignment(align | Qt::AlignTop);
    // Text taller than one line wraps at words as the handheld's static text does.
    pLabel->setWordWrap(rect.height() >= 2 * QFontMetrics(font()).height() ||
                        tmpl.strText.find(L'\n') != std::wstring::npos);
    if (tmpl.nStyle & ui::STYLE_BORDER)
        pLabel->setFrameShape(QFrame::Box);
    pLabel->setFocusPolicy(Qt::NoFocus);
    return pLabel;
}

QWidget* CQtDialogView::CreateEdit(size_t nIndex, const ControlTemplate& tmpl) {
    auto* pEdit = new QLineEdit(this);
    pEdit->setFrame((tmpl.nStyle & ui::STYLE_BORDER) != 0);
    pEdit->setReadOnly((tmpl.nStyle & ui::STYLE_READONLY) != 0);
    // Disabled edits are the Main page's display-only boxes: the gyro's identity must stay
    // readable, not greyed out as desktop styles draw a disabled box.
    QPalette palette = pEdit->palette();
    palette.setColor(QPalette::Disabled, QPalette::Text,
                     palette.color(QPalette::Active, QPalette::Text));
    pEdit->setPalette(palette);
    if (tmpl.nStyle & ui::STYLE_NUMBER)
        pEdit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pEdit));
    connect(pEdit, &QLineEdit::textEdited, this, [this, nIndex](const QString& strText) {
        const QPointer<CQtDialogView> pSelf(this);
        m_pTyping = ControlAt(nIndex);
        Input(nIndex,
              [&strText](CControl& control) { CUserInput::Type(control, strText.toStdWString()); });
        if (pSelf)
            m_pTyping = nullptr;
    });
    return pEdit;
}

QPushButton* CQtDialogView::CreateButton(size_t nIndex) {
    auto* pButton = new QPushButton(this);
    pButton->setAutoDefault(false);
    // The press that gave the button the focus has moved it already; otherwise (keys, or a
    // window that was not active) the tap moves it first.
    connect(pButton, &QPushButton::clicked, this, [this, nIndex] {
        const CControl* pControl = ControlAt(nIndex);
        const bool bFocused =
            pControl && (m_pMouseFocused == pControl || pControl->Owner().GetFocus() == pControl);
        m_pMouseFocused = nullptr;
        Input(nIndex, [bFocused](CControl& control) {
            if (bFocused)
                CUserInput::Click(control);
            else
                CUserInput::Tap(control);
        });
    });
    return pButton;
}

QWidget* CQtDialogView::CreatePushButton(size_t nIndex, bool bDefault) {
    QPushButton* pButton = CreateButton(nIndex);
    pButton->setDefault(bDefault);
    return pButton;
}

QWidget* CQtDialogView::CreateToggle(size_t nIndex) {
    // Checkable, so that it shows and reports its pressed state; the framework flips it.
    QPushButton* pButton = CreateButton(nIndex);
    pButton->setCheckable(true);
    // The desktop styles draw a pressed toggle barely darker than a released one; the pilot
    // must see at a glance which direction is set.
    pButton->setStyleSheet(QStringLiteral(
        "QPushButton:checked { background-color: palette(highlight); color: "
        "palette(highlighted-text); border: 1px solid palette(dark); border-radius: 2px; }"));
    return pButton;
}

QWidget* CQtDialogView::CreateDropDownList(size_t nIndex) {
    static const bool bAccessible = (QAccessible::installFactory(DropDownListAccessible), true);
    (void)bAccessible;
    auto* pCombo = new CQtDropDownList(this);
    pCombo->setEditable(false);
    pCombo->m_onPick = [this, nIndex](int nItem) {
        Input(nIndex, [nItem](CControl& control) { CUserInput::Pick(control, nItem); });
    };
    pCombo->m_onKeys = [this, nIndex](int nItem) {
        Input(nIndex, [nItem](CControl& control) { CUserInput::SelectWithKeys(control, nItem); });
    };
    pCombo->m_onCloseUp = [this, nIndex] {
        Input(nIndex, [](CControl& control) { CUserInput::OpenAndClose(control); });
    };
    return pCombo;
}

QWidget* CQtDialogView::CreateListBox(size_t nIndex, const ControlTemplate& tmpl) {
    auto* pList = new CQtListBox(this);
    pList->setSelectionMode(QAbstractItemView::SingleSelection);
    pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pList->setVerticalScrollBarPolicy((tmpl.nStyle & ui::STYLE_VSCROLL) ? Qt::ScrollBarAsNeeded
                                                                        : Qt::ScrollBarAlwaysOff);
    // The style's own frame is drawn as lines, which vanish where a fractional scale puts them
    // between two device pixels; a style-sheet border is filled and always shows.
    if (tmpl.nStyle & ui::STYLE_BORDER)
        pList->setStyleSheet(QStringLiteral("QListWidget { border: 1px solid palette(mid); }"));
    else
        pList->setFrameShape(QFrame::NoFrame);
    connect(pList, &QListWidget::itemSelectionChanged, this, [this, nIndex, pList] {
        const QModelIndexList selected = pList->selectionModel()->selectedRows();
        if (selected.isEmpty())
            return;
        const int nItem = selected.first().row();
        const bool bKeys = pList->m_bKeys;
        Input(nIndex, [nItem, bKeys](CControl& control) {
            if (bKeys)
                CUserInput::SelectWithKeys(control, nItem);
            else
                CUserInput::Pick(control, nItem);
        });
    });
    return pList;
}

QWidget* CQtDialogView::CreateTrackbar(size_t nIndex, const ControlTemplate& tmpl) {
    auto* pSlider = new CQtTrackbar(this);
    pSlider->setTickPosition((tmpl.nStyle & ui::STYLE_AUTOTICKS) ? QSlider::TicksBelow
                                                                 : QSlider::NoTicks);
    pSlider->m_onStep = [this, nIndex](int nCode) {
        Input(nIndex, [nCode](CControl& control) { CUserInput::Step(control, nCode); });
    };
    // Mouse actions arrive before the slider takes its new value; the framework's position
    // then rules.
    connect(pSlider, &QAbstractSlider::actionTriggered, this, [this, nIndex, pSlider](int nAction) {
        const QPointer<CQtDialogView> pSelf(this);
        if (nAction == QAbstractSlider::SliderMove) {
            const int nPos = pSlider->sliderPosition();
            Input(nIndex, [nPos](CControl& control) { CUserInput::MoveThumb(control, nPos); });
        } else if (const int nCode = TrackbarCode(nAction); nCode >= 0) {
            Input(nIndex, [nCode](CControl& control) { CUserInput::Step(control, nCode); });
        }
        if (!pSelf)
            return;
        if (const CControl* pControl = ControlAt(nIndex))
            pSlider->setSliderPosition(pControl->GetPos());
    });
    connect(pSlider, &QAbstractSlider::sliderReleased, this, [this, nIndex] {
        Input(nIndex, [](CControl& control) { CUserInput::ReleaseThumb(control); });
    });
    return pSlider;
}

QWidget* CQtDialogView::CreateProgressBar() {
    auto* pProgress = new QProgressBar(this);
    pProgress->setTextVisible(false);
    pProgress->setFocusPolicy(Qt::NoFocus);
    return pProgress;
}

void CQtDialogView::Sync(CControl& control) {
    const size_t nIndex = [&] {
        const auto& controls = m_pDlg->Controls();
        for (size_t i = 0; i < controls.size(); ++i)
            if (controls[i].get() == &control)
                return i;
        return controls.size();
    }();
    if (nIndex >= m_widgets.size())
        return;
    QWidget* pWidget = m_widgets[nIndex];
    const QSignalBlocker blocker(pWidget);
    ++m_nSyncDepth;
    pWidget->setEnabled(control.IsWindowEnabled());
    pWidget->setVisible(control.IsWindowVisible());
    const QString strText = ToQt(control.GetWindowText());
    // A static's description is its text (below); other controls' is the framework's.
    if (const QString strDescription = ToQt(control.GetDescription());
        control.Kind() != ControlKind::Static && pWidget->toolTip() != strDescription) {
        pWidget->setToolTip(strDescription);
        pWidget->setAccessibleDescription(strDescription);
    }
    switch (control.Kind()) {
        case ControlKind::GroupBox:
            static_cast<QGroupBox*>(pWidget)->setTitle(ToQt(DisplayText(control.GetWindowText())));
            pWidget->setAccessibleName(ToQt(CaptionName(control.GetWindowText())));
            break;
        case ControlKind::Static:
            static_cast<QLabel*>(pWidget)->setText(ToQt(DisplayText(control.GetWindowText())));
            // A label is named by its text; a status line keeps its name and tells its text.
            if (control.GetDlgCtrlID() == ui::IDC_STATIC)
                pWidget->setAccessibleName(ToQt(CaptionName(control.GetWindowText())));
            else
                pWidget->setAccessibleDescription(ToQt(CaptionName(control.GetWindowText())));
            break;
        case ControlKind::Edit:
            SyncEdit(control, pWidget);
            break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::PushLikeToggle: {
            auto* pButton = static_cast<QPushButton*>(pWidget);
            pButton->setText(strText);
            pButton->setAccessibleName(ToQt(CaptionName(control.GetWindowText())));
            if (pButton->isCheckable())
                pButton->setChecked(control.GetCheck() != 0);
            break;
        }
        case ControlKind::DropDownList: {
            auto* pCombo = static_cast<QComboBox*>(pWidget);
            SyncItems(pCombo, control);
            pCombo->setCurrentIndex(control.GetCurSel());
            break;
        }
        case ControlKind::ListBox: {
            auto* pList = static_cast<QListWidget*>(pWidget);
            SyncItems(pList, control);
            if (control.GetCurSel() >= 0) {
                pList->setCurrentRow(control.GetCurSel());
                pList->scrollToItem(pList->currentItem());
            } else {
                pList->clearSelection();
            }
            break;
        }
        case ControlKind::Trackbar: {
            auto* pSlider = static_cast<QSlider*>(pWidget);
            pSlider->setRange(control.GetRangeMin(), control.GetRangeMax());
            pSlider->setTickInterval(control.GetTicFreq());
            pSlider->setSingleStep(control.GetLineSize());
            pSlider->setPageStep(control.GetPageSize());
            pSlider->setValue(control.GetPos());
            break;
        }
        case ControlKind::ProgressBar: {
            auto* pProgress = static_cast<QProgressBar*>(pWidget);
            pProgress->setRange(control.GetRangeMin(),
                                std::max(control.GetRangeMin(), control.GetRangeMax()));
            pProgress->setValue(control.GetPos());
            break;
        }
    }
    --m_nSyncDepth;
}

void CQtDialogView::SyncEdit(CControl& control, QWidget* pWidget) {
    auto* pEdit = static_cast<QLineEdit*>(pWidget);
    const QString strText = ToQt(control.GetWindowText());
    const std::pair<int, int> sel{control.SelStart(), control.SelEnd()};
    const bool bTextChanged = pEdit->text() != strText;
    if (bTextChanged)
        pEdit->setText(strText);
    // While a person types, the caret is theirs; a selection set from code is shown.
    if (&control == m_pTyping && !bTextChanged) {
        m_shownSel[&control] = sel;
        return;
    }
    const auto it = m_shownSel.find(&control);
    if (!bTextChanged && it != m_shownSel.end() && it->second == sel)
        return;
    m_shownSel[&control] = sel;
    if (sel.second > sel.first)
        pEdit->setSelection(sel.first, sel.second - sel.first);
    else
        pEdit->setCursorPosition(sel.first);
}

void CQtDialogView::ControlChanged(CControl& control) {
    if (m_pDlg)
        Sync(control);
}

void CQtDialogView::FocusChanged(CControl* pControl) {
    if (!m_pDlg)
        return;
    if (!pControl) {
        // No control has the focus, nor may a widget of this window that Qt focused by itself:
        // a tap on it must still arrive as a focus change.
        QWidget* pFocused = QApplication::focusWidget();
        if (pFocused && isAncestorOf(pFocused)) {
            ++m_nSyncDepth;
            pFocused->clearFocus();
            --m_nSyncDepth;
        }
        return;
    }
    if (QWidget* pWidget = ControlWidget(*pControl)) {
        ++m_nSyncDepth;
        pWidget->setFocus(Qt::OtherFocusReason);
        --m_nSyncDepth;
    }
}

bool CQtDialogView::TakesFocusInput() const {
    // A tab's page is shown, and the focus moved into it, before its sheet is asked.
    const auto* pPage = dynamic_cast<const ui::CPropertyPage*>(m_pDlg);
    if (pPage && pPage->GetSheet() && pPage->GetSheet()->GetActivePage() != pPage)
        return false;
    return !m_host.IsQtMovingFocus();
}

void CQtDialogView::ApplyFocus() {
    if (m_pDlg)
        FocusChanged(m_pDlg->GetFocus());
}

bool CQtDialogView::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (!m_pDlg || m_nSyncDepth > 0)
        return QWidget::eventFilter(pWatched, pEvent);
    const size_t nIndex = IndexOf(pWatched);
    CControl* pControl = ControlAt(nIndex);
    if (pEvent->type() == QEvent::MouseButtonPress && m_pClickAfterBox) {
        // The press whose focus change opened a modal box: the pen was lifted while the box
        // was open, which Qt does not pass on, and over the button all the same. The click
        // goes now; Qt's button never goes down, as no release would come to lift it.
        if (std::exchange(m_pClickAfterBox, nullptr) == pControl) {
            m_pMouseFocused = nullptr;
            Input(nIndex, [](CControl& control) { CUserInput::Click(control); });
            return true;
        }
    }
    if (pEvent->type() != QEvent::FocusIn || !pControl)
        return QWidget::eventFilter(pWatched, pEvent);
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(pEvent)->reason();
    if (reason == Qt::MouseFocusReason)
        m_pMouseFocused = pControl;
    if (pControl != m_pDlg->GetFocus() && !IsRestoredFocus(reason) && TakesFocusInput()) {
        const QPointer<CQtDialogView> pSelf(this);
        const int nModals = m_host.ModalsOpened();
        Input(nIndex, [](CControl& control) { CUserInput::Focus(control); });
        if (pSelf && reason == Qt::MouseFocusReason && IsButtonKind(pControl->Kind()) &&
            m_host.ModalsOpened() != nModals)
            m_pClickAfterBox = pControl;
    }
    return false;
}

}  // namespace platform::qt
