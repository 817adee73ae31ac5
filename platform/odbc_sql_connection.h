// The data-access layer's backend over unixODBC and the FreeTDS driver: connection strings whose every value
// is braced, statements run with the driver's wide calls, parameters bound by their type, and every failure
// thrown as SqlError with the driver's text, SQLSTATE and the server's error number.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/sql_connection.h"

namespace platform {

// Builds "KEY={value};KEY={value}": every value between braces, so no value (a server or database name
// included) can end its pair early or add a key of its own. The FreeTDS driver reads a braced value up to the
// first "}" that a ";" or the end follows and takes a doubled "}}" as two braces, so a "}" is written once,
// as it stands. A value with a ";" after a "}" cannot be written so that the driver reads it back whole:
// Braced and Add throw SqlError for it (a connection failure, naming the key, never the value, which may be
// the password) instead of making a string in which the value adds a key of its own.
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
    // Runs the text once with its parameters (each "?" in order) under the statement's query timeout (none for
    // kNoTimeLimit); rows the statement returns are read to their end and dropped.
    void Execute(const SqlStatement& statement) override;
    // SQLCancel on the statement running in Execute, from any thread; it then fails with SQLSTATE HY008, as
    // does every later Execute on this backend, before anything is sent.
    void Cancel() override;

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
