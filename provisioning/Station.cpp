// The provisioning station's rules over its seams: units to devices, children's ends to record rows,
// ports taken and taken again; portable.
#include "provisioning/Station.h"

#include "core/Counted.h"
#include "core/TextParse.h"

#include <algorithm>

namespace {} // namespace

CStation::CStation(const std::vector<PlanUnit>& units, IRecordStore* store, const StationOptions& options,
                   const StationSeams& seams)
    : m_book(units), m_store(*store), m_options(options), m_seams(seams) {}

std::string CStation::Label(std::size_t unit) const {
    const PlanUnit& planned = m_book.Unit(unit);
    const std::string address = AddressText(planned.Set.IPAddress);
    return planned.Name + (planned.Set.IPAddress != 0 && address != planned.Name ? " " + address : "");
}

void CStation::Say(const std::string& line) {
    if (m_seams.Observer != nullptr) {
        m_seams.Observer->Said(line);
    }
    if (!m_seams.Console->Say(line) && !m_outputLost) {
        // Nobody hears the station any more: it takes no new device, lets those at work finish and ends.
        m_outputLost = true;
        m_stopping = true;
    }
}

void CStation::Remember(const RecordRow& row) {
    m_rows.push_back(row);
    m_book.Apply(row);
}

void CStation::Append(const RecordRow& row) {
    RecordRow stamped = row;
    stamped.Time = m_seams.Clock->RecordTime();
    stamped.Station = m_store.Station();
    if (!m_recordError.empty() || !m_store.Append(stamped, &m_recordError)) {
        // Without the record nothing may go on: what happens next could not be told.
        m_stopping = true;
        return;
    }
    Remember(stamped);
    PostPlan();
}

// What other stations did meanwhile; while the store is away no new device is taken.
bool CStation::Refresh() {
    std::vector<RecordRow> added;
    m_storeAway = !m_store.Refresh(&added);
    for (const RecordRow& row : added) {
        Remember(row);
    }
    if (!added.empty()) {
        PostPlan();
    }
    SayStoreNotices();
    return !m_storeAway;
}

// A shared store's units as they stand now win over the rows seen so far: whether a device is left
// alone is decided on the ledger's truth. False while the store cannot be reached.
bool CStation::SettleFromStore() {
    std::vector<StoredUnit> units;
    if (!m_store.UnitsNow(&units)) {
        SayStoreNotices();
        return false;
    }
    for (const StoredUnit& unit : units) {
        const int index = m_book.IndexOf(unit.Name);
        if (index >= 0) {
            m_book.Settle(static_cast<std::size_t>(index), unit.Standing);
        }
    }
    return true;
}

// The store's last lines, once nothing of the station is at work any more.
void CStation::SayStoreClosing() {
    for (const std::string& line : m_store.Close()) {
        Say(line);
    }
}

// A Ctrl-C that came after the round began, which HandleInterrupts has not seen yet.
bool CStation::InterruptedSinceStep() const {
    return m_seams.Interrupts != nullptr && m_seams.Interrupts->Count() > m_interrupts;
}

void CStation::SayStoreNotices() {
    for (const std::string& notice : m_store.TakeNotices()) {
        Say(notice);
    }
}

bool CStation::ApplyDecisions(std::string* error) {
    std::vector<RecordRow> rows;
    if (!m_book.DecisionRows(m_options.Redo, m_options.Skip, &rows, error)) {
        return false;
    }
    for (RecordRow row : rows) {
        row.Time = m_seams.Clock->RecordTime();
        row.Station = m_store.Station();
        if (!m_store.Decide(row, error)) {
            return false;
        }
        Remember(row);
        Say(row.Unit + ": " + row.Message);
    }
    return true;
}

// This station's units whose write may have reached their device's save and did not end well; another
// station's are its own to settle.
std::vector<std::size_t> CStation::MyUnsettledUnits() const {
    std::vector<std::size_t> units;
    for (const UnitState state : {UnitState::Started, UnitState::Held}) {
        for (const std::size_t unit : m_book.UnitsIn(state)) {
            if (Mine(unit)) {
                units.push_back(unit);
            }
        }
    }
    return units;
}

