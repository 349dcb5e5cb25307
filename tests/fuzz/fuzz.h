// Shared by the fuzz targets: a failed check is a finding, like a crash.
#ifndef S2N_FUZZ_H
#define S2N_FUZZ_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#define FUZZ_CHECK(cond) \
    ((cond) ? void() : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond), std::abort()))

// Sets an environment variable, or removes it when value is null. setenv
// keeps every value it was ever given, which millions of runs would fill
// memory with; here each name has one buffer, out of the environment while
// it changes.
inline void fuzz_env(const char *name, const char *value)
{
    static std::map<std::string, std::string> slots;
    unsetenv(name);
    if (value)
        putenv((slots[name] = std::string(name) + "=" + value).data());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

#endif
