#pragma once

#if defined(TARNIO_STATIC)
#define TARNIO_API
#elif defined(TARNIO_BUILDING)
#define TARNIO_API __declspec(dllexport)
#else
#define TARNIO_API __declspec(dllimport)
#endif
