// The ledger where this build has no PostgreSQL client: never available, and every call says so. The
// stand-in side of the ledger seam.
#include "provisioning/ledger/Ledger.h"

namespace {

const char* const NOT_HERE = "the ledger is not available on this system in this version";

} // namespace

bool LedgerAvailable() {
    return false;
}

void SetLedgerInterrupts(int (*)()) {}

bool CheckLedgerUrl(const std::string&, std::string* error) {
    *error = NOT_HERE;
    return false;
}

std::string RedactedLedgerUrl(const std::string&) {
    return "(a ledger)";
}

bool LedgerUrlHasPassword(const std::string&) {
    return false;
}

std::string DefaultLedgerJournal(const std::string&, const std::string& station) {
    return "ledger-" + station + ".csv";
}

struct CLedger::State {
    std::string StationName;
};

CLedger::CLedger(LedgerRun run) : m_state(std::make_unique<State>()) {
    m_state->StationName = std::move(run.Station);
}

CLedger::~CLedger() = default;

LedgerOpen CLedger::Open(const LedgerPlan&, std::string* error) {
    *error = NOT_HERE;
    return LedgerOpen::Refused;
}

std::string CLedger::Station() const {
    return m_state->StationName;
}

std::vector<RecordRow> CLedger::Load() {
    return {};
}

bool CLedger::Refresh(std::vector<RecordRow>* added) {
    added->clear();
    return false;
}

bool CLedger::UnitsNow(std::vector<StoredUnit>* units) {
    units->clear();
    return false;
}

bool CLedger::Append(const RecordRow&, std::string* error) {
    *error = NOT_HERE;
    return false;
}

bool CLedger::Decide(const RecordRow&, std::string* error) {
    *error = NOT_HERE;
    return false;
}

ClaimResult CLedger::Claim(RecordRow*, std::string* error) {
    *error = NOT_HERE;
    return ClaimResult::Failed;
}

std::vector<std::string> CLedger::TakeNotices() {
    return {};
}

std::vector<std::string> CLedger::Close() {
    return {};
}

void CLedger::PublishBoard(const std::string&) {}

bool ReadLedgerLine(const std::string&, LedgerLine*, std::string* error) {
    *error = NOT_HERE;
    return false;
}

bool ReadLedgerStatus(const std::string&, LedgerStatus*, std::string* error) {
    *error = NOT_HERE;
    return false;
}

bool ReadLedgerRows(const std::string&, std::vector<RecordRow>*, std::string* error) {
    *error = NOT_HERE;
    return false;
}
