#include "Catalogue.h"

#include <cctype>

namespace {

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

std::vector<WorkItem> WorkList(const ProductRecord& product)
{
    std::vector<WorkItem> items;
    for (std::size_t i = 0; i < kLanguageCount; ++i) {
        if (!product.receives[i])
            continue;
        const std::string_view code = kLanguages[i].code;
        const std::string lower = Lower(code);
        const std::string target = "Languages\\" + std::string(code);
        items.push_back({"text_" + std::string(product.payloadCode) + "_" + lower, target + ".lng"});
        items.push_back({"icon_" + lower, target + ".bmp"});
    }
    return items;
}
