// The servo catalogue: the servo type list, the servo speed list and the table of known tail
// servos (presets), with the lookups that connect the gyro's servo codes to the rows and list
// indexes that GyroParameters holds (ServoPreset, ServoType, ServoSpeed).
//
// Codes used by the tables:
//   pulse code  centre pulse width: 0 = 1520 us, 1 = 760 us, 2 = 960 us
//   frame code  frame rate:         0 = 333 Hz,  1 = 250 Hz, 2 = 560 Hz
//   speed code  1..15 = 0.01..0.15 seconds per 60 degrees; speed-list index = code - 1
#pragma once

#include <array>

constexpr int SERVO_PRESET_COUNT = 39;
constexpr int SERVO_TYPE_COUNT = 4;
constexpr int SERVO_SPEED_COUNT = 15;

// Returned by the lookups when no row or index applies.
constexpr int SERVO_NO_MATCH = -1;

// One entry of the type list; its index is ServoType.
struct ServoTypeEntry {
    const wchar_t* pszName;  // list text, e.g. L"1520usec/333Hz"
    int nPulseCode;
    int nFrameCode;
};

// One row of the preset table; its row number is ServoPreset.
struct ServoPresetEntry {
    const wchar_t* pszName;  // list text, e.g. L"Futaba S9254"
    int nPresetKey;          // servo code the gyro stores, 0..37
    int nPulseCode;
    int nFrameCode;
    int nSpeedCode;
};

// The three constant tables, in list order.
extern const std::array<ServoTypeEntry, SERVO_TYPE_COUNT> SERVO_TYPES;
extern const std::array<const wchar_t*, SERVO_SPEED_COUNT> SERVO_SPEEDS;  // L"0.01".."0.15"
extern const std::array<ServoPresetEntry, SERVO_PRESET_COUNT> SERVO_PRESETS;

// The first row (from row 0 upward) whose preset key is nKey, or SERVO_NO_MATCH. Key 33 occurs
// twice and always gives the first of its rows.
int ServoPresetForKey(int nKey);

// The preset key of a row, or SERVO_NO_MATCH for a row outside the table.
int ServoPresetKey(int nRow);

// The type-list index that choosing a row selects, or SERVO_NO_MATCH for a row outside the table.
int ServoPresetType(int nRow);

// The speed-list index that choosing a row selects, or SERVO_NO_MATCH for a row outside the table.
int ServoPresetSpeed(int nRow);
