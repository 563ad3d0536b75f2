// Reads the resource table and the imports of a Windows executable from its bytes, on any platform,
// and checks that the payload files are embedded in it as the installer expects them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr std::uint32_t kRcData = 10;
inline constexpr std::uint16_t kPayloadLanguage = 1050; // 0x041A: Croatian as used in Croatia

// One language version of one resource. A type or name given by number reads "#" and the number.
struct Resource {
    std::string type;
    std::string name;
    std::uint16_t language;
    std::vector<std::uint8_t> data;
};

// Throws std::runtime_error naming what is wrong when the bytes are not a readable executable.
std::vector<Resource> ReadResources(std::span<const std::uint8_t> image);

// The DLL an executable names in its import or delay import table, with the functions it takes from it.
struct Import {
    std::string dll;                    // as written in the executable: "KERNEL32.dll"
    std::vector<std::string> functions; // by name; "#" and the number for one imported by ordinal
    bool delayLoaded;                   // loaded on first use instead of at start
};

// Throws std::runtime_error naming what is wrong when the bytes or the import tables are not readable.
std::vector<Import> ReadImports(std::span<const std::uint8_t> image);

struct PayloadFile {
    std::string name; // upper case, as embedded: "ICON_DK"
    std::vector<std::uint8_t> bytes;
};

// One message per payload that is not embedded exactly once, as RCDATA under its name, in language
// 1050 and with the file's bytes; empty when all are.
std::vector<std::string> CheckEmbedded(const std::vector<Resource>& resources,
                                       const std::vector<PayloadFile>& payloads);
