// Headless backend: scripted user, in-memory controls, transcript.
#include "platform/ui/headless.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace ui::headless {

namespace {

struct State {
  std::vector<Step> steps;
  size_t next = 0;
  bool scriptLoaded = false;  // a script was set or read from the environment
  std::vector<std::string> transcript;
};

State& S() {
  static State s;
  return s;
}

const char* OpName(Op op) {
  switch (op) {
    case Op::Click: return "click";
    case Op::Set: return "set";
    case Op::Leave: return "leave";
    case Op::Select: return "select";
    case Op::Check: return "check";
    case Op::Close: return "close";
    case Op::Sys: return "sys";
    case Op::Help: return "help";
    case Op::Box: return "box";
    case Op::Files: return "files";
    case Op::Folder: return "folder";
  }
  return "?";
}

// Strict decimal integer (optional minus), no overflow.
bool ParseInt(const std::string& s, int* out) {
  if (s.empty() || s.size() > 10) return false;
  size_t i = s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  if (s[0] == '-') v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

std::vector<std::string> Words(const std::string& s) {
  std::vector<std::string> w;
  std::istringstream in(s);
  std::string t;
  while (in >> t) w.push_back(t);
  return w;
}

void LoadEnvScript() {
  auto& st = S();
  if (st.scriptLoaded) return;
  st.scriptLoaded = true;
  const char* path = std::getenv("QUENDALOUR_UI_SCRIPT");
  if (!path || !*path) return;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ReportError(std::string("cannot read the dialog script ") + path);
    return;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<Step> steps;
  std::string error;
  if (!ParseScript(text.str(), &steps, &error)) {
    ReportError(std::string("dialog script ") + path + ": " + error);
    return;
  }
  st.steps = std::move(steps);
  st.next = 0;
}

// The next step when it is of kind `op` (consumed), else null.
const Step* TakeIf(Op op) {
  LoadEnvScript();
  auto& st = S();
  if (st.next < st.steps.size() && st.steps[st.next].op == op) return &st.steps[st.next++];
  return nullptr;
}

const char* IconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error: return "error";
    case BoxIcon::Warning: return "warning";
    case BoxIcon::Information: return "information";
    case BoxIcon::Question: return "question";
  }
  return "?";
}

const char* AnswerName(int answer) {
  switch (answer) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDYES: return "yes";
    case IDNO: return "no";
  }
  return "?";
}

std::string Join(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += (out.empty() ? "" : "|") + s;
  return out;
}

class HeadlessBackend : public Backend {
 public:
  const char* Name() const override { return "headless"; }

  void RunModal(CDialog& dlg) override {
    LoadEnvScript();
    Record("dialog " + std::to_string(dlg.TemplateId()) + " open");
    dlg.RunInitDialog();
    auto& st = S();
    while (!dlg.Ended()) {
      if (st.next >= st.steps.size()) {
        // Nothing left to play: the dialog is closed like a window.
        Record("dialog " + std::to_string(dlg.TemplateId()) + " close");
        dlg.UserClose();
        if (!dlg.Ended()) dlg.EndDialog(IDCANCEL);
        break;
      }
      const Step step = st.steps[st.next++];
      std::string error;
      if (!Play(dlg, step, &error)) {
        // A script fault stops the script and ends the dialog with -1.
        ReportError("dialog script line " + std::to_string(step.line) + ": " + error);
        st.next = st.steps.size();
        dlg.EndDialog(-1);
      }
    }
    Record("dialog " + std::to_string(dlg.TemplateId()) + " end " + std::to_string(dlg.Result()));
  }

  void ControlChanged(CDialog&, int) override {}

  int MessageBox(const BoxSpec& box) override {
    int def = box.buttons == BoxButtons::YesNo ? IDYES : IDOK;
    int answer = def;
    if (const Step* s = TakeIf(Op::Box)) {
      answer = s->numbers.empty() ? def : s->numbers[0];
      if (box.buttons == BoxButtons::Ok) answer = IDOK;  // an OK box has one answer
    } else {
      std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    }
    Record("box caption=" + std::to_string(box.captionId) + " icon=" + IconName(box.icon) +
           " buttons=" + (box.buttons == BoxButtons::YesNo ? "yesno" : "ok") + " answer=" + AnswerName(answer) +
           " text=" + Escape(box.text));
    return answer;
  }

