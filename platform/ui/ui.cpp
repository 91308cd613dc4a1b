#include "platform/ui/ui.h"

#include <algorithm>
#include <climits>
#include <cwctype>

namespace platform::ui {

namespace {

UiHost* g_pHost = nullptr;
TemplateLookup g_lookup = nullptr;

const DialogTemplate& LookupTemplate(int nId) {
    static const DialogTemplate EMPTY;
    const DialogTemplate* pTemplate = g_lookup ? g_lookup(nId) : nullptr;
    return pTemplate ? *pTemplate : EMPTY;
}

bool IsListKind(ControlKind kind) {
    return kind == ControlKind::DropDownList || kind == ControlKind::ListBox;
}

bool IsButtonKind(ControlKind kind) {
    return kind == ControlKind::PushButton || kind == ControlKind::DefPushButton ||
           kind == ControlKind::PushLikeToggle;
}

}  // namespace

UiHost& CurrentHost() {
    return *g_pHost;
}
void SetHost(UiHost* pHost) {
    g_pHost = pHost;
}
void SetTemplateLookup(TemplateLookup lookup) {
    g_lookup = lookup;
}

// ---------------------------------------------------------------------------------------------
// CControl

CControl::CControl(CDialog& owner, const ControlTemplate& tmpl)
    : m_owner(owner),
      m_tmpl(tmpl),
      m_strText(tmpl.kind == ControlKind::DropDownList || tmpl.kind == ControlKind::ListBox
                    ? std::wstring()
                    : tmpl.strText),
      m_bEnabled((tmpl.nStyle & STYLE_DISABLED) == 0),
      m_bVisible((tmpl.nStyle & STYLE_HIDDEN) == 0) {}

void CControl::Changed() {
    if (m_owner.m_pView)
        m_owner.m_pView->ControlChanged(*this);
}

void CControl::SetWindowText(const std::wstring& strText) {
    m_strText = strText;
    m_nSelStart = m_nSelEnd = 0;
    Changed();
}

void CControl::EnableWindow(bool bEnable) {
    if (m_bEnabled == bEnable)
        return;
    m_bEnabled = bEnable;
    Changed();
}

void CControl::ShowWindow(bool bShow) {
    if (m_bVisible == bShow)
        return;
    m_bVisible = bShow;
    Changed();
}

void CControl::SetDescription(const std::wstring& strDescription) {
    if (m_strDescription == strDescription)
        return;
    m_strDescription = strDescription;
    Changed();
}

void CControl::SetCheck(int nCheck) {
    m_nCheck = nCheck;
    Changed();
}

void CControl::SetSel(int nStart, int nEnd) {
    const int nLength = static_cast<int>(m_strText.size());
    m_nSelStart = std::clamp(nStart, 0, nLength);
    m_nSelEnd = nEnd < 0 ? nLength : std::clamp(nEnd, m_nSelStart, nLength);
    Changed();
}

int CControl::AddString(const std::wstring& strItem) {
    if (m_tmpl.nStyle & STYLE_SORT) {
        const auto it =
            std::upper_bound(m_items.begin(), m_items.end(), strItem,
                             [](const std::wstring& a, const std::pair<std::wstring, intptr_t>& b) {
                                 return a < b.first;
                             });
        return InsertString(static_cast<int>(it - m_items.begin()), strItem);
    }
    return InsertString(-1, strItem);
}

int CControl::InsertString(int nIndex, const std::wstring& strItem) {
    if (nIndex < 0 || nIndex > GetCount())
        nIndex = GetCount();
    m_items.insert(m_items.begin() + nIndex, {strItem, 0});
    if (m_nCurSel >= nIndex)
        ++m_nCurSel;
    Changed();
    return nIndex;
}

void CControl::ResetContent() {
    m_items.clear();
    m_nCurSel = CB_ERR;
    if (m_tmpl.kind == ControlKind::DropDownList)
        m_strText.clear();
    Changed();
}

std::wstring CControl::GetLBText(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount())
        return {};
    return m_items[static_cast<size_t>(nIndex)].first;
}

int CControl::SetCurSel(int nIndex) {
    const bool bValid = nIndex >= 0 && nIndex < GetCount();
    m_nCurSel = bValid ? nIndex : CB_ERR;
    if (m_tmpl.kind == ControlKind::DropDownList)
        m_strText = bValid ? GetLBText(nIndex) : L"";
    Changed();
    return bValid ? nIndex : CB_ERR;
}

