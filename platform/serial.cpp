#include "platform/serial.h"

#include <cstring>

#include "platform/text.h"

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

std::wstring SystemErrorText(uint32_t nCode) {
    // The system's own text for an errno value, in the language and character set of the
    // locale (a desktop program takes the user's); the thread-safe GNU form returns a pointer.
    char buffer[256];
    const char* pText = strerror_r(static_cast<int>(nCode), buffer, sizeof buffer);
    return WideFromLocaleText(pText);
}

}  // namespace platform
