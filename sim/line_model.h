// A serial cable between the program and the software gyro: 19200 baud 8N1, so every byte
// takes ten bit times, 520.83 us, in each direction. Bytes the program writes reach the gyro
// one byte time after each other; the gyro hears a request only when its last byte has
// arrived, may take a processing delay, and its answer goes out byte by byte behind whatever
// is still on the line. The model only keeps times: the caller moves the bytes when due.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace sim {

constexpr int64_t LINE_BAUD = 19200;
constexpr int64_t LINE_BITS_PER_BYTE = 10;  // start, 8 data, stop

// When the nth byte (from 1) of a burst that started at nStartNs has crossed the line.
constexpr int64_t LineByteDoneNs(int64_t nStartNs, int64_t nBytes) {
    return nStartNs + nBytes * LINE_BITS_PER_BYTE * 1'000'000'000 / LINE_BAUD;
}

class CLineModel {
  public:
    explicit CLineModel(int64_t nAnswerDelayNs = 0) : m_nAnswerDelayNs(nAnswerDelayNs) {}

    // The program wrote these bytes; the terminal gave them at nNowNs.
    void FromProgram(const std::string& strBytes, int64_t nNowNs);
    // The gyro answered at nNowNs, or, while RunDue hands it a byte, when that byte arrived.
    void FromGyro(const std::string& strBytes, int64_t nNowNs);

    // Hands every byte whose line time has passed by nNowNs to its far end: the gyro's one at a
    // time (an answer may come back at once), the program's appended to strToProgram.
    void RunDue(int64_t nNowNs, const std::function<void(uint8_t)>& toGyro,
                std::string& strToProgram);
    // The next moment a byte arrives somewhere; INT64_MAX when the line is quiet.
    int64_t NextDueNs() const;

  private:
    // One direction of the cable: bytes on their way, each with the moment it has arrived.
    struct Direction {
        std::deque<std::pair<int64_t, uint8_t>> bytes;
        int64_t nBurstStartNs = 0;
        int64_t nBurstBytes = 0;
        int64_t nFreeAtNs = 0;
        void Send(const std::string& strBytes, int64_t nStartNs);
    };
    int64_t m_nAnswerDelayNs;
    // While a byte is handed to the gyro: the moment it arrived.
    int64_t m_nArrivedNs = -1;
    Direction m_toGyro;
    Direction m_toProgram;
};

}  // namespace sim
