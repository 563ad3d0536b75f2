// Checks translated language files (.lng) and the English reference texts against the
// format that the products read and the figures that each shipped payload has.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lngcheck {

inline constexpr int kNoEntry = -1;
inline constexpr int kNameEntry = 0;      // the language's name
inline constexpr int kSignEntry = 203;    // holds the one further Latin-1 sign of a file
inline constexpr int kLongestEntry = 204; // the longest text of every file
inline constexpr int kMaxBreaks = 4;
inline constexpr int kMaxLineLength = 118;

struct Finding {
    int entry = kNoEntry; // kNoEntry when the finding concerns the file as a whole
    int line = 0;         // counted in CR LF line ends from 1; 0 for the file as a whole
    std::string message;
};

struct CodeRange {
    char16_t first;
    char16_t last;
};

// Trovimo's Arabic file writes most of its inner line breaks as CR CR LF and one as a lone CR.
struct BreakMix {
    int crCrLf = 0;
    int loneCr = 0;
    int loneCrEntry = kNoEntry;    // the lone CR stands here, directly after a CR CR LF
    int crCrLfEndEntry = kNoEntry; // this text ends in CR CR LF
};

// Everything a language file must match; the shipped files have one each (ProfileFor), tests build their own.
struct FileProfile {
    std::string payload;  // "TEXT_TV_DK"
    std::string product;  // "Trovimo"
    std::string language; // "Danish"
    std::vector<int> ids;
    std::size_t bytes = 0;
    int lines = 0;
    int entries = 0;
    int multiLineEntries = 0;
    int breaks = 0;
    std::vector<int> trailingSpaceEntries;
    int longestLength = 0;           // of entry 204, line-break characters included
    std::u16string name;             // text of entry 000
    std::vector<CodeRange> letters;  // allowed beyond ASCII letters
    std::vector<char16_t> signs;     // punctuation allowed beyond ASCII
    std::vector<int> multiLine;      // must span several lines
    std::vector<int> emptyLine;      // must hold an empty line
    std::vector<int> percentEntries; // the only entries with "%", each holds one
    std::vector<int> bracketEntries; // begin with "["
    std::vector<int> ellipsisEnd;    // end with "..."
    std::vector<int> ellipsisStart;  // begin with "..."
    BreakMix breakMix;
    int fullLineEntry = kNoEntry; // holds a line of exactly kMaxLineLength characters
};

// What a file holds, measured the way the profile counts it.
struct Figures {
    std::size_t bytes = 0;
    int lines = 0;
    int entries = 0;
    std::vector<int> multiLine;
    int breaks = 0;
    int crLf = 0;
    int crCrLf = 0;
    int loneCr = 0;
    std::vector<int> trailingSpace;
    int longestLength = -1; // of entry 204; -1 when there is none
    int longestOtherEntry = kNoEntry;
    int longestOtherLength = 0;
    int longestLineEntry = kNoEntry;
    int longestLineLength = 0;
};

std::vector<std::string> PayloadNames();
std::optional<FileProfile> ProfileFor(std::string_view payload);
// "dir/text_tv_dk.lng" -> "TEXT_TV_DK"; nothing when the name is not one of the payloads.
std::optional<std::string> PayloadFromFileName(std::string_view path);
// "Trovimo" or "Lunesca", in any letter case.
std::optional<std::vector<int>> ProductIds(std::string_view product);

std::vector<Finding> CheckLanguageFile(std::string_view bytes, const FileProfile& profile);
Figures MeasureLanguageFile(std::string_view bytes);
// The English texts: UTF-8 with LF line ends; only the structure and the ids are checked.
std::vector<Finding> CheckReferenceFile(std::string_view bytes, const std::vector<int>& ids, std::string_view product);

std::string FormatFinding(std::string_view fileName, const Finding& finding);
std::string EntryName(int id); // 85 -> "085"
std::string Utf8(std::u16string_view text);

} // namespace lngcheck
