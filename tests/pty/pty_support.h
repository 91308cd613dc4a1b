// Support for the pty tests: gyro-sim in its own runtime and configuration folders.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cstring>
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
        UseFolders();
        if (!strMemoryText.empty())
            std::ofstream(MemoryPath()) << strMemoryText;
        options.insert(options.begin(), {"--name", strName, "--memory", MemoryPath()});
        // The shell gives its process ID and becomes gyro-sim, which gives its tty's path.
        std::string strCommand = "echo $$; exec " GYRO_SIM_PATH;
        for (const std::string& strOption : options)
            strCommand += " '" + strOption + "'";
        m_pOut = popen(strCommand.c_str(), "r");
        char line[256] = {};
        if (m_pOut && std::fgets(line, sizeof line, m_pOut))
            m_pid = std::atoi(line);
        if (m_pOut && std::fgets(line, sizeof line, m_pOut))
            m_strTty.assign(line, std::strcspn(line, "\n"));
    }
    ~GyroSimProcess() {
        Stop();
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
    void Stop() {
        if (m_pid > 0)
            kill(m_pid, SIGTERM);
        if (m_pOut)
            pclose(m_pOut);
        m_pid = -1;
        m_pOut = nullptr;
    }
    // Published ports and remembered COM numbers stay inside the test's folder, also for a
    // program started before the simulator.
    static void UseFolders() {
        fs::create_directories(Folder() / "config");
        setenv("XDG_RUNTIME_DIR", Folder().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (Folder() / "config").c_str(), 1);
    }
    static fs::path Folder() {
        return fs::temp_directory_path() / ("morvane-pty-" + std::to_string(getpid()));
    }
    const std::string& Tty() const { return m_strTty; }
    std::string MemoryPath() const { return (m_folder / "memory").string(); }

  private:
    fs::path m_folder = Folder();
    pid_t m_pid = -1;
    FILE* m_pOut = nullptr;
    std::string m_strTty;
};
