// The software gyro: the far end of the serial line that the configuration tool talks to.
//
// It holds the gyro's identity words and its sixteen parameter words, echoes the wake-up
// string, answers read requests, stores and acknowledges write requests, refuses requests
// whose checksum or command is wrong, and misbehaves on demand. Bytes come in through
// Receive and go out through the output sink, so the same core runs on an in-memory line
// (tests, on the virtual clock) and on a pseudo-terminal (the gyro-sim program).
//
// What the gyro sends (sim/README.md has the whole picture):
//   wake-up echo      "01234"
//   read answer       "<AAAA01>." HH LL CC      15 characters, HH+LL+CC = 0 mod 256
//   write acknowledge "<AAAA02>."                9 characters, '.' last
//   refusal           "<AAAACC>/"                9 characters, no '.'
// Nothing follows the data or the '.', so no stray byte is left on the line once the
// program's answer test has passed.
//
// Its firmware loader (sim/fwr_file.h has the record format):
//   "15EBaa"          ".15EB"                    5 characters; the loader is started
//   "16EAaa"          '.', 66 characters, the product ID at 17..20, no further '.'
//   record + "aa"     "." accepted, "/" refused  one character
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/serial_memory.h"

namespace sim {

// Identity words.
constexpr uint16_t ADDR_MEMORY_MAP_VERSION = 0x0000;
constexpr uint16_t ADDR_LOADER_VERSION = 0x0004;
constexpr uint16_t ADDR_FIRMWARE_VERSION = 0x0006;
constexpr uint16_t ADDR_PRODUCT_ID = 0x0008;
constexpr uint16_t ADDR_SERIAL_LOW = 0x000A;
constexpr uint16_t ADDR_SERIAL_HIGH = 0x000C;

// The parameter block, the only memory a write request may change.
constexpr uint16_t ADDR_PARAMETER_FIRST = 0x0100;
constexpr uint16_t ADDR_PARAMETER_LAST = 0x011E;
constexpr size_t PARAMETER_WORDS = 16;
using ParameterWords = std::array<uint16_t, PARAMETER_WORDS>;

constexpr uint16_t DEFAULT_MEMORY_MAP_VERSION = 3;
constexpr uint16_t DEFAULT_LOADER_VERSION = 0x0103;
constexpr uint16_t DEFAULT_FIRMWARE_VERSION = 0x0107;
constexpr uint16_t DEFAULT_PRODUCT_ID = 0x0480;
constexpr uint32_t DEFAULT_SERIAL_NUMBER = 0x00012345;
constexpr ParameterWords DEFAULT_PARAMETER_WORDS = {
    0x0794, 0x044C, 100, 100, 5, 0xFFCE, 0xFFCE, 0, 0, 0, 0, 100, 0x0006, 0, 0, 0};

// Request commands.
constexpr uint8_t CMD_READ_WORD = 0x01;
constexpr uint8_t CMD_WRITE_WORD = 0x02;

// Length of what stands before the data in every answer; the program skips it.
constexpr size_t ANSWER_PREFIX_LENGTH = 9;

// The firmware loader's start commands, and its identity answer.
constexpr uint8_t CMD_LOADER_START = 0x15;
constexpr uint8_t CMD_LOADER_IDENTIFY = 0x16;
constexpr size_t LOADER_IDENTITY_LENGTH = 67;
constexpr size_t LOADER_PRODUCT_ID_AT = 17;

// OFF: the gyro runs its firmware. STARTED: the first start command came. RUNNING: the loader
// takes records until the end record, which starts the new firmware.
enum class LoaderMode : uint8_t { OFF, STARTED, RUNNING };

struct LoaderRecord {
    std::string strText;  // what came before the "aa"
    bool bAccepted = false;
    bool operator==(const LoaderRecord&) const = default;
};

// Which answers a fault applies to. Answers are those to terminated requests (the wake-up
// echo has a fault of its own); requests are numbered from 1 in the order they arrive.
struct GyroFaultTarget {
    enum Kind : uint8_t { NONE, ALL, AT_ADDRESS, NTH_REQUEST };
    Kind nKind = NONE;
    uint16_t nAddress = 0;  // AT_ADDRESS
    uint32_t nRequest = 0;  // NTH_REQUEST

    static GyroFaultTarget All() { return {ALL, 0, 0}; }
    static GyroFaultTarget Address(uint16_t nAddress) { return {AT_ADDRESS, nAddress, 0}; }
    static GyroFaultTarget Nth(uint32_t nRequest) { return {NTH_REQUEST, 0, nRequest}; }

