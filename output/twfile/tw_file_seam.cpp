// Stand-in for the writer factory until the writers are built: every format
// gets a writer that accepts pages and stores nothing.
#include "output/twfile/tw_file.h"

namespace {

class CTWNullFile final : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) override { return TRUE; }
  BOOL OpenDocument(const WCHAR*) override { return TRUE; }
  BOOL CloseDocument() override { return TRUE; }
};

}  // namespace

std::unique_ptr<CTWFile> CTWFile::CreateTWFileObject(DWORD) { return std::make_unique<CTWNullFile>(); }
