// Watches the memory that secure strings give up: a string manager that
// records every block it frees (also the blocks a growth leaves behind), a
// count of plain arrays that reach delete[] not zeroed. Plus what an operation
// threw and a string's text.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "zqmfc.h"
#include "zqsecstr.h"

namespace zqtest {

class RecordingStringManager final : public ATL::IAtlStringMgr {
 public:
  RecordingStringManager() noexcept : nil_(this) {}
  ATL::CStringData* Allocate(int nChars, int nCharSize) noexcept override;
  void Free(ATL::CStringData* pData) noexcept override;
  ATL::CStringData* Reallocate(ATL::CStringData* pData, int nChars, int nCharSize) noexcept override;
  ATL::CStringData* GetNilString() noexcept override {
    nil_.AddRef();
    return &nil_;
  }
  ATL::IAtlStringMgr* Clone() noexcept override { return this; }

  std::vector<std::string> dirty;  // the bytes of each block freed with a byte not zero
  int allocations = 0, frees = 0, reallocations = 0;
  int failAfter = -1;  // successful allocations before one fails (-1: none fails)

 private:
  ATL::CNilStringData nil_;
};

// Arrays that reached delete[] with a byte not zero, since the count was reset.
extern int g_dirtyArrays;

struct WipeReport {
  int frees;
  int live;
  std::vector<std::string> dirty;
};

// Runs work with a recording manager installed: every string block that work
// makes goes through it. The strings must be gone when work returns.
template <typename Work>
WipeReport RecordWipes(Work work, int failAfter = -1) {
  RecordingStringManager manager;
  manager.failAfter = failAfter;
  ATL::IAtlStringMgr* previous = AfxSetStringManager(&manager);
  work();
  AfxSetStringManager(previous);
  return {manager.frees, manager.allocations - manager.frees, manager.dirty};
}

// What fn threw: "none", "memory", "invalidarg", "ole:0x........",
// "safeint:<code>", "std:<what>".
template <typename Fn>
std::string Thrown(Fn fn) {
  try {
    fn();
  } catch (COleException* e) {
    char text[32];
    snprintf(text, sizeof text, "ole:0x%08lx", static_cast<unsigned long>(e->m_sc));
    e->Delete();
    return text;
  } catch (CException* e) {
    std::string kind = dynamic_cast<CMemoryException*>(e) ? "memory" : "invalidarg";
    e->Delete();
    return kind;
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
