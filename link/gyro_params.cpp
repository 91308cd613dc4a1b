#include "link/gyro_params.h"

#include <cwchar>

#include "link/servo_table.h"

const std::array<GyroParameterItem, GYRO_PARAMETER_COUNT> GYRO_PARAMETER_ITEMS = {{
    {0x0100, L"Read High Endpoint", L"Write High Endpoint"},
    {0x0102, L"Read Low Endpoint", L"Write Low Endpoint"},
    {0x0104, L"Read AVCS Clockwise Stop Gain", L"Write AVCS Clockwise Stop Gain"},
    {0x0106, L"Read AVCS Counter Clockwise Stop Gain", L"Write AVCS Counter Clockwise Stop Gain"},
    {0x0108, L"Read Rudderstick Deadband", L"Write Rudderstick Deadband"},
    {0x010A, L"Read AVCS Rudder Exponential", L"Write AVCS Rudder Exponential"},
    {0x010C, L"Read Rate Rudder Exponential", L"Write Rate Rudder Exponential"},
    {0x010E, L"Read AVCS Acceleration Profile", L"Write AVCS Acceleration Profile"},
    {0x0110, L"Read AVCS Deceleration Profile", L"Write AVCS Deceleration Profile"},
    {0x0112, nullptr, nullptr},  // copy of the acceleration profile word
    {0x0114, nullptr, nullptr},  // copy of the deceleration profile word
    {0x0116, L"Read AVCS Rudder Sensitivity", L"Write AVCS Rudder Sensitivity"},
    {0x0118, L"Read Servo Data", L"Write Servo Data"},
    {0x011A, nullptr, nullptr},  // not used, never written
    {0x011C, L"Read Midpoint Trim", L"Write Midpoint Trim"},
    {0x011E, L"Read Servo Direction", L"Write Servo Direction"},
}};

const std::array<int, GYRO_STORE_ITEM_COUNT> GYRO_STORE_ORDER = {0, 1, 2,  3,  4,  5,  6, 7,
                                                                 8, 9, 10, 11, 12, 14, 15};

namespace {

constexpr int32_t ENDPOINT_CENTRE = 1520;
constexpr int32_t ENDPOINT_SPAN = 420;          // word steps for 100 percent
constexpr float ENDPOINT_SCALE = 0.238095239f;  // 100 / 420

constexpr uint16_t DIRECTION_FIELD_MASK = 0x1F00;  // bits 8..12: type and direction
constexpr uint16_t DIRECTION_TYPE_MASK = 0x1D00;   // bits 8, 10, 11, 12
constexpr uint16_t DIRECTION_REVERSE = 0x0200;     // bit 9
constexpr std::array<uint16_t, SERVO_TYPE_COUNT> DIRECTION_TYPE_BITS = {0x0000, 0x0900, 0x0400,
                                                                        0x1100};

// The low 16 bits of the two's complement form.
uint16_t LowWord(int32_t n) {
    return static_cast<uint16_t>(n);
}

int32_t SignedWord(uint16_t w) {
    return static_cast<int16_t>(w);
}

int32_t EndpointOffset(int32_t nPercent) {
    // In 64 bits so that any field value scales without overflow; truncates toward zero.
    return static_cast<int32_t>(static_cast<int64_t>(nPercent) * ENDPOINT_SPAN / 100);
}

float EndpointScaled(uint16_t w) {
    return (static_cast<float>(w) - 1520.0f) * ENDPOINT_SCALE;
}

// The word for parameter item nItem (0..15).
uint16_t EncodeParameterWord(int nItem, const GyroParameters& params, uint16_t wDirectionRead) {
    switch (nItem) {
        case 0:
            return EncodeHighEndpoint(params.HighEndpoint);
        case 1:
            return EncodeLowEndpoint(params.LowEndpoint);
        case 2:
            return LowWord(params.AvcsCwStopGain);
        case 3:
            return LowWord(params.AvcsCcwStopGain);
        case 4:
            return LowWord(params.RudderstickDeadband);
        case 5:
            return LowWord(params.AvcsRudderExponential);
        case 6:
            return LowWord(params.RateRudderExponential);
        case 7:
        case 9:
            return EncodeProfile(params.AvcsAccelerationProfile);
        case 8:
        case 10:
            return EncodeProfile(params.AvcsDecelerationProfile);
        case 11:
            return LowWord(params.AvcsRudderSensitivity);
        case 12:
            return EncodeServoData(params.ServoPreset, params.ServoSpeed);
        case 14:
            return LowWord(params.MidpointTrim);
        case 15:
            return EncodeServoDirection(wDirectionRead, params.ServoType, params.ServoDirection);
        default:
            return 0;
    }
}

}  // namespace

void LoadDefaults(GyroParameters& params) {
    params.HighEndpoint = 100;
    params.LowEndpoint = 100;
    params.AvcsCwStopGain = 100;
    params.AvcsCcwStopGain = 100;
    params.RudderstickDeadband = 5;
    params.AvcsRudderExponential = -50;
    params.RateRudderExponential = -50;
    params.AvcsAccelerationProfile = 15;
    params.AvcsDecelerationProfile = 15;
    params.AvcsRudderSensitivity = 100;
    params.ServoPreset = 0;
    params.ServoSpeed = 5;
    params.ServoType = 0;
    params.MidpointTrim = 0;
    params.ServoDirection = false;
}

uint16_t EncodeHighEndpoint(int32_t nPercent) {
    return LowWord(ENDPOINT_CENTRE + EndpointOffset(nPercent));
}

