#include "platform/win32/win32_dialog_view.h"

#include <algorithm>
#include <cmath>

#include "platform/win32/win32_ui_host.h"

namespace platform::win32 {

using ui::CControl;
using ui::ControlKind;
using ui::ControlTemplate;
using ui::CUserInput;

namespace {

// The template's bytes, written in the dialog manager's layout: 16-bit words, strings as
// zero-ended UTF-16, each item on a 32-bit boundary.
class CTemplateWriter {
  public:
    void Word(uint16_t n) {
        m_bytes.push_back(static_cast<uint8_t>(n & 0xFF));
        m_bytes.push_back(static_cast<uint8_t>(n >> 8));
    }
    void Dword(uint32_t n) {
        Word(static_cast<uint16_t>(n & 0xFFFF));
        Word(static_cast<uint16_t>(n >> 16));
    }
    void Byte(uint8_t n) { m_bytes.push_back(n); }
    void String(const std::wstring& str) {
        for (const wchar_t c : str)
            Word(static_cast<uint16_t>(c));
        Word(0);
    }
    void Align() {
        while (m_bytes.size() % 4 != 0)
            m_bytes.push_back(0);
    }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

  private:
    std::vector<uint8_t> m_bytes;
};

struct NativeControl {
    const wchar_t* pszClass;
    DWORD nStyle;
};

NativeControl NativeOf(const ControlTemplate& tmpl) {
    const uint32_t s = tmpl.nStyle;
    switch (tmpl.kind) {
        case ControlKind::GroupBox:
            return {L"BUTTON", BS_GROUPBOX};
        case ControlKind::Static: {
            DWORD nStyle = SS_LEFT;
            if (s & ui::STYLE_CENTER)
                nStyle = SS_CENTER;
            else if (s & ui::STYLE_RIGHT)
                nStyle = SS_RIGHT;
            return {L"STATIC", nStyle | ((s & ui::STYLE_BORDER) ? WS_BORDER : 0u)};
        }
        case ControlKind::Edit:
            return {L"EDIT", ES_LEFT | ((s & ui::STYLE_BORDER) ? WS_BORDER : 0u) |
                                 ((s & ui::STYLE_READONLY) ? ES_READONLY : 0u) |
                                 ((s & ui::STYLE_NUMBER) ? ES_NUMBER : 0u) |
                                 ((s & ui::STYLE_MULTILINE) ? ES_MULTILINE : 0u) |
                                 ((s & ui::STYLE_AUTOHSCROLL) ? ES_AUTOHSCROLL : 0u)};
        case ControlKind::PushButton:
            return {L"BUTTON", BS_PUSHBUTTON};
        case ControlKind::DefPushButton:
            return {L"BUTTON", BS_DEFPUSHBUTTON};
        case ControlKind::PushLikeToggle:
            // Not automatic: the framework flips it.
            return {L"BUTTON", BS_CHECKBOX | BS_PUSHLIKE};
        case ControlKind::DropDownList:
            return {L"COMBOBOX", CBS_DROPDOWNLIST | CBS_HASSTRINGS |
                                     ((s & ui::STYLE_VSCROLL) ? WS_VSCROLL : 0u)};
        case ControlKind::ListBox:
            return {L"LISTBOX", LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
                                    ((s & ui::STYLE_VSCROLL) ? WS_VSCROLL : 0u) |
                                    ((s & ui::STYLE_BORDER) ? WS_BORDER : 0u)};
        case ControlKind::Trackbar:
            return {TRACKBAR_CLASSW,
                    TBS_HORZ | TBS_BOTTOM | ((s & ui::STYLE_AUTOTICKS) ? TBS_AUTOTICKS : 0u)};
        case ControlKind::ProgressBar:
            return {PROGRESS_CLASSW, (s & ui::STYLE_SMOOTH) ? PBS_SMOOTH : 0u};
    }
    return {L"STATIC", SS_LEFT};
}

INT_PTR CALLBACK ViewDialogProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return FALSE;  // the framework places the focus
    }
    auto* pView = reinterpret_cast<CWin32DialogView*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return pView ? pView->DialogMessage(nMsg, wParam, lParam) : FALSE;
}

LRESULT CALLBACK ControlSubclassProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR nIndex, DWORD_PTR pData) {
    auto* pView = reinterpret_cast<CWin32DialogView*>(pData);
    if (nMsg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, ControlSubclassProc, nIndex);
        return DefSubclassProc(hwnd, nMsg, wParam, lParam);
    }
    return pView->ControlMessage(hwnd, nMsg, wParam, lParam, static_cast<size_t>(nIndex));
}

}  // namespace

