#pragma once

// Only for test executables that run the web engine: its own code frees objects with a
// mismatched sized delete; that is not ours to fix, and AddressSanitizer would stop at the
// first page load. Every other test keeps the check.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif
