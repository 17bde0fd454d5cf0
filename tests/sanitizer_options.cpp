// Settings of the sanitizers for the test programs, built into them so that a plain ctest run of
// a sanitizer build is already strict: leaks fail, the first report of any sanitizer ends the
// program, and reports carry stack traces. A sanitizer that is not built in never asks for them.

extern "C" {

const char* __asan_default_options() {
  return "detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:"
         "strict_init_order=1:strict_string_checks=1:halt_on_error=1";
}

const char* __ubsan_default_options() {
  return "print_stacktrace=1:halt_on_error=1";
}

const char* __tsan_default_options() {
  return "halt_on_error=1:second_deadlock_stack=1";
}

}  // extern "C"
