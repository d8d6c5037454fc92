// Preload into a program (LD_PRELOAD) to count its heap allocations per second of its life. At exit it
// writes one line per second to the file named by WAND_ALLOC_COUNT_OUT (standard error when unset):
// "second N: M allocations". Counting uses no allocation of its own.
#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int kSeconds = 600;
std::atomic<unsigned long> per_second[kSeconds];
timespec start{};

int secondNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // The loader and the C library allocate before any constructor runs: the first call starts the clock.
    if (start.tv_sec == 0 && start.tv_nsec == 0)
        start = now;
    const long s = now.tv_sec - start.tv_sec - (now.tv_nsec < start.tv_nsec ? 1 : 0);
    return s < 0 ? 0 : (s >= kSeconds ? kSeconds - 1 : static_cast<int>(s));
}

void count() {
    per_second[secondNow()].fetch_add(1, std::memory_order_relaxed);
}

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);

__attribute__((destructor)) void report() {
    const char* path = std::getenv("WAND_ALLOC_COUNT_OUT");
    FILE* out = path ? std::fopen(path, "w") : stderr;
    if (!out)
        return;
    int last = kSeconds - 1;
    while (last > 0 && per_second[last].load() == 0)
        --last;
    for (int s = 0; s <= last; ++s)
        std::fprintf(out, "second %d: %lu allocations\n", s, per_second[s].load());
    if (out != stderr)
        std::fclose(out);
}

} // namespace

extern "C" {
void* malloc(size_t size) {
    count();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    count();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    count();
    *out = __libc_memalign(alignment, size);
    return *out ? 0 : 12;
}
void* aligned_alloc(size_t alignment, size_t size) {
    count();
    return __libc_memalign(alignment, size);
}
}
