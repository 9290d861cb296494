// Registry: every export, both widths, from 8 threads on subtrees of their
// own below HKCU\Software\ZqSoak. Each answer (status, out-parameters and the
// value's raw state after the call) equals the same operation's answer run
// alone. Listings of values and subkeys show the rest of the trees' state.
#include "soak.h"
#include "zqregistry.h"

namespace soak {

const wchar_t kRoot[] = L"Software\\ZqSoak";
const wchar_t* const kKeys[] = {L"a", L"a\\b", L"a\\b\\c", L"d", L"missing\\x"};
const wchar_t* const kNames[] = {L"v0", L"v1", L"v2", L"", nullptr, L"nope"};
const DWORD kSections[] = {0, 0, 0, 0, ZQ_REG_SECTION_64, ZQ_REG_SECTION_32, 0x300, 1};

// The raw state of a value: type and bytes, or the system's error.
static string Raw(const wstring& key, const wchar_t* name) {
  BYTE data[600];
  DWORD type = 0, size = sizeof data;
  LONG rc = RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size);
  return rc ? Str(" raw:%ld", rc) : Str(" raw:%lu:", type) + Hex(data, size);
}

static string Op(int stream, bool underLoad, Rng& r, string& what, Tally& t) {
  wstring base = wstring(kRoot) + (underLoad ? L"\\L" : L"\\A") + std::to_wstring(stream), sub = kKeys[r.Below(5)];
  wstring key = base + L"\\" + sub, parent = key.substr(0, key.rfind(L'\\')), text(r.Below(40), L'a');
  const wchar_t* name = kNames[r.Below(6)];
  DWORD section = kSections[r.Below(8)], size = 0, dw = 0xabababab, chosen = 0, filter = 0;
  uint64_t word = r.Next(), bytes[2] = {word, ~word};
  int kind = static_cast<int>(r.Below(23)), cap = r.Range(-1, 5), st = 0, q = 0, count = cap;
  for (wchar_t& c : text) c = static_cast<wchar_t>(L'a' + r.Below(26) + (r.Chance(5) ? 0x100 : 0));
  bool tooSmall = r.Chance(50), nullKey = r.Chance(3), nullArray = r.Chance(20), rare = r.Chance(70);
  DWORD type = static_cast<DWORD>(word >> 40) % 12, cb = static_cast<DWORD>(word >> 50) % 12;
  string ka = N(key), na = name ? N(name) : "", out;
  const wchar_t* k = nullKey ? nullptr : key.c_str();
  const char *kA = nullKey ? nullptr : ka.c_str(), *nA = name ? na.c_str() : nullptr;
  const HKEY hk = HKEY_CURRENT_USER;
  what = Str("op %d key %s name %s section 0x%lx", kind, nullKey ? "null" : N(sub).c_str(),
             name ? Show(name).c_str() : "null", section);
  static thread_local struct { BYTE buf[600]; ZQ_REG_VALUE_ENTRY entries[6]; ZQ_REG_SUBKEY_SLOT slots[6]; } o;
  memset(&o, 0xab, sizeof o);
  BYTE* buf = o.buf;
  wchar_t* wbuf = reinterpret_cast<wchar_t*>(buf);
  char* abuf = reinterpret_cast<char*>(buf);
  DWORD cbText = static_cast<DWORD>(2 * text.size() + 2);
  t.calls += 1;
  switch (kind) {
    case 0: st = zqRegWriteDWORDValueEx(hk, k, name, static_cast<DWORD>(word), section); break;
    case 1: st = zqRegWriteDWORDValue(hk, k, name, static_cast<DWORD>(word)); break;
    case 2: st = zqRegWriteStringValueEx(hk, k, name, text.c_str(), cbText, section); break;
    case 3: st = zqRegWriteStringValue(hk, k, name, text.c_str(), cbText); break;
    case 4: text += wstring(L"\0zz\0\0", 5);  // each string terminated, then the empty one
      st = section ? zqRegWriteMultiStringValueEx(hk, k, name, text.c_str(), 2 * static_cast<DWORD>(text.size()), section)
                   : zqRegWriteMultiStringValue(hk, k, name, text.c_str(), 2 * static_cast<DWORD>(text.size()));
      break;
    case 5: st = section ? zqRegWriteBinaryValueEx(hk, k, name, reinterpret_cast<BYTE*>(bytes), type, section)
                         : zqRegWriteBinaryValue(hk, k, name, reinterpret_cast<BYTE*>(bytes), type);
      break;
    case 6: st = zqRegReadDWORDValueExW(hk, k, name, &dw, section), out = Hex(&dw, 4); break;
    case 7: st = zqRegReadDWORDValueExA(hk, kA, nA, &dw, section), out = Hex(&dw, 4); break;
    case 8: st = section ? zqRegReadDWORDValueEx(hk, k, name, &dw, section) : zqRegReadDWORDValue(hk, k, name, &dw), out = Hex(&dw, 4);
      break;
    case 9: case 10: case 11: case 12: {  // a string read of each form: the size, then one byte short or exact
      auto read = [&](bool sized, DWORD* cb) {
        if (kind == 9) return zqRegReadStringValueExW(hk, k, name, sized ? wbuf : nullptr, cb, section);
        if (kind == 10) return zqRegReadStringValueExA(hk, kA, nA, sized ? abuf : nullptr, cb, section);
        if (kind == 12) return zqRegReadMultiStringValueExW(hk, k, name, sized ? wbuf : nullptr, cb, section);
        return section ? zqRegReadStringValueEx(hk, k, name, sized ? wbuf : nullptr, cb, section)
                       : zqRegReadStringValue(hk, k, name, sized ? wbuf : nullptr, cb);
      };
      q = read(false, &size);
      cb = size - (tooSmall && size ? 1 : 0);
      st = read(cb <= sizeof buf, &cb), ++t.calls;
      out = Str("q%d size %lu cb %lu ", q, size, cb) + Hex(buf, cb < sizeof buf ? cb : 0);
      break;
    }
    case 13: size = cap < 0 ? 0 : 4u * cap;
      st = section ? zqRegReadMultiStringValueExA(hk, kA, nA, abuf, &size, section) : zqRegReadMultiStringValue(hk, k, name, wbuf, &size);
      break;
    case 14: size = cb;
      st = section ? zqRegReadMultiStringValueEx(hk, k, name, wbuf, &size, section) : zqRegReadBinaryValue(hk, k, name, buf, &size);
      break;
    case 15: size = cb, st = zqRegReadBinaryValueEx(hk, k, name, tooSmall ? buf : nullptr, &size, section); break;
    case 16:  // generic: the stored type, then a typed read of it or of another type
      q = section ? zqRegReadValueEx(hk, k, name, &type, nullptr, &size, section)
                  : zqRegReadValue(hk, k, name, &type, nullptr, &size);
      chosen = tooSmall ? type : (word & 1 ? REG_QWORD : REG_EXPAND_SZ), cb = size;
      st = zqRegReadValueEx(hk, k, name, &chosen, buf, &cb, section), ++t.calls;
      out = Str("q%d type %lu size %lu chosen %lu cb %lu ", q, type, size, chosen, cb) + Hex(buf, 24);
      break;
    case 17: case 18:
      filter = kind == 17 ? ZQ_REG_ANY_TYPE : (word & 3) + 1;
      st = section ? zqRegListValueNamesEx(hk, k, nullArray ? nullptr : o.entries, &count, filter, section)
                   : zqRegListValueNames(hk, k, nullArray ? nullptr : o.entries, &count, filter);
      for (int i = 0; i < cap; ++i) out += Show(wstring(o.entries[i].szName, 8).c_str()) + Str(":%lu ", o.entries[i].dwType);
      break;
    case 19:
      st = section ? zqRegListKeysEx(hk, parent.c_str(), nullArray ? nullptr : o.slots, &count, section)
                   : zqRegListKeys(hk, parent.c_str(), nullArray ? nullptr : o.slots, &count);
      for (int i = 0; i < cap; ++i) out += Show(wstring(o.slots[i].szName, 8).c_str()) + " ";
      break;
    case 20: st = zqRegDeleteValue(hk, k, name, section); break;
    case 21: st = rare ? 9 : zqRegDeleteKey(hk, k, static_cast<BYTE>(word % 3), section); break;  // rarer than writes
    default: st = rare ? 9 : zqRegDeleteSubKey(hk, k, section, static_cast<BYTE>(word % 3));
  }
  if (kind >= 13 && kind <= 15) out = Str("size %lu ", size) + Hex(buf, 24);
  return Str("%d count %d ", st, count) + out + Raw(key, name);
}

void RunRegistry(const Options& o, Tally& t, bool warmup) {
  RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
  Differential("registry", t, 8, warmup ? 200 : Count(o, 200000, 8000) / 8, o.seed ^ 0x4e6, Op);
  RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
}

}  // namespace soak
