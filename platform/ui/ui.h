// The dialog framework the pages are written against: dialogs and property pages built from
// templates, controls addressed by id, notifications to the owning dialog, data exchange
// between controls and members, window timers, modal message boxes and dialogs, a file-open
// dialog and a property sheet.
//
// The framework keeps every control's state itself and produces the notifications of user
// input in the handheld's order (focus moves before a click is delivered, toggles flip
// before they notify, a picked list entry sends selection change and drop-down closed).
// A backend (UiHost) shows that state: the headless backend to a scripted user in tests,
// the Qt backend to a person, whose widget input comes back through the same User* calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/ui/dialog_template.h"

namespace platform::ui {

// Notification codes sent with a command.
enum : int {
    BN_CLICKED = 0,
    CBN_SELCHANGE = 1,
    LBN_SELCHANGE = 1,
    CBN_SETFOCUS = 3,
    CBN_KILLFOCUS = 4,
    CBN_CLOSEUP = 8,
    EN_SETFOCUS = 0x0100,
    EN_KILLFOCUS = 0x0200,
    EN_CHANGE = 0x0300,
};

// Trackbar scroll codes.
enum : int {
    TB_LINEUP = 0,
    TB_LINEDOWN = 1,
    TB_PAGEUP = 2,
    TB_PAGEDOWN = 3,
    TB_THUMBPOSITION = 4,
    TB_THUMBTRACK = 5,
    TB_TOP = 6,
    TB_BOTTOM = 7,
    TB_ENDTRACK = 8,
};

// Message box types and answers.
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNO = 0x04,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
    MB_TYPEMASK = 0x0F,
};
enum : int { IDYES = 6, IDNO = 7 };

constexpr int CB_ERR = -1;

class CDialog;
class CPropertySheet;

// One control of a dialog, with the state a window of its kind keeps. Calls from code
// send no notifications.
class CControl {
  public:
    CControl(CDialog& owner, const ControlTemplate& tmpl);

    int GetDlgCtrlID() const { return m_tmpl.nId; }
    ControlKind Kind() const { return m_tmpl.kind; }
    const ControlTemplate& Template() const { return m_tmpl; }
    CDialog& Owner() const { return m_owner; }

    std::wstring GetWindowText() const { return m_strText; }
    void SetWindowText(const std::wstring& strText);
    bool IsWindowEnabled() const { return m_bEnabled; }
    void EnableWindow(bool bEnable);
    bool IsWindowVisible() const { return m_bVisible; }
    void ShowWindow(bool bShow);
    // What the control holds, told beside its name (a field's unit and range): a screen
    // reader's description and a tooltip. Shows nothing on the page itself.
    void SetDescription(const std::wstring& strDescription);
    const std::wstring& GetDescription() const { return m_strDescription; }

    // Buttons.
    int GetCheck() const { return m_nCheck; }
    void SetCheck(int nCheck);

    // Edits: the selection, -1 as the end meaning "to the end".
    void SetSel(int nStart, int nEnd);
    int SelStart() const { return m_nSelStart; }
    int SelEnd() const { return m_nSelEnd; }

    // Drop-down lists and list boxes.
    int AddString(const std::wstring& strItem);
    int InsertString(int nIndex, const std::wstring& strItem);
    void ResetContent();
    int GetCount() const { return static_cast<int>(m_items.size()); }
    std::wstring GetLBText(int nIndex) const;
    int GetCurSel() const { return m_nCurSel; }
    int SetCurSel(int nIndex);
    int SetItemData(int nIndex, intptr_t nData);
    intptr_t GetItemData(int nIndex) const;
    // The dropped list is open (between a user's tap on the box and the close-up).
    bool IsDroppedDown() const { return m_bDropped; }

