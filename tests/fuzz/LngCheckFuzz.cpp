// Any bytes, checked as a language file or as a reference text: the checker may report
// anything but must neither crash nor read out of bounds, and a file it accepts must
// measure as its profile says. The profile is the payload of the input's size, so that
// the shipped files seed the search, or else one picked by the size.
#include "LngCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<lngcheck::FileProfile> profiles = [] {
        std::vector<lngcheck::FileProfile> all;
        for (const std::string& payload : lngcheck::PayloadNames())
            all.push_back(*lngcheck::ProfileFor(payload));
        return all;
    }();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    auto profile = std::ranges::find(profiles, size, &lngcheck::FileProfile::bytes);
    if (profile == profiles.end()) {
        const std::size_t choice = size % (profiles.size() + 1);
        if (choice == profiles.size()) {
            lngcheck::CheckReferenceFile(bytes, *lngcheck::ProductIds("Lunesca"), "Lunesca");
            return 0;
        }
        profile = profiles.begin() + static_cast<std::ptrdiff_t>(choice);
    }
    const auto findings = lngcheck::CheckLanguageFile(bytes, *profile);
    const lngcheck::Figures figures = lngcheck::MeasureLanguageFile(bytes);
    if (findings.empty() && (figures.bytes != profile->bytes || figures.entries != profile->entries))
        std::abort();
    for (const auto& finding : findings)
        lngcheck::FormatFinding("fuzz.lng", finding);
    return 0;
}
