// The test's own PostgreSQL server: initdb, pg_ctl and psql run as user nobody when the test runs as
// root; test side of the ledger.
#include "PostgresServer.h"

#include "platform/FdOwner.h"

#include <arpa/inet.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* USER = "zrv";

// In the server's tls/ folder: two certificate authorities of the same name, so that a client that checks
// the name alone takes a stranger's for the server's, and the server's certificate for 127.0.0.1 and
// localhost signed by the first; made with Debian's openssl.
const char CERTIFICATES[] = R"(set -e
key='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes'
for ca in root stranger; do
  openssl req -x509 -new $key -days 30 -keyout $ca.key -out $ca.crt -subj '/CN=zrv test root' \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign
done
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' >server.ext
openssl req -new $key -keyout server.key -out server.csr -subj /CN=127.0.0.1
openssl x509 -req -in server.csr -CA root.crt -CAkey root.key -set_serial 1 -days 30 -out server.crt \
  -extfile server.ext
chmod 0600 server.key)";

// Runs `script` through the shell: true when it exits with 0, with what it printed (both streams) in
// `output`.
bool Shell(const std::string& script, std::string* output = nullptr) {
    std::string text;
    FILE* pipe = popen(("exec 2>&1\n" + script).c_str(), "r");
    char block[256];
    while (pipe != nullptr && std::fgets(block, sizeof block, pipe) != nullptr) {
        text += block;
    }
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    if (output != nullptr) {
        *output = text;
    }
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
    m_port = options.Tcp || options.TlsOnly ? FreeLoopbackPort() : 0;
    char pattern[] = "/tmp/zrv-pg.XXXXXX";
    if (!Shell("pg_config --bindir", &m_bin) || mkdtemp(pattern) == nullptr) {
        *error = "no PostgreSQL server programs (pg_config) or no scratch folder";
        return false;
    }
    m_bin.erase(m_bin.find_last_not_of('\n') + 1);
    m_root = pattern;
    const std::string data = m_root + "/data";
    const std::string tls = m_root + "/tls";
    std::filesystem::create_directories(m_root + "/sock");
    std::string output;
    // TLS on, and only TLS on the loopback port: the Unix socket stays for psql.
    const std::string hba = "local all all trust\nhostssl all all 127.0.0.1/32 trust\n";
    const std::string conf =
        "ssl = on\nssl_cert_file = '" + tls + "/server.crt'\nssl_key_file = '" + tls + "/server.key'\n";
    if (options.TlsOnly && !Shell("mkdir " + tls + " && cd " + tls + "\n" + CERTIFICATES, &output)) {
        *error = "openssl: " + output;
    } else if (geteuid() == 0 && !Shell("chown -R nobody " + m_root, &output)) {
        *error = "cannot give the scratch folder to user nobody: " + output;
    } else if (!Run("initdb", "-D " + data + " -U " + USER + " --auth=trust -E UTF8 --no-locale --no-sync",
                    &output)) {
        *error = "initdb: " + output;
    } else if (options.TlsOnly &&
               !(WriteText(data + "/pg_hba.conf", hba) && WriteText(data + "/postgresql.conf", conf, true))) {
        *error = "cannot write the server's TLS settings into " + data;
    } else if (!StartAgain()) {
        Shell("cat " + m_root + "/log", &output);
        *error = "pg_ctl start: " + output;
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

// On psql's stdin, so that statements may hold any character.
bool CPostgresServer::Sql(const std::string& database, const std::string& statements,
                          std::string* rows) const {
    const std::string port = m_port != 0 ? " -p " + std::to_string(m_port) : "";
    return Run("psql",
               "-h " + m_root + "/sock" + port + " -U " + USER + " -d " + database +
                   " -v ON_ERROR_STOP=1 -qtA <<'ZRV_STATEMENTS'\n" + statements + "\nZRV_STATEMENTS",
               rows);
}
