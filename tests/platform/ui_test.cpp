// The dialog framework on the headless backend: controls from templates, user input in the
// handheld's order of notifications, data exchange, timers under modal boxes, the sheet.
#include "platform/ui/ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/headless/headless_ui.h"

namespace {

using namespace platform::ui;
using platform::headless::ShownMessageBox;
using ::testing::ElementsAre;
using Log = std::vector<std::string>;

enum { IDC_EDIT_A = 10, IDC_EDIT_B, IDC_BUTTON, IDC_TOGGLE, IDC_COMBO, IDC_TRACK, IDD_FORM = 500 };

// A form with a control of each kind the tests drive.
const DialogTemplate* TestTemplates(int nId) {
    using enum ControlKind;
    static const std::vector<ControlTemplate> CONTROLS = {
        {IDC_EDIT_A, Edit, L"", 10, 10, 40, 12, STYLE_TABSTOP},
        {IDC_EDIT_B, Edit, L"", 10, 30, 40, 12, STYLE_TABSTOP},
        {IDC_BUTTON, PushButton, L"+1", 60, 10, 30, 14, STYLE_TABSTOP},
        {IDC_TOGGLE, PushLikeToggle, L"Reverse", 60, 30, 40, 14, 0},
        {IDC_COMBO, DropDownList, L"", 10, 50, 80, 60, 0},
        {IDC_TRACK, Trackbar, L"", 10, 70, 80, 15, 0},
        {IDOK, DefPushButton, L"OK", 10, 95, 40, 14, 0}};
    static const DialogTemplate FORM{IDD_FORM, L"Form", 160, 120, L"MS Sans Serif", 8, CONTROLS};
    return nId == IDD_FORM ? &FORM : nullptr;
}

// Logs every notification as "id:code" (a toggle's with its check, a trackbar's with its
// position) and every timer; exchanges two numbers.
class CFormDialog : public CDialog {
  public:
    CFormDialog() : CDialog(IDD_FORM) {}
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, IDC_EDIT_A, m_nA);
        DDX_Text(pDX, IDC_EDIT_B, m_nB);
    }
    void OnCommand(int nId, int nCode) override {
        const bool bToggle = nId == IDC_TOGGLE;
        m_log.push_back(std::to_string(nId) + ":" + std::to_string(nCode) +
                        (bToggle ? "/" + std::to_string(GetDlgItem(nId)->GetCheck()) : ""));
        if (m_onCommand)
            m_onCommand(nId, nCode);
        CDialog::OnCommand(nId, nCode);
    }
    void OnHScroll(int nId, int nCode, int nPos) override {
        m_log.push_back(std::to_string(nId) + "h" + std::to_string(nCode) + "@" +
                        std::to_string(nPos));
    }
    void OnTimer(unsigned nId) override { m_log.push_back("timer" + std::to_string(nId)); }

    int m_nA = 1;
    int m_nB = 2;
    Log m_log;
    std::function<void(int, int)> m_onCommand;
};

// Every box is answered OK unless a test says otherwise.
struct UiTest : ::testing::Test {
    UiTest() {
        SetTemplateLookup(TestTemplates);
        SetHost(&host);
        host.SetUnexpectedHandler([](const std::wstring& strWhat) {
            ADD_FAILURE() << "unexpected " << std::string(strWhat.begin(), strWhat.end());
        });
        host.SetMessageBoxResponder([](const ShownMessageBox&) { return IDOK; });
    }
    ~UiTest() override {
        form.Destroy();
        SetHost(nullptr);
    }
    CControl& Item(int nId) { return *form.GetDlgItem(nId); }

    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    platform::headless::HeadlessUiHost host{loop};
    CFormDialog form;
};

