// Thread-local objects with destructors, as GCC builds them for Windows. Their storage is
// emulated: the runtime allocates it per thread and frees it from a thread-specific key's
// destructor when the thread ends; the C++ runtime runs the objects' destructors from a key of
// its own. Keys' destructors run in the order the keys were made, and left alone the storage's key
// comes first (an object is reached before its destructor is registered), so the destructors
// would run on freed storage. Registering a destructor before anything of this module reaches
// thread-local storage makes the C++ runtime's key the first.
//
// Each module (the DLL, a program) has its own runtime and keys; a program that links the
// library's objects statically is made to link this one too (cmake/windows/Windows.cmake).

#include <cxxabi.h>

namespace {

void Nothing(void*) {}

}  // namespace

extern "C" {

// Referred to by name at the link, so that a program that takes the library from a static
// archive has this part as well.
int ssmsg_thread_exit_order = 0;
}

__attribute__((constructor(101))) static void DestructorsBeforeStorage() {
  __cxxabiv1::__cxa_thread_atexit(Nothing, nullptr, nullptr);
}
