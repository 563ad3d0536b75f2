// Checks translated language files and reference texts: decoding, the entries found by position,
// and every per-file and per-entry rule that the shipped payloads keep.
#include "LngCheck.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <span>
#include <utility>

namespace lngcheck {
namespace {

// ---- Tables: the id sets, the payloads' figures and the rules of each product and language ----

struct IdRange {
    int first;
    int last;
};

constexpr IdRange kTrovimoIds[] = {{0, 16}, {33, 56}, {58, 116}, {118, 165}, {196, 204}, {206, 209}};
constexpr IdRange kLunescaIds[] = {{0, 30},    {35, 46},   {58, 67},   {100, 101}, {105, 109},
                                   {113, 116}, {118, 123}, {125, 126}, {158, 165}, {203, 204}};

struct ProductRow {
    std::string_view code; // as in the payload name
    std::string_view name;
    std::span<const IdRange> ids;
};

constexpr ProductRow kProducts[] = {{"TV", "Trovimo", kTrovimoIds}, {"LN", "Lunesca", kLunescaIds}};

constexpr CodeRange kLatin1Letters[] = {{0x00C0, 0x00FF}, {0x00BA, 0x00BA}};
constexpr CodeRange kLatinExtendedA[] = {{0x0100, 0x017F}};
constexpr CodeRange kArabicBlock[] = {{0x0600, 0x06FF}};
constexpr CodeRange kHangulSyllables[] = {{0xAC00, 0xD7A3}};

struct LanguageRow {
    std::string_view code;
    std::string_view name;
    std::span<const CodeRange> letters;
};

constexpr LanguageRow kLanguages[] = {
    {"AR", "Arabic", kArabicBlock},       {"DK", "Danish", kLatin1Letters},  {"ES", "Spanish", kLatin1Letters},
    {"HR", "Croatian", kLatinExtendedA},  {"IT", "Italian", kLatin1Letters}, {"KR", "Korean", kHangulSyllables},
    {"PT", "Portuguese", kLatin1Letters}, {"SE", "Swedish", kLatin1Letters},
};

// Lists of product codes, language codes and entry ids are written as in the tables they come from.
constexpr std::string_view kAllLanguages = "AR DK ES HR IT KR PT SE";

struct InventoryRow {
    std::string_view payload;
    std::size_t bytes;
    int lines;
    int entries;
    int multiLine;
    int breaks;
    std::string_view trailingSpace;
    int longest;
    std::u16string_view name;
};

constexpr InventoryRow kInventory[] = {
    {"TEXT_TV_AR", 10340, 182, 161, 12, 22, "040 150 152 201", 190, u"العربية (Arabic)"},
    {"TEXT_TV_DK", 11220, 187, 161, 13, 26, "086 113", 229, u"Dansk (Danish)"},
    {"TEXT_TV_ES", 11614, 190, 161, 15, 29, "", 234, u"Español (Spanish)"},
    {"TEXT_TV_HR", 11750, 192, 161, 16, 31, "", 231, u"Hrvatski (Croatian)"},
    {"TEXT_TV_IT", 12592, 195, 161, 16, 34, "125 196", 242, u"Italiano (Italian)"},
    {"TEXT_TV_KR", 7866, 191, 161, 16, 30, "", 134, u"한국어 (Korean)"},
    {"TEXT_TV_PT", 11460, 193, 161, 15, 32, "142", 223, u"Português (Portuguese)"},
    {"TEXT_TV_SE", 10978, 188, 161, 14, 27, "", 221, u"Svenska (Swedish)"},
    {"TEXT_LN_DK", 6062, 99, 82, 6, 17, "", 226, u"Dansk (Danish)"},
    {"TEXT_LN_ES", 5968, 102, 82, 7, 20, "", 232, u"Español (Spanish)"},
    {"TEXT_LN_HR", 6264, 103, 82, 7, 21, "", 223, u"Hrvatski (Croatian)"},
    {"TEXT_LN_IT", 6422, 104, 82, 7, 22, "125", 245, u"Italian (Italiano)"},
    {"TEXT_LN_KR", 4222, 102, 82, 7, 20, "108", 120, u"한국어 (Korean)"},
    {"TEXT_LN_PT", 6146, 103, 82, 7, 21, "", 231, u"Português (Portuguese)"},
    {"TEXT_LN_SE", 5796, 103, 82, 7, 21, "063", 219, u"Svenska (Swedish)"},
};

struct SignRow {
    char16_t sign;
    std::string_view products;
    std::string_view languages;
};

constexpr SignRow kSigns[] = {
    {u'\u2026', "TV LN", "ES IT KR"},    // horizontal ellipsis
    {u'\u00BF', "TV LN", "ES"},          // inverted question mark
    {u'\u00B0', "TV", "DK HR IT KR SE"}, // degree sign
    {u'\u2022', "TV", "AR DK HR SE"},    // bullet
};

struct EntryRuleRow {
    std::string_view products;
    std::string_view languages;
    std::vector<int> FileProfile::*field;
    std::string_view entries;
};

constexpr EntryRuleRow kEntryRules[] = {
    {"TV", kAllLanguages, &FileProfile::percentEntries, "039 048 049"},
    {"TV", "DK", &FileProfile::percentEntries, "047"},
    {"TV", kAllLanguages, &FileProfile::bracketEntries, "196 200"},
    {"TV", "AR DK HR PT SE", &FileProfile::ellipsisEnd, "085"},
    {"LN", "DK HR PT SE", &FileProfile::ellipsisEnd, "004 046 058"},
    {"LN", "DK HR PT SE", &FileProfile::ellipsisStart, "059"},
    {"TV", kAllLanguages, &FileProfile::multiLine, "125 150 158 162 198 199 200 201 204"},
    {"LN", kAllLanguages, &FileProfile::multiLine, "064 065 125 158 162 204"},
    {"TV LN", kAllLanguages, &FileProfile::emptyLine, "125 158 162"},
};

constexpr std::string_view kArabicPayload = "TEXT_TV_AR";
constexpr BreakMix kArabicBreakMix{.crCrLf = 16, .loneCr = 1, .loneCrEntry = 125, .crCrLfEndEntry = 204};
constexpr int kArabicFullLineEntry = 202;

constexpr std::u16string_view kAsciiPunctuation = u" .,:?!'\"()[]-/%";

struct Hint {
    char16_t character;
    std::string_view advice;
};

constexpr Hint kHints[] = {
    {u'&', "no accelerator marks in these files"},
    {u'\t', "use a space instead"},
    {u'\\', "no escape sequences: a line break is a real line break"},
    {u'|', "no markup or placeholders"},
    {u'{', "no markup or placeholders"},
    {u'}', "no markup or placeholders"},
    {u'<', "no markup or placeholders"},
    {u'>', "no markup or placeholders"},
};

// ---- Small helpers ----

bool Listed(std::string_view list, std::string_view word)
{
    while (!list.empty()) {
        const std::size_t space = list.find(' ');
        if (list.substr(0, space) == word)
            return true;
        list = space == std::string_view::npos ? std::string_view{} : list.substr(space + 1);
    }
    return false;
}

std::vector<int> IdList(std::string_view list)
{
    std::vector<int> ids;
    for (std::size_t i = 0; i + 3 <= list.size(); i += 4)
        ids.push_back(std::stoi(std::string(list.substr(i, 3))));
    return ids;
}

std::vector<int> Expand(std::span<const IdRange> ranges)
{
    std::vector<int> ids;
    for (const IdRange& range : ranges)
        for (int id = range.first; id <= range.last; ++id)
            ids.push_back(id);
    return ids;
}

bool Contains(const std::vector<int>& ids, int id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string Upper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string JoinIds(const std::vector<int>& ids)
{
    if (ids.empty())
        return "none";
    std::string joined;
    for (int id : ids)
        joined += (joined.empty() ? "" : ", ") + EntryName(id);
    return joined;
}

std::string CodePoint(char32_t c)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (; c != 0 || hex.size() < 4; c >>= 4)
        hex.insert(hex.begin(), kDigits[c & 0xF]);
    return "U+" + hex;
}

std::string HexByte(unsigned char byte)
{
    return CodePoint(byte).substr(4);
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}
bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool IsAsciiLetterOrDigit(char16_t c)
{
    return IsDigit(c) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// The one Latin-1 sign that every file holds in entry 203; the signs named elsewhere do not count.
bool IsFurtherSign(char16_t c)
{
    return c >= 0x00A0 && c <= 0x00BF && c != 0x00B0 && c != 0x00BA && c != 0x00BF;
}

// Reported by the encoding check, so the character checks pass over them.
bool IsEncodingFault(char16_t c)
{
    return c == 0 || c == 0xFEFF || IsHighSurrogate(c) || IsLowSurrogate(c);
}

std::string Describe(char16_t c)
{
    if (c == u'\t')
        return "a tab (U+0009)";
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return "control character " + CodePoint(c);
    std::string quoted = "character \"";
    AppendUtf8(quoted, c);
    return quoted + "\" (" + CodePoint(c) + ")";
}

std::string CountSuffix(int count)
{
    return count > 1 ? " (" + std::to_string(count) + " times in this text)" : "";
}

// ---- The document: decoded units, lines split at the line end, entries found by position ----

enum class BreakKind { CrLf, CrCrLf, LoneCr, LoneLf };

struct Break {
    std::size_t begin; // offsets into the text
    std::size_t end;
    BreakKind kind;
};

struct Line {
    std::size_t begin; // offsets into the units, line end excluded
    std::size_t end;
    bool terminated;
};

struct Entry {
    int id;
    std::size_t begin; // the text, markers excluded, offsets into the units
    std::size_t end;
    int line;
};

struct Document {
    std::u16string units;
    std::vector<Line> lines;
    std::vector<Entry> entries;

    std::u16string_view LineText(std::size_t index) const
    {
        return std::u16string_view(units).substr(lines[index].begin, lines[index].end - lines[index].begin);
    }

    std::u16string_view Text(const Entry& entry) const
    {
        return std::u16string_view(units).substr(entry.begin, entry.end - entry.begin);
    }

    int LineOf(std::size_t offset) const
    {
        const auto after = std::upper_bound(lines.begin(), lines.end(), offset,
                                            [](std::size_t value, const Line& line) { return value < line.begin; });
        return std::max(1, static_cast<int>(after - lines.begin()));
    }

    int EntryAt(std::size_t offset) const
    {
        for (const Entry& entry : entries)
            if (offset + 5 >= entry.begin && offset < entry.end + 5)
                return entry.id;
        return kNoEntry;
    }
};

std::vector<Break> BreaksIn(std::u16string_view text)
{
    std::vector<Break> breaks;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            breaks.push_back({i, i + 1, BreakKind::LoneLf});
        } else if (text[i] != u'\r') {
            continue;
        } else if (text.substr(i, 2) == u"\r\n") {
            breaks.push_back({i, i + 2, BreakKind::CrLf});
            i += 1;
        } else if (text.substr(i, 3) == u"\r\r\n") {
            breaks.push_back({i, i + 3, BreakKind::CrCrLf});
            i += 2;
        } else {
            breaks.push_back({i, i + 1, BreakKind::LoneCr});
        }
    }
    return breaks;
}

struct Segment {
    std::size_t begin;
    std::size_t end;
};

// The lines of a text, split at every kind of break.
std::vector<Segment> SegmentsOf(std::u16string_view text, const std::vector<Break>& breaks)
{
    std::vector<Segment> segments;
    std::size_t begin = 0;
    for (const Break& lineBreak : breaks) {
        segments.push_back({begin, lineBreak.begin});
        begin = lineBreak.end;
    }
    segments.push_back({begin, text.size()});
    return segments;
}

bool Opens(std::u16string_view line)
{
    return line.size() >= 5 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) && line[3] == u'.' &&
           line[4] == u':';
}

