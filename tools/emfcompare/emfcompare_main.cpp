// emfcompare: renders every metafile of a corpus (the shared one, or the
// repository's text pages) with the layer's GDI, compares each with its
// reference rendering, and checks the figures against the baseline kept in
// the repository. Metafiles may be gzip-compressed (NAME.emf.gz).
//
//   emfcompare --corpus DIR [--baseline FILE (--check | --update)] [--margin M]
//              [--floor F] [--tolerance T] [--markdown FILE] [--save DIR]
//              [--timeout S] [NAME...]
//
// --check exits 1 when a file got worse than its baseline by more than the
// margin, or the share of files within the tolerance fell below the floor.
// --update rewrites the baseline with this run's figures.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "corpus_baseline.h"
#include "emf_render.h"
#include "image_compare.h"
#include "image_io.h"

namespace fs = std::filesystem;
using namespace twtools;

namespace {

// References the corpus itself says are wrong: compared and listed, but not
// counted for the floor and not to be tuned to.
const std::vector<std::string> kWrongReferences = {"emf/test-043.emf", "emf/test-047.emf"};

int usage() {
  std::fprintf(stderr,
               "usage: emfcompare --corpus DIR [--baseline FILE (--check | --update)] [--margin M]\n"
               "                  [--floor F] [--tolerance T] [--markdown FILE] [--save DIR] [--timeout S] [NAME...]\n");
  return 2;
}

// What the reference's info file says about a metafile: text records and
// EMF+ comments decide the note in the table.
std::string describe(const fs::path& info) {
  std::ifstream in(info);
  std::string line;
  long text = 0, drawing = 0, emfplus = 0;
  bool histogram = false;
  while (std::getline(in, line)) {
    if (line.rfind("enum.emfplus_comments", 0) == 0) emfplus = std::atol(line.c_str() + 21);
    if (line.rfind("histogram", 0) == 0) {
      histogram = true;
      continue;
    }
    if (!histogram) continue;
    std::istringstream words(line);
    long type, count;
    std::string name;
    if (!(words >> type >> name >> count)) continue;
    if (type == 83 || type == 84 || type == 96 || type == 97 || type == 108) text += count;
    else if (type != 1 && type != 14 && type != 70) drawing += count;
  }
  std::string note;
  if (text > 0) note = text * 4 >= drawing ? "text-heavy" : "text";
  if (emfplus > 0) note += note.empty() ? "emf+" : ",emf+";
  return note;
}

struct Job {
  std::string name;  // "emf/test-000.emf"
  fs::path emf;
  fs::path ref;
  fs::path info;
};

std::vector<Job> listCorpus(const fs::path& corpus, const std::vector<std::string>& only) {
  std::vector<Job> jobs;
  for (const char* sub : {"emf", "emf-ea"}) {
    fs::path dir = corpus / sub;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) continue;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      // NAME.emf, or NAME.emf.gz (compressed, named NAME.emf).
      fs::path file = entry.path();
      fs::path plain = file.extension() == ".gz" ? file.stem() : file;
      if (plain.extension() != ".emf") continue;
      Job j;
      j.name = std::string(sub) + "/" + plain.filename().string();
      if (!only.empty()) {
        bool wanted = false;
        for (const auto& o : only) wanted |= j.name.find(o) != std::string::npos;
        if (!wanted) continue;
      }
      j.emf = file;
      j.ref = corpus / "ref" / sub / (plain.stem().string() + ".png");
      j.info = corpus / "ref" / sub / (plain.stem().string() + ".info.txt");
      jobs.push_back(j);
    }
  }
  std::sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.name < b.name; });
  return jobs;
}

void writeMarkdown(const fs::path& path, const std::map<std::string, BaselineEntry>& results, double tolerance,
                   const std::vector<std::string>& excluded) {
  std::ofstream out(path, std::ios::trunc);
  int within = 0, counted = 0;
  double share = ShareWithinTolerance(results, tolerance, excluded, &within, &counted);
  double sumFine = 0, sumCoarse = 0;
  for (const auto& [f, e] : results) {
    sumFine += e.fine;
    sumCoarse += e.coarse;
  }
  char buf[256];
  std::snprintf(buf, sizeof(buf),
                "%d of %d files (%.0f %%) within tolerance (coarse >= %.2f); mean fine %.3f, mean coarse %.3f.\n\n",
                within, counted, share * 100, tolerance, results.empty() ? 0.0 : sumFine / double(results.size()),
                results.empty() ? 0.0 : sumCoarse / double(results.size()));
  out << buf;
  out << "| file | fine | coarse | note |\n|---|---:|---:|---|\n";
  for (const auto& [f, e] : results) {
    std::snprintf(buf, sizeof(buf), "| %s | %.3f | %.3f | %s |\n", f.c_str(), e.fine, e.coarse, e.note.c_str());
    out << buf;
  }
}

}  // namespace

