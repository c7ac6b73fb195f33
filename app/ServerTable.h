// Registration table: the small "_srv.tab" table definition that links an
// uploaded server table back to the desktop through ODBC. Path and text are
// pure functions; the writer converts the text to the file's character set
// (Windows Latin 1) and reports whether the file was written.
#pragma once

#include <string>

namespace upload {

struct ServerTableLink {
  std::string query;          // "select * from db.owner.TABLE"
  std::string connectString;  // the connect string without its password
  bool ociToolkit = false;    // the Oracle module's connection
};

// folder + "/" (unless it ends in "/" or "\") + name + "_srv.tab".
std::string ServerTablePath(const std::string& folder, const std::string& name);

// The file's lines, UTF-8, "\n" line ends, no line end after "end_metadata".
// A double quote inside a value is doubled, as the definition reader expects.
std::string ServerTableText(const ServerTableLink& link);

enum class ServerTableWrite {
  Written,
  NotEncodable,  // a value has characters Windows Latin 1 cannot hold
  NotWritten,    // the file could not be created or written
};

// Converts the text to Windows-1252 and replaces the file at path. Nothing is
// written when the conversion fails. When the file is not written, `reason`
// (if given) gets the system's reason.
ServerTableWrite WriteServerTableFile(const std::string& path, const std::string& utf8Text,
                                      std::string* reason = nullptr);

}  // namespace upload
