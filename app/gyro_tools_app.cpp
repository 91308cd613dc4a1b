#include "app/gyro_tools_app.h"

#include <string>

#include "app/config_sheet.h"
#include "app/sheet_interrupt.h"
#include "platform/signal_watch.h"
#include "res/resources.h"

CGyroToolsApp theApp;

bool CGyroToolsApp::InitInstance() {
    // The title comes from the string table; a missing string leaves it empty.
    const std::wstring strTitle = LoadResourceString(IDS_SHEET_TITLE);
    {
        CTQ480ConfigSheet sheet(strTitle, nullptr, 0);
        // SIGINT, SIGTERM and SIGHUP (a closed terminal, a logout) end the work under way
        // through its own ending, then the sheet: the port is given back as it was found.
        CSheetInterrupt interrupt(sheet);
        platform::CSignalWatch signals(platform::ui::CurrentHost().Loop(),
                                       [&interrupt](int nSignal, int nCount) {
                                           interrupt.OnSignal(nSignal, nCount);
                                           platform::ui::CurrentHost().BeginQuit();
                                           interrupt.EndSheetWhenIdle();
                                       });
        sheet.DoModal();
        m_nExitStatus = interrupt.Signal() != 0 ? interrupt.ExitStatus() : 0;
    }
    return false;
}
