// The file registry, opening with exclusion between handles, binary and text
// input and output, and whole-file operations.
#include "kernel/runtime/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/cache.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/mem.h"

int16_t g_file_open_switch = 1;

namespace {

struct FileRegistry {
  std::vector<FileEntry> entries;  // grown by 100
  int32_t open_count = 0;          // files the kernel holds open
  FileIoCounters io = {};
  int32_t fail_rename = 0;
  int32_t fail_extend = 0;
  int32_t fail_write = 0;
};
FileRegistry g_reg;

uint32_t use_count(const FileEntry& e) { return e.flags & kFileUseMask; }
void set_use_count(FileEntry& e, uint32_t n) { e.flags = (e.flags & ~kFileUseMask) | (n & kFileUseMask); }
int open_mode(const FileEntry& e) { return static_cast<int>((e.flags >> kFileModeShift) & 3); }
bool is_open(const FileEntry& e) { return e.descriptor >= 0 || e.stream != nullptr; }
bool is_text(const FileEntry& e) { return (e.flags & kFileText) != 0; }

std::string full_path(const FileEntry& e) {
  char out[kPathSize];
  path_of_entry(e.name, out);
  return out;
}

FileStamp stamp_of(int fd, const char* path) {
  struct stat st;
  const int r = fd >= 0 ? fstat(fd, &st) : path != nullptr ? stat(path, &st) : -1;
  if (r != 0) return FileStamp{-1, 0, 0, 0};
  return FileStamp{1, static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                   static_cast<int64_t>(st.st_size), static_cast<uint64_t>(st.st_ino)};
}

bool same_stamp(const FileStamp& a, const FileStamp& b) {
  return a.state == b.state && a.mtime_ns == b.mtime_ns && a.size == b.size && a.inode == b.inode;
}

// Whole-file open-file-description lock; false on a conflict.
bool lock_whole(int fd, bool write) {
  struct flock fl = {};
  fl.l_type = static_cast<short>(write ? F_WRLCK : F_RDLCK);
  fl.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

int fd_of(const FileEntry& e) { return e.stream != nullptr ? fileno(e.stream) : e.descriptor; }

}  // namespace

// ---- descriptor input and output

namespace {

// Read-ahead beneath the descriptor reads: a small read is served from the
// bytes one larger read of the same descriptor brought in, when it lies
// wholly inside them. Every write, size change, open and close drops them,
// so a read answers exactly what the file held at that moment (the block
// cache reads a file 512 bytes at a time; this spares a system call for
// each of them).
struct ReadAhead {
  int fd = -1;
  int64_t start = 0;
  int64_t valid = 0;
  uint8_t data[64 * 1024];
};
ReadAhead g_ahead;
constexpr int64_t kReadAheadLargest = 4096;  // reads up to this size go through it

void ahead_drop() { g_ahead.fd = -1; }

ssize_t pread_all(int fd, void* buffer, size_t count, int64_t offset) {
  ssize_t n;
  do {
    n = pread(fd, buffer, count, offset);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

int64_t file_io_pread(int fd, void* buffer, int64_t count, int64_t offset) {
  ++g_reg.io.reads;
  if (fd >= 0 && fd == g_ahead.fd && count >= 0 && offset >= g_ahead.start &&
      offset + count <= g_ahead.start + g_ahead.valid) {
    std::memcpy(buffer, g_ahead.data + (offset - g_ahead.start), static_cast<size_t>(count));
    return count;
  }
  if (count <= 0 || count > kReadAheadLargest || offset < 0) return pread_all(fd, buffer, static_cast<size_t>(count), offset);
  ahead_drop();
  const ssize_t n = pread_all(fd, g_ahead.data, sizeof g_ahead.data, offset);
  if (n < 0) return n;
  g_ahead.fd = fd;
  g_ahead.start = offset;
  g_ahead.valid = n;
  const int64_t got = n < count ? n : count;
  std::memcpy(buffer, g_ahead.data, static_cast<size_t>(got));
  return got;
}

int64_t file_io_pwrite(int fd, const void* buffer, int64_t count, int64_t offset) {
  ++g_reg.io.writes;
  ahead_drop();
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = pwrite(fd, static_cast<const char*>(buffer) + done,
                             static_cast<size_t>(count - done), offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += n;
  }
  return done;
}

FileIoCounters file_io_counters() { return g_reg.io; }
void file_io_counters_reset() { g_reg.io = {}; }
void file_test_fail_rename_nth(int32_t n) { g_reg.fail_rename = n; }
void file_test_fail_extend_nth(int32_t n) { g_reg.fail_extend = n; }
void file_test_fail_write_nth(int32_t n) { g_reg.fail_write = n; }

namespace {

// The test seam of file_test_fail_write_nth: true for the write that fails.
bool write_fails() { return g_reg.fail_write > 0 && --g_reg.fail_write == 0; }

}  // namespace

// ---- registration

FileEntry* file_entry(int32_t handle) {
  if (handle < kFileHandleBase) return nullptr;
  const auto i = static_cast<size_t>(handle - kFileHandleBase);
  if (i >= g_reg.entries.size() || !(g_reg.entries[i].flags & kFileInUse)) return nullptr;
  return &g_reg.entries[i];
}

int32_t file_check_handle(int32_t handle) {
  if (file_entry(handle) == nullptr) {
    char text[16];
    fmt_format(text, sizeof text, "%d", handle);
    err_push(4, kErrFileBadHandle, text, nullptr);
    return -1;
  }
  return handle - kFileHandleBase;
}

int32_t file_register_ex(const char* path, int ext_id, int16_t check) {
  FileNameEntry parsed;
  if (!path_parse(path, ext_id, &parsed)) return 0;
  if (check) {
    for (const FileEntry& e : g_reg.entries) {
      if ((e.flags & kFileInUse) && e.name->dir_id == parsed.dir_id && e.name->ext_id == ext_id &&
          path_text_equal(e.name->name, parsed.name)) {
        err_push(4, kErrFileRegistered, parsed.name, nullptr);
        return 0;
      }
    }
  }
  size_t i = 0;
  while (i < g_reg.entries.size() && (g_reg.entries[i].flags & kFileInUse)) ++i;
  if (i == g_reg.entries.size()) g_reg.entries.resize(g_reg.entries.size() + 100, FileEntry{});
  FileNameEntry* name = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(FileNameEntry)), &name)) return 0;
  *name = parsed;
  FileEntry& e = g_reg.entries[i];
  e = FileEntry{};
  e.name = name;
  e.descriptor = -1;
  e.flags = kFileInUse;
  e.charset = static_cast<int8_t>(charset_current());
  return static_cast<int32_t>(i) + kFileHandleBase;
}

int32_t file_register(const char* path, int ext_id) { return file_register_ex(path, ext_id, 1); }

int32_t file_register_nocheck(const char* path, int ext_id) {
  return file_register_ex(path, ext_id, 0);
}

int32_t file_register_temp(const char* dir_path) {
  char name[kPathSize];
  if (file_temp_name(name, dir_path) != 1) return 0;
  return file_register_ex(name, 0, 1);
}

int32_t file_register_companion(int32_t handle, const char* path, int ext_id) {
  if (handle != 0) {
    char full[kPathSize];
    file_get_path(handle, full);
    if (!path_extension_forced(ext_id) && *path_extension(ext_id) != '\0') {
      if (!path_set_extension(full, path_extension(ext_id))) {
        err_push(4, kErrPathNotFound, full, nullptr);
        return 0;
      }
    }
    return file_register_ex(full, ext_id, 1);
  }
  if (path != nullptr) return file_register_ex(path, ext_id, 1);
  return file_register_temp(nullptr);
}

int32_t file_find(const char* path, int ext_id) {
  FileNameEntry parsed;
  if (!path_parse(path, ext_id, &parsed)) return 0;
  for (size_t i = 0; i < g_reg.entries.size(); ++i) {
    const FileEntry& e = g_reg.entries[i];
    if ((e.flags & kFileInUse) && e.name->dir_id == parsed.dir_id &&
        path_text_equal(e.name->name, parsed.name)) {
      return static_cast<int32_t>(i) + kFileHandleBase;
    }
  }
  return 0;
}

int16_t file_exists(const char* path, int ext_id) { return path_exists(path, ext_id); }

int16_t file_unregister(int32_t handle) {
  if (file_check_handle(handle) < 0) return -1;
  FileEntry& e = *file_entry(handle);
  cache_flush_drop(handle);
  if (is_open(e)) file_close(handle);
  mem_free(&e.name);
  e = FileEntry{};
  e.descriptor = -1;
  return 1;
}

void file_get_path(int32_t handle, char* out) {
  out[0] = '\0';
  if (const FileEntry* e = file_entry(handle)) path_of_entry(e->name, out);
}

void file_get_dir(int32_t handle, char* out) {
  out[0] = '\0';
  if (const FileEntry* e = file_entry(handle)) path_dir_get(e->name, out);
}

void file_get_name(int32_t handle, char* out) {
  out[0] = '\0';
  if (const FileEntry* e = file_entry(handle)) std::memcpy(out, e->name->name, std::strlen(e->name->name) + 1);
}

void file_get_relative_path(int32_t handle, char* out, int32_t base_handle) {
  file_get_path(handle, out);
  // Without a base handle the base is the kernel's current directory,
  // which is the empty text: the full path stays.
  char base[kPathSize] = {};
  if (base_handle != 0) file_get_dir(base_handle, base);
  else path_current_dir(base);
  const size_t n = std::strlen(base);
  if (n > 0 && path_text_starts_with(out, base)) std::memmove(out, out + n, std::strlen(out + n) + 1);
}

int32_t file_get_mode(int32_t handle) {
  const FileEntry* e = file_entry(handle);
  return e != nullptr ? open_mode(*e) : 1;
}

int32_t file_get_charset(int32_t handle) {
  const FileEntry* e = file_entry(handle);
  return e != nullptr ? e->charset : -1;
}

void file_set_charset(int32_t handle, int set) {
  if (FileEntry* e = file_entry(handle)) e->charset = static_cast<int8_t>(set);
}

int32_t file_get_size(int32_t handle) {
  const FileEntry* e = file_entry(handle);
  return e != nullptr ? e->size : -1;
}

int32_t file_get_pos(int32_t handle) {
  const FileEntry* e = file_entry(handle);
  return e != nullptr ? e->position : -1;
}

int64_t file_get_mtime(int32_t handle) {
  const FileEntry* e = file_entry(handle);
  if (e == nullptr) return 0;
  const FileStamp s = stamp_of(is_open(*e) ? fd_of(*e) : -1, full_path(*e).c_str());
  return s.state == 1 ? s.mtime_ns : 0;
}

int32_t file_handle_of(int32_t value) { return value; }

int32_t file_mode_from_oflag(int32_t flags) {
  if (flags & O_CREAT) return 3;
  if (flags & (O_WRONLY | O_RDWR)) return 2;
  return 1;
}

int32_t file_free_slots() {
  return g_reg.open_count < 256 ? kFileMaxOpen - g_reg.open_count : 0;
}

int16_t file_enter_dir(int32_t handle, char* save) {
  if (save == nullptr) return 0;
  save[0] = '\0';
  if (getcwd(save, kFileDirSaveSize) == nullptr) {
    save[0] = '\0';
    return 0;
  }
  char dir[kPathSize];
  file_get_dir(handle, dir);
  if (dir[0] == '\0') return 0;
  return chdir(dir) == 0 ? 1 : 0;
}

int16_t file_leave_dir(const char* save) {
  if (save == nullptr || save[0] == '\0') return 0;
  return chdir(save) == 0 ? 1 : 0;
}

// ---- opening and closing

namespace {

// Opens the file of a closed entry at the operating system. Answers the
// descriptor, or -1 after the failure handling of the open.
int open_at_os(FileEntry& e, int mode) {
  std::string path = full_path(e);
  char full[kPathSize];
  fmt_format(full, sizeof full, "%s", path.c_str());
  path_resolve_case(full);
  const char* name = e.name->name;
  for (;;) {
    int fd = -1;
    int err = 0;
    if (g_reg.open_count >= kFileMaxOpen) {
      err = EMFILE;
    } else {
      const int flags = O_CLOEXEC | (mode == 1 ? O_RDONLY : mode == 2 ? O_RDWR : O_RDWR | O_CREAT);
      ahead_drop();
      fd = open(full, flags, 0666);
      if (fd < 0) {
        err = errno;
      } else {
        struct stat st;
        if (!lock_whole(fd, mode != 1)) {
          err = EACCES;
        } else if (mode != 1 && fstat(fd, &st) == 0 && (st.st_mode & 0222) == 0) {
          err = EACCES;  // read-only file
        } else if (mode == 3 && ftruncate(fd, 0) != 0) {
          err = errno;
        }
        if (err != 0) {
          close(fd);
          fd = -1;
        }
      }
    }
    if (fd >= 0) return fd;
    switch (err) {
      case ENOENT:
      case ENOTDIR:
      case ENOSPC:
        err_push(4, kErrPathNotFound, name, nullptr);
        return -1;
      case EACCES:
      case EPERM:
      case EROFS:
      case EAGAIN:
        if (mode != 3) err_push(4, kErrFileAccess, name, nullptr);
        return -1;
      case EEXIST:
        err_push(4, kErrFileExists, nullptr, nullptr);
        return -1;
      case EMFILE:
      case ENFILE:
        if (file_close_oldest_idle()) continue;
        err_push(4, kErrFileTooMany, name, nullptr);
        return -1;
      default:
        if (mode != 3) {
          char number[16];
          fmt_format(number, sizeof number, "%d", err);
          err_push(4, kErrFileOther, number, name);
        }
        return -1;
    }
  }
}

int32_t open_closed(int32_t handle, int mode, int16_t text, int16_t* changed) {
  FileEntry& e = *file_entry(handle);
  e.flags = (e.flags & ~(3u << kFileModeShift) & ~kFileText) |
            (static_cast<uint32_t>(mode) << kFileModeShift) | (text ? kFileText : 0);
  for (FileEntry& o : g_reg.entries) {
    if ((o.flags & kFileInUse) && is_open(o) && use_count(o) == 0) ++o.idle_age;
  }
  e.idle_age = 1;
  if (mode == 3) cache_flush_drop(handle);
  const int fd = open_at_os(e, mode);
  // The open may have closed idle files; e stays valid (the array does not move).
  if (fd < 0) return -1;
  if (text) {
    const char* how = mode == 1 ? "rb" : mode == 2 ? "r+b" : "w+b";
    e.stream = fdopen(fd, how);
    if (e.stream == nullptr) {
      close(fd);
      return -1;
    }
    e.descriptor = -1;
  } else {
    e.descriptor = fd;
  }
  const FileStamp now = stamp_of(fd, nullptr);
  if (!same_stamp(now, e.stamp)) {
    cache_flush_drop(handle);
    if (e.stamp.state != 0 && changed != nullptr) *changed |= 1;
  }
  set_use_count(e, 1);
  ++g_reg.open_count;
  if (text) {
    rewind(e.stream);
  } else {
    struct stat st;
    e.size = fstat(fd, &st) == 0 ? static_cast<int32_t>(std::min<off_t>(st.st_size, INT32_MAX)) : 0;
    e.position = 0;
  }
  return handle;
}

}  // namespace

int32_t file_open(int32_t handle, int mode, int16_t text, int16_t* changed) {
  FileEntry* ep = file_entry(handle);
  if (ep == nullptr) return -1;
  FileEntry& e = *ep;
  if (mode < 1 || mode > 3) mode = 1;
  const bool want_text = text != 0;
  if (is_open(e)) {
    const int cur = open_mode(e);
    const bool compatible = is_text(e) == want_text && (cur == mode || cur == 3 || (cur == 2 && mode == 1));
    if (compatible) {
      set_use_count(e, use_count(e) + 1);
      e.position = 0;
      if (e.stream != nullptr) rewind(e.stream);
      return handle;
    }
    if (use_count(e) == 0) {
      file_close(handle);
      return open_closed(handle, mode, text, changed);
    }
    if (is_text(e) == want_text && cur == 1 && mode == 2) {
      const uint32_t old = use_count(e);
      set_use_count(e, 1);
      file_close(handle);
      if (open_closed(handle, 2, text, changed) < 0) {
        if (open_closed(handle, 1, text, nullptr) >= 0) set_use_count(e, old);
        return -1;
      }
      set_use_count(e, old + 1);
      return handle;
    }
    err_push(4, kErrFileModeConflict, e.name->name, nullptr);
    return -1;
  }
  return open_closed(handle, mode, text, changed);
}

int32_t file_open_binary(int32_t handle, int mode, int16_t* changed) {
  return file_open(handle, mode, 0, changed);
}

int32_t file_open_text(int32_t handle, int mode, int16_t* changed) {
  return file_open(handle, mode, 1, changed) < 0 ? 0 : handle;
}

int32_t file_release(int32_t handle) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr || use_count(*e) == 0) {
    char text[16];
    fmt_format(text, sizeof text, "#%d", handle);
    err_push(4, kErrFileNotInUse, text, nullptr);
    return -1;
  }
  if (use_count(*e) == 1) {
    file_close(handle);
    return 0;
  }
  set_use_count(*e, use_count(*e) - 1);
  return 0;
}

