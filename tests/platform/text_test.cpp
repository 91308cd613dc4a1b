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
TEST(Utf8, DecodesValidTextAndReplacesOnlyTheBytesThatStartNoSequence) {
    const struct {
        std::string strBytes;
        std::wstring strExpected;
    } cases[] = {
        {"Ger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x9A\x81", L"Ger\u00E4t \u20AC \U0001F681"},
        {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
        {"\xC3(", L"\uFFFD("},                                 // lead byte and ASCII
        {"\xE2\x82(x", L"\uFFFD\uFFFD(x"},                     // cut short inside the text
        {"ab\xF0\x9F\x9A", L"ab\uFFFD\uFFFD\uFFFD"},           // cut short at the end
        {"\x80\xBFz", L"\uFFFD\uFFFDz"},                       // stray continuation bytes
        {"\xC0\x80\xC1\xBF", L"\uFFFD\uFFFD\uFFFD\uFFFD"},     // overlong two-byte forms
        {"\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},               // overlong '/'
        {"\xF0\x82\x82\xAC", L"\uFFFD\uFFFD\uFFFD\uFFFD"},     // overlong euro sign
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},               // a surrogate
        {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},     // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", std::wstring(5, L'\uFFFD')},  // no such lead byte
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideFromUtf8(c.strBytes), c.strExpected) << c.strBytes;
        if (c.strExpected.find(L'\uFFFD') == std::wstring::npos) {
            EXPECT_EQ(Utf8FromWide(c.strExpected), c.strBytes);
        }
    }
    // What is no Unicode scalar value goes out as U+FFFD.
    const wchar_t invalid[] = {0xD800, 0x110000, -1};
    EXPECT_EQ(Utf8FromWide(std::wstring(invalid, 3)), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

// The C library's texts come in the locale's character set: a desktop's German error text
// in UTF-8; in the "C" locale no byte above 127 stands for a letter.
TEST(LocaleText, IsDecodedInTheCharacterSetOfTheLocale) {
    const std::string strGerman = "Keine Berechtigung f\xC3\xBCr";
    const struct {
        const char* pLocale;
        std::wstring strExpected;
    } cases[] = {{"C.UTF-8", L"Keine Berechtigung f\u00FCr"},
                 {"C", L"Keine Berechtigung f\uFFFD\uFFFDr"}};
    for (const auto& c : cases) {
        ASSERT_NE(std::setlocale(LC_CTYPE, c.pLocale), nullptr) << c.pLocale;
        EXPECT_EQ(WideFromLocaleText(strGerman), c.strExpected) << c.pLocale;
    }
    std::setlocale(LC_CTYPE, "C");

    // A port held by another program, on a German desktop.
    setenv("LANGUAGE", "de", 1);
    std::setlocale(LC_ALL, "C.UTF-8");
    const std::wstring strBusy = SystemErrorText(EBUSY);
    unsetenv("LANGUAGE");
    std::setlocale(LC_ALL, "C");
    if (strBusy == L"Device or resource busy")
        GTEST_SKIP() << "the C library's German messages are not installed (libc-l10n)";
    EXPECT_EQ(strBusy, L"Das Ger\u00E4t oder die Ressource ist belegt");
}

}  // namespace
}  // namespace platform
