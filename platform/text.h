// Every conversion between wide user-interface text and 8-bit text.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The handheld's 8-bit text: each character below 256 stands for itself, any other becomes
// '?'.
std::string ToNarrowText(const std::wstring& strText, size_t nMaxChars = std::wstring::npos);
std::wstring ToWideText(const std::string& strText);

// UTF-8, as Linux names devices (sysfs, file names) and as terminals take text. A byte that
// starts no valid sequence becomes U+FFFD and decoding starts afresh at the byte after it:
// a stray continuation byte, a lead byte without its continuation bytes, an overlong form, a
// surrogate, a code point above U+10FFFF.
std::wstring WideFromUtf8(std::string_view strText);
// Characters that are no Unicode scalar value become U+FFFD.
std::string Utf8FromWide(std::wstring_view strText);

// Text from the C library (strerror) in the character set of the current locale: UTF-8 once
// a desktop program has taken the user's locale, ASCII in the "C" locale.
std::wstring WideFromLocaleText(std::string_view strText);

}  // namespace platform