int IdAt(std::u16string_view digits)
{
    return (digits[0] - u'0') * 100 + (digits[1] - u'0') * 10 + (digits[2] - u'0');
}

// On the line that opens the entry the closing marker must not overlap the opening one.
std::optional<int> ClosingId(std::u16string_view line, bool openingLine)
{
    if (line.size() < (openingLine ? 10u : 5u))
        return std::nullopt;
    const std::u16string_view tail = line.substr(line.size() - 5);
    if (tail[0] != u':' || tail[1] != u'.' || !IsDigit(tail[2]) || !IsDigit(tail[3]) || !IsDigit(tail[4]))
        return std::nullopt;
    return IdAt(tail.substr(2));
}

// A stray CR after the closing marker (CR CR LF) does not hide the marker; the entry search reports it.
std::u16string_view WithoutTrailingCr(std::u16string_view line)
{
    while (!line.empty() && line.back() == u'\r')
        line.remove_suffix(1);
    return line;
}

void SplitLines(Document& doc, std::u16string_view lineEnd)
{
    std::size_t start = 0;
    while (start < doc.units.size()) {
        const std::size_t found = doc.units.find(lineEnd, start);
        if (found == std::u16string::npos) {
            doc.lines.push_back({start, doc.units.size(), false});
            break;
        }
        doc.lines.push_back({start, found, true});
        start = found + lineEnd.size();
    }
}

