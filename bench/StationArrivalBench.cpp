// Benchmark: how soon the provisioning station takes a device that appears. Twelve simulated devices that
// answer each command after 2 ms arrive one after another on one --port path (the link to each device's
// pty made at a known moment, removed once it is written); prints the time from arrival to "reading the
// device" (mean and 95th percentile), from arrival to "written and verified" against the device's own time
// (its lines times 2 ms) and, for scale, the same transfers run without the station, and the processor
// time of an idle station (one absent --port path; detection over this machine's /dev and /sys). Prints
// figures; asserts nothing.
#include "CliRun.h"
#include "core/ParamSet.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int DEVICES = 12;
constexpr int REPLY_DELAY_MS = 2;
// What a station sends each device: a read (99 lines), a write with every optional line (101) and the
// read that verifies it (99).
constexpr int DEVICE_LINES = 99 + 101 + 99;
// Between a device's removal and the next arrival, so that arrivals fall anywhere in a look's cycle and
// a station that looks twice a second has seen the port empty.
constexpr int GAP_MIN_MS = 600;
constexpr int GAP_MAX_MS = 1100;
constexpr int IDLE_SECONDS = 10;
constexpr auto LINE_TIMEOUT = std::chrono::seconds(60);

// This program's own error stream.
FILE* Errors = stderr;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The station's stdout, line by line, each with the moment it was read.
class CLineReader {
public:
    // Takes `fd`, the pipe's read end.
    explicit CLineReader(int fd) : m_pipe(fd), m_thread([this] { Run(); }) {}
    ~CLineReader() { m_thread.join(); }

    // The first line from `from` on that holds `part`: its index and when it came; -1 after the time-out
    // or the end of the output.
    int WaitFor(const std::string& part, std::size_t from, Clock::time_point* when) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const Clock::time_point deadline = Clock::now() + LINE_TIMEOUT;
        for (std::size_t i = from;; ++i) {
            if (!m_cv.wait_until(lock, deadline, [&] { return m_lines.size() > i || m_ended; }) ||
                i >= m_lines.size()) {
                return -1;
            }
            if (m_lines[i].first.find(part) != std::string::npos) {
                *when = m_lines[i].second;
                return static_cast<int>(i);
            }
        }
    }

private:
    void Run() {
        std::string pending;
        char block[4096];
        ssize_t got = 0;
        while ((got = read(m_pipe.Get(), block, sizeof block)) > 0) {
            const Clock::time_point now = Clock::now();
            pending.append(block, static_cast<std::size_t>(got));
            std::lock_guard<std::mutex> lock(m_mutex);
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;
                 pending.erase(0, end + 1)) {
                m_lines.emplace_back(pending.substr(0, end), now);
            }
            m_cv.notify_all();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_cv.notify_all();
    }

    CFd m_pipe;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::pair<std::string, Clock::time_point>> m_lines; // guarded by m_mutex
    bool m_ended = false;                                           // guarded by m_mutex
    std::thread m_thread;
};

// A station started with its stdout on a pipe that `Lines` reads.
struct CStationRun {
    CCliProcess Process;
    std::unique_ptr<CLineReader> Lines;

    bool Start(const std::vector<std::string>& args, const CliRunOptions& base = {}) {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        CFd writer(ends[1]);
        CliRunOptions options = base;
        options.StdoutFd = writer.Get();
        const bool started = Process.Start(args, options);
        writer.Reset();
        Lines = std::make_unique<CLineReader>(ends[0]);
        Clock::time_point ignored;
        return started && Lines->WaitFor("station: ", 0, &ignored) >= 0;
    }
};

// A setup file that makes a write send every command it has: baud rate, network, 32 named destinations.
std::string Template() {
    std::string text = "BaudRate=57600\r\nIPAddress=192.168.0.10\r\nSubnetMask=255.255.255.0\r\n"
                       "Gateway=192.168.0.1\r\n";
    for (int i = 0; i < TARGET_COUNT; ++i) {
        text += "Target" + std::to_string(i) + "=1,10.0.0." + std::to_string(i) + ",5A5256\r\n";
    }
    return text;
}