int CControl::SetItemData(int nIndex, intptr_t nData) {
    if (nIndex < 0 || nIndex >= GetCount())
        return CB_ERR;
    m_items[static_cast<size_t>(nIndex)].second = nData;
    return 0;
}

intptr_t CControl::GetItemData(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount())
        return CB_ERR;
    return m_items[static_cast<size_t>(nIndex)].second;
}

int CControl::ClampToRange(int nPos) const {
    return std::clamp(nPos, m_nMin, std::max(m_nMin, m_nMax));
}

void CControl::SetRange(int nMin, int nMax) {
    m_nMin = nMin;
    m_nMax = nMax;
    m_nPos = ClampToRange(m_nPos);
    Changed();
}

void CControl::SetPos(int nPos) {
    m_nPos = ClampToRange(nPos);
    Changed();
}

void CControl::SetTicFreq(int nFreq) {
    m_nTicFreq = nFreq;
    Changed();
}

int CControl::StepIt() {
    const int nPrevious = m_nPos;
    m_nPos = ClampToRange(m_nPos + m_nStep);
    Changed();
    return nPrevious;
}

// ---------------------------------------------------------------------------------------------
// Data exchange

namespace {

CControl* ExchangeControl(CDataExchange* pDX, int nId) {
    if (pDX->Failed())
        return nullptr;
    return pDX->Dialog().GetDlgItem(nId);
}

}  // namespace

bool ParseInteger(const std::wstring& strText, int& nValue) {
    size_t i = 0;
    while (i < strText.size() && std::iswspace(static_cast<wint_t>(strText[i])))
        ++i;
    bool bNegative = false;
    if (i < strText.size() && (strText[i] == L'+' || strText[i] == L'-'))
        bNegative = strText[i++] == L'-';
    const size_t nFirstDigit = i;
    long long nMagnitude = 0;
    for (; i < strText.size() && strText[i] >= L'0' && strText[i] <= L'9'; ++i)
        nMagnitude = std::min<long long>(nMagnitude * 10 + (strText[i] - L'0'), 1LL << 32);
    if (i == nFirstDigit)
        return false;
    const long long nSigned = bNegative ? -nMagnitude : nMagnitude;
    nValue = static_cast<int>(std::clamp<long long>(nSigned, INT_MIN, INT_MAX));
    return true;
}

void DDX_Text(CDataExchange* pDX, int nId, std::wstring& strValue) {
    CControl* pControl = ExchangeControl(pDX, nId);
    if (!pControl)
        return;
    if (pDX->SaveAndValidate())
        strValue = pControl->GetWindowText();
    else
        pControl->SetWindowText(strValue);
}

void DDX_Text(CDataExchange* pDX, int nId, int& nValue) {
    CControl* pControl = ExchangeControl(pDX, nId);
    if (!pControl)
        return;
    if (!pDX->SaveAndValidate()) {
        pControl->SetWindowText(std::to_wstring(nValue));
        return;
    }
    int nParsed = 0;
    if (ParseInteger(pControl->GetWindowText(), nParsed)) {
        nValue = nParsed;
        return;
    }
    pDX->Fail();
    CDialog& dlg = pDX->Dialog();
    dlg.MessageBox(L"Please enter an integer.", L"", MB_OK | MB_ICONEXCLAMATION);
    dlg.GotoDlgCtrl(pControl);
}

void DDX_CBIndex(CDataExchange* pDX, int nId, int& nIndex) {
    CControl* pControl = ExchangeControl(pDX, nId);
    if (!pControl)
        return;
    if (pDX->SaveAndValidate())
        nIndex = pControl->GetCurSel();
    else
        pControl->SetCurSel(nIndex);
}

void DDX_Check(CDataExchange* pDX, int nId, int& nCheck) {
    CControl* pControl = ExchangeControl(pDX, nId);
    if (!pControl)
        return;
    if (pDX->SaveAndValidate())
        nCheck = pControl->GetCheck();
    else
        pControl->SetCheck(nCheck);
}

void DDX_Slider(CDataExchange* pDX, int nId, int& nPos) {
    CControl* pControl = ExchangeControl(pDX, nId);
    if (!pControl)
        return;
    if (pDX->SaveAndValidate())
        nPos = pControl->GetPos();
    else
        pControl->SetPos(nPos);
}

// ---------------------------------------------------------------------------------------------
// CDialog

