#include "platform/win32/win32_ui_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"
#include "platform/win32/win32_dialog_view.h"

namespace platform::win32 {

using ui::CDialog;
using ui::CPropertyPage;
using ui::CPropertySheet;
using ui::CUserInput;

namespace {

// Long enough for a modal loop never to stop on its own (about 35 years).
constexpr int64_t FOREVER_MS = int64_t{1} << 40;

// The window a system modal loop activates first: the box or the file dialog, so that
// quitting can answer it.
thread_local HWND* g_pCaptureActivated = nullptr;

LRESULT CALLBACK CaptureActivation(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == HCBT_ACTIVATE && g_pCaptureActivated && !*g_pCaptureActivated)
        *g_pCaptureActivated = reinterpret_cast<HWND>(wParam);
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

std::wstring WindowText(HWND hwnd) {
    const int nLength = GetWindowTextLengthW(hwnd);
    std::wstring str(static_cast<size_t>(nLength) + 1, L'\0');
    GetWindowTextW(hwnd, str.data(), nLength + 1);
    str.resize(static_cast<size_t>(nLength));
    return str;
}

}  // namespace

HICON IconFromXpm(const char* const* pXpm) {
    if (!pXpm || !pXpm[0])
        return nullptr;
    int nWidth = 0, nHeight = 0, nColors = 0, nPerPixel = 0;
    if (std::sscanf(pXpm[0], "%d %d %d %d", &nWidth, &nHeight, &nColors, &nPerPixel) != 4 ||
        nWidth <= 0 || nHeight <= 0 || nWidth > 256 || nHeight > 256 || nColors <= 0 ||
        nPerPixel <= 0 || nPerPixel > 2)
        return nullptr;
    // The colour table: characters, then "c" and a #RRGGBB or None.
    std::vector<std::pair<std::string, uint32_t>> colours;
    for (int i = 0; i < nColors; ++i) {
        const char* pszLine = pXpm[1 + i];
        if (!pszLine || std::strlen(pszLine) < static_cast<size_t>(nPerPixel))
            return nullptr;
        const std::string strKey(pszLine, static_cast<size_t>(nPerPixel));
        const char* pszColour = std::strstr(pszLine + nPerPixel, " c ");
        if (!pszColour)
            return nullptr;
        pszColour += 3;
        uint32_t nArgb = 0;  // None: transparent
        if (pszColour[0] == '#' && std::strlen(pszColour) >= 7)
            nArgb = 0xFF000000u | static_cast<uint32_t>(std::strtoul(pszColour + 1, nullptr, 16));
        colours.emplace_back(strKey, nArgb);
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(nWidth) * static_cast<size_t>(nHeight));
    for (int y = 0; y < nHeight; ++y) {
        const char* pszRow = pXpm[1 + nColors + y];
        if (!pszRow || std::strlen(pszRow) < static_cast<size_t>(nWidth * nPerPixel))
            return nullptr;
        for (int x = 0; x < nWidth; ++x) {
            const std::string strKey(pszRow + x * nPerPixel, static_cast<size_t>(nPerPixel));
            for (const auto& [strColourKey, nArgb] : colours)
                if (strColourKey == strKey)
                    pixels[static_cast<size_t>(y * nWidth + x)] = nArgb;
        }
    }
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = nWidth;
    header.bV5Height = -nHeight;  // top-down
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* pBits = nullptr;
    HDC hdc = GetDC(nullptr);
    HBITMAP hColour = CreateDIBSection(hdc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                       &pBits, nullptr, 0);
    ReleaseDC(nullptr, hdc);
    if (!hColour || !pBits)
        return nullptr;
    std::memcpy(pBits, pixels.data(), pixels.size() * sizeof(uint32_t));
    HBITMAP hMask = CreateBitmap(nWidth, nHeight, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = hColour;
    info.hbmMask = hMask;
    HICON hIcon = CreateIconIndirect(&info);
    DeleteObject(hColour);
    DeleteObject(hMask);
    return hIcon;
}

std::wstring NativeFileFilter(const std::wstring& strFilter) {
    std::wstring strResult;
    size_t nStart = 0;
    std::vector<std::wstring> parts;
    while (nStart < strFilter.size()) {
        const size_t nBar = strFilter.find(L'|', nStart);
        const size_t nEnd = nBar == std::wstring::npos ? strFilter.size() : nBar;
        parts.push_back(strFilter.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty())
            break;
        strResult += parts[i];
        strResult += L'\0';
        strResult += parts[i + 1];
        strResult += L'\0';
    }
    strResult += L'\0';
    return strResult;
}

// ---------------------------------------------------------------------------------------------
// The property sheet's window

class CWin32SheetWindow final : public CPropertySheet::View {
  public:
    CWin32SheetWindow(Win32UiHost& host, CPropertySheet& sheet) : m_host(host), m_sheet(sheet) {}
    ~CWin32SheetWindow() override {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
    }
    CWin32SheetWindow(const CWin32SheetWindow&) = delete;
    CWin32SheetWindow& operator=(const CWin32SheetWindow&) = delete;

    CPropertySheet& Sheet() const { return m_sheet; }
    HWND Window() const { return m_hwnd; }
    HWND Tabs() const { return m_hTabs; }

    // The window, sized for the largest page, with a tab for every page.
    void Create() {
        ui::DialogTemplate frame;
        frame.strCaption = m_sheet.Caption();
        for (int i = 0; i < m_sheet.GetPageCount(); ++i) {
            const ui::DialogTemplate& page = m_sheet.GetPage(i)->Template();
            frame.cx = std::max(frame.cx, page.cx);
            frame.cy = std::max(frame.cy, page.cy);
            if (frame.strFontName.empty()) {
                frame.strFontName = page.strFontName;
                frame.nPointSize = page.nPointSize;
            }
        }
        std::vector<uint8_t> bytes = BuildDialogTemplate(frame, m_host.Zoom(), false, false);
        // A main window: minimisable, in the task bar.
        auto* pStyle = reinterpret_cast<DWORD*>(bytes.data() + 12);
        *pStyle = (*pStyle & ~static_cast<DWORD>(DS_MODALFRAME)) | WS_MINIMIZEBOX;
        auto* pExStyle = reinterpret_cast<DWORD*>(bytes.data() + 8);
        *pExStyle |= WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
        m_hwnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                            reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                            nullptr, SheetProc, reinterpret_cast<LPARAM>(this));
        if (!m_hwnd)
            return;
        if (m_host.Icon()) {
            SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_host.Icon()));
            SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL,
                         reinterpret_cast<LPARAM>(m_host.SmallIcon()));
        }
        RECT pageRect{0, 0, frame.cx, frame.cy};
        MapDialogRect(m_hwnd, &pageRect);
        m_hTabs = CreateWindowExW(0, WC_TABCONTROLW, L"",
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_BOTTOM,
                                  0, 0, 0, 0, m_hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
        // Themed tab controls draw bottom tabs as top ones: this one is drawn classic.
        SetWindowTheme(m_hTabs, L"", L"");
        SendMessageW(m_hTabs, WM_SETFONT, SendMessageW(m_hwnd, WM_GETFONT, 0, 0), FALSE);
        SetWindowSubclass(m_hTabs, TabsProc, 0, reinterpret_cast<DWORD_PTR>(this));
        for (int i = 0; i < m_sheet.GetPageCount(); ++i) {
            std::wstring strTitle = m_sheet.GetPage(i)->Title();
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = strTitle.data();
            SendMessageW(m_hTabs, TCM_INSERTITEMW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
        }
        // The tab control as large as a page's area needs, the window around it.
        RECT tabsRect = pageRect;
        SendMessageW(m_hTabs, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tabsRect));
        OffsetRect(&tabsRect, -tabsRect.left + 2, -tabsRect.top + 2);
        MoveWindow(m_hTabs, tabsRect.left, tabsRect.top, tabsRect.right - tabsRect.left,
                   tabsRect.bottom - tabsRect.top, FALSE);
        m_pageArea = tabsRect;
        SendMessageW(m_hTabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&m_pageArea));
        RECT window{0, 0, tabsRect.right + 2, tabsRect.bottom + 2};
        AdjustWindowRectEx(&window, static_cast<DWORD>(GetWindowLongW(m_hwnd, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongW(m_hwnd, GWL_EXSTYLE)));
        SetWindowPos(m_hwnd, nullptr, 0, 0, window.right - window.left, window.bottom - window.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Where a page goes: a child of the window, over the tab control's display area.
    void PlacePage(HWND hPage) const {
        SetWindowPos(hPage, HWND_TOP, m_pageArea.left, m_pageArea.top,
                     m_pageArea.right - m_pageArea.left, m_pageArea.bottom - m_pageArea.top,
                     SWP_NOACTIVATE);
    }

    void Show() {
        // Centred on the screen the first time.
        RECT window;
        GetWindowRect(m_hwnd, &window);
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(m_hwnd, nullptr,
                     work.left + ((work.right - work.left) - (window.right - window.left)) / 2,
                     work.top + ((work.bottom - work.top) - (window.bottom - window.top)) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(m_hwnd, SW_SHOW);
        SetForegroundWindow(m_hwnd);
        if (CPropertyPage* pPage = m_sheet.GetActivePage())
            if (HWND hPage = m_host.WindowOf(*pPage)) {
                ShowWindow(hPage, SW_SHOW);
                m_host.RestoreFocus();
            }
    }

    void ActivePageChanged(int nIndex) override {
        ++m_nSyncDepth;
        SendMessageW(m_hTabs, TCM_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
        for (int i = 0; i < m_sheet.GetPageCount(); ++i)
            if (HWND hPage = m_host.WindowOf(*m_sheet.GetPage(i)))
                ShowWindow(hPage, i == nIndex ? SW_SHOW : SW_HIDE);
        --m_nSyncDepth;
        m_host.RestoreFocus();
    }
    void PageCreated(CPropertyPage& page) override {
        if (HWND hPage = m_host.WindowOf(page))
            PlacePage(hPage);
    }
    void Closed() override {}

    // A tab chosen by a person: asked of the framework first.
    void Choose(int nIndex) {
        CUserInput::ChooseTab(m_sheet, nIndex);
        if (!m_sheet.IsClosed() && m_sheet.GetActiveIndex() >= 0) {
            ++m_nSyncDepth;
            SendMessageW(m_hTabs, TCM_SETCURSEL, static_cast<WPARAM>(m_sheet.GetActiveIndex()), 0);
            --m_nSyncDepth;
        }
    }

    void ChooseNext(int nStep) {
        const int nCount = m_sheet.GetPageCount();
        if (nCount > 1)
            Choose((m_sheet.GetActiveIndex() + nStep + nCount) % nCount);
    }

    // The keyboard's focus goes to the active page's control that has the framework's, when
    // it can take it; otherwise it is parked on the tabs, from where Tab goes into the page (a
    // control of a hidden page, or a disabled one, must not keep it). True when parked.
    bool ApplyFocus() {
        const CPropertyPage* pPage = m_sheet.GetActivePage();
        if (!IsWindowVisible(m_hwnd) || !pPage || !m_host.WindowOf(*pPage))
            return false;
        const ui::CControl* pFocus = pPage->GetFocus();
        const HWND hControl = pFocus ? m_host.ControlWindow(*pFocus) : nullptr;
        if (hControl && IsWindowEnabled(hControl) && IsWindowVisible(hControl)) {
            SetFocus(hControl);
            return false;
        }
        SetFocus(m_hTabs);
        return true;
    }

  private:
    static INT_PTR CALLBACK SheetProc(HWND hwnd, UINT nMsg, WPARAM, LPARAM lParam) {
        if (nMsg == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            return FALSE;
        }
        auto* pSelf = reinterpret_cast<CWin32SheetWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!pSelf)
            return FALSE;
        switch (nMsg) {
            case WM_CLOSE:
                // The title bar's close button: the sheet's OK, which the active page may
                // refuse.
                if (!pSelf->m_sheet.IsClosed())
                    CUserInput::CloseSheet(pSelf->m_sheet);
                return TRUE;
            case WM_NOTIFY: {
                const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
                if (pHeader->hwndFrom == pSelf->m_hTabs && pHeader->code == TCN_SELCHANGING) {
                    // The tab control never changes its tab itself: it asks (TabsProc).
                    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, pSelf->m_nSyncDepth == 0);
                    return TRUE;
                }
                return FALSE;
            }
            default:
                return FALSE;
        }
    }

    static LRESULT CALLBACK TabsProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR nId, DWORD_PTR pData) {
        auto* pSelf = reinterpret_cast<CWin32SheetWindow*>(pData);
        switch (nMsg) {
            case WM_NCDESTROY:
                RemoveWindowSubclass(hwnd, TabsProc, nId);
                break;
            case WM_LBUTTONDOWN: {
                TCHITTESTINFO hit{};
                hit.pt.x = static_cast<short>(LOWORD(lParam));
                hit.pt.y = static_cast<short>(HIWORD(lParam));
                const int nIndex = static_cast<int>(
                    SendMessageW(hwnd, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
                if (nIndex >= 0 && nIndex != pSelf->m_sheet.GetActiveIndex()) {
                    pSelf->Choose(nIndex);
                    return 0;
                }
                break;
            }
            case WM_KEYDOWN:
                if (wParam == VK_LEFT || wParam == VK_RIGHT) {
                    const int nIndex =
                        pSelf->m_sheet.GetActiveIndex() + (wParam == VK_LEFT ? -1 : 1);
                    if (nIndex >= 0 && nIndex < pSelf->m_sheet.GetPageCount())
                        pSelf->Choose(nIndex);
                    return 0;
                }
                break;
            default:
                break;
        }
        return DefSubclassProc(hwnd, nMsg, wParam, lParam);
    }

    Win32UiHost& m_host;
    CPropertySheet& m_sheet;
    HWND m_hwnd = nullptr;
    HWND m_hTabs = nullptr;
    RECT m_pageArea{};
    int m_nSyncDepth = 0;
};

// ---------------------------------------------------------------------------------------------
// Win32UiHost

Win32UiHost::Win32UiHost(Win32EventLoop& loop) : m_loop(loop) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    m_loop.SetPreTranslate([this](void* pMsg) { return PreTranslate(*static_cast<MSG*>(pMsg)); });
}

Win32UiHost::~Win32UiHost() {
    m_loop.SetPreTranslate(nullptr);
    m_views.clear();
}

HWND Win32UiHost::WindowOf(const CDialog& dlg) const {
    const auto it = m_views.find(&dlg);
    return it == m_views.end() ? nullptr : it->second->Window();
}

HWND Win32UiHost::ControlWindow(const ui::CControl& control) const {
    const auto it = m_views.find(&control.Owner());
    return it == m_views.end() ? nullptr : it->second->ControlWindow(control);
}

HWND Win32UiHost::SheetWindow(const CPropertySheet& sheet) const {
    const CWin32SheetWindow* pWindow = SheetOf(&sheet);
    return pWindow ? pWindow->Window() : nullptr;
}

CWin32SheetWindow* Win32UiHost::SheetOf(const CPropertySheet* pSheet) const {
    for (CWin32SheetWindow* pWindow : m_sheetWindows)
        if (&pWindow->Sheet() == pSheet)
            return pWindow;
    return nullptr;
}

CWin32DialogView* Win32UiHost::ViewOfWindow(HWND hwnd) const {
    for (const auto& [pDlg, pView] : m_views)
        if (pView->Window() == hwnd)
            return pView.get();
    return nullptr;
}

HWND Win32UiHost::OwnerWindow(CDialog* pOwner) const {
    if (!m_modalDialogs.empty())
        if (HWND hwnd = WindowOf(*m_modalDialogs.back()))
            return hwnd;
    if (pOwner)
        if (HWND hwnd = WindowOf(*pOwner))
            if (HWND hRoot = GetAncestor(hwnd, GA_ROOT); hRoot && IsWindowVisible(hRoot))
                return hRoot;
    if (!m_sheetWindows.empty())
        return m_sheetWindows.back()->Window();
    return GetActiveWindow();
}

void Win32UiHost::WindowCreated(CDialog& dlg) {
    HWND hParent = m_hCreatingParent;
    bool bChild = false;
    if (auto* pPage = dynamic_cast<CPropertyPage*>(&dlg)) {
        if (CWin32SheetWindow* pSheet = SheetOf(pPage->GetSheet())) {
            hParent = pSheet->Window();
            bChild = true;
        }
    }
    m_views[&dlg] = std::make_unique<CWin32DialogView>(*this, dlg, hParent, bChild);
}

void Win32UiHost::WindowDestroyed(CDialog& dlg) {
    const auto it = m_views.find(&dlg);
    if (it == m_views.end())
        return;
    it->second->Detach();
    m_retiredViews.push_back(std::move(it->second));
    m_views.erase(it);
    if (m_nInputDepth == 0)
        m_retiredViews.clear();
}

void Win32UiHost::EndInput() {
    if (--m_nInputDepth == 0)
        m_retiredViews.clear();
}

bool Win32UiHost::PreTranslate(MSG& msg) {
    const HWND hRoot = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (!hRoot)
        return false;
    CWin32SheetWindow* pSheet = nullptr;
    for (CWin32SheetWindow* pWindow : m_sheetWindows)
        if (pWindow->Window() == hRoot)
            pSheet = pWindow;
    CWin32DialogView* pModal = pSheet ? nullptr : ViewOfWindow(hRoot);
    if (!pSheet && !pModal) {
        // The system's own dialogs (a box, the file dialog) whose input this loop takes ahead
        // of a timer: their keys go through their dialog manager as in their own loop.
        wchar_t szRootClass[8] = L"";
        GetClassNameW(hRoot, szRootClass, 8);
        return std::wstring(szRootClass) == L"#32770" && IsDialogMessageW(hRoot, &msg);
    }
    if (msg.message == WM_KEYDOWN) {
        // An open drop-down list takes its own Enter and Escape.
        wchar_t szClass[16] = L"";
        GetClassNameW(msg.hwnd, szClass, 16);
        const bool bDropped = _wcsicmp(szClass, L"ComboBox") == 0 &&
                              SendMessageW(msg.hwnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
        const bool bCtrl = GetKeyState(VK_CONTROL) < 0;
        const bool bShift = GetKeyState(VK_SHIFT) < 0;
        if ((msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) && !bDropped) {
            // The handheld's sheet has neither an OK nor a Cancel button to press.
            if (pModal && pModal->Dialog()) {
                if (msg.wParam == VK_RETURN)
                    CUserInput::PressEnter(*pModal->Dialog());
                else
                    CancelByUser(*pModal->Dialog());
            }
            return true;
        }
        if (pSheet && bCtrl &&
            (msg.wParam == VK_TAB || msg.wParam == VK_NEXT || msg.wParam == VK_PRIOR)) {
            pSheet->ChooseNext(msg.wParam == VK_PRIOR || (msg.wParam == VK_TAB && bShift) ? -1 : 1);
            return true;
        }
    }
    return IsDialogMessageW(hRoot, &msg) != FALSE;
}

void Win32UiHost::RestoreFocus() {
    m_bFocusParked = false;
    if (!m_modalDialogs.empty()) {
        if (CWin32DialogView* pView = ViewOfWindow(WindowOf(*m_modalDialogs.back())))
            pView->ApplyFocus();
        return;
    }
    if (!m_sheetWindows.empty())
        m_bFocusParked = m_sheetWindows.back()->ApplyFocus();
}

bool Win32UiHost::IsFocusParked() const {
    return m_bFocusParked && !m_sheetWindows.empty() && GetFocus() == m_sheetWindows.back()->Tabs();
}

void Win32UiHost::CancelByUser(CDialog& dlg) {
    if (!dlg.IsEnded())
        CUserInput::Close(dlg);
}

template <typename Run>
auto Win32UiHost::RunSystemModal(int nQuitCommand, Run run) {
    HWND hActivated = nullptr;
    HWND* pOuterCapture = g_pCaptureActivated;
    g_pCaptureActivated = &hActivated;
    HHOOK hHook = SetWindowsHookExW(WH_CBT, CaptureActivation, nullptr, GetCurrentThreadId());
    ++m_nModalDepth;
    ++m_nModalsOpened;
    m_quitClosers.push_back([&hActivated, nQuitCommand] {
        if (hActivated)
            PostMessageW(hActivated, WM_COMMAND, MAKEWPARAM(nQuitCommand, ui::BN_CLICKED), 0);
    });
    auto result = run();
    m_quitClosers.pop_back();
    --m_nModalDepth;
    if (hHook)
        UnhookWindowsHookEx(hHook);
    g_pCaptureActivated = pOuterCapture;
    return result;
}

int Win32UiHost::RunMessageBox(CDialog* pOwner, const std::wstring& strText,
                               const std::wstring& strCaption, unsigned nType) {
    const unsigned nButtons = nType & ui::MB_TYPEMASK;
    // The answer that starts nothing, for a program that is quitting.
    const int nQuitAnswer = nButtons == ui::MB_YESNO      ? ui::IDNO
                            : nButtons == ui::MB_OKCANCEL ? ui::IDCANCEL
                                                          : ui::IDOK;
    if (m_bQuitting) {
        std::fprintf(stderr, "%s\n", Utf8FromWide(strText).c_str());
        return nQuitAnswer;
    }
    // A box without a caption of its own is titled with the program's name.
    std::wstring strTitle = strCaption;
    if (strTitle.empty() && !m_sheetWindows.empty())
        strTitle = WindowText(m_sheetWindows.back()->Window());
    const HWND hOwner = OwnerWindow(pOwner);
    const int nAnswer = RunSystemModal(nQuitAnswer, [&] {
        // The framework's types and answers are Windows' own values.
        return MessageBoxW(hOwner, strText.c_str(), strTitle.c_str(),
                           (nType & (ui::MB_TYPEMASK | ui::MB_ICONMASK)) | MB_SETFOREGROUND);
    });
    RestoreFocus();
    switch (nAnswer) {
        case ui::IDCANCEL:
        case ui::IDYES:
        case ui::IDNO:
            return nAnswer;
        default:
            return ui::IDOK;
    }
}

int Win32UiHost::RunModalDialog(CDialog& dlg) {
    const HWND hOwner = OwnerWindow(nullptr);
    m_hCreatingParent = hOwner;
    dlg.Create();
    m_hCreatingParent = nullptr;
    ++m_nModalDepth;
    ++m_nModalsOpened;
    m_modalDialogs.push_back(&dlg);
    m_quitClosers.push_back([&dlg] {
        CUserInput::Close(dlg);
        if (!dlg.IsEnded())
            dlg.EndDialog(ui::IDCANCEL);
    });
    if (m_bQuitting)
        m_quitClosers.back()();
    const HWND hwnd = WindowOf(dlg);
    const bool bOwnerEnabled = hOwner && IsWindowEnabled(hOwner);
    if (hwnd && !dlg.IsEnded()) {
        // Centred over its owner, which takes no input meanwhile.
        RECT owner{}, window{};
        if (hOwner)
            GetWindowRect(hOwner, &owner);
        else
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &owner, 0);
        GetWindowRect(hwnd, &window);
        SetWindowPos(hwnd, nullptr,
                     owner.left + ((owner.right - owner.left) - (window.right - window.left)) / 2,
                     owner.top + ((owner.bottom - owner.top) - (window.bottom - window.top)) / 2, 0,
                     0, SWP_NOSIZE | SWP_NOZORDER);
        if (bOwnerEnabled)
            EnableWindow(hOwner, FALSE);
        ShowWindow(hwnd, SW_SHOW);
        if (CWin32DialogView* pView = ViewOfWindow(hwnd))
            pView->ApplyFocus();
        m_loop.RunUntil([&dlg] { return dlg.IsEnded(); }, FOREVER_MS);
        // The owner takes the activation back before this window goes.
        if (bOwnerEnabled)
            EnableWindow(hOwner, TRUE);
        ShowWindow(hwnd, SW_HIDE);
        if (hOwner)
            SetActiveWindow(hOwner);
    }
    // Below it, the framework's focus takes the keyboard's again.
    const auto restore = [this] { RestoreFocus(); };
    m_quitClosers.pop_back();
    m_modalDialogs.erase(std::find(m_modalDialogs.begin(), m_modalDialogs.end(), &dlg));
    --m_nModalDepth;
    if (!dlg.IsEnded())
        dlg.OnCancel();
    if (!dlg.IsEnded())
        dlg.EndDialog(ui::IDCANCEL);
    const int nResult = dlg.EndCode();
    dlg.Destroy();
    restore();
    return nResult;
}

int Win32UiHost::RunPropertySheet(CPropertySheet& sheet) {
    CWin32SheetWindow window(*this, sheet);
    m_sheetWindows.push_back(&window);
    window.Create();
    sheet.SetView(&window);
    sheet.Create();
    if (window.Window()) {
        window.Show();
        m_loop.RunUntil([&sheet] { return sheet.IsClosed(); }, FOREVER_MS);
        ShowWindow(window.Window(), SW_HIDE);
    }
    sheet.Destroy();
    sheet.SetView(nullptr);
    m_sheetWindows.erase(std::find(m_sheetWindows.begin(), m_sheetWindows.end(), &window));
    return ui::IDOK;
}

bool Win32UiHost::RunFileOpenDialog(CDialog* pOwner, const std::wstring& strFilter,
                                    std::wstring& strPath) {
    if (m_bQuitting)
        return false;
    // The pages say where their files are to be found: in the user's documents folder. After
    // a choice, where that file was. Any file the user picks anywhere is taken.
    std::wstring strFolder = m_strLastFolder;
    if (strFolder.empty() || !(GetFileAttributesW(strFolder.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ||
        GetFileAttributesW(strFolder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        wchar_t szDocuments[MAX_PATH] = L"";
        strFolder = SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, szDocuments))
                        ? szDocuments
                        : L"";
    }
    const std::wstring strNativeFilter = NativeFileFilter(strFilter);
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = OwnerWindow(pOwner);
    ofn.lpstrFilter = strNativeFilter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = strFolder.empty() ? nullptr : strFolder.c_str();
    ofn.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    const bool bChosen =
        RunSystemModal(ui::IDCANCEL, [&] { return GetOpenFileNameW(&ofn) != FALSE; });
    RestoreFocus();
    if (!bChosen)
        return false;
    strPath = file.data();
    const size_t nSlash = strPath.find_last_of(L"\\/");
    if (nSlash != std::wstring::npos)
        m_strLastFolder = strPath.substr(0, nSlash);
    return true;
}

void Win32UiHost::BeginQuit() {
    m_bQuitting = true;
    const std::vector<std::function<void()>> closers = m_quitClosers;
    for (auto it = closers.rbegin(); it != closers.rend(); ++it)
        (*it)();
}

}  // namespace platform::win32
