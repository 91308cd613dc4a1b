#include "platform/qt/dialog_texts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace platform::ui;
using namespace platform::qt;

TEST(DialogTextsTest, HandheldFiltersAndCaptionsBecomeQtForms) {
    EXPECT_EQ(QtFileFilter(L"Firmware Files (*.fwr)|*.fwr||"), L"Firmware Files (*.fwr)");
    // The pattern part rules over what the description says.
    EXPECT_EQ(QtFileFilter(L"Firmware (*.bin)|*.fwr;*.FWR|All Files (*.*)|*.*||"),
              L"Firmware (*.fwr *.FWR);;All Files (*.*)");
    EXPECT_EQ(QtFileFilter(L"Firmware Files|*.fwr||"), L"Firmware Files (*.fwr)");
    EXPECT_EQ(QtFileFilter(L"(*.fwr)|*.fwr||"), L"*.fwr (*.fwr)");
    EXPECT_EQ(QtFileFilter(L"Firmware Files (*.fwr)"), L"");  // no pattern part
    EXPECT_EQ(DisplayText(L"Load && &Store"), L"Load & Store");
}

TEST(AccessibleNamesTest, ValueControlsAreNamedByTheirLabelsCaptionedOnesByTheirCaption) {
    DialogTemplate dlg{900, L"Naming", 200, 240, L"MS Sans Serif", 8, {}};
    dlg.controls = {
        {IDC_STATIC, ControlKind::Static, L"&Gain:", 7, 9, 49, 8, 0},
        {10, ControlKind::Edit, L"", 81, 7, 33, 12, 0},  // label left, 25 units away
        {IDC_STATIC, ControlKind::Static, L"Accel", 7, 30, 72, 9, 0},
        {11, ControlKind::Trackbar, L"", 16, 39, 98, 19, 0},  // label above
        {IDC_STATIC, ControlKind::Static, L"Stop\nGain", 7, 62, 60, 20, 0},
        {12, ControlKind::Edit, L"", 81, 62, 33, 12, 0},
        {13, ControlKind::ListBox, L"", 7, 84, 153, 20, 0},  // the label above is row 12's
        {14, ControlKind::ProgressBar, L"", 15, 110, 124, 11, 0},
        {IDC_STATIC, ControlKind::Static, L"Progress", 15, 127, 91, 8, 0},  // label below
        {IDC_STATIC, ControlKind::GroupBox, L"Port", 5, 140, 150, 40, 0},
        {15, ControlKind::DropDownList, L"", 24, 150, 117, 69, 0},  // only the group
        {16, ControlKind::Static, L"", 7, 185, 153, 10, STYLE_CENTER},
        {17, ControlKind::PushButton, L"&Read", 160, 7, 30, 14, 0},
        {IDC_STATIC, ControlKind::Static, L"Far", 0, 210, 20, 8, 0},
        {18, ControlKind::Edit, L"", 60, 209, 30, 12, 0},  // no name: a label 40 off, one at right
        {IDC_STATIC, ControlKind::Static, L"Right", 95, 209, 40, 8, 0},
        {IDC_STATIC, ControlKind::Static, L"High", 165, 200, 30, 8, 0},
        {19, ControlKind::Edit, L"", 165, 220, 30, 12, 0},  // no name: 12 units below its label
    };
    EXPECT_THAT(
        AccessibleNames(dlg),
        ::testing::ElementsAre(L"Gain:", L"Gain", L"Accel", L"Accel", L"Stop Gain", L"Stop Gain",
                               L"List 13", L"Progress", L"Progress", L"Port", L"Port", L"Status",
                               L"Read", L"Far", L"Edit 18", L"Right", L"High", L"Edit 19"));
}

}  // namespace
