// Secure strings: seeded operation sequences on CSecStr, CSecStrA and
// CSecStrList, each step compared with std::wstring, std::string and
// std::list, exceptions included. A recording string manager sees every block
// the strings give up; each must be all zeros when freed.
#include "soak.h"

#include <malloc.h>

#include <list>
#include <numeric>

#include "zqmfc.h"
#include "zqsecstr.h"

namespace soak {

using ATL::CStringData;

class Recorder final : public ATL::IAtlStringMgr {
 public:
  CStringData* Allocate(int nChars, int nCharSize) noexcept override {
    int capacity = ((nChars + 1 + 7) & ~7) - 1;
    auto* data = nChars < 0 ? nullptr : static_cast<CStringData*>(calloc(1, sizeof(CStringData) + (capacity + 1U) * nCharSize));
    if (data) *data = {this, 0, capacity, 1}, ++live;
    return data;
  }
  void Free(CStringData* pData) noexcept override {
    auto* first = static_cast<const unsigned char*>(pData->data());
    size_t bytes = _msize(pData) - sizeof(CStringData);
    if (std::any_of(first, first + bytes, [](unsigned char b) { return b != 0; })) ++dirty, lastDirty = Hex(first, 32);
    ++frees, --live;
    free(pData);
  }
  CStringData* Reallocate(CStringData* pData, int nChars, int nCharSize) noexcept override {
    CStringData* grown = Allocate(nChars, nCharSize);  // a new block, as realloc may give
    if (grown) memcpy(grown->data(), pData->data(), (pData->nAllocLength + 1U) * nCharSize), grown->nDataLength = pData->nDataLength, Free(pData);
    return grown;
  }
  CStringData* GetNilString() noexcept override { return nil_.AddRef(), &nil_; }
  ATL::IAtlStringMgr* Clone() noexcept override { return this; }
  long live = 0, frees = 0, dirty = 0;
  string lastDirty;

 private:
  ATL::CNilStringData nil_{this};
};

// The answer of fn, or what it threw.
static string Thrown(const std::function<string()>& fn) {
  try {
    return fn();
  } catch (COleException* e) {
    string code = Str("ole:0x%08lx", static_cast<unsigned long>(e->m_sc));
    return e->Delete(), code;
  } catch (CException* e) {
    string kind = dynamic_cast<CMemoryException*>(e) ? "memory" : "invalidarg";
    return e->Delete(), kind;
  } catch (const msl::utilities::SafeIntException& e) {
    return Str("safeint:%d", e.m_code);
  } catch (const std::exception& e) {
    return string("std:") + e.what();
  }
}

const string kArg = "ole:0x80070057", kMem = "memory", kEinval = "std:EINVAL", kNone;

static wstring Text(const CSecStr& s) { return wstring(s.GetString(), static_cast<size_t>(s.GetLength())); }
static string Text(const CSecStrA& s) { return string(s.GetString(), static_cast<size_t>(s.GetLength())); }
static string N(const CSecStr& s) { return N(Text(s)); }
static int Clamp(int v, int hi) { return std::clamp(v, 0, hi < 0 ? 0 : hi); }
static wstring Mid(const wstring& w, int first, int count) {
  int len = static_cast<int>(w.size());
  return w.substr(Clamp(first, len), Clamp(count, len - Clamp(first, len)));
}
static int ReplaceAll(wstring& w, const wstring& from, const wstring& to) {
  int n = 0;
  for (size_t at = 0; !from.empty() && (at = w.find(from, at)) != wstring::npos; at += to.size(), ++n)
    w.replace(at, from.size(), to);
  return n;
}
static string Found(size_t at) { return Str("%d ", at == wstring::npos ? -1 : static_cast<int>(at)); }

struct Sequence {
  Rng& r;
  Tally& t;
  CSecStr s; wstring w;  // each object and its oracle
  CSecStrA a; string n;
  CSecStrList list, other; std::list<wstring> l, lo;