int32_t file_release_text(int32_t handle) { return file_release(handle); }

void file_close(int32_t handle) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr || !is_open(*e)) return;
  cache_flush(handle);
  int fd = -1;
  if (e->stream != nullptr) {
    fflush(e->stream);
    fd = fileno(e->stream);
  } else {
    fd = e->descriptor;
  }
  e->stamp = stamp_of(fd, nullptr);
  ahead_drop();
  if (e->stream != nullptr) fclose(e->stream);
  else close(e->descriptor);
  // Stamp after the close too: closing a stream may still write.
  if (e->stamp.state == 1) e->stamp = stamp_of(-1, full_path(*e).c_str());
  --g_reg.open_count;
  set_use_count(*e, 0);
  e->descriptor = -1;
  e->stream = nullptr;
}

void file_close_if_open(int32_t handle) {
  if (file_check_handle(handle) < 0) return;
  if (is_open(*file_entry(handle))) file_close(handle);
}

void file_close_idle() {
  for (size_t i = 0; i < g_reg.entries.size(); ++i) {
    const FileEntry& e = g_reg.entries[i];
    if ((e.flags & kFileInUse) && is_open(e) && use_count(e) == 0) {
      file_close(static_cast<int32_t>(i) + kFileHandleBase);
    }
  }
}

