#include "pack/pe_resources.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <set>
#include <stdexcept>
#include <type_traits>

namespace brunvald::pack {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr int kResourceDirectory = 2;
constexpr int kSecurityDirectory = 4;
constexpr int kRelocationDirectory = 5;
constexpr std::uint32_t kInitializedData = 0x00000040u;
constexpr std::uint32_t kDiscardable = 0x02000000u;
constexpr std::uint64_t kSectionHeaderSize = 40;
// The largest offset or size a 32-bit field of the format holds.
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
// The most entries of one kind (named, numbered) a resource directory counts.
constexpr std::uint64_t kMaxEntries = 0xFFFF;

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// A fault of the program that is to be changed.
[[noreturn]] void Refuse(const std::string& why) {
    throw PackError("the installer program cannot be changed: " + why);
}

// A table that no resource section can hold, whatever the program.
[[noreturn]] void RefuseTable(const std::string& why) {
    throw PackError("the resources do not fit in a program: " + why);
}

std::uint32_t Get(const std::vector<std::uint8_t>& bytes, std::uint64_t offset, int size) {
    if (offset > bytes.size() || bytes.size() - offset < static_cast<std::uint64_t>(size))
        Refuse("it ends inside its headers or resources (" + std::to_string(size) + " bytes at " + Hex(offset) +
               ", the file ends at " + Hex(bytes.size()) + ")");
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[offset + i];
    return value;
}

// Every write lies inside what the checks of the input let through; one that
// does not is a fault of this writer, never of the program it was given.
void Put(std::vector<std::uint8_t>& bytes, std::uint64_t offset, int size, std::uint32_t value) {
    if (offset > bytes.size() || bytes.size() - offset < static_cast<std::uint64_t>(size))
        throw std::logic_error("resource writer: " + std::to_string(size) + " bytes at " + Hex(offset) +
                               " lie past the end of the program being written (" + Hex(bytes.size()) + ")");
    for (int i = 0; i < size; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool PowerOfTwo(std::uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

struct Section {
    std::size_t header;  // offset of its header in the file
    std::string name;
    std::uint32_t virtualSize, virtualAddress, rawSize, rawPointer, characteristics;

    std::uint64_t VirtualEnd() const { return std::uint64_t{virtualAddress} + std::max(virtualSize, rawSize); }
    std::uint64_t RawEnd() const { return std::uint64_t{rawPointer} + rawSize; }
    bool Holds(std::uint64_t rva) const { return rva >= virtualAddress && rva < VirtualEnd(); }
    std::string Describe() const { return "its section " + name + " (header at " + Hex(header) + ")"; }
};

struct Layout {
    std::uint64_t optional = 0;     // offset of the optional header
    std::uint64_t directories = 0;  // offset of the data directories
    std::uint32_t directoryCount = 0;
    std::uint32_t sectionAlignment = 0, fileAlignment = 0;
    std::uint32_t headersSize = 0;
    std::vector<Section> sections;  // by their place in memory

    std::uint32_t DirectoryRva(int index, const std::vector<std::uint8_t>& bytes) const {
        return static_cast<std::uint32_t>(index) < directoryCount ? Get(bytes, directories + 8 * index, 4) : 0;
    }
};

std::string SectionName(const std::vector<std::uint8_t>& bytes, std::uint64_t header) {
    std::string name;
    for (int i = 0; i < 8 && bytes[header + i] != 0; ++i) {
        const char c = static_cast<char>(bytes[header + i]);
        name.push_back(c > ' ' && c < 0x7F ? c : '?');
    }
    return name.empty() ? "without a name" : name;
}

// The headers and the section table, each checked against the file and the
// sections against each other: every section's data lie in the file after
// the headers, and no two sections share bytes in the file or in memory.
Layout ReadLayout(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 64 || Get(bytes, 0, 2) != 0x5A4D) Refuse("it is not a Windows program (no MZ header)");
    const std::uint64_t pe = Get(bytes, 0x3C, 4);
    if (pe + 24 > bytes.size())
        Refuse("its PE header at " + Hex(pe) + " lies past the end of the file (" + Hex(bytes.size()) + ")");
    if (Get(bytes, pe, 4) != 0x00004550) Refuse("it is not a Windows program (no PE header at " + Hex(pe) + ")");
    Layout layout;
    const std::uint32_t sectionCount = Get(bytes, pe + 6, 2);
    const std::uint32_t optionalSize = Get(bytes, pe + 20, 2);
    layout.optional = pe + 24;
    const std::uint64_t table = layout.optional + optionalSize;
    const std::uint64_t tableEnd = table + kSectionHeaderSize * sectionCount;
    if (tableEnd > bytes.size())
        Refuse("its headers end past the end of the file: the table of " + std::to_string(sectionCount) +
               " sections at " + Hex(table) + " ends at " + Hex(tableEnd) + ", the file at " + Hex(bytes.size()));
    const std::uint32_t magic = optionalSize >= 2 ? Get(bytes, layout.optional, 2) : 0;
    if (magic != 0x10B && magic != 0x20B) Refuse("its optional header is neither PE32 nor PE32+");
    const std::uint32_t fixedSize = magic == 0x10B ? 96 : 112;
    if (optionalSize < fixedSize)
        Refuse("its optional header at " + Hex(layout.optional) + " has " + std::to_string(optionalSize) +
               " bytes, fewer than the " + std::to_string(fixedSize) + " of its fixed fields");
    layout.directoryCount = Get(bytes, layout.optional + fixedSize - 4, 4);
    layout.directories = layout.optional + fixedSize;
    if (8ull * layout.directoryCount > optionalSize - fixedSize)
        Refuse("its " + std::to_string(layout.directoryCount) + " data directories do not fit its optional header (" +
               std::to_string(optionalSize) + " bytes at " + Hex(layout.optional) + ")");
    layout.sectionAlignment = Get(bytes, layout.optional + 32, 4);
    layout.fileAlignment = Get(bytes, layout.optional + 36, 4);
    if (!PowerOfTwo(layout.fileAlignment) || layout.fileAlignment > 0x10000 ||
        !PowerOfTwo(layout.sectionAlignment) || layout.sectionAlignment < layout.fileAlignment)
        Refuse("its alignments (sections " + Hex(layout.sectionAlignment) + ", file " + Hex(layout.fileAlignment) +
               ") are not powers of two with the file's at most 64 KiB and at most the sections'");
    layout.headersSize = Get(bytes, layout.optional + 60, 4);
    if (layout.headersSize < tableEnd)
        Refuse("the size of its headers (" + Hex(layout.headersSize) + ") does not cover its section table, which ends at " +
               Hex(tableEnd));

    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::size_t h = static_cast<std::size_t>(table + kSectionHeaderSize * i);
        layout.sections.push_back(Section{h, SectionName(bytes, h), Get(bytes, h + 8, 4), Get(bytes, h + 12, 4),
                                          Get(bytes, h + 16, 4), Get(bytes, h + 20, 4), Get(bytes, h + 36, 4)});
        const Section& s = layout.sections.back();
        if (s.virtualAddress < layout.headersSize)
            Refuse(s.Describe() + " starts in memory at " + Hex(s.virtualAddress) + ", inside the headers (up to " +
                   Hex(layout.headersSize) + ")");
        if (s.VirtualEnd() > kMax32) Refuse(s.Describe() + " ends in memory past 4 GiB, at " + Hex(s.VirtualEnd()));
        if (s.rawSize == 0) continue;  // no data in the file: its place there means nothing
        if (s.rawPointer < layout.headersSize)
            Refuse(s.Describe() + " has its data in the file at " + Hex(s.rawPointer) + ", inside the headers (up to " +
                   Hex(layout.headersSize) + ")");
        if (s.RawEnd() > bytes.size())
            Refuse(s.Describe() + " has its data in the file from " + Hex(s.rawPointer) + " to " + Hex(s.RawEnd()) +
                   ", past the end of the file at " + Hex(bytes.size()));
    }

    std::vector<const Section*> inFile;
    for (const Section& s : layout.sections)
        if (s.rawSize != 0) inFile.push_back(&s);
    std::sort(inFile.begin(), inFile.end(), [](const Section* a, const Section* b) { return a->rawPointer < b->rawPointer; });
    for (std::size_t i = 1; i < inFile.size(); ++i)
        if (inFile[i]->rawPointer < inFile[i - 1]->RawEnd())
            Refuse(inFile[i]->Describe() + " has its data in the file at " + Hex(inFile[i]->rawPointer) + ", inside those of " +
                   inFile[i - 1]->Describe().substr(4) + " (up to " + Hex(inFile[i - 1]->RawEnd()) + ")");

    // A section without extent in memory comes before one that starts at
    // the same address: the writer places such a section where the next
    // one starts.
    std::stable_sort(layout.sections.begin(), layout.sections.end(), [](const Section& a, const Section& b) {
        return std::pair{a.virtualAddress, a.VirtualEnd()} < std::pair{b.virtualAddress, b.VirtualEnd()};
    });
    for (std::size_t i = 1; i < layout.sections.size(); ++i) {
        const Section &before = layout.sections[i - 1], &s = layout.sections[i];
        if (s.virtualAddress < before.VirtualEnd())
            Refuse(s.Describe() + " starts in memory at " + Hex(s.virtualAddress) + ", inside " +
                   before.Describe().substr(4) + " (up to " + Hex(before.VirtualEnd()) + ")");
    }
    return layout;
}

std::string Describe(const ResourceId& id) {
    if (const auto* number = std::get_if<std::uint16_t>(&id.value)) return std::to_string(*number);
    std::string text = "\"";
    for (char16_t unit : std::get<std::u16string>(id.value))
        text.push_back(unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?');
    return text + "\"";
}

// --- Reading ------------------------------------------------------------------

// The new element of `map` under `key`; a key listed twice is refused.
template <class Map, class Key>
typename Map::mapped_type& Insert(Map& map, const Key& key, const std::string& what) {
    const auto [at, inserted] = map.try_emplace(key);
    if (!inserted) Refuse("its resource table lists " + what + " twice");
    return at->second;
}

// The resource table: three levels of directories (types, names, languages)
// whose last entries lead to data entries. Every directory, entry and name
// lies inside the resource section's data in the file; levels above the last
// lead to directories and the last to data, as the directory bit says; each
// directory and data entry is reached once, so a table that leads back into
// itself is refused rather than walked again and again; the data of two
// resources never share bytes. What is read is then at most the file's size.
class TableReader {
public:
    TableReader(const std::vector<std::uint8_t>& bytes, const Layout& layout, std::uint32_t rva)
        : bytes_(bytes), layout_(layout) {
        const auto section = std::find_if(layout.sections.begin(), layout.sections.end(), [&](const Section& s) {
            return s.Holds(rva) && rva - s.virtualAddress < s.rawSize;
        });
        if (section == layout.sections.end())
            Refuse("its resource table at " + Hex(rva) + " in memory lies outside the data of its sections");
        base_ = section->rawPointer + (rva - section->virtualAddress);
        end_ = section->RawEnd();
    }

    ResourceTable Read() {
        ResourceTable table;
        for (const Entry& type : Entries(0, "the directory of types", true)) {
            auto& names = Insert(table, type.id, "the type " + Describe(type.id));
            const std::string inType = "of the type " + Describe(type.id);
            for (const Entry& name : Entries(type.target, "the directory of names " + inType, true)) {
                const std::string what = "the resource " + Describe(name.id) + " " + inType;
                auto& languages = Insert(names, name.id, what);
                for (const Entry& language : Entries(name.target, "the directory of languages of " + what, false)) {
                    const auto* id = std::get_if<std::uint16_t>(&language.id.value);
                    if (!id) Refuse("a language of " + what + " is not a number");
                    ResourceData& data = Insert(languages, *id, "language " + std::to_string(*id) + " of " + what);
                    Data(language.target, data, "language " + std::to_string(*id) + " of " + what);
                }
            }
        }
        // The data of two resources sharing bytes would be read twice; no
        // resource compiler writes that.
        std::sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) { return a.at < b.at; });
        std::uint64_t end = 0;
        const std::string* endOf = nullptr;
        for (const Pending& p : pending_) {
            if (p.size == 0) continue;
            if (p.at < end) Refuse("the data of " + p.what + " (at " + Hex(p.at) + ") overlap those of " + *endOf);
            end = p.at + p.size;
            endOf = &p.what;
        }
        for (Pending& p : pending_)
            p.data->bytes.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(p.at),
                                 bytes_.begin() + static_cast<std::ptrdiff_t>(p.at + p.size));
        return table;
    }

private:
    struct Entry {
        ResourceId id;
        std::uint32_t target;  // offset in the table of what the entry leads to
    };
    struct Pending {
        std::uint64_t at, size;
        ResourceData* data;
        std::string what;
    };

