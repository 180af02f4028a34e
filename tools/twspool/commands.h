// twspool's command table. A command is a function of the context and its
// arguments (the global --root and --monitor-dll are already taken out); it
// returns the exit status and reports failures by throwing Failure, whose
// message main prints as one line. New commands ("events", "settings" ...)
// are added to the table in commands.cpp.
#pragma once

#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "spooler_host.h"

namespace twspool {

struct Failure {
  std::string message;
  int code = 1;  // 2: usage error
};

class Context {
 public:
  Context(std::ostream& out, std::u16string monitorDll, bool terminal = false)
      : m_out(out), m_monitorDll(std::move(monitorDll)), m_terminal(terminal) {}
  std::ostream& Out() { return m_out; }
  // Out() is a terminal: commands may show progress there.
  bool Terminal() const { return m_terminal; }
  const std::u16string& MonitorDll() const { return m_monitorDll; }
  // The spooler host with the monitor loaded (on first use); throws Failure.
  SpoolerHost& Host();

 private:
  std::ostream& m_out;
  std::u16string m_monitorDll;
  bool m_terminal;
  std::unique_ptr<SpoolerHost> m_host;
};

using CommandFunction = int (*)(Context& context, const std::vector<std::string>& args);

struct Command {
  const char* name;
  const char* usage;  // one line: arguments and what the command does
  CommandFunction run;
};

std::span<const Command> Commands();

// Helpers for command functions.
std::u16string U16(const std::string& utf8);
// Takes "--name VALUE" or "--name=VALUE" out of args; false when absent.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
// Rejects leftover options ("--x") with a usage error.
void RejectOptions(const std::vector<std::string>& args);

int CmdInit(Context& context, const std::vector<std::string>& args);
int CmdAddPrinter(Context& context, const std::vector<std::string>& args);
int CmdDeletePrinter(Context& context, const std::vector<std::string>& args);
int CmdPrinters(Context& context, const std::vector<std::string>& args);
int CmdAddPort(Context& context, const std::vector<std::string>& args);
int CmdDeletePort(Context& context, const std::vector<std::string>& args);
int CmdPorts(Context& context, const std::vector<std::string>& args);
int CmdPrint(Context& context, const std::vector<std::string>& args);
int CmdEvents(Context& context, const std::vector<std::string>& args);
int CmdSettings(Context& context, const std::vector<std::string>& args);

}  // namespace twspool
