// The command-line companion on the virtual clock: the same pages and sequences, driven by
// a command line instead of a pen.
#include <gmock/gmock.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <set>
#include <sstream>

#include "app/gyro_cli.h"
#include "app_fixture.h"
#include "pages/parameter_fields.h"
#include "res/version.h"

namespace {

using ::testing::HasSubstr;

class Cli : public AppFixture {
  public:
    Cli() { AddPort(1, L"Simulated tq480 gyro"); }
    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return RunGyroCli(args, host, in, out, err);
    }
    std::string WriteFile(const std::string& strText) {
        const auto path = folder / ("params" + std::to_string(++m_nFiles) + ".txt");
        std::ofstream(path) << strText;
        return path.string();
    }
    std::istringstream in;
    std::ostringstream out, err;

  private:
    int m_nFiles = 0;
};

// Output is UTF-8, also for names from the registry.
TEST_F(Cli, PortsListsTheEntriesOneALineInUtf8) {
    AddPort(4, L"FT232R USB UART \u00E4");
    EXPECT_EQ(Run({"ports"}), 0);
    EXPECT_EQ(out.str(), "COM1:(Simulated tq480 gyro)\nCOM4:(FT232R USB UART \xC3\xA4)\n");
}

TEST_F(Cli, ReadPrintsEveryFieldInPageUnits) {
    gyro.SetWord(0x0100, 1658);
    ASSERT_EQ(Run({"read", "COM1:"}), 0);
    EXPECT_THAT(out.str(), HasSubstr("ProductId=0480\nMemoryMapVersion=3\nFirmwareVersion=1.07\n"
                                     "LoaderVersion=1.03\nSerialNumber=74565\n"));
    EXPECT_THAT(out.str(), HasSubstr("HighEndpoint=33\nLowEndpoint=100\n"));
    EXPECT_THAT(out.str(), HasSubstr(", tq480 serial 74565, read 2026-12-07T13:00:01Z\n"));
    EXPECT_EQ(out.str().rfind("# morvane-gyro-cli ", 0), 0u);
    EXPECT_EQ(err.str(), "");
}

// A file as read wrote it before the servo choices were written as their lists show them.
const char LIST_POSITIONS_FILE[] =
    "ProductId=0480\nMemoryMapVersion=3\nFirmwareVersion=1.07\nLoaderVersion=1.03\n"
    "SerialNumber=74565\nHighEndpoint=100\nLowEndpoint=100\nAvcsCwStopGain=100\n"
    "AvcsCcwStopGain=100\nRudderstickDeadband=5\nAvcsRudderExponential=-50\n"
    "RateRudderExponential=-50\nAvcsAccelerationProfile=15\nAvcsDecelerationProfile=15\n"
    "AvcsRudderSensitivity=100\nServoPreset=24\nServoSpeed=10\nServoType=2\nMidpointTrim=0\n"
    "ServoDirection=Normal\n";

TEST_F(Cli, StoreTakesListPositionsAndReadGivesTheListsTexts) {
    in.str(LIST_POSITIONS_FILE);
    EXPECT_EQ(Run({"store", "COM1", "-", "--agree", "--verify"}), 0);
    EXPECT_EQ(Run({"read", "COM1"}), 0);
    EXPECT_THAT(out.str(),
                HasSubstr("ServoPreset=JR 2700G\nServoSpeed=0.11\nServoType=1520usec/250Hz\n"));
    in.str(out.str());
    EXPECT_EQ(Run({"store", "COM1", "-", "--agree", "--verify"}), 0);
    EXPECT_EQ(err.str(), "");
}

