// A thin layer over libpq for the ledger: connections made within a time limit, statements with bound
// parameters answered within one (a Ctrl-C cuts either short), results read by column name with checked
// conversions, transactions that roll back unless committed, and errors that name the operation, the
// server's words and its SQLSTATE; portable (libpq through the seam of PgLibrary.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

// How long a connection may take to be made and a statement to be answered. Running out counts as the
// server being away: the connection is dropped. A Ctrl-C during either leaves it PG_INTERRUPTED_MS more.
struct PgLimits {
    int ConnectMs = 5000;
    int StatementMs = 5000;
    // Kept by the server: a lock wait (a site's tool holding a table), a statement, and a transaction
    // whose client vanished without the server noticing.
    int LockMs = 2000;
    int ServerStatementMs = 4000;
    int IdleInTransactionMs = 10000;
};
constexpr int PG_INTERRUPTED_MS = 500;

struct PgError {
    std::string Operation; // "claiming a unit"
    std::string Message;   // the server's or libpq's words, on one line
    std::string SqlState;  // five characters; empty where the server gave none
    bool Lost = false;     // the connection is gone, or a limit ran out: the server counts as away
    // The server's certificate did not pass the checks that the URL's sslmode asks for (no root that
    // signed it, another host's name, no root certificate file): trying again will not help.
    bool Untrusted = false;
    // "claiming a unit: canceling statement due to lock timeout (SQLSTATE 55P03)"
    std::string Text() const;
};

// Loads libpq once; false, with `error` saying what is missing, when it cannot.
bool PgAvailable(std::string* error);

// The settings of a connection URI or keyword string as libpq reads them, each keyword with its value.
// False when it does not read; `error` then never quotes it (libpq's own message may hold the password).
bool ParsePgSettings(const std::string& url, std::vector<std::pair<std::string, std::string>>* settings,
                     std::string* error);

// A statement's parameter: text, or NULL.
struct PgValue {
    PgValue(std::string text) : Text(std::move(text)) {}
    PgValue(const char* text) : Text(text) {}
    PgValue(int64_t number) : Text(std::to_string(number)) {}
    PgValue(int number) : Text(std::to_string(number)) {}
    static PgValue Null() {
        PgValue value("");
        value.IsNull = true;
        return value;
    }
    std::string Text;
    bool IsNull = false;
};

class CPgResult {
public:
    CPgResult() = default;
    ~CPgResult();
    CPgResult(CPgResult&& other) noexcept;
    CPgResult& operator=(CPgResult&& other) noexcept;
    CPgResult(const CPgResult&) = delete;
    CPgResult& operator=(const CPgResult&) = delete;

    int Rows() const;
    // The value of `column` in `row`; empty for NULL. A column the result lacks reads as NULL.
    std::string Text(int row, const char* column) const;
    bool IsNull(int row, const char* column) const;
    // False for NULL or text that is not a whole number in range.
    bool Int(int row, const char* column, int64_t* value) const;
    // "t" is true; anything else false.
    bool Flag(int row, const char* column) const;
    // The command's tag: "COMMIT", "UPDATE 1".
    std::string Command() const;

private:
    friend class CPgSession;
    explicit CPgResult(PGresult* result) : m_result(result) {}
    int Column(const char* name) const;
    PGresult* m_result = nullptr;
};

class CPgSession {
public:
    CPgSession() = default;
    ~CPgSession();
    CPgSession(const CPgSession&) = delete;
    CPgSession& operator=(const CPgSession&) = delete;

    void SetLimits(const PgLimits& limits) { m_limits = limits; }

    // For its life, statements may take `ms` (a schema upgrade that rewrites every event).
    class LongerStatements {
    public:
        LongerStatements(CPgSession* session, int ms)
            : m_session(*session), m_saved(session->m_limits.StatementMs) {
            session->m_limits.StatementMs = ms;
        }
        ~LongerStatements() { m_session.m_limits.StatementMs = m_saved; }
        LongerStatements(const LongerStatements&) = delete;
        LongerStatements& operator=(const LongerStatements&) = delete;

    private:
        CPgSession& m_session;
        int m_saved;
    };
    // Ctrl-C seen so far; a wait that sees the count grow ends soon after.
    void SetInterrupts(std::function<int()> count) { m_interrupts = std::move(count); }

    // Connects within the limit, waiting, and sets the server-side limits.
    bool Connect(const std::string& url, const std::string& application, PgError* error);

    // The same in steps that never wait: StartConnect, then StepConnect at each look until it is Ready
    // or Failed.
    enum class Step { Pending, Ready, Failed };
    bool StartConnect(const std::string& url, const std::string& application, PgError* error);
    Step StepConnect(int waitMs, PgError* error);

    bool Alive() const;
    void Close();
    // The server's process for this connection; 0 without one.
    int BackendPid() const;

    // Runs `sql` with `params` bound, within the statement limit; `operation` names it in errors. A lost
    // connection is closed.
    bool Exec(const char* operation, const char* sql, const std::vector<PgValue>& params, CPgResult* result,
              PgError* error);
    bool Exec(const char* operation, const char* sql, const std::vector<PgValue>& params, PgError* error);

private:
    bool WaitSocket(bool write, int64_t deadlineMs, const char* operation, PgError* error);
    bool Fail(const char* operation, PgError* error);
    bool SetServerLimits(PgError* error);

    PGconn* m_conn = nullptr;
    PgLimits m_limits;
    std::function<int()> m_interrupts;
    std::string m_secret; // the password of the URL being connected, kept out of every message
    int m_polling = 0;    // PostgresPollingStatusType while connecting
    int64_t m_connectDeadlineMs = 0;
};

// A transaction on `session` that rolls back at its end unless Commit succeeded.
class CPgTransaction {
public:
    explicit CPgTransaction(CPgSession* session) : m_session(*session) {}
    ~CPgTransaction();
    CPgTransaction(const CPgTransaction&) = delete;
    CPgTransaction& operator=(const CPgTransaction&) = delete;

    bool Begin(const char* operation, PgError* error);
    // False, with `error`, when it did not commit; with error->Lost whether it did is not known.
    bool Commit(const char* operation, PgError* error);

private:
    CPgSession& m_session;
    bool m_open = false;
};