// What the operator must do about a unit whose write may have reached its device's save.
std::string CStation::Unsettled(std::size_t unit, UnitState state) const {
    const std::string name = m_book.Unit(unit).Name;
    const auto last =
        std::find_if(m_rows.rbegin(), m_rows.rend(), [&](const RecordRow& row) { return row.Unit == name; });
    return UnsettledInstruction(name, last != m_rows.rend() ? &*last : nullptr,
                                state == UnitState::Started ? "has no end in the record, and may have"
                                                            : "ended badly after it may have");
}

// Units whose write may have reached their device's save and has no end in the record: the station
// names them with their devices and stops, so that no unit's address goes to a second device unasked.
void CStation::NameUnsettledUnits() {
    for (const UnitState state : {UnitState::Started, UnitState::Held}) {
        for (const std::size_t unit : m_book.UnitsIn(state)) {
            if (!Mine(unit)) {
                continue;
            }
            Say(Label(unit) + ": " + Unsettled(unit, state));
        }
    }
}

bool CStation::Begin(StationEnd* end) {
    SayStoreNotices();
    for (const RecordRow& row : m_store.Load()) {
        Remember(row);
    }
    std::string error;
    if (!m_book.CheckAddresses(&error) || !ApplyDecisions(&error)) {
        *end = StationEnd{STATION_REFUSED, {error}};
        SayStoreClosing();
        return false;
    }
    PostPlan();
    if (!MyUnsettledUnits().empty()) {
        NameUnsettledUnits();
        *end = StationEnd{STATION_UNIT_HELD, {}};
        SayStoreClosing();
        return false;
    }
    const std::size_t done = m_book.UnitsIn(UnitState::Done).size();
    const std::size_t skipped = m_book.UnitsIn(UnitState::Skipped).size();
    const std::string source = m_options.PlanSource.empty() ? "" : " (" + m_options.PlanSource + ")";
    Say("station: " + Counted(m_book.Size(), "unit") + source + ", " + std::to_string(done) + " done, " +
        std::to_string(skipped) + " skipped, " + std::to_string(m_book.Size() - done - skipped) + " to go; " +
        (m_options.Once ? "the devices attached now" : "connect the devices (Ctrl-C stops)"));
    m_nextLookMs = m_seams.Clock->NowMs();
    return true;
}

void CStation::HandleInterrupts(int interrupts) {
    if (interrupts <= m_interrupts) {
        return;
    }
    const bool now = interrupts >= 2;
    Say(now ? std::string("the station ends now") +
                  (m_jobs.empty() ? "" : ", and with it the transfers at work")
        : m_jobs.empty() ? "Ctrl-C: the station ends"
                         : "Ctrl-C: no new device is taken; the devices at work finish (Ctrl-C again ends "
                           "them now)");
    m_interrupts = interrupts;
    m_stopping = true;
    if (now) {
        for (const auto& job : m_jobs) {
            job->Child->Stop();
        }
    }
}

// A port whose open failed within its grace is looked at again; --once waits for it.
bool CStation::OpenRetryPending(int64_t now) const {
    return std::any_of(m_ports.begin(), m_ports.end(), [&](const auto& entry) {
        return !entry.second.OpenFailed && entry.second.RetryMs > now;
    });
}

// Not while stopping or with the plan through; --once looks again only when its devices are all
// through: a unit that came back (a read or a write that failed before its save) goes to one of them that
// still waits.
bool CStation::Looking() const {
    return !m_stopping && !(m_book.Finished() && m_jobs.empty()) &&
           (!m_options.Once || m_firstLook || m_jobs.empty());
}

// After the interval, or when a port is to be tried again before it.
int64_t CStation::NextLookAfter(int64_t now) const {
    int64_t next = now + m_options.LookMs;
    for (const auto& entry : m_ports) {
        if (entry.second.RetryMs > now) {
            next = std::min(next, entry.second.RetryMs);
        }
    }
    return next;
}

void CStation::PortsChanged() {
    m_nextLookMs = 0;
    for (auto& entry : m_ports) {
        if (entry.second.OpenRetry) {
            entry.second.OpenRetry = false;
            entry.second.RetryMs = 0;
        }
    }
}

int64_t CStation::NextDueMs() const {
    return Looking() ? m_nextLookMs : std::numeric_limits<int64_t>::max();
}

