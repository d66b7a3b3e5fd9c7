// The ledger's libpq layer over the loader seam; portable.
#include "provisioning/ledger/PgSession.h"

#include "provisioning/ledger/PgLibrary.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace {

struct PgApi {
    decltype(&::PQconnectStartParams) connectStartParams = nullptr;
    decltype(&::PQconnectPoll) connectPoll = nullptr;
    decltype(&::PQstatus) status = nullptr;
    decltype(&::PQfinish) finish = nullptr;
    decltype(&::PQerrorMessage) errorMessage = nullptr;
    decltype(&::PQsetNoticeProcessor) setNoticeProcessor = nullptr;
    decltype(&::PQsocket) socket = nullptr;
    decltype(&::PQbackendPID) backendPID = nullptr;
    decltype(&::PQsetnonblocking) setnonblocking = nullptr;
    decltype(&::PQsendQueryParams) sendQueryParams = nullptr;
    decltype(&::PQflush) flush = nullptr;
    decltype(&::PQconsumeInput) consumeInput = nullptr;
    decltype(&::PQisBusy) isBusy = nullptr;
    decltype(&::PQgetResult) getResult = nullptr;
    decltype(&::PQresultStatus) resultStatus = nullptr;
    decltype(&::PQresultErrorField) resultErrorField = nullptr;
    decltype(&::PQresultErrorMessage) resultErrorMessage = nullptr;
    decltype(&::PQntuples) ntuples = nullptr;
    decltype(&::PQfnumber) fnumber = nullptr;
    decltype(&::PQgetvalue) getvalue = nullptr;
    decltype(&::PQgetisnull) getisnull = nullptr;
    decltype(&::PQclear) clear = nullptr;
    decltype(&::PQconninfoParse) conninfoParse = nullptr;
    decltype(&::PQconninfoFree) conninfoFree = nullptr;
    decltype(&::PQfreemem) freemem = nullptr;
    decltype(&::PQcmdStatus) cmdStatus = nullptr;
    std::string Error; // why libpq cannot be used; empty once every function was found
};

template <typename Function>
bool Bind(const char* name, Function* function) {
    *function = reinterpret_cast<Function>(PgLibrarySymbol(name));
    return *function != nullptr;
}

