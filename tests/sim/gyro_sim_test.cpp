// The software gyro seen from the program's end of an in-memory line on the virtual clock:
// what it answers, when, and how each fault shows on the wire.

#include "sim/gyro_sim.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/event_loop.h"
#include "platform/serial.h"
#include "platform/serial_memory.h"
#include "sim/memory_file.h"
#include "sim/sim_options.h"

namespace {

using sim::CGyroSimulator;
using sim::GyroFaultTarget;

// 10 bits a byte at 19200 baud.
constexpr double BYTE_NS = 1e10 / 19200;
constexpr size_t READ_ANSWER_LENGTH = 15;

// Requests built here, independently of the gyro's own hex code.
std::string Frame(std::initializer_list<unsigned> bytes) {
    unsigned nSum = 0;
    std::string strFrame;
    char pair[3];
    for (const unsigned n : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", n);
        strFrame += pair;
        nSum += n;
    }
    std::snprintf(pair, sizeof pair, "%02X", (256 - nSum % 256) % 256);
    return strFrame + pair + "aa";
}
std::string ReadFrame(unsigned nAddress) {
    return Frame({nAddress >> 8, nAddress & 0xFF, 0x01});
}
std::string WriteFrame(unsigned nAddress, unsigned nValue) {
    return Frame({nValue >> 8, nValue & 0xFF, nAddress >> 8, nAddress & 0xFF, 0x02});
}

// The program's reading of a word answer: skip 9 characters, then groups of three hex pairs
// at every 10th character; a group passes when the low 4 bits of its sum are zero. Any
// character decodes, by the program's arithmetic.
unsigned DecodePair(char h, char l) {
    const unsigned nHigh = (h >= '0' && h <= '9' ? h : h - 7) * 16u & 0xFF;
    return (nHigh + static_cast<unsigned>(l >= '0' && l <= '9' ? l - 48 : l - 55)) & 0xFF;
}
struct Decoded {
    bool bPassed = false;
    uint16_t nWord = 0;
    bool bFullChecksum = false;  // all 8 bits of the sum are zero
};
Decoded DecodeAnswer(const std::string& strBuffer) {
    Decoded decoded;
    if (strBuffer.size() < 9 + 6)
        return decoded;
    const std::string strRest = strBuffer.substr(9);
    decoded.bPassed = true;
    decoded.bFullChecksum = true;
    for (size_t k = 0; k < strRest.size() / 6; ++k) {
        if (10 * k + 6 > strRest.size())
            return Decoded{};
        unsigned byte[3];
        for (size_t i = 0; i < 3; ++i)
            byte[i] = DecodePair(strRest[10 * k + 2 * i], strRest[10 * k + 2 * i + 1]);
        const unsigned nSum = byte[0] + byte[1] + byte[2];
        decoded.bPassed = decoded.bPassed && (nSum & 0x0F) == 0;
        decoded.bFullChecksum = decoded.bFullChecksum && (nSum & 0xFF) == 0;
        if (k == 0)
            decoded.nWord = static_cast<uint16_t>(byte[0] << 8 | byte[1]);
    }
    return decoded;
}

class GyroSimTest : public testing::Test {
  protected:
    void SetUp() override {
        m_gyro.AttachTo(m_line);
        m_pPort = m_line.OpenProgramEnd();
        ASSERT_TRUE(m_pPort);
        platform::SerialLineSettings settings;
        ASSERT_TRUE(m_pPort->GetLineSettings(settings));
        settings.nBaudRate = 19200;
        settings.nByteSize = 8;
        settings.nParity = platform::PARITY_NONE;
        settings.nStopBits = platform::STOP_BITS_ONE;
        ASSERT_TRUE(m_pPort->SetLineSettings(settings));
    }

