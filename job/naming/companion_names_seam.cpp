// Stand-in for the text, mail-merge and OCR names beside the output name
// until text output and OCR are built: their names stay as they were.
#include "job/naming/naming.h"

BOOL MakeCompanionFileNames(CTWJob&, BOOL) { return TRUE; }
