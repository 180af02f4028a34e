// The corpus baseline: one similarity figure pair per metafile, plus the
// tolerance and the floor the regression check applies.
//
// File format (tab-separated, '#' lines are comments):
//   # tolerance 0.90        a file is "within tolerance" when coarse >= this
//   # floor 0.25            the share of files within tolerance must be >= this
//   file  fine  coarse  note
#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace twtools {

struct BaselineEntry {
  double fine = 0.0;
  double coarse = 0.0;
  std::string note;
};

struct Baseline {
  double tolerance = 0.90;
  double floor = 0.0;
  std::map<std::string, BaselineEntry> files;  // by corpus-relative name ("emf/test-000.emf")
};

bool ReadBaseline(const std::filesystem::path& path, Baseline& baseline, std::string& error);
bool WriteBaseline(const std::filesystem::path& path, const Baseline& baseline, const std::string& howToRegenerate,
                   std::string& error);

// One file's regression verdict against its baseline entry.
struct Regression {
  std::string file;
  std::string what;  // "fine 0.812 < 0.850 - 0.020"
};

// Files that got worse by more than `margin` in either figure, and the
// files missing from the current run.
std::vector<Regression> FindRegressions(const Baseline& baseline, const std::map<std::string, BaselineEntry>& current,
                                        double margin);

// Share of files (excluding `excluded`) whose coarse figure reaches the tolerance.
double ShareWithinTolerance(const std::map<std::string, BaselineEntry>& current, double tolerance,
                            const std::vector<std::string>& excluded, int* within = nullptr, int* counted = nullptr);

}  // namespace twtools
