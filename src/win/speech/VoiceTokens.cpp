#include "speech/VoiceTokens.h"
#include "win/speech/VoiceTokens.h"

#include <initializer_list>
#include <vector>

namespace quorvel::win {

namespace {

const wchar_t* const PhoneMap =
    L"AA 000a AA1 000a0008 AA2 000a0009 AE 000b AE1 000b0008 AE2 000b0009 AH 000c AH1 000c0008 AH2 000c0009 "
    L"AO 000d AO1 000d0008 AO2 000d0009 AW 000e AW1 000e0008 AW2 000e0009 AX 000f AX1 000f0008 AX2 000f0009 "
    L"AY 0010 AY1 00100008 AY2 00100009 B 0011 CH 0012 D 0013 DH 0014 EH 0015 EH1 00150008 EH2 00150009 "
    L"ER 0016 ER1 00160008 ER2 00160009 EY 0017 EY1 00170008 EY2 00170009 F 0018 G 0019 H 001a IH 001b  "
    L"IH1 001b0008 IH2 001b0009 IY 001c IY1 001c0008 IY2 001c0009 JH 001d K 001e L 001f M 0020 N 0021 "
    L"NG 0022 OW 0023 OW1 00230008 OW2 00230009 OY 0024 OY1 00240008 OY2 00240009 P 0025 R 0026 S 0027 "
    L"SH 0028 T 0029 TH 002a UH 002b UH1 002b0008 UH2 002b0009 UW 002c UW1 002c0008 UW2 002c0009 V 002d "
    L"W 002e Y 002f Z 0030 ZH 0031";

const wchar_t* const LexiconFolder = L"\\Program Files\\Common Files\\SpeechEngines\\Microsoft\\Lexicon\\1033\\";

struct Value {
    const wchar_t* name; // nullptr: the key's default value
    std::wstring data;
};
struct Key {
    const wchar_t* path; // below the token's own key; empty: that key
    std::vector<Value> values;
};

struct Speaker {
    const wchar_t* token; // "MSMary"
    const wchar_t* name;  // "Microsoft Mary"
    const wchar_t* file;  // "mary"
    const wchar_t* gender;
};

Speaker SpeakerOf(BundledVoice voice)
{
    return voice == BundledVoice::Mary ? Speaker{L"MSMary", L"Microsoft Mary", L"mary", L"Female"}
                                       : Speaker{L"MSMike", L"Microsoft Mike", L"mike", L"Male"};
}

std::wstring VoiceData(const Speaker& speaker, const VoiceTokenPlace& place)
{
    return place.programFolder + L"TTS\\" + speaker.file + L".spd";
}

// The token's keys and values, in the order they are written.
std::vector<Key> TokenTable(const Speaker& s, const VoiceTokenPlace& place)
{
    const std::wstring lexicon = place.windowsDrive + LexiconFolder;
    return {
        {L"",
         {{nullptr, s.name},
          {L"409", s.name},
          {L"CLSID", L"{65DBDDEF-0725-11D3-B50C-00C04F797396}"},
          {L"VoiceData", VoiceData(s, place)},
          {L"VoiceDef", place.programFolder + L"TTS\\" + s.file + L".sdf"}}},
        {L"Attributes",
         {{nullptr, L""},
          {L"Age", L"Adult"},
          {L"Gender", s.gender},
          {L"Language", L"409;9"},
          {L"Name", s.name},
          {L"Vender", L"Microsoft"},
          {L"VendorPreferred", L""}}},
        {L"Lex",
         {{nullptr, L""},
          {L"CLSID", L"{90903716-2F42-11D3-9C26-00C04F8EF87C}"},
          {L"DataFile", lexicon + L"LTTS1033.LXA"}}},
        {L"LTS",
         {{nullptr, L""}, {L"CLSID", L"{685879BA-3263-11D3-9C26-00C04F8EF87C}"}, {L"DataFile", lexicon + L"r1033tts.LXA"}}},
        {L"LTS\\PhoneConverter",
         {{nullptr, L"Microsoft English LTS Phone Converter"},
          {L"CLSID", L"{9185F743-1143-4C28-86B5-BFF14F20E5C8}"},
          {L"PhoneMap", PhoneMap}}},
    };
}

std::wstring TokenKey(const Speaker& speaker, const VoiceTokenPlace& place)
{
    return place.tokensKey + L"\\" + speaker.token;
}

// Absent (no such token), Ours (its voice data is in our folder) or Foreign.
enum class Owner { Absent, Ours, Foreign };

Owner OwnerOf(const Speaker& speaker, const VoiceTokenPlace& place)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(place.root, TokenKey(speaker, place).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return Owner::Absent;
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS read = RegQueryValueExW(key, L"VoiceData", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    const bool ours = read == ERROR_SUCCESS && type == REG_SZ && lstrcmpiW(data, VoiceData(speaker, place).c_str()) == 0;
    return ours ? Owner::Ours : Owner::Foreign;
}

} // namespace

VoiceTokenPlace SystemVoiceTokenPlace()
{
    VoiceTokenPlace place;
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring program(path, length);
    program.erase(program.find_last_of(L'\\') + 1);
    place.programFolder = program;
    wchar_t windows[MAX_PATH] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    place.windowsDrive = std::wstring(windows, windowsLength).substr(0, 2);
    return place;
}

void RegisterVoiceToken(BundledVoice voice, const VoiceTokenPlace& place)
{
    const Speaker speaker = SpeakerOf(voice);
    if (OwnerOf(speaker, place) == Owner::Foreign)
        return;
    for (const Key& entry : TokenTable(speaker, place)) {
        std::wstring path = TokenKey(speaker, place);
        if (*entry.path)
            path += std::wstring(L"\\") + entry.path;
        HKEY key = nullptr;
        // A key that cannot be opened is skipped, and the next one tried.
        if (RegCreateKeyExW(place.root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        for (const Value& value : entry.values)
            RegSetValueExW(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data.c_str()),
                           static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

void RemoveVoiceToken(BundledVoice voice, const VoiceTokenPlace& place)
{
    const Speaker speaker = SpeakerOf(voice);
    if (OwnerOf(speaker, place) != Owner::Ours)
        return;
    HKEY tokens = nullptr;
    if (RegCreateKeyExW(place.root, place.tokensKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &tokens,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(tokens, speaker.token);
    RegCloseKey(tokens);
}

} // namespace quorvel::win

namespace quorvel::speech {

void RegisterMikeToken()
{
    win::RegisterVoiceToken(win::BundledVoice::Mike, win::SystemVoiceTokenPlace());
}

void RegisterMaryToken()
{
    win::RegisterVoiceToken(win::BundledVoice::Mary, win::SystemVoiceTokenPlace());
}

void RemoveMaryToken()
{
    win::RemoveVoiceToken(win::BundledVoice::Mary, win::SystemVoiceTokenPlace());
}

void RemoveMikeToken()
{
    win::RemoveVoiceToken(win::BundledVoice::Mike, win::SystemVoiceTokenPlace());
}

} // namespace quorvel::speech
