// The provisioning station: the plan and the record at the start, then a loop that watches the ports,
// starts and looks at the children of the ports, appends a row per event and prints a line per event,
// until every unit is done, the devices present at the start are done (--once), or Ctrl-C; portable.
#include "cli/Station.h"

#include "cli/Console.h"
#include "cli/FileOutcome.h"
#include "cli/Interrupt.h"
#include "cli/PortChild.h"
#include "cli/Ports.h"
#include "cli/StationSteps.h"
#include "core/ParamFile.h"
#include "platform/StdFile.h"
#include "platform/SystemError.h"
#include "provisioning/Plan.h"
#include "provisioning/RecordLog.h"
#include "provisioning/UnitBook.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Ports are looked for about twice a second; children are looked at more often, so that a unit's end
// is recorded and reported without delay.
constexpr std::chrono::milliseconds POLL_INTERVAL{500};
constexpr std::chrono::milliseconds WAIT_SLICE{20};
// A cut-off row is shown up to this many characters.
constexpr std::size_t TORN_SHOWN = 100;

// The children's setup files: a folder of the station's own, removed at the end.
class CScratchFolder {
public:
    CScratchFolder() {
        std::error_code error;
        const auto tag = std::to_string(std::random_device{}());
        m_path = std::filesystem::temp_directory_path(error) / ("zrvlink-station-" + tag);
        m_made = !error && std::filesystem::create_directory(m_path, error) && !error;
    }
    ~CScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;
    bool Made() const { return m_made; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
    bool m_made = false;
};

struct PresentPort {
    std::string Name;
    std::string Serial; // empty when the system shows none
};

enum class JobStage { Reading, Writing };

// One device at work: its port's child reads it, then writes its unit.
struct PortJob {
    std::string Port;
    std::string Serial;
    std::size_t Unit = 0;
    JobStage Stage = JobStage::Reading;
    std::unique_ptr<CPortChild> Child;
    Clock::time_point Arrived;
    std::string Version;
    std::string DeviceFile; // the device's configuration before the write
    std::string UnitFile;
};

// Printable, on one line, and not too long: for a row that a power cut left unfinished.
std::string Shown(const std::string& text) {
    std::string shown = text.substr(0, TORN_SHOWN);
    for (char& c : shown) {
        c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
    return shown + (text.size() > TORN_SHOWN ? "..." : "");
}

bool ReadTextFile(const std::string& path, std::string* text, std::string* error) {
    const CStdFile file(std::fopen(path.c_str(), "rb"));
    if (file.Get() == nullptr) {
        char reason[256];
        *error = SystemErrorText(LastSystemError(), reason, sizeof reason);
        return false;
    }
    char block[8192];
    std::size_t got = 0;
    text->clear();
    while ((got = std::fread(block, 1, sizeof block, file.Get())) > 0) {
        text->append(block, got);
    }
    const bool failed = std::ferror(file.Get()) != 0;
    if (failed) {
        *error = "cannot be read";
    }
    return !failed;
}

CliOutcome Refused(const std::string& why) {
    return CliOutcome{EXIT_REFUSED, {"zrvlink provision: " + why}};
}

class CStation {
public:
    explicit CStation(const CliRequest& request) : m_request(request) {}
    CliOutcome Run();

private:
    bool Prepare(CliOutcome* refusal);
    bool ReadPlan(const ParamSet& base, std::vector<PlanUnit>* units, std::string* error) const;
    bool ApplyDecisions(std::string* error);
    void NameUnsettledUnits();

    std::vector<PresentPort> PresentPorts() const;
    void WatchPorts();
    void StartReading(const PresentPort& port, std::size_t unit);
    void LookAtJobs();
    void ReadingEnded(PortJob* job);
    void StartWriting(PortJob* job, const ParamSet& previous);
    void WritingEnded(PortJob* job);
    void EndAllNow();

    RecordRow RowOf(const PortJob& job, RecordEvent event) const;
    void Append(const RecordRow& row);
    void Say(const std::string& line);
    std::string Label(std::size_t unit) const;
    std::string Where(const PortJob& job) const { return Label(job.Unit) + " on " + job.Port; }
    CliOutcome Outcome() const;

    const CliRequest& m_request;
    std::unique_ptr<CUnitBook> m_book;
    CRecordLog m_log;
    CScratchFolder m_scratch;
    std::string m_program;
    std::vector<std::unique_ptr<PortJob>> m_jobs;
    // Ports whose device was served, with its USB serial number: taken again once the port has gone, or
    // shows another serial number (a device swapped between two looks).
    std::map<std::string, std::string> m_used;
    std::set<std::string> m_oncePorts; // --once: the ports present at the first look
    bool m_firstLook = true;
    int m_files = 0;           // scratch files made
    bool m_stopping = false;   // no new device is taken
    int m_interrupts = 0;      // Ctrl-C seen
    std::string m_recordError; // the record could not be written
    bool m_printFailed = false;
};

std::string CStation::Label(std::size_t unit) const {
    const PlanUnit& planned = m_book->Unit(unit);
    const std::string address = AddressText(planned.Set.IPAddress);
    return planned.Name + (planned.Set.IPAddress != 0 && address != planned.Name ? " " + address : "");
}

void CStation::Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    m_printFailed = !FlushStdout() || m_printFailed;
}

void CStation::Append(const RecordRow& row) {
    RecordRow stamped = row;
    stamped.Time = RecordTimeNow();
    if (!m_recordError.empty() || !m_log.Append(stamped, &m_recordError)) {
        // Without the record nothing may go on: what happens next could not be told.
        m_stopping = true;
        return;
    }
    m_book->Apply(stamped);
}

bool CStation::ReadPlan(const ParamSet& base, std::vector<PlanUnit>* units, std::string* error) const {
    std::string why;
    if (m_request.Plan.empty()) {
        return MakeAddressRange(base, m_request.IpRange, units, error);
    }
    std::string text;
    if (!ReadTextFile(m_request.Plan, &text, &why) || !ReadUnitTable(base, text, units, &why)) {
        *error = "plan " + m_request.Plan + ": " + why;
        return false;
    }
    return true;
}

bool CStation::ApplyDecisions(std::string* error) {
    std::vector<RecordRow> rows;
    if (!m_book->DecisionRows(m_request.Redo, m_request.Skip, &rows, error)) {
        return false;
    }
    for (const RecordRow& row : rows) {
        Append(row);
        Say(row.Unit + ": " + row.Message);
    }
    if (!m_recordError.empty()) {
        *error = m_recordError;
        return false;
    }
    return true;
}

// Units whose write may have reached their device's save and has no end in the record: the station
// names them and stops, so that no unit's address goes to a second device unasked.
void CStation::NameUnsettledUnits() {
    for (const UnitState state : {UnitState::Started, UnitState::Held}) {
        for (const std::size_t unit : m_book->UnitsIn(state)) {
            const std::string name = m_book->Unit(unit).Name;
            const auto last = std::find_if(m_log.Rows().rbegin(), m_log.Rows().rend(),
                                           [&](const RecordRow& row) { return row.Unit == name; });
            const std::string where =
                last != m_log.Rows().rend() ? " on " + last->Port + " (" + last->Time + ")" : "";
            const char* what = state == UnitState::Started ? " has no end in the record, and may have"
                                                           : " ended badly after it may have";
            Say(Label(unit) + ": its write" + where + what +
                " reached the device's save; see to that device, " + "then run again with --redo " + name +
                " (the next device gets the unit) or --skip " + name + " (the unit is left as it is)");
        }
    }
}

bool CStation::Prepare(CliOutcome* refusal) {
    CParamFile base;
    std::vector<PlanUnit> units;
    std::string error;
    if (!LoadSetupFileToSend(m_request.Template, &base, refusal)) {
        refusal->Exit = EXIT_REFUSED;
        return false;
    }
    if (!ReadPlan(*base.GetParam(), &units, &error) || !m_log.Open(m_request.Record, &error)) {
        *refusal = Refused(error);
        return false;
    }
    if (!m_log.Torn().empty()) {
        Say("record " + m_request.Record + ": its last row was never finished and is left out: \"" +
            Shown(m_log.Torn()) + "\"");
    }
    if (m_log.Completed()) {
        Say("record " + m_request.Record + ": its last row had lost its line end and was completed");
    }
    m_book = std::make_unique<CUnitBook>(units);
    for (const RecordRow& row : m_log.Rows()) {
        m_book->Apply(row);
    }
    if (!m_book->CheckAddresses(&error) || !ApplyDecisions(&error)) {
        *refusal = Refused(error);
        return false;
    }
    if (!m_scratch.Made() || !GetProgramPath(&m_program)) {
        *refusal = Failure(EXIT_RESOURCE);
        return false;
    }
    return true;
}

std::vector<PresentPort> CStation::PresentPorts() const {
    const std::vector<PortRecord> detected = DetectPortRecords();
    std::vector<PresentPort> present;
    if (m_request.Ports.empty()) {
        std::vector<std::string> names;
        for (const PortRecord& record : detected) {
            names.push_back(record.Name);
        }
        // A device that detection lists under two names is still one device.
        const std::vector<std::string> distinct = WithoutSamePorts(names);
        for (const PortRecord& record : detected) {
            if (std::find(distinct.begin(), distinct.end(), record.Name) != distinct.end()) {
                present.push_back({record.Name, record.Usb.Serial});
            }
        }
        return present;
    }
    for (const std::string& port : m_request.Ports) {
        if (!PortIsPresent(port)) {
            continue;
        }
        const std::string identity = PortIdentity(port);
        const auto record = std::find_if(detected.begin(), detected.end(), [&](const PortRecord& r) {
            return PortIdentity(r.Name) == identity;
        });
        present.push_back({port, record != detected.end() ? record->Usb.Serial : std::string()});
    }
    return present;
}

// New devices get the next units; a port that was served is taken again only after it has gone.
void CStation::WatchPorts() {
    std::vector<PresentPort> present = PresentPorts();
    if (m_request.Once && m_firstLook) {
        for (const PresentPort& port : present) {
            m_oncePorts.insert(port.Name);
        }
    }
    m_firstLook = false;
    if (m_request.Once) {
        present.erase(
            std::remove_if(present.begin(), present.end(),
                           [&](const PresentPort& port) { return m_oncePorts.count(port.Name) == 0; }),
            present.end());
    }
    for (auto used = m_used.begin(); used != m_used.end();) {
        const bool there = std::any_of(present.begin(), present.end(), [&](const PresentPort& port) {
            return port.Name == used->first && port.Serial == used->second;
        });
        used = there ? std::next(used) : m_used.erase(used);
    }
    for (const PresentPort& port : present) {
        const bool busy = std::any_of(m_jobs.begin(), m_jobs.end(), [&](const std::unique_ptr<PortJob>& job) {
            return job->Port == port.Name;
        });
        if (m_stopping || busy || m_used.count(port.Name) != 0) {
            continue;
        }
        // With every open unit at work, the device waits: a unit that fails before its save comes back.
        const int unit = m_book->Reserve();
        if (unit >= 0) {
            StartReading(port, static_cast<std::size_t>(unit));
        }
    }
}

void CStation::StartReading(const PresentPort& port, std::size_t unit) {
    auto job = std::make_unique<PortJob>();
    job->Port = port.Name;
    job->Serial = port.Serial;
    job->Unit = unit;
    job->Arrived = Clock::now();
    job->DeviceFile = m_scratch.File("device-" + std::to_string(++m_files) + ".dat");
    job->Child = std::make_unique<CPortChild>(port.Name);
    Say(Where(*job) + ": reading the device");
    job->Child->Start(m_program, StationReadArguments(port.Name, job->DeviceFile, m_request.Trace), true);
    m_jobs.push_back(std::move(job));
}

RecordRow CStation::RowOf(const PortJob& job, RecordEvent event) const {
    RecordRow row;
    row.Unit = m_book->Unit(job.Unit).Name;
    row.Port = job.Port;
    row.Serial = job.Serial;
    row.Version = job.Version;
    row.Event = event;
    row.Seconds = FormatSeconds(std::chrono::duration<double>(Clock::now() - job.Arrived).count());
    row.Address = AddressText(m_book->Unit(job.Unit).Set.IPAddress);
    return row;
}

void CStation::ReadingEnded(PortJob* job) {
    std::string report;
    const int exit = job->Child->Report(&report);
    job->Version = ParseChildSteps(job->Child->Output()).Version;
    CParamFile previous;
    if (job->Child->Killed()) {
        m_book->Release(job->Unit);
        return;
    }
    if (exit != EXIT_OK || !previous.Load(job->DeviceFile.c_str())) {
        RecordRow row = RowOf(*job, RecordEvent::Failed);
        row.Status = std::to_string(exit != EXIT_OK ? exit : EXIT_FILE_LOAD);
        row.Message = exit != EXIT_OK ? ParseChildSteps(report).Result : ExitMessage(EXIT_FILE_LOAD);
        row.Save = SaveSent::No;
        Append(row);
        Say(Where(*job) + ": the device could not be read (" + row.Message +
            "); nothing was written, the unit waits for the next device");
        return;
    }
    const int done = m_book->DoneUnitOf(previous.GetParam()->IPAddress, job->Serial);
    if (done >= 0 || m_stopping) {
        m_book->Release(job->Unit);
        Say(job->Port + (done >= 0 ? ": this device is done unit " + Label(static_cast<std::size_t>(done)) +
                                         " and is left as it is; connect the next device"
                                   : ": not written, the station is stopping"));
        return;
    }
    StartWriting(job, *previous.GetParam());
}

void CStation::StartWriting(PortJob* job, const ParamSet& previous) {
    CParamFile unit;
    *unit.GetParam() = m_book->Unit(job->Unit).Set;
    job->UnitFile = m_scratch.File("unit-" + std::to_string(++m_files) + ".dat");
    if (!unit.Save(job->UnitFile.c_str())) {
        RecordRow row = RowOf(*job, RecordEvent::Failed);
        row.Status = std::to_string(EXIT_FILE_SAVE);
        row.Message = ExitMessage(EXIT_FILE_SAVE);
        row.Save = SaveSent::No;
        Append(row);
        Say(Where(*job) + ": " + row.Message + "; nothing was written");
        return;
    }
    // On disk before the first byte goes to the device: whatever happens next, nothing that was on the
    // device is lost.
    RecordRow started = RowOf(*job, RecordEvent::Started);
    started.Previous = SetupValues(previous);
    Append(started);
    if (!m_recordError.empty()) {
        m_book->Release(job->Unit);
        return;
    }
    job->Stage = JobStage::Writing;
    job->Child = std::make_unique<CPortChild>(job->Port);
    Say(Where(*job) + ": read (" + (job->Version.empty() ? "no version" : job->Version) + "), writing");
    job->Child->Start(m_program, StationWriteArguments(job->Port, job->UnitFile, m_request.Trace), true);
}

void CStation::WritingEnded(PortJob* job) {
    std::string report;
    const int exit = job->Child->Report(&report);
    const bool saveNext = ParseChildSteps(job->Child->Output()).SaveNext;
    const bool killed = job->Child->Killed();
    RecordRow row = RowOf(*job, killed            ? RecordEvent::Interrupted
                                : exit == EXIT_OK ? RecordEvent::Done
                                                  : RecordEvent::Failed);
    if (row.Event == RecordEvent::Done) {
        row.Status = "0";
        row.Save = SaveSent::Yes;
        Append(row);
        Say(Where(*job) + ": written and verified in " + row.Seconds + " s; connect the next device");
        return;
    }
    row.Save = saveNext ? SaveSent::Maybe : SaveSent::No;
    row.Status = killed ? std::string() : std::to_string(exit);
    const std::string result = ParseChildSteps(report).Result;
    row.Message = killed ? "ended by the second Ctrl-C" : result.empty() ? ExitMessage(exit) : result;
    Append(row);
    const std::string what = killed ? "interrupted" : "failed (" + row.Message + ")";
    if (row.Save == SaveSent::No) {
        Say(Where(*job) + ": " + what + " before its save; the unit waits for the next device");
        return;
    }
    m_stopping = true;
    Say(Where(*job) + ": " + what + " after its save may have reached the device; no new device is taken");
}

void CStation::LookAtJobs() {
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        PortJob& job = **it;
        if (!job.Child->HasEnded()) {
            ++it;
            continue;
        }
        if (m_request.Trace) {
            job.Child->ForwardTrace();
        }
        const bool wasWriting = job.Stage == JobStage::Writing;
        if (wasWriting) {
            WritingEnded(&job);
        } else {
            ReadingEnded(&job);
        }
        // A read that went well goes on with the write in the same job.
        if (!wasWriting && job.Stage == JobStage::Writing) {
            ++it;
            continue;
        }
        m_used[job.Port] = job.Serial;
        it = m_jobs.erase(it);
    }
}

