#include "link/servo_table.h"

const std::array<ServoTypeEntry, SERVO_TYPE_COUNT> SERVO_TYPES = {{
    {L"1520usec/333Hz", 0, 0},
    {L"760usec/560Hz", 1, 2},
    {L"1520usec/250Hz", 0, 1},
    {L"960usec/333Hz", 2, 0},
}};

const std::array<const wchar_t*, SERVO_SPEED_COUNT> SERVO_SPEEDS = {
    L"0.01", L"0.02", L"0.03", L"0.04", L"0.05", L"0.06", L"0.07", L"0.08",
    L"0.09", L"0.10", L"0.11", L"0.12", L"0.13", L"0.14", L"0.15",
};

// Name, preset key, pulse code, frame code, speed code.
const std::array<ServoPresetEntry, SERVO_PRESET_COUNT> SERVO_PRESETS = {{
    {L"Generic", 0, 0, 0, 5},
    {L"Airtronics 94758", 10, 0, 0, 7},
    {L"Airtronics 94761", 11, 0, 0, 15},
    {L"Align DS410", 25, 0, 0, 13},
    {L"Align DS420", 26, 0, 0, 8},
    {L"Align DS510", 27, 0, 0, 13},
    {L"Align DS520", 28, 0, 0, 9},
    {L"Align DS610", 29, 0, 0, 10},
    {L"Align DS620", 30, 0, 0, 9},
    {L"Futaba BLS251", 24, 1, 2, 6},
    {L"Futaba S3153", 5, 0, 0, 12},
    {L"Futaba S3154", 6, 0, 0, 10},
    {L"Futaba S9251", 16, 1, 2, 7},
    {L"Futaba S9253", 1, 0, 0, 8},
    {L"Futaba S9254", 2, 0, 0, 6},
    {L"Futaba S9256", 17, 1, 2, 6},
    {L"Futaba S9257", 3, 0, 0, 8},
    {L"Futaba S9650", 4, 0, 0, 14},
    {L"Hitec HS-5925MG", 12, 0, 0, 10},
    {L"Hitec HS-6965HB", 13, 0, 0, 10},
    {L"Hitec HSG-5083MG", 31, 2, 0, 7},
    {L"Hitec HSG-5084MG", 36, 0, 0, 7},
    {L"JR 290G", 32, 0, 0, 8},
    {L"JR 810G", 21, 0, 1, 10},
    {L"JR 2700G", 19, 0, 1, 11},
    {L"JR 3400G", 8, 0, 0, 11},
    {L"JR 3500G", 33, 0, 0, 7},
    {L"JR 8700G", 20, 0, 1, 9},
    {L"JR 8900G", 7, 0, 0, 5},
    {L"Ino-Lab HG-D201HB", 37, 0, 0, 7},
    {L"Ino-Lab HG-D261HB", 35, 0, 0, 7},
    {L"LogicTech 3100G", 15, 2, 0, 7},
    {L"LogicTech 6100G", 18, 2, 0, 5},
    {L"MKS DS9670", 33, 0, 0, 9},
    {L"MKS DS9810", 34, 1, 2, 5},
    {L"Robbe FS61BB", 14, 0, 0, 7},
    {L"Sanwa ERG-WRX", 9, 0, 0, 6},
    {L"Sky HDS-577", 22, 0, 1, 12},
    {L"Sky HDS-877", 23, 0, 1, 11},
}};

namespace {

bool IsPresetRow(int nRow) {
    return nRow >= 0 && nRow < SERVO_PRESET_COUNT;
}

}  // namespace

int ServoPresetForKey(int nKey) {
    for (int nRow = 0; nRow < SERVO_PRESET_COUNT; ++nRow) {
        if (SERVO_PRESETS[nRow].nPresetKey == nKey) {
            return nRow;
        }
    }
    return SERVO_NO_MATCH;
}

int ServoPresetKey(int nRow) {
    return IsPresetRow(nRow) ? SERVO_PRESETS[nRow].nPresetKey : SERVO_NO_MATCH;
}

int ServoPresetType(int nRow) {
    if (!IsPresetRow(nRow)) {
        return SERVO_NO_MATCH;
    }
    const ServoPresetEntry& preset = SERVO_PRESETS[nRow];
    // The frame rate decides first: only the 250 Hz entry has frame code 1.
    if (preset.nFrameCode == 1) {
        return 2;
    }
    if (preset.nPulseCode == 1) {
        return 1;
    }
    if (preset.nPulseCode != 0) {
        return 3;
    }
    return 0;
}

int ServoPresetSpeed(int nRow) {
    return IsPresetRow(nRow) ? SERVO_PRESETS[nRow].nSpeedCode - 1 : SERVO_NO_MATCH;
}