void ReportStrayLines(const Document& doc, std::size_t first, std::size_t end, std::vector<Finding>& out)
{
    const int line = static_cast<int>(first) + 1;
    if (end - first == 1 && doc.LineText(first).empty()) {
        out.push_back({kNoEntry, line, "empty line between entries; remove it"});
        return;
    }
    const std::string where =
        end - first == 1 ? "line does not" : "lines " + std::to_string(line) + " to " + std::to_string(end) + " do not";
    out.push_back({kNoEntry, line,
                   where + " begin an entry (three digits and \".:\" at the start of the line); a text that goes on "
                           "here must stay between the \".:\" and \":.\" of its entry"});
}

void FindEntries(Document& doc, std::vector<Finding>& out)
{
    const std::size_t count = doc.lines.size();
    auto opens = [&](std::size_t i) { return Opens(doc.LineText(i)); };
    std::size_t i = 0;
    while (i < count) {
        if (!opens(i)) {
            std::size_t end = i;
            while (end < count && !opens(end))
                ++end;
            ReportStrayLines(doc, i, end, out);
            i = end;
            continue;
        }
        const int id = IdAt(doc.LineText(i));
        const int line = static_cast<int>(i) + 1;
        auto closing = [&](std::size_t j) { return ClosingId(WithoutTrailingCr(doc.LineText(j)), j == i); };
        const std::string closer = "\":." + EntryName(id) + "\"";

        std::size_t firstClose = i;
        while (firstClose < count && !closing(firstClose))
            ++firstClose;
        std::size_t last = firstClose;
        bool closed = true;
        if (firstClose == count || closing(firstClose) != id) {
            std::size_t nextOpen = i + 1;
            while (nextOpen < count && nextOpen <= firstClose && !opens(nextOpen))
                ++nextOpen;
            if (nextOpen < count && nextOpen <= firstClose) {
                out.push_back({id, line,
                               "entry is not closed: " + closer + " is missing before the next entry on line " +
                                   std::to_string(nextOpen + 1)});
                last = nextOpen - 1;
                closed = false;
            } else if (firstClose == count) {
                out.push_back({id, line, "entry is not closed: " + closer + " is missing before the end of the file"});
                last = count - 1;
                closed = false;
            } else {
                // A later closing marker with the entry's own id makes the first one a text line that only ends
                // like a marker; the text check reports that line.
                std::size_t own = firstClose + 1;
                while (own < count && !opens(own) && closing(own) != id)
                    ++own;
                if (own < count && !opens(own)) {
                    last = own;
                } else {
                    const std::u16string_view text = WithoutTrailingCr(doc.LineText(firstClose));
                    out.push_back({id, static_cast<int>(firstClose) + 1,
                                   "closing marker \"" + Utf8(text.substr(text.size() - 5)) +
                                       "\" does not repeat the entry's id; write " + closer});
                }
            }
        }
        std::size_t end = doc.lines[last].end;
        if (closed) {
            const std::size_t marker = doc.lines[last].begin + WithoutTrailingCr(doc.LineText(last)).size();
            if (marker != end)
                out.push_back({id, static_cast<int>(last) + 1,
                               "a CR stands between " + closer + " and the line end; end the entry with CR LF alone"});
            end = marker - 5;
        }
        doc.entries.push_back({id, doc.lines[i].begin + 5, end, line});
        i = last + 1;
    }
}

