// Binary XML to XML text: a token reader over the stored bytes and a writer of the text the server would give.
#include "rows/binary_xml.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/text.h"
#include "rows/character_text.h"
#include "rows/guid_values.h"
#include "rows/integer_values.h"

namespace rows {

namespace {

enum Token : std::uint8_t {
    kFlush = 0xE9,
    kExtension = 0xEA,
    kEndNest = 0xEB,
    kNest = 0xEC,
    kQNameDef = 0xEF,
    kNameDef = 0xF0,
    kCDataEnd = 0xF1,
    kCData = 0xF2,
    kComment = 0xF3,
    kPi = 0xF4,
    kEndAttributes = 0xF5,
    kAttribute = 0xF6,
    kEndElement = 0xF7,
    kElement = 0xF8,
    kSubset = 0xF9,
    kPublic = 0xFA,
    kSystem = 0xFB,
    kDocType = 0xFC,
    kEncoding = 0xFD,
    kXmlDecl = 0xFE,
};

// Atomic value tokens.
enum Atomic : std::uint8_t {
    kSmallInt = 0x01, kInt = 0x02, kReal = 0x03, kFloat = 0x04, kMoney = 0x05, kBit = 0x06, kTinyInt = 0x07,
    kBigInt = 0x08, kUuid = 0x09, kDecimal = 0x0A, kNumeric = 0x0B, kBinary = 0x0C, kChar = 0x0D, kNChar = 0x0E,
    kVarBinary = 0x0F, kVarChar = 0x10, kNVarChar = 0x11, kDateTime = 0x12, kSmallDateTime = 0x13,
    kSmallMoney = 0x14, kText = 0x16, kImage = 0x17, kNText = 0x18, kUdt = 0x1B,
    kTimeOffset = 0x7A, kDateTimeOffset = 0x7B, kDateOffset = 0x7C, kTime2 = 0x7D, kDateTime2 = 0x7E, kDate2 = 0x7F,
    kXsdTime = 0x81, kXsdDateTime = 0x82, kXsdDate = 0x83, kBinHex = 0x84, kBase64 = 0x85, kBoolean = 0x86,
    kXsdDecimal = 0x87, kXsdByte = 0x88, kUnsignedShort = 0x89, kUnsignedInt = 0x8A, kUnsignedLong = 0x8B,
    kXsdQName = 0x8C,
};

bool IsMetadata(std::uint8_t token) {
    return token == kNameDef || token == kQNameDef || token == kExtension || token == kFlush;
}

bool IsAtomic(std::uint8_t token) {
    return (token >= kSmallInt && token <= kSmallMoney) || (token >= kText && token <= kNText) || token == kUdt ||
           (token >= kTimeOffset && token <= kDate2) || (token >= kXsdTime && token <= kXsdQName);
}

// Nested documents deeper than this are taken as damage, not followed.
constexpr int kMaxNesting = 64;

std::u16string Ascii(std::string_view text) { return platform::Widen(text); }

std::string Digits(std::uint64_t n, int width) {
    std::string text = std::to_string(n);
    if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

// A fraction of `scale` digits with the zeros at its end removed; empty when nothing is left.
std::string Fraction(std::uint64_t units, int scale) {
    if (scale <= 0) return {};
    std::string digits = Digits(units, scale);
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    return digits.empty() ? std::string() : "." + digits;
}

// YYYY-MM-DD of a day count from 1970-01-01; empty outside years 1 to 9999.
std::string DateOfDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 1 || year > 9999) return {};
    return Digits(static_cast<std::uint64_t>(year), 4) + "-" + Digits(static_cast<std::uint64_t>(month), 2) + "-" +
           Digits(static_cast<std::uint64_t>(day), 2);
}

constexpr std::int64_t kDaysFrom1900To1970 = 25567;
constexpr std::int64_t kDaysFrom0001To1970 = 719162;

// "+hh:mm", "-hh:mm", or "Z" for no offset.
std::string Zone(int minutes) {
    if (minutes == 0) return "Z";
    const int magnitude = minutes < 0 ? -minutes : minutes;
    return std::string(minutes < 0 ? "-" : "+") + Digits(static_cast<std::uint64_t>(magnitude / 60), 2) + ":" +
           Digits(static_cast<std::uint64_t>(magnitude % 60), 2);
}

std::string Base64(std::span<const std::uint8_t> bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t b0 = bytes[i];
        const std::uint32_t b1 = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const std::uint32_t b2 = i + 2 < bytes.size() ? bytes[i + 2] : 0;
        const std::uint32_t n = (b0 << 16) | (b1 << 8) | b2;
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
    }
    return out;
}

