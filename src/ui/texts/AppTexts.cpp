#include "ui/texts/AppTexts.h"

#include <initializer_list>
#include <utility>

namespace quorvel::texts {

namespace {

std::string Lines(std::initializer_list<std::string_view> lines)
{
    std::string out;
    bool first = true;
    for (const std::string_view line : lines) {
        if (!std::exchange(first, false))
            out += '\n';
        out += line;
    }
    return out;
}

} // namespace

std::string Maker::mailto()
{
    return "mailto:" + std::string(email);
}

std::string HelpText()
{
    const std::string rule(46, '-');
    return Lines({"如何使用本软件?", "", "1. 打开并登陆MSN. ", "", "2. 开始与MSN上的好友进行文字聊天. ", "",
                  "3. 即可立即听到发送了接收到的语音消息.", "", rule, "", "如何在朗读时使MSN静音?", "",
                  "1.点击MSN主菜单,", "", "2.点击 工具-选项-通知和声音,", "", "3.点击和取消 新消息 复选框即可实现静音."});
}

std::string AboutText()
{
    const std::string rule(37, '-');
    return Lines({ApplicationTitle, rule, Maker::ownershipLine, "", Maker::email, "", Maker::homepage, rule});
}

std::string StartBalloonText()
{
    return Lines({"请打开并登陆MSN(Windows Live Messenger)软件,", "发送文字消息给MSN上的好友并进行文字聊天,",
                  "即可立即听到发送和接收的消息被软件朗读出来!"});
}

std::string StandardErrorText(std::string_view message)
{
    if (message.ends_with('.'))
        return std::string(message);
    return std::string(message) + '.';
}

} // namespace quorvel::texts