std::vector<std::string> StationArgs(const CScratchDir& dir, int units,
                                     const std::vector<std::string>& ports) {
    std::vector<std::string> args = {
        "provision",
        "--template",
        dir / "base.dat",
        "--record",
        dir / ("record-" + std::to_string(units) + "-" + std::to_string(ports.size()) + ".csv"),
        "--ip-range",
        "192.168.0.101-192.168.0." + std::to_string(100 + units)};
    for (const std::string& port : ports) {
        args.insert(args.end(), {"--port", port});
    }
    return args;
}

struct Arrival {
    double ToReading;
    double ToDone;
};

// One device: its simulator started first, then its link made (the arrival), the station's two lines
// waited for, and the device unplugged.
bool ArriveAndServe(CStationRun& station, const std::string& port, std::size_t* line, Arrival* arrival) {
    CSimProcess sim;
    if (!sim.Start({"--delay", std::to_string(REPLY_DELAY_MS)})) {
        std::fprintf(Errors, "station_arrival_bench: %s\n", sim.Error().c_str());
        return false;
    }
    const Clock::time_point arrived = Clock::now();
    if (symlink(sim.PtyPath().c_str(), port.c_str()) != 0) {
        std::fprintf(Errors, "station_arrival_bench: symlink %s: %s\n", port.c_str(), std::strerror(errno));
        return false;
    }
    Clock::time_point reading, done;
    const int read = station.Lines->WaitFor("on " + port + ": reading the device", *line, &reading);
    const int written = read < 0 ? -1 : station.Lines->WaitFor(": written and verified in ", read, &done);
    unlink(port.c_str());
    sim.Stop();
    if (written < 0) {
        std::fprintf(Errors, "station_arrival_bench: the station did not set up the device in time\n");
        return false;
    }
    *line = static_cast<std::size_t>(written) + 1;
    *arrival = {Ms(reading - arrived), Ms(done - arrived)};
    return true;
}

// For scale: the same transfers without the station, as two zrvlink runs on one device (a read, then a
// write with --verify), in milliseconds; negative when one failed.
double TransfersByHand(const CScratchDir& dir) {
    CSimProcess sim;
    if (!sim.Start({"--delay", std::to_string(REPLY_DELAY_MS)})) {
        return -1;
    }
    const Clock::time_point begin = Clock::now();
    const bool ok = RunCli({"read", "--port", sim.PtyPath()}).Exit == 0 &&
                    RunCli({"write", dir / "base.dat", "--port", sim.PtyPath(), "--verify"}).Exit == 0;
    return ok ? Ms(Clock::now() - begin) : -1;
}

// Nanoseconds on a processor of every thread of `pid` so far.
long long CpuNs(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    long long total = 0;
    DIR* dir = opendir(tasks.c_str());
    while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.') {
            total += std::atoll(ReadWholeFile(tasks + "/" + entry->d_name + "/schedstat").c_str());
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return total;
}

// The percent of one core that a station with nothing to do takes over IDLE_SECONDS; negative when it
// did not start.
double IdlePercent(const std::vector<std::string>& args, const CliRunOptions& options) {
    CStationRun station;
    if (!station.Start(args, options)) {
        return -1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long long before = CpuNs(station.Process.Pid());
    const Clock::time_point begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(IDLE_SECONDS));
    const long long used = CpuNs(station.Process.Pid()) - before;
    const double wallNs = std::chrono::duration<double, std::nano>(Clock::now() - begin).count();
    station.Process.Interrupt();
    return 100.0 * static_cast<double>(used) / wallNs;
}

// The machine's load over the last minute, for reading the figures.
std::string LoadAverage() {
    const std::string text = ReadWholeFile("/proc/loadavg");
    return text.substr(0, text.find(' '));
}

