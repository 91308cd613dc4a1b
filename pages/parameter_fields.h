// Every GyroParameters field with its name and the range the pages accept (the numeric
// fields' own ranges, the trackbars' range, the lengths of the servo lists), so that text
// files of parameters can be written and read in page units.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/gyro_params.h"

struct ParameterField {
    const char* pszName;  // the field's name, as in GyroParameters
    int32_t nMin;
    int32_t nMax;
    bool bDirection;                   // ServoDirection: Normal or Reverse
    int32_t GyroParameters::*pValue;   // null for ServoDirection
    const wchar_t* (*pListText)(int);  // the servo lists' text of a position, else null
};

// One thing wrong in a file of parameters: its line (0 for the file as a whole) and what.
struct ParameterProblem {
    int nLine;
    std::string strMessage;
};

extern const std::array<ParameterField, 15> PARAMETER_FIELDS;

// "Name=value" lines of every field, in the order of the table; the direction as "Normal" or
// "Reverse", the servo choices as their lists show them ("JR 2700G", "1520usec/250Hz", "0.11").
std::string FormatParameterLines(const GyroParameters& params);

// Reads "Name=value" lines into params. Blank lines and lines starting with '#' are skipped,
// and so are the identity lines that FormatIdentityLines writes. Every value must lie in its
// field's range; a servo choice is its list's text or its position in the list. With
// bRequireAll every field must be named. Returns every problem, in line order, the missing
// names last as one; params is changed only when there is none.
std::vector<ParameterProblem> ParseParameterLines(const std::string& strText,
                                                  GyroParameters& params, bool bRequireAll = false);

// The identity as the Main page shows it: ProductId, MemoryMapVersion, FirmwareVersion,
// LoaderVersion, SerialNumber.
std::string FormatIdentityLines(const GyroIdentity& identity);
