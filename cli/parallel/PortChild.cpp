// A port's child process with its time limit and its report; portable.
#include "cli/parallel/PortChild.h"

#include "cli/common/CliOutcome.h"
#include "cli/parallel/BatchPlan.h"
#include "core/ParamSet.h"
#include "core/TextParse.h"
#include "devicelink/ParamTransfer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Milliseconds = std::chrono::milliseconds;

// The longest that a child can take while its device answers: a write with --backup and --verify is
// three transfers, and the device may use the whole reply time for every command.
constexpr long COMMANDS_PER_TRANSFER = 5 + 3 * TARGET_COUNT; // vers, baud rate, network, save, update
constexpr long LONGEST_CHILD_MS = 3 * COMMANDS_PER_TRANSFER * static_cast<long>(REPLY_TIMEOUT_MS);
// A child that still runs after this hangs: a device that works answers within milliseconds. The usage
// text names the limit.
constexpr long CHILD_TIME_LIMIT_MS = 20L * 60 * 1000;
static_assert(CHILD_TIME_LIMIT_MS > LONGEST_CHILD_MS * 3 / 2, "a slow device must never reach the limit");

// For tests: a shorter limit in milliseconds. A longer one is ignored.
const char* const TEST_LIMIT_VARIABLE = "ZRVLINK_CHILD_LIMIT_MS";

} // namespace

Milliseconds ChildTimeLimit() {
    const char* text = std::getenv(TEST_LIMIT_VARIABLE);
    int32_t shorter = 0;
    const bool valid = text != nullptr && ParseDecimal(text, std::strlen(text), &shorter) && shorter > 0;
    return Milliseconds(valid && shorter < CHILD_TIME_LIMIT_MS ? shorter : CHILD_TIME_LIMIT_MS);
}

Milliseconds ChildStopGrace() {
    return Milliseconds(REPLY_TIMEOUT_MS + 1000);
}

bool CPortChild::Start(const std::string& program, const std::vector<std::string>& args, bool shielded,
                       const std::string& input) {
    if (shielded) {
        m_child.ShieldFromInterrupts();
    }
    m_deadline = std::chrono::steady_clock::now() + ChildTimeLimit();
    m_started = m_child.Start(program, args, input);
    m_ended = !m_started;
    return m_started;
}

void CPortChild::AskToStop(TimePoint now) {
    if (!m_stopping) {
        m_stopping = true;
        m_killAt = now + ChildStopGrace();
        m_child.RequestStop();
    }
}

bool CPortChild::HasEnded() {
    if (m_ended) {
        return true;
    }
    const TimePoint now = std::chrono::steady_clock::now();
    if (m_child.HasEnded()) {
        m_ended = true;
    } else if (m_stopping && now >= m_killAt) {
        m_child.Kill();
        m_ended = m_killed = true;
    } else if (now >= m_deadline) {
        m_overLimit = true;
        AskToStop(now);
    }
    return m_ended;
}

void CPortChild::Stop() {
    if (!m_ended) {
        m_stopAsked = true;
        AskToStop(std::chrono::steady_clock::now());
    }
}

void CPortChild::AddTo(CWaitList* waits) const {
    if (m_ended) {
        return;
    }
    m_child.AddTo(waits);
    const TimePoint due = m_stopping ? m_killAt : m_deadline;
    waits->LimitMs(std::chrono::ceil<Milliseconds>(due - std::chrono::steady_clock::now()).count());
}

int CPortChild::Report(std::string* report) const {
    if (!m_started || m_overLimit || m_killed) {
        const int exit = m_started ? EXIT_COMM : EXIT_RESOURCE;
        *report = ExitMessage(exit);
        return exit;
    }
    const ChildEnd& end = m_child.End();
    if (!end.Exited) {
        *report = ChildFailureReport("crashed (" + end.Crash + ")", m_child.Errors());
        return EXIT_RESOURCE;
    }
    *report = m_child.Output();
    if (!report->empty()) {
        return end.Status;
    }
    // Without a report the status tells why, when it is one of ours.
    if (ExitMessage(end.Status)[0] != '\0') {
        *report = ExitMessage(end.Status);
        return end.Status;
    }
    *report = ChildFailureReport("ended without a report (exit " + std::to_string(end.Status) + ")",
                                 m_child.Errors());
    return EXIT_RESOURCE;
}

// A child's CR LF becomes this stream's line end; what a device put in a line (its answers are traced)
// reaches the terminal printable.
void CPortChild::ForwardTrace() const {
    ForEachLine(m_child.Errors(), [this](const std::string& line, bool) {
        std::fprintf(stderr, "%s: %s\n", m_port.c_str(), PrintableLine(line).c_str());
    });
}
