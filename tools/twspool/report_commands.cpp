// twspool commands that report what the machine holds: events and settings.
#include <iostream>

#include "commands.h"
#include "events_command.h"
#include "settings_command.h"
#include "tw/root.h"

namespace twspool {

int CmdEvents(Context& context, const std::vector<std::string>& args) {
  std::vector<std::u16string> wide;
  for (const auto& a : args) wide.push_back(U16(a));
  return RunEventsCommand(wide, tw::root::Dir(), context.Out(), std::cerr);
}

int CmdSettings(Context& context, const std::vector<std::string>& args) {
  return RunSettingsCommand(args, context.Out(), std::cerr);
}

}  // namespace twspool
