// The system's text for an error code on Linux: the code is an errno value.
#include <cerrno>
#include <cstring>

#include "platform/serial.h"
#include "platform/text.h"

namespace platform {

std::wstring SystemErrorText(uint32_t nCode) {
    // The system's own text for an errno value, in the language and character set of the
    // locale (a desktop program takes the user's); the thread-safe GNU form returns a pointer.
    char buffer[256];
    const char* pText = strerror_r(static_cast<int>(nCode), buffer, sizeof buffer);
    return WideFromLocaleText(pText);
}

uint32_t SystemErrorCode(SerialFailure nFailure) {
    switch (nFailure) {
        case SerialFailure::NO_SUCH_PORT:
            return ENOENT;
        case SerialFailure::PORT_BUSY:
            return EBUSY;
        case SerialFailure::DEVICE_GONE:
            return ENODEV;
        case SerialFailure::IO_ERROR:
            return EIO;
        case SerialFailure::NOT_OPEN:
            return EBADF;
        case SerialFailure::BAD_SETTING:
            break;
    }
    return EINVAL;
}

}  // namespace platform
