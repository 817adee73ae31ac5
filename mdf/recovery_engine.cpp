// Engine construction, data-file access with torn-sector restoration, the record lister of a page, and the
// small job helpers (stop, progress, log) that every engine loop uses.
#include "mdf/recovery_engine.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <thread>

#include "mdf/catalog_page.h"
#include "platform/text.h"

namespace mdf {

namespace {
constexpr std::uint64_t kTornBitsOffset = 60;
}  // namespace

CRecoveryEngine::CRecoveryEngine(platform::SharedState& app, platform::IMessageSink* progress,
                                 platform::IUserPrompts* prompts)
    : m_app(app),
      m_hProgressWnd(progress ? progress : &m_nullSink),
      m_pPrompts(prompts ? prompts : &m_silentPrompts),
      m_sleep([](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }) {}

CRecoveryEngine::~CRecoveryEngine() = default;

bool CRecoveryEngine::OpenDataFile() {
    m_bFileOpen = false;
    m_nFileSize = 0;
    m_strOpenError.clear();
    m_bOpenBusy = false;
    const std::string path = platform::ToSystemName(m_app.m_strDataFilePath);
    constexpr int kAttempts = 6;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (m_hDataFile.Open(path)) {
            m_nFileSize = m_hDataFile.Size();
            m_bFileOpen = true;
            return true;
        }
        m_strOpenError = platform::FromUtf8(m_hDataFile.LastError());
        m_bOpenBusy = m_hDataFile.LastOpenWasBusy();
        if (!m_bOpenBusy) return false;  // missing, not allowed or not a file: waiting changes nothing
        if (attempt < kAttempts) m_sleep(std::chrono::milliseconds(1000));
    }
    return false;
}

std::uint8_t CRecoveryEngine::RestoreTornBits(std::uint8_t value, std::int64_t offset) const {
    const auto& torn = m_app.m_abTornBits;
    if (torn[0] == 0 && torn[1] == 0 && torn[2] == 0 && torn[3] == 0) return value;
    // Files of the 2005 format that were not converted from 2000 carry no torn bits.
    if (m_app.m_bSql2005Catalog && !m_app.m_bConvertedFrom2000) return value;
    const std::int64_t in_page = offset % static_cast<std::int64_t>(kPageSize);
    if (in_page <= static_cast<std::int64_t>(kSectorSize)) return value;  // sector 0 is never restored
    const int sector = static_cast<int>(in_page / static_cast<std::int64_t>(kSectorSize));
    const std::uint8_t bits = (torn[sector / 4] >> (2 * (sector % 4))) & 3;
    return static_cast<std::uint8_t>((value & 0xFC) | bits);
}

void CRecoveryEngine::RestoreSectorEnds(std::uint8_t* buffer, std::size_t n, std::uint64_t pos, Fixup fixup) const {
    if (fixup == Fixup::Single) {
        const std::uint64_t q = pos % kSectorSize;
        if (q == 0) return;  // a read that starts on a sector boundary is left as read
        const std::uint64_t to_boundary = kSectorSize - q;
        if (to_boundary <= n) {
            buffer[to_boundary - 1] = RestoreTornBits(buffer[to_boundary - 1], static_cast<std::int64_t>(pos));
        }
        return;
    }
    // Every sector end inside the read.
    std::uint64_t first = (kSectorSize - 1) - (pos % kSectorSize);
    for (std::uint64_t i = first; i < n; i += kSectorSize) {
        buffer[i] = RestoreTornBits(buffer[i], static_cast<std::int64_t>(pos + i));
    }
}

std::vector<std::uint8_t> CRecoveryEngine::ReadBytes(std::uint64_t pos, std::size_t n, Fixup fixup) {
    std::vector<std::uint8_t> out(n);
    ReadAt(pos, out.data(), n, fixup);
    return out;
}

