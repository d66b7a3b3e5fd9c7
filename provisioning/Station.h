// The provisioning station's rules: which device gets which unit, what a child's end means for its unit
// and its device, when a port is taken again, Ctrl-C and --once; portable, with the ports, the children,
// the clock, the console and an observer behind the seams of StationSeams.h and the record behind
// IRecordStore (the CSV file of one station, or a ledger that several stations share).
#pragma once

#include "provisioning/ChildEnd.h"
#include "provisioning/Plan.h"
#include "provisioning/RecordStore.h"
#include "provisioning/StationSeams.h"
#include "provisioning/UnitBook.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The station's exit statuses; the command line's codes of the same meaning.
enum StationExit : int {
    STATION_DONE = 0,         // every unit done or skipped
    STATION_OUTPUT_LOST = 22, // the console went away; the record holds every event
    STATION_UNITS_LEFT = 30,  // stopped (Ctrl-C, --once) with units not done
    STATION_UNIT_HELD = 31,   // a unit's write may have reached its device's save: the operator decides
    STATION_REFUSED = 32,     // the record or the operator's decisions were refused, or a row not written
};

// How often the ports are looked for where nothing tells the station of their changes.
constexpr int64_t PORT_POLL_MS = 500;

struct StationOptions {
    bool Once = false; // the devices attached at the first look, then the end
    std::vector<std::string> Redo;
    std::vector<std::string> Skip;
    // How often the ports are looked for unasked: PORT_POLL_MS, or longer where PortsChanged tells of
    // their changes (a look then only catches what such news missed).
    int64_t LookMs = PORT_POLL_MS;
    // Where the plan came from, for the first line ("plan units.csv, cells separated by semicolons");
    // empty: not said.
    std::string PlanSource{};
};

struct StationEnd {
    int Exit = STATION_DONE;
    std::vector<std::string> Errors; // why a start was refused, for stderr
};

// How long a port whose open fails right after it appeared is tried again (udev may not have given the
// device its group yet), how often meanwhile, and afterwards.
constexpr int64_t OPEN_GRACE_MS = 5000;
constexpr int64_t OPEN_RETRY_MS = 500;
constexpr int64_t OPEN_RETRY_LATE_MS = 5000;

class CStation {
public:
    // `store` is open; it and the seams outlive the station.
    CStation(const std::vector<PlanUnit>& units, IRecordStore* store, const StationOptions& options,
             const StationSeams& seams);

    // What the record says, the operator's decisions, and the plan at a glance. False when the station
    // must end before it touches any device: `end` says how (a refused record or decision, or units
    // whose write may have reached a device's save, named on the console).
    bool Begin(StationEnd* end);

    // One round: Ctrl-C seen so far (a request to end the process counts two), the children that
    // ended, and the ports when it is time to look.
    void Step(int interrupts);

    // True once nothing is at work and nothing more will be taken.
    bool Ended() const { return m_ended; }

    // News that the ports may have changed (a device came or went, a port's permissions changed): the
    // next Step looks at once, and a port whose open failed since it came is tried again then.
    void PortsChanged();

    // When Step next has something to do by the clock alone (a look, a port tried again); INT64_MAX when
    // only a child's end, Ctrl-C or PortsChanged can give it any.
    int64_t NextDueMs() const;

    // The last line, and how the station ended.
    StationEnd Finish();

private:
    struct PortJob {
        std::string Port;
        std::string Serial;
        std::size_t Unit = 0;
        ChildStage Stage = ChildStage::Reading;
        std::unique_ptr<IPortChild> Child;
        int64_t StartMs = 0;
        std::string Version;
        ChildProgress Posted;  // the child's progress as the observer last heard it
        uint64_t Presence = 0; // the WatchedPort::Presence of its device
    };
    // A port with a device, as far as the station has seen it since that device came.
    struct WatchedPort {
        std::string Serial;
        int64_t SeenMs = 0;
        uint64_t Presence = 0;   // one number per device seen on a port, never used again
        bool Served = false;     // taken again only once its device has gone
        int64_t RetryMs = 0;     // a failed open: not taken again before this
        bool OpenFailed = false; // the grace ran out and the failure was recorded
        bool OpenRetry = false;  // its open failed within the grace: a change of the ports tries it again
    };

