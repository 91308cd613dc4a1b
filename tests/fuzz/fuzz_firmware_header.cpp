// Firmware files as a pilot may pick them: the header reader takes any bytes, stops right
// after the third line end, at the end of the file or where a line runs past the limit, and breaks
// the description only at a blank once a row holds 35 characters; the payload passes only as whole
// records.
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
    "d\nPID:\nVER:99999999999999\n",
    "d\r\npid: 0480\r\nV 1",
    "",
    "d\r\nPID: 0480\r\nVER: 1\r\n0123456789ABCDEF0123\r\n0123456789ABCDEF012\r\n"};

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
    // Cut short, reading stops at the end of the file or at the byte that takes a line past
    // the limit.
    int64_t nCutAt = int64_t(nSize);
    for (size_t i = 0, nLineBytes = 0; i < nSize && nCutAt == int64_t(nSize); ++i)
        if (++nLineBytes > size_t(HEADER_LINE_BYTES_LIMIT))
            nCutAt = int64_t(i) + 1;
        else if (pData[i] == '\n')
            nLineBytes = 0;
    if (header.bComplete != bComplete || (!bComplete && !header.bCorrupt) ||
        nStop != (bComplete ? file.Position() : nCutAt))
        __builtin_trap();
    for (size_t i = 0; i < header.rows.size(); ++i)
        if (header.rows[i].find(L' ', DESCRIPTION_ROW_CHARS) != std::wstring::npos ||
            (i + 1 < header.rows.size() && header.rows[i].size() < DESCRIPTION_ROW_CHARS))
            __builtin_trap();
    // The payload passes when it is whole records: 20 printable characters and CR LF each.
    if (bComplete) {
        bool bRecords = (nSize - size_t(nStop)) % FIRMWARE_RECORD_BYTES == 0;
        for (size_t i = size_t(nStop); i < nSize && bRecords; ++i) {
            const size_t nColumn = (i - size_t(nStop)) % FIRMWARE_RECORD_BYTES;
            bRecords = nColumn < 20 ? pData[i] >= 0x20 && pData[i] <= 0x7E
                                    : pData[i] == (nColumn == 20 ? '\r' : '\n');
        }
        if (RecordsWellFormed(file) != bRecords || file.Position() != nStop)
            __builtin_trap();
    }
    if (header.strProductId.value_or(L"").size() > 4 ||
        (header.bCorrupt && header.strProductId && header.strVersion))
        __builtin_trap();
    return 0;
}