// A double as XQuery writes it: decimal between 1e-6 and 1e6, else mantissa, "E" and exponent.
std::string DoubleText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return std::signbit(value) ? "-0" : "0";
    char buffer[64];
    const double magnitude = std::fabs(value);
    if (magnitude >= 1e-6 && magnitude < 1e6) {
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
        return std::string(buffer, r.ptr);
    }
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string text(buffer, r.ptr);
    const std::size_t e = text.find('e');
    std::string mantissa = text.substr(0, e);
    if (mantissa.find('.') == std::string::npos) mantissa += ".0";
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
    return mantissa + "E" + std::to_string(exponent);
}

// A decimal value: mantissa / 10^scale with the zeros at the end of the fraction removed.
std::string DecimalValueText(std::span<const std::uint8_t> mantissa, int scale, bool negative) {
    unsigned __int128 m = 0;
    for (std::size_t i = mantissa.size(); i-- > 0;) m = (m << 8) | mantissa[i];
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    if (static_cast<int>(digits.size()) <= scale) digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    std::string integer = digits.substr(0, digits.size() - static_cast<std::size_t>(scale));
    std::string fraction = digits.substr(digits.size() - static_cast<std::size_t>(scale));
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string text = integer + (fraction.empty() ? "" : "." + fraction);
    const bool zero = text.find_first_not_of("0.") == std::string::npos;
    return negative && !zero ? "-" + text : text;
}

void EscapeInto(std::u16string& out, std::u16string_view text, bool attribute) {
    for (const char16_t c : text) {
        switch (c) {
            case u'&': out += u"&amp;"; break;
            case u'<': out += u"&lt;"; break;
            case u'>': out += u"&gt;"; break;
            case u'\r': out += u"&#xD;"; break;
            case u'"':
                if (attribute) {
                    out += u"&quot;";
                } else {
                    out += c;
                }
                break;
            case u'\n':
                if (attribute) {
                    out += u"&#xA;";
                } else {
                    out += c;
                }
                break;
            case u'\t':
                if (attribute) {
                    out += u"&#x9;";
                } else {
                    out += c;
                }
                break;
            default: out += c;
        }
    }
}

struct QName {
    std::uint32_t uri = 0;
    std::uint32_t prefix = 0;
    std::uint32_t local = 0;
};

// The name tables of one document: names from 1 (0 is the empty name), qnames from 1.
struct Tables {
    std::vector<std::u16string> names{std::u16string()};
    std::vector<QName> qnames{QName{}};
};

