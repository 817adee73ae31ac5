// Windows collations: family number in bits 0-11, sensitivity flags in bits 12-15 (case, accent, kana, width),
// 0x10000 the family's binary collation, 0x20000 the families added with version 90. SQL collations: a sort
// order id in bits 24-31, matched on all 32 bits.
#include "mdf/collation_names.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace mdf {

namespace {

constexpr char16_t kDefault[] = u"Latin1_General_CI_AS";

enum class Family { None, Plain, WithNibbleZero, HindiOnly, Version90Only };

struct FamilyName {
    std::uint16_t number;
    const char16_t* name;
    Family kind;
    std::uint16_t code_page;  // of its 8-bit text; 0: the family has no 8-bit text (Unicode only)
};

constexpr std::array<FamilyName, 51> kFamilies{{
    {0x01, u"Arabic", Family::WithNibbleZero, 1256},
    {0x03, u"Chinese_Taiwan_stroke", Family::Plain, 950},
    {0x04, u"Czech", Family::Plain, 1250},
    {0x05, u"Danish_norwegian", Family::Plain, 1252},
    {0x07, u"Greek", Family::Plain, 1253},
    {0x08, u"Latin1_General", Family::WithNibbleZero, 1252},
    {0x09, u"Traditional_Spanish", Family::Plain, 1252},
    {0x0A, u"Finnish_swedish", Family::Plain, 1252},
    {0x0B, u"French", Family::Plain, 1252},
    {0x0C, u"Hebrew", Family::Plain, 1255},
    {0x0D, u"Hungarian", Family::Plain, 1250},
    {0x0E, u"Icelandic", Family::Plain, 1252},
    {0x10, u"Japanese", Family::Plain, 932},
    {0x11, u"Korean_wansung", Family::Plain, 949},
    {0x13, u"Polish", Family::Plain, 1250},
    {0x14, u"Romanian", Family::Plain, 1250},
    {0x15, u"Cyrillic_General", Family::Plain, 1251},
    {0x16, u"Croatian", Family::Plain, 1250},
    {0x17, u"Slovak", Family::Plain, 1250},
    {0x18, u"Albanian", Family::WithNibbleZero, 1250},
    {0x19, u"Thai", Family::Plain, 874},
    {0x1A, u"Turkish", Family::Plain, 1254},
    {0x1B, u"Ukrainian", Family::Plain, 1251},
    {0x1C, u"Slovenian", Family::Plain, 1250},
    {0x1D, u"Estonian", Family::Plain, 1257},
    {0x1E, u"Latvian", Family::Plain, 1257},
    {0x1F, u"Lithuanian", Family::Plain, 1257},
    {0x20, u"Vietnamese", Family::Plain, 1258},
    {0x21, u"Macedonian", Family::Plain, 1251},
    {0x22, u"Hindi", Family::HindiOnly, 0},
    {0x24, u"Chinese_Prc", Family::WithNibbleZero, 936},
    {0x27, u"Lithuanian_Classic", Family::Plain, 1257},
    {0x28, u"Modern_Spanish", Family::Plain, 1252},
    {0x29, u"German_Phonebook", Family::Plain, 1252},
    {0x2A, u"Hungarian_Technical", Family::Plain, 1250},
    {0x2B, u"Japanese_Unicode", Family::Plain, 932},
    {0x2C, u"Korean_wansung_unicode", Family::Plain, 949},
    {0x2D, u"Georgian_Modern_Sort", Family::Plain, 1252},
    {0x2E, u"Chinese_Prc_Stroke", Family::WithNibbleZero, 936},
    {0x2F, u"Chinese_Taiwan_Bopomofo", Family::WithNibbleZero, 950},
    {0x35, u"Indic_General", Family::Version90Only, 0},
    {0x36, u"Azeri_Latin", Family::Version90Only, 1254},
    {0x37, u"Kazakh", Family::Version90Only, 1251},
    {0x38, u"Uzbek_Latin", Family::Version90Only, 1254},
    {0x39, u"Tatar", Family::Version90Only, 1251},
    {0x3A, u"Macedonian_FYROM", Family::Version90Only, 1251},
    {0x3B, u"Syriac", Family::Version90Only, 0},
    {0x3C, u"Divehi", Family::Version90Only, 0},
    {0x3D, u"Azeri_Cyrillic", Family::Version90Only, 1251},
    {0x3E, u"Chinese_Hong_Kong_Stroke", Family::Version90Only, 950},
    {0x00, nullptr, Family::None, 0},
}};

constexpr std::array<std::pair<std::uint32_t, const char16_t*>, 75> kSqlCollations{{
    {0x1E010008, u"SQL_Latin1_General_CP437_BIN"},
    {0x1F00C008, u"SQL_Latin1_General_CP437_CS_AS"},
    {0x2000D008, u"SQL_Latin1_General_CP437_CI_AS"},
    {0x2100D008, u"SQL_Latin1_General_Pref_CP437_CI_AS"},
    {0x2200F008, u"SQL_Latin1_General_CP437_CI_AI"},
    {0x28010008, u"SQL_Latin1_General_CP850_BIN"},
    {0x2900C008, u"SQL_Latin1_General_CP850_CS_AS"},
    {0x2A00D008, u"SQL_Latin1_General_CP850_CI_AS"},
    {0x2B00D008, u"SQL_Latin1_General_Pref_CP850_CI_AS"},
    {0x2C00F008, u"SQL_Latin1_General_CP850_CI_AI"},
    {0x3100D008, u"SQL_1xCompat_CP850_CI_AS"},
    {0x3300C008, u"SQL_Latin1_General_CP1_CS_AS"},
    {0x3400D008, u"SQL_Latin1_General_CP1_CI_AS"},
    {0x3500D008, u"SQL_Latin1_General_Pref_CP1_CI_AS"},
    {0x3600F008, u"SQL_Latin1_General_CP1_CI_AI"},
    {0x3700C008, u"SQL_AltDiction_CP850_CS_AS"},
    {0x3800D008, u"SQL_AltDiction_Pref_CP850_CI_AS"},
    {0x3900F008, u"SQL_AltDiction_CP850_CI_AI"},
    {0x3A00D00A, u"SQL_Scandinavian_Pref_CP850_CI_AS"},
    {0x3B00C00A, u"SQL_Scandinavian_CP850_CS_AS"},
    {0x3C00D00A, u"SQL_Scandinavian_CP850_CI_AS"},
    {0x3D00D008, u"SQL_AltDiction_CP850_CI_AS"},
    {0x5100C008, u"SQL_Latin1_General_CP1250_CS_AS"},
    {0x5200D008, u"SQL_Latin1_General_CP1250_CI_AS"},
    {0x5300C004, u"SQL_Czech_CP1250_CS_AS"},
    {0x5300D016, u"SQL_Czech_CP1250_CS_AS"},
    {0x5400D004, u"SQL_Czech_CP1250_CI_AS"},
    {0x5400D016, u"SQL_Czech_CP1250_CI_AS"},
    {0x5500C00D, u"SQL_Hungarian_CP1250_CS_AS"},
    {0x5600D00D, u"SQL_Hungarian_CP1250_CI_AS"},
    {0x5700C013, u"SQL_Polish_CP1250_CS_AS"},
    {0x5800D013, u"SQL_Polish_CP1250_CI_AS"},
    {0x5900C014, u"SQL_Romanian_CP1250_CS_AS"},
    {0x5A00D014, u"SQL_Romanian_CP1250_CI_AS"},
    {0x5C00D016, u"SQL_Croatian_CP1250_CI_AS"},
    {0x5D00C917, u"SQL_Slovak_CP1250_CS_AS"},
    {0x5D00D016, u"SQL_Croatian_CP1250_CS_AS"},
    {0x5E00D017, u"SQL_Slovak_CP1250_CI_AS"},
    {0x5F00C01C, u"SQL_Slovenian_CP1250_CS_AS"},
    {0x6000D01C, u"SQL_Slovenian_CP1250_CI_AS"},
    {0x6900C008, u"SQL_Latin1_General_CP1251_CS_AS"},
    {0x6A00D008, u"SQL_Latin1_General_CP1251_CI_AS"},
    {0x6B00C01B, u"SQL_Ukrainian_CP1251_CS_AS"},
    {0x6C00D01B, u"SQL_Ukrainian_CP1251_CI_AS"},
    {0x7100C008, u"SQL_Latin1_General_CP1253_CS_AS"},
    {0x7200D008, u"SQL_Latin1_General_CP1253_CI_AS"},
    {0x7800C008, u"SQL_MixDiction_CP1253_CS_AS"},
    {0x7900D008, u"SQL_AltDiction_CP1253_CS_AS"},
    {0x7C00F008, u"SQL_Latin1_General_CP1253_CI_AI"},
    {0x8100C01A, u"SQL_Latin1_General_CP1254_CS_AS"},
    {0x8200D01A, u"SQL_Latin1_General_CP1254_CI_AS"},
    {0x8900C008, u"SQL_Latin1_General_CP1255_CS_AS"},
    {0x8A00D008, u"SQL_Latin1_General_CP1255_CI_AS"},
    {0x9100C008, u"SQL_Latin1_General_CP1256_CS_AS"},
    {0x9200D008, u"SQL_Latin1_General_CP1256_CI_AS"},
    {0x9900C008, u"SQL_Latin1_General_CP1257_CS_AS"},
    {0x9A00D008, u"SQL_Latin1_General_CP1257_CI_AS"},
    {0x9B00C01D, u"SQL_Estonian_CP1257_CS_AS"},
    {0x9C00D01D, u"SQL_Estonian_CP1257_CI_AS"},
    {0x9D00C01E, u"SQL_Latvian_CP1257_CS_AS"},
    {0x9E00D01E, u"SQL_Latvian_CP1257_CI_AS"},
    {0x9F00C01F, u"SQL_Lithuanian_CP1257_CS_AS"},
    {0xA000D01F, u"SQL_Lithuanian_CP1257_CI_AS"},
    {0xB700D005, u"SQL_Danish_Pref_CP1_CI_AS"},
    {0xB800D00A, u"SQL_SwedishPhone_Pref_CP1_CI_AS"},
    {0xB900D00A, u"SQL_SwedishStd_Pref_CP1_CI_AS"},
    {0xBA00D00E, u"SQL_Icelandic_Pref_CP1_CI_AS"},
    {0xD200C008, u"SQL_EBCDIC037_CP1_CS_AS"},
    {0xD300C029, u"SQL_EBCDIC273_CP1_CS_AS"},
    {0xD400C005, u"SQL_EBCDIC277_CP1_CS_AS"},
    {0xD500C00A, u"SQL_EBCDIC278_CP1_CS_AS"},
    {0xD600C008, u"SQL_EBCDIC280_CP1_CS_AS"},
    {0xD700C028, u"SQL_EBCDIC284_CP1_CS_AS"},
    {0xD800C008, u"SQL_EBCDIC285_CP1_CS_AS"},
    {0xD900C00B, u"SQL_EBCDIC297_CP1_CS_AS"},
}};

const FamilyName* FindFamily(std::uint32_t number) {
    for (const auto& family : kFamilies) {
        if (family.name != nullptr && family.number == number) return &family;
    }
    return nullptr;
}

// The families of 2000 files that current servers no longer have, and the family each one's columns are
// written with: the same code page, the nearest sort.
struct Successor {
    std::uint16_t number;
    const char16_t* name;
};
constexpr std::array<Successor, 4> kSuccessors{{
    {0x22, u"Indic_General_90"},     // Hindi
    {0x21, u"Macedonian_FYROM_90"},  // Macedonian
    {0x27, u"Lithuanian"},           // Lithuanian_Classic
    {0x2C, u"Korean_Wansung"},       // Korean_wansung_unicode
}};

const char16_t* SuccessorOf(const FamilyName& family) {
    for (const auto& successor : kSuccessors) {
        if (successor.number == family.number) return successor.name;
    }
    return nullptr;
}

// The family of a Windows collation id and its name built from the flags, or no family when the id names none.
struct WindowsCollation {
    const FamilyName* family = nullptr;
    std::u16string suffix;  // "_CI_AS", "_Bin", "_90_CI_AS", ...
};

WindowsCollation WindowsName(std::uint32_t id) {
    // Bits 20 to 31 name no Windows collation (the top byte is a SQL collation's sort order).
    if ((id >> 20) != 0) return {};
    const FamilyName* family = FindFamily(id & 0xFFF);
    if (family == nullptr) return {};
    const std::uint32_t upper = id & 0xFF000;  // bits 12-19: flags, binary and version 90
    const std::uint32_t flags = (id >> 12) & 0xF;
    switch (family->kind) {
        case Family::HindiOnly: return id == 0xD022 ? WindowsCollation{family, u"_CI_AS"} : WindowsCollation{};
        case Family::Version90Only:
            return upper == 0x2D000 ? WindowsCollation{family, u"_90_CI_AS"} : WindowsCollation{};
        case Family::Plain:
        case Family::WithNibbleZero: break;
        case Family::None: return {};
    }
    if (upper == 0x10000) return {family, u"_Bin"};
    if (upper > 0xF000) return {};
    if (flags == 0 && family->kind != Family::WithNibbleZero) return {};
    std::u16string out;
    out += (flags & 0x1) ? u"_CI" : u"_CS";
    out += (flags & 0x2) ? u"_AI" : u"_AS";
    if ((flags & 0x4) == 0) out += u"_KS";
    if ((flags & 0x8) == 0) out += u"_WS";
    return {family, out};
}

const char16_t* SqlName(std::uint32_t id) {
    for (const auto& [sql_id, name] : kSqlCollations) {
        if (sql_id == id) return name;
    }
    return nullptr;
}

std::u16string Hex(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", id);
    return std::u16string(text, text + std::strlen(text));
}

}  // namespace