    // Refuses `size` bytes at `at` in the file unless they lie in the resource
    // section, after the table's start.
    void Need(std::uint64_t at, std::uint64_t size, const std::string& what) const {
        if (at < base_ || at > end_ || end_ - at < size)
            Refuse(what + " (" + std::to_string(size) + " bytes at " + Hex(at) +
                   " in the file) runs past the end of its resource section at " + Hex(end_));
    }

    void Visit(std::uint32_t offset) {
        if (!visited_.insert(offset).second)
            Refuse("its resource table leads to the entry at " + Hex(base_ + offset) +
                   " in the file a second time (a directory that leads back to itself, or two entries that share one)");
    }

    std::vector<Entry> Entries(std::uint32_t offset, const std::string& what, bool toDirectories) {
        Visit(offset);
        const std::uint64_t at = base_ + offset;
        Need(at, 16, what);
        const std::uint32_t count = Get(bytes_, at + 12, 2) + Get(bytes_, at + 14, 2);
        Need(at + 16, 8ull * count, "the " + std::to_string(count) + " entries of " + what);
        std::vector<Entry> entries;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry = at + 16 + 8 * i;
            const std::uint32_t target = Get(bytes_, entry + 4, 4);
            if (((target & kHighBit) != 0) != toDirectories)
                Refuse("the entry at " + Hex(entry) + " in the file of " + what + " leads to " +
                       (toDirectories ? "data where a directory must be" : "a directory where data must be"));
            entries.push_back(Entry{Id(Get(bytes_, entry, 4), entry), target & ~kHighBit});
        }
        return entries;
    }

    ResourceId Id(std::uint32_t name, std::uint64_t entry) const {
        if (!(name & kHighBit)) {
            if (name > 0xFFFF)
                Refuse("the entry at " + Hex(entry) + " in the file has the number " + std::to_string(name) +
                       ", more than 65535");
            return ResourceId{static_cast<std::uint16_t>(name)};
        }
        const std::uint64_t at = base_ + (name & ~kHighBit);
        Need(at, 2, "the name of the entry at " + Hex(entry));
        const std::uint32_t length = Get(bytes_, at, 2);
        Need(at + 2, 2ull * length, "the name of the entry at " + Hex(entry));
        std::u16string text;
        for (std::uint32_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(Get(bytes_, at + 2 + 2 * i, 2)));
        return ResourceId{text};
    }

    // The data entry at `offset`; its data are read once the whole table has
    // been checked.
    void Data(std::uint32_t offset, ResourceData& data, const std::string& what) {
        Visit(offset);
        const std::uint64_t at = base_ + offset;
        Need(at, 16, "the data entry of " + what);
        const std::uint32_t rva = Get(bytes_, at, 4), size = Get(bytes_, at + 4, 4);
        data.codePage = Get(bytes_, at + 8, 4);
        const auto section = std::find_if(layout_.sections.begin(), layout_.sections.end(), [&](const Section& s) {
            return s.Holds(rva) && rva - s.virtualAddress <= s.rawSize && s.rawSize - (rva - s.virtualAddress) >= size;
        });
        if (section == layout_.sections.end())
            Refuse("the data of " + what + " (" + std::to_string(size) + " bytes at " + Hex(rva) +
                   " in memory) lie outside the data of its sections in the file");
        pending_.push_back(Pending{section->rawPointer + std::uint64_t{rva - section->virtualAddress}, size, &data, what});
    }

    const std::vector<std::uint8_t>& bytes_;
    const Layout& layout_;
    std::uint64_t base_ = 0, end_ = 0;
    std::set<std::uint32_t> visited_;
    std::vector<Pending> pending_;
};

