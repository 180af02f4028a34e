// File-name patterns as FindFirstFileW reads them. The pattern is first
// rewritten into the DOS wildcards of the Windows name matcher:
//   '?'                      -> DOS_QM   one character, none before a '.' or the end
//   '.' before '?', '*', end -> DOS_DOT  a '.' or nothing at the end of the name
//   '*' before '.'           -> DOS_STAR anything up to the name's last '.'
// and "*.*" becomes "*".
#include <vector>

#include "tw/casefold.h"
#include "tw/fileio.h"

namespace tw::file {
namespace {

constexpr char16_t kDosStar = 0xF000, kDosQm = 0xF001, kDosDot = 0xF002;

std::u16string toExpression(std::u16string_view pattern) {
  if (pattern == u"*.*") return u"*";
  std::u16string e;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char16_t c = pattern[i], next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (c == u'?' || c == u'>') e += kDosQm;
    else if (c == u'"' || (c == u'.' && (next == u'?' || next == u'*' || next == 0))) e += kDosDot;
    else if (c == u'<' || (c == u'*' && next == u'.')) e += kDosStar;
    else e += UpcaseUnit(c);
  }
  return e;
}

class Matcher {
 public:
  Matcher(std::u16string_view expression, std::u16string_view name)
      : e_(expression), n_(name), memo_((e_.size() + 1) * (n_.size() + 1), -1) {
    lastDot_ = n_.rfind(u'.');
  }
  bool Match(size_t i, size_t j) {
    signed char& m = memo_[i * (n_.size() + 1) + j];
    if (m < 0) m = compute(i, j) ? 1 : 0;
    return m == 1;
  }

 private:
  bool compute(size_t i, size_t j) {
    if (i == e_.size()) return j == n_.size();
    bool more = j < n_.size();
    switch (char16_t c = e_[i]) {
      case u'*': return Match(i + 1, j) || (more && Match(i, j + 1));
      case u'?': return more && Match(i + 1, j + 1);
      case kDosStar: return Match(i + 1, j) || (more && j != lastDot_ && Match(i, j + 1));
      case kDosQm:
        if (more && n_[j] != u'.') return Match(i + 1, j + 1);
        return Match(i + 1, j);
      case kDosDot:
        if (more) return n_[j] == u'.' && Match(i + 1, j + 1);
        return Match(i + 1, j);
      default: return more && n_[j] == c && Match(i + 1, j + 1);
    }
  }

  std::u16string_view e_;
  std::u16string_view n_;
  std::vector<signed char> memo_;
  size_t lastDot_;
};

}  // namespace

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
  std::u16string expression = toExpression(pattern);
  std::u16string upper = Upcase(name);
  return Matcher(expression, upper).Match(0, 0);
}

}  // namespace tw::file
