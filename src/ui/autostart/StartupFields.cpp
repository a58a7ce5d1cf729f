#include "ui/autostart/StartupFields.h"

#include "app/core/Executable.h"
#include "ui/texts/AppTexts.h"

namespace quorvel::autostart {

namespace {

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

StartupEntryFields StartupEntryFor(std::string_view executablePath)
{
    return {std::string(executablePath), std::string(StartupArguments), app::FolderOf(executablePath),
            std::string(texts::ApplicationTitle)};
}

std::string_view ExtensionOf(std::string_view path)
{
    const std::string_view name = path.substr(app::FolderOf(path).size());
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

bool HasExtension(std::string_view path, std::string_view extension)
{
    const std::string_view own = ExtensionOf(path);
    if (own.size() != extension.size())
        return false;
    for (std::size_t i = 0; i < own.size(); ++i)
        if (AsciiLower(own[i]) != AsciiLower(extension[i]))
            return false;
    return true;
}

std::string WrongExtensionText(std::string_view upperCaseExtension)
{
    // Two PRIME marks on each side.
    return "File Ext Must Be: \u2032\u2032" + std::string(upperCaseExtension) + "\u2032\u2032!";
}

} // namespace quorvel::autostart
