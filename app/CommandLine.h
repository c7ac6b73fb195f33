// The command line: argv joined into one text, split into one-letter flags,
// and the flags applied to the main dialog and its options block.
#pragma once

#include <string>
#include <vector>

class CLoaderDlg;

struct CommandFlag {
  char letter;       // as written ('\0' when "/" ends the line)
  std::string text;  // from after the letter to the next " /", blank kept
};

// argv[1..] joined with single blanks. A lone /T, /L, /F or /D word is glued
// to the next word when that word is a Unix path ("/" + a first component of
// two or more characters + a second "/").
std::string JoinCommandLine(int argc, const char* const* argv);
// Splits the text at every "/" that is preceded by a blank.
std::vector<CommandFlag> SplitCommandLine(const std::string& line);
// Applies the flags in order, each letter once (/L and /T share one turn).
void ApplyCommandLine(CLoaderDlg& dlg, const std::string& line);
// Appends job rows from a /L or /T flag text (letter included).
void ParseTableList(CLoaderDlg& dlg, const std::string& flagText);

// Longest /L or /T text, letter included, and longest list-file line.
constexpr size_t kMaxTableFlagText = 260;
constexpr size_t kMaxListLine = 259;

// String ids of the command-line job-list errors.
constexpr int IDS_LIST_UNREADABLE = 300;
constexpr int IDS_LIST_LINE_TOO_LONG = 301;
constexpr int IDS_TABLE_TEXT_TOO_LONG = 302;
