#pragma once
// The log's commands of the main menu: open, save, clear, the time stamp switch, and the WAV export,
// which renders off the window's thread behind a progress window with a cancel button.

#include "speech/SpeechEngine.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace quorvel::win {

class LogView;

class LogFileActions {
public:
    // menu holds NShowTime1; speech may be null; ownVoice gives the voice the export speaks with.
    LogFileActions(HWND window, HINSTANCE instance, LogView& log, HMENU menu, speech::SpeechEngine* speech,
                   std::function<int()> ownVoice);
    ~LogFileActions();

    void NOpenMessageClick();
    void NClearMessageClick();
    void NSaveMessageClick();
    void NShowTime1Click();
    void ExportMessageToWav1Click();

    bool showTime() const;
    void setShowTime(bool on);
    // The window hands over WM_SPEECH_EVENT; stops a running export at the end of the program.
    void speechEvent(WPARAM kind, LPARAM value);
    void cancelWavExport();
    bool exporting() const { return m_progress != nullptr; }

private:
    struct Finished;
    void closeProgress();
    static LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window;
    HINSTANCE m_instance;
    LogView& m_log;
    HMENU m_menu;
    speech::SpeechEngine* m_speech;
    std::function<int()> m_ownVoice;
    HWND m_progress = nullptr;
    std::shared_ptr<Finished> m_finished;
};

// A log file's bytes; "Cannot open file ..." as LogFileError when it cannot be read.
std::string ReadLogBytes(const std::wstring& path);
// Written beside the old file and renamed over it, so that a failed save leaves the old log whole;
// "Cannot create file ..." as LogFileError.
void WriteLogBytes(const std::wstring& path, const std::string& bytes);

} // namespace quorvel::win
