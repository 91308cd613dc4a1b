// The software gyro seen from the program's end of an in-memory line on the virtual clock:
// what it answers, when, and how each fault shows on the wire.

#include "sim/gyro_sim.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "platform/serial_memory.h"
#include "sim/memory_file.h"
#include "sim/sim_options.h"

namespace {

using sim::GyroFaultTarget;

constexpr double BYTE_NS = 1e10 / 19200;  // 10 bits a byte at 19200 baud

// Hex pairs of the bytes and of their checksum, made independently of the gyro's own code.
std::string WithSum(std::initializer_list<unsigned> bytes) {
    std::string strHex;
    unsigned nSum = 0;
    char pair[3];
    for (const unsigned n : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", n);
        strHex += pair;
        nSum += n;
    }
    std::snprintf(pair, sizeof pair, "%02X", (256 - nSum % 256) % 256);
    return strHex + pair;
}
std::string ReadFrame(unsigned nAddress) {
    return WithSum({nAddress >> 8, nAddress & 0xFF, 0x01}) + "aa";
}
std::string WriteFrame(unsigned nAddress, unsigned nValue) {
    return WithSum({nValue >> 8, nValue & 0xFF, nAddress >> 8, nAddress & 0xFF, 0x02}) + "aa";
}
// "<AAAA01>." then the word and its checksum.
std::string Answer(unsigned nAddress, unsigned nWord) {
    return "<" + ReadFrame(nAddress).substr(0, 6) + ">." + WithSum({nWord >> 8, nWord & 0xFF});
}

class GyroSimTest : public testing::Test {
  protected:
    void SetUp() override {
        m_gyro.AttachTo(m_line);
        m_pPort = m_line.OpenProgramEnd();
        ASSERT_TRUE(m_pPort && m_pPort->SetLineSettings({.nBaudRate = 19200}));  // 8N1
    }

    void Send(const std::string& strBytes) {
        uint32_t nWritten = 0;
        ASSERT_TRUE(m_pPort->Write(reinterpret_cast<const uint8_t*>(strBytes.data()),
                                   static_cast<uint32_t>(strBytes.size()), nWritten));
    }
    const std::string& Drain() {
        uint8_t buffer[64];
        uint32_t nRead = 0;
        while (m_pPort->Read(buffer, sizeof buffer, nRead) && nRead > 0)
            m_strReceived.append(reinterpret_cast<const char*>(buffer), nRead);
        return m_strReceived;
    }
    // Everything that arrives within 100 ms after each of the requests, sent in turn.
    template <typename... Requests>
    std::string Collect(const Requests&... requests) {
        m_strReceived.clear();
        for (const std::string& strRequest : {std::string(requests)...}) {
            Send(strRequest);
            m_loop.RunFor(100);
            Drain();
        }
        return m_strReceived;
    }
    // Time from sending until nCount characters have arrived, or 2 s.
    double TimeToReceive(const std::string& strRequest, size_t nCount) {
        m_strReceived.clear();
        const int64_t nStart = m_loop.NowNs();
        Send(strRequest);
        m_loop.RunUntil([&] { return Drain().size() >= nCount; }, 2000);
        return static_cast<double>(m_loop.NowNs() - nStart);
    }

