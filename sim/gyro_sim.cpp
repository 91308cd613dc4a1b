#include "sim/gyro_sim.h"

#include <algorithm>
#include <cstdio>

#include "sim/fwr_file.h"

namespace sim {

namespace {

constexpr char WAKE_UP[] = "01234";
constexpr size_t WAKE_UP_LENGTH = sizeof WAKE_UP - 1;
// Longer than any request; older digits cannot belong to a frame worth answering.
constexpr size_t MAX_PENDING_HEX = 32;
// Longer than any record; older characters cannot belong to one.
constexpr size_t MAX_LOADER_FRAME = 64;
constexpr char LOADER_START[] = "15EB";
constexpr char LOADER_IDENTIFY[] = "16EA";
constexpr int64_t NS_PER_MS = 1'000'000;

// The gyro keeps its own hex and checksum code: it must not share a fault with the program's.
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

uint8_t HexValue(char c) {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10);
}

std::string HexByte(uint8_t n) {
    return {HEX_DIGITS[n >> 4], HEX_DIGITS[n & 0x0F]};
}

std::string HexWord(uint16_t n) {
    return HexByte(static_cast<uint8_t>(n >> 8)) + HexByte(static_cast<uint8_t>(n));
}

uint8_t ChecksumOf(const std::vector<uint8_t>& bytes) {
    unsigned nSum = 0;
    for (const uint8_t b : bytes)
        nSum += b;
    return static_cast<uint8_t>(0x100 - (nSum & 0xFF));
}

std::string AddressText(uint16_t nAddress) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", nAddress);
    return text;
}

// "<AAAACC>" then the verdict: '.' done, '/' refused.
std::string Prefix(uint16_t nAddress, uint8_t nCommand, char cVerdict) {
    return "<" + HexWord(nAddress) + HexByte(nCommand) + ">" + cVerdict;
}

bool IsParameterAddress(uint16_t nAddress) {
    return nAddress >= ADDR_PARAMETER_FIRST && nAddress <= ADDR_PARAMETER_LAST &&
           (nAddress & 1) == 0;
}

}  // namespace

bool GyroFaultTarget::Matches(uint16_t nAnswerAddress, uint32_t nRequestNumber) const {
    switch (nKind) {
        case ALL:
            return true;
        case AT_ADDRESS:
            return nAnswerAddress == nAddress;
        case NTH_REQUEST:
            return nRequestNumber == nRequest;
        case NONE:
            break;
    }
    return false;
}

CGyroSimulator::CGyroSimulator(platform::EventLoop& loop)
    : m_loop(loop), m_pAlive(std::make_shared<bool>(true)) {
    m_memory[ADDR_MEMORY_MAP_VERSION] = DEFAULT_MEMORY_MAP_VERSION;
    m_memory[ADDR_LOADER_VERSION] = DEFAULT_LOADER_VERSION;
    m_memory[ADDR_FIRMWARE_VERSION] = DEFAULT_FIRMWARE_VERSION;
    m_memory[ADDR_PRODUCT_ID] = DEFAULT_PRODUCT_ID;
    SetSerialNumber(DEFAULT_SERIAL_NUMBER);
    SetParameters(DEFAULT_PARAMETER_WORDS);
}

CGyroSimulator::~CGyroSimulator() {
    *m_pAlive = false;
    if (m_pLine)
        m_pLine->SetFarReceiver(nullptr);
}

void CGyroSimulator::AttachTo(platform::MemorySerialLine& line) {
    m_pLine = &line;
    line.SetFarReceiver([this](uint8_t byte) { Receive(byte); });
    SetOutput([&line](const std::string& strBytes) { line.FarWrite(strBytes); });
    SetDisconnectHandler([&line] { line.Disconnect(); });
}

void CGyroSimulator::Receive(const std::string& strBytes) {
    for (const char c : strBytes)
        Receive(static_cast<uint8_t>(c));
}

