#include "core/utf8.h"

namespace deskcap {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed sequence starting at s[i], or 0 when the bytes from
// i on are ill-formed; then *consumed is the maximal subpart to replace (at
// least 1 byte). The ranges are those of the Unicode well-formed byte table.
size_t well_formed_length(const unsigned char* s, size_t n, size_t i, size_t* consumed) {
  unsigned char lead = s[i];
  size_t need;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead == 0xE0) {
    need = 2, low = 0xA0;
  } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
    need = 2;
  } else if (lead == 0xED) {
    need = 2, high = 0x9F;  // no surrogates
  } else if (lead == 0xF0) {
    need = 3, low = 0x90;  // no overlongs
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    need = 3;
  } else if (lead == 0xF4) {
    need = 3, high = 0x8F;  // nothing past U+10FFFF
  } else {
    *consumed = 1;  // stray continuation, C0/C1 or F5..FF
    return 0;
  }
  size_t j = i + 1;
  for (size_t k = 0; k < need; ++k, ++j) {
    unsigned char lo = k == 0 ? low : 0x80, hi = k == 0 ? high : 0xBF;
    if (j >= n || s[j] < lo || s[j] > hi) {
      *consumed = j - i;  // the lead and the continuations that still fitted
      return 0;
    }
  }
  return need + 1;
}

}  // namespace

std::string repair_utf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  std::string out;
  out.reserve(n);
  size_t i = 0, run = 0;  // [run, i) is a stretch of good bytes not yet copied
  while (i < n) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    size_t consumed = 0;
    size_t good = well_formed_length(s, n, i, &consumed);
    if (good != 0) {
      i += good;
      continue;
    }
    out.append(bytes.data() + run, i - run);
    out.append(kReplacement, 3);
    i += consumed;
    run = i;
  }
  out.append(bytes.data() + run, n - run);
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size(), i = 0, consumed = 0;
  while (i < n) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    size_t good = well_formed_length(s, n, i, &consumed);
    if (good == 0) return false;
    i += good;
  }
  return true;
}

}  // namespace deskcap
