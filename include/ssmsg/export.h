#pragma once

/// \file
/// SSMSG_API marks what the library exports. The library is built with every other symbol
/// hidden, so a shared libssmsg shows its consumers the public interface and nothing else.
/// SSMSG_LOCAL keeps a member of an exported class private to the library.
///
/// On Windows a DLL exports what is marked and its consumers import it: the library is built
/// with SSMSG_BUILDING, and a program that links the static library defines SSMSG_STATIC (the
/// CMake package's targets do both).
#if defined(_WIN32)
#if defined(SSMSG_BUILDING)
#define SSMSG_API __declspec(dllexport)
#elif defined(SSMSG_STATIC)
#define SSMSG_API
#else
#define SSMSG_API __declspec(dllimport)
#endif
#define SSMSG_LOCAL
#elif defined(__GNUC__) || defined(__clang__)
#define SSMSG_API __attribute__((visibility("default")))
#define SSMSG_LOCAL __attribute__((visibility("hidden")))
#else
#define SSMSG_API
#define SSMSG_LOCAL
#endif