void CGyroSimulator::Receive(uint8_t byte) {
    if (m_bDisconnected)
        return;
    const char c = static_cast<char>(byte);
    if (m_loaderMode == LoaderMode::RUNNING) {
        // A record may hold any characters; "aa" ends it.
        m_strLoaderFrame += c;
        const size_t nSize = m_strLoaderFrame.size();
        if (nSize >= 2 && m_strLoaderFrame.compare(nSize - 2, 2, "aa") == 0) {
            const std::string strText = m_strLoaderFrame.substr(0, nSize - 2);
            m_strLoaderFrame.clear();
            if (strText == LOADER_START)
                OnLoaderCommand(strText);
            else
                OnRecord(strText);
        } else if (nSize > MAX_LOADER_FRAME) {
            m_strLoaderFrame.erase(0, 1);
        }
        return;
    }
    if (c == 'a') {
        if (!m_bHalfTerminator) {
            m_bHalfTerminator = true;
            return;
        }
        m_bHalfTerminator = false;
        std::string strHex;
        strHex.swap(m_strHex);
        OnFrame(strHex);
        return;
    }
    // A lone 'a' was noise.
    m_bHalfTerminator = false;
    if (!IsHexDigit(c))
        return;
    m_strHex += c;
    // No read or write request holds "01234" anywhere, so these digits are the wake-up.
    if (m_strHex.size() >= WAKE_UP_LENGTH &&
        m_strHex.compare(m_strHex.size() - WAKE_UP_LENGTH, WAKE_UP_LENGTH, WAKE_UP) == 0) {
        m_strHex.clear();
        OnWakeUp();
        return;
    }
    if (m_strHex.size() > MAX_PENDING_HEX)
        m_strHex.erase(0, m_strHex.size() - MAX_PENDING_HEX);
}

bool CGyroSimulator::IsSilent() const {
    return m_faults.nSilentAfter >= 0 &&
           m_nRequests >= static_cast<uint32_t>(m_faults.nSilentAfter);
}

bool CGyroSimulator::TakenByFault(GyroRequest& request) {
    if (m_faults.nDisconnectAfter >= 0 &&
        m_nRequests >= static_cast<uint32_t>(m_faults.nDisconnectAfter)) {
        request.nOutcome = GyroOutcome::DISCONNECTED;
        Record(request, "(pulling the cable)");
        m_bDisconnected = true;
        if (m_disconnect)
            m_disconnect();
        return true;
    }
    if (IsSilent()) {
        request.nOutcome = GyroOutcome::SILENT;
        Record(request, "(silent)");
        return true;
    }
    return false;
}

void CGyroSimulator::OnWakeUp() {
    ++m_nWakeUps;
    m_loaderMode = LoaderMode::OFF;
    GyroRequest request;
    request.nKind = GyroRequestKind::WAKE_UP;
    request.strFrame = WAKE_UP;
    if (TakenByFault(request))
        return;
    if (m_faults.bNoEcho) {
        request.nOutcome = GyroOutcome::NOT_ECHOED;
        Record(request, "(no echo)");
        return;
    }
    Record(request, "");
    Emit(WAKE_UP, 0);
}

void CGyroSimulator::OnFrame(const std::string& strHex) {
    if (strHex == LOADER_START ||
        (strHex == LOADER_IDENTIFY && m_loaderMode == LoaderMode::STARTED)) {
        OnLoaderCommand(strHex);
        return;
    }
    // The second start command must follow the first at once.
    m_loaderMode = LoaderMode::OFF;
    GyroRequest request;
    request.strFrame = strHex;
    std::vector<uint8_t> bytes;
    const bool bWellFormed = strHex.size() % 2 == 0 && strHex.size() >= 8;
    if (bWellFormed) {
        for (size_t i = 0; i < strHex.size(); i += 2)
            bytes.push_back(
                static_cast<uint8_t>(HexValue(strHex[i]) << 4 | HexValue(strHex[i + 1])));
        // Address and command stand just before the checksum in every request.
        const size_t n = bytes.size();
        request.nAddress = static_cast<uint16_t>(bytes[n - 4] << 8 | bytes[n - 3]);
        request.nCommand = bytes[n - 2];
        if (request.nCommand == CMD_READ_WORD && n == 4) {
            request.nKind = GyroRequestKind::READ;
        } else if (request.nCommand == CMD_WRITE_WORD && n == 6) {
            request.nKind = GyroRequestKind::WRITE;
            request.nValue = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
        }
    }
    const bool bChecksumGood = bWellFormed && ChecksumOf(bytes) == 0;
    if (request.nKind == GyroRequestKind::READ && bChecksumGood)
        ++m_reads[request.nAddress];
    if (TakenByFault(request)) {
        ++m_nRequests;
        return;
    }
    ++m_nRequests;
    if (!bWellFormed) {
        request.nOutcome = GyroOutcome::MALFORMED;
        Record(request, "(malformed, ignored)");
        return;
    }
    Serve(request, bChecksumGood);
}

