// The TDS server double: packets and tokens of the published TDS 7.4 protocol, as far as the FreeTDS driver
// uses them to log in, run batches and sp_executesql calls, and cancel.
#include "tests/support/tds_server_double.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "platform/text.h"

namespace testsupport {

std::u16string FreeTdsDriverPath() {
#ifdef BM_FREETDS_DRIVER
    return platform::FromUtf8(BM_FREETDS_DRIVER);
#else
    return {};
#endif
}

namespace {

// Packet types.
constexpr std::uint8_t kSqlBatch = 0x01;
constexpr std::uint8_t kRpc = 0x03;
constexpr std::uint8_t kReply = 0x04;
constexpr std::uint8_t kAttention = 0x06;
constexpr std::uint8_t kLogin7 = 0x10;
constexpr std::uint8_t kPrelogin = 0x12;

// Tokens.
constexpr std::uint8_t kColMetadata = 0x81;
constexpr std::uint8_t kReturnStatus = 0x79;
constexpr std::uint8_t kError = 0xAA;
constexpr std::uint8_t kInfo = 0xAB;
constexpr std::uint8_t kLoginAck = 0xAD;
constexpr std::uint8_t kFeatureExtAck = 0xAE;
constexpr std::uint8_t kRow = 0xD1;
constexpr std::uint8_t kEnvChange = 0xE3;
constexpr std::uint8_t kDone = 0xFD;
constexpr std::uint8_t kDoneProc = 0xFE;
constexpr std::uint8_t kDoneInProc = 0xFF;

constexpr std::uint16_t kDoneMore = 0x01;
constexpr std::uint16_t kDoneError = 0x02;
constexpr std::uint16_t kDoneCount = 0x10;
constexpr std::uint16_t kDoneAttention = 0x20;

constexpr std::size_t kPacketSize = 4096;
constexpr std::size_t kMaxMessage = 64u << 20;  // a bound on one request's size
// Latin1_General_CI_AS as five collation bytes.
constexpr std::uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::u16string Lower(std::u16string_view text) { return platform::ToLower(text); }

bool Contains(std::u16string_view text, std::u16string_view pattern) {
    return pattern.empty() || Lower(text).find(Lower(pattern)) != std::u16string::npos;
}

// Little-endian reads over one message with bounds checks.
class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& data, std::size_t pos = 0) : m_data(data), m_pos(pos) {
        if (pos > data.size()) throw Malformed("start beyond the message");  // Left() would wrap round
    }
    std::size_t Pos() const { return m_pos; }
    std::size_t Left() const { return m_data.size() - m_pos; }
    void Seek(std::size_t pos) {
        if (pos > m_data.size()) throw Malformed("seek beyond the message");
        m_pos = pos;
    }
    void Need(std::size_t n) const {
        if (n > Left()) throw Malformed("read beyond the message");
    }
    std::uint8_t U8() {
        Need(1);
        return m_data[m_pos++];
    }
    std::uint16_t U16() {
        Need(2);
        const std::uint16_t v = static_cast<std::uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    std::uint32_t U32() {
        const std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::uint64_t U64() {
        const std::uint64_t lo = U32();
        return lo | (static_cast<std::uint64_t>(U32()) << 32);
    }
    std::vector<std::uint8_t> Bytes(std::size_t n) {
        Need(n);
        std::vector<std::uint8_t> out(m_data.begin() + static_cast<std::ptrdiff_t>(m_pos),
                                      m_data.begin() + static_cast<std::ptrdiff_t>(m_pos + n));
        m_pos += n;
        return out;
    }
    std::u16string Utf16(std::size_t chars) {
        Need(chars * 2);
        std::u16string out;
        for (std::size_t i = 0; i < chars; ++i) out += static_cast<char16_t>(U16());
        return out;
    }
    // A string at (offset, length in characters) from the start of the message.
    std::u16string At(std::size_t offset, std::size_t chars) const {
        Reader r(m_data, 0);
        r.Seek(offset);
        return r.Utf16(chars);
    }

private:
    const std::vector<std::uint8_t>& m_data;
    std::size_t m_pos;
};

// Token stream of one reply.
class Writer {
public:
    std::vector<std::uint8_t> data;
    void U8(std::uint8_t v) { data.push_back(v); }
    void U16(std::uint16_t v) {
        data.push_back(static_cast<std::uint8_t>(v));
        data.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Utf16(std::u16string_view text) {
        for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    }
    void BVarChar(std::u16string_view text) {
        U8(static_cast<std::uint8_t>(text.size()));
        Utf16(text);
    }
    void UsVarChar(std::u16string_view text) {
        U16(static_cast<std::uint16_t>(text.size()));
        Utf16(text);
    }
    // Writes a 16-bit length of what body() adds.
    template <typename F>
    void Sized16(F body) {
        const std::size_t at = data.size();
        U16(0);
        body();
        const std::size_t n = data.size() - at - 2;
        data[at] = static_cast<std::uint8_t>(n);
        data[at + 1] = static_cast<std::uint8_t>(n >> 8);
    }

    void Done(std::uint8_t token, std::uint16_t status, std::uint64_t rows = 0) {
        U8(token);
        U16(status);
        U16(0xC1);  // the current command: of no use to the driver here
        U64(rows);
    }
    void Message(std::uint8_t token, std::int32_t number, std::uint8_t state, std::uint8_t severity,
                 std::u16string_view text) {
        U8(token);
        Sized16([&] {
            U32(static_cast<std::uint32_t>(number));
            U8(state);
            U8(severity);
            UsVarChar(text);
            BVarChar(u"TDSDOUBLE");
            BVarChar(u"");
            U32(1);
        });
    }
    void EnvChange(std::uint8_t type, std::u16string_view now, std::u16string_view before) {
        U8(kEnvChange);
        Sized16([&] {
            U8(type);
            BVarChar(now);
            BVarChar(before);
        });
    }
    void CollationChange() {
        U8(kEnvChange);
        Sized16([&] {
            U8(7);
            U8(5);
            for (auto b : kCollation) U8(b);
            U8(0);
        });
    }
    // A result of nvarchar(4000) columns.
    void Result(const std::vector<std::u16string>& columns, const std::vector<std::vector<std::u16string>>& rows) {
        U8(kColMetadata);
        U16(static_cast<std::uint16_t>(columns.size()));
        for (const auto& name : columns) {
            U32(0);       // user type
            U16(0x0001);  // nullable
            U8(kTdsNVarChar);
            U16(8000);
            for (auto b : kCollation) U8(b);
            BVarChar(name);
        }
        for (const auto& row : rows) {
            U8(kRow);
            for (const auto& value : row) {
                U16(static_cast<std::uint16_t>(value.size() * 2));
                Utf16(value);
            }
        }
    }
};

// ---- Type descriptions and values of RPC parameters ----

bool HasCollation(std::uint8_t type) {
    return type == kTdsBigVarChar || type == kTdsBigChar || type == kTdsNVarChar || type == kTdsNChar ||
           type == kTdsText || type == kTdsNText;
}

std::optional<std::size_t> FixedWidth(std::uint8_t type) {
    switch (type) {
        case 0x1F: return 0;                          // null
        case 0x30: case 0x32: return 1;               // tinyint, bit
        case 0x34: return 2;                          // smallint
        case 0x38: case 0x3A: case 0x3B: case 0x7A: return 4;  // int, smalldatetime, real, smallmoney
        case 0x3C: case 0x3D: case 0x3E: case 0x7F: return 8;  // money, datetime, float, bigint
        default: return std::nullopt;
    }
}

TdsParameter ReadParameter(Reader& r) {
    TdsParameter p;
    p.name = r.Utf16(r.U8());
    r.U8();  // status flags
    p.type = r.U8();
    if (auto width = FixedWidth(p.type)) {
        p.maxLength = static_cast<std::uint32_t>(*width);
        p.bytes = r.Bytes(*width);
        p.isNull = p.type == 0x1F;
        return p;
    }
    switch (p.type) {
        case 0x24: case 0x26: case 0x68: case 0x6D: case 0x6E: case 0x6F: {  // guid, intn, bitn, floatn, moneyn, datetimen
            p.maxLength = r.U8();
            const std::uint8_t n = r.U8();
            p.isNull = n == 0;
            p.bytes = r.Bytes(n);
            return p;
        }
        case 0x6A: case 0x6C: {  // decimal, numeric
            p.maxLength = r.U8();
            r.U8();  // precision
            r.U8();  // scale
            const std::uint8_t n = r.U8();
            p.isNull = n == 0;
            p.bytes = r.Bytes(n);
            return p;
        }
        case 0x28: case 0x29: case 0x2A: case 0x2B: {  // date, time, datetime2, datetimeoffset
            if (p.type != 0x28) r.U8();                 // scale
            const std::uint8_t n = r.U8();
            p.isNull = n == 0;
            p.bytes = r.Bytes(n);
            return p;
        }
        case kTdsBigVarBinary: case kTdsBigBinary: case kTdsBigVarChar: case kTdsBigChar: case kTdsNVarChar:
        case kTdsNChar: {
            p.maxLength = r.U16();
            if (HasCollation(p.type)) r.Bytes(5);
            if (p.maxLength == 0xFFFF) {
                p.plp = true;
                const std::uint64_t total = r.U64();
                if (total == ~std::uint64_t{0}) {
                    p.isNull = true;
                    return p;
                }
                for (;;) {
                    const std::uint32_t chunk = r.U32();
                    if (chunk == 0) break;
                    auto piece = r.Bytes(chunk);
                    p.bytes.insert(p.bytes.end(), piece.begin(), piece.end());
                }
                return p;
            }
            const std::uint16_t n = r.U16();
            if (n == 0xFFFF) {
                p.isNull = true;
                return p;
            }
            p.bytes = r.Bytes(n);
            return p;
        }
        case kTdsImage: case kTdsText: case kTdsNText: {
            p.maxLength = r.U32();
            if (HasCollation(p.type)) r.Bytes(5);
            const std::uint32_t n = r.U32();
            if (n == 0xFFFFFFFF) {
                p.isNull = true;
                return p;
            }
            p.bytes = r.Bytes(n);
            return p;
        }
        default:
            throw Malformed("parameter type not known to the double");
    }
}

// The name in "create database [a]]b] ..." or "create database a ..."; empty when the text is no such statement.
std::optional<std::u16string> CreatedName(std::u16string_view text) {
    const std::u16string lower = Lower(text);
    std::size_t at = lower.find_first_not_of(u" \t\r\n");
    constexpr std::u16string_view kCreate = u"create database";
    if (at == std::u16string::npos || lower.compare(at, kCreate.size(), kCreate) != 0) return std::nullopt;
    at = lower.find_first_not_of(u" \t\r\n", at + kCreate.size());
    if (at == std::u16string::npos) return std::nullopt;
    std::u16string name;
    if (text[at] == u'[') {
        for (std::size_t i = at + 1; i < text.size(); ++i) {
            if (text[i] == u']') {
                if (i + 1 < text.size() && text[i + 1] == u']') {
                    name += u']';
                    ++i;
                    continue;
                }
                return name;
            }
            name += text[i];
        }
        return std::nullopt;  // no closing bracket
    }
    while (at < text.size() && text[at] != u' ' && text[at] != u'\t' && text[at] != u'\r' && text[at] != u'\n') {
        name += text[at++];
    }
    return name;
}

std::optional<std::u16string> UsedName(std::u16string_view text) {
    const std::u16string lower = Lower(text);
    std::size_t at = lower.find_first_not_of(u" \t\r\n");
    if (at == std::u16string::npos || lower.compare(at, 4, u"use ") != 0) return std::nullopt;
    at = lower.find_first_not_of(u" \t", at + 4);
    if (at == std::u16string::npos) return std::nullopt;
    std::u16string name(text.substr(at));
    while (!name.empty() && (name.back() == u' ' || name.back() == u';' || name.back() == u'\n')) name.pop_back();
    if (name.size() >= 2 && name.front() == u'[' && name.back() == u']') {
        std::u16string inner;
        for (std::size_t i = 1; i + 1 < name.size(); ++i) {
            inner += name[i];
            if (name[i] == u']' && name[i + 1] == u']') ++i;
        }
        return inner;
    }
    return name;
}

bool IsSystemDatabase(std::u16string_view name) {
    const std::u16string lower = Lower(name);
    return lower == u"master" || lower == u"tempdb" || lower == u"model" || lower == u"msdb";
}

}  // namespace

std::vector<TdsParameter> ParseTdsParameters(const std::vector<std::uint8_t>& bytes) {
    Reader r(bytes);
    std::vector<TdsParameter> out;
    while (r.Left() > 0) out.push_back(ReadParameter(r));
    return out;
}

std::string TdsParameter::TypeName() const {
    auto sized = [this](const char* base, std::uint32_t unit) {
        if (plp) return std::string(base) + "(max)";
        return std::string(base) + "(" + std::to_string(maxLength / unit) + ")";
    };
    switch (type) {
        case kTdsNVarChar: return sized("nvarchar", 2);
        case kTdsNChar: return sized("nchar", 2);
        case kTdsBigVarChar: return sized("varchar", 1);
        case kTdsBigChar: return sized("char", 1);
        case kTdsBigVarBinary: return sized("varbinary", 1);
        case kTdsBigBinary: return sized("binary", 1);
        case kTdsNText: return "ntext";
        case kTdsText: return "text";
        case kTdsImage: return "image";
        case kTdsIntN: return "int";
        case 0x38: return "int";
        default: return "type 0x" + std::to_string(type);
    }
}

std::u16string TdsParameter::Text() const {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return out;
}

// ---- Server ----

TdsServerDouble::TdsServerDouble() : TdsServerDouble(Limits{}) {}

TdsServerDouble::TdsServerDouble(Limits limits) : m_limits(limits) {
    m_nListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_nListen < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_nListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_nListen, 16) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(m_nListen);
        throw std::runtime_error("bind/listen: " + reason);
    }
    socklen_t length = sizeof address;
    ::getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &length);
    m_nPort = ntohs(address.sin_port);
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    m_wakeRead = pipe_fds[0];
    m_wakeWrite = pipe_fds[1];
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

