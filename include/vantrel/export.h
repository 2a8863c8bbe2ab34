/* What libvantrel exports. Every other symbol of the shared library is
 * hidden, so that engines see only the public API and its internals can
 * change without breaking them.
 *
 * VANTREL_API marks a public function or class. A program needs nothing
 * defined to use it; on Windows, one linking the static library defines
 * VANTREL_STATIC (the CMake target vantrel::vantrel_static does so). Plain C
 * and C++ alike. */
#ifndef VANTREL_EXPORT_H_
#define VANTREL_EXPORT_H_

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(VANTREL_STATIC)
#define VANTREL_API
#elif defined(VANTREL_BUILDING_SHARED)
#define VANTREL_API __declspec(dllexport)
#else
#define VANTREL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define VANTREL_API __attribute__((visibility("default")))
#else
#define VANTREL_API
#endif

/* Marks a name kept for the code that uses it, with the name to use instead,
 * so that compilers warn of it. */
#if defined(__GNUC__) || defined(__clang__)
#define VANTREL_DEPRECATED(use) __attribute__((deprecated(use)))
#elif defined(_MSC_VER)
#define VANTREL_DEPRECATED(use) __declspec(deprecated(use))
#else
#define VANTREL_DEPRECATED(use)
#endif

/* Marks a private member of an exported class that stays internal. */
#if (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32) && !defined(__CYGWIN__)
#define VANTREL_INTERNAL __attribute__((visibility("hidden")))
#else
#define VANTREL_INTERNAL
#endif

#endif /* VANTREL_EXPORT_H_ */
