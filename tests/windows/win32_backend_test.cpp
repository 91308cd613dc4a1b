// The native Windows backend under Wine on an X display: the loop of Windows messages, a form of
// every kind of control made from an in-memory template, native input reaching the framework
// in the handheld's order, message boxes and dialogs with timers firing under them, the
// sheet's tabs, and the small conversions (file filters, the one-copy lock's name, the icon).
// A pilot's use of the program's own pages: desktop_com_port_test.sh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/config_sheet.h"
#include "platform/win32/win32_dialog_view.h"
#include "platform/win32/win32_program.h"
#include "platform/win32/win32_ui_host.h"
#include "res/resources.h"
#include "tests/platform/form_dialog.h"

namespace {

using namespace platform::ui;
using namespace platform::win32;
using ::testing::ElementsAre;

TEST(Win32Conversions, FileFiltersLockNamesAndIcons) {
    EXPECT_EQ(NativeFileFilter(L"fwr (*.fwr)|*.fwr||"),
              std::wstring(L"fwr (*.fwr)\0*.fwr\0\0", 19));
    EXPECT_EQ(NativeFileFilter(L"A (*.a)|*.a|B|*.b;*.c||"),
              std::wstring(L"A (*.a)\0*.a\0B\0*.b;*.c\0\0", 23));
    EXPECT_EQ(OneCopyLockName(L"C:\\Program Files\\Morvane RC Gyro Tools\\morvane-gyro-tools.exe"),
              L"Local\\C:/Program Files/Morvane RC Gyro Tools/morvane-gyro-tools.exe");
    // A path too long for a kernel object's name: a hash and its end, within 250 characters.
    const std::wstring strDeep = L"C:\\" + std::wstring(300, L'd') + L"\\morvane-gyro-tools.exe";
    const std::wstring strName = OneCopyLockName(strDeep);
    EXPECT_EQ(strName.size(), 250u);
    EXPECT_EQ(strName.substr(strName.size() - 23), L"/morvane-gyro-tools.exe");
    EXPECT_NE(strName, OneCopyLockName(L"D" + strDeep.substr(1)));
    // Two colours and a transparent one; a line too short is no icon.
    const char* const XPM[] = {"2 2 3 1", "  c None", "r c #FF0000", "b c #0000FF", "r ", " b"};
    HICON hIcon = IconFromXpm(XPM);
    ASSERT_NE(hIcon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(hIcon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 2);
    EXPECT_EQ(bitmap.bmBitsPixel, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(hIcon);
    const char* const SHORT[] = {"2 2 1 1", "r c #FF0000", "r", "rr"};
    EXPECT_EQ(IconFromXpm(SHORT), nullptr);
}

// A window that notes its timers in a shared log.
struct CLogWindow final : platform::CTimerTarget {
    explicit CLogWindow(std::vector<std::string>& log) : log(log) {}
    void OnTimer(unsigned nId) override { log.push_back("timer" + std::to_string(nId)); }
    std::vector<std::string>& log;
};

// While the thread is blocked, driver work runs and two timers fall due; posted calls and a
// kill of the first timer go before the delivery, which brings the second timer once.
TEST(Win32EventLoopTest, DriverWorkAndPostedCallsGoBeforeADueTimerThatFiresOnce) {
    Win32EventLoop loop;
    std::vector<std::string> log;
    CLogWindow window(log), doomed(log);
    loop.SetTimer(&doomed, 1, 10);
    loop.SetTimer(&window, 3, 10);
    loop.Post([&] {
        loop.ScheduleDeviceWork(loop.NowNs() + 5'000'000, [&] { log.push_back("bytes"); });
        loop.Sleep(30);
        log.push_back("woke");
        loop.Post([&] { log.push_back("posted"); });
        loop.Post([&] { loop.KillTimer(&doomed, 1); });
    });
    ASSERT_TRUE(loop.RunUntil([&] { return log.size() >= 5; }, 5000));
    loop.KillTimer(&window, 3);
    EXPECT_FALSE(loop.RunUntil([&] { return log.size() > 5; }, 50));
    EXPECT_THAT(log, ElementsAre("bytes", "woke", "posted", "timer3", "timer3"));
}

using namespace form;

// A page of a sheet that may refuse to be left.
class CFormPage : public CPropertyPage {
  public:
    CFormPage() : CPropertyPage(IDD_FORM) {}
    bool OnKillActive() override { return !m_bRefuse; }
    bool m_bRefuse = false;
};

struct Win32UiHostTest : ::testing::Test {
    Win32UiHostTest() {
        SetTemplateLookup(FormTemplate);
        SetHost(&host);
    }
    ~Win32UiHostTest() override {
        form.Destroy();
        SetHost(nullptr);
    }
    CControl& Item(int nId) { return *form.GetDlgItem(nId); }
    HWND Native(int nId) { return host.ControlWindow(Item(nId)); }
    void ShowForm() {
        form.Create();
        ShowWindow(host.WindowOf(form), SW_SHOW);
        SetForegroundWindow(host.WindowOf(form));
        loop.RunFor(50);
    }
    std::wstring Text(HWND hwnd) {
        wchar_t sz[256] = L"";
        GetWindowTextW(hwnd, sz, 256);
        return sz;
    }

    Win32EventLoop loop;
    Win32UiHost host{loop};
    CFormDialog form;
};

TEST_F(Win32UiHostTest, ChangesFromCodeShowButSendNothing) {
    ShowForm();
    form.m_log.clear();
    Item(IDC_EDIT_B).SetWindowText(L"123");
    Item(IDC_LIST).AddString(L"Record 1");
    Item(IDC_LIST).SetCurSel(0);
    Item(IDC_PROGRESS).SetRange(0, 200);
    Item(IDC_PROGRESS).SetStep(150);
    Item(IDC_PROGRESS).StepIt();
    Item(IDC_TRACK).SetRange(0, 15);
    Item(IDC_TRACK).SetPos(9);
    Item(IDC_TOGGLE).SetCheck(1);
    Item(IDC_BUTTON).SetWindowText(L"&Stop");
    Item(form::IDC_STATUS).ShowWindow(false);
    Item(IDCANCEL).EnableWindow(false);
    EXPECT_THAT(form.m_log, ElementsAre());
    EXPECT_EQ(Text(Native(IDC_EDIT_B)), L"123");
    EXPECT_EQ(Text(Native(IDC_BUTTON)), L"&Stop");
    EXPECT_EQ(SendMessageW(Native(IDC_LIST), LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(Native(IDC_PROGRESS), PBM_GETPOS, 0, 0), 150);
    EXPECT_EQ(SendMessageW(Native(IDC_TRACK), TBM_GETPOS, 0, 0), 9);
    EXPECT_EQ(SendMessageW(Native(IDC_TOGGLE), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowVisible(Native(form::IDC_STATUS)));
    EXPECT_FALSE(IsWindowEnabled(Native(IDCANCEL)));
    // Moving the focus from code notifies as the framework says and moves the native focus.
    form.GotoDlgCtrl(&Item(IDC_EDIT_B));
    EXPECT_THAT(form.m_log, ElementsAre("10:512", "11:256"));
    EXPECT_EQ(GetFocus(), Native(IDC_EDIT_B));
}

// Each native input, as Windows delivers it to the control, reaches the framework as the
// handheld's user input does: focus changes first, then the notification.
TEST_F(Win32UiHostTest, NativeInputReachesTheFrameworkInTheHandheldsOrder) {
    ShowForm();
    Item(IDC_COMBO).AddString(L"Generic");
    Item(IDC_COMBO).AddString(L"Futaba BLS251");
    Item(IDC_COMBO).SetCurSel(0);
    Item(IDC_LIST).AddString(L"Record 1");
    Item(IDC_LIST).AddString(L"Record 2");
    Item(IDC_TRACK).SetRange(0, 15);
    Item(IDC_TRACK).SetPos(5);
    form.GotoDlgCtrl(&Item(IDC_EDIT_A));
    const std::tuple<const char*, std::function<void()>, std::vector<std::string>> CASES[] = {
        {"a click on the toggle",
         [&] { SendMessageW(Native(IDC_TOGGLE), BM_CLICK, 0, 0); },
         {"10:512", "13:0"}},
        {"a digit typed into B",
         [&] { SendMessageW(Native(IDC_EDIT_B), WM_CHAR, L'7', 0); },
         {"11:256", "11:768"}},
        {"Down in the closed list",
         [&] { SendMessageW(Native(IDC_COMBO), WM_KEYDOWN, VK_DOWN, 0); },
         {"11:512", "14:3", "14:1"}},
        {"Right on the trackbar",
         [&] {
             SendMessageW(Native(IDC_TRACK), WM_KEYDOWN, VK_RIGHT, 0);
             SendMessageW(Native(IDC_TRACK), WM_KEYUP, VK_RIGHT, 0);
         },
         {"14:4", "h15:1", "h15:8"}},
        {"Down in the list box",
         [&] { SendMessageW(Native(IDC_LIST), WM_KEYDOWN, VK_DOWN, 0); },
         {"16:1"}},
    };
    for (const auto& [pszWhat, action, expected] : CASES) {
        form.m_log.clear();
        action();
        loop.RunFor(20);
        EXPECT_EQ(form.m_log, expected) << pszWhat;
    }
    EXPECT_EQ(Item(IDC_TOGGLE).GetCheck(), 1);
    EXPECT_EQ(Item(IDC_EDIT_B).GetWindowText(), L"7");
    EXPECT_EQ(Item(IDC_COMBO).GetCurSel(), 1);
    EXPECT_EQ(Item(IDC_TRACK).GetPos(), 6);
    EXPECT_EQ(Item(IDC_LIST).GetCurSel(), 0);
}

// A timer opens each box and keeps firing while it is open (the system's own modal loop); on
// its fourth tick the box is checked and answered. Quitting answers a box at once.
TEST_F(Win32UiHostTest, MessageBoxesKeepTimersFiringAndAnswerAsTheyAreAnswered) {
    const std::tuple<const wchar_t*, unsigned, int, int> CASES[] = {
        {L"Attention", MB_OK | MB_ICONEXCLAMATION, IDOK, IDOK},
        {L"Stop", MB_YESNO | MB_ICONSTOP, IDNO, IDNO},
        {L"Stop", MB_YESNO | MB_ICONSTOP, IDYES, IDYES},
        {L"Quit", MB_YESNO | MB_ICONQUESTION, 0, IDNO},
    };
    ShowForm();
    form.SetTimer(104, 10);
    for (const auto& [pszCaption, nType, nPress, nResult] : CASES) {
        int nTicks = 0;
        int nAnswer = 0;
        form.m_onTimer = [&, pszCaption = pszCaption, nType = nType, nPress = nPress] {
            if (nTicks++ == 0) {
                nAnswer = form.MessageBox(L"Text", pszCaption, nType);
                return;
            }
            HWND hBox = FindWindowW(L"#32770", pszCaption);
            if (nTicks != 4 || !hBox)
                return;
            EXPECT_EQ(host.ModalDepth(), 1);
            EXPECT_NE(GetDlgItem(hBox, nPress ? nPress : IDNO), nullptr);
            if (nPress)
                PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(nPress, BN_CLICKED), 0);
            else
                host.BeginQuit();
        };
        ASSERT_TRUE(loop.RunUntil([&] { return nAnswer != 0; }, 10000)) << nType;
        EXPECT_GE(nTicks, 4);
        EXPECT_EQ(nAnswer, nResult) << nType;
        EXPECT_EQ(host.ModalDepth(), 0);
    }
    form.KillTimer(104);
}

TEST_F(Win32UiHostTest, AModalDialogEndsByEnterEscapeItsCloseButtonOrATimer) {
    CFormDialog dlg;
    auto native = [&](int nId) { return host.ControlWindow(*dlg.GetDlgItem(nId)); };
    dlg.m_onTimer = [&] { dlg.EndDialog(42); };
    const std::tuple<std::function<void()>, int> CASES[] = {
        {[&] { PostMessageW(native(IDC_EDIT_B), WM_KEYDOWN, VK_RETURN, 0); }, IDOK},
        {[&] { PostMessageW(native(IDC_EDIT_B), WM_KEYDOWN, VK_ESCAPE, 0); }, IDCANCEL},
        {[&] { PostMessageW(host.WindowOf(dlg), WM_CLOSE, 0, 0); }, IDCANCEL},
        {[&] { dlg.SetTimer(1, 10); }, 42},
    };
    for (const auto& [action, nResult] : CASES) {
        loop.Post(action);
        EXPECT_EQ(dlg.DoModal(), nResult);
        EXPECT_FALSE(dlg.HasWindow());
    }
}

// A click on a tab changes the page unless the active page refuses; the window is titled with
// the sheet's caption and has a tab for every page.
TEST_F(Win32UiHostTest, TheSheetsTabsAskTheActivePage) {
    CPropertySheet sheet(L"Morvane RC Gyro Tools");
    CFormPage first, second;
    sheet.AddPage(&first);
    sheet.AddPage(&second);
    std::vector<int> shown;
    loop.Post([&] {
        HWND hSheet = host.SheetWindow(sheet);
        EXPECT_EQ(Text(hSheet), L"Morvane RC Gyro Tools");
        HWND hTabs = FindWindowExW(hSheet, nullptr, WC_TABCONTROLW, nullptr);
        EXPECT_EQ(SendMessageW(hTabs, TCM_GETITEMCOUNT, 0, 0), 2);
        RECT tab{};
        SendMessageW(hTabs, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&tab));
        const LPARAM at = MAKELPARAM(tab.left + 3, tab.top + 3);
        for (const bool bRefuse : {true, false}) {
            first.m_bRefuse = bRefuse;
            SendMessageW(hTabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageW(hTabs, WM_LBUTTONUP, 0, at);
            shown.push_back(static_cast<int>(SendMessageW(hTabs, TCM_GETCURSEL, 0, 0)));
            shown.push_back(sheet.GetActiveIndex());
        }
        sheet.EndSheet();
    });
    sheet.DoModal();
    EXPECT_THAT(shown, ElementsAre(0, 0, 1, 1));
}

// The program's own sheet: its title from the string table and its six tabs in their order.
TEST_F(Win32UiHostTest, TheProgramsSheetIsTitledAndHasItsSixTabs) {
    SetTemplateLookup(FindDialogTemplate);
    CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
    std::vector<std::wstring> shown;
    loop.Post([&] {
        HWND hSheet = host.SheetWindow(sheet);
        shown.push_back(Text(hSheet));
        HWND hTabs = FindWindowExW(hSheet, nullptr, WC_TABCONTROLW, nullptr);
        for (int i = 0; i < SendMessageW(hTabs, TCM_GETITEMCOUNT, 0, 0); ++i) {
            wchar_t szTitle[64] = L"";
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = szTitle;
            item.cchTextMax = 64;
            SendMessageW(hTabs, TCM_GETITEMW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
            shown.push_back(szTitle);
        }
        sheet.EndSheet();
    });
    sheet.DoModal();
    EXPECT_THAT(shown, ElementsAre(L"Morvane RC Gyro Tools", L"Main", L"Common", L"Servo", L"Mode1",
                                   L"Mode2", L"Firmware Update"));
}

}  // namespace
