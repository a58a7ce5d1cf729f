#include "app/core/Executable.h"

namespace quorvel::app {

namespace {

#ifdef _WIN32
constexpr std::string_view Separators = "\\/";
#else
constexpr std::string_view Separators = "/";
#endif

} // namespace

std::string FolderOf(std::string_view path)
{
    const auto separator = path.find_last_of(Separators);
    return separator == std::string_view::npos ? std::string() : std::string(path.substr(0, separator + 1));
}

std::string ExecutableBaseName(std::string_view executablePath)
{
    std::string_view name = executablePath.substr(FolderOf(executablePath).size());
    const auto dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name);
}

} // namespace quorvel::app
