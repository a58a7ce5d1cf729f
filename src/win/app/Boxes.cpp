#include "win/app/Boxes.h"

#include "ui/texts/AppTexts.h"
#include "win/common/Wide.h"
#include "win/app/WindowText.h"

#include <commdlg.h>

#include <cstdio>
#include <vector>

namespace quorvel::win {

namespace {

bool g_ending = false;

void ToStandardError(std::string_view caption, std::string_view text)
{
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

int Box(HWND owner, std::string_view caption, std::string_view text, UINT flags, int answerWhenEnding)
{
    if (g_ending)
        return answerWhenEnding;
    return MessageBoxW(owner, WithCrLf(text).c_str(), Wide(caption).c_str(), flags);
}

// Filters as the common dialog takes them: name and pattern, each ended by a NUL, and one more NUL.
std::wstring Filters(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> filters)
{
    std::wstring out;
    for (const auto& [name, pattern] : filters) {
        out += name;
        out += L'\0';
        out += pattern;
        out += L'\0';
    }
    return out + L'\0';
}

} // namespace

void PlainBox(HWND owner, std::string_view text)
{
    ToStandardError(texts::ApplicationTitle, text);
    Box(owner, texts::ApplicationTitle, text, MB_OK, IDOK);
}

void StandardErrorBox(HWND owner, std::string_view message)
{
    const std::string text = texts::StandardErrorText(message);
    ToStandardError(texts::ApplicationTitle, text);
    Box(owner, texts::ApplicationTitle, text, MB_OK | MB_ICONERROR, IDOK);
}

bool AskBox(HWND owner, std::string_view caption, std::string_view text)
{
    return Box(owner, caption, text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1, IDYES) == IDYES;
}

void InformationBox(std::string_view caption, std::string_view text)
{
    Box(nullptr, caption, text, MB_OK, IDOK);
}

void SetEnding(bool ending)
{
    g_ending = ending;
}

std::optional<std::wstring> AskFileName(HWND owner, FileDialogKind kind)
{
    std::wstring filters;
    const wchar_t* extension = nullptr;
    switch (kind) {
    case FileDialogKind::OpenLog:
        filters = Filters({{L"rtf,文本文件(*.rtf;*.txt)", L"*.rtf;*.txt"},
                           {L"rtf文件(*.rtf)", L"*.rtf"},
                           {L"文本文件(*.txt)", L"*.txt"},
                           {L"所有文件(*.*)", L"*.*"}});
        break;
    case FileDialogKind::SaveLog:
        filters = Filters({{L"rtf文件(*.rtf)", L"*.rtf"}, {L"文本文件(*.txt)", L"*.txt"}, {L"所有文件(*.*)", L"*.*"}});
        extension = L"rtf";
        break;
    case FileDialogKind::SaveWav:
        filters = Filters({{L"wav文件(*.wav)", L"*.wav"}, {L"所有文件(*.*)", L"*.*"}});
        extension = L"wav";
        break;
    }
    // The name field starts empty every time.
    std::vector<wchar_t> name(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = extension;
    // No question before a file is replaced.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    BOOL chosen = FALSE;
    if (kind == FileDialogKind::OpenLog) {
        dialog.Flags |= OFN_FILEMUSTEXIST;
        chosen = GetOpenFileNameW(&dialog);
    } else {
        chosen = GetSaveFileNameW(&dialog);
    }
    if (!chosen || name[0] == L'\0')
        return std::nullopt;
    return std::wstring(name.data());
}

} // namespace quorvel::win
