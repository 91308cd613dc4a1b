// The gyro's parameter map: the tunable values in page units (GyroParameters), the connected
// gyro's identity (GyroIdentity), the sixteen parameter words at 0x0100..0x011E with their
// status-line labels, the order in which a Store writes fifteen of them, and the conversions
// between field values and 16-bit gyro words in both directions.
//
// Reading: for each item n = 0..15 the Read sequence calls DecodeParameterWord; the servo data
// word is only kept (as word - 1) until ApplyServoData runs at the end of the read.
// Storing: for each store item 0..14 EncodeStoreWord gives the address, the word and the label;
// the servo direction word is merged into the word read from the gyro just before.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Identity word addresses.
constexpr uint16_t GYRO_ADDRESS_MEMORY_MAP_VERSION = 0x0000;
constexpr uint16_t GYRO_ADDRESS_LOADER_VERSION = 0x0004;
constexpr uint16_t GYRO_ADDRESS_FIRMWARE_VERSION = 0x0006;
constexpr uint16_t GYRO_ADDRESS_PRODUCT_ID = 0x0008;
constexpr uint16_t GYRO_ADDRESS_SERIAL_LOW = 0x000A;
constexpr uint16_t GYRO_ADDRESS_SERIAL_HIGH = 0x000C;

// Parameter items n = 0..15 live at GYRO_ADDRESS_PARAMETERS + 2n.
constexpr uint16_t GYRO_ADDRESS_PARAMETERS = 0x0100;
constexpr int GYRO_PARAMETER_COUNT = 16;
constexpr int GYRO_STORE_ITEM_COUNT = 15;

// Parameter items with a meaning of their own to the sequences.
constexpr int GYRO_ITEM_SERVO_DATA = 12;
constexpr int GYRO_ITEM_SERVO_DIRECTION = 15;

// The tunable values, in the units the pages show.
struct GyroParameters {
    int32_t HighEndpoint = 0;             // percent
    int32_t LowEndpoint = 0;              // percent
    int32_t AvcsCwStopGain = 0;           // percent
    int32_t AvcsCcwStopGain = 0;          // percent
    int32_t RudderstickDeadband = 0;      //
    int32_t AvcsRudderExponential = 0;    // percent, signed
    int32_t RateRudderExponential = 0;    // percent, signed
    int32_t AvcsAccelerationProfile = 0;  // slider position 0..15, 15 = "Fast"
    int32_t AvcsDecelerationProfile = 0;  // slider position 0..15, 15 = "Fast"
    int32_t AvcsRudderSensitivity = 0;    // percent
    int32_t ServoPreset = 0;              // row of SERVO_PRESETS
    int32_t ServoSpeed = 0;               // index into SERVO_SPEEDS
    int32_t ServoType = 0;                // index into SERVO_TYPES
    int32_t MidpointTrim = 0;             // signed
    bool ServoDirection = false;          // false = Normal, true = Reverse

    bool operator==(const GyroParameters&) const = default;
};

// The connected gyro's identity, as read.
struct GyroIdentity {
    uint32_t MemoryMapVersion = 0;  // configuration format number
    uint32_t ProductId = 0;
    int32_t FirmwareVersion = 0;  // major * 100 + minor
    int32_t SerialNumber = 0;     // low word + high word * 65536, signed
    uint32_t LoaderVersion = 0;   // raw word: high byte major, low byte minor

    bool operator==(const GyroIdentity&) const = default;
};

// One parameter word. A null label leaves the status line as it is: items 9 and 10 (second
// copies of the profile words) and item 13 (unused, read and never written).
struct GyroParameterItem {
    uint16_t nAddress;
    const wchar_t* pszReadLabel;
    const wchar_t* pszWriteLabel;
};

extern const std::array<GyroParameterItem, GYRO_PARAMETER_COUNT> GYRO_PARAMETER_ITEMS;

// The parameter item written by each store item, in writing order (every item but 13).
extern const std::array<int, GYRO_STORE_ITEM_COUNT> GYRO_STORE_ORDER;

// Puts the defaults into every field.
void LoadDefaults(GyroParameters& params);

// Endpoints. Encoding: 1520 +/- value * 420 / 100 with integer division; decoding scales the
// offset from 1520 back to percent in single precision and applies RoundPercent.
uint16_t EncodeHighEndpoint(int32_t nPercent);
uint16_t EncodeLowEndpoint(int32_t nPercent);
int32_t DecodeHighEndpoint(uint16_t w);
int32_t DecodeLowEndpoint(uint16_t w);

// r = x truncated toward zero, plus one when x >= r + 0.5: positive halves round up, negative
// values are truncated toward zero. x must lie within the int32_t range.
int32_t RoundPercent(float x);

// Profiles: the gyro counts from the "Fast" end, word = 15 - position.
uint16_t EncodeProfile(int32_t nPosition);
int32_t DecodeProfile(uint16_t w);

// Servo data word: preset key * 256 + speed code (ServoSpeed + 1). A preset row outside the
// table is stored with the "Generic" key so that the gyro always gets a servo it knows.
uint16_t EncodeServoData(int32_t nPreset, int32_t nSpeed);

// Sets ServoPreset and ServoSpeed from nServoData (servo data word - 1): the row of the key in
// bits 8..15, when one matches (otherwise ServoPreset is kept), and the speed in bits 0..7.
void ApplyServoData(int nServoData, GyroParameters& params);

// Servo direction word, read-modify-write: bits 8..12 of wRead are replaced by the direction
// (bit 9) and the type bits. A type outside 0..3 gives wRead unchanged.
uint16_t EncodeServoDirection(uint16_t wRead, int32_t nType, bool bReverse);

// Sets ServoType from bits 8, 10, 11 and 12 (an unknown combination keeps it) and
// ServoDirection from bit 9.
void DecodeServoDirection(uint16_t w, GyroParameters& params);

// Decodes the word read for parameter item nItem into its field. Item 12 only sets
// nServoData to w - 1; items 9, 10, 13 and numbers outside 0..15 change nothing.
void DecodeParameterWord(int nItem, uint16_t w, GyroParameters& params, int& nServoData);

// One write of the Store sequence.
struct GyroStoreWord {
    uint16_t nAddress;  // 0 for a store item outside 0..14
    uint16_t wValue;
    const wchar_t* pszLabel;  // null: leave the status line unchanged
};

// The address, word and label for store item nStoreItem (0..14). wDirectionRead is the servo
// direction word read from the gyro before the writes.
GyroStoreWord EncodeStoreWord(int nStoreItem, const GyroParameters& params,
                              uint16_t wDirectionRead);

// Identity words.
int32_t DecodeFirmwareVersion(uint16_t w);
// nSerial + wHigh * 65536 in two's complement: a high word of 0x8000 or more gives a negative
// serial number.
int32_t AddSerialNumberHighWord(int32_t nSerial, uint16_t wHigh);

// The Main page's texts for the identity.
std::wstring FormatFirmwareVersion(int32_t nVersion);  // "1.07" for 107
std::wstring FormatLoaderVersion(uint32_t wVersion);   // "1.07" for 0x0107
std::wstring FormatSerialNumber(int32_t nSerial);      // signed decimal