void CGyroSimulator::Serve(GyroRequest& request, bool bChecksumGood) {
    const uint32_t nNumber = m_nRequests;
    const char* pWhy = nullptr;
    if (!bChecksumGood)
        pWhy = "bad checksum";
    else if (request.nKind == GyroRequestKind::OTHER)
        pWhy = "unknown command";
    else if (request.nKind == GyroRequestKind::WRITE && !IsParameterAddress(request.nAddress))
        pWhy = "outside the parameter block";
    if (pWhy) {
        request.nOutcome = GyroOutcome::REFUSED;
        Record(request, pWhy);
        Answer(Prefix(request.nAddress, request.nCommand, '/'), request, nNumber, false);
        return;
    }
    if (request.nKind == GyroRequestKind::READ) {
        const uint16_t nWord = Word(request.nAddress);
        request.nValue = nWord;
        const auto nHigh = static_cast<uint8_t>(nWord >> 8);
        const auto nLow = static_cast<uint8_t>(nWord);
        Record(request, "");
        Answer(Prefix(request.nAddress, CMD_READ_WORD, '.') + HexByte(nHigh) + HexByte(nLow) +
                   HexByte(ChecksumOf({nHigh, nLow})),
               request, nNumber, true);
        return;
    }
    if (m_faults.keepOldWord.Matches(request.nAddress, nNumber)) {
        Record(request, "acknowledged, old word kept");
    } else {
        m_memory[request.nAddress] = request.nValue;
        m_writes.push_back({request.nAddress, request.nValue});
        Record(request, "");
        if (m_storeObserver)
            m_storeObserver(request.nAddress, request.nValue);
    }
    Answer(Prefix(request.nAddress, CMD_WRITE_WORD, '.'), request, nNumber, false);
}

void CGyroSimulator::OnLoaderCommand(const std::string& strHex) {
    GyroRequest request;
    request.nKind = GyroRequestKind::LOADER_START;
    request.nCommand = strHex == LOADER_START ? CMD_LOADER_START : CMD_LOADER_IDENTIFY;
    request.strFrame = strHex;
    const bool bTaken = TakenByFault(request);
    ++m_nRequests;
    if (bTaken)
        return;
    Record(request, "");
    if (request.nCommand == CMD_LOADER_START) {
        m_loaderMode = LoaderMode::STARTED;
        Answer("." + strHex, request, m_nRequests, false);
        return;
    }
    m_loaderMode = LoaderMode::RUNNING;
    m_strLoaderFrame.clear();
    m_loaderRecords.clear();
    m_nAcceptedRecords = 0;
    if (m_loaderObserver)
        m_loaderObserver(m_loaderRecords);
    Answer(LoaderIdentity(), request, m_nRequests, false);
}

void CGyroSimulator::OnRecord(const std::string& strText) {
    GyroRequest request;
    request.nKind = GyroRequestKind::RECORD;
    request.strFrame = strText;
    const bool bTaken = TakenByFault(request);
    ++m_nRequests;
    if (bTaken)
        return;
    FirmwareRecord record;
    const bool bOnDemand = m_loaderRecords.size() + 1 == m_faults.nRefuseRecord;
    const bool bAccepted = !bOnDemand && CheckFirmwareRecord(strText, m_nAcceptedRecords, record);
    m_loaderRecords.push_back({strText, bAccepted});
    request.nOutcome = bAccepted ? GyroOutcome::ANSWERED : GyroOutcome::REFUSED;
    Record(request, bAccepted ? "" : bOnDemand ? "on demand" : "record check");
    if (bAccepted)
        ++m_nAcceptedRecords;
    if (bAccepted && record.nType == RECORD_TYPE_END) {
        // The new firmware starts.
        m_loaderMode = LoaderMode::OFF;
        m_memory[ADDR_FIRMWARE_VERSION] =
            static_cast<uint16_t>(record.data[0] << 8 | record.data[1]);
    }
    if (m_loaderObserver)
        m_loaderObserver(m_loaderRecords);
    Answer(bAccepted ? "." : "/", request, m_nRequests, false);
}

