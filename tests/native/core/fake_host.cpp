#include "tests/native/core/fake_host.h"

#include <algorithm>
#include <stdexcept>

#include "host/host_rules.h"
#include "tests/native/core/windows1252.h"

namespace brunvald::testing {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Windows drops the dots and blanks that end a path segment.
Text TrimSegmentEnd(Text segment) {
    while (!segment.empty() && (segment.back() == u'.' || segment.back() == u' '))
        segment.pop_back();
    return segment;
}

Text KeyComparable(const Text& path) {
    Text key = AsciiUpper(path);
    while (!key.empty() && key.back() == u'\\') key.pop_back();
    return key;
}

Text ParentOf(const Text& comparable) {
    const std::size_t cut = comparable.rfind(u'\\');
    return cut == Text::npos ? Text() : comparable.substr(0, cut);
}

bool IsBelow(const Text& comparable, const Text& folder) {
    return comparable.size() > folder.size() + 1 &&
           comparable.compare(0, folder.size(), folder) == 0 && comparable[folder.size()] == u'\\';
}

// "*" stands for any run of units, "?" for one; both texts comparable.
bool WildcardMatches(const Text& pattern, const Text& name) {
    if (pattern.empty()) return name.empty();
    if (pattern[0] == u'*')
        for (std::size_t skip = 0; skip <= name.size(); ++skip)
            if (WildcardMatches(pattern.substr(1), name.substr(skip))) return true;
    if (name.empty() || pattern[0] == u'*') return false;
    return (pattern[0] == u'?' || pattern[0] == name[0]) && WildcardMatches(pattern.substr(1), name.substr(1));
}

std::string Outcome(bool ok) { return ok ? "" : " [failed]"; }

// An open key: its comparable path and the identity of the key it was
// opened as. A key deleted (and perhaps created again under the same name)
// is another key, as it is for a Windows handle.
class FakeRegistryKey final : public RegistryKey {
public:
    FakeRegistryKey(FakeHost& host, Text key, std::uint64_t identity)
        : host_(host), key_(std::move(key)), identity_(identity) {
        ++host_.registryKeysOpen;
    }
    ~FakeRegistryKey() override { --host_.registryKeysOpen; }

    Text ReadText(const Text& valueName) override {
        const RegistryValue* value = Alive() ? host_.Value(key_, valueName) : nullptr;
        if (value == nullptr || value->text.empty()) return {};
        if (value->type == ValueType::Dword) throw HostError(RegistryTypeErrorMessage(valueName));
        return value->text.substr(0, value->text.find(u'\0'));
    }

    void WriteText(const Text& valueName, const Text& text) override {
        WriteValue(valueName, text, ValueType::Sz);
    }

    // A REG_DWORD is held as its decimal text.
    void WriteNumber(const Text& valueName, std::uint32_t number) override {
        const std::string decimal = std::to_string(number);
        WriteValue(valueName, Text(decimal.begin(), decimal.end()), ValueType::Dword);
    }

private:
    bool Alive() const {
        const auto found = host_.keys.find(key_);
        return found != host_.keys.end() && found->second.identity == identity_;
    }

    void WriteValue(const Text& valueName, const Text& text, ValueType type) {
        if (host_.KilledNow()) throw ProcessKilled{};
        if (!Alive() || host_.failingValueWrites.count(valueName)) {
            host_.log.push_back("RegWrite " + Utf8(valueName) + " [failed]");
            throw HostError(RegistryWriteErrorMessage(valueName));
        }
        const FakeHost::Key& key = host_.keys.at(key_);
        host_.log.push_back("RegWrite " + Utf8(key.path) + " : " + Utf8(valueName) + "=" + Utf8(text));
        host_.SetValue(key.path, valueName, text, type);
    }

    FakeHost& host_;
    Text key_;
    std::uint64_t identity_;
};

class FakeRegistryAccess final : public RegistryAccess {
public:
    explicit FakeRegistryAccess(FakeHost& host) : host_(host) {
        ++host_.registryAccessesStarted;
        ++host_.registryAccessesLive;
    }
    ~FakeRegistryAccess() override { --host_.registryAccessesLive; }

