// libpq over TLS against a real server that takes TLS only (pg_server_run --tls), the same cases on Linux
// (Debian's libpq.so.5) and under Wine (the libpq.dll built for the kit): encrypted connections, the
// server's certificate checked against the right root and refused with a wrong one or another host name,
// and where each system's libpq looks for the user's own root.crt; portable.
#include "PqLibrary.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace {

// What the user's own root.crt (in libpq's folder of the user) holds while a case runs.
enum class UserRoot { None, Servers, Strangers };

struct TlsCase {
    const char* Name;     // the fault the case catches
    const char* Settings; // after the server's own; {root}, {stranger}: the roots' files
    UserRoot InUserFolder;
    const char* Refusal; // empty: connects, encrypted; else a part of the message, {folder}: the user's
};

const TlsCase TLS_CASES[] = {
    {"RequireLeftInClearText", "sslmode=require", UserRoot::None, ""},
    {"VerifyFullRefusesTheServersRoot", "sslmode=verify-full sslrootcert={root}", UserRoot::None, ""},
    {"VerifyFullTakesAStrangersRootOfTheSameName", "sslmode=verify-full sslrootcert={stranger}",
     UserRoot::None, "certificate verify failed"},
    {"VerifyFullTakesAnotherHostName",
     "host=zrv-elsewhere.invalid hostaddr=127.0.0.1 sslmode=verify-full sslrootcert={root}", UserRoot::None,
     "does not match host name \"zrv-elsewhere.invalid\""},
    {"ServerTakesClearText", "sslmode=disable", UserRoot::None, "no encryption"},
    {"VerifyFullMissesTheUsersRoot", "sslmode=verify-full", UserRoot::Servers, ""},
    {"RequireIgnoresAWrongUserRoot", "sslmode=require", UserRoot::Strangers, "certificate verify failed"},
    {"VerifyFullWithoutRootSaysNotWhereItLooked", "sslmode=verify-full", UserRoot::None,
     "root certificate file \"{folder}/root.crt\" does not exist"},
};

void PrintTo(const TlsCase& tls, std::ostream* out) {
    *out << tls.Name;
}

std::string Replaced(std::string text, const std::string& mark, const std::string& value) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size())) {
        text.replace(at, mark.size(), value);
    }
    return text;
}

class PqTls : public testing::TestWithParam<TlsCase> {
protected:
    static void SetUpTestSuite() {
        s_loaded = LoadPq(&s_pq, &s_loadError);
        s_userFolder = UserPqFolder();
    }

    void SetUp() override {
        ASSERT_TRUE(s_loaded) << s_loadError;
        ASSERT_FALSE(m_conninfo.empty()) << "no server: run the test through pg_server_run --tls";
        ASSERT_FALSE(s_userFolder.empty()) << "no folder of the user for libpq";
        std::remove(UserRootFile().c_str());
    }
    void TearDown() override { std::remove(UserRootFile().c_str()); }

    std::string UserRootFile() const { return s_userFolder + "/root.crt"; }
    // The case's text with the roots' files and the user's folder put in.
    std::string Filled(const char* text) const {
        return Replaced(Replaced(Replaced(text, "{root}", m_root), "{stranger}", m_stranger), "{folder}",
                        s_userFolder);
    }
    // The query's one value on `connection`; empty when it fails.
    static std::string Value(PGconn* connection, const char* query) {
        const std::unique_ptr<PGresult, void (*)(PGresult*)> result(s_pq.Exec(connection, query), s_pq.Clear);
        return s_pq.ResultStatus(result.get()) == PGRES_TUPLES_OK ? s_pq.GetValue(result.get(), 0, 0) : "";
    }

    static PqFunctions s_pq;
    static bool s_loaded;
    static std::string s_loadError;
    static std::string s_userFolder;
    const std::string m_conninfo = EnvironmentText("ZRV_PG_CONNINFO");
    const std::string m_root = ProgramPath(EnvironmentText("ZRV_PG_ROOT_CERT"));
    const std::string m_stranger = ProgramPath(EnvironmentText("ZRV_PG_STRANGER_ROOT_CERT"));
};

PqFunctions PqTls::s_pq;
bool PqTls::s_loaded = false;
std::string PqTls::s_loadError;
std::string PqTls::s_userFolder;

TEST_P(PqTls, ConnectsOrIsRefusedAsTheModeSays) {
    const TlsCase& tls = GetParam();
    if (tls.InUserFolder != UserRoot::None) {
        const std::string root = ReadWholeFile(tls.InUserFolder == UserRoot::Servers ? m_root : m_stranger);
        ASSERT_FALSE(root.empty());
        std::ofstream(UserRootFile(), std::ios::binary) << root;
    }
    const std::unique_ptr<PGconn, void (*)(PGconn*)> connection(
        s_pq.Connect((m_conninfo + " connect_timeout=60 " + Filled(tls.Settings)).c_str()), s_pq.Finish);
    ASSERT_NE(connection, nullptr);
    const std::string message = s_pq.ErrorMessage(connection.get());
    if (*tls.Refusal == '\0') {
        ASSERT_EQ(s_pq.Status(connection.get()), CONNECTION_OK) << message;
        EXPECT_EQ(s_pq.SslInUse(connection.get()), 1);
        // The server's own view of the connection.
        EXPECT_EQ(Value(connection.get(), "SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"), "t");
    } else {
        EXPECT_EQ(s_pq.Status(connection.get()), CONNECTION_BAD);
        EXPECT_NE(message.find(Filled(tls.Refusal)), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PqTls, testing::ValuesIn(TLS_CASES),
                         [](const testing::TestParamInfo<TlsCase>& test) { return test.param.Name; });

} // namespace
