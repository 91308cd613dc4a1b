#include "link/frames.h"

#include <cstdio>
#include <cwchar>

#include "link/comport.h"

uint8_t FrameChecksum(const uint8_t* pBytes, size_t nCount) {
    unsigned nSum = 0;
    for (size_t i = 0; i < nCount; ++i)
        nSum += pBytes[i];
    return static_cast<uint8_t>((256 - (nSum % 256)) % 256);
}

std::string BuildReadFrame(uint16_t wAddress) {
    const uint8_t bytes[] = {static_cast<uint8_t>(wAddress >> 8),
                             static_cast<uint8_t>(wAddress & 0xFF), GYRO_COMMAND_READ};
    char text[16];
    std::snprintf(text, sizeof text, "%04X01%02Xaa", wAddress, FrameChecksum(bytes, 3));
    return text;
}

std::string BuildWriteFrame(uint16_t wAddress, uint16_t wValue) {
    const auto nLow = static_cast<uint8_t>(wAddress & 0xFF);
    const uint8_t bytes[] = {static_cast<uint8_t>(wValue >> 8), static_cast<uint8_t>(wValue & 0xFF),
                             0x01, nLow, GYRO_COMMAND_WRITE};
    char text[20];
    std::snprintf(text, sizeof text, "%04X01%02X02%02Xaa", wValue, nLow, FrameChecksum(bytes, 5));
    return text;
}

uint8_t DecodeHexPair(wchar_t h, wchar_t l) {
    const auto nHigh = static_cast<uint32_t>(h);
    const auto nLow = static_cast<uint32_t>(l);
    uint32_t nValue = ((h >= L'0' && h <= L'9') ? nHigh * 16 : (nHigh - 7) * 16) & 0xFF;
    nValue += (l >= L'0' && l <= L'9') ? nLow - 48 : nLow - 55;
    return static_cast<uint8_t>(nValue & 0xFF);
}

bool ParseWordAnswer(const std::wstring& strReceived, uint16_t& wWord) {
    constexpr size_t SKIPPED = 9, GROUP = 6, STRIDE = 10;
    if (strReceived.size() < SKIPPED + GROUP)
        return false;
    const std::wstring strRest = strReceived.substr(SKIPPED);
    const size_t nGroups = strRest.size() / GROUP;
    // Longer text would put a group past its end: such an answer is not one we know.
    if (STRIDE * (nGroups - 1) + GROUP > strRest.size())
        return false;
    uint16_t wFirst = 0;
    for (size_t k = 0; k < nGroups; ++k) {
        const wchar_t* p = strRest.data() + STRIDE * k;
        // The gyro sends uppercase hex: anything else is an answer shifted by noise or cut,
        // which the one checked digit would let through one time in sixteen.
        for (size_t i = 0; i < GROUP; ++i)
            if (!((p[i] >= L'0' && p[i] <= L'9') || (p[i] >= L'A' && p[i] <= L'F')))
                return false;
        const uint8_t nHigh = DecodeHexPair(p[0], p[1]);
        const uint8_t nLow = DecodeHexPair(p[2], p[3]);
        const uint8_t nCheck = DecodeHexPair(p[4], p[5]);
        // Only the low digit of the sum is compared.
        if (((nHigh + nLow + nCheck) & 0x0F) != 0)
            return false;
        if (k == 0)
            wFirst = static_cast<uint16_t>(nHigh * 256 + nLow);
    }
    wWord = wFirst;
    return true;
}

bool IsWakeupEchoComplete(const std::wstring& strReceived) {
    return strReceived.find(L"01234") != std::wstring::npos;
}

bool IsIdentityAnswerComplete(const std::wstring& strReceived) {
    return strReceived.find(L'.') != std::wstring::npos && strReceived.size() >= 15;
}

bool IsParameterAnswerComplete(const std::wstring& strReceived) {
    return strReceived.size() >= 15;
}

bool IsWriteAckComplete(const std::wstring& strReceived) {
    return strReceived.find(L'.') != std::wstring::npos;
}

int32_t SendFrame(int nComPort, const std::string& strFrame, std::wstring& strFailure) {
    const int32_t nResult =
        ComPortWrite(nComPort - 1, strFrame.data(), static_cast<uint32_t>(strFrame.size()));
    strFailure.clear();
    if (nResult == static_cast<int32_t>(strFrame.size()))
        return nResult;
    wchar_t message[ERROR_TEXT_CAPACITY + 64];
    if (nResult == COMPORT_SYSTEM_ERROR) {
        wchar_t text[ERROR_TEXT_CAPACITY];
        ComPortErrorText(nComPort - 1, text, ERROR_TEXT_CAPACITY);
        std::swprintf(message, std::size(message), L"Problem with COM%1d: %ls", nComPort, text);
    } else {
        std::swprintf(message, std::size(message), L"Problem with COM%1d: Error Code: %i", nComPort,
                      nResult);
    }
    strFailure = message;
    return nResult;
}

void DiscardWaitingBytes(int nIndex, platform::EventLoop& loop, unsigned nPauseMs, int nPauses) {
    // One driver queue's worth at a time, at most.
    constexpr int QUEUE_BYTES = 4096;
    for (int nPause = 0; nPause < nPauses; ++nPause) {
        int nDropped = 0;
        while (nDropped < QUEUE_BYTES && ComPortReadByte(nIndex) >= 0)
            ++nDropped;
        if (nDropped == 0)
            return;
        loop.Sleep(nPauseMs);
    }
}

ReceivedText ReceivePoll(int nIndex) {
    ReceivedText received;
    bool bCut = false;
    for (size_t nTaken = 0; nTaken < RECEIVE_STAGING_BYTES; ++nTaken) {
        const int32_t nResult = ComPortReadByte(nIndex);
        // Codes other than bytes end the poll; a closed or bad port gives nothing.
        if (nResult < 0)
            break;
        received.bGathered = true;
        if (nResult == 0)
            bCut = true;
        if (!bCut)
            received.strText += static_cast<wchar_t>(nResult);
    }
    return received;
}
