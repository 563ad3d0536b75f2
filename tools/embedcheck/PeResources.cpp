// Walks the PE headers to the resource section and its three-level directory (type, name, language),
// and to the import tables of the DLLs that the executable loads.
#include "PeResources.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace {

constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kImportDirectoryIndex = 1;
constexpr std::size_t kResourceDirectoryIndex = 2;
constexpr std::size_t kDelayImportDirectoryIndex = 13;

struct Image {
    std::span<const std::uint8_t> bytes;

    void Require(std::size_t offset, std::size_t size, const char* what) const
    {
        if (offset > bytes.size() || bytes.size() - offset < size)
            throw std::runtime_error(std::string(what) + " lies beyond the end of the file (offset " +
                                     std::to_string(offset) + ", file of " + std::to_string(bytes.size()) + " bytes)");
    }
    std::uint32_t Read(std::size_t offset, std::size_t size, const char* what) const
    {
        Require(offset, size, what);
        std::uint32_t value = 0;
        for (std::size_t i = size; i-- > 0;)
            value = value << 8 | bytes[offset + i];
        return value;
    }
    std::uint16_t Word(std::size_t offset, const char* what) const
    {
        return static_cast<std::uint16_t>(Read(offset, 2, what));
    }
    std::uint32_t Dword(std::size_t offset, const char* what) const { return Read(offset, 4, what); }
};

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
};

std::size_t FileOffset(const std::vector<Section>& sections, std::uint32_t rva, const char* what)
{
    for (const Section& section : sections) {
        const std::uint32_t extent = std::max(section.virtualSize, section.rawSize);
        if (rva >= section.virtualAddress && rva - section.virtualAddress < extent)
            return std::size_t{section.rawOffset} + (rva - section.virtualAddress);
    }
    throw std::runtime_error(std::string(what) + " (RVA " + std::to_string(rva) + ") lies in no section");
}

struct Headers {
    bool pe32Plus;
    std::uint64_t imageBase;
    std::vector<std::uint32_t> directoryRvas; // by data directory index; 0 where there is none
    std::vector<Section> sections;

    std::uint32_t DirectoryRva(std::size_t index) const
    {
        return index < directoryRvas.size() ? directoryRvas[index] : 0;
    }
};

Headers ReadHeaders(const Image& image)
{
    if (image.Word(0, "DOS header") != 0x5A4D)
        throw std::runtime_error("the file does not begin with \"MZ\": not an executable");
    const std::size_t pe = image.Dword(0x3C, "DOS header");
    if (image.Dword(pe, "PE signature") != 0x00004550)
        throw std::runtime_error("no \"PE\" signature at offset " + std::to_string(pe));
    const std::size_t sectionCount = image.Word(pe + 6, "COFF header");
    const std::size_t optionalSize = image.Word(pe + 20, "COFF header");
    const std::size_t optional = pe + 24;
    const std::uint16_t magic = image.Word(optional, "optional header");
    if (magic != 0x10B && magic != 0x20B)
        throw std::runtime_error("unknown optional header magic " + std::to_string(magic));
    Headers headers{magic == 0x20B, 0, {}, {}};
    headers.imageBase = headers.pe32Plus ? std::uint64_t{image.Dword(optional + 28, "optional header")} << 32 |
                                               image.Dword(optional + 24, "optional header")
                                         : image.Dword(optional + 28, "optional header");
    const std::size_t directories = optional + (headers.pe32Plus ? 112 : 96);
    const std::size_t directoryCount = image.Dword(directories - 4, "optional header");
    for (std::size_t i = 0; i < directoryCount && i < 16; ++i)
        headers.directoryRvas.push_back(image.Dword(directories + 8 * i, "data directory"));
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = optional + optionalSize + 40 * i;
        headers.sections.push_back({image.Dword(at + 12, "section header"), image.Dword(at + 8, "section header"),
                                    image.Dword(at + 20, "section header"), image.Dword(at + 16, "section header")});
    }
    return headers;
}

