// The resource section's plan against the format's limits, from the sizes of
// the data alone: a table past them is refused with what is too large, never
// cut to 16 or 32 bits. The expected sizes are counted by hand from the
// format: a directory takes 16 bytes and 8 per entry, a data entry 16, a
// name 2 and 2 per character, and each piece of data starts on 8 bytes.
// Broken programs are tested through the builder on the real installer
// program (tests/payload/check_pack_hostile.py).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "pack/pe_resources.h"

namespace brunvald::pack {
namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

ResourceId Number(std::uint16_t id) { return ResourceId{id}; }
ResourceId Name(std::u16string text) { return ResourceId{std::move(text)}; }

struct PlanCase {
    const char* what;
    std::function<ResourceSizes()> sizes;
    std::optional<std::uint64_t> size;  // the section's size, or nothing when refused
    std::string message;                // what the refusal holds
};

// One type (10), each name with language 1031.
ResourceSizes NamesWithSizes(std::initializer_list<std::uint64_t> sizes) {
    ResourceSizes table;
    std::uint16_t name = 1;
    for (std::uint64_t size : sizes) table[Number(10)][Number(name++)][1031] = size;
    return table;
}

ResourceSizes NumberedNames(std::uint32_t count, std::uint32_t named = 0) {
    ResourceSizes table;
    for (std::uint32_t i = 0; i < count; ++i) table[Number(10)][Number(static_cast<std::uint16_t>(i))][1031] = 0;
    for (std::uint32_t i = 0; i < named; ++i) {
        const std::u16string text = u"N" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                                    std::u16string(1, static_cast<char16_t>(0x100 + i / 26));
        table[Number(10)][Name(text)][1031] = 0;
    }
    return table;
}

const PlanCase kPlanCases[] = {
    // root 16+8, type 16+65535*8, 65535 names 16+8 each, 65535 data entries.
    {"65535 numbered names", [] { return NumberedNames(65535); }, 24 + 524296 + 65535 * 24 + 65535 * 16, ""},
    {"65536 numbered names", [] { return NumberedNames(65536); }, std::nullopt,
     "the directory of names of the type 10 has 0 named and 65536 numbered entries; a resource directory holds at "
     "most 65535 of each"},
    // Each kind has its own count: 65535 of both fit. Three-character names.
    {"65535 named and 65535 numbered names", [] { return NumberedNames(65535, 65535); },
     24 + (16 + 131070 * 8) + 131070 * 24 + 131070 * 16 + 65535 * 8, ""},
    {"65536 named names", [] { return NumberedNames(0, 65536); }, std::nullopt, "has 65536 named and 0 numbered"},
    {"65536 languages of one resource",
     [] {
         ResourceSizes table;
         for (std::uint32_t language = 0; language <= 0xFFFF; ++language)
             table[Name(u"RT_RCDATA")][Name(u"BIG")][static_cast<std::uint16_t>(language)] = 0;
         return table;
     },
     std::nullopt, "the directory of languages of the resource \"BIG\" of the type \"RT_RCDATA\" has 0 named and 65536"},
    {"65536 types",
     [] {
         ResourceSizes table;
         for (std::uint32_t type = 0; type <= 0xFFFF; ++type) table[Number(static_cast<std::uint16_t>(type))][Number(1)][1031] = 0;
         return table;
     },
     std::nullopt, "the directory of types has 0 named and 65536 numbered"},
    {"a name of 65535 characters",
     [] {
         ResourceSizes table;
         table[Name(u"RT_RCDATA")][Name(std::u16string(65535, u'A'))][1031] = 0;
         return table;
     },
     88 + (2 + 18) + (2 + 2 * 65535) + 4, ""},  // the texts, then up to the next 8 bytes
    {"a name of 65536 characters",
     [] {
         ResourceSizes table;
         table[Name(u"RT_RCDATA")][Name(std::u16string(65536, u'A'))][1031] = 0;
         return table;
     },
     std::nullopt, "has 65536 characters, more than the 65535 a name can have"},
    // One resource: three directories of one entry (24 each), its data entry.
    {"exactly 2 GiB", [] { return NamesWithSizes({2 * kGiB - 88}); }, 2 * kGiB, ""},
    {"one byte past 2 GiB", [] { return NamesWithSizes({2 * kGiB - 87}); }, std::nullopt,
     "they take 2147483649 bytes, more than the 2147483648 (2 GiB) that one section of a program can hold"},
    // Two resources: root 24, type 16+16, two names 24 each, two data
    // entries: the data start at 136. Cut to 32 bits this was 1 GiB.
    {"5 GiB in two files", [] { return NamesWithSizes({4 * kGiB, kGiB}); }, std::nullopt,
     "they take 5368709256 bytes, more than"},
    // A sum past 64 bits must not come round to a small one.
    {"sizes whose sum passes 64 bits", [] { return NamesWithSizes({std::uint64_t{1} << 63, std::uint64_t{1} << 63}); },
     std::nullopt, "they take 18446744073709551615 bytes"},
};

TEST(ResourceSectionPlan, CountsAndSizesAgainstTheFormatsLimits) {
    for (const PlanCase& c : kPlanCases) {
        SCOPED_TRACE(c.what);
        const ResourceSizes sizes = c.sizes();
        if (c.size) {
            EXPECT_EQ(ResourceSectionSize(sizes), *c.size);
            continue;
        }
        try {
            ResourceSectionSize(sizes);
            ADD_FAILURE() << "accepted";
        } catch (const PackError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
            EXPECT_EQ(std::string(error.what()).rfind("the resources do not fit in a program: ", 0), 0u) << error.what();
        }
    }
}

// A type without names and a name without languages still take their
// directories: a plan without them put the section's pieces over each other.
TEST(ResourceSectionPlan, EmptyDirectoriesTakeTheirPlace) {
    ResourceTable table;
    table[Number(3)];                  // root entry 8, its directory 16
    table[Number(10)][Number(7)];      // root entry 8, directory 16 + 8, name's directory 16
    table[Number(10)][Number(8)][1031] = ResourceData{{1, 2, 3}, 0};  // name entry 8, its directory 16 + 8, entry 16
    EXPECT_EQ(ResourceSectionSize(SizesOf(table)), 16 + 2 * 8 + 16 + (16 + 2 * 8) + 16 + (16 + 8) + 16 + 3);
}

}  // namespace
}  // namespace brunvald::pack