// --- Writing ------------------------------------------------------------------

// Where the pieces of a resource section lie: the three levels of
// directories from the start, then the data entries, the name texts, and the
// data, each piece of data on an 8-byte boundary.
struct SectionPlan {
    std::uint64_t entries = 0, texts = 0, data = 0, size = 0;
};

std::uint64_t TextSize(const ResourceId& id, const std::string& what) {
    const auto* text = std::get_if<std::u16string>(&id.value);
    if (!text) return 0;
    if (text->size() > kMaxEntries)
        RefuseTable("the name of " + what + " has " + std::to_string(text->size()) + " characters, more than the 65535 a name can have");
    return 2 + 2 * text->size();
}

template <class Level>
void CheckCount(const Level& level, const std::string& what) {
    std::uint64_t named = 0;
    for (const auto& [id, below] : level) {
        if constexpr (std::is_same_v<std::decay_t<decltype(id)>, ResourceId>)
            named += std::holds_alternative<std::u16string>(id.value);
    }
    const std::uint64_t numbered = level.size() - named;
    if (named > kMaxEntries || numbered > kMaxEntries)
        RefuseTable(what + " has " + std::to_string(named) + " named and " + std::to_string(numbered) +
                    " numbered entries; a resource directory holds at most 65535 of each");
}

