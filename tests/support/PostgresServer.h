// A PostgreSQL server of a test's own: a cluster in a scratch folder, run by an unprivileged user (the
// server refuses root) on a Unix socket only, stopped and removed at the end; test side of the ledger,
// Linux only.
#pragma once

#include <string>

class CPostgresServer {
public:
    CPostgresServer() = default;
    // Stops the server and removes its folder.
    ~CPostgresServer();
    CPostgresServer(const CPostgresServer&) = delete;
    CPostgresServer& operator=(const CPostgresServer&) = delete;

    // Makes the cluster and starts the server, on its Unix socket and, with `tcp`, on a free loopback
    // port too; false with `error` (the tools' own words) when it cannot. Without `durable` nothing is
    // flushed to disk, which a test's data never needs; a benchmark's figures do.
    bool Start(std::string* error, bool tcp = false, bool durable = false);
    // Stops it at once (its connections are cut), and starts it again on the same folder.
    bool Stop();
    bool StartAgain();

    // A database of its own on this server, made now; its URL.
    std::string NewDatabase(const std::string& name);
    // Runs `statements` in `database` through psql, with what they return in `rows`
    // (one line per row, columns split by |); false when one fails.
    bool Sql(const std::string& database, const std::string& statements, std::string* rows = nullptr) const;
    // The URL of a database on this server: through the loopback port when there is one.
    std::string Url(const std::string& database) const;
    // The loopback port; 0 without one.
    int Port() const { return m_port; }
    // The URL of a database through `port` on loopback (a proxy in front of the server).
    std::string UrlThrough(int port, const std::string& database) const;

private:
    bool Run(const std::string& tool, const std::string& arguments, std::string* output = nullptr) const;

    std::string m_root;           // the scratch folder: data/, sock/, log
    std::string m_bin;            // the server's programs
    int m_port = 0;               // the loopback port; 0: the socket only
    mutable int m_statements = 0; // files of statements run so far
    bool m_durable = false;
    bool m_running = false;
};
