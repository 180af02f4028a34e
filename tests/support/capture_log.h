// The message capture log as a test switches it on and reads it back: the
// "C:\PrnDebug.ini" switch, the "C:\Temp" folder and the log file, all in
// the current machine root.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/log/tw_log.h"
#include "tw/root.h"

namespace twtest {

// Writes the switch and the folder. A library linked into the test reads the
// switch again after this; a loaded monitor module reads it at its first line.
inline void EnableCaptureLog(int level) {
  const std::filesystem::path drive = tw::root::Path("drive_c");
  std::filesystem::create_directories(drive / "Temp");
  std::ofstream(drive / "PrnDebug.ini") << "[Setting]\r\nMessage Capture Log Level=" << level << "\r\n";
  ResetLogStateForTests();
}

inline std::string ReadCaptureLog() {
  std::ifstream in(tw::root::Path("drive_c") / "Temp" / "MessageCapture_PORTMON_DLL.txt", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace twtest
