#include "platform/text.h"

namespace platform {

std::string ToNarrowText(const std::wstring& strText, size_t nMaxChars) {
    std::string strNarrow;
    for (const wchar_t c : strText.substr(0, nMaxChars))
        strNarrow += (c >= 0 && c < 256) ? static_cast<char>(c) : '?';
    return strNarrow;
}

std::wstring ToWideText(const std::string& strText) {
    std::wstring strWide;
    for (const char c : strText)
        strWide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return strWide;
}

}  // namespace platform
