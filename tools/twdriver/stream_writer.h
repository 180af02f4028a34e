// Writes the driver's command stream, byte-exact, for tests and for
// `twdriver`: a START_DOC with the job's DEVMODE record, the pages, END_DOC.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"
#include "job/job/port_cmd.h"

namespace tw::twdriver {

// The output folder of a machine set up by `twspool init`, named by every
// record the driver writes.
inline constexpr char16_t kDefaultOutputDirectory[] = u"C:\\Users\\Public\\Documents\\Tarnwick";

// What the DEVMODE record says. The private part holds what a driver's
// installation writes: the codec libraries "TwTiff.dll" and "TwJpeg.dll",
// brightness 100 (unchanged), loss ratio 75, naming method 6 (files named
// after the document) and the output directory; the rest is zero.
struct DevModeOptions {
  std::u16string printer = u"Tarnwick Printer";
  SHORT paperSize = 1;          // DMPAPER_LETTER
  LONG paperWidth = 2159;       // 0.1 mm
  LONG paperLength = 2794;      // 0.1 mm
  SHORT orientation = 1;        // 1 portrait, 2 landscape
  LONG xDpi = 300;
  LONG yDpi = 300;
  std::optional<DWORD> colorMode;  // 0 b/w, 1 grey, 2 palette, 3 true colour; default 0
  std::u16string outputDirectory = kDefaultOutputDirectory;
  // A raw record (6879 bytes) or its private part (6659 bytes). Its private
  // part is sent as it is, except the colour mode when one is given (the
  // installation's values above are not used then).
  std::vector<BYTE> privatePart;
};
TarnwickDEVMODE MakeDevMode(const DevModeOptions& options);

// Deliberate faults for tests, applied to the command with the given index
// (0-based, in the order the commands were added).
struct Fault {
  enum Kind { WrongFlag, WrongSize, Truncate } kind;
  size_t command;
  DWORD bytes = 0;  // Truncate: payload bytes kept (the header still announces all)
};

class StreamWriter {
 public:
  void StartDoc(const TarnwickDEVMODE& dm);
  void StartPage(const TarnwickDEVMODE& dm);
  void EndPage(std::span<const BYTE> emf);
  void EndPageRaw(std::span<const BYTE> packedDib);
  void TextOut(LONG x, LONG y, std::u16string_view text);
  void EndDoc();
  // Any command, for tests (a DEVMODE of the wrong size, an unknown code).
  void Command(DWORD type, std::span<const BYTE> payload);

  void AddFault(const Fault& fault) { faults_.push_back(fault); }
  size_t CommandCount() const { return commands_.size(); }
  std::vector<BYTE> Bytes() const;

 private:
  struct Cmd {
    DWORD type;
    std::vector<BYTE> payload;
  };
  std::vector<Cmd> commands_;
  std::vector<Fault> faults_;
};

// A page from a file: an enhanced metafile (END_PAGE) or a BMP file whose
// packed DIB goes as END_PAGE_RAW. Empty optional and `error` set otherwise.
struct PageFile {
  bool raw = false;
  std::vector<BYTE> bytes;
};
std::optional<PageFile> ReadPageFile(const std::string& path, std::string& error);

}  // namespace tw::twdriver
