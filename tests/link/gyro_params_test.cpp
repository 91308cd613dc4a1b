// Field values to gyro words and back: the rounding and bit rules. The Read and Store tests
// see one word of each kind go through the software gyro.
#include "link/gyro_params.h"

#include <gtest/gtest.h>

#include <tuple>

#include "link/servo_table.h"

namespace {

// Endpoints read back round positive halves up and truncate negative values toward zero.
TEST(GyroParams, Endpoints) {
    EXPECT_EQ(DecodeHighEndpoint(1658), 33);  // x = 32.857 rounds up
    EXPECT_EQ(DecodeHighEndpoint(1517), 0);   // x = -0.714 truncates toward zero
    EXPECT_EQ(DecodeLowEndpoint(1523), 0);
    EXPECT_EQ(RoundPercent(2.5f), 3);  // no word gives an exact half
    for (int nPercent = 0; nPercent <= 300; ++nPercent) {
        EXPECT_EQ(DecodeHighEndpoint(EncodeHighEndpoint(nPercent)), nPercent);
        EXPECT_EQ(DecodeLowEndpoint(EncodeLowEndpoint(nPercent)), nPercent);
    }
    for (auto [nStored, nRead] : {std::pair{-1, 0}, {-5, -5}, {-6, -5}, {-19, -18}}) {
        EXPECT_EQ(DecodeHighEndpoint(EncodeHighEndpoint(nStored)), nRead) << nStored;
        EXPECT_EQ(DecodeLowEndpoint(EncodeLowEndpoint(nStored)), nRead) << nStored;
    }
}

TEST(GyroParams, ServoDataAndDirectionWords) {
    EXPECT_EQ(EncodeServoData(SERVO_PRESET_COUNT, 0), 0x0001);  // unknown row: "Generic"
    // Servo data word, row afterwards (9 = kept), speed.
    for (auto [w, nRow, nSpeed] :
         {std::tuple{0x0406, ServoPresetForKey(4), 5}, {0x2606, 9, 5}, {0, 9, 0xFF}}) {
        GyroParameters params;
        params.ServoPreset = 9;
        ApplyServoData(w - 1, params);
        EXPECT_EQ(std::pair(params.ServoPreset, params.ServoSpeed), std::pair(nRow, nSpeed)) << w;
    }
    // Direction word read, type, reverse, word written.
    const std::tuple<int, int, bool, int> WRITES[] = {
        {0x0000, 0, false, 0x0000}, {0x00FF, 1, true, 0x0BFF},  {0xFFFF, 2, true, 0xE6FF},
        {0x1F00, 0, false, 0x0000}, {0xE0FF, 3, false, 0xF1FF}, {0x1234, 4, true, 0x1234},
        {0x1234, -1, false, 0x1234}};
    for (auto [wRead, nType, bReverse, wWritten] : WRITES)
        EXPECT_EQ(EncodeServoDirection(static_cast<uint16_t>(wRead), nType, bReverse), wWritten)
            << std::hex << wRead << " type " << nType;
    // Direction word read, type afterwards (7 = kept), reverse.
    const std::tuple<int, int, bool> READS[] = {
        {0x0000, 0, false}, {0xE2FF, 0, true},  {0x0900, 1, false}, {0x0400, 2, false},
        {0x1300, 3, true},  {0x0100, 7, false}, {0x0F00, 7, true},  {0x1D00, 7, false}};
    for (auto [w, nType, bReverse] : READS) {
        GyroParameters params;
        params.ServoType = 7;
        DecodeServoDirection(static_cast<uint16_t>(w), params);
        EXPECT_EQ(std::pair(params.ServoType, params.ServoDirection), std::pair(nType, bReverse))
            << std::hex << w;
    }
}

// A store written into a gyro's memory and read back gives the same values.
TEST(GyroParams, StoreThenReadRestoresEveryField) {
    GyroParameters stored{120, 45, 80, 70, 9, -30, 25, 4, 11, 60, 20, 9, 3, -17, true};
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
    for (int nItem = 0; nItem < GYRO_PARAMETER_COUNT; ++nItem)
        DecodeParameterWord(nItem, memory[nItem], read, nServoData);
    ApplyServoData(nServoData, read);
    EXPECT_EQ(read, stored);

    // The copies, the unused word and unknown items reach nothing; the sensitivity is unsigned.
    for (int nItem : {9, 10, 13, -1, 16, 11})
        DecodeParameterWord(nItem, 0xFFCE, read, nServoData);
    stored.AvcsRudderSensitivity = 65536 - 50;
    EXPECT_EQ(read, stored);
    EXPECT_EQ(nServoData, memory[12] - 1);
    EXPECT_EQ(DecodeProfile(16), -1);
}

TEST(GyroParams, IdentityTexts) {
    EXPECT_EQ(FormatFirmwareVersion(DecodeFirmwareVersion(0x0196)), L"2.50");
    EXPECT_EQ(FormatLoaderVersion(0x0196), L"1.150");
    // Low word, high word, serial number shown.
    const std::tuple<uint16_t, uint16_t, const wchar_t*> SERIALS[] = {
        {0x1234, 0x0001, L"70196"},
        {0x0000, 0x8000, L"-2147483648"},
        {0xFFFF, 0xFFFF, L"-1"},
    };
    for (auto [wLow, wHigh, pszText] : SERIALS)
        EXPECT_EQ(FormatSerialNumber(AddSerialNumberHighWord(wLow, wHigh)), pszText);
}

}  // namespace
