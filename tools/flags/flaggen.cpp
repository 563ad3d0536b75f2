// Draws the eight flag pictures of the language packs (ICON_AR.bmp ... ICON_SE.bmp) and, on request,
// a contact sheet of them enlarged. Usage: flaggen OUTPUT_FOLDER [--sheet SHEET.ppm]
#include "FlagFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <numbers>
#include <string>

namespace {

// A colour while drawing: channels from 0 to 255, mixed before rounding to a pixel.
struct Colour {
    double red;
    double green;
    double blue;
};

constexpr Colour Hex(std::uint32_t rgb)
{
    return {double(rgb >> 16 & 0xFF), double(rgb >> 8 & 0xFF), double(rgb & 0xFF)};
}

Colour Mix(Colour a, Colour b, double t)
{
    return {a.red + (b.red - a.red) * t, a.green + (b.green - a.green) * t, a.blue + (b.blue - a.blue) * t};
}

Colour Scale(Colour a, double factor)
{
    return {a.red * factor, a.green * factor, a.blue * factor};
}

// The ground of a flag as a function of a point; the picture spans 0 to 16 in x (right) and y (down).
using Ground = std::function<Colour(double x, double y)>;

bool InBox(double x, double y, double left, double top, double right, double bottom)
{
    return x >= left && x < right && y >= top && y < bottom;
}

bool InEllipse(double x, double y, double cx, double cy, double rx, double ry)
{
    const double dx = (x - cx) / rx;
    const double dy = (y - cy) / ry;
    return dx * dx + dy * dy < 1;
}

// Each pixel is a weighted mean of samples that reach half a pixel into its neighbours, the nearer the
// heavier, which softens the edges of the flag's shapes.
constexpr int kSamples = 8;

Picture Render(const Ground& ground)
{
    Picture picture{};
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column) {
            Colour sum{0, 0, 0};
            double weights = 0;
            for (int i = 0; i < kSamples; ++i)
                for (int j = 0; j < kSamples; ++j) {
                    const double dy = (i + 0.5) / kSamples * 2 - 1;
                    const double dx = (j + 0.5) / kSamples * 2 - 1;
                    const double weight = (1 - std::abs(dx)) * (1 - std::abs(dy));
                    const Colour c = ground(column + 0.5 + dx, row + 0.5 + dy);
                    sum = {sum.red + c.red * weight, sum.green + c.green * weight, sum.blue + c.blue * weight};
                    weights += weight;
                }
            const auto channel = [weights](double total) {
                return static_cast<std::uint8_t>(std::clamp(std::lround(total / weights), 0L, 255L));
            };
            picture[row][column] = {channel(sum.red), channel(sum.green), channel(sum.blue)};
        }
    return picture;
}

// A pixel font for the letters of the language codes: 6 x 10, strokes two pixels wide.
struct Glyph {
    char letter;
    std::array<std::string_view, 10> rows;
};

