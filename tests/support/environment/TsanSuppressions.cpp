// Linked into the test programs whose code runs threads (the codecs' and the engine's).
// ThreadSanitizer only sees the synchronisation of code it instrumented. FFmpeg's libraries come
// from the system, uninstrumented: their decoder frame threads hand reference-counted buffers over
// through C11 atomics that it cannot see, and it then reports the buffer's free in one thread against
// its allocation in another as a race inside libavutil. A race on our own data is still reported
// unless one of its accesses runs inside a callback from these libraries. In builds without
// ThreadSanitizer nothing calls this.

extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_suppressions() {
    return "race:libavutil.so\n"
           "race:libavcodec.so\n"
           "race:libavformat.so\n"
           "race:libavfilter.so\n"
           "race:libswscale.so\n"
           "race:libswresample.so\n";
}
