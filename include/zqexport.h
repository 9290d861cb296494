// Export linkage of zqplatutilu.dll.
#pragma once

#if defined(ZQPLATUTIL_BUILDING)
#define ZQPLATUTIL_API __declspec(dllexport)
#else
#define ZQPLATUTIL_API __declspec(dllimport)
#endif

#ifdef __cplusplus
#define ZQPLATUTIL_EXTERN_C extern "C"
#else
#define ZQPLATUTIL_EXTERN_C
#endif

// C-linkage export with an undecorated name, resolvable with GetProcAddress.
#define ZQPLATUTIL_C_API ZQPLATUTIL_EXTERN_C ZQPLATUTIL_API