void CStation::Step(int interrupts) {
    HandleInterrupts(interrupts);
    LookAtJobs();
    const int64_t now = m_seams.Clock->NowMs();
    if (Looking() && now >= m_nextLookMs) {
        WatchPorts(now);
        m_nextLookMs = NextLookAfter(now);
    }
    const bool onceThrough = m_options.Once && !m_firstLook && !OpenRetryPending(now);
    m_ended = m_jobs.empty() && (m_stopping || (m_book.Finished()) || onceThrough);
}

// New devices get the next units; a port that was served is taken again only after its device has gone
// (or another device, by its serial number, stands there).
void CStation::WatchPorts(int64_t now) {
    const bool reachable = Refresh();
    std::vector<StationPort> present = m_seams.Ports->Present();
    if (m_options.Once && m_firstLook) {
        for (const StationPort& port : present) {
            m_oncePorts.insert(port.Name);
        }
    }
    m_firstLook = false;
    if (m_options.Once) {
        present.erase(
            std::remove_if(present.begin(), present.end(),
                           [&](const StationPort& port) { return m_oncePorts.count(port.Name) == 0; }),
            present.end());
    }
    PostPorts(present);
    for (auto watched = m_ports.begin(); watched != m_ports.end();) {
        const bool there = std::any_of(present.begin(), present.end(), [&](const StationPort& port) {
            return port.Name == watched->first && port.Serial == watched->second.Serial;
        });
        watched = there ? std::next(watched) : m_ports.erase(watched);
    }
    for (const StationPort& port : present) {
        const WatchedPort& watched =
            m_ports.try_emplace(port.Name, WatchedPort{port.Serial, now, m_presences + 1}).first->second;
        m_presences = std::max(m_presences, watched.Presence);
        const bool busy = std::any_of(m_jobs.begin(), m_jobs.end(), [&](const std::unique_ptr<PortJob>& job) {
            return job->Port == port.Name;
        });
        if (m_stopping || !reachable || busy || watched.Served || now < watched.RetryMs) {
            continue;
        }
        // With every open unit at work, the device waits: a unit that fails before its save comes back.
        const int unit = m_book.Reserve();
        if (unit >= 0) {
            StartReading(port, static_cast<std::size_t>(unit), now);
        }
    }
}

void CStation::StartReading(const StationPort& port, std::size_t unit, int64_t now) {
    auto job = std::make_unique<PortJob>();
    job->Port = port.Name;
    job->Serial = port.Serial;
    job->Unit = unit;
    job->StartMs = now;
    job->Presence = m_ports[port.Name].Presence;
    Report(*job, PortStage::Reading, "reading the device");
    job->Child = m_seams.Children->StartRead(port.Name);
    m_jobs.push_back(std::move(job));
}

RecordRow CStation::RowOf(const PortJob& job, RecordEvent event) const {
    RecordRow row;
    row.Unit = m_book.Unit(job.Unit).Name;
    row.Port = job.Port;
    row.Serial = job.Serial;
    row.Version = job.Version;
    row.Event = event;
    row.Seconds = FormatSeconds(static_cast<double>(m_seams.Clock->NowMs() - job.StartMs) / 1000.0);
    row.Address = AddressText(m_book.Unit(job.Unit).Set.IPAddress);
    return row;
}

void CStation::RecordEnd(const PortJob& job, const ChildOutcome& outcome, const ChildEndRule& rule) {
    RecordRow row = RowOf(job, rule.Event);
    row.Status = outcome.Status >= 0 ? std::to_string(outcome.Status) : std::string();
    row.Message = ChildEndWords(rule.Message, outcome.Message, row.Seconds, job.Port);
    row.Save = rule.Save;
    Append(row);
}

std::string CStation::EndWords(const PortJob& job, const ChildOutcome& outcome,
                               const ChildEndRule& rule) const {
    const std::string seconds =
        FormatSeconds(static_cast<double>(m_seams.Clock->NowMs() - job.StartMs) / 1000.0);
    const std::string device =
        job.Port + (job.Serial.empty() ? "" : " (serial " + PrintableLine(job.Serial) + ")");
    return ChildEndWords(std::string(rule.Said) + rule.SaidThen, outcome.Message, seconds, device);
}

