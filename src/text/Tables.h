#pragma once
// The fixed replacement tables of the text rules, applied in the order they are listed.
// All entries are UTF-8; byte-wise search of them in UTF-8 text only ever matches whole characters.

#include <array>
#include <string_view>

namespace quorvel::text {

struct EmoticonWord {
    std::string_view code;
    std::string_view word;
};

// Each step replaces every occurrence of its text in a nickname by one space.
inline constexpr std::array<std::string_view, 35> NicknameCodeSteps{
    "%20", "-",   ":)",  ";)",   ":P",  "(H)", ":@",  ":S",  ":$",  ":(",  ":'(",  ":|",
    "(A)", "||",  "+o(", "<:o)", "^o)", "(L)", "(U)", "(M)", "(@)", "(&)", "(sn)", "(bah)",
    "(S)", "(*)", "(#)", "(R)",  "({)", "(})", "(K)", "(F)", "(W)", "(O)", "(6)",
};

// A nickname is cut before the earliest of these characters.
inline constexpr std::array<std::string_view, 15> NicknameCutCharacters{
    "(", "（", "[", ":", "：", "<", "《", ";", ",", "，", "!", "！", ".", "。", "|",
};

// Every word begins with '[' and ends with ']', and no code holds a bracket: a word put in never
// takes part in a later code.
inline constexpr std::array<EmoticonWord, 42> EmoticonWordTable{
    EmoticonWord{":D", "[大笑]"},        EmoticonWord{":)", "[微笑]"},       EmoticonWord{";)", "[眨眼]"},
    EmoticonWord{":-O", "[惊讶]"},       EmoticonWord{":P", "[吐舌笑脸]"},   EmoticonWord{"(H)", "[热烈的笑脸]"},
    EmoticonWord{":@", "[生气]"},        EmoticonWord{":S", "[困惑]"},       EmoticonWord{":$", "[尴尬]"},
    EmoticonWord{":(", "[悲伤]"},        EmoticonWord{":'(", "[哭泣的脸]"},  EmoticonWord{":|", "[失望]"},
    EmoticonWord{"(A)", "[天使]"},       EmoticonWord{"8o|", "[咬牙切齿]"},  EmoticonWord{"8-|", "[书呆子]"},
    EmoticonWord{"+o(", "[生病]"},       EmoticonWord{"<:o)", "[聚会笑脸]"}, EmoticonWord{"|-)", "[困了]"},
    EmoticonWord{"*-)", "[正在思考]"},   EmoticonWord{":-#", "[保守秘密]"},  EmoticonWord{":-*", "[悄悄话]"},
    EmoticonWord{"^o)", "[讽刺]"},       EmoticonWord{"8-)", "[转动眼睛]"},  EmoticonWord{"(L)", "[红心]"},
    EmoticonWord{"(U)", "[破碎的心]"},   EmoticonWord{"(M)", "[消息]"},      EmoticonWord{"(@)", "[猫脸]"},
    EmoticonWord{"(&)", "[狗脸]"},       EmoticonWord{"(sn)", "[蜗牛]"},     EmoticonWord{"(bah)", "[黑羊]"},
    EmoticonWord{"(S)", "[沉睡的弯月]"}, EmoticonWord{"(*)", "[星星]"},      EmoticonWord{"(#)", "[太阳]"},
    EmoticonWord{"(R)", "[彩虹]"},       EmoticonWord{"({)", "[左侧拥抱]"},  EmoticonWord{"(})", "[右侧拥抱]"},
    EmoticonWord{"(K)", "[红唇]"},       EmoticonWord{"(F)", "[红玫瑰]"},    EmoticonWord{"(W)", "[凋谢的玫瑰]"},
    EmoticonWord{"(O)", "[时钟]"},       EmoticonWord{"(6)", "[魔王到]"},    EmoticonWord{":-B", "[呆瓜]"},
};

// Two sweeps: the first deletes the codes of the first 40 words; the second catches codes that
// deletions joined together, plus "(6)" and ":-B".
inline constexpr std::array<std::string_view, 64> EmoticonRemovalSteps{
    // first sweep
    ":D",
    ":)",
    ";)",
    ":-O",
    ":P",
    "(H)",
    ":@",
    ":S",
    ":$",
    ":(",
    ":'(",
    ":|",
    "(A)",
    "8o|",
    "8-|",
    "+o(",
    "<:o)",
    "|-)",
    "*-)",
    ":-#",
    ":-*",
    "^o)",
    "8-)",
    "(L)",
    "(U)",
    "(M)",
    "(@)",
    "(&)",
    "(sn)",
    "(bah)",
    "(S)",
    "(*)",
    "(#)",
    "(R)",
    "({)",
    "(})",
    "(K)",
    "(F)",
    "(W)",
    "(O)",
    // second sweep
    ":S",
    ":)",
    ":-O",
    ";)",
    ":(",
    "(A)",
    "+o(",
    "|-)",
    "(L)",
    "(6)",
    ":@",
    ":'(",
    ":-B",
    ":-#",
    ":$",
    "*-)",
    ":P",
    "(H)",
    ":|",
    "(K)",
    "^o)",
    "8-)",
    "(U)",
    "<:o)",
};

} // namespace quorvel::text