namespace {

// Edits and drop-down lists tell their parent of focus changes; other controls do not.
void NotifyFocus(CDialog& dlg, const CControl& control, int nEditCode, int nListCode) {
    if (control.Kind() == ControlKind::Edit)
        dlg.OnCommand(control.GetDlgCtrlID(), nEditCode);
    if (control.Kind() == ControlKind::DropDownList)
        dlg.OnCommand(control.GetDlgCtrlID(), nListCode);
}

}  // namespace

CDialog::CDialog(int nTemplateId) : m_nTemplateId(nTemplateId) {}

const DialogTemplate& CDialog::Template() const {
    return LookupTemplate(m_nTemplateId);
}

CDialog::~CDialog() {
    if (g_pHost)
        g_pHost->Loop().KillAllTimers(this);
}

int CDialog::DoModal() {
    m_bEnded = false;
    m_nEndCode = 0;
    return CurrentHost().RunModalDialog(*this);
}

void CDialog::EndDialog(int nResult) {
    m_bEnded = true;
    m_nEndCode = nResult;
}

CControl* CDialog::GetDlgItem(int nId) {
    if (nId == IDC_STATIC)
        return nullptr;
    for (auto& pControl : m_controls)
        if (pControl->GetDlgCtrlID() == nId)
            return pControl.get();
    return nullptr;
}

void CDialog::SetFocusControl(CControl* pControl) {
    if (pControl == m_pFocus)
        return;
    CControl* pOld = m_pFocus;
    m_pFocus = pControl;
    if (m_pView)
        m_pView->FocusChanged(pControl);
    // The edit or list losing the focus is told first; its handler may move the focus
    // elsewhere.
    if (pOld)
        NotifyFocus(*this, *pOld, EN_KILLFOCUS, CBN_KILLFOCUS);
    if (pControl && m_pFocus == pControl)
        NotifyFocus(*this, *pControl, EN_SETFOCUS, CBN_SETFOCUS);
}

void CDialog::GotoDlgCtrl(CControl* pControl) {
    if (!pControl || !m_bCreated)
        return;
    SetFocusControl(pControl);
    if (pControl->Kind() == ControlKind::Edit && m_pFocus == pControl)
        pControl->SetSel(0, -1);
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
    if (!m_bCreated)
        return false;
    CDataExchange dx(*this, bSaveAndValidate);
    DoDataExchange(&dx);
    return !dx.Failed();
}

void CDialog::SetTimer(unsigned nId, unsigned nElapseMs) {
    CurrentHost().Loop().SetTimer(this, nId, nElapseMs);
}

void CDialog::KillTimer(unsigned nId) {
    CurrentHost().Loop().KillTimer(this, nId);
}

int CDialog::MessageBox(const std::wstring& strText, const std::wstring& strCaption,
                        unsigned nType) {
    return CurrentHost().RunMessageBox(this, strText, strCaption, nType);
}

void CDialog::Create() {
    if (m_bCreated)
        return;
    m_controls.clear();
    for (const ControlTemplate& tmpl : Template().controls)
        m_controls.push_back(std::make_unique<CControl>(*this, tmpl));
    m_bCreated = true;
    m_bEnded = false;
    CurrentHost().WindowCreated(*this);
    // The dialog manager's default focus: the first control that can take it. A property
    // page gets none here; its activation places the focus.
    if (OnInitDialog() && !m_pFocus && !IsChild()) {
        for (auto& pControl : m_controls) {
            const uint32_t nStyle = pControl->Template().nStyle;
            if ((nStyle & STYLE_TABSTOP) && pControl->IsWindowEnabled() &&
                pControl->IsWindowVisible()) {
                SetFocusControl(pControl.get());
                break;
            }
        }
    }
}