int16_t file_close_oldest_idle() {
  int32_t best = -1;
  int32_t age = -1;
  for (size_t i = 0; i < g_reg.entries.size(); ++i) {
    const FileEntry& e = g_reg.entries[i];
    if ((e.flags & kFileInUse) && is_open(e) && use_count(e) == 0 && e.idle_age > age) {
      age = e.idle_age;
      best = static_cast<int32_t>(i);
    }
  }
  if (best < 0) return 0;
  file_close(best + kFileHandleBase);
  return 1;
}

// ---- binary input and output

int32_t file_read(int32_t handle, void* buffer, int32_t count) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr || count < 0 || buffer == nullptr) return -1;
  if (block_cache_active()) return cache_read(handle, buffer, count);
  if (e->descriptor < 0) return -1;
  const int64_t n = file_io_pread(e->descriptor, buffer, count, e->position);
  if (n < 0) return -1;
  e->position += static_cast<int32_t>(n);
  return static_cast<int32_t>(n);
}

int32_t file_write(int32_t handle, const void* buffer, int32_t count) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr || count < 0 || buffer == nullptr) return -1;
  if (write_fails()) return -1;
  if (block_cache_active()) return cache_write(handle, buffer, count);
  if (e->descriptor < 0) return -1;
  const int64_t n = file_io_pwrite(e->descriptor, buffer, count, e->position);
  if (n < 0) return -1;
  e->position += static_cast<int32_t>(n);
  e->size = std::max(e->size, e->position);
  return static_cast<int32_t>(n);
}

