// Helpers of the secure string tests: the wipe check around a piece of work,
// what an operation threw, and a string's text.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "recording.h"
#include "zqmfc.h"
#include "zqsecstr.h"

namespace zqtest {

struct WipeReport {
  int frees;
  int reallocations;
  int live;
  std::vector<std::string> dirty;
};

// Runs work with a recording manager installed: every string block that work
// makes goes through it. The strings must be gone when work returns.
template <typename Work>
WipeReport RecordWipes(Work work, int failAfter = -1) {
  RecordingStringManager manager;
  manager.FailAfter(failAfter);
  {
    ScopedStringManager installed(&manager);
    work();
  }
  return {manager.Frees(), manager.Reallocations(), manager.Live(), manager.DirtyFrees()};
}

// What fn threw: "none", "memory", "invalidarg", "ole:0x........",
// "safeint:<code>", "std:<what>".
template <typename Fn>
std::string Thrown(Fn fn) {
  try {
    fn();
  } catch (CMemoryException* e) {
    e->Delete();
    return "memory";
  } catch (CInvalidArgException* e) {
    e->Delete();
    return "invalidarg";
  } catch (COleException* e) {
    char text[32];
    snprintf(text, sizeof text, "ole:0x%08lx", static_cast<unsigned long>(e->m_sc));
    e->Delete();
    return text;
  } catch (CException* e) {
    e->Delete();
    return "other MFC exception";
  } catch (const msl::utilities::SafeIntException& e) {
    return "safeint:" + std::to_string(e.m_code);
  } catch (const std::exception& e) {
    return std::string("std:") + e.what();
  }
  return "none";
}

inline std::wstring Text(const CSecStr& s) { return std::wstring(s.GetString(), static_cast<size_t>(s.GetLength())); }
inline std::string Text(const CSecStrA& s) { return std::string(s.GetString(), static_cast<size_t>(s.GetLength())); }

}  // namespace zqtest

// Expects that work freed only zeroed blocks, left none behind and freed at
// least minFrees blocks (so that the check saw something).
#define EXPECT_WIPED(report, minFrees)                      \
  do {                                                      \
    const ::zqtest::WipeReport& r_ = (report);              \
    EXPECT_TRUE(r_.dirty.empty()) << "first dirty block: " << (r_.dirty.empty() ? "" : r_.dirty[0]); \
    EXPECT_EQ(r_.live, 0);                                  \
    EXPECT_GE(r_.frees, (minFrees));                        \
  } while (0)
