// Encoding, decoding and checking of the flag picture files.
#include "FlagFormat.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

std::int32_t ReadField(std::span<const std::uint8_t> file, const HeaderField& field)
{
    std::uint32_t value = 0;
    for (std::size_t i = field.size; i-- > 0;)
        value = value << 8 | file[field.offset + i];
    return static_cast<std::int32_t>(value);
}

void WriteField(std::vector<std::uint8_t>& file, const HeaderField& field)
{
    const auto value = static_cast<std::uint32_t>(field.value);
    for (std::size_t i = 0; i < field.size; ++i)
        file[field.offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::string FieldText(const HeaderField& field, std::int32_t value)
{
    if (field.offset == 0) {
        const char text[] = {'"', static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF), '"', 0};
        return text;
    }
    return std::to_string(value);
}

std::size_t RowOffset(int row)
{
    return kPixelOffset + static_cast<std::size_t>(kSide - 1 - row) * kRowBytes;
}

bool InLetterBox(int row, int column)
{
    return row >= kLetterTop && row <= kLetterBottom && column >= kLetterLeft && column <= kLetterRight;
}

bool OnEdge(int row, int column)
{
    return row == 0 || row == kSide - 1 || column == 0 || column == kSide - 1;
}

// Marks the white pixels connected to the picture's edge through white pixels (8 neighbours):
// those belong to the flag's own white, never to a letter, which is kept off the edge by its box.
std::array<std::array<bool, kSide>, kSide> WhiteReachingEdge(const Picture& picture)
{
    std::array<std::array<bool, kSide>, kSide> reached{};
    std::vector<std::pair<int, int>> pending;
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column)
            if (OnEdge(row, column) && picture[row][column] == kWhite) {
                reached[row][column] = true;
                pending.emplace_back(row, column);
            }
    while (!pending.empty()) {
        const auto [row, column] = pending.back();
        pending.pop_back();
        for (int r = std::max(row - 1, 0); r <= std::min(row + 1, kSide - 1); ++r)
            for (int c = std::max(column - 1, 0); c <= std::min(column + 1, kSide - 1); ++c)
                if (!reached[r][c] && picture[r][c] == kWhite) {
                    reached[r][c] = true;
                    pending.emplace_back(r, c);
                }
    }
    return reached;
}

void CheckHeader(std::span<const std::uint8_t> file, std::vector<std::string>& findings, const std::string& prefix)
{
    for (const HeaderField& field : kHeaderFields) {
        const std::int32_t value = ReadField(file, field);
        if (value != field.value)
            findings.push_back(prefix + std::string(field.name) + " (offset " + std::to_string(field.offset) + ") is " +
                               FieldText(field, value) + ", expected " + FieldText(field, field.value));
    }
}

void CheckPixels(const FlagRecord& flag, const Picture& picture, std::vector<std::string>& findings,
                 const std::string& prefix)
{
    struct Corner {
        std::string_view name;
        int row;
        int column;
    };
    constexpr std::array<Corner, 4> kCorners{{
        {"top left", 0, 0},
        {"top right", 0, kSide - 1},
        {"bottom left", kSide - 1, 0},
        {"bottom right", kSide - 1, kSide - 1},
    }};
    for (std::size_t i = 0; i < kCorners.size(); ++i) {
        const Corner& corner = kCorners[i];
        const Rgb found = picture[corner.row][corner.column];
        if (found != flag.corners[i])
            findings.push_back(prefix + std::string(corner.name) + " corner pixel (row " + std::to_string(corner.row) +
                               ", column " + std::to_string(corner.column) + ") is " + HexColour(found) +
                               ", expected " + HexColour(flag.corners[i]));
    }

    std::set<Rgb> colours;
    for (const auto& row : picture)
        colours.insert(row.begin(), row.end());
    if (colours.size() != flag.distinctColours)
        findings.push_back(prefix + "has " + std::to_string(colours.size()) + " distinct colours, expected " +
                           std::to_string(flag.distinctColours));

    const auto groundWhite = WhiteReachingEdge(picture);
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column)
            if (picture[row][column] == kWhite && !InLetterBox(row, column) &&
                !(flag.whiteInGround && groundWhite[row][column]))
                findings.push_back(prefix + "white pixel (row " + std::to_string(row) + ", column " +
                                   std::to_string(column) + ") lies outside the letters' box (rows " +
                                   std::to_string(kLetterTop) + "-" + std::to_string(kLetterBottom) + ", columns " +
                                   std::to_string(kLetterLeft) + "-" + std::to_string(kLetterRight) + ")" +
                                   (flag.whiteInGround ? " and is not part of the flag's white" : ""));

    std::set<Rgb> border;
    for (int i = 0; i < kSide; ++i) {
        border.insert({picture[0][i], picture[kSide - 1][i], picture[i][0], picture[i][kSide - 1]});
    }
    if (border.size() == 1)
        findings.push_back(prefix + "the border (rows 0 and 15, columns 0 and 15) is all " +
                           HexColour(*border.begin()) + ", expected more than one colour");
}

} // namespace

std::string HexColour(Rgb colour)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t channel : {colour.red, colour.green, colour.blue}) {
        text += kDigits[channel >> 4];
        text += kDigits[channel & 0xF];
    }
    return text;
}

const FlagRecord* FindFlag(std::string_view payload)
{
    const auto found = std::find_if(kFlags.begin(), kFlags.end(), [payload](const FlagRecord& flag) {
        return std::equal(payload.begin(), payload.end(), flag.payload.begin(), flag.payload.end(),
                          [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
    });
    return found == kFlags.end() ? nullptr : &*found;
}

std::vector<std::uint8_t> EncodeFlag(const Picture& picture)
{
    std::vector<std::uint8_t> file(kFlagFileSize, 0);
    for (const HeaderField& field : kHeaderFields)
        WriteField(file, field);
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column) {
            const Rgb pixel = picture[row][column];
            const std::size_t at = RowOffset(row) + static_cast<std::size_t>(column) * 3;
            file[at] = pixel.blue;
            file[at + 1] = pixel.green;
            file[at + 2] = pixel.red;
        }
    return file;
}

Picture DecodeFlag(std::span<const std::uint8_t> file)
{
    Picture picture{};
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column) {
            const std::size_t at = RowOffset(row) + static_cast<std::size_t>(column) * 3;
            picture[row][column] = {file[at + 2], file[at + 1], file[at]};
        }
    return picture;
}

std::vector<std::string> CheckFlag(const FlagRecord& flag, std::span<const std::uint8_t> file)
{
    const std::string prefix = std::string(flag.payload) + ": ";
    std::vector<std::string> findings;
    if (file.size() != kFlagFileSize)
        findings.push_back(prefix + "the file is " + std::to_string(file.size()) + " bytes long, expected " +
                           std::to_string(kFlagFileSize));
    if (file.size() >= kPixelOffset)
        CheckHeader(file, findings, prefix);
    if (file.size() >= kRowsEnd)
        CheckPixels(flag, DecodeFlag(file), findings, prefix);
    for (std::size_t at = kRowsEnd; at < std::min(file.size(), kFlagFileSize); ++at)
        if (file[at] != 0)
            findings.push_back(prefix + "byte at offset " + std::to_string(at) + " is " + std::to_string(file[at]) +
                               ", expected 0 (two zero bytes end the file)");
    return findings;
}