// set changes the named fields alone; one it cannot take stops it before the gyro is asked.
TEST_F(Cli, SetChangesOnlyTheNamedFields) {
    gyro.SetWord(0x0100, 1658);
    const struct {
        std::vector<std::string> args;
        int nExit;
        const char* pszErr;
    } cases[] = {
        {{"set", "COM1", "HighEndpoint=146", "Colour=red", "ServoSpeed=0.5", "--agree"},
         2,
         "morvane-gyro-cli: set: unknown name \"Colour\"\n"
         "morvane-gyro-cli: set: HighEndpoint=146 is outside its range 30 to 145\n"
         "morvane-gyro-cli: set: ServoSpeed has no entry \"0.5\" in its list\n"},
        {{"set", "COM1", "SerialNumber=5", "--agree"},
         2,
         "morvane-gyro-cli: set: unknown name \"SerialNumber\"\n"},
        {{"set", "COM1", "LowEndpoint=90"},
         2,
         "morvane-gyro-cli: set writes into the gyro: land the helicopter, idle the engine, stop "
         "the rotor, then add --agree to confirm\n"},
        {{"set", "COM1", "--agree"},
         2,
         "morvane-gyro-cli: set: wrong number of arguments; try 'morvane-gyro-cli --help'\n"},
        {{"set", "com1", "ServoType=1520usec/250Hz", "LowEndpoint=90", "--agree", "--verify"},
         0,
         ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.nExit);
        EXPECT_EQ(err.str(), c.pszErr);
    }
    ASSERT_EQ(Run({"read", "COM1"}), 0);
    EXPECT_THAT(out.str(), HasSubstr("HighEndpoint=33\nLowEndpoint=90\n"));
    EXPECT_THAT(out.str(), HasSubstr("ServoPreset=Generic\nServoSpeed=0.06\n"
                                     "ServoType=1520usec/250Hz\n"));
}

// Every mistake of a hand-edited file at once, each with its line; nothing is sent.
TEST_F(Cli, StoreNamesEveryMistakeOfItsFile) {
    const std::string strFile = WriteFile(
        "HighEndpoint=146\nColour=red\nLowEndpoint=x\nLowEndpoint=90\nServoSpeed=0.16\n"
        "ServoType=4\nServoPreset=JR 2700g\n# ServoDirection=Sideways\nServoDirection=Up\n"
        "AvcsCwStopGain\n");
    const char* const pErr =
        ":1: HighEndpoint=146 is outside its range 30 to 145\n"
        ":2: unknown name \"Colour\"\n"
        ":3: LowEndpoint must be a whole number, not \"x\"\n"
        ":4: LowEndpoint is given twice\n"
        ":5: ServoSpeed has no entry \"0.16\" in its list\n"
        ":6: ServoType=4 is outside its range 0 to 3\n"
        ":7: ServoPreset has no entry \"JR 2700g\" in its list\n"
        ":9: ServoDirection must be Normal or Reverse, not \"Up\"\n"
        ":10: expected Name=value\n"
        ": missing AvcsCwStopGain, AvcsCcwStopGain, RudderstickDeadband, "
        "AvcsRudderExponential, RateRudderExponential, AvcsAccelerationProfile, "
        "AvcsDecelerationProfile, AvcsRudderSensitivity, MidpointTrim\n";
    EXPECT_EQ(Run({"store", "COM1", strFile, "--agree"}), 2);
    std::string strExpected, strLine;
    for (std::istringstream lines(pErr); std::getline(lines, strLine);)
        strExpected += strFile + strLine + "\n";
    EXPECT_EQ(err.str(), strExpected);
    EXPECT_EQ(gyro.RequestCount(), 0u);
}

TEST_F(Cli, StoreRefusesBeforeSendingAnything) {
    GyroParameters defaults;
    LoadDefaults(defaults);
    const std::string strGood = FormatParameterLines(defaults);
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"store", "COM1", WriteFile(strGood)}, "--agree"},
        {{"store", "COM1", WriteFile(std::string("HighEndpoint=100\0x\n", 19)), "--agree"},
         "must be a whole number"},
        {{"store", "COM1", (folder / "absent.txt").string(), "--agree"},
         "absent.txt: No such file or directory\n"},
        {{"store", "COM1", folder.string(), "--agree"}, ": Is a directory\n"},
        {{"store", "com12", WriteFile(strGood), "--agree"},
         "morvane-gyro-cli: COM12: not in the port list\n"},
        {{"store", "COM1", "-", "--agree"}, "-: missing HighEndpoint"},  // empty input
        {{"store", "COM1", WriteFile(strGood), "--agree", "--force"}, "unknown option \"--force\""},
        {{"read", "COM1", "--verify"}, "unknown option"},
        {{"read", "serial0"}, "morvane-gyro-cli: serial0: not a port name (use COM1, COM2, ...)\n"},
        {{"read"}, "wrong number of arguments"},
        {{"erase"}, "unknown command \"erase\"; try 'morvane-gyro-cli --help'\n"},
    };
    for (const auto& [args, pError] : cases) {
        EXPECT_NE(Run(args), 0) << pError;
        EXPECT_THAT(err.str(), HasSubstr(pError));
    }
    EXPECT_EQ(gyro.WakeUps(), 0u);
    EXPECT_EQ(gyro.RequestCount(), 0u);
}

