#pragma once

#if defined(TARNUTIL_STATIC)
#define TARNUTIL_API
#elif defined(TARNUTIL_BUILDING)
#define TARNUTIL_API __declspec(dllexport)
#else
#define TARNUTIL_API __declspec(dllimport)
#endif
