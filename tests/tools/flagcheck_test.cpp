// The flag checker: pictures that meet their figures pass, and each broken variant is named for its fault.
#include "FlagFormat.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

// Names a flag in test failure messages.
static void PrintTo(const FlagRecord& flag, std::ostream* out)
{
    *out << flag.payload;
}

namespace {

using Bytes = std::vector<std::uint8_t>;

// Where a pixel lies in the file, worked out here rather than taken from the code under test:
// rows stored bottom-up after the 54 header bytes, 48 bytes a row, blue-green-red.
std::size_t PixelAt(int row, int column)
{
    return 54 + static_cast<std::size_t>(15 - row) * 48 + static_cast<std::size_t>(column) * 3;
}

Rgb GetPixel(const Bytes& file, int row, int column)
{
    const std::size_t at = PixelAt(row, column);
    return {file[at + 2], file[at + 1], file[at]};
}

void SetPixel(Bytes& file, int row, int column, Rgb colour)
{
    const std::size_t at = PixelAt(row, column);
    file[at] = colour.blue;
    file[at + 1] = colour.green;
    file[at + 2] = colour.red;
}

void Put32(Bytes& file, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Put16(Bytes& file, std::size_t offset, std::uint16_t value)
{
    file[offset] = static_cast<std::uint8_t>(value);
    file[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

const FlagRecord& Flag(std::string_view payload)
{
    return *FindFlag(payload);
}

// A picture that meets one flag's figures: its ground in the first corner's colour, its four corners,
// a white block inside the letters' box, one other colour on the bottom edge at column 7, and further
// colours filled in from the bottom up until the count is reached.
Picture Sample(const FlagRecord& flag)
{
    Picture picture{};
    for (auto& row : picture)
        row.fill(flag.corners[0]);
    picture[0][0] = flag.corners[0];
    picture[0][15] = flag.corners[1];
    picture[15][0] = flag.corners[2];
    picture[15][15] = flag.corners[3];
    for (int row = 5; row <= 8; ++row)
        for (int column = 3; column <= 6; ++column)
            picture[row][column] = kWhite;
    std::set<Rgb> colours(flag.corners.begin(), flag.corners.end());
    colours.insert(kWhite);
    std::uint8_t next = 0;
    picture[15][7] = {1, 2, next++};
    colours.insert(picture[15][7]);
    for (int row = 14; row >= 1 && colours.size() < flag.distinctColours; --row)
        for (int column = 1; column <= 14 && colours.size() < flag.distinctColours; ++column)
            if (!(row >= 5 && row <= 8 && column >= 3 && column <= 6)) {
                picture[row][column] = {1, 2, next++};
                colours.insert(picture[row][column]);
            }
    return picture;
}

Bytes SampleFile(std::string_view payload)
{
    return EncodeFlag(Sample(Flag(payload)));
}

class ValidSample : public ::testing::TestWithParam<FlagRecord> {};

TEST_P(ValidSample, IsAccepted)
{
    EXPECT_EQ(CheckFlag(GetParam(), EncodeFlag(Sample(GetParam()))), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EveryFlag, ValidSample, ::testing::ValuesIn(kFlags),
                         [](const auto& info) { return std::string(info.param.payload); });

TEST(FlagCheck, AcceptsWhiteThatReachesTheEdgeWhereTheFlagHasWhite)
{
    Bytes file = SampleFile("ICON_DK");
    SetPixel(file, 7, 15, kWhite);
    SetPixel(file, 7, 14, kWhite);
    EXPECT_EQ(CheckFlag(Flag("ICON_DK"), file), std::vector<std::string>{});
}

TEST(FlagFormat, StoresTheTopRowLastAndPixelsBlueFirst)
{
    Picture picture = Sample(Flag("ICON_HR"));
    picture[0][1] = {0x11, 0x22, 0x33};
    const Bytes file = EncodeFlag(picture);
    ASSERT_EQ(file.size(), 824u);
    EXPECT_EQ(file[PixelAt(0, 1)], 0x33);
    EXPECT_EQ(file[PixelAt(0, 1) + 2], 0x11);
    EXPECT_EQ(GetPixel(file, 15, 15), (Rgb{0x00, 0x00, 0xC0}));
    EXPECT_EQ(DecodeFlag(file), picture);
}

TEST(FlagFormat, FindsPayloadsWhateverTheirLetterCase)
{
    ASSERT_NE(FindFlag("icon_se"), nullptr);
    EXPECT_EQ(FindFlag("icon_se")->letters, "SE");
    EXPECT_EQ(FindFlag("ICON_XX"), nullptr);
    EXPECT_EQ(FindFlag("ICON_D"), nullptr);
    EXPECT_EQ(FindFlag("ICON_DKX"), nullptr);
}

struct Fault {
    std::string_view name;
    std::string_view payload;
    std::function<void(Bytes&)> damage;
    std::string_view expected; // part of the one message that must name the fault
};

const Fault kFaults[] = {
    {"WrongSignature", "ICON_AR", [](Bytes& f) { f[1] = 'X'; }, "signature (offset 0) is \"BX\", expected \"BM\""},
    {"FileSizeField", "ICON_AR", [](Bytes& f) { Put32(f, 2, 900); }, "file size (offset 2) is 900, expected 824"},
    {"ReservedField", "ICON_DK", [](Bytes& f) { Put16(f, 8, 1); }, "second reserved field (offset 8) is 1"},
    {"PixelOffset", "ICON_ES", [](Bytes& f) { Put32(f, 10, 56); }, "offset of the pixel rows (offset 10) is 56"},
    {"InfoHeaderSize", "ICON_ES", [](Bytes& f) { Put32(f, 14, 108); }, "info header size (offset 14) is 108"},
    {"Width", "ICON_HR", [](Bytes& f) { Put32(f, 18, 15); }, "width (offset 18) is 15, expected 16"},
    {"HeightTopDown", "ICON_HR", [](Bytes& f) { Put32(f, 22, static_cast<std::uint32_t>(-16)); },
     "height (offset 22) is -16, expected 16"},
    {"Planes", "ICON_IT", [](Bytes& f) { Put16(f, 26, 2); }, "planes (offset 26) is 2, expected 1"},
    {"BitsPerPixel", "ICON_IT", [](Bytes& f) { Put16(f, 28, 32); }, "bits per pixel (offset 28) is 32, expected 24"},
    {"Compression", "ICON_KR", [](Bytes& f) { Put32(f, 30, 3); }, "compression (offset 30) is 3, expected 0"},
    {"ImageSizeWithoutTrailer", "ICON_KR", [](Bytes& f) { Put32(f, 34, 768); },
     "image size (offset 34) is 768, expected 770"},
    {"HorizontalResolution", "ICON_PT", [](Bytes& f) { Put32(f, 38, 2835); },
     "horizontal resolution (offset 38) is 2835, expected 11808"},
    {"VerticalResolution", "ICON_PT", [](Bytes& f) { Put32(f, 42, 0); },
     "vertical resolution (offset 42) is 0, expected 11808"},
    {"ColoursUsed", "ICON_SE", [](Bytes& f) { Put32(f, 46, 256); }, "colours used (offset 46) is 256, expected 0"},
    {"ImportantColours", "ICON_SE", [](Bytes& f) { Put32(f, 50, 1); }, "important colours (offset 50) is 1"},
    {"MissingTrailingZeros", "ICON_AR", [](Bytes& f) { f.resize(822); }, "the file is 822 bytes long, expected 824"},
    {"NonZeroTrailer", "ICON_AR", [](Bytes& f) { f[823] = 1; }, "byte at offset 823 is 1, expected 0"},
    {"ExtraBytes", "ICON_DK", [](Bytes& f) { f.push_back(0); }, "the file is 825 bytes long, expected 824"},
    {"WhiteAboveTheLetters", "ICON_AR", [](Bytes& f) { SetPixel(f, 1, 5, kWhite); },
     "white pixel (row 1, column 5) lies outside the letters' box (rows 3-12, columns 1-13)"},
    {"WhiteLeftOfTheLetters", "ICON_ES", [](Bytes& f) { SetPixel(f, 4, 0, kWhite); },
     "white pixel (row 4, column 0) lies outside"},
    {"WhiteOnTheEdgeOfAFlagWithoutWhite", "ICON_AR", [](Bytes& f) { SetPixel(f, 7, 15, kWhite); },
     "white pixel (row 7, column 15) lies outside"},
    {"LetterBelowTheBoxOfAFlagWithWhite", "ICON_DK", [](Bytes& f) { SetPixel(f, 13, 5, kWhite); },
     "white pixel (row 13, column 5) lies outside the letters' box (rows 3-12, columns 1-13) and is not part"},
    {"WrongCorner", "ICON_AR", [](Bytes& f) { SetPixel(f, 0, 15, GetPixel(f, 15, 7)); },
     "top right corner pixel (row 0, column 15) is 010200, expected 00C000"},
    {"WrongBottomCorner", "ICON_HR",
     [](Bytes& f) {
         SetPixel(f, 15, 0, {0xFF, 0, 0});
     },
     "bottom left corner pixel (row 15, column 0) is FF0000, expected 0000C0"},
    {"OneColourTooMany", "ICON_AR",
     [](Bytes& f) {
         SetPixel(f, 2, 8, {9, 9, 9});
     },
     "has 16 distinct colours, expected 15"},
    {"OneColourTooFew", "ICON_IT",
     [](Bytes& f) {
         SetPixel(f, 14, 1, {0x00, 0xC0, 0x00});
     },
     "has 93 distinct colours, expected 94"},
    {"SingleColourBorder", "ICON_SE",
     [](Bytes& f) {
         SetPixel(f, 2, 2, GetPixel(f, 15, 7));
         SetPixel(f, 15, 7, {0x00, 0x00, 0xC0});
     },
     "the border (rows 0 and 15, columns 0 and 15) is all 0000C0"},
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

class BrokenFlag : public ::testing::TestWithParam<Fault> {};

TEST_P(BrokenFlag, IsNamedForItsFault)
{
    const Fault& fault = GetParam();
    Bytes file = SampleFile(fault.payload);
    fault.damage(file);
    const std::vector<std::string> findings = CheckFlag(Flag(fault.payload), file);
    ASSERT_EQ(findings.size(), 1u) << ::testing::PrintToString(findings);
    EXPECT_EQ(findings[0].rfind(std::string(fault.payload) + ": ", 0), 0u) << findings[0];
    EXPECT_NE(findings[0].find(fault.expected), std::string::npos) << findings[0];
}

INSTANTIATE_TEST_SUITE_P(OneFaultEach, BrokenFlag, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlagCheck, ReportsOnlyTheLengthOfAFileTooShortForItsHeader)
{
    const Bytes file(40, 0);
    const std::vector<std::string> findings = CheckFlag(Flag("ICON_KR"), file);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0], "ICON_KR: the file is 40 bytes long, expected 824");
}

} // namespace
