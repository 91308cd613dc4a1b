#include "pages/parameter_fields.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#include "link/servo_table.h"
#include "pages/mode2_page.h"
#include "pages/numeric_fields.h"
#include "platform/text.h"

namespace {

const char* const IDENTITY_NAMES[] = {"ProductId", "MemoryMapVersion", "FirmwareVersion",
                                      "LoaderVersion", "SerialNumber"};

std::string Trim(const std::string& strText) {
    const size_t nFirst = strText.find_first_not_of(" \t\r");
    if (nFirst == std::string::npos)
        return {};
    const size_t nLast = strText.find_last_not_of(" \t\r");
    return strText.substr(nFirst, nLast - nFirst + 1);
}

bool ParseWhole(const std::string& strText, long& nValue) {
    if (strText.empty())
        return false;
    char* pEnd = nullptr;
    errno = 0;
    nValue = std::strtol(strText.c_str(), &pEnd, 10);
    // All of it: a 0x00 byte would otherwise end the number early and hide what follows.
    return errno == 0 && pEnd == strText.c_str() + strText.size();
}

// A numeric field takes the range its page checks.
ParameterField Numeric(const char* pszName, int32_t GyroParameters::*pValue) {
    const NumericField& field = *NumericFieldFor(pValue);
    return {pszName, field.nMin, field.nMax, false, pValue, nullptr};
}

const wchar_t* PresetText(int n) {
    return SERVO_PRESETS[static_cast<size_t>(n)].pszName;
}
const wchar_t* SpeedText(int n) {
    return SERVO_SPEEDS[static_cast<size_t>(n)];
}
const wchar_t* TypeText(int n) {
    return SERVO_TYPES[static_cast<size_t>(n)].pszName;
}

// A list field's value as its list shows it; a position outside the list stays a number.
std::string ValueText(const ParameterField& field, int32_t nValue) {
    if (field.pListText && nValue >= field.nMin && nValue <= field.nMax)
        return platform::Utf8FromWide(field.pListText(nValue));
    return std::to_string(nValue);
}

}  // namespace

// The profiles take the trackbars' range, the servo choices the lengths of their lists.
const std::array<ParameterField, 15> PARAMETER_FIELDS = {{
    Numeric("HighEndpoint", &GyroParameters::HighEndpoint),
    Numeric("LowEndpoint", &GyroParameters::LowEndpoint),
    Numeric("AvcsCwStopGain", &GyroParameters::AvcsCwStopGain),
    Numeric("AvcsCcwStopGain", &GyroParameters::AvcsCcwStopGain),
    Numeric("RudderstickDeadband", &GyroParameters::RudderstickDeadband),
    Numeric("AvcsRudderExponential", &GyroParameters::AvcsRudderExponential),
    Numeric("RateRudderExponential", &GyroParameters::RateRudderExponential),
    {"AvcsAccelerationProfile", PROFILE_POSITION_MIN, PROFILE_POSITION_MAX, false,
     &GyroParameters::AvcsAccelerationProfile, nullptr},
    {"AvcsDecelerationProfile", PROFILE_POSITION_MIN, PROFILE_POSITION_MAX, false,
     &GyroParameters::AvcsDecelerationProfile, nullptr},
    Numeric("AvcsRudderSensitivity", &GyroParameters::AvcsRudderSensitivity),
    {"ServoPreset", 0, SERVO_PRESET_COUNT - 1, false, &GyroParameters::ServoPreset, PresetText},
    {"ServoSpeed", 0, SERVO_SPEED_COUNT - 1, false, &GyroParameters::ServoSpeed, SpeedText},
    {"ServoType", 0, SERVO_TYPE_COUNT - 1, false, &GyroParameters::ServoType, TypeText},
    Numeric("MidpointTrim", &GyroParameters::MidpointTrim),
    {"ServoDirection", 0, 1, true, nullptr, nullptr},
}};

std::string FormatParameterLines(const GyroParameters& params) {
    std::string strLines;
    for (const ParameterField& field : PARAMETER_FIELDS) {
        strLines += field.pszName;
        strLines += '=';
        if (field.bDirection)
            strLines += params.ServoDirection ? "Reverse" : "Normal";
        else
            strLines += ValueText(field, params.*field.pValue);
        strLines += '\n';
    }
    return strLines;
}

