// The bundled voices' registry entries under HKEY_LOCAL_MACHINE, read back from Wine's registry, and
// SAPI as Wine really has it: the tokens listed by name, every speaking call refused.

#include "win/speech/SapiSpeech.h"
#include "win/speech/SapiVoices.h"
#include "win/speech/VoiceTokens.h"

#include "TempDir.h"
#include "win/common/Wide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace quorvel::win {
namespace {

const std::wstring Tokens = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";

// Every value of a key and its subkeys: "Attributes\Gender" -> "Female"; "" names a default value.
using Tree = std::map<std::wstring, std::wstring>;

void ReadTree(HKEY key, const std::wstring& prefix, Tree& tree)
{
    wchar_t name[256];
    BYTE data[4096];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256, dataLength = sizeof data - 2, type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << Utf8(prefix + name);
        tree[prefix + name] = std::wstring(reinterpret_cast<wchar_t*>(data), dataLength / 2 - (dataLength >= 2));
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            ReadTree(sub, prefix + name + L"\\", tree);
            RegCloseKey(sub);
        }
    }
}

std::optional<Tree> TokenTree(const std::wstring& token)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (Tokens + L"\\" + token).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    Tree tree;
    ReadTree(key, L"", tree);
    RegCloseKey(key);
    return tree;
}

const wchar_t* const PhoneMap =
    L"AA 000a AA1 000a0008 AA2 000a0009 AE 000b AE1 000b0008 AE2 000b0009 AH 000c AH1 000c0008 AH2 000c0009 AO 000d "
    L"AO1 000d0008 AO2 000d0009 AW 000e AW1 000e0008 AW2 000e0009 AX 000f AX1 000f0008 AX2 000f0009 AY 0010 AY1 "
    L"00100008 AY2 00100009 B 0011 CH 0012 D 0013 DH 0014 EH 0015 EH1 00150008 EH2 00150009 ER 0016 ER1 00160008 ER2 "
    L"00160009 EY 0017 EY1 00170008 EY2 00170009 F 0018 G 0019 H 001a IH 001b  IH1 001b0008 IH2 001b0009 IY 001c IY1 "
    L"001c0008 IY2 001c0009 JH 001d K 001e L 001f M 0020 N 0021 NG 0022 OW 0023 OW1 00230008 OW2 00230009 OY 0024 OY1 "
    L"00240008 OY2 00240009 P 0025 R 0026 S 0027 SH 0028 T 0029 TH 002a UH 002b UH1 002b0008 UH2 002b0009 UW 002c UW1 "
    L"002c0008 UW2 002c0009 V 002d W 002e Y 002f Z 0030 ZH 0031";

Tree Expected(const std::wstring& name, const std::wstring& file, const std::wstring& gender)
{
    const std::wstring lexicon = L"D:\\Program Files\\Common Files\\SpeechEngines\\Microsoft\\Lexicon\\1033\\";
    return {{L"", name},
            {L"409", name},
            {L"CLSID", L"{65DBDDEF-0725-11D3-B50C-00C04F797396}"},
            {L"VoiceData", L"C:\\Apps\\Quorvel\\TTS\\" + file + L".spd"},
            {L"VoiceDef", L"C:\\Apps\\Quorvel\\TTS\\" + file + L".sdf"},
            {L"Attributes\\", L""},
            {L"Attributes\\Age", L"Adult"},
            {L"Attributes\\Gender", gender},
            {L"Attributes\\Language", L"409;9"},
            {L"Attributes\\Name", name},
            {L"Attributes\\Vender", L"Microsoft"},
            {L"Attributes\\VendorPreferred", L""},
            {L"Lex\\", L""},
            {L"Lex\\CLSID", L"{90903716-2F42-11D3-9C26-00C04F8EF87C}"},
            {L"Lex\\DataFile", lexicon + L"LTTS1033.LXA"},
            {L"LTS\\", L""},
            {L"LTS\\CLSID", L"{685879BA-3263-11D3-9C26-00C04F8EF87C}"},
            {L"LTS\\DataFile", lexicon + L"r1033tts.LXA"},
            {L"LTS\\PhoneConverter\\", L"Microsoft English LTS Phone Converter"},
            {L"LTS\\PhoneConverter\\CLSID", L"{9185F743-1143-4C28-86B5-BFF14F20E5C8}"},
            {L"LTS\\PhoneConverter\\PhoneMap", PhoneMap}};
}

