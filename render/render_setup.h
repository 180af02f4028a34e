// What page rendering prepares when a job takes its DEVMODE record.
#pragma once

#include "job/devmode/tarnwick_devmode.h"
#include "tw/wintypes.h"

class CTWJob;

// Loads the Bates numbering profile of the record's BatesProfile.
BOOL SetupBatesNumber(CTWJob& job, const TarnwickDEVMODE* devMode);
// Sets up the pages-per-sheet layout from PagesPerSheet and PagesPerSheetFlags.
BOOL SetupPagesPerSheet(CTWJob& job, const TarnwickDEVMODE* devMode);
// Refreshes the record a page-rendering companion of the job holds.
BOOL RefreshCompanionDevMode(CTWJob& job, const TarnwickDEVMODE& devMode);
