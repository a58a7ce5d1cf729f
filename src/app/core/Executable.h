#pragma once
// The running program's file, as both editions name their settings folder and start-up entry after
// it. Paths are UTF-8; on Windows '\' and '/' both separate folders. Pure C++.

#include <string>
#include <string_view>

namespace quorvel::app {

// "C:\Tools\abc.exe" and "/usr/bin/abc" give "abc": the file name without folder and last extension.
std::string ExecutableBaseName(std::string_view executablePath);

// Everything up to and including the last folder separator; empty when there is none.
std::string FolderOf(std::string_view path);

} // namespace quorvel::app
