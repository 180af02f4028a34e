// The process-wide GDI handle table.
#include "objects.h"

#include <deque>
#include <mutex>
#include <vector>

#include "tw/debug.h"
#include "winerror.h"

namespace tw::gdi {
namespace {

// Handle layout: bit 31 set, bits 26..30 the object type, bits 20..25 a
// generation that changes each time a slot is reused, bits 0..19 the slot.
constexpr ULONG_PTR kTag = 0x80000000u;
constexpr unsigned kSlotBits = 20;
constexpr ULONG_PTR kSlotMask = (1u << kSlotBits) - 1;
constexpr unsigned kGenShift = 20;
constexpr ULONG_PTR kGenMask = 0x3F;
constexpr unsigned kTypeShift = 26;
constexpr ULONG_PTR kTypeMask = 0x1F;

struct Slot {
  std::shared_ptr<GdiObject> object;
  unsigned generation = 0;
  bool stock = false;
  int stockIndex = -1;
};

struct Table {
  std::mutex mutex;
  std::vector<Slot> slots{1};  // slot 0 is never used
  std::deque<std::size_t> free;  // reused oldest first, so stale handles stay invalid longer
};

Table& table() {
  static Table* t = new Table;  // outlives static destructors that delete objects
  return *t;
}

std::atomic<std::uint64_t> g_serial{1};

ULONG_PTR encode(std::size_t slot, unsigned generation, DWORD type) {
  return kTag | ((static_cast<ULONG_PTR>(type) & kTypeMask) << kTypeShift) |
         ((static_cast<ULONG_PTR>(generation) & kGenMask) << kGenShift) | slot;
}

// Slot index for a handle value, or 0 when it cannot be one of ours.
std::size_t decodeSlot(HGDIOBJ handle) {
  auto value = reinterpret_cast<ULONG_PTR>(handle) & 0xFFFFFFFFu;
  if (!(value & kTag)) return 0;
  return value & kSlotMask;
}

bool matches(const Slot& slot, HGDIOBJ handle) {
  return slot.object && slot.object->Handle() &&
         (reinterpret_cast<ULONG_PTR>(slot.object->Handle()) & 0xFFFFFFFFu) ==
             (reinterpret_cast<ULONG_PTR>(handle) & 0xFFFFFFFFu);
}

HGDIOBJ insert(std::shared_ptr<GdiObject> object, bool stock, int stockIndex,
               std::atomic<HGDIOBJ>& handleField) {
  auto& t = table();
  ULONG_PTR value;
  {
    std::lock_guard lock(t.mutex);
    std::size_t index;
    if (!t.free.empty() && (t.free.size() > 1024 || t.slots.size() > kSlotMask)) {
      index = t.free.front();
      t.free.pop_front();
    } else if (t.slots.size() <= kSlotMask) {
      index = t.slots.size();
      t.slots.emplace_back();
    } else {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    Slot& slot = t.slots[index];
    slot.generation = (slot.generation + 1) & kGenMask;
    slot.stock = stock;
    slot.stockIndex = stockIndex;
    value = encode(index, slot.generation, object->Type());
    handleField.store(reinterpret_cast<HGDIOBJ>(value));
    slot.object = std::move(object);
  }
  if (!stock) tw::debug::Add(tw::debug::Counter::GdiObjects, 1);
  return reinterpret_cast<HGDIOBJ>(value);
}

}  // namespace

GdiObject::GdiObject() : serial_(g_serial.fetch_add(1)) {}

int GdiObject::GetObjectData(int, void*) const {
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

HGDIOBJ InsertObject(std::shared_ptr<GdiObject> object) {
  if (!object || object->Handle()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* raw = object.get();
  return insert(std::move(object), false, -1, raw->handle_);
}

HGDIOBJ InsertStockObject(std::shared_ptr<GdiObject> object, int index) {
  if (!object || object->Handle()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* raw = object.get();
  return insert(std::move(object), true, index, raw->handle_);
}

std::shared_ptr<GdiObject> LookupObject(HGDIOBJ handle) {
  std::size_t index = decodeSlot(handle);
  auto& t = table();
  std::lock_guard lock(t.mutex);
  if (index == 0 || index >= t.slots.size() || !matches(t.slots[index], handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return t.slots[index].object;
}

bool RemoveObject(HGDIOBJ handle) {
  std::shared_ptr<GdiObject> object;  // released outside the lock
  {
    std::size_t index = decodeSlot(handle);
    auto& t = table();
    std::lock_guard lock(t.mutex);
    if (index == 0 || index >= t.slots.size() || !matches(t.slots[index], handle)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    Slot& slot = t.slots[index];
    if (slot.stock) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    object = std::move(slot.object);
    object->handle_.store(nullptr);
    t.free.push_back(index);
  }
  tw::debug::Add(tw::debug::Counter::GdiObjects, -1);
  return true;
}

bool IsStockObject(HGDIOBJ handle, int* index) {
  std::size_t slotIndex = decodeSlot(handle);
  auto& t = table();
  std::lock_guard lock(t.mutex);
  if (slotIndex == 0 || slotIndex >= t.slots.size() || !matches(t.slots[slotIndex], handle)) return false;
  const Slot& slot = t.slots[slotIndex];
  if (slot.stock && index) *index = slot.stockIndex;
  return slot.stock;
}

}  // namespace tw::gdi
