// Builds of the pixel loops for the processor the program runs on. The
// binary runs on any x86-64, where only SSE2 is certain. On such Linux builds
// each function marked KIVO_PIXEL_CLONES also gets a version for newer
// processors (AVX2), chosen once at load time; files using it are compiled
// with the vectorizer's full cost model (see the CMakeLists.txt beside them).
// Elsewhere they are plain loops, and so are they under the sanitizers: the
// versions are picked by resolvers that run while the program is loaded,
// before a sanitizer's runtime is set up, and the instrumented resolvers
// would crash there.
//
// A versioned function must be called from its own file only: a call from
// another file could bind to the default version instead of the dispatcher.
#ifndef KIVO_HOST_CORE_PIXEL_CLONES_H
#define KIVO_HOST_CORE_PIXEL_CLONES_H

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIVO_PIXEL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KIVO_PIXEL_SANITIZED 1
#endif
#endif
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(KIVO_PIXEL_SANITIZED)
#define KIVO_PIXEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KIVO_PIXEL_CLONES
#endif

#endif
