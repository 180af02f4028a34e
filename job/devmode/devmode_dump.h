// The two record dumps: the standard part and the whole record, as the lines
// the job traces and twdriver --dump prints.
#pragma once

#include <string>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"

namespace tw::devmode {

// "######################## DUMP Windows DEVMODE ########################",
// one line per standard value, then the end line.
std::vector<std::u16string> DumpStandardPart(const TarnwickDEVMODE& dm);
// "######################## DUMP DEVMODE ########################", the
// private values (numbers by the reading rules, switches 1 or 0), the end line.
std::vector<std::u16string> DumpRecord(const TarnwickDEVMODE& dm);

// twdriver --dump: the standard-part dump followed by the record dump.
std::vector<std::u16string> DecodedRecordLines(const TarnwickDEVMODE& dm);

// One dump line: the label padded with spaces so that the colon stands in
// column 28 ("File format                 : 7"), then the value.
std::u16string DumpLine(std::u16string_view label, std::u16string_view value);

}  // namespace tw::devmode
