// Benchmark: the processor time of whole zrvlink processes against zrvlink-sim devices that answer after
// 2 ms (a read, and --version for the start-up alone), 32 such devices read in parallel against one, and
// the system calls of one read; for scale, the floor of this machine: the same exchanges in a bare loop
// on one thread, and a process that does nothing. Prints figures; asserts nothing.
#include "SimProcess.h"
#include "core/ParamSet.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int READ_EXCHANGES = 3 + 3 * TARGET_COUNT;
constexpr int PARALLEL_DEVICES = 32;
const char* const REPLY_DELAY_MS = "2";

using Clock = std::chrono::steady_clock;

struct ProcessCost {
    bool Ok;
    double CpuMs;  // user + system of the process and every child it waited for
    double WallMs; // from spawn to reaped
};

// Runs `words` with stdout and stderr on /dev/null and waits for it; Ok when it exited with status 0.
ProcessCost RunProcess(std::vector<std::string> words) {
    std::vector<char*> argv = ArgvOf(words);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const Clock::time_point begin = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return {false, 0, 0};
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
    }
    const double wall = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    const double cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, cpu, wall};
}

double ThreadCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The processor time of a read's exchanges with nothing around them: write the line, then poll and read
// until the prompt, on this thread. Negative when the device did not answer.
double BareExchangesMs(const std::string& path) {
    const CFd port(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios tio{};
    if (!port.IsOpen() || tcgetattr(port.Get(), &tio) != 0) {
        return -1;
    }
    cfmakeraw(&tio);
    tcsetattr(port.Get(), TCSANOW, &tio);
    std::vector<std::string> lines = {"\x1Bvers\r", "baudrate\r", "netparam\r"};
    for (int i = 0; i < TARGET_COUNT; ++i) {
        for (const char* word : {"target ", "enable ", "name "}) {
            lines.push_back(word + std::to_string(i) + "\r");
        }
    }
    const double begin = ThreadCpuMs();
    char reply[256];
    for (const std::string& line : lines) {
        if (write(port.Get(), line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return -1;
        }
        for (bool prompt = false; !prompt;) {
            pollfd in{port.Get(), POLLIN, 0};
            const ssize_t got = poll(&in, 1, 2000) == 1 ? read(port.Get(), reply, sizeof reply) : -1;
            if (got <= 0) {
                return -1;
            }
            prompt = std::find(reply, reply + got, '>') != reply + got;
        }
    }
    return ThreadCpuMs() - begin;
}

struct Figures {
    std::vector<double> Values;
    void Add(double value) { Values.push_back(value); }
    double Min() const { return *std::min_element(Values.begin(), Values.end()); }
    double Median() const {
        std::vector<double> sorted = Values;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

bool Measure(const std::vector<std::string>& words, bool wall, Figures* figures) {
    const ProcessCost cost = RunProcess(words);
    if (!cost.Ok) {
        std::fprintf(stderr, "zrvlink_cpu_bench: '%s ...' failed\n", words[0].c_str());
        return false;
    }
    figures->Add(wall ? cost.WallMs : cost.CpuMs);
    return true;
}

// strace -c -f's table for one read: the calls of each system call and the total, per exchange.
void PrintSystemCalls(const std::string& zrvlink, const std::string& port, const CScratchDir& scratch) {
    const std::string table = scratch.File("strace.txt");
    if (!RunProcess({"/usr/bin/strace", "-f", "-c", "-o", table, zrvlink, "read", "--port", port}).Ok) {
        std::printf("  system calls: strace is not available\n");
        return;
    }
    std::ifstream in(table);
    std::string line;
    std::printf("  system calls of one read, per exchange (strace -c -f):");
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string percent, seconds, usecs, calls, errorsOrName, name;
        if (!(fields >> percent >> seconds >> usecs >> calls >> errorsOrName) ||
            calls.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        name = (fields >> name) ? name : errorsOrName;
        const double perExchange = std::atof(calls.c_str()) / READ_EXCHANGES;
        if (name == "total" || perExchange >= 0.5) {
            std::printf(" %s %.2f", name.c_str(), perExchange);
        }
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string zrvlink = argc > 2 ? argv[2] : ZRVLINK_PATH;
    // The simulators' closing summaries would bury the figures: they get /dev/null as stderr.
    const CFd ownStderr(dup(STDERR_FILENO));
    const CFd nowhere(open("/dev/null", O_WRONLY | O_CLOEXEC));
    dup2(nowhere.Get(), STDERR_FILENO);
    std::vector<std::unique_ptr<CSimProcess>> sims;
    for (int i = 0; i < PARALLEL_DEVICES && (sims.empty() || sims.back()->IsRunning()); ++i) {
        sims.push_back(std::make_unique<CSimProcess>());
        sims.back()->Start({"--delay", REPLY_DELAY_MS});
    }
    dup2(ownStderr.Get(), STDERR_FILENO);
    if (!sims.back()->IsRunning()) {
        std::fprintf(stderr, "zrvlink-sim did not start: %s\n", sims.back()->Error().c_str());
        return 1;
    }
    const std::string& one = sims.front()->PtyPath();
    CScratchDir scratch;
    const std::string outputDir = scratch.File("out");
    mkdir(outputDir.c_str(), 0700);
    std::vector<std::string> parallel = {zrvlink, "read", "--output-dir", outputDir};
    for (const auto& sim : sims) {
        parallel.insert(parallel.end(), {"--port", sim->PtyPath()});
    }

    Figures version, read, single, thirtyTwo, thirtyTwoCpu, bare, nothing;
    for (int i = 0; i < runs; ++i) {
        if (!Measure({zrvlink, "--version"}, false, &version) ||
            !Measure({zrvlink, "read", "--port", one}, false, &read) ||
            !Measure({"/bin/true"}, false, &nothing)) {
            return 1;
        }
        bare.Add(BareExchangesMs(one));
    }
    for (int i = 0; i < runs; ++i) {
        const ProcessCost all = RunProcess(parallel);
        if (!Measure({zrvlink, "read", "--output-dir", outputDir, "--port", one}, true, &single) || !all.Ok) {
            std::fprintf(stderr, "zrvlink_cpu_bench: a read with --output-dir failed\n");
            return 1;
        }
        thirtyTwo.Add(all.WallMs);
        thirtyTwoCpu.Add(all.CpuMs);
    }

    std::printf(
        "zrvlink processor time (user + system) against zrvlink-sim --delay %s, %d runs, min / median\n",
        REPLY_DELAY_MS, runs);
    std::printf("  %s\n", zrvlink.c_str());
    std::printf("  zrvlink --version:                  %7.2f / %7.2f ms\n", version.Min(), version.Median());
    std::printf("  zrvlink read (%d exchanges):        %7.2f / %7.2f ms\n", READ_EXCHANGES, read.Min(),
                read.Median());
    std::printf("  per exchange, whole read:           %7.1f / %7.1f us\n",
                read.Min() * 1000 / READ_EXCHANGES, read.Median() * 1000 / READ_EXCHANGES);
    std::printf("  per exchange, start-up taken off:   %7.1f / %7.1f us\n",
                (read.Min() - version.Min()) * 1000 / READ_EXCHANGES,
                (read.Median() - version.Median()) * 1000 / READ_EXCHANGES);
    std::printf("  %d devices read in parallel, processor time per device: %7.2f / %7.2f ms\n",
                PARALLEL_DEVICES, thirtyTwoCpu.Min() / PARALLEL_DEVICES,
                thirtyTwoCpu.Median() / PARALLEL_DEVICES);
    std::printf("  read --output-dir, elapsed: 1 device %7.1f / %7.1f ms, %d devices %7.1f / %7.1f ms\n",
                single.Min(), single.Median(), PARALLEL_DEVICES, thirtyTwo.Min(), thirtyTwo.Median());
    std::printf("  %d devices take %.2f times as long as one (medians; goal: at most 1.2)\n",
                PARALLEL_DEVICES, thirtyTwo.Median() / single.Median());
    PrintSystemCalls(zrvlink, one, scratch);
    std::printf("  for scale: %d bare exchanges on one thread %.2f / %.2f ms; /bin/true %.2f / %.2f ms\n",
                READ_EXCHANGES, bare.Min(), bare.Median(), nothing.Min(), nothing.Median());
    std::fflush(stdout);
    return 0;
}