constexpr std::array<Glyph, 10> kFont{{
    {'A', {"..##..", ".####.", "##..##", "##..##", "##..##", "######", "######", "##..##", "##..##", "##..##"}},
    {'D', {"#####.", "######", "##..##", "##..##", "##..##", "##..##", "##..##", "##..##", "######", "#####."}},
    {'E', {"######", "######", "##....", "##....", "#####.", "#####.", "##....", "##....", "######", "######"}},
    {'H', {"##..##", "##..##", "##..##", "##..##", "######", "######", "##..##", "##..##", "##..##", "##..##"}},
    {'I', {"######", "######", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "######", "######"}},
    {'K', {"##..##", "##..##", "##.##.", "####..", "###...", "###...", "####..", "##.##.", "##..##", "##..##"}},
    {'P', {"#####.", "######", "##..##", "##..##", "######", "#####.", "##....", "##....", "##....", "##...."}},
    {'R', {"#####.", "######", "##..##", "##..##", "######", "#####.", "##.##.", "##..##", "##..##", "##..##"}},
    {'S', {".#####", "######", "##....", "##....", "#####.", ".#####", "....##", "....##", "######", "#####."}},
    {'T', {"######", "######", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##.."}},
}};
constexpr int kGlyphWidth = 6;
constexpr int kGlyphHeight = 10;

const Glyph& GlyphOf(char letter)
{
    return *std::find_if(kFont.begin(), kFont.end(), [letter](const Glyph& g) { return g.letter == letter; });
}

using Mask = std::array<std::array<bool, kSide>, kSide>;

Mask LetterMask(std::string_view letters)
{
    Mask mask{};
    for (std::size_t n = 0; n < letters.size(); ++n) {
        const Glyph& glyph = GlyphOf(letters[n]);
        const int left = kLetterLeft + static_cast<int>(n) * (kGlyphWidth + 1);
        for (int r = 0; r < kGlyphHeight; ++r)
            for (int c = 0; c < kGlyphWidth; ++c)
                mask[kLetterTop + r][left + c] = glyph.rows[r][c] == '#';
    }
    return mask;
}

// White letters; every pixel beside a letter (8 neighbours) takes half the intensity of its ground,
// so that the letters stand out on light grounds too.
void DrawLetters(Picture& picture, std::string_view letters)
{
    const Mask mask = LetterMask(letters);
    const Picture ground = picture;
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column) {
            if (mask[row][column]) {
                picture[row][column] = kWhite;
                continue;
            }
            bool beside = false;
            for (int r = std::max(row - 1, 0); r <= std::min(row + 1, kSide - 1); ++r)
                for (int c = std::max(column - 1, 0); c <= std::min(column + 1, kSide - 1); ++c)
                    beside = beside || mask[r][c];
            if (beside) {
                const Rgb g = ground[row][column];
                picture[row][column] = {std::uint8_t(g.red / 2), std::uint8_t(g.green / 2), std::uint8_t(g.blue / 2)};
            }
        }
}

constexpr Colour kFlagGreen = Hex(0x00C000);
constexpr Colour kFlagRed = Hex(0xFF0000);
constexpr Colour kFlagBlue = Hex(0x0000C0);
constexpr Colour kFlagWhite = Hex(0xFFFFFF);
constexpr Colour kFlagYellow = Hex(0xFFCC00);
constexpr Colour kSilver = Hex(0xF0F0F0);
constexpr Colour kBlack = Hex(0x000000);

// Rotates a point about a centre by an angle in degrees, clockwise on the screen.
std::pair<double, double> Turn(double x, double y, double cx, double cy, double degrees)
{
    const double a = degrees * std::numbers::pi / 180;
    const double dx = x - cx;
    const double dy = y - cy;
    return {cx + dx * std::cos(a) + dy * std::sin(a), cy - dx * std::sin(a) + dy * std::cos(a)};
}

// Green, with the sword under the script; the script's place is taken by the letters.
Colour Arabic(double x, double y)
{
    const bool blade = InBox(x, y, 2.5, 14, 12, 15);
    const bool guard = InBox(x, y, 12, 13.5, 12.5, 15.5);
    const bool grip = InBox(x, y, 12.5, 14, 13.5, 15);
    return blade || guard || grip ? kSilver : kFlagGreen;
}

// Red with a white cross, its upright nearer the hoist.
Colour Danish(double x, double y)
{
    return InBox(x, 0, 4.6, 0, 6.8, 1) || InBox(0, y, 0, 6.9, 1, 9.1) ? kFlagWhite : kFlagRed;
}

// Red, yellow twice as high, red; the arms between the Pillars of Hercules towards the hoist.
Colour Spanish(double x, double y)
{
    constexpr Colour kPillar = Hex(0xD8D8D0);
    constexpr Colour kGold = Hex(0xE0A800);
    constexpr Colour kCrimson = Hex(0xC8102E);
    constexpr Colour kPale = Hex(0xF4F0E8);
    constexpr Colour kPurple = Hex(0x8C2A8C);
    constexpr Colour kRoyalBlue = Hex(0x1A3C9C);
    const double cx = 5.2;
    if (InBox(x, y, 1.6, 7.7, 3.4, 8.3) || InBox(x, y, 7.0, 7.7, 8.8, 8.3))
        return kCrimson; // the banners wound round the pillars
    if (InBox(x, y, 2.0, 5.4, 3.0, 5.9) || InBox(x, y, 7.4, 5.4, 8.4, 5.9))
        return kGold; // the pillars' crowns
    if (InBox(x, y, 2.1, 5.9, 2.9, 10.6) || InBox(x, y, 7.5, 5.9, 8.3, 10.6))
        return Mix(kPillar, kBlack, (y - 5.9) / 14);
    if (InBox(x, y, cx - 1.5, 4.3, cx + 1.5, 5.5))
        return InEllipse(x, y, cx, 4.7, 0.9, 0.5) ? kCrimson : kGold; // the crown
    const bool shield = InBox(x, y, cx - 1.7, 5.5, cx + 1.7, 8.9) || InEllipse(x, y, cx, 8.9, 1.7, 1.5);
    if (!shield)
        return y < 4 || y >= 12 ? kFlagRed : kFlagYellow;
    if (InEllipse(x, y, cx, 7.9, 0.55, 0.5))
        return kRoyalBlue; // the escutcheon
    if (y >= 9.2)
        return InEllipse(x, y, cx, 9.8, 0.35, 0.35) ? kCrimson : kPale; // the pomegranate
    const bool upper = y < 7.35;
    const bool left = x < cx;
    if (upper && left)
        return InBox(x, y, cx - 1.2, 6.0, cx - 0.4, 7.0) ? kGold : kCrimson; // the castle
    if (upper)
        return InEllipse(x, y, cx + 0.85, 6.45, 0.4, 0.55) ? kPurple : kPale; // the lion
    if (left)
        return std::fmod(x - (cx - 1.7), 0.425) < 0.21 ? kCrimson : kGold;                 // the pallets
    return std::abs(x - cx - 0.85) < 0.15 || std::abs(y - 8.25) < 0.15 ? kGold : kCrimson; // the chains
}

// Red, white and blue, the chequered shield in the middle under its crown of five small shields.
Colour Croatian(double x, double y)
{
    constexpr Colour kCrownBlue = Hex(0x171796);
    constexpr Colour kSkyBlue = Hex(0x5A9BD5);
    constexpr Colour kChequerRed = Hex(0xE4171E);
    const bool crown = InBox(x, y, 5.8, 3.3, 10.2, 4.4);
    if (crown) {
        const int piece = static_cast<int>((x - 5.8) / 0.88);
        constexpr std::array<Colour, 5> kPieces{kSkyBlue, kCrownBlue, kSkyBlue, kCrownBlue, kChequerRed};
        return std::fmod(x - 5.8, 0.88) < 0.12 ? kFlagWhite : kPieces[std::min(piece, 4)];
    }
    const bool shield = InBox(x, y, 5.8, 4.4, 10.2, 9.0) || InEllipse(x, y, 8.0, 9.0, 2.2, 2.2);
    if (shield) {
        if (!InBox(x, y, 6.0, 4.6, 10.0, 9.0) && !InEllipse(x, y, 8.0, 9.0, 2.0, 2.0))
            return kChequerRed; // the rim
        const int square = static_cast<int>((x - 6.0) / 0.8) + static_cast<int>((y - 4.6) / 0.8);
        return square % 2 == 0 ? kChequerRed : kFlagWhite;
    }
    if (y < 16.0 / 3)
        return kFlagRed;
    return y < 32.0 / 3 ? kFlagWhite : kFlagBlue;
}

// Green, white and red in three upright bands.
Colour Italian(double x, double)
{
    if (x < 16.0 / 3)
        return kFlagGreen;
    return x < 32.0 / 3 ? kFlagWhite : kFlagRed;
}

// White, the red and blue circle in the middle and a black trigram on each diagonal.
Colour Korean(double x, double y)
{
    constexpr Colour kTaegeukRed = Hex(0xCD2E3A);
    constexpr Colour kTaegeukBlue = Hex(0x0047A0);
    constexpr double kTilt = 33.7;
    constexpr double kRadius = 4.0;
    if (InEllipse(x, y, 8, 8, kRadius, kRadius)) {
        const auto [u, v] = Turn(x, y, 8, 8, -kTilt);
        if (InEllipse(u, v, 8 - kRadius / 2, 8, kRadius / 2, kRadius / 2))
            return kTaegeukRed;
        if (InEllipse(u, v, 8 + kRadius / 2, 8, kRadius / 2, kRadius / 2))
            return kTaegeukBlue;
        return v < 8 ? kTaegeukRed : kTaegeukBlue;
    }
    // Bars of each trigram from the centre outwards: true where the bar is broken.
    struct Trigram {
        double angle;
        std::array<bool, 3> broken;
    };
    constexpr std::array<Trigram, 4> kTrigrams{{
        {-135, {false, false, false}}, // heaven, top left
        {-45, {false, true, false}},   // water, top right
        {135, {true, false, true}},    // fire, bottom left
        {45, {true, true, true}},      // earth, bottom right
    }};
    for (const Trigram& trigram : kTrigrams) {
        const auto [u, v] = Turn(x, y, 8, 8, -trigram.angle);
        // u runs outwards along the diagonal, v across it.
        const double out = u - 8 - 5.0;
        const double across = v - 8;
        for (int bar = 0; bar < 3; ++bar) {
            const double middle = bar * 0.85;
            if (std::abs(out - middle) < 0.28 && std::abs(across) < 1.6 &&
                !(trigram.broken[bar] && std::abs(across) < 0.2))
                return kBlack;
        }
    }
    return kFlagWhite;
}

// Green at the hoist, red at the fly, the armillary sphere and the shield on the line between them.
Colour Portuguese(double x, double y)
{
    constexpr Colour kSphereYellow = Hex(0xFFE000);
    constexpr Colour kShieldRed = Hex(0xE8112D);
    constexpr Colour kQuinaBlue = Hex(0x003399);
    constexpr Colour kShieldWhite = Hex(0xF8F8F8);
    constexpr double cx = 6.4;
    constexpr double cy = 8.0;
    const bool shield = InBox(x, y, cx - 1.2, cy - 1.5, cx + 1.2, cy + 0.4) || InEllipse(x, y, cx, cy + 0.4, 1.2, 1.2);
    if (shield) {
        const bool inner =
            InBox(x, y, cx - 0.7, cy - 1.0, cx + 0.7, cy + 0.4) || InEllipse(x, y, cx, cy + 0.4, 0.7, 0.7);
        if (!inner)
            return std::fmod(x + y, 0.9) < 0.15 ? kSphereYellow : kShieldRed; // the castles on the red rim
        const bool quina = InEllipse(x, y, cx, cy - 0.3, 0.25, 0.3) || InEllipse(x, y, cx - 0.45, cy - 0.3, 0.2, 0.3) ||
                           InEllipse(x, y, cx + 0.45, cy - 0.3, 0.2, 0.3) ||
                           InEllipse(x, y, cx, cy - 0.75, 0.2, 0.25) || InEllipse(x, y, cx, cy + 0.2, 0.2, 0.25);
        return quina ? kQuinaBlue : kShieldWhite;
    }
    const double dx = x - cx;
    const double dy = y - cy;
    const double r = std::hypot(dx, dy);
    const bool ring = std::abs(r - 3.2) < 0.35 || (r < 3.2 && std::abs(dy - dx * 0.35) < 0.3) ||
                      (r < 3.2 && std::abs(dx) < 0.3) || (r < 3.2 && std::abs(dy) < 0.25);
    if (ring)
        return Mix(kSphereYellow, Hex(0x8C6400), std::clamp((dx + dy) / 8 + 0.3, 0.0, 1.0));
    return x < cx ? kFlagGreen : kFlagRed;
}

// Blue with a yellow cross, its upright nearer the hoist.
Colour Swedish(double x, double y)
{
    return InBox(x, 0, 5, 0, 7, 1) || InBox(0, y, 0, 6.2, 1, 9.4) ? kFlagYellow : kFlagBlue;
}

// Folds of the cloth catching the light, strongest in the middle: a brightness factor that fades out
// before the corner pixels, so that these keep the flag's own colours.
double Sheen(double x, double y)
{
    const double fromSide = std::min(std::max(x - 1, 0.0), std::max(kSide - 1 - x, 0.0));
    const double fromEnd = std::min(std::max(y - 1, 0.0), std::max(kSide - 1 - y, 0.0));
    const double fade = std::min(std::max(fromSide, fromEnd) / 2, 1.0);
    return fade * std::sin(std::numbers::pi * x / kSide) * std::sin(std::numbers::pi * y / kSide) *
           std::sin(2 * std::numbers::pi * (x + 0.4 * y) / 9);
}

struct FlagDrawing {
    std::string_view payload;
    Colour (*ground)(double x, double y);
    double sheen; // strength of the folds' light and shade
};

constexpr std::array<FlagDrawing, 8> kDrawings{{
    {"ICON_AR", Arabic, 0},
    {"ICON_DK", Danish, 0},
    {"ICON_ES", Spanish, 0.049},
    {"ICON_HR", Croatian, 0.086},
    {"ICON_IT", Italian, 0.337},
    {"ICON_KR", Korean, 0.141},
    {"ICON_PT", Portuguese, 0.064},
    {"ICON_SE", Swedish, 0},
}};

Picture Draw(const FlagDrawing& drawing)
{
    Picture picture =
        Render([&drawing](double x, double y) { return Scale(drawing.ground(x, y), 1 + drawing.sheen * Sheen(x, y)); });
    DrawLetters(picture, FindFlag(drawing.payload)->letters);
    return picture;
}

// The contact sheet: every flag enlarged without smoothing, in two rows of four, its letters below it.
constexpr int kZoom = 16;
constexpr int kMargin = 32;
constexpr int kLabelZoom = 3;
constexpr int kCellWidth = kSide * kZoom + kMargin;
constexpr int kCellHeight = kSide * kZoom + kGlyphHeight * kLabelZoom + 2 * kMargin;
constexpr int kColumns = 4;
constexpr Rgb kSheetBackground{0xB4, 0xB4, 0xB4};
constexpr Rgb kLabelColour{0x20, 0x20, 0x20};

bool WriteSheet(const std::array<Picture, 8>& pictures, const std::filesystem::path& path)
{
    const int width = kColumns * kCellWidth + kMargin;
    const int height = 2 * kCellHeight;
    std::vector<Rgb> sheet(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kSheetBackground);
    const auto put = [&](int x, int y, Rgb colour) {
        sheet[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = colour;
    };
    for (std::size_t n = 0; n < pictures.size(); ++n) {
        const int left = kMargin + static_cast<int>(n % kColumns) * kCellWidth;
        const int top = kMargin + static_cast<int>(n / kColumns) * kCellHeight;
        for (int y = 0; y < kSide * kZoom; ++y)
            for (int x = 0; x < kSide * kZoom; ++x)
                put(left + x, top + y, pictures[n][y / kZoom][x / kZoom]);
        const std::string_view letters = kFlags[n].letters;
        const int labelWidth = (2 * kGlyphWidth + 1) * kLabelZoom;
        const int labelLeft = left + (kSide * kZoom - labelWidth) / 2;
        const int labelTop = top + kSide * kZoom + kMargin / 2;
        for (std::size_t l = 0; l < letters.size(); ++l) {
            const Glyph& glyph = GlyphOf(letters[l]);
            for (int y = 0; y < kGlyphHeight * kLabelZoom; ++y)
                for (int x = 0; x < kGlyphWidth * kLabelZoom; ++x)
                    if (glyph.rows[y / kLabelZoom][x / kLabelZoom] == '#')
                        put(labelLeft + static_cast<int>(l) * (kGlyphWidth + 1) * kLabelZoom + x, labelTop + y,
                            kLabelColour);
        }
    }
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << ' ' << height << "\n255\n";
    for (const Rgb& pixel : sheet)
        out.put(static_cast<char>(pixel.red)).put(static_cast<char>(pixel.green)).put(static_cast<char>(pixel.blue));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || !(args.size() == 1 || (args.size() == 3 && args[1] == "--sheet"))) {
        std::cerr << "usage: flaggen OUTPUT_FOLDER [--sheet SHEET.ppm]\n"
                     "Draws ICON_AR.bmp ... ICON_SE.bmp into OUTPUT_FOLDER and, with --sheet, a contact sheet\n"
                     "of all eight enlarged 16 times, as a binary PPM file.\n";
        return args.size() == 1 && args[0] == "--help" ? 0 : 2;
    }
    const std::filesystem::path folder = args[0];
    std::array<Picture, 8> pictures{};
    int status = 0;
    for (std::size_t n = 0; n < kFlags.size(); ++n) {
        const FlagDrawing& drawing = kDrawings[n];
        pictures[n] = Draw(drawing);
        const std::vector<std::uint8_t> file = EncodeFlag(pictures[n]);
        // A drawing that misses its figures is a mistake in this program: say so, but still write it to look at.
        for (const std::string& finding : CheckFlag(*FindFlag(drawing.payload), file)) {
            std::cerr << "flaggen: " << finding << '\n';
            status = 1;
        }
        const std::filesystem::path path = folder / (std::string(drawing.payload) + ".bmp");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        if (!out) {
            std::cerr << "flaggen: cannot write " << path.string() << '\n';
            return 1;
        }
    }
    if (args.size() == 3 && !WriteSheet(pictures, args[2])) {
        std::cerr << "flaggen: cannot write " << args[2] << '\n';
        return 1;
    }
    return status;
}