std::vector<uint8_t> BuildDialogTemplate(const ui::DialogTemplate& tmpl, double dZoom, bool bChild,
                                         bool bControls) {
    CTemplateWriter w;
    const DWORD nStyle =
        DS_SETFONT |
        (bChild ? (WS_CHILD | DS_CONTROL) : (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
    const auto nItems = static_cast<uint16_t>(bControls ? tmpl.controls.size() : 0);
    w.Word(1);
    w.Word(0xFFFF);
    w.Dword(0);                                                      // help id
    w.Dword(bChild ? static_cast<DWORD>(WS_EX_CONTROLPARENT) : 0u);  // extended style
    w.Dword(nStyle);
    w.Word(nItems);
    w.Word(0);
    w.Word(0);
    w.Word(static_cast<uint16_t>(tmpl.cx));
    w.Word(static_cast<uint16_t>(tmpl.cy));
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.String(bChild ? std::wstring() : tmpl.strCaption);
    const int nPoints =
        static_cast<int>(std::lround((tmpl.nPointSize > 0 ? tmpl.nPointSize : 8) * dZoom));
    w.Word(static_cast<uint16_t>(nPoints));
    w.Word(FW_NORMAL);
    w.Byte(0);  // not italic
    w.Byte(DEFAULT_CHARSET);
    w.String(tmpl.strFontName.empty() ? std::wstring(L"MS Shell Dlg") : tmpl.strFontName);
    for (size_t i = 0; i < nItems; ++i) {
        const ControlTemplate& c = tmpl.controls[i];
        const NativeControl native = NativeOf(c);
        // Enabled and shown from the framework's state once the window exists.
        const DWORD nItemStyle =
            WS_CHILD | native.nStyle | ((c.nStyle & ui::STYLE_TABSTOP) ? WS_TABSTOP : 0u);
        w.Align();
        w.Dword(0);
        w.Dword(0);  // no extended style
        w.Dword(nItemStyle);
        w.Word(static_cast<uint16_t>(c.x));
        w.Word(static_cast<uint16_t>(c.y));
        w.Word(static_cast<uint16_t>(c.cx));
        w.Word(static_cast<uint16_t>(c.cy));
        w.Dword(static_cast<DWORD>(FIRST_CONTROL_ID + static_cast<int>(i)));
        w.String(native.pszClass);
        w.String(c.strText);
        w.Word(0);  // no creation data
    }
    return w.Take();
}

CWin32DialogView::CWin32DialogView(Win32UiHost& host, ui::CDialog& dlg, HWND hParent, bool bChild)
    : m_host(host), m_pDlg(&dlg) {
    const std::vector<uint8_t> bytes =
        BuildDialogTemplate(dlg.Template(), host.Zoom(), bChild, true);
    m_hwnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                        reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), hParent,
                                        ViewDialogProc, reinterpret_cast<LPARAM>(this));
    if (!m_hwnd)
        return;
    const auto& controls = dlg.Controls();
    m_controls.resize(controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        m_controls[i] = GetDlgItem(m_hwnd, FIRST_CONTROL_ID + static_cast<int>(i));
        if (m_controls[i])
            SetWindowSubclass(m_controls[i], ControlSubclassProc, i,
                              reinterpret_cast<DWORD_PTR>(this));
    }
    if (!bChild && host.Icon()) {
        SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(host.Icon()));
        SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(host.SmallIcon()));
    }
    dlg.SetView(this);
    for (size_t i = 0; i < m_controls.size(); ++i)
        Sync(i);
}

CWin32DialogView::~CWin32DialogView() {
    Detach();
}

HWND CWin32DialogView::ControlWindow(const CControl& control) const {
    const size_t nIndex = IndexOf(control);
    return nIndex < m_controls.size() ? m_controls[nIndex] : nullptr;
}

CControl* CWin32DialogView::ControlAt(size_t nIndex) const {
    if (!m_pDlg || !m_pDlg->HasWindow() || nIndex >= m_pDlg->Controls().size())
        return nullptr;
    return m_pDlg->Controls()[nIndex].get();
}

size_t CWin32DialogView::IndexOf(const CControl& control) const {
    if (!m_pDlg)
        return SIZE_MAX;
    const auto& controls = m_pDlg->Controls();
    for (size_t i = 0; i < controls.size(); ++i)
        if (controls[i].get() == &control)
            return i;
    return SIZE_MAX;
}

