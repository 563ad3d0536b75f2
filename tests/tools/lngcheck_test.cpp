// Tests of the language-file checker: generated files that meet each payload's profile pass,
// and every single fault in them is named by its finding.
#include "LngCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using lngcheck::FileProfile;
using lngcheck::Finding;
using lngcheck::kNoEntry;

struct SampleEntry {
    int id;
    std::u16string text;
    int closeId = kNoEntry; // kNoEntry: the entry's own id
    bool closed = true;
};

using Sample = std::vector<SampleEntry>;

std::u16string Widen(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Utf16Le(std::u16string_view units)
{
    std::string bytes;
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::u16string Join(const Sample& sample, std::u16string_view lineEnd = u"\r\n")
{
    std::u16string text;
    for (const SampleEntry& entry : sample) {
        text += Widen(lngcheck::EntryName(entry.id)) + u".:" + entry.text;
        if (entry.closed)
            text += u":." + Widen(lngcheck::EntryName(entry.closeId == kNoEntry ? entry.id : entry.closeId));
        text += lineEnd;
    }
    return text;
}

FileProfile Profile(const std::string& payload)
{
    const std::optional<FileProfile> profile = lngcheck::ProfileFor(payload);
    EXPECT_TRUE(profile) << payload;
    return profile.value_or(FileProfile{});
}

bool Has(const std::vector<int>& ids, int id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The parts of one text before padding: lines, the breaks between them, and what must end it.
struct Draft {
    int id;
    std::vector<std::u16string> lines;
    std::vector<std::u16string> breaks;
    std::u16string suffix;
    bool paddable = true;

    std::u16string Text() const
    {
        std::u16string text = lines[0];
        for (std::size_t k = 0; k < breaks.size(); ++k)
            text += breaks[k] + lines[k + 1];
        return text + suffix;
    }
};

// Builds a file that meets every rule and figure of the profile, padding plain texts to the byte count.
Sample Conforming(const FileProfile& profile)
{
    std::map<int, int> breakCount;
    for (int id : profile.multiLine)
        breakCount[id] = 1;
    for (int id : profile.emptyLine)
        breakCount[id] = 2;
    breakCount[lngcheck::kLongestEntry] = 3; // keeps its lines short
    for (int id : profile.ids)
        if (static_cast<int>(breakCount.size()) < profile.multiLineEntries && id != lngcheck::kNameEntry &&
            id != profile.fullLineEntry)
            breakCount.try_emplace(id, 1);
    int total = 0;
    for (const auto& [id, count] : breakCount)
        total += count;
    for (auto it = breakCount.begin(); total < profile.breaks;
         it = std::next(it) == breakCount.end() ? breakCount.begin() : std::next(it))
        if (it->second < lngcheck::kMaxBreaks) {
            ++it->second;
            ++total;
        }

    const lngcheck::BreakMix& mix = profile.breakMix;
    int crCrLfLeft = mix.crCrLf - (mix.loneCrEntry != kNoEntry) - (mix.crCrLfEndEntry != kNoEntry);
    std::vector<Draft> drafts;
    for (int id : profile.ids) {
        Draft draft{id, {}, {}, {}};
        const int breaks = breakCount.contains(id) ? breakCount[id] : 0;
        for (int k = 0; k < breaks; ++k) {
            if (id == mix.loneCrEntry && k < 2)
                draft.breaks.push_back(k == 0 ? u"\r\r\n" : u"\r");
            else if (id == mix.crCrLfEndEntry && k == breaks - 1)
                draft.breaks.push_back(u"\r\r\n");
            else
                draft.breaks.push_back(crCrLfLeft-- > 0 ? u"\r\r\n" : u"\r\n");
        }
        std::u16string first = Has(profile.bracketEntries, id) ? u"[" : Has(profile.ellipsisStart, id) ? u"..." : u"";
        first += u"a";
        if (Has(profile.percentEntries, id))
            first += u" 50%";
        if (id == lngcheck::kSignEntry)
            first += u"\u00A9";
        draft.lines.push_back(first);
        for (int k = 1; k <= breaks; ++k)
            draft.lines.push_back(k == 1 && Has(profile.emptyLine, id) ? u"" : u"b");
        if (id == mix.crCrLfEndEntry)
            draft.lines.back().clear();
        draft.suffix = Has(profile.ellipsisEnd, id) ? u"..." : u"";
        if (Has(profile.trailingSpaceEntries, id))
            draft.suffix += u" ";
        if (id == lngcheck::kNameEntry) {
            draft.lines = {profile.name};
            draft.paddable = false;
        }
        if (id == profile.fullLineEntry) {
            draft.lines[0] = std::u16string(lngcheck::kMaxLineLength, u'a');
            draft.paddable = false;
        }
        if (id == lngcheck::kLongestEntry) {
            std::size_t left = profile.longestLength - draft.Text().size();
            std::vector<std::u16string*> filled;
            for (std::u16string& line : draft.lines)
                if (!line.empty())
                    filled.push_back(&line);
            for (std::size_t k = 0; k < filled.size(); ++k)
                *filled[k] += std::u16string(left / filled.size() + (k < left % filled.size()), u'a');
            draft.paddable = false;
        }
        drafts.push_back(draft);
    }

    std::size_t characters = 0;
    std::vector<Draft*> paddable;
    for (Draft& draft : drafts) {
        characters += draft.Text().size() + 12; // markers and CR LF
        if (draft.paddable)
            paddable.push_back(&draft);
    }
    EXPECT_LE(characters, profile.bytes / 2) << profile.payload;
    const std::size_t padding = profile.bytes / 2 - std::min(characters, profile.bytes / 2);
    for (std::size_t k = 0; k < paddable.size(); ++k)
        paddable[k]->lines[0] += std::u16string(padding / paddable.size() + (k < padding % paddable.size()), u'a');

    Sample sample;
    for (const Draft& draft : drafts)
        sample.push_back({draft.id, draft.Text()});
    return sample;
}

std::size_t IndexOf(const Sample& sample, int id)
{
    const auto entry = std::find_if(sample.begin(), sample.end(), [id](const SampleEntry& e) { return e.id == id; });
    if (entry == sample.end())
        throw std::out_of_range("no entry " + std::to_string(id) + " in the sample");
    return static_cast<std::size_t>(entry - sample.begin());
}

std::u16string& TextOf(Sample& sample, int id)
{
    return sample[IndexOf(sample, id)].text;
}

void Replace(std::u16string& text, std::u16string_view from, std::u16string_view to)
{
    const std::size_t at = text.find(from);
    if (at == std::u16string::npos)
        throw std::out_of_range("text to replace not found");
    text.replace(at, from.size(), to);
}

std::string Listing(const std::vector<Finding>& findings)
{
    std::string listing;
    for (const Finding& finding : findings)
        listing += lngcheck::FormatFinding("file", finding) + "\n";
    return listing.empty() ? "(no findings)\n" : listing;
}

bool Names(const std::vector<Finding>& findings, int entry, std::string_view expected)
{
    return std::any_of(findings.begin(), findings.end(), [&](const Finding& finding) {
        return finding.entry == entry && finding.message.find(expected) != std::string::npos;
    });
}

// ---- The shipped profiles ----

class EveryPayload : public testing::TestWithParam<std::string> {};

TEST_P(EveryPayload, AcceptsAFileThatMeetsItsProfile)
{
    const FileProfile profile = Profile(GetParam());
    const std::string bytes = Utf16Le(Join(Conforming(profile)));
    EXPECT_EQ(bytes.size(), profile.bytes);
    const std::vector<Finding> findings = lngcheck::CheckLanguageFile(bytes, profile);
    EXPECT_TRUE(findings.empty()) << Listing(findings);
}

TEST_P(EveryPayload, HasAsManyIdsAsItsTableRowHasEntries)
{
    const FileProfile profile = Profile(GetParam());
    EXPECT_EQ(static_cast<int>(profile.ids.size()), profile.entries);
    EXPECT_TRUE(std::is_sorted(profile.ids.begin(), profile.ids.end()));
}

INSTANTIATE_TEST_SUITE_P(LngCheck, EveryPayload, testing::ValuesIn(lngcheck::PayloadNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(LngCheck, TellsThePayloadFromTheFileName)
{
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"TEXT_TV_DK.lng", "TEXT_TV_DK"},
        {"/some/dir/text_ln_it.lng", "TEXT_LN_IT"},
        {"C:\\x\\Text_Tv_Ar.LNG", "TEXT_TV_AR"},
        {"TEXT_LN_AR.lng", std::nullopt}, // Lunesca has no Arabic pack
        {"DK.lng", std::nullopt},
    };
    for (const auto& [path, payload] : cases)
        EXPECT_EQ(lngcheck::PayloadFromFileName(path), payload) << path;
}

TEST(LngCheck, ReportsEntryAndLineOfEachFindingInAFileOfItsOwnProfile)
{
    const std::u16string text = u"000.:Name:.000\r\n"
                                u"001.:first\r\n"
                                u"second|:.001\r\n"
                                u"002.:a&b:.002\r\n"
                                u"003.:x:.003\r\n";
    FileProfile profile;
    profile.payload = "TEXT_XX_XX";
    profile.product = "Sample";
    profile.ids = {0, 1, 2, 3};
    profile.bytes = text.size() * 2;
    profile.lines = 5;
    profile.entries = 4;
    profile.multiLineEntries = 1;
    profile.breaks = 1;
    profile.name = u"Name";
    const std::vector<Finding> findings = lngcheck::CheckLanguageFile(Utf16Le(text), profile);
    ASSERT_EQ(findings.size(), 2u) << Listing(findings);
    EXPECT_EQ(findings[0].entry, 1);
    EXPECT_EQ(findings[0].line, 3);
    EXPECT_EQ(lngcheck::FormatFinding("TEXT_XX_XX.lng", findings[0]),
              "TEXT_XX_XX.lng:3: entry 001: character \"|\" (U+007C) is not allowed (no markup or placeholders); "
              "remove it");
    EXPECT_EQ(findings[1].entry, 2);
    EXPECT_EQ(findings[1].line, 4);
}

// ---- One fault at a time ----

struct Fault {
    const char* name;
    const char* payload;
    std::function<void(Sample&)> editSample;
    std::function<void(std::string&)> editBytes;
    int entry;
    const char* finding;
};

std::string Utf16Of(std::string_view ascii)
{
    return Utf16Le(Widen(ascii));
}

const Fault kFaults[] = {
    // Encoding
    {"ByteOrderMark",
     "TEXT_TV_DK",
     {},
     [](std::string& b) { b.insert(0, "\xFF\xFE"); },
     kNoEntry,
     "byte order mark (FF FE)"},
    {"OddSize", "TEXT_TV_DK", {}, [](std::string& b) { b += 'x'; }, kNoEntry, "odd number of bytes"},
    {"EightBitText",
     "TEXT_TV_DK",
     {},
     [](std::string& b) {
         std::string narrow;
         for (std::size_t i = 0; i < b.size(); i += 2)
             narrow += b[i];
         b = narrow;
     },
     kNoEntry,
     "8-bit text"},
    {"BigEndian",
     "TEXT_TV_DK",
     {},
     [](std::string& b) {
         for (std::size_t i = 0; i + 1 < b.size(); i += 2)
             std::swap(b[i], b[i + 1]);
     },
     kNoEntry,
     "big-endian"},
    {"Nul", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90)[1] = u'\0'; }, {}, 90, "NUL character"},
    {"CharacterBeyondTheBmp",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"\U0001F600"; },
     {},
     90,
     "outside the Basic Multilingual Plane"},
    {"UnpairedSurrogate",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += char16_t(0xD800); },
     {},
     90,
     "unpaired surrogate U+D800"},
    {"ZeroWidthNoBreakSpace", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u'\uFEFF'; }, {}, 90, "U+FEFF"},
    {"CrAfterClosingMarker",
     "TEXT_TV_DK",
     {},
     [](std::string& b) { b.insert(b.find(Utf16Of("\r\n")), Utf16Of("\r")); },
     0,
     "a CR stands between \":.000\" and the line end"},
    {"NoFinalLineEnd",
     "TEXT_TV_DK",
     {},
     [](std::string& b) { b.resize(b.size() - 4); },
     kNoEntry,
     "must end with CR LF"},
    // Structure
    {"ClosingIdMismatch",
     "TEXT_TV_DK",
     [](Sample& s) { s[IndexOf(s, 90)].closeId = 91; },
     {},
     90,
     "does not repeat the entry's id; write \":.090\""},
    {"UnclosedEntry",
     "TEXT_TV_DK",
     [](Sample& s) { s[IndexOf(s, 90)].closed = false; },
     {},
     90,
     "not closed: \":.090\" is missing before the next entry"},
    {"IdsNotAscending",
     "TEXT_TV_DK",
     [](Sample& s) { std::swap(s[IndexOf(s, 90)], s[IndexOf(s, 91)]); },
     {},
     90,
     "ids must ascend"},
    {"MissingId",
     "TEXT_TV_DK",
     [](Sample& s) { s.erase(s.begin() + IndexOf(s, 90)); },
     {},
     90,
     "missing; add it after entry 089"},
    {"MissingIdChangesEntryCount",
     "TEXT_TV_DK",
     [](Sample& s) { s.erase(s.begin() + IndexOf(s, 90)); },
     {},
     kNoEntry,
     "161 entries expected, found 160"},
    {"DuplicateId",
     "TEXT_TV_DK",
     [](Sample& s) { s.insert(s.begin() + IndexOf(s, 90), s[IndexOf(s, 90)]); },
     {},
     90,
     "occurs twice"},
    {"ForeignId",
     "TEXT_TV_DK",
     [](Sample& s) {
         s.insert(s.begin() + 17, SampleEntry{17, u"a"});
     },
     {},
     17,
     "not one of Trovimo's entries"},
    {"EmptyLineBetweenEntries",
     "TEXT_TV_DK",
     {},
     [](std::string& b) { b.insert(b.find(Utf16Of("\r\n")) + 4, Utf16Of("\r\n")); },
     kNoEntry,
     "empty line between entries"},
    {"StrayLine",
     "TEXT_TV_DK",
     {},
     [](std::string& b) { b.insert(b.find(Utf16Of("\r\n")) + 4, Utf16Of("x\r\n")); },
     kNoEntry,
     "line does not begin an entry"},
    {"EntryMarkerInsideText", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"a.:b"; }, {}, 90, "contains \".:\""},
    {"ClosingMarkerInsideText", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"a:.b"; }, {}, 90, "contains \":.\""},
    {"InnerLineLikeAnEntryStart",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"\r\n123.:x"; },
     {},
     90,
     "begins with three digits and \".:\""},
    {"InnerLineLikeAnEntryEnd",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90).insert(0, u"x:.123\r\n"); },
     {},
     90,
     "ends with \":.\" and three digits"},
    {"EmptyText", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90).clear(); }, {}, 90, "text is empty"},
    {"LeadingSpace", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 87).insert(0, u" "); }, {}, 87, "begins with a space"},
    // Line breaks
    {"LoneLf", "TEXT_TV_DK", [](Sample& s) { Replace(TextOf(s, 150), u"\r\n", u"\n"); }, {}, 150, "lone LF"},
    {"LoneCr",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 150), u"\r\n", u"\r"); },
     {},
     150,
     "lone CR; write CR LF"},
    {"CrCrLfOutsideArabic",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 150), u"\r\n", u"\r\r\n"); },
     {},
     150,
     "CR CR LF; write CR LF"},
    {"TooManyBreaks",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"\r\nb\r\nb\r\nb\r\nb\r\nb"; },
     {},
     90,
     "5 line breaks; at most 4"},
    {"CommonMultiLineEntryOnOneLine",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 150) = u"one line"; },
     {},
     150,
     "must span several lines"},
    {"NoEmptyLine",
     "TEXT_LN_DK",
     [](Sample& s) { Replace(TextOf(s, 158), u"\r\n\r\n", u"\r\nc\r\n"); },
     {},
     158,
     "must hold an empty line"},
    {"LineTooLong",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += std::u16string(119, u'a'); },
     {},
     90,
     "characters long; at most 118"},
    {"ExtraBreakChangesLines",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"\r\nb"; },
     {},
     kNoEntry,
     "187 lines (CR LF line ends) expected, found 188"},
    {"ExtraBreakChangesBreaks",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"\r\nb"; },
     {},
     kNoEntry,
     "26 line breaks inside texts expected, found 27"},
    {"ExtraBreakChangesMultiLineEntries",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"\r\nb"; },
     {},
     kNoEntry,
     "13 entries spanning several lines expected, found 14"},
    // Trovimo's Arabic line breaks
    {"ArabicCrCrLfMissing",
     "TEXT_TV_AR",
     [](Sample& s) { Replace(TextOf(s, 1), u"\r\r\n", u"\r\n"); },
     {},
     kNoEntry,
     "16 line breaks written as CR CR LF expected, found 15"},
    {"ArabicCrCrLfMissingAddsCrLf",
     "TEXT_TV_AR",
     [](Sample& s) { Replace(TextOf(s, 1), u"\r\r\n", u"\r\n"); },
     {},
     kNoEntry,
     "5 line breaks inside texts written as CR LF expected, found 6"},
    {"ArabicLoneCrOutsideEntry125",
     "TEXT_TV_AR",
     [](Sample& s) { TextOf(s, 90) += u"\rb"; },
     {},
     90,
     "lone CR is allowed only in entry 125"},
    {"ArabicLoneCrNotAfterCrCrLf",
     "TEXT_TV_AR",
     [](Sample& s) { Replace(TextOf(s, 125), u"\r\r\n\r", u"\r\n\r"); },
     {},
     125,
     "directly after a CR CR LF"},
    {"ArabicEntry204EndsInCrLf",
     "TEXT_TV_AR",
     [](Sample& s) {
         std::u16string& text = TextOf(s, 204);
         text.erase(text.size() - 3, 1);
     },
     {},
     204,
     "must end with CR CR LF"},
    {"ArabicEntry202LineShort",
     "TEXT_TV_AR",
     [](Sample& s) { TextOf(s, 202).pop_back(); },
     {},
     202,
     "exactly 118 characters, found 117"},
    // Characters
    {"Ampersand", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"&x"; }, {}, 90, "no accelerator marks"},
    {"Tab", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"\tx"; }, {}, 90, "a tab (U+0009) is not allowed"},
    {"Backslash", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"\\n"; }, {}, 90, "no escape sequences"},
    {"AngleBracket", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"<b>"; }, {}, 90, "\"<\" (U+003C)"},
    {"Brace", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"{0}"; }, {}, 90, "\"{\" (U+007B)"},
    {"OtherAsciiSymbol",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"#"; },
     {},
     90,
     "\"#\" (U+0023) is not allowed; the only ASCII symbols"},
    {"ControlCharacter", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 90) += u"\x1A"; }, {}, 90, "control character U+001A"},
    {"PercentInWrongEntry",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"5%"; },
     {},
     90,
     "allowed only in entries 039, 047, 048, 049"},
    {"PercentInLunesca",
     "TEXT_LN_DK",
     [](Sample& s) { TextOf(s, 39) += u"5%"; },
     {},
     39,
     "\"%\" is not allowed in this file"},
    {"PercentNotAfterNumber",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 39), u"50%", u"5 %"); },
     {},
     39,
     "must follow a number directly"},
    {"PercentMissing",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 48), u"50%", u"500"); },
     {},
     48,
     "must hold a percent sign"},
    {"DanishPercentOf047Missing",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 47), u"50%", u"500"); },
     {},
     47,
     "must hold a percent sign"},
    {"SignOutsideEntry203",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"\u00AE"; },
     {},
     90,
     "only once, in entry 203"},
    {"SignMissingInEntry203",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 203), u"\u00A9", u"a"); },
     {},
     203,
     "exactly one sign of the Latin-1 block"},
    {"SecondSignInEntry203",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 203) += u"\u00A7"; },
     {},
     203,
     "second Latin-1 sign"},
    // Per-entry facts
    {"WrongName",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 0) = u"Dansk"; },
     {},
     0,
     "must read \"Dansk (Danish)\", found \"Dansk\""},
    {"LunescaItalianNameInTrovimoOrder",
     "TEXT_LN_IT",
     [](Sample& s) { TextOf(s, 0) = u"Italiano (Italian)"; },
     {},
     0,
     "must read \"Italian (Italiano)\""},
    {"BracketMissing",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 196), u"[", u"("); },
     {},
     196,
     "must begin with \"[\""},
    {"EllipsisAtEndMissing",
     "TEXT_TV_DK",
     [](Sample& s) { Replace(TextOf(s, 85), u"...", u"..!"); },
     {},
     85,
     "must end with \"...\""},
    {"EllipsisAtStartMissing",
     "TEXT_LN_DK",
     [](Sample& s) { Replace(TextOf(s, 59), u"...", u"a.."); },
     {},
     59,
     "must begin with \"...\""},
    {"TrailingSpaceMissing",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 113).pop_back(); },
     {},
     113,
     "must end with a space"},
    {"TrailingSpaceAdded", "TEXT_TV_DK", [](Sample& s) { TextOf(s, 87) += u" "; }, {}, 87, "must not end with a space"},
    // Figures
    {"FileLonger",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) += u"aaaaaa"; },
     {},
     kNoEntry,
     "file is 12 bytes (6 characters) longer than 11220"},
    {"FileShorter",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90).pop_back(); },
     {},
     kNoEntry,
     "file is 2 bytes (1 character) shorter than 11220"},
    {"Entry204Length",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 204) += u"a"; },
     {},
     204,
     "230 characters long (line breaks included), 229 expected"},
    {"Entry204NotTheLongest",
     "TEXT_TV_DK",
     [](Sample& s) { TextOf(s, 90) = TextOf(s, 204); },
     {},
     90,
     "entry 204 must be the longest text"},
};

