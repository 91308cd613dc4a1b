#include "sim/line_model.h"

#include <algorithm>
#include <climits>

namespace sim {

void CLineModel::Direction::Send(const std::string& strBytes, int64_t nStartNs) {
    // Back to back with the bytes still on the line, times counted from the burst's start so
    // that a long run does not gather rounding.
    if (nStartNs > nFreeAtNs || nBurstBytes == 0) {
        nBurstStartNs = std::max(nStartNs, nFreeAtNs);
        nBurstBytes = 0;
    }
    for (const char c : strBytes) {
        nFreeAtNs = LineByteDoneNs(nBurstStartNs, ++nBurstBytes);
        bytes.emplace_back(nFreeAtNs, static_cast<uint8_t>(c));
    }
}

void CLineModel::FromProgram(const std::string& strBytes, int64_t nNowNs) {
    m_toGyro.Send(strBytes, nNowNs);
}

void CLineModel::FromGyro(const std::string& strBytes, int64_t nNowNs) {
    const int64_t nHeardNs = m_nArrivedNs >= 0 ? m_nArrivedNs : nNowNs;
    m_toProgram.Send(strBytes, nHeardNs + m_nAnswerDelayNs);
}

void CLineModel::RunDue(int64_t nNowNs, const std::function<void(uint8_t)>& toGyro,
                        std::string& strToProgram) {
    // In time order across both directions: an answer the gyro gives on a byte may be due
    // before later bytes of the program's.
    for (;;) {
        const int64_t nGyro = m_toGyro.bytes.empty() ? INT64_MAX : m_toGyro.bytes.front().first;
        const int64_t nProgram =
            m_toProgram.bytes.empty() ? INT64_MAX : m_toProgram.bytes.front().first;
        if (std::min(nGyro, nProgram) > nNowNs)
            return;
        if (nGyro <= nProgram) {
            const uint8_t byte = m_toGyro.bytes.front().second;
            m_nArrivedNs = m_toGyro.bytes.front().first;
            m_toGyro.bytes.pop_front();
            toGyro(byte);
            m_nArrivedNs = -1;
        } else {
            strToProgram += static_cast<char>(m_toProgram.bytes.front().second);
            m_toProgram.bytes.pop_front();
        }
    }
}

int64_t CLineModel::NextDueNs() const {
    int64_t nNext = INT64_MAX;
    if (!m_toGyro.bytes.empty())
        nNext = m_toGyro.bytes.front().first;
    if (!m_toProgram.bytes.empty())
        nNext = std::min(nNext, m_toProgram.bytes.front().first);
    return nNext;
}

}  // namespace sim
