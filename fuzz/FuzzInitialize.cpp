// How every fuzz target starts: with the diagnostic log sent nowhere.
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    k72fuzz::SilenceDiagnostics();
    return 0;
}
