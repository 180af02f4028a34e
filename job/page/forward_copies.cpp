// The page's metafiles for printer forwarding: for each copy the page and
// its decorations (with the copy's number) as enhanced metafiles in
// temporary files, handed to the forwarding data of the page.
#include <memory>
#include <string>
#include <vector>

#include "client/forward/forwarding.h"
#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "job/page/page_seams.h"
#include "render/emf/emf_image.h"

namespace {

struct EmfDeleter {
  void operator()(HENHMETAFILE h) const {
    if (h) DeleteEnhMetaFile(h);
  }
};
using EmfPtr = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, EmfDeleter>;

// A new temporary file name with `prefix` in the temporary folder; empty on failure.
std::u16string TempName(const WCHAR* prefix) {
  WCHAR dir[MAX_PATH] = {}, name[MAX_PATH] = {};
  if (!GetTempPathW(MAX_PATH, dir) || !GetTempFileNameW(dir, prefix, 0, name)) return {};
  return name;
}

// Saves the metafile (or, without one, an empty metafile of `frame`) to a new temporary file.
std::u16string SaveCopy(HENHMETAFILE emf, const RECT& frame, const WCHAR* prefix) {
  std::u16string name = TempName(prefix);
  if (name.empty()) return name;
  EmfPtr empty;
  if (!emf) {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    empty.reset(dc ? CloseEnhMetaFile(dc) : nullptr);
    emf = empty.get();
  }
  HENHMETAFILE saved = emf ? CopyEnhMetaFileW(emf, name.c_str()) : nullptr;
  if (!saved) {
    DeleteFileW(name.c_str());
    return {};
  }
  DeleteEnhMetaFile(saved);
  return name;
}

}  // namespace

namespace tw::page {

BOOL ForwardPageToPrinter(CTWJob& job, HGLOBAL hData, DWORD, BOOL bRaw, DWORD copies) {
  std::u16string first;
  std::vector<std::u16string> copyFiles;
  auto removeAll = [&] {
    if (!first.empty()) DeleteFileW(first.c_str());
    for (const auto& f : copyFiles) DeleteFileW(f.c_str());
  };
  for (DWORD copy = 1; copy <= copies; ++copy) {
    TarnwickDEVMODE record = job.m_DevMode;
    CEMFImage image;
    HENHMETAFILE page = nullptr, overlay = nullptr;
    EMFPageSizeF size;
    EMFResolutionF res;
    const BOOL made = bRaw ? image.CreateEnhMetaFileFromRawDataExt(hData, &record, &job, &page, &overlay, &size, &res,
                                                                    nullptr, copy)
                           : image.CreateEnhMetaFileExt(hData, &record, &job, &page, &overlay, &size, &res, nullptr,
                                                        TRUE, copy, nullptr);
    EmfPtr pageOwner(page), overlayOwner(overlay);
    if (!made) {
      Trace(u"ForwardPageToPrinter: the metafiles of copy %u could not be made", static_cast<unsigned>(copy));
      removeAll();
      return FALSE;
    }
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(page, sizeof header, &header);
    const RECT frame{header.rclFrame.left, header.rclFrame.top, header.rclFrame.right, header.rclFrame.bottom};
    if (copy == 1) {
      first = SaveCopy(page, frame, u"~tw");
      if (first.empty()) return FALSE;
    }
    std::u16string copyFile = SaveCopy(overlay, frame, u"~twa");
    if (copyFile.empty()) {
      removeAll();
      return FALSE;
    }
    copyFiles.push_back(std::move(copyFile));
  }
  HANDLE file = CreateFileW(first.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD fileSize = INVALID_FILE_SIZE;
  if (file != INVALID_HANDLE_VALUE) {
    fileSize = GetFileSize(file, nullptr);
    CloseHandle(file);
  }
  if (fileSize == 0 || fileSize == INVALID_FILE_SIZE) {
    removeAll();
    return TRUE;
  }
  return WritePrinterForwardingDataToRegistry(job, first.c_str(), fileSize, copyFiles);
}

}  // namespace tw::page