TEST_F(UiTest, UserInputNotifiesInTheHandheldsOrderAndCodeNotifiesNothing) {
    EXPECT_EQ(form.GetDlgItem(IDC_EDIT_A), nullptr);
    form.Create();
    EXPECT_EQ(Item(IDC_EDIT_A).GetWindowText() + Item(IDC_EDIT_B).GetWindowText(), L"12");
    CControl& combo = Item(IDC_COMBO);
    CControl& track = Item(IDC_TRACK);
    for (const wchar_t* pszEntry : {L"COM1", L"COM2"})
        combo.AddString(pszEntry);
    combo.SetCurSel(0);
    track.SetRange(0, 15);
    track.SetPos(13);
    // The focus moves first; a box its focus-lost handler shows does not swallow the click.
    form.m_onCommand = [&](int, int nCode) {
        if (nCode == EN_KILLFOCUS)
            form.MessageBox(L"Range", L"Info", MB_OK);
    };
    CUserInput::Tap(Item(IDC_BUTTON));
    CUserInput::Tap(Item(IDC_TOGGLE));  // a toggle flips before it notifies, every time
    CUserInput::Tap(Item(IDC_TOGGLE));
    CUserInput::Pick(combo, 1);
    CUserInput::Pick(combo, 1);  // the same entry again: close-up only
    CUserInput::SelectWithKeys(combo, 0);
    CUserInput::OpenAndClose(combo);
    CUserInput::Drag(track, 20);  // held at the end, 15
    // From code nothing is sent, and a disabled control takes no input.
    Item(IDC_TOGGLE).SetCheck(1);
    combo.SetCurSel(1);
    track.SetPos(3);
    Item(IDC_EDIT_B).SetWindowText(L"5");
    Item(IDC_BUTTON).EnableWindow(false);
    EXPECT_FALSE(CUserInput::Tap(Item(IDC_BUTTON)));
    // An entry inserted at or before the selection leaves the same entry selected.
    const std::wstring strSelected = combo.GetLBText(1);
    combo.InsertString(1, L"new");
    combo.InsertString(0, L"first");
    combo.InsertString(5, L"after");
    EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), strSelected);
    combo.ResetContent();
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    // A destroyed window's timers are gone.
    form.SetTimer(1, 10);
    form.Destroy();
    loop.RunFor(50);
    EXPECT_THAT(form.m_log, ElementsAre("10:256", "10:512", "12:0", "13:0/1", "13:0/0", "14:3",
                                        "14:1", "14:8", "14:8", "14:1", "14:8", "14:4", "15h5@14",
                                        "15h5@15", "15h4@15", "15h8@0"));
    EXPECT_EQ(host.MessageBoxes().size(), 1u);
}

TEST_F(UiTest, ANumberThatDoesNotParseStopsTheExchangeAndTakesTheFocusBack) {
    form.Create();
    CUserInput::Type(Item(IDC_EDIT_A), L"abc");
    CUserInput::Type(Item(IDC_EDIT_B), L"9");
    EXPECT_FALSE(form.UpdateData(true));
    EXPECT_EQ(form.m_nB, 2);  // fields after the bad one are not read
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].strText, L"Please enter an integer.");
    EXPECT_EQ(host.MessageBoxes()[0].nType & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(form.GetFocus(), &Item(IDC_EDIT_A));
    EXPECT_EQ(std::pair(Item(IDC_EDIT_A).SelStart(), Item(IDC_EDIT_A).SelEnd()), std::pair(0, 3));
    // Enter runs the default OK, which refuses to end on a bad field.
    CUserInput::PressEnter(form);
    EXPECT_FALSE(form.IsEnded());
    CUserInput::Type(Item(IDC_EDIT_A), L"99999999999");
    CUserInput::PressEnter(form);
    EXPECT_EQ(form.EndCode(), IDOK);
    EXPECT_EQ(form.m_nA, INT_MAX);
}

// A page of the form that exchanges its first field.
class CTestPage : public CPropertyPage {
  public:
    CTestPage() : CPropertyPage(IDD_FORM) {}
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_EDIT_A, m_nValue); }
    int m_nValue = 5;
};

TEST_F(UiTest, SheetCreatesPagesOnFirstShowAndARefusingPageKeepsItsTabAndTheSheet) {
    CTestPage one, two;
    CPropertySheet sheet(L"Title");
    sheet.AddPage(&one);
    sheet.AddPage(&two);
    host.SetSheetScript([&](CPropertySheet& shown) {
        EXPECT_FALSE(two.HasWindow());
        CControl& edit = *one.GetDlgItem(IDC_EDIT_A);
        // The default refuses to leave the page when its number does not parse.
        CUserInput::Type(edit, L"x");
        EXPECT_FALSE(CUserInput::ChooseTab(shown, 1));
        EXPECT_FALSE(CUserInput::CloseSheet(shown));
        EXPECT_EQ(shown.GetActiveIndex(), 0);
        CUserInput::Type(edit, L"7");
        EXPECT_TRUE(CUserInput::ChooseTab(shown, 1));
        EXPECT_EQ(two.GetDlgItem(IDC_EDIT_A)->GetWindowText(), L"5");
        // A value changed while the page was hidden shows when it becomes active again.
        one.m_nValue = 42;
        EXPECT_TRUE(CUserInput::ChooseTab(shown, 0));
        EXPECT_EQ(edit.GetWindowText(), L"42");
        CUserInput::Type(edit, L"8");
        EXPECT_TRUE(CUserInput::CloseSheet(shown));
    });
    sheet.DoModal();
    EXPECT_EQ(one.m_nValue, 8);
    EXPECT_EQ(host.MessageBoxes().size(), 2u);  // "Please enter an integer.", at each refusal
    EXPECT_FALSE(one.HasWindow());
}

}  // namespace
