// morvane-bench: how close a full Read, a full Store and a firmware upload come to the time
// their state tables and the serial line allow, and what they cost the machine.
//
// It starts gyro-sim with its line model (a pseudo-terminal paced like a 19200 baud cable),
// drives the very pages that morvane-gyro-cli drives, in real time through the termios port,
// and prints, for each sequence, the wall time, the schedule floor, their ratio and the CPU
// time over the wall time; then the CPU while the tool sits idle with a port selected, the
// peak memory of a morvane-gyro-cli read, and the cost of opening and checking firmware files.
// The upload's progress goes into an SVG plot beside the floor's. The desktop program
// (morvane-bench-desktop --drive, Qt offscreen) goes through the same sequences beside them.
// --slow-link repeats both programs' sequences behind a Bluetooth-like 40 ms and a poor 400 ms
// answer delay; --timeout-margin finds the answer delay at which the answer time-outs begin to
// fail a read and an upload; --trace-cost runs both programs' sequences without and with a
// wire trace, side by side; --all does all three.
//
//   morvane-bench [--runs N] [--records N] [--answer-delay-us N] [--idle-s N] [--big-mb N]
//                 [--svg FILE] [--files-only] [--no-desktop] [--slow-link] [--slow-records N]
//                 [--timeout-margin] [--trace-cost] [--all]

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/config_sheet.h"
#include "firmware/firmware_file.h"
#include "firmware/firmware_upload.h"
#include "link/wire_trace.h"
#include "platform/event_loop.h"
#include "platform/headless/headless_ui.h"
#include "platform/port_map.h"
#include "res/resources.h"
#include "shell/splash.h"
#include "sim/fwr_file.h"
#include "sim/line_model.h"

extern char** environ;

using namespace platform::ui;
namespace fs = std::filesystem;

namespace {

constexpr int64_t NS_PER_MS = 1'000'000;
constexpr int64_t NS_PER_S = 1'000'000'000;
// Far longer than any sequence takes; only a machine that stopped moving reaches it.
constexpr int64_t SEQUENCE_LIMIT_MS = 600'000;
constexpr uint32_t CLI_FLASH_RECORDS = 200;

struct BenchOptions {
    int nRuns = 1;
    uint32_t nRecords = 2000;
    uint32_t nAnswerDelayUs = 0;
    int nIdleS = 10;
    int nBigMb = 100;
    std::string strSvg = "upload-progress.svg";
    bool bFilesOnly = false;
    bool bDesktop = true;
    bool bSlowLink = false;
    uint32_t nSlowRecords = 200;
    bool bTimeoutMargin = false;
    bool bTraceCost = false;
};

int64_t TimevalNs(const timeval& tv) {
    return static_cast<int64_t>(tv.tv_sec) * NS_PER_S + static_cast<int64_t>(tv.tv_usec) * 1000;
}

// User and system time of this process.
int64_t CpuNs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return TimevalNs(usage.ru_utime) + TimevalNs(usage.ru_stime);
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// ---------------------------------------------------------------------------------------------
// The schedule floor.
//
// Each sequence is its fixed waits plus a chain of exchanges: a step timer runs out, the
// request goes out, its bytes cross the line (10 bits a byte at 19200 baud, 520.83 us), the gyro
// waits its answer delay, the answer's bytes cross back, the receive poll takes the answer,
// the next step timer starts. Two floors come from that chain:
//  - strict: every answer is taken the instant its last byte arrives;
//  - polled: every timer fires exactly on time, so an answer is taken at the first tick of its
//    poll's own grid (10 ms for Read and Store, 15 ms for the upload; the grid starts where the
//    poll was last armed and moves one period a tick) at or after its last byte. That is the
//    state tables' own granularity, not ours; the targets are measured against this floor.

struct Exchange {
    unsigned nStepMs;   // step timer that sends the request (0: sent by the step before)
    int nRequestBytes;  // what the program writes
    int nAnswerBytes;   // what the gyro sends back (gyro-sim's answers, sim/README.md)
    bool bArmsPoll;     // the sending step arms the receive poll afresh
};

struct Schedule {
    const char* pName;
    int64_t nLeadMs;  // from the tap to the first request
    int64_t nPollMs;
    std::vector<Exchange> exchanges;
    int64_t nTailMs;  // from the last answer taken to the sequence's end
    int nBytes = 0;   // crossing the line, both ways
};

struct Floor {
    std::vector<int64_t> taken;  // when each answer is taken
    int64_t nEndNs = 0;
};

Floor ComputeFloor(const Schedule& schedule, int64_t nAnswerDelayNs, bool bPolled) {
    Floor floor;
    const int64_t nPollNs = schedule.nPollMs * NS_PER_MS;
    int64_t t = schedule.nLeadMs * NS_PER_MS;
    int64_t nGridNs = t;
    for (const Exchange& ex : schedule.exchanges) {
        t += ex.nStepMs * NS_PER_MS;
        if (ex.bArmsPoll)
            nGridNs = t;
        const int64_t nArrived = sim::LineByteDoneNs(
            sim::LineByteDoneNs(t, ex.nRequestBytes) + nAnswerDelayNs, ex.nAnswerBytes);
        if (bPolled) {
            const int64_t nTicks =
                std::max<int64_t>(1, (nArrived - nGridNs + nPollNs - 1) / nPollNs);
            nGridNs += nTicks * nPollNs;
            t = nGridNs;
        } else {
            t = nArrived;
        }
        floor.taken.push_back(t);
    }
    floor.nEndNs = t + schedule.nTailMs * NS_PER_MS;
    return floor;
}

// Read: tap, 1 ms, 100 ms, open, 1000 ms; the wake-up; product ID and format arm the poll
// afresh; firmware, serial (two words), loader; sixteen parameter words; 1 ms to the end.
// Answers: echo 5, read answer 15 characters.
Schedule ReadSchedule() {
    Schedule s{"Read", 1 + 100 + 1000, 10, {{0, 5, 5, true}}, 1};
    s.exchanges.push_back({1, 10, 15, true});
    s.exchanges.push_back({1, 10, 15, true});
    for (int i = 0; i < 4 + 16; ++i)
        s.exchanges.push_back({1, 10, 15, false});
    return s;
}

// Store: tap, 1 ms, 10 ms, open, 1000 ms; the wake-up; format (arms the poll); firmware, serial
// (two), loader, servo direction word; fifteen writes (14 bytes, acknowledged with 9); 1 ms.
Schedule StoreSchedule() {
    Schedule s{"Store", 1 + 10 + 1000, 10, {{0, 5, 5, true}, {1, 10, 15, true}}, 1};
    for (int i = 0; i < 5; ++i)
        s.exchanges.push_back({1, 10, 15, false});
    for (int i = 0; i < 15; ++i)
        s.exchanges.push_back({1, 14, 9, false});
    return s;
}

// Upload: tap, 100 ms, open, 500 ms before the discard, "15EBaa" (its 5-character answer waits
// in the queue), 500 ms, "16EAaa" with the poll armed; the 67-character identity; 10 ms to the
// file step, 10 ms to the first record; each record 22 bytes, answered by one; after the last,
// 10 ms to find the end, 10 ms to the finish step and its 500 ms wait before the port closes.
Schedule UploadSchedule(uint32_t nRecords) {
    Schedule s{"Upload", 100 + 500 + 500, 15, {{0, 6, 67, true}}, 10 + 10 + 500};
    for (uint32_t i = 0; i < nRecords; ++i)
        s.exchanges.push_back({i == 0 ? 20u : 10u, 22, 1, false});
    s.nBytes = 6 + 5;
    return s;
}

int LineBytes(const Schedule& s) {
    int nBytes = s.nBytes;
    for (const Exchange& ex : s.exchanges)
        nBytes += ex.nRequestBytes + ex.nAnswerBytes;
    return nBytes;
}

// ---------------------------------------------------------------------------------------------
// gyro-sim with its line model, in a folder of its own.

class SimProcess {
  public:
    bool Start(const fs::path& program, const fs::path& folder, const std::string& strName,
               uint32_t nAnswerDelayUs) {
        // The shell gives its process ID and becomes gyro-sim, which gives its tty's path.
        const std::string strCommand =
            "echo $$; exec '" + program.string() + "' --line-model --answer-delay-us " +
            std::to_string(nAnswerDelayUs) + " --name '" + strName + "' --memory '" +
            (folder / "memory").string() + "' --firmware '" + (folder / "records").string() +
            "' 2>/dev/null";
        m_pOut = popen(strCommand.c_str(), "r");
        char line[256] = {};
        if (m_pOut && std::fgets(line, sizeof line, m_pOut))
            m_pid = std::atoi(line);
        return m_pOut && m_pid > 0 && std::fgets(line, sizeof line, m_pOut) && line[0] == '/';
    }
    ~SimProcess() {
        if (m_pid > 0)
            kill(m_pid, SIGTERM);
        if (m_pOut)
            pclose(m_pOut);
    }

