// The fields of TarnwickDEVMODE by name: offset, kind and size, so that tools
// set and print any field by its name ("FileFormat", "dmPaperSize",
// "OutputDirectory").
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"

namespace tw::devmode {

enum class FieldKind {
  U8,
  U16,
  I16,
  U32,
  I32,
  String,     // `count` UTF-16 units, zero-terminated within the field
  Bytes,      // `count` bytes
  U16Array,   // `count` u16 values
};

struct FieldInfo {
  const char16_t* name;
  std::size_t offset;
  FieldKind kind;
  std::size_t count;  // units, bytes or elements; 1 for plain numbers
  std::size_t Size() const;
};

// Every named field, in record order.
std::span<const FieldInfo> AllFields();
// A field by name, case-insensitive; "DM." before a standard member is allowed.
const FieldInfo* FindField(std::u16string_view name);

// The field's value as text: decimal numbers, the string itself, or
// comma-separated decimal values for byte and u16 arrays.
std::u16string GetFieldText(const TarnwickDEVMODE& dm, const FieldInfo& field);
// Sets a field from text in the same forms; numbers may also be written as
// 0x-prefixed hexadecimal. Returns false (and leaves the field unchanged)
// for text that does not parse, a number out of the field's range, or a
// string that does not fit with its terminator.
bool SetFieldText(TarnwickDEVMODE& dm, const FieldInfo& field, std::u16string_view text);
// Name=value form of SetFieldText; false for an unknown name or bad value.
bool SetFieldByName(TarnwickDEVMODE& dm, std::u16string_view name, std::u16string_view text);

// Every named field as "Name=value" lines in record order; each line read
// back with SetFieldByName gives the field again (strings that fill their
// field without a terminator excepted).
std::vector<std::u16string> DumpFields(const TarnwickDEVMODE& dm);
// Applies one "Name=value" line; false for a line without "=", an unknown
// name or a bad value.
bool SetFieldFromLine(TarnwickDEVMODE& dm, std::u16string_view line);

// twdriver --set: applies "Name=Value" assignments in order. On the first
// one that cannot be applied returns false with a message naming it; the
// assignments before it stay applied.
bool ApplyFieldAssignments(TarnwickDEVMODE& dm, std::span<const std::u16string> assignments, std::u16string& error);

// The record from a file's bytes: exactly the record's size. False with a
// message otherwise.
bool RecordFromBytes(std::span<const BYTE> bytes, TarnwickDEVMODE& dm, std::u16string& error);

}  // namespace tw::devmode
