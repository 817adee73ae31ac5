// Captured uniqueidentifier texts: every text comes back exactly as it went in, well-formed or not.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mdf/captured_guid.h"
#include "platform/text.h"

namespace {

using mdf::CapturedGuid;

std::string U8(const std::u16string& s) { return platform::ToUtf8(s); }

struct GuidCase {
    const char* what;
    std::u16string text;
};

const std::vector<GuidCase>& Cases() {
    static const std::vector<GuidCase> cases = {
        {"empty", u""},
        {"braced, upper case (the decoder's form)", u"{00112233-4455-6677-8899-AABBCCDDEEFF}"},
        {"braced, lower case", u"{0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d}"},
        {"without braces", u"A0B1C2D3-E4F5-0617-2839-4A5B6C7D8E9F"},
        {"mixed case digit by digit", u"{aBcDeF01-23aB-cD45-Ef67-89abCDEF0123}"},
        {"digits only", u"{01234567-8901-2345-6789-012345678901}"},
        {"all letters, last digit lower", u"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFf}"},
        {"short test id", u"{F}"},
        {"opening brace only", u"{00112233-4455-6677-8899-AABBCCDDEEFF"},
        {"closing brace only", u"00112233-4455-6677-8899-AABBCCDDEEFF}"},
        {"a dash moved", u"{0011223-34455-6677-8899-AABBCCDDEEFF}"},
        {"a letter beyond F", u"{00112233-4455-6677-8899-AABBCCDDEEFG}"},
        {"a dash in place of a digit", u"{00112233-4455-6677-8899-AABBCCDDEE-F}"},
        {"other brackets", u"(00112233-4455-6677-8899-AABBCCDDEEFF)"},
        {"non-Latin letters", u"{ÄÖÜ-ЖЯ}"},
        {"one character too many", u"{00112233-4455-6677-8899-AABBCCDDEEFF0}"},
    };
    return cases;
}

TEST(CapturedGuid, GivesBackTheTextItWasMadeFrom) {
    for (const auto& c : Cases()) {
        const CapturedGuid guid(c.text);
        EXPECT_EQ(U8(guid.Text()), U8(c.text)) << c.what;
        EXPECT_EQ(U8(guid.LowerText()), U8(platform::ToLower(c.text))) << c.what;
        EXPECT_EQ(guid.size(), c.text.size()) << c.what;
        EXPECT_EQ(guid.empty(), c.text.empty()) << c.what;
        EXPECT_TRUE(guid == c.text) << c.what;
    }
}

TEST(CapturedGuid, CopiesMovesAndAssignmentsKeepTheText) {
    for (const auto& c : Cases()) {
        for (const auto& other : Cases()) {
            const CapturedGuid original(c.text);
            CapturedGuid copy = original;
            EXPECT_EQ(U8(copy.Text()), U8(c.text)) << c.what;
            CapturedGuid target(other.text);
            target = copy;
            EXPECT_EQ(U8(target.Text()), U8(c.text)) << c.what << " over " << other.what;
            CapturedGuid moved(std::move(copy));
            EXPECT_EQ(U8(moved.Text()), U8(c.text)) << c.what;
            CapturedGuid move_target(other.text);
            move_target = std::move(moved);
            EXPECT_EQ(U8(move_target.Text()), U8(c.text)) << c.what << " over " << other.what;
            EXPECT_EQ(move_target == original, true) << c.what;
            EXPECT_EQ(CapturedGuid(other.text) == original, other.text == c.text) << c.what << " and " << other.what;
        }
    }
}

}  // namespace