std::uint32_t CRecoveryEngine::Read32(std::uint64_t pos, Fixup fixup) {
    std::uint8_t b[4] = {};
    ReadAt(pos, b, 4, fixup);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint64_t CRecoveryEngine::Read64(std::uint64_t pos, Fixup fixup) {
    std::uint8_t b[8] = {};
    ReadAt(pos, b, 8, fixup);
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
    return v;
}

void CRecoveryEngine::LoadTornBits(std::uint64_t page_offset) {
    ReadAt(page_offset + kTornBitsOffset, m_app.m_abTornBits.data(), 4);
}

bool CRecoveryEngine::ReadPageRecordOffsets(std::uint64_t page_offset) {
    m_app.m_abTornBits = {};
    std::uint32_t slot_count = Read16(page_offset + kPageHeaderSlotCountOffset);
    m_app.m_arrRecordOffsets.clear();
    LoadTornBits(page_offset);
    // A slot count larger than the page can hold is damage: read no more entries than fit, and since the
    // true end of the slot array is then unknown, hold each entry below its own slot.
    const bool count_damaged = slot_count > kMaxSlotEntries;
    slot_count = std::min(slot_count, kMaxSlotEntries);
    // Two slots that list one record are damage (the report names the page): the record is taken once.
    std::bitset<kPageSize> taken;
    for (std::uint32_t k = 0; k < slot_count; ++k) {
        const std::uint32_t entry_at = static_cast<std::uint32_t>(kPageSize) - 2 - 2 * k;
        const std::uint16_t entry = Read16(page_offset + entry_at, Fixup::Single);
        const std::uint32_t record_limit = count_damaged ? entry_at : static_cast<std::uint32_t>(kPageSize) - 2 * slot_count;
        // A record starts after the header and before the slot array; anything else is an empty slot or an
        // overwritten entry, and only that slot is lost.
        if (entry < kRecordAreaStart || entry >= record_limit) continue;
        if (taken[entry]) continue;
        taken[entry] = true;
        const std::uint64_t record = page_offset + entry;
        if (record >= m_nFileSize) continue;
        if (IsGhostRecord(Read8(record))) continue;
        m_app.m_arrRecordOffsets.push_back(record);
    }
    return true;
}

bool CRecoveryEngine::PostJobEndOnce() {
    // The documents handed over before the stop are settled before anyone hears of it.
    if (m_pPendingDocuments) m_pPendingDocuments->CommitUntilStop();
    if (!m_bStopPosted) {
        m_bStopPosted = true;
        m_hProgressWnd->Post(platform::WM_JOB_ENDED, 0, 0);
    }
    return true;
}

void CRecoveryEngine::SendProgress(platform::WPARAM stage, platform::LPARAM amount) {
    if (m_pPendingDocuments) m_pPendingDocuments->CommitAll();
    m_hProgressWnd->Send(platform::WM_JOB_PROGRESS, stage, amount);
}

void CRecoveryEngine::SendRecordCount() {
    if (m_pPendingDocuments) m_pPendingDocuments->CommitAll();
    m_hProgressWnd->Send(platform::WM_RECORD_COUNT, 0, 0);
}

void CRecoveryEngine::LogLine(const std::u16string& line) {
    if (m_pPendingDocuments) m_pPendingDocuments->CommitAll();
    m_app.m_strLogLine = line;
    m_hProgressWnd->Send(platform::WM_LOG_LINE, 0, 0);
}

void CRecoveryEngine::KeepLogLine() {
    std::lock_guard lock(m_app.m_logTextMutex);
    m_app.m_strLogText += m_app.m_strLogLine + u"\r\n";
}

void CRecoveryEngine::ShowMessage(const std::u16string& title, const std::u16string& text) {
    // The message fields belong to the user-interface thread: the dialog's own call sets them there.
    m_pPrompts->ShowMessage(title, text);
}

void CRecoveryEngine::ShowError(const std::u16string& title, const std::u16string& text) {
    m_pPrompts->ShowError(title, text);
}

std::u16string CRecoveryEngine::GetOwnerName(const TableNode& table) const {
    for (const auto& owner : m_lstOwners) {
        if (owner.m_nId == table.m_nSchemaId) return owner.m_strName;
    }
    return {};
}

}  // namespace mdf
