#pragma once
// Run at logon as either edition keeps it, one table for both: the Linux edition's desktop entries and
// the Windows edition's shell links, each read back by a reader of its own.

#include "ui/autostart/StartupFields.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

namespace quorvel::autostart::test {

using MakeEntry = std::function<std::unique_ptr<RunAtStartup>(const std::filesystem::path& folder,
                                                              const std::string& baseName,
                                                              const std::string& executable)>;
using ReadBack = std::function<std::optional<StartupEntryFields>(const std::filesystem::path& entry)>;

// extension: ".desktop" or ".lnk"; executable: a program path of that system.
inline void CheckRunAtStartup(const MakeEntry& make, const ReadBack& readBack, const std::filesystem::path& folder,
                              const std::string& extension, const std::string& executable)
{
    namespace fs = std::filesystem;
    const auto files = [&] { return std::distance(fs::directory_iterator(folder), fs::directory_iterator{}); };
    const auto entry = make(folder, "quorvel", executable);
    const auto renamed = make(folder, "quorvel2", executable);

    EXPECT_EQ(entry->entryPath(), folder / ("quorvel" + extension));
    EXPECT_FALSE(entry->isEnabled());

    // Ticking writes exactly one entry with the four fields; ticking again replaces it.
    for (int round = 0; round < 2; ++round) {
        entry->enable();
        EXPECT_TRUE(entry->isEnabled()) << round;
        EXPECT_EQ(files(), 1) << round;
        EXPECT_EQ(readBack(entry->entryPath()), StartupEntryFor(executable)) << round;
    }
    // A renamed executable looks for an entry of its own name.
    EXPECT_FALSE(renamed->isEnabled());

    entry->disable();
    EXPECT_FALSE(entry->isEnabled());
    EXPECT_EQ(files(), 0);
    EXPECT_NO_THROW(entry->disable());

    // A file put there by hand counts: its existence is the state.
    std::ofstream(entry->entryPath()) << "x";
    EXPECT_TRUE(entry->isEnabled());
    entry->disable();
    EXPECT_EQ(files(), 0);
}

} // namespace quorvel::autostart::test
