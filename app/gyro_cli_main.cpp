// morvane-gyro-cli: the tool's pages and sequences from the command line, in real time.
#include <iostream>
#include <string>
#include <vector>

#include "app/gyro_cli.h"
#include "platform/event_loop.h"
#include "platform/headless/headless_ui.h"
#include "res/resources.h"

int main(int argc, char** argv) {
    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    platform::headless::HeadlessUiHost host(loop);
    platform::ui::SetHost(&host);
    platform::ui::SetTemplateLookup(FindDialogTemplate);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int nResult = RunGyroCli(args, host, std::cin, std::cout, std::cerr);
    platform::ui::SetHost(nullptr);
    return nResult;
}
