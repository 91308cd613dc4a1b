// The Common, Servo, Mode1 and Mode2 pages in the real sheet, acted on as a pilot would; the
// field cases run against every numeric field of every page.
#include <gmock/gmock.h>

#include <functional>
#include <tuple>

#include "app_fixture.h"
#include "shell/splash.h"

namespace {

using namespace platform::ui;

const wchar_t NOT_AN_INTEGER[] = L"Please enter an integer.";
const auto Num = [](int64_t n) { return std::to_wstring(n); };

// Every numeric field, page by page, each page's fields in the order they are read back.
struct Field {
    int nPage, nEditId;
    int32_t GyroParameters::*pValue;
    int32_t nMin, nMax;
    bool bTwoStage;
    const wchar_t *pszBelowMin, *pszAboveMax;
};
const wchar_t ENDPOINT_LOW[] =
    L"Endpoint must be greater or equal to 30%\nValue has been changed to previous value";
const wchar_t ENDPOINT_HIGH[] =
    L"Endpoint must be less or equal to 145%\nValue has been change to previous value";
const wchar_t EXPONENTIAL_LOW[] =
    L"Exponentials must be greater or equal to -100%\nValue has been changed to previous value";
const wchar_t EXPONENTIAL_HIGH[] =
    L"Exponentials must be less or equal to 100%\nValue has been change to previous value";
const wchar_t GAIN_LOW[] =
    L"Gain must be greater or equal to 50%\nValue has been changed to previous value";
const wchar_t GAIN_HIGH[] =
    L"Gain must be less or equal to 200%\nValue has been change to previous value";
const Field FIELDS[] = {
    {IDD_COMMON_PAGE, IDC_DEADBAND, &GyroParameters::RudderstickDeadband, 5, 100, true,
     L"Deadband must be greater or equal to 5\nValue has been changed to previous value",
     L"Deadband must be less or equal to 100\nValue has been change to previous value"},
    {IDD_SERVO_PAGE, IDC_HIGH_ENDPOINT, &GyroParameters::HighEndpoint, 30, 145, true, ENDPOINT_LOW,
     ENDPOINT_HIGH},
    {IDD_SERVO_PAGE, IDC_LOW_ENDPOINT, &GyroParameters::LowEndpoint, 30, 145, true, ENDPOINT_LOW,
     ENDPOINT_HIGH},
    {IDD_SERVO_PAGE, IDC_MIDPOINT_TRIM, &GyroParameters::MidpointTrim, -100, 100, true,
     L"Midpoint trim must be greater or equal to -100\nValue has been changed to previous value",
     L"Midpoint trim must be less or equal to 100\nValue has been change to previous value"},
    {IDD_MODE1_PAGE, IDC_RATE_EXPONENTIAL, &GyroParameters::RateRudderExponential, -100, 100, false,
     EXPONENTIAL_LOW, EXPONENTIAL_HIGH},
    {IDD_MODE2_PAGE, IDC_CCW_STOP_GAIN, &GyroParameters::AvcsCcwStopGain, 50, 200, false, GAIN_LOW,
     GAIN_HIGH},
    {IDD_MODE2_PAGE, IDC_CW_STOP_GAIN, &GyroParameters::AvcsCwStopGain, 50, 200, false, GAIN_LOW,
     GAIN_HIGH},
    {IDD_MODE2_PAGE, IDC_AVCS_EXPONENTIAL, &GyroParameters::AvcsRudderExponential, -100, 100, false,
     EXPONENTIAL_LOW, EXPONENTIAL_HIGH},
    {IDD_MODE2_PAGE, IDC_SENSITIVITY, &GyroParameters::AvcsRudderSensitivity, 50, 150, false,
     L"Sensitivity must be greater or equal to 50%\nValue has been changed to previous value",
     L"Sensitivity must be less or equal to 150%\nValue has been change to previous value"},
};

class Pages : public AppFixture {
  public:
    Pages() {
        AddPort(1, L"Simulated tq480 gyro");
        AnswerBoxes();
        Start();
    }
    // The tabs follow the template numbers, Main (103) first.
    CPropertyPage& Page(int nPage) { return *pSheet->GetPage(nPage - IDD_MAIN_PAGE); }
    bool Show(int nPage) { return CUserInput::ChooseTab(*pSheet, nPage - IDD_MAIN_PAGE); }
    CControl& On(int nPage, int nId) { return *Page(nPage).GetDlgItem(nId); }
    CControl& Button(int nPage, const wchar_t* pszCaption) {
        for (const auto& pControl : Page(nPage).Controls())
            if (pControl->GetWindowText() == pszCaption)
                return *pControl;
        throw std::runtime_error("no such button");
    }
    CControl& Edit(const Field& f) { return On(f.nPage, f.nEditId); }
    // Another field of the page to tap, or else a button.
    CControl& Elsewhere(const Field& f) {
        for (const Field& other : FIELDS)
            if (other.nPage == f.nPage && &other != &f)
                return Edit(other);
        return Button(f.nPage, L"+10");
    }
    void TypeAndLeave(const Field& f, const std::wstring& strText) {
        CUserInput::Type(Edit(f), strText);
        CUserInput::Focus(Elsewhere(f));
    }
    GyroParameters& Record() { return pSheet->m_gyroParameters; }
    // The boxes shown since the last call; a range message is an "Info".
    Texts Boxes() {
        Texts texts;
        for (const auto& box : host.MessageBoxes()) {
            texts.push_back(box.strText);
            EXPECT_EQ(box.nType, MB_OK | MB_ICONEXCLAMATION);
            EXPECT_TRUE(box.strText == NOT_AN_INTEGER || box.strCaption == L"Info");
        }
        host.ClearMessageBoxes();
        return texts;
    }
};

TEST_F(Pages, EveryNumericFieldChecksWhatIsTypedAndClampsWhatIsStepped) {
    enum Box { NO_BOX, LOWER, UPPER, INTEGER };
    for (const Field& f : FIELDS) {
        SCOPED_TRACE(::testing::Message() << f.nEditId << " on " << f.nPage);
        ASSERT_TRUE(Show(f.nPage));
        // The first activation focuses the initial step target, Common's "5" all selected;
        // the Servo page has none, and nothing there has the focus.
        CControl* pFirst = f.nPage == IDD_MODE2_PAGE   ? &On(f.nPage, IDC_ACCELERATION)
                           : f.nPage == IDD_SERVO_PAGE ? nullptr
                                                       : &Edit(f);
        const bool bFirst = &f == FIELDS || f.nPage != (&f - 1)->nPage;
        EXPECT_TRUE(!bFirst || Page(f.nPage).GetFocus() == pFirst);
        EXPECT_TRUE(f.nPage != IDD_COMMON_PAGE || Edit(f).SelEnd() == 1);
        const std::vector<std::wstring> typedByBox[] = {
            {Num(f.nMin), L"  +" + Num(f.nMax), Num(f.nMin + 7) + L"abc"},
            {Num(f.nMin - 1), L"-99999999999"},
            {Num(f.nMax + 1), L"99999999999"},
            {L"abc", L"", L"-", L"+", L"   ", L"- 5"}};
        const Texts expected[] = {{}, {f.pszBelowMin}, {f.pszAboveMax}, {NOT_AN_INTEGER}};
        const int32_t nCommitted = (f.nMin + f.nMax) / 2;
        for (const Box box : {NO_BOX, LOWER, UPPER, INTEGER}) {
            for (const std::wstring& strText : typedByBox[box]) {
                for (const bool bByTab : {false, true}) {  // left for another control or tab
                    SCOPED_TRACE(::testing::Message() << "typed " << strText << " " << bByTab);
                    ASSERT_TRUE(Show(f.nPage));
                    TypeAndLeave(f, Num(nCommitted));
                    Boxes();
                    CUserInput::Type(Edit(f), strText);
                    bByTab ? CUserInput::ChooseTab(*pSheet, 0) : CUserInput::Focus(Elsewhere(f));
                    EXPECT_EQ(Boxes(), expected[box]);
                    const int32_t nTyped = box == NO_BOX ? std::stoi(strText) : nCommitted;
                    EXPECT_EQ(Record().*f.pValue, nTyped);
                    // A bad number takes the focus back and, when a tab was chosen, keeps the
                    // page and the text; otherwise the field shows the value taken or put back.
                    const bool bStays = box == INTEGER && bByTab;
                    EXPECT_EQ(Edit(f).GetWindowText(), bStays ? strText : Num(nTyped));
                    EXPECT_TRUE(box != INTEGER || Page(f.nPage).GetFocus() == &Edit(f));
                    EXPECT_EQ(&Page(f.nPage) == pSheet->GetActivePage(), !bByTab || bStays);
                }
            }
        }

        // Steps clamp silently; on the Common page a clamped step leaves the committed value.
        ASSERT_TRUE(Show(f.nPage));
        CUserInput::Type(Edit(f), Num(f.nMax - 3));
        CUserInput::Tap(Button(f.nPage, L"+10"));
        EXPECT_EQ(Edit(f).GetWindowText(), Num(f.nMax));
        EXPECT_EQ(Page(f.nPage).GetFocus(), &Edit(f));
        EXPECT_EQ(Edit(f).SelEnd() - Edit(f).SelStart(),  // every page but Mode1 selects it
                  f.nPage == IDD_MODE1_PAGE ? 0 : static_cast<int>(Num(f.nMax).size()));
        EXPECT_EQ(Boxes(), Texts{});
        TypeAndLeave(f, Num(f.nMax + 1));
        EXPECT_EQ(Edit(f).GetWindowText(), Num(f.nPage == IDD_COMMON_PAGE ? f.nMax - 3 : f.nMax));
        EXPECT_EQ(Boxes(), Texts{f.pszAboveMax});
        CUserInput::Type(Edit(f), Num(f.nMin + 3));
        CUserInput::Tap(Button(f.nPage, L"-10"));
        EXPECT_EQ(Record().*f.pValue, f.nMin);

        // The step target is clamped at activation, and that is its committed value.
        ASSERT_TRUE(Show(IDD_MAIN_PAGE));
        Record().*f.pValue = f.nMax + 50;
        ASSERT_TRUE(Show(f.nPage));
        TypeAndLeave(f, Num(f.nMax + 1));
        EXPECT_EQ(Boxes(), Texts{f.pszAboveMax});
        EXPECT_EQ(Edit(f).GetWindowText(), Num(f.nMax));

        // A committed value above the maximum (from a Read) comes back after every message.
        // Another step target first, so that activation leaves the field unclamped.
        if (f.nPage == IDD_MODE1_PAGE)
            continue;  // its one field is always the step target
        f.nPage == IDD_COMMON_PAGE  ? CUserInput::Tap(On(f.nPage, IDC_DIRECTION_NORMAL))
        : f.nPage == IDD_SERVO_PAGE ? CUserInput::OpenAndClose(On(f.nPage, IDC_SERVO_MODEL))
                                    : CUserInput::Drag(On(f.nPage, IDC_ACCELERATION), 15);
        ASSERT_TRUE(Show(IDD_MAIN_PAGE));
        Record().*f.pValue = f.nMax + 50;
        ASSERT_TRUE(Show(f.nPage));
        EXPECT_EQ(Edit(f).GetWindowText(), Num(f.nMax + 50));
        TypeAndLeave(f, Num(f.nMin - 1));
        EXPECT_EQ(Boxes(),
                  (f.bTwoStage ? Texts{f.pszBelowMin, f.pszAboveMax} : Texts{f.pszBelowMin}));
        EXPECT_EQ(Edit(f).GetWindowText(), Num(f.nMax + 50));
        TypeAndLeave(f, Num(f.nMax));
    }
}

TEST_F(Pages, ServoListsApplyPresetsAndTurnTheModelToGenericOnAHandMadeType) {
    enum How { PICK, KEYS, OPEN_CLOSE, FOCUS };
    const std::function<bool(CControl&, int)> ACT[] = {
        CUserInput::Pick, CUserInput::SelectWithKeys,
        [](CControl& list, int) { return CUserInput::OpenAndClose(list); },
        [](CControl& list, int) { return CUserInput::Focus(list); }};
    const int MODEL = IDC_SERVO_MODEL, TYPE = IDC_SERVO_TYPE, SPEED = IDC_SERVO_SPEED;
    using Servo = std::array<int, 3>;  // model, type, speed
    struct Case {
        const char* pName;
        Servo before;  // in the record at activation
        std::vector<std::tuple<int, How, int>> acts;
        Servo after;
        int nSpeedShown;
    };
    const Case cases[] = {
        {"Futaba BLS251", {0, 0, 4}, {{MODEL, PICK, 9}}, {9, 1, 5}, 5},
        {"Generic", {9, 1, 5}, {{MODEL, PICK, 0}}, {0, 0, 4}, 4},
        {"type", {14, 0, 5}, {{TYPE, PICK, 1}}, {0, 1, 5}, 5},
        {"type after a tap", {0, 0, 4}, {{MODEL, PICK, 9}, {TYPE, PICK, 0}}, {0, 0, 5}, 5},
        {"type after keys", {0, 0, 4}, {{MODEL, KEYS, 9}, {TYPE, PICK, 0}}, {9, 0, 5}, 5},
        {"speed, model", {9, 1, 5}, {{SPEED, PICK, 11}, {MODEL, OPEN_CLOSE, 0}}, {9, 1, 5}, 5},
        {"speed by keys", {0, 0, 4}, {{SPEED, KEYS, 11}}, {0, 0, 4}, 11},
        {"speed closed", {0, 0, 4}, {{SPEED, KEYS, 11}, {SPEED, OPEN_CLOSE, 0}}, {0, 0, 11}, 11},
        {"speed unlisted", {0, 0, 200}, {{SPEED, OPEN_CLOSE, 0}}, {0, 0, 200}, -1},
        {"type focused", {9, 1, 5}, {{TYPE, FOCUS, 0}}, {9, 1, 5}, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pName);
        ASSERT_TRUE(Show(IDD_MAIN_PAGE));
        std::tie(Record().ServoPreset, Record().ServoType, Record().ServoSpeed) =
            std::tuple_cat(c.before);
        ASSERT_TRUE(Show(IDD_SERVO_PAGE));
        for (const auto& [nList, how, nIndex] : c.acts)
            ACT[how](On(IDD_SERVO_PAGE, nList), nIndex);
        auto sel = [&](int nList) { return On(IDD_SERVO_PAGE, nList).GetCurSel(); };
        EXPECT_EQ((Servo{Record().ServoPreset, Record().ServoType, Record().ServoSpeed}), c.after);
        EXPECT_EQ((Servo{sel(MODEL), sel(TYPE), sel(SPEED)}),
                  (Servo{c.after[0], c.after[1], c.nSpeedShown}));
        // "+1" takes the focus back to the list last used, or only focused.
        CUserInput::Tap(Button(IDD_SERVO_PAGE, L"+1"));
        EXPECT_EQ(Page(IDD_SERVO_PAGE).GetFocus(), &On(IDD_SERVO_PAGE, std::get<0>(c.acts.back())));
    }
}

// Read on Main, edits on three pages, Store: the gyro holds what the pages show.
TEST_F(Pages, ReadValuesShowOnTheNextActivationAndEditsReachTheGyro) {
    const GyroParameters defaults{100, 100, 100, 100, 5, -50, -50, 15, 15, 100, 0, 5, 0, 0, false};
    EXPECT_EQ(Record(), defaults);  // from the start
    host.SetDialogResponder(IDD_SPLASH,
                            [](CDialog& d) { CUserInput::Tap(*d.GetDlgItem(IDC_I_AGREE)); });
    auto tapAndFinish = [&](int nId) {
        CUserInput::Tap(Ctl(nId));
        loop.RunUntil([&] { return Main().m_link.State() == LINK_IDLE && !Main().m_link.IsBusy(); },
                      60'000);
    };
    gyro.SetWord(0x0108, 20);      // deadband
    gyro.SetWord(0x010E, 15);      // acceleration profile at the slow end
    gyro.SetWord(0x011E, 0x0200);  // reversed
    gyro.SetWord(0x0100, 2150);    // a high endpoint of 150 %, which only a typed value changes
    tapAndFinish(IDC_READ);
    ASSERT_TRUE(Show(IDD_COMMON_PAGE));
    EXPECT_EQ(On(IDD_COMMON_PAGE, IDC_DEADBAND).GetWindowText(), L"20");
    // Every tap flips the direction: Normal, then Reverse, each while up and while down; "+1"
    // only takes the focus to the button that shows the direction.
    CControl& normal = On(IDD_COMMON_PAGE, IDC_DIRECTION_NORMAL);
    CControl& reverse = On(IDD_COMMON_PAGE, IDC_DIRECTION_REVERSE);
    for (CControl* pTapped : {&normal, &normal, &reverse, &reverse}) {
        const bool bReverse = Record().ServoDirection;
        CUserInput::Tap(*pTapped);
        EXPECT_EQ(Record().ServoDirection, !bReverse);
        EXPECT_EQ(std::pair(normal.GetCheck() != 0, reverse.GetCheck() != 0),
                  std::pair(bReverse, !bReverse));
        CUserInput::Focus(bReverse ? reverse : normal);
        CUserInput::Tap(Button(IDD_COMMON_PAGE, L"+1"));
        EXPECT_EQ(Page(IDD_COMMON_PAGE).GetFocus(), bReverse ? &normal : &reverse);
    }
    EXPECT_EQ(Record().RudderstickDeadband, 20);
    CUserInput::Type(On(IDD_COMMON_PAGE, IDC_DEADBAND), L"30");
    // The Servo page opens without a step target: "+10" changes nothing.
    ASSERT_TRUE(Show(IDD_SERVO_PAGE));
    const GyroParameters read = Record();
    CUserInput::Tap(Button(IDD_SERVO_PAGE, L"+10"));
    EXPECT_EQ(Record(), read);
    EXPECT_EQ(On(IDD_SERVO_PAGE, IDC_HIGH_ENDPOINT).GetWindowText(), L"150");
    CUserInput::Pick(On(IDD_SERVO_PAGE, IDC_SERVO_MODEL), 23);  // JR 810G
    ASSERT_TRUE(Show(IDD_MODE2_PAGE));
    CControl& acceleration = On(IDD_MODE2_PAGE, IDC_ACCELERATION);
    CControl& deceleration = On(IDD_MODE2_PAGE, IDC_DECELERATION);
    EXPECT_EQ(acceleration.GetPos(), 0);
    CUserInput::MoveThumb(acceleration, 3);  // the record follows the thumb, pen still down
    EXPECT_EQ(Record().AvcsAccelerationProfile, 3);
    CUserInput::ReleaseThumb(acceleration);
    // The trackbar is now the step target: "+1" only takes the focus back to it.
    for (CControl* pMoved : {&acceleration, &deceleration}) {
        CUserInput::Focus(pMoved == &acceleration ? deceleration : acceleration);
        const GyroParameters before = Record();
        CUserInput::Tap(Button(IDD_MODE2_PAGE, L"+1"));
        EXPECT_EQ(Page(IDD_MODE2_PAGE).GetFocus(), pMoved);
        EXPECT_EQ(Record(), before);
        CUserInput::Drag(deceleration, 6);
    }
    EXPECT_EQ(Record().AvcsDecelerationProfile, 6);
    CUserInput::Drag(acceleration, 15);  // the "Fast" end
    CUserInput::Type(On(IDD_MODE2_PAGE, IDC_CW_STOP_GAIN), L"150");
    for (int nTab : {1, 2, 3, 4, 5, 0})  // every page once more
        ASSERT_TRUE(CUserInput::ChooseTab(*pSheet, nTab));
    tapAndFinish(IDC_STORE);
    // Deadband, direction, servo data, both profiles and their copies, gain, high endpoint.
    const std::pair<uint16_t, int> WORDS[] = {{0x0108, 30}, {0x011E, 0x0600}, {0x0118, 0x150A},
                                              {0x010E, 0},  {0x0112, 0},      {0x0110, 9},
                                              {0x0114, 9},  {0x0104, 150},    {0x0100, 2150}};
    for (auto [nAddress, nWord] : WORDS)
        EXPECT_EQ(gyro.Word(nAddress), nWord) << std::hex << nAddress;

    // Load Defaults shows on every page at its next activation.
    CUserInput::Tap(Ctl(IDC_LOAD_DEFAULTS));
    EXPECT_EQ(Record(), defaults);
    for (const Field& f : FIELDS) {
        ASSERT_TRUE(Show(f.nPage));
        EXPECT_EQ(Edit(f).GetWindowText(), Num(defaults.*f.pValue));
    }
    EXPECT_TRUE(BoxTexts().empty());
}

}  // namespace
