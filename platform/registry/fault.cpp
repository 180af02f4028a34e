// Fault injection: a chosen key operation fails with a chosen error.
#include <atomic>
#include <mutex>
#include <vector>

#include "store.h"
#include "tw/casefold.h"
#include "winerror.h"

namespace tw::registry {
namespace {

struct Fault {
  std::u16string path;  // as given
  Op op;
  LONG error;
  int times;  // < 0: until cleared
};

std::mutex g_mutex;
std::vector<Fault> g_faults;
std::atomic<bool> g_active{false};

// The full upcased path under the stored roots: HKCU and HKCR are resolved
// to the keys they stand for.
std::u16string canonical(std::u16string_view path) {
  HKEY root = nullptr;
  std::u16string rest, rootName;
  if (!SplitKeyPath(path, &root, &rest, &rootName)) return tw::Upcase(path);
  std::u16string base = rootName;
  if (root == HKEY_CURRENT_USER) base = u"HKEY_USERS\\" + CurrentUserHive();
  else if (root == HKEY_CLASSES_ROOT) base = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
  // Doubled and trailing backslashes name the same key.
  std::u16string out = base;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find(u'\\', start);
    if (end == std::u16string::npos) end = rest.size();
    if (end > start) out += u"\\" + rest.substr(start, end - start);
    start = end + 1;
  }
  return tw::Upcase(out);
}

}  // namespace

void InjectFault(std::u16string_view keyPath, Op op, LONG error, int times) {
  std::lock_guard lock(g_mutex);
  g_faults.push_back({std::u16string(keyPath), op, error, times});
  g_active = true;
}

void ClearFaults() {
  std::lock_guard lock(g_mutex);
  g_faults.clear();
  g_active = false;
}

namespace detail {

bool FaultsActive() { return g_active.load(); }

LONG CheckFaultPath(std::u16string_view canonicalPath, Op op) {
  if (!FaultsActive()) return ERROR_SUCCESS;
  std::u16string upper = tw::Upcase(canonicalPath);
  std::lock_guard lock(g_mutex);
  for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
    if ((it->op != op && it->op != Op::Any) || canonical(it->path) != upper) continue;
    LONG error = it->error;
    if (it->times > 0 && --it->times == 0) g_faults.erase(it);
    return error;
  }
  return ERROR_SUCCESS;
}

LONG CheckFault(Db& db, std::int64_t keyId, Op op) {
  if (!FaultsActive()) return ERROR_SUCCESS;
  std::u16string path;
  if (LONG rc = db.Path(keyId, &path)) return rc;
  return CheckFaultPath(path, op);
}

}  // namespace detail
}  // namespace tw::registry
