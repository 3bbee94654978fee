// Marks the library's public functions and classes for export from a shared build.
// A static build (the default) needs nothing; a shared build compiles the library with
// PIXELRY_BUILDING and PIXELRY_SHARED, and its users with PIXELRY_SHARED.
#ifndef PIXELRY_EXPORT_H
#define PIXELRY_EXPORT_H

#if defined(_WIN32) && defined(PIXELRY_SHARED)
#if defined(PIXELRY_BUILDING)
#define PIXELRY_API __declspec(dllexport)
#else
#define PIXELRY_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define PIXELRY_API __attribute__((visibility("default")))
#else
#define PIXELRY_API
#endif

#endif