  static string Listed(const CSecStrList& list) {
    string out;
    for (POSITION p = list.GetHeadPosition(); p;) out += N(list.GetNext(p)) + ",";
    return Str("%d:", static_cast<int>(list.GetCount())) + out;
  }
  static string Listed(const std::list<wstring>& l) {
    return std::accumulate(l.begin(), l.end(), Str("%d:", static_cast<int>(l.size())), [](string o, const wstring& e) { return o + N(e) + ","; });
  }
  // One step: the library's answer and the three objects against the oracle's.
  void Step(const char* op, const string& in, const std::function<string()>& lib, const std::function<string()>& oracle) {
    string got = Thrown(lib), want = oracle();  // first: the states below are what they leave
    got += " -> " + N(s) + "|" + Text(a) + "|" + Listed(list);
    want += " -> " + N(w) + "|" + n + "|" + Listed(l);
    ++t.calls;
    if (got != want) Mismatch(t, op, in, Show(wstring(got.begin(), got.end())), Show(wstring(want.begin(), want.end())));
  }

  wstring Random() {
    wstring text(r.Chance(10) ? r.Below(300) : r.Below(12), L'a');
    for (wchar_t& c : text) c = L"abcXYZ 1\t"[r.Below(9)];
    return text;
  }

  void Run() {
    for (int steps = r.Range(3, 15); steps > 0; --steps) {
      wstring p = Random(), q = Random(), needle = p.substr(0, 2);
      int len = static_cast<int>(w.size()), k = r.Range(-3, len + 3), m = r.Range(-3, 20), at = Clamp(k, len);
      wchar_t ch = p.empty() ? L'b' : p[0];
      const wchar_t* pp = r.Chance(10) ? nullptr : p.c_str();
      string in = Show(p) + Str(" k=%d m=%d%s", k, m, pp ? "" : " null"), np = N(p);
      switch (r.Below(16)) {
        case 0: Step("operator=", in, [&] { return s = pp, kNone; }, [&] { return w = pp ? p : L"", kNone; }); break;
        case 1: Step("SetString", in, [&] { return s.SetString(pp, m), kNone; }, [&] {
            return !pp && m ? kArg : m < 0 ? kMem : (w = pp ? p.substr(0, m) : L"", kNone); }); break;
        case 2: Step("+= psz, self", in, [&] { return s += p.c_str(), s += s, kNone; }, [&] { return w += p, w += w, kNone; });
          break;
        case 3: Step("Insert", in, [&] { int first = s.Insert(k, pp); return Str("%d %d", first, s.Insert(k, ch)); }, [&] {
            if (pp) w.insert(at, p);
            int first = static_cast<int>(w.size());
            w.insert(w.begin() + Clamp(k, first), ch);
            return Str("%d %d", first, first + 1); }); break;
        case 4: Step("Append(pch, n)", in, [&] { return s.Append(pp, m), kNone; }, [&] {
            return !pp && m ? kEinval : m < 0 ? kMem : (w += p.substr(0, pp ? m : 0), kNone); }); break;
        case 5: case 6: {  // a random text, or a piece of the own text that is surely there
          const wchar_t* from = r.Chance(50) ? pp : (p = w.substr(at, 2)).c_str();
          Step("Replace", Show(p) + " by " + Show(q), [&] { return Str("%d", s.Replace(from, m & 1 ? nullptr : q.c_str())); },
               [&] { return Str("%d", from ? ReplaceAll(w, p, m & 1 ? L"" : q) : 0); });
          break;
        }
        case 7: Step("Mid/Left/Right", in, [&] {
            return N(s.Mid(k, m)) + "|" + N(s.Mid(k)) + "|" + N(s.Left(m)) + "|" + N(s.Right(m)); }, [&] {
            return N(Mid(w, k, m)) + "|" + N(Mid(w, k, len)) + "|" + N(Mid(w, 0, m)) + "|" + N(Mid(w, len - Clamp(m, len), len));
          }); break;
        case 8: Step("Find/ReverseFind", in, [&] {
            return Str("%d %d %d ", s.Find(ch, at), s.Find(needle.c_str(), at), s.ReverseFind(ch)); }, [&] {
            // An empty needle finds what the runtime's wcsstr finds (Wine's: nothing at the end).
            bool none = needle.empty() && !wcsstr(w.c_str() + at, L"");
            return Found(at >= len ? wstring::npos : w.find(ch, at)) + Found(none ? wstring::npos : w.find(needle, at)) +
                   Found(w.rfind(ch)); }); break;
        case 9: Step("GetBuffer/ReleaseBuffer", in, [&] {
            if (m < -1) return s.ReleaseBuffer(m), kNone;
            if (m > 15) return s.ReleaseBuffer(s.GetAllocLength() + 1), kNone;
            wmemcpy(s.GetBuffer(static_cast<int>(p.size()) + 1), p.c_str(), p.size() + 1);
            return s.ReleaseBuffer(), kNone; }, [&] { return m < -1 || m > 15 ? kArg : (w = p, kNone); }); break;
        case 10: Step("construct, concatenate", in, [&] {
            CSecStr c(s), d(pp, m < 0 ? 0 : m), e(ch), f(np.data());
            return N(c + d) + "|" + N(e + p.c_str()) + "|" + N(p.c_str() + f) + "|" +
                   Thrown([&] { return N(CSecStr(np.c_str(), m)); }); }, [&] {
            return !pp && m > 0 ? kArg : N(w + (pp ? p.substr(0, m < 0 ? 0 : m) : L"")) + "|" + N(ch + p) + "|" + N(p + p) +
                   "|" + (m < 0 ? kMem : np.substr(0, m)); }); break;
        case 11: Step("CSecStrA from CSecStr", in, [&] { return a = CSecStrA(s), Str("%d", a.GetLength()); },
                      [&] { return n = N(w), Str("%d", len); }); break;
        case 12: Step("CSecStrA Append/Insert", in, [&] {
            return a.Append(pp ? np.c_str() : nullptr, m), Str("%d", a.Insert(k, N(q).c_str())); }, [&] {
            if (!pp || m < 0) return pp ? kMem : kEinval;
            n += np.substr(0, m);
            return n.insert(Clamp(k, static_cast<int>(n.size())), N(q)), Str("%d", static_cast<int>(n.size())); }); break;
        case 13: Step("AddTail", in, [&] { return m & 1 ? list.AddTail(p.c_str()) : list.AddTail(CSecStr(p.c_str())), kNone; },
                      [&] { return l.push_back(p), kNone; }); break;
        case 14: Step("RemoveHead/GetHead", in, [&] {
            string head = N(list.RemoveHead());
            return head + "|" + Thrown([&] { return N(list.GetHead()); }); }, [&] {
            string head = l.empty() ? "" : N(l.front());
            if (!l.empty()) l.pop_front();
            return head + "|" + (l.empty() ? "ole:0x8000ffff" : N(l.front())); }); break;
        default: Step("operator=/RemoveAll", in, [&] {
            if (m & 1) other = list, list = other, list = *&list;
            else list.RemoveAll();
            return Listed(other); }, [&] { return (m & 1 ? (void)(lo = l) : l.clear()), Listed(lo); });
      }
    }
  }
};

void RunSecStr(const Options& o, Tally& t, bool warmup) {
  Recorder recorder;
  // The library's strings start from its manager's empty block and allocate
  // through the manager that block names: pointing it at the recorder sends
  // every block they make through the recorder.
  CSecStr probe;
  CSecStrA probeA;
  auto* nil = reinterpret_cast<CStringData*>(const_cast<wchar_t*>(probe.GetString())) - 1;
  auto* nilA = reinterpret_cast<CStringData*>(const_cast<char*>(probeA.GetString())) - 1;
  ATL::IAtlStringMgr* original = nil->pStringMgr;
  nil->pStringMgr = nilA->pStringMgr = &recorder;
  uint64_t total = warmup ? 500 : Count(o, 100000, 8000);
  Rng r(o.seed ^ 0x5ec);
  for (uint64_t i = 0; i < total; ++i, Progress("secstr", i, total)) Sequence{r, t, {}, {}, {}, {}, {}, {}, {}, {}}.Run();
  nil->pStringMgr = nilA->pStringMgr = original;
  if (recorder.dirty) Mismatch(t, "freed blocks", Str("%ld freed", recorder.frees), recorder.lastDirty, "all zeros");
  if (recorder.live) Mismatch(t, "string blocks never freed", "", Str("%ld", recorder.live), "0");
  t.extra = Str("%ld blocks freed, %ld not wiped", recorder.frees, recorder.dirty);
}

}  // namespace soak
