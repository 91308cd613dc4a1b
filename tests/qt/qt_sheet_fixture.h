// The program's sheet on the Qt backend for a test that acts as a pilot: the host set up as
// the program sets it up, the sheet run until the action is done, and every message box either
// the one expected next (answered OK with a click) or a failure.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/config_sheet.h"
#include "platform/qt/qt_ui_host.h"
#include "res/resources.h"
#include "tests/qt/qt_test_support.h"

class CQtSheetTest : public ::testing::Test {
  public:
    CQtSheetTest() {
        platform::ui::SetTemplateLookup(FindDialogTemplate);
        platform::ui::SetHost(&host);
        host.SetIconLookup(LoadIconXpm, IDR_MAINFRAME);
    }
    ~CQtSheetTest() override {
        platform::ui::SetHost(nullptr);
        morvane_test::FlushDeferredDeletes();
    }
    // Runs the sheet; the action runs once it is shown, then the sheet is closed. The sheet
    // is closed after nLimitMs all the same, so that a failure cannot hang the test.
    void RunSheet(const std::function<void(CTQ480ConfigSheet&, QDialog&)>& action, int nLimitMs) {
        CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
        loop.Post([&] {
            action(sheet, *host.SheetWindow(sheet));
            host.SheetWindow(sheet)->close();
        });
        const morvane_test::CDeadline deadline(nLimitMs, [&] {
            if (QDialog* pWindow = host.SheetWindow(sheet))
                pWindow->done(0);
        });
        sheet.DoModal();
        for (const std::string& strBox : unexpectedBoxes)
            ADD_FAILURE() << "message box: " << strBox;
    }

    platform::qt::QtEventLoop loop;
    platform::qt::QtUiHost host{loop};
    // "caption: text" of the box expected next; emptied when it has been answered.
    std::string strExpectedBox;
    std::vector<std::string> unexpectedBoxes;
    morvane_test::CModalActor<QMessageBox> watchdog{
        [this](QMessageBox* pBox) {
            const std::string strBox = (pBox->windowTitle() + ": " + pBox->text()).toStdString();
            if (strBox == std::exchange(strExpectedBox, {})) {
                QTest::mouseClick(pBox->button(QMessageBox::Ok), Qt::LeftButton);
            } else {
                unexpectedBoxes.push_back(strBox);
                pBox->reject();
            }
        },
        true};
};
