// Text from the C library on Windows: in the ANSI code page, which the C library uses for
// its narrow texts.
#include "platform/text.h"
#include "platform/win32/windows_api.h"

namespace platform {

std::wstring WideFromLocaleText(std::string_view strText) {
    if (strText.empty())
        return {};
    const int nSize = static_cast<int>(strText.size());
    const int nWide = MultiByteToWideChar(CP_ACP, 0, strText.data(), nSize, nullptr, 0);
    std::wstring strWide(static_cast<size_t>(nWide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, strText.data(), nSize, strWide.data(), nWide);
    return strWide;
}

}  // namespace platform