// Splits the units into lines and entries; false when there is nothing to check.
bool Parse(Document& doc, std::u16string_view lineEnd, std::string_view lineEndName, std::vector<Finding>& out)
{
    SplitLines(doc, lineEnd);
    if (doc.lines.empty()) {
        out.push_back({kNoEntry, 0, "file holds no entries"});
        return false;
    }
    FindEntries(doc, out);
    if (!doc.lines.back().terminated)
        out.push_back(
            {kNoEntry, static_cast<int>(doc.lines.size()),
             "file must end with " + std::string(lineEndName) + " right after the last entry's \":.\" and id"});
    return true;
}

// ---- Decoding ----

bool DecodeUtf16(std::string_view bytes, std::u16string& units, std::vector<Finding>& out)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const std::string_view saveAs = "; save it as UTF-16 LE (little-endian) without byte order mark";
    if (bytes.empty()) {
        out.push_back({kNoEntry, 0, "file is empty"});
        return false;
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        out.push_back({kNoEntry, 0, "file is UTF-8 (it begins with the UTF-8 byte order mark)" + std::string(saveAs)});
        return false;
    }
    if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        out.push_back({kNoEntry, 0, "file is UTF-16 big-endian (it begins with FE FF)" + std::string(saveAs)});
        return false;
    }
    if (bytes.size() >= 2 && byte(0) == 0x00 && byte(1) == 0x30) {
        out.push_back({kNoEntry, 0, "file is UTF-16 big-endian (it begins with 00 30)" + std::string(saveAs)});
        return false;
    }
    const std::string_view head = bytes.substr(0, 64);
    if (bytes.size() >= 2 && head.find('\0') == std::string_view::npos) {
        out.push_back({kNoEntry, 0, "file is 8-bit text (UTF-8 or ANSI), not UTF-16" + std::string(saveAs)});
        return false;
    }
    std::size_t start = 0;
    if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        out.push_back({kNoEntry, 0, "file begins with a byte order mark (FF FE)" + std::string(saveAs)});
        start = 2;
    } else if (bytes.size() < 2 || byte(0) != 0x30 || byte(1) != 0x00) {
        out.push_back({kNoEntry, 0,
                       "file must begin with the bytes 30 00 (the \"0\" of \"000.:\"), found " + HexByte(byte(0)) +
                           (bytes.size() >= 2 ? " " + HexByte(byte(1)) : "")});
    }
    if (bytes.size() % 2 != 0)
        out.push_back({kNoEntry, 0,
                       "file has an odd number of bytes (" + std::to_string(bytes.size()) +
                           "): UTF-16 takes two bytes per character, and the last byte " +
                           HexByte(byte(bytes.size() - 1)) + " is left over"});
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(byte(i) | (byte(i + 1) << 8));
    return true;
}

void CheckUnits(const Document& doc, std::vector<Finding>& out)
{
    const std::u16string& units = doc.units;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        std::string message;
        if (c == 0) {
            message = "NUL character (U+0000, bytes 00 00) found; remove it";
        } else if (c == 0xFEFF) {
            message = "character U+FEFF (byte order mark, zero-width no-break space) found; remove it";
        } else if (IsHighSurrogate(c) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            const char32_t full = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            std::string shown;
            AppendUtf8(shown, full);
            message = "character \"" + shown + "\" (" + CodePoint(full) +
                      ") lies outside the Basic Multilingual Plane (needs a surrogate pair); remove or replace it";
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            message = "unpaired surrogate " + CodePoint(c) + " found (the file is damaged here); remove it";
        } else {
            continue;
        }
        out.push_back({doc.EntryAt(i), doc.LineOf(i), message});
    }
}

// Invalid sequences become U+FFFD; one finding tells where the first one is.
std::u16string DecodeUtf8(std::string_view bytes, std::vector<Finding>& out)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::u16string units;
    int invalid = 0;
    std::size_t firstInvalid = 0;
    std::size_t i = 0;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        out.push_back({kNoEntry, 0, "file begins with a UTF-8 byte order mark (EF BB BF); remove it"});
        i = 3;
    }
    while (i < bytes.size()) {
        const unsigned char lead = byte(i);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (byte(i + k) & 0xC0) == 0x80;
            c = (c << 6) | (byte(i + k) & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && c >= kSmallest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
        if (!valid) {
            if (invalid++ == 0)
                firstInvalid = i;
            units += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(c);
        }
        i += length;
    }
    if (invalid > 0) {
        const int line = 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + firstInvalid, '\n'));
        out.push_back({kNoEntry, line,
                       "file is not valid UTF-8: " + std::to_string(invalid) + " invalid byte(s), the first is " +
                           HexByte(byte(firstInvalid)) + " at byte offset " + std::to_string(firstInvalid)});
    }
    return units;
}

// ---- Checks ----

