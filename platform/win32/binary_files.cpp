// Linked into every Windows program of the build: files open in binary mode, as on Linux. The
// C library's text mode would turn "\r\n" into "\n" on reading, "\n" into "\r\n" on writing
// and end a file at a 0x1A byte, and the shared code reads and writes bytes as they stand.
#include <fcntl.h>
#include <stdlib.h>

namespace {

const bool g_bBinary = [] {
    _fmode = _O_BINARY;
    return true;
}();

}  // namespace
