// The built-in module "gdi32.dll": the GDI calls that callers look up by
// name at run time rather than link (the page renderer finds EnableEUDC
// this way, so that it still runs where the call does not exist).
#include <windows.h>

#include "tw/module.h"

namespace {

const tw::module::BuiltinExport kExports[] = {
    {"EnableEUDC", 0, reinterpret_cast<FARPROC>(&EnableEUDC)},
};

struct RegisterGdi32 {
  RegisterGdi32() { tw::module::RegisterBuiltin(u"gdi32.dll", kExports); }
} g_registerGdi32;

}  // namespace
