// The kernel's file registry and file input and output.
//
// A file is registered once (its path parsed into a FileNameEntry) and then
// named by an integer handle from 1000 upward. Opens are counted per handle;
// compatible opens share the descriptor. Modes: 1 read (others may read), 2
// read and write, 3 create (both exclusive). Exclusion between handles and
// processes uses open-file-description locks over the whole file. Binary
// input and output go through the block cache when it is set up; text files
// are C streams with conversion between the file's character set and the
// current one and the file set's line end.
#pragma once
#include <sys/stat.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "kernel/runtime/path.h"

constexpr int32_t kFileHandleBase = 1000;
constexpr int kFileMaxOpen = 255;

constexpr int16_t kErrFileNotInUse = 366;
constexpr int16_t kErrFileBadHandle = 367;
constexpr int16_t kErrFileTooMany = 368;
constexpr int16_t kErrFileOther = 371;
constexpr int16_t kErrFileRegistered = 432;
constexpr int16_t kErrFileAccess = 825;
constexpr int16_t kErrFileRenameTarget = 859;
constexpr int16_t kErrFileRenameDelete = 864;
constexpr int16_t kErrFileModeConflict = 964;
constexpr int16_t kErrFileCopy = 1240;

constexpr uint32_t kFileUseMask = 0x3FF;
constexpr uint32_t kFileModeShift = 10;
constexpr uint32_t kFileInUse = 0x1000;
constexpr uint32_t kFileText = 0x2000;

// What a file looked like on disk after its last close.
struct FileStamp {
  int16_t state;  // 0 none recorded yet, -1 the query failed, 1 valid
  int64_t mtime_ns;
  int64_t size;
  uint64_t inode;
};

struct FileEntry {
  FileNameEntry* name;
  FILE* stream;
  int32_t descriptor;  // -1 when closed or when a stream owns the file
  int32_t idle_age;
  int8_t charset;
  uint32_t flags;      // use count, open mode, in use, text
  int32_t position;
  int32_t size;
  FileStamp stamp;
};

// ---- registration
int32_t file_register(const char* path, int ext_id);
int32_t file_register_nocheck(const char* path, int ext_id);
int32_t file_register_ex(const char* path, int ext_id, int16_t check);
int32_t file_register_temp(const char* dir_path);
int32_t file_register_companion(int32_t handle, const char* path, int ext_id);
int32_t file_find(const char* path, int ext_id);
int16_t file_exists(const char* path, int ext_id);
int16_t file_unregister(int32_t handle);
// The registry index of a valid handle; else pushes 367 and answers -1.
int32_t file_check_handle(int32_t handle);
// The entry of a valid handle, without pushing anything; null otherwise.
FileEntry* file_entry(int32_t handle);

void file_get_path(int32_t handle, char* out);
void file_get_dir(int32_t handle, char* out);
void file_get_name(int32_t handle, char* out);
void file_get_relative_path(int32_t handle, char* out, int32_t base_handle);
int32_t file_get_mode(int32_t handle);
int32_t file_get_charset(int32_t handle);
void file_set_charset(int32_t handle, int set);
int32_t file_get_size(int32_t handle);
int32_t file_get_pos(int32_t handle);
int64_t file_get_mtime(int32_t handle);
int32_t file_handle_of(int32_t value);
int32_t file_mode_from_oflag(int32_t flags);
int32_t file_free_slots();
// Saves the working directory into save (kFileDirSaveSize bytes) and makes
// the file's directory current; file_leave_dir goes back.
constexpr int kFileDirSaveSize = 520;
int16_t file_enter_dir(int32_t handle, char* save);
int16_t file_leave_dir(const char* save);

// ---- opening and closing
int32_t file_open(int32_t handle, int mode, int16_t text, int16_t* changed);
int32_t file_open_binary(int32_t handle, int mode, int16_t* changed);
int32_t file_open_text(int32_t handle, int mode, int16_t* changed);
int32_t file_release(int32_t handle);
int32_t file_release_text(int32_t handle);
void file_close(int32_t handle);
void file_close_if_open(int32_t handle);
void file_close_idle();
int16_t file_close_oldest_idle();

// ---- binary input and output
int32_t file_read(int32_t handle, void* buffer, int32_t count);
int32_t file_write(int32_t handle, const void* buffer, int32_t count);
int32_t file_seek(int32_t handle, int32_t offset, int whence);
int32_t file_set_size(int32_t handle, int32_t size);
int32_t file_extend_disk(int32_t descriptor, int64_t size);
int32_t file_read_text(int32_t handle, char* buffer, int32_t count);
int32_t file_write_text(int32_t handle, const char* text, int32_t count);

// ---- text streams
char* file_read_line(char* buffer, int32_t size, int32_t handle);
int32_t file_getc(int32_t handle);
int32_t file_putc(int32_t c, int32_t handle);
int32_t file_puts(const char* text, int32_t handle);
int32_t file_printf(int32_t handle, const char* format, ...);
int32_t file_vprintf(int32_t handle, const char* format, va_list args);
size_t file_fread(void* buffer, size_t size, size_t count, int32_t handle);
size_t file_fwrite(const void* buffer, size_t size, size_t count, int32_t handle);
size_t file_fwrite_conv(const void* buffer, size_t size, size_t count, int32_t handle);
int32_t file_fseek(int32_t handle, long offset, int whence);
long file_ftell(int32_t handle);
int32_t file_eof(int32_t handle);
int32_t file_error(int32_t handle);
long file_text_size(int32_t handle);
int32_t file_flush_text(int32_t handle);

// ---- whole files
int16_t file_copy(int32_t source, int32_t target, int16_t append);
int16_t file_rename(int32_t* handle, const char* new_path, int ext_id);
int16_t file_delete(int32_t handle);
int16_t file_delete_set(const int32_t* handles, int32_t count);
int16_t file_touch(int32_t handle);
int16_t file_is_locked(const char* path);
int16_t file_can_write(const char* path, int16_t test_existing);
int32_t file_stat(const char* path, struct stat* record);
int32_t file_rename_path(const char* old_path, const char* new_path);
// Moves a finished temporary file over the file of a handle in one
// rename(2) (the handle is closed first and stays registered). On failure
// the temporary is removed and the file is left as it was.
int16_t file_replace(const char* temp_path, int32_t handle);
int32_t file_remove_path(const char* path);
void file_registry_free();

// The switch the trial opens lower around themselves (no file routine reads
// it).
extern int16_t g_file_open_switch;

// ---- test seams
// Counters of the kernel's file reads and writes at the descriptor.
struct FileIoCounters {
  int64_t reads;
  int64_t writes;
};
FileIoCounters file_io_counters();
void file_io_counters_reset();
// The n-th rename of file_delete_set or file_replace from now fails (0: off).
void file_test_fail_rename_nth(int32_t n);
// The n-th binary or text write from now fails (0: off).
void file_test_fail_write_nth(int32_t n);
// The n-th extension of a file on disk from now fails (0: off).
void file_test_fail_extend_nth(int32_t n);
// Back to the start state: every file closed, the registry released.
void file_reset();

// Reads and writes at a descriptor for the kernel (counted by
// file_io_counters); the answer of pread/pwrite, retried on EINTR.
int64_t file_io_pread(int fd, void* buffer, int64_t count, int64_t offset);
int64_t file_io_pwrite(int fd, const void* buffer, int64_t count, int64_t offset);
