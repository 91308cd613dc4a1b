// gyro-sim's memory file when none is named: under the user's state folder. Apart from the
// simulator library, since only the program on a pseudo-terminal needs it.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "sim/memory_file.h"

namespace sim {

std::string DefaultMemoryFilePath() {
    std::string strState;
    const char* pState = std::getenv("XDG_STATE_HOME");
    if (pState && pState[0] == '/') {
        strState = pState;
    } else {
        const char* pHome = std::getenv("HOME");
        if (!pHome || !*pHome) {
            const passwd* pUser = getpwuid(getuid());
            pHome = pUser ? pUser->pw_dir : "/tmp";
        }
        strState = std::string(pHome) + "/.local/state";
    }
    return strState + "/morvane/gyro-sim-memory";
}

}  // namespace sim