    void Send(const std::string& strBytes) {
        uint32_t nWritten = 0;
        ASSERT_TRUE(m_pPort->Write(reinterpret_cast<const uint8_t*>(strBytes.data()),
                                   static_cast<uint32_t>(strBytes.size()), nWritten));
        ASSERT_EQ(nWritten, strBytes.size());
    }
    void Drain() {
        uint8_t buffer[64];
        uint32_t nRead = 0;
        while (m_pPort->Read(buffer, sizeof buffer, nRead) && nRead > 0)
            m_strReceived.append(reinterpret_cast<const char*>(buffer), nRead);
    }
    // Everything that arrives within the time after sending.
    std::string Collect(const std::string& strRequest, int64_t nMs = 100) {
        m_strReceived.clear();
        Send(strRequest);
        m_loop.RunFor(nMs);
        Drain();
        return m_strReceived;
    }
    // Time from sending until the given number of characters has arrived; -1 when never.
    int64_t TimeToReceive(const std::string& strRequest, size_t nCount, int64_t nLimitMs = 2000) {
        m_strReceived.clear();
        const int64_t nStart = m_loop.NowNs();
        Send(strRequest);
        const bool bArrived = m_loop.RunUntil(
            [&] {
                Drain();
                return m_strReceived.size() >= nCount;
            },
            nLimitMs);
        return bArrived ? m_loop.NowNs() - nStart : -1;
    }

