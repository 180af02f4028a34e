// twspool commands that set up the machine: init, printers and ports.
#include "commands.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "job/settings/printer_ids.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/pathmap.h"
#include "tw/ui.h"
#include "tw/utf.h"

namespace twspool {
namespace {

constexpr char16_t kDefaultPrinter[] = u"Tarnwick Printer";
constexpr char16_t kDefaultPort[] = u"TW01:";
constexpr char16_t kDriverName[] = u"Tarnwick Printer Driver";
constexpr char16_t kDataFile[] = u"TARNWICK.INI";
constexpr DWORD kDevModeSize = 6879;  // the driver's DEVMODE: 220-byte head + 6659 private bytes

const Command kCommands[] = {
    {"init", "init                      a fresh machine state: monitor, port TW01:, \"Tarnwick Printer\"", CmdInit},
    {"add-printer", "add-printer NAME [--port PORT]", CmdAddPrinter},
    {"delete-printer", "delete-printer NAME", CmdDeletePrinter},
    {"printers", "printers                  lists name, port, driver and data file", CmdPrinters},
    {"add-port", "add-port PORT             asks the monitor to add a port", CmdAddPort},
    {"delete-port", "delete-port PORT", CmdDeletePort},
    {"ports", "ports [--level 1|2]       lists the monitor's ports", CmdPorts},
    {"print",
     "print [--quiet] [[--printer NAME] [--document NAME] [--user NAME] [--block-size N] [--delete-after BYTES] "
     "FILE]...",
     CmdPrint},
    {"events", "events [--source NAME] [--type error|warning|information] [--last N] [--json]", CmdEvents},
    {"settings", "settings PRINTER [--reg] [--ini FILE]  a printer's effective settings", CmdSettings},
};

std::string Utf8(std::u16string_view s) { return tw::ToUtf8(s); }

std::filesystem::path HostPath(std::u16string_view windowsPath) {
  std::filesystem::path p;
  if (DWORD e = tw::path::ToHost(windowsPath, p))
    throw Failure{"cannot map " + Utf8(windowsPath) + " (error " + std::to_string(e) + ")"};
  return p;
}

// The default settings record of a new printer: what the driver's
// installation writes (the record twdriver sends by default).
std::vector<BYTE> DefaultDevMode(std::u16string_view printer) {
  tw::twdriver::DevModeOptions options;
  options.printer = std::u16string(printer);
  TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
  static_assert(sizeof dm == kDevModeSize);
  std::vector<BYTE> bytes(kDevModeSize);
  std::memcpy(bytes.data(), &dm, sizeof dm);
  return bytes;
}

// The output folder every record names.
void MakeOutputFolder() {
  std::error_code ec;
  auto folder = HostPath(tw::twdriver::kDefaultOutputDirectory);
  std::filesystem::create_directories(folder, ec);
  if (ec) throw Failure{"cannot make the output folder " + Utf8(tw::twdriver::kDefaultOutputDirectory) + ": " +
                        ec.message()};
}

// Links every module of the build's bin/ folder into C:\Windows\System32, so
// that the spooler finds the monitor and the monitor its plug-ins there.
void InstallModules() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw Failure{"cannot find twspool's own folder"};
  auto system32 = HostPath(u"C:\\Windows\\System32");
  std::filesystem::create_directories(system32, ec);
  for (const auto& entry : std::filesystem::directory_iterator(exe.parent_path(), ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() < 5 || !entry.is_regular_file()) continue;
    std::string ext = name.substr(name.size() - 4);
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dll") continue;
    auto target = system32 / name;
    std::error_code e2;
    if (std::filesystem::is_symlink(target, e2)) {
      if (std::filesystem::read_symlink(target, e2) == entry.path()) continue;
      std::filesystem::remove(target, e2);
    } else if (std::filesystem::exists(target, e2)) {
      continue;  // a copy someone put there stays
    }
    std::filesystem::create_symlink(entry.path(), target, e2);
    if (e2) throw Failure{"cannot link " + name + " into C:\\Windows\\System32: " + e2.message()};
  }
}

void EnsureDriver() {
  tw::spool::DriverSetup driver{kDriverName, u"TWDRIVER.DLL", kDataFile, u"TWDRVUI.DLL"};
  if (DWORD e = tw::spool::MachineSpooler::AddDriver(driver))
    throw Failure{"cannot register the printer driver (error " + std::to_string(e) + ")"};
  auto ini = HostPath(tw::spool::MachineSpooler::DriverFilePath(kDataFile));
  std::error_code ec;
  std::filesystem::create_directories(ini.parent_path(), ec);
  if (!std::filesystem::exists(ini, ec)) {
    std::ofstream out(ini, std::ios::binary);
    out << "[Default Settings]\r\nPlugin Filename=TwPlugIn.dll\r\n";
    if (!out) throw Failure{"cannot write the driver's data file " + ini.string()};
  }
}

void AddPrinter(std::u16string_view name, std::u16string_view port) {
  tw::spool::PrinterSetup p;
  p.name = name;
  p.port = port;
  p.driver = kDriverName;
  p.defaultDevMode = DefaultDevMode(name);
  DWORD e = tw::spool::MachineSpooler::AddPrinter(p);
  if (e == ERROR_PRINTER_ALREADY_EXISTS) throw Failure{"printer \"" + Utf8(name) + "\" already exists"};
  if (e == ERROR_INVALID_PRINTER_NAME) throw Failure{"invalid printer name \"" + Utf8(name) + "\""};
  if (e) throw Failure{"cannot add printer \"" + Utf8(name) + "\" (error " + std::to_string(e) + ")"};
  // A configuration program gives every new printer its id.
  if (!tw::settings::AssignPrinterId(name))
    throw Failure{"cannot give printer \"" + Utf8(name) + "\" its printer id"};
}

// Sends the Xcv "AddPort" request the way the port wizard does: the monitor
// reads the name from TwMonitor.ini (or asks for it with its dialog) and
// answers 0 whatever happened, so the result is judged by the port list and
// by the message box the monitor showed. Returns the port that appeared
// (the dialog may have named another one than asked for).
std::u16string AddPort(Context& context, std::u16string_view port) {
  SpoolerHost& host = context.Host();
  std::u16string name(port);
  if (!WritePrivateProfileStringW(u"PortName", u"PortName", name.c_str(), u"TwMonitor.ini"))
    throw Failure{"cannot write TwMonitor.ini (error " + std::to_string(GetLastError()) + ")"};
  std::vector<PortEntry> before, after;
  DWORD error = 0;
  if (!host.EnumPorts(1, before, error))
    throw Failure{"the monitor cannot list its ports (error " + std::to_string(error) + ")"};
  size_t shown = tw::ui::MessageBoxes().size();
  host.Xcv(u"AddPort", port);
  if (!host.EnumPorts(1, after, error))
    throw Failure{"the monitor cannot list its ports (error " + std::to_string(error) + ")"};
  for (const auto& p : after) {
    bool old = std::any_of(before.begin(), before.end(), [&](const PortEntry& b) { return b.name == p.name; });
    if (!old) return p.name;
  }
  auto boxes = tw::ui::MessageBoxes();
  if (boxes.size() > shown) throw Failure{"the monitor refused: " + Utf8(boxes.back().text)};
  throw Failure{"the monitor did not add port " + Utf8(port)};
}

DWORD ParseNumber(const std::string& text, const char* what) {
  try {
    size_t used = 0;
    unsigned long long v = std::stoull(text, &used, 10);
    if (used == text.size() && v <= 0xFFFFFFFFull) return static_cast<DWORD>(v);
  } catch (...) {
  }
  throw Failure{std::string(what) + " must be a number, not \"" + text + "\"", 2};
}

}  // namespace

