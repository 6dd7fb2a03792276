// Micro-benchmarks of the driver's hot paths, called through the exports as
// a host calls them, with a CountingPort in the driver's port field. Every
// benchmark reports allocs/iter from the counting allocator.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AllocationCounter.h"
#include "CountingPort.h"
#include "HostSession.h"
#include "brlwin32.h"
#include "driver/BrailleDriver.h"

namespace {

const int TextCells = 80; // the largest model
const int StatusCells = 5;

// Fills the whole identification read, so Identify returns at once.
const unsigned char ModelReply80[15] = { 0x3F, 0x02 };

// 20 key packets, 80 bytes: one poll's worth.
struct KeyInput {
    unsigned char bytes[80];
    KeyInput()
    {
        for (int i = 0; i < 20; ++i) {
            bytes[4 * i + 0] = 0x1B;
            bytes[4 * i + 1] = 0x4B;
            bytes[4 * i + 2] = static_cast<unsigned char>(1u << (i % 6));
            bytes[4 * i + 3] = static_cast<unsigned char>(1u << (i % 5));
        }
    }
};
const KeyInput Keys;

long long g_keyCalls = 0;
void BRLCALLBACK CountKey(unsigned int code, unsigned int argument)
{
    g_keyCalls += code + argument != 0;
}

// The driver instance with an 80-cell display identified on a CountingPort.
CountingPort& ReadyPort()
{
    static CountingPort* port = [] {
        BrailleDriver* driver = g_activeDriver;
        if (driver == nullptr || driver->port != nullptr) {
            fprintf(stderr, "expected the driver instance without a port\n");
            abort();
        }
        auto* p = new CountingPort();
        driver->port = p; // owned by the driver from here on
        p->SetInput(ModelReply80, sizeof ModelReply80);
        if (!driver->Identify(BrailleDriver::IdentifyTimeoutMs) || driver->textCells != TextCells) {
            fprintf(stderr, "expected an 80-cell display, got %d cells\n", driver->textCells);
            abort();
        }
        p->SetInput(nullptr, 0);
        return p;
    }();
    g_activeDriver->keyCallback = CountKey;
    return *port;
}

struct Measure {
    benchmark::State& state;
    CountingPort& port;
    long long allocsBefore, bytesBefore, writesBefore;
    explicit Measure(benchmark::State& s, CountingPort& p)
        : state(s), port(p), allocsBefore(AllocationCounter::Count()), bytesBefore(p.bytesWritten),
          writesBefore(p.writes)
    {
    }
    ~Measure()
    {
        using benchmark::Counter;
        state.counters["allocs/iter"] =
            Counter(static_cast<double>(AllocationCounter::Count() - allocsBefore), Counter::kAvgIterations);
        state.counters["bytes/iter"] =
            Counter(static_cast<double>(port.bytesWritten - bytesBefore), Counter::kAvgIterations);
        state.counters["writes/iter"] = Counter(static_cast<double>(port.writes - writesBefore), Counter::kAvgIterations);
    }
};

void Line(unsigned char* cells, unsigned char seed)
{
    // No cell encodes to ESC: the common packet, 87 bytes.
    for (int i = 0; i < TextCells; ++i) {
        cells[i] = static_cast<unsigned char>(seed + i * 7);
        if (cells[i] == 0xC3)
            cells[i] = 0xC2;
    }
}

// Compose, compare, encode and one Write: every call shows other cells.
void BM_BrlDisplayChanged(benchmark::State& state)
{
    CountingPort& port = ReadyPort();
    unsigned char a[TextCells], b[TextCells];
    Line(a, 1);
    Line(b, 2);
    Measure m(state, port);
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BrlDisplay(flip ? a : b, TextCells));
        flip = !flip;
    }
}
BENCHMARK(BM_BrlDisplayChanged);

// Compose and compare; nothing goes out.
void BM_BrlDisplayUnchanged(benchmark::State& state)
{
    CountingPort& port = ReadyPort();
    unsigned char a[TextCells];
    Line(a, 3);
    BrlDisplay(a, TextCells);
    Measure m(state, port);
    for (auto _ : state) {
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(BrlDisplay(a, TextCells));
    }
}
BENCHMARK(BM_BrlDisplayUnchanged);

