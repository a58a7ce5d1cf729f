#include "win/app/LogFileActions.h"

#include "ui/logfile/RichText.h"
#include "ui/texts/AppTexts.h"
#include "win/app/Boxes.h"
#include "win/app/ControlIds.h"
#include "win/app/LogView.h"
#include "win/common/Wide.h"

#include <commctrl.h>

#include <exception>
#include <mutex>
#include <utility>

namespace quorvel::win {

namespace {

enum : WPARAM { ExportProgress = 1, ExportFinished = 2 };

struct FileHandle {
    HANDLE handle;
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

[[noreturn]] void Fail(std::string (*text)(std::string_view, std::string_view), const std::wstring& path,
                       DWORD error)
{
    throw logfile::LogFileError(text(Utf8(path), SystemMessage(error)));
}

} // namespace

std::string ReadLogBytes(const std::wstring& path)
{
    FileHandle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE)
        Fail(logfile::CannotOpenFileText, path, GetLastError());
    std::string bytes;
    char chunk[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.handle, chunk, sizeof chunk, &read, nullptr))
            Fail(logfile::CannotOpenFileText, path, GetLastError());
        if (read == 0)
            return bytes;
        bytes.append(chunk, read);
    }
}

void WriteLogBytes(const std::wstring& path, const std::string& bytes)
{
    const std::wstring temporary = path + L".quorvel-tmp";
    DWORD error = 0;
    {
        FileHandle file{
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.handle == INVALID_HANDLE_VALUE)
            Fail(logfile::CannotCreateFileText, path, GetLastError());
        std::size_t done = 0;
        while (done < bytes.size() && error == 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(file.handle, bytes.data() + done, chunk, &written, nullptr) || written == 0)
                error = GetLastError();
            done += written;
        }
        if (error == 0 && !FlushFileBuffers(file.handle))
            error = GetLastError();
    }
    if (error == 0 && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != 0) {
        DeleteFileW(temporary.c_str());
        Fail(logfile::CannotCreateFileText, path, error);
    }
}

struct LogFileActions::Finished {
    std::mutex mutex;
    bool ok = false;
    bool cancelled = false;
    std::string errorText;
};

LogFileActions::LogFileActions(HWND window, HINSTANCE instance, LogView& log, HMENU menu,
                               speech::SpeechEngine* speech, std::function<int()> ownVoice)
    : m_window(window), m_instance(instance), m_log(log), m_menu(menu), m_speech(speech),
      m_ownVoice(std::move(ownVoice))
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ProgressProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ProgressWindowClass;
    RegisterClassExW(&windowClass);
}

LogFileActions::~LogFileActions()
{
    cancelWavExport();
    closeProgress();
}

void LogFileActions::NOpenMessageClick()
{
    const auto path = AskFileName(m_window, FileDialogKind::OpenLog);
    if (!path)
        return;
    m_log.clear();
    try {
        m_log.setRichText(logfile::DecodeLogFile(ReadLogBytes(*path)));
    } catch (const std::exception& error) {
        StandardErrorBox(m_window, error.what());
    }
}

void LogFileActions::NSaveMessageClick()
{
    const auto path = AskFileName(m_window, FileDialogKind::SaveLog);
    if (!path)
        return;
    // Only the name's extension counts, not the chosen filter.
    const bool plainText = logfile::SavesAsPlainText(Utf8(*path));
    try {
        WriteLogBytes(*path, logfile::EncodeLogFile(m_log.richText(), plainText));
    } catch (const std::exception& error) {
        StandardErrorBox(m_window, error.what());
    }
}

void LogFileActions::NClearMessageClick()
{
    if (AskBox(m_window, "确认", "您确定要清空当前消息内容列表吗？"))
        m_log.clear();
}