std::string FormatIdentityLines(const GyroIdentity& identity) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "ProductId=%04X\nMemoryMapVersion=%u\nFirmwareVersion=%s\nLoaderVersion=%s\n"
                  "SerialNumber=%s\n",
                  identity.ProductId, identity.MemoryMapVersion,
                  platform::ToNarrowText(FormatFirmwareVersion(identity.FirmwareVersion)).c_str(),
                  platform::ToNarrowText(FormatLoaderVersion(identity.LoaderVersion)).c_str(),
                  platform::ToNarrowText(FormatSerialNumber(identity.SerialNumber)).c_str());
    return text;
}

std::vector<ParameterProblem> ParseParameterLines(const std::string& strText,
                                                  GyroParameters& params, bool bRequireAll) {
    GyroParameters parsed = params;
    std::vector<ParameterProblem> problems;
    std::array<bool, PARAMETER_FIELDS.size()> named{};
    // A byte order mark, as some editors write one, is no part of the first name.
    std::istringstream lines(strText.substr(strText.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0));
    std::string strLine;
    for (int nLine = 1; std::getline(lines, strLine); ++nLine) {
        const std::string strTrimmed = Trim(strLine);
        if (strTrimmed.empty() || strTrimmed[0] == '#')
            continue;
        auto problem = [&](const std::string& strMessage) {
            problems.push_back({nLine, strMessage});
        };
        const size_t nEquals = strTrimmed.find('=');
        if (nEquals == std::string::npos) {
            problem("expected Name=value");
            continue;
        }
        const std::string strName = Trim(strTrimmed.substr(0, nEquals));
        const std::string strValue = Trim(strTrimmed.substr(nEquals + 1));
        bool bIdentity = false;
        for (const char* pName : IDENTITY_NAMES)
            bIdentity = bIdentity || strName == pName;
        if (bIdentity)
            continue;
        const ParameterField* pField = nullptr;
        for (const ParameterField& field : PARAMETER_FIELDS)
            if (strName == field.pszName)
                pField = &field;
        if (!pField) {
            problem("unknown name \"" + strName + "\"");
            continue;
        }
        // A name given twice leaves it open which value was meant.
        if (std::exchange(named[static_cast<size_t>(pField - PARAMETER_FIELDS.data())], true)) {
            problem(strName + " is given twice");
            continue;
        }
        if (pField->bDirection) {
            if (strValue == "Normal" || strValue == "0")
                parsed.ServoDirection = false;
            else if (strValue == "Reverse" || strValue == "1")
                parsed.ServoDirection = true;
            else
                problem(strName + " must be Normal or Reverse, not \"" + strValue + "\"");
            continue;
        }
        long nValue = 0;
        bool bListed = false;
        for (int32_t n = pField->nMin; pField->pListText && n <= pField->nMax && !bListed; ++n)
            if (platform::Utf8FromWide(pField->pListText(n)) == strValue) {
                nValue = n;
                bListed = true;
            }
        if (!bListed && !ParseWhole(strValue, nValue)) {
            problem(strName + (pField->pListText
                                   ? " has no entry \"" + strValue + "\" in its list"
                                   : " must be a whole number, not \"" + strValue + "\""));
            continue;
        }
        if (nValue < pField->nMin || nValue > pField->nMax) {
            problem(strName + "=" + strValue + " is outside its range " +
                    std::to_string(pField->nMin) + " to " + std::to_string(pField->nMax));
            continue;
        }
        parsed.*pField->pValue = static_cast<int32_t>(nValue);
    }
    std::string strMissing;
    for (size_t i = 0; i < named.size(); ++i)
        if (bRequireAll && !named[i])
            strMissing +=
                (strMissing.empty() ? "" : ", ") + std::string(PARAMETER_FIELDS[i].pszName);
    if (!strMissing.empty())
        problems.push_back({0, "missing " + strMissing});
    if (problems.empty())
        params = parsed;
    return problems;
}
