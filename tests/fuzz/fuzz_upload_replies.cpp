// What the loader answers, as it arrives: the upload takes any bytes (0x00 ones, more than one
// poll's 999), always ends, gives the port back, never sends a record that the previous one's
// answer did not accept, and reports success only with every record sent.
#include <sys/mman.h>
#include <unistd.h>

#include "firmware/firmware_upload.h"
#include "platform/serial_memory.h"

extern const std::vector<std::string> FUZZ_SEEDS;
// Answers to each frame sent, in turn, each after its 16-bit length (low byte first).
const std::vector<std::string> FUZZ_SEEDS = {
    std::string("\x05\x00.15EB\x43\x00.", 9) + std::string(16, 'L') + "0480" +
        std::string(46, 'x') + std::string("\x01\x00.\x01\x00.\x01\x00.", 9),
    std::string("\x08\x04", 2) + std::string(1024, '.') + std::string(3, '\0') + "/",
    std::string("\x02\x00/.\x00\x00\x01\x00/", 9)};

// The page's part: of the boxes, the last text is kept.
struct Owner final : CFirmwareUploadOwner, platform::CTimerTarget {
    void ShowAttention(const std::wstring& strText) override { strLast = strText; }
    void ResetFirmwarePage() override {}
    void EnableOpenButton(bool) override {}
    void SetSendButtonText(const std::wstring&) override {}
    void StartProgress(int) override {}
    void StepProgress() override {}
    void OnTimer(unsigned nId) override { pUpload->OnTimer(nId); }
    CFirmwareUpload* pUpload = nullptr;
    std::wstring strLast;
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // A file of two records, in memory.
    static const int fd = [] {
        const std::string strFile = "d\r\nPID: 0480\r\nVER: 1\r\n" + std::string(20, '0') + "\r\n" +
                                    std::string(20, '1') + "\r\n";
        const int nFd = memfd_create("fwr", 0);
        return pwrite(nFd, strFile.data(), strFile.size(), 0) > 0 ? nFd : -1;
    }();
    platform::HeadlessEventLoop loop(platform::ClockKind::Virtual);
    platform::MemorySerialLine line(loop);
    platform::MemorySerialOpener opener;
    opener.Attach("COM1:", &line);
    platform::SetSerialOpener(&opener);
    Owner owner;
    CFirmwareUpload upload(owner, loop, &owner);
    owner.pUpload = &upload;
    upload.m_nComPort = 1;
    upload.m_strFirmwarePath = L"/proc/self/fd/" + std::to_wstring(fd);
    upload.m_strFileProductId = L"0480";
    size_t nAt = 0, nRecords = 0;
    bool bAccepted = false, bOverlap = false;  // the last record's answer had a '.'
    int64_t nAnswerDoneNs = 0;  // when the last answer's last byte reaches the program
    std::string strFrame;
    line.SetFarReceiver([&](uint8_t byte) {
        strFrame += static_cast<char>(byte);
        if (strFrame.size() < 2 || strFrame.compare(strFrame.size() - 2, 2, "aa") != 0)
            return;
        // A record after one that was not accepted, unless an answer was still arriving when
        // it was sent (nothing tells its bytes from the verdict's then).
        const bool bRecord = strFrame.size() == 22;
        bOverlap = nAnswerDoneNs > loop.NowNs() - 22 * line.ByteTimeNs();
        if (bRecord && nRecords++ > 0 && !bAccepted && !bOverlap)
            __builtin_trap();
        strFrame.clear();
        bAccepted = false;
        if (nAt + 2 > nSize)
            return;
        const size_t nLength = std::min<size_t>(pData[nAt] | pData[nAt + 1] << 8, nSize - nAt - 2);
        const std::string strAnswer(reinterpret_cast<const char*>(pData) + nAt + 2, nLength);
        nAt += 2 + nLength;
        bAccepted = bRecord && strAnswer.find('.') != std::string::npos;
        nAnswerDoneNs = loop.NowNs() + static_cast<int64_t>(nLength) * line.ByteTimeNs();
        line.FarWrite(strAnswer);
    });
    upload.Start();
    if (!loop.RunUntil([&] { return upload.m_nUploadState == UPLOAD_IDLE; }, 60'000) ||
        line.IsProgramEndOpen() || upload.m_bTransferActive ||
        (owner.strLast == UPLOAD_COMPLETED && (nRecords != 2 || !(bAccepted || bOverlap))))
        __builtin_trap();
    platform::SetSerialOpener(nullptr);
    return 0;
}
