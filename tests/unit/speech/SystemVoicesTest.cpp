// System voices: which of a module's voices are offered and under which names, what the settings keys
// "Engine" and "SystemVoice" select and write back as the server comes and goes, and how rate and
// volume reach the server.

#include "app/settings/IniDocument.h"
#include "app/settings/SettingsKeys.h"
#include "speech/RateMapping.h"
#include "speech/SystemVoices.h"
#include "speech/VoiceChoice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::speech {
namespace {

TEST(SystemVoices, OfferedNamesAndKeys)
{
    const std::vector<ListedVoice> listed = {
        {"English (America)", "en-US", "none"},
        {"English (America)+Max", "en-US", "Max"},   // a variant of a listed voice
        {"Mandarin+klatt", "cmn", "klatt"},          // a variant whose voice is not listed: kept
        {"C++ Voice", "en", "none"},                 // a "+" that is part of the name
        {"C++ Voice+female2", "en", "female2"},
        {"", "xx", "none"},                          // nameless: cannot be set
        {"Anna", "none", "none"},
    };
    std::vector<std::string> shown;
    for (const auto& v : OfferedVoices("rhvoice", listed))
        shown.push_back(SystemVoiceDisplayName(v) + " | " + SystemVoiceKey(v));
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "rhvoice: English (America) \u2014 en-US | rhvoice/English (America)",
                         "rhvoice: Mandarin+klatt \u2014 cmn | rhvoice/Mandarin+klatt",
                         "rhvoice: C++ Voice \u2014 en | rhvoice/C++ Voice",
                         "rhvoice: Anna | rhvoice/Anna",
                     }));

    struct Row {
        const char* key;
        std::optional<std::pair<std::string, std::string>> parsed;
    };
    const Row rows[] = {
        {"espeak-ng/English (America)", std::pair{"espeak-ng", "English (America)"}},
        {"generic-piper/en/amy low", std::pair{"generic-piper", "en/amy low"}}, // the first "/" parts
        {"espeak-ng", std::nullopt},
        {"/English", std::nullopt},
        {"espeak-ng/", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ParseSystemVoiceKey(r.key), r.parsed) << r.key;
}

TEST(SystemVoices, RateAndVolumeOnTheServersScale)
{
    struct Row {
        const char* name;
        int rate, serverRate; // espeak-ng module: wpm = 170 + 2.79 * s above 0, 170 + 0.9 * s below
    };
    const Row rows[] = {
        {"normal stays the server's normal", 0, 0},
        {"one step faster: 170 * 3^0.1 = 190 wpm", 1, 7},
        {"half way up: 170 * sqrt 3 = 294 wpm", 5, 45},
        {"eight steps: 408 wpm", 8, 86},
        {"nine steps pass the module's 449", 9, 100},
        {"fastest", 10, 100},
        {"one step slower: 152 wpm", -1, -20},
        {"half way down: 98 wpm", -5, -80},
        {"six steps down: 88 wpm", -6, -91},
        {"seven steps pass the module's 80", -7, -100},
        {"out of range", 25, 100},
        {"out of range low", -25, -100},
    };
    for (const auto& r : rows)
        EXPECT_EQ(SystemRate(r.rate), r.serverRate) << r.name;
    // Each step is the same factor as with the built-in voices, wherever the module's range allows.
    for (int rate = -6; rate <= 8; ++rate) {
        const auto wpm = [](int s) { return s >= 0 ? 170 + 2.79 * s : 170 + 0.9 * s; };
        EXPECT_NEAR(wpm(SystemRate(rate)) / 170, MapRate(rate).wordsPerMinute / 175.0, 0.02) << rate;
    }

    const std::pair<int, int> volumes[] = {{0, -100}, {50, 0}, {100, 100}, {1, -98}, {-5, -100}, {150, 100}};
    for (const auto& [volume, server] : volumes)
        EXPECT_EQ(SystemVolume(volume), server) << volume;
}

