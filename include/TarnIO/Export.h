#pragma once

// TARNIO_API marks what the DLL exports and a program imports.
// TARNIO_INLINE_API marks inline template members that the DLL instantiates
// and exports: GCC ignores dllimport on an inline function (with a warning),
// so a program declares them plainly and calls them through the import
// library's stubs.
#if defined(TARNIO_STATIC)
#define TARNIO_API
#define TARNIO_INLINE_API
#elif defined(TARNIO_BUILDING)
#define TARNIO_API __declspec(dllexport)
#define TARNIO_INLINE_API __declspec(dllexport)
#else
#define TARNIO_API __declspec(dllimport)
#define TARNIO_INLINE_API
#endif