// Only while the same device stands there: one that came meanwhile is new.
void CStation::MarkServed(const PortJob& job) {
    const auto watched = m_ports.find(job.Port);
    if (watched != m_ports.end() && watched->second.Presence == job.Presence) {
        watched->second.Served = true;
    }
}

// What the end decides (ChildEnd.h): the record's row, the unit, the port, and the station's words.
void CStation::ChildEnded(PortJob* job, ChildEndCase end, const ChildOutcome& outcome) {
    const ChildEndRule& rule = ChildEndRuleOf(end);
    if (rule.Unit == UnitNext::Write) {
        DeviceRead(job, outcome.Device);
        return;
    }
    if (rule.Port == PortNext::TriedAgain) {
        OpenFailed(job, outcome, rule);
        return;
    }
    // A read's unit was only reserved; a write's goes on by its row.
    if (job->Stage == ChildStage::Reading) {
        m_book.Release(job->Unit);
    }
    if (rule.Recorded) {
        RecordEnd(*job, outcome, rule);
    }
    if (rule.Port == PortNext::Served) {
        MarkServed(*job);
    }
    if (rule.Unit == UnitNext::Held) {
        m_stopping = true;
    }
    Report(*job, rule.Shown, EndWords(*job, outcome, rule));
}

// No byte reached the device: the port is never marked served. Right after it appeared it is tried again
// quietly; once its grace has run out the failure is recorded once, and it is still tried now and then.
void CStation::OpenFailed(PortJob* job, const ChildOutcome& outcome, const ChildEndRule& rule) {
    m_book.Release(job->Unit);
    const auto found = m_ports.find(job->Port);
    if (found == m_ports.end()) {
        return; // gone meanwhile
    }
    WatchedPort& watched = found->second;
    const int64_t now = m_seams.Clock->NowMs();
    if (now - watched.SeenMs < OPEN_GRACE_MS) {
        watched.RetryMs = now + OPEN_RETRY_MS;
        watched.OpenRetry = true;
        m_nextLookMs = std::min(m_nextLookMs, watched.RetryMs);
        PostPort(
            PortNewsOf(*job, PortStage::Reading, "waiting for the port to open (" + outcome.Message + ")"));
        return;
    }
    watched.RetryMs = now + OPEN_RETRY_LATE_MS;
    watched.OpenRetry = false;
    m_nextLookMs = std::min(m_nextLookMs, watched.RetryMs);
    const std::string what = EndWords(*job, outcome, rule);
    PostPort(PortNewsOf(*job, rule.Shown, what));
    if (!watched.OpenFailed) {
        watched.OpenFailed = true;
        RecordEnd(*job, outcome, rule);
        Say(Where(*job) + ": " + what);
    }
}

void CStation::DeviceRead(PortJob* job, const ParamSet& device) {
    if (!Refresh() || !SettleFromStore()) {
        m_book.Release(job->Unit);
        RetryLater(*job);
        Report(*job, PortStage::Left, "not written, the ledger cannot be reached; the device waits");
        return;
    }
    const CUnitBook::KeptUnit kept = m_book.KeptUnitOf(device);
    if (!kept.Name.empty() || m_stopping) {
        m_book.Release(job->Unit);
        MarkServed(*job);
        std::string what = "not written, the station is stopping";
        if (!kept.Name.empty()) {
            const std::string unit =
                kept.Unit >= 0
                    ? std::string(UnitStateName(m_book.State(static_cast<std::size_t>(kept.Unit)))) +
                          " unit " + Label(static_cast<std::size_t>(kept.Unit))
                    : "unit " + kept.Name + " of the record";
            what = "this device is " + unit + " and is left as it is; connect the next device";
        }
        Say(job->Port + ": " + what);
        PortNews news = PortNewsOf(*job, PortStage::Left, what);
        news.Unit = kept.Name;
        news.Address = kept.Unit >= 0
                           ? AddressText(m_book.Unit(static_cast<std::size_t>(kept.Unit)).Set.IPAddress)
                           : std::string();
        PostPort(news);
        return;
    }
    StartWriting(job, device);
}

