// Internal: what the readers say about a file, from the parse and the decode: the classic
// reader's printed lines and the others' Results, each message made in one place.
#ifndef PIXELRY_DETAIL_VERDICTS_H
#define PIXELRY_DETAIL_VERDICTS_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "../Pixelry_Codec.h"
#include "../Pixelry_IO.h"
#include "ByteSource.h"
#include "FileNames.h"
#include "Parse.h"
#include "PixelFormats.h"
#include "Report.h"

namespace pixelry::detail {

// The lines of a refusal and of an oddity, as the classic reader prints them.
std::vector<std::string> refusalLines(const ParseOutcome& parsed, const std::string& name,
                                      std::uint64_t maxPixels);
std::vector<std::string> oddityLines(Oddity oddity, const std::string& name);
std::string tooLargeForMemory(const std::string& name);
std::string cannotOpen(const std::string& name);

Result failure(Code code, std::string message);
// The Result of a parse for the reads that return one: its refusal, or ok with the
// oddities as warnings. A format the file cannot give (index8 without a colour table) is
// refused too.
Result verdictOf(const ParseOutcome& parsed, const std::string& name, std::uint64_t maxPixels,
                 Target target = Target::image);
// What the headers say, as probe tells it.
Info infoOf(const ParseOutcome& parsed);
// The warning of pixel data that ended early.
std::string cutWarning(const FileLayout& layout, const std::string& name);

// Opens a file by name and hands read (ByteSource&, const std::string& quoted name) a
// source over it; Code::cannotOpen when it cannot be opened.
template <class Read>
Result withFile(const char* fileName, Read&& read) {
  const std::string name = quoted(fileName);
  std::FILE* file = openFile(fileName, "rb");
  if (!file) return failure(Code::cannotOpen, cannotOpen(name));
  ByteSource source(file);
  Result result = read(source, name);
  std::fclose(file);
  return result;
}

}  // namespace pixelry::detail

#endif
