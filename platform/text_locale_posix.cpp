// Text from the C library in the locale's character set, on Linux.
#include <langinfo.h>

#include <cstring>
#include <cwchar>

#include "platform/text.h"

namespace platform {

namespace {

constexpr wchar_t REPLACEMENT = 0xFFFD;

}  // namespace

std::wstring WideFromLocaleText(std::string_view strText) {
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return WideFromUtf8(strText);
    // Another character set: the C library knows it.
    std::wstring strWide;
    std::mbstate_t state{};
    size_t i = 0;
    while (i < strText.size()) {
        wchar_t c = 0;
        const size_t n = std::mbrtowc(&c, strText.data() + i, strText.size() - i, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            strWide += static_cast<wchar_t>(REPLACEMENT);
            state = {};
            ++i;
        } else {
            strWide += c;
            i += n == 0 ? 1 : n;
        }
    }
    return strWide;
}

}  // namespace platform
