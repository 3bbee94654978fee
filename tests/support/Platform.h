// What the system the tests run on offers. Tests that need POSIX facilities (fork,
// resource limits, FIFOs, /dev/full, symbolic and hard links, owners) compile everywhere and skip
// elsewhere with kNeedsPosix; tests that limit a program's address space skip under an
// emulator (qemu-user), where the limit would act on the emulator itself.
#ifndef PIXELRY_TESTS_PLATFORM_H
#define PIXELRY_TESTS_PLATFORM_H

#ifndef _WIN32
#define PIXELRY_TESTS_POSIX 1
#endif

#ifdef PIXELRY_TEST_LAUNCHER
#define PIXELRY_TESTS_EMULATED 1
#endif

namespace testing_support {

constexpr const char* kNeedsPosix =
    "needs POSIX (fork, resource limits, FIFOs, /dev/full, symbolic or hard links)";
constexpr const char* kNeedsHardware =
    "runs under an emulator, on which an address-space limit would bind the emulator itself";

}  // namespace testing_support

#endif