SectionPlan PlanSection(const ResourceSizes& sizes) {
    CheckCount(sizes, "the directory of types");
    std::uint64_t directories = 16 + 8 * sizes.size(), dataEntries = 0, texts = 0;
    for (const auto& [type, names] : sizes) {
        const std::string ofType = "of the type " + Describe(type);
        CheckCount(names, "the directory of names " + ofType);
        directories += 16 + 8 * names.size();
        texts += TextSize(type, "the type " + Describe(type));
        for (const auto& [name, languages] : names) {
            const std::string what = "the resource " + Describe(name) + " " + ofType;
            CheckCount(languages, "the directory of languages of " + what);
            directories += 16 + 8 * languages.size();
            dataEntries += languages.size();
            texts += TextSize(name, what);
        }
    }
    SectionPlan plan;
    plan.entries = directories;
    plan.texts = directories + 16 * dataEntries;
    plan.data = AlignUp(plan.texts + texts, 8);
    // Summed without overflow whatever the sizes: a sum past what 64 bits
    // hold stays at the most they hold.
    constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t total = plan.data;
    for (const auto& [type, names] : sizes)
        for (const auto& [name, languages] : names)
            for (const auto& [language, size] : languages) {
                if (total <= kMax64 - 7) total = AlignUp(total, 8);
                total = size > kMax64 - total ? kMax64 : total + size;
            }
    if (total > kMaxResourceSection)
        RefuseTable("they take " + std::to_string(total) + " bytes, more than the " + std::to_string(kMaxResourceSection) +
                    " (2 GiB) that one section of a program can hold");
    plan.size = total;
    return plan;
}

