#include "platform/ui/ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_ui.h"

namespace {

using namespace platform::ui;
using platform::headless::HeadlessUiHost;
using platform::headless::ShownMessageBox;
using ::testing::ElementsAre;

enum { IDC_EDIT_A = 10, IDC_EDIT_B, IDC_BUTTON, IDC_TOGGLE, IDC_COMBO, IDC_TRACK };
enum { IDD_FORM = 500, IDD_PAGE_ONE, IDD_PAGE_TWO };

// A form with a control of each kind the tests drive; two pages with one edit each.
const DialogTemplate* TestTemplates(int nId) {
    using enum ControlKind;
    static const ControlTemplate EDIT{IDC_EDIT_A, Edit, L"", 10, 10, 40, 12, STYLE_TABSTOP};
    static const std::vector<ControlTemplate> FORM = {
        EDIT,
        {IDC_EDIT_B, Edit, L"", 10, 30, 40, 12, STYLE_TABSTOP},
        {IDC_BUTTON, PushButton, L"+1", 60, 10, 30, 14, STYLE_TABSTOP},
        {IDC_TOGGLE, PushLikeToggle, L"Reverse", 60, 30, 40, 14, 0},
        {IDC_COMBO, DropDownList, L"", 10, 50, 80, 60, 0},
        {IDC_TRACK, Trackbar, L"", 10, 70, 80, 15, 0},
        {IDOK, DefPushButton, L"OK", 10, 95, 40, 14, 0}};
    static const DialogTemplate TEMPLATES[] = {
        {IDD_FORM, L"Form", 160, 120, L"MS Sans Serif", 8, FORM},
        {IDD_PAGE_ONE, L"One", 160, 120, L"MS Sans Serif", 8, {EDIT}},
        {IDD_PAGE_TWO, L"Two", 160, 120, L"MS Sans Serif", 8, {EDIT}}};
    for (const DialogTemplate& dialog : TEMPLATES) {
        if (dialog.nId == nId)
            return &dialog;
    }
    return nullptr;
}

// Records every notification as "id:code" and exchanges two numbers.
class CFormDialog : public CDialog {
  public:
    CFormDialog() : CDialog(IDD_FORM) {}
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, IDC_EDIT_A, m_nA);
        DDX_Text(pDX, IDC_EDIT_B, m_nB);
    }
    void OnCommand(int nId, int nCode) override {
        m_log.push_back(
            std::to_string(nId) + ":" + std::to_string(nCode) +
            (nId == IDC_TOGGLE ? "/check" + std::to_string(GetDlgItem(nId)->GetCheck()) : ""));
        if (m_onCommand)
            m_onCommand(nId, nCode);
        CDialog::OnCommand(nId, nCode);
    }
    void OnHScroll(int nId, int nCode, int nPos) override {
        m_log.push_back("scroll" + std::to_string(nId) + ":" + std::to_string(nCode) + "@" +
                        std::to_string(nPos));
    }
    void OnTimer(unsigned nId) override {
        m_timerLog.push_back(std::to_string(nId) + "@" + std::to_string(m_pLoop->NowMs()));
    }

    int m_nA = 1;
    int m_nB = 2;
    std::vector<std::string> m_log;
    std::vector<std::string> m_timerLog;
    std::function<void(int, int)> m_onCommand;
    platform::EventLoop* m_pLoop = nullptr;
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
        form.m_pLoop = &loop;
    }
    ~UiTest() override {
        form.Destroy();
        SetHost(nullptr);
    }
    CControl& Item(int nId) { return *form.GetDlgItem(nId); }

    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    HeadlessUiHost host{loop};
    CFormDialog form;
};

TEST_F(UiTest, ControlsComeFromTheTemplateAndATapMovesTheFocusBeforeTheClick) {
    EXPECT_EQ(form.GetDlgItem(IDC_EDIT_A), nullptr);
    form.Create();
    EXPECT_EQ(Item(IDC_BUTTON).GetWindowText(), L"+1");
    EXPECT_EQ(Item(IDC_EDIT_A).GetWindowText(), L"1");  // members moved in by the exchange
    EXPECT_EQ(Item(IDC_EDIT_B).GetWindowText(), L"2");
    EXPECT_EQ(form.GetFocus(), &Item(IDC_EDIT_A));  // the first tab stop
    // A box shown by the focus-lost handler does not swallow the click; toggles flip first.
    form.m_onCommand = [&](int nId, int nCode) {
        if (nId == IDC_EDIT_A && nCode == EN_KILLFOCUS)
            form.MessageBox(L"Range", L"Info", MB_OK | MB_ICONEXCLAMATION);
    };
    ASSERT_TRUE(CUserInput::Tap(Item(IDC_BUTTON)));
    EXPECT_EQ(host.MessageBoxes().size(), 1u);
    CUserInput::Tap(Item(IDC_EDIT_B));
    CUserInput::Tap(Item(IDC_TOGGLE));
    EXPECT_THAT(form.m_log,
                ElementsAre("10:256", "10:512", "12:0", "11:256", "11:512", "13:0/check1"));
    // From code nothing is sent, and disabled controls take no input.
    form.m_log.clear();
    Item(IDC_TOGGLE).SetCheck(0);
    Item(IDC_BUTTON).EnableWindow(false);
    EXPECT_FALSE(CUserInput::Tap(Item(IDC_BUTTON)));
    EXPECT_TRUE(form.m_log.empty());
}