int32_t file_seek(int32_t handle, int32_t offset, int whence) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr) return -1;
  int64_t pos = e->position;
  if (whence == 0) pos = offset;
  else if (whence == 1) pos += offset;
  else if (whence == 2) pos = static_cast<int64_t>(e->size) + offset;
  if (pos < 0 || pos > INT32_MAX) return -1;
  e->position = static_cast<int32_t>(pos);
  return e->position;
}

int32_t file_extend_disk(int32_t descriptor, int64_t size) {
  if (g_reg.fail_extend > 0 && --g_reg.fail_extend == 0) return -1;
  if (descriptor < 0 || size < 0) return -1;
  ahead_drop();
  return ftruncate(descriptor, size) == 0 ? 0 : -1;
}

int32_t file_set_size(int32_t handle, int32_t size) {
  FileEntry* e = file_entry(handle);
  if (e == nullptr || e->descriptor < 0 || size < 0) return -1;
  if (file_extend_disk(e->descriptor, size) != 0) return -1;
  const int32_t old = e->size;
  e->size = size;
  cache_set_size(handle, size, old);
  return 0;
}

int32_t file_read_text(int32_t handle, char* buffer, int32_t count) {
  if (buffer == nullptr || count < 0) return -1;
  const int32_t n = file_read(handle, buffer, count);
  buffer[n > 0 ? n : 0] = '\0';
  if (n > 0) charset_convert(buffer, file_get_charset(handle), charset_current());
  return n;
}

