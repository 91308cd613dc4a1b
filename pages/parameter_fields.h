// Every GyroParameters field with its name and the range the pages accept (the numeric
// fields' own ranges, the trackbars' range, the lengths of the servo lists), so that text
// files of parameters can be written and read in page units.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/gyro_params.h"

struct ParameterField {
    const char* pszName;  // the field's name, as in GyroParameters
    int32_t nMin;
    int32_t nMax;
    bool bDirection;                  // ServoDirection: Normal or Reverse
    int32_t GyroParameters::*pValue;  // null for ServoDirection
};

extern const std::array<ParameterField, 15> PARAMETER_FIELDS;

// "Name=value" lines of every field, in the order of the table; the direction as "Normal" or
// "Reverse".
std::string FormatParameterLines(const GyroParameters& params);

// Reads "Name=value" lines into params. Blank lines and lines starting with '#' are skipped,
// and so are the identity lines that FormatIdentityLines writes. Every value must lie in its
// field's range; with bRequireAll every field must be named. On failure params is left as it
// was and strError says which line and why.
bool ParseParameterLines(const std::string& strText, GyroParameters& params, std::string& strError,
                         bool bRequireAll = false);

// The identity as the Main page shows it: ProductId, MemoryMapVersion, FirmwareVersion,
// LoaderVersion, SerialNumber.
std::string FormatIdentityLines(const GyroIdentity& identity);
