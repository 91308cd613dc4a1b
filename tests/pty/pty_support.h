// Support for the pty tests: gyro-sim in its own runtime and configuration folders, and
// running the tool's programs with their output captured.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Runs gyro-sim with its own runtime folder and memory file (holding strMemoryText when given);
// ends it on destruction.
class GyroSimProcess {
  public:
    explicit GyroSimProcess(const std::string& strName, std::vector<std::string> options = {},
                            const std::string& strMemoryText = "") {
        m_folder = fs::temp_directory_path() / ("morvane-pty-" + std::to_string(getpid()));
        fs::create_directories(m_folder / "config");
        // Published ports and remembered COM numbers stay inside the test's folder.
        setenv("XDG_RUNTIME_DIR", m_folder.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_folder / "config").c_str(), 1);
        const std::string strMemory = MemoryPath();
        if (!strMemoryText.empty())
            std::ofstream(strMemory) << strMemoryText;
        std::vector<std::string> argv = {GYRO_SIM_PATH, "--name", strName, "--memory", strMemory};
        argv.insert(argv.end(), options.begin(), options.end());
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> pointers;
            for (std::string& strArg : argv)
                pointers.push_back(strArg.data());
            pointers.push_back(nullptr);
            execv(GYRO_SIM_PATH, pointers.data());
            _exit(127);
        }
        close(fds[1]);
        // The first line is the pseudo-terminal's path.
        FILE* pOut = fdopen(fds[0], "r");
        char line[256] = {};
        if (pOut && std::fgets(line, sizeof line, pOut))
            m_strTty = line;
        if (!m_strTty.empty() && m_strTty.back() == '\n')
            m_strTty.pop_back();
        m_pOut = pOut;
    }
    ~GyroSimProcess() {
        Stop();
        if (m_pOut)
            std::fclose(m_pOut);
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
    void Stop() {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    const std::string& Tty() const { return m_strTty; }
    std::string MemoryPath() const { return (m_folder / "memory").string(); }

  private:
    fs::path m_folder;
    pid_t m_pid = -1;
    FILE* m_pOut = nullptr;
    std::string m_strTty;
};

// Runs a command line through the shell; gives its exit status and what it wrote to its
// standard output and standard error.
inline int RunCommand(const std::string& strCommand, std::string& strOutput) {
    FILE* pPipe = popen((strCommand + " 2>&1").c_str(), "r");
    if (!pPipe)
        return -1;
    strOutput.clear();
    char buffer[512];
    size_t nRead = 0;
    while ((nRead = std::fread(buffer, 1, sizeof buffer, pPipe)) > 0)
        strOutput.append(buffer, nRead);
    const int nStatus = pclose(pPipe);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}