    bool Matches(uint16_t nAnswerAddress, uint32_t nRequestNumber) const;
};

// Misbehaviour on demand. "After N requests" counts terminated requests, not wake-ups: the
// first N are served, and whatever completes after them (request or wake-up) meets the fault.
struct GyroFaults {
    bool bNoEcho = false;
    // Requests served before the gyro falls silent (no answers, no echo, no stores); -1 never.
    int32_t nSilentAfter = -1;
    // Requests served before the cable is pulled; -1 never.
    int32_t nDisconnectAfter = -1;
    // Read answers whose checksum byte is XORed with nChecksumXor. 0x01 breaks the low
    // digit, which the program checks; 0x10 changes only the high digit, which it ignores.
    GyroFaultTarget badChecksum;
    uint8_t nChecksumXor = 0x01;
    // Bytes sent just before the answer.
    GyroFaultTarget noise;
    std::string strNoise;
    // One 0x00 byte put into the answer before the character at nZeroBytePosition (9: right
    // after the prefix); a position past the end appends it.
    GyroFaultTarget zeroByte;
    size_t nZeroBytePosition = ANSWER_PREFIX_LENGTH;
    // Time the gyro takes before it answers.
    GyroFaultTarget delay;
    uint32_t nDelayMs = 0;
    // Targeted writes are acknowledged but the old word is kept, as by a gyro whose memory
    // did not take them.
    GyroFaultTarget keepOldWord;
    // The loader refuses this record of every upload (1 = the first); 0 never.
    uint32_t nRefuseRecord = 0;
    // Text sent every CHATTER_EVERY_MS whatever the program does, as a GPS receiver or a
    // chatty adapter on the wrong port would; empty: none.
    std::string strChatter;
};

constexpr unsigned CHATTER_EVERY_MS = 10;

enum class GyroRequestKind : uint8_t { WAKE_UP, READ, WRITE, OTHER, LOADER_START, RECORD };

// What became of a request.
enum class GyroOutcome : uint8_t {
    ANSWERED,      // echoed, answered or acknowledged
    NOT_ECHOED,    // wake-up under the no-echo fault
    REFUSED,       // bad checksum, unknown command, write outside the parameter block, record
    MALFORMED,     // an odd number of hex digits or fewer than four bytes: ignored
    SILENT,        // heard while silent
    DISCONNECTED,  // the request that made the gyro pull the cable
};

struct GyroRequest {
    GyroRequestKind nKind = GyroRequestKind::OTHER;
    GyroOutcome nOutcome = GyroOutcome::ANSWERED;
    uint16_t nAddress = 0;
    uint16_t nValue = 0;  // the written value, or the word answered to a read
    uint8_t nCommand = 0;
    std::string strFrame;  // the hex digits received, without the terminator
};

struct GyroWrite {
    uint16_t nAddress;
    uint16_t nValue;
    bool operator==(const GyroWrite&) const = default;
};

class CGyroSimulator {
  public:
    using OutputSink = std::function<void(const std::string&)>;

    // Delays are measured on the loop's clock.
    explicit CGyroSimulator(platform::EventLoop& loop);
    ~CGyroSimulator();
    CGyroSimulator(const CGyroSimulator&) = delete;
    CGyroSimulator& operator=(const CGyroSimulator&) = delete;

    // Transport. The sink gets each answer whole; the disconnect handler is called once,
    // when the disconnection fault strikes; the log gets one line per request.
    void SetOutput(OutputSink sink) { m_output = std::move(sink); }
    void SetDisconnectHandler(std::function<void()> handler) { m_disconnect = std::move(handler); }
    void SetLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }
    // Becomes the far end of an in-memory line: receives from it, answers into it, and
    // pulls its cable. The line must outlive the gyro; the gyro detaches when it goes.
    void AttachTo(platform::MemorySerialLine& line);

    void Receive(uint8_t byte);
    void Receive(const std::string& strBytes);

    // Memory. Addresses without a word read as 0.
    uint16_t Word(uint16_t nAddress) const;
    void SetWord(uint16_t nAddress, uint16_t nValue);
    void SetProductId(uint16_t nId) { SetWord(ADDR_PRODUCT_ID, nId); }
    void SetMemoryMapVersion(uint16_t nVersion) { SetWord(ADDR_MEMORY_MAP_VERSION, nVersion); }
    void SetSerialNumber(uint32_t nSerial);
    ParameterWords Parameters() const;
    void SetParameters(const ParameterWords& words);
    // Called after each write request that changed memory (the gyro-sim keeps its file).
    void SetStoreObserver(std::function<void(uint16_t, uint16_t)> observer) {
        m_storeObserver = std::move(observer);
    }

