// Parameter files given to the command-line companion: whatever the text, a parse that
// succeeds leaves every field inside the range its page accepts. The same text typed into a
// numeric field reads as the C library reads a decimal number, held at the 32-bit ends, and
// fails without a digit after the blanks and sign.
#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "pages/parameter_fields.h"
#include "platform/ui/ui.h"

extern const std::vector<std::string> FUZZ_SEEDS;
const std::vector<std::string> FUZZ_SEEDS = {
    "HighEndpoint=100\nLowEndpoint=100\nServoDirection=Reverse\n",
    "ProductId=0480\nMemoryMapVersion=3\nMidpointTrim=-100\n# comment\n\n",
    "AvcsRudderSensitivity = 150 \r\nServoPreset=38\nServoType=3\n",
    "ServoSpeed=99999999999999999999\n",
    " -45x",
    "+",
    "-2147483649",
    "\t\n 7",
    "\xA0"
    "5"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strText(reinterpret_cast<const char*>(pData), nSize);
    GyroParameters params;
    LoadDefaults(params);
    const GyroParameters before = params;
    const std::vector<ParameterProblem> problems =
        ParseParameterLines(strText, params, nSize % 2 == 0);
    if (problems.empty()) {
        for (const ParameterField& field : PARAMETER_FIELDS) {
            if (field.bDirection)
                continue;
            const int32_t nValue = params.*field.pValue;
            if (nValue < field.nMin || nValue > field.nMax)
                __builtin_trap();
        }
    } else if (!(params == before)) {
        __builtin_trap();
    }
    const std::wstring strWide(strText.begin(), strText.end());
    int nValue = 12345;
    const bool bParsed = platform::ui::ParseInteger(strWide, nValue);
    wchar_t* pEnd = nullptr;
    const long long nExpected = std::wcstoll(strWide.c_str(), &pEnd, 10);
    if (bParsed != (pEnd != strWide.c_str()) || (!bParsed && nValue != 12345) ||
        (bParsed && nValue != std::clamp<long long>(nExpected, INT_MIN, INT_MAX)))
        __builtin_trap();
    return 0;
}