void CDialog::Destroy() {
    if (!m_bCreated)
        return;
    CurrentHost().WindowDestroyed(*this);
    CurrentHost().Loop().KillAllTimers(this);
    m_pFocus = nullptr;
    m_bCreated = false;
    m_controls.clear();
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

void CDialog::OnOK() {
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::OnCommand(int nId, int nCode) {
    if (nCode != BN_CLICKED || IsChild())
        return;
    if (nId == IDOK)
        OnOK();
    if (nId == IDCANCEL)
        OnCancel();
}

void CDialog::OnHScroll(int /*nId*/, int /*nCode*/, int /*nPos*/) {}

void CDialog::OnTimer(unsigned /*nIdEvent*/) {}

// ---------------------------------------------------------------------------------------------
// Property pages and sheet

bool CPropertyPage::OnSetActive() {
    if (m_bFirstSetActive)
        m_bFirstSetActive = false;
    else
        UpdateData(false);
    return true;
}

bool CPropertyPage::OnKillActive() {
    return UpdateData(true);
}

CPropertySheet::CPropertySheet(std::wstring strCaption, int nSelectPage)
    : m_strCaption(std::move(strCaption)), m_nSelectPage(nSelectPage) {}

CPropertySheet::~CPropertySheet() {
    Destroy();
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
    pPage->m_pSheet = this;
    m_pages.push_back(pPage);
}

int CPropertySheet::DoModal() {
    return CurrentHost().RunPropertySheet(*this);
}

bool CPropertySheet::OnInitDialog() {
    return true;
}

void CPropertySheet::Create() {
    if (m_bCreated)
        return;
    m_bCreated = true;
    m_bClosed = false;
    OnInitDialog();
    if (!m_pages.empty())
        ActivatePage(std::clamp(m_nSelectPage, 0, GetPageCount() - 1));
}

void CPropertySheet::Destroy() {
    if (!m_bCreated)
        return;
    for (CPropertyPage* pPage : m_pages)
        pPage->Destroy();
    m_bCreated = false;
    m_nActive = -1;
}

void CPropertySheet::ActivatePage(int nIndex) {
    CPropertyPage* pPage = GetPage(nIndex);
    m_nActive = nIndex;
    if (!pPage->HasWindow()) {
        pPage->Create();
        if (m_pView)
            m_pView->PageCreated(*pPage);
    }
    if (m_pView)
        m_pView->ActivePageChanged(nIndex);
    pPage->OnSetActive();
}

bool CPropertySheet::SetActivePage(int nIndex) {
    if (!m_bCreated || nIndex < 0 || nIndex >= GetPageCount())
        return false;
    if (nIndex == m_nActive)
        return true;
    if (CPropertyPage* pActive = GetActivePage(); pActive && !pActive->OnKillActive())
        return false;
    ActivatePage(nIndex);
    return true;
}

bool CPropertySheet::PressOk() {
    if (!m_bCreated)
        return false;
    if (CPropertyPage* pActive = GetActivePage(); pActive && !pActive->OnKillActive())
        return false;
    m_bClosed = true;
    if (m_pView)
        m_pView->Closed();
    return true;
}

void CPropertySheet::EndSheet() {
    if (!m_bCreated || m_bClosed)
        return;
    m_bClosed = true;
    if (m_pView)
        m_pView->Closed();
}

// ---------------------------------------------------------------------------------------------
// User input

namespace {

bool Accepts(const CControl& control) {
    return control.Owner().HasWindow() && control.IsWindowEnabled() && control.IsWindowVisible();
}

}  // namespace

bool CUserInput::Focus(CControl& control) {
    if (!Accepts(control))
        return false;
    control.Owner().SetFocusControl(&control);
    return true;
}

bool CUserInput::Click(CControl& control) {
    if (!Accepts(control) || !IsButtonKind(control.Kind()))
        return false;
    if (control.Kind() == ControlKind::PushLikeToggle)
        control.SetCheck(control.GetCheck() ? 0 : 1);
    control.Owner().OnCommand(control.GetDlgCtrlID(), BN_CLICKED);
    return true;
}

bool CUserInput::Tap(CControl& control) {
    if (!Focus(control))
        return false;
    // The focus-lost handler of the edit that had the focus may have shown a box or
    // disabled the button; the pen is lifted over the button all the same.
    return Click(control);
}

bool CUserInput::Type(CControl& control, const std::wstring& strText) {
    if (control.Kind() != ControlKind::Edit || !Focus(control))
        return false;
    if (control.Template().nStyle & STYLE_READONLY)
        return false;
    control.m_strText = strText;
    control.m_nSelStart = control.m_nSelEnd = static_cast<int>(strText.size());
    control.Changed();
    control.Owner().OnCommand(control.GetDlgCtrlID(), EN_CHANGE);
    return true;
}

bool CUserInput::Pick(CControl& control, int nIndex) {
    if (!IsListKind(control.Kind()) || nIndex < 0 || nIndex >= control.GetCount())
        return false;
    if (!Focus(control))
        return false;
    CDialog& owner = control.Owner();
    const int nId = control.GetDlgCtrlID();
    if (control.Kind() == ControlKind::ListBox) {
        control.SetCurSel(nIndex);
        owner.OnCommand(nId, LBN_SELCHANGE);
        return true;
    }
    control.m_bDropped = true;
    control.Changed();
    const bool bNew = nIndex != control.GetCurSel();
    control.SetCurSel(nIndex);
    control.m_bDropped = false;
    control.Changed();
    if (bNew)
        owner.OnCommand(nId, CBN_SELCHANGE);
    owner.OnCommand(nId, CBN_CLOSEUP);
    return true;
}

bool CUserInput::OpenAndClose(CControl& control) {
    if (control.Kind() != ControlKind::DropDownList || !Focus(control))
        return false;
    control.Owner().OnCommand(control.GetDlgCtrlID(), CBN_CLOSEUP);
    return true;
}

bool CUserInput::SelectWithKeys(CControl& control, int nIndex) {
    if (!IsListKind(control.Kind()) || nIndex < 0 || nIndex >= control.GetCount())
        return false;
    if (!Focus(control))
        return false;
    if (nIndex == control.GetCurSel())
        return true;
    control.SetCurSel(nIndex);
    control.Owner().OnCommand(control.GetDlgCtrlID(), control.Kind() == ControlKind::ListBox
                                                          ? LBN_SELCHANGE
                                                          : CBN_SELCHANGE);
    return true;
}

bool CUserInput::Drag(CControl& control, int nPos) {
    const int nTarget = control.ClampToRange(nPos);
    if (!MoveThumb(control, nPos))
        return false;
    control.Owner().OnHScroll(control.GetDlgCtrlID(), TB_THUMBPOSITION, nTarget);
    control.Owner().OnHScroll(control.GetDlgCtrlID(), TB_ENDTRACK, 0);
    return true;
}

bool CUserInput::MoveThumb(CControl& control, int nPos) {
    if (control.Kind() != ControlKind::Trackbar || !Focus(control))
        return false;
    CDialog& owner = control.Owner();
    const int nId = control.GetDlgCtrlID();
    const int nTarget = control.ClampToRange(nPos);
    // The thumb passes every position on its way.
    while (control.GetPos() != nTarget) {
        control.SetPos(control.GetPos() + (nTarget > control.GetPos() ? 1 : -1));
        owner.OnHScroll(nId, TB_THUMBTRACK, control.GetPos());
    }
    return true;
}

bool CUserInput::ReleaseThumb(CControl& control) {
    if (control.Kind() != ControlKind::Trackbar || !Focus(control))
        return false;
    control.Owner().OnHScroll(control.GetDlgCtrlID(), TB_THUMBPOSITION, control.GetPos());
    control.Owner().OnHScroll(control.GetDlgCtrlID(), TB_ENDTRACK, 0);
    return true;
}

bool CUserInput::Step(CControl& control, int nCode) {
    if (control.Kind() != ControlKind::Trackbar || !Focus(control))
        return false;
    int nPos = control.GetPos();
    switch (nCode) {
        case TB_LINEUP:
            nPos -= control.GetLineSize();
            break;
        case TB_LINEDOWN:
            nPos += control.GetLineSize();
            break;
        case TB_PAGEUP:
            nPos -= control.GetPageSize();
            break;
        case TB_PAGEDOWN:
            nPos += control.GetPageSize();
            break;
        case TB_TOP:
            nPos = control.GetRangeMin();
            break;
        case TB_BOTTOM:
            nPos = control.GetRangeMax();
            break;
        default:
            return false;
    }
    control.SetPos(nPos);
    control.Owner().OnHScroll(control.GetDlgCtrlID(), nCode, 0);
    control.Owner().OnHScroll(control.GetDlgCtrlID(), TB_ENDTRACK, 0);
    return true;
}

bool CUserInput::PressEnter(CDialog& dlg) {
    if (!dlg.HasWindow())
        return false;
    dlg.OnCommand(IDOK, BN_CLICKED);
    return true;
}

bool CUserInput::Close(CDialog& dlg) {
    if (!dlg.HasWindow())
        return false;
    dlg.OnCancel();
    return true;
}

bool CUserInput::ChooseTab(CPropertySheet& sheet, int nIndex) {
    return sheet.SetActivePage(nIndex);
}

bool CUserInput::CloseSheet(CPropertySheet& sheet) {
    return sheet.PressOk();
}

}  // namespace platform::ui