class Converter {
public:
    explicit Converter(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::optional<std::u16string> Run() {
        Tables tables;
        if (!Header() || !Content(tables, 0, false)) return std::nullopt;
        return std::move(out_);
    }

private:
    // ---- Bytes ----
    bool Byte(std::uint8_t& b) {
        if (pos_ >= bytes_.size()) return false;
        b = bytes_[pos_++];
        return true;
    }
    bool Peek(std::uint8_t& b) const {
        if (pos_ >= bytes_.size()) return false;
        b = bytes_[pos_];
        return true;
    }
    bool Take(std::size_t n, std::span<const std::uint8_t>& out) {
        if (n > bytes_.size() - pos_) return false;
        out = bytes_.subspan(pos_, n);
        pos_ += n;
        return true;
    }
    bool Fixed(std::size_t n, std::uint64_t& value) {
        std::span<const std::uint8_t> b;
        if (n > 8 || !Take(n, b)) return false;
        value = 0;
        for (std::size_t i = 0; i < n; ++i) value |= static_cast<std::uint64_t>(b[i]) << (8 * i);
        return true;
    }
    // mb32 (at most 5 bytes) or mb64 (at most 10); the value must fit a signed integer of its width.
    bool Multibyte(std::uint64_t& value, bool wide) {
        value = 0;
        const int limit = wide ? 10 : 5;
        for (int i = 0; i < limit; ++i) {
            std::uint8_t b = 0;
            if (!Byte(b)) return false;
            if (i == 9 && (b & 0x7F) > 1) return false;
            value |= static_cast<std::uint64_t>(b & 0x7F) << (7 * i);
            if ((b & 0x80) == 0) {
                return wide ? value <= 0x7FFFFFFFFFFFFFFFull : value <= 0x7FFFFFFFull;
            }
        }
        return false;
    }
    // textdata (mb32 count of UTF-16 units) or textdata64.
    bool Text(std::u16string& text, bool wide = false) {
        std::uint64_t units = 0;
        std::span<const std::uint8_t> b;
        if (!Multibyte(units, wide) || units > (bytes_.size() - pos_) / 2 || !Take(units * 2, b)) return false;
        text.clear();
        text.reserve(units);
        for (std::size_t i = 0; i < b.size(); i += 2) text.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
        return true;
    }
    bool Blob(std::span<const std::uint8_t>& b, bool wide) {
        std::uint64_t length = 0;
        return Multibyte(length, wide) && length <= bytes_.size() - pos_ && Take(length, b);
    }

    // ---- Names ----
    bool Name(const Tables& t, std::u16string& name) {
        std::uint64_t index = 0;
        if (!Multibyte(index, false) || index >= t.names.size()) return false;
        name = t.names[index];
        return true;
    }
    bool QNameRef(const Tables& t, QName& q) {
        std::uint64_t index = 0;
        if (!Multibyte(index, false) || index == 0 || index >= t.qnames.size()) return false;
        q = t.qnames[index];
        return true;
    }
    static std::u16string QNameText(const Tables& t, const QName& q) {
        const std::u16string& prefix = t.names[q.prefix];
        const std::u16string& local = t.names[q.local];
        if (local.empty()) return prefix;  // a namespace declaration: xmlns or xmlns:p
        return prefix.empty() ? local : prefix + u":" + local;
    }
    // A metadata token whose token byte was read.
    bool Metadata(std::uint8_t token, Tables& t) {
        switch (token) {
            case kNameDef: {
                std::u16string name;
                if (!Text(name)) return false;
                t.names.push_back(std::move(name));
                return true;
            }
            case kQNameDef: {
                std::uint64_t uri = 0, prefix = 0, local = 0;
                if (!Multibyte(uri, false) || !Multibyte(prefix, false) || !Multibyte(local, false)) return false;
                if (uri >= t.names.size() || prefix >= t.names.size() || local >= t.names.size()) return false;
                t.qnames.push_back({static_cast<std::uint32_t>(uri), static_cast<std::uint32_t>(prefix),
                                    static_cast<std::uint32_t>(local)});
                return true;
            }
            case kExtension: {
                std::span<const std::uint8_t> ignored;
                return Blob(ignored, false);
            }
            case kFlush:
                t = Tables{};
                return true;
            default: return false;
        }
    }

    // ---- Document ----
    bool Header() {
        std::uint8_t b[5] = {};
        for (auto& x : b) {
            if (!Byte(x)) return false;
        }
        if (b[0] != 0xDF || b[1] != 0xFF || b[2] > 2 || b[3] != 0xB0 || b[4] != 0x04) return false;
        version2_ = b[2] == 2;
        std::uint8_t next = 0;
        if (Peek(next) && next == kXmlDecl) {
            // The declaration is not part of the value's text (the server writes none).
            ++pos_;
            std::u16string ignored;
            if (!Text(ignored)) return false;
            if (Peek(next) && next == kEncoding) {
                ++pos_;
                if (!Text(ignored)) return false;
            }
            std::uint8_t standalone = 0;
            if (!Byte(standalone) || standalone > 2) return false;
        }
        return true;
    }

    // Content up to the end of the bytes (the outer document) or to its ENDNEST token (a nested one).
    bool Content(Tables& t, int depth, bool nested) {
        struct Open {
            std::u16string name;
            std::size_t scope;
        };
        std::vector<Open> open;
        for (;;) {
            std::uint8_t token = 0;
            if (!Byte(token)) return !nested && open.empty();
            if (IsMetadata(token)) {
                if (!Metadata(token, t)) return false;
                continue;
            }
            switch (token) {
                case kElement: {
                    std::size_t scope = 0;
                    std::u16string name;
                    bool empty = false;
                    if (!StartElement(t, name, scope, empty)) return false;
                    if (empty) {
                        scopes_.resize(scope);
                    } else {
                        open.push_back({std::move(name), scope});
                    }
                    break;
                }
                case kEndElement:
                    if (open.empty()) return false;
                    out_ += u"</" + open.back().name + u">";
                    scopes_.resize(open.back().scope);
                    open.pop_back();
                    break;
                case kComment: {
                    std::u16string text;
                    if (!Text(text)) return false;
                    out_ += u"<!--" + text + u"-->";
                    break;
                }
                case kPi: {
                    std::u16string target, text;
                    if (!Name(t, target) || !Text(text)) return false;
                    out_ += u"<?" + target + (text.empty() ? u"" : u" " + text) + u"?>";
                    break;
                }
                case kCData: {
                    out_ += u"<![CDATA[";
                    for (;;) {
                        std::u16string chunk;
                        if (!Text(chunk)) return false;
                        out_ += chunk;
                        std::uint8_t next = 0;
                        if (!Byte(next)) return false;
                        if (next == kCDataEnd) break;
                        if (next != kCData) return false;
                    }
                    out_ += u"]]>";
                    break;
                }
                case kNest: {
                    if (depth + 1 > kMaxNesting) return false;
                    Tables inner;
                    if (!Header() || !Content(inner, depth + 1, true)) return false;
                    break;
                }
                case kEndNest:
                    return nested && open.empty();
                default: {
                    std::u16string text;
                    if (!IsAtomic(token) || !AtomicText(token, t, text)) return false;
                    EscapeInto(out_, text, false);
                    break;
                }
            }
        }
    }

    // The start tag after its ELEMENT token: its attributes, the namespace declarations its names need, and
    // whether the element is empty (its end follows at once).
    bool StartElement(Tables& t, std::u16string& name, std::size_t& scope, bool& empty) {
        QName element;
        if (!QNameRef(t, element)) return false;
        name = QNameText(t, element);
        struct Attribute {
            QName q;
            std::u16string name;
            std::u16string value;
        };
        std::vector<Attribute> attributes;
        bool ended = false;
        for (;;) {
            std::uint8_t token = 0;
            if (!Peek(token)) return false;
            if (IsMetadata(token)) {
                ++pos_;
                if (!Metadata(token, t)) return false;
                continue;
            }
            if (token == kAttribute) {
                ++pos_;
                Attribute a;
                if (!QNameRef(t, a.q)) return false;
                a.name = QNameText(t, a.q);
                for (;;) {
                    std::uint8_t next = 0;
                    if (!Peek(next)) return false;
                    if (IsMetadata(next)) {
                        ++pos_;
                        if (!Metadata(next, t)) return false;
                    } else if (IsAtomic(next)) {
                        ++pos_;
                        std::u16string part;
                        if (!AtomicText(next, t, part)) return false;
                        a.value += part;
                    } else {
                        break;
                    }
                }
                attributes.push_back(std::move(a));
                continue;
            }
            if (token == kEndAttributes) {
                if (attributes.empty()) return false;
                ++pos_;
                ended = true;
            }
            break;
        }
        if (!attributes.empty() && !ended) return false;

        // Namespaces: the declarations among the attributes, then those a name needs that no scope holds.
        scope = scopes_.size();
        for (const auto& a : attributes) {
            if (!t.names[a.q.local].empty() || !t.names[a.q.uri].empty()) continue;
            const std::u16string& prefix = t.names[a.q.prefix];
            if (prefix == u"xmlns") scopes_.push_back({u"", a.value});
            if (prefix.rfind(u"xmlns:", 0) == 0) scopes_.push_back({prefix.substr(6), a.value});
        }
        std::vector<std::pair<std::u16string, std::u16string>> needed;
        auto ensure = [&](const std::u16string& prefix, const std::u16string& uri) {
            if (uri.empty() || prefix == u"xml") return;
            for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it) {
                if (it->first == prefix) {
                    if (it->second == uri) return;
                    break;
                }
            }
            scopes_.push_back({prefix, uri});
            needed.push_back({prefix, uri});
        };
        ensure(t.names[element.prefix], t.names[element.uri]);
        for (const auto& a : attributes) {
            if (!t.names[a.q.prefix].empty() && !t.names[a.q.local].empty()) {
                ensure(t.names[a.q.prefix], t.names[a.q.uri]);
            }
        }

        out_ += u"<" + name;
        for (const auto& a : attributes) {
            out_ += u" " + a.name + u"=\"";
            EscapeInto(out_, a.value, true);
            out_ += u"\"";
        }
        for (const auto& [prefix, uri] : needed) {
            out_ += prefix.empty() ? std::u16string(u" xmlns=\"") : u" xmlns:" + prefix + u"=\"";
            EscapeInto(out_, uri, true);
            out_ += u"\"";
        }
        // Names defined before the content belong to it; an end that follows them makes the element empty.
        for (;;) {
            std::uint8_t token = 0;
            if (!Peek(token)) return false;
            if (!IsMetadata(token)) {
                empty = token == kEndElement;
                break;
            }
            ++pos_;
            if (!Metadata(token, t)) return false;
        }
        if (empty) {
            ++pos_;
            out_ += u"/>";
        } else {
            out_ += u">";
        }
        return true;
    }