CollationChoice ChooseCollation(std::uint32_t id) {
    if (const char16_t* sql = SqlName(id)) return {sql, {}};
    const WindowsCollation windows = WindowsName(id);
    if (windows.family == nullptr) {
        return {kDefault, u"collation id " + Hex(id) + u" names no collation: written as " + kDefault};
    }
    const std::u16string stored = windows.family->name + windows.suffix;
    const char16_t* successor = SuccessorOf(*windows.family);
    if (successor == nullptr) return {stored, {}};
    std::u16string suffix = windows.suffix;
    if (windows.family->kind == Family::HindiOnly) suffix = u"_CI_AS";  // the _90 family carries the version
    const std::u16string name = successor + suffix;
    return {name, u"collation " + stored + u" is not on current servers: written as " + name};
}

std::u16string CollationName(std::uint32_t id) { return ChooseCollation(id).name; }

bool IsKnownCollation(std::uint32_t id) { return SqlName(id) != nullptr || WindowsName(id).family != nullptr; }

std::uint16_t CollationCodePage(std::uint32_t id) {
    if (const char16_t* sql = SqlName(id)) {
        // SQL collations carry their code page in their name: CP1 is 1252, the others are written whole.
        const std::u16string_view name(sql);
        const std::size_t at = name.find(u"_CP");
        if (at == std::u16string_view::npos) return 0;
        unsigned number = 0;
        for (std::size_t i = at + 3; i < name.size() && name[i] >= u'0' && name[i] <= u'9'; ++i) {
            number = number * 10 + static_cast<unsigned>(name[i] - u'0');
        }
        return static_cast<std::uint16_t>(number == 1 ? 1252 : number);
    }
    const WindowsCollation windows = WindowsName(id);
    return windows.family == nullptr ? 0 : windows.family->code_page;
}

}  // namespace mdf