// A NUL-terminated ASCII string at an RVA, such as a DLL or function name.
std::string StringAt(const Image& image, const Headers& headers, std::uint32_t rva, const char* what)
{
    std::string text;
    for (std::size_t at = FileOffset(headers.sections, rva, what);; ++at) {
        const auto c = static_cast<char>(image.Read(at, 1, what));
        if (c == '\0')
            return text;
        text += c;
    }
}

// The functions of one import name table: "#" and the number for one imported by ordinal.
std::vector<std::string> ImportedFunctions(const Image& image, const Headers& headers, std::uint32_t tableRva)
{
    const std::size_t thunkSize = headers.pe32Plus ? 8 : 4;
    std::vector<std::string> functions;
    for (std::size_t at = FileOffset(headers.sections, tableRva, "import name table");; at += thunkSize) {
        const std::uint32_t low = image.Dword(at, "import name table");
        const std::uint32_t high = headers.pe32Plus ? image.Dword(at + 4, "import name table") : 0;
        if (low == 0 && high == 0)
            return functions;
        if ((headers.pe32Plus ? high : low) & kHighBit)
            functions.push_back(std::string("#").append(std::to_string(low & 0xFFFF)));
        else
            functions.push_back(StringAt(image, headers, low + 2, "imported function name"));
    }
}

// The name of a directory entry: a string stored in the resource section, or a number.
std::string EntryName(const Image& image, std::size_t root, std::uint32_t field)
{
    if ((field & kHighBit) == 0)
        return std::string("#").append(std::to_string(field));
    const std::size_t at = root + (field & ~kHighBit);
    const std::uint16_t length = image.Word(at, "resource name");
    std::string name;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint16_t unit = image.Word(at + 2 + 2 * i, "resource name");
        name += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return name;
}

struct Entry {
    std::string name;
    std::uint32_t id;
    std::uint32_t target; // offset from the section's start; high bit set for a subdirectory
};

std::vector<Entry> DirectoryEntries(const Image& image, std::size_t root, std::size_t directory)
{
    const std::size_t count = std::size_t{image.Word(directory + 12, "resource directory")} +
                              image.Word(directory + 14, "resource directory");
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = directory + 16 + 8 * i;
        const std::uint32_t name = image.Dword(at, "resource directory entry");
        entries.push_back({EntryName(image, root, name), name, image.Dword(at + 4, "resource directory entry")});
    }
    return entries;
}

std::size_t Subdirectory(std::size_t root, const Entry& entry, bool expected, const char* level)
{
    if (((entry.target & kHighBit) != 0) != expected)
        throw std::runtime_error(
            std::string("resource ") + level + " entry " + entry.name +
            (expected ? " leads to data, expected a directory" : " leads to a directory, expected data"));
    return root + (entry.target & ~kHighBit);
}

} // namespace

std::vector<Resource> ReadResources(std::span<const std::uint8_t> bytes)
{
    const Image image{bytes};
    const Headers headers = ReadHeaders(image);
    const std::uint32_t resourceRva = headers.DirectoryRva(kResourceDirectoryIndex);
    if (resourceRva == 0)
        return {};
    const std::vector<Section>& sections = headers.sections;
    const std::size_t root = FileOffset(sections, resourceRva, "the resource directory");

    std::vector<Resource> resources;
    for (const Entry& type : DirectoryEntries(image, root, root)) {
        const std::size_t typeDirectory = Subdirectory(root, type, true, "type");
        for (const Entry& name : DirectoryEntries(image, root, typeDirectory)) {
            const std::size_t nameDirectory = Subdirectory(root, name, true, "name");
            for (const Entry& language : DirectoryEntries(image, root, nameDirectory)) {
                const std::size_t dataEntry = Subdirectory(root, language, false, "language");
                const std::uint32_t dataRva = image.Dword(dataEntry, "resource data entry");
                const std::uint32_t size = image.Dword(dataEntry + 4, "resource data entry");
                const std::size_t at = FileOffset(sections, dataRva, "resource data");
                image.Require(at, size, "resource data");
                resources.push_back({type.name,
                                     name.name,
                                     static_cast<std::uint16_t>(language.id),
                                     {bytes.begin() + at, bytes.begin() + at + size}});
            }
        }
    }
    return resources;
}

