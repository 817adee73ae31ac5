// The data-access layer's backend over unixODBC and the FreeTDS driver: connection strings whose every value
// is braced, statements run with the driver's wide calls, parameters bound by their type, and every failure
// thrown as SqlError with the driver's text, SQLSTATE and the server's error number.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/sql_connection.h"

namespace platform {

// Builds "KEY={value};KEY={value}": every value between braces with each "}" doubled, so no value (a server
// or database name included) can end its pair early or add a key of its own.
class OdbcConnectionString {
public:
    OdbcConnectionString& Add(std::u16string_view key, std::u16string_view value);
    const std::u16string& Text() const { return m_strText; }
    static std::u16string Braced(std::u16string_view value);

private:
    std::u16string m_strText;
};

class OdbcSqlBackend : public ISqlBackend {
public:
    OdbcSqlBackend();
    ~OdbcSqlBackend() override;
    OdbcSqlBackend(const OdbcSqlBackend&) = delete;
    OdbcSqlBackend& operator=(const OdbcSqlBackend&) = delete;

    // SQLDriverConnectW without prompting; a failure leaves the backend closed.
    void Open(const std::u16string& connection_string) override;
    void Close() override;
    bool IsOpen() const override;
    // Runs the text once with its parameters (each "?" in order) under the statement's query timeout; rows the
    // statement returns are read to their end and dropped.
    void Execute(const SqlStatement& statement) override;

    // Seconds that Open waits for the server (0: the driver's own default).
    void SetLoginTimeout(int seconds) { m_nLoginTimeout = seconds; }
    // The driver's version as SQLGetInfo gives it, "01.03.0017" for example; empty when closed.
    std::u16string DriverVersion() const;
    // The server's product version from the login answer; empty when closed.
    std::u16string ServerVersion() const;

private:
    struct Handles;
    std::unique_ptr<Handles> m_pHandles;
    int m_nLoginTimeout = 15;
};

}  // namespace platform
