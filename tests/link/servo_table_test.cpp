#include "link/servo_table.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(ServoTable, EveryRowSelectsItsTypeAndSpeed) {
    for (int nRow = 0; nRow < SERVO_PRESET_COUNT; ++nRow) {
        SCOPED_TRACE(nRow);
        EXPECT_EQ(ServoPresetKey(nRow), KEYS[nRow]);
        const int nType = ServoPresetType(nRow);
        ASSERT_EQ(nType, TYPES[nRow]);
        EXPECT_EQ(ServoPresetSpeed(nRow), SPEED_CODES[nRow] - 1);
        // The selected type has the model's own pulse and frame codes.
        EXPECT_EQ(SERVO_TYPES[nType].nPulseCode, SERVO_PRESETS[nRow].nPulseCode);
        EXPECT_EQ(SERVO_TYPES[nType].nFrameCode, SERVO_PRESETS[nRow].nFrameCode);
    }
}

TEST(ServoTable, NamedModels) {
    const struct {
        int nRow;
        const wchar_t *pszName, *pszType, *pszSpeed;
    } CASES[] = {{0, L"Generic", L"1520usec/333Hz", L"0.05"},
                 {9, L"Futaba BLS251", L"760usec/560Hz", L"0.06"},
                 {20, L"Hitec HSG-5083MG", L"960usec/333Hz", L"0.07"},
                 {23, L"JR 810G", L"1520usec/250Hz", L"0.10"}};
    for (const auto& c : CASES) {
        EXPECT_EQ(std::wstring(SERVO_PRESETS[c.nRow].pszName), c.pszName);
        EXPECT_EQ(std::wstring(SERVO_TYPES[ServoPresetType(c.nRow)].pszName), c.pszType);
        EXPECT_EQ(std::wstring(SERVO_SPEEDS[ServoPresetSpeed(c.nRow)]), c.pszSpeed);
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
