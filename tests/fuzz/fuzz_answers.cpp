// Received text as the receive poll hands it over: the answer tests and the word decoding
// must take anything without reading past it, and a decoded word must pass its own check.
#include <cstdint>
#include <string>
#include <vector>

#include "link/frames.h"

extern const std::vector<std::string> FUZZ_SEEDS;
const std::vector<std::string> FUZZ_SEEDS = {"01234",
                                             "<000801>.04807C",
                                             "<010001>.079465",
                                             "123456789"
                                             "0003FD"
                                             "aaaa"
                                             "0102FD",
                                             "<010402>.",
                                             "<000801>/",
                                             std::string(40, 'F')};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    std::wstring strText;
    for (size_t i = 0; i < nSize; ++i)
        strText += static_cast<wchar_t>(pData[i]);
    IsWakeupEchoComplete(strText);
    IsIdentityAnswerComplete(strText);
    IsParameterAnswerComplete(strText);
    IsWriteAckComplete(strText);
    uint16_t wWord = 0;
    if (ParseWordAnswer(strText, wWord)) {
        const wchar_t* p = strText.data() + 9;
        const unsigned nSum =
            DecodeHexPair(p[0], p[1]) + DecodeHexPair(p[2], p[3]) + DecodeHexPair(p[4], p[5]);
        if ((nSum & 0x0F) != 0 ||
            wWord != DecodeHexPair(p[0], p[1]) * 256 + DecodeHexPair(p[2], p[3]))
            __builtin_trap();
    }
    return 0;
}
