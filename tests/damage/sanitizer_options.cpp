// In the sanitizer build (-DBRINDLEMOOR_SANITIZE=ON), the damage tests stop at the first report of undefined
// behaviour, with its stack, so a report fails the test instead of scrolling past. Without the sanitizers
// nothing calls these.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }
