// The flag picture payloads: a 16 x 16 bitmap file of 24 bits per pixel, the figures that
// each of the eight pictures must show, and the check of a file against them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    bool operator==(const Rgb&) const = default;
    bool operator<(const Rgb& other) const
    {
        return std::tie(red, green, blue) < std::tie(other.red, other.green, other.blue);
    }
};

inline constexpr Rgb kWhite{255, 255, 255};

inline constexpr int kSide = 16;
using Picture = std::array<std::array<Rgb, kSide>, kSide>; // [row][column], row 0 at the top

// The letters of the language code stay inside this box; counted from 0 at the top left.
inline constexpr int kLetterTop = 3;
inline constexpr int kLetterBottom = 12;
inline constexpr int kLetterLeft = 1;
inline constexpr int kLetterRight = 13;

inline constexpr std::size_t kPixelOffset = 54;
inline constexpr std::size_t kRowBytes = std::size_t{kSide} * 3;
inline constexpr std::size_t kRowsEnd = kPixelOffset + std::size_t{kSide} * kRowBytes;
inline constexpr std::size_t kFlagFileSize = kRowsEnd + 2; // two zero bytes end the file

struct HeaderField {
    std::size_t offset;
    std::size_t size;
    std::string_view name;
    std::int32_t value;
};

// The 54 header bytes, the same in every flag file.
inline constexpr std::array<HeaderField, 16> kHeaderFields{{
    {0, 2, "signature", 0x4D42}, // "BM"
    {2, 4, "file size", static_cast<std::int32_t>(kFlagFileSize)},
    {6, 2, "first reserved field", 0},
    {8, 2, "second reserved field", 0},
    {10, 4, "offset of the pixel rows", static_cast<std::int32_t>(kPixelOffset)},
    {14, 4, "info header size", 40},
    {18, 4, "width", kSide},
    {22, 4, "height", kSide}, // positive: the rows are stored bottom-up
    {26, 2, "planes", 1},
    {28, 2, "bits per pixel", 24},
    {30, 4, "compression", 0},
    {34, 4, "image size", static_cast<std::int32_t>(kFlagFileSize - kPixelOffset)},
    {38, 4, "horizontal resolution", 11808},
    {42, 4, "vertical resolution", 11808},
    {46, 4, "colours used", 0},
    {50, 4, "important colours", 0},
}};

struct FlagRecord {
    std::string_view payload;
    std::string_view letters;
    std::array<Rgb, 4> corners; // top left, top right, bottom left, bottom right
    std::size_t distinctColours;
    bool whiteInGround; // the flag itself has white areas besides the letters
};

inline constexpr Rgb kGreen{0x00, 0xC0, 0x00};
inline constexpr Rgb kRed{0xFF, 0x00, 0x00};
inline constexpr Rgb kBlue{0x00, 0x00, 0xC0};

inline constexpr std::array<FlagRecord, 8> kFlags{{
    {"ICON_AR", "AR", {kGreen, kGreen, kGreen, kGreen}, 15, false},
    {"ICON_DK", "DK", {kRed, kRed, kRed, kRed}, 18, true},
    {"ICON_ES", "ES", {kRed, kRed, kRed, kRed}, 59, false},
    {"ICON_HR", "HR", {kRed, kRed, kBlue, kBlue}, 72, true},
    {"ICON_IT", "IT", {kGreen, kRed, kGreen, kRed}, 94, true},
    {"ICON_KR", "KR", {kWhite, kWhite, kWhite, kWhite}, 66, true},
    {"ICON_PT", "PT", {kGreen, kRed, kGreen, kRed}, 71, false},
    {"ICON_SE", "SE", {kBlue, kBlue, kBlue, kBlue}, 20, false},
}};

// The record of a payload name such as "ICON_DK", in any letter case; null if there is none.
const FlagRecord* FindFlag(std::string_view payload);

std::vector<std::uint8_t> EncodeFlag(const Picture& picture);

// Reads the pixel rows of a file that holds at least the header and the rows.
Picture DecodeFlag(std::span<const std::uint8_t> file);

// One message per finding, each naming the payload and the field or pixel; empty when the file is right.
std::vector<std::string> CheckFlag(const FlagRecord& flag, std::span<const std::uint8_t> file);

std::string HexColour(Rgb colour);
