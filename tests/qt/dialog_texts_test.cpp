#include "platform/qt/dialog_texts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace platform::ui;
using platform::qt::AccessibleNames;
using platform::qt::QtFileFilter;
using ::testing::ElementsAre;

TEST(DialogTextsTest, HandheldFiltersAndCaptionsBecomeQtForms) {
    EXPECT_EQ(QtFileFilter(L"Firmware Files (*.fwr)|*.fwr||"), L"Firmware Files (*.fwr)");
    // The pattern part rules over what the description says.
    EXPECT_EQ(QtFileFilter(L"Firmware (*.bin)|*.fwr;*.FWR|All Files (*.*)|*.*||"),
              L"Firmware (*.fwr *.FWR);;All Files (*.*)");
    EXPECT_EQ(QtFileFilter(L"Firmware Files|*.fwr||"), L"Firmware Files (*.fwr)");
    EXPECT_EQ(QtFileFilter(L"(*.fwr)|*.fwr||"), L"*.fwr (*.fwr)");
    EXPECT_EQ(QtFileFilter(L""), L"");
    EXPECT_EQ(QtFileFilter(L"Firmware Files (*.fwr)"), L"");  // no pattern part
    EXPECT_EQ(platform::qt::DisplayText(L"Load && &Store"), L"Load & Store");
}

// A page with each way a control can be named.
DialogTemplate NamingPage() {
    return {
        900,
        L"Naming",
        200,
        200,
        L"MS Sans Serif",
        8,
        {
            {IDC_STATIC, ControlKind::Static, L"High &Endpoint:", 7, 9, 49, 8, 0},
            {10, ControlKind::Edit, L"", 81, 7, 33, 12, 0},  // label left, 25 units away
            {IDC_STATIC, ControlKind::Static, L"Acceleration Profile", 7, 30, 72, 9, 0},
            {11, ControlKind::Trackbar, L"", 16, 39, 98, 19, 0},  // label above
            {IDC_STATIC, ControlKind::Static, L"Counter Clockwise\nStop Gain", 7, 62, 60, 20, 0},
            {12, ControlKind::Edit, L"", 81, 62, 33, 12, 0},
            {13, ControlKind::ListBox, L"", 7, 84, 153, 20, 0},  // the label above is row 12's
            {14, ControlKind::ProgressBar, L"", 15, 110, 124, 11, 0},
            {IDC_STATIC, ControlKind::Static, L"Transfer progress", 15, 127, 91, 8, 0},
            {IDC_STATIC, ControlKind::GroupBox, L"Program Control", 5, 140, 150, 40, 0},
            {15, ControlKind::DropDownList, L"", 24, 150, 117, 69, 0},  // only the group
            {16, ControlKind::Static, L"", 7, 185, 153, 10, STYLE_CENTER},
            {17, ControlKind::PushButton, L"&Read", 160, 7, 30, 14, 0},
        },
    };
}

TEST(AccessibleNamesTest, ValueControlsAreNamedByTheirLabelsCaptionedOnesByTheirCaption) {
    EXPECT_THAT(AccessibleNames(NamingPage()),
                ElementsAre(L"High Endpoint:", L"High Endpoint", L"Acceleration Profile",
                            L"Acceleration Profile", L"Counter Clockwise Stop Gain",
                            L"Counter Clockwise Stop Gain", L"List 13", L"Transfer progress",
                            L"Transfer progress", L"Program Control", L"Program Control", L"Status",
                            L"Read"));
}

TEST(AccessibleNamesTest, ALabelTooFarAwayOrInAnotherRowNamesNothing) {
    DialogTemplate dlg{901, L"Far", 200, 100, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        {IDC_STATIC, ControlKind::Static, L"Far left", 0, 10, 20, 8, 0},
        {10, ControlKind::Edit, L"", 60, 9, 30, 12, 0},  // 40 units to its right
        {IDC_STATIC, ControlKind::Static, L"Right of it", 95, 9, 40, 8, 0},
        {IDC_STATIC, ControlKind::Static, L"High above", 60, 30, 40, 8, 0},
        {11, ControlKind::Edit, L"", 60, 50, 30, 12, 0},  // 12 units below the label
    };
    const auto names = AccessibleNames(dlg);
    EXPECT_EQ(names[1], L"Edit 10");
    EXPECT_EQ(names[4], L"Edit 11");
}

}  // namespace
