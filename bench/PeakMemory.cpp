#include "PeakMemory.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Pixelry/Pixelry.h"

namespace bench {
namespace {

// A "Vm...:  N kB" line of /proc/self/status, in bytes; -1 when missing.
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

}  // namespace

int reportPeakRead(const char* path) {
  BMP image;
  const long long before = statusBytes("VmRSS");
  const bool read = image.ReadFromFile(path);
  const long long peak = statusBytes("VmHWM");
  if (!read || before < 0 || peak < 0) return 1;
  std::printf("%lld\n", peak - before);
  return 0;
}

long long peakReadBytes(const std::string& path) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return -1;
  self[length] = '\0';
  const std::string command = std::string("'") + self + "' --peak-read '" + path + "'";
  std::FILE* child = popen(command.c_str(), "r");
  if (!child) return -1;
  long long bytes = -1;
  if (std::fscanf(child, "%lld", &bytes) != 1) bytes = -1;
  return pclose(child) == 0 ? bytes : -1;
}

}  // namespace bench
