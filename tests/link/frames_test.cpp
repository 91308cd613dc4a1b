#include "link/frames.h"

#include <gtest/gtest.h>

#include <string>

#include "link/comport.h"
#include "platform/serial_memory.h"

namespace {

TEST(Frames, RequestsAreBuiltWithTheirChecksums) {
    const std::pair<uint16_t, const char*> READS[] = {
        {0x0008, "000801F7aa"}, {0x0000, "000001FFaa"}, {0x0006, "000601F9aa"},
        {0x000A, "000A01F5aa"}, {0x000C, "000C01F3aa"}, {0x0004, "000401FBaa"},
        {0x0100, "010001FEaa"}, {0x0112, "011201ECaa"}, {0x011E, "011E01E0aa"}};
    for (const auto& [wAddress, pFrame] : READS)
        EXPECT_EQ(BuildReadFrame(wAddress), pFrame);
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

TEST(Frames, ParseWordAnswerChecksOnlyTheLowDigitOfEveryGroup) {
    // What follows the 9 skipped characters: groups of high, low and checksum pairs every 10
    // characters. All groups must pass; the first gives the word.
    const struct {
        const wchar_t* pRest;
        bool bParsed;
        uint16_t wWord;
    } CASES[] = {
        {L"0003FD", true, 3},
        {L"0003ED", true, 3},  // only the low digit counts
        {L"0003FE", false, 77},
        {L"0003F5", false, 77},  // all four bits of it
        {L"079465aa", true, 0x0794},
        {L"04807Caaaa0102FD", true, 0x0480},
        {L"04807Caaaa0102FE", false, 77},
    };
    for (const auto& c : CASES) {
        uint16_t wWord = 77;
        EXPECT_EQ(ParseWordAnswer(L"<010001>." + std::wstring(c.pRest), wWord), c.bParsed)
            << c.pRest;
        EXPECT_EQ(wWord, c.wWord) << c.pRest;
    }
}

TEST(Frames, ParseWordAnswerNeverReadsPastTheText) {
    // After the 9 skipped characters, 6..11 and 16..17 characters hold whole groups; any other
    // length would put a group past the end and fails. Every group that fits passes.
    for (size_t nRest = 0; nRest <= 40; ++nRest) {
        std::wstring strText = L"123456789";
        while (strText.size() < 9 + nRest)
            strText += L"0003FDaaaa";
        // An exactly sized copy, so that a read past the end shows under ASan.
        const std::wstring strExact = strText.substr(0, 9 + nRest);
        uint16_t wWord = 0;
        const bool bFits = (nRest >= 6 && nRest <= 11) || nRest == 16 || nRest == 17;
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

TEST_F(ReceiveTest, PollTakes999BytesAtMostAndAZeroByteCutsTheRest) {
    EXPECT_FALSE(ReceivePoll(2).bGathered);
    std::string strBytes;
    for (int i = 0; i < 999; ++i)
        strBytes += static_cast<char>('A' + i % 26);
    // Bytes above 0x7F become the character of that code.
    line.FarWrite(strBytes + std::string("\xE9<000801>.\0"
                                         "048007aa",
                                         19));
    loop.RunFor(1000);
    EXPECT_EQ(ReceivePoll(2).strText, std::wstring(strBytes.begin(), strBytes.end()));
    ReceivedText received = ReceivePoll(2);
    EXPECT_TRUE(received.bGathered);
    EXPECT_EQ(received.strText, L"\u00E9<000801>.");
    // The bytes after the zero were taken from the port with it.
    EXPECT_FALSE(ReceivePoll(2).bGathered);
    line.FarWrite(std::string("\0abc", 4));
    loop.RunFor(10);
    received = ReceivePoll(2);
    EXPECT_TRUE(received.bGathered);
    EXPECT_EQ(received.strText, L"");
}

TEST_F(ReceiveTest, SendFrameReportsEveryShortfallWithItsMessage) {
    std::wstring strFailure = L"stale";
    EXPECT_EQ(SendFrame(3, "000801F7aa", strFailure), 10);
    EXPECT_EQ(strFailure, L"");
    EXPECT_EQ(line.SentByProgram(), "000801F7aa");
    const std::pair<int, const wchar_t*> SHORTFALLS[] = {
        {3, L"Problem with COM3: Error Code: -101"},  // nothing to write
        {4, L"Problem with COM4: Error Code: -3"},
        {9, L"Problem with COM9: Error Code: -1"}};
    for (const auto& [nPort, pMessage] : SHORTFALLS) {
        EXPECT_LT(SendFrame(nPort, nPort == 3 ? "" : "01234", strFailure), 0);
        EXPECT_EQ(strFailure, pMessage);
    }
    line.Disconnect();
    EXPECT_EQ(SendFrame(3, "01234", strFailure), COMPORT_SYSTEM_ERROR);
    EXPECT_EQ(strFailure, L"Problem with COM3: Input/output error");
}

}  // namespace
