// libpq over TLS through the ledger's own session against a real server that takes TLS only
// (pg_server_run --tls), the same cases on Linux (Debian's libpq.so.5) and under Wine (the libpq.dll built
// for the kit): encrypted connections, the server's certificate checked against the right root and
// refused, as a refusal that waiting will not mend, with a wrong one or another host name, and where each
// system's libpq looks for the user's own root.crt; portable.
#include "PqFiles.h"
#include "TestFiles.h"

#include "provisioning/ledger/PgSession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

// What the user's own root.crt (in libpq's folder of the user) holds while a case runs.
enum class UserRoot { None, Servers, Strangers };

struct TlsCase {
    const char* Name;     // the fault the case catches
    const char* Settings; // after the server's own; {root}, {stranger}: the roots' files
    UserRoot InUserFolder;
    const char* Refusal; // empty: connects, encrypted; else a part of the message, {folder}: the user's
    bool Untrusted;      // the refusal is the certificate's, which a station does not wait out
};

const TlsCase TLS_CASES[] = {
    {"RequireLeftInClearText", "sslmode=require", UserRoot::None, "", false},
    {"VerifyFullRefusesTheServersRoot", "sslmode=verify-full sslrootcert={root}", UserRoot::None, "", false},
    {"VerifyFullTakesAStrangersRootOfTheSameName", "sslmode=verify-full sslrootcert={stranger}",
     UserRoot::None, "certificate verify failed", true},
    {"VerifyFullTakesAnotherHostName",
     "host=zrv-elsewhere.invalid hostaddr=127.0.0.1 sslmode=verify-full sslrootcert={root}", UserRoot::None,
     "does not match host name \"zrv-elsewhere.invalid\"", true},
    {"ServerTakesClearText", "sslmode=disable", UserRoot::None, "no encryption", false},
    {"VerifyFullMissesTheUsersRoot", "sslmode=verify-full", UserRoot::Servers, "", false},
    {"RequireIgnoresAWrongUserRoot", "sslmode=require", UserRoot::Strangers, "certificate verify failed",
     true},
    {"VerifyFullWithoutRootSaysNotWhereItLooked", "sslmode=verify-full", UserRoot::None,
     "root certificate file \"{folder}/root.crt\" does not exist", true},
};

std::string Replaced(std::string text, const std::string& mark, const std::string& value) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size())) {
        text.replace(at, mark.size(), value);
    }
    return text;
}

class PqTls : public testing::TestWithParam<TlsCase> {
protected:
    static void SetUpTestSuite() { s_userFolder = UserPqFolder(); }

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(PgAvailable(&error)) << error;
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

    static inline std::string s_userFolder;
    const std::string m_conninfo = EnvironmentText("ZRV_PG_CONNINFO");
    const std::string m_root = ProgramPath(EnvironmentText("ZRV_PG_ROOT_CERT"));
    const std::string m_stranger = ProgramPath(EnvironmentText("ZRV_PG_STRANGER_ROOT_CERT"));
};

TEST_P(PqTls, ConnectsOrIsRefusedAsTheModeSays) {
    const TlsCase& tls = GetParam();
    if (tls.InUserFolder != UserRoot::None) {
        const std::string root = ReadWholeFile(tls.InUserFolder == UserRoot::Servers ? m_root : m_stranger);
        ASSERT_FALSE(root.empty());
        std::ofstream(UserRootFile(), std::ios::binary) << root;
    }
    CPgSession session;
    session.SetLimits(PgLimits{60000, 60000});
    PgError failure;
    if (*tls.Refusal == '\0') {
        ASSERT_TRUE(session.Connect(m_conninfo + " " + Filled(tls.Settings), "pq tls", &failure))
            << failure.Text();
        // The server's own view of the connection.
        CPgResult ssl;
        ASSERT_TRUE(session.Exec("test", "SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()", {}, &ssl,
                                 &failure))
            << failure.Text();
        EXPECT_EQ("t", ssl.Text(0, "ssl"));
    } else {
        ASSERT_FALSE(session.Connect(m_conninfo + " " + Filled(tls.Settings), "pq tls", &failure));
        EXPECT_NE(failure.Message.find(Filled(tls.Refusal)), std::string::npos) << failure.Message;
        EXPECT_EQ(tls.Untrusted, failure.Untrusted) << failure.Message;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PqTls, testing::ValuesIn(TLS_CASES),
                         [](const testing::TestParamInfo<TlsCase>& test) { return test.param.Name; });

} // namespace
