// gyro-sim: the software gyro on a pseudo-terminal, published as a port the tool lists.
// The terminal's path is the first line on stdout; one line per request goes to stderr.

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/published_ports.h"
#include "res/version.h"
#include "sim/gyro_sim.h"
#include "sim/line_model.h"
#include "sim/memory_file.h"
#include "sim/pty_port.h"
#include "sim/sim_options.h"

namespace {

constexpr int EXIT_BAD_OPTIONS = 2;
// Poll often only while an answer waits out its delay or chatter goes on.
constexpr int POLL_IDLE_MS = 50;
constexpr int POLL_BUSY_MS = 1;
constexpr size_t UNSENT_LIMIT = 4096;
constexpr int64_t NS_PER_MS = 1'000'000;

volatile std::sig_atomic_t g_nStopSignal = 0;

void OnStopSignal(int nSignal) {
    g_nStopSignal = nSignal;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: poll returns at once with EINTR.
    for (const int nSignal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(nSignal, &action, nullptr);
    // A log reader that goes away must not kill the gyro before it removes its port.
    std::signal(SIGPIPE, SIG_IGN);
}

void Note(const std::string& strLine) {
    std::fprintf(stderr, "gyro-sim: %s\n", strLine.c_str());
}

// Removes the published link only while it still leads to this terminal: another gyro-sim
// may have taken the name since.
void UnpublishOwnPort(const std::string& strName, const std::string& strDevice) {
    const std::string strLink = platform::PublishedPortsFolder() + "/" + strName;
    char target[256];
    const ssize_t nLength = readlink(strLink.c_str(), target, sizeof target - 1);
    if (nLength < 0)
        return;
    target[nLength] = '\0';
    if (strDevice == target)
        platform::UnpublishPort(strName);
}

// Hands the program's bytes to the gyro, or to the line that takes them there. False when the
// terminal has failed.
bool ReceiveFromProgram(int nFd, sim::CGyroSimulator& gyro, sim::CLineModel* pLine,
                        int64_t nNowNs) {
    uint8_t buffer[256];
    for (;;) {
        const ssize_t nRead = read(nFd, buffer, sizeof buffer);
        if (nRead > 0 && pLine) {
            pLine->FromProgram(
                std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(nRead)),
                nNowNs);
            continue;
        }
        if (nRead > 0) {
            for (ssize_t i = 0; i < nRead; ++i)
                gyro.Receive(buffer[i]);
            continue;
        }
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0 && (errno == EAGAIN || errno == EIO))
            return true;
        if (nRead < 0)
            Note(std::string("read: ") + std::strerror(errno));
        return nRead == 0;
    }
}

// The line's wires bridged: what the program sends goes straight back. False when the
// terminal has failed.
bool EchoToProgram(int nFd, std::string& strOut) {
    char buffer[256];
    for (;;) {
        const ssize_t nRead = read(nFd, buffer, sizeof buffer);
        if (nRead > 0) {
            if (strOut.size() < UNSENT_LIMIT)
                strOut.append(buffer, static_cast<size_t>(nRead));
            continue;
        }
        if (nRead < 0 && errno == EINTR)
            continue;
        return nRead == 0 || errno == EAGAIN || errno == EIO;
    }
}

// Writes what the terminal takes now; the rest waits for the next turn.
void SendToProgram(int nFd, std::string& strOut) {
    while (!strOut.empty()) {
        const ssize_t nWritten = write(nFd, strOut.data(), strOut.size());
        if (nWritten > 0) {
            strOut.erase(0, static_cast<size_t>(nWritten));
            continue;
        }
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten < 0 && errno != EAGAIN) {
            Note(std::string("write: ") + std::strerror(errno) + ", answer dropped");
            strOut.clear();
        }
        return;
    }
}

