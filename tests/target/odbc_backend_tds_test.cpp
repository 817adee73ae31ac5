// The ODBC backend through the real unixODBC and FreeTDS driver against the TDS double.
#include <gtest/gtest.h>

#include <iostream>

#include "platform/odbc_sql_connection.h"
#include "platform/text.h"
#include "tests/support/tds_server_double.h"

using platform::OdbcSqlBackend;
using platform::SqlError;
using platform::SqlStatement;
using testsupport::TdsRequest;
using testsupport::TdsServerDouble;

namespace {

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

class OdbcBackendTds : public ::testing::Test {
protected:
    void SetUp() override {
        if (testsupport::FreeTdsDriverPath().empty()) GTEST_SKIP() << "FreeTDS ODBC driver not found at configure time";
    }
    TdsServerDouble server_;
};

}  // namespace

TEST_F(OdbcBackendTds, ConnectsAndReportsTheDriverVersion) {
    OdbcSqlBackend backend;
    backend.Open(server_.ConnectionString(u"master"));
    ASSERT_TRUE(backend.IsOpen());
    const std::string version = U8(backend.DriverVersion());
    std::cout << "FreeTDS ODBC driver " << version << ", server " << U8(backend.ServerVersion()) << "\n";
    RecordProperty("driver_version", version);
    EXPECT_FALSE(version.empty());
    const auto logins = server_.Logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(U8(logins[0].user), "tester");
    EXPECT_EQ(U8(logins[0].database), "master");
    EXPECT_TRUE(logins[0].passwordGiven);
    SqlStatement s;
    s.m_strText = u"SET NOCOUNT ON";
    backend.Execute(s);
    backend.Close();
    EXPECT_FALSE(backend.IsOpen());
}
