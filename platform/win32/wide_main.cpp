// The entry point of a Windows program: Windows hands it its command line as UTF-16
// (wmain, linked with -municode); the program's own main, compiled as MorvaneProgramMain,
// gets it in UTF-8 as on Linux. Standard streams carry bytes unchanged (UTF-8 text with
// line feeds, the same as on Linux), and the console shows them as UTF-8. Timers and waits
// get the system's 1 ms tick for the program's life rather than its default 15.6 ms.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/windows_api.h"

int MorvaneProgramMain(int argc, char** argv);

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(platform::Utf8FromWide(argv[i]));
    std::vector<char*> pointers;
    for (std::string& strArg : args)
        pointers.push_back(strArg.data());
    pointers.push_back(nullptr);

    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    timeBeginPeriod(1);
    const int nResult = MorvaneProgramMain(argc, pointers.data());
    timeEndPeriod(1);
    return nResult;
}