// The section's bytes for `table` placed at `rva`, as `plan` lays it out.
std::vector<std::uint8_t> BuildSection(const ResourceTable& table, const SectionPlan& plan, std::uint32_t rva) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(plan.size), 0);
    std::uint64_t directoryAt = 0, entryAt = plan.entries, textAt = plan.texts, dataAt = plan.data;

    auto directory = [&](std::size_t namedCount, std::size_t idCount) {
        const std::uint64_t at = directoryAt;
        Put(out, at + 12, 2, static_cast<std::uint32_t>(namedCount));
        Put(out, at + 14, 2, static_cast<std::uint32_t>(idCount));
        directoryAt += 16 + 8 * (namedCount + idCount);
        return at + 16;
    };
    auto nameField = [&](const ResourceId& id) -> std::uint32_t {
        const auto* text = std::get_if<std::u16string>(&id.value);
        if (!text) return std::get<std::uint16_t>(id.value);
        const std::uint64_t at = textAt;
        Put(out, at, 2, static_cast<std::uint32_t>(text->size()));
        for (std::size_t i = 0; i < text->size(); ++i) Put(out, at + 2 + 2 * i, 2, (*text)[i]);
        textAt += 2 + 2 * text->size();
        return kHighBit | static_cast<std::uint32_t>(at);
    };
    auto counts = [](const auto& level) {
        std::size_t named = 0;
        for (const auto& [id, below] : level) named += std::holds_alternative<std::u16string>(id.value);
        return std::pair{named, level.size() - named};
    };

    const auto [rootNamed, rootIds] = counts(table);
    std::uint64_t rootEntry = directory(rootNamed, rootIds);
    // Breadth first: the type directories follow the root, the name
    // directories follow all type directories.
    std::vector<std::pair<std::uint64_t, const std::map<ResourceId, std::map<std::uint16_t, ResourceData>>*>> typeLevel;
    for (const auto& [type, names] : table) {
        const auto [named, ids] = counts(names);
        const std::uint64_t at = directoryAt;
        Put(out, rootEntry, 4, nameField(type));
        Put(out, rootEntry + 4, 4, kHighBit | static_cast<std::uint32_t>(at));
        rootEntry += 8;
        typeLevel.emplace_back(directory(named, ids), &names);
    }
    std::vector<std::pair<std::uint64_t, const std::map<std::uint16_t, ResourceData>*>> nameLevel;
    for (auto& [typeEntry, names] : typeLevel) {
        std::uint64_t entry = typeEntry;
        for (const auto& [name, languages] : *names) {
            const std::uint64_t at = directoryAt;
            Put(out, entry, 4, nameField(name));
            Put(out, entry + 4, 4, kHighBit | static_cast<std::uint32_t>(at));
            entry += 8;
            nameLevel.emplace_back(directory(0, languages.size()), &languages);
        }
    }
    for (auto& [nameEntry, languages] : nameLevel) {
        std::uint64_t entry = nameEntry;
        for (const auto& [language, data] : *languages) {
            dataAt = AlignUp(dataAt, 8);
            if (data.bytes.size() > out.size() - dataAt)
                throw std::logic_error("resource writer: the data do not fit the planned section");
            Put(out, entry, 4, language);
            Put(out, entry + 4, 4, static_cast<std::uint32_t>(entryAt));
            entry += 8;
            Put(out, entryAt, 4, static_cast<std::uint32_t>(rva + dataAt));
            Put(out, entryAt + 4, 4, static_cast<std::uint32_t>(data.bytes.size()));
            Put(out, entryAt + 8, 4, data.codePage);
            entryAt += 16;
            std::copy(data.bytes.begin(), data.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(dataAt));
            dataAt += data.bytes.size();
        }
    }
    if (directoryAt != plan.entries || entryAt != plan.texts || textAt > plan.data || dataAt > plan.size)
        throw std::logic_error("resource writer: the section was written otherwise than planned");
    return out;
}

