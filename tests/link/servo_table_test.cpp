#include "link/servo_table.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

// Columns of the catalogue by row: stored key, type-list index and speed code selected.
const int KEYS[SERVO_PRESET_COUNT] = {0,  10, 11, 25, 26, 27, 28, 29, 30, 24, 5,  6,  16,
                                      1,  2,  17, 3,  4,  12, 13, 31, 36, 32, 21, 19, 8,
                                      33, 20, 7,  37, 35, 15, 18, 33, 34, 14, 9,  22, 23};
const int TYPES[SERVO_PRESET_COUNT] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0,
                                       3, 0, 0, 2, 2, 0, 0, 2, 0, 0, 0, 3, 3, 0, 1, 0, 0, 2, 2};
const int SPEED_CODES[SERVO_PRESET_COUNT] = {5, 7, 15, 13, 8,  13, 9,  10, 9, 6, 12, 10, 7,
                                             8, 6, 6,  8,  14, 10, 10, 7,  7, 8, 10, 11, 11,
                                             7, 9, 5,  7,  7,  7,  5,  9,  5, 7, 6,  12, 11};

const wchar_t* const NAMES[SERVO_PRESET_COUNT] = {
    L"Generic",          L"Airtronics 94758",  L"Airtronics 94761",  L"Align DS410",
    L"Align DS420",      L"Align DS510",       L"Align DS520",       L"Align DS610",
    L"Align DS620",      L"Futaba BLS251",     L"Futaba S3153",      L"Futaba S3154",
    L"Futaba S9251",     L"Futaba S9253",      L"Futaba S9254",      L"Futaba S9256",
    L"Futaba S9257",     L"Futaba S9650",      L"Hitec HS-5925MG",   L"Hitec HS-6965HB",
    L"Hitec HSG-5083MG", L"Hitec HSG-5084MG",  L"JR 290G",           L"JR 810G",
    L"JR 2700G",         L"JR 3400G",          L"JR 3500G",          L"JR 8700G",
    L"JR 8900G",         L"Ino-Lab HG-D201HB", L"Ino-Lab HG-D261HB", L"LogicTech 3100G",
    L"LogicTech 6100G",  L"MKS DS9670",        L"MKS DS9810",        L"Robbe FS61BB",
    L"Sanwa ERG-WRX",    L"Sky HDS-577",       L"Sky HDS-877"};
// The type list: entry, pulse code, frame code.
const std::tuple<const wchar_t*, int, int> TYPE_LIST[SERVO_TYPE_COUNT] = {{L"1520usec/333Hz", 0, 0},
                                                                          {L"760usec/560Hz", 1, 2},
                                                                          {L"1520usec/250Hz", 0, 1},
                                                                          {L"960usec/333Hz", 2, 0}};

TEST(ServoTable, EveryRowSelectsItsTypeAndSpeed) {
    for (int nType = 0; nType < SERVO_TYPE_COUNT; ++nType)
        EXPECT_EQ(std::tuple(std::wstring(SERVO_TYPES[nType].pszName),
                             SERVO_TYPES[nType].nPulseCode, SERVO_TYPES[nType].nFrameCode),
                  TYPE_LIST[nType]);
    for (int nSpeed = 0; nSpeed < SERVO_SPEED_COUNT; ++nSpeed)
        EXPECT_EQ(SERVO_SPEEDS[nSpeed],
                  (nSpeed < 9 ? L"0.0" : L"0.1") + std::to_wstring((nSpeed + 1) % 10));
    for (int nRow = 0; nRow < SERVO_PRESET_COUNT; ++nRow) {
        SCOPED_TRACE(nRow);
        EXPECT_EQ(ServoPresetKey(nRow), KEYS[nRow]);
        const int nType = ServoPresetType(nRow);
        ASSERT_EQ(nType, TYPES[nRow]);
        EXPECT_EQ(ServoPresetSpeed(nRow), SPEED_CODES[nRow] - 1);
        // The selected type has the model's own pulse and frame codes.
        EXPECT_EQ(
            std::tuple(std::wstring(SERVO_PRESETS[nRow].pszName), SERVO_PRESETS[nRow].nPulseCode,
                       SERVO_PRESETS[nRow].nFrameCode),
            std::tuple(NAMES[nRow], std::get<1>(TYPE_LIST[nType]), std::get<2>(TYPE_LIST[nType])));
    }
}

TEST(ServoTable, KeyLookupFindsTheFirstRow) {
    for (int nKey = 0; nKey <= 37; ++nKey)
        EXPECT_EQ(ServoPresetKey(ServoPresetForKey(nKey)), nKey);
    EXPECT_EQ(ServoPresetForKey(33), 26);  // "JR 3500G", never "MKS DS9670"
    for (int nKey : {38, 0xFF, -1})
        EXPECT_EQ(ServoPresetForKey(nKey), SERVO_NO_MATCH) << nKey;
    for (int nRow : {-1, SERVO_PRESET_COUNT}) {
        EXPECT_EQ(ServoPresetKey(nRow), SERVO_NO_MATCH);
        EXPECT_EQ(ServoPresetType(nRow), SERVO_NO_MATCH);
        EXPECT_EQ(ServoPresetSpeed(nRow), SERVO_NO_MATCH);
    }
}

}  // namespace
