// Figures of the shared ledger on a loopback PostgreSQL server of its own: claims per second and the
// claim's median and 99th-percentile latency with 1, 4 and 16 stations (processes) claiming at once, no
// device involved; and a line of three stations with four simulated devices each against one station
// with four, setting up the same plan. Prints figures; never fails a test.
#include "CliRun.h"
#include "PostgresServer.h"
#include "SampleParams.h"

#include "provisioning/ledger/Ledger.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// `units` units from 10.1.1.1 on, in one /16 network.
LedgerPlan PlanOf(int units) {
    LedgerPlan plan;
    plan.Template = SampleParamSet();
    plan.Template.SubnetMask = 0xFFFF0000;
    plan.Template.Gateway = 0x0A010001;
    std::string error;
    const uint32_t last = 0x0A010101 + static_cast<uint32_t>(units) - 1;
    MakeAddressRange(plan.Template, "10.1.1.1-" + AddressText(last), &plan.Units, &error);
    return plan;
}

// One station's claims until none is free; each claim's microseconds, one per line, into `out`.
[[noreturn]] void ClaimUntilNoneFree(const std::string& url, const LedgerPlan& plan, int station,
                                     const std::string& out) {
    const std::string name = "bench-" + std::to_string(station);
    CLedger ledger(LedgerRun{url, name, out + ".journal", "bench", 60000});
    std::string error;
    if (ledger.Open(plan, &error) != LedgerOpen::Opened) {
        std::fprintf(stderr, "ledger_bench: %s\n", error.c_str());
        _exit(1);
    }
    std::ofstream times(out);
    for (;;) {
        RecordRow started;
        started.Unit = plan.Units.front().Name;
        started.Event = RecordEvent::Started;
        started.Station = name;
        started.Time = "2026-12-07T10:00:00+00:00";
        const auto begin = Clock::now();
        const ClaimResult claim = ledger.Claim(&started, &error);
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begin).count();
        if (claim != ClaimResult::Claimed) {
            _exit(claim == ClaimResult::NoneFree ? 0 : 1);
        }
        times << took << "\n";
        times.flush();
    }
}

void ClaimFigures(CPostgresServer& server, int stations, int units) {
    const std::string url = server.NewDatabase("claims" + std::to_string(stations));
    const LedgerPlan plan = PlanOf(units);
    {
        CLedger first(LedgerRun{url, "bench-plan", "/tmp/zrv-bench-plan.journal", "bench", 60000});
        std::string error;
        first.Open(plan, &error); // writes the plan once, before the clock runs
    }
    CScratchDir dir;
    const auto begin = Clock::now();
    std::vector<pid_t> children;
    for (int s = 0; s < stations; ++s) {
        const pid_t pid = fork();
        if (pid == 0) {
            ClaimUntilNoneFree(url, plan, s, dir / ("times-" + std::to_string(s)));
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        waitpid(pid, nullptr, 0);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    std::vector<long> times;
    for (int s = 0; s < stations; ++s) {
        std::ifstream in(dir / ("times-" + std::to_string(s)));
        for (long t = 0; in >> t;) {
            times.push_back(t);
        }
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) {
        return times.empty() ? 0.0 : times[static_cast<std::size_t>(q * (times.size() - 1))] / 1000.0;
    };
    std::printf(
        "%2d station(s): %zu claims in %.2f s: %.0f claims/s, median %.2f ms, 99th percentile %.2f ms\n",
        stations, times.size(), seconds, static_cast<double>(times.size()) / seconds, at(0.5), at(0.99));
}

// A device after a device: each tty's simulator hangs up after a whole station session (read, write,
// read back: 298 lines, as the template sends no baud rate) and a fresh one, with a serial number of
// its own, takes its place at once, until the plan is done.
double LineSeconds(CPostgresServer& server, const std::string& database, int stations, int devices,
                   int units) {
    const std::string url = server.NewDatabase(database);
    CScratchDir dir;
    dir.Write("base.dat", "SubnetMask=255.255.255.0\r\n");
    std::vector<std::unique_ptr<CDetectedDevices>> benches;
    std::vector<std::unique_ptr<CCliProcess>> runs;
    const std::vector<std::string> session = {"--close-after", "298", "--delay", "2"};
    int serial = 0;
    const auto begin = Clock::now();
    for (int s = 0; s < stations; ++s) {
        benches.push_back(std::make_unique<CDetectedDevices>());
        runs.push_back(std::make_unique<CCliProcess>());
        const std::string name = "line-" + std::to_string(s);
        runs[s]->Start({"provision", "--template", dir / "base.dat", "--ip-range",
                        "10.2.0.1-10.2.0." + std::to_string(units), "--ledger", url, "--station", name,
                        "--journal", dir / (name + ".journal")},
                       benches[s]->Options());
        for (int d = 0; d < devices; ++d) {
            benches[s]->Plug("ttyACM" + std::to_string(d), session, "SN" + std::to_string(++serial));
        }
    }
    auto report = Clock::now();
    for (bool running = true; running;) {
        if (Clock::now() - report > std::chrono::seconds(10)) {
            report = Clock::now();
            std::fprintf(stderr, "ledger_bench: %s still running; station 0 said:\n%s", database.c_str(),
                         runs[0]->OutSoFar().c_str());
        }
        running = false;
        for (int s = 0; s < stations; ++s) {
            running = running || runs[s]->Pid() > 0;
            for (int d = 0; d < devices; ++d) {
                const std::string tty = "ttyACM" + std::to_string(d);
                if (benches[s]->SimOf(tty).WaitForExit(0)) {
                    benches[s]->Unplug(tty);
                    benches[s]->Plug(tty, session, "SN" + std::to_string(++serial));
                }
            }
            int status = 0;
            if (runs[s]->Pid() > 0 && waitpid(runs[s]->Pid(), &status, WNOHANG) == runs[s]->Pid()) {
                runs[s]->Finish();
            }
        }
        usleep(20000);
    }
    return std::chrono::duration<double>(Clock::now() - begin).count();
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CPostgresServer server;
    std::string error;
    PostgresOptions options;
    options.Tcp = true;
    options.Durable = true;
    if (!server.Start(&error, options)) {
        std::fprintf(stderr, "ledger_bench: no server: %s\n", error.c_str());
        return 1;
    }
    std::printf("Claims on a loopback server, 600 units, no device:\n");
    for (const int stations : {1, 4, 16}) {
        ClaimFigures(server, stations, 600);
    }
    constexpr int UNITS = 24;
    const double one = LineSeconds(server, "lineone", 1, 4, UNITS);
    const double three = LineSeconds(server, "linethree", 3, 4, UNITS);
    std::printf("A plan of %d units, devices answering after 2 ms: one station with 4 devices %.1f s, three "
                "stations with 4 each %.1f s (%.2f times one; goal at most 0.40)\n",
                UNITS, one, three, three / one);
    return 0;
}