std::uint32_t Checksum(const std::vector<std::uint8_t>& bytes, std::uint64_t checksumField) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        if (i == checksumField || i == checksumField + 2) continue;
        sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + bytes.size());
}

// The index in layout.sections of the resource section, checked to be one
// that can be rewritten: the program is not signed, the section has its data
// in the file after everything that stays in place, and what follows it may
// move (see the header).
std::size_t ResourceSection(const std::vector<std::uint8_t>& program, const Layout& layout) {
    if (layout.DirectoryRva(kSecurityDirectory, program) != 0)
        Refuse("it is signed, and its signature would no longer hold");
    const std::uint32_t resourceRva = layout.DirectoryRva(kResourceDirectory, program);
    const auto found = std::find_if(layout.sections.begin(), layout.sections.end(),
                                    [&](const Section& s) { return resourceRva && s.virtualAddress == resourceRva; });
    if (found == layout.sections.end()) Refuse("it has no section that holds only its resources");
    const std::size_t index = static_cast<std::size_t>(found - layout.sections.begin());
    const Section& resources = *found;
    if (resources.rawSize == 0) Refuse(resources.Describe() + ", which holds its resources, has no data in the file");

    // What lies before the resources in memory stays where it is in the file,
    // before them. What follows them must be movable: sections that the
    // loader may discard (the base relocations, debug information), which
    // nothing addresses at run time but the relocation directory, updated by
    // the writer.
    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        const Section& s = layout.sections[i];
        if (i < index && s.rawSize != 0 && s.RawEnd() > resources.rawPointer)
            Refuse(s.Describe() + " lies before its resources in memory but after them in the file");
        if (i > index && (!(s.characteristics & kDiscardable) || (s.rawSize != 0 && s.rawPointer < resources.RawEnd())))
            Refuse("its resource section is followed by a section that cannot move (" + s.Describe().substr(4) + ")");
    }
    for (std::uint32_t i = 0; i < layout.directoryCount; ++i) {
        const std::uint32_t rva = layout.DirectoryRva(static_cast<int>(i), program);
        if (rva == 0 || rva < resources.virtualAddress || i == kResourceDirectory || i == kSecurityDirectory) continue;
        const bool moves = std::any_of(layout.sections.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                                       layout.sections.end(), [&](const Section& s) { return s.Holds(rva); });
        if (i != kRelocationDirectory || !moves)
            Refuse("other data (data directory " + std::to_string(i) + " at " + Hex(rva) +
                   ") lie in or after its resource section");
    }
    return index;
}