std::string CGyroSimulator::LoaderIdentity() const {
    char text[LOADER_IDENTITY_LENGTH + 1];
    const auto nSerial =
        static_cast<uint32_t>(Word(ADDR_SERIAL_LOW) | Word(ADDR_SERIAL_HIGH) << 16);
    std::snprintf(text, sizeof text, ".MORVANE LDR %04X%04X SN %08u FW %04X",
                  Word(ADDR_LOADER_VERSION), Word(ADDR_PRODUCT_ID), nSerial,
                  Word(ADDR_FIRMWARE_VERSION));
    std::string strAnswer = text;
    strAnswer.resize(LOADER_IDENTITY_LENGTH, ' ');
    return strAnswer;
}

void CGyroSimulator::Answer(std::string strAnswer, const GyroRequest& request, uint32_t nRequest,
                            bool bHasChecksum) {
    const uint16_t nAddress = request.nAddress;
    std::string strFaults;
    if (bHasChecksum && m_faults.badChecksum.Matches(nAddress, nRequest)) {
        // The checksum is the last hex pair of a read answer.
        const size_t nAt = strAnswer.size() - 2;
        const uint8_t nBad =
            (HexValue(strAnswer[nAt]) << 4 | HexValue(strAnswer[nAt + 1])) ^ m_faults.nChecksumXor;
        strAnswer.replace(nAt, 2, HexByte(nBad));
        strFaults += " [bad checksum]";
    }
    if (m_faults.zeroByte.Matches(nAddress, nRequest)) {
        strAnswer.insert(std::min(m_faults.nZeroBytePosition, strAnswer.size()), 1, '\0');
        strFaults += " [0x00 byte]";
    }
    if (!m_faults.strNoise.empty() && m_faults.noise.Matches(nAddress, nRequest)) {
        strAnswer.insert(0, m_faults.strNoise);
        strFaults += " [noise]";
    }
    int64_t nDelayNs = 0;
    if (m_faults.nDelayMs > 0 && m_faults.delay.Matches(nAddress, nRequest)) {
        nDelayNs = static_cast<int64_t>(m_faults.nDelayMs) * NS_PER_MS;
        strFaults += " [delay " + std::to_string(m_faults.nDelayMs) + " ms]";
    }
    if (!strFaults.empty() && m_log)
        m_log("  answer" + strFaults);

    Emit(std::move(strAnswer), nDelayNs);
}

void CGyroSimulator::Emit(std::string strBytes, int64_t nDelayNs) {
    // One answer at a time: a later answer never overtakes a delayed one.
    const int64_t nNow = m_loop.NowNs();
    const int64_t nAt = std::max(nNow + nDelayNs, m_nLastAnswerNs);
    if (nAt <= nNow && m_nPendingAnswers == 0) {
        m_nLastAnswerNs = nNow;
        if (m_output)
            m_output(strBytes);
        return;
    }
    m_nLastAnswerNs = nAt;
    ++m_nPendingAnswers;
    std::weak_ptr<bool> pAlive = m_pAlive;
    m_loop.ScheduleDeviceWork(nAt, [this, pAlive, strBytes = std::move(strBytes)] {
        const auto pLive = pAlive.lock();
        if (!pLive || !*pLive)
            return;
        --m_nPendingAnswers;
        if (!m_bDisconnected && m_output)
            m_output(strBytes);
    });
}

void CGyroSimulator::Record(GyroRequest request, const std::string& strNote) {
    if (m_log) {
        std::string strLine;
        switch (request.nKind) {
            case GyroRequestKind::WAKE_UP:
                strLine = "wake-up";
                break;
            case GyroRequestKind::READ:
                strLine = "read " + AddressText(request.nAddress);
                if (request.nOutcome == GyroOutcome::ANSWERED)
                    strLine += " -> " + AddressText(request.nValue);
                break;
            case GyroRequestKind::WRITE:
                strLine =
                    "write " + AddressText(request.nAddress) + " <- " + AddressText(request.nValue);
                break;
            case GyroRequestKind::OTHER:
                strLine = "request \"" + request.strFrame + "aa\"";
                break;
            case GyroRequestKind::LOADER_START:
                strLine = request.nCommand == CMD_LOADER_START ? "loader start" : "loader identity";
                break;
            case GyroRequestKind::RECORD:
                strLine = "record \"" + request.strFrame + "\"";
                break;
        }
        if (request.nOutcome == GyroOutcome::REFUSED)
            strLine += " refused:";
        if (!strNote.empty())
            strLine += " " + strNote;
        m_log(strLine);
    }
    m_requests.push_back(std::move(request));
}

