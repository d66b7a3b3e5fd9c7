// The test's own PostgreSQL server: initdb, pg_ctl and psql run as user nobody when the test runs as
// root; test side of the ledger.
#include "PostgresServer.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr const char* USER = "zrv";

// The output of `command`, or empty.
std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    char block[256];
    while (std::fgets(block, sizeof block, pipe) != nullptr) {
        text += block;
    }
    pclose(pipe);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

} // namespace

CPostgresServer::~CPostgresServer() {
    Stop();
    if (!m_root.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
}

bool CPostgresServer::Run(const std::string& tool, const std::string& arguments, std::string* output) const {
    const std::string as = geteuid() == 0 ? "runuser -u nobody -- " : "";
    const std::string command = as + m_bin + "/" + tool + " " + arguments + " 2>&1";
    const std::string text = Output(command + "; echo \"exit=$?\"");
    if (output != nullptr) {
        *output = text;
    }
    return text.size() >= 6 && text.compare(text.size() - 6, 6, "exit=0") == 0;
}

bool CPostgresServer::Start(std::string* error) {
    m_bin = Output("pg_config --bindir");
    char pattern[] = "/tmp/zrv-pg.XXXXXX";
    if (m_bin.empty() || mkdtemp(pattern) == nullptr) {
        *error = "no PostgreSQL server programs (pg_config) or no scratch folder";
        return false;
    }
    m_root = pattern;
    std::filesystem::create_directories(m_root + "/sock");
    if (geteuid() == 0 && std::system(("chown -R nobody " + m_root).c_str()) != 0) {
        *error = "cannot give the scratch folder to user nobody";
        return false;
    }
    std::string output;
    if (!Run("initdb", "-D " + m_root + "/data -U " + USER + " --auth=trust -E UTF8 --no-locale", &output)) {
        *error = "initdb: " + output;
        return false;
    }
    if (!StartAgain()) {
        *error = "pg_ctl start: " + Output("cat " + m_root + "/log");
        return false;
    }
    return true;
}

bool CPostgresServer::StartAgain() {
    m_running = Run("pg_ctl", "-D " + m_root + "/data -l " + m_root + "/log -w -o \"-k " + m_root +
                                  "/sock -c listen_addresses=''\" start");
    return m_running;
}

bool CPostgresServer::Stop() {
    if (!m_running) {
        return true;
    }
    m_running = !Run("pg_ctl", "-D " + m_root + "/data -m fast -w stop");
    return !m_running;
}

std::string CPostgresServer::Url(const std::string& database) const {
    return std::string("postgresql://") + USER + "@/" + database + "?host=" + m_root + "/sock";
}

std::string CPostgresServer::NewDatabase(const std::string& name) {
    Run("psql", "-h " + m_root + "/sock -U " + USER + " -d postgres -qc 'CREATE DATABASE " + name + "'");
    return Url(name);
}