VoiceTokenPlace Place()
{
    VoiceTokenPlace place;
    place.programFolder = L"C:\\Apps\\Quorvel\\";
    place.windowsDrive = L"D:";
    return place;
}

// One test, in order: the tokens of a run, what SAPI makes of them, and a token another program owns.
TEST(VoiceTokens, WrittenReadBackAndRemoved)
{
    RegisterVoiceToken(BundledVoice::Mike, Place());
    RegisterVoiceToken(BundledVoice::Mary, Place());
    EXPECT_EQ(TokenTree(L"MSMary"), Expected(L"Microsoft Mary", L"mary", L"Female"));
    EXPECT_EQ(TokenTree(L"MSMike"), Expected(L"Microsoft Mike", L"mike", L"Male"));

    // While they are there SAPI lists them by name.
    {
        const ComApartment apartment;
        std::vector<std::string> names;
        for (const SapiVoice& voice : ListSapiVoices())
            names.push_back(voice.name);
        EXPECT_NE(std::find(names.begin(), names.end(), "Microsoft Mary"), names.end());
        EXPECT_NE(std::find(names.begin(), names.end(), "Microsoft Mike"), names.end());
    }

    // Written again over what an earlier run left: the same values.
    RegisterVoiceToken(BundledVoice::Mary, Place());
    EXPECT_EQ(TokenTree(L"MSMary"), Expected(L"Microsoft Mary", L"mary", L"Female"));

    RemoveVoiceToken(BundledVoice::Mary, Place());
    RemoveVoiceToken(BundledVoice::Mike, Place());
    EXPECT_EQ(TokenTree(L"MSMary"), std::nullopt);
    EXPECT_EQ(TokenTree(L"MSMike"), std::nullopt);

    // A Mary that another program installed is neither changed nor removed.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (Tokens + L"\\MSMary").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring theirs = L"C:\\Other\\mary.spd";
    RegSetValueExW(key, L"VoiceData", 0, REG_SZ, reinterpret_cast<const BYTE*>(theirs.c_str()),
                   static_cast<DWORD>((theirs.size() + 1) * 2));
    RegCloseKey(key);
    RegisterVoiceToken(BundledVoice::Mary, Place());
    EXPECT_EQ(TokenTree(L"MSMary"), (Tree{{L"VoiceData", theirs}}));
    RemoveVoiceToken(BundledVoice::Mary, Place());
    EXPECT_EQ(TokenTree(L"MSMary"), (Tree{{L"VoiceData", theirs}}));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (Tokens + L"\\MSMary").c_str());
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// SAPI as it is here: under Wine nothing can be said or recorded, and the program says so once.
TEST(SapiSpeech, RealSapi)
{
    SapiSpeech speech;
    EXPECT_FALSE(speech.voiceNames().empty());
    if (!UnderWine())
        GTEST_SKIP() << "speaking is checked under Wine only";
    EXPECT_EQ(speech.unavailableReason(), "SAPI 5 的语音不能朗读，消息只显示，不朗读。");
    speech.speak(speech::Channel::Own, "你好", 0, 0, 100);
    speech.drain();

    quorvel::test::TempDir dir;
    std::mutex lock;
    std::condition_variable signal;
    std::optional<std::string> error;
    ASSERT_TRUE(speech.startWavExport("hello", 0, dir.path() / "log.wav",
                                      {nullptr, [&](bool ok, bool, const std::string& text) {
                                           const std::lock_guard guard(lock);
                                           error = ok ? "" : text;
                                           signal.notify_all();
                                       }}));
    std::unique_lock hold(lock);
    signal.wait_for(hold, std::chrono::seconds(20), [&] { return error.has_value(); });
    EXPECT_EQ(error, "The speech engine could not speak the text.");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a failed export leaves no file";
}

} // namespace
} // namespace quorvel::win