void BM_BrlDisplayStatusChanged(benchmark::State& state)
{
    CountingPort& port = ReadyPort();
    const unsigned char a[StatusCells] = { 1, 2, 3, 4, 5 }, b[StatusCells] = { 5, 4, 3, 2, 1 };
    Measure m(state, port);
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BrlDisplayStatus(flip ? a : b, StatusCells));
        flip = !flip;
    }
}
BENCHMARK(BM_BrlDisplayStatusChanged);

void BM_BrlDisplayStatusUnchanged(benchmark::State& state)
{
    CountingPort& port = ReadyPort();
    const unsigned char a[StatusCells] = { 9, 8, 7, 6, 5 };
    BrlDisplayStatus(a, StatusCells);
    Measure m(state, port);
    for (auto _ : state) {
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(BrlDisplayStatus(a, StatusCells));
    }
}
BENCHMARK(BM_BrlDisplayStatusUnchanged);

// Every cell 0xC3 goes out as 1B 1B: the longest packet, 172 bytes.
void BM_WriteCellsWorstCase(benchmark::State& state)
{
    CountingPort& port = ReadyPort();
    unsigned char all[TextCells];
    memset(all, 0xC3, sizeof all);
    BrlDisplay(all, TextCells);
    BrlDisplayStatus(all, StatusCells);
    Measure m(state, port);
    for (auto _ : state)
        benchmark::DoNotOptimize(g_activeDriver->WriteCells());
}
BENCHMARK(BM_WriteCellsWorstCase);

// BrlTimer with 80 bytes waiting: read, parse 20 key packets, 20 callbacks.
void BM_PollKeyPackets(benchmark::State& state)
{
    CountingPort& port = ReadyPort();
    port.SetInput(Keys.bytes, sizeof Keys.bytes);
    long long keysBefore = g_keyCalls;
    {
        Measure m(state, port);
        for (auto _ : state)
            BrlTimer();
    }
    port.SetInput(nullptr, 0);
    state.counters["keys/iter"] = benchmark::Counter(static_cast<double>(g_keyCalls - keysBefore),
                                                     benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PollKeyPackets);

// A recorded host session replayed through the exports: bytes written
// against the protocol's minimum for the same calls.
void BM_HostSessionWire(benchmark::State& state)
{
    CountingPort& port = ReadyPort();
    auto session = hostsession::RecordedSession(4000, TextCells, 11);
    auto minimum = hostsession::WireMinimum(session, TextCells);
    long long bytes = 0, writes = 0;
    long long allocsBefore = AllocationCounter::Count();
    for (auto _ : state) {
        BrlClear(); // the session starts from a blank display
        long long before = port.bytesWritten, writesBefore = port.writes;
        for (const auto& call : session) {
            const unsigned char* data = call.cells.empty() ? nullptr : call.cells.data();
            int count = static_cast<int>(call.cells.size());
            if (call.kind == hostsession::HostCall::Display)
                BrlDisplay(data, count);
            else if (call.kind == hostsession::HostCall::DisplayStatus)
                BrlDisplayStatus(data, count);
            else
                BrlClear();
        }
        bytes = port.bytesWritten - before;
        writes = port.writes - writesBefore;
    }
    using benchmark::Counter;
    state.counters["allocs/iter"] =
        Counter(static_cast<double>(AllocationCounter::Count() - allocsBefore), Counter::kAvgIterations);
    state.counters["calls"] = static_cast<double>(session.size());
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["min_bytes"] = static_cast<double>(minimum.bytes);
    state.counters["packets"] = static_cast<double>(writes);
    state.counters["min_packets"] = static_cast<double>(minimum.packets);
    state.counters["ratio"] = static_cast<double>(bytes) / static_cast<double>(minimum.bytes);
}
BENCHMARK(BM_HostSessionWire);

} // namespace

int main(int argc, char** argv)
{
    // The allocation counter must see allocations, or its zeros mean nothing.
    long long before = AllocationCounter::Count();
    void* probe = malloc(16);
    int* object = new int(1);
    benchmark::DoNotOptimize(probe);
    benchmark::DoNotOptimize(object);
    long long seen = AllocationCounter::Count() - before;
    delete object;
    free(probe);
    if (seen != 2) {
        fprintf(stderr, "expected the allocation counter to see 2 allocations, got %lld\n", seen);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
