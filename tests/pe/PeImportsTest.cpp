// Safe loading, read from the built executable: it imports only DLLs that Windows always takes
// from the system folder, and restricts the search of every later load to that folder first.
// The import tables are read the same way from small executables built here byte by byte.
#include "../support/PeImage.h"
#include "PeResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

// Known DLLs of every Windows from 8 on: the loader maps them from the system folder whatever
// folder the program was started from. comctl32 is not one of them.
constexpr std::array<std::string_view, 21> kKnownDlls = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll",   "imagehlp.dll", "imm32.dll",    "kernel32.dll", "msctf.dll",
    "msvcrt.dll",   "normaliz.dll", "nsi.dll",     "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",
    "sechost.dll",  "setupapi.dll", "shell32.dll", "shlwapi.dll",  "user32.dll",   "wldap32.dll",  "ws2_32.dll",
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// ---- the built installer ----

std::vector<Import> InstallerImports()
{
    const char* path = std::getenv("KALVANTA_INSTALLER");
    if (!path)
        throw std::runtime_error("KALVANTA_INSTALLER does not name the executable");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string(path) + " cannot be read");
    const Bytes image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ReadImports(image);
}

TEST(InstallerImports, OnlyKnownDlls)
{
    const std::vector<Import> imports = InstallerImports();
    ASSERT_FALSE(imports.empty());
    for (const Import& import : imports) {
        EXPECT_FALSE(import.delayLoaded) << import.dll << " is delay-loaded, after the search could be restricted";
        EXPECT_NE(std::find(kKnownDlls.begin(), kKnownDlls.end(), Lower(import.dll)), kKnownDlls.end())
            << import.dll << " is not a known DLL: Windows would look for it in the program's folder first";
    }
}

TEST(InstallerImports, RestrictsTheSearchThroughKernel32)
{
    const std::vector<Import> imports = InstallerImports();
    const auto kernel32 = std::find_if(imports.begin(), imports.end(),
                                       [](const Import& import) { return Lower(import.dll) == "kernel32.dll"; });
    ASSERT_NE(kernel32, imports.end());
    for (const char* function : {"SetDefaultDllDirectories", "LoadLibraryExW"}) {
        EXPECT_NE(std::find(kernel32->functions.begin(), kernel32->functions.end(), function),
                  kernel32->functions.end())
            << function;
    }
}

// ---- reading import tables ----

constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kDelayImportDirectory = 13;
constexpr std::uint64_t kImageBase64 = 0x140000000;
constexpr std::uint64_t kImageBase32 = 0x400000;

struct Dll {
    std::string name;
    std::vector<std::string> functions; // "#N" imports by ordinal
};

struct Layout {
    bool pe32Plus = true;
    bool withNameTables = true;   // else only the address tables are filled in
    bool delayAddresses = false;  // delay tables in the old 32-bit form, with addresses instead of RVAs
    std::uint32_t badNameRva = 0; // when set, the first DLL's name lies there
};

// One section that holds the import tables of `dlls` and the delay import tables of `delayed`.
Bytes Executable(const std::vector<Dll>& dlls, const std::vector<Dll>& delayed, const Layout& layout = {})
{
    const std::size_t thunk = layout.pe32Plus ? 8 : 4;
    const std::uint64_t imageBase = layout.pe32Plus ? kImageBase64 : kImageBase32;
    const std::uint64_t ordinalFlag = layout.pe32Plus ? 0x8000000000000000 : 0x80000000;
    Bytes section;
    const auto rva = [](std::size_t at) { return kSectionRva + static_cast<std::uint32_t>(at); };
    const auto text = [&](const std::string& value) {
        const std::size_t at = section.size();
        section.insert(section.end(), value.begin(), value.end());
        section.push_back(0);
        return at;
    };
    const auto table = [&](const Dll& dll) {
        std::vector<std::uint64_t> thunks;
        for (const std::string& function : dll.functions) {
            if (function.starts_with("#")) {
                thunks.push_back(ordinalFlag | std::stoul(function.substr(1)));
            } else {
                const std::size_t hint = section.size();
                Put(section, hint, 0, 2);
                text(function);
                thunks.push_back(rva(hint));
            }
        }
        thunks.push_back(0);
        const std::size_t at = section.size();
        for (std::size_t i = 0; i < thunks.size(); ++i)
            Put(section, at + thunk * i, thunks[i], thunk);
        return at;
    };

    const std::size_t imports = 0;
    const std::size_t delayImports = 20 * (dlls.size() + 1);
    section.resize(delayImports + 32 * (delayed.size() + 1));
    for (std::size_t i = 0; i < dlls.size(); ++i) {
        const std::size_t at = imports + 20 * i;
        const std::uint32_t name = layout.badNameRva && i == 0 ? layout.badNameRva : rva(text(dlls[i].name));
        const std::size_t names = table(dlls[i]);
        const std::size_t addresses = table(dlls[i]);
        Put(section, at, layout.withNameTables ? rva(names) : 0, 4);
        Put(section, at + 12, name, 4);
        Put(section, at + 16, rva(addresses), 4);
    }
    const std::uint64_t base = layout.delayAddresses ? imageBase : 0;
    for (std::size_t i = 0; i < delayed.size(); ++i) {
        const std::size_t at = delayImports + 32 * i;
        Put(section, at, layout.delayAddresses ? 0 : 1, 4);
        Put(section, at + 4, base + rva(text(delayed[i].name)), 4);
        Put(section, at + 12, base + rva(table(delayed[i])), 4);
        Put(section, at + 16, base + rva(table(delayed[i])), 4);
    }

    PeHeaders headers;
    headers.pe32Plus = layout.pe32Plus;
    headers.imageBase = imageBase;
    if (!dlls.empty())
        headers.directories.push_back({kImportDirectory, rva(imports)});
    if (!delayed.empty())
        headers.directories.push_back({kDelayImportDirectory, rva(delayImports)});
    return PeImage(section, headers);
}

