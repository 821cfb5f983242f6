/* What the engine library exports: the C interface (kavrel.h) and the C++
 * classes a host uses. Everything else in the library stays inside it.
 *
 * A host of the static library defines KAVREL_STATIC (the package's
 * Kavrel::engine_static and `pkg-config --static` do); the library's own
 * sources are compiled with KAVREL_BUILDING. */
#ifndef KAVREL_EXPORT_H
#define KAVREL_EXPORT_H

#if defined(_WIN32)
#if defined(KAVREL_STATIC)
#define KAVREL_API
#elif defined(KAVREL_BUILDING)
#define KAVREL_API __declspec(dllexport)
#else
#define KAVREL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KAVREL_API __attribute__((visibility("default")))
#else
#define KAVREL_API
#endif

#endif /* KAVREL_EXPORT_H */
