#include "link/frames.h"

#include <gtest/gtest.h>

#include <string>

#include "link/comport.h"
#include "platform/serial_memory.h"

namespace {

TEST(Frames, RequestsAreBuiltWithTheirChecksums) {
    EXPECT_EQ(BuildReadFrame(0x0008), "000801F7aa");
    EXPECT_EQ(BuildReadFrame(0x0000), "000001FFaa");
    EXPECT_EQ(BuildReadFrame(0x0006), "000601F9aa");
    EXPECT_EQ(BuildReadFrame(0x000A), "000A01F5aa");
    EXPECT_EQ(BuildReadFrame(0x000C), "000C01F3aa");
    EXPECT_EQ(BuildReadFrame(0x0004), "000401FBaa");
    EXPECT_EQ(BuildReadFrame(0x011E), "011E01E0aa");
    // Parameter word n: checksum (-2n - 2) mod 256.
    for (int n = 0; n < 16; ++n) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "01%02X01%02Xaa", 2 * n, (256 - 2 * n - 2) & 0xFF);
        EXPECT_EQ(BuildReadFrame(static_cast<uint16_t>(0x0100 + 2 * n)), expected);
    }
    EXPECT_EQ(BuildWriteFrame(0x0104, 100), "006401040295aa");
    EXPECT_EQ(BuildWriteFrame(0x010A, 0xFFCE), "FFCE010A0226aa");
}

TEST(Frames, DecodeHexPairTakesUppercaseAndComputesAnythingElse) {
    EXPECT_EQ(DecodeHexPair(L'0', L'0'), 0x00);
    EXPECT_EQ(DecodeHexPair(L'F', L'F'), 0xFF);
    EXPECT_EQ(DecodeHexPair(L'9', L'A'), 0x9A);
    EXPECT_EQ(DecodeHexPair(L'A', L'9'), 0xA9);
    // Lowercase is not hex here: 'a' gives (97 - 7) * 16 = 0x5A0 -> 0xA0, plus 97 - 55 = 42.
    EXPECT_EQ(DecodeHexPair(L'a', L'a'), (0xA0 + 42) & 0xFF);
    EXPECT_EQ(DecodeHexPair(L'.', L'<'), ((('.' - 7) * 16) + ('<' - 55)) & 0xFF);
}

TEST(Frames, AnswerCompleteTests) {
    EXPECT_TRUE(IsWakeupEchoComplete(L"01234"));
    EXPECT_TRUE(IsWakeupEchoComplete(L"xx01234yy"));
    EXPECT_FALSE(IsWakeupEchoComplete(L"0123"));
    EXPECT_FALSE(IsIdentityAnswerComplete(L"<000801>.04800"));  // 14 characters
    EXPECT_TRUE(IsIdentityAnswerComplete(L"<000801>.048007"));
    EXPECT_FALSE(IsIdentityAnswerComplete(L"<000801>/0480078aa"));  // no '.'
    EXPECT_TRUE(IsParameterAnswerComplete(L"xxxxxxxxx0003FD"));     // no '.' needed
    EXPECT_FALSE(IsParameterAnswerComplete(L"xxxxxxxxx0003F"));
    EXPECT_TRUE(IsWriteAckComplete(L"."));
    EXPECT_FALSE(IsWriteAckComplete(L"<010402>/"));
}

TEST(Frames, ParseWordAnswerChecksOnlyTheLowDigitOfEachGroup) {
    uint16_t wWord = 0;
    EXPECT_TRUE(
        ParseWordAnswer(L"123456789"
                        L"0003FD",
                        wWord));
    EXPECT_EQ(wWord, 3);
    EXPECT_TRUE(
        ParseWordAnswer(L"123456789"
                        L"0003ED",
                        wWord));
    EXPECT_EQ(wWord, 3);
    wWord = 77;
    EXPECT_FALSE(
        ParseWordAnswer(L"123456789"
                        L"0003FE",
                        wWord));
    EXPECT_EQ(wWord, 77);
    EXPECT_TRUE(
        ParseWordAnswer(L"<010001>."
                        L"079465aa",
                        wWord));
    EXPECT_EQ(wWord, 0x0794);
    // Two groups with 16 or 17 characters: both must pass, the first gives the word.
    EXPECT_TRUE(
        ParseWordAnswer(L"123456789"
                        L"0480"
                        L"7C"
                        L"aaaa"
                        L"0102FD",
                        wWord));
    EXPECT_EQ(wWord, 0x0480);
    EXPECT_FALSE(
        ParseWordAnswer(L"123456789"
                        L"04807C"
                        L"aaaa"
                        L"0102FE",
                        wWord));
}