const PgApi& Pq() {
    static const PgApi api = [] {
        PgApi loaded;
        if (!LoadPgLibrary(&loaded.Error)) {
            return loaded;
        }
        const bool bound =
            Bind("PQconnectStartParams", &loaded.connectStartParams) &&
            Bind("PQconnectPoll", &loaded.connectPoll) && Bind("PQstatus", &loaded.status) &&
            Bind("PQfinish", &loaded.finish) && Bind("PQerrorMessage", &loaded.errorMessage) &&
            Bind("PQsetNoticeProcessor", &loaded.setNoticeProcessor) && Bind("PQsocket", &loaded.socket) &&
            Bind("PQbackendPID", &loaded.backendPID) && Bind("PQsetnonblocking", &loaded.setnonblocking) &&
            Bind("PQsendQueryParams", &loaded.sendQueryParams) && Bind("PQflush", &loaded.flush) &&
            Bind("PQconsumeInput", &loaded.consumeInput) && Bind("PQisBusy", &loaded.isBusy) &&
            Bind("PQgetResult", &loaded.getResult) && Bind("PQresultStatus", &loaded.resultStatus) &&
            Bind("PQresultErrorField", &loaded.resultErrorField) &&
            Bind("PQresultErrorMessage", &loaded.resultErrorMessage) && Bind("PQntuples", &loaded.ntuples) &&
            Bind("PQfnumber", &loaded.fnumber) && Bind("PQgetvalue", &loaded.getvalue) &&
            Bind("PQgetisnull", &loaded.getisnull) && Bind("PQclear", &loaded.clear) &&
            Bind("PQconninfoParse", &loaded.conninfoParse) && Bind("PQconninfoFree", &loaded.conninfoFree) &&
            Bind("PQfreemem", &loaded.freemem) && Bind("PQcmdStatus", &loaded.cmdStatus);
        if (!bound) {
            loaded.Error =
                "the PostgreSQL client library found lacks functions the ledger needs (libpq 12 or later)";
        }
        return loaded;
    }();
    return api;
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Quiet(void*, const char*) {}

// One line of libpq's or the server's words, without `secret`.
std::string OneLine(std::string text, const std::string& secret) {
    const std::size_t newline = text.find('\n');
    if (newline != std::string::npos) {
        text.erase(newline);
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    for (std::size_t at; !secret.empty() && (at = text.find(secret)) != std::string::npos;) {
        text.replace(at, secret.size(), "***");
    }
    return text.empty() ? "no reason given" : text;
}

// Server answers that mean "not now" rather than "no": the statement or a lock wait ran out of time, a
// transaction was left open too long, the server is shutting down or short of resources.
bool MeansAway(const std::string& state) {
    static const char* const AWAY[] = {"57014", "55P03", "25P03", "57P01", "57P02", "57P03"};
    return state.compare(0, 2, "08") == 0 || state.compare(0, 2, "53") == 0 ||
           std::find(std::begin(AWAY), std::end(AWAY), state) != std::end(AWAY);
}

bool Set(PgError* error, const char* operation, std::string message, bool lost, std::string state = {}) {
    *error = PgError{operation, std::move(message), std::move(state), lost};
    return false;
}

// libpq's words when the server's certificate fails a check: OpenSSL's reason, and libpq's own for a host
// name and a missing root. libpq's are translated where its messages are; in another language such a
// failure counts as the server being away.
bool MeansUntrusted(const std::string& message) {
    static const char* const UNTRUSTED[] = {"certificate verify failed", "does not match host name",
                                            "root certificate file"};
    return std::any_of(std::begin(UNTRUSTED), std::end(UNTRUSTED),
                       [&](const char* words) { return message.find(words) != std::string::npos; });
}

} // namespace

std::string PgError::Text() const {
    return Operation + ": " + Message + (SqlState.empty() ? "" : " (SQLSTATE " + SqlState + ")");
}

bool PgAvailable(std::string* error) {
    *error = Pq().Error;
    return error->empty();
}

bool ParsePgSettings(const std::string& url, std::vector<std::pair<std::string, std::string>>* settings,
                     std::string* error) {
    settings->clear();
    if (!PgAvailable(error)) {
        return false;
    }
    char* message = nullptr;
    PQconninfoOption* options = Pq().conninfoParse(url.c_str(), &message);
    if (message != nullptr) {
        Pq().freemem(message);
    }
    if (options == nullptr) {
        *error = "the ledger's address does not read as a PostgreSQL URL (postgresql://USER@HOST/DATABASE) "
                 "or keyword string (host=HOST dbname=DATABASE)";
        return false;
    }
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val != nullptr && option->val[0] != '\0') {
            settings->emplace_back(option->keyword, option->val);
        }
    }
    Pq().conninfoFree(options);
    return true;
}

CPgResult::~CPgResult() {
    if (m_result != nullptr) {
        Pq().clear(m_result);
    }
}

CPgResult::CPgResult(CPgResult&& other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}

CPgResult& CPgResult::operator=(CPgResult&& other) noexcept {
    if (this != &other) {
        if (m_result != nullptr) {
            Pq().clear(m_result);
        }
        m_result = std::exchange(other.m_result, nullptr);
    }
    return *this;
}

int CPgResult::Rows() const {
    return m_result != nullptr ? Pq().ntuples(m_result) : 0;
}

int CPgResult::Column(const char* name) const {
    return m_result != nullptr ? Pq().fnumber(m_result, name) : -1;
}

bool CPgResult::IsNull(int row, const char* column) const {
    const int at = Column(column);
    return at < 0 || row < 0 || row >= Rows() || Pq().getisnull(m_result, row, at) != 0;
}

std::string CPgResult::Text(int row, const char* column) const {
    return IsNull(row, column) ? std::string() : std::string(Pq().getvalue(m_result, row, Column(column)));
}

bool CPgResult::Int(int row, const char* column, int64_t* value) const {
    const std::string text = Text(row, column);
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0') {
        return false;
    }
    *value = number;
    return true;
}

bool CPgResult::Flag(int row, const char* column) const {
    return Text(row, column) == "t";
}

std::string CPgResult::Command() const {
    return m_result != nullptr ? Pq().cmdStatus(m_result) : "";
}

CPgSession::~CPgSession() {
    Close();
}

void CPgSession::Close() {
    if (m_conn != nullptr) {
        Pq().finish(m_conn);
        m_conn = nullptr;
    }
}

bool CPgSession::Alive() const {
    return m_conn != nullptr && Pq().status(m_conn) == CONNECTION_OK;
}

int CPgSession::BackendPid() const {
    return Alive() ? Pq().backendPID(m_conn) : 0;
}