const std::vector<Dll> kDlls = {
    {"KERNEL32.dll", {"SetDefaultDllDirectories", "LoadLibraryExW"}},
    {"USER32.dll", {"#17", "MessageBoxW"}},
};

void ExpectImports(const std::vector<Import>& imports, const std::vector<Dll>& dlls, bool delayLoaded)
{
    ASSERT_EQ(imports.size(), dlls.size());
    for (std::size_t i = 0; i < dlls.size(); ++i) {
        EXPECT_EQ(imports[i].dll, dlls[i].name);
        EXPECT_EQ(imports[i].functions, dlls[i].functions) << dlls[i].name;
        EXPECT_EQ(imports[i].delayLoaded, delayLoaded) << dlls[i].name;
    }
}

struct Shape {
    std::string_view name;
    Layout layout;
};

const Shape kShapes[] = {
    {"Pe32Plus", {}},
    {"Pe32", {.pe32Plus = false}},
    {"AddressTablesOnly", {.withNameTables = false}},
};

void PrintTo(const Shape& shape, std::ostream* out)
{
    *out << shape.name;
}

class ImportTable : public ::testing::TestWithParam<Shape> {};

TEST_P(ImportTable, ReadsEveryDllWithItsFunctionsByNameAndOrdinal)
{
    ExpectImports(ReadImports(Executable(kDlls, {}, GetParam().layout)), kDlls, false);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ImportTable, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DelayImportTable, ReadsDelayLoadedDllsAfterTheOthers)
{
    const std::vector<Dll> delayed = {{"COMCTL32.dll", {"InitCommonControlsEx"}}};
    const std::vector<Import> imports = ReadImports(Executable({kDlls[0]}, delayed));
    ASSERT_EQ(imports.size(), 2u);
    ExpectImports({imports[0]}, {kDlls[0]}, false);
    ExpectImports({imports[1]}, delayed, true);
}

TEST(DelayImportTable, ReadsTheOldFormWithAddresses)
{
    const std::vector<Dll> delayed = {{"MSFTEDIT.dll", {"#1"}}};
    ExpectImports(ReadImports(Executable({}, delayed, {.pe32Plus = false, .delayAddresses = true})), delayed, true);
}

TEST(ImportTables, NoneWhenTheExecutableImportsNothing)
{
    EXPECT_TRUE(ReadImports(Executable({}, {})).empty());
}

struct Broken {
    std::string_view name;
    Bytes image;
    std::string_view message; // part of what the error says
};

Bytes Truncated(Bytes image, std::size_t size)
{
    image.resize(size);
    return image;
}

void PrintTo(const Broken& broken, std::ostream* out)
{
    *out << broken.name;
}

class BrokenImportTable : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenImportTable, IsReportedNotRead)
{
    try {
        ReadImports(GetParam().image);
        FAIL() << "read without complaint";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().message), std::string::npos) << error.what();
    }
}

const Broken kBroken[] = {
    {"NameOutsideEverySection", Executable(kDlls, {}, {.badNameRva = 0x9000}), "imported DLL name"},
    {"TablesCutOff", Truncated(Executable(kDlls, {}), kSectionOffset + 30), "beyond the end of the file"},
    {"NotAnExecutable", Bytes(64, 'x'), "not an executable"},
};

INSTANTIATE_TEST_SUITE_P(Faults, BrokenImportTable, ::testing::ValuesIn(kBroken),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
