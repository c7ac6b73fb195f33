// Paths of the kernel: normalising, the pool of directory texts, the table of
// 90 file extensions (some forced onto any path registered with them),
// temporary names and the search directories for support files.
//
// Paths accept '\' and '/' as separators and are stored with '/'. An absolute
// path starts with '/'; a relative one is taken against the current working
// directory. Paths hold at most 259 characters and names at most 255; longer
// ones are refused (error 370), never cut. Path bytes are never converted
// between character sets and compare without regard to ASCII case.
#pragma once
#include <cstdint>

constexpr int kPathSize = 260;  // buffer size: 259 characters and the NUL
constexpr int kPathMaxLen = 259;
constexpr int kNameMaxLen = 255;
constexpr int kExtensionCount = 90;
constexpr int kSearchSlots = 6;
constexpr int kSearchSlotProgram = 4;  // the fifth slot: the program's directory

constexpr int16_t kErrPathNotFound = 370;
constexpr int16_t kErrFileExists = 369;

struct FileNameEntry {
  int32_t dir_id;       // byte offset of the directory text in the pool
  char name[256];       // name with extension, no directory
  int32_t ext_id;       // index into the extension table
};

// Path texts compare without regard to ASCII case only (bytes of 0x80 and
// above compare as they are, whatever the locale).
bool path_text_equal(const char* a, const char* b);
bool path_text_starts_with(const char* text, const char* prefix);

// The extension text of an id ("" for none or outside 0-89) and whether the
// id forces its extension onto registered paths.
const char* path_extension(int ext_id);
int16_t path_extension_forced(int ext_id);

// Normalises a path in place (buffer of kPathSize): separators become '/',
// a relative path is put under the current working directory, "." and ".."
// are resolved and a trailing '/' is removed (the root stays "/"). Answers
// the end of the result, or null (input unchanged) when the result would
// pass 259 characters.
char* path_normalise(char* path);
// The same rules for a Windows path, with the current drive and that drive's
// current directory given: "c:/data/./x/../t.tab" -> "c:\data\t.tab".
char* path_normalise_windows(char* path, char current_drive, const char* current_dir);

// Adds a directory text to the pool (a '/' is appended when missing) and
// answers its id; an equal text (without regard to case) is reused. 0 for
// the empty text.
int32_t path_dir_add(const char* dir);
// The directory text of an id ("" for 0 or an unknown id).
const char* path_dir_text(int32_t dir_id);
void path_dir_get(const FileNameEntry* entry, char* out);
void path_of_entry(const FileNameEntry* entry, char* out);

// Cuts trailing blanks and control characters, then splits after the last
// separator ('/' or '\'): path keeps its directory part, name_out (when not
// null, 256 bytes) receives the name. Answers 0 when the name passes 255
// characters (nothing changed), else 1.
int16_t path_split(char* path, char* name_out);
void path_trim_name(char* path);
void path_current_dir(char* out);
// Gives the path's name the extension (with its dot): a known extension is
// replaced, any other one kept and the new one appended. Answers 0 (path
// unchanged) when the result would not fit.
int16_t path_set_extension(char* path, const char* ext);
char* path_with_extension(char* out, const char* path, int ext_id);
void path_set_extension_id(char* path, int ext_id);
void path_tab_name(char* out, const char* path);
// The name part before its last dot, at most 30 characters, made a valid
// column name by the sanitize hook (the statement language's rule, set by
// the table layer; a plain letters-and-digits rule until then).
void path_to_table_name(const char* path, char* out);
using PathSanitizeHook = void (*)(char* name);
void path_set_sanitize_hook(PathSanitizeHook hook);
// Puts the base handle's directory in front of a relative path and
// normalises it. An invalid handle pushes 367 and takes the current
// directory. Answers 0 when the result is too long.
int16_t path_make_absolute(char* path, int32_t base_handle);

// Parses a path into a name entry: normal and absolute, the forced
// extension of the id applied, the directory added to the pool. Pushes 370
// and answers 0 when the path or the name is too long.
int16_t path_parse(const char* path, int ext_id, FileNameEntry* out);
// The full path of an existing file whose name differs from the path only
// in ASCII case, when the path itself does not exist (in place).
void path_resolve_case(char* full);
int16_t path_exists(const char* path, int ext_id);

// Reserves a fresh temporary name "~MAPnnnn.TMP" (counter 1-9999, then 0)
// in the directory of dir_path, or in the current directory when null: the
// name is created as an empty file. Answers 1, or -1 with an empty output
// and error 369 after 10 000 taken names.
int16_t file_temp_name(char* out, const char* dir_path);
int16_t file_temp_name_ext(char* out, const char* dir_path, const char* ext);

// The search slots (0-5) hold directory ids; path_search_dirs tries them in
// order. Answers 1 with the full path in name, else 0.
void path_set_search_slot(int slot, int32_t dir_id);
int32_t path_search_slot(int slot);
// Fills the program slot with the directory of the running executable.
void path_init_program_dir();
int16_t path_search_dirs(char* name, int ext_id);

void path_pool_free();
// Back to the start state (empty pool, counters 0, slots empty).
void path_reset();
// Test seam: the temporary-name counters.
void path_set_temp_counter(int which, int value);
