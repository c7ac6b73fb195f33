// What the dialog tests share: the build's resource library, the headless
// backend with a script, the transcript's box lines, and a main dialog that
// takes its connections from the test.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/FakeConnection.h"
#include "app/LoaderDlg.h"
#include "app/ResourceLibrary.h"
#include "app/TestSupport.h"
#include "platform/ui/headless.h"
#include "platform/ui/ui.h"

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qltest::LoadBuildResources();
    ui::headless::Reset();
    ui::SetBackend(ui::headless::MakeBackend());
    ui::SetTemplateLoader(nullptr);
    ui::SetErrorSink([this](const std::string& line) { errors.push_back(line); });
  }
  void TearDown() override {
    ui::SetErrorSink(nullptr);
    ui::headless::Reset();
  }
  void Script(const std::string& text) {
    std::string error;
    ASSERT_TRUE(ui::headless::SetScriptText(text, &error)) << error;
  }
  // Transcript lines that start with `prefix`.
  static std::vector<std::string> Lines(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& l : ui::headless::Transcript())
      if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
  }
  static std::string BoxLine(int caption, const char* icon, const std::string& text) {
    return "box caption=" + std::to_string(caption) + " icon=" + icon + " buttons=ok answer=ok text=" +
           ui::headless::Escape(text);
  }

  qltest::TempDir dir;
  std::vector<std::string> errors;
};

// The main dialog with connections made by the test: each connect takes
// the next prepared fake (or none when they are used up).
class CTestLoaderDlg : public CLoaderDlg {
 public:
  ~CTestLoaderDlg() override {
    for (CFakeConnection* c : next) delete c;
  }
  CFakeConnection* Prepare() {
    next.push_back(new CFakeConnection);
    return next.back();
  }
  std::deque<CFakeConnection*> next;
  std::vector<int> kinds;

 protected:
  CDbConnection* MakeConnection(int kind) override {
    kinds.push_back(kind);
    if (next.empty()) return nullptr;
    CFakeConnection* c = next.front();
    next.pop_front();
    c->Kind = kind;
    return c;
  }
};