// The program's new layout with a resource section of `rawBytes` in the file
// and `virtualSize` in memory, starting on a page in the file; the sections
// after it follow, moved in memory as far as the new size asks. Everything is
// worked out in 64 bits and refused where a 32-bit field could not hold it.
struct Placement {
    Layout layout;
    std::uint32_t imageSize = 0;
    std::uint32_t relocationRva = 0;  // the relocation directory's new place
    std::uint64_t oldEnd = 0;         // the end of the sections' data in the old file
    std::uint64_t newEnd = 0;         // and in the new one
    std::uint64_t fileSize = 0;
};

Placement Place(const std::vector<std::uint8_t>& program, const Layout& layout, std::size_t index,
                std::uint64_t rawBytes, std::uint64_t virtualSize) {
    Placement placement{layout};
    std::vector<Section>& sections = placement.layout.sections;
    const std::uint32_t relocationRva = layout.DirectoryRva(kRelocationDirectory, program);
    placement.relocationRva = relocationRva;
    for (const Section& s : layout.sections)
        if (s.rawSize != 0) placement.oldEnd = std::max(placement.oldEnd, s.RawEnd());
    auto fit = [](std::uint64_t value, const std::string& what) {
        if (value > kMax32)
            RefuseTable("with them " + what + " would be " + Hex(value) + ", more than a 32-bit field of the program holds");
        return static_cast<std::uint32_t>(value);
    };

    Section& resources = sections[index];
    // Both alignments are powers of two: the larger is a multiple of the other.
    std::uint64_t fileAt = AlignUp(resources.rawPointer, std::max(kResourcePage, layout.fileAlignment));
    resources.rawPointer = fit(fileAt, "the resource section's place in the file");
    resources.virtualSize = fit(virtualSize, "the resource section's size in memory");
    resources.rawSize = fit(AlignUp(rawBytes, layout.fileAlignment), "the resource section's size in the file");
    fileAt += resources.rawSize;
    std::uint64_t nextRva = AlignUp(resources.VirtualEnd(), layout.sectionAlignment);
    for (std::size_t i = index + 1; i < sections.size(); ++i) {
        Section& s = sections[i];
        // Found by the sections' old places: by the new ones a section
        // further on could seem to hold the relocations again.
        if (relocationRva != 0 && layout.sections[i].Holds(relocationRva))
            placement.relocationRva = fit(relocationRva - s.virtualAddress + nextRva, "the relocations' place in memory");
        // A section without data in the file takes no room there: aligning
        // for it would put padding where the next write takes the bytes
        // after the last section to begin.
        if (s.rawSize != 0) fileAt = AlignUp(fileAt, layout.fileAlignment);
        s.rawPointer = fit(fileAt, "the place in the file of " + s.Describe().substr(4));
        s.virtualAddress = fit(nextRva, "the place in memory of " + s.Describe().substr(4));
        fileAt += s.rawSize;
        nextRva = AlignUp(s.VirtualEnd(), layout.sectionAlignment);
    }
    placement.newEnd = fileAt;
    placement.imageSize = fit(nextRva, "the program's size in memory");
    placement.fileSize = fileAt + (program.size() - std::min<std::uint64_t>(placement.oldEnd, program.size()));
    fit(placement.fileSize, "the program's size");
    return placement;
}