int32_t file_write_text(int32_t handle, const char* text, int32_t count) {
  if (text == nullptr || count < 0) return -1;
  std::string copy(text, static_cast<size_t>(count));
  charset_convert(copy.data(), charset_current(), file_get_charset(handle));
  return file_write(handle, copy.data(), static_cast<int32_t>(std::strlen(copy.c_str())));
}

// ---- text streams

namespace {

// The handle's stream. Streams are written through, so the read-ahead of
// the descriptor reads is dropped first.
FILE* stream_of(int32_t handle) {
  const FileEntry* e = file_entry(handle);
  ahead_drop();
  return e != nullptr ? e->stream : nullptr;
}

// Writes text with each LF replaced by the file set's line end.
int32_t write_lines(FILE* f, const char* text, size_t n, const char* line_end) {
  const size_t le = std::strlen(line_end);
  size_t start = 0;
  for (size_t i = 0; i <= n; ++i) {
    if (i == n || text[i] == '\n') {
      if (i > start && fwrite(text + start, 1, i - start, f) != i - start) return -1;
      if (i < n && fwrite(line_end, 1, le, f) != le) return -1;
      start = i + 1;
    }
  }
  return 0;
}

}  // namespace

char* file_read_line(char* buffer, int32_t size, int32_t handle) {
  FILE* f = stream_of(handle);
  if (f == nullptr || buffer == nullptr || size < 2) return nullptr;
  const long start = ftell(f);
  int32_t got = 0;
  while (got < size - 1) {
    const int32_t want = std::min<int32_t>(40, size - 1 - got);
    const size_t n = fread(buffer + got, 1, static_cast<size_t>(want), f);
    if (n == 0) break;
    if (n == 1 && static_cast<uint8_t>(buffer[got]) == 0x1A) {
      // The end-of-file mark: nothing read gives null; a line read before
      // it is kept (without the mark), and the next call meets the mark.
      if (got == 0) return nullptr;
      buffer[got] = '\0';
      fseek(f, start + got, SEEK_SET);
      charset_convert(buffer, file_get_charset(handle), charset_current());
      return buffer;
    }
    const int32_t from = got;
    got += static_cast<int32_t>(n);
    for (int32_t i = from; i < got; ++i) {
      if (buffer[i] != '\r' && buffer[i] != '\n') continue;
      int32_t consumed = i + 1;
      if (buffer[i] == '\r') {
        if (i + 1 < got) {
          if (buffer[i + 1] == '\n') consumed = i + 2;
        } else {
          const int c = fgetc(f);
          if (c == '\n') consumed = i + 2;
          // A byte read past the line end is read again after the seek below.
        }
      }
      buffer[i] = '\n';
      buffer[i + 1] = '\0';
      fseek(f, start + consumed, SEEK_SET);
      charset_convert(buffer, file_get_charset(handle), charset_current());
      return buffer;
    }
  }
  if (got == 0) return nullptr;
  buffer[got] = '\0';
  fseek(f, start + got, SEEK_SET);
  charset_convert(buffer, file_get_charset(handle), charset_current());
  return buffer;
}

