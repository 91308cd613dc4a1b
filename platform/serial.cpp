#include "platform/serial.h"

namespace platform {

namespace {

SerialOpener* g_pOpener = nullptr;
thread_local uint32_t t_nLastError = 0;

}  // namespace

SerialOpener& CurrentSerialOpener() {
    return g_pOpener ? *g_pOpener : DefaultSerialOpener();
}

void SetSerialOpener(SerialOpener* pOpener) {
    g_pOpener = pOpener;
}

uint32_t LastSystemError() {
    return t_nLastError;
}

void SetLastSystemError(uint32_t nCode) {
    t_nLastError = nCode;
}

}  // namespace platform