    // Trackbars and progress bars.
    void SetRange(int nMin, int nMax);
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }
    void SetPos(int nPos);
    int GetPos() const { return m_nPos; }
    void SetTicFreq(int nFreq);
    int GetTicFreq() const { return m_nTicFreq; }
    void SetLineSize(int nSize) { m_nLineSize = nSize; }
    void SetPageSize(int nSize) { m_nPageSize = nSize; }
    int GetLineSize() const { return m_nLineSize; }
    int GetPageSize() const { return m_nPageSize; }
    void SetStep(int nStep) { m_nStep = nStep; }
    int StepIt();

  private:
    friend class CDialog;
    friend class CUserInput;
    void Changed();
    int ClampToRange(int nPos) const;

    CDialog& m_owner;
    ControlTemplate m_tmpl;
    std::wstring m_strText;
    std::wstring m_strDescription;
    bool m_bEnabled;
    bool m_bVisible;
    int m_nCheck = 0;
    int m_nSelStart = 0;
    int m_nSelEnd = 0;
    std::vector<std::pair<std::wstring, intptr_t>> m_items;
    int m_nCurSel = CB_ERR;
    bool m_bDropped = false;
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nPos = 0;
    int m_nTicFreq = 1;
    int m_nLineSize = 1;
    int m_nPageSize = 5;
    int m_nStep = 10;
};

// Data exchange between a dialog's controls and its members.
class CDataExchange {
  public:
    CDataExchange(CDialog& dlg, bool bSaveAndValidate)
        : m_dlg(dlg), m_bSaveAndValidate(bSaveAndValidate) {}
    CDialog& Dialog() const { return m_dlg; }
    bool SaveAndValidate() const { return m_bSaveAndValidate; }
    // A field that failed stops the exchange: the fields after it are not touched.
    bool Failed() const { return m_bFailed; }
    void Fail() { m_bFailed = true; }

  private:
    CDialog& m_dlg;
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
};

// The number a numeric field's text holds: leading blanks, an optional sign, the digits after
// it; the rest is ignored. Values past the 32-bit range are held at its ends. False without
// a digit.
bool ParseInteger(const std::wstring& strText, int& nValue);
void DDX_Text(CDataExchange* pDX, int nId, std::wstring& strValue);
// A number: reading a text that is not an integer shows "Please enter an integer.", puts the
// focus back into the edit with all its text selected, and fails the exchange.
void DDX_Text(CDataExchange* pDX, int nId, int& nValue);
void DDX_CBIndex(CDataExchange* pDX, int nId, int& nIndex);
void DDX_Check(CDataExchange* pDX, int nId, int& nCheck);
void DDX_Slider(CDataExchange* pDX, int nId, int& nPos);

class CDialog : public CTimerTarget {
  public:
    explicit CDialog(int nTemplateId);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    int TemplateId() const { return m_nTemplateId; }
    // Looked up when needed, so dialogs may exist before the resources are known.
    const DialogTemplate& Template() const;

    // Runs the dialog modally; returns the end code (IDOK, IDCANCEL, ...).
    int DoModal();
    void EndDialog(int nResult);
    bool IsEnded() const { return m_bEnded; }
    int EndCode() const { return m_nEndCode; }

    // The window and its controls exist from creation until destruction.
    bool HasWindow() const { return m_bCreated; }
    CControl* GetDlgItem(int nId);
    const std::vector<std::unique_ptr<CControl>>& Controls() const { return m_controls; }
    CControl* GetFocus() const { return m_pFocus; }
    // Moves the focus from code (notifications as a user's focus change); an edit gets all
    // its text selected.
    void GotoDlgCtrl(CControl* pControl);

    bool UpdateData(bool bSaveAndValidate = true);

    void SetTimer(unsigned nId, unsigned nElapseMs);
    void KillTimer(unsigned nId);

    int MessageBox(const std::wstring& strText, const std::wstring& strCaption, unsigned nType);

    // Creates the window from the template and runs the initialisation; backends call it.
    void Create();
    void Destroy();