int32_t file_getc(int32_t handle) {
  FILE* f = stream_of(handle);
  if (f == nullptr) return -1;
  const int c = fgetc(f);
  if (c == EOF || c == 0x1A) return -1;
  if (c == '\r') {
    const int d = fgetc(f);
    if (d != '\n' && d != EOF) ungetc(d, f);
    return '\n';
  }
  char text[2] = {static_cast<char>(c), '\0'};
  charset_convert(text, file_get_charset(handle), charset_current());
  return static_cast<uint8_t>(text[0]);
}

int32_t file_putc(int32_t c, int32_t handle) {
  FILE* f = stream_of(handle);
  if (f == nullptr || write_fails()) return -1;
  if (c == '\n') {
    const char* le = charset_line_end(file_get_charset(handle));
    return fputs(le, f) < 0 ? -1 : c;
  }
  char text[2] = {static_cast<char>(c), '\0'};
  charset_convert(text, charset_current(), file_get_charset(handle));
  return fputc(static_cast<uint8_t>(text[0]), f) == EOF ? -1 : c;
}

int32_t file_puts(const char* text, int32_t handle) {
  FILE* f = stream_of(handle);
  if (f == nullptr || text == nullptr || write_fails()) return -1;
  std::string copy = text;
  charset_convert(copy.data(), charset_current(), file_get_charset(handle));
  const size_t n = std::strlen(copy.c_str());
  return write_lines(f, copy.c_str(), n, charset_line_end(file_get_charset(handle)));
}

int32_t file_vprintf(int32_t handle, const char* format, va_list args) {
  if (format == nullptr) return -1;
  std::vector<char> buf(512);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    const int32_t n = fmt_vformat(buf.data(), static_cast<int32_t>(buf.size()), format, copy);
    va_end(copy);
    if (n < static_cast<int32_t>(buf.size()) - 1 || buf.size() >= (1u << 24)) {
      return file_puts(buf.data(), handle) < 0 ? -1 : n;
    }
    buf.resize(buf.size() * 4);
  }
}

int32_t file_printf(int32_t handle, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int32_t n = file_vprintf(handle, format, args);
  va_end(args);
  return n;
}