template <typename Action>
void CWin32DialogView::Input(size_t nIndex, Action action) {
    CControl* pControl = ControlAt(nIndex);
    if (!pControl)
        return;
    // The window may be destroyed during the input (a dialog that ends): the host keeps this
    // view until no input is under way, and a detached view shows nothing more.
    m_host.BeginInput();
    action(*pControl);
    if (m_pDlg && ControlAt(nIndex))
        Sync(nIndex);
    m_host.EndInput();  // may delete this view: nothing after it
}

void CWin32DialogView::Detach() {
    if (m_pDlg && m_pDlg->GetView() == this)
        m_pDlg->SetView(nullptr);
    m_pDlg = nullptr;
    if (m_hwnd) {
        SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
    }
}

void CWin32DialogView::ControlChanged(CControl& control) {
    if (m_pDlg)
        Sync(IndexOf(control));
}

void CWin32DialogView::FocusChanged(CControl* pControl) {
    if (!m_pDlg || !m_hwnd)
        return;
    ++m_nSyncDepth;
    if (!pControl) {
        const HWND hFocus = GetFocus();
        if (hFocus && IsChild(m_hwnd, hFocus))
            SetFocus(m_hwnd);
    } else if (const HWND hControl = ControlWindow(*pControl)) {
        // A page not shown yet takes the focus when it is.
        if (IsWindowVisible(m_hwnd))
            SetFocus(hControl);
    }
    --m_nSyncDepth;
}

void CWin32DialogView::ApplyFocus() {
    if (m_pDlg)
        FocusChanged(m_pDlg->GetFocus());
}

void CWin32DialogView::Sync(size_t nIndex) {
    const CControl* pControl = ControlAt(nIndex);
    if (!pControl || nIndex >= m_controls.size() || !m_controls[nIndex])
        return;
    const CControl& control = *pControl;
    const HWND hwnd = m_controls[nIndex];
    ++m_nSyncDepth;
    if ((IsWindowEnabled(hwnd) != FALSE) != control.IsWindowEnabled())
        EnableWindow(hwnd, control.IsWindowEnabled());
    if ((IsWindowVisible(hwnd) != FALSE) != control.IsWindowVisible())
        ShowWindow(hwnd, control.IsWindowVisible() ? SW_SHOWNA : SW_HIDE);
    auto setText = [hwnd](const std::wstring& strText) {
        const int nLength = GetWindowTextLengthW(hwnd);
        std::wstring strShown(static_cast<size_t>(nLength) + 1, L'\0');
        GetWindowTextW(hwnd, strShown.data(), nLength + 1);
        strShown.resize(static_cast<size_t>(nLength));
        if (strShown != strText)
            SetWindowTextW(hwnd, strText.c_str());
    };
    switch (control.Kind()) {
        case ControlKind::GroupBox:
        case ControlKind::Static:
            setText(control.GetWindowText());
            break;
        case ControlKind::Edit:
            SyncEdit(nIndex, control);
            break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::PushLikeToggle:
            setText(control.GetWindowText());
            if (control.Kind() == ControlKind::PushLikeToggle)
                SendMessageW(hwnd, BM_SETCHECK, control.GetCheck() ? BST_CHECKED : BST_UNCHECKED,
                             0);
            break;
        case ControlKind::DropDownList:
            SyncItems(nIndex, control);
            if (SendMessageW(hwnd, CB_GETCURSEL, 0, 0) != control.GetCurSel())
                SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(control.GetCurSel()), 0);
            break;
        case ControlKind::ListBox:
            SyncItems(nIndex, control);
            if (SendMessageW(hwnd, LB_GETCURSEL, 0, 0) != control.GetCurSel())
                SendMessageW(hwnd, LB_SETCURSEL, static_cast<WPARAM>(control.GetCurSel()), 0);
            break;
        case ControlKind::Trackbar:
            SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, control.GetRangeMin());
            SendMessageW(hwnd, TBM_SETRANGEMAX, FALSE, control.GetRangeMax());
            SendMessageW(hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(control.GetTicFreq()), 0);
            SendMessageW(hwnd, TBM_SETLINESIZE, 0, control.GetLineSize());
            SendMessageW(hwnd, TBM_SETPAGESIZE, 0, control.GetPageSize());
            if (SendMessageW(hwnd, TBM_GETPOS, 0, 0) != control.GetPos())
                SendMessageW(hwnd, TBM_SETPOS, TRUE, control.GetPos());
            else
                InvalidateRect(hwnd, nullptr, FALSE);
            break;
        case ControlKind::ProgressBar:
            SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(control.GetRangeMin()),
                         std::max(control.GetRangeMin(), control.GetRangeMax()));
            SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(control.GetPos()), 0);
            break;
    }
    // Disabling the control that has the keyboard focus leaves the window without one (keys
    // would reach nothing): it is parked, and the control takes it back once it can.
    const bool bActive =
        IsWindowVisible(m_hwnd) && GetActiveWindow() == GetAncestor(m_hwnd, GA_ROOT);
    const bool bTakesItBack = m_pDlg->GetFocus() == &control && control.IsWindowEnabled() &&
                              control.IsWindowVisible() && m_host.IsFocusParked();
    if (bActive && (!GetFocus() || bTakesItBack))
        m_host.RestoreFocus();
    --m_nSyncDepth;
}