TEST(Frames, ParseWordAnswerNeverReadsPastTheText) {
    // After the 9 skipped characters: 6..11 and 16..17 characters hold whole groups; any
    // other length would put a group past the end and fails.
    uint16_t wWord = 0;
    const std::wstring strHead = L"123456789";
    const std::wstring strGroup = L"0003FD";
    for (size_t nRest = 0; nRest <= 40; ++nRest) {
        std::wstring strText = strHead + strGroup;
        while (strText.size() < strHead.size() + nRest)
            strText += strGroup;
        strText.resize(strHead.size() + nRest);
        // Each group at a 10-character stride reads "0003FD" or a shifted copy; make the
        // ones that fit pass so that only the length decides.
        for (size_t k = 1; 10 * k + 6 <= nRest; ++k)
            strText.replace(9 + 10 * k, 6, strGroup);
        const bool bFits = (nRest >= 6 && nRest <= 11) || nRest == 16 || nRest == 17;
        // Copy into an exactly sized buffer so that a read past the end shows up under ASan.
        const std::wstring strExact(strText.begin(), strText.end());
        EXPECT_EQ(ParseWordAnswer(strExact, wWord), bFits) << "rest of " << nRest;
    }
}

struct ReceiveTest : ::testing::Test {
    ReceiveTest() {
        opener.Attach("COM3:", &line);
        platform::SetSerialOpener(&opener);
        EXPECT_EQ(ComPortOpen(2, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    }
    ~ReceiveTest() override {
        ComPortClose(2);
        platform::SetSerialOpener(nullptr);
    }
    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    platform::MemorySerialLine line{loop};
    platform::MemorySerialOpener opener;
};

TEST_F(ReceiveTest, PollGathersWhatWaitsAndAZeroByteCutsTheRest) {
    EXPECT_FALSE(ReceivePoll(2).bGathered);
    line.FarWrite(
        std::string("<000801>.\0"
                    "048007aa",
                    18));
    loop.RunFor(10);
    ReceivedText received = ReceivePoll(2);
    EXPECT_TRUE(received.bGathered);
    EXPECT_EQ(received.strText, L"<000801>.");
    // The bytes after the zero were taken from the port with it.
    EXPECT_FALSE(ReceivePoll(2).bGathered);

    line.FarWrite(std::string("\0abc", 4));
    loop.RunFor(10);
    received = ReceivePoll(2);
    EXPECT_TRUE(received.bGathered);
    EXPECT_EQ(received.strText, L"");
}

TEST_F(ReceiveTest, PollTakesAtMost999BytesAndLeavesTheRestForTheNext) {
    std::string strBytes;
    for (int i = 0; i < 1500; ++i)
        strBytes += static_cast<char>('A' + i % 26);
    line.FarWrite(strBytes);
    loop.RunFor(1000);
    ReceivedText first = ReceivePoll(2);
    EXPECT_EQ(first.strText.size(), 999u);
    ReceivedText second = ReceivePoll(2);
    ASSERT_EQ(second.strText.size(), 501u);
    std::wstring strAll = first.strText + second.strText;
    EXPECT_EQ(strAll, std::wstring(strBytes.begin(), strBytes.end()));
    // Bytes above 0x7F become the character of the same code.
    line.FarWrite("\xE9");
    loop.RunFor(1);
    EXPECT_EQ(ReceivePoll(2).strText, std::wstring(1, wchar_t{0xE9}));
}

TEST_F(ReceiveTest, SendFrameReportsEveryShortfallWithItsMessage) {
    std::wstring strFailure = L"stale";
    EXPECT_EQ(SendFrame(3, "000801F7aa", strFailure), 10);
    EXPECT_EQ(strFailure, L"");
    EXPECT_EQ(line.SentByProgram(), "000801F7aa");

    EXPECT_EQ(SendFrame(3, "", strFailure), COMPORT_BAD_ARGUMENT);
    EXPECT_EQ(strFailure, L"Problem with COM3: Error Code: -101");
    EXPECT_EQ(SendFrame(4, "01234", strFailure), COMPORT_NOT_OPEN);
    EXPECT_EQ(strFailure, L"Problem with COM4: Error Code: -3");
    EXPECT_EQ(SendFrame(9, "01234", strFailure), COMPORT_BAD_INDEX);
    EXPECT_EQ(strFailure, L"Problem with COM9: Error Code: -1");

    line.Disconnect();
    EXPECT_EQ(SendFrame(3, "01234", strFailure), COMPORT_SYSTEM_ERROR);
    EXPECT_EQ(strFailure, L"Problem with COM3: Input/output error");
}

}  // namespace