size_t file_fread(void* buffer, size_t size, size_t count, int32_t handle) {
  FILE* f = stream_of(handle);
  return f != nullptr ? fread(buffer, size, count, f) : 0;
}

size_t file_fwrite(const void* buffer, size_t size, size_t count, int32_t handle) {
  FILE* f = stream_of(handle);
  if (f == nullptr || write_fails()) return 0;
  return fwrite(buffer, size, count, f);
}

size_t file_fwrite_conv(const void* buffer, size_t size, size_t count, int32_t handle) {
  FILE* f = stream_of(handle);
  if (f == nullptr || buffer == nullptr || size == 0 || write_fails()) return 0;
  std::string copy(static_cast<const char*>(buffer), size * count);
  charset_convert(copy.data(), charset_current(), file_get_charset(handle));
  const size_t n = std::strlen(copy.c_str());
  return fwrite(copy.data(), 1, n, f) == n ? count : 0;
}

int32_t file_fseek(int32_t handle, long offset, int whence) {
  FILE* f = stream_of(handle);
  return f != nullptr ? fseek(f, offset, whence) : -1;
}

long file_ftell(int32_t handle) {
  FILE* f = stream_of(handle);
  return f != nullptr ? ftell(f) : -1;
}

int32_t file_eof(int32_t handle) {
  FILE* f = stream_of(handle);
  return f != nullptr ? feof(f) : 1;
}

int32_t file_error(int32_t handle) {
  FILE* f = stream_of(handle);
  return f != nullptr ? ferror(f) : 1;
}

long file_text_size(int32_t handle) {
  FILE* f = stream_of(handle);
  if (f == nullptr) return -1;
  const long pos = ftell(f);
  fseek(f, 0, SEEK_END);
  const long size = ftell(f);
  fseek(f, pos, SEEK_SET);
  return size;
}

int32_t file_flush_text(int32_t handle) {
  FILE* f = stream_of(handle);
  return f != nullptr ? fflush(f) : -1;
}

// ---- whole files

int16_t file_copy(int32_t source, int32_t target, int16_t append) {
  cache_flush(source);
  if (file_open(source, 1, 0, nullptr) < 0) return 0;
  if (file_open(target, append ? 2 : 3, 0, nullptr) < 0) {
    file_release(source);
    return 0;
  }
  if (append) file_seek(target, 0, 2);
  bool ok = true;
  char buf[4096];
  for (;;) {
    const int32_t n = file_read(source, buf, sizeof buf);
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    if (file_write(target, buf, n) != n) {
      ok = false;
      break;
    }
  }
  file_release(source);
  file_release(target);
  if (!ok) {
    char name[kPathSize];
    file_get_name(target, name);
    err_push(4, kErrFileCopy, name, nullptr);
    return 0;
  }
  return 1;
}

int16_t file_rename(int32_t* handle, const char* new_path, int ext_id) {
  if (handle == nullptr || new_path == nullptr || file_check_handle(*handle) < 0) return 0;
  const int32_t old = *handle;
  file_close(old);
  FileEntry& e = *file_entry(old);
  if (ext_id == 0) ext_id = e.name->ext_id;
  char target[kPathSize];
  fmt_format(target, sizeof target, "%s", new_path);
  if (std::strlen(new_path) > static_cast<size_t>(kPathMaxLen) || !path_make_absolute(target, old)) {
    err_push(4, kErrPathNotFound, new_path, nullptr);
    return 0;
  }
  if (file_find(target, ext_id) != 0) {
    err_push(4, kErrFileRenameTarget, target, nullptr);
    return 0;
  }
  const int32_t fresh = file_register_ex(target, ext_id, 1);
  if (fresh == 0) return 0;
  char from[kPathSize];
  char to[kPathSize];
  file_get_path(old, from);
  file_get_path(fresh, to);
  // A file at the new path, even the same file under another case, is a
  // taken target.
  struct stat st;
  if (stat(to, &st) == 0) {
    file_unregister(fresh);
    err_push(4, kErrFileRenameTarget, target, nullptr);
    return 0;
  }
  cache_flush_drop(old);
  if (std::rename(from, to) == 0) {
    file_unregister(old);
    *handle = fresh;
    return 1;
  }
  if (file_copy(old, fresh, 0)) {
    if (std::remove(from) == 0) {
      file_unregister(old);
      *handle = fresh;
      return 1;
    }
    std::remove(to);
    file_unregister(fresh);
    err_push(4, kErrFileRenameDelete, from, nullptr);
    return 0;
  }
  file_unregister(fresh);
  return 0;
}