void CheckIds(const Document& doc, const std::vector<int>& expected, std::string_view product,
              std::vector<Finding>& out)
{
    std::map<int, int> firstLine;
    int previous = -1;
    for (const Entry& entry : doc.entries) {
        if (const auto seen = firstLine.find(entry.id); seen != firstLine.end()) {
            out.push_back({entry.id, entry.line,
                           "entry occurs twice (first on line " + std::to_string(seen->second) + "); keep only one"});
        } else {
            firstLine[entry.id] = entry.line;
            if (entry.id < previous)
                out.push_back(
                    {entry.id, entry.line,
                     "entry stands after entry " + EntryName(previous) + "; ids must ascend, so move it to its place"});
        }
        previous = std::max(previous, entry.id);
        if (!std::binary_search(expected.begin(), expected.end(), entry.id))
            out.push_back(
                {entry.id, entry.line, "entry is not one of " + std::string(product) + "'s entries; remove it"});
    }
    const int lastLine = static_cast<int>(doc.lines.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const int id = expected[k];
        if (firstLine.contains(id))
            continue;
        const auto next =
            std::find_if(doc.entries.begin(), doc.entries.end(), [id](const Entry& entry) { return entry.id > id; });
        const int line = next == doc.entries.end() ? lastLine : next->line;
        out.push_back({id, line,
                       k == 0 ? std::string("entry is missing; add it at the start of the file")
                              : "entry is missing; add it after entry " + EntryName(expected[k - 1])});
    }
}

std::string DescribeRepertoire(const FileProfile& profile)
{
    std::string text = "ASCII letters and digits, the punctuation . , : ? ! ' \" ( ) [ ] - / %";
    for (const CodeRange& range : profile.letters)
        text += ", " + (range.first == range.last ? CodePoint(range.first)
                                                  : CodePoint(range.first) + " to " + CodePoint(range.last));
    for (char16_t sign : profile.signs)
        text += ", " + CodePoint(sign);
    return text;
}

bool Allowed(char16_t c, const FileProfile& profile)
{
    const auto inRange = [c](const CodeRange& range) { return c >= range.first && c <= range.last; };
    return IsAsciiLetterOrDigit(c) || kAsciiPunctuation.find(c) != std::u16string_view::npos ||
           std::any_of(profile.letters.begin(), profile.letters.end(), inRange) ||
           std::find(profile.signs.begin(), profile.signs.end(), c) != profile.signs.end();
}

std::string Rejection(char16_t c, const FileProfile& profile)
{
    for (const Hint& hint : kHints)
        if (hint.character == c)
            return Describe(c) + " is not allowed (" + std::string(hint.advice) + "); remove it";
    if (c < 0x80 && c >= 0x20 && c != 0x7F)
        return Describe(c) + " is not allowed; the only ASCII symbols are . , : ? ! ' \" ( ) [ ] - / %";
    return Describe(c) + " is not allowed in " + profile.payload + "; it may use " + DescribeRepertoire(profile);
}

struct TextScope {
    const Document& doc;
    const Entry& entry;
    std::vector<Finding>& out;

    void Add(std::size_t offset, std::string message) const
    {
        out.push_back({entry.id, doc.LineOf(entry.begin + offset), std::move(message)});
    }
};

void CheckCharacters(const TextScope& scope, std::u16string_view text, const FileProfile& profile)
{
    struct Occurrence {
        std::size_t first;
        int count;
    };
    std::map<char16_t, Occurrence> rejected;
    int signs = 0;
    bool misplacedSign = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n' || IsEncodingFault(c) || Allowed(c, profile))
            continue;
        if (!IsFurtherSign(c)) {
            auto [place, added] = rejected.try_emplace(c, Occurrence{i, 0});
            ++place->second.count;
        } else if (scope.entry.id != kSignEntry) {
            if (!std::exchange(misplacedSign, true))
                scope.Add(i, Describe(c) + " is a sign that a file holds only once, in entry " + EntryName(kSignEntry) +
                                 "; remove it here");
        } else if (++signs == 2) {
            scope.Add(i, "entry holds a second Latin-1 sign (" + Describe(c) + "); it may hold only one");
        }
    }
    for (const auto& [c, occurrence] : rejected)
        scope.Add(occurrence.first, Rejection(c, profile) + CountSuffix(occurrence.count));
    if (scope.entry.id == kSignEntry && signs == 0)
        scope.Add(0, "text must hold exactly one sign of the Latin-1 block (U+00A0 to U+00BF, such as \"\u00A9\"), "
                     "as in the English text");
}

void CheckPercent(const TextScope& scope, std::u16string_view text, const FileProfile& profile)
{
    const bool allowed = Contains(profile.percentEntries, scope.entry.id);
    const std::size_t first = text.find(u'%');
    if (first == std::u16string_view::npos) {
        if (allowed)
            scope.Add(0, "text must hold a percent sign directly after a number, such as \"50%\"");
        return;
    }
    if (!allowed) {
        scope.Add(first, profile.percentEntries.empty()
                             ? std::string("\"%\" is not allowed in this file; remove it")
                             : "\"%\" is allowed only in entries " + JoinIds(profile.percentEntries) + "; remove it");
        return;
    }
    for (std::size_t i = first; i != std::u16string_view::npos; i = text.find(u'%', i + 1))
        if (i == 0 || !IsDigit(text[i - 1])) {
            scope.Add(i, "\"%\" must follow a number directly, as in \"50%\"");
            return;
        }
}

