// Baseline file reading/writing and the regression rules.
#include "corpus_baseline.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace twtools {

bool ReadBaseline(const std::filesystem::path& path, Baseline& baseline, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot open " + path.string();
    return false;
  }
  baseline = Baseline{};
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty()) continue;
    if (line[0] == '#') {
      std::istringstream words(line.substr(1));
      std::string key;
      double value;
      if (words >> key >> value) {
        if (key == "tolerance") baseline.tolerance = value;
        if (key == "floor") baseline.floor = value;
      }
      continue;
    }
    std::istringstream fields(line);
    std::string file, fine, coarse, note;
    if (!std::getline(fields, file, '\t') || !std::getline(fields, fine, '\t') || !std::getline(fields, coarse, '\t')) {
      error = path.string() + ":" + std::to_string(lineNo) + ": expected file, fine, coarse";
      return false;
    }
    if (file == "file") continue;  // column titles
    std::getline(fields, note);
    BaselineEntry e;
    char* end = nullptr;
    e.fine = std::strtod(fine.c_str(), &end);
    if (end == fine.c_str()) {
      error = path.string() + ":" + std::to_string(lineNo) + ": bad number '" + fine + "'";
      return false;
    }
    e.coarse = std::strtod(coarse.c_str(), &end);
    if (end == coarse.c_str()) {
      error = path.string() + ":" + std::to_string(lineNo) + ": bad number '" + coarse + "'";
      return false;
    }
    e.note = note;
    baseline.files[file] = e;
  }
  return true;
}

bool WriteBaseline(const std::filesystem::path& path, const Baseline& baseline, const std::string& howToRegenerate,
                   std::string& error) {
  std::ofstream out(path, std::ios::trunc);
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  char buf[64];
  out << "# Similarity of our renderings of a metafile corpus to its reference\n"
         "# renderings (see docs/gdi.md, \"Metafile corpus\"). fine: 1 - wrong/ink pixels\n"
         "# with a one-pixel tolerance; coarse: the same on 4x4-reduced images.\n"
         "# Regenerate: "
      << howToRegenerate << "\n";
  std::snprintf(buf, sizeof(buf), "# tolerance %.2f\n", baseline.tolerance);
  out << buf;
  std::snprintf(buf, sizeof(buf), "# floor %.2f\n", baseline.floor);
  out << buf;
  out << "file\tfine\tcoarse\tnote\n";
  for (const auto& [file, e] : baseline.files) {
    std::snprintf(buf, sizeof(buf), "\t%.4f\t%.4f\t", e.fine, e.coarse);
    out << file << buf << e.note << "\n";
  }
  out.flush();
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

std::vector<Regression> FindRegressions(const Baseline& baseline, const std::map<std::string, BaselineEntry>& current,
                                        double margin) {
  std::vector<Regression> out;
  char buf[128];
  for (const auto& [file, base] : baseline.files) {
    auto it = current.find(file);
    if (it == current.end()) {
      out.push_back({file, "not rendered in this run"});
      continue;
    }
    if (it->second.fine < base.fine - margin) {
      std::snprintf(buf, sizeof(buf), "fine %.4f < %.4f - %.3f", it->second.fine, base.fine, margin);
      out.push_back({file, buf});
    }
    if (it->second.coarse < base.coarse - margin) {
      std::snprintf(buf, sizeof(buf), "coarse %.4f < %.4f - %.3f", it->second.coarse, base.coarse, margin);
      out.push_back({file, buf});
    }
  }
  return out;
}

double ShareWithinTolerance(const std::map<std::string, BaselineEntry>& current, double tolerance,
                            const std::vector<std::string>& excluded, int* within, int* counted) {
  int n = 0, ok = 0;
  for (const auto& [file, e] : current) {
    if (std::find(excluded.begin(), excluded.end(), file) != excluded.end()) continue;
    ++n;
    if (e.coarse >= tolerance) ++ok;
  }
  if (within) *within = ok;
  if (counted) *counted = n;
  return n == 0 ? 0.0 : double(ok) / double(n);
}

}  // namespace twtools
