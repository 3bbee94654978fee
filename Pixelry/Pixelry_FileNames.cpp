// Opening files by UTF-8 names.
#include "Pixelry_IO.h"
#include "detail/FileNames.h"

#include <string>
#include <vector>

#ifdef _WIN32
#include <climits>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace pixelry::detail {

#ifdef _WIN32

std::wstring wideName(const std::string& name) {
  if (name.empty() || name.size() > INT_MAX) return {};
  const int size = static_cast<int>(name.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, &wide[0], length);
  return wide;
}

std::FILE* openFile(const char* name, const char* mode) {
  if (!name) return nullptr;
  const std::wstring wide = wideName(name);
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return wide.empty() ? nullptr : ::_wfopen(wide.c_str(), wideMode.c_str());
}

std::string narrowName(const wchar_t* wide) {
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string name(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, &name[0], length, nullptr, nullptr);
  name.pop_back();  // the terminating null
  return name;
}

bool removeFile(const std::string& name) {
  const std::wstring wide = wideName(name);
  return !wide.empty() && ::_wremove(wide.c_str()) == 0;
}

#else

std::FILE* openFile(const char* name, const char* mode) { return name ? std::fopen(name, mode) : nullptr; }

bool removeFile(const std::string& name) { return std::remove(name.c_str()) == 0; }

#endif

}  // namespace pixelry::detail

std::vector<std::string> pixelry::utf8Arguments(int argc, char* argv[]) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(detail::narrowName(wide[i]));
    ::LocalFree(wide);
    if (count == argc) return arguments;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}
