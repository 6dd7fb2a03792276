#ifndef BRLDISPLAY_PROTOCOL_TRACE_H
#define BRLDISPLAY_PROTOCOL_TRACE_H

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "DisplayStreamDecoder.h"
#include "HostStreamDecoder.h"

// Writes every byte on the link, one line per message:
//
//   <seconds> H>D <decoded message> | <bytes>
//   <seconds> D>H <decoded message> | <bytes>
//   <seconds> --  <note>
//
// H>D is the host's traffic, D>H the display's; the time is when the
// message's last byte passed, in seconds since the trace began. One writer
// at a time: the Linux display calls it under its simulator's lock, the
// window from its one thread.
class ProtocolTrace {
public:
    using Clock = std::chrono::steady_clock;

    // out may be null (no trace); the trace does not close it.
    ProtocolTrace(std::FILE* out, int statusCells, int textCells);

    void HostBytes(const std::vector<uint8_t>& bytes);
    void DisplayBytes(const std::vector<uint8_t>& bytes);
    void Note(const std::string& text);
    // Reports what is left half-done at the end of the session.
    void Finish();

    // For tests: a fixed time instead of the clock.
    void SetFixedTime(double seconds) { fixedTime = seconds; }
    static std::string Hex(const std::vector<uint8_t>& bytes);

private:
    void Line(const char* direction, const std::string& text, const std::vector<uint8_t>& raw);
    double Now() const;

    std::FILE* out;
    int statusCells;
    HostStreamDecoder hostDecoder;
    DisplayStreamDecoder displayDecoder;
    Clock::time_point start = Clock::now();
    double fixedTime = -1;
};

#endif