void CWin32DialogView::SyncItems(size_t nIndex, const CControl& control) {
    const HWND hwnd = m_controls[nIndex];
    const bool bCombo = control.Kind() == ControlKind::DropDownList;
    const UINT nCount = bCombo ? CB_GETCOUNT : LB_GETCOUNT;
    const UINT nTextLength = bCombo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT nGetText = bCombo ? CB_GETLBTEXT : LB_GETTEXT;
    bool bSame = SendMessageW(hwnd, nCount, 0, 0) == control.GetCount();
    for (int i = 0; bSame && i < control.GetCount(); ++i) {
        const LRESULT nLength = SendMessageW(hwnd, nTextLength, static_cast<WPARAM>(i), 0);
        std::wstring strItem(static_cast<size_t>(std::max<LRESULT>(nLength, 0)) + 1, L'\0');
        SendMessageW(hwnd, nGetText, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(strItem.data()));
        strItem.resize(static_cast<size_t>(std::max<LRESULT>(nLength, 0)));
        bSame = strItem == control.GetLBText(i);
    }
    if (bSame)
        return;
    SendMessageW(hwnd, bCombo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (int i = 0; i < control.GetCount(); ++i)
        SendMessageW(hwnd, bCombo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(control.GetLBText(i).c_str()));
}

void CWin32DialogView::SyncEdit(size_t nIndex, const CControl& control) {
    const HWND hwnd = m_controls[nIndex];
    const std::wstring& strText = control.GetWindowText();
    const int nLength = GetWindowTextLengthW(hwnd);
    std::wstring strShown(static_cast<size_t>(nLength) + 1, L'\0');
    GetWindowTextW(hwnd, strShown.data(), nLength + 1);
    strShown.resize(static_cast<size_t>(nLength));
    const bool bTextChanged = strShown != strText;
    if (bTextChanged)
        SetWindowTextW(hwnd, strText.c_str());
    const std::pair<int, int> sel{control.SelStart(), control.SelEnd()};
    // While a person types, the caret is theirs; a selection set from code is shown.
    if (&control == m_pTyping && !bTextChanged) {
        m_shownSel[nIndex] = sel;
        return;
    }
    const auto it = m_shownSel.find(nIndex);
    if (!bTextChanged && it != m_shownSel.end() && it->second == sel)
        return;
    m_shownSel[nIndex] = sel;
    SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(sel.first), sel.second);
}

INT_PTR CWin32DialogView::DialogMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (!m_pDlg)
        return FALSE;
    switch (nMsg) {
        case WM_COMMAND: {
            const int nId = LOWORD(wParam);
            if (lParam == 0 || nId < FIRST_CONTROL_ID)
                return FALSE;
            if (m_nSyncDepth == 0)
                OnCommand(static_cast<size_t>(nId - FIRST_CONTROL_ID), HIWORD(wParam));
            return TRUE;
        }
        case WM_HSCROLL: {
            const int nId = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (nId < FIRST_CONTROL_ID)
                return FALSE;
            if (m_nSyncDepth == 0)
                OnScroll(static_cast<size_t>(nId - FIRST_CONTROL_ID), LOWORD(wParam),
                         static_cast<short>(HIWORD(wParam)));
            return TRUE;
        }
        case WM_CLOSE:
            m_host.CancelByUser(*m_pDlg);
            return TRUE;
        default:
            return FALSE;
    }
}

