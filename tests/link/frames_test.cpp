// The answer tests and the receive poll. Request frames are checked by the software gyro,
// which refuses a bad one, in the Read and Store tests.
#include "link/frames.h"

#include <gtest/gtest.h>

#include <string>

#include "link/comport.h"
#include "platform/serial_memory.h"

namespace {

TEST(Frames, AnswerCompleteTests) {
    EXPECT_FALSE(IsIdentityAnswerComplete(L"<000801>.04800"));  // 14 characters
    EXPECT_TRUE(IsIdentityAnswerComplete(L"<000801>.048007"));
    EXPECT_FALSE(IsIdentityAnswerComplete(L"<000801>/0480078aa"));  // no '.'
    EXPECT_TRUE(IsParameterAnswerComplete(L"xxxxxxxxx0003FD"));     // no '.' needed
    EXPECT_FALSE(IsParameterAnswerComplete(L"xxxxxxxxx0003F"));
    EXPECT_TRUE(IsWriteAckComplete(L"."));
    EXPECT_FALSE(IsWriteAckComplete(L"<010402>/"));
}

// What follows the 9 skipped characters: groups of high, low and checksum pairs every 10
// characters. All groups must pass, on the low digit of their sum only; the first gives the
// word. Only uppercase hex digits: an answer shifted by a noise byte puts its '.' in a group.
TEST(Frames, ParseWordAnswerChecksOnlyTheLowDigitOfEveryGroup) {
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
        {L"00aa06", false, 77},
        {L".00000", false, 77},
    };
    for (const auto& c : CASES) {
        uint16_t wWord = 77;
        EXPECT_EQ(ParseWordAnswer(L"<010001>." + std::wstring(c.pRest), wWord), c.bParsed)
            << c.pRest;
        EXPECT_EQ(wWord, c.wWord) << c.pRest;
    }
    // 6..11 and 16..17 characters hold whole groups; any other length would put a group past
    // the end and fails. An exactly sized text, so that a read past the end shows under ASan.
    for (size_t nRest = 0; nRest <= 40; ++nRest) {
        std::wstring strText = L"123456789";
        while (strText.size() < 9 + nRest)
            strText += L"0003FDaaaa";
        uint16_t wWord = 0;
        const bool bFits = (nRest >= 6 && nRest <= 11) || nRest == 16 || nRest == 17;
        EXPECT_EQ(ParseWordAnswer(strText.substr(0, 9 + nRest), wWord), bFits) << nRest;
    }
}

// One poll takes 999 bytes at most; bytes above 0x7F become the character of that code; a
// 0x00 byte ends the text, and the bytes after it go with it.
TEST(Frames, PollTakes999BytesAtMostAndAZeroByteCutsTheRest) {
    platform::HeadlessEventLoop loop{platform::ClockKind::Virtual};
    platform::MemorySerialLine line{loop};
    platform::MemorySerialOpener opener;
    opener.Attach("COM3:", &line);
    platform::SetSerialOpener(&opener);
    ASSERT_EQ(ComPortOpen(2, COMPORT_BUFFER_SIZE, COMPORT_BUFFER_SIZE), 0);
    const std::string strBytes(999, 'A');
    line.FarWrite(strBytes + std::string("\xE9<000801>.\0"
                                         "048007aa",
                                         19));
    loop.RunFor(1000);
    EXPECT_EQ(ReceivePoll(2).strText, std::wstring(999, L'A'));
    EXPECT_EQ(ReceivePoll(2).strText, L"\u00E9<000801>.");
    EXPECT_FALSE(ReceivePoll(2).bGathered);
    ComPortClose(2);
    platform::SetSerialOpener(nullptr);
}

}  // namespace