// Keeps the records of the latest upload with their verdicts, one "TEXT ." or "TEXT /" a line:
// emptied when the loader starts, a line added per record.
void KeepLoaderRecords(const std::string& strPath, const std::vector<sim::LoaderRecord>& records) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(strPath).parent_path(), ec);
    FILE* pFile = std::fopen(strPath.c_str(), records.empty() ? "w" : "a");
    if (!pFile) {
        Note("warning: firmware records not kept: " + strPath + ": " + std::strerror(errno));
        return;
    }
    if (!records.empty())
        std::fprintf(pFile, "%s %c\n", records.back().strText.c_str(),
                     records.back().bAccepted ? '.' : '/');
    std::fclose(pFile);
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions options;
    std::string strError;
    if (!sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, strError)) {
        Note(strError + "; try 'gyro-sim --help'");
        return EXIT_BAD_OPTIONS;
    }
    if (options.bHelp) {
        std::fputs(sim::SimUsage().c_str(), stdout);
        return 0;
    }
    if (options.bVersion) {
        std::puts("gyro-sim " MORVANE_VERSION);
        return 0;
    }

    const std::string strMemoryPath =
        options.strMemoryPath.empty() ? sim::DefaultMemoryFilePath() : options.strMemoryPath;
    sim::ParameterWords words = sim::DEFAULT_PARAMETER_WORDS;
    switch (sim::LoadMemoryFile(strMemoryPath, words, strError)) {
        case sim::MemoryLoad::LOADED:
            Note("parameter memory from " + strMemoryPath);
            break;
        case sim::MemoryLoad::MISSING:
            Note("default parameters; stores go to " + strMemoryPath);
            break;
        case sim::MemoryLoad::INVALID:
            Note("warning: " + strError + "; using the default parameters");
            words = sim::DEFAULT_PARAMETER_WORDS;
            break;
    }

    const std::string strFirmwarePath =
        options.strFirmwarePath.empty()
            ? (std::filesystem::path(strMemoryPath).parent_path() / "gyro-sim-firmware").string()
            : options.strFirmwarePath;

    sim::CPtyPort pty;
    if (!pty.Open(strError)) {
        Note("cannot open a pseudo-terminal: " + strError);
        return 1;
    }
    InstallSignalHandlers();
    if (platform::PublishPort(options.strName, pty.SlavePath())) {
        Note("\"" + options.strName + "\" is " + pty.SlavePath());
    } else if (errno == EEXIST) {
        // A live simulator (or another program) holds the name: its port is not ours to take.
        std::error_code ec;
        const std::string strHolder =
            std::filesystem::read_symlink(platform::PublishedPortsFolder() + "/" + options.strName,
                                          ec)
                .string();
        Note("\"" + options.strName + "\" is already published for " + strHolder +
             "; give this simulator another name with --name");
        return 1;
    } else {
        Note("warning: cannot publish \"" + options.strName + "\": " + std::strerror(errno));
    }
    // The path comes last: whoever waits for it finds the port published.
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);

    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    sim::CGyroSimulator gyro(loop);
    gyro.SetParameters(words);
    gyro.SetProductId(options.nProductId);
    gyro.SetMemoryMapVersion(options.nMemoryMapVersion);
    gyro.SetFaults(options.faults);

    std::optional<sim::CLineModel> line;
    if (options.bLineModel) {
        line.emplace(static_cast<int64_t>(options.nAnswerDelayUs) * 1000);
        // Bytes leave within microseconds of their time, not the kernel's default 50 us later.
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }

    std::string strOut;
    bool bDisconnect = false;
    // Chatter that nobody reads is not kept beyond what a terminal would hold.
    gyro.SetOutput([&strOut, &line, &loop](const std::string& strBytes) {
        if (line)
            line->FromGyro(strBytes, loop.NowNs());
        else if (strOut.size() < UNSENT_LIMIT)
            strOut += strBytes;
    });
    gyro.SetDisconnectHandler([&bDisconnect] { bDisconnect = true; });
    gyro.SetLog(Note);
    gyro.SetStoreObserver([&](uint16_t, uint16_t) {
        std::string strSaveError;
        if (!sim::SaveMemoryFile(strMemoryPath, gyro.Parameters(), strSaveError))
            Note("warning: parameter memory not saved: " + strSaveError);
    });
    gyro.SetLoaderObserver([&strFirmwarePath](const std::vector<sim::LoaderRecord>& records) {
        KeepLoaderRecords(strFirmwarePath, records);
    });

    int nExit = 0;
    while (g_nStopSignal == 0 && !bDisconnect) {
        pollfd fd{pty.MasterFd(), static_cast<short>(POLLIN | (strOut.empty() ? 0 : POLLOUT)), 0};
        const bool bBusy = gyro.PendingAnswers() > 0 || gyro.IsChattering();
        int64_t nWaitNs = (bBusy ? POLL_BUSY_MS : POLL_IDLE_MS) * NS_PER_MS;
        if (line)
            nWaitNs = std::clamp(line->NextDueNs() - loop.NowNs(), int64_t{0}, nWaitNs);
        const timespec wait{static_cast<time_t>(nWaitNs / 1'000'000'000),
                            static_cast<long>(nWaitNs % 1'000'000'000)};
        const int nReady = ppoll(&fd, 1, &wait, nullptr);
        if (nReady < 0 && errno != EINTR) {
            Note(std::string("poll: ") + std::strerror(errno));
            nExit = 1;
            break;
        }
        if (nReady > 0 && (fd.revents & POLLIN) &&
            !(options.bLoopback ? EchoToProgram(pty.MasterFd(), strOut)
                                : ReceiveFromProgram(pty.MasterFd(), gyro, line ? &*line : nullptr,
                                                     loop.NowNs()))) {
            nExit = 1;
            break;
        }
        // Answers whose delay has run out.
        loop.RunFor(0);
        // Bytes that have crossed the line.
        if (line) {
            std::string strArrived;
            line->RunDue(
                loop.NowNs(), [&gyro](uint8_t byte) { gyro.Receive(byte); }, strArrived);
            if (strOut.size() < UNSENT_LIMIT)
                strOut += strArrived;
        }
        if (!bDisconnect)
            SendToProgram(pty.MasterFd(), strOut);
    }

    if (bDisconnect)
        Note("disconnected after " + std::to_string(options.faults.nDisconnectAfter) + " requests");
    else if (g_nStopSignal != 0)
        Note(std::string("stopped by ") + strsignal(g_nStopSignal));
    UnpublishOwnPort(options.strName, pty.SlavePath());
    pty.Close();
    return nExit;
}