    // Overridables.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    // A command from a control; the default maps IDOK and IDCANCEL.
    virtual void OnCommand(int nId, int nCode);
    virtual void OnHScroll(int nId, int nCode, int nPos);
    void OnTimer(unsigned nIdEvent) override;

    // The backend's view of this window, told of every state change.
    class View {
      public:
        virtual ~View() = default;
        virtual void ControlChanged(CControl& control) = 0;
        virtual void FocusChanged(CControl* pControl) = 0;
    };
    void SetView(View* pView) { m_pView = pView; }
    View* GetView() const { return m_pView; }

  protected:
    // A property page is part of its sheet's window rather than a window of its own.
    virtual bool IsChild() const { return false; }

  private:
    friend class CControl;
    friend class CUserInput;
    void SetFocusControl(CControl* pControl);

    int m_nTemplateId;
    std::vector<std::unique_ptr<CControl>> m_controls;
    CControl* m_pFocus = nullptr;
    bool m_bCreated = false;
    bool m_bEnded = false;
    int m_nEndCode = 0;
    View* m_pView = nullptr;
};

class CPropertyPage : public CDialog {
  public:
    explicit CPropertyPage(int nTemplateId) : CDialog(nTemplateId) {}

    // Told each time the page becomes the active one; from the second time on, the default
    // refreshes the controls from the members.
    virtual bool OnSetActive();
    // Asked whether the page may be left; the default reads the controls into the members
    // and refuses when that fails.
    virtual bool OnKillActive();

    CPropertySheet* GetSheet() const { return m_pSheet; }
    std::wstring Title() const { return Template().strCaption; }

  protected:
    bool IsChild() const override { return true; }

  private:
    friend class CPropertySheet;
    CPropertySheet* m_pSheet = nullptr;
    bool m_bFirstSetActive = true;
};

class CPropertySheet {
  public:
    CPropertySheet(std::wstring strCaption, int nSelectPage = 0);
    virtual ~CPropertySheet();
    CPropertySheet(const CPropertySheet&) = delete;
    CPropertySheet& operator=(const CPropertySheet&) = delete;

    void AddPage(CPropertyPage* pPage);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int nIndex) const { return m_pages.at(static_cast<size_t>(nIndex)); }
    int GetActiveIndex() const { return m_nActive; }
    CPropertyPage* GetActivePage() const { return m_nActive >= 0 ? GetPage(m_nActive) : nullptr; }
    const std::wstring& Caption() const { return m_strCaption; }
    void SetIconId(int nIconId) { m_nIconId = nIconId; }
    int IconId() const { return m_nIconId; }

    // Runs the sheet modally until it is closed.
    int DoModal();
    bool HasWindow() const { return m_bCreated; }
    bool IsClosed() const { return m_bClosed; }

    // Tab change: asks the active page whether it may be left, then activates the new one
    // (creating its window the first time). False when the active page refused.
    bool SetActivePage(int nIndex);
    // Closing with OK: the active page is asked first; false when it refused.
    bool PressOk();
    // Closes the sheet without asking its pages: a program that is quitting, once no page
    // has work under way.
    void EndSheet();

    // Called once when the sheet's window exists, before any page is created.
    virtual bool OnInitDialog();

    // Backends: creates the sheet window and shows the first page.
    void Create();
    void Destroy();

    class View {
      public:
        virtual ~View() = default;
        virtual void ActivePageChanged(int nIndex) = 0;
        virtual void PageCreated(CPropertyPage& page) = 0;
        virtual void Closed() = 0;
    };
    void SetView(View* pView) { m_pView = pView; }

  private:
    void ActivatePage(int nIndex);

    std::wstring m_strCaption;
    int m_nSelectPage;
    int m_nIconId = 0;
    std::vector<CPropertyPage*> m_pages;
    int m_nActive = -1;
    bool m_bCreated = false;
    bool m_bClosed = false;
    View* m_pView = nullptr;
};