std::vector<Import> ReadImports(std::span<const std::uint8_t> bytes)
{
    const Image image{bytes};
    const Headers headers = ReadHeaders(image);
    std::vector<Import> imports;
    if (const std::uint32_t rva = headers.DirectoryRva(kImportDirectoryIndex)) {
        // Descriptors of 20 bytes up to an empty one: name table, time stamp, forwarder chain, name, address table.
        for (std::size_t at = FileOffset(headers.sections, rva, "import directory");; at += 20) {
            const std::uint32_t nameTable = image.Dword(at, "import descriptor");
            const std::uint32_t name = image.Dword(at + 12, "import descriptor");
            const std::uint32_t addressTable = image.Dword(at + 16, "import descriptor");
            if (name == 0 && addressTable == 0)
                break;
            imports.push_back({StringAt(image, headers, name, "imported DLL name"),
                               ImportedFunctions(image, headers, nameTable ? nameTable : addressTable), false});
        }
    }
    if (const std::uint32_t rva = headers.DirectoryRva(kDelayImportDirectoryIndex)) {
        // Descriptors of 32 bytes up to an empty one; attribute bit 0 clear means addresses instead of RVAs.
        for (std::size_t at = FileOffset(headers.sections, rva, "delay import directory");; at += 32) {
            const std::uint32_t attributes = image.Dword(at, "delay import descriptor");
            const std::uint32_t name = image.Dword(at + 4, "delay import descriptor");
            const std::uint32_t nameTable = image.Dword(at + 16, "delay import descriptor");
            if (name == 0)
                break;
            const auto toRva = [&](std::uint32_t field) {
                return attributes & 1 ? field : static_cast<std::uint32_t>(field - headers.imageBase);
            };
            imports.push_back({StringAt(image, headers, toRva(name), "delay-loaded DLL name"),
                               ImportedFunctions(image, headers, toRva(nameTable)), true});
        }
    }
    return imports;
}

std::vector<std::string> CheckEmbedded(const std::vector<Resource>& resources, const std::vector<PayloadFile>& payloads)
{
    const std::string rcData = std::string("#").append(std::to_string(kRcData));
    const auto sameLetters = [](const std::string& a, const std::string& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
        });
    };
    std::vector<std::string> findings;
    for (const PayloadFile& payload : payloads) {
        std::vector<const Resource*> versions;
        std::string elsewhere;
        for (const Resource& resource : resources) {
            if (resource.type == rcData && resource.name == payload.name)
                versions.push_back(&resource);
            else if (sameLetters(resource.name, payload.name))
                elsewhere += " (found as type " + resource.type + ", name \"" + resource.name + "\")";
        }
        if (versions.empty()) {
            findings.push_back(payload.name + ": not embedded as RCDATA under that name" + elsewhere);
            continue;
        }
        if (versions.size() > 1) {
            std::string languages;
            for (const Resource* version : versions)
                languages.append(" ").append(std::to_string(version->language));
            findings.push_back(payload.name + ": " + std::to_string(versions.size()) + " language versions (languages" +
                               languages + "), expected exactly one");
            continue;
        }
        const Resource& resource = *versions.front();
        if (resource.language != kPayloadLanguage)
            findings.push_back(payload.name + ": language " + std::to_string(resource.language) + ", expected " +
                               std::to_string(kPayloadLanguage));
        if (resource.data != payload.bytes) {
            const auto differ =
                std::mismatch(resource.data.begin(), resource.data.end(), payload.bytes.begin(), payload.bytes.end());
            findings.push_back(payload.name + ": embedded " + std::to_string(resource.data.size()) +
                               " bytes differ from the file's " + std::to_string(payload.bytes.size()) +
                               " bytes from offset " + std::to_string(differ.first - resource.data.begin()));
        }
    }
    return findings;
}
