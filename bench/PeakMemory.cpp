#include "PeakMemory.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Pixelry/Pixelry.h"

namespace bench {
namespace {

// The child's first argument, one per reader.
const char* flagOf(Reader reader) { return reader == Reader::classic ? "--peak-read" : "--peak-read-full"; }

}  // namespace

long long statusBytes(const char* field) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long long kib = -1;
  const std::size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') kib = std::atoll(line + length + 1);
  std::fclose(status);
  return kib < 0 ? -1 : kib * 1024;
}

std::string selfPath() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return {};
  self[length] = '\0';
  return self;
}

namespace {

int readAndReport(const char* path, Reader reader) {
  BMP image;
  const long long before = statusBytes("VmRSS");
  const bool read = reader == Reader::classic ? image.ReadFromFile(path)
                                              : static_cast<bool>(pixelry::readFile(image, path));
  const long long peak = statusBytes("VmHWM");
  if (!read || before < 0 || peak < 0) return 1;
  std::printf("%lld\n", peak - before);
  return 0;
}

}  // namespace

bool reportPeakRead(int argc, char** argv, int& status) {
  if (argc != 3) return false;
  for (const Reader reader : {Reader::classic, Reader::full})
    if (std::strcmp(argv[1], flagOf(reader)) == 0) {
      status = readAndReport(argv[2], reader);
      return true;
    }
  return false;
}

long long peakReadBytes(const std::string& path, Reader reader) {
  const std::string self = selfPath();
  if (self.empty()) return -1;
  const std::string command = "'" + self + "' " + flagOf(reader) + " '" + path + "'";
  std::FILE* child = popen(command.c_str(), "r");
  if (!child) return -1;
  long long bytes = -1;
  if (std::fscanf(child, "%lld", &bytes) != 1) bytes = -1;
  return pclose(child) == 0 ? bytes : -1;
}

}  // namespace bench
