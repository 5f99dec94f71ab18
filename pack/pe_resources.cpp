#include "pack/pe_resources.h"

#include <algorithm>
#include <numeric>

namespace brunvald::pack {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr int kResourceDirectory = 2;
constexpr int kSecurityDirectory = 4;
constexpr int kRelocationDirectory = 5;
constexpr std::uint32_t kInitializedData = 0x00000040u;
constexpr std::uint32_t kDiscardable = 0x02000000u;

[[noreturn]] void Refuse(const std::string& why) {
    throw PackError("the installer program cannot be changed: " + why);
}

std::uint32_t Get(const std::vector<std::uint8_t>& bytes, std::size_t offset, int size) {
    if (offset > bytes.size() || bytes.size() - offset < static_cast<std::size_t>(size))
        Refuse("it ends inside its headers or resources");
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[offset + i];
    return value;
}

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, int size, std::uint32_t value) {
    for (int i = 0; i < size; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

struct Section {
    std::size_t header;  // offset of its header in the file
    std::uint32_t virtualSize, virtualAddress, rawSize, rawPointer, characteristics;

    std::uint32_t VirtualEnd() const { return virtualAddress + std::max(virtualSize, rawSize); }
    bool Holds(std::uint32_t rva) const { return rva >= virtualAddress && rva < VirtualEnd(); }
};

struct Layout {
    std::size_t optional = 0;     // offset of the optional header
    std::size_t directories = 0;  // offset of the data directories
    std::uint32_t directoryCount = 0;
    std::uint32_t sectionAlignment = 0, fileAlignment = 0;
    std::vector<Section> sections;

    std::uint32_t DirectoryRva(int index, const std::vector<std::uint8_t>& bytes) const {
        return static_cast<std::uint32_t>(index) < directoryCount ? Get(bytes, directories + 8 * index, 4) : 0;
    }
    std::uint32_t DirectorySize(int index, const std::vector<std::uint8_t>& bytes) const {
        return static_cast<std::uint32_t>(index) < directoryCount ? Get(bytes, directories + 8 * index + 4, 4) : 0;
    }
};

Layout ReadLayout(const std::vector<std::uint8_t>& bytes) {
    if (Get(bytes, 0, 2) != 0x5A4D) Refuse("it is not a Windows program (no MZ header)");
    const std::size_t pe = Get(bytes, 0x3C, 4);
    if (Get(bytes, pe, 4) != 0x00004550) Refuse("it is not a Windows program (no PE header)");
    Layout layout;
    const std::uint32_t sectionCount = Get(bytes, pe + 6, 2);
    const std::uint32_t optionalSize = Get(bytes, pe + 20, 2);
    layout.optional = pe + 24;
    const std::uint32_t magic = Get(bytes, layout.optional, 2);
    if (magic != 0x10B && magic != 0x20B) Refuse("its optional header is neither PE32 nor PE32+");
    const std::size_t countOffset = layout.optional + (magic == 0x10B ? 92 : 108);
    layout.directoryCount = Get(bytes, countOffset, 4);
    layout.directories = countOffset + 4;
    if (layout.directories + 8ull * layout.directoryCount > layout.optional + optionalSize)
        Refuse("its data directories do not fit its optional header");
    layout.sectionAlignment = Get(bytes, layout.optional + 32, 4);
    layout.fileAlignment = Get(bytes, layout.optional + 36, 4);
    if (layout.fileAlignment == 0 || layout.sectionAlignment == 0) Refuse("it has no alignment");
    const std::size_t first = layout.optional + optionalSize;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::size_t h = first + 40 * i;
        layout.sections.push_back(Section{h, Get(bytes, h + 8, 4), Get(bytes, h + 12, 4), Get(bytes, h + 16, 4),
                                          Get(bytes, h + 20, 4), Get(bytes, h + 36, 4)});
        const Section& s = layout.sections.back();
        if (static_cast<std::uint64_t>(s.rawPointer) + s.rawSize > bytes.size())
            Refuse("a section lies beyond the end of the file");
    }
    std::sort(layout.sections.begin(), layout.sections.end(),
              [](const Section& a, const Section& b) { return a.virtualAddress < b.virtualAddress; });
    return layout;
}

// --- Reading ------------------------------------------------------------------

class TableReader {
public:
    TableReader(const std::vector<std::uint8_t>& bytes, const Layout& layout, std::uint32_t rva)
        : bytes_(bytes), layout_(layout), base_(FileOffset(rva, 16)) {}

    ResourceTable Read() {
        ResourceTable table;
        for (const auto& [type, typeDirectory] : Entries(0))
            for (const auto& [name, nameDirectory] : Entries(typeDirectory))
                for (const auto& [language, dataEntry] : Entries(nameDirectory)) {
                    const auto* id = std::get_if<std::uint16_t>(&language.value);
                    if (!id) Refuse("a resource's language is not a number");
                    table[type][name][*id] = Data(dataEntry);
                }
        return table;
    }

private:
    std::size_t FileOffset(std::uint32_t rva, std::uint32_t size) const {
        for (const Section& s : layout_.sections)
            if (s.Holds(rva) && rva - s.virtualAddress + static_cast<std::uint64_t>(size) <= s.rawSize)
                return s.rawPointer + (rva - s.virtualAddress);
        Refuse("a resource lies outside the file's sections");
    }

    // The entries of the directory at `offset` (from the table's start): each
    // with the offset of what it points at. Every level below the root must
    // be a directory except the last, whose entries are data entries.
    std::vector<std::pair<ResourceId, std::uint32_t>> Entries(std::uint32_t offset) {
        const std::size_t at = base_ + offset;
        const std::uint32_t count = Get(bytes_, at + 12, 2) + Get(bytes_, at + 14, 2);
        std::vector<std::pair<ResourceId, std::uint32_t>> entries;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t name = Get(bytes_, at + 16 + 8 * i, 4);
            const std::uint32_t target = Get(bytes_, at + 20 + 8 * i, 4);
            entries.emplace_back(Id(name), target & ~kHighBit);
        }
        return entries;
    }

    ResourceId Id(std::uint32_t name) const {
        if (!(name & kHighBit)) return ResourceId{static_cast<std::uint16_t>(name)};
        const std::size_t at = base_ + (name & ~kHighBit);
        const std::uint32_t length = Get(bytes_, at, 2);
        std::u16string text;
        for (std::uint32_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(Get(bytes_, at + 2 + 2 * i, 2)));
        return ResourceId{text};
    }

    ResourceData Data(std::uint32_t entry) const {
        const std::size_t at = base_ + entry;
        const std::uint32_t rva = Get(bytes_, at, 4), size = Get(bytes_, at + 4, 4);
        const std::size_t offset = FileOffset(rva, size);
        return ResourceData{std::vector<std::uint8_t>(bytes_.begin() + offset, bytes_.begin() + offset + size),
                            Get(bytes_, at + 8, 4)};
    }

    const std::vector<std::uint8_t>& bytes_;
    const Layout& layout_;
    std::size_t base_;
};