// The claim is kept before the first byte goes to the device: whatever happens next, nothing that was on
// the device is lost, and no other station takes the unit.
void CStation::StartWriting(PortJob* job, const ParamSet& device) {
    RecordRow started = RowOf(*job, RecordEvent::Started);
    started.Previous = SetupValues(device);
    started.Time = m_seams.Clock->RecordTime();
    started.Station = m_store.Station();
    m_book.Release(job->Unit);
    if (InterruptedSinceStep()) {
        MarkServed(*job);
        Report(*job, PortStage::Left, "not written, the station is stopping");
        return;
    }
    const ClaimResult claim =
        m_recordError.empty() ? m_store.Claim(&started, &m_recordError) : ClaimResult::Failed;
    const int unit = m_book.IndexOf(started.Unit);
    if (claim == ClaimResult::Claimed && unit >= 0) {
        job->Unit = static_cast<std::size_t>(unit);
        Remember(started);
        // A Ctrl-C came while the unit was being claimed: no byte goes to the device, and the unit goes back.
        if (InterruptedSinceStep()) {
            ChildEnded(job, ChildEndCase::WriteWithheld, ChildOutcome{});
            return;
        }
        PostPlan();
        job->Stage = ChildStage::Writing;
        Report(*job, PortStage::Writing,
               "read (" + (job->Version.empty() ? "no version" : PrintableLine(job->Version)) + "), writing");
        job->Child = m_seams.Children->StartWrite(job->Port, m_book.Unit(job->Unit).Set);
        return;
    }
    if (claim == ClaimResult::Failed || claim == ClaimResult::Claimed) {
        m_stopping = true; // without its record nothing may go on
        return;
    }
    m_storeAway = claim == ClaimResult::Unreachable;
    RetryLater(*job);
    Report(*job, PortStage::Left,
           m_storeAway ? "not written, the ledger cannot be reached; the device waits"
                       : "not written, every unit is done or taken by another station; the device waits");
}

// A device that waits for the store or for a unit is looked at again a little later.
void CStation::RetryLater(const PortJob& job) {
    const auto watched = m_ports.find(job.Port);
    if (watched != m_ports.end()) {
        watched->second.RetryMs = m_seams.Clock->NowMs() + OPEN_RETRY_LATE_MS;
        m_nextLookMs = std::min(m_nextLookMs, watched->second.RetryMs);
    }
}

void CStation::LookAtJobs() {
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        PortJob& job = **it;
        if (!job.Child->HasEnded()) {
            PostProgress(&job);
            ++it;
            continue;
        }
        const ChildStage stage = job.Stage;
        const ChildOutcome outcome = job.Child->Outcome();
        if (stage == ChildStage::Reading) {
            job.Version = outcome.Version;
        }
        ChildEnded(&job, ChildEndCaseOf(stage, outcome), outcome);
        // A read that went well goes on with the write in the same job.
        if (stage == ChildStage::Reading && job.Stage == ChildStage::Writing) {
            ++it;
            continue;
        }
        it = m_jobs.erase(it);
        // --once looks again as soon as its devices are through.
        if (m_options.Once && m_jobs.empty()) {
            m_nextLookMs = 0;
        }
    }
}

StationEnd CStation::Finish() {
    if (m_book.Finished()) {
        Say("every unit of the plan is done");
    } else if (!MyUnsettledUnits().empty()) {
        NameUnsettledUnits();
    } else {
        const std::size_t open = m_book.UnitsIn(UnitState::Open).size();
        const std::size_t elsewhere = m_book.UnitsIn(UnitState::Held).size() +
                                      m_book.UnitsIn(UnitState::Started).size() - MyUnsettledUnits().size();
        Say("station stopped: " + Counted(open, "unit") + " left" +
            (elsewhere > 0 ? ", " + std::to_string(elsewhere) + " at work or held on other stations" : ""));
    }
    SayStoreClosing();
    if (!m_recordError.empty()) {
        return StationEnd{STATION_REFUSED, {m_recordError}};
    }
    if (!MyUnsettledUnits().empty()) {
        return StationEnd{STATION_UNIT_HELD, {}};
    }
    if (m_outputLost) {
        return StationEnd{STATION_OUTPUT_LOST, {}};
    }
    return StationEnd{m_book.Finished() ? STATION_DONE : STATION_UNITS_LEFT, {}};
}
