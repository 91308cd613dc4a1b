#include "platform/text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/serial.h"

namespace platform {
namespace {

// Each byte that starts no valid sequence is one U+FFFD; the byte after it starts afresh.
// That valid text encodes back to its bytes is for the text fuzz target to check.
TEST(Text, DecodesUtf8AndTheLocalesCharacterSetReplacingOnlyBytesThatStartNoSequence) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"Ger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x9A\x81 \xF4\x8F\xBF\xBF",
         L"Ger\u00E4t \u20AC \U0001F681 \U0010FFFF"},
        {"\xC3(", L"\uFFFD("},                                 // lead byte and ASCII
        {"\xE2\x82(x", L"\uFFFD\uFFFD(x"},                     // cut short inside the text
        {"ab\xF0\x9F\x9A", L"ab\uFFFD\uFFFD\uFFFD"},           // cut short at the end
        {"\x80\xBFz", L"\uFFFD\uFFFDz"},                       // stray continuation bytes
        {"\xC1\xBF", L"\uFFFD\uFFFD"},                         // overlong two-byte form
        {"\xE0\x82\xAC", L"\uFFFD\uFFFD\uFFFD"},               // overlong three-byte form
        {"\xF0\x82\x82\xAC", L"\uFFFD\uFFFD\uFFFD\uFFFD"},     // overlong euro sign
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},               // a surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},     // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", std::wstring(5, L'\uFFFD')},  // no such lead byte
    };
    for (const auto& [strBytes, strExpected] : cases)
        EXPECT_EQ(WideFromUtf8(strBytes), strExpected) << strBytes;
    // What is no Unicode scalar value goes out as U+FFFD.
    const wchar_t invalid[] = {0xD800, 0x110000, -1};
    EXPECT_EQ(Utf8FromWide(std::wstring(invalid, 3)), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");

    // The C library's texts (error messages) come in the locale's character set: a desktop's
    // German text in UTF-8; in the "C" locale no byte above 127 stands for a letter.
    const std::string strGerman = "Keine Berechtigung f\xC3\xBCr";
    for (const auto& [pLocale, strExpected] :
         {std::pair{"C.UTF-8", L"Keine Berechtigung f\u00FCr"},
          std::pair{"C", L"Keine Berechtigung f\uFFFD\uFFFDr"}}) {
        ASSERT_NE(std::setlocale(LC_CTYPE, pLocale), nullptr) << pLocale;
        EXPECT_EQ(WideFromLocaleText(strGerman), strExpected) << pLocale;
    }
    std::setlocale(LC_CTYPE, "C");
    // A port held by another program, on a German desktop (English without libc-l10n).
    setenv("LANGUAGE", "de", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    const std::wstring strBusy = SystemErrorText(EBUSY);
    unsetenv("LANGUAGE");
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(strBusy == L"Das Ger\u00E4t oder die Ressource ist belegt" ||
                strBusy == L"Device or resource busy");
}

}  // namespace
}  // namespace platform
