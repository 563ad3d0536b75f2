// Reading the resource table of a Windows executable and checking the embedded payloads against their
// files, on small executables built here byte by byte.
#include "../support/PeImage.h"
#include "PeResources.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>

namespace {

struct Entry {
    std::uint32_t type;
    std::string name;
    std::uint16_t language;
    Bytes data;
};

constexpr std::size_t kResourceDirectory = 2;

// The resource section: a directory of types (by number), each a directory of names (strings),
// each a directory of languages, each leading to a data entry; then the names and the data.
Bytes ResourceSection(const std::vector<Entry>& entries)
{
    std::map<std::uint32_t, std::map<std::string, std::vector<const Entry*>>> tree;
    for (const Entry& entry : entries)
        tree[entry.type][entry.name].push_back(&entry);

    Bytes section;
    const auto directory = [&section](std::size_t named, std::size_t numbered) {
        const std::size_t at = section.size();
        Put(section, at + 12, static_cast<std::uint32_t>(named), 2);
        Put(section, at + 14, static_cast<std::uint32_t>(numbered), 2);
        section.resize(at + 16 + 8 * (named + numbered));
        return at;
    };
    struct Pending {
        std::size_t entry;
        std::string name;
    };
    std::vector<Pending> names;
    std::vector<std::pair<std::size_t, const Entry*>> data;

    const std::size_t root = directory(0, tree.size());
    std::size_t typeIndex = 0;
    for (const auto& [type, byName] : tree) {
        const std::size_t typeEntry = root + 16 + 8 * typeIndex++;
        const std::size_t typeDirectory = directory(byName.size(), 0);
        Put(section, typeEntry, type, 4);
        Put(section, typeEntry + 4, 0x80000000u | static_cast<std::uint32_t>(typeDirectory), 4);
        std::size_t nameIndex = 0;
        for (const auto& [name, versions] : byName) {
            const std::size_t nameEntry = typeDirectory + 16 + 8 * nameIndex++;
            const std::size_t nameDirectory = directory(0, versions.size());
            names.push_back({nameEntry, name});
            Put(section, nameEntry + 4, 0x80000000u | static_cast<std::uint32_t>(nameDirectory), 4);
            for (std::size_t i = 0; i < versions.size(); ++i) {
                const std::size_t languageEntry = nameDirectory + 16 + 8 * i;
                Put(section, languageEntry, versions[i]->language, 4);
                const std::size_t dataEntry = section.size();
                section.resize(dataEntry + 16);
                Put(section, languageEntry + 4, static_cast<std::uint32_t>(dataEntry), 4);
                data.emplace_back(dataEntry, versions[i]);
            }
        }
    }
    for (const Pending& pending : names) {
        const std::size_t at = section.size();
        Put(section, pending.entry, 0x80000000u | static_cast<std::uint32_t>(at), 4);
        Put(section, at, static_cast<std::uint32_t>(pending.name.size()), 2);
        for (std::size_t i = 0; i < pending.name.size(); ++i)
            Put(section, at + 2 + 2 * i, static_cast<unsigned char>(pending.name[i]), 2);
    }
    for (const auto& [dataEntry, entry] : data) {
        const std::size_t at = (section.size() + 3) & ~std::size_t{3};
        section.resize(at);
        section.insert(section.end(), entry->data.begin(), entry->data.end());
        Put(section, dataEntry, kSectionRva + static_cast<std::uint32_t>(at), 4);
        Put(section, dataEntry + 4, static_cast<std::uint32_t>(entry->data.size()), 4);
    }
    return section;
}

// A 64-bit executable whose only section holds the resources.
Bytes Executable(const std::vector<Entry>& entries)
{
    const Bytes section = ResourceSection(entries);
    PeHeaders headers;
    headers.machine = 0x8664;
    headers.sectionName = ".rsrc";
    headers.directories.push_back({kResourceDirectory, kSectionRva, static_cast<std::uint32_t>(section.size())});
    return PeImage(section, headers);
}

const Bytes kFlagBytes = {'B', 'M', 1, 2, 3};
const Bytes kTextBytes = {'0', 0, '0', 0, '0', 0, '.', 0, ':', 0};
const std::vector<PayloadFile> kPayloads = {{"ICON_DK", kFlagBytes}, {"TEXT_TV_DK", kTextBytes}};

std::vector<std::string> Check(const std::vector<Entry>& entries)
{
    return CheckEmbedded(ReadResources(Executable(entries)), kPayloads);
}

TEST(ReadResources, ReadsTypeNameLanguageAndDataOfEveryVersion)
{
    const std::vector<Resource> resources = ReadResources(Executable({
        {10, "ICON_DK", 1050, kFlagBytes},
        {24, "MANIFEST", 1033, {'<', '?'}},
        {10, "TEXT_TV_DK", 1050, kTextBytes},
        {10, "TEXT_TV_DK", 1033, {}},
    }));
    ASSERT_EQ(resources.size(), 4u);
    EXPECT_EQ(resources[0].type, "#10");
    EXPECT_EQ(resources[0].name, "ICON_DK");
    EXPECT_EQ(resources[0].language, 1050);
    EXPECT_EQ(resources[0].data, kFlagBytes);
    EXPECT_EQ(resources[1].name, "TEXT_TV_DK");
    EXPECT_EQ(resources[1].data, kTextBytes);
    EXPECT_EQ(resources[2].language, 1033);
    EXPECT_TRUE(resources[2].data.empty());
    EXPECT_EQ(resources[3].type, "#24");
}

TEST(CheckEmbedded, AcceptsEveryPayloadOnceInLanguage1050WithItsBytes)
{
    EXPECT_EQ(Check({{10, "ICON_DK", 1050, kFlagBytes}, {10, "TEXT_TV_DK", 1050, kTextBytes}}),
              std::vector<std::string>{});
}

struct Fault {
    std::string_view name;
    std::vector<Entry> entries;
    std::string_view expected;
};

const Fault kFaults[] = {
    {"Missing", {{10, "ICON_DK", 1050, kFlagBytes}}, "TEXT_TV_DK: not embedded as RCDATA under that name"},
    {"LowerCaseName",
     {{10, "ICON_DK", 1050, kFlagBytes}, {10, "text_tv_dk", 1050, kTextBytes}},
     "TEXT_TV_DK: not embedded as RCDATA under that name (found as type #10, name \"text_tv_dk\")"},
    {"WrongType",
     {{10, "ICON_DK", 1050, kFlagBytes}, {23, "TEXT_TV_DK", 1050, kTextBytes}},
     "TEXT_TV_DK: not embedded as RCDATA under that name (found as type #23, name \"TEXT_TV_DK\")"},
    {"WrongLanguage",
     {{10, "ICON_DK", 1033, kFlagBytes}, {10, "TEXT_TV_DK", 1050, kTextBytes}},
     "ICON_DK: language 1033, expected 1050"},
    {"TwoLanguages",
     {{10, "ICON_DK", 1050, kFlagBytes}, {10, "ICON_DK", 1033, kFlagBytes}, {10, "TEXT_TV_DK", 1050, kTextBytes}},
     "ICON_DK: 2 language versions (languages 1050 1033), expected exactly one"},
    {"OtherBytes",
     {{10, "ICON_DK", 1050, {'B', 'M', 1, 9, 3}}, {10, "TEXT_TV_DK", 1050, kTextBytes}},
     "ICON_DK: embedded 5 bytes differ from the file's 5 bytes from offset 3"},
    {"TrailingBytes",
     {{10, "ICON_DK", 1050, kFlagBytes}, {10, "TEXT_TV_DK", 1050, {'0', 0, '0', 0, '0', 0, '.', 0, ':', 0, 0, 0}}},
     "TEXT_TV_DK: embedded 12 bytes differ from the file's 10 bytes from offset 10"},
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

class EmbeddedWrongly : public ::testing::TestWithParam<Fault> {};

TEST_P(EmbeddedWrongly, IsNamed)
{
    const std::vector<std::string> findings = Check(GetParam().entries);
    ASSERT_EQ(findings.size(), 1u) << ::testing::PrintToString(findings);
    EXPECT_EQ(findings[0], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(OneFaultEach, EmbeddedWrongly, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

struct Damage {
    std::string_view name;
    std::function<void(Bytes&)> damage;
    std::string_view expected;
};

const Damage kDamages[] = {
    {"NoMz", [](Bytes& image) { image[0] = 'X'; }, "does not begin with \"MZ\""},
    {"NoPeSignature", [](Bytes& image) { image[kPeOffset + 1] = 'X'; }, "no \"PE\" signature at offset 128"},
    {"PeOffsetBeyondTheEnd", [](Bytes& image) { Put(image, 0x3C, 0x100000, 4); }, "PE signature lies beyond the end"},
    {"UnknownMagic", [](Bytes& image) { Put(image, kPeOffset + 24, 0x107, 2); }, "unknown optional header magic 263"},
    {"ResourcesInNoSection", [](Bytes& image) { Put(image, kPeOffset + 24 + 128, 0x9000, 4); },
     "the resource directory (RVA 36864) lies in no section"},
    {"Truncated", [](Bytes& image) { image.resize(image.size() - 3); }, "resource data lies beyond the end"},
};

void PrintTo(const Damage& damage, std::ostream* out)
{
    *out << damage.name;
}

class DamagedExecutable : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedExecutable, IsRefusedWithTheReason)
{
    Bytes image = Executable({{10, "ICON_DK", 1050, kFlagBytes}, {10, "TEXT_TV_DK", 1050, kTextBytes}});
    GetParam().damage(image);
    try {
        ReadResources(image);
        FAIL() << "accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().expected), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(OneDamageEach, DamagedExecutable, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