bool CPgSession::Fail(const char* operation, PgError* error) {
    const bool lost = m_conn == nullptr || Pq().status(m_conn) != CONNECTION_OK;
    Set(error, operation, OneLine(m_conn != nullptr ? Pq().errorMessage(m_conn) : "out of memory", m_secret),
        true);
    error->Lost = lost;
    if (lost) {
        Close();
    }
    return false;
}

// Waits for the socket in slices, so that a Ctrl-C is seen; past the deadline the connection is dropped.
bool CPgSession::WaitSocket(bool write, int64_t deadlineMs, const char* operation, PgError* error) {
    const int interruptsBefore = m_interrupts ? m_interrupts() : 0;
    for (;;) {
        if (m_interrupts && m_interrupts() != interruptsBefore) {
            deadlineMs = std::min(deadlineMs, NowMs() + PG_INTERRUPTED_MS);
        }
        const int64_t left = deadlineMs - NowMs();
        if (left <= 0) {
            Close();
            return Set(error, operation, "no answer from the server in time", true);
        }
        const int socket = Pq().socket(m_conn);
        const PgWait waited =
            socket < 0 ? PgWait::Failed
                       : WaitPgSocket(socket, write, static_cast<int>(std::min<int64_t>(left, 100)));
        if (waited == PgWait::Ready) {
            return true;
        }
        if (waited == PgWait::Failed) {
            Close();
            return Set(error, operation, "the connection's socket cannot be waited on", true);
        }
    }
}

bool CPgSession::StartConnect(const std::string& url, const std::string& application, PgError* error) {
    Close();
    std::string why;
    std::vector<std::pair<std::string, std::string>> settings;
    if (!ParsePgSettings(url, &settings, &why)) {
        return Set(error, "connecting", why, false);
    }
    m_secret.clear();
    for (const auto& [keyword, value] : settings) {
        m_secret = keyword == "password" ? value : m_secret;
    }
    // Keep-alives find a dead peer where the limits below do not run (between statements); the URL's own
    // settings come later and win, but for the name that tells this station's sessions apart.
    const std::string connectSeconds = std::to_string(std::max(1, m_limits.ConnectMs / 1000));
    const char* const keys[] = {"connect_timeout",
                                "keepalives",
                                "keepalives_idle",
                                "keepalives_interval",
                                "keepalives_count",
                                "tcp_user_timeout",
                                "dbname",
                                "application_name",
                                nullptr};
    const char* const values[] = {connectSeconds.c_str(), "1",    "5", "2", "3", "10000", url.c_str(),
                                  application.c_str(),    nullptr};
    m_conn = Pq().connectStartParams(keys, values, 1);
    if (m_conn == nullptr || Pq().status(m_conn) == CONNECTION_BAD) {
        return Fail("connecting", error);
    }
    Pq().setNoticeProcessor(m_conn, Quiet, nullptr);
    m_polling = PGRES_POLLING_WRITING;
    m_connectDeadlineMs = NowMs() + m_limits.ConnectMs;
    return true;
}

CPgSession::Step CPgSession::StepConnect(int waitMs, PgError* error) {
    if (m_conn == nullptr) {
        Set(error, "connecting", "not started", true);
        return Step::Failed;
    }
    for (;;) {
        if (m_polling == PGRES_POLLING_OK) {
            return SetServerLimits(error) ? Step::Ready : Step::Failed;
        }
        if (m_polling == PGRES_POLLING_FAILED) {
            Fail("connecting", error);
            error->Lost = true;
            error->Untrusted = MeansUntrusted(error->Message);
            return Step::Failed;
        }
        const int64_t now = NowMs();
        if (now >= m_connectDeadlineMs) {
            Close();
            Set(error, "connecting", "no answer from the server in time", true);
            return Step::Failed;
        }
        const int socket = Pq().socket(m_conn);
        const int slice = static_cast<int>(std::min<int64_t>(waitMs, m_connectDeadlineMs - now));
        const PgWait waited =
            socket < 0 ? PgWait::Failed : WaitPgSocket(socket, m_polling == PGRES_POLLING_WRITING, slice);
        if (waited == PgWait::TimedOut) {
            return Step::Pending;
        }
        m_polling = waited == PgWait::Ready ? Pq().connectPoll(m_conn) : PGRES_POLLING_FAILED;
    }
}