TdsServerDouble::~TdsServerDouble() {
    m_bStopping = true;
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(m_wakeWrite, &byte, 1);
    if (m_acceptor.joinable()) m_acceptor.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        for (int s : m_sockets) ::shutdown(s, SHUT_RDWR);
        threads = std::move(m_connections);
    }
    for (auto& t : threads) t.join();
    ::close(m_nListen);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
}

void TdsServerDouble::AcceptLoop() {
    while (!m_bStopping) {
        pollfd fds[2] = {{m_nListen, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const int s = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (s < 0) continue;
        std::lock_guard lock(m_mutex);
        if (m_nConnections >= m_limits.maxConnections) {
            ::close(s);
            continue;
        }
        const int number = ++m_nConnections;
        const int one = 1;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_sockets.push_back(s);
        m_connections.emplace_back([this, s, number] { Serve(s, number); });
    }
}

namespace {

// One client socket: whole messages in, replies out, within the idle bound.
class Link {
public:
    Link(int socket, int wake, int idle_seconds) : m_socket(socket), m_wake(wake), m_idleMs(idle_seconds * 1000) {}

    // The next message (packets up to the one marked last); nullopt when the peer left, the idle time passed,
    // or the double stops.
    std::optional<std::pair<std::uint8_t, std::vector<std::uint8_t>>> Receive() {
        std::vector<std::uint8_t> message;
        std::uint8_t type = 0;
        for (;;) {
            std::uint8_t header[8];
            if (!ReadExactly(header, 8)) return std::nullopt;
            type = header[0];
            const std::size_t length = static_cast<std::size_t>(header[2] << 8 | header[3]);
            if (length < 8) return std::nullopt;
            const std::size_t at = message.size();
            if (at + length - 8 > kMaxMessage) return std::nullopt;
            message.resize(at + length - 8);
            if (!ReadExactly(message.data() + at, length - 8)) return std::nullopt;
            if (header[1] & 0x01) break;
        }
        return std::make_pair(type, std::move(message));
    }

    bool Send(const std::vector<std::uint8_t>& tokens) {
        std::size_t at = 0;
        std::uint8_t packet_id = 1;
        do {
            const std::size_t n = std::min(tokens.size() - at, kPacketSize - 8);
            const bool last = at + n == tokens.size();
            std::vector<std::uint8_t> packet = {kReply,
                                                static_cast<std::uint8_t>(last ? 1 : 0),
                                                static_cast<std::uint8_t>((n + 8) >> 8),
                                                static_cast<std::uint8_t>(n + 8),
                                                0,
                                                51,
                                                packet_id++,
                                                0};
            packet.insert(packet.end(), tokens.begin() + static_cast<std::ptrdiff_t>(at),
                          tokens.begin() + static_cast<std::ptrdiff_t>(at + n));
            if (!WriteAll(packet.data(), packet.size())) return false;
            at += n;
        } while (at < tokens.size());
        return true;
    }

private:
    bool ReadExactly(std::uint8_t* out, std::size_t n) {
        std::size_t got = 0;
        while (got < n) {
            pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
            const int ready = ::poll(fds, 2, m_idleMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0 || fds[1].revents != 0) return false;
            const ssize_t r = ::recv(m_socket, out + got, n - got, 0);
            if (r <= 0) return false;
            got += static_cast<std::size_t>(r);
        }
        return true;
    }
    bool WriteAll(const std::uint8_t* data, std::size_t n) {
        while (n > 0) {
            const ssize_t w = ::send(m_socket, data, n, MSG_NOSIGNAL);
            if (w <= 0) return false;
            data += w;
            n -= static_cast<std::size_t>(w);
        }
        return true;
    }

    int m_socket;
    int m_wake;
    int m_idleMs;
};

std::vector<std::uint8_t> PreloginReply() {
    // Options: version, encryption (not supported), instance, thread id, MARS; then their data.
    Writer w;
    const std::uint8_t version[6] = {11, 0, 0x0C, 0x38, 0, 0};
    const std::uint8_t options[][2] = {{0, 6}, {1, 1}, {2, 1}, {3, 0}, {4, 1}};
    std::uint16_t offset = 5 * 5 + 1;
    for (const auto& o : options) {
        w.U8(o[0]);
        w.U8(static_cast<std::uint8_t>(offset >> 8));
        w.U8(static_cast<std::uint8_t>(offset));
        w.U8(0);
        w.U8(o[1]);
        offset = static_cast<std::uint16_t>(offset + o[1]);
    }
    w.U8(0xFF);
    for (auto b : version) w.U8(b);
    w.U8(2);  // ENCRYPT_NOT_SUP
    w.U8(0);  // instance: the default one
    w.U8(0);  // MARS off
    return w.data;
}

}  // namespace

void TdsServerDouble::Serve(int socket, int number) {
    Link link(socket, m_wakeRead, m_limits.idleSeconds);
    std::u16string database = u"master";
    bool logged_in = false;

    auto record = [this](TdsRequest request) {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    };
    // The first fault rule that holds for this text, counting matches of every rule.
    auto fault_for = [this](std::u16string_view text) -> std::optional<TdsFault> {
        std::lock_guard lock(m_mutex);
        std::optional<TdsFault> chosen;
        for (auto& state : m_faults) {
            if (!Contains(text, state.fault.pattern)) continue;
            ++state.matches;
            if (state.lifted) continue;
            if (state.fault.nth != 0 && state.matches != state.fault.nth) continue;
            if (!chosen) chosen = state.fault;
        }
        return chosen;
    };
    auto accepted = [this](const std::u16string& text) {
        std::lock_guard lock(m_mutex);
        for (auto& state : m_faults) {
            if (!state.fault.untilAccepted.empty() && Contains(text, state.fault.untilAccepted)) state.lifted = true;
        }
    };
    auto over_limit = [this] {
        std::lock_guard lock(m_mutex);
        return ++m_nRequests > m_limits.maxRequests;
    };

    // What a statement does to the double's databases: a refusal (number, text) or nothing.
    auto run = [this, &database](const std::u16string& text, Writer& w) -> std::int32_t {
        if (auto name = CreatedName(text)) {
            std::lock_guard lock(m_mutex);
            const bool exists = IsSystemDatabase(*name) ||
                                std::any_of(m_databases.begin(), m_databases.end(),
                                            [&](const std::u16string& d) { return Lower(d) == Lower(*name); });
            if (exists) {
                w.Message(kError, 1801, 3, 16,
                          u"Database '" + *name + u"' already exists. Choose a different database name.");
                return 1801;
            }
            m_databases.push_back(*name);
            return 0;
        }
        if (auto name = UsedName(text)) {
            if (!HasDatabase(*name) && m_bRequireKnownDatabase) {
                w.Message(kError, 911, 1, 16,
                          u"Database '" + *name + u"' does not exist. Make sure that the name is entered correctly.");
                return 911;
            }
            w.EnvChange(1, *name, database);
            database = *name;
        }
        return 0;
    };

    while (true) {
        auto message = link.Receive();
        if (!message) break;
        const std::uint8_t type = message->first;
        const std::vector<std::uint8_t>& body = message->second;
        try {
            if (type == kPrelogin) {
                if (!link.Send(PreloginReply())) break;
                continue;
            }
            if (type == kLogin7) {
                Reader r(body);
                TdsRequest login;
                login.kind = TdsRequest::Kind::Login;
                login.connection = number;
                r.Seek(27);
                const std::uint8_t flags3 = r.U8();
                r.Seek(36);
                auto field = [&r, &body](std::size_t at) {
                    Reader f(body, at);
                    const std::uint16_t offset = f.U16();
                    const std::uint16_t chars = f.U16();
                    return r.At(offset, chars);
                };
                login.hostName = field(36);
                login.user = field(40);
                {
                    Reader f(body, 46);
                    login.passwordGiven = f.U16() > 0;
                }
                login.appName = field(48);
                login.serverName = field(52);
                login.database = field(68);
                Writer w;
                std::unique_lock lock(m_mutex);
                const std::u16string wanted = login.database.empty() ? std::u16string(u"master") : login.database;
                const bool known = IsSystemDatabase(wanted) ||
                                   std::any_of(m_databases.begin(), m_databases.end(),
                                               [&](const std::u16string& d) { return Lower(d) == Lower(wanted); });
                if (m_bRefuseLogin) {
                    w.Message(kError, 18456, 1, 14, m_strLoginMessage);
                    w.Done(kDone, kDoneError);
                    login.errorNumber = 18456;
                } else if (m_bRequireKnownDatabase && !known) {
                    w.Message(kError, 4060, 1, 11,
                              u"Cannot open database \"" + wanted + u"\" requested by the login. The login failed.");
                    w.Message(kError, 18456, 1, 14, u"Login failed for user '" + login.user + u"'.");
                    w.Done(kDone, kDoneError);
                    login.errorNumber = 4060;
                } else {
                    database = wanted;
                    w.EnvChange(1, database, u"master");
                    w.Message(kInfo, 5701, 2, 0, u"Changed database context to '" + database + u"'.");
                    w.CollationChange();
                    w.EnvChange(2, u"us_english", u"");
                    w.U8(kLoginAck);
                    w.Sized16([&] {
                        w.U8(1);
                        w.U8(0x74);
                        w.U8(0x00);
                        w.U8(0x00);
                        w.U8(0x04);
                        w.BVarChar(u"Microsoft SQL Server");
                        w.U8(11);
                        w.U8(0);
                        w.U8(0x0C);
                        w.U8(0x38);
                    });
                    w.EnvChange(4, u"4096", u"4096");
                    if (flags3 & 0x10) {  // the client listed feature extensions: none is taken up
                        w.U8(kFeatureExtAck);
                        w.U8(0xFF);
                    }
                    w.Done(kDone, 0);
                    login.accepted = true;
                }
                m_requests.push_back(login);
                lock.unlock();
                if (!link.Send(w.data) || !login.accepted) break;
                logged_in = true;
                continue;
            }
            if (!logged_in) break;
            if (type == kAttention) {
                TdsRequest attention;
                attention.kind = TdsRequest::Kind::Attention;
                attention.connection = number;
                record(attention);
                Writer w;
                w.Done(kDone, kDoneAttention);
                if (!link.Send(w.data)) break;
                continue;
            }
            if (type != kSqlBatch && type != kRpc) break;
            if (over_limit()) break;

            Reader r(body);
            // ALL_HEADERS: skipped whole.
            const std::uint32_t headers = r.U32();
            if (headers < 4 || headers > body.size()) throw Malformed("headers");
            r.Seek(headers);

            TdsRequest request;
            request.connection = number;
            bool is_procedure_statement = false;
            if (type == kSqlBatch) {
                request.kind = TdsRequest::Kind::Batch;
                request.text = r.Utf16(r.Left() / 2);
            } else {
                request.kind = TdsRequest::Kind::Rpc;
                const std::uint16_t name_length = r.U16();
                if (name_length == 0xFFFF) {
                    const std::uint16_t id = r.U16();
                    request.procedure = id == 10 ? u"sp_executesql" : u"procedure " + platform::Widen(std::to_string(id));
                } else {
                    request.procedure = r.Utf16(name_length);
                }
                r.U16();  // option flags
                std::vector<TdsParameter> parameters;
                while (r.Left() > 0) {
                    const std::uint8_t next = body[r.Pos()];
                    if (next == 0xFF || next == 0x80) break;  // the next call of a batch: not used by the driver
                    parameters.push_back(ReadParameter(r));
                }
                is_procedure_statement = Lower(request.procedure) == u"sp_executesql";
                if (is_procedure_statement && !parameters.empty()) {
                    request.text = parameters[0].Text();
                    if (parameters.size() > 1) request.declarations = parameters[1].Text();
                    request.parameters.assign(parameters.begin() + std::min<std::ptrdiff_t>(2, static_cast<std::ptrdiff_t>(parameters.size())),
                                              parameters.end());
                } else {
                    request.parameters = std::move(parameters);
                }
            }

            Writer w;
            const std::uint8_t done_token = type == kRpc ? kDoneProc : kDone;
            if (auto fault = fault_for(request.text)) {
                if (fault->closeSocket) {
                    request.droppedSocket = true;
                    record(request);
                    break;
                }
                if (fault->stall) {
                    // Nothing until the driver gives up and cancels; then only the attention's answer.
                    ++m_nStallsBegun;
                    auto next = link.Receive();
                    if (!next || next->first != kAttention) break;
                    request.cancelled = true;
                    record(request);
                    TdsRequest attention;
                    attention.kind = TdsRequest::Kind::Attention;
                    attention.connection = number;
                    record(attention);
                    w.Done(kDone, kDoneAttention);
                    if (!link.Send(w.data)) break;
                    continue;
                }
                w.Message(kError, fault->number, 1, fault->severity, fault->message);
                if (type == kRpc) w.Done(kDoneInProc, kDoneError | kDoneMore);
                w.Done(done_token, kDoneError);
                request.errorNumber = fault->number;
            } else if (const std::int32_t refused = run(request.text, w); refused != 0) {
                if (type == kRpc) w.Done(kDoneInProc, kDoneError | kDoneMore);
                w.Done(done_token, kDoneError);
                request.errorNumber = refused;
            } else {
                const std::u16string lower = Lower(request.text);
                const std::size_t first = lower.find_first_not_of(u" \t\r\n(");
                const std::u16string_view verb = first == std::u16string::npos ? std::u16string_view()
                                                                                : std::u16string_view(lower).substr(first);
                if (verb.starts_with(u"select")) {
                    // Queries the driver makes for itself get one empty text column and row.
                    w.Result({u""}, {{u""}});
                    w.Done(type == kRpc ? kDoneInProc : kDone, kDoneCount | (type == kRpc ? kDoneMore : 0), 1);
                } else if (verb.starts_with(u"insert")) {
                    w.Done(type == kRpc ? kDoneInProc : kDone, kDoneCount | (type == kRpc ? kDoneMore : 0), 1);
                } else if (type == kRpc) {
                    w.Done(kDoneInProc, kDoneMore);
                }
                if (type == kRpc) {
                    w.U8(kReturnStatus);
                    w.U32(0);
                    w.Done(kDoneProc, 0);
                } else if (!verb.starts_with(u"select") && !verb.starts_with(u"insert")) {
                    w.Done(kDone, 0);
                }
                request.accepted = true;
                accepted(request.text);
                std::lock_guard lock(m_mutex);
                m_acceptedTexts.push_back(request.text);
            }
            record(request);
            if (!link.Send(w.data)) break;
        } catch (const Malformed&) {
            break;
        }
    }
    std::lock_guard lock(m_mutex);
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    m_sockets.erase(std::remove(m_sockets.begin(), m_sockets.end(), socket), m_sockets.end());
}

void TdsServerDouble::AddFault(TdsFault fault) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back({std::move(fault), 0, false});
}

void TdsServerDouble::RefuseLogin(std::u16string message) {
    std::lock_guard lock(m_mutex);
    m_bRefuseLogin = true;
    m_strLoginMessage = std::move(message);
}

void TdsServerDouble::RequireKnownDatabase(bool require) {
    std::lock_guard lock(m_mutex);
    m_bRequireKnownDatabase = require;
}

void TdsServerDouble::AddDatabase(std::u16string name) {
    std::lock_guard lock(m_mutex);
    m_databases.push_back(std::move(name));
}

bool TdsServerDouble::HasDatabase(std::u16string_view name) const {
    std::lock_guard lock(m_mutex);
    return IsSystemDatabase(name) || std::any_of(m_databases.begin(), m_databases.end(), [&](const std::u16string& d) {
               return Lower(d) == Lower(name);
           });
}

std::vector<TdsRequest> TdsServerDouble::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<TdsRequest> TdsServerDouble::Logins() const {
    std::vector<TdsRequest> out;
    for (auto& r : Requests()) {
        if (r.kind == TdsRequest::Kind::Login) out.push_back(r);
    }
    return out;
}

std::vector<TdsRequest> TdsServerDouble::Statements() const {
    std::vector<TdsRequest> out;
    for (auto& r : Requests()) {
        if (r.kind == TdsRequest::Kind::Batch || r.kind == TdsRequest::Kind::Rpc) out.push_back(r);
    }
    return out;
}

int TdsServerDouble::ConnectionCount() const {
    std::lock_guard lock(m_mutex);
    return m_nConnections;
}

platform::TargetSettings TdsServerDouble::Settings() const {
    platform::TargetSettings settings;
    settings.m_strDriver = FreeTdsDriverPath();
    settings.m_strServer = kServerText;
    settings.m_nPort = m_nPort;
    settings.m_strTdsVersion = u"7.4";
    settings.m_strLogin = u"tester";
    settings.m_strPassword = u"not-recorded";
    settings.m_nLoginTimeoutSeconds = 10;
    return settings;
}

std::u16string TdsServerDouble::ConnectionString(std::u16string_view database) const {
    return Settings().ConnectionString(kServerText, database);
}

}  // namespace testsupport
