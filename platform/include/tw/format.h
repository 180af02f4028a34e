// Internal: the printf engine behind the CRT's printf family and
// FormatMessageW's !format! inserts. Microsoft semantics (see tw/wcrt.h).
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tw/wintypes.h"

namespace tw::fmt {

// Where the engine takes its arguments from.
class ArgSource {
 public:
  virtual ~ArgSource() = default;
  virtual std::uint32_t Int32() = 0;
  virtual std::uint64_t Int64() = 0;
  virtual const void* Pointer() = 0;
  virtual double Double() = 0;
};

// The arguments of a va_list (copied; the caller's list is not advanced).
class VaArgs final : public ArgSource {
 public:
  explicit VaArgs(va_list args) { va_copy(m_args, args); }
  ~VaArgs() override { va_end(m_args); }
  VaArgs(const VaArgs&) = delete;
  VaArgs& operator=(const VaArgs&) = delete;
  std::uint32_t Int32() override { return va_arg(m_args, unsigned int); }
  std::uint64_t Int64() override { return va_arg(m_args, unsigned long long); }
  const void* Pointer() override { return va_arg(m_args, const void*); }
  double Double() override { return va_arg(m_args, double); }

 private:
  va_list m_args;
};

// Pointer-sized slots, as FormatMessageW's argument arrays hold them. Reading
// past the end gives 0.
class SlotArgs final : public ArgSource {
 public:
  explicit SlotArgs(std::vector<DWORD_PTR> slots) : m_slots(std::move(slots)) {}
  std::uint32_t Int32() override { return static_cast<std::uint32_t>(Next()); }
  std::uint64_t Int64() override { return Next(); }
  const void* Pointer() override { return reinterpret_cast<const void*>(Next()); }
  double Double() override {
    std::uint64_t bits = Next();
    double d;
    static_assert(sizeof(d) == sizeof(bits));
    std::memcpy(&d, &bits, sizeof(d));
    return d;
  }

 private:
  std::uint64_t Next() { return m_next < m_slots.size() ? m_slots[m_next++] : 0; }
  std::vector<DWORD_PTR> m_slots;
  size_t m_next = 0;
};

// Output into a buffer of `capacity` units (nothing is written when the
// buffer is null); `length` counts every unit produced, written or not.
template <class C>
struct Output {
  C* buffer = nullptr;
  size_t capacity = 0;
  size_t length = 0;
  void Put(C c) {
    if (buffer && length < capacity) buffer[length] = c;
    ++length;
  }
};

// Formats; the number of units produced, or -1 for a malformed format (errno
// EINVAL). Does not terminate.
template <class C>
int Format(Output<C>& out, const C* format, ArgSource& args);

extern template int Format<char>(Output<char>&, const char*, ArgSource&);
extern template int Format<char16_t>(Output<char16_t>&, const char16_t*, ArgSource&);

}  // namespace tw::fmt
