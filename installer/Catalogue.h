// The products the installer serves, the language packs each one receives, and the
// rules that name a pack's embedded payload and its target file.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct LanguageRecord {
    std::string_view code;  // upper case, not ISO 639: DK, KR and SE
    std::string_view englishName;
    std::string_view version;
    std::string_view translator;
    std::string_view date;
    std::string_view listingLine;  // stored whole: the tabs between columns vary
};

inline constexpr std::size_t kLanguageCount = 8;

inline constexpr std::array<LanguageRecord, kLanguageCount> kLanguages{{
    {"AR", "Arabic", "3.28", "Oswindar", "February 12, 2009", "\t[AR]\tArabic\t\t3.28\tOswindar\t\tFebruary 12, 2009"},
    {"DK", "Danish", "3.28", "Marevik", "May 12, 2006", "\t[DK]\tDanish\t\t3.28\tMarevik\t\tMay 12, 2006"},
    {"ES", "Spanish", "3.28", "Quorimel", "September 25, 2006", "\t[ES]\tSpanish\t\t3.28\tQuorimel\tSeptember 25, 2006"},
    {"HR", "Croatian", "3.28", "Vexlo Ltd.", "April 29, 2006", "\t[HR]\tCroatian\t\t3.28\tVexlo Ltd.\t\tApril 29, 2006"},
    {"IT", "Italian", "3.28", "Bravinet", "November 9, 2006", "\t[IT]\tItalian\t\t3.28\tBravinet\t\tNovember 9, 2006"},
    {"KR", "Korean", "3.28", "Sollidar", "May 29, 2006", "\t[KR]\tKorean\t\t3.28\tSollidar\t\tMay 29, 2006"},
    {"PT", "Portuguese", "3.28", "Enquisa", "November 13, 2006", "\t[PT]\tPortuguese\t3.28\tEnquisa\t\tNovember 13, 2006"},
    {"SE", "Swedish", "3.28", "Halvotry", "May 2, 2006", "\t[SE]\tSwedish\t\t3.28\tHalvotry\t\tMay 2, 2006"},
}};

inline constexpr std::string_view kListingHeader = "\tID\tLanguage\t\tVersion\tTranslator\t\tDate";

struct ProductRecord {
    std::string_view logHeading;  // begins with CR LF: an empty line above the name
    std::string_view registryKey;  // below HKEY_LOCAL_MACHINE
    std::string_view registryValue;
    std::string_view windowClass;
    std::string_view windowTitle;
    std::string_view payloadCode;
    std::array<bool, kLanguageCount> receives;  // indexed like kLanguages
};

inline constexpr std::size_t kTrovimo = 0;
inline constexpr std::size_t kLunesca = 1;

inline constexpr std::array<ProductRecord, 2> kProducts{{
    {"\r\nTROVIMO", "Software\\Vexlo\\Trovimo", "Path", "TfrmTrovimo", "Trovimo", "tv",
     {true, true, true, true, true, true, true, true}},
    // Found by its hidden application window. It receives no Arabic pack.
    {"\r\nLUNESCA", "Software\\Vexlo\\Lunesca", "Path", "TApplication", "Lunesca", "ln",
     {false, true, true, true, true, true, true, true}},
}};

// One file to write: the payload's lower-case name and the target below the install folder.
struct WorkItem {
    std::string payloadName;
    std::string targetName;
};

// Per language received, in table order: its language file, then its flag.
std::vector<WorkItem> WorkList(const ProductRecord& product);