uint16_t CGyroSimulator::Word(uint16_t nAddress) const {
    const auto it = m_memory.find(nAddress);
    return it == m_memory.end() ? 0 : it->second;
}

void CGyroSimulator::SetWord(uint16_t nAddress, uint16_t nValue) {
    m_memory[nAddress] = nValue;
}

void CGyroSimulator::SetSerialNumber(uint32_t nSerial) {
    m_memory[ADDR_SERIAL_LOW] = static_cast<uint16_t>(nSerial);
    m_memory[ADDR_SERIAL_HIGH] = static_cast<uint16_t>(nSerial >> 16);
}

ParameterWords CGyroSimulator::Parameters() const {
    ParameterWords words{};
    for (size_t i = 0; i < PARAMETER_WORDS; ++i)
        words[i] = Word(static_cast<uint16_t>(ADDR_PARAMETER_FIRST + 2 * i));
    return words;
}

void CGyroSimulator::SetParameters(const ParameterWords& words) {
    for (size_t i = 0; i < PARAMETER_WORDS; ++i)
        m_memory[static_cast<uint16_t>(ADDR_PARAMETER_FIRST + 2 * i)] = words[i];
}

void CGyroSimulator::SetBadChecksum(GyroFaultTarget target, uint8_t nXor) {
    m_faults.badChecksum = target;
    m_faults.nChecksumXor = nXor;
}

void CGyroSimulator::SetNoise(const std::string& strNoise, GyroFaultTarget target) {
    m_faults.strNoise = strNoise;
    m_faults.noise = target;
}

void CGyroSimulator::SetZeroByte(GyroFaultTarget target, size_t nPosition) {
    m_faults.zeroByte = target;
    m_faults.nZeroBytePosition = nPosition;
}

void CGyroSimulator::SetDelay(uint32_t nMs, GyroFaultTarget target) {
    m_faults.nDelayMs = nMs;
    m_faults.delay = target;
}

void CGyroSimulator::SetChatter(const std::string& strText) {
    GyroFaults faults = m_faults;
    faults.strChatter = strText;
    SetFaults(faults);
}

void CGyroSimulator::SetFaults(const GyroFaults& faults) {
    m_faults = faults;
    if (!m_bChattering && !m_faults.strChatter.empty())
        ScheduleChatter();
}

void CGyroSimulator::ScheduleChatter() {
    m_bChattering = true;
    std::weak_ptr<bool> pAlive = m_pAlive;
    m_loop.ScheduleDeviceWork(m_loop.NowNs() + CHATTER_EVERY_MS * NS_PER_MS, [this, pAlive] {
        const auto pLive = pAlive.lock();
        if (!pLive || !*pLive)
            return;
        m_bChattering = !m_faults.strChatter.empty() && !m_bDisconnected;
        if (!m_bChattering)
            return;
        if (m_output)
            m_output(m_faults.strChatter);
        ScheduleChatter();
    });
}

uint32_t CGyroSimulator::ReadCount(uint16_t nAddress) const {
    const auto it = m_reads.find(nAddress);
    return it == m_reads.end() ? 0 : it->second;
}

uint32_t CGyroSimulator::ReadCount() const {
    uint32_t nTotal = 0;
    for (const auto& [nAddress, nCount] : m_reads)
        nTotal += nCount;
    return nTotal;
}

uint32_t CGyroSimulator::RefusedCount() const {
    return static_cast<uint32_t>(std::count_if(
        m_requests.begin(), m_requests.end(),
        [](const GyroRequest& request) { return request.nOutcome == GyroOutcome::REFUSED; }));
}

void CGyroSimulator::ResetCounters() {
    m_nWakeUps = 0;
    m_nRequests = 0;
    m_reads.clear();
    m_writes.clear();
    m_requests.clear();
    m_loaderRecords.clear();
}

}  // namespace sim
