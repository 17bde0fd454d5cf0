#pragma once

// Heap allocations counted by the benchmark binary's own global operator new.

#include <cstdint>

namespace ssmsg::bench {

// The number of allocations made so far by the calling thread.
std::uint64_t AllocationCount();

}  // namespace ssmsg::bench