void CWin32DialogView::OnCommand(size_t nIndex, int nCode) {
    const CControl* pControl = ControlAt(nIndex);
    if (!pControl)
        return;
    const HWND hwnd = m_controls[nIndex];
    switch (pControl->Kind()) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::PushLikeToggle:
            if (nCode == ui::BN_CLICKED)
                // The press that gave the button the focus has moved it already (the focus
                // change went first); otherwise (keys, a mnemonic) the tap moves it.
                Input(nIndex, [this](CControl& control) {
                    if (m_pDlg->GetFocus() == &control)
                        CUserInput::Click(control);
                    else
                        CUserInput::Tap(control);
                });
            break;
        case ControlKind::Edit:
            if (nCode == ui::EN_CHANGE) {
                const int nLength = GetWindowTextLengthW(hwnd);
                std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
                GetWindowTextW(hwnd, strText.data(), nLength + 1);
                strText.resize(static_cast<size_t>(nLength));
                m_pTyping = pControl;
                Input(nIndex,
                      [&strText](CControl& control) { CUserInput::Type(control, strText); });
                m_pTyping = nullptr;
            }
            break;
        case ControlKind::DropDownList:
            if (nCode == CBN_DROPDOWN) {
                m_dropped[nIndex] = true;
            } else if (nCode == ui::CBN_SELCHANGE && !m_dropped[nIndex]) {
                const int nItem = static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
                Input(nIndex,
                      [nItem](CControl& control) { CUserInput::SelectWithKeys(control, nItem); });
            } else if (nCode == ui::CBN_CLOSEUP) {
                m_dropped[nIndex] = false;
                // The list's choice, if any, is settled once the close-up has been handled
                // (Windows sends the selection change before or after it).
                // The view is looked up again then: its window may have gone meanwhile.
                m_host.Loop().Post([&host = m_host, hDialog = m_hwnd, nIndex, hwnd] {
                    CWin32DialogView* pView = host.ViewOfWindow(hDialog);
                    const CControl* pList = pView ? pView->ControlAt(nIndex) : nullptr;
                    if (!pList)
                        return;
                    const int nItem = static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
                    if (nItem >= 0 && nItem != pList->GetCurSel())
                        pView->Input(nIndex, [nItem](CControl& control) {
                            CUserInput::Pick(control, nItem);
                        });
                    else
                        pView->Input(nIndex,
                                     [](CControl& control) { CUserInput::OpenAndClose(control); });
                });
            }
            break;
        case ControlKind::ListBox:
            if (nCode == ui::LBN_SELCHANGE) {
                const int nItem = static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0));
                const bool bKeys = m_listByKeys[nIndex];
                Input(nIndex, [nItem, bKeys](CControl& control) {
                    if (bKeys)
                        CUserInput::SelectWithKeys(control, nItem);
                    else
                        CUserInput::Pick(control, nItem);
                });
            }
            break;
        default:
            break;
    }
}

void CWin32DialogView::OnScroll(size_t nIndex, int nCode, int nPos) {
    switch (nCode) {
        case ui::TB_THUMBTRACK:
            Input(nIndex, [nPos](CControl& control) { CUserInput::MoveThumb(control, nPos); });
            break;
        case ui::TB_THUMBPOSITION:
            Input(nIndex, [](CControl& control) { CUserInput::ReleaseThumb(control); });
            break;
        case ui::TB_LINEUP:
        case ui::TB_LINEDOWN:
        case ui::TB_PAGEUP:
        case ui::TB_PAGEDOWN:
        case ui::TB_TOP:
        case ui::TB_BOTTOM:
            Input(nIndex, [nCode](CControl& control) { CUserInput::Step(control, nCode); });
            break;
        default:
            // The end of a track: the framework's steps and drops send their own.
            break;
    }
}

LRESULT CWin32DialogView::ControlMessage(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam,
                                         size_t nIndex) {
    if (m_pDlg && m_nSyncDepth == 0) {
        if (nMsg == WM_KEYDOWN)
            m_listByKeys[nIndex] = true;
        else if (nMsg == WM_LBUTTONDOWN)
            m_listByKeys[nIndex] = false;
        if (nMsg == WM_SETFOCUS) {
            // The native focus moves first, as on the handheld; the framework hears it now.
            // Its answer may move the focus on (a refused value back into its edit).
            const LRESULT nResult = DefSubclassProc(hwnd, nMsg, wParam, lParam);
            CControl* pControl = ControlAt(nIndex);
            const auto* pPage = dynamic_cast<const ui::CPropertyPage*>(m_pDlg);
            const bool bHidden =
                pPage && pPage->GetSheet() && pPage->GetSheet()->GetActivePage() != pPage;
            if (pControl && pControl != m_pDlg->GetFocus() && !bHidden)
                Input(nIndex, [](CControl& control) { CUserInput::Focus(control); });
            return nResult;
        }
        if (nMsg == WM_MOUSEWHEEL && ControlAt(nIndex) &&
            ControlAt(nIndex)->Kind() == ControlKind::DropDownList)
            return 0;  // a wheel over a closed list must not change a setting by accident
    }
    return DefSubclassProc(hwnd, nMsg, wParam, lParam);
}

}  // namespace platform::win32
