#pragma once
// The registry entries of the two voices that come with the program (its TTS folder): written at
// start-up and removed at exit on Windows 2000/XP, under HKEY_LOCAL_MACHINE. A token of either name
// that another program installed is neither changed nor removed: a token is the program's own when
// its voice data lies in the program's TTS folder. The four calls of speech/VoiceTokens.h use the
// system's place; tests name a place of their own.

#include <windows.h>

#include <string>

namespace quorvel::win {

enum class BundledVoice { Mary, Mike };

struct VoiceTokenPlace {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring tokensKey = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
    std::wstring programFolder; // the executable's folder, with its trailing backslash
    std::wstring windowsDrive;  // "C:"
};
// HKEY_LOCAL_MACHINE, the running executable's folder, the Windows folder's drive.
VoiceTokenPlace SystemVoiceTokenPlace();

void RegisterVoiceToken(BundledVoice voice, const VoiceTokenPlace& place);
void RemoveVoiceToken(BundledVoice voice, const VoiceTokenPlace& place);

} // namespace quorvel::win
