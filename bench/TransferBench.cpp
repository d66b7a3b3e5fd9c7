// Benchmark: a whole read and write through CParamTransfer and the POSIX portkit against zrvlink-sim,
// the raw exchange floor on the same kind of pty, their ratio, and the heap allocations of a transfer.
// Prints figures; asserts nothing.
#include "SimProcess.h"
#include "TransferRun.h"
#include "persistence/ParamFile.h"
#include "platform/FdOwner.h"
#include "portkit/CommPortPaths.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

// Counts operator new while armed; the engine's hot path must not allocate.
std::atomic<bool> CountAllocations{false};
std::atomic<long> Allocations{0};

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<std::string> ReadCommandLines() {
    std::vector<std::string> lines = {"\x1Bvers\r", "baudrate\r", "netparam\r"};
    for (int i = 0; i < TARGET_COUNT; ++i) {
        for (const char* word : {"target", "enable", "name"}) {
            lines.push_back(std::string(word) + " " + std::to_string(i) + "\r");
        }
    }
    return lines;
}

// The floor: the same exchanges in a bare loop, write the line, then poll and read until the prompt.
bool RawExchanges(const std::string& path, const std::vector<std::string>& lines) {
    const CFd port(open(path.c_str(), O_RDWR | O_NOCTTY));
    if (!port.IsOpen()) {
        return false;
    }
    const int fd = port.Get();
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    bool ok = true;
    char buffer[256];
    for (const std::string& line : lines) {
        ok = ok && write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        bool prompt = false;
        while (ok && !prompt) {
            pollfd in{fd, POLLIN, 0};
            ssize_t n = poll(&in, 1, 2000) == 1 ? read(fd, buffer, sizeof buffer) : -1;
            ok = n > 0;
            prompt = ok && std::find(buffer, buffer + n, '>') != buffer + n;
        }
    }
    return ok;
}

struct Counted {
    double Ms;
    long DuringSequence; // between START and the final event
    long WholeTransfer;  // from Start to Stop
};

// One engine transfer, timed from Start to Stop, with the allocations counted.
Counted TimedTransfer(int32_t port, int32_t readMode, ParamSet* set) {
    struct Context {
        CTransferRecorder Recorder;
        long AtStart = 0;
        long AtEnd = 0;
    } context;
    auto callback = [](int32_t event, int32_t value, void* c) {
        auto* self = static_cast<Context*>(c);
        if (event == PT_EVENT_START) {
            self->AtStart = Allocations;
        }
        if (event == PT_EVENT_DONE || event == PT_EVENT_ERROR) {
            self->AtEnd = Allocations;
        }
        return CTransferRecorder::Callback(event, value, &self->Recorder);
    };
    CParamTransfer engine;
    engine.Init();
    context.Recorder.Seen.reserve(64);
    engine.SetCallback(callback, &context);
    Allocations = 0;
    CountAllocations = true;
    const auto begin = Clock::now();
    bool ok = engine.Start(port, readMode, set) && context.Recorder.WaitForEnd();
    engine.Stop();
    const auto end = Clock::now();
    CountAllocations = false;
    if (!ok || engine.GetResult() != PT_OK) {
        std::fprintf(stderr, "transfer failed: result %d\n", engine.GetResult());
        std::exit(1);
    }
    return {Milliseconds(end - begin), context.AtEnd - context.AtStart, Allocations};
}

} // namespace

void* operator new(std::size_t size) {
    if (CountAllocations) {
        ++Allocations;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    CSimProcess sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "zrvlink-sim did not start: %s\n", sim.Error().c_str());
        return 1;
    }
    const int32_t port = RegisterCommPortPath(sim.PtyPath().c_str());
    const std::vector<std::string> lines = ReadCommandLines();

    std::vector<double> reads, writes, raws;
    long sequenceAllocations = 0, transferAllocations = 0;
    for (int i = 0; i < rounds; ++i) {
        CParamFile scratch;
        Counted read = TimedTransfer(port, 1, scratch.GetParam());
        Counted write = TimedTransfer(port, 0, scratch.GetParam());
        reads.push_back(read.Ms);
        writes.push_back(write.Ms);
        sequenceAllocations = std::max({sequenceAllocations, read.DuringSequence, write.DuringSequence});
        transferAllocations = std::max({transferAllocations, read.WholeTransfer, write.WholeTransfer});
        const auto begin = Clock::now();
        if (!RawExchanges(sim.PtyPath(), lines)) {
            std::fprintf(stderr, "raw exchanges failed\n");
            return 1;
        }
        raws.push_back(Milliseconds(Clock::now() - begin));
    }
    const double read = Median(reads), write = Median(writes), raw = Median(raws);
    std::printf("transfer benchmark against zrvlink-sim on a pty, median of %d rounds\n", rounds);
    std::printf("  engine read  (99 commands):  %8.2f ms\n", read);
    std::printf("  engine write (101 commands): %8.2f ms\n", write);
    std::printf("  raw floor    (99 exchanges): %8.2f ms\n", raw);
    std::printf("  read / raw floor:            %8.2f x   (goal: within 1.3 x)\n", read / raw);
    std::printf("  heap allocations between START and the final event: %ld (goal: 0)\n", sequenceAllocations);
    std::printf("  heap allocations from Start to Stop (thread set-up included): %ld\n", transferAllocations);
    std::fflush(stdout);
    return 0;
}
