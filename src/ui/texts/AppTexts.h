#pragma once
// The program's name, the maker's lines and addresses, the help and About texts, the balloons and the
// wording of the standard error box: UTF-8, the same in either edition's window. Pure C++.

#include <string>
#include <string_view>

namespace quorvel::texts {

inline constexpr std::string_view ApplicationTitle = "Quorvel";

// The maker's details live here and nowhere else.
struct Maker {
    static constexpr std::string_view ownershipLine = "Copyright (C) 2026 The Quorvel developers";
    static constexpr std::string_view email = "quorvel@example.org";
    static constexpr std::string_view homepage = "https://quorvel.example.org/";
    static constexpr std::string_view enginesPage = "https://quorvel.example.org/voices/"; // more voices
    static std::string mailto();
};

std::string HelpText();  // seventeen lines, joined by '\n'
std::string AboutText(); // eight lines

// Start balloon and the one shown when the window goes into the tray.
inline constexpr std::string_view StartBalloonTitle = "Quorvel(使用帮助):";
std::string StartBalloonText();
inline constexpr std::string_view HiddenBalloonText = "程序已最小化, 双击即可恢复.";

// An error not handled where it arose, as the standard error box words it: a full stop added when the
// message does not end in one.
std::string StandardErrorText(std::string_view message);

} // namespace quorvel::texts
