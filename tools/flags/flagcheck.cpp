// Checks flag picture files against the format and the figures of their payload; exits 1 on any finding.
#include "FlagFormat.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: flagcheck [--payload ICON_XX] FILE...\n"
    "Checks each 16 x 16 flag picture: the 54 header bytes, the size of 824 bytes, the two zero bytes\n"
    "at the end, the corner pixels and the number of distinct colours of its payload, white letters\n"
    "only inside rows 3-12 and columns 1-13, and a border of more than one colour.\n"
    "The payload is taken from the file name (ICON_DK.bmp), or from --payload for every FILE.\n"
    "Prints one line per finding; exits 0 when all files are right, 1 on findings, 2 on usage errors.\n";

std::optional<std::vector<std::uint8_t>> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--help") {
        std::cout << kUsage;
        return 0;
    }
    std::string payload;
    if (args.size() >= 2 && args[0] == "--payload") {
        payload = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    int status = 0;
    for (const std::string& name : args) {
        const std::filesystem::path path = name;
        const std::string wanted = payload.empty() ? path.stem().string() : payload;
        const FlagRecord* flag = FindFlag(wanted);
        if (flag == nullptr) {
            std::cerr << name << ": no flag payload is named \"" << wanted << "\"; the names are";
            for (const FlagRecord& known : kFlags)
                std::cerr << ' ' << known.payload;
            std::cerr << '\n';
            return 2;
        }
        const auto file = ReadFile(path);
        if (!file) {
            std::cerr << name << ": cannot be read\n";
            status = 1;
            continue;
        }
        for (const std::string& finding : CheckFlag(*flag, *file)) {
            std::cerr << name << ": " << finding << '\n';
            status = 1;
        }
    }
    return status;
}
