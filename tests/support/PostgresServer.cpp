// The test's own PostgreSQL server: initdb, pg_ctl and psql run as user nobody when the test runs as
// root; test side of the ledger.
#include "PostgresServer.h"

#include "platform/FdOwner.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* USER = "zrv";

// The output of `command` without the line ends and blanks at its end, or empty.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char block[256];
        while (std::fgets(block, sizeof block, pipe) != nullptr) {
            text += block;
        }
        pclose(pipe);
    }
    return text.substr(0, text.find_last_not_of("\n ") + 1);
}

// Runs `command` through the shell: true when it exits with 0, with what it printed (both streams) in
// `output`.
bool Shell(const std::string& command, std::string* output = nullptr) {
    const std::string text = Output("(" + command + ") 2>&1; echo \"exit=$?\"");
    if (output != nullptr) {
        *output = text.substr(0, text.rfind("exit="));
    }
    return text.size() >= 6 && text.compare(text.size() - 6, 6, "exit=0") == 0;
}

// A loopback port that nothing listens on now; 0 when none could be found.
int FreeLoopbackPort() {
    const CFd socket(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const bool bound = bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0;
    return bound ? ntohs(address.sin_port) : 0;
}

// Writes `text` into `path` (appends with `append`); false when it cannot.
bool WriteText(const std::string& path, const std::string& text, bool append = false) {
    std::ofstream file(path, append ? std::ios::app : std::ios::trunc);
    file << text;
    file.close();
    return !file.fail();
}

// A fresh EC key and a self-signed certificate authority of it in DIR/NAME.key and DIR/NAME.crt. Every
// authority has the same name, so a client that checks the name alone takes a stranger's for the server's.
std::string MakeAuthority(const std::string& dir, const std::string& name) {
    return "openssl req -x509 -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 "
           "-keyout " +
           dir + "/" + name + ".key -out " + dir + "/" + name +
           ".crt -subj '/CN=zrv test root' -addext basicConstraints=critical,CA:TRUE -addext "
           "keyUsage=critical,keyCertSign";
}

} // namespace

const char* CPostgresServer::User() {
    return USER;
}

std::string CPostgresServer::RootCertificate() const {
    return m_options.TlsOnly ? m_root + "/tls/root.crt" : "";
}

std::string CPostgresServer::StrangerRootCertificate() const {
    return m_options.TlsOnly ? m_root + "/tls/stranger.crt" : "";
}

