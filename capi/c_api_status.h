#pragma once

// How the C interface turns whatever a call throws into a status: nothing thrown may leave a
// function with C linkage.

#include <new>
#include <stdexcept>

#include <ssmsg/c_api.h>

namespace ssmsg::capi {

// Runs `body`, which returns a status, and returns that status, or the status of what it threw:
// memory that could not be had is SSMSG_OUT_OF_MEMORY, anything else SSMSG_INTERNAL_ERROR.
template <class Body>
ssmsg_status Guard(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return SSMSG_OUT_OF_MEMORY;
  } catch (const std::length_error&) {  // a size beyond what a container can hold
    return SSMSG_OUT_OF_MEMORY;
  } catch (...) {
    return SSMSG_INTERNAL_ERROR;
  }
}

}  // namespace ssmsg::capi