int16_t file_delete(int32_t handle) {
  if (file_check_handle(handle) < 0) return 0;
  FileEntry& e = *file_entry(handle);
  if (is_open(e)) file_close(handle);
  cache_flush_drop(handle);
  return std::remove(full_path(e).c_str()) == 0 ? 1 : 0;
}

int16_t file_delete_set(const int32_t* handles, int32_t count) {
  if (count <= 0) return 1;
  if (handles == nullptr) return 0;
  std::vector<std::pair<std::string, std::string>> moved;
  for (int32_t i = 0; i < count; ++i) {
    if (file_check_handle(handles[i]) < 0) return 0;
  }
  auto undo = [&]() {
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) std::rename(it->second.c_str(), it->first.c_str());
  };
  for (int32_t i = 0; i < count; ++i) {
    const int32_t h = handles[i];
    file_close(h);
    cache_flush_drop(h);
    char path[kPathSize];
    char dir[kPathSize];
    char temp[kPathSize];
    file_get_path(h, path);
    file_get_dir(h, dir);
    if (file_temp_name(temp, dir[0] ? dir : nullptr) != 1) {
      undo();
      return 0;
    }
    const bool fail = g_reg.fail_rename > 0 && --g_reg.fail_rename == 0;
    // rename(2) replaces the reserved empty file.
    if (fail || std::rename(path, temp) != 0) {
      std::remove(temp);
      undo();
      return 0;
    }
    moved.emplace_back(path, temp);
  }
  for (const auto& m : moved) std::remove(m.second.c_str());
  return 1;
}

int16_t file_touch(int32_t handle) {
  if (file_check_handle(handle) < 0) return 0;
  const std::string path = full_path(*file_entry(handle));
  return utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0 ? 1 : 0;
}

int16_t file_is_locked(const char* path) {
  const int16_t saved = g_file_open_switch;
  g_file_open_switch = 0;
  const int32_t h = file_register_nocheck(path, 44);
  int16_t locked = 1;
  if (h != 0) {
    if (file_open(h, 2, 0, nullptr) >= 0) {
      locked = 0;
      file_release(h);
    }
    file_unregister(h);
  }
  if (locked) err_clear();
  g_file_open_switch = saved;
  return locked;
}

int16_t file_can_write(const char* path, int16_t test_existing) {
  if (!file_exists(path, 0)) {
    const int16_t saved = g_file_open_switch;
    g_file_open_switch = 0;
    int16_t ok = 0;
    const int32_t h = file_register_nocheck(path, 0);
    if (h != 0) {
      if (file_open(h, 3, 0, nullptr) >= 0) {
        ok = 1;
        file_release(h);
      }
      file_unregister(h);
    }
    if (!ok) err_clear();
    g_file_open_switch = saved;
    return ok;
  }
  if (test_existing) return file_is_locked(path) == 0 ? 1 : 0;
  return 0;
}

int32_t file_stat(const char* path, struct stat* record) {
  if (path == nullptr || record == nullptr || std::strlen(path) > static_cast<size_t>(kPathMaxLen)) return -1;
  // Windows names: found without regard to case, as opens find them.
  char full[kPathSize];
  fmt_format(full, sizeof full, "%s", path);
  path_resolve_case(full);
  return stat(full, record);
}

int32_t file_rename_path(const char* old_path, const char* new_path) {
  if (old_path == nullptr || new_path == nullptr) return -1;
  return std::rename(old_path, new_path);
}

int16_t file_replace(const char* temp_path, int32_t handle) {
  if (temp_path == nullptr) return 0;
  if (file_check_handle(handle) < 0) {
    std::remove(temp_path);
    return 0;
  }
  file_close(handle);
  cache_flush_drop(handle);
  const std::string target = full_path(*file_entry(handle));
  const bool fail = g_reg.fail_rename > 0 && --g_reg.fail_rename == 0;
  if (fail || std::rename(temp_path, target.c_str()) != 0) {
    std::remove(temp_path);
    return 0;
  }
  return 1;
}

int32_t file_remove_path(const char* path) {
  if (path == nullptr) return -1;
  return std::remove(path);
}

void file_registry_free() {
  for (size_t i = 0; i < g_reg.entries.size(); ++i) {
    if (g_reg.entries[i].flags & kFileInUse) file_unregister(static_cast<int32_t>(i) + kFileHandleBase);
  }
  std::vector<FileEntry>().swap(g_reg.entries);
}

void file_reset() {
  file_registry_free();
  g_reg = FileRegistry{};
  g_file_open_switch = 1;
}