// Keys of section "set" for one profile, through the real INI reader and writer: what is selected
// in a list of three built-in voices and (while the server answers) two system voices, and what a
// save writes back.
TEST(SystemVoices, SettingsKeysOldFilesNewValuesUnknownModules)
{
    const std::vector<ListedEntry> builtIn = {{true, ""}, {true, ""}, {true, ""}};
    std::vector<ListedEntry> withServer = builtIn;
    withServer.push_back({true, "espeak-ng/English (America)"});
    withServer.push_back({true, "rhvoice/Anna"});
    const std::vector<ListedEntry> none;

    struct Row {
        const char* name;
        const char* ini;
        std::vector<ListedEntry> list;
        int picked; // the user's selection after start, -2 for none
        int shown;
        bool missing;
        std::optional<std::string> engine, systemVoice; // nullopt: no such key in the saved file
    };
    const Row rows[] = {
        {"old file, a built-in voice", "Engine=2\n", withServer, -2, 2, false, "2", std::nullopt},
        {"old file, an index past the built-in voices is no system voice", "Engine=4\n", withServer, -2, 0, false,
         "0", std::nullopt},
        {"old file without a server", "Engine=1\n", builtIn, -2, 1, false, "1", std::nullopt},
        {"no file", "", withServer, -2, 0, false, "0", std::nullopt},
        {"system voice found: its index is written", "Engine=9\nSystemVoice=rhvoice/Anna\n", withServer, -2, 4,
         false, "4", "rhvoice/Anna"},
        {"system voice while no server answers: both kept", "Engine=3\nSystemVoice=espeak-ng/English (America)\n",
         builtIn, -2, 0, true, "3", "espeak-ng/English (America)"},
        {"unknown module: the built-in default speaks, both kept", "Engine=4\nSystemVoice=festival/kal\n",
         withServer, -2, 0, true, "4", "festival/kal"},
        {"unknown voice of a known module", "SystemVoice=espeak-ng/Klingon\n", withServer, -2, 0, true,
         std::nullopt, "espeak-ng/Klingon"},
        {"no voice at all", "Engine=5\nSystemVoice=rhvoice/Anna\n", none, -2, -1, true, "5", "rhvoice/Anna"},
        {"a value without module and voice is none", "Engine=1\nSystemVoice=English\n", withServer, -2, 1, false,
         "1", ""},
        {"user picks a built-in voice: the system voice is emptied", "Engine=3\nSystemVoice=rhvoice/Anna\n",
         withServer, 1, 1, false, "1", ""},
        {"user picks a system voice", "Engine=0\n", withServer, 3, 3, false, "3", "espeak-ng/English (America)"},
    };
    for (const auto& r : rows) {
        settings::IniDocument doc = settings::IniDocument::parse(std::string("[set]\n") + r.ini);
        const settings::StoredSettings stored = settings::ReadSettings(doc);
        VoiceChoice choice = ReadVoiceChoice(stored.engine, stored.systemVoice);
        ShownVoice shown = ResolveVoiceChoice(choice, r.list);
        if (r.picked != -2) {
            choice = ChoiceOfEntry(r.picked, r.list);
            shown = ResolveVoiceChoice(choice, r.list);
        }
        EXPECT_EQ(shown.index, r.shown) << r.name;
        EXPECT_EQ(shown.missing, r.missing) << r.name;

        const SavedVoice saved = SaveVoiceChoice(choice, shown);
        settings::SettingsToSave values;
        values.engine = saved.engine;
        values.systemVoice = saved.systemVoice;
        settings::WriteSettings(doc, values);
        EXPECT_EQ(doc.value("set", "Engine"), r.engine) << r.name;
        EXPECT_EQ(doc.value("set", "SystemVoice"), r.systemVoice) << r.name;
        EXPECT_FALSE(doc.value("set", "SystemVoice1")) << r.name << ": the other profile's key stays away";
    }
}

} // namespace
} // namespace quorvel::speech