void CheckBreaks(const TextScope& scope, const std::vector<Break>& breaks, const FileProfile& profile)
{
    const BreakMix& mix = profile.breakMix;
    const std::string_view usual = mix.crCrLf > 0 ? "CR LF or CR CR LF" : "CR LF";
    for (std::size_t k = 0; k < breaks.size(); ++k) {
        const Break& current = breaks[k];
        switch (current.kind) {
        case BreakKind::CrLf:
            break;
        case BreakKind::LoneLf:
            scope.Add(current.begin, "line break is a lone LF; write " + std::string(usual));
            break;
        case BreakKind::CrCrLf:
            if (mix.crCrLf == 0)
                scope.Add(current.begin, "line break is CR CR LF; write CR LF");
            break;
        case BreakKind::LoneCr: {
            const bool afterCrCrLf =
                k > 0 && breaks[k - 1].kind == BreakKind::CrCrLf && breaks[k - 1].end == current.begin;
            if (mix.loneCr == 0)
                scope.Add(current.begin, "line break is a lone CR; write CR LF");
            else if (scope.entry.id != mix.loneCrEntry || !afterCrCrLf)
                scope.Add(current.begin, "a lone CR is allowed only in entry " + EntryName(mix.loneCrEntry) +
                                             ", directly after a CR CR LF; write " + std::string(usual));
            break;
        }
        }
    }
    if (static_cast<int>(breaks.size()) > kMaxBreaks)
        scope.Add(0, "text has " + std::to_string(breaks.size()) + " line breaks; at most " +
                         std::to_string(kMaxBreaks) + " are allowed");
    if (scope.entry.id == mix.crCrLfEndEntry && (breaks.empty() || breaks.back().kind != BreakKind::CrCrLf ||
                                                 breaks.back().end != scope.entry.end - scope.entry.begin))
        scope.Add(scope.entry.end - scope.entry.begin, "text must end with CR CR LF, so that its closing \":." +
                                                           EntryName(scope.entry.id) + "\" begins a line of its own");
}

void CheckLines(const TextScope& scope, std::u16string_view text, const std::vector<Break>& breaks,
                const FileProfile& profile)
{
    const int id = scope.entry.id;
    const std::vector<Segment> segments = SegmentsOf(text, breaks);
    std::size_t longest = 0;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const std::u16string_view segment = text.substr(segments[k].begin, segments[k].end - segments[k].begin);
        longest = std::max(longest, segment.size());
        if (segment.size() > static_cast<std::size_t>(kMaxLineLength))
            scope.Add(segments[k].begin, "a line of the text is " + std::to_string(segment.size()) +
                                             " characters long; at most " + std::to_string(kMaxLineLength) +
                                             " are allowed");
        if (k > 0 && Opens(segment))
            scope.Add(segments[k].begin, "a line inside the text begins with three digits and \".:\", "
                                         "like an entry; reword it");
        if (k + 1 < segments.size() && ClosingId(segment, false))
            scope.Add(segments[k].begin, "a line inside the text ends with \":.\" and three digits, "
                                         "like the end of an entry; reword it");
    }
    if (Contains(profile.multiLine, id) && breaks.empty())
        scope.Add(0, "text must span several lines, as in every language");
    const auto adjacent = std::adjacent_find(breaks.begin(), breaks.end(),
                                             [](const Break& a, const Break& b) { return a.end == b.begin; });
    if (Contains(profile.emptyLine, id) && adjacent == breaks.end())
        scope.Add(0, "text must hold an empty line (two line breaks in a row), as in every language");
    if (id == profile.fullLineEntry && longest != static_cast<std::size_t>(kMaxLineLength))
        scope.Add(0, "the longest line of this text must be exactly " + std::to_string(kMaxLineLength) +
                         " characters, found " + std::to_string(longest));
}

void CheckText(const Document& doc, const Entry& entry, const FileProfile& profile, std::vector<Finding>& out)
{
    const TextScope scope{doc, entry, out};
    const std::u16string_view text = doc.Text(entry);
    const int id = entry.id;
    if (text.empty()) {
        scope.Add(0, "text is empty; write the translation between \".:\" and \":.\"");
        return;
    }
    if (text.front() == u' ')
        scope.Add(0, "text begins with a space; remove it");
    for (std::u16string_view marker : {std::u16string_view(u".:"), std::u16string_view(u":.")})
        if (const std::size_t at = text.find(marker); at != std::u16string_view::npos)
            scope.Add(at, "text contains \"" + Utf8(marker) +
                              "\", which marks entries; reword it (a space between the two signs will do)");
    if (id == kNameEntry && !profile.name.empty() && text != profile.name)
        scope.Add(0, "text must read \"" + Utf8(profile.name) + "\", found \"" + Utf8(text) + "\"");
    const bool endsInSpace = text.back() == u' ';
    if (endsInSpace != Contains(profile.trailingSpaceEntries, id))
        scope.Add(text.size() - 1, endsInSpace ? "text must not end with a space; remove it"
                                               : "text must end with a space, as in the shipped file");
    if (Contains(profile.bracketEntries, id) && !text.starts_with(u"["))
        scope.Add(0, "text must begin with \"[\"");
    if (Contains(profile.ellipsisStart, id) && !text.starts_with(u"..."))
        scope.Add(0, "text must begin with \"...\"");
    if (Contains(profile.ellipsisEnd, id) && !text.ends_with(u"..."))
        scope.Add(text.size() - 1, "text must end with \"...\"");

    const std::vector<Break> breaks = BreaksIn(text);
    CheckBreaks(scope, breaks, profile);
    CheckLines(scope, text, breaks, profile);
    CheckCharacters(scope, text, profile);
    CheckPercent(scope, text, profile);
}

