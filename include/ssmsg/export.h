#pragma once

/// \file
/// SSMSG_API marks what the library exports. The library is built with every other symbol
/// hidden, so a shared libssmsg shows its consumers the public interface and nothing else.
/// SSMSG_LOCAL keeps a member of an exported class private to the library.
#if defined(__GNUC__) || defined(__clang__)
#define SSMSG_API __attribute__((visibility("default")))
#define SSMSG_LOCAL __attribute__((visibility("hidden")))
#else
#define SSMSG_API
#define SSMSG_LOCAL
#endif
