#include "platform/text.h"

#include <cstdint>

namespace platform {

namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

bool IsScalarValue(char32_t nCode) {
    return nCode <= 0x10FFFF && (nCode < 0xD800 || nCode > 0xDFFF);
}

// Where wchar_t has 16 bits (Windows), a code point above U+FFFF takes a surrogate pair.
void AppendWide(std::wstring& strWide, char32_t nCode) {
    if (sizeof(wchar_t) == 2 && nCode > 0xFFFF) {
        strWide += static_cast<wchar_t>(0xD800 + ((nCode - 0x10000) >> 10));
        strWide += static_cast<wchar_t>(0xDC00 + ((nCode - 0x10000) & 0x3FF));
        return;
    }
    strWide += static_cast<wchar_t>(nCode);
}

}  // namespace

std::string ToNarrowText(const std::wstring& strText, size_t nMaxChars) {
    std::string strNarrow;
    for (const wchar_t c : strText.substr(0, nMaxChars))
        strNarrow += static_cast<uint32_t>(c) < 256 ? static_cast<char>(c) : '?';
    return strNarrow;
}

std::wstring ToWideText(const std::string& strText) {
    std::wstring strWide;
    for (const char c : strText)
        strWide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return strWide;
}

std::wstring WideFromUtf8(std::string_view strText) {
    // The smallest code point each sequence length may carry; anything less is overlong.
    static constexpr char32_t MIN_CODE[] = {0, 0, 0x80, 0x800, 0x10000};
    std::wstring strWide;
    size_t i = 0;
    while (i < strText.size()) {
        const auto c = static_cast<unsigned char>(strText[i]);
        size_t nLength = 0;
        char32_t nCode = 0;
        if (c < 0x80) {
            nLength = 1;
            nCode = c;
        } else if ((c & 0xE0) == 0xC0) {
            nLength = 2;
            nCode = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            nLength = 3;
            nCode = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            nLength = 4;
            nCode = c & 0x07;
        }
        bool bValid = nLength != 0 && i + nLength <= strText.size();
        for (size_t k = 1; bValid && k < nLength; ++k) {
            const auto next = static_cast<unsigned char>(strText[i + k]);
            bValid = (next & 0xC0) == 0x80;
            nCode = (nCode << 6) | (next & 0x3F);
        }
        bValid = bValid && nCode >= MIN_CODE[nLength] && IsScalarValue(nCode);
        AppendWide(strWide, bValid ? nCode : REPLACEMENT);
        i += bValid ? nLength : 1;
    }
    return strWide;
}

std::string Utf8FromWide(std::wstring_view strText) {
    std::string strUtf8;
    for (size_t i = 0; i < strText.size(); ++i) {
        auto nCode = static_cast<char32_t>(strText[i]);
        // A 16-bit wchar_t's surrogate pair: the pair is one code point, a lone half is none.
        if (sizeof(wchar_t) == 2 && nCode >= 0xD800 && nCode < 0xDC00 && i + 1 < strText.size() &&
            static_cast<char32_t>(strText[i + 1]) >= 0xDC00 &&
            static_cast<char32_t>(strText[i + 1]) <= 0xDFFF)
            nCode =
                0x10000 + ((nCode - 0xD800) << 10) + (static_cast<char32_t>(strText[++i]) - 0xDC00);
        if (!IsScalarValue(nCode))
            nCode = REPLACEMENT;
        if (nCode < 0x80) {
            strUtf8 += static_cast<char>(nCode);
            continue;
        }
        const int nTail = nCode < 0x800 ? 1 : nCode < 0x10000 ? 2 : 3;
        static constexpr unsigned char LEAD[] = {0, 0xC0, 0xE0, 0xF0};
        strUtf8 += static_cast<char>(LEAD[nTail] | (nCode >> (6 * nTail)));
        for (int k = nTail - 1; k >= 0; --k)
            strUtf8 += static_cast<char>(0x80 | ((nCode >> (6 * k)) & 0x3F));
    }
    return strUtf8;
}

}  // namespace platform