bool LogFileActions::showTime() const
{
    return (GetMenuState(m_menu, ids::NShowTime1, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void LogFileActions::setShowTime(bool on)
{
    CheckMenuItem(m_menu, ids::NShowTime1, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void LogFileActions::NShowTime1Click()
{
    // Lines already in the log stay as they are; the next one follows the mark.
    setShowTime(!showTime());
}

void LogFileActions::ExportMessageToWav1Click()
{
    if (m_log.isEmpty()) {
        PlainBox(m_window, "Now cannot export to wav,message is blank!");
        return;
    }
    if (m_progress)
        return;
    const auto path = AskFileName(m_window, FileDialogKind::SaveWav);
    if (!path || !m_speech)
        return;
    const int voice = m_ownVoice();
    if (voice < 0)
        return;
    // Read after the dialog: lines that arrived meanwhile are part of the recording.
    const std::string text = m_log.selectedOrAllText();
    if (text.empty())
        return;
    auto finished = std::make_shared<Finished>();
    HWND window = m_window;
    speech::SpeechEngine::WavExportReport report;
    report.progress = [window](int percent) { PostMessageW(window, WM_SPEECH_EVENT, ExportProgress, percent); };
    report.finished = [window, finished](bool ok, bool cancelled, const std::string& errorText) {
        {
            const std::lock_guard lock(finished->mutex);
            finished->ok = ok;
            finished->cancelled = cancelled;
            finished->errorText = errorText;
        }
        PostMessageW(window, WM_SPEECH_EVENT, ExportFinished, 0);
    };
    if (!m_speech->startWavExport(text, voice, std::filesystem::path(*path), std::move(report)))
        return;
    m_finished = finished;

    // Window-modal: the main window waits, chat goes on being logged and spoken.
    const UINT dpi = GetDpiForWindow(m_window);
    const auto px = [dpi](int value) { return MulDiv(value, static_cast<int>(dpi), 96); };
    RECT owner{};
    GetWindowRect(m_window, &owner);
    RECT frame{0, 0, px(260), px(96)};
    AdjustWindowRectExForDpi(&frame, WS_POPUP | WS_CAPTION, FALSE, WS_EX_DLGMODALFRAME, dpi);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    m_progress = CreateWindowExW(WS_EX_DLGMODALFRAME, ProgressWindowClass, Wide(texts::ApplicationTitle).c_str(),
                                 WS_POPUP | WS_CAPTION, (owner.left + owner.right - width) / 2,
                                 (owner.top + owner.bottom - height) / 2, width, height, m_window, nullptr, m_instance,
                                 this);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_window, WM_GETFONT, 0, 0));
    const auto child = [&](const wchar_t* className, const wchar_t* caption, DWORD style, int id, RECT r) {
        HWND control = CreateWindowExW(0, className, caption, WS_CHILD | WS_VISIBLE | style, px(r.left), px(r.top),
                                       px(r.right), px(r.bottom), m_progress,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), m_instance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    child(L"STATIC", L"正在导出WAV文件...", SS_LEFT, ids::WavProgressText, {10, 8, 240, 16});
    HWND bar = child(PROGRESS_CLASSW, L"", 0, ids::WavProgressBar, {10, 30, 240, 18});
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    child(L"BUTTON", L"取消", WS_TABSTOP | BS_DEFPUSHBUTTON, ids::WavProgressCancel, {95, 58, 70, 26});
    EnableWindow(m_window, FALSE);
    ShowWindow(m_progress, SW_SHOW);
}

LRESULT CALLBACK LogFileActions::ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<LogFileActions*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == ids::WavProgressCancel))) {
        // The dialog closes when the export reports its end.
        self->cancelWavExport();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void LogFileActions::speechEvent(WPARAM kind, LPARAM value)
{
    if (kind == ExportProgress && m_progress) {
        SendDlgItemMessageW(m_progress, ids::WavProgressBar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
        return;
    }
    if (kind != ExportFinished || !m_finished)
        return;
    bool ok = false, cancelled = false;
    std::string errorText;
    {
        const std::lock_guard lock(m_finished->mutex);
        ok = m_finished->ok;
        cancelled = m_finished->cancelled;
        errorText = m_finished->errorText;
    }
    m_finished.reset();
    closeProgress();
    if (!ok && !cancelled)
        StandardErrorBox(m_window, errorText);
}

void LogFileActions::cancelWavExport()
{
    if (m_finished && m_speech)
        m_speech->cancelWavExport();
}

void LogFileActions::closeProgress()
{
    if (!m_progress)
        return;
    EnableWindow(m_window, TRUE);
    DestroyWindow(std::exchange(m_progress, nullptr));
    SetForegroundWindow(m_window);
}

} // namespace quorvel::win
