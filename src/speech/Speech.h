#pragma once
// The speech layer as the rest of the program sees it: the voices in the engine's order, two
// independent channels that each cut off their previous text, stop, and the WAV export.
// Implementations never throw and never show a box.

#include "speech/SpeechEngine.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace quorvel::speech {

class Speech : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Speech() override = default;

    // Display names of the installed voices, in the engine's order (the first is the default).
    virtual QStringList voiceNames() const = 0;

    // A name for voice voiceIndex that stays the same between runs, for the voices that can come and
    // go while the program runs (those of a speech server); empty for the voices that are always
    // there, which stand first in the list and are known by their index.
    virtual QString voiceKey(int voiceIndex) const
    {
        Q_UNUSED(voiceIndex);
        return {};
    }
    // A profile is set to the voice with this key: look for it (and start its server if need be)
    // even while it is not in the list.
    virtual void wantVoice(const QString& key) { Q_UNUSED(key); }

    // Why nothing at all can be spoken (the engine did not start), for the user; empty when it can.
    virtual QString unavailableReason() const { return {}; }

    // Cuts off whatever the channel is saying and starts speaking text; returns at once.
    // voiceIndex < 0 or out of range: nothing is spoken (the channel is still cut off).
    // rate -10..10 (0 normal), volume 0..100.
    virtual void speak(Channel channel, const QString& text, int voiceIndex, int rate, int volume) = 0;
    virtual void stop(Channel channel) = 0;
    virtual void stopAll() = 0;

    // Renders text with voice voiceIndex at the fresh voice's rate and volume into a 16 kHz 16-bit
    // mono WAV file, off the GUI thread. Cuts off the own channel first. Returns false when it could
    // not start (no such voice, an export already running); then no file is touched.
    virtual bool startWavExport(const QString& text, int voiceIndex, const QString& path) = 0;
    // Stops a running export; its partial file is deleted and wavExportFinished(false, true, {}) follows.
    virtual void cancelWavExport() = 0;

signals:
    // The voices were looked up again: a server's voices came or went, or no server answered. The
    // voices that are always there keep their places at the front.
    void voicesChanged();
    void wavExportProgress(int percent); // 0..100
    // ok: the file is complete. On failure errorText is the reason the user is shown.
    void wavExportFinished(bool ok, bool cancelled, const QString& errorText);
};

} // namespace quorvel::speech
