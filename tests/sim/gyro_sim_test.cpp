// The software gyro on the virtual clock: what it answers and what it refuses; then the
// gyro-sim program's memory file and options. Its words and faults are seen through the
// Read, Store and firmware tests.
#include "sim/gyro_sim.h"

#include <gtest/gtest.h>

#include <tuple>

#include "sim/line_model.h"
#include "sim/memory_file.h"
#include "sim/sim_options.h"

namespace {

using sim::GyroFaultTarget;

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
    // A lone 'a' is noise, not half a terminator.
    EXPECT_EQ(Collect("zz\r\n00a0801F7aa"), "<000801>.04807C");
    // Too short or an odd digit count: no answer at all, and the next request is served.
    EXPECT_EQ(Collect("0008aa", "000801F7Caa"), "");
    EXPECT_EQ(Collect("000001FFaa"), "<000001>.0003FD");
}

// Writes to the parameter block are stored and acknowledged with the '.' last; refusals carry
// none and change nothing.
TEST_F(GyroSimTest, WritesToTheParameterBlockAreStoredEverythingElseRefused) {
    std::vector<sim::GyroWrite> observed;
    m_gyro.SetStoreObserver([&](uint16_t a, uint16_t v) { observed.push_back({a, v}); });
    // Frames and checksums worked out by hand.
    const std::pair<const char*, const char*> exchanges[] = {
        {"006401040295aa", "<010402>."},    // 100 to 0x0104
        {"FFCE011E0212aa", "<011E02>."},    // the last word
        {"000801F8aa", "<000801>/"},        // checksum off by one
        {"006401040296aa", "<010402>/"},    // a write checksum off by one
        {"000803F5aa", "<000803>/"},        // unknown command
        {"039000080263aa", "<000802>/"},    // identity is read-only
        {"0001012002DCaa", "<012002>/"},    // past the block
        {"0001010502F7aa", "<010502>/"},    // not a word address
        {"00000801F7aa", "<000801>/"},      // a read one byte long
        {"011E01E0aa", "<011E01>.FFCE33"},  // what was written
        {"012001DEaa", "<012001>.000000"},  // nothing there
    };
    for (const auto& [strRequest, strAnswer] : exchanges)
        EXPECT_EQ(Collect(strRequest), strAnswer);
    const std::vector<sim::GyroWrite> expected = {{0x0104, 100}, {0x011E, 0xFFCE}};
    EXPECT_EQ(m_gyro.Writes(), expected);
    EXPECT_EQ(observed, expected);
    EXPECT_EQ(m_gyro.Word(sim::ADDR_PRODUCT_ID), 0x0480);
}

// The cable of --line-model: the gyro hears a request when its last byte has crossed, answers
// after the delay, and each byte of the answer takes its own byte time.
TEST_F(GyroSimTest, TheLineModelPacesRequestsAndAnswersAtTheByteTime) {
    constexpr int64_t DELAY_NS = 100'000;
    sim::CLineModel line(DELAY_NS);
    m_gyro.SetOutput([&line](const std::string& strBytes) { line.FromGyro(strBytes, 0); });
    line.FromProgram("000801F7aa", 0);
    const int64_t nHeard = sim::LineByteDoneNs(0, 10);
    const std::pair<int64_t, std::string> seen[] = {
        {nHeard - 1, ""},
        {sim::LineByteDoneNs(nHeard + DELAY_NS, 1) - 1, ""},
        {sim::LineByteDoneNs(nHeard + DELAY_NS, 1), "<"},
        {sim::LineByteDoneNs(nHeard + DELAY_NS, 14), "<000801>.04807"},
        {sim::LineByteDoneNs(nHeard + DELAY_NS, 15), "<000801>.04807C"},
    };
    std::string strArrived;
    for (const auto& [nNowNs, strExpected] : seen) {
        line.RunDue(
            nNowNs, [this](uint8_t byte) { m_gyro.Receive(byte); }, strArrived);
        EXPECT_EQ(strArrived, strExpected) << nNowNs;
    }
    EXPECT_EQ(line.NextDueNs(), INT64_MAX);
}

// ---- The gyro-sim program's memory file and options

// The memory file: sixteen words of four hex digits; comments, blank lines, spaces, CRLF and
// lower case are fine; a bad file changes nothing. The pty tests see a store outlive gyro-sim.
TEST(MemoryFile, OnlySixteenWordsOfFourDigitsAreTaken) {
    std::string strFifteen, strError;
    for (int i = 0; i < 15; ++i)
        strFifteen += "0001\n";
    const std::pair<std::string, bool> cases[] = {
        {"# memory\r\n\r\n  beef \r\n" + strFifteen, true},
        {strFifteen, false},
        {"beef\n0002\n" + strFifteen, false},
        {"001\n" + strFifteen, false},
        {"00012\n" + strFifteen, false},
        {"0x01\n" + strFifteen, false}};
    for (const auto& [strText, bTaken] : cases) {
        sim::ParameterWords words = sim::DEFAULT_PARAMETER_WORDS;
        EXPECT_EQ(sim::ParseMemoryFile(strText, words, strError), bTaken) << strText;
        EXPECT_EQ(words[0], bTaken ? 0xBEEF : sim::DEFAULT_PARAMETER_WORDS[0]);
    }
}

TEST(SimOptionsTest, EveryOptionReachesItsSettingAndBadOnesAreRefused) {
    sim::SimOptions options;
    std::string strError;
    // The name, memory, silent-after, disconnect-after, chatter, loopback and firmware options
    // are seen in the pty tests.
    ASSERT_TRUE(sim::ParseSimOptions(
        {"--product", "0x0390", "--format=2", "--bad-checksum=0x000A", "--noise", "zz",
         "--zero-bytes", "--delay", "250", "--no-echo", "--answer-delay-us", "150"},
        options, strError))
        << strError;
    const sim::GyroFaults& f = options.faults;
    EXPECT_EQ(std::tie(options.nProductId, options.nMemoryMapVersion, f.nDelayMs,
                       f.badChecksum.nAddress, f.strNoise),
              std::make_tuple(0x0390, 2, 250u, 0x000A, "zz"));
    EXPECT_EQ(std::tie(f.badChecksum.nKind, f.noise.nKind, f.zeroByte.nKind, f.bNoEcho),
              std::make_tuple(GyroFaultTarget::AT_ADDRESS, GyroFaultTarget::ALL,
                              GyroFaultTarget::ALL, true));
    EXPECT_EQ(std::tie(options.bLineModel, options.nAnswerDelayUs), std::make_tuple(true, 150u));

    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},         {"--product"},         {"--product", "0x10000"},
        {"--format", "two"}, {"--delay", "-1"},     {"--silent-after", "1e3"},
        {"--no-echo=yes"},   {"--name", "a/b"},     {"--noise", ""},
        {"--product", "0x"}, {"--bad-checksum=zz"}, {"extra"},
        {"--chatter="},      {"--chatter-bytes=0"}, {"--chatter-bytes=0G"},
    };
    for (const auto& args : bad) {
        strError.clear();
        EXPECT_FALSE(sim::ParseSimOptions(args, options = {}, strError) || strError.empty())
            << args[0];
    }
}

}  // namespace
