// `twspool events [--log NAME] [--source NAME] [--type error|warning|information]
//                 [--last N] [--json]`
// Prints the entries of an event log (default "Application"), oldest first,
// each with its full text rendered from its source's "EventMessageFile", as
// an event viewer shows it; --json prints an array of objects for scripts.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// `args` are the words after "events". `root`: the machine root to read
// (empty: the current one). Returns the exit code: 0 done, 1 the log cannot
// be read, 2 bad arguments (with a message on `err`).
int RunEventsCommand(const std::vector<std::u16string>& args, const std::filesystem::path& root, std::ostream& out,
                     std::ostream& err);
// The same on standard output and standard error.
int RunEventsCommand(const std::vector<std::u16string>& args, const std::filesystem::path& root);