// "26 line breaks inside texts expected, found 25"
std::string Expected(long long expected, std::string_view what, long long found)
{
    return std::to_string(expected) + " " + std::string(what) + " expected, found " + std::to_string(found);
}

std::string Plural(std::size_t count, std::string_view noun)
{
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

void CheckFigures(const Document& doc, const Figures& figures, const FileProfile& profile, std::vector<Finding>& out)
{
    auto add = [&out](std::string message) { out.push_back({kNoEntry, 0, std::move(message)}); };
    if (figures.bytes != profile.bytes) {
        const bool longer = figures.bytes > profile.bytes;
        const std::size_t gap = longer ? figures.bytes - profile.bytes : profile.bytes - figures.bytes;
        const std::string characters = Plural(gap / 2, "character");
        const std::string size = Plural(gap, "byte") + (gap % 2 == 0 ? " (" + characters + ")" : "");
        add("file is " + size + " " + (longer ? "longer" : "shorter") + " than " + std::to_string(profile.bytes) +
            (gap % 2 == 0 ? "; " + std::string(longer ? "shorten" : "lengthen") + " the texts by " + characters : ""));
    }
    if (figures.lines != profile.lines)
        add(Expected(profile.lines, "lines (CR LF line ends)", figures.lines));
    if (figures.entries != profile.entries)
        add(Expected(profile.entries, "entries", figures.entries));
    if (static_cast<int>(figures.multiLine.size()) != profile.multiLineEntries)
        add(Expected(profile.multiLineEntries, "entries spanning several lines",
                     static_cast<long long>(figures.multiLine.size())) +
            " (" + JoinIds(figures.multiLine) + ")");
    if (figures.breaks != profile.breaks)
        add(Expected(profile.breaks, "line breaks inside texts", figures.breaks));
    const BreakMix& mix = profile.breakMix;
    if (mix.crCrLf > 0 || mix.loneCr > 0) {
        const int crLf = profile.breaks - mix.crCrLf - mix.loneCr;
        if (figures.crCrLf != mix.crCrLf)
            add(Expected(mix.crCrLf, "line breaks written as CR CR LF", figures.crCrLf));
        if (figures.loneCr != mix.loneCr)
            add(Expected(mix.loneCr,
                         mix.loneCr == 1 ? "line break written as a lone CR" : "line breaks written as a lone CR",
                         figures.loneCr));
        if (figures.crLf != crLf)
            add(Expected(crLf, "line breaks inside texts written as CR LF", figures.crLf));
    }

    const auto longest = std::find_if(doc.entries.begin(), doc.entries.end(),
                                      [](const Entry& entry) { return entry.id == kLongestEntry; });
    if (longest == doc.entries.end())
        return;
    const std::size_t length = longest->end - longest->begin;
    if (static_cast<int>(length) != profile.longestLength)
        out.push_back({kLongestEntry, longest->line,
                       "text is " + std::to_string(length) + " characters long (line breaks included), " +
                           std::to_string(profile.longestLength) + " expected"});
    for (const Entry& entry : doc.entries)
        if (entry.id != kLongestEntry && entry.end - entry.begin >= length)
            out.push_back({entry.id, entry.line,
                           "text is " + std::to_string(entry.end - entry.begin) + " characters long, not shorter " +
                               "than entry " + EntryName(kLongestEntry) + " (" + std::to_string(length) + "); entry " +
                               EntryName(kLongestEntry) + " must be the longest text"});
}

Figures Measure(const Document& doc, std::size_t bytes)
{
    Figures figures;
    figures.bytes = bytes;
    figures.lines = static_cast<int>(
        std::count_if(doc.lines.begin(), doc.lines.end(), [](const Line& line) { return line.terminated; }));
    figures.entries = static_cast<int>(doc.entries.size());
    for (const Entry& entry : doc.entries) {
        const std::u16string_view text = doc.Text(entry);
        const std::vector<Break> breaks = BreaksIn(text);
        int counted = 0;
        for (const Break& lineBreak : breaks) {
            const int kinds[] = {lineBreak.kind == BreakKind::CrLf, lineBreak.kind == BreakKind::CrCrLf,
                                 lineBreak.kind == BreakKind::LoneCr};
            figures.crLf += kinds[0];
            figures.crCrLf += kinds[1];
            figures.loneCr += kinds[2];
            counted += kinds[0] + kinds[1] + kinds[2];
        }
        figures.breaks += counted;
        if (counted > 0)
            figures.multiLine.push_back(entry.id);
        if (!text.empty() && text.back() == u' ')
            figures.trailingSpace.push_back(entry.id);
        const int length = static_cast<int>(text.size());
        if (entry.id == kLongestEntry) {
            figures.longestLength = length;
        } else if (length > figures.longestOtherLength) {
            figures.longestOtherLength = length;
            figures.longestOtherEntry = entry.id;
        }
        for (const Segment& segment : SegmentsOf(text, breaks)) {
            const int lineLength = static_cast<int>(segment.end - segment.begin);
            if (lineLength > figures.longestLineLength) {
                figures.longestLineLength = lineLength;
                figures.longestLineEntry = entry.id;
            }
        }
    }
    return figures;
}

bool LoadLanguageFile(std::string_view bytes, Document& doc, std::vector<Finding>& out)
{
    return DecodeUtf16(bytes, doc.units, out) && Parse(doc, u"\r\n", "CR LF", out);
}

void SortByLine(std::vector<Finding>& findings)
{
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

} // namespace

std::string EntryName(int id)
{
    std::string name = std::to_string(id);
    return std::string(name.size() < 3 ? 3 - name.size() : 0, '0') + name;
}

std::string Utf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, IsHighSurrogate(c) || IsLowSurrogate(c) ? U'\uFFFD' : c);
        }
    }
    return out;
}