TEST_F(UiTest, ListsAndTrackbarsNotifyAsAPenWouldAndASelectionStaysWithItsEntry) {
    form.Create();
    CControl& combo = Item(IDC_COMBO);
    combo.AddString(L"COM1:(USB)");
    combo.AddString(L"COM2:(Bluetooth)");
    EXPECT_EQ(combo.SetCurSel(0), 0);
    EXPECT_EQ(combo.GetWindowText(), L"COM1:(USB)");
    EXPECT_EQ(combo.SetCurSel(5), CB_ERR);
    EXPECT_EQ(combo.GetCurSel(), -1);
    combo.SetCurSel(0);
    form.m_log.clear();
    CUserInput::Pick(combo, 1);
    CUserInput::Pick(combo, 1);  // the same entry again: close-up only
    CUserInput::SelectWithKeys(combo, 0);
    CUserInput::OpenAndClose(combo);
    EXPECT_THAT(form.m_log, ElementsAre("10:512", "14:3", "14:1", "14:8", "14:8", "14:1", "14:8"));

    CControl& track = Item(IDC_TRACK);
    track.SetRange(0, 15);
    track.SetPos(13);
    form.m_log.clear();
    CUserInput::Drag(track, 20);  // beyond the end: held at 15; the list loses the focus
    EXPECT_THAT(form.m_log, ElementsAre("14:4", "scroll15:5@14", "scroll15:5@15", "scroll15:4@15",
                                        "scroll15:8@0"));
    EXPECT_EQ(track.GetPos(), 15);

    // An entry inserted at or before the selected one moves the selection with its entry.
    const struct {
        int nSelected, nInsertAt, nExpected;
    } cases[] = {{1, 1, 2}, {1, 0, 2}, {1, 2, 1}, {1, -1, 1}, {-1, 0, -1}};
    for (const auto& c : cases) {
        combo.ResetContent();
        for (const wchar_t* pEntry : {L"COM1:(A)", L"COM2:(B)", L"COM3:(C)"})
            combo.AddString(pEntry);
        combo.SetCurSel(c.nSelected);
        EXPECT_EQ(combo.InsertString(c.nInsertAt, L"COM4:(D)"), c.nInsertAt < 0 ? 3 : c.nInsertAt);
        EXPECT_EQ(combo.GetCurSel(), c.nExpected) << c.nInsertAt;
        EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), c.nSelected < 0 ? L"" : L"COM2:(B)");
    }
    combo.SetCurSel(1);
    combo.ResetContent();
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(combo.GetWindowText(), L"");
}

TEST_F(UiTest, ANumberThatDoesNotParseStopsTheExchangeAndTakesTheFocusBack) {
    form.Create();
    CUserInput::Type(Item(IDC_EDIT_A), L"  -12abc");
    CUserInput::Type(Item(IDC_EDIT_B), L"7");
    EXPECT_TRUE(form.UpdateData(true));
    EXPECT_EQ(form.m_nA, -12);
    EXPECT_EQ(form.m_nB, 7);

    CUserInput::Type(Item(IDC_EDIT_A), L"abc");
    CUserInput::Type(Item(IDC_EDIT_B), L"9");
    EXPECT_FALSE(form.UpdateData(true));
    EXPECT_EQ(form.m_nB, 7);  // fields after the bad one are not read
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].strText, L"Please enter an integer.");
    EXPECT_EQ(host.MessageBoxes()[0].nType & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(form.GetFocus(), &Item(IDC_EDIT_A));
    EXPECT_EQ(Item(IDC_EDIT_A).SelStart(), 0);
    EXPECT_EQ(Item(IDC_EDIT_A).SelEnd(), 3);

    // Enter runs the default OK, which refuses to end on a bad field.
    CUserInput::PressEnter(form);
    EXPECT_FALSE(form.IsEnded());
    CUserInput::Type(Item(IDC_EDIT_A), L"99999999999");
    CUserInput::PressEnter(form);
    EXPECT_EQ(form.EndCode(), IDOK);
    EXPECT_EQ(form.m_nA, 2147483647);
}

