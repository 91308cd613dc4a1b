// The settings file beside the program: any content loads as a port number that is either
// 0 or what the file's first four bytes spell in digits.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "shell/settings.h"

extern const std::vector<std::string> FUZZ_SEEDS;
const std::vector<std::string> FUZZ_SEEDS = {"1",
                                             "0005",
                                             "12345",
                                             "-1",
                                             "3\n",
                                             std::string("7\0"
                                                         "9",
                                                         3),
                                             ""};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const std::filesystem::path folder = [] {
        auto path =
            std::filesystem::temp_directory_path() / ("morvane-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        platform::SetExecutablePathOverride((path / "program").string());
        return path;
    }();
    FILE* pFile = std::fopen((folder / "morvane.ini").c_str(), "wb");
    if (!pFile)
        return 0;
    std::fwrite(pData, 1, nSize, pFile);
    std::fclose(pFile);
    const int nLoaded = LoadComPortSetting();
    std::string strHead(reinterpret_cast<const char*>(pData), std::min<size_t>(nSize, 4));
    strHead = strHead.substr(0, strHead.find('\0'));
    const bool bDigits = strHead.find_first_not_of("0123456789") == std::string::npos;
    if (nLoaded != (bDigits && !strHead.empty() ? std::stoi(strHead) : 0))
        __builtin_trap();
    return 0;
}
