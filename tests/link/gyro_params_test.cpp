#include "link/gyro_params.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>

#include "link/servo_table.h"

namespace {

TEST(GyroParams, LoadDefaultsSetsEveryField) {
    GyroParameters params{1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, true};
    LoadDefaults(params);
    const GyroParameters expected{100, 100, 100, 100, 5, -50, -50, 15, 15, 100, 0, 5, 0, 0, false};
    EXPECT_EQ(params, expected);
}

TEST(GyroParams, Endpoints) {
    EXPECT_EQ(EncodeHighEndpoint(100), 1940);
    EXPECT_EQ(EncodeLowEndpoint(100), 1100);
    EXPECT_EQ(EncodeHighEndpoint(33), 1658);
    EXPECT_EQ(DecodeHighEndpoint(1658), 33);  // x = 32.857 rounds up
    EXPECT_EQ(DecodeHighEndpoint(1517), 0);   // x = -0.714 truncates toward zero
    EXPECT_EQ(DecodeLowEndpoint(1523), 0);
    for (int nPercent = 0; nPercent <= 300; ++nPercent) {
        EXPECT_EQ(DecodeHighEndpoint(EncodeHighEndpoint(nPercent)), nPercent);
        EXPECT_EQ(DecodeLowEndpoint(EncodeLowEndpoint(nPercent)), nPercent);
    }
    // Negative values come back truncated toward zero unless a multiple of 5.
    for (auto [nStored, nRead] : {std::pair{-1, 0}, {-5, -5}, {-6, -5}, {-19, -18}}) {
        EXPECT_EQ(DecodeHighEndpoint(EncodeHighEndpoint(nStored)), nRead) << nStored;
        EXPECT_EQ(DecodeLowEndpoint(EncodeLowEndpoint(nStored)), nRead) << nStored;
    }
    for (auto [x, nRounded] :
         {std::pair{0.49f, 0}, {0.5f, 1}, {2.5f, 3}, {-0.5f, 0}, {-1.9f, -1}}) {
        EXPECT_EQ(RoundPercent(x), nRounded) << x;
    }
}

TEST(GyroParams, SignedAndUnsignedWords) {
    GyroParameters params;
    int nServoData = 0;
    for (int nItem : {5, 6, 11, 14})
        DecodeParameterWord(nItem, 0xFFCE, params, nServoData);
    EXPECT_EQ(params.AvcsRudderExponential, -50);
    EXPECT_EQ(params.RateRudderExponential, -50);
    EXPECT_EQ(params.MidpointTrim, -50);
    EXPECT_EQ(params.AvcsRudderSensitivity, 65536 - 50);  // unsigned
    EXPECT_EQ(DecodeProfile(16), -1);
}

TEST(GyroParams, ServoDataWord) {
    const int nKey4Row = ServoPresetForKey(4);
    EXPECT_EQ(EncodeServoData(nKey4Row, 5), 0x0406);
    EXPECT_EQ(EncodeServoData(SERVO_PRESET_COUNT, 0), 0x0001);  // unknown row: "Generic"

    GyroParameters params;
    int nServoData = 0;
    // Word, row expected afterwards (9 = kept), speed expected.
    for (auto [w, nRow, nSpeed] : {std::tuple{0x0406, nKey4Row, 5}, {0x2606, 9, 5}, {0, 9, 0xFF}}) {
        params.ServoPreset = 9;
        DecodeParameterWord(GYRO_ITEM_SERVO_DATA, static_cast<uint16_t>(w), params, nServoData);
        ApplyServoData(nServoData, params);
        EXPECT_EQ(params.ServoPreset, nRow) << w;
        EXPECT_EQ(params.ServoSpeed, nSpeed) << w;
    }
    for (int nRow = 0; nRow < SERVO_PRESET_COUNT; ++nRow) {
        for (int nSpeed = 0; nSpeed < SERVO_SPEED_COUNT; ++nSpeed) {
            ApplyServoData(EncodeServoData(nRow, nSpeed) - 1, params);
            EXPECT_EQ(params.ServoPreset, nRow == 33 ? 26 : nRow);  // key 33 is shared
            EXPECT_EQ(params.ServoSpeed, nSpeed);
        }
    }
}

TEST(GyroParams, ServoDirectionWord) {
    // Word read, type, reverse, word written.
    const std::tuple<int, int, bool, int> WRITES[] = {
        {0x0000, 0, false, 0x0000},  {0x00FF, 1, true, 0x0BFF},  {0xFFFF, 2, true, 0xE6FF},
        {0x1F00, 0, false, 0x0000},  {0xE0FF, 3, false, 0xF1FF}, {0x1234, 4, true, 0x1234},
        {0x1234, -1, false, 0x1234},
    };
    for (auto [wRead, nType, bReverse, wWritten] : WRITES) {
        EXPECT_EQ(EncodeServoDirection(static_cast<uint16_t>(wRead), nType, bReverse), wWritten)
            << std::hex << wRead << " type " << nType;
    }
    // Word read, type afterwards (7 = kept), reverse.
    const std::tuple<int, int, bool> READS[] = {
        {0x0000, 0, false}, {0xE2FF, 0, true},  {0x0900, 1, false}, {0x0400, 2, false},
        {0x1300, 3, true},  {0x0100, 7, false}, {0x0F00, 7, true},  {0x1D00, 7, false},
    };
    for (auto [w, nType, bReverse] : READS) {
        GyroParameters params;
        params.ServoType = 7;
        DecodeServoDirection(static_cast<uint16_t>(w), params);
        EXPECT_EQ(params.ServoType, nType) << std::hex << w;
        EXPECT_EQ(params.ServoDirection, bReverse) << std::hex << w;
    }
}

// A store written into a gyro's memory and read back gives the same values.
TEST(GyroParams, StoreThenReadRestoresEveryField) {
    const GyroParameters stored{120, 45, 80, 70, 9, -30, 25, 4, 11, 60, 20, 9, 3, -17, true};
    uint16_t memory[GYRO_PARAMETER_COUNT] = {};
    for (int nStoreItem = 0; nStoreItem < GYRO_STORE_ITEM_COUNT; ++nStoreItem) {
        const GyroStoreWord word = EncodeStoreWord(nStoreItem, stored, 0xA0A5);
        memory[(word.nAddress - GYRO_ADDRESS_PARAMETERS) / 2] = word.wValue;
    }
    EXPECT_EQ(memory[9], memory[7]);
    EXPECT_EQ(memory[10], memory[8]);
    EXPECT_EQ(memory[15] & 0xE0FF, 0xA0A5);  // bits outside the direction field kept

    GyroParameters read;
    LoadDefaults(read);
    int nServoData = 0;
    for (int nItem = 0; nItem < GYRO_PARAMETER_COUNT; ++nItem) {
        EXPECT_EQ(GYRO_PARAMETER_ITEMS[nItem].nAddress, 0x0100 + 2 * nItem);  // what the Read asks
        DecodeParameterWord(nItem, memory[nItem], read, nServoData);
    }
    ApplyServoData(nServoData, read);
    EXPECT_EQ(read, stored);

    // The copies, the unused word and unknown items reach nothing.
    const GyroParameters before = read;
    for (int nItem : {9, 10, 13, -1, 16}) {
        DecodeParameterWord(nItem, 0x1234, read, nServoData);
    }
    EXPECT_EQ(read, before);
    EXPECT_EQ(nServoData, memory[12] - 1);
}

TEST(GyroParams, IdentityTexts) {
    EXPECT_EQ(DecodeFirmwareVersion(0x0196), 250);
    EXPECT_EQ(FormatFirmwareVersion(250), L"2.50");
    EXPECT_EQ(FormatFirmwareVersion(DecodeFirmwareVersion(0x0107)), L"1.07");
    EXPECT_EQ(FormatLoaderVersion(0x0196), L"1.150");
    EXPECT_EQ(FormatLoaderVersion(0x0107), L"1.07");
    // Low word, high word, serial number shown.
    const std::tuple<uint16_t, uint16_t, const wchar_t*> SERIALS[] = {
        {0x1234, 0x0001, L"70196"},
        {0x0000, 0x8000, L"-2147483648"},
        {0x1234, 0x8000, L"-2147478988"},
        {0xFFFF, 0xFFFF, L"-1"},
    };
    for (auto [wLow, wHigh, pszText] : SERIALS) {
        EXPECT_EQ(FormatSerialNumber(AddSerialNumberHighWord(wLow, wHigh)), pszText);
    }
    EXPECT_EQ(AddSerialNumberHighWord(0, 0x8000), INT32_MIN);
}

}  // namespace