bool CPgSession::Connect(const std::string& url, const std::string& application, PgError* error) {
    if (!StartConnect(url, application, error)) {
        return false;
    }
    const int interruptsBefore = m_interrupts ? m_interrupts() : 0;
    for (;;) {
        const Step step = StepConnect(100, error);
        if (step != Step::Pending) {
            return step == Step::Ready;
        }
        if (m_interrupts && m_interrupts() != interruptsBefore) {
            Close();
            return Set(error, "connecting", "given up at Ctrl-C", true);
        }
    }
}

bool CPgSession::SetServerLimits(PgError* error) {
    if (Pq().setnonblocking(m_conn, 1) != 0) {
        return Fail("connecting", error);
    }
    return Exec("setting the session's time limits",
                "SELECT set_config('lock_timeout', $1, false), set_config('statement_timeout', $2, false), "
                "set_config('idle_in_transaction_session_timeout', $3, false)",
                {std::to_string(m_limits.LockMs), std::to_string(m_limits.ServerStatementMs),
                 std::to_string(m_limits.IdleInTransactionMs)},
                error);
}

bool CPgSession::Exec(const char* operation, const char* sql, const std::vector<PgValue>& params,
                      PgError* error) {
    CPgResult ignored;
    return Exec(operation, sql, params, &ignored, error);
}

bool CPgSession::Exec(const char* operation, const char* sql, const std::vector<PgValue>& params,
                      CPgResult* result, PgError* error) {
    if (!Alive()) {
        Close();
        return Set(error, operation, "not connected", true);
    }
    std::vector<const char*> values;
    for (const PgValue& param : params) {
        values.push_back(param.IsNull ? nullptr : param.Text.c_str());
    }
    const int64_t deadline = NowMs() + m_limits.StatementMs;
    if (Pq().sendQueryParams(m_conn, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                             nullptr, 0) == 0) {
        return Fail(operation, error);
    }
    for (int flushed; (flushed = Pq().flush(m_conn)) != 0;) {
        if (flushed < 0) {
            return Fail(operation, error);
        }
        if (!WaitSocket(true, deadline, operation, error)) {
            return false;
        }
    }
    CPgResult answer;
    for (;;) {
        while (Pq().isBusy(m_conn) != 0) {
            if (!WaitSocket(false, deadline, operation, error)) {
                return false;
            }
            if (Pq().consumeInput(m_conn) == 0) {
                return Fail(operation, error);
            }
        }
        PGresult* next = Pq().getResult(m_conn);
        if (next == nullptr) {
            break;
        }
        // The first error is the one to tell.
        if (answer.m_result == nullptr || Pq().resultStatus(answer.m_result) == PGRES_COMMAND_OK ||
            Pq().resultStatus(answer.m_result) == PGRES_TUPLES_OK) {
            answer = CPgResult(next);
        } else {
            Pq().clear(next);
        }
    }
    const ExecStatusType status =
        answer.m_result != nullptr ? Pq().resultStatus(answer.m_result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        *result = std::move(answer);
        return true;
    }
    if (answer.m_result == nullptr) {
        return Fail(operation, error);
    }
    const char* state = Pq().resultErrorField(answer.m_result, PG_DIAG_SQLSTATE);
    const char* primary = Pq().resultErrorField(answer.m_result, PG_DIAG_MESSAGE_PRIMARY);
    const std::string sqlState = state != nullptr ? state : "";
    const bool lost = !Alive() || MeansAway(sqlState);
    Set(error, operation,
        OneLine(primary != nullptr ? primary : Pq().resultErrorMessage(answer.m_result), m_secret), lost,
        sqlState);
    if (lost) {
        Close();
    }
    return false;
}

CPgTransaction::~CPgTransaction() {
    if (m_open && m_session.Alive()) {
        PgError ignored;
        m_session.Exec("rolling back", "ROLLBACK", {}, &ignored);
    }
}

bool CPgTransaction::Begin(const char* operation, PgError* error) {
    m_open = m_session.Exec(operation, "BEGIN", {}, error);
    return m_open;
}

bool CPgTransaction::Commit(const char* operation, PgError* error) {
    if (!m_open) {
        return Set(error, operation, "no transaction", true);
    }
    CPgResult result;
    if (!m_session.Exec(operation, "COMMIT", {}, &result, error)) {
        m_open = m_session.Alive();
        return false;
    }
    m_open = false;
    // A transaction that an error had already ended answers COMMIT with its rollback.
    return result.Command() == "COMMIT" || Set(error, operation, "the transaction was rolled back", false);
}
