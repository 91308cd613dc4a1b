// Firmware files as a pilot may pick them: the header reader takes any bytes, stops right
// after the third line end or at the end of the file, and breaks the description only at a
// blank once a row holds 35 characters.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"

extern const std::vector<std::string> FUZZ_SEEDS;
const std::vector<std::string> FUZZ_SEEDS = {
    "Tail gyro firmware 1.23 with a smoother stop and more\r\nPID: 0480\r\nVER: 123\r\nrecords",
    std::string(34, 'x') + "  " + std::string(40, 'y') + " z\r\nPID: 0390\r\nVER: -5\r\n",
    "d\nPID:\nVER:99999999999999\n", "d\r\npid: 0480\r\nV 1", ""};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // A file in memory, opened by its path as the page opens one.
    static const int fd = memfd_create("fwr", 0);
    CFirmwareFile file;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pData, nSize, 0) != ssize_t(nSize) ||
        !file.Open(L"/proc/self/fd/" + std::to_wstring(fd)))
        __builtin_trap();
    const FirmwareHeader header = ReadHeaderLines(file);
    const int64_t nStop = file.Position();
    const bool bComplete = file.Seek(0) && SkipHeaderLines(file);
    if (header.bComplete != bComplete ||
        nStop != (bComplete ? file.Position() : std::min<int64_t>(nSize, HEADER_BYTES_LIMIT + 1)))
        __builtin_trap();
    for (size_t i = 0; i < header.rows.size(); ++i)
        if (header.rows[i].find(L' ', DESCRIPTION_ROW_CHARS) != std::wstring::npos ||
            (i + 1 < header.rows.size() && header.rows[i].size() < DESCRIPTION_ROW_CHARS))
            __builtin_trap();
    if (header.strProductId.value_or(L"").size() > 4 ||
        (header.bCorrupt && header.strProductId && header.strVersion))
        __builtin_trap();
    return 0;
}
