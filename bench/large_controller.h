#pragma once

// A large controller for the benchmarks: every record kind of the store, filled to the counts
// below with varied values.

#include <ssmsg/CSApplicationManagerStd.h>

namespace ssmsg::bench {

struct ControllerSize {
  int inputs = 256;
  int outputs = 128;
  int readers = 64;
  int ports = 8;
  int fieldLanNodes = 32;
  int timeZones = 256;
  int timeGroups = 64;
  int holidays = 64;
};

// Empties `store` and fills it with one controller of `size`: names of about 30 characters,
// negative numbers, bytes over the whole 0..255 range, enumeration values that have texts among
// the built-in ones, and time groups with zones in every block of eight. No text holds "<", ">"
// or "&", so every XML writer produces the same bytes.
void FillLargeController(CSApplicationManagerStd& store, const ControllerSize& size = {});

}  // namespace ssmsg::bench
