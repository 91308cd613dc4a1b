#include "app/gyro_tools_app.h"

#include <string>

#include "app/config_sheet.h"
#include "res/resources.h"

CGyroToolsApp theApp;

bool CGyroToolsApp::InitInstance() {
    // The title comes from the string table; a missing string leaves it empty.
    const std::wstring strTitle = LoadResourceString(IDS_SHEET_TITLE);
    {
        CTQ480ConfigSheet sheet(strTitle, nullptr, 0);
        sheet.DoModal();
    }
    return false;
}
