#include "core/install_journal.h"

#include <algorithm>

#include "host/host_rules.h"

namespace brunvald {

namespace {

constexpr char16_t kHeader[] = u"Brunvald install journal 1\n";
constexpr char16_t kEnd[] = u"end ";

bool KnownMark(char16_t unit) {
    return unit == u'F' || unit == u'w' || unit == u'W' || unit == u'S';
}

void AppendField(Text& text, const Text& field) {
    text += DecimalText(static_cast<std::uint32_t>(field.size())) + u':' + field;
}

// A decimal number at pos, followed by `stop`; false when there is none.
bool ReadNumber(const Text& text, std::size_t& pos, char16_t stop, std::size_t& value) {
    value = 0;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
        if (pos - start >= 9) return false;
        value = value * 10 + static_cast<std::size_t>(text[pos] - u'0');
        ++pos;
    }
    if (pos == start || pos >= text.size() || text[pos] != stop) return false;
    ++pos;
    return true;
}

bool ReadField(const Text& text, std::size_t& pos, Text& field) {
    std::size_t length = 0;
    if (!ReadNumber(text, pos, u':', length) || text.size() - pos < length) return false;
    field = text.substr(pos, length);
    pos += length;
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeJournal(const std::vector<JournalRecord>& records) {
    Text text = kHeader;
    for (const JournalRecord& record : records) {
        text += static_cast<char16_t>(record.mark);
        AppendField(text, record.path);
        AppendField(text, record.backup);
        AppendField(text, record.resource);
        text += u'\n';
    }
    text += kEnd + DecimalText(static_cast<std::uint32_t>(records.size())) + u'\n';
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

bool DecodeJournal(Bytes bytes, std::vector<JournalRecord>& records) {
    records.clear();
    if (bytes.size() % 2 != 0) return false;
    Text text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    const Text header = kHeader;
    if (text.compare(0, header.size(), header) != 0) return false;
    std::size_t pos = header.size();
    std::vector<JournalRecord> read;
    while (pos < text.size() && KnownMark(text[pos])) {
        JournalRecord record;
        record.mark = static_cast<JournalMark>(text[pos++]);
        if (!ReadField(text, pos, record.path) || !ReadField(text, pos, record.backup) ||
            !ReadField(text, pos, record.resource) || pos >= text.size() || text[pos] != u'\n')
            return false;
        ++pos;
        read.push_back(std::move(record));
    }
    const Text end = kEnd;
    if (text.compare(pos, end.size(), end) != 0) return false;
    pos += end.size();
    std::size_t count = 0;
    if (!ReadNumber(text, pos, u'\n', count) || count != read.size() || pos != text.size())
        return false;
    records = std::move(read);
    return true;
}

Text JournalPath(const InstallPaths& paths, const MissionIdentity& identity) {
    return paths.dataFolder + u"Brunvald-" + identity.missionMarker + u".journal";
}

InstallJournal::InstallJournal(HostOps& host, Text path) : host_(host), path_(std::move(path)) {
    std::vector<std::uint8_t> bytes;
    switch (host_.ReadWholeFile(path_, bytes)) {
    case HostOps::FileRead::Missing: condition_ = Condition::Missing; break;
    case HostOps::FileRead::Read:
        condition_ = DecodeJournal(bytes, records_) ? Condition::Valid : Condition::Unreadable;
        break;
    case HostOps::FileRead::Failed: condition_ = Condition::Unreadable; break;
    }
}

const JournalRecord* InstallJournal::Find(const Text& path) const {
    const auto found = std::find_if(records_.begin(), records_.end(), [&](const JournalRecord& r) {
        return SamePathText(r.path, path);
    });
    return found == records_.end() ? nullptr : &*found;
}

void InstallJournal::Note(const JournalRecord& record) {
    const auto found = std::find_if(records_.begin(), records_.end(), [&](const JournalRecord& r) {
        return SamePathText(r.path, record.path);
    });
    bool savedGameFile = record.mark == JournalMark::Saved;
    if (found != records_.end()) {
        if (*found == record && condition_ == Condition::Valid) return;  // stored already
        savedGameFile = savedGameFile || found->mark == JournalMark::Saved;
        *found = record;
    } else {
        records_.push_back(record);
    }
    Store(savedGameFile);
}

void InstallJournal::Forget(const Text& path) {
    bool savedGameFile = false;
    const auto dropped = std::erase_if(records_, [&](const JournalRecord& r) {
        if (!SamePathText(r.path, path)) return false;
        savedGameFile = savedGameFile || r.mark == JournalMark::Saved;
        return true;
    });
    if (dropped != 0) Store(savedGameFile);
}

void InstallJournal::Adopt(std::vector<JournalRecord> records) {
    records_ = std::move(records);
    Store(true);
}

void InstallJournal::Delete() {
    // A journal that will not go is harmless: it holds no record once the
    // runs have undone everything, and one left with records is adopted by
    // the next run as what it says.
    for (const Text& file : {path_, path_ + u".new"})
        if (host_.FileIsPresent(file)) (void)host_.RemoveFile(file);
    condition_ = Condition::Missing;
    records_.clear();
}

void InstallJournal::Store(bool savedGameFile) {
    const std::vector<std::uint8_t> bytes = EncodeJournal(records_);
    host_.ReplaceFileAtomically(path_, Bytes(bytes.data(), bytes.size()),
                                savedGameFile ? HostOps::Flush::ToMedium : HostOps::Flush::No);
    condition_ = Condition::Valid;
}

}  // namespace brunvald
