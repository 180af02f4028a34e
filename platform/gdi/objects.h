// Internal: the process-wide GDI handle table behind HDC, HPEN, HBRUSH, HFONT,
// HBITMAP, HPALETTE, HRGN and HENHMETAFILE values.
//
// Every GDI object derives from GdiObject and is inserted here; the handle
// names it until DeleteObject (or DeleteDC, DeleteEnhMetaFile) removes it.
// Objects are shared: a DC that still has a deleted pen selected keeps the
// pen alive, so nothing dangles. Lookups of unknown, stale or wrongly typed
// handles fail with ERROR_INVALID_HANDLE and never crash. Live handles are
// counted in tw::debug::Counter::GdiObjects (stock objects are not counted).
//
// Handle values are 32-bit (bit 31 set, never a kernel handle value); a handle
// that went through a 32-bit integer and was sign-extended still resolves.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "tw/lasterror.h"
#include "tw/wintypes.h"
#include "wingdi.h"
#include "winerror.h"

namespace tw::gdi {

// The usual exit for a bad argument: ERROR_INVALID_PARAMETER, false.
inline bool InvalidParameter() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

class GdiObject {
 public:
  GdiObject();
  virtual ~GdiObject() = default;
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  // OBJ_PEN, OBJ_BRUSH, ... as GetObjectType reports it. A new kind of
  // object (the metafile area's HENHMETAFILE objects) just returns its OBJ_*
  // number here; the table needs no registration.
  virtual DWORD Type() const = 0;
  // GetObjectW for this object: with pv null the size needed, else the
  // bytes written (at most cb); 0 with SetLastError when not supported.
  virtual int GetObjectData(int cb, void* pv) const;

  // Unique for the life of the process (handles are reused, serials never):
  // recorders key their object slots by it.
  std::uint64_t Serial() const { return serial_; }
  // The handle this object was inserted under, null before insertion and
  // after removal.
  HGDIOBJ Handle() const { return handle_.load(); }

 private:
  friend HGDIOBJ InsertObject(std::shared_ptr<GdiObject> object);
  friend bool RemoveObject(HGDIOBJ handle);
  friend HGDIOBJ InsertStockObject(std::shared_ptr<GdiObject> object, int index);
  std::uint64_t serial_;
  std::atomic<HGDIOBJ> handle_{nullptr};
};

// Inserts an object and returns its new handle (null with
// ERROR_NOT_ENOUGH_MEMORY when the table is full, ERROR_INVALID_PARAMETER for
// a null object).
TWCPPAPI HGDIOBJ InsertObject(std::shared_ptr<GdiObject> object);
// Inserts a stock object (index WHITE_BRUSH ... or -1): never counted, never
// removed by RemoveObject.
TWCPPAPI HGDIOBJ InsertStockObject(std::shared_ptr<GdiObject> object, int index);
// The object behind a handle, or null with ERROR_INVALID_HANDLE.
TWCPPAPI std::shared_ptr<GdiObject> LookupObject(HGDIOBJ handle);
// Typed lookup: null with ERROR_INVALID_HANDLE when the handle is unknown or
// names an object of another class.
template <class T>
std::shared_ptr<T> LookupObjectAs(HGDIOBJ handle) {
  auto object = LookupObject(handle);
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (object && !typed) SetLastError(ERROR_INVALID_HANDLE);
  return typed;
}
// Removes the handle; the object dies with its last reference. False (and
// ERROR_INVALID_HANDLE) when unknown; false (ERROR_ACCESS_DENIED, nothing
// removed) for a stock object.
TWCPPAPI bool RemoveObject(HGDIOBJ handle);
// True when the handle names a stock object; its index (WHITE_BRUSH ...) then
// goes to *index. The default 1x1 bitmap of memory DCs is stock but has no
// index: *index = -1.
TWCPPAPI bool IsStockObject(HGDIOBJ handle, int* index = nullptr);

}  // namespace tw::gdi