int main(int argc, char** argv) {
  fs::path corpus, baselinePath, markdown, saveDir;
  bool check = false, update = false;
  double margin = 0.02, floorArg = -1, toleranceArg = -1;
  int timeout = 300;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--corpus" && (v = value())) corpus = v;
    else if (a == "--baseline" && (v = value())) baselinePath = v;
    else if (a == "--check") check = true;
    else if (a == "--update") update = true;
    else if (a == "--margin" && (v = value())) margin = std::atof(v);
    else if (a == "--floor" && (v = value())) floorArg = std::atof(v);
    else if (a == "--tolerance" && (v = value())) toleranceArg = std::atof(v);
    else if (a == "--markdown" && (v = value())) markdown = v;
    else if (a == "--save" && (v = value())) saveDir = v;
    else if (a == "--timeout" && (v = value())) timeout = std::atoi(v);
    else if (!a.empty() && a[0] != '-') only.push_back(a);
    else return usage();
  }
  if (corpus.empty() || ((check || update) && baselinePath.empty()) || (check && update)) return usage();

  Baseline baseline;
  std::string error;
  if (check || (update && fs::exists(baselinePath))) {
    if (!ReadBaseline(baselinePath, baseline, error)) {
      std::fprintf(stderr, "emfcompare: %s\n", error.c_str());
      return 2;
    }
  }
  if (toleranceArg >= 0) baseline.tolerance = toleranceArg;
  if (floorArg >= 0) baseline.floor = floorArg;

  auto jobs = listCorpus(corpus, only);
  if (jobs.empty()) {
    std::fprintf(stderr, "emfcompare: no metafiles under %s\n", corpus.c_str());
    return 2;
  }
  if (!saveDir.empty()) fs::create_directories(saveDir);

  // A metafile that hangs the player must fail the run, not stall it.
  std::atomic<long long> started{0};
  std::atomic<bool> done{false};
  std::string current;
  std::thread watchdog([&] {
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      long long t0 = started.load();
      long long now = std::chrono::steady_clock::now().time_since_epoch().count();
      if (t0 != 0 && timeout > 0 && now - t0 > std::chrono::nanoseconds(std::chrono::seconds(timeout)).count()) {
        std::fprintf(stderr, "emfcompare: %s did not finish within %d s\n", current.c_str(), timeout);
        std::fflush(stderr);
        _exit(1);
      }
    }
  });

  std::map<std::string, BaselineEntry> results;
  for (const auto& job : jobs) {
    RgbImage ref, ours;
    if (!ReadPng(job.ref, ref, error)) {
      std::printf("%-32s  no reference (%s)\n", job.name.c_str(), error.c_str());
      continue;
    }
    RenderOptions options;
    options.width = ref.width;
    options.height = ref.height;
    current = job.name;
    auto t0 = std::chrono::steady_clock::now();
    started = t0.time_since_epoch().count();
    RenderResult rendered = RenderEmfFile(job.emf, options, ours);
    started = 0;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    BaselineEntry e;
    e.note = describe(job.info);
    if (std::find(kWrongReferences.begin(), kWrongReferences.end(), job.name) != kWrongReferences.end())
      e.note += e.note.empty() ? "reference wrong" : ",reference wrong";
    if (rendered.rendered) {
      CompareResult c = CompareImages(ours, ref);
      e.fine = c.fine;
      e.coarse = c.coarse;
      if (!saveDir.empty()) {
        std::string name = job.name;
        std::replace(name.begin(), name.end(), '/', '_');
        WritePng(saveDir / (name + ".png"), ours, error);
      }
    }
    if (!rendered.rendered || !rendered.playedOk) e.note += (e.note.empty() ? "" : ",") + std::string("playback error");
    results[job.name] = e;
    std::printf("%-32s  fine %.4f  coarse %.4f  %5.2f s  %s%s%s\n", job.name.c_str(), e.fine, e.coarse, seconds,
                e.note.c_str(), rendered.error.empty() ? "" : "  -- ", rendered.error.c_str());
    std::fflush(stdout);
  }
  done = true;
  watchdog.join();

  int within = 0, counted = 0;
  double share = ShareWithinTolerance(results, baseline.tolerance, kWrongReferences, &within, &counted);
  std::printf("\n%d of %d files within tolerance (coarse >= %.2f): %.1f %% (floor %.1f %%)\n", within, counted,
              baseline.tolerance, share * 100, baseline.floor * 100);
  if (!markdown.empty()) writeMarkdown(markdown, results, baseline.tolerance, kWrongReferences);

  if (update) {
    baseline.files = results;
    if (!WriteBaseline(baselinePath, baseline,
                       "build/release/bin/emfcompare --corpus " + corpus.string() + " --baseline " +
                           baselinePath.string() + " --update",
                       error)) {
      std::fprintf(stderr, "emfcompare: %s\n", error.c_str());
      return 2;
    }
    std::printf("baseline written: %s\n", baselinePath.c_str());
    return 0;
  }
  if (check) {
    bool failed = false;
    // Only the files of this run are checked when names were given.
    Baseline scope = baseline;
    if (!only.empty()) {
      std::erase_if(scope.files, [&](const auto& kv) { return !results.count(kv.first); });
    }
    for (const auto& r : FindRegressions(scope, results, margin)) {
      std::printf("WORSE  %s: %s\n", r.file.c_str(), r.what.c_str());
      failed = true;
    }
    for (const auto& [file, e] : results) {
      auto it = baseline.files.find(file);
      if (it == baseline.files.end()) std::printf("NEW    %s (not in the baseline)\n", file.c_str());
      else if (e.fine > it->second.fine + margin || e.coarse > it->second.coarse + margin)
        std::printf("BETTER %s: fine %.4f (was %.4f), coarse %.4f (was %.4f) - update the baseline\n", file.c_str(),
                    e.fine, it->second.fine, e.coarse, it->second.coarse);
    }
    if (only.empty() && share < baseline.floor) {
      std::printf("FLOOR  %.1f %% of files within tolerance, below the floor of %.1f %%\n", share * 100,
                  baseline.floor * 100);
      failed = true;
    }
    std::printf(failed ? "corpus check FAILED\n" : "corpus check passed\n");
    return failed ? 1 : 0;
  }
  return 0;
}
