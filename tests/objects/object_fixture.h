// A data file of definition rows written from code, an engine opened on it, a scripted server behind the
// engine's connection and a failure folder: what the stored-object passes need, and what they leave.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"
#include "tests/mdf/key_records.h"

namespace objtest {

using keytest::Bytes;

// A server that refuses statements containing a text, and statements that need another one made first.
class ScriptedServer final : public platform::ISqlBackend {
public:
    void Open(const std::u16string&) override { open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    void Execute(const platform::SqlStatement& statement) override {
        const std::u16string& text = statement.m_strText;
        executed.push_back(text);
        for (const auto& refused : refuse) {
            if (text.find(refused) != std::u16string::npos) Refuse();
        }
        for (const auto& [needle, needed] : needs) {
            if (text.find(needle) == std::u16string::npos) continue;
            bool made = false;
            for (const auto& earlier : accepted) made = made || earlier.find(needed) != std::u16string::npos;
            if (!made) Refuse();
        }
        accepted.push_back(text);
    }

    std::vector<std::u16string> refuse;
    std::vector<std::pair<std::u16string, std::u16string>> needs;  // (statement text, text of one made before)
    std::vector<std::u16string> executed, accepted;

private:
    [[noreturn]] static void Refuse() { throw platform::SqlError(u"refused", 0x80040E14u, u"server", u"refused"); }
    bool open_ = false;
};

// sysobjvalues definition row (value class 1, sub-id 0); end_override replaces the end of the text.
inline Bytes Row2005(std::uint32_t object_id, const Bytes& text, int end_override = -1) {
    return keytest::ObjectValueRecord(1, object_id, 0, std::string(text.begin(), text.end()), end_override);
}
inline Bytes Ascii(std::string_view text) { return {text.begin(), text.end()}; }
inline Bytes Wide(std::u16string_view text) { return testsupport::Utf16Le(text); }

// sysobjvalues row whose text is a large-value root over the records (page, slot); form 2: 8-bit records.
inline Bytes LargeRow2005(std::uint32_t object_id, std::uint8_t form, const std::vector<std::pair<std::uint32_t, std::uint16_t>>& records,
                          std::uint8_t type = 4) {
    Bytes r = keytest::ObjectValueRecord(1, object_id, 0, "");
    r[28] = form;
    r.resize(48, 0);
    r[32] = type;
    for (const auto& [page, slot] : records) {
        keytest::Append(r, testsupport::LE32(page));
        keytest::Append(r, testsupport::LE16(1));
        keytest::Append(r, testsupport::LE16(slot));
        keytest::Append(r, Bytes(4, 0));
    }
    keytest::Put16(r, 24, static_cast<std::uint16_t>(0x8000 | r.size()));
    return r;
}

// A large-value data record holding the bytes.
inline Bytes TextRecord(const Bytes& data) {
    Bytes r = {0x08, 0x00};
    keytest::Append(r, testsupport::LE16(static_cast<std::uint16_t>(14 + data.size())));
    keytest::Append(r, testsupport::LE64(0x1234));
    keytest::Append(r, testsupport::LE16(3));
    keytest::Append(r, data);
    return r;
}

// syscomments row: object, procedure number, sequence, status byte at 12, UTF-16 text from 21.
inline Bytes Row2000(std::uint32_t object_id, std::uint16_t number, std::uint16_t sequence, std::u16string_view text,
                     std::uint8_t status = 2) {
    Bytes r = keytest::CommentRecord(object_id, number, text);
    keytest::Put16(r, 10, sequence);
    r[12] = status;
    return r;
}

// One failure entry as the files hold it.
inline std::string Entry(const std::string& body) {
    const std::string separator = "\n\r\n\r\n\r\n\r";
    return separator + body + separator + std::string(135, '=');
}
inline std::string WideBody(std::u16string_view text) {
    const Bytes b = testsupport::Utf16Le(text);
    return {b.begin(), b.end()};
}

class ObjectRepair {
public:
    // Definition pages from page 40 on; other pages (large-value records) by number.
    ObjectRepair(const std::vector<std::vector<Bytes>>& definition_pages, bool sql2005,
                 const std::map<std::uint64_t, std::vector<Bytes>>& other_pages = {}) {
        testsupport::FileBuilder file;
        for (std::size_t i = 0; i < definition_pages.size(); ++i) {
            file.SetPage(40 + i, keytest::SystemPage(sql2005 ? 60 : 6, definition_pages[i]));
        }
        for (const auto& [number, records] : other_pages) {
            // Pages of large-value records are text pages.
            auto page = keytest::SystemPage(0, records);
            page.U8(1, 3);
            file.SetPage(number, page);
        }
        keys_ = std::make_unique<keytest::KeyEngine>(file);
        for (std::size_t i = 0; i < definition_pages.size(); ++i) {
            engine().m_plDefinitions.Add(keytest::PageOffset(40 + i), definition_pages[i].size());
        }
        keys_->app().m_bSql2005Catalog = sql2005;
        server = std::make_shared<ScriptedServer>();
        engine().m_pConnection = std::make_shared<platform::Connection>(server);
        engine().m_pConnection->Open(u"target");
        engine().m_strFailureFolder = platform::FromUtf8(folder_.Path().string());
        keys_->sink().on_send = [this](unsigned message, platform::WPARAM, platform::LPARAM) {
            if (message == platform::WM_LOG_LINE) log.push_back(app().m_strLogLine);
        };
    }

    bool opened() const { return keys_->opened(); }
    mdf::CRecoveryEngine& engine() { return keys_->engine(); }
    platform::SharedState& app() { return keys_->app(); }
    platform::RecordingSink& sink() { return keys_->sink(); }
    const std::filesystem::path& folder() const { return folder_.Path(); }

    // The failure file's bytes; "<missing>" when it was not made.
    std::string File(const std::string& name) const {
        std::ifstream in(folder_.Path() / name, std::ios::binary);
        if (!in) return "<missing>";
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    template <typename Node>
    Node& Add(std::list<Node>& list, std::int32_t id, std::u16string name) {
        Node& node = list.emplace_back();
        node.m_nObjectId = id;
        if constexpr (std::is_same_v<Node, mdf::ProcedureNode>) {
            node.m_strName = std::move(name);
        } else {
            node.m_pszName = std::move(name);
        }
        return node;
    }

    std::shared_ptr<ScriptedServer> server;
    std::vector<std::u16string> log;

private:
    testsupport::TempDir folder_;
    std::unique_ptr<keytest::KeyEngine> keys_;
};

}  // namespace objtest
