// Internal: playing metafile records onto a DC through the public GDI calls.
//
// The DC never sees the metafile's mapping mode: while a metafile plays, the
// DC is in MM_TEXT, GM_ADVANCED, and its world transform is the composition
//   metafile world transform -> metafile window/viewport mapping
//   -> reference-device pixels to the destination rectangle (the frame
//      mapping) -> the caller's own transform
// so GetWorldTransform and LPtoDP inside an enumeration callback answer for
// the record being played, and a recorder DC that receives the calls writes
// a self-contained metafile.
#pragma once
#include <memory>
#include <span>
#include <vector>

#include "../transform.h"
#include "emf_reader.h"

namespace tw::emf {

using tw::gdi::Matrix;

// True when every element of a transform is a finite number.
bool Finite(const Matrix& m);

// The mapping state of the metafile being played (what the DC would hold if
// the metafile's own SETMAPMODE/window/viewport records were applied to it).
struct MappingState {
  int mapMode = 1;  // MM_TEXT
  POINTL windowOrg{0, 0};
  SIZEL windowExt{1, 1};
  POINTL viewportOrg{0, 0};
  SIZEL viewportExt{1, 1};
  Matrix world;
};

enum class PlayResult { Ok, Failed, Malformed };

class EnhMetaFileData;

// One playback in progress: what PlayEnhMetaFileRecord needs to find when an
// enumeration callback hands a record back.
struct PlaybackContext {
  HDC hdc = nullptr;
  HANDLETABLE* table = nullptr;
  UINT tableSize = 0;
  const BYTE* dataBegin = nullptr;  // the metafile's bytes (records inside are bounded by them)
  const BYTE* dataEnd = nullptr;
  ENHMETAHEADER header{};
  Matrix init;                      // reference-device pixels -> target device
  MappingState state;
  std::vector<MappingState> saved;  // one per EMR_SAVEDC still outstanding
  bool malformed = false;           // set when a record handed back proved damaged: playback ends
};

// Plays one record (already bounded: `record` has `record.Size()` readable
// bytes) with the context's handle table and transform.
PlayResult PlayRecord(PlaybackContext& context, const RecordView& record);

// Recomputes the DC's world transform from the mapping state and `init`.
bool ApplyTransform(PlaybackContext& context);

// Record groups (one file each).
PlayResult PlayStateRecord(PlaybackContext& context, const RecordView& record, bool& handled);
PlayResult PlayObjectRecord(PlaybackContext& context, const RecordView& record, bool& handled);
PlayResult PlayDrawingRecord(PlaybackContext& context, const RecordView& record, bool& handled);
PlayResult PlayBitmapRecord(PlaybackContext& context, const RecordView& record, bool& handled);
PlayResult PlayTextRecord(PlaybackContext& context, const RecordView& record, bool& handled);

// The object in handle-table slot `index` (or the stock object an index with
// the high bit names), or null.
HGDIOBJ SlotObject(const PlaybackContext& context, DWORD index);
// Stores a new object in slot `index`, deleting what was there; false (and
// the object deleted) when the index is outside the table.
bool StoreObject(PlaybackContext& context, DWORD index, HGDIOBJ object);

// Reads a region (RGNDATA) from a record and makes it, optionally through a
// transform. Null when the data is damaged (malformed) or GDI refuses it.
HRGN MakeRegion(const RecordView& record, size_t offset, DWORD cbRgnData, const XFORM* xform, bool& malformed);

inline PlayResult Result(BOOL ok) { return ok ? PlayResult::Ok : PlayResult::Failed; }
// A record's bitmap as ReadDib found it: a refused header fails the record
// alone, sizes that lie stop playback.
inline PlayResult Result(DibRead read) {
  return read == DibRead::Ok ? PlayResult::Ok : read == DibRead::Refused ? PlayResult::Failed : PlayResult::Malformed;
}

}  // namespace tw::emf