// What a user does, in the order of notifications the handheld produces. The scripted user
// of tests calls these, and so does the Qt backend for a person's input. Input to a
// disabled or hidden control, or to a window that does not exist, does nothing and
// returns false.
class CUserInput {
  public:
    // Moves the focus to the control: the edit or drop-down list that had it hears
    // EN_KILLFOCUS or CBN_KILLFOCUS first, then the new one EN_SETFOCUS or CBN_SETFOCUS.
    static bool Focus(CControl& control);
    // A tap: focus first, then the click (a toggle flips its check before it notifies).
    static bool Tap(CControl& control);
    // The pen lifted over a button that already has the focus.
    static bool Click(CControl& control);
    // Replaces an edit's text as typing would (focus first, EN_CHANGE after).
    static bool Type(CControl& control, const std::wstring& strText);
    // Taps a drop-down list open and an entry in it: selection change, then close-up.
    static bool Pick(CControl& control, int nIndex);
    // Opens and closes a drop-down list without a new choice: close-up only.
    static bool OpenAndClose(CControl& control);
    // Moves a list's selection with the keys: selection change only.
    static bool SelectWithKeys(CControl& control, int nIndex);
    // Drags a trackbar's thumb to a position: thumb-track on the way, thumb-position where
    // it is dropped, end-track.
    static bool Drag(CControl& control, int nPos);
    // The two halves of a drag, for a pen that is still down: the thumb moves to a position
    // (thumb-track on the way), then is dropped where it is (thumb-position, end-track).
    static bool MoveThumb(CControl& control, int nPos);
    static bool ReleaseThumb(CControl& control);
    // A line or page step on a trackbar (TB_LINEUP ... TB_BOTTOM), then end-track.
    static bool Step(CControl& control, int nCode);
    // Enter: the default command (IDOK).
    static bool PressEnter(CDialog& dlg);
    // The title bar's close button.
    static bool Close(CDialog& dlg);
    // Chooses a tab of the sheet; false when the active page refused.
    static bool ChooseTab(CPropertySheet& sheet, int nIndex);
    // The sheet's close button (OK).
    static bool CloseSheet(CPropertySheet& sheet);
};

// The backend that shows windows and runs modal loops.
class UiHost {
  public:
    virtual ~UiHost() = default;
    virtual EventLoop& Loop() = 0;
    // Shows a message box and returns the answer.
    virtual int RunMessageBox(CDialog* pOwner, const std::wstring& strText,
                              const std::wstring& strCaption, unsigned nType) = 0;
    // Creates the dialog's window (dlg.Create()), runs until it ends, destroys the window.
    virtual int RunModalDialog(CDialog& dlg) = 0;
    // Creates the sheet (sheet.Create()), runs until it is closed.
    virtual int RunPropertySheet(CPropertySheet& sheet) = 0;
    // The file-open dialog; the filter in the handheld's form ("Firmware Files (*.fwr)|*.fwr||").
    // True with the chosen path, false when cancelled.
    virtual bool RunFileOpenDialog(CDialog* pOwner, const std::wstring& strFilter,
                                   std::wstring& strPath) = 0;
    // A window is being created from its template (for backends that build widgets).
    virtual void WindowCreated(CDialog& dlg) { (void)dlg; }
    virtual void WindowDestroyed(CDialog& dlg) { (void)dlg; }
    // The program is quitting: message boxes from now on are answered at once with OK (No
    // for a question) instead of being shown, and the boxes and dialogs open now are closed
    // that way. Backends whose boxes never wait for a person need nothing.
    virtual void BeginQuit() {}
};

UiHost& CurrentHost();
void SetHost(UiHost* pHost);

// Looks a template up by number; set once by the program from its resources.
using TemplateLookup = const DialogTemplate* (*)(int nId);
void SetTemplateLookup(TemplateLookup lookup);

}  // namespace platform::ui
