// lngcheck: tells a translator what to change so that a language file (.lng) or an English
// reference text matches what the products read; --stats shows how far the figures are off.
#include "LngCheck.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFindings = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kHelp = R"(Usage:
  lngcheck [--payload NAME] FILE          check a language file
  lngcheck --stats [--payload NAME] FILE  show its figures next to the targets
  lngcheck --reference [--product NAME] FILE
                                          check an English reference text
  lngcheck --help                         show this text

A language file is named after its payload, for example TEXT_TV_DK.lng (Trovimo,
Danish) or TEXT_LN_IT.lng (Lunesca, Italian). For a file named otherwise, give the
payload with --payload TEXT_TV_DK. Payloads:
  %PAYLOADS%

Every problem is printed as FILE:LINE: entry ID: what to change. Line numbers count
CR LF line ends from 1, so a CR CR LF or a lone CR does not start a new line. The
exit code is 0 when the file is fine, 1 when something must change, 2 when the file
cannot be read or the arguments are wrong.

What the file must be:
  - UTF-16 LE without byte order mark (it begins with the bytes 30 00), no NUL, no
    U+FEFF, no character beyond U+FFFF. Lines end in CR LF, the last one too.
  - Only entries, in ascending order, exactly the ids of the product's English text:
      085.:the text:.085
    A text may span up to five lines; the line breaks belong to the text. Trovimo's
    Arabic file keeps its CR CR LF breaks and the lone CR of entry 125 as they are.
  - No text is empty or begins with a space; only the entries of the shipped file
    end in a space. No text holds ".:" or ":.", no line inside a text begins like
    "123.:" or ends like ":.123", and no line of a text is longer than 118 characters.
  - Characters: ASCII letters and digits, space and . , : ? ! ' " ( ) [ ] - / %, the
    letters of the language (Latin-1 for DK ES IT PT SE, U+0100 to U+017F for HR,
    the Arabic block for AR, Hangul syllables for KR) and these signs:
      U+2026 ellipsis in ES IT KR; U+00BF inverted question mark in ES;
      U+00B0 degree sign in Trovimo's DK HR IT KR SE; U+2022 bullet in Trovimo's
      AR DK HR SE; one further sign of U+00A0 to U+00BF exactly once, in entry 203.
    Never "&", tab, "|", backslash, braces or angle brackets.
  - "%" only directly after a number and only in Trovimo's entries 039, 048, 049
    (and 047 in Danish), each of which holds one. Trovimo's 196 and 200 begin with
    "[". Three full stops "..." end Trovimo's 085 in AR DK HR PT SE, end Lunesca's
    004, 046 and 058 and begin its 059 in DK HR PT SE.
  - Entry 000 is the language's name exactly as shipped; entry 204 is the longest
    text; entries 125, 158 and 162 hold an empty line.
  - The file's size, lines, entries, multi-line entries and line breaks are those
    of the shipped payload. Use --stats to see them side by side with the targets
    and converge by choosing longer or shorter words.
)";

struct Options {
    bool stats = false;
    bool reference = false;
    std::string payload;
    std::string product;
    std::string file;
};

std::optional<Options> ParseArguments(const std::vector<std::string>& args)
{
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--reference") {
            options.reference = true;
        } else if ((arg == "--payload" || arg == "--product") && i + 1 < args.size()) {
            (arg == "--payload" ? options.payload : options.product) = args[++i];
        } else if (arg.starts_with("--") || !options.file.empty()) {
            return std::nullopt;
        } else {
            options.file = arg;
        }
    }
    if (options.file.empty() || (options.stats && options.reference))
        return std::nullopt;
    return options;
}

std::optional<std::string> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Ids(const std::vector<int>& ids)
{
    std::string text;
    for (int id : ids) {
        if (!text.empty())
            text += ' ';
        text += lngcheck::EntryName(id);
    }
    return text.empty() ? "none" : text;
}

void Row(std::ostream& out, const std::string& label, const std::string& found, const std::string& target,
         const std::string& note = "")
{
    std::string line = "  " + label;
    line.resize(34, ' ');
    line += found;
    line.resize(std::max<std::size_t>(line.size() + 2, 52), ' ');
    line += target;
    if (!note.empty()) {
        line.resize(std::max<std::size_t>(line.size() + 2, 66), ' ');
        line += note;
    }
    out << line << '\n';
}

std::string Gap(long long found, long long target, const std::string& unit)
{
    if (found == target)
        return "ok";
    return (found > target ? "+" : "") + std::to_string(found - target) + " " + unit;
}

