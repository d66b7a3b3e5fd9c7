// What the provisioning station tells its observer: the plan at a glance, the held units with what the
// operator must do, each port's device and its progress, and each stage in words; portable.
#include "provisioning/Station.h"

#include <algorithm>
#include <map>
#include <utility>

void CStation::Report(const PortJob& job, PortStage stage, const std::string& what) {
    Say(Where(job) + ": " + what);
    PostPort(PortNewsOf(job, stage, what));
}

PortNews CStation::PortNewsOf(const PortJob& job, PortStage stage, const std::string& result) const {
    PortNews news;
    news.Port = job.Port;
    news.Serial = job.Serial;
    news.Unit = m_book.Unit(job.Unit).Name;
    news.Address = AddressText(m_book.Unit(job.Unit).Set.IPAddress);
    news.Stage = stage;
    // A transfer that ended badly shows how far it got.
    news.Percent = stage == PortStage::Done ? 100 : IsAtWork(stage) ? 0 : std::max(job.Posted.Percent, 0);
    news.StartMs = job.StartMs;
    news.NowMs = m_seams.Clock->NowMs();
    news.Result = result;
    return news;
}

// A device taken, read or let go changes the plan's units at work as well.
void CStation::PostPort(const PortNews& news) {
    if (m_seams.Observer != nullptr) {
        m_seams.Observer->PortNow(news);
        m_seams.Observer->PlanNow(PlanAtAGlance());
    }
}

void CStation::PostPlan() {
    if (m_seams.Observer != nullptr) {
        m_seams.Observer->PlanNow(PlanAtAGlance());
    }
}

void CStation::PostPorts(const std::vector<StationPort>& present) {
    if (m_seams.Observer != nullptr) {
        m_seams.Observer->PortsNow(present);
    }
}

// Only a step that the observer has not heard yet: children tell every step, the loop looks far more often.
void CStation::PostProgress(PortJob* job) {
    if (m_seams.Observer == nullptr) {
        return;
    }
    const ChildProgress now = job->Child->Progress();
    if (now.Percent < 0 || (now.Stage == job->Posted.Stage && now.Percent == job->Posted.Percent)) {
        return;
    }
    job->Posted = now;
    m_seams.Observer->PortProgress(job->Port, now);
}

PlanNews CStation::PlanAtAGlance() const {
    // A unit that is open again after a failure waits for the next device; the record's last row of each
    // unit tells which.
    std::map<std::string, RecordEvent> last;
    for (const RecordRow& row : m_rows) {
        last[row.Unit] = row.Event;
    }
    PlanNews plan;
    plan.Units = m_book.Size();
    plan.Done = m_book.UnitsIn(UnitState::Done).size();
    plan.Skipped = m_book.UnitsIn(UnitState::Skipped).size();
    // A job's unit is at work until the job's end has moved it on; the job itself goes a moment later.
    const auto atWork = [&](std::size_t unit) {
        return std::any_of(m_jobs.begin(), m_jobs.end(),
                           [&](const std::unique_ptr<PortJob>& job) { return job->Unit == unit; });
    };
    plan.AtWork = m_book.UnitsIn(UnitState::Reserved).size();
    for (const std::size_t unit : m_book.UnitsIn(UnitState::Open)) {
        const auto found = last.find(m_book.Unit(unit).Name);
        const bool failed = found != last.end() && (found->second == RecordEvent::Failed ||
                                                    found->second == RecordEvent::Interrupted);
        ++(failed ? plan.Failed : plan.ToGo);
    }
    for (const UnitState state : {UnitState::Started, UnitState::Held}) {
        for (const std::size_t unit : m_book.UnitsIn(state)) {
            // Another station's write at work is at work; a held unit's instruction holds on every station.
            if (state == UnitState::Started && (atWork(unit) || !Mine(unit))) {
                ++plan.AtWork;
                continue;
            }
            const std::string name = m_book.Unit(unit).Name;
            const auto row = std::find_if(m_rows.rbegin(), m_rows.rend(),
                                          [&](const RecordRow& r) { return r.Unit == name; });
            const bool known = row != m_rows.rend();
            plan.HeldUnits.push_back({name, AddressText(m_book.Unit(unit).Set.IPAddress),
                                      known ? row->Port : std::string(), known ? row->Serial : std::string(),
                                      Unsettled(unit, state)});
        }
    }
    plan.Held = plan.HeldUnits.size();
    return plan;
}

const char* StageWord(PortStage stage) {
    const std::pair<PortStage, const char*> words[] = {
        {PortStage::Reading, "reading"}, {PortStage::Writing, "writing"}, {PortStage::Verifying, "verifying"},
        {PortStage::Done, "done"},       {PortStage::Failed, "failed"},   {PortStage::Held, "held"},
        {PortStage::Left, "left"}};
    for (const auto& [value, word] : words) {
        if (value == stage) {
            return word;
        }
    }
    return "?";
}
