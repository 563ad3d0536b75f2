// Any "Path" value, as raw registry data, yields a folder that is a prefix of it and
// ends in a separator, or an empty folder.
#include "Installer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    const std::string folder = InstallFolderFromPath(path);
    if (!folder.empty() && (!path.starts_with(folder) || (folder.back() != '\\' && folder.back() != ':')))
        std::abort();
    if (folder.empty() && path.find_first_of("\\:") != std::string_view::npos)
        std::abort();
    return 0;
}
