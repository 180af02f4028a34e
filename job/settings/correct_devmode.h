// The job's correction of its DEVMODE copy: upload switches, TIFF viewer,
// Save-As dialog, EMF stamps, fax and resolution, landscape, pixel size,
// format flags and colour mode, in that order.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "job/devmode/tarnwick_devmode.h"
#include "job/settings/effective.h"

namespace tw::settings {

using TraceFn = std::function<void(std::u16string_view)>;

// The TIFF viewer applies to a job: "Open Tiff Viewer" is on, the viewer's
// App Paths entry names an existing file, and the format is one the viewer
// opens (3..10, 36, 38, 40..47).
bool TiffViewerApplies(const SettingsScope& scope, DWORD effectiveFormat);
// The viewer's registered path (default value of its App Paths key); empty when missing.
std::u16string TiffViewerPath();

// Corrects `dm` (the job's copy). `ctx.record` is pointed at `dm` so that
// the effective values read the record being corrected; a TIFF viewer
// decision is recorded in `ctx.tiffViewer` (set once, never cleared).
// The temporary group files for uploads are the job's (it knows which it
// has made) and are not made here.
void CorrectDevMode(EffectiveContext& ctx, TarnwickDEVMODE& dm, const TraceFn& trace = {});

}  // namespace tw::settings
