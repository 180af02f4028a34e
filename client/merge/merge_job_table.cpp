#include "client/merge/merge_job_table.h"

namespace tw::merge {

BOOL MergeHandShakeAvailable() { return FALSE; }

BOOL WaitForTurn(std::u16string_view /*baseName*/, DWORD /*jobId*/, MergeTurn& turn) {
  turn = MergeTurn{};
  return FALSE;
}

}  // namespace tw::merge
