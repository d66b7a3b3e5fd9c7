// A PostgreSQL server of a test's own: a cluster in a scratch folder, run by an unprivileged user (the
// server refuses root) on a Unix socket and, if asked, a loopback port (in clear or TLS only), stopped and
// removed at the end; test side of the ledger, Linux only.
#pragma once

#include <string>

// What a test asks of its server.
struct PostgresOptions {
    // Also listen on a free loopback port.
    bool Tcp = false;
    // Flush to disk, which a test's data never needs; a benchmark's figures do.
    bool Durable = false;
    // The loopback port takes TLS connections only (implies Tcp), with a server certificate for
    // 127.0.0.1 and localhost from a certificate authority made for this server alone.
    bool TlsOnly = false;
};

class CPostgresServer {
public:
    CPostgresServer() = default;
    // Stops the server and removes its folder.
    ~CPostgresServer();
    CPostgresServer(const CPostgresServer&) = delete;
    CPostgresServer& operator=(const CPostgresServer&) = delete;

    // Makes the cluster (and its certificates) and starts the server; false with `error` (the tools' own
    // words) when it cannot.
    bool Start(std::string* error, const PostgresOptions& options = {});
    // Stops it at once (its connections are cut), and starts it again on the same folder.
    bool Stop();
    bool StartAgain();

    // A database of its own on this server, made now; its URL.
    std::string NewDatabase(const std::string& name);
    // Runs `statements` in `database` through psql, with what they return in `rows`
    // (one line per row, columns split by |); false when one fails.
    bool Sql(const std::string& database, const std::string& statements, std::string* rows = nullptr) const;
    // The URL of a database on this server: through the loopback port when there is one, and then with
    // TLS, the server's certificate checked against RootCertificate(), when it takes TLS only.
    std::string Url(const std::string& database) const;
    // The URL of a database through `port` on loopback (a proxy in front of the server).
    std::string UrlThrough(int port, const std::string& database) const;

    // The loopback port; 0 when the server has none.
    int Port() const { return m_port; }
    static const char* User();
    // With TlsOnly: the file of the certificate authority that signed the server's certificate, and of
    // one that signed nothing this server shows (a wrong root for a client); empty otherwise.
    std::string RootCertificate() const;
    std::string StrangerRootCertificate() const;

private:
    bool Run(const std::string& tool, const std::string& arguments, std::string* output = nullptr) const;

    std::string m_root; // the scratch folder: data/, sock/, tls/, log
    std::string m_bin;  // the server's programs
    int m_port = 0;     // the loopback port; 0: the socket only
    PostgresOptions m_options;
    bool m_running = false;
};