uint16_t EncodeLowEndpoint(int32_t nPercent) {
    return LowWord(ENDPOINT_CENTRE - EndpointOffset(nPercent));
}

int32_t DecodeHighEndpoint(uint16_t w) {
    return RoundPercent(EndpointScaled(w));
}

int32_t DecodeLowEndpoint(uint16_t w) {
    return RoundPercent(EndpointScaled(w) * -1.0f);
}

int32_t RoundPercent(float x) {
    const int32_t r = static_cast<int32_t>(x);
    return x >= static_cast<float>(r) + 0.5f ? r + 1 : r;
}

uint16_t EncodeProfile(int32_t nPosition) {
    return static_cast<uint16_t>(15u - static_cast<uint32_t>(nPosition));
}

int32_t DecodeProfile(uint16_t w) {
    return 15 - static_cast<int32_t>(w);
}

uint16_t EncodeServoData(int32_t nPreset, int32_t nSpeed) {
    int nKey = ServoPresetKey(nPreset);
    if (nKey == SERVO_NO_MATCH) {
        nKey = SERVO_PRESETS[0].nPresetKey;
    }
    // Unsigned arithmetic: any speed value wraps instead of overflowing.
    return static_cast<uint16_t>(static_cast<uint32_t>(nKey) * 256u +
                                 static_cast<uint32_t>(nSpeed) + 1u);
}

void ApplyServoData(int nServoData, GyroParameters& params) {
    // A word of 0 gives -1 here, so both bytes read as 0xFF.
    const int nRow = ServoPresetForKey((nServoData >> 8) & 0xFF);
    if (nRow != SERVO_NO_MATCH) {
        params.ServoPreset = nRow;
    }
    params.ServoSpeed = nServoData & 0xFF;
}

uint16_t EncodeServoDirection(uint16_t wRead, int32_t nType, bool bReverse) {
    if (nType < 0 || nType >= SERVO_TYPE_COUNT) {
        return wRead;
    }
    uint16_t w = wRead & static_cast<uint16_t>(~DIRECTION_FIELD_MASK);
    if (bReverse) {
        w |= DIRECTION_REVERSE;
    }
    return w | DIRECTION_TYPE_BITS[nType];
}

void DecodeServoDirection(uint16_t w, GyroParameters& params) {
    const uint16_t wType = w & DIRECTION_TYPE_MASK;
    for (int nType = 0; nType < SERVO_TYPE_COUNT; ++nType) {
        if (wType == DIRECTION_TYPE_BITS[nType]) {
            params.ServoType = nType;
            break;
        }
    }
    params.ServoDirection = (w & DIRECTION_REVERSE) != 0;
}

void DecodeParameterWord(int nItem, uint16_t w, GyroParameters& params, int& nServoData) {
    switch (nItem) {
        case 0:
            params.HighEndpoint = DecodeHighEndpoint(w);
            break;
        case 1:
            params.LowEndpoint = DecodeLowEndpoint(w);
            break;
        case 2:
            params.AvcsCwStopGain = w;
            break;
        case 3:
            params.AvcsCcwStopGain = w;
            break;
        case 4:
            params.RudderstickDeadband = w;
            break;
        case 5:
            params.AvcsRudderExponential = SignedWord(w);
            break;
        case 6:
            params.RateRudderExponential = SignedWord(w);
            break;
        case 7:
            params.AvcsAccelerationProfile = DecodeProfile(w);
            break;
        case 8:
            params.AvcsDecelerationProfile = DecodeProfile(w);
            break;
        case 11:
            params.AvcsRudderSensitivity = w;
            break;
        case 12:
            nServoData = static_cast<int>(w) - 1;
            break;
        case 14:
            params.MidpointTrim = SignedWord(w);
            break;
        case 15:
            DecodeServoDirection(w, params);
            break;
        default:  // 9, 10, 13: copies and the unused word
            break;
    }
}

GyroStoreWord EncodeStoreWord(int nStoreItem, const GyroParameters& params,
                              uint16_t wDirectionRead) {
    if (nStoreItem < 0 || nStoreItem >= GYRO_STORE_ITEM_COUNT) {
        return {0, 0, nullptr};
    }
    const int nItem = GYRO_STORE_ORDER[nStoreItem];
    const GyroParameterItem& item = GYRO_PARAMETER_ITEMS[nItem];
    return {item.nAddress, EncodeParameterWord(nItem, params, wDirectionRead), item.pszWriteLabel};
}

int32_t DecodeFirmwareVersion(uint16_t w) {
    return (w >> 8) * 100 + (w & 0xFF);
}

int32_t AddSerialNumberHighWord(int32_t nSerial, uint16_t wHigh) {
    // Unsigned sum, then the modular conversion back to signed: no overflow.
    return static_cast<int32_t>(static_cast<uint32_t>(nSerial) +
                                (static_cast<uint32_t>(wHigh) << 16));
}

std::wstring FormatFirmwareVersion(int32_t nVersion) {
    wchar_t szText[32];
    std::swprintf(szText, 32, L"%i.%02i", nVersion / 100, nVersion % 100);
    return szText;
}

std::wstring FormatLoaderVersion(uint32_t wVersion) {
    wchar_t szText[32];
    std::swprintf(szText, 32, L"%i.%02i", static_cast<int>(wVersion >> 8),
                  static_cast<int>(wVersion & 0xFF));
    return szText;
}

std::wstring FormatSerialNumber(int32_t nSerial) {
    wchar_t szText[32];
    std::swprintf(szText, 32, L"%i", nSerial);
    return szText;
}