// --- Writing ------------------------------------------------------------------

// The section's bytes for `table` placed at `rva`: the three levels of
// directories, the data entries, the name texts, then the data, each piece
// of data on an 8-byte boundary.
std::vector<std::uint8_t> BuildSection(const ResourceTable& table, std::uint32_t rva) {
    std::size_t directories = 16 + 8 * table.size(), dataEntries = 0, texts = 0;
    auto textSize = [](const ResourceId& id) {
        const auto* text = std::get_if<std::u16string>(&id.value);
        return text ? 2 + 2 * text->size() : 0;
    };
    for (const auto& [type, names] : table) {
        directories += 16 + 8 * names.size();
        texts += textSize(type);
        for (const auto& [name, languages] : names) {
            directories += 16 + 8 * languages.size();
            dataEntries += languages.size();
            texts += textSize(name);
        }
    }
    std::size_t directoryAt = 0, entryAt = directories, textAt = directories + 16 * dataEntries;
    std::size_t dataAt = AlignUp(static_cast<std::uint32_t>(textAt + texts), 8);
    std::size_t total = dataAt;
    for (const auto& [type, names] : table)
        for (const auto& [name, languages] : names)
            for (const auto& [language, data] : languages) total = AlignUp(static_cast<std::uint32_t>(total), 8) + data.bytes.size();
    std::vector<std::uint8_t> out(total, 0);

    auto directory = [&](std::size_t namedCount, std::size_t idCount) {
        const std::size_t at = directoryAt;
        Put(out, at + 12, 2, static_cast<std::uint32_t>(namedCount));
        Put(out, at + 14, 2, static_cast<std::uint32_t>(idCount));
        directoryAt += 16 + 8 * (namedCount + idCount);
        return at + 16;
    };
    auto nameField = [&](const ResourceId& id) -> std::uint32_t {
        const auto* text = std::get_if<std::u16string>(&id.value);
        if (!text) return std::get<std::uint16_t>(id.value);
        const std::size_t at = textAt;
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
    std::size_t rootEntry = directory(rootNamed, rootIds);
    // Breadth first: the type directories follow the root, the name
    // directories follow all type directories.
    std::vector<std::pair<std::size_t, const std::map<ResourceId, std::map<std::uint16_t, ResourceData>>*>> typeLevel;
    for (const auto& [type, names] : table) {
        const auto [named, ids] = counts(names);
        const std::size_t at = directoryAt;
        Put(out, rootEntry, 4, nameField(type));
        Put(out, rootEntry + 4, 4, kHighBit | static_cast<std::uint32_t>(at));
        rootEntry += 8;
        typeLevel.emplace_back(directory(named, ids), &names);
    }
    std::vector<std::pair<std::size_t, const std::map<std::uint16_t, ResourceData>*>> nameLevel;
    for (auto& [typeEntry, names] : typeLevel) {
        std::size_t entry = typeEntry;
        for (const auto& [name, languages] : *names) {
            const std::size_t at = directoryAt;
            Put(out, entry, 4, nameField(name));
            Put(out, entry + 4, 4, kHighBit | static_cast<std::uint32_t>(at));
            entry += 8;
            nameLevel.emplace_back(directory(0, languages.size()), &languages);
        }
    }
    for (auto& [nameEntry, languages] : nameLevel) {
        std::size_t entry = nameEntry;
        for (const auto& [language, data] : *languages) {
            dataAt = AlignUp(static_cast<std::uint32_t>(dataAt), 8);
            Put(out, entry, 4, language);
            Put(out, entry + 4, 4, static_cast<std::uint32_t>(entryAt));
            entry += 8;
            Put(out, entryAt, 4, rva + static_cast<std::uint32_t>(dataAt));
            Put(out, entryAt + 4, 4, static_cast<std::uint32_t>(data.bytes.size()));
            Put(out, entryAt + 8, 4, data.codePage);
            entryAt += 16;
            std::copy(data.bytes.begin(), data.bytes.end(), out.begin() + dataAt);
            dataAt += data.bytes.size();
        }
    }
    return out;
}

std::uint32_t Checksum(const std::vector<std::uint8_t>& bytes, std::size_t checksumField) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        if (i == checksumField || i == checksumField + 2) continue;
        sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + bytes.size());
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