    // ---- Atomic values ----
    bool AtomicText(std::uint8_t token, const Tables& t, std::u16string& text) {
        std::uint64_t v = 0;
        std::span<const std::uint8_t> b;
        auto ascii = [&](const std::string& s) {
            text = Ascii(s);
            return true;
        };
        switch (token) {
            case kNChar: return Text(text, false);
            case kNVarChar:
            case kNText: return Text(text, true);
            case kChar:
            case kVarChar:
            case kText: {
                std::uint64_t length = 0;
                if (!Multibyte(length, token != kChar) || length < 4 || length > bytes_.size() - pos_) return false;
                std::uint64_t code_page = 0;
                if (!Fixed(4, code_page) || !Take(length - 4, b)) return false;
                if (code_page == 1200) {
                    text.clear();
                    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
                        text.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
                    }
                    return b.size() % 2 == 0;
                }
                const platform::CodePage* page = platform::CodePageNumbered(static_cast<unsigned>(code_page));
                if (page == nullptr) return false;
                text.clear();
                platform::AppendCodePageText(text, b, *page);
                return true;
            }
            case kBit: return Fixed(1, v) && ascii(std::to_string(v));
            case kTinyInt: return Fixed(1, v) && ascii(std::to_string(static_cast<std::int8_t>(v)));
            case kSmallInt: return Fixed(2, v) && ascii(std::to_string(static_cast<std::int16_t>(v)));
            case kInt: return Fixed(4, v) && ascii(std::to_string(static_cast<std::int32_t>(v)));
            case kBigInt: return Fixed(8, v) && ascii(std::to_string(static_cast<std::int64_t>(v)));
            case kXsdByte: return Fixed(1, v) && ascii(std::to_string(v));
            case kUnsignedShort: return Fixed(2, v) && ascii(std::to_string(v));
            case kUnsignedInt: return Fixed(4, v) && ascii(std::to_string(v));
            case kUnsignedLong: return Fixed(8, v) && ascii(std::to_string(v));
            case kBoolean: return Fixed(1, v) && ascii(v != 0 ? "true" : "false");
            case kReal: {
                if (!Fixed(4, v)) return false;
                float f = 0;
                const auto word = static_cast<std::uint32_t>(v);
                std::memcpy(&f, &word, sizeof f);
                return ascii(DoubleText(f));
            }
            case kFloat: {
                if (!Fixed(8, v)) return false;
                double d = 0;
                std::memcpy(&d, &v, sizeof d);
                return ascii(DoubleText(d));
            }
            case kMoney:
            case kSmallMoney: {
                if (!Fixed(token == kMoney ? 8 : 4, v)) return false;
                const std::int64_t count = token == kMoney ? static_cast<std::int64_t>(v)
                                                           : static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
                const bool negative = count < 0;
                const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);
                std::uint8_t mantissa[8];
                for (int i = 0; i < 8; ++i) mantissa[i] = static_cast<std::uint8_t>(magnitude >> (8 * i));
                return ascii(DecimalValueText(mantissa, 4, negative));
            }
            case kDecimal:
            case kNumeric:
            case kXsdDecimal: {
                std::uint64_t length = 0;
                if (!Multibyte(length, false) || (length != 7 && length != 11 && length != 15 && length != 19)) {
                    return false;
                }
                if (!Take(length, b)) return false;
                const int precision = b[0];
                const int scale = b[1];
                if (precision > 38 || scale > precision || b[2] > 1) return false;
                return ascii(DecimalValueText(b.subspan(3), scale, b[2] == 0));
            }
            case kUuid: {
                if (!Take(16, b)) return false;
                std::u16string guid = GuidText(b);
                if (guid.size() > 2 && guid.front() == u'{') guid = guid.substr(1, guid.size() - 2);
                text = guid;
                return true;
            }
            case kBinary:
            case kUdt:
            case kBase64:
                return Blob(b, false) && ascii(Base64(b));
            case kVarBinary:
            case kImage:
                return Blob(b, true) && ascii(Base64(b));
            case kBinHex: {
                if (!Blob(b, false)) return false;
                text = HexLiteral(b).substr(2);
                return true;
            }
            case kDateTime: {
                std::uint64_t days = 0, ticks = 0;
                if (!Fixed(4, days) || !Fixed(4, ticks)) return false;
                const std::string date = DateOfDays(static_cast<std::int32_t>(days) - kDaysFrom1900To1970);
                if (date.empty() || ticks >= 300ull * 86400) return false;
                const std::uint64_t seconds = ticks / 300;
                const std::uint64_t millis = ((ticks % 300) * 10 + 1) / 3;
                return ascii(date + "T" + Digits(seconds / 3600, 2) + ":" + Digits(seconds / 60 % 60, 2) + ":" +
                             Digits(seconds % 60, 2) + Fraction(millis, 3));
            }
            case kSmallDateTime: {
                std::uint64_t days = 0, minutes = 0;
                if (!Fixed(2, days) || !Fixed(2, minutes) || minutes >= 1440) return false;
                return ascii(DateOfDays(static_cast<std::int64_t>(days) - kDaysFrom1900To1970) + "T" +
                             Digits(minutes / 60, 2) + ":" + Digits(minutes % 60, 2) + ":00");
            }
            case kXsdDate:
            case kXsdDateTime:
            case kXsdTime: {
                if (!Fixed(8, v)) return false;
                const std::uint64_t kind = v & 3;
                std::uint64_t rest = v >> 2;
                if (token == kXsdDate) {
                    if (kind != 1) return false;
                    const std::int64_t adjust = static_cast<std::int64_t>(rest % 1740) - 840;
                    const std::uint64_t dmy = rest / 1740;
                    const std::uint64_t day = dmy % 31 + 1;
                    const std::uint64_t month = dmy / 31 % 12 + 1;
                    const std::int64_t year = static_cast<std::int64_t>(dmy / 372) - 9999;
                    if (year < 1 || year > 9999) return false;
                    return ascii(Digits(static_cast<std::uint64_t>(year), 4) + "-" + Digits(month, 2) + "-" +
                                 Digits(day, 2) + Zone(static_cast<int>(-adjust)));
                }
                if (kind != (token == kXsdTime ? 0u : 2u)) return false;
                const std::uint64_t ms = rest % 1000;
                rest /= 1000;
                const std::uint64_t s = rest % 60;
                rest /= 60;
                const std::uint64_t m = rest % 60;
                rest /= 60;
                const std::string time = Digits(rest % 24, 2) + ":" + Digits(m, 2) + ":" + Digits(s, 2) + Fraction(ms, 3);
                if (token == kXsdTime) return rest < 24 && ascii(time + "Z");
                rest /= 24;
                const std::uint64_t day = rest % 31 + 1;
                const std::uint64_t month = rest / 31 % 12 + 1;
                const std::int64_t year = static_cast<std::int64_t>(rest / 372) - 9999;
                if (year < 1 || year > 9999) return false;
                return ascii(Digits(static_cast<std::uint64_t>(year), 4) + "-" + Digits(month, 2) + "-" + Digits(day, 2) +
                             "T" + time + "Z");
            }
            case kDate2: {
                if (!version2_ || !Fixed(3, v)) return false;
                const std::string date = DateOfDays(static_cast<std::int64_t>(v) - kDaysFrom0001To1970);
                return !date.empty() && ascii(date);
            }
            case kTime2:
            case kDateTime2:
            case kDateTimeOffset:
            case kDateOffset:
            case kTimeOffset: {
                if (!version2_) return false;
                std::uint64_t scale = 0;
                if (!Fixed(1, scale) || scale > 7) return false;
                std::uint64_t units = 0, days = 0, zone = 0;
                if (!Fixed(scale <= 2 ? 3 : scale <= 4 ? 4 : 5, units) || !Fixed(3, days)) return false;
                const bool offset = token == kDateTimeOffset || token == kDateOffset || token == kTimeOffset;
                if (offset && !Fixed(2, zone)) return false;
                std::uint64_t per_second = 1;
                for (std::uint64_t i = 0; i < scale; ++i) per_second *= 10;
                // The stored time is UTC for the offset types; written with its offset it is the local time.
                const int minutes = offset ? static_cast<std::int16_t>(zone) : 0;
                std::int64_t total = static_cast<std::int64_t>(units) +
                                     static_cast<std::int64_t>(minutes) * 60 * static_cast<std::int64_t>(per_second);
                const std::int64_t per_day = 86400 * static_cast<std::int64_t>(per_second);
                std::int64_t day = static_cast<std::int64_t>(days) - kDaysFrom0001To1970;
                day += total >= 0 ? total / per_day : -((-total + per_day - 1) / per_day);
                total = ((total % per_day) + per_day) % per_day;
                const auto seconds = static_cast<std::uint64_t>(total) / per_second;
                const std::string time = Digits(seconds / 3600, 2) + ":" + Digits(seconds / 60 % 60, 2) + ":" +
                                         Digits(seconds % 60, 2) +
                                         Fraction(static_cast<std::uint64_t>(total) % per_second, static_cast<int>(scale));
                const std::string date = DateOfDays(day);
                if (date.empty()) return false;
                const std::string zone_text = offset ? Zone(minutes) : "";
                switch (token) {
                    case kTime2: return ascii(time);
                    case kDateTime2: return ascii(date + "T" + time);
                    case kDateOffset: return ascii(date + zone_text);
                    case kTimeOffset: return ascii(time + zone_text);
                    default: return ascii(date + "T" + time + zone_text);
                }
            }
            case kXsdQName: {
                QName q;
                if (!QNameRef(t, q)) return false;
                text = QNameText(t, q);
                return true;
            }
            default: return false;
        }
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool version2_ = false;
    std::u16string out_;
    std::vector<std::pair<std::u16string, std::u16string>> scopes_;  // (prefix, namespace) in scope, innermost last
};

}  // namespace

std::optional<std::u16string> BinaryXmlText(std::span<const std::uint8_t> bytes) { return Converter(bytes).Run(); }

}  // namespace rows