  private:
    FILE* m_pOut = nullptr;
    pid_t m_pid = -1;
};

// n of "COMn:" for the port with that friendly name; 0 for none.
int ComPortOf(const std::string& strName) {
    platform::PortMap::Instance().Refresh();
    for (const platform::PortMapEntry& entry : platform::PortMap::Instance().Entries())
        if (entry.strFriendlyName == strName)
            return entry.nNumber;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// One measured run of a sequence.

struct Measured {
    bool bDone = false;
    int64_t nWallNs = 0;
    int64_t nCpuNs = 0;
    // Upload: records acknowledged, with the time since the tap.
    std::vector<std::pair<int64_t, int>> progress;
};

// Taps the button and runs the loop until bIdle holds; bDone says whether it ended well.
Measured RunTimed(platform::EventLoop& loop, CControl& button, const std::function<bool()>& bIdle,
                  const std::function<bool()>& bDone,
                  const std::function<void(Measured&, int64_t)>& observe = nullptr) {
    Measured m;
    const int64_t nCpu = CpuNs();
    const int64_t nStart = loop.NowNs();
    CUserInput::Tap(button);
    loop.RunUntil(
        [&] {
            if (observe)
                observe(m, loop.NowNs() - nStart);
            return bIdle();
        },
        SEQUENCE_LIMIT_MS);
    m.nWallNs = loop.NowNs() - nStart;
    m.nCpuNs = CpuNs() - nCpu;
    m.bDone = bDone();
    return m;
}

struct Results {
    std::vector<Measured> reads, stores, uploads;
    int64_t nIdleWallNs = 0, nIdleCpuNs = 0;
    bool bIdleMeasured = false;
};

void DriveSheet(CTQ480ConfigSheet& sheet, platform::headless::HeadlessUiHost& host, int nPort,
                const BenchOptions& options, const fs::path& fwr, Results& results) {
    platform::EventLoop& loop = host.Loop();
    CMainCtrlPage& page = sheet.m_mainPage;
    CControl& ports = *page.GetDlgItem(IDC_COMPORT);
    for (int i = 0; i < ports.GetCount(); ++i)
        if (ports.GetItemData(i) == nPort && ports.GetCurSel() != i)
            CUserInput::Pick(ports, i);
    auto linkIdle = [&] { return page.m_link.State() == LINK_IDLE && !page.m_link.IsBusy(); };

    for (int nRun = 0; nRun < options.nRuns; ++nRun) {
        results.reads.push_back(RunTimed(loop, *page.GetDlgItem(IDC_READ), linkIdle, [&] {
            return page.m_link.m_strStatus == L"Read Complete";
        }));
        results.stores.push_back(RunTimed(loop, *page.GetDlgItem(IDC_STORE), linkIdle, [&] {
            return page.m_link.m_strStatus == L"Write Complete";
        }));
    }

    // Idle with the port selected, once the status line has been cleared.
    if (options.nIdleS > 0) {
        loop.RunFor(2100);
        const int64_t nCpu = CpuNs();
        const int64_t nStart = loop.NowNs();
        loop.RunFor(static_cast<int64_t>(options.nIdleS) * 1000);
        results.nIdleWallNs = loop.NowNs() - nStart;
        results.nIdleCpuNs = CpuNs() - nCpu;
        results.bIdleMeasured = true;
    }

    if (options.nRecords == 0)
        return;
    CTQ480FirmwarePage& fwPage = sheet.m_firmwarePage;
    const CFirmwareUpload& upload = fwPage.m_upload;
    CUserInput::ChooseTab(sheet, sheet.GetPageCount() - 1);
    host.SetFileResponder([&fwr](const std::wstring&, std::wstring& strPath) {
        strPath = fwr.wstring();
        return true;
    });
    for (int nRun = 0; nRun < options.nRuns; ++nRun) {
        const size_t nBoxes = host.MessageBoxes().size();
        CUserInput::Tap(*fwPage.GetDlgItem(IDC_OPEN_FIRMWARE));
        // A record is acknowledged when its "." moves the upload from waiting to sending.
        int nLastState = UPLOAD_IDLE;
        results.uploads.push_back(RunTimed(
            loop, *fwPage.GetDlgItem(IDC_SEND_FIRMWARE),
            [&] { return upload.m_nUploadState == UPLOAD_IDLE && !upload.m_bTransferActive; },
            [&] {
                const auto& boxes = host.MessageBoxes();
                return boxes.size() > nBoxes && boxes.back().strText == UPLOAD_COMPLETED;
            },
            [&](Measured& m, int64_t nNowNs) {
                const int nState = upload.m_nUploadState;
                if (nLastState == UPLOAD_WAIT_RECORD && nState == UPLOAD_SEND_RECORD)
                    m.progress.emplace_back(nNowNs,
                                            m.progress.empty() ? 1 : m.progress.back().second + 1);
                nLastState = nState;
            }));
    }
}

// ---------------------------------------------------------------------------------------------
// morvane-gyro-cli as a child: its wall time, CPU time and peak resident memory.

struct ChildRun {
    bool bDone = false;
    int64_t nWallNs = 0, nCpuNs = 0;
    long nPeakKb = 0;
};

ChildRun RunChild(const std::vector<std::string>& args) {
    ChildRun run;
    std::vector<char*> argv;
    for (const std::string& strArg : args)
        argv.push_back(const_cast<char*>(strArg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int64_t nStart = platform::SteadyNowNs();
    pid_t pid = -1;
    const int nSpawn = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (nSpawn != 0)
        return run;
    int nStatus = 0;
    rusage usage{};
    if (wait4(pid, &nStatus, 0, &usage) != pid)
        return run;
    run.nWallNs = platform::SteadyNowNs() - nStart;
    run.nCpuNs = TimevalNs(usage.ru_utime) + TimevalNs(usage.ru_stime);
    run.nPeakKb = usage.ru_maxrss;
    run.bDone = WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
    return run;
}

// ---------------------------------------------------------------------------------------------
// Firmware files: opening (header only) and checking the whole payload.

struct FileCost {
    uintmax_t nBytes = 0;
    double fOpenUs = 0;    // median of the opens
    double fCheckMBs = 0;  // median payload check speed
    double fCheckUs = 0;   // median payload check time
    // The same per second of CPU: what the check costs when other work shares the cores.
    double fCheckCpuMBs = 0;
    bool bGood = false;
};

FileCost MeasureFile(const fs::path& path, int nOpens, int nChecks) {
    FileCost cost;
    cost.nBytes = fs::file_size(path);
    std::vector<double> opens, checks, cpuChecks, checkTimes;
    for (int i = 0; i < nOpens; ++i) {
        const int64_t nStart = platform::SteadyNowNs();
        CFirmwareFile file;
        const bool bOpen = file.Open(path.wstring());
        const FirmwareHeader header = ReadHeaderLines(file);
        file.Close();
        opens.push_back(static_cast<double>(platform::SteadyNowNs() - nStart) / 1000);
        cost.bGood = bOpen && header.bComplete && !header.bCorrupt;
    }
    for (int i = 0; i < nChecks; ++i) {
        CFirmwareFile file;
        file.Open(path.wstring());
        SkipHeaderLines(file);
        const int64_t nPayload = file.Length() - file.Position();
        const int64_t nStart = platform::SteadyNowNs();
        const int64_t nCpu = CpuNs();
        cost.bGood = cost.bGood && RecordsWellFormed(file);
        const double fSeconds = static_cast<double>(platform::SteadyNowNs() - nStart) / NS_PER_S;
        const double fCpuSeconds = static_cast<double>(CpuNs() - nCpu) / NS_PER_S;
        checks.push_back(static_cast<double>(nPayload) / 1e6 / fSeconds);
        cpuChecks.push_back(static_cast<double>(nPayload) / 1e6 / std::max(fCpuSeconds, 1e-6));
        checkTimes.push_back(fSeconds * 1e6);
    }
    cost.fOpenUs = Median(opens);
    cost.fCheckMBs = Median(checks);
    cost.fCheckUs = Median(checkTimes);
    cost.fCheckCpuMBs = Median(cpuChecks);
    return cost;
}

bool WriteFwr(const fs::path& path, uint32_t nRecords) {
    sim::FirmwareFileRecipe recipe;
    recipe.nRecords = nRecords;
    std::ofstream out(path, std::ios::binary);
    sim::WriteFirmwareFile(recipe, out);
    return static_cast<bool>(out.flush());
}

// ---------------------------------------------------------------------------------------------
// The upload's progress against its floors, as an SVG plot.

void WriteSvg(const std::string& strPath, const std::vector<std::pair<int64_t, int>>& measured,
              int64_t nMeasuredEndNs, const Floor& polled, const Floor& strict, uint32_t nRecords) {
    constexpr double W = 760, H = 440, L = 70, R = 20, T = 40, B = 60;
    const double fMaxS =
        std::ceil(std::max(static_cast<double>(polled.nEndNs),
                           measured.empty() ? 0.0 : static_cast<double>(measured.back().first)) /
                  NS_PER_S / 10) *
        10;
    auto x = [&](double s) { return L + s / fMaxS * (W - L - R); };
    auto y = [&](double n) { return H - B - n / nRecords * (H - T - B); };
    std::ofstream svg(strPath);
    svg << "<svg xmlns='http://www.w3.org/2000/svg' width='" << W << "' height='" << H
        << "' font-family='sans-serif' font-size='12'>\n"
        << "<rect width='100%' height='100%' fill='white'/>\n"
        << "<text x='" << L << "' y='22' font-size='14'>Firmware upload, " << nRecords
        << " records: records acknowledged against time</text>\n";
    // Axes, ticks and labels.
    svg << "<path d='M" << L << " " << T << "V" << H - B << "H" << W - R
        << "' stroke='black' fill='none'/>\n";
    for (double s = 0; s <= fMaxS + 1e-9; s += fMaxS / 10)
        svg << "<line x1='" << x(s) << "' y1='" << H - B << "' x2='" << x(s) << "' y2='"
            << H - B + 5 << "' stroke='black'/><text x='" << x(s) << "' y='" << H - B + 20
            << "' text-anchor='middle'>" << s << "</text>\n";
    for (int i = 0; i <= 4; ++i) {
        const double n = nRecords * i / 4.0;
        svg << "<line x1='" << L - 5 << "' y1='" << y(n) << "' x2='" << L << "' y2='" << y(n)
            << "' stroke='black'/><text x='" << L - 8 << "' y='" << y(n) + 4
            << "' text-anchor='end'>" << n << "</text>\n";
    }
    svg << "<text x='" << (L + W - R) / 2 << "' y='" << H - 15
        << "' text-anchor='middle'>time since Send Firmware was tapped (s)</text>\n"
        << "<text transform='translate(18," << (T + H - B) / 2
        << ") rotate(-90)' text-anchor='middle'>records acknowledged</text>\n";
    // A series as a polyline, thinned to at most about 500 points.
    auto series = [&](const std::vector<std::pair<int64_t, int>>& points, const char* pStyle) {
        svg << "<polyline fill='none' " << pStyle << " points='";
        const size_t nStep = std::max<size_t>(1, points.size() / 500);
        for (size_t i = 0; i < points.size(); i += nStep)
            svg << x(static_cast<double>(points[i].first) / NS_PER_S) << "," << y(points[i].second)
                << " ";
        if (!points.empty())
            svg << x(static_cast<double>(points.back().first) / NS_PER_S) << ","
                << y(points.back().second);
        svg << "'/>\n";
    };
    auto floorPoints = [](const Floor& floor) {
        std::vector<std::pair<int64_t, int>> points;
        // The first answer taken is the identity; records follow.
        for (size_t i = 1; i < floor.taken.size(); ++i)
            points.emplace_back(floor.taken[i], static_cast<int>(i));
        return points;
    };
    series(floorPoints(strict), "stroke='#999' stroke-dasharray='6 4' stroke-width='1.5'");
    series(floorPoints(polled), "stroke='#1f77b4' stroke-width='2'");
    series(measured, "stroke='#d62728' stroke-width='1.5'");
    auto seconds = [](int64_t nNs) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(nNs) / NS_PER_S);
        return std::string(text);
    };
    const std::string legend[][2] = {
        {"#d62728", "measured, " + seconds(nMeasuredEndNs)},
        {"#1f77b4",
         "floor: exact timers, answers taken at the poll's 15 ms ticks, " + seconds(polled.nEndNs)},
        {"#999", "strict floor: answers taken the instant they arrive, " + seconds(strict.nEndNs)}};
    for (int i = 0; i < 3; ++i)
        svg << "<line x1='" << L + 20 << "' y1='" << T + 15 + 18 * i << "' x2='" << L + 50
            << "' y2='" << T + 15 + 18 * i << "' stroke='" << legend[i][0]
            << "' stroke-width='2'/><text x='" << L + 58 << "' y='" << T + 19 + 18 * i << "'>"
            << legend[i][1] << "</text>\n";
    svg << "</svg>\n";
}

// ---------------------------------------------------------------------------------------------

// The wall/floor and CPU/wall targets of every sequence row.
constexpr double WALL_FLOOR_TARGET = 1.02;
constexpr double CPU_WALL_TARGET_PERCENT = 5.0;

// A sequence's row: strLabel names it ("Read" for the companion's, "Desktop Read", ...).
void PrintSequence(const std::string& strLabel, const Schedule& schedule,
                   const std::vector<Measured>& runs, int64_t nAnswerDelayNs) {
    const Floor strict = ComputeFloor(schedule, nAnswerDelayNs, false);
    const Floor polled = ComputeFloor(schedule, nAnswerDelayNs, true);
    std::vector<double> walls, ratios, strictRatios, cpus;
    int nDone = 0;
    for (const Measured& m : runs) {
        walls.push_back(static_cast<double>(m.nWallNs) / NS_PER_S);
        ratios.push_back(static_cast<double>(m.nWallNs) / static_cast<double>(polled.nEndNs));
        strictRatios.push_back(static_cast<double>(m.nWallNs) / static_cast<double>(strict.nEndNs));
        cpus.push_back(100.0 * static_cast<double>(m.nCpuNs) /
                       static_cast<double>(std::max<int64_t>(1, m.nWallNs)));
        nDone += m.bDone;
    }
    const double fFloorS = static_cast<double>(polled.nEndNs) / NS_PER_S;
    const bool bAllDone = nDone == static_cast<int>(runs.size()) && !runs.empty();
    std::printf(
        "%-7s %d/%zu done%s  floor %.3f s (strict %.3f s; %d bytes on the line, %zu "
        "exchanges)\n"
        "        wall %.3f s  wall/floor %.4f %s  wall/strict %.3f  over the floor "
        "%.0f us an exchange  CPU/wall %.3f %% %s\n",
        strLabel.c_str(), nDone, runs.size(), bAllDone ? "" : " (NOT ALL DONE)", fFloorS,
        static_cast<double>(strict.nEndNs) / NS_PER_S, LineBytes(schedule),
        schedule.exchanges.size(), Median(walls), Median(ratios),
        Median(ratios) <= WALL_FLOOR_TARGET ? "ok" : "MISS", Median(strictRatios),
        (Median(walls) - fFloorS) * 1e6 / static_cast<double>(schedule.exchanges.size()),
        Median(cpus), Median(cpus) <= CPU_WALL_TARGET_PERCENT ? "ok" : "MISS");
    std::fflush(stdout);
}

void PrintIdle(const std::string& strLabel, const Results& results, int nPort, double fTarget) {
    if (!results.bIdleMeasured) {
        std::printf("%-7s not measured\n", strLabel.c_str());
        return;
    }
    const double fIdle = 100.0 * static_cast<double>(results.nIdleCpuNs) /
                         static_cast<double>(std::max<int64_t>(1, results.nIdleWallNs));
    std::printf("%-7s %.0f s with COM%d selected: CPU %.3f ms, CPU/wall %.4f %% %s\n",
                strLabel.c_str(), static_cast<double>(results.nIdleWallNs) / NS_PER_S, nPort,
                static_cast<double>(results.nIdleCpuNs) / NS_PER_MS, fIdle,
                fIdle <= fTarget ? "ok" : "MISS");
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------------
// The programs, each driven through its sequences against one gyro-sim. A row set is the
// program, what it does (runs, records, idle time) and any arguments of its own on its command
// line, so that the same rows can be run again with other arguments and set side by side.

struct RowSet {
    int nRuns = 1;
    uint32_t nRecords = 0;  // 0: no upload
    int nIdleS = 0;         // 0: no idle figure
    std::vector<std::string> programArgs;
    // With a wire trace appended to this file; empty: none.
    std::string strTraceFile;
};

// The companion's pages, in this process on the headless backend and the real clock, as
// morvane-gyro-cli drives them.
Results RunCompanion(int nPort, const RowSet& rows, const fs::path& fwr) {
    BenchOptions options;
    options.nRuns = rows.nRuns;
    options.nRecords = rows.nRecords;
    options.nIdleS = rows.nIdleS;
    Results results;
    platform::HeadlessEventLoop loop(platform::ClockKind::Real);
    platform::headless::HeadlessUiHost host(loop);
    SetHost(&host);
    SetTemplateLookup(FindDialogTemplate);
    host.SetMessageBoxResponder([](const platform::headless::ShownMessageBox& box) {
        return (box.nType & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    for (const int nAgreement : {IDD_SPLASH, IDD_SPLASH_FW})
        host.SetDialogResponder(
            nAgreement, [](CDialog& dlg) { CUserInput::Tap(*dlg.GetDlgItem(IDC_I_AGREE)); });
    host.SetSheetScript([&](CPropertySheet& shown) {
        DriveSheet(static_cast<CTQ480ConfigSheet&>(shown), host, nPort, options, fwr, results);
        CUserInput::CloseSheet(shown);
    });
    platform::CAppendFile traceOutput;
    std::optional<CWireTrace> trace;
    if (!rows.strTraceFile.empty() && traceOutput.Open(rows.strTraceFile) == 0)
        trace.emplace(traceOutput, loop, "morvane-bench");
    {
        CTQ480ConfigSheet sheet(LoadResourceString(IDS_SHEET_TITLE), nullptr, 0);
        sheet.DoModal();
    }
    SetHost(nullptr);
    return results;
}

std::string Quoted(const std::string& str) {
    std::string strQuoted = "'";
    for (const char c : str)
        strQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strQuoted + "'";
}

// The desktop program (morvane-bench-desktop --drive) on Qt's offscreen platform: it acts on
// its own sheet and tells each sequence's wall and CPU time in lines of its own.
Results RunDesktop(const fs::path& bin, const fs::path& folder, int nPort, const RowSet& rows,
                   const fs::path& fwr) {
    Results results;
    std::string strCommand = Quoted((bin / "morvane-bench-desktop").string()) + " --drive " +
                             std::to_string(nPort) + " --runs " + std::to_string(rows.nRuns) +
                             " --idle-s " + std::to_string(rows.nIdleS);
    if (rows.nRecords > 0)
        strCommand += " --fwr " + Quoted(fwr.string());
    if (!rows.strTraceFile.empty())
        strCommand += " --trace " + Quoted(rows.strTraceFile);
    if (!rows.programArgs.empty()) {
        strCommand += " --";
        for (const std::string& strArg : rows.programArgs)
            strCommand += " " + Quoted(strArg);
    }
    const fs::path log = folder / "desktop.log";
    strCommand += " 2>>" + Quoted(log.string());
    FILE* pOut = popen(strCommand.c_str(), "r");
    if (!pOut)
        return results;
    char line[256] = {};
    while (std::fgets(line, sizeof line, pOut)) {
        char what[16] = {};
        int nRun = 0, nDone = 0;
        long long nWallNs = 0, nCpuNs = 0;
        if (std::sscanf(line, "DESKTOP %15s %d %d %lld %lld", what, &nRun, &nDone, &nWallNs,
                        &nCpuNs) != 5)
            continue;
        const std::string strWhat = what;
        if (strWhat == "idle") {
            results.nIdleWallNs = nWallNs;
            results.nIdleCpuNs = nCpuNs;
            results.bIdleMeasured = true;
            continue;
        }
        Measured m;
        m.bDone = nDone != 0;
        m.nWallNs = nWallNs;
        m.nCpuNs = nCpuNs;
        (strWhat == "read"    ? results.reads
         : strWhat == "store" ? results.stores
                              : results.uploads)
            .push_back(m);
    }
    const int nStatus = pclose(pOut);
    if (nStatus != 0)
        std::printf("        (morvane-bench-desktop ended with status %d; its messages: %s)\n",
                    WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus),
                    log.c_str());
    return results;
}

void PrintSequences(const std::string& strPrefix, const Results& results, const RowSet& rows,
                    int64_t nDelayNs) {
    PrintSequence(strPrefix + "Read", ReadSchedule(), results.reads, nDelayNs);
    PrintSequence(strPrefix + "Store", StoreSchedule(), results.stores, nDelayNs);
    if (rows.nRecords > 0)
        PrintSequence(strPrefix + "Upload", UploadSchedule(rows.nRecords), results.uploads,
                      nDelayNs);
}

// ---------------------------------------------------------------------------------------------
// The answer time-outs' margin: the largest answer delay at which a command still completes.

struct Margin {
    uint32_t nPassUs = 0;  // completes
    uint32_t nFailUs = 0;  // fails
    int nProbes = 0;
    bool bBracketed = false;
};

// One gyro-sim per probe, all under one name (so one COM number); the command is run with the
// port's name in place of "COM".
Margin BisectAnswerDelay(const fs::path& bin, const fs::path& folder, const std::string& strName,
                         std::vector<std::string> command, uint32_t nPassUs, uint32_t nFailUs,
                         uint32_t nResolutionUs) {
    auto completes = [&](uint32_t nDelayUs) {
        SimProcess sim;
        if (!sim.Start(bin / "gyro-sim", folder, strName, nDelayUs))
            return false;
        std::vector<std::string> args = command;
        for (std::string& strArg : args)
            if (strArg == "COM")
                strArg = "COM" + std::to_string(ComPortOf(strName));
        return RunChild(args).bDone;
    };
    Margin margin;
    margin.bBracketed = completes(nPassUs) && !completes(nFailUs);
    margin.nProbes = 2;
    while (margin.bBracketed && nFailUs - nPassUs > nResolutionUs) {
        const uint32_t nMidUs = nPassUs + (nFailUs - nPassUs) / 2;
        (completes(nMidUs) ? nPassUs : nFailUs) = nMidUs;
        ++margin.nProbes;
    }
    margin.nPassUs = nPassUs;
    margin.nFailUs = nFailUs;
    return margin;
}

void PrintMargin(const char* pszWhat, const Margin& margin, double fSeconds) {
    if (!margin.bBracketed) {
        std::printf("Margin  %s: the first delay did not complete or the last did not fail\n",
                    pszWhat);
        return;
    }
    std::printf(
        "Margin  %s: completes up to an answer delay of %.1f ms, fails from %.1f ms "
        "(%d probes, %.0f s)\n",
        pszWhat, margin.nPassUs / 1000.0, margin.nFailUs / 1000.0, margin.nProbes, fSeconds);
    std::fflush(stdout);
}

bool ParseOptions(int argc, char** argv, BenchOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string strOption = argv[i];
        const bool bValue = i + 1 < argc;
        if (strOption == "--runs" && bValue)
            options.nRuns = std::max(1, std::atoi(argv[++i]));
        else if (strOption == "--records" && bValue)
            options.nRecords = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (strOption == "--answer-delay-us" && bValue)
            options.nAnswerDelayUs = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (strOption == "--idle-s" && bValue)
            options.nIdleS = std::max(1, std::atoi(argv[++i]));
        else if (strOption == "--big-mb" && bValue)
            options.nBigMb = std::max(1, std::atoi(argv[++i]));
        else if (strOption == "--files-only")
            options.bFilesOnly = true;
        else if (strOption == "--svg" && bValue)
            options.strSvg = argv[++i];
        else if (strOption == "--no-desktop")
            options.bDesktop = false;
        else if (strOption == "--slow-link")
            options.bSlowLink = true;
        else if (strOption == "--slow-records" && bValue)
            options.nSlowRecords = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (strOption == "--timeout-margin")
            options.bTimeoutMargin = true;
        else if (strOption == "--trace-cost")
            options.bTraceCost = true;
        else if (strOption == "--all")
            options.bSlowLink = options.bTimeoutMargin = options.bTraceCost = true;
        else
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    BenchOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(
            "Usage: morvane-bench [--runs N] [--records N] [--answer-delay-us N] "
            "[--idle-s N] [--big-mb N] [--svg FILE] [--files-only] [--no-desktop]\n"
            "                     [--slow-link] [--slow-records N] [--timeout-margin] "
            "[--trace-cost]\n"
            "                     [--all]\n",
            stderr);
        return 2;
    }
    const int64_t nBenchStartNs = platform::SteadyNowNs();
    const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path folder =
        fs::temp_directory_path() / ("morvane-bench-" + std::to_string(getpid()));
    fs::create_directories(folder / "config");
    // The simulator's port and the remembered COM numbers stay inside the bench's folder.
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int64_t nDelayNs = static_cast<int64_t>(options.nAnswerDelayUs) * 1000;
    const bool bDesktop = options.bDesktop && fs::exists(bin / "morvane-bench-desktop");

    std::printf("morvane-bench: %d run(s), %u records, answer delay %u us, idle %d s\n",
                options.nRuns, options.nRecords, options.nAnswerDelayUs, options.nIdleS);
    std::printf(
        "floor = the state tables' waits and step timers + every byte's line time (10 bits at "
        "19200 baud = 520.83 us) + the answer delay,\n"
        "        each answer taken at the first tick of its poll's grid (10 ms Read/Store, "
        "15 ms upload) after its last byte, as exact timers would;\n"
        "strict = the same with each answer taken the instant its last byte arrives.\n"
        "Read, Store, Upload: the pages morvane-gyro-cli drives, in this process; Desktop: the "
        "desktop program (Qt, offscreen),\n"
        "        its Store and upload timed from the agreement's end. Targets: wall/floor <= "
        "%.2f, CPU/wall <= %.0f %%.\n\n",
        WALL_FLOOR_TARGET, CPU_WALL_TARGET_PERCENT);
    std::fflush(stdout);

    const fs::path fwr = folder / "upload.fwr";
    if (!options.bFilesOnly) {
        const std::string strName = "Bench gyro " + std::to_string(getpid());
        SimProcess sim;
        if (!sim.Start(bin / "gyro-sim", folder, strName, options.nAnswerDelayUs)) {
            std::fputs("cannot start gyro-sim\n", stderr);
            return 1;
        }
        const int nPort = ComPortOf(strName);
        if (nPort < 1 || (options.nRecords > 0 && !WriteFwr(fwr, options.nRecords))) {
            std::fputs("no port for gyro-sim, or no firmware file\n", stderr);
            return 1;
        }

        RowSet rows;
        rows.nRuns = options.nRuns;
        rows.nRecords = options.nRecords;
        rows.nIdleS = options.nIdleS;
        const Results results = RunCompanion(nPort, rows, fwr);
        PrintSequences("", results, rows, nDelayNs);
        if (options.nRecords > 0 && !results.uploads.empty()) {
            const Schedule upload = UploadSchedule(options.nRecords);
            WriteSvg(options.strSvg, results.uploads.back().progress,
                     results.uploads.back().nWallNs, ComputeFloor(upload, nDelayNs, true),
                     ComputeFloor(upload, nDelayNs, false), options.nRecords);
        }
        PrintIdle("Idle", results, nPort, 0.5);

        if (bDesktop) {
            const Results desktop = RunDesktop(bin, folder, nPort, rows, fwr);
            PrintSequences("Desktop ", desktop, rows, nDelayNs);
            PrintIdle("Desktop idle", desktop, nPort, 0.1);
        }

        // What a wire trace costs: the same sequences without and with one, back to back, the
        // upload shortened to the slow link's record count.
        if (options.bTraceCost) {
            const fs::path traceFwr = folder / "trace.fwr";
            WriteFwr(traceFwr, options.nSlowRecords);
            std::printf("\nTrace cost: uploads of %u records, %d run(s) each\n",
                        options.nSlowRecords, options.nRuns);
            std::fflush(stdout);
            for (const bool bProgram : {false, true}) {
                if (bProgram && !bDesktop)
                    continue;
                for (const bool bTraced : {false, true}) {
                    RowSet traceRows;
                    traceRows.nRuns = options.nRuns;
                    traceRows.nRecords = options.nSlowRecords;
                    const fs::path traceFile =
                        folder / (std::string(bProgram ? "desktop" : "companion") + ".trace");
                    if (bTraced)
                        traceRows.strTraceFile = traceFile.string();
                    const std::string strPrefix =
                        std::string(bProgram ? "Desktop " : "") + (bTraced ? "traced " : "plain ");
                    PrintSequences(strPrefix,
                                   bProgram ? RunDesktop(bin, folder, nPort, traceRows, traceFwr)
                                            : RunCompanion(nPort, traceRows, traceFwr),
                                   traceRows, nDelayNs);
                    std::error_code ec;
                    if (bTraced)
                        std::printf("        trace written: %ju bytes\n",
                                    static_cast<uintmax_t>(fs::file_size(traceFile, ec)));
                }
            }
        }

        // The command-line program on its own, as a script would run it: a read, and the
        // upload of a file of CLI_FLASH_RECORDS records.
        const fs::path cliFwr = folder / "cli.fwr";
        WriteFwr(cliFwr, CLI_FLASH_RECORDS);
        const std::string strPort = "COM" + std::to_string(nPort);
        const std::vector<std::string> commands[] = {
            {(bin / "morvane-gyro-cli").string(), "read", strPort, "-"},
            {(bin / "morvane-gyro-cli").string(), "flash", strPort, cliFwr.string(), "--agree"}};
        const std::string strFlashNote = " (" + std::to_string(CLI_FLASH_RECORDS) + " records)";
        for (const auto& command : commands) {
            std::vector<double> peaks, walls, cpus;
            int nDone = 0;
            for (int nRun = 0; nRun < options.nRuns; ++nRun) {
                const ChildRun cli = RunChild(command);
                peaks.push_back(static_cast<double>(cli.nPeakKb) / 1024);
                walls.push_back(static_cast<double>(cli.nWallNs) / NS_PER_S);
                cpus.push_back(100.0 * static_cast<double>(cli.nCpuNs) /
                               static_cast<double>(std::max<int64_t>(1, cli.nWallNs)));
                nDone += cli.bDone;
            }
            std::printf(
                "CLI     morvane-gyro-cli %s%s, %d/%d done: wall %.3f s, CPU/wall %.3f "
                "%%, peak RSS %.1f MB %s\n",
                command[1].c_str(), command[1] == "flash" ? strFlashNote.c_str() : "", nDone,
                options.nRuns, Median(walls), Median(cpus), Median(peaks),
                Median(peaks) <= 16 ? "ok" : "MISS");
        }
        // SimProcess ends gyro-sim here.
    }

    // A Bluetooth serial adapter answers some 40 ms late, a poor one 400 ms: both programs
    // through a Read, a Store and a shorter upload, once each, against the floor at that delay.
    if (options.bSlowLink) {
        const fs::path slowFwr = folder / "slow.fwr";
        WriteFwr(slowFwr, options.nSlowRecords);
        for (const uint32_t nSlowUs : {40'000u, 400'000u}) {
            const std::string strName =
                "Slow gyro " + std::to_string(nSlowUs) + " " + std::to_string(getpid());
            SimProcess sim;
            const int nPort =
                sim.Start(bin / "gyro-sim", folder, strName, nSlowUs) ? ComPortOf(strName) : 0;
            if (nPort < 1) {
                std::fputs("cannot start gyro-sim for the slow link\n", stderr);
                return 1;
            }
            std::printf("\nSlow link: answer delay %u us, uploads of %u records, one run each\n",
                        nSlowUs, options.nSlowRecords);
            std::fflush(stdout);
            RowSet rows;
            rows.nRecords = options.nSlowRecords;
            const std::string strPrefix = std::to_string(nSlowUs / 1000) + "ms ";
            const int64_t nSlowNs = static_cast<int64_t>(nSlowUs) * 1000;
            PrintSequences(strPrefix, RunCompanion(nPort, rows, slowFwr), rows, nSlowNs);
            if (bDesktop)
                PrintSequences(strPrefix + "Desktop ",
                               RunDesktop(bin, folder, nPort, rows, slowFwr), rows, nSlowNs);
        }
    }

    // Where the answer time-outs begin to fail a Read (1000 ms an answer) and an upload
    // (3000 ms), found with morvane-gyro-cli against gyro-sims answering ever later.
    if (options.bTimeoutMargin) {
        std::printf(
            "\nTime-out margin: morvane-gyro-cli against gyro-sim --answer-delay-us, "
            "bisected to 5 ms\n");
        std::fflush(stdout);
        const std::string strName = "Margin gyro " + std::to_string(getpid());
        const std::string strCli = (bin / "morvane-gyro-cli").string();
        int64_t nStartNs = platform::SteadyNowNs();
        const Margin read = BisectAnswerDelay(bin, folder, strName, {strCli, "read", "COM", "-"}, 0,
                                              1'000'000, 5'000);
        PrintMargin("Read (1000 ms answer time-out)", read,
                    static_cast<double>(platform::SteadyNowNs() - nStartNs) / NS_PER_S);
        const fs::path oneFwr = folder / "one.fwr";
        WriteFwr(oneFwr, 1);
        nStartNs = platform::SteadyNowNs();
        const Margin upload = BisectAnswerDelay(
            bin, folder, strName, {strCli, "flash", "COM", oneFwr.string(), "--agree"}, 0,
            3'000'000, 5'000);
        PrintMargin("Upload of 1 record (3000 ms answer time-out)", upload,
                    static_cast<double>(platform::SteadyNowNs() - nStartNs) / NS_PER_S);
        std::printf("\n");
    }

    // The desktop program on Qt's offscreen platform, from its start to its sheet shown.
    if (fs::exists(bin / "morvane-bench-desktop")) {
        std::vector<double> peaks, walls;
        int nDone = 0;
        for (int nRun = 0; nRun < std::max(3, options.nRuns); ++nRun) {
            const ChildRun desktop = RunChild({(bin / "morvane-bench-desktop").string()});
            peaks.push_back(static_cast<double>(desktop.nPeakKb) / 1024);
            walls.push_back(static_cast<double>(desktop.nWallNs) / NS_PER_MS);
            nDone += desktop.bDone;
        }
        std::printf(
            "Desktop offscreen, %d/%zu shown: start to sheet %.1f ms, peak RSS %.1f MB %s\n", nDone,
            walls.size(), Median(walls), Median(peaks), Median(peaks) <= 120 ? "ok" : "MISS");
    }

    // Firmware files: the header opened as the page opens it, the payload checked as the
    // upload checks it before the first record (warm page cache).
    const fs::path small = folder / "small.fwr";
    const fs::path big = folder / "big.fwr";
    const uint32_t nBigRecords =
        static_cast<uint32_t>(static_cast<int64_t>(options.nBigMb) * 1024 * 1024 / 22);
    if (WriteFwr(small, 45) && WriteFwr(big, nBigRecords)) {
        for (const fs::path& path : {small, big}) {
            const FileCost cost = MeasureFile(path, 51, 3);
            // A speed only means something over a payload of some size.
            const bool bSized = cost.nBytes >= 1024 * 1024;
            std::printf(
                "File    %10ju bytes: open (header only) %8.1f us, payload check %8.1f %s "
                "(%.1f MB per CPU second) %s%s\n",
                cost.nBytes, cost.fOpenUs, bSized ? cost.fCheckMBs : cost.fCheckUs,
                bSized ? "MB/s" : "us  ", cost.fCheckCpuMBs,
                !bSized                 ? ""
                : cost.fCheckMBs >= 200 ? "ok"
                                        : "MISS",
                cost.bGood ? "" : " (not valid!)");
        }
    }
    std::printf("morvane-bench took %.0f s\n",
                static_cast<double>(platform::SteadyNowNs() - nBenchStartNs) / NS_PER_S);
    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