// A read's output, edited, stores back, and is read back through the Main page; every field
// that did not take is named.
TEST_F(Cli, VerifiedStoreNamesEachFieldTheGyroHoldsOtherwise) {
    const sim::ParameterWords words = gyro.Parameters();
    ASSERT_EQ(Run({"read", "COM1", "-"}), 0);
    std::string strSaved = out.str();
    strSaved.replace(strSaved.find("AvcsAccelerationProfile=15"), 26, "AvcsAccelerationProfile=7");
    strSaved.replace(strSaved.find("HighEndpoint=100"), 16, "HighEndpoint=120");
    strSaved.replace(strSaved.find("ServoDirection=Normal"), 21, "ServoDirection=Reverse");
    // As an editor may leave it: a byte order mark, CR LF, blanks around and between lines.
    std::string strWanted = "\xEF\xBB\xBF";
    for (size_t nAt = 0, nEnd; (nEnd = strSaved.find('\n', nAt)) != std::string::npos;
         nAt = nEnd + 1)
        strWanted += " " + strSaved.substr(nAt, nEnd - nAt) + "\t\r\n \r\n";
    const struct {
        sim::GyroFaultTarget keepOldWord;
        int nExit;
        const char* pszErr;
    } cases[] = {
        {sim::GyroFaultTarget::Address(0x0100), 3,
         "morvane-gyro-cli: HighEndpoint: wrote 120, gyro holds 100\n"},
        {sim::GyroFaultTarget::Address(0x011E), 3,
         "morvane-gyro-cli: ServoDirection: wrote Reverse, gyro holds Normal\n"},
        {sim::GyroFaultTarget::Address(0x0112), 0, ""},  // a profile copy is not compared
        {{}, 0, ""},
    };
    for (const auto& c : cases) {
        gyro.SetParameters(words);
        gyro.SetKeepOldWord(c.keepOldWord);
        in.str(strWanted);
        EXPECT_EQ(Run({"store", "COM1", "-", "--verify", "--agree"}), c.nExit);
        EXPECT_EQ(err.str(), c.pszErr);
    }
    EXPECT_EQ(gyro.Word(0x011E), 0x0200);
}

// A file that cannot be written whole (here: no room under the file-size limit) leaves the old
// one byte for byte and nothing beside it.
TEST_F(Cli, ReadReplacesItsFileWholeOrNotAtAll) {
    const std::string strFile = (folder / "my-gyro.txt").string();
    std::ofstream(strFile) << "HighEndpoint=120\n";
    // In a child of its own, which says through a pipe: the limit holds for every file.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t nChild = fork();
    if (nChild == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{};  // no byte may be written
        setrlimit(RLIMIT_FSIZE, &limit);
        const int nExit = Run({"read", "COM1", strFile});
        const ssize_t nWritten = write(pipeFds[1], err.str().data(), err.str().size());
        std::_Exit(nWritten < 0 ? 99 : nExit);
    }
    close(pipeFds[1]);
    std::string strErr(4096, '\0');
    strErr.resize(static_cast<size_t>(std::max<ssize_t>(0, read(pipeFds[0], strErr.data(), 4096))));
    close(pipeFds[0]);
    int nStatus = 0;
    waitpid(nChild, &nStatus, 0);
    EXPECT_EQ(WEXITSTATUS(nStatus), 1);
    EXPECT_THAT(strErr, HasSubstr("morvane-gyro-cli: " + strFile + ": File too large\n"));
    std::ifstream old(strFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "HighEndpoint=120\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);  // and state/
    ASSERT_EQ(Run({"read", "COM1", strFile}), 0);
    EXPECT_EQ(std::filesystem::status(strFile).permissions(), std::filesystem::perms(0644));
}

// Every completed Read and Store leaves the parameter set, identity included, in a file named
// by the gyro's serial number, the UTC time and the event; `history` lists them newest first.
TEST_F(Cli, EveryCompletedReadAndStoreIsKeptInTheHistory) {
    const std::string strHistory = (folder / "state/morvane/history/").string();
    ASSERT_EQ(Run({"read", "COM1"}), 0);
    const std::string strRead = out.str().substr(out.str().find('\n') + 1);  // no source line
    gyro.SetWord(0x0100, 1000);
    in.str(strRead);
    ASSERT_EQ(Run({"store", "COM1", "-", "--agree", "--verify"}), 0);  // a store, then a read
    ASSERT_EQ(Run({"read", "COM1"}), 0);
    ASSERT_EQ(Run({"history"}), 0);
    EXPECT_EQ(out.str(), strHistory + "74565-20261207T130006Z-read.txt\n" + strHistory +
                             "74565-20261207T130004Z-read.txt\n" + strHistory +
                             "74565-20261207T130002Z-store.txt\n" + strHistory +
                             "74565-20261207T130001Z-read.txt\n");
    // A Store does not read the product ID: its line is left out.
    for (const auto& [pName, strKept] :
         {std::pair{"74565-20261207T130001Z-read.txt", strRead},
          std::pair{"74565-20261207T130002Z-store.txt", strRead.substr(strRead.find('\n') + 1)}}) {
        std::ifstream kept(strHistory + pName);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), strKept) << pName;
    }
    EXPECT_EQ(std::filesystem::status(strHistory).permissions(), std::filesystem::perms(0700));

    // Events of one second are numbered; the newest 200 of each gyro stay.
    SetHistoryClock([] { return 1796648400; });
    for (int i = 0; i < 201; ++i)
        KeepParameterHistory(-5, i % 2, "");
    const std::vector<std::string> kept = ListParameterHistory();
    ASSERT_EQ(kept.size(), 204u);
    EXPECT_EQ(kept[3], strHistory + "74565-20261207T130001Z-read.txt");
    EXPECT_EQ(kept[4], strHistory + "-5-20261207T130000Z-read-201.txt");
    EXPECT_EQ(kept[203], strHistory + "-5-20261207T130000Z-store-2.txt");

    // A history that cannot be kept is said once and ends nothing.
    setenv("XDG_STATE_HOME", (folder / "my-gyro.txt").c_str(), 1);
    std::ofstream(folder / "my-gyro.txt") << "";
    in.str(strRead);
    EXPECT_EQ(Run({"store", "COM1", "-", "--agree", "--verify"}), 0);
    EXPECT_EQ(err.str(),
              "morvane-gyro-cli: history not kept: " + (folder / "my-gyro.txt").string() +
                  "/morvane/history: Not a directory\n");
    EXPECT_EQ(Run({"history", "all"}), 2);
}

