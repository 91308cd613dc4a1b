// The gyro's request/answer protocol: frames of uppercase hex pairs ending in "aa" with a
// two's-complement checksum, the "01234" wake-up, the answer-complete tests, the decoding
// of a word answer, and sending and receiving over the serial channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/event_loop.h"

// The wake-up string; the gyro echoes it.
inline constexpr char WAKEUP_STRING[] = "01234";
constexpr uint8_t GYRO_COMMAND_READ = 0x01;
constexpr uint8_t GYRO_COMMAND_WRITE = 0x02;
// One receive poll takes at most this many bytes; the rest waits for the next poll.
constexpr size_t RECEIVE_STAGING_BYTES = 999;
// Capacity of the platform's error text in a send failure message.
constexpr int ERROR_TEXT_CAPACITY = 256;

// The byte that makes all bytes of the frame add up to 0 modulo 256.
uint8_t FrameChecksum(const uint8_t* pBytes, size_t nCount);

// "AAAA01CCaa": read one word at the address.
std::string BuildReadFrame(uint16_t wAddress);
// "VVVV01LL02CCaa": write one word into the parameter block (address high byte 0x01).
std::string BuildWriteFrame(uint16_t wAddress, uint16_t wValue);

// Two hex characters to a byte. Uppercase hex decodes correctly; any other character goes
// through the same arithmetic without complaint (the checksum is the guard).
uint8_t DecodeHexPair(wchar_t h, wchar_t l);

// Drops the first 9 characters, then checks every 6-character group (high, low, checksum)
// at 10-character steps; on success gives the word of the first group. Fails when there is
// no group, when a group fails its checksum, or when a group would run past the text.
bool ParseWordAnswer(const std::wstring& strReceived, uint16_t& wWord);

// The answer-complete tests, made on the receive buffer each time text arrives.
bool IsWakeupEchoComplete(const std::wstring& strReceived);
bool IsIdentityAnswerComplete(const std::wstring& strReceived);   // a '.' and >= 15 chars
bool IsParameterAnswerComplete(const std::wstring& strReceived);  // >= 15 chars
bool IsWriteAckComplete(const std::wstring& strReceived);         // a '.'

// Writes the frame on port nComPort (1-based). Returns the write result; when it is not the
// frame's length, strFailure holds the message for the user, otherwise it is emptied.
int32_t SendFrame(int nComPort, const std::string& strFrame, std::wstring& strFailure);

// One receive poll: takes the bytes waiting on the port, at most RECEIVE_STAGING_BYTES,
// each byte as the character of the same code. A 0x00 byte ends the text: the bytes after
// it in this poll are dropped. bGathered tells whether any byte was taken at all.
struct ReceivedText {
    bool bGathered = false;
    std::wstring strText;
};
ReceivedText ReceivePoll(int nIndex);

// Lets go of what waits on the port before a request: every byte already there, then again
// after each pause while more came, for at most nPauses pauses, so that a port that never
// stops sending holds the thread no longer than that.
void DiscardWaitingBytes(int nIndex, platform::EventLoop& loop, unsigned nPauseMs, int nPauses);