    bool KeyExists(const Text& path) override {
        RefuseLeadingSeparator(path);
        return !path.empty() && host_.keys.count(KeyComparable(path)) != 0;
    }

    std::unique_ptr<RegistryKey> OpenKey(const Text& path, bool create) override {
        RefuseLeadingSeparator(path);
        if (path.empty()) return nullptr;
        if (create) host_.AddKey(path);
        const auto found = host_.keys.find(KeyComparable(path));
        if (found == host_.keys.end() || found->second.denyFullAccess) return nullptr;
        return std::make_unique<FakeRegistryKey>(host_, found->first, found->second.identity);
    }

    bool DeleteKeyTree(const Text& path) override {
        RefuseLeadingSeparator(path);
        if (host_.KilledNow()) throw ProcessKilled{};
        const Text key = KeyComparable(path);
        const auto found = host_.keys.find(key);
        const bool ok = !key.empty() && found != host_.keys.end() && !found->second.denyFullAccess;
        host_.log.push_back("RegDelete " + Utf8(path) + Outcome(ok));
        if (!ok) return false;
        for (auto it = host_.keys.begin(); it != host_.keys.end();)
            it = it->first == key || IsBelow(it->first, key) ? host_.keys.erase(it) : std::next(it);
        return true;
    }

private:
    // Windows does not agree with itself on "\SOFTWARE\...": some 32-bit
    // programs on 64-bit Windows have it opened, elsewhere it is
    // ERROR_BAD_PATHNAME. The logic must never pass one, so a test that makes
    // it do so fails here at once.
    static void RefuseLeadingSeparator(const Text& path) {
        if (!path.empty() && path.front() == u'\\')
            throw std::invalid_argument("registry path with a leading \\: " + Utf8(path));
    }

    FakeHost& host_;
};

}  // namespace

std::string Utf8(const Text& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = u'?';
        }
        AppendUtf8(out, cp);
    }
    return out;
}

