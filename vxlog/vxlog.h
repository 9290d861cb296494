// vxlogu64.dll: the log library that every module of the product writes to.
//
// The library configures itself when it loads, from its environment:
//   VXLOG_FILE    file to append lines to (UTF-8); unset or empty: no file
//   VXLOG_LEVELS  levels to keep: "all", "none" or a comma list such as "1,2,16";
//                 default "all" when a file or standard error is the target
//   VXLOG_STDERR  "1": also write every kept line to standard error
// With no target and no capture sink installed, a call returns before any
// formatting.
#pragma once

#include <wchar.h>

#ifdef VXLOG_BUILDING
#define VXLOG_API __declspec(dllexport)
#else
#define VXLOG_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// One line: module tag, level, wide printf-style format (%s wide, %S narrow).
VXLOG_API void vxlogLog(const wchar_t* module, unsigned int level, const wchar_t* format, ...);

// One line: the label followed by the bytes as hex.
VXLOG_API void vxlogLogBin(const wchar_t* module, unsigned int level, const void* data, unsigned int cbData,
                           const wchar_t* label);

// Receives every line, whatever VXLOG_LEVELS says, with the text formatted
// (no timestamp or ids). Called under the library's lock, in call order.
typedef void (*vxlogSink)(void* context, const wchar_t* module, unsigned int level, const wchar_t* text);

// Installs the capture sink (null removes it).
VXLOG_API void vxlogSetCapture(vxlogSink sink, void* context);

// Reads the environment again and reopens the file; for tools that change
// their configuration at run time (the benchmark does).
VXLOG_API void vxlogReconfigure(void);

#ifdef __cplusplus
}
#endif
