#ifndef BRLWIN32_BENCH_COUNTING_PORT_H
#define BRLWIN32_BENCH_COUNTING_PORT_H

#include "ports/Port.h"

// A transport that costs next to nothing: it counts what the driver writes
// and hands out the same input bytes on every read, so a benchmark measures
// the driver and not a line.
class CountingPort : public Port {
public:
    int Open(const char*) override { return 1; }
    int WriteByte(unsigned char) override;
    int Write(const unsigned char* bytes, int length) override;
    int Read(unsigned char* buffer, int length, unsigned int timeoutMs) override;

    // What every Read returns (up to its length); null: nothing.
    void SetInput(const unsigned char* bytes, int length);

    long long bytesWritten = 0;
    long long writes = 0;
    unsigned char lastByte = 0;

private:
    const unsigned char* input = nullptr;
    int inputLength = 0;
};

#endif