Bytes AsBytes(const std::string& bytes) {
    return Bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::uint8_t> ToBytes(const std::string& bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

FakeHost::FakeHost() = default;
FakeHost::~FakeHost() = default;

Text FakeHost::Comparable(const Text& path) {
    // Letters compare without case beyond ASCII too (a game folder "Kaiser Ä"
    // is found as "kaiser ä"); the Latin-1 letters stand for the rest.
    Text unified = path;
    for (char16_t& unit : unified)
        if ((unit >= u'a' && unit <= u'z') || (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7))
            unit = static_cast<char16_t>(unit - 0x20);
    std::replace(unified.begin(), unified.end(), u'/', u'\\');
    std::vector<Text> segments;
    std::size_t start = 0;
    while (start <= unified.size()) {
        std::size_t stop = unified.find(u'\\', start);
        if (stop == Text::npos) stop = unified.size();
        const Text raw = unified.substr(start, stop - start);
        if (raw == u"..") {
            if (segments.size() > 1) segments.pop_back();
        } else if (const Text segment = TrimSegmentEnd(raw); !segment.empty()) {
            segments.push_back(segment);
        }
        start = stop + 1;
    }
    Text joined;
    for (const Text& segment : segments) joined += (joined.empty() ? u"" : u"\\") + segment;
    return joined;
}

// --- Setting the scene ------------------------------------------------------

void FakeHost::AddFolder(const Text& path) {
    const Text comparable = Comparable(path);
    for (std::size_t cut = 0; cut != Text::npos;) {
        cut = comparable.find(u'\\', cut + 1);
        const Text folder = comparable.substr(0, cut);
        if (folder.find(u'\\') != Text::npos) folders_.insert(folder);  // drives always exist
    }
}

void FakeHost::MoveFolder(const Text& from, const Text& to) {
    const Text source = Comparable(from);
    const Text target = Comparable(to);
    const auto moved = [&](const Text& comparable) { return target + comparable.substr(source.size()); };
    std::map<Text, File> files;
    for (auto& [comparable, file] : files_) {
        if (comparable != source && !IsBelow(comparable, source)) {
            files[comparable] = std::move(file);
            continue;
        }
        file.path = WithSeparator(to) + file.path.substr(WithSeparator(from).size());
        files[moved(comparable)] = std::move(file);
    }
    files_ = std::move(files);
    std::set<Text> folders;
    for (const Text& folder : folders_)
        folders.insert(folder == source || IsBelow(folder, source) ? moved(folder) : folder);
    folders_ = std::move(folders);
    AddFolder(to);
}

void FakeHost::AddFile(const Text& path, const std::string& bytes, bool readOnly) {
    const Text comparable = Comparable(path);
    AddFolder(ParentOf(comparable));
    files_[comparable] = File{path, ToBytes(bytes), readOnly};
}

void FakeHost::SetReadOnly(const Text& path, bool readOnly) {
    files_.at(Comparable(path)).readOnly = readOnly;
}

void FakeHost::AddResource(const Text& name, const std::string& bytes, const Text& type) {
    resources_[AsciiUpper(type) + u'/' + AsciiUpper(name)] = ToBytes(bytes);
}

void FakeHost::RemoveResource(const Text& name, const Text& type) {
    resources_.erase(AsciiUpper(type) + u'/' + AsciiUpper(name));
}

// A key's parents always exist, as in the real registry.
void FakeHost::AddKey(const Text& path) {
    Text trimmed = path;
    while (!trimmed.empty() && trimmed.back() == u'\\') trimmed.pop_back();
    for (std::size_t cut = 0; cut != Text::npos && !trimmed.empty();) {
        cut = trimmed.find(u'\\', cut + 1);
        const Text key = trimmed.substr(0, cut);
        if (!keys.count(KeyComparable(key))) keys[KeyComparable(key)] = Key{key, {}, false, ++keysCreated};
    }
}

void FakeHost::SetValue(const Text& keyPath, const Text& name, const Text& text, ValueType type) {
    AddKey(keyPath);
    auto& values = keys[KeyComparable(keyPath)].values;
    for (RegistryValue& value : values) {
        if (AsciiUpper(value.name) == AsciiUpper(name)) {
            value.type = type;
            value.text = text;
            return;
        }
    }
    values.push_back(RegistryValue{name, type, text});
}

void FakeHost::DenyFullAccess(const Text& keyPath) {
    AddKey(keyPath);
    keys[KeyComparable(keyPath)].denyFullAccess = true;
}

// --- Looking at the outcome -------------------------------------------------

bool FakeHost::HasFile(const Text& path) const { return files_.count(Comparable(path)) != 0; }

bool FakeHost::HasFolder(const Text& path) const {
    const Text comparable = Comparable(path);
    return folders_.count(comparable) != 0 || comparable.find(u'\\') == Text::npos;
}

std::string FakeHost::FileBytes(const Text& path) const {
    const auto found = files_.find(Comparable(path));
    if (found == files_.end()) return {};
    return std::string(found->second.bytes.begin(), found->second.bytes.end());
}

bool FakeHost::IsReadOnly(const Text& path) const {
    const auto found = files_.find(Comparable(path));
    return found != files_.end() && found->second.readOnly;
}

std::vector<std::string> FakeHost::FilesBelow(const Text& folder) const {
    const Text base = Comparable(folder);
    std::vector<std::string> listing;
    for (const auto& [comparable, file] : files_)
        if (IsBelow(comparable, base))
            listing.push_back(Utf8(comparable.substr(base.size() + 1)) + "=" +
                              std::string(file.bytes.begin(), file.bytes.end()));
    return listing;
}

std::vector<std::string> FakeHost::FileListing() const {
    std::vector<std::string> listing;
    for (const auto& [comparable, file] : files_)
        listing.push_back(Utf8(comparable) + "=" +
                          std::string(file.bytes.begin(), file.bytes.end()));
    return listing;
}

bool FakeHost::HasKey(const Text& path) const {
    return keys.count(KeyComparable(path)) != 0;
}

const RegistryValue* FakeHost::Value(const Text& keyPath, const Text& name) const {
    const auto key = keys.find(KeyComparable(keyPath));
    if (key == keys.end()) return nullptr;
    for (const RegistryValue& value : key->second.values)
        if (AsciiUpper(value.name) == AsciiUpper(name)) return &value;
    return nullptr;
}

std::vector<std::string> FakeHost::ValuesOf(const Text& keyPath) const {
    std::vector<std::string> result;
    const auto key = keys.find(KeyComparable(keyPath));
    if (key == keys.end()) return result;
    for (const RegistryValue& value : key->second.values)
        result.push_back(Utf8(value.name) + "=" + Utf8(value.text));
    return result;
}

// --- Files and resources ------------------------------------------------------

const std::vector<std::uint8_t>* FakeHost::FindResource(const Text& type, const Text& name) const {
    const auto found = resources_.find(AsciiUpper(type) + u'/' + AsciiUpper(name));
    return found == resources_.end() ? nullptr : &found->second;
}

bool FakeHost::ParentExists(const Text& comparable) const {
    const Text parent = ParentOf(comparable);
    return parent.find(u'\\') == Text::npos ? !parent.empty() : folders_.count(parent) != 0;
}

void FakeHost::RaiseCannotCreate(const Text& path, const Text& reason) {
    log.push_back("Extract -> " + Utf8(path) + " [failed]");
    throw HostError(FileCreateErrorMessage(path, reason));
}

Bytes FakeHost::LoadResourceData(const Text& typeName, const Text& name) {
    const auto* bytes = FindResource(typeName, name);
    if (bytes == nullptr) throw HostError(ResourceNotFoundMessage(name));
    return Bytes(bytes->data(), bytes->size());
}

bool FakeHost::KilledNow() {
    return ++effects == killAt;
}

void FakeHost::ExtractResource(const Text& resourceName, const Text& targetPath) {
    const auto* bytes = FindResource(u"RT_RCDATA", resourceName);
    if (bytes == nullptr) {
        log.push_back("Extract " + Utf8(resourceName) + " [missing]");
        throw HostError(ResourceNotFoundMessage(resourceName));
    }
    const Text target = Comparable(targetPath);
    if (targetPath.size() >= kMaxPath)
        RaiseCannotCreate(targetPath, u"Der Dateiname oder die Erweiterung ist zu lang.");
    if (folders_.count(target) || !ParentExists(target))
        RaiseCannotCreate(targetPath, u"Das System kann den angegebenen Pfad nicht finden.");
    const auto existing = files_.find(target);
    if (existing != files_.end() && existing->second.readOnly)
        RaiseCannotCreate(targetPath, u"Zugriff verweigert.");
    if (KilledNow()) {
        files_[target] = File{targetPath, {bytes->begin(), bytes->begin() + bytes->size() / 2}};
        throw ProcessKilled{};
    }
    if (streamFailures.count(target)) {
        files_[target] = File{targetPath, {bytes->begin(), bytes->begin() + bytes->size() / 2}};
        log.push_back("Extract " + Utf8(resourceName) + " -> " + Utf8(targetPath) + " [stream]");
        throw HostError(StreamWriteErrorMessage());
    }
    files_[target] = File{targetPath, *bytes};
    log.push_back("Extract " + Utf8(resourceName) + " -> " + Utf8(targetPath));
}

bool FakeHost::FileHoldsResource(const Text& resourceName, const Text& path) {
    const auto* bytes = FindResource(u"RT_RCDATA", resourceName);
    const auto file = files_.find(Comparable(path));
    return bytes != nullptr && file != files_.end() && file->second.bytes == *bytes;
}

void FakeHost::MoveEntry(std::map<Text, File>::iterator file, const Text& to) {
    File moved = std::move(file->second);
    moved.path = to;
    files_.erase(file);
    files_[Comparable(to)] = std::move(moved);
}

bool FakeHost::RenameFile(const Text& from, const Text& to) {
    if (KilledNow()) throw ProcessKilled{};
    const Text source = Comparable(from), target = Comparable(to);
    const auto file = files_.find(source);
    const bool ok = file != files_.end() && !files_.count(target) && !folders_.count(target) &&
                    ParentExists(target) && to.size() < kMaxPath;
    log.push_back("Rename " + Utf8(from) + " -> " + Utf8(to) + Outcome(ok));
    if (ok) MoveEntry(file, to);
    return ok;
}

std::uint64_t FakeHost::NextWriteTime() {
    static std::uint64_t clock = 0;
    return ++clock;
}

bool FakeHost::StampOfFile(const Text& path, FileStamp& stamp) {
    const auto file = files_.find(Comparable(path));
    if (file == files_.end()) return false;
    stamp = {file->second.bytes.size(), file->second.lastWrite};
    return true;
}

bool FakeHost::RenameFileOver(const Text& from, const Text& to) {
    if (KilledNow()) throw ProcessKilled{};
    const Text source = Comparable(from), target = Comparable(to);
    if (falseSuccesses.count(target)) {
        log.push_back("RenameOver " + Utf8(from) + " -> " + Utf8(to) + " [reported only]");
        return true;
    }
    const auto file = files_.find(source);
    const auto existing = files_.find(target);
    const bool ok = file != files_.end() && !folders_.count(target) && ParentExists(target) &&
                    to.size() < kMaxPath && (existing == files_.end() || !existing->second.readOnly);
    log.push_back("RenameOver " + Utf8(from) + " -> " + Utf8(to) + Outcome(ok));
    if (ok) MoveEntry(file, to);
    return ok;
}

bool FakeHost::RemoveFile(const Text& path) {
    if (KilledNow()) throw ProcessKilled{};
    const auto file = files_.find(Comparable(path));
    if (falseSuccesses.count(Comparable(path))) {
        log.push_back("Remove " + Utf8(path) + " [reported only]");
        return true;
    }
    const bool ok = file != files_.end() && !file->second.readOnly;
    log.push_back("Remove " + Utf8(path) + Outcome(ok));
    if (ok) files_.erase(file);
    return ok;
}

bool FakeHost::FileIsPresent(const Text& path) { return HasFile(path); }

bool FakeHost::FolderIsPresent(const Text& path) {
    const Text comparable = Comparable(path);
    return comparable.find(u'\\') != Text::npos && folders_.count(comparable) != 0;
}

HostOps::FileRead FakeHost::ReadWholeFile(const Text& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    const Text comparable = Comparable(path);
    if (folders_.count(comparable) || unreadableFiles.count(comparable)) return FileRead::Failed;
    const auto file = files_.find(comparable);
    if (file == files_.end()) return FileRead::Missing;
    bytes = file->second.bytes;
    return FileRead::Read;
}

void FakeHost::ReplaceFileAtomically(const Text& path, Bytes bytes, Flush flush) {
    const Text fresh = Comparable(path + u".new");
    const auto existing = files_.find(fresh);
    if (!ParentExists(fresh) || folders_.count(fresh) ||
        (existing != files_.end() && existing->second.readOnly)) {
        log.push_back("Journal " + Utf8(path) + " [failed]");
        throw HostError(FileCreateErrorMessage(path + u".new", u"Zugriff verweigert."));
    }
    files_[fresh] = File{path + u".new", {bytes.begin(), bytes.end()}};
    if (KilledNow()) throw ProcessKilled{};
    const auto old = files_.find(Comparable(path));
    if (old != files_.end() && old->second.readOnly) {
        log.push_back("Journal " + Utf8(path) + " [failed]");
        throw HostError(FileCreateErrorMessage(path, u"Zugriff verweigert."));
    }
    File moved = files_[fresh];
    moved.path = path;
    files_.erase(fresh);
    files_[Comparable(path)] = moved;
    // A flush is what a power cut cannot undo, and what costs the time.
    log.push_back("Journal " + Utf8(path) + (flush == Flush::ToMedium ? " [flushed]" : ""));
}

bool FakeHost::MakeFolders(const Text& path) {
    if (path.empty()) throw HostError(MakeFoldersErrorMessage());
    if (KilledNow()) throw ProcessKilled{};
    const Text comparable = Comparable(path);
    // As CreateDirectoryW: no level of the path may be a file.
    bool ok = true;
    for (Text level = comparable; !level.empty(); level = ParentOf(level))
        if (files_.count(level)) ok = false;
    log.push_back("MakeFolders " + Utf8(path) + Outcome(ok));
    if (ok) AddFolder(path);
    return ok;
}

bool FakeHost::RemoveEmptyFolder(const Text& path) {
    if (KilledNow()) throw ProcessKilled{};
    const Text folder = Comparable(path);
    const auto below = [&](const Text& other) { return IsBelow(other, folder); };
    const bool ok = folders_.count(folder) != 0 &&
                    std::none_of(files_.begin(), files_.end(), [&](const auto& f) { return below(f.first); }) &&
                    std::none_of(folders_.begin(), folders_.end(), below);
    log.push_back("RemoveFolder " + Utf8(path) + Outcome(ok));
    if (ok) folders_.erase(folder);
    return ok;
}

std::vector<Text> FakeHost::FileNamesMatching(const Text& folder, const Text& pattern) {
    std::vector<Text> names;
    const Text parent = Comparable(folder);
    for (const auto& [comparable, file] : files_)
        if (ParentOf(comparable) == parent && WildcardMatches(Comparable(pattern), FileNamePart(comparable)))
            names.push_back(FileNamePart(file.path));
    return names;
}

bool FakeHost::CopyInstaller(const Text& source, const Text& target) {
    if (KilledNow()) throw ProcessKilled{};
    const Text from = Comparable(source), to = Comparable(target);
    const auto file = files_.find(from);
    const auto existing = files_.find(to);
    // CopyFileW refuses to copy a file onto itself.
    const bool ok = file != files_.end() && from != to && ParentExists(to) &&
                    (existing == files_.end() || !existing->second.readOnly);
    log.push_back("Copy " + Utf8(source) + " -> " + Utf8(target) + Outcome(ok));
    if (ok) files_[to] = File{target, file->second.bytes};
    return ok;
}

void FakeHost::ResetAttributes(const Text& folder) {
    resetFolders.push_back(folder);
    const Text comparable = Comparable(folder);
    // A drive's root is left as it is.
    if (comparable.size() == 3 && comparable[1] == u':') return;
    for (auto& [path, file] : files_)
        if (ParentOf(path) == comparable) file.readOnly = false;
}

// --- Processes, program and user ------------------------------------------------

bool FakeHost::IsProcessRunning(const Text& exeName) {
    for (const Text& field : runningProcesses)
        if (ProcessNameMatches(field, exeName)) return true;
    return false;
}

Text FakeHost::ProgramPath() { return programPath; }

Text FakeHost::CommandLineText() { return commandLine; }

int FakeHost::ShowMessageBox(const Text& text, const Text& caption, unsigned flags) {
    messageBoxes.push_back({text, caption, flags});
    log.push_back("MessageBox " + Utf8(caption) + ": " + Utf8(text));
    return 1;
}

void FakeHost::ProcessPendingMessages() { ++pendingMessageCalls; }

void FakeHost::WriteTrace(const Text& line) { traces.push_back(line); }

void FakeHost::Pause(unsigned milliseconds) { pauses.push_back(milliseconds); }

std::unique_ptr<RegistryAccess> FakeHost::StartRegistryAccess() {
    return std::make_unique<FakeRegistryAccess>(*this);
}

Text FakeHost::DecodeAnsi(Bytes bytes) { return DecodeWindows1252(bytes); }

Text FakeHost::BuildVersionText() {
    if (versionFails) throw HostError(SystemErrorMessage(1813, u"Der angegebene Ressourcentyp wurde nicht gefunden."));
    return versionText;
}

void FakeHost::WriteScriptFile(const Text& path, const std::vector<Text>& lines) {
    if (KilledNow()) throw ProcessKilled{};
    const Text target = Comparable(path);
    const auto existing = files_.find(target);
    if (!ParentExists(target) || folders_.count(target) ||
        (existing != files_.end() && existing->second.readOnly)) {
        log.push_back("WriteScript " + Utf8(path) + " [failed]");
        throw HostError(FileCreateErrorMessage(path, u"Zugriff verweigert."));
    }
    std::string content;
    for (const Text& line : lines) content += Utf8(line) + "\r\n";
    files_[target] = File{path, ToBytes(content)};
    scripts.push_back(lines);
    log.push_back("WriteScript " + Utf8(path));
}

void FakeHost::OpenHidden(const Text& path, std::uintptr_t ownerWindow) {
    openedHidden.push_back(path);
    lastOwner = ownerWindow;
    log.push_back("OpenHidden " + Utf8(path));
}

Text FakeHost::ShortPathForm(const Text& path) {
    const Text comparable = Comparable(path);
    if (!files_.count(comparable) && !folders_.count(comparable)) return {};
    const auto found = shortForms.find(comparable);
    return found == shortForms.end() ? Text() : found->second;
}

}  // namespace brunvald::testing