    // Say*: lines for the operator, on the console (which the observer hears as well); Post*: news for
    // the observer alone; Report: a job's line and its port's news together.
    void SayStoreNotices();
    void SayStoreClosing();
    bool Refresh();
    bool SettleFromStore();
    bool InterruptedSinceStep() const;
    void Remember(const RecordRow& row);
    // A unit this station settles: on a shared store, one whose standing stems from its own rows; in a
    // record of one station, every unit (other names in it are of stations that worked before it).
    bool Mine(std::size_t unit) const {
        return !m_store.Shared() || m_book.StationOf(unit) == m_store.Station();
    }
    std::vector<std::size_t> MyUnsettledUnits() const;
    bool ApplyDecisions(std::string* error);
    void NameUnsettledUnits();
    void HandleInterrupts(int interrupts);
    bool Looking() const;
    int64_t NextLookAfter(int64_t now) const;
    void WatchPorts(int64_t now);
    void StartReading(const StationPort& port, std::size_t unit, int64_t now);
    void LookAtJobs();
    void ChildEnded(PortJob* job, ChildEndCase end, const ChildOutcome& outcome);
    void OpenFailed(PortJob* job, const ChildOutcome& outcome, const ChildEndRule& rule);
    void DeviceRead(PortJob* job, const ParamSet& device);
    void StartWriting(PortJob* job, const ParamSet& device);
    void RetryLater(const PortJob& job);
    bool OpenRetryPending(int64_t now) const;

    RecordRow RowOf(const PortJob& job, RecordEvent event) const;
    void RecordEnd(const PortJob& job, const ChildOutcome& outcome, const ChildEndRule& rule);
    std::string EndWords(const PortJob& job, const ChildOutcome& outcome, const ChildEndRule& rule) const;
    void Append(const RecordRow& row);
    void Say(const std::string& line);
    // The job's device was served: its port is taken again once another device stands there (the port
    // went away between two looks, or shows another serial number).
    void MarkServed(const PortJob& job);
    std::string Label(std::size_t unit) const;
    std::string Where(const PortJob& job) const { return Label(job.Unit) + " on " + job.Port; }
    std::string Unsettled(std::size_t unit, UnitState state) const;

    // The observer's news (StationNews.cpp); nothing without an observer.
    void Report(const PortJob& job, PortStage stage, const std::string& what);
    PortNews PortNewsOf(const PortJob& job, PortStage stage, const std::string& result) const;
    void PostPort(const PortNews& news);
    void PostPlan();
    void PostPorts(const std::vector<StationPort>& present);
    void PostProgress(PortJob* job);
    PlanNews PlanAtAGlance() const;

    CUnitBook m_book;
    IRecordStore& m_store;
    std::vector<RecordRow> m_rows; // every row known, oldest first
    StationOptions m_options;
    StationSeams m_seams;
    std::vector<std::unique_ptr<PortJob>> m_jobs;
    std::map<std::string, WatchedPort> m_ports;
    std::set<std::string> m_oncePorts; // --once: the ports present at the first look
    bool m_firstLook = true;
    uint64_t m_presences = 0; // the last WatchedPort::Presence given
    int64_t m_nextLookMs = 0;
    bool m_stopping = false; // no new device is taken
    bool m_ended = false;
    int m_interrupts = 0;      // Ctrl-C seen
    std::string m_recordError; // the record could not be written
    bool m_storeAway = false;  // the shared ledger cannot be reached: no new device is taken
    bool m_outputLost = false;
};
