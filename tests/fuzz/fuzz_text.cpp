// UTF-8 from outside (sysfs names, published port names, the C library's texts): any bytes
// decode to Unicode scalar values that encode back to what they were, and text without a
// replacement character encodes back to its very bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

extern const std::vector<std::string> FUZZ_SEEDS;
const std::vector<std::string> FUZZ_SEEDS = {"Ger\xC3\xA4t \xE2\x82\xAC \xF0\x9F\x9A\x81",
                                             "\xC3(",
                                             "\xC0\x80",
                                             "\xED\xA0\x80",
                                             "\xF4\x90\x80\x80",
                                             "Keine Berechtigung f\xC3\xBCr"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strBytes(reinterpret_cast<const char*>(pData), nSize);
    const std::wstring strWide = platform::WideFromUtf8(strBytes);
    const std::string strBack = platform::Utf8FromWide(strWide);
    if (platform::WideFromUtf8(strBack) != strWide)
        __builtin_trap();
    if (strWide.find(L'\uFFFD') == std::wstring::npos && strBack != strBytes)
        __builtin_trap();
    return 0;
}