    // Faults.
    const GyroFaults& Faults() const { return m_faults; }
    void SetFaults(const GyroFaults& faults);
    void ClearFaults() { m_faults = GyroFaults{}; }
    void SetNoEcho(bool bNoEcho) { m_faults.bNoEcho = bNoEcho; }
    void SetSilentAfter(int32_t nRequests) { m_faults.nSilentAfter = nRequests; }
    void SetDisconnectAfter(int32_t nRequests) { m_faults.nDisconnectAfter = nRequests; }
    void SetBadChecksum(GyroFaultTarget target, uint8_t nXor = 0x01);
    void SetNoise(const std::string& strNoise, GyroFaultTarget target = GyroFaultTarget::All());
    void SetZeroByte(GyroFaultTarget target, size_t nPosition = ANSWER_PREFIX_LENGTH);
    void SetDelay(uint32_t nMs, GyroFaultTarget target = GyroFaultTarget::All());
    void SetRefuseRecord(uint32_t nRecord) { m_faults.nRefuseRecord = nRecord; }
    void SetKeepOldWord(GyroFaultTarget target) { m_faults.keepOldWord = target; }

    // The loader, and the records of its latest upload in the order they came.
    LoaderMode Loader() const { return m_loaderMode; }
    const std::vector<LoaderRecord>& LoaderRecords() const { return m_loaderRecords; }
    // Called when the loader starts an upload (no records yet) and after each record.
    void SetLoaderObserver(std::function<void(const std::vector<LoaderRecord>&)> observer) {
        m_loaderObserver = std::move(observer);
    }
    void SetChatter(const std::string& strText);

    // What the gyro received. Reads are counted when their checksum was good, also while
    // silent; Writes lists the writes that changed memory.
    uint32_t WakeUps() const { return m_nWakeUps; }
    uint32_t RequestCount() const { return m_nRequests; }
    uint32_t ReadCount(uint16_t nAddress) const;
    uint32_t ReadCount() const;
    const std::vector<GyroWrite>& Writes() const { return m_writes; }
    uint32_t RefusedCount() const;
    const std::vector<GyroRequest>& Requests() const { return m_requests; }
    void ResetCounters();

    bool IsSilent() const;
    bool IsDisconnected() const { return m_bDisconnected; }
    // Answers waiting out a delay, or chatter going on: output will come without a request.
    size_t PendingAnswers() const { return m_nPendingAnswers; }
    bool IsChattering() const { return m_bChattering; }

  private:
    void OnWakeUp();
    void OnFrame(const std::string& strHex);
    // Start commands are heard in every mode; records only while the loader runs.
    void OnLoaderCommand(const std::string& strHex);
    void OnRecord(const std::string& strText);
    std::string LoaderIdentity() const;
    // True when a fault took the request (silence or disconnection); records it then.
    bool TakenByFault(GyroRequest& request);
    void Serve(GyroRequest& request, bool bChecksumGood);
    // Sends an answer to request number nRequest with the faults that target it.
    void Answer(std::string strAnswer, const GyroRequest& request, uint32_t nRequest,
                bool bHasChecksum);
    // Sends now, or after the delay and behind any answer still waiting.
    void Emit(std::string strBytes, int64_t nDelayNs);
    void Record(GyroRequest request, const std::string& strNote);
    // Sends the chatter text after CHATTER_EVERY_MS, and again, while there is one.
    void ScheduleChatter();

    platform::EventLoop& m_loop;
    platform::MemorySerialLine* m_pLine = nullptr;
    // Shared with delayed answers, which may outlive the gyro.
    std::shared_ptr<bool> m_pAlive;
    OutputSink m_output;
    std::function<void()> m_disconnect;
    std::function<void(const std::string&)> m_log;
    std::function<void(uint16_t, uint16_t)> m_storeObserver;
    std::function<void(const std::vector<LoaderRecord>&)> m_loaderObserver;

    std::map<uint16_t, uint16_t> m_memory;
    GyroFaults m_faults;

    // Receiver: hex digits since the last terminator, and whether an 'a' is waiting for its pair.
    std::string m_strHex;
    bool m_bHalfTerminator = false;

    // The loader takes every character up to "aa" as it comes, not only hex digits.
    LoaderMode m_loaderMode = LoaderMode::OFF;
    std::string m_strLoaderFrame;
    std::vector<LoaderRecord> m_loaderRecords;
    uint16_t m_nAcceptedRecords = 0;

    bool m_bDisconnected = false;
    int64_t m_nLastAnswerNs = 0;
    size_t m_nPendingAnswers = 0;
    bool m_bChattering = false;

    uint32_t m_nWakeUps = 0;
    uint32_t m_nRequests = 0;
    std::map<uint16_t, uint32_t> m_reads;
    std::vector<GyroWrite> m_writes;
    std::vector<GyroRequest> m_requests;
};

}  // namespace sim