double Percentile95(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t rank = (values.size() * 95 + 99) / 100; // nearest rank
    return values[std::max<std::size_t>(rank, 1) - 1];
}

} // namespace

int main() {
    // The simulators' closing summaries would bury the figures: they, and only they, go to /dev/null.
    const CFd nowhere(open("/dev/null", O_WRONLY | O_CLOEXEC));
    Errors = fdopen(dup(STDERR_FILENO), "w");
    dup2(nowhere.Get(), STDERR_FILENO);
    const CScratchDir dir;
    dir.Write("base.dat", Template());
    const std::string port = dir / "ttyUSB-bench";
    CStationRun station;
    if (!station.Start(StationArgs(dir, DEVICES, {port}))) {
        std::fprintf(Errors, "station_arrival_bench: the station did not start\n");
        return 1;
    }
    std::minstd_rand gaps(37); // the same gaps on every run
    std::vector<Arrival> arrivals;
    double byHand = 0;
    std::size_t line = 0;
    for (int i = 0; i < DEVICES; ++i) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(GAP_MIN_MS + static_cast<int>(gaps() % (GAP_MAX_MS - GAP_MIN_MS))));
        Arrival arrival{};
        if (!ArriveAndServe(station, port, &line, &arrival)) {
            return 1;
        }
        arrivals.push_back(arrival);
        // Between two devices, under the same load.
        byHand += TransfersByHand(dir) / DEVICES;
    }
    const CliRunResult end = station.Process.Finish();
    if (end.Exit != 0) {
        std::fprintf(Errors, "station_arrival_bench: the station ended with %d: %s\n", end.Exit,
                     end.Err.c_str());
        return 1;
    }
    std::vector<double> toReading, toDone;
    for (const Arrival& a : arrivals) {
        toReading.push_back(a.ToReading);
        toDone.push_back(a.ToDone);
    }
    const double ownMs = DEVICE_LINES * REPLY_DELAY_MS;
    const double meanDone = std::accumulate(toDone.begin(), toDone.end(), 0.0) / DEVICES;
    std::printf("station: %d devices (%d ms per reply) arriving one after another on one --port path "
                "(load average %s)\n",
                DEVICES, REPLY_DELAY_MS, LoadAverage().c_str());
    std::printf("  arrival to \"reading the device\": mean %.1f ms, 95th percentile %.1f ms, %.1f to %.1f ms "
                "(goal: 95th percentile under 30 ms)\n",
                std::accumulate(toReading.begin(), toReading.end(), 0.0) / DEVICES, Percentile95(toReading),
                *std::min_element(toReading.begin(), toReading.end()),
                *std::max_element(toReading.begin(), toReading.end()));
    std::printf("  arrival to \"written and verified\": mean %.1f ms, %.1f to %.1f ms; the device's own time "
                "%d lines x %d ms = %.0f ms\n",
                meanDone, *std::min_element(toDone.begin(), toDone.end()),
                *std::max_element(toDone.begin(), toDone.end()), DEVICE_LINES, REPLY_DELAY_MS, ownMs);
    std::printf("  arrival to done against the device's own time: %.2f (goal: at most 1.15)\n",
                meanDone / ownMs);
    std::printf(
        "  for scale, the same transfers by two zrvlink runs without the station: %.1f ms (%.2f of the "
        "device's own time; the machine's share, not the station's)\n",
        byHand, byHand / ownMs);
    std::fflush(stdout);

    const double absent = IdlePercent(StationArgs(dir, 1, {dir / "absent"}), {});
    const double detecting = IdlePercent(StationArgs(dir, 1, {}), {});
    std::printf("  idle station over %d s, processor time: %.3f %% of a core with one absent --port path, "
                "%.3f %% detecting over this machine's /dev and /sys (goal: under 0.5 %%)\n",
                IDLE_SECONDS, absent, detecting);
    return absent < 0 || detecting < 0 ? 1 : 0;
}