std::span<const Command> Commands() { return kCommands; }

std::u16string U16(const std::string& utf8) { return tw::FromUtf8(utf8); }

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      if (i + 1 >= args.size()) throw Failure{name + " needs a value", 2};
      value = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      return true;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      value = args[i].substr(name.size() + 1);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

void RejectOptions(const std::vector<std::string>& args) {
  for (const auto& a : args)
    if (a.size() > 1 && a.rfind("--", 0) == 0) throw Failure{"unknown option " + a, 2};
}

SpoolerHost& Context::Host() {
  if (!m_host) {
    auto host = std::make_unique<SpoolerHost>();
    std::string error;
    if (!host->Load(kMonitorName, m_monitorDll, error)) throw Failure{error};
    m_host = std::move(host);
  }
  return *m_host;
}

int CmdInit(Context& context, const std::vector<std::string>& args) {
  RejectOptions(args);
  if (!args.empty()) throw Failure{"init takes no arguments", 2};
  InstallModules();
  EnsureDriver();
  MakeOutputFolder();
  SpoolerHost& host = context.Host();
  if (!host.HasPort(kDefaultPort)) AddPort(context, kDefaultPort);
  if (!context.Host().Spooler()->PrinterExists(kDefaultPrinter)) AddPrinter(kDefaultPrinter, kDefaultPort);
  context.Out() << "Machine ready: monitor \"" << Utf8(kMonitorName) << "\", port " << Utf8(kDefaultPort)
                << ", printer \"" << Utf8(kDefaultPrinter) << "\", output folder "
                << Utf8(tw::twdriver::kDefaultOutputDirectory) << ".\n";
  return 0;
}

