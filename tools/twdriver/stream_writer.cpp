#include "tools/twdriver/stream_writer.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "job/devmode/devmode_access.h"

namespace tw::twdriver {
namespace {

constexpr DWORD kEmfSignature = 0x464D4520;  // " EMF"
constexpr WORD kBmpSignature = 0x4D42;       // "BM"
constexpr size_t kBmpFileHeader = 14;

std::vector<BYTE> RecordBytes(const TarnwickDEVMODE& dm) {
  std::vector<BYTE> bytes(sizeof dm);
  std::memcpy(bytes.data(), &dm, sizeof dm);
  return bytes;
}

template <typename T>
T ReadAt(const std::vector<BYTE>& bytes, size_t offset) {
  T value{};
  if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

}  // namespace

TarnwickDEVMODE MakeDevMode(const DevModeOptions& o) {
  TarnwickDEVMODE dm{};
  bool raw = !o.privatePart.empty();
  if (o.privatePart.size() == tw::devmode::kDevModeSize)
    std::memcpy(&dm, o.privatePart.data(), sizeof dm);
  else if (o.privatePart.size() == tw::devmode::kPrivatePartSize)
    std::memcpy(reinterpret_cast<BYTE*>(&dm) + tw::devmode::kStandardPartSize, o.privatePart.data(),
                o.privatePart.size());
  dm.DM.dmDeviceName.Set(o.printer.substr(0, 31));
  dm.DM.dmSpecVersion = 0x0401;
  dm.DM.dmSize = tw::devmode::kStandardPartSize;
  dm.DM.dmDriverExtra = tw::devmode::kPrivatePartSize;
  dm.DM.dmFields = tw::devmode::kDmOrientation | tw::devmode::kDmPaperSize | tw::devmode::kDmPaperLength |
                   tw::devmode::kDmPaperWidth | tw::devmode::kDmScale | tw::devmode::kDmPrintQuality |
                   tw::devmode::kDmYResolution;
  dm.DM.dmOrientation = o.orientation;
  dm.DM.dmPaperSize = o.paperSize;
  dm.DM.dmScale = 100;
  dm.DM.dmCopies = 1;
  tw::devmode::SetPaperWidth(dm, o.paperWidth);
  tw::devmode::SetPaperLength(dm, o.paperLength);
  tw::devmode::SetResolution(dm, o.xDpi, o.yDpi);
  if (o.colorMode || !raw) tw::devmode::SetColorMode(dm, o.colorMode.value_or(0));
  if (!raw) {
    dm.OutputDirectory.Set(o.outputDirectory);
    dm.TiffDllName.Set(u"TwTiff.dll");
    dm.JpegDllName.Set(u"TwJpeg.dll");
    dm.Brightness = 100;
    dm.LossRatio = 75;
    dm.FileGenerationMethod = 6;
  }
  dm.DM.dmColor = tw::devmode::GetColorMode(&dm) == 0 ? 1 : 2;  // DMCOLOR_MONOCHROME / DMCOLOR_COLOR
  // A raw record keeps its own page size in pixels.
  if (!raw) tw::devmode::ComputePaperPixels(dm);
  return dm;
}

void StreamWriter::StartDoc(const TarnwickDEVMODE& dm) { commands_.push_back({PORT_CMD_START_DOC, RecordBytes(dm)}); }
void StreamWriter::StartPage(const TarnwickDEVMODE& dm) {
  commands_.push_back({PORT_CMD_START_PAGE, RecordBytes(dm)});
}
void StreamWriter::EndPage(std::span<const BYTE> emf) {
  commands_.push_back({PORT_CMD_END_PAGE, {emf.begin(), emf.end()}});
}
void StreamWriter::EndPageRaw(std::span<const BYTE> dib) {
  commands_.push_back({PORT_CMD_END_PAGE_RAW, {dib.begin(), dib.end()}});
}
void StreamWriter::TextOut(LONG x, LONG y, std::u16string_view text) {
  std::vector<BYTE> payload(8 + (text.size() + 1) * 2, 0);
  std::memcpy(payload.data(), &x, 4);
  std::memcpy(payload.data() + 4, &y, 4);
  if (!text.empty()) std::memcpy(payload.data() + 8, text.data(), text.size() * 2);
  commands_.push_back({PORT_CMD_WRITE_TEXT_OUT, std::move(payload)});
}
void StreamWriter::EndDoc() { commands_.push_back({PORT_CMD_END_DOC, {}}); }
void StreamWriter::Command(DWORD type, std::span<const BYTE> payload) {
  commands_.push_back({type, {payload.begin(), payload.end()}});
}

std::vector<BYTE> StreamWriter::Bytes() const {
  std::vector<BYTE> out;
  for (size_t i = 0; i < commands_.size(); ++i) {
    const Cmd& cmd = commands_[i];
    PORT_COMMAND header{TARNWICK_CMD_FLAG, sizeof(PORT_COMMAND), cmd.type, static_cast<DWORD>(cmd.payload.size())};
    size_t keep = cmd.payload.size();
    for (const Fault& f : faults_) {
      if (f.command != i) continue;
      if (f.kind == Fault::WrongFlag) header.dwFlag ^= 0x1;
      if (f.kind == Fault::WrongSize) header.dwCommandSize = 24;
      if (f.kind == Fault::Truncate) keep = std::min<size_t>(keep, f.bytes);
    }
    const auto* h = reinterpret_cast<const BYTE*>(&header);
    out.insert(out.end(), h, h + sizeof header);
    out.insert(out.end(), cmd.payload.begin(), cmd.payload.begin() + static_cast<ptrdiff_t>(keep));
  }
  return out;
}

std::optional<PageFile> ReadPageFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() >= 88 && ReadAt<DWORD>(bytes, 0) == 1 && ReadAt<DWORD>(bytes, 40) == kEmfSignature)
    return PageFile{false, std::move(bytes)};
  if (bytes.size() > kBmpFileHeader + 40 && ReadAt<WORD>(bytes, 0) == kBmpSignature) {
    // The raw page is the packed DIB: the file without its file header.
    return PageFile{true, std::vector<BYTE>(bytes.begin() + kBmpFileHeader, bytes.end())};
  }
  error = path + " is neither an enhanced metafile nor a BMP file";
  return std::nullopt;
}

}  // namespace tw::twdriver
