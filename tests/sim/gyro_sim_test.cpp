// The software gyro on the virtual clock: what it answers and how each fault shows on the
// wire; then the gyro-sim program's memory file and options.

#include "sim/gyro_sim.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "sim/memory_file.h"
#include "sim/sim_options.h"

namespace {

using sim::GyroFaultTarget;

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
    GyroSimTest() {
        m_gyro.SetOutput([this](const std::string& strBytes) { m_strReceived += strBytes; });
    }
    // Everything the gyro sends within 100 ms after each of the requests, given in turn.
    template <typename... Requests>
    std::string Collect(const Requests&... requests) {
        m_strReceived.clear();
        for (const std::string& strRequest : {std::string(requests)...}) {
            m_gyro.Receive(strRequest);
            m_loop.RunFor(100);
        }
        return m_strReceived;
    }
    platform::HeadlessEventLoop m_loop{platform::ClockKind::Virtual};
    sim::CGyroSimulator m_gyro{m_loop};
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

// Writes are stored and acknowledged with the '.' last; refusals carry none and change nothing.
TEST_F(GyroSimTest, WritesToTheParameterBlockAreStoredEverythingElseRefused) {
    std::vector<sim::GyroWrite> observed;
    m_gyro.SetStoreObserver([&](uint16_t a, uint16_t v) { observed.push_back({a, v}); });
    const std::pair<std::string, const char*> exchanges[] = {
        {"006401040295aa", "<010402>."},
        {WriteFrame(0x011E, 0xFFCE), "<011E02>."},                // the last word
        {"000801F8aa", "<000801>/"},                              // checksum off by one
        {WithSum({0x00, 0x08, 0x03}) + "aa", "<000803>/"},        // unknown command
        {WriteFrame(0x0008, 0x0390), "<000802>/"},                // identity is read-only
        {WriteFrame(0x0120, 1), "<012002>/"},                     // past the block
        {WriteFrame(0x0105, 1), "<010502>/"},                     // not a word address
        {WithSum({0x00, 0x00, 0x08, 0x01}) + "aa", "<000801>/"},  // a read one byte long
    };
    for (const auto& [strRequest, pAnswer] : exchanges)
        EXPECT_EQ(Collect(strRequest), pAnswer);
    EXPECT_EQ(Collect(ReadFrame(0x011E)), Answer(0x011E, 0xFFCE));
    const std::vector<sim::GyroWrite> expected = {{0x0104, 100}, {0x011E, 0xFFCE}};
    EXPECT_EQ(m_gyro.Writes(), expected);
    EXPECT_EQ(observed, expected);
    EXPECT_EQ(m_gyro.ReadCount(0x0008), 0u);
    EXPECT_EQ(m_gyro.Word(sim::ADDR_PRODUCT_ID), 0x0480);
}

// Each fault on its own: the answers it targets change on the wire, the others do not. How
// the tool meets these faults is seen on the Main page; these are the ones it lets through.
TEST_F(GyroSimTest, AnswerFaultsHitOnlyTheirTargets) {
    const std::string strProduct = Answer(0x0008, 0x0480), strFormat = Answer(0x0000, 3);
    const std::string strRead8 = ReadFrame(0x0008), strSpoiled = "<000801>.04807D";
    const struct {
        std::function<void()> setUp;
        std::vector<std::pair<std::string, std::string>> exchanges;
    } cases[] = {
        // Only read answers carry a checksum.
        {[&] { m_gyro.SetBadChecksum(GyroFaultTarget::All()); },
         {{strRead8, strSpoiled}, {WriteFrame(0x0100, 5), "<010002>."}}},
        // 0x10 spoils only the high digit, which the program does not check.
        {[&] { m_gyro.SetBadChecksum(GyroFaultTarget::Address(0x0008), 0x10); },
         {{strRead8, "<000801>.04806C"}, {ReadFrame(0x0000), strFormat}}},
        // Requests are numbered from 1: this one hits the second request from now.
        {[&] { m_gyro.SetBadChecksum(GyroFaultTarget::Nth(m_gyro.RequestCount() + 2)); },
         {{strRead8, strProduct}, {strRead8, strSpoiled}, {strRead8, strProduct}}},
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