  std::optional<std::vector<std::string>> ChooseFiles(const FileChooserSpec& spec) override {
    std::optional<std::vector<std::string>> result;
    if (const Step* s = TakeIf(Op::Files); s && !s->paths.empty()) result = s->paths;
    Record("files filter=" + Escape(spec.filterName) + " -> " + (result ? Join(*result) : "cancel"));
    return result;
  }

  std::optional<std::string> ChooseFolder(CDialog*, const std::string& title) override {
    std::optional<std::string> result;
    if (const Step* s = TakeIf(Op::Folder); s && !s->paths.empty()) result = s->paths[0];
    Record("folder title=" + Escape(title) + " -> " + (result ? *result : "cancel"));
    return result;
  }

  bool OpenHelp(const std::string&, int context, std::string*) override {
    Record("help " + std::to_string(context));
    return true;
  }

 private:
  // A user reaches only controls that exist, are shown and are enabled.
  static bool NeedControl(CDialog& dlg, const Step& s, std::string* error) {
    const ControlState* c = dlg.FindState(s.id);
    std::string where = "dialog " + std::to_string(dlg.TemplateId());
    if (c == nullptr) *error = where + " has no control " + std::to_string(s.id);
    else if (!c->visible) *error = where + ": control " + std::to_string(s.id) + " is hidden";
    else if (!c->enabled) *error = where + ": control " + std::to_string(s.id) + " is disabled";
    else return true;
    return false;
  }

  bool Play(CDialog& dlg, const Step& s, std::string* error) {
    switch (s.op) {
      case Op::Click:
        if (!NeedControl(dlg, s, error)) return false;
        dlg.UserClick(s.id);
        return true;
      case Op::Set:
        if (!NeedControl(dlg, s, error)) return false;
        dlg.UserSetText(s.id, s.text);
        return true;
      case Op::Leave:
        if (!NeedControl(dlg, s, error)) return false;
        dlg.UserLeave(s.id);
        return true;
      case Op::Select: {
        if (!NeedControl(dlg, s, error)) return false;
        int count = dlg.GetDlgItem(s.id).GetCount();
        for (int i : s.numbers)
          if (i < 0 || i >= count) {
            *error = "control " + std::to_string(s.id) + " has no item " + std::to_string(i);
            return false;
          }
        dlg.UserSelect(s.id, s.numbers);
        return true;
      }
      case Op::Check:
        if (!NeedControl(dlg, s, error)) return false;
        if (s.numbers[0] < 0 || s.numbers[0] >= dlg.GetDlgItem(s.id).GetCount()) {
          *error = "control " + std::to_string(s.id) + " has no item " + std::to_string(s.numbers[0]);
          return false;
        }
        dlg.UserItemCheck(s.id, s.numbers[0], s.numbers[1]);
        return true;
      case Op::Close:
        dlg.UserClose();
        return true;
      case Op::Sys:
        dlg.UserSysCommand(s.id);
        return true;
      case Op::Help:
        dlg.UserHelp();
        return true;
      case Op::Box:
      case Op::Files:
      case Op::Folder:
        *error = std::string("'") + OpName(s.op) + "' answers nothing: no box or chooser is open";
        return false;
    }
    return false;
  }
};

}  // namespace

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

