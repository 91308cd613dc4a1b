// Parameter files given to the command-line companion: whatever the text, a parse that
// succeeds leaves every field inside the range its page accepts.
#include <cstdint>
#include <string>
#include <vector>

#include "pages/parameter_fields.h"

extern const std::vector<std::string> FUZZ_SEEDS;
const std::vector<std::string> FUZZ_SEEDS = {
    "HighEndpoint=100\nLowEndpoint=100\nServoDirection=Reverse\n",
    "ProductId=0480\nMemoryMapVersion=3\nMidpointTrim=-100\n# comment\n\n",
    "AvcsRudderSensitivity = 150 \r\nServoPreset=38\nServoType=3\n",
    "ServoSpeed=99999999999999999999\n"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strText(reinterpret_cast<const char*>(pData), nSize);
    GyroParameters params;
    LoadDefaults(params);
    const GyroParameters before = params;
    std::string strError;
    if (ParseParameterLines(strText, params, strError, nSize % 2 == 0)) {
        for (const ParameterField& field : PARAMETER_FIELDS) {
            if (field.bDirection)
                continue;
            const int32_t nValue = params.*field.pValue;
            if (nValue < field.nMin || nValue > field.nMax)
                __builtin_trap();
        }
    } else if (!(params == before) || strError.empty()) {
        __builtin_trap();
    }
    return 0;
}