// The server's certificate (for 127.0.0.1 and localhost) signed by a root of this server alone, and a
// stranger's root; made with Debian's openssl before the folder goes to the server's user.
bool CPostgresServer::MakeCertificates(std::string* error) const {
    const std::string dir = m_root + "/tls";
    std::filesystem::create_directories(dir);
    const std::string commands =
        MakeAuthority(dir, "root") + " && " + MakeAuthority(dir, "stranger") +
        " && openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + dir +
        "/server.key -out " + dir + "/server.csr -subj /CN=127.0.0.1 && openssl x509 -req -in " + dir +
        "/server.csr -CA " + dir + "/root.crt -CAkey " + dir + "/root.key -set_serial 1 -days 30 -out " +
        dir + "/server.crt -extfile " + dir + "/server.ext && chmod 0600 " + dir + "/server.key";
    if (!WriteText(dir + "/server.ext", "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                                        "extendedKeyUsage=serverAuth\n")) {
        *error = "cannot write " + dir + "/server.ext";
        return false;
    }
    std::string output;
    if (!Shell(commands, &output)) {
        *error = "openssl: " + output;
        return false;
    }
    return true;
}

// TLS on, and only TLS on the loopback port: the Unix socket stays for psql.
bool CPostgresServer::RequireTls(std::string* error) const {
    const std::string data = m_root + "/data";
    const std::string tls = m_root + "/tls";
    if (!WriteText(data + "/pg_hba.conf", "local all all trust\nhostssl all all 127.0.0.1/32 trust\n") ||
        !WriteText(data + "/postgresql.conf",
                   "ssl = on\nssl_cert_file = '" + tls + "/server.crt'\nssl_key_file = '" + tls +
                       "/server.key'\n",
                   true)) {
        *error = "cannot write the server's TLS settings into " + data;
        return false;
    }
    return true;
}

CPostgresServer::~CPostgresServer() {
    Stop();
    if (!m_root.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
}

bool CPostgresServer::Run(const std::string& tool, const std::string& arguments, std::string* output) const {
    const std::string as = geteuid() == 0 ? "runuser -u nobody -- " : "";
    return Shell(as + m_bin + "/" + tool + " " + arguments, output);
}

bool CPostgresServer::Start(std::string* error, const PostgresOptions& options) {
    m_options = options;
    m_bin = Output("pg_config --bindir");
    m_port = options.Tcp || options.TlsOnly ? FreeLoopbackPort() : 0;
    char pattern[] = "/tmp/zrv-pg.XXXXXX";
    if (m_bin.empty() || mkdtemp(pattern) == nullptr) {
        *error = "no PostgreSQL server programs (pg_config) or no scratch folder";
        return false;
    }
    m_root = pattern;
    std::filesystem::create_directories(m_root + "/sock");
    std::string output;
    if (options.TlsOnly && !MakeCertificates(error)) {
        return false;
    }
    if (geteuid() == 0 && std::system(("chown -R nobody " + m_root).c_str()) != 0) {
        *error = "cannot give the scratch folder to user nobody";
    } else if (!Run("initdb",
                    "-D " + m_root + "/data -U " + USER + " --auth=trust -E UTF8 --no-locale --no-sync",
                    &output)) {
        *error = "initdb: " + output;
    } else if (options.TlsOnly && !RequireTls(error)) {
        return false;
    } else if (!StartAgain()) {
        *error = "pg_ctl start: " + Output("cat " + m_root + "/log");
    }
    return m_running;
}

bool CPostgresServer::StartAgain() {
    const std::string listen = m_port != 0 ? "127.0.0.1 -p " + std::to_string(m_port) : "''";
    m_running = Run("pg_ctl", "-D " + m_root + "/data -l " + m_root + "/log -w -o \"-k " + m_root +
                                  "/sock -c fsync=" + (m_options.Durable ? "on" : "off") +
                                  " -c listen_addresses=" + listen + "\" start");
    return m_running;
}

bool CPostgresServer::Stop() {
    m_running = m_running && !Run("pg_ctl", "-D " + m_root + "/data -m fast -w stop");
    return !m_running;
}

std::string CPostgresServer::Url(const std::string& database) const {
    const std::string tls = m_options.TlsOnly ? "?sslmode=verify-full&sslrootcert=" + RootCertificate() : "";
    return std::string("postgresql://") + USER +
           (m_port != 0 ? "@127.0.0.1:" + std::to_string(m_port) + "/" + database + tls
                        : "@/" + database + "?host=" + m_root + "/sock");
}

std::string CPostgresServer::UrlThrough(int port, const std::string& database) const {
    return std::string("postgresql://") + USER + "@127.0.0.1:" + std::to_string(port) + "/" + database;
}

std::string CPostgresServer::NewDatabase(const std::string& name) {
    Sql("postgres", "CREATE DATABASE " + name);
    return Url(name);
}

// Through a file that the server's user may read, so that statements may hold any character.
bool CPostgresServer::Sql(const std::string& database, const std::string& statements,
                          std::string* rows) const {
    const std::string port = m_port != 0 ? " -p " + std::to_string(m_port) : "";
    const std::string file = m_root + "/statements-" + std::to_string(++m_statements) + ".sql";
    FILE* out = std::fopen(file.c_str(), "w");
    const bool written = out != nullptr && std::fputs(statements.c_str(), out) >= 0;
    if (out == nullptr || std::fclose(out) != 0 || !written) {
        return false;
    }
    std::filesystem::permissions(
        file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    const bool ran = Run("psql",
                         "-h " + m_root + "/sock" + port + " -U " + USER + " -d " + database +
                             " -v ON_ERROR_STOP=1 -qtA -f " + file,
                         rows);
    std::remove(file.c_str());
    return ran;
}
