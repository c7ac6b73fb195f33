// The run log: the output stream the main dialog owns and hands to the
// connection, the temporary-directory rule for its default path, and the
// header and closing lines of an upload run.
#pragma once

#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

#include "platform/clock.h"

class CUploadOptions;

// Stream buffer over a file descriptor. Text written before the file is
// opened is held and written first once it opens; after a failed open every
// write is dropped. Each complete line is written through at once.
class CLogBuf : public std::streambuf {
 public:
  CLogBuf() = default;
  ~CLogBuf() override;
  CLogBuf(const CLogBuf&) = delete;
  CLogBuf& operator=(const CLogBuf&) = delete;

  // Opens `path` for writing, replacing an existing file. With `private_file`
  // the file is made with mode 0600 and a symbolic link at `path` is refused.
  bool Open(const std::string& path, bool private_file);
  bool IsOpen() const { return m_fd >= 0; }
  void Close();
  // Why the last Open failed, in the system's words ("" after a success).
  const std::string& FailureReason() const { return m_reason; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void WriteThrough();
  enum class State { Pending, Open, Closed };
  State m_state = State::Pending;
  int m_fd = -1;
  std::string m_buffer;
  std::string m_reason;
};

class CLogStream : public std::ostream {
 public:
  CLogStream() : std::ostream(&m_buf) {}
  bool Open(const std::string& path, bool private_file) { return m_buf.Open(path, private_file); }
  bool IsOpen() const { return m_buf.IsOpen(); }
  void Close() { m_buf.Close(); }
  const std::string& FailureReason() const { return m_buf.FailureReason(); }

 private:
  CLogBuf m_buf;
};

constexpr const char* kLogFileName = "Quendalour.log";
// Longest temporary directory the log accepts.
constexpr size_t kMaxTempPath = 260;

class CMTestLog {
 public:
  // The temporary directory ending in "/": "./" when the system gives none;
  // when it is longer than 260 characters, string 124 is written to `log`
  // and /tmp/ is used.
  static std::string GetDir(std::ostream& log);
};

// "3/5/2007" and "9:4:5": month/day/year and 24-hour time without leading
// zeros.
std::string FormatLogDate(const platform::LocalTime& t);
std::string FormatLogTime(const platform::LocalTime& t);
// String 152, the date, string 153, the time.
std::string FormatLogDateTime(const platform::LocalTime& t);
// Elapsed seconds as "%H:%M:%S".
std::string FormatElapsed(int64_t seconds);

struct LogHeaderInfo {
  std::string ProductName;
  std::string ProductVersion;
  std::string DatabaseName;  // as shown in the dialog
  std::string UserName;      // as shown in the dialog
  bool NoRenditionColumns = false;
};

// The run header, dated with the clock's current time.
void WriteLogHeader(std::ostream& log, const LogHeaderInfo& info, const CUploadOptions& options);
