// Defines PIXELRY_TESTS_ASAN when the tests are built with AddressSanitizer.
#ifndef PIXELRY_TESTS_SANITIZER_H
#define PIXELRY_TESTS_SANITIZER_H

#if defined(__SANITIZE_ADDRESS__)
#define PIXELRY_TESTS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PIXELRY_TESTS_ASAN 1
#endif
#endif

#endif