std::vector<std::string> PayloadNames()
{
    std::vector<std::string> names;
    for (const InventoryRow& row : kInventory)
        names.emplace_back(row.payload);
    return names;
}

std::optional<FileProfile> ProfileFor(std::string_view payload)
{
    const std::string name = Upper(payload);
    const auto row = std::find_if(std::begin(kInventory), std::end(kInventory),
                                  [&](const InventoryRow& candidate) { return candidate.payload == name; });
    if (row == std::end(kInventory))
        return std::nullopt;
    const std::string_view productCode = row->payload.substr(5, 2);
    const std::string_view languageCode = row->payload.substr(8, 2);
    const auto product = std::find_if(std::begin(kProducts), std::end(kProducts),
                                      [&](const ProductRow& candidate) { return candidate.code == productCode; });
    const auto language = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                       [&](const LanguageRow& candidate) { return candidate.code == languageCode; });

    FileProfile profile;
    profile.payload = row->payload;
    profile.product = product->name;
    profile.language = language->name;
    profile.ids = Expand(product->ids);
    profile.bytes = row->bytes;
    profile.lines = row->lines;
    profile.entries = row->entries;
    profile.multiLineEntries = row->multiLine;
    profile.breaks = row->breaks;
    profile.trailingSpaceEntries = IdList(row->trailingSpace);
    profile.longestLength = row->longest;
    profile.name = row->name;
    profile.letters.assign(language->letters.begin(), language->letters.end());
    for (const SignRow& sign : kSigns)
        if (Listed(sign.products, productCode) && Listed(sign.languages, languageCode))
            profile.signs.push_back(sign.sign);
    for (const EntryRuleRow& rule : kEntryRules) {
        if (!Listed(rule.products, productCode) || !Listed(rule.languages, languageCode))
            continue;
        std::vector<int>& entries = profile.*rule.field;
        for (int id : IdList(rule.entries))
            entries.push_back(id);
        std::sort(entries.begin(), entries.end());
    }
    if (row->payload == kArabicPayload) {
        profile.breakMix = kArabicBreakMix;
        profile.fullLineEntry = kArabicFullLineEntry;
    }
    return profile;
}

std::optional<std::string> PayloadFromFileName(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    const std::string payload = Upper(name);
    if (!ProfileFor(payload))
        return std::nullopt;
    return payload;
}

std::optional<std::vector<int>> ProductIds(std::string_view product)
{
    for (const ProductRow& row : kProducts)
        if (Upper(row.name) == Upper(product))
            return Expand(row.ids);
    return std::nullopt;
}

std::vector<Finding> CheckLanguageFile(std::string_view bytes, const FileProfile& profile)
{
    std::vector<Finding> out;
    Document doc;
    if (!LoadLanguageFile(bytes, doc, out))
        return out;
    CheckUnits(doc, out);
    CheckIds(doc, profile.ids, profile.product, out);
    for (const Entry& entry : doc.entries)
        CheckText(doc, entry, profile, out);
    CheckFigures(doc, Measure(doc, bytes.size()), profile, out);
    SortByLine(out);
    return out;
}

Figures MeasureLanguageFile(std::string_view bytes)
{
    std::vector<Finding> ignored;
    Document doc;
    if (!LoadLanguageFile(bytes, doc, ignored)) {
        Figures figures;
        figures.bytes = bytes.size();
        return figures;
    }
    return Measure(doc, bytes.size());
}

std::vector<Finding> CheckReferenceFile(std::string_view bytes, const std::vector<int>& ids, std::string_view product)
{
    std::vector<Finding> out;
    Document doc;
    doc.units = DecodeUtf8(bytes, out);
    // One finding for CR line ends; the rest of the check reads the file as if they were LF.
    if (const std::size_t cr = doc.units.find(u'\r'); cr != std::u16string::npos) {
        const int line = 1 + static_cast<int>(std::count(doc.units.begin(), doc.units.begin() + cr, u'\n'));
        out.push_back({kNoEntry, line, "file holds CR characters; reference texts end their lines with LF alone"});
        std::erase(doc.units, u'\r');
    }
    if (Parse(doc, u"\n", "LF", out))
        CheckIds(doc, ids, product, out);
    SortByLine(out);
    return out;
}

std::string FormatFinding(std::string_view fileName, const Finding& finding)
{
    std::string text(fileName);
    if (finding.line > 0)
        text += ":" + std::to_string(finding.line);
    text += ": ";
    if (finding.entry != kNoEntry)
        text += "entry " + EntryName(finding.entry) + ": ";
    return text + finding.message;
}

} // namespace lngcheck