namespace {

// The resource section, checked to be one that can be rewritten: the program
// is not signed, and what follows the section may move (see the header).
std::vector<Section>::iterator ResourceSection(const std::vector<std::uint8_t>& program, Layout& layout) {
    if (layout.DirectoryRva(kSecurityDirectory, program) != 0)
        Refuse("it is signed, and its signature would no longer hold");
    const std::uint32_t resourceRva = layout.DirectoryRva(kResourceDirectory, program);
    const auto resources = std::find_if(layout.sections.begin(), layout.sections.end(),
                                        [&](const Section& s) { return resourceRva && s.virtualAddress == resourceRva; });
    if (resources == layout.sections.end()) Refuse("it has no section that holds only its resources");

    // What follows the resources must be movable: sections that the loader
    // may discard (the base relocations, debug information), which nothing
    // addresses at run time but the relocation directory, updated below.
    for (auto s = resources + 1; s != layout.sections.end(); ++s) {
        if (!(s->characteristics & kDiscardable) || s->rawPointer < resources->rawPointer + resources->rawSize)
            Refuse("its resource section is followed by a section that cannot move");
    }
    for (std::uint32_t i = 0; i < layout.directoryCount; ++i) {
        const std::uint32_t rva = layout.DirectoryRva(static_cast<int>(i), program);
        if (rva == 0 || i == kResourceDirectory || i == kRelocationDirectory || i == kSecurityDirectory) continue;
        if (rva >= resources->virtualAddress) Refuse("other data lie in or after its resource section");
    }
    return resources;
}

// The program with `section` (the bytes of its first `virtualSize` bytes in
// memory) as its resource section, which starts on a page in the file; the
// sections after it follow, moved in memory as far as the new size asks.
std::vector<std::uint8_t> WriteResourceSection(const std::vector<std::uint8_t>& program, Layout& layout,
                                               std::vector<Section>::iterator resources,
                                               const std::vector<std::uint8_t>& section, std::uint32_t virtualSize) {
    const std::uint32_t relocationRva = layout.DirectoryRva(kRelocationDirectory, program);
    std::uint32_t oldEnd = 0;
    for (const Section& s : layout.sections) oldEnd = std::max(oldEnd, s.rawPointer + s.rawSize);

    // Both alignments are powers of two: the larger is a multiple of the other.
    const std::uint32_t start = AlignUp(resources->rawPointer, std::max(kResourcePage, layout.fileAlignment));
    std::vector<std::uint8_t> out(program.begin(), program.begin() + resources->rawPointer);
    out.resize(start, 0);
    const std::uint32_t oldRawSize = resources->rawSize;
    resources->rawPointer = start;
    resources->virtualSize = virtualSize;
    resources->rawSize = AlignUp(static_cast<std::uint32_t>(section.size()), layout.fileAlignment);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(resources->rawPointer + resources->rawSize, 0);

    std::uint32_t nextRva = AlignUp(resources->VirtualEnd(), layout.sectionAlignment);
    for (auto s = resources + 1; s != layout.sections.end(); ++s) {
        const std::uint32_t shift = nextRva - s->virtualAddress;
        if (s->Holds(relocationRva)) Put(out, layout.directories + 8 * kRelocationDirectory, 4, relocationRva + shift);
        out.insert(out.end(), program.begin() + s->rawPointer, program.begin() + s->rawPointer + s->rawSize);
        s->rawPointer = static_cast<std::uint32_t>(out.size() - s->rawSize);
        s->virtualAddress = nextRva;
        nextRva = AlignUp(s->VirtualEnd(), layout.sectionAlignment);
    }
    // Bytes after the last section (a symbol table of an unstripped program)
    // move with it.
    const std::uint32_t newEnd = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), program.begin() + oldEnd, program.end());
    const std::size_t coff = layout.optional - 20;
    const std::uint32_t symbols = Get(out, coff + 8, 4);
    if (symbols >= oldEnd) Put(out, coff + 8, 4, symbols - oldEnd + newEnd);

    for (const Section& s : layout.sections) {
        Put(out, s.header + 8, 4, s.virtualSize);
        Put(out, s.header + 12, 4, s.virtualAddress);
        Put(out, s.header + 16, 4, s.rawSize);
        Put(out, s.header + 20, 4, s.rawPointer);
    }
    Put(out, layout.directories + 8 * kResourceDirectory + 4, 4, resources->virtualSize);
    Put(out, layout.optional + 56, 4, nextRva);  // SizeOfImage
    if (resources->characteristics & kInitializedData) {
        const std::uint32_t initialized = Get(out, layout.optional + 8, 4);
        Put(out, layout.optional + 8, 4, initialized - oldRawSize + resources->rawSize);
    }
    if (Get(out, layout.optional + 64, 4) != 0) Put(out, layout.optional + 64, 4, Checksum(out, layout.optional + 64));
    return out;
}

}  // namespace

std::vector<std::uint8_t> ReplaceResources(const std::vector<std::uint8_t>& program, const ResourceTable& table) {
    Layout layout = ReadLayout(program);
    const auto resources = ResourceSection(program, layout);
    const std::vector<std::uint8_t> section = BuildSection(table, resources->virtualAddress);
    return WriteResourceSection(program, layout, resources, section, static_cast<std::uint32_t>(section.size()));
}

std::vector<std::uint8_t> PlaceResourcesOnPage(const std::vector<std::uint8_t>& program) {
    Layout layout = ReadLayout(program);
    const auto resources = ResourceSection(program, layout);
    if (resources->rawPointer % kResourcePage == 0) return program;
    // The section's bytes stay as they are, at the same place in memory.
    const auto from = program.begin() + resources->rawPointer;
    const std::vector<std::uint8_t> section(from, from + resources->rawSize);
    return WriteResourceSection(program, layout, resources, section, resources->virtualSize);
}

}  // namespace brunvald::pack
