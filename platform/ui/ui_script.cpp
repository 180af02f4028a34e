// The headless user interface's script (answers for message boxes and
// input for dialogs) and its records of what was shown.
#include "ui_script.h"

#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>

#include "tw/root.h"
#include "tw/utf.h"
#include "winuser.h"

namespace tw::ui {
namespace {

struct State {
  std::mutex mutex;
  bool loaded = false;
  std::uint64_t rootGeneration = 0;
  std::deque<int> answers;
  std::deque<DialogStep> dialogSteps;
  std::vector<MessageBoxRecord> messageBoxes;
  std::vector<DialogRecord> dialogs;
};

State& S() {
  static State* state = new State;  // used by modules until process exit
  return *state;
}

struct NamedId {
  std::u16string_view name;
  int id;
};
constexpr NamedId kButtons[] = {{u"OK", IDOK},         {u"CANCEL", IDCANCEL},     {u"ABORT", IDABORT},
                                {u"RETRY", IDRETRY},   {u"IGNORE", IDIGNORE},     {u"YES", IDYES},
                                {u"NO", IDNO},         {u"CLOSE", IDCLOSE},       {u"HELP", IDHELP},
                                {u"TRYAGAIN", IDTRYAGAIN}, {u"CONTINUE", IDCONTINUE}};

std::u16string Upper(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return out;
}

// A button name or a decimal number; false for anything else.
bool ParseButton(std::u16string_view token, int& id) {
  std::u16string up = Upper(token);
  for (const auto& b : kButtons)
    if (b.name == up) {
      id = b.id;
      return true;
    }
  if (token.empty() || token.size() > 9) return false;
  int value = 0;
  for (char16_t c : token) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  id = value;
  return true;
}

// Splits a step into blank-separated tokens; "..." quotes (a backslash takes
// the next character as it is) may appear anywhere in a token.
std::vector<std::u16string> Tokens(std::u16string_view line) {
  std::vector<std::u16string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i >= line.size()) break;
    std::u16string token;
    bool quoted = false;
    for (; i < line.size(); ++i) {
      char16_t c = line[i];
      if (quoted && c == u'\\' && i + 1 < line.size()) {
        token += line[++i];
      } else if (c == u'"') {
        quoted = !quoted;
      } else if (!quoted && (c == u' ' || c == u'\t')) {
        break;
      } else {
        token += c;
      }
    }
    out.push_back(std::move(token));
  }
  return out;
}

// Steps end at a line end, or at a ';' outside quotes.
std::vector<std::u16string_view> Steps(std::u16string_view script) {
  std::vector<std::u16string_view> out;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    char16_t c = script[i];
    if (quoted && c == u'\\') {
      ++i;
    } else if (c == u'"') {
      quoted = !quoted;
    } else if (c == u'\n' || c == u'\r' || (c == u';' && !quoted)) {
      out.push_back(script.substr(start, i - start));
      start = i + 1;
      quoted = false;
    }
  }
  out.push_back(script.substr(start));
  return out;
}

void ParseInto(std::u16string_view script, std::deque<int>& answers, std::deque<DialogStep>& steps) {
  for (std::u16string_view line : Steps(script)) {
    auto tokens = Tokens(line);
    if (!tokens.empty() && !tokens[0].empty() && tokens[0][0] != u'#') {
      std::u16string verb = Upper(tokens[0]);
      if (verb == u"MESSAGEBOX") {
        int id = 0;
        if (tokens.size() >= 2 && ParseButton(tokens[1], id)) answers.push_back(id);
      } else if (verb == u"DIALOG") {
        DialogStep step;
        for (size_t t = 1; t < tokens.size(); ++t) {
          const auto& tok = tokens[t];
          size_t eq = tok.find(u'=');
          int id = 0;
          if (eq != std::u16string::npos && ParseButton(std::u16string_view(tok).substr(0, eq), id)) {
            step.texts.emplace_back(id, tok.substr(eq + 1));
          } else if (ParseButton(tok, id)) {
            step.button = id;
          }
        }
        steps.push_back(std::move(step));
      }
    }
  }
}

// Loads the script from the variable or the root's file when not loaded for
// the current root. Caller holds the lock.
void EnsureLoaded(State& s) {
  std::uint64_t generation = tw::root::Generation();
  if (s.loaded && s.rootGeneration == generation) return;
  s.loaded = true;
  s.rootGeneration = generation;
  s.answers.clear();
  s.dialogSteps.clear();
  std::string text;
  if (const char* env = std::getenv("TW_UI_SCRIPT")) {
    text = env;
  } else {
    std::ifstream in(tw::root::Path("ui-script.txt"), std::ios::binary);
    if (in) {
      std::ostringstream buf;
      buf << in.rdbuf();
      text = buf.str();
    }
  }
  ParseInto(tw::FromUtf8(text), s.answers, s.dialogSteps);
}

std::u16string Escape(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) {
    switch (c) {
      case u'\r': out += u"\\r"; break;
      case u'\n': out += u"\\n"; break;
      case u'\t': out += u"\\t"; break;
      case u'\\': out += u"\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

void AppendLog(const std::u16string& line) {
  std::ofstream out(tw::root::Path("ui.log"), std::ios::app | std::ios::binary);
  if (out) out << tw::ToUtf8(line) << '\n';
}

}  // namespace

bool NextAnswer(int& answer) {
  auto& s = S();
  std::lock_guard lock(s.mutex);
  EnsureLoaded(s);
  if (s.answers.empty()) return false;
  answer = s.answers.front();
  s.answers.pop_front();
  return true;
}

bool NextDialogStep(DialogStep& step) {
  auto& s = S();
  std::lock_guard lock(s.mutex);
  EnsureLoaded(s);
  if (s.dialogSteps.empty()) return false;
  step = std::move(s.dialogSteps.front());
  s.dialogSteps.pop_front();
  return true;
}

void RecordMessageBox(const MessageBoxRecord& record) {
  {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    s.messageBoxes.push_back(record);
  }
  AppendLog(FormatLogLine(record));
}

void RecordDialog(const DialogRecord& record) {
  {
    auto& s = S();
    std::lock_guard lock(s.mutex);
    s.dialogs.push_back(record);
  }
  std::u16string line = u"Dialog\t" + Escape(record.title) + u"\t" + tw::FromUtf8(std::to_string(record.result));
  AppendLog(line);
}

std::vector<MessageBoxRecord> MessageBoxes() {
  auto& s = S();
  std::lock_guard lock(s.mutex);
  return s.messageBoxes;
}

std::vector<DialogRecord> Dialogs() {
  auto& s = S();
  std::lock_guard lock(s.mutex);
  return s.dialogs;
}

void ClearRecords() {
  auto& s = S();
  std::lock_guard lock(s.mutex);
  s.messageBoxes.clear();
  s.dialogs.clear();
}

void SetScript(std::u16string_view script) {
  auto& s = S();
  std::lock_guard lock(s.mutex);
  s.loaded = true;
  s.rootGeneration = tw::root::Generation();
  s.answers.clear();
  s.dialogSteps.clear();
  ParseInto(script, s.answers, s.dialogSteps);
}

void ReloadScript() {
  auto& s = S();
  std::lock_guard lock(s.mutex);
  s.loaded = false;
  s.answers.clear();
  s.dialogSteps.clear();
}

std::u16string FormatLogLine(const MessageBoxRecord& record) {
  return u"MessageBox\t" + Escape(record.caption) + u"\t" + Escape(record.text) + u"\t" +
         tw::FromUtf8(std::to_string(record.answer));
}

}  // namespace tw::ui
