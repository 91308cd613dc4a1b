#include "platform/qt/qt_ui_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "platform/qt/dialog_texts.h"
#include "platform/qt/qt_dialog_view.h"

namespace platform::qt {

using ui::CDialog;
using ui::CPropertyPage;
using ui::CPropertySheet;
using ui::CUserInput;

namespace {

// How often a modal dialog looks whether code has ended it.
constexpr int END_POLL_MS = 20;

QString ToQt(const std::wstring& str) {
    return QString::fromStdWString(str);
}

bool IsEnterKey(const QKeyEvent* pEvent) {
    return pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// A modal dialog's window: runs until the framework's dialog has ended.

class CQtModalWindow final : public QDialog {
  public:
    CQtModalWindow(QtUiHost& host, CDialog& dlg, QWidget* pParent)
        : QDialog(pParent), m_host(host), m_dlg(dlg) {
        setWindowTitle(ToQt(dlg.Template().strCaption));
        m_poll.setInterval(END_POLL_MS);
        connect(&m_poll, &QTimer::timeout, this, [this] { CloseIfEnded(); });
    }

    CDialog& Dialog() const { return m_dlg; }

    // Shows the dialog until it ends.
    void Run() {
        if (QWidget* pView = m_host.WindowWidget(m_dlg))
            setFixedSize(pView->size());
        if (m_dlg.IsEnded())
            return;
        m_bRunning = true;
        m_poll.start();
        exec();
        m_poll.stop();
        m_bRunning = false;
    }

    void CloseIfEnded() {
        if (m_bRunning && m_dlg.IsEnded())
            done(m_dlg.EndCode());
    }

    void reject() override { CancelByUser(); }

  protected:
    void keyPressEvent(QKeyEvent* pEvent) override {
        if (IsEnterKey(pEvent)) {
            pEvent->accept();
            CUserInput::PressEnter(m_dlg);
            m_host.AfterInput();
            return;
        }
        if (pEvent->key() == Qt::Key_Escape) {
            pEvent->accept();
            CancelByUser();
            return;
        }
        QDialog::keyPressEvent(pEvent);
    }

    void closeEvent(QCloseEvent* pEvent) override {
        if (!m_dlg.IsEnded())
            CancelByUser();
        if (m_dlg.IsEnded())
            pEvent->accept();
        else
            pEvent->ignore();
    }

  private:
    // The title bar's close button or Escape: Cancel, which the dialog may refuse.
    void CancelByUser() {
        if (!m_dlg.IsEnded())
            CUserInput::Close(m_dlg);
        m_host.AfterInput();
    }

    QtUiHost& m_host;
    CDialog& m_dlg;
    QTimer m_poll;
    bool m_bRunning = false;
};

// ---------------------------------------------------------------------------------------------
// The property sheet's window: its tabs at the bottom, every change of tab asked of the
// framework first.

namespace {

// A tab bar that does not change its tab itself: it asks.
class CQtSheetTabBar final : public QTabBar {
  public:
    std::function<void(int)> m_onChoose;

  protected:
    void mousePressEvent(QMouseEvent* pEvent) override {
        if (pEvent->button() == Qt::LeftButton) {
            const int nIndex = tabAt(pEvent->position().toPoint());
            if (nIndex >= 0 && nIndex != currentIndex()) {
                pEvent->accept();
                if (m_onChoose)
                    m_onChoose(nIndex);
                return;
            }
        }
        QTabBar::mousePressEvent(pEvent);
    }
    void keyPressEvent(QKeyEvent* pEvent) override {
        const int nStep = pEvent->key() == Qt::Key_Left    ? -1
                          : pEvent->key() == Qt::Key_Right ? 1
                                                           : 0;
        const int nIndex = currentIndex() + nStep;
        if (nStep == 0 || nIndex < 0 || nIndex >= count()) {
            QTabBar::keyPressEvent(pEvent);
            return;
        }
        pEvent->accept();
        if (m_onChoose)
            m_onChoose(nIndex);
    }
    void wheelEvent(QWheelEvent* pEvent) override { pEvent->ignore(); }
};

class CQtSheetTabs final : public QTabWidget {
  public:
    explicit CQtSheetTabs(QWidget* pParent) : QTabWidget(pParent), m_pBar(new CQtSheetTabBar) {
        setTabBar(m_pBar);
        setTabPosition(QTabWidget::South);
    }
    void SetChooser(std::function<void(int)> choose) { m_pBar->m_onChoose = std::move(choose); }

  protected:
    // Ctrl+Tab and Ctrl+PageDown go to the next tab, with Shift or PageUp to the one before.
    void keyPressEvent(QKeyEvent* pEvent) override {
        const bool bCtrl = (pEvent->modifiers() & Qt::ControlModifier) != 0;
        int nStep = 0;
        if (bCtrl && (pEvent->key() == Qt::Key_Tab || pEvent->key() == Qt::Key_PageDown))
            nStep = 1;
        if (bCtrl && (pEvent->key() == Qt::Key_Backtab || pEvent->key() == Qt::Key_PageUp ||
                      (pEvent->key() == Qt::Key_Tab && (pEvent->modifiers() & Qt::ShiftModifier))))
            nStep = -1;
        if (nStep == 0 || count() < 2) {
            QTabWidget::keyPressEvent(pEvent);
            return;
        }
        pEvent->accept();
        if (m_pBar->m_onChoose)
            m_pBar->m_onChoose((currentIndex() + nStep + count()) % count());
    }

  private:
    CQtSheetTabBar* m_pBar;
};

}  // namespace

class CQtSheetWindow final : public QDialog, public CPropertySheet::View {
  public:
    CQtSheetWindow(QtUiHost& host, CPropertySheet& sheet)
        : QDialog(nullptr), m_host(host), m_sheet(sheet), m_pTabs(new CQtSheetTabs(this)) {
        setWindowTitle(ToQt(sheet.Caption()));
        auto* pLayout = new QVBoxLayout(this);
        pLayout->setContentsMargins(2, 2, 2, 2);
        pLayout->setSizeConstraint(QLayout::SetFixedSize);
        pLayout->addWidget(m_pTabs);
        m_pTabs->SetChooser([this](int nIndex) { Choose(nIndex); });
        // Tab changes that reach the tab widget by another way are asked afterwards.
        connect(m_pTabs, &QTabWidget::currentChanged, this, [this](int nIndex) {
            if (m_nSyncDepth == 0 && nIndex != m_sheet.GetActiveIndex())
                Choose(nIndex);
        });
        EnsureTabs();
    }

    CPropertySheet& Sheet() const { return m_sheet; }

    // The tab's area where a page's widgets go.
    QWidget* PageContainer(const CPropertyPage& page) {
        EnsureTabs();
        for (int i = 0; i < m_sheet.GetPageCount(); ++i)
            if (m_sheet.GetPage(i) == &page)
                return m_pTabs->widget(i);
        return nullptr;
    }

    void Run() {
        if (m_sheet.IsClosed())
            return;
        m_bRunning = true;
        exec();
        m_bRunning = false;
    }

    void ActivePageChanged(int nIndex) override {
        EnsureTabs();
        ++m_nSyncDepth;
        m_host.MoveFocusAsQt([&] { m_pTabs->setCurrentIndex(nIndex); });
        --m_nSyncDepth;
        if (auto* pView =
                dynamic_cast<CQtDialogView*>(m_host.WindowWidget(*m_sheet.GetPage(nIndex))))
            pView->ApplyFocus();
    }
    void PageCreated(CPropertyPage& page) override {
        if (QWidget* pView = m_host.WindowWidget(page))
            pView->show();
    }
    void Closed() override {
        if (m_bRunning)
            done(ui::IDOK);
    }

    void reject() override {}

  protected:
    void closeEvent(QCloseEvent* pEvent) override {
        const bool bClosed = m_sheet.IsClosed() || CUserInput::CloseSheet(m_sheet);
        m_host.AfterInput();
        if (bClosed)
            pEvent->accept();
        else
            pEvent->ignore();
    }
    void keyPressEvent(QKeyEvent* pEvent) override {
        // The handheld's sheet has neither an OK nor a Cancel button to press.
        if (IsEnterKey(pEvent) || pEvent->key() == Qt::Key_Escape) {
            pEvent->accept();
            return;
        }
        QDialog::keyPressEvent(pEvent);
    }

  private:
    void Choose(int nIndex) {
        const QPointer<CQtSheetWindow> pSelf(this);
        const bool bChosen = CUserInput::ChooseTab(m_sheet, nIndex);
        if (!pSelf)
            return;
        if (!bChosen && m_sheet.GetActiveIndex() >= 0) {
            ++m_nSyncDepth;
            m_host.MoveFocusAsQt([&] { m_pTabs->setCurrentIndex(m_sheet.GetActiveIndex()); });
            --m_nSyncDepth;
        }
        m_host.AfterInput();
    }

    // A tab for every page, sized for the largest page before any page exists.
    void EnsureTabs() {
        ++m_nSyncDepth;
        for (int i = m_pTabs->count(); i < m_sheet.GetPageCount(); ++i) {
            const ui::DialogTemplate& tmpl = m_sheet.GetPage(i)->Template();
            const DialogUnits units = DialogUnitsOf(m_host.DialogFont(tmpl));
            auto* pContainer = new QWidget;
            pContainer->setMinimumSize(units.X(tmpl.cx), units.Y(tmpl.cy));
            m_pTabs->addTab(pContainer, ToQt(DisplayText(tmpl.strCaption)));
        }
        --m_nSyncDepth;
    }

    QtUiHost& m_host;
    CPropertySheet& m_sheet;
    CQtSheetTabs* m_pTabs;
    int m_nSyncDepth = 0;
    bool m_bRunning = false;
};

// ---------------------------------------------------------------------------------------------
// QtUiHost

QtUiHost::QtUiHost(QtEventLoop& loop) : m_loop(loop) {}

QtUiHost::~QtUiHost() {
    for (auto& [pDlg, pView] : m_views) {
        if (pView) {
            pView->Detach();
            delete pView;
        }
    }
}

void QtUiHost::SetIconLookup(IconLookup lookup, int nProgramIconId) {
    m_iconLookup = lookup;
    if (const char* const* pXpm = lookup ? lookup(nProgramIconId) : nullptr)
        QApplication::setWindowIcon(QIcon(QPixmap(pXpm)));
}

QFont QtUiHost::DialogFont(const ui::DialogTemplate& tmpl) const {
    // The handheld's faces, then faces of about their width that Linux systems carry.
    static const QStringList FALLBACKS = {
        QStringLiteral("Tahoma"),      QStringLiteral("Liberation Sans"),
        QStringLiteral("Arimo"),       QStringLiteral("Nimbus Sans"),
        QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans"),
    };
    const QStringList families = QFontDatabase::families();
    QString strFamily = ToQt(tmpl.strFontName);
    if (!families.contains(strFamily, Qt::CaseInsensitive)) {
        strFamily.clear();
        for (const QString& strCandidate : FALLBACKS) {
            if (families.contains(strCandidate, Qt::CaseInsensitive)) {
                strFamily = strCandidate;
                break;
            }
        }
    }
    QFont font;
    if (!strFamily.isEmpty())
        font.setFamily(strFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF((tmpl.nPointSize > 0 ? tmpl.nPointSize : 8) * m_dZoom);
    return font;
}

QWidget* QtUiHost::WindowWidget(const CDialog& dlg) const {
    const auto it = m_views.find(&dlg);
    return it == m_views.end() ? nullptr : it->second;
}

QWidget* QtUiHost::ControlWidget(const ui::CControl& control) const {
    const auto it = m_views.find(&control.Owner());
    return it == m_views.end() || !it->second ? nullptr : it->second->ControlWidget(control);
}

QDialog* QtUiHost::SheetWindow(const CPropertySheet& sheet) const {
    return SheetOf(&sheet);
}

CQtSheetWindow* QtUiHost::SheetOf(const CPropertySheet* pSheet) const {
    for (CQtSheetWindow* pWindow : m_sheetWindows)
        if (&pWindow->Sheet() == pSheet)
            return pWindow;
    return nullptr;
}

QWidget* QtUiHost::OwnerWindow(CDialog* pOwner) const {
    if (!m_modalWindows.empty())
        return m_modalWindows.back();
    if (pOwner)
        if (QWidget* pView = WindowWidget(*pOwner); pView && pView->window()->isVisible())
            return pView->window();
    if (!m_sheetWindows.empty())
        return m_sheetWindows.back();
    return QApplication::activeWindow();
}

void QtUiHost::WindowCreated(CDialog& dlg) {
    QWidget* pParent = nullptr;
    if (m_pCreating && &m_pCreating->Dialog() == &dlg)
        pParent = m_pCreating;
    else if (auto* pPage = dynamic_cast<CPropertyPage*>(&dlg))
        if (CQtSheetWindow* pSheet = SheetOf(pPage->GetSheet()))
            pParent = pSheet->PageContainer(*pPage);
    m_views[&dlg] = new CQtDialogView(*this, dlg, pParent);
}

void QtUiHost::WindowDestroyed(CDialog& dlg) {
    const auto it = m_views.find(&dlg);
    if (it == m_views.end())
        return;
    CQtDialogView* pView = it->second;
    m_views.erase(it);
    if (!pView)
        return;
    pView->Detach();
    pView->hide();
    // Its own input handlers may be on the stack: deleted once they have returned.
    pView->deleteLater();
}

void QtUiHost::AfterInput() {
    const std::vector<CQtModalWindow*> windows = m_modalWindows;
    for (CQtModalWindow* pWindow : windows)
        pWindow->CloseIfEnded();
}

void QtUiHost::BeginQuit() {
    m_bQuitting = true;
    const std::vector<std::function<void()>> closers = m_quitClosers;
    for (auto it = closers.rbegin(); it != closers.rend(); ++it)
        (*it)();
}

int QtUiHost::RunMessageBox(CDialog* pOwner, const std::wstring& strText,
                            const std::wstring& strCaption, unsigned nType) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (nType & ui::MB_ICONMASK) {
        case ui::MB_ICONSTOP:
            icon = QMessageBox::Critical;
            break;
        case ui::MB_ICONQUESTION:
            icon = QMessageBox::Question;
            break;
        case ui::MB_ICONEXCLAMATION:
            icon = QMessageBox::Warning;
            break;
        case ui::MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if ((nType & ui::MB_TYPEMASK) == ui::MB_OKCANCEL)
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
    else if ((nType & ui::MB_TYPEMASK) == ui::MB_YESNO)
        buttons = QMessageBox::Yes | QMessageBox::No;
    // A box without a caption of its own is titled with the program's name.
    QString strTitle = ToQt(strCaption);
    if (strTitle.isEmpty())
        strTitle = m_sheetWindows.empty() ? QApplication::applicationDisplayName()
                                          : m_sheetWindows.back()->windowTitle();
    // The answer that starts nothing, for a program that is quitting.
    const QMessageBox::StandardButton quitAnswer =
        buttons.testFlag(QMessageBox::No)       ? QMessageBox::No
        : buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
                                                : QMessageBox::Ok;
    int nButton = quitAnswer;
    if (m_bQuitting) {
        std::fprintf(stderr, "%s\n", ToQt(strText).toLocal8Bit().constData());
    } else {
        QMessageBox box(icon, strTitle, ToQt(strText), buttons, OwnerWindow(pOwner));
        ++m_nModalDepth;
        ++m_nModalsOpened;
        m_quitClosers.push_back([&box, quitAnswer] { box.done(quitAnswer); });
        nButton = box.exec();
        m_quitClosers.pop_back();
        --m_nModalDepth;
    }
    switch (nButton) {
        case QMessageBox::Cancel:
            return ui::IDCANCEL;
        case QMessageBox::Yes:
            return ui::IDYES;
        case QMessageBox::No:
            return ui::IDNO;
        default:
            return ui::IDOK;
    }
}

int QtUiHost::RunModalDialog(CDialog& dlg) {
    CQtModalWindow window(*this, dlg, OwnerWindow(nullptr));
    m_pCreating = &window;
    dlg.Create();
    m_pCreating = nullptr;
    ++m_nModalDepth;
    ++m_nModalsOpened;
    m_modalWindows.push_back(&window);
    m_quitClosers.push_back([&window, &dlg] {
        CUserInput::Close(dlg);
        if (!dlg.IsEnded())
            dlg.EndDialog(ui::IDCANCEL);
        window.CloseIfEnded();
    });
    if (m_bQuitting)
        m_quitClosers.back()();
    window.Run();
    m_quitClosers.pop_back();
    m_modalWindows.erase(std::find(m_modalWindows.begin(), m_modalWindows.end(), &window));
    --m_nModalDepth;
    // Closed by other means than the framework (the window system): as by Cancel.
    if (!dlg.IsEnded())
        dlg.OnCancel();
    if (!dlg.IsEnded())
        dlg.EndDialog(ui::IDCANCEL);
    const int nResult = dlg.EndCode();
    dlg.Destroy();
    return nResult;
}

int QtUiHost::RunPropertySheet(CPropertySheet& sheet) {
    CQtSheetWindow window(*this, sheet);
    if (m_iconLookup && sheet.IconId() != 0)
        if (const char* const* pXpm = m_iconLookup(sheet.IconId()))
            window.setWindowIcon(QIcon(QPixmap(pXpm)));
    m_sheetWindows.push_back(&window);
    sheet.SetView(&window);
    sheet.Create();
    window.Run();
    sheet.Destroy();
    sheet.SetView(nullptr);
    m_sheetWindows.erase(std::find(m_sheetWindows.begin(), m_sheetWindows.end(), &window));
    return ui::IDOK;
}

bool QtUiHost::RunFileOpenDialog(CDialog* pOwner, const std::wstring& strFilter,
                                 std::wstring& strPath) {
    if (m_bQuitting)
        return false;
    // The pages say where their files are to be found: in the user's documents folder (the
    // XDG documents folder, as xdg-user-dir names it, else home). After a choice, where that
    // file was. Any file the user picks anywhere is taken.
    QString strFolder = ToQt(m_strLastFolder);
    if (strFolder.isEmpty() || !QFileInfo(strFolder).isDir())
        strFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (strFolder.isEmpty() || !QFileInfo(strFolder).isDir())
        strFolder = QDir::homePath();
    // The handheld's "fwr (*.fwr)|*.fwr||" reaches Qt as "fwr (*.fwr)".
    QFileDialog dialog(OwnerWindow(pOwner), QStringLiteral("Open"), strFolder,
                       ToQt(QtFileFilter(strFilter)));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    ++m_nModalDepth;
    ++m_nModalsOpened;
    m_quitClosers.push_back([&dialog] { dialog.reject(); });
    const int nResult = dialog.exec();
    m_quitClosers.pop_back();
    --m_nModalDepth;
    if (nResult != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString strChosen = dialog.selectedFiles().first();
    strPath = strChosen.toStdWString();
    m_strLastFolder = QFileInfo(strChosen).absolutePath().toStdWString();
    return true;
}

}  // namespace platform::qt
