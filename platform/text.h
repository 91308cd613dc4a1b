// The handheld's conversions between wide user-interface text and 8-bit text: each
// character below 256 stands for itself, any other becomes '?'.
#pragma once

#include <string>

namespace platform {

std::string ToNarrowText(const std::wstring& strText, size_t nMaxChars = std::wstring::npos);
std::wstring ToWideText(const std::string& strText);

}  // namespace platform