    platform::HeadlessEventLoop m_loop{platform::ClockKind::Virtual};
    platform::MemorySerialLine m_line{m_loop};
    CGyroSimulator m_gyro{m_loop};
    std::unique_ptr<platform::SerialDevice> m_pPort;
    std::string m_strReceived;
};

// ---- What the gyro answers

TEST_F(GyroSimTest, OurOwnFramesMatchTheKnownRequests) {
    EXPECT_EQ(ReadFrame(0x0008), "000801F7aa");
    EXPECT_EQ(ReadFrame(0x011E), "011E01E0aa");
    EXPECT_EQ(WriteFrame(0x0104, 100), "006401040295aa");
}

TEST_F(GyroSimTest, WakeUpIsEchoedExactlyAlsoAfterStrayCharacters) {
    EXPECT_EQ(Collect("01234"), "01234");
    EXPECT_EQ(Collect("x\r\n3F01234"), "01234");
    EXPECT_EQ(m_gyro.WakeUps(), 2u);
    EXPECT_EQ(m_gyro.RequestCount(), 0u);
}

TEST_F(GyroSimTest, IdentityWordsPassTheProgramsAnswerTestAndDecode) {
    const std::pair<uint16_t, uint16_t> identity[] = {
        {0x0000, 3},      {0x0004, 0x0103}, {0x0006, 0x0107},
        {0x0008, 0x0480}, {0x000A, 0x2345}, {0x000C, 0x0001},
    };
    for (const auto& [nAddress, nWord] : identity) {
        SCOPED_TRACE(nAddress);
        const std::string strAnswer = Collect(ReadFrame(nAddress));
        ASSERT_EQ(strAnswer.size(), READ_ANSWER_LENGTH) << strAnswer;
        // The '.' stands in the skipped part, so the 15th character completes the answer.
        EXPECT_EQ(strAnswer.find('.'), 8u);
        const Decoded decoded = DecodeAnswer(strAnswer);
        EXPECT_TRUE(decoded.bPassed);
        EXPECT_TRUE(decoded.bFullChecksum);
        EXPECT_EQ(decoded.nWord, nWord);
        EXPECT_EQ(m_gyro.ReadCount(nAddress), 1u);
    }
    EXPECT_EQ(m_gyro.Word(0x000A) + 65536 * m_gyro.Word(0x000C), 74565);
}

TEST_F(GyroSimTest, ParameterBlockHoldsTheDefaultsAndOtherAddressesReadZero) {
    for (size_t i = 0; i < sim::PARAMETER_WORDS; ++i) {
        const Decoded decoded =
            DecodeAnswer(Collect(ReadFrame(0x0100 + 2 * static_cast<unsigned>(i))));
        EXPECT_TRUE(decoded.bPassed && decoded.bFullChecksum) << i;
        EXPECT_EQ(decoded.nWord, sim::DEFAULT_PARAMETER_WORDS[i]) << i;
    }
    EXPECT_EQ(DecodeAnswer(Collect(ReadFrame(0x0002))).nWord, 0);
    EXPECT_EQ(DecodeAnswer(Collect(ReadFrame(0x0120))).nWord, 0);
    EXPECT_EQ(m_gyro.ReadCount(), 18u);
}

TEST_F(GyroSimTest, WriteIsAcknowledgedWithTheDotLastAndStored) {
    std::vector<sim::GyroWrite> observed;
    m_gyro.SetStoreObserver([&](uint16_t a, uint16_t v) { observed.push_back({a, v}); });
    EXPECT_EQ(Collect("006401040295aa"), "<010402>.");
    EXPECT_EQ(Collect(WriteFrame(0x011C, 0xFFCE)), "<011C02>.");
    EXPECT_EQ(DecodeAnswer(Collect(ReadFrame(0x011C))).nWord, 0xFFCE);
    const std::vector<sim::GyroWrite> expected = {{0x0104, 100}, {0x011C, 0xFFCE}};
    EXPECT_EQ(m_gyro.Writes(), expected);
    EXPECT_EQ(observed, expected);
}

// ---- What the gyro refuses or ignores

TEST_F(GyroSimTest, RefusalsCarryNoDotAndChangeNothing) {
    const sim::ParameterWords before = m_gyro.Parameters();
    EXPECT_EQ(Collect("000801F8aa"), "<000801>/");                     // checksum off by one
    EXPECT_EQ(Collect(Frame({0x00, 0x08, 0x03})), "<000803>/");        // unknown command
    EXPECT_EQ(Collect(WriteFrame(0x0008, 0x0390)), "<000802>/");       // identity is read-only
    EXPECT_EQ(Collect(WriteFrame(0x0120, 1)), "<012002>/");            // past the block
    EXPECT_EQ(Collect(WriteFrame(0x0105, 1)), "<010502>/");            // not a word address
    EXPECT_EQ(Collect(Frame({0x00, 0x00, 0x08, 0x01})), "<000801>/");  // a read one byte long
    EXPECT_EQ(m_gyro.RefusedCount(), 6u);
    EXPECT_EQ(m_gyro.ReadCount(0x0008), 0u);
    EXPECT_TRUE(m_gyro.Writes().empty());
    EXPECT_EQ(m_gyro.Parameters(), before);
    EXPECT_EQ(m_gyro.Word(sim::ADDR_PRODUCT_ID), 0x0480);
}

TEST_F(GyroSimTest, GarbageIsDroppedAndTheNextTerminatorResynchronises) {
    // Characters that are not hex vanish; a lone 'a' is noise, not half a terminator.
    EXPECT_EQ(DecodeAnswer(Collect("zz\r\n00a0801F7aa")).nWord, 0x0480);
    // Too short or an odd digit count: no answer at all, and the next request is served.
    EXPECT_EQ(Collect("0008aa"), "");
    EXPECT_EQ(Collect("000801F7Caa"), "");
    EXPECT_EQ(DecodeAnswer(Collect(ReadFrame(0x0000))).nWord, 3);
    EXPECT_EQ(m_gyro.Requests()[1].nOutcome, sim::GyroOutcome::MALFORMED);
    EXPECT_EQ(m_gyro.Requests()[2].nOutcome, sim::GyroOutcome::MALFORMED);
}

// ---- When the answers arrive

TEST_F(GyroSimTest, AnswersArriveAtTheLinesByteTime) {
    EXPECT_NEAR(static_cast<double>(TimeToReceive("01234", 5)), 10 * BYTE_NS, 1000);
    EXPECT_NEAR(static_cast<double>(TimeToReceive(ReadFrame(0x0008), READ_ANSWER_LENGTH)),
                (10 + READ_ANSWER_LENGTH) * BYTE_NS, 1000);
    EXPECT_NEAR(static_cast<double>(TimeToReceive(WriteFrame(0x0104, 7), 9)), (14 + 9) * BYTE_NS,
                1000);
}

TEST_F(GyroSimTest, NothingTrailsAnAnswer) {
    // A byte after the completing one would land in front of the next answer.
    EXPECT_GE(TimeToReceive(ReadFrame(0x0100), READ_ANSWER_LENGTH), 0);
    m_loop.RunFor(1000);
    Drain();
    EXPECT_EQ(m_strReceived.size(), READ_ANSWER_LENGTH);
}

TEST_F(GyroSimTest, DelayHoldsBackTheTargetedAnswersInOrder) {
    m_gyro.SetDelay(200);
    EXPECT_NEAR(static_cast<double>(TimeToReceive(ReadFrame(0x0008), READ_ANSWER_LENGTH)),
                200e6 + 25 * BYTE_NS, 1000);

    // Only 0x0000 is slow; the answer to a request sent meanwhile waits behind it.
    m_gyro.SetDelay(300, GyroFaultTarget::Address(0x0000));
    m_strReceived.clear();
    Send(ReadFrame(0x0000));
    Send(ReadFrame(0x0006));
    EXPECT_EQ(m_gyro.PendingAnswers(), 0u);
    m_loop.RunFor(250);
    Drain();
    EXPECT_EQ(m_strReceived, "");
    EXPECT_EQ(m_gyro.PendingAnswers(), 2u);
    m_loop.RunFor(100);
    Drain();
    EXPECT_EQ(m_strReceived, "<000001>.0003FD<000601>.0107F8");
}

// ---- Faults on demand

TEST_F(GyroSimTest, NoEchoStillAnswersRequests) {
    m_gyro.SetNoEcho(true);
    EXPECT_EQ(Collect("01234", 1000), "");
    EXPECT_EQ(m_gyro.WakeUps(), 1u);
    EXPECT_TRUE(DecodeAnswer(Collect(ReadFrame(0x0008))).bPassed);
}

TEST_F(GyroSimTest, SilenceAfterNRequestsStopsAnswersEchoAndStores) {
    m_gyro.SetSilentAfter(2);
    EXPECT_EQ(Collect("01234"), "01234");
    EXPECT_EQ(Collect(ReadFrame(0x0008)).size(), READ_ANSWER_LENGTH);
    EXPECT_EQ(Collect(WriteFrame(0x0100, 1)), "<010002>.");
    EXPECT_EQ(Collect(ReadFrame(0x0000), 1000), "");
    EXPECT_EQ(Collect(WriteFrame(0x0102, 2), 1000), "");
    EXPECT_EQ(Collect("01234", 1000), "");
    EXPECT_TRUE(m_gyro.IsSilent());
    // Still heard, and counted.
    EXPECT_EQ(m_gyro.ReadCount(0x0000), 1u);
    EXPECT_EQ(m_gyro.WakeUps(), 2u);
    EXPECT_EQ(m_gyro.Writes().size(), 1u);
    EXPECT_EQ(m_gyro.Word(0x0102), sim::DEFAULT_PARAMETER_WORDS[1]);
}

TEST_F(GyroSimTest, DisconnectionAfterNRequestsPullsTheCable) {
    m_gyro.SetDisconnectAfter(1);
    EXPECT_EQ(Collect(ReadFrame(0x0008)).size(), READ_ANSWER_LENGTH);
    EXPECT_FALSE(m_line.IsDisconnected());
    Send(ReadFrame(0x0000));
    m_loop.RunFor(100);
    EXPECT_TRUE(m_line.IsDisconnected());
    EXPECT_TRUE(m_gyro.IsDisconnected());
    uint8_t byte = 0;
    uint32_t nRead = 0;
    EXPECT_FALSE(m_pPort->Read(&byte, 1, nRead));
    EXPECT_EQ(platform::LastSystemError(), static_cast<uint32_t>(EIO));
    EXPECT_EQ(m_gyro.Requests().back().nOutcome, sim::GyroOutcome::DISCONNECTED);
}

TEST_F(GyroSimTest, BadChecksumHitsOnlyTheTargetedAnswers) {
    m_gyro.SetBadChecksum(GyroFaultTarget::All());
    EXPECT_FALSE(DecodeAnswer(Collect(ReadFrame(0x0008))).bPassed);
    EXPECT_FALSE(DecodeAnswer(Collect(ReadFrame(0x0100))).bPassed);
    EXPECT_EQ(Collect(WriteFrame(0x0100, 5)), "<010002>.");

    m_gyro.SetBadChecksum(GyroFaultTarget::Address(0x0008));
    EXPECT_FALSE(DecodeAnswer(Collect(ReadFrame(0x0008))).bPassed);
    EXPECT_TRUE(DecodeAnswer(Collect(ReadFrame(0x0000))).bPassed);

    // Requests are numbered from 1; this is the 6th and 7th.
    m_gyro.SetBadChecksum(GyroFaultTarget::Nth(6));
    EXPECT_FALSE(DecodeAnswer(Collect(ReadFrame(0x0006))).bPassed);
    EXPECT_TRUE(DecodeAnswer(Collect(ReadFrame(0x0006))).bPassed);

    // A wrong high digit only: the program's 4-bit check lets it through.
    m_gyro.SetBadChecksum(GyroFaultTarget::All(), 0x10);
    const Decoded decoded = DecodeAnswer(Collect(ReadFrame(0x0008)));
    EXPECT_TRUE(decoded.bPassed);
    EXPECT_FALSE(decoded.bFullChecksum);
    EXPECT_EQ(decoded.nWord, 0x0480);
}

TEST_F(GyroSimTest, ChosenProductAndFormatAreAnswered) {
    m_gyro.SetProductId(0x0390);
    m_gyro.SetMemoryMapVersion(2);
    EXPECT_EQ(DecodeAnswer(Collect(ReadFrame(0x0008))).nWord, 0x0390);
    EXPECT_EQ(DecodeAnswer(Collect(ReadFrame(0x0000))).nWord, 2);
}

TEST_F(GyroSimTest, NoiseGoesBeforeTheTargetedAnswers) {
    m_gyro.SetNoise("#~", GyroFaultTarget::Address(0x0008));
    const std::string strNoisy = Collect(ReadFrame(0x0008));
    EXPECT_EQ(strNoisy, "#~<000801>.04807C");
    EXPECT_FALSE(DecodeAnswer(strNoisy).bPassed);
    EXPECT_EQ(Collect(ReadFrame(0x0000)), "<000001>.0003FD");
}

TEST_F(GyroSimTest, ZeroByteIsPutAtTheChosenPlace) {
    m_gyro.SetZeroByte(GyroFaultTarget::All());
    EXPECT_EQ(Collect(ReadFrame(0x0008)), std::string("<000801>.\0"
                                                      "04807C",
                                                      16));
    m_gyro.SetZeroByte(GyroFaultTarget::Nth(2), 0);
    EXPECT_EQ(Collect(WriteFrame(0x0100, 5)), std::string("\0<010002>.", 10));
    EXPECT_EQ(Collect(ReadFrame(0x0008)), "<000801>.04807C");
}

TEST_F(GyroSimTest, ResetCountersForgetsWhatWasReceived) {
    Collect("01234");
    Collect(ReadFrame(0x0008));
    Collect(WriteFrame(0x0100, 5));
    m_gyro.ResetCounters();
    EXPECT_EQ(m_gyro.WakeUps(), 0u);
    EXPECT_EQ(m_gyro.ReadCount(0x0008), 0u);
    EXPECT_TRUE(m_gyro.Writes().empty());
    EXPECT_TRUE(m_gyro.Requests().empty());
    EXPECT_EQ(m_gyro.Word(0x0100), 5);
}

// ---- The gyro-sim program's memory file

class MemoryFileTest : public testing::Test {
  protected:
    void SetUp() override {
        m_folder =
            std::filesystem::temp_directory_path() / ("gyro-sim-test-" + std::to_string(getpid()));
        std::filesystem::remove_all(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }
    std::filesystem::path m_folder;
};

TEST_F(MemoryFileTest, SavedWordsLoadBackThroughNewFolders) {
    sim::ParameterWords words = sim::DEFAULT_PARAMETER_WORDS;
    words[2] = 0xBEEF;
    words[15] = 0x0001;
    const std::string strPath = (m_folder / "state" / "memory").string();
    std::string strError;
    ASSERT_TRUE(sim::SaveMemoryFile(strPath, words, strError)) << strError;
    sim::ParameterWords loaded{};
    EXPECT_EQ(sim::LoadMemoryFile(strPath, loaded, strError), sim::MemoryLoad::LOADED);
    EXPECT_EQ(loaded, words);
}

TEST_F(MemoryFileTest, MissingFileIsNotAnError) {
    sim::ParameterWords words = sim::DEFAULT_PARAMETER_WORDS;
    std::string strError;
    EXPECT_EQ(sim::LoadMemoryFile((m_folder / "none").string(), words, strError),
              sim::MemoryLoad::MISSING);
    EXPECT_EQ(words, sim::DEFAULT_PARAMETER_WORDS);
}

TEST_F(MemoryFileTest, CommentsBlankLinesAndCrlfAreAccepted) {
    std::string strText = "# memory\r\n\r\n";
    for (int i = 0; i < 16; ++i)
        strText += (i == 3 ? "  beef \r\n" : "0001\r\n");
    sim::ParameterWords words{};
    std::string strError;
    ASSERT_TRUE(sim::ParseMemoryFile(strText, words, strError)) << strError;
    EXPECT_EQ(words[3], 0xBEEF);
    EXPECT_EQ(words[15], 1);
}

TEST_F(MemoryFileTest, BadFilesAreRejectedAndLeaveTheWordsAlone) {
    std::string strSixteen;
    for (int i = 0; i < 16; ++i)
        strSixteen += "0001\n";
    const std::string bad[] = {
        "",                                // nothing
        strSixteen.substr(5),              // fifteen words
        strSixteen + "0002\n",             // seventeen
        "001\n" + strSixteen.substr(5),    // three digits
        "00012\n" + strSixteen.substr(5),  // five digits
        "0x01\n" + strSixteen.substr(5),   // not hex
    };
    for (const std::string& strText : bad) {
        sim::ParameterWords words = sim::DEFAULT_PARAMETER_WORDS;
        std::string strError;
        EXPECT_FALSE(sim::ParseMemoryFile(strText, words, strError)) << strText;
        EXPECT_FALSE(strError.empty());
        EXPECT_EQ(words, sim::DEFAULT_PARAMETER_WORDS);
    }
    std::filesystem::create_directories(m_folder);
    std::ofstream(m_folder / "bad") << "0001\n";
    sim::ParameterWords words = sim::DEFAULT_PARAMETER_WORDS;
    std::string strError;
    EXPECT_EQ(sim::LoadMemoryFile((m_folder / "bad").string(), words, strError),
              sim::MemoryLoad::INVALID);
    EXPECT_NE(strError.find("found 1"), std::string::npos) << strError;
}

TEST_F(MemoryFileTest, DefaultPathFollowsXdgStateHomeThenHome) {
    auto saved = [](const char* pName) {
        const char* pValue = std::getenv(pName);
        return pValue ? std::optional<std::string>(pValue) : std::nullopt;
    };
    auto restore = [](const char* pName, const std::optional<std::string>& value) {
        if (value)
            setenv(pName, value->c_str(), 1);
        else
            unsetenv(pName);
    };
    const auto oldState = saved("XDG_STATE_HOME");
    const auto oldHome = saved("HOME");
    setenv("XDG_STATE_HOME", "/state", 1);
    EXPECT_EQ(sim::DefaultMemoryFilePath(), "/state/morvane/gyro-sim-memory");
    setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored
    setenv("HOME", "/home/pilot", 1);
    EXPECT_EQ(sim::DefaultMemoryFilePath(), "/home/pilot/.local/state/morvane/gyro-sim-memory");
    restore("XDG_STATE_HOME", oldState);
    restore("HOME", oldHome);
}

// ---- The gyro-sim program's options

TEST(SimOptionsTest, EveryOptionReachesItsSetting) {
    sim::SimOptions options;
    std::string strError;
    ASSERT_TRUE(sim::ParseSimOptions(
        {"--name", "Bench gyro", "--memory=/tmp/m", "--product", "0x0390", "--format=2",
         "--no-echo", "--silent-after", "7", "--disconnect-after=9", "--bad-checksum=0x000A",
         "--noise", "zz", "--zero-bytes", "--delay", "250"},
        options, strError))
        << strError;
    EXPECT_EQ(options.strName, "Bench gyro");
    EXPECT_EQ(options.strMemoryPath, "/tmp/m");
    EXPECT_EQ(options.nProductId, 0x0390);
    EXPECT_EQ(options.nMemoryMapVersion, 2);
    EXPECT_TRUE(options.faults.bNoEcho);
    EXPECT_EQ(options.faults.nSilentAfter, 7);
    EXPECT_EQ(options.faults.nDisconnectAfter, 9);
    EXPECT_EQ(options.faults.badChecksum.nKind, GyroFaultTarget::AT_ADDRESS);
    EXPECT_EQ(options.faults.badChecksum.nAddress, 0x000A);
    EXPECT_EQ(options.faults.strNoise, "zz");
    EXPECT_EQ(options.faults.noise.nKind, GyroFaultTarget::ALL);
    EXPECT_EQ(options.faults.zeroByte.nKind, GyroFaultTarget::ALL);
    EXPECT_EQ(options.faults.nDelayMs, 250u);
    EXPECT_FALSE(options.bHelp);
}

TEST(SimOptionsTest, DefaultsAndBareBadChecksum) {
    sim::SimOptions options;
    std::string strError;
    ASSERT_TRUE(sim::ParseSimOptions({"--bad-checksum", "--help"}, options, strError));
    EXPECT_EQ(options.strName, "Simulated tq480 gyro");
    EXPECT_EQ(options.nProductId, 0x0480);
    EXPECT_EQ(options.nMemoryMapVersion, 3);
    EXPECT_EQ(options.faults.badChecksum.nKind, GyroFaultTarget::ALL);
    EXPECT_EQ(options.faults.nSilentAfter, -1);
    EXPECT_TRUE(options.bHelp);
}

TEST(SimOptionsTest, BadCommandLinesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},         {"--product"},         {"--product", "0x10000"},
        {"--format", "two"}, {"--delay", "-1"},     {"--silent-after", "1e3"},
        {"--no-echo=yes"},   {"--name", "a/b"},     {"--noise", ""},
        {"--product", "0x"}, {"--bad-checksum=zz"}, {"extra"},
    };
    for (const auto& args : bad) {
        sim::SimOptions options;
        std::string strError;
        EXPECT_FALSE(sim::ParseSimOptions(args, options, strError)) << args[0];
        EXPECT_FALSE(strError.empty()) << args[0];
    }
}

}  // namespace