// The program laid out as `placement` says, with `section` as the data of
// its resource section.
std::vector<std::uint8_t> Write(const std::vector<std::uint8_t>& program, const Layout& layout, std::size_t index,
                                const Placement& placement, const std::vector<std::uint8_t>& section) {
    const Section& oldResources = layout.sections[index];
    const Section& resources = placement.layout.sections[index];
    std::vector<std::uint8_t> out(program.begin(), program.begin() + oldResources.rawPointer);
    out.resize(resources.rawPointer, 0);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(static_cast<std::size_t>(resources.RawEnd()), 0);
    for (std::size_t i = index + 1; i < layout.sections.size(); ++i) {
        const Section &from = layout.sections[i], &to = placement.layout.sections[i];
        out.resize(to.rawPointer, 0);
        if (from.rawSize != 0)
            out.insert(out.end(), program.begin() + from.rawPointer, program.begin() + static_cast<std::ptrdiff_t>(from.RawEnd()));
    }
    if (out.size() != placement.newEnd) throw std::logic_error("resource writer: the sections do not end where planned");
    // Bytes after the last section (a symbol table of an unstripped program)
    // move with it.
    out.insert(out.end(), program.begin() + static_cast<std::ptrdiff_t>(placement.oldEnd), program.end());
    const std::uint64_t coff = layout.optional - 20;
    const std::uint32_t symbols = Get(out, coff + 8, 4);
    if (symbols >= placement.oldEnd && symbols <= program.size())
        Put(out, coff + 8, 4, static_cast<std::uint32_t>(symbols - placement.oldEnd + placement.newEnd));

    for (const Section& s : placement.layout.sections) {
        Put(out, s.header + 8, 4, s.virtualSize);
        Put(out, s.header + 12, 4, s.virtualAddress);
        Put(out, s.header + 16, 4, s.rawSize);
        Put(out, s.header + 20, 4, s.rawPointer);
    }
    if (placement.relocationRva != 0)
        Put(out, layout.directories + 8 * kRelocationDirectory, 4, placement.relocationRva);
    Put(out, layout.directories + 8 * kResourceDirectory + 4, 4, resources.virtualSize);
    Put(out, layout.optional + 56, 4, placement.imageSize);  // SizeOfImage
    if (resources.characteristics & kInitializedData) {
        const std::uint32_t initialized = Get(out, layout.optional + 8, 4);
        Put(out, layout.optional + 8, 4, initialized - oldResources.rawSize + resources.rawSize);
    }
    if (Get(out, layout.optional + 64, 4) != 0) Put(out, layout.optional + 64, 4, Checksum(out, layout.optional + 64));
    return out;
}

}  // namespace

std::strong_ordering ResourceId::operator<=>(const ResourceId& other) const {
    const bool text = std::holds_alternative<std::u16string>(value);
    const bool otherText = std::holds_alternative<std::u16string>(other.value);
    if (text != otherText) return text ? std::strong_ordering::less : std::strong_ordering::greater;
    if (text) return std::get<std::u16string>(value) <=> std::get<std::u16string>(other.value);
    return std::get<std::uint16_t>(value) <=> std::get<std::uint16_t>(other.value);
}

ResourceTable ReadResources(const std::vector<std::uint8_t>& program) {
    const Layout layout = ReadLayout(program);
    const std::uint32_t rva = layout.DirectoryRva(kResourceDirectory, program);
    if (rva == 0) return {};
    return TableReader(program, layout, rva).Read();
}

ResourceSizes SizesOf(const ResourceTable& table) {
    // Types without names and names without languages take their
    // directories too.
    ResourceSizes sizes;
    for (const auto& [type, names] : table) {
        auto& sizeNames = sizes[type];
        for (const auto& [name, languages] : names) {
            auto& sizeLanguages = sizeNames[name];
            for (const auto& [language, data] : languages) sizeLanguages[language] = data.bytes.size();
        }
    }
    return sizes;
}

std::uint64_t ResourceSectionSize(const ResourceSizes& sizes) { return PlanSection(sizes).size; }

void CheckReplaceResources(const std::vector<std::uint8_t>& program, const ResourceSizes& sizes) {
    const Layout layout = ReadLayout(program);
    const std::size_t index = ResourceSection(program, layout);
    const SectionPlan plan = PlanSection(sizes);
    Place(program, layout, index, plan.size, plan.size);
}

std::vector<std::uint8_t> ReplaceResources(const std::vector<std::uint8_t>& program, const ResourceTable& table) {
    const Layout layout = ReadLayout(program);
    const std::size_t index = ResourceSection(program, layout);
    const SectionPlan plan = PlanSection(SizesOf(table));
    const Placement placement = Place(program, layout, index, plan.size, plan.size);
    const std::vector<std::uint8_t> section = BuildSection(table, plan, layout.sections[index].virtualAddress);
    return Write(program, layout, index, placement, section);
}

std::vector<std::uint8_t> PlaceResourcesOnPage(const std::vector<std::uint8_t>& program) {
    const Layout layout = ReadLayout(program);
    const std::size_t index = ResourceSection(program, layout);
    const Section& resources = layout.sections[index];
    if (resources.rawPointer % kResourcePage == 0) return program;
    // The section's bytes stay as they are, at the same place in memory.
    const auto from = program.begin() + resources.rawPointer;
    const std::vector<std::uint8_t> section(from, from + resources.rawSize);
    const Placement placement = Place(program, layout, index, resources.rawSize, resources.virtualSize);
    return Write(program, layout, index, placement, section);
}

}  // namespace brunvald::pack
