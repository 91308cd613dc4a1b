// Runs a fuzz target without libFuzzer: the seeds, then mutations of them from a fixed
// pseudo-random sequence, so that every build exercises the target the same way. With clang
// the targets are also built for libFuzzer (MORVANE_FUZZ=ON).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);
// Each target names a few inputs worth starting from.
extern const std::vector<std::string> FUZZ_SEEDS;

int main(int argc, char** argv) {
    const long nRounds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    std::mt19937 random(20261206);
    for (const std::string& strSeed : FUZZ_SEEDS)
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(strSeed.data()), strSeed.size());
    for (long nRound = 0; nRound < nRounds; ++nRound) {
        std::string strInput = FUZZ_SEEDS[random() % FUZZ_SEEDS.size()];
        const int nEdits = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < nEdits; ++i) {
            const size_t nAt = strInput.empty() ? 0 : random() % (strInput.size() + 1);
            switch (random() % 4) {
                case 0:
                    strInput.insert(nAt, 1, static_cast<char>(random()));
                    break;
                case 1:
                    if (nAt < strInput.size())
                        strInput.erase(nAt, 1);
                    break;
                case 2:
                    if (nAt < strInput.size())
                        strInput[nAt] = static_cast<char>(random());
                    break;
                default:
                    strInput.insert(nAt, strInput.substr(0, random() % 16));
                    break;
            }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(strInput.data()), strInput.size());
    }
    std::printf("%ld inputs: 1 passed, 0 failed\n", nRounds + static_cast<long>(FUZZ_SEEDS.size()));
    return 0;
}
