// Dialog templates, the string table and the program icon.
#include "res/resources.h"

#include <cstdint>
#include <vector>

#include "res/icon128_xpm.h"

using namespace platform::ui;

namespace {

// What a Windows dialog gives each kind of control when nothing else is said.
constexpr uint32_t kEditStyle = STYLE_BORDER | STYLE_AUTOHSCROLL | STYLE_TABSTOP;
constexpr uint32_t kButtonStyle = STYLE_TABSTOP;
constexpr uint32_t kDropListStyle = STYLE_VSCROLL | STYLE_TABSTOP;
constexpr uint32_t kTrackbarStyle = STYLE_AUTOTICKS | STYLE_TABSTOP;

ControlTemplate Group(const wchar_t* text, int x, int y, int cx, int cy) {
    return {IDC_STATIC, ControlKind::GroupBox, text, x, y, cx, cy, 0};
}

ControlTemplate Label(const wchar_t* text, int x, int y, int cx, int cy, uint32_t style = 0) {
    return {IDC_STATIC, ControlKind::Static, text, x, y, cx, cy, style};
}

ControlTemplate Text(int id, int x, int y, int cx, int cy, uint32_t style = 0) {
    return {id, ControlKind::Static, L"", x, y, cx, cy, style};
}

ControlTemplate Edit(int id, int x, int y, int cx, int cy, uint32_t style = 0) {
    return {id, ControlKind::Edit, L"", x, y, cx, cy, kEditStyle | style};
}

ControlTemplate Button(int id, const wchar_t* text, int x, int y, int cx, int cy,
                       uint32_t style = 0) {
    return {id, ControlKind::PushButton, text, x, y, cx, cy, kButtonStyle | style};
}

ControlTemplate DefButton(int id, const wchar_t* text, int x, int y, int cx, int cy,
                          uint32_t style = 0) {
    return {id, ControlKind::DefPushButton, text, x, y, cx, cy, kButtonStyle | style};
}

ControlTemplate Toggle(int id, const wchar_t* text, int x, int y, int cx, int cy) {
    return {id, ControlKind::PushLikeToggle, text, x, y, cx, cy, kButtonStyle};
}

ControlTemplate DropList(int id, int x, int y, int cx, int cy) {
    return {id, ControlKind::DropDownList, L"", x, y, cx, cy, kDropListStyle};
}

ControlTemplate Trackbar(int id, int x, int y, int cx, int cy) {
    return {id, ControlKind::Trackbar, L"", x, y, cx, cy, kTrackbarStyle};
}

// The step column shared by the pages with numeric fields, top to bottom.
void AddStepButtons(DialogTemplate& dlg, int idPlus10, int idPlus1, int idMinus1, int idMinus10) {
    dlg.controls.push_back(Button(idPlus10, L"+10", 134, 25, 22, 24));
    dlg.controls.push_back(Button(idPlus1, L"+1", 134, 49, 22, 24));
    dlg.controls.push_back(Button(idMinus1, L"-1", 134, 82, 22, 24));
    dlg.controls.push_back(Button(idMinus10, L"-10", 134, 106, 22, 24));
}

DialogTemplate MainPage() {
    DialogTemplate dlg{IDD_MAIN_PAGE, L"Main", 167, 181, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        Group(L"Gyro", 15, 7, 134, 55),
        Label(L"Firmware Version", 34, 17, 61, 8),
        Edit(1003, 101, 15, 27, 12, STYLE_DISABLED),
        Label(L"Loader Version", 34, 31, 61, 8),
        Edit(1004, 101, 29, 27, 12, STYLE_DISABLED),
        Label(L"Serial Number", 34, 45, 61, 8),
        Edit(1005, 101, 43, 27, 12, STYLE_DISABLED),
        Group(L"Program Control", 15, 67, 134, 64),
        DropList(1002, 24, 79, 117, 69),
        Button(1000, L"Read", 35, 95, 45, 13),
        Button(1001, L"Store", 90, 95, 40, 13),
        Button(1006, L"Load Defaults", 35, 111, 95, 14),
        Text(1039, 7, 134, 153, 10, STYLE_CENTER),
    };
    return dlg;
}

DialogTemplate CommonPage() {
    DialogTemplate dlg{IDD_COMMON_PAGE, L"Common", 171, 148, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        Label(L"Direction", 7, 7, 49, 8),
        Toggle(1033, L"Normal", 80, 7, 36, 18),
        Toggle(1034, L"Reverse", 80, 27, 36, 18),
        Label(L"Rudder Stick Deadband", 7, 53, 50, 17),
        Edit(1022, 81, 51, 33, 12),
    };
    AddStepButtons(dlg, 1023, 1024, 1025, 1026);
    return dlg;
}

DialogTemplate ServoPage() {
    DialogTemplate dlg{IDD_SERVO_PAGE, L"Servo", 250, 167, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        Label(L"High Endpoint", 7, 9, 49, 8),  Edit(1008, 81, 7, 33, 12),
        Label(L"Low Endpoint", 7, 22, 48, 8),  Edit(1009, 81, 20, 33, 12),
        Label(L"Midpoint Trim", 7, 35, 47, 8), Edit(1014, 81, 33, 33, 12),
        Label(L"Servo", 7, 55, 26, 8),         DropList(1015, 36, 52, 80, 90),
        Label(L"Type", 7, 71, 25, 8),          DropList(1016, 36, 69, 80, 58),
        Label(L"Speed", 7, 87, 26, 8),         DropList(1017, 36, 85, 51, 57),
        Label(L"sec/60 deg", 87, 87, 41, 8),
    };
    AddStepButtons(dlg, 1010, 1012, 1013, 1011);
    return dlg;
}

DialogTemplate Mode1Page() {
    DialogTemplate dlg{IDD_MODE1_PAGE, L"Mode1", 250, 183, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        Label(L"Rudder Exponential", 7, 9, 72, 9),
        Edit(1031, 81, 7, 33, 12),
    };
    AddStepButtons(dlg, 1027, 1028, 1029, 1030);
    return dlg;
}

DialogTemplate Mode2Page() {
    DialogTemplate dlg{IDD_MODE2_PAGE, L"Mode2", 250, 234, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        Label(L"Acceleration Profile", 7, 7, 72, 9),
        Trackbar(1020, 16, 16, 98, 19),
        Label(L"Fast", 114, 18, 14, 8),
        Label(L"Deceleration Profile", 7, 45, 72, 9),
        Trackbar(1019, 16, 54, 98, 19),
        Label(L"Fast", 114, 56, 14, 8),
        Label(L"Clockwise Stop Gain", 7, 85, 72, 9),
        Edit(1010, 81, 83, 33, 12),
        Label(L"Counter Clockwise Stop Gain", 7, 99, 72, 20),
        Edit(1011, 81, 97, 33, 12),
        Label(L"Rudder Exponential", 7, 122, 72, 9),
        Edit(1032, 81, 120, 33, 12),
        Label(L"Rudder Sensitivity", 7, 136, 72, 9),
        Edit(1009, 81, 134, 33, 12),
    };
    AddStepButtons(dlg, 1012, 1014, 1015, 1013);
    return dlg;
}

DialogTemplate FirmwarePage() {
    DialogTemplate dlg{
        IDD_FIRMWARE_PAGE, L"Firmware Update", 167, 182, L"Microsoft Sans Serif", 8, {}};
    dlg.controls = {
        Button(1041, L"Open Firmware File", 44, 12, 71, 14),
        Label(L"Firmware file must be located in My Documents", 5, 29, 153, 8, STYLE_CENTER),
        Label(L"New firmware version:", 23, 47, 79, 8, STYLE_RIGHT),
        Edit(1035, 105, 47, 27, 12),
        {1045, ControlKind::ListBox, L"", 7, 61, 153, 35, STYLE_BORDER | STYLE_TABSTOP},
        Button(1040, L"Send Firmware", 49, 100, 65, 14),
        {1043, ControlKind::ProgressBar, L"", 15, 119, 124, 11, STYLE_SMOOTH | STYLE_BORDER},
        Label(L"Firmware transfer progress", 15, 136, 91, 8, STYLE_CENTER),
        Edit(1042, 108, 136, 30, 12),
    };
    return dlg;
}

// Texts shared by both safety agreements.
constexpr const wchar_t* kWaveTetherText =
    L"If you are using a Wave-Tether ensure the helicopter has landed, the engine is idling and "
    L"the rotor has stopped before making any configuration changes to your gyro.";
constexpr const wchar_t* kAgreeText =
    L"When changes are made always check that everything operates correctly before taking "
    L"off.\n\nYou must agree to follow the above guidance before your gyro is updated.";

DialogTemplate AgreementDialog(int nId, const wchar_t* firstText, int firstY, int firstCy) {
    DialogTemplate dlg{nId, L"Attention", 165, 167, L"MS Shell Dlg", 8, {}};
    dlg.controls = {
        Label(firstText, 7, firstY, 149, firstCy, STYLE_CENTER),
        Label(kWaveTetherText, 7, 38, 149, 35, STYLE_CENTER),
        Label(kAgreeText, 7, 78, 150, 52, STYLE_CENTER),
        Button(1040, L"I Agree", 17, 145, 49, 14),
        Button(IDCANCEL, L"Cancel", 96, 145, 50, 14),
    };
    return dlg;
}

DialogTemplate SplashDialog() {
    DialogTemplate dlg = AgreementDialog(
        IDD_SPLASH,
        L"Updating the parameters in flight can result in loss of tail control if incorrect "
        L"parameters are loaded to your gyro.",
        6, 28);
    // Enter ends the dialog without agreeing.
    dlg.controls.insert(dlg.controls.begin(),
                        DefButton(IDOK, L"I Agree", 63, 16, 50, 14, STYLE_HIDDEN));
    return dlg;
}

DialogTemplate SplashFwDialog() {
    return AgreementDialog(IDD_SPLASH_FW,
                           L"Attempting to update the firmware in flight will result in "
                           L"immediate loss of tail control.",
                           13, 21);
}

const std::vector<DialogTemplate>& AllTemplates() {
    static const std::vector<DialogTemplate> templates = {
        MainPage(),  CommonPage(),   ServoPage(),    Mode1Page(),
        Mode2Page(), FirmwarePage(), SplashDialog(), SplashFwDialog(),
    };
    return templates;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int nId) {
    for (const DialogTemplate& dlg : AllTemplates()) {
        if (dlg.nId == nId) {
            return &dlg;
        }
    }
    return nullptr;
}

std::wstring LoadResourceString(int nId) {
    switch (nId) {
        case IDS_SHEET_TITLE:
            return L"Morvane RC Gyro Tools";
        default:
            return {};
    }
}

const char* const* LoadIconXpm(int nId) {
    return nId == IDR_MAINFRAME ? kIcon128Xpm : nullptr;
}
