// Drives the real speech layer from commands on stdin, one per line, for the sound tests:
//   speak own|friend VOICE RATE VOLUME TEXT    stop own|friend    stopall    ping    voices    want KEY
//   quit
// Answers on stdout: "ready", "ok", "pong", "voice N<tab>KEY<tab>NAME" (KEY "-" for a built-in voice), "first
// own|friend MS" when the first samples of a built-in voice's message reach the sound device
// (milliseconds after speak()), "voices-changed N" when the list changed to N voices, and
// "spoken MONOTONIC_NS" right before each speak() is called (CLOCK_MONOTONIC, for measuring at the sink).

#include "speech/CombinedSpeech.h"
#include "speech/EspeakSpeech.h"
#include "speech/SpeechFactory.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

using quorvel::speech::Channel;

namespace {

void Say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool ParseChannel(const QString& word, Channel& out)
{
    if (word == QLatin1String("own")) {
        out = Channel::Own;
        return true;
    }
    if (word == QLatin1String("friend")) {
        out = Channel::Friend;
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto speech = quorvel::speech::CreateSpeech();
    auto* combined = dynamic_cast<quorvel::speech::CombinedSpeech*>(speech.get());
    if (auto* real = dynamic_cast<quorvel::speech::EspeakSpeech*>(combined ? combined->builtIn() : speech.get()))
        real->onFirstSamples = [](Channel c, qint64 ms) {
            Say(std::string("first ") + (c == Channel::Own ? "own " : "friend ") + std::to_string(ms));
        };
    QObject::connect(speech.get(), &quorvel::speech::Speech::voicesChanged, [&speech] {
        Say("voices-changed " + std::to_string(speech->voiceNames().size()));
    });

    std::string buffer;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
        for (auto nl = buffer.find('\n'); nl != std::string::npos; nl = buffer.find('\n')) {
            const QString line = QString::fromUtf8(buffer.substr(0, nl));
            buffer.erase(0, nl + 1);
            const QStringList w = line.split(' ');
            Channel c{};
            if (w.value(0) == QLatin1String("speak") && w.size() >= 5 && ParseChannel(w[1], c)) {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                Say("spoken " + std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                speech->speak(c, w.mid(5).join(' '), w[2].toInt(), w[3].toInt(), w[4].toInt());
                Say("ok");
            } else if (w.value(0) == QLatin1String("stop") && w.size() == 2 && ParseChannel(w[1], c)) {
                speech->stop(c);
                Say("ok");
            } else if (w.value(0) == QLatin1String("stopall")) {
                speech->stopAll();
                Say("ok");
            } else if (w.value(0) == QLatin1String("ping")) {
                Say("pong");
            } else if (w.value(0) == QLatin1String("voices")) {
                const auto names = speech->voiceNames();
                for (int i = 0; i < names.size(); ++i) {
                    const QString key = speech->voiceKey(i);
                    Say("voice " + std::to_string(i) + "\t" + (key.isEmpty() ? "-" : key.toStdString()) + "\t" +
                        names[i].toStdString());
                }
                Say("ok");
            } else if (w.value(0) == QLatin1String("want") && w.size() >= 2) {
                speech->wantVoice(w.mid(1).join(' '));
                Say("ok");
            } else if (w.value(0) == QLatin1String("quit")) {
                QCoreApplication::quit();
            } else if (!line.isEmpty()) {
                Say("error unknown command");
            }
        }
    });
    Say("ready");
    const int rc = app.exec();
    speech.reset();
    return rc;
}