TEST_F(Cli, AFailedSequenceGivesItsBoxTextAndANonZeroStatus) {
    gyro.SetMemoryMapVersion(2);
    EXPECT_EQ(Run({"read", "COM1"}), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_THAT(err.str(), HasSubstr("Your gyro firmware uses configuration format R2"));
    EXPECT_THAT(err.str(), HasSubstr("Read Failed"));
}

// --trace appends one session per run to its file: a header, then a line per event, on the
// virtual clock. A file it cannot open (a folder, a link) stops the command before the gyro
// is woken; without --trace nothing more is written and the output stays byte for byte.
TEST_F(Cli, TraceHasALinePerEventAndWithoutItNothingChanges) {
    const std::string strTrace = (folder / "trace.txt").string(), strFirmware = WriteFile("");
    std::ofstream firmware(strFirmware, std::ios::binary);
    sim::WriteFirmwareFile({.nRecords = 3}, firmware);
    firmware.close();
    SetHistoryClock([] { return 1796648400; });
    const auto listing = [this] {
        std::set<std::filesystem::path> paths;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            paths.insert(entry.path());
        return paths;
    };
    ASSERT_EQ(Run({"--trace", strTrace + "-1", "read", "COM1"}), 0);
    const std::string strTraced = out.str();
    const auto before = listing();
    ASSERT_EQ(Run({"read", "COM1"}), 0);
    EXPECT_EQ(out.str(), strTraced);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(listing().size(), before.size() + 1);  // the history's file of the read alone
    GyroParameters defaults;
    LoadDefaults(defaults);
    gyro.SetRefuseRecord(2);
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> fromOpen;  // the open and the first exchange
        int nWrites, nReads, nStates;
    } cases[] = {
        // clang-format off
        {{"read", "COM1"},
         {"      0.000 open COM1: 19200 8N1 DTR off RTS off no flow control: ok",
          "      0.000 read state 2 open -> 3 wakeup (timer 102 100 ms; armed 102 1000 ms)",
          "   1000.000 COM1 > 5 \"01234\"",
          "   1000.000 read state 3 wakeup -> 4 wakeup-echo (timer 102 1000 ms; armed 104 10 ms, 101 1000 ms)",
          "   1010.000 COM1 < 5 \"01234\"",
          "   1010.000 read state 4 wakeup-echo -> 5 product-id (timer 104 10 ms; armed 102 1 ms, 104 10 ms)",
          "   1011.000 COM1 > 10 \"000801F7aa\""},
         23, 45, 50},  // 7 requests and 16 words, each answer but the echo taken by two polls
        {{"store", "COM1", WriteFile(FormatParameterLines(defaults)), "--agree"},
         {"      0.000 open COM1: 19200 8N1 DTR off RTS off no flow control: ok",
          "      0.000 store state 21 open -> 22 wakeup (timer 103 10 ms; armed 103 1000 ms)",
          "   1000.000 COM1 > 5 \"01234\"",
          "   1000.000 store state 22 wakeup -> 23 wakeup-echo (timer 103 1000 ms; armed 104 10 ms, 101 1000 ms)",
          "   1010.000 COM1 < 5 \"01234\"",
          "   1010.000 store state 23 wakeup-echo -> 26 format (timer 104 10 ms; armed 103 1 ms, 104 10 ms)"},
         22, 43, 48},  // 7 requests and 15 words written
        {{"flash", "COM1", strFirmware, "--agree"},
         {"      0.000 open COM1: 19200 8N1 DTR off RTS off no flow control: ok",
          "    500.000 COM1 > 6 \"15EBaa\"",
          "   1000.000 COM1 > 6 \"16EAaa\"",
          "   1000.000 upload state 1 connect -> 2 identify (timer 109 100 ms; armed 110 3000 ms, 107 15 ms)",
          "   1015.000 COM1 < 27 \".15EB.MORVANE LDR 01030480 \""},
         4, 5, 8},  // two start commands, the second record refused
        // clang-format on
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--trace", strTrace};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Run(args), c.args[0] == "flash");
        std::ifstream trace(strTrace);
        std::vector<std::string> lines;
        for (std::string strLine; std::getline(trace, strLine);)
            lines.push_back(strLine);
        const auto session =
            std::find_if(lines.rbegin(), lines.rend(), [](auto& l) { return l[0] == '#'; });
        ASSERT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l[0] == '#'; }),
                  &c - cases + 1);
        EXPECT_THAT(*session, HasSubstr("# morvane-gyro-cli " MORVANE_VERSION " wire trace, 20"));
        const std::vector<std::string> events(session.base(), lines.end());
        const auto open = std::find(events.begin(), events.end(), c.fromOpen[0]);
        ASSERT_LE(open - events.begin() + c.fromOpen.size(), events.size());
        EXPECT_EQ(std::vector(open, open + static_cast<ptrdiff_t>(c.fromOpen.size())), c.fromOpen);
        auto count = [&](const char* pszWhat) {
            return std::count_if(events.begin(), events.end(),
                                 [&](auto& l) { return l.find(pszWhat) != std::string::npos; });
        };
        EXPECT_EQ(count(" COM1 > "), c.nWrites);
        EXPECT_EQ(count(" COM1 < "), c.nReads);
        EXPECT_EQ(count(" state "), c.nStates);
        EXPECT_EQ(count(" close COM1: ok"), 1);
    }
    gyro.PowerCycle();  // out of the loader that the refused record left running
    gyro.ResetCounters();
    gyro.SetDisconnectAfter(1);  // the cable pulled after the product ID: each poll fails
    EXPECT_EQ(Run({"--trace", strTrace + "-2", "read", "COM1"}), 1);
    std::ifstream pulled(strTrace + "-2");
    EXPECT_THAT(std::string(std::istreambuf_iterator<char>(pulled), {}),
                HasSubstr("\n   1042.000 COM1 < failed (5 Input/output error)\n   2022.000 COM1 < "
                          "failed (5 Input/output error), 98 more times\n   2032.000 close COM1: "
                          "ok\n"));
    const uint32_t nWakeUps = gyro.WakeUps();
    std::filesystem::create_symlink(strTrace, folder / "link.txt");
    for (const auto& [path, pszWhy] :
         {std::pair{folder, "Is a directory"},
          std::pair{folder / "link.txt", "Too many levels of symbolic links"}}) {
        EXPECT_EQ(Run({"--trace", path.string(), "read", "COM1"}), 2);
        EXPECT_EQ(err.str(), "morvane-gyro-cli: trace " + path.string() + ": " + pszWhy + "\n");
    }
    EXPECT_EQ(gyro.WakeUps(), nWakeUps);
}

}  // namespace