bool ParseScript(const std::string& text, std::vector<Step>* steps, std::string* error) {
  steps->clear();
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    *error = "line " + std::to_string(lineNo) + ": " + why;
    steps->clear();
    return false;
  };
  while (std::getline(in, raw)) {
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    size_t b = raw.find_first_not_of(" \t");
    if (b == std::string::npos || raw[b] == '#') continue;
    std::string line = raw.substr(b);
    size_t sp = line.find_first_of(" \t");
    std::string verb = line.substr(0, sp);
    std::string rest = sp == std::string::npos ? std::string() : line.substr(sp + 1);
    std::vector<std::string> w = Words(rest);
    Step s;
    s.line = lineNo;
    auto needId = [&](Op op) {
      s.op = op;
      return !w.empty() && ParseInt(w[0], &s.id);
    };
    if (verb == "click" || verb == "leave") {
      if (!needId(verb == "click" ? Op::Click : Op::Leave) || w.size() != 1)
        return fail(verb + " needs one control id");
    } else if (verb == "set") {
      // set ID TEXT: the text is the rest of the line after one blank,
      // with \n, \t and \\ escapes.
      if (!needId(Op::Set)) return fail("set needs a control id");
      size_t at = rest.find(w[0]) + w[0].size();
      std::string t = at < rest.size() ? rest.substr(at + 1) : std::string();
      for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\\' && i + 1 < t.size()) {
          char n = t[++i];
          s.text += n == 'n' ? '\n' : n == 't' ? '\t' : n;
        } else {
          s.text += t[i];
        }
      }
    } else if (verb == "select") {
      if (!needId(Op::Select)) return fail("select needs a control id");
      for (size_t i = 1; i < w.size(); ++i) {
        int v;
        if (!ParseInt(w[i], &v) || v < 0) return fail("bad item index '" + w[i] + "'");
        s.numbers.push_back(v);
      }
    } else if (verb == "check") {
      int idx, on;
      if (!needId(Op::Check) || w.size() != 3 || !ParseInt(w[1], &idx) || !ParseInt(w[2], &on) || idx < 0 ||
          (on != 0 && on != 1))
        return fail("check needs a control id, an item index and 0 or 1");
      s.numbers = {idx, on};
    } else if (verb == "close" || verb == "help") {
      if (!w.empty()) return fail(verb + " takes nothing");
      s.op = verb == "close" ? Op::Close : Op::Help;
    } else if (verb == "sys") {
      if (!needId(Op::Sys) || w.size() != 1) return fail("sys needs one command id");
    } else if (verb == "box") {
      s.op = Op::Box;
      static const std::pair<const char*, int> answers[] = {
          {"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}};
      if (w.size() != 1) return fail("box needs one answer");
      for (const auto& [name, id] : answers)
        if (w[0] == name) s.numbers = {id};
      if (s.numbers.empty()) return fail("unknown box answer '" + w[0] + "'");
    } else if (verb == "files") {
      s.op = Op::Files;
      std::string t = rest;
      size_t start = 0;
      while (!t.empty() && start <= t.size()) {
        size_t bar = t.find('|', start);
        std::string p = t.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (p.empty()) return fail("empty path in files");
        s.paths.push_back(p);
        if (bar == std::string::npos) break;
        start = bar + 1;
      }
    } else if (verb == "folder") {
      s.op = Op::Folder;
      if (!rest.empty()) s.paths.push_back(rest);
    } else {
      return fail("unknown command '" + verb + "'");
    }
    steps->push_back(std::move(s));
  }
  return true;
}

void SetScript(std::vector<Step> steps) {
  auto& st = S();
  st.steps = std::move(steps);
  st.next = 0;
  st.scriptLoaded = true;
}

bool SetScriptText(const std::string& text, std::string* error) {
  std::vector<Step> steps;
  if (!ParseScript(text, &steps, error)) return false;
  SetScript(std::move(steps));
  return true;
}

size_t StepsLeft() {
  LoadEnvScript();
  return S().steps.size() - S().next;
}

const std::vector<std::string>& Transcript() { return S().transcript; }
void ClearTranscript() { S().transcript.clear(); }

void Record(const std::string& line) {
  S().transcript.push_back(line);
  if (const char* path = std::getenv("QUENDALOUR_UI_TRANSCRIPT"); path && *path) {
    std::ofstream out(path, std::ios::app | std::ios::binary);
    out << line << '\n';
  }
}

void Reset() { S() = State{}; }

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<HeadlessBackend>(); }

}  // namespace ui::headless
