// Internal: files opened by name. Names are UTF-8 on every system: on Windows they pass
// through UTF-16 to the wide API (the narrow one would read them in the ANSI code page);
// elsewhere they go to the system as they are.
#ifndef PIXELRY_DETAIL_FILENAMES_H
#define PIXELRY_DETAIL_FILENAMES_H

#include <cstdio>
#include <string>

namespace pixelry::detail {

// fopen with a UTF-8 name; null when the file cannot be opened (or the name is not UTF-8).
std::FILE* openFile(const char* name, const char* mode);
// Removes a file; false when it could not be.
bool removeFile(const std::string& name);

#ifdef _WIN32
// The UTF-16 form of a UTF-8 name; empty when the name is empty or not UTF-8.
std::wstring wideName(const std::string& name);
#endif

}  // namespace pixelry::detail

#endif
