#include "core/install_journal.h"

#include <algorithm>

#include "core/mission_files.h"
#include "core/mission_model.h"
#include "host/host_rules.h"

namespace brunvald {

namespace {

constexpr char16_t kHeaderFirstForm[] = u"Brunvald install journal 1\n";
constexpr char16_t kHeader[] = u"Brunvald install journal 2\n";
constexpr char16_t kMission[] = u"mission ";
constexpr char16_t kEnd[] = u"end ";

bool KnownMark(char16_t unit) {
    return unit == u'F' || unit == u'w' || unit == u'W' || unit == u'S';
}

// A drive ("C:..."), a share or the root of the current drive.
bool IsWholePath(const Text& path) {
    return (path.size() >= 2 && path[1] == u':') || (!path.empty() && path[0] == u'\\');
}

// The path as stored: relative where it lies under the game folder.
Text Stored(const Text& path, const Text& gameFolder) {
    if (!gameFolder.empty() && path.size() > gameFolder.size() &&
        SamePathText(path.substr(0, gameFolder.size()), gameFolder))
        return path.substr(gameFolder.size());
    return path;
}

// The path as read: a relative one joined to the game folder.
Text Joined(const Text& stored, const Text& gameFolder) {
    return stored.empty() || IsWholePath(stored) ? stored : gameFolder + stored;
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

Text HexText(std::uint64_t value) {
    Text text(16, u'0');
    for (std::size_t i = 16; i-- > 0; value >>= 4) text[i] = u"0123456789abcdef"[value & 0xF];
    return text;
}

// Exactly 16 lower-case hexadecimal digits.
bool ReadHex(const Text& text, std::uint64_t& value) {
    value = 0;
    if (text.size() != 16) return false;
    for (char16_t unit : text) {
        const std::uint64_t digit = unit >= u'0' && unit <= u'9'   ? unit - u'0'
                                    : unit >= u'a' && unit <= u'f' ? unit - u'a' + 10
                                                                   : 16;
        if (digit == 16) return false;
        value = (value << 4) | digit;
    }
    return true;
}

// "size-time", or empty for a stamp not known.
Text StampText(const FileStamp& stamp) {
    return stamp == FileStamp{} ? Text() : HexText(stamp.size) + u'-' + HexText(stamp.lastWrite);
}

bool ReadStamp(const Text& text, FileStamp& stamp) {
    stamp = {};
    if (text.empty()) return true;
    return text.size() == 33 && text[16] == u'-' && ReadHex(text.substr(0, 16), stamp.size) &&
           ReadHex(text.substr(17), stamp.lastWrite) && !(stamp == FileStamp{});
}

// Whether text continues at pos with the literal, which is then passed.
bool Passes(const Text& text, std::size_t& pos, const Text& literal) {
    if (text.compare(pos, literal.size(), literal) != 0) return false;
    pos += literal.size();
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeJournal(const JournalContent& content, const Text& gameFolder) {
    Text text = kHeader;
    text += kMission;
    AppendField(text, content.missionName);
    text += u'\n';
    for (const JournalRecord& record : content.records) {
        text += static_cast<char16_t>(record.mark);
        AppendField(text, Stored(record.path, gameFolder));
        AppendField(text, Stored(record.backup, gameFolder));
        AppendField(text, record.resource);
        AppendField(text, StampText(record.stamp));
        text += u'\n';
    }
    text += kEnd + DecimalText(static_cast<std::uint32_t>(content.records.size())) + u'\n';
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

bool DecodeJournal(Bytes bytes, const Text& gameFolder, JournalContent& content) {
    content = {};
    if (bytes.size() % 2 != 0) return false;
    Text text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    std::size_t pos = 0;
    JournalContent read;
    const bool secondForm = Passes(text, pos, kHeader);
    if (secondForm) {
        if (!Passes(text, pos, kMission) || !ReadField(text, pos, read.missionName) ||
            !Passes(text, pos, u"\n"))
            return false;
    } else if (!Passes(text, pos, kHeaderFirstForm)) {
        return false;
    }
    while (pos < text.size() && KnownMark(text[pos])) {
        JournalRecord record;
        record.mark = static_cast<JournalMark>(text[pos++]);
        Text stamp;
        if (!ReadField(text, pos, record.path) || !ReadField(text, pos, record.backup) ||
            !ReadField(text, pos, record.resource) ||
            (secondForm && (!ReadField(text, pos, stamp) || !ReadStamp(stamp, record.stamp))) ||
            !Passes(text, pos, u"\n"))
            return false;
        // A journal of the first form for a game that has moved since names
        // no file of this game: it is of no use, as one cut short would be.
        if (!secondForm && (!IsWholePath(record.path) || Stored(record.path, gameFolder) == record.path))
            return false;
        record.path = Joined(record.path, gameFolder);
        record.backup = Joined(record.backup, gameFolder);
        read.records.push_back(std::move(record));
    }
    std::size_t count = 0;
    if (!Passes(text, pos, kEnd) || !ReadNumber(text, pos, u'\n', count) ||
        count != read.records.size() || pos != text.size())
        return false;
    content = std::move(read);
    return true;
}

Text JournalPath(const InstallPaths& paths, const MissionIdentity& identity) {
    return paths.dataFolder + u"Brunvald-" + identity.missionMarker + u".journal";
}

InstallJournal::InstallJournal(HostOps& host, const InstallPaths& paths, const MissionIdentity& identity)
    : InstallJournal(host, JournalPath(paths, identity), paths.gameFolder, identity.missionName) {}

InstallJournal::InstallJournal(HostOps& host, Text path, Text gameFolder, Text missionName)
    : host_(host), path_(std::move(path)), gameFolder_(std::move(gameFolder)) {
    std::vector<std::uint8_t> bytes;
    switch (host_.ReadWholeFile(path_, bytes)) {
    case HostOps::FileRead::Missing: condition_ = Condition::Missing; break;
    case HostOps::FileRead::Read:
        condition_ = DecodeJournal(bytes, gameFolder_, content_) ? Condition::Valid : Condition::Unreadable;
        break;
    case HostOps::FileRead::Failed: condition_ = Condition::Unreadable; break;
    }
    // Ours names the mission as this installer knows it; another's keeps
    // the name it was read with.
    if (!missionName.empty()) content_.missionName = std::move(missionName);
}

const JournalRecord* InstallJournal::Find(const Text& path) const {
    const auto found = std::find_if(content_.records.begin(), content_.records.end(),
                                    [&](const JournalRecord& r) { return SamePathText(r.path, path); });
    return found == content_.records.end() ? nullptr : &*found;
}

void InstallJournal::Start() {
    if (condition_ != Condition::Valid) Store(false);
}

void InstallJournal::Note(const JournalRecord& record) {
    auto& records = content_.records;
    const auto found = std::find_if(records.begin(), records.end(), [&](const JournalRecord& r) {
        return SamePathText(r.path, record.path);
    });
    bool savedGameFile = record.mark == JournalMark::Saved;
    if (found != records.end()) {
        if (*found == record && condition_ == Condition::Valid) return;  // stored already
        savedGameFile = savedGameFile || found->mark == JournalMark::Saved;
        *found = record;
    } else {
        records.push_back(record);
    }
    Store(savedGameFile);
}

void InstallJournal::Forget(const Text& path) {
    bool savedGameFile = false;
    const auto dropped = std::erase_if(content_.records, [&](const JournalRecord& r) {
        if (!SamePathText(r.path, path)) return false;
        savedGameFile = savedGameFile || r.mark == JournalMark::Saved;
        return true;
    });
    if (dropped != 0) Store(savedGameFile);
}

void InstallJournal::Adopt(std::vector<JournalRecord> records) {
    content_.records = std::move(records);
    Store(true);
}

void InstallJournal::Delete() {
    // A journal that will not go is harmless: it holds no record once the
    // runs have undone everything, and one left with records is adopted by
    // the next run as what it says.
    for (const Text& file : {path_, path_ + u".new"})
        if (host_.FileIsPresent(file)) (void)host_.RemoveFile(file);
    condition_ = Condition::Missing;
    content_.records.clear();
}

void InstallJournal::Store(bool savedGameFile) {
    const std::vector<std::uint8_t> bytes = EncodeJournal(content_, gameFolder_);
    host_.ReplaceFileAtomically(path_, Bytes(bytes.data(), bytes.size()),
                                savedGameFile ? HostOps::Flush::ToMedium : HostOps::Flush::No);
    condition_ = Condition::Valid;
}

void AdoptFromTheGame(InstallJournal& journal, HostOps& host, const MissionModel& mission,
                      const MissionIdentity& identity, AdoptionEvidence evidence) {
    std::vector<JournalRecord> records;
    const auto add = [&records](JournalRecord record) {
        for (const JournalRecord& known : records)
            if (SamePathText(known.path, record.path)) return;
        records.push_back(std::move(record));
    };
    const bool earlierBuild = evidence == AdoptionEvidence::EarlierBuild;
    for (const MissionEntry& entry : mission) {
        if (entry.folder.empty() || entry.kind == EntryKind::Other) continue;
        if (entry.kind == EntryKind::CampSet && earlierBuild && host.FolderIsPresent(entry.folder))
            add({JournalMark::FolderMade, entry.folder, {}, {}, {}});
        const Text target = TargetPath(entry);
        const Text backup = entry.folder + BackupName(identity, entry.fileName);
        if (host.FileIsPresent(backup))
            add({JournalMark::Saved, target, backup, entry.resourceName, {}});
        else if (earlierBuild && host.FileHoldsResource(entry.resourceName, target))
            add({JournalMark::Written, target, {}, entry.resourceName, {}});
    }
    if (!records.empty() || journal.condition() != InstallJournal::Condition::Missing)
        journal.Adopt(std::move(records));
}

}  // namespace brunvald
