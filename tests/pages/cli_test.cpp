// The command-line companion on the virtual clock: the same pages and sequences, driven by
// a command line instead of a pen.
#include <gmock/gmock.h>

#include <sstream>

#include "app/gyro_cli.h"
#include "app_fixture.h"
#include "pages/parameter_fields.h"

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
    EXPECT_EQ(err.str(), "");
}

TEST_F(Cli, StoreRefusesBeforeSendingAnything) {
    GyroParameters defaults;
    LoadDefaults(defaults);
    const std::string strGood = FormatParameterLines(defaults);
    std::string strOutOfRange = strGood;
    strOutOfRange.replace(strOutOfRange.find("HighEndpoint=100"), 16, "HighEndpoint=146");
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"store", "COM1", WriteFile(strGood)}, "--agree"},
        {{"store", "COM1", WriteFile(strOutOfRange), "--agree"},
         "HighEndpoint=146 is outside its range 30 to 145"},
        {{"store", "COM1", WriteFile(strGood + "Colour=red\n"), "--agree"},
         "unknown name \"Colour\""},
        {{"store", "COM1", WriteFile(strGood + "HighEndpoint=100\n"), "--agree"},
         "line 16: HighEndpoint is given twice"},
        {{"store", "COM1", WriteFile(std::string("HighEndpoint=100\0x\n", 19)), "--agree"},
         "must be a whole number"},
        {{"store", "COM1", WriteFile("HighEndpoint=100\n"), "--agree"}, "missing LowEndpoint"},
        {{"store", "COM1", (folder / "absent.txt").string(), "--agree"}, "cannot read"},
        {{"store", "COM12", WriteFile(strGood), "--agree"}, "COM12 is not in the port list"},
        {{"store", "COM1", "-", "--agree"}, "-: missing HighEndpoint"},  // empty input
        {{"store", "COM1", WriteFile(strGood), "--agree", "--force"}, "unknown option \"--force\""},
        {{"read", "COM1", "--verify"}, "unknown option"},
        {{"read", "serial0"}, "not a port name"},
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
        {sim::GyroFaultTarget::Address(0x0100), 3, "HighEndpoint: wrote 120, gyro holds 100\n"},
        {sim::GyroFaultTarget::Address(0x011E), 3,
         "ServoDirection: wrote Reverse, gyro holds Normal\n"},
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

TEST_F(Cli, AFailedSequenceGivesItsBoxTextAndANonZeroStatus) {
    gyro.SetMemoryMapVersion(2);
    EXPECT_EQ(Run({"read", "COM1"}), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_THAT(err.str(), HasSubstr("Your gyro firmware uses configuration format R2"));
    EXPECT_THAT(err.str(), HasSubstr("Read Failed"));
}

}  // namespace