void PrintTo(const Fault& fault, std::ostream* out)
{
    *out << fault.name;
}

class OneFault : public testing::TestWithParam<Fault> {};

TEST_P(OneFault, IsNamedByItsFinding)
{
    const Fault& fault = GetParam();
    const FileProfile profile = Profile(fault.payload);
    Sample sample = Conforming(profile);
    if (fault.editSample)
        fault.editSample(sample);
    std::string bytes = Utf16Le(Join(sample));
    if (fault.editBytes)
        fault.editBytes(bytes);
    const std::vector<Finding> findings = lngcheck::CheckLanguageFile(bytes, profile);
    EXPECT_TRUE(Names(findings, fault.entry, fault.finding)) << "expected: " << fault.finding << "\n"
                                                             << Listing(findings);
}

INSTANTIATE_TEST_SUITE_P(LngCheck, OneFault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// ---- Which characters each file takes ----

struct Character {
    const char* payload;
    char16_t character;
    bool allowed;
};

void PrintTo(const Character& c, std::ostream* out)
{
    *out << c.payload << " U+" << std::hex << static_cast<int>(c.character);
}

class CharacterSet : public testing::TestWithParam<Character> {};

TEST_P(CharacterSet, FollowsTheLanguageAndProduct)
{
    const Character& c = GetParam();
    const FileProfile profile = Profile(c.payload);
    Sample sample = Conforming(profile);
    TextOf(sample, 10)[0] = c.character; // same length, so every figure still holds
    const std::vector<Finding> findings = lngcheck::CheckLanguageFile(Utf16Le(Join(sample)), profile);
    if (c.allowed)
        EXPECT_TRUE(findings.empty()) << Listing(findings);
    else
        EXPECT_TRUE(findings.size() == 1 && Names(findings, 10, "is not allowed in " + profile.payload))
            << Listing(findings);
}

const Character kCharacters[] = {
    {"TEXT_TV_AR", u'\u0627', true},  {"TEXT_TV_AR", u'\u060C', true},  {"TEXT_TV_AR", u'\u2022', true},
    {"TEXT_TV_AR", u'\u00E6', false}, {"TEXT_TV_AR", u'\u00B0', false}, {"TEXT_TV_DK", u'\u00E6', true},
    {"TEXT_TV_DK", u'\u00BA', true},  {"TEXT_TV_DK", u'\u00B0', true},  {"TEXT_TV_DK", u'\u2026', false},
    {"TEXT_LN_DK", u'\u00B0', false}, {"TEXT_LN_DK", u'\u2022', false}, {"TEXT_TV_ES", u'\u00BF', true},
    {"TEXT_TV_ES", u'\u2026', true},  {"TEXT_TV_ES", u'\u2022', false}, {"TEXT_LN_ES", u'\u00F1', true},
    {"TEXT_TV_HR", u'\u017E', true},  {"TEXT_TV_HR", u'\u00E6', false}, {"TEXT_TV_IT", u'\u00B0', true},
    {"TEXT_LN_IT", u'\u2026', true},  {"TEXT_LN_IT", u'\u00B0', false}, {"TEXT_TV_KR", u'\uAC00', true},
    {"TEXT_TV_KR", u'\u3131', false}, {"TEXT_LN_KR", u'\u2026', true},  {"TEXT_TV_PT", u'\u00E3', true},
    {"TEXT_TV_PT", u'\u00B0', false}, {"TEXT_TV_SE", u'\u00E5', true},  {"TEXT_TV_SE", u'\u00BF', false},
};

INSTANTIATE_TEST_SUITE_P(LngCheck, CharacterSet, testing::ValuesIn(kCharacters),
                         [](const testing::TestParamInfo<Character>& info) {
                             return std::string(info.param.payload) + "_U" + std::to_string(info.param.character);
                         });

// ---- English reference texts ----

Sample Reference(const std::vector<int>& ids)
{
    Sample sample;
    for (int id : ids)
        sample.push_back({id, id == 204 ? u"First line\nsecond line...\n" : u"Text \u201Cquoted\u201D"});
    return sample;
}

struct ReferenceFault {
    const char* name;
    std::function<void(Sample&)> editSample;
    std::function<void(std::string&)> editBytes;
    int entry;
    const char* finding;
};

const ReferenceFault kReferenceFaults[] = {
    {"Valid", {}, {}, kNoEntry, ""},
    {"CrLfLineEnds",
     {},
     [](std::string& b) {
         for (std::size_t at = b.find('\n'); at != std::string::npos; at = b.find('\n', at + 2))
             b.insert(at, "\r");
     },
     kNoEntry,
     "CR characters"},
    {"ByteOrderMark", {}, [](std::string& b) { b.insert(0, "\xEF\xBB\xBF"); }, kNoEntry, "byte order mark"},
    {"InvalidUtf8", {}, [](std::string& b) { b[7] = '\xFF'; }, kNoEntry, "not valid UTF-8"},
    {"NoFinalLineEnd", {}, [](std::string& b) { b.pop_back(); }, kNoEntry, "must end with LF"},
    {"MissingId", [](Sample& s) { s.erase(s.begin() + 5); }, {}, 5, "missing; add it after entry 004"},
    {"ClosingIdMismatch", [](Sample& s) { s[5].closeId = 6; }, {}, 5, "write \":.005\""},
};

void PrintTo(const ReferenceFault& fault, std::ostream* out)
{
    *out << fault.name;
}

class ReferenceText : public testing::TestWithParam<ReferenceFault> {};

TEST_P(ReferenceText, IsCheckedForStructureAndIds)
{
    const ReferenceFault& fault = GetParam();
    const std::vector<int> ids = lngcheck::ProductIds("trovimo").value();
    Sample sample = Reference(ids);
    if (fault.editSample)
        fault.editSample(sample);
    std::string bytes = lngcheck::Utf8(Join(sample, u"\n"));
    if (fault.editBytes)
        fault.editBytes(bytes);
    const std::vector<Finding> findings = lngcheck::CheckReferenceFile(bytes, ids, "Trovimo");
    if (*fault.finding == '\0')
        EXPECT_TRUE(findings.empty()) << Listing(findings);
    else
        EXPECT_TRUE(Names(findings, fault.entry, fault.finding)) << "expected: " << fault.finding << "\n"
                                                                 << Listing(findings);
}

INSTANTIATE_TEST_SUITE_P(LngCheck, ReferenceText, testing::ValuesIn(kReferenceFaults),
                         [](const testing::TestParamInfo<ReferenceFault>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
