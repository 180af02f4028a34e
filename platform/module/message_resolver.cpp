// Connects FormatMessageW's FORMAT_MESSAGE_FROM_HMODULE to the loader's
// message tables (the NLS area cannot depend on the loader directly).
#include "tw/module.h"
#include "tw/nls_internal.h"

namespace {
const bool g_registered = [] {
  tw::nls::SetMessageTableResolver(&tw::module::FindMessage);
  return true;
}();
}  // namespace
