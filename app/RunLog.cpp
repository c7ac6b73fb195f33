// The run log stream, its default directory and the run header.
#include "app/RunLog.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "app/ResourceLibrary.h"
#include "kernel/tables/api/UploadOptions.h"
#include "platform/tempdir.h"

CLogBuf::~CLogBuf() { Close(); }

bool CLogBuf::Open(const std::string& path, bool private_file) {
  if (m_state == State::Open) return true;
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  mode_t mode = 0666;
  if (private_file) {
    // A shared temporary directory: refuse links, special files and files of
    // other users, and keep the log readable by its owner only.
    flags = (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK;
    mode = 0600;
  }
  m_reason.clear();
  m_fd = path.empty() ? -1 : ::open(path.c_str(), flags, mode);
  if (m_fd < 0) m_reason = path.empty() ? "no path" : std::strerror(errno);
  if (m_fd >= 0 && private_file) {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      m_reason = "not a regular file of this user";
      ::close(m_fd);
      m_fd = -1;
    } else if (::fchmod(m_fd, 0600) != 0 || ::fcntl(m_fd, F_SETFL, 0) != 0 || ::ftruncate(m_fd, 0) != 0) {
      m_reason = std::strerror(errno);
      ::close(m_fd);
      m_fd = -1;
    }
  }
  if (m_fd < 0) {
    m_state = State::Closed;
    m_buffer.clear();
    return false;
  }
  m_state = State::Open;
  WriteThrough();
  return true;
}

void CLogBuf::Close() {
  if (m_state == State::Open) {
    WriteThrough();
    ::close(m_fd);
  }
  m_fd = -1;
  m_state = State::Closed;
  m_buffer.clear();
}

void CLogBuf::WriteThrough() {
  size_t done = 0;
  while (done < m_buffer.size()) {
    ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // The disk refused: the rest of the run goes unlogged.
      ::close(m_fd);
      m_fd = -1;
      m_state = State::Closed;
      break;
    }
    done += static_cast<size_t>(n);
  }
  m_buffer.clear();
}

CLogBuf::int_type CLogBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  char ch = traits_type::to_char_type(c);
  xsputn(&ch, 1);
  return c;
}

std::streamsize CLogBuf::xsputn(const char* s, std::streamsize n) {
  if (m_state == State::Closed) return n;
  m_buffer.append(s, static_cast<size_t>(n));
  if (m_state == State::Open && m_buffer.find('\n') != std::string::npos) WriteThrough();
  return n;
}

int CLogBuf::sync() {
  if (m_state == State::Open) WriteThrough();
  return 0;
}

std::string CMTestLog::GetDir(std::ostream& log) {
  std::string dir = platform::TempDirectory();
  if (dir.empty()) {
    dir = std::string(".");
  } else if (dir.size() > kMaxTempPath) {
    log << LoadResString(124) << "\n";
    dir = std::string("/tmp");
  }
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string FormatLogDate(const platform::LocalTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%d/%d/%d", t.month, t.day, t.year);
  return buf;
}

std::string FormatLogTime(const platform::LocalTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%d:%d:%d", t.hour, t.minute, t.second);
  return buf;
}

std::string FormatLogDateTime(const platform::LocalTime& t) {
  return LoadResString(152) + FormatLogDate(t) + LoadResString(153) + FormatLogTime(t);
}

std::string FormatElapsed(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return buf;
}

namespace {
const std::string kDashes(44, '-');
std::string YesNo(bool b) { return LoadResString(b ? 162 : 161); }
}  // namespace

void WriteLogHeader(std::ostream& log, const LogHeaderInfo& info, const CUploadOptions& o) {
  log << info.ProductName << LoadResString(151) << info.ProductVersion << "\n";
  log << "    " << FormatLogDateTime(platform::Now()) << "\n";
  log << kDashes << "\n";
  log << LoadResString(154) << info.DatabaseName << "\n";
  log << LoadResString(155) << info.UserName << "\n\n";
  log << LoadResString(156) << "\n";
  std::string mode;
  if (o.Replace)
    mode = LoadResString(157);
  else if (o.Append)
    mode = LoadResString(158);
  else if (o.Create)
    mode = LoadResString(159);
  log << LoadResString(160) << mode << "\n";
  log << LoadResString(163) << YesNo(o.Merge) << "\n";
  log << LoadResString(164) << YesNo(o.GrantPublic) << "\n";
  log << LoadResString(165) << YesNo(o.KeyConstraint) << "\n";
  log << LoadResString(166) << YesNo(o.SpatialIndex) << "\n";
  log << LoadResString(167) << YesNo(o.SkipKeyRefresh) << "\n";
  log << LoadResString(168) << YesNo(o.StyleEnabled) << "\n";
  if (info.NoRenditionColumns)
    log << "\n" << LoadResString(185) << "\n";
  else if (o.StyleEnabled)
    log << LoadResString(169) << o.StyleColumn << "\n";
  log << kDashes << "\n" << std::flush;
}
