// LeakSanitizer's exit check walks the thread-local storage of every loaded library. For the
// client library, loaded by name at connect time, that walk intermittently crashes the checker
// itself ("Tracer caught signal 11", a bogus dynamic TLS range): a fault of the checker, not a
// leak. Thread-local storage is therefore not used as a source of references here. Without it,
// the dynamic loader's own list of a library's dependencies, which only thread-local storage
// points to, would be reported; that block belongs to the C library, not to this program.
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:_dl_map_object_deps\n"; }
