// Checks that a Windows executable embeds the given payload files exactly as the installer looks
// them up; exits 1 on any finding.
#include "PeResources.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

namespace {

constexpr char kUsage[] =
    "usage: embedcheck EXECUTABLE PAYLOAD_FILE...\n"
    "Checks that every payload file (named like ICON_DK.bmp or TEXT_TV_DK.lng) is a resource of the\n"
    "executable of type RCDATA under its upper-case name, in exactly one language version, language\n"
    "1050, with the file's bytes. Exits 0 when all are, 1 on findings, 2 when a file cannot be read\n"
    "or the executable's headers or resource table are broken.\n";

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(path.string() + ": cannot be read");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2 || args[0] == "--help") {
        (args.empty() || args[0] != "--help" ? std::cerr : std::cout) << kUsage;
        return args.empty() || args[0] != "--help" ? 2 : 0;
    }
    try {
        std::vector<PayloadFile> payloads;
        for (auto file = args.begin() + 1; file != args.end(); ++file) {
            std::string name = std::filesystem::path(*file).stem().string();
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            payloads.push_back({name, ReadFile(*file)});
        }
        const std::vector<std::uint8_t> image = ReadFile(args[0]);
        const std::vector<std::string> findings = CheckEmbedded(ReadResources(image), payloads);
        for (const std::string& finding : findings)
            std::cerr << args[0] << ": " << finding << '\n';
        if (findings.empty())
            std::cout << args[0] << ": all " << payloads.size() << " payloads embedded as expected\n";
        return findings.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "embedcheck: " << error.what() << '\n';
        return 2;
    }
}
