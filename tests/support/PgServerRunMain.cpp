// pg_server_run: a test's own PostgreSQL server around one command, for test programs that cannot start
// one themselves (Windows programs under Wine); test side of the ledger, Linux only.
// Usage: pg_server_run [--tls] -- COMMAND [ARG...]
// The command finds the server in ZRV_PG_CONNINFO (libpq's key=value form, loopback port), and with
// --tls (the port takes TLS only) the roots in ZRV_PG_ROOT_CERT (the one that signed the server's
// certificate) and ZRV_PG_STRANGER_ROOT_CERT (one that did not). Exits with the command's exit code; 125
// when the server did not start, 2 on a usage error.
#include "PostgresServer.h"
#include "SimProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t g_child = 0;

// An end asked of this program goes to the command, so that the server is stopped after it.
void PassOn(int signal) {
    if (g_child > 0) {
        kill(g_child, signal);
    }
}

// Runs `command` to its end; its exit code, or 128 + the signal that ended it; 125 when it cannot.
int RunToEnd(std::vector<std::string> command) {
    std::vector<char*> argv = ArgvOf(command);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "pg_server_run: cannot run %s\n", argv[0]);
        _exit(127);
    }
    g_child = pid;
    int status = 0;
    pid_t ended = -1;
    while (pid > 0 && (ended = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    g_child = 0;
    return ended != pid || pid < 0 ? 125 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    const auto dashes = std::find(words.begin(), words.end(), "--");
    const bool tls = dashes - words.begin() == 1 && words[0] == "--tls";
    if (dashes == words.end() || dashes + 1 == words.end() || (dashes != words.begin() && !tls)) {
        std::fprintf(stderr, "usage: pg_server_run [--tls] -- COMMAND [ARG...]\n");
        return 2;
    }
    CPostgresServer server;
    std::string error;
    if (!server.Start(&error, PostgresOptions{true, false, tls})) {
        std::fprintf(stderr, "pg_server_run: the server did not start: %s\n", error.c_str());
        return 125;
    }
    const std::string conninfo = "host=127.0.0.1 port=" + std::to_string(server.Port()) +
                                 " user=" + CPostgresServer::User() + " dbname=postgres";
    setenv("ZRV_PG_CONNINFO", conninfo.c_str(), 1);
    setenv("ZRV_PG_ROOT_CERT", server.RootCertificate().c_str(), 1);
    setenv("ZRV_PG_STRANGER_ROOT_CERT", server.StrangerRootCertificate().c_str(), 1);
    struct sigaction passOn = {};
    passOn.sa_handler = PassOn;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &passOn, nullptr);
    }
    return RunToEnd(std::vector<std::string>(dashes + 1, words.end()));
}