void PrintStats(std::ostream& out, const std::string& fileName, const lngcheck::FileProfile& profile,
                const lngcheck::Figures& figures)
{
    using lngcheck::EntryName;
    using std::to_string;
    out << fileName << " (" << profile.payload << ": " << profile.product << ", " << profile.language << ")\n";
    Row(out, "", "found", "target");
    const long long bytes = static_cast<long long>(figures.bytes);
    const long long targetBytes = static_cast<long long>(profile.bytes);
    Row(out, "bytes", to_string(bytes), to_string(targetBytes), Gap(bytes, targetBytes, "bytes"));
    Row(out, "characters", to_string(bytes / 2), to_string(targetBytes / 2),
        Gap(bytes / 2, targetBytes / 2, "characters"));
    Row(out, "lines (CR LF)", to_string(figures.lines), to_string(profile.lines),
        Gap(figures.lines, profile.lines, "lines"));
    Row(out, "entries", to_string(figures.entries), to_string(profile.entries),
        Gap(figures.entries, profile.entries, "entries"));
    const int multiLine = static_cast<int>(figures.multiLine.size());
    Row(out, "multi-line entries", to_string(multiLine), to_string(profile.multiLineEntries),
        Gap(multiLine, profile.multiLineEntries, "entries"));
    out << "    found:     " << Ids(figures.multiLine) << '\n';
    out << "    required:  " << Ids(profile.multiLine) << " (the others are the translator's choice)\n";
    Row(out, "line breaks inside texts", to_string(figures.breaks), to_string(profile.breaks),
        Gap(figures.breaks, profile.breaks, "breaks"));
    const lngcheck::BreakMix& mix = profile.breakMix;
    if (mix.crCrLf > 0 || mix.loneCr > 0) {
        Row(out, "  as CR CR LF", to_string(figures.crCrLf), to_string(mix.crCrLf));
        Row(out, "  as lone CR", to_string(figures.loneCr), to_string(mix.loneCr));
        Row(out, "  as CR LF", to_string(figures.crLf), to_string(profile.breaks - mix.crCrLf - mix.loneCr));
    }
    const bool spacesMatch = figures.trailingSpace == profile.trailingSpaceEntries;
    out << "  entries ending in a space\n";
    out << "    found:     " << Ids(figures.trailingSpace) << '\n';
    out << "    target:    " << Ids(profile.trailingSpaceEntries) << (spacesMatch ? "  ok" : "  differ") << '\n';
    const std::string longest = figures.longestLength < 0 ? "missing" : to_string(figures.longestLength);
    Row(out, "entry " + EntryName(lngcheck::kLongestEntry) + " length", longest, to_string(profile.longestLength),
        figures.longestLength < 0 ? "" : Gap(figures.longestLength, profile.longestLength, "characters"));
    if (figures.longestOtherEntry != lngcheck::kNoEntry)
        Row(out, "longest other text",
            "entry " + EntryName(figures.longestOtherEntry) + ": " + to_string(figures.longestOtherLength),
            "below " + to_string(profile.longestLength),
            figures.longestOtherLength < figures.longestLength ? "ok" : "too long");
    if (figures.longestLineEntry != lngcheck::kNoEntry) {
        const std::string target =
            "at most " + to_string(lngcheck::kMaxLineLength) +
            (profile.fullLineEntry == lngcheck::kNoEntry ? ""
                                                         : ", exactly in entry " + EntryName(profile.fullLineEntry));
        Row(out, "longest line of a text",
            "entry " + EntryName(figures.longestLineEntry) + ": " + to_string(figures.longestLineLength), target,
            figures.longestLineLength <= lngcheck::kMaxLineLength ? "" : "too long");
    }
}

std::string PayloadList()
{
    const std::vector<std::string> names = lngcheck::PayloadNames();
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i % 5 == 0 ? "\n  " : " ") + names[i];
    return list;
}

int Usage(const std::string& problem)
{
    std::cerr << "lngcheck: " << problem << "\nRun lngcheck --help for usage.\n";
    return kExitUsage;
}

int Report(const std::string& fileName, const std::vector<lngcheck::Finding>& findings, const std::string& summary)
{
    for (const lngcheck::Finding& finding : findings)
        std::cout << lngcheck::FormatFinding(fileName, finding) << '\n';
    if (!findings.empty()) {
        std::cout << fileName << ": " << findings.size() << (findings.size() == 1 ? " problem" : " problems")
                  << " to fix\n";
        return kExitFindings;
    }
    std::cout << fileName << ": OK (" << summary << ")\n";
    return kExitOk;
}

int CheckReference(const Options& options, const std::string& bytes)
{
    std::string product = options.product;
    if (product.empty()) {
        const std::string name = BaseName(options.file);
        product = name.substr(0, name.find('.'));
    }
    for (std::size_t i = 0; i < product.size(); ++i)
        product[i] = static_cast<char>(i == 0 ? std::toupper(static_cast<unsigned char>(product[i]))
                                              : std::tolower(static_cast<unsigned char>(product[i])));
    const std::optional<std::vector<int>> ids = lngcheck::ProductIds(product);
    if (!ids)
        return Usage("cannot tell the product of " + options.file + "; give --product Trovimo or --product Lunesca");
    const std::string fileName = BaseName(options.file);
    return Report(fileName, lngcheck::CheckReferenceFile(bytes, *ids, product),
                  "reference text, " + std::to_string(ids->size()) + " entries");
}

int Run(const std::vector<std::string>& args)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::string help(kHelp);
        help.replace(help.find("%PAYLOADS%"), 10, PayloadList());
        std::cout << help;
        return kExitOk;
    }
    const std::optional<Options> options = ParseArguments(args);
    if (!options)
        return Usage(args.empty() ? "no file given" : "unexpected arguments");
    const std::optional<std::string> bytes = ReadFile(options->file);
    if (!bytes)
        return Usage("cannot read " + options->file);
    if (options->reference)
        return CheckReference(*options, *bytes);

    const std::optional<std::string> payload =
        options->payload.empty() ? lngcheck::PayloadFromFileName(options->file) : options->payload;
    const std::optional<lngcheck::FileProfile> profile =
        payload ? lngcheck::ProfileFor(*payload) : std::optional<lngcheck::FileProfile>{};
    if (!profile)
        return Usage("cannot tell which payload " + options->file +
                     " is; name it like TEXT_TV_DK.lng or give --payload TEXT_TV_DK");
    const std::string fileName = BaseName(options->file);
    if (options->stats) {
        PrintStats(std::cout, fileName, *profile, lngcheck::MeasureLanguageFile(*bytes));
        return kExitOk;
    }
    return Report(fileName, lngcheck::CheckLanguageFile(*bytes, *profile),
                  profile->payload + ", " + std::to_string(profile->entries) + " entries, " +
                      std::to_string(bytes->size()) + " bytes");
}

} // namespace

int main(int argc, char** argv)
{
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