    platform::HeadlessEventLoop m_loop{platform::ClockKind::Virtual};
    platform::MemorySerialLine m_line{m_loop};
    sim::CGyroSimulator m_gyro{m_loop};
    std::unique_ptr<platform::SerialDevice> m_pPort;
    std::string m_strReceived;
};

TEST_F(GyroSimTest, StrayCharactersAreDroppedAndTheNextTerminatorResynchronises) {
    EXPECT_EQ(Collect("01234", "x\r\n3F01234"), "0123401234");
    EXPECT_EQ(m_gyro.WakeUps(), 2u);
    EXPECT_EQ(m_gyro.RequestCount(), 0u);  // wake-ups are no requests
    // A lone 'a' is noise, not half a terminator.
    EXPECT_EQ(Collect("zz\r\n00a0801F7aa"), Answer(0x0008, 0x0480));
    // Too short or an odd digit count: no answer at all, and the next request is served.
    EXPECT_EQ(Collect("0008aa", "000801F7Caa"), "");
    EXPECT_EQ(Collect(ReadFrame(0x0000)), Answer(0x0000, 3));
}

TEST_F(GyroSimTest, ReadsAnswerTheIdentityTheParametersAndZeroElsewhere) {
    std::vector<std::pair<unsigned, unsigned>> words = {
        {0x0000, 3},      {0x0004, 0x0103}, {0x0006, 0x0107}, {0x0008, 0x0480},
        {0x000A, 0x2345}, {0x000C, 0x0001}, {0x0002, 0},      {0x0120, 0}};
    for (unsigned i = 0; i < sim::PARAMETER_WORDS; ++i)
        words.emplace_back(0x0100 + 2 * i, sim::DEFAULT_PARAMETER_WORDS[i]);
    for (const auto& [nAddress, nWord] : words) {
        EXPECT_EQ(Collect(ReadFrame(nAddress)), Answer(nAddress, nWord));
        EXPECT_EQ(m_gyro.ReadCount(static_cast<uint16_t>(nAddress)), 1u) << nAddress;
    }
}

TEST_F(GyroSimTest, WritesToTheParameterBlockAreStoredAndAcknowledgedWithTheDotLast) {
    std::vector<sim::GyroWrite> observed;
    m_gyro.SetStoreObserver([&](uint16_t a, uint16_t v) { observed.push_back({a, v}); });
    EXPECT_EQ(Collect("006401040295aa"), "<010402>.");
    EXPECT_EQ(Collect(WriteFrame(0x011E, 0xFFCE)), "<011E02>.");  // the last word
    EXPECT_EQ(Collect(ReadFrame(0x011E)), Answer(0x011E, 0xFFCE));
    const std::vector<sim::GyroWrite> expected = {{0x0104, 100}, {0x011E, 0xFFCE}};
    EXPECT_EQ(m_gyro.Writes(), expected);
    EXPECT_EQ(observed, expected);
}

TEST_F(GyroSimTest, RefusalsCarryNoDotAndChangeNothing) {
    const std::pair<std::string, const char*> refused[] = {
        {"000801F8aa", "<000801>/"},                              // checksum off by one
        {WithSum({0x00, 0x08, 0x03}) + "aa", "<000803>/"},        // unknown command
        {WriteFrame(0x0008, 0x0390), "<000802>/"},                // identity is read-only
        {WriteFrame(0x0120, 1), "<012002>/"},                     // past the block
        {WriteFrame(0x0105, 1), "<010502>/"},                     // not a word address
        {WithSum({0x00, 0x00, 0x08, 0x01}) + "aa", "<000801>/"},  // a read one byte long
    };
    for (const auto& [strRequest, pAnswer] : refused)
        EXPECT_EQ(Collect(strRequest), pAnswer);
    EXPECT_EQ(m_gyro.ReadCount(0x0008), 0u);
    EXPECT_EQ(m_gyro.Parameters(), sim::DEFAULT_PARAMETER_WORDS);
    EXPECT_EQ(m_gyro.Word(sim::ADDR_PRODUCT_ID), 0x0480);
}

TEST_F(GyroSimTest, AnswersArriveAtTheLinesByteTimeOrWaitInOrderBehindADelay) {
    // Request bytes out, then answer bytes back.
    EXPECT_NEAR(TimeToReceive("01234", 5), 10 * BYTE_NS, 1000);
    EXPECT_NEAR(TimeToReceive(ReadFrame(0x0008), 15), 25 * BYTE_NS, 1000);

    // Only 0x0000 is slow; the answer to a request sent meanwhile waits behind it.
    m_gyro.SetDelay(300, GyroFaultTarget::Address(0x0000));
    EXPECT_EQ(Collect(ReadFrame(0x0000) + ReadFrame(0x0006)), "");
    EXPECT_EQ(m_gyro.PendingAnswers(), 2u);
    m_loop.RunFor(150);
    EXPECT_EQ(Drain(), "");
    m_loop.RunFor(100);
    EXPECT_EQ(Drain(), "<000001>.0003FD<000601>.0107F8");
}

// Each fault on its own: the answers it targets change on the wire, the others do not.
TEST_F(GyroSimTest, AnswerFaultsHitOnlyTheirTargets) {
    const std::string strProduct = Answer(0x0008, 0x0480), strFormat = Answer(0x0000, 3);
    const std::string strRead8 = ReadFrame(0x0008), strSpoiled = "<000801>.04807D";
    const struct {
        std::function<void()> setUp;
        std::vector<std::pair<std::string, std::string>> exchanges;
    } cases[] = {
        {[&] { m_gyro.SetNoEcho(true); }, {{"01234", ""}, {strRead8, strProduct}}},
        // Only read answers carry a checksum.
        {[&] { m_gyro.SetBadChecksum(GyroFaultTarget::All()); },
         {{strRead8, strSpoiled}, {WriteFrame(0x0100, 5), "<010002>."}}},
        // 0x10 spoils only the high digit, which the program does not check.
        {[&] { m_gyro.SetBadChecksum(GyroFaultTarget::Address(0x0008), 0x10); },
         {{strRead8, "<000801>.04806C"}, {ReadFrame(0x0000), strFormat}}},
        // Requests are numbered from 1: this one hits the second request from now.
        {[&] { m_gyro.SetBadChecksum(GyroFaultTarget::Nth(m_gyro.RequestCount() + 2)); },
         {{strRead8, strProduct}, {strRead8, strSpoiled}, {strRead8, strProduct}}},
        {[&] { m_gyro.SetNoise("#~", GyroFaultTarget::Address(0x0008)); },
         {{strRead8, "#~" + strProduct}, {ReadFrame(0x0000), strFormat}}},
        {[&] { m_gyro.SetZeroByte(GyroFaultTarget::All()); },
         {{strRead8, std::string(strProduct).insert(9, 1, '\0')}}},
        {[&] { m_gyro.SetZeroByte(GyroFaultTarget::Nth(m_gyro.RequestCount() + 1), 0); },
         {{WriteFrame(0x0100, 5), std::string(1, '\0') + "<010002>."}, {strRead8, strProduct}}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        m_gyro.ClearFaults();
        cases[i].setUp();
        for (const auto& [strRequest, strAnswer] : cases[i].exchanges)
            EXPECT_EQ(Collect(strRequest), strAnswer) << "case " << i;
    }
}

TEST_F(GyroSimTest, SilenceAfterNRequestsStopsAnswersEchoAndStores) {
    m_gyro.SetSilentAfter(2);
    EXPECT_EQ(Collect("01234", ReadFrame(0x0008), WriteFrame(0x0100, 1)),
              "01234" + Answer(0x0008, 0x0480) + "<010002>.");
    EXPECT_EQ(Collect(ReadFrame(0x0000), WriteFrame(0x0102, 2), "01234"), "");
    // Heard and counted, but nothing stored.
    EXPECT_EQ(m_gyro.ReadCount(0x0000), 1u);
    EXPECT_EQ(m_gyro.Writes().size(), 1u);
    EXPECT_EQ(m_gyro.Word(0x0102), sim::DEFAULT_PARAMETER_WORDS[1]);
}

TEST_F(GyroSimTest, DisconnectionAfterNRequestsPullsTheCable) {
    m_gyro.SetDisconnectAfter(1);
    EXPECT_EQ(Collect(ReadFrame(0x0008)), Answer(0x0008, 0x0480));
    EXPECT_FALSE(m_line.IsDisconnected());
    EXPECT_EQ(Collect(ReadFrame(0x0000)), "");
    EXPECT_TRUE(m_line.IsDisconnected() && m_gyro.IsDisconnected());
    EXPECT_EQ(m_gyro.Requests().back().nOutcome, sim::GyroOutcome::DISCONNECTED);
}

// ---- The gyro-sim program's memory file and options

class MemoryFileTest : public testing::Test {
  protected:
    void TearDown() override { std::filesystem::remove_all(m_folder); }
    const std::filesystem::path m_folder =
        std::filesystem::temp_directory_path() / ("gyro-sim-test-" + std::to_string(getpid()));
    std::string m_strError;
};

TEST_F(MemoryFileTest, SavedWordsLoadBackAndBadFilesAreRefused) {
    const std::string strPath = (m_folder / "state" / "memory").string();
    sim::ParameterWords words = sim::DEFAULT_PARAMETER_WORDS, loaded = words;
    EXPECT_EQ(sim::LoadMemoryFile(strPath, loaded, m_strError), sim::MemoryLoad::MISSING);
    EXPECT_EQ(loaded, words);
    words[2] = 0xBEEF;
    ASSERT_TRUE(sim::SaveMemoryFile(strPath, words, m_strError)) << m_strError;
    EXPECT_EQ(sim::LoadMemoryFile(strPath, loaded, m_strError), sim::MemoryLoad::LOADED);
    EXPECT_EQ(loaded, words);

    // Only sixteen words of four hex digits are taken.
    std::string strSixteen;
    for (int i = 0; i < 16; ++i)
        strSixteen += "0001\n";
    const std::string strFifteen = strSixteen.substr(5);
    // Comments, blank lines, spaces, CRLF and lower case are fine.
    ASSERT_TRUE(
        sim::ParseMemoryFile("# memory\r\n\r\n  beef \r\n" + strFifteen, loaded, m_strError))
        << m_strError;
    EXPECT_EQ(loaded[0], 0xBEEF);
    EXPECT_EQ(loaded[15], 1);

    for (const std::string& strText :
         {std::string(), strFifteen, strSixteen + "0002\n", "001\n" + strFifteen,
          "00012\n" + strFifteen, "0x01\n" + strFifteen}) {
        words = sim::DEFAULT_PARAMETER_WORDS;
        EXPECT_FALSE(sim::ParseMemoryFile(strText, words, m_strError)) << strText;
        EXPECT_EQ(words, sim::DEFAULT_PARAMETER_WORDS);
    }
    std::ofstream(strPath) << "0001\n";
    EXPECT_EQ(sim::LoadMemoryFile(strPath, words, m_strError), sim::MemoryLoad::INVALID);
    EXPECT_NE(m_strError.find("found 1"), std::string::npos) << m_strError;
}

TEST(MemoryFilePath, FollowsXdgStateHomeThenHome) {
    const std::string strHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_STATE_HOME", "/state", 1);
    EXPECT_EQ(sim::DefaultMemoryFilePath(), "/state/morvane/gyro-sim-memory");
    setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored
    setenv("HOME", "/home/pilot", 1);
    EXPECT_EQ(sim::DefaultMemoryFilePath(), "/home/pilot/.local/state/morvane/gyro-sim-memory");
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", strHome.c_str(), 1);
}

TEST(SimOptionsTest, EveryOptionReachesItsSetting) {
    sim::SimOptions options;
    std::string strError;
    ASSERT_TRUE(sim::ParseSimOptions(
        {"--name", "Bench gyro", "--memory=/tmp/m", "--product", "0x0390", "--format=2",
         "--no-echo", "--silent-after", "7", "--disconnect-after=9", "--bad-checksum=0x000A",
         "--noise", "zz", "--zero-bytes", "--delay", "250", "--chatter=GPS"},
        options, strError))
        << strError;
    const sim::GyroFaults& faults = options.faults;
    EXPECT_EQ(std::tie(options.strName, options.strMemoryPath, faults.strNoise, faults.strChatter),
              std::make_tuple("Bench gyro", "/tmp/m", "zz", "GPS"));
    EXPECT_EQ(std::tie(options.nProductId, options.nMemoryMapVersion, faults.nSilentAfter,
                       faults.nDisconnectAfter, faults.nDelayMs, faults.badChecksum.nAddress),
              std::make_tuple(0x0390, 2, 7, 9, 250u, 0x000A));
    EXPECT_EQ(
        std::tie(faults.badChecksum.nKind, faults.noise.nKind, faults.zeroByte.nKind),
        std::make_tuple(GyroFaultTarget::AT_ADDRESS, GyroFaultTarget::ALL, GyroFaultTarget::ALL));
    EXPECT_TRUE(faults.bNoEcho && !options.bHelp);

    // A bare --bad-checksum takes no value from the next argument.
    ASSERT_TRUE(sim::ParseSimOptions({"--bad-checksum", "--help"}, options = {}, strError));
    EXPECT_EQ(options.faults.badChecksum.nKind, GyroFaultTarget::ALL);
    EXPECT_TRUE(options.bHelp);
}

TEST(SimOptionsTest, BadCommandLinesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},         {"--product"},         {"--product", "0x10000"},
        {"--format", "two"}, {"--delay", "-1"},     {"--silent-after", "1e3"},
        {"--no-echo=yes"},   {"--name", "a/b"},     {"--noise", ""},
        {"--product", "0x"}, {"--bad-checksum=zz"}, {"extra"},
        {"--chatter="},
    };
    for (const auto& args : bad) {
        std::string strError;
        sim::SimOptions options;
        EXPECT_FALSE(sim::ParseSimOptions(args, options, strError) || strError.empty()) << args[0];
    }
}

}  // namespace