void CStation::EndAllNow() {
    for (const auto& job : m_jobs) {
        job->Child->Kill();
    }
}

CliOutcome CStation::Outcome() const {
    if (!m_recordError.empty()) {
        return Refused(m_recordError);
    }
    const bool unsettled =
        !m_book->UnitsIn(UnitState::Held).empty() || !m_book->UnitsIn(UnitState::Started).empty();
    const int exit = unsettled ? EXIT_UNIT_FAILED : m_book->Finished() ? EXIT_OK : EXIT_UNITS_LEFT;
    return CliOutcome{exit == EXIT_OK && m_printFailed ? EXIT_FILE_SAVE : exit, {}};
}

CliOutcome CStation::Run() {
    CliOutcome refusal;
    if (!Prepare(&refusal)) {
        return refusal;
    }
    const std::size_t done = m_book->UnitsIn(UnitState::Done).size();
    const std::size_t skipped = m_book->UnitsIn(UnitState::Skipped).size();
    const std::size_t left = m_book->Size() - done - skipped;
    if (!m_book->UnitsIn(UnitState::Started).empty() || !m_book->UnitsIn(UnitState::Held).empty()) {
        NameUnsettledUnits();
        return Outcome();
    }
    Say("station: " + std::to_string(m_book->Size()) + " units, " + std::to_string(done) + " done, " +
        std::to_string(skipped) + " skipped, " + std::to_string(left) + " to go; " +
        (m_request.Once ? "the devices attached now" : "connect the devices (Ctrl-C stops)"));
    Clock::time_point nextPoll = Clock::now();
    for (;;) {
        const int interrupts = InterruptCount();
        if (interrupts > m_interrupts) {
            // A request to end the process (SIGTERM, SIGHUP) counts as two.
            const bool now = interrupts >= 2;
            Say(now ? std::string("the station ends now") +
                          (m_jobs.empty() ? "" : ", and with it the transfers at work")
                : m_jobs.empty()
                    ? "Ctrl-C: the station ends"
                    : "Ctrl-C: no new device is taken; the devices at work finish (Ctrl-C again ends "
                      "them now)");
            m_interrupts = interrupts;
            m_stopping = true;
            if (now) {
                EndAllNow();
            }
        }
        LookAtJobs();
        const bool planDone = m_book->Finished() && m_jobs.empty();
        // --once looks again only when its devices are all through: a unit that came back (a read or
        // a write that failed before its save) goes to one of them that still waits.
        const bool due = m_request.Once ? m_firstLook || m_jobs.empty() : Clock::now() >= nextPoll;
        if (!m_stopping && !planDone && due) {
            WatchPorts();
            nextPoll = Clock::now() + POLL_INTERVAL;
        }
        if (m_jobs.empty() && (m_stopping || planDone || (m_request.Once && !m_firstLook))) {
            break;
        }
        std::this_thread::sleep_for(WAIT_SLICE);
    }
    if (m_book->Finished()) {
        Say("every unit of the plan is done");
    } else if (!m_book->UnitsIn(UnitState::Held).empty()) {
        NameUnsettledUnits();
    } else {
        const std::size_t open = m_book->UnitsIn(UnitState::Open).size();
        Say("station stopped: " + std::to_string(open) + (open == 1 ? " unit" : " units") + " left");
    }
    return Outcome();
}

} // namespace

CliOutcome RunStation(const CliRequest& request) {
    // From the start: a Ctrl-C while the record is opened stops the station before any device.
    CatchInterrupts();
    CStation station(request);
    return station.Run();
}