int CmdAddPrinter(Context& context, const std::vector<std::string>& argsIn) {
  auto args = argsIn;
  std::string port = Utf8(kDefaultPort);
  TakeOption(args, "--port", port);
  RejectOptions(args);
  if (args.size() != 1) throw Failure{"add-printer needs one printer name", 2};
  std::u16string name = U16(args[0]);
  if (!context.Host().HasPort(U16(port))) throw Failure{"the monitor has no port " + port};
  EnsureDriver();
  AddPrinter(name, U16(port));
  context.Out() << "Printer \"" << args[0] << "\" added on " << port << ".\n";
  return 0;
}

int CmdDeletePrinter(Context& context, const std::vector<std::string>& args) {
  RejectOptions(args);
  if (args.size() != 1) throw Failure{"delete-printer needs one printer name", 2};
  DWORD e = tw::spool::MachineSpooler::DeletePrinter(U16(args[0]));
  if (e == ERROR_INVALID_PRINTER_NAME) throw Failure{"no printer named \"" + args[0] + "\""};
  if (e) throw Failure{"cannot delete printer \"" + args[0] + "\" (error " + std::to_string(e) + ")"};
  context.Out() << "Printer \"" << args[0] << "\" deleted.\n";
  return 0;
}

int CmdPrinters(Context& context, const std::vector<std::string>& args) {
  RejectOptions(args);
  if (!args.empty()) throw Failure{"printers takes no arguments", 2};
  auto spooler = std::make_shared<tw::spool::MachineSpooler>();
  for (const auto& p : tw::spool::MachineSpooler::Printers()) {
    std::string dataFile;
    std::unique_ptr<tw::spool::PrinterSession> session;
    tw::spool::DriverRecord driver;
    if (spooler->OpenPrinter(p.printerName, PRINTER_ACCESS_USE, session) == 0 && session->GetDriver(u"", driver) == 0)
      dataFile = Utf8(driver.dataFile);
    context.Out() << Utf8(p.printerName) << "\t" << Utf8(p.portName) << "\t" << Utf8(p.driverName) << "\t"
                  << dataFile << "\n";
  }
  return 0;
}

int CmdAddPort(Context& context, const std::vector<std::string>& args) {
  RejectOptions(args);
  if (args.size() != 1 || args[0].empty()) throw Failure{"add-port needs one port name", 2};
  std::u16string added = AddPort(context, U16(args[0]));
  context.Out() << "Port " << Utf8(added) << " added.\n";
  return 0;
}

int CmdDeletePort(Context& context, const std::vector<std::string>& args) {
  RejectOptions(args);
  if (args.size() != 1 || args[0].empty()) throw Failure{"delete-port needs one port name", 2};
  std::u16string port = U16(args[0]);
  for (const auto& p : tw::spool::MachineSpooler::Printers()) {
    if (CompareStringOrdinal(p.portName.c_str(), -1, port.c_str(), -1, TRUE) == CSTR_EQUAL)
      throw Failure{"port " + args[0] + " is in use by printer \"" + Utf8(p.printerName) + "\""};
  }
  SpoolerHost& host = context.Host();
  if (!host.HasPort(port)) throw Failure{"the monitor has no port " + args[0]};
  host.Xcv(u"DeletePort", port);
  if (host.HasPort(port)) throw Failure{"the monitor did not delete port " + args[0]};
  context.Out() << "Port " << args[0] << " deleted.\n";
  return 0;
}

int CmdPorts(Context& context, const std::vector<std::string>& argsIn) {
  auto args = argsIn;
  std::string levelText = "1";
  TakeOption(args, "--level", levelText);
  RejectOptions(args);
  if (!args.empty()) throw Failure{"ports takes no arguments besides --level", 2};
  DWORD level = ParseNumber(levelText, "--level");
  if (level != 1 && level != 2) throw Failure{"--level must be 1 or 2", 2};
  std::vector<PortEntry> ports;
  DWORD error = 0;
  if (!context.Host().EnumPorts(level, ports, error))
    throw Failure{"the monitor cannot list its ports (error " + std::to_string(error) + ")"};
  for (const auto& p : ports) {
    context.Out() << Utf8(p.name);
    if (level == 2) context.Out() << "\t" << Utf8(p.monitor) << "\t" << Utf8(p.description) << "\t" << p.type;
    context.Out() << "\n";
  }
  return 0;
}

}  // namespace twspool
