// Bytes arriving at the software gyro from whatever opens its port: it must take any stream,
// and whatever it answers must be one of its own answer forms.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "sim/gyro_sim.h"

extern const std::vector<std::string> FUZZ_SEEDS;
const std::vector<std::string> FUZZ_SEEDS = {
    "01234",        "000801F7aa",    "006401040295aa",    "011E01E0aa",
    "0008aa01F7aa", "a0a0aa01234aa", "15EBaa16EAaa0001aa"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    platform::HeadlessEventLoop loop(platform::ClockKind::Virtual);
    sim::CGyroSimulator gyro(loop);
    gyro.SetOutput([&](const std::string& strAnswer) {
        const size_t n = strAnswer.size();
        const bool bKnown = strAnswer == "01234" || n == 15 || n == 9 || strAnswer == ".15EB" ||
                            ((n == 67 || n == 1) && strAnswer[0] == '.') || strAnswer == "/";
        if (!bKnown)
            __builtin_trap();
    });
    gyro.Receive(std::string(reinterpret_cast<const char*>(pData), nSize));
    loop.RunFor(10);
    return 0;
}