TEST_F(UiTest, TimersKeepFiringWhileAModalBoxIsOpen) {
    form.Create();
    form.SetTimer(104, 10);
    int64_t nAnsweredAt = 0;
    host.SetMessageBoxResponder([&](const ShownMessageBox& box) {
        EXPECT_EQ(box.nAtMs, 5);
        EXPECT_EQ(host.ModalDepth(), 1);
        loop.RunFor(25);  // the person reads the box for a while
        nAnsweredAt = loop.NowMs();
        return IDOK;
    });
    loop.Post([&] {});
    loop.RunFor(5);
    EXPECT_EQ(form.MessageBox(L"Attention please", L"Attention", MB_OK | MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(nAnsweredAt, 30);
    EXPECT_THAT(form.m_timerLog, ElementsAre("104@10", "104@20", "104@30"));
    // A destroyed window's timers are gone.
    form.Destroy();
    loop.RunFor(50);
    EXPECT_EQ(form.m_timerLog.size(), 3u);
}

// A dialog its responder leaves open is closed as by its title bar's button.
TEST_F(UiTest, ModalDialogEndsByItsResponderOrAsIfClosed) {
    CFormDialog dlg;
    host.SetDialogResponder(IDD_FORM, [](CDialog& shown) { CUserInput::PressEnter(shown); });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_FALSE(dlg.HasWindow());
    host.SetDialogResponder(IDD_FORM, [](CDialog&) {});
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

// A page that can be told to refuse leaving, and logs its initialisation and activations.
class CTestPage : public CPropertyPage {
  public:
    explicit CTestPage(int nTemplate) : CPropertyPage(nTemplate) {}
    bool OnInitDialog() override {
        m_log.push_back("init");
        return CPropertyPage::OnInitDialog();
    }
    bool OnSetActive() override {
        m_log.push_back("active");
        return CPropertyPage::OnSetActive();
    }
    bool OnKillActive() override {
        m_log.push_back("leave?");
        return !m_bRefuse && CPropertyPage::OnKillActive();
    }
    void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_EDIT_A, m_nValue); }
    bool m_bRefuse = false;
    int m_nValue = 5;
    std::vector<std::string> m_log;
};

TEST_F(UiTest, SheetCreatesPagesOnFirstShowAndARefusingPageKeepsItsTab) {
    CTestPage one(IDD_PAGE_ONE), two(IDD_PAGE_TWO);
    CPropertySheet sheet(L"Title");
    sheet.AddPage(&one);
    sheet.AddPage(&two);
    bool bRan = false;
    host.SetSheetScript([&](CPropertySheet& shown) {
        bRan = true;
        EXPECT_EQ(shown.GetActiveIndex(), 0);
        EXPECT_TRUE(one.HasWindow());
        EXPECT_FALSE(two.HasWindow());

        one.m_bRefuse = true;
        EXPECT_FALSE(CUserInput::ChooseTab(shown, 1));
        EXPECT_EQ(shown.GetActiveIndex(), 0);
        EXPECT_FALSE(CUserInput::CloseSheet(shown));
        one.m_bRefuse = false;

        EXPECT_TRUE(CUserInput::ChooseTab(shown, 1));
        EXPECT_THAT(two.m_log, ElementsAre("init", "active"));
        // A value changed while the page was hidden shows when it becomes active again.
        one.m_nValue = 42;
        EXPECT_TRUE(CUserInput::ChooseTab(shown, 0));
        EXPECT_EQ(one.GetDlgItem(IDC_EDIT_A)->GetWindowText(), L"42");
        // The default refuses too when a number does not parse.
        CUserInput::Type(*one.GetDlgItem(IDC_EDIT_A), L"x");
        EXPECT_FALSE(CUserInput::ChooseTab(shown, 1));
        EXPECT_EQ(shown.GetActiveIndex(), 0);
        CUserInput::Type(*one.GetDlgItem(IDC_EDIT_A), L"7");
        EXPECT_TRUE(CUserInput::CloseSheet(shown));
    });
    sheet.DoModal();
    EXPECT_TRUE(bRan);
    EXPECT_EQ(one.m_nValue, 7);
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].strText, L"Please enter an integer.");
    EXPECT_THAT(one.m_log, ElementsAre("init", "active", "leave?", "leave?", "leave?", "active",
                                       "leave?", "leave?"));
    EXPECT_FALSE(one.HasWindow());
}

}  // namespace
