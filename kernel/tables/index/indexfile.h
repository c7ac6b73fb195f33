// Index files: all single-field indexes of a table in one file of 512-byte
// blocks (a header block, then the nodes of one B+-tree per index), the
// per-field index descriptor and its cursor operations, and the B+-tree
// beneath them.
//
// Every block number read from a file is checked before use: 0 only where
// the format means none, else a multiple of the block size past block 0
// inside the file. A bad header is refused at open (972); a bad block makes
// its operation answer 0. Walks along links stop after as many block
// changes as the file has blocks, so no cycle in a broken file can hang.
#pragma once
#include <cstdint>
#include <vector>

#include "kernel/tables/index/key.h"

struct TableDef;

constexpr int16_t kErrIndexOpen = 501;
constexpr int16_t kErrNotIndexFile = 972;
constexpr uint32_t kIndexMagic = 0x0171E8F8;
constexpr int kIndexBlock = 512;
constexpr int kIndexMaxCount = 29;  // entries that fit the header block
constexpr int kIndexMaxDepth = 32;

// One index of the file, as kept in memory.
struct IndexEntry {
  int32_t root = 0;  // 0: a free slot
  int16_t max_entries = 0;
  uint8_t depth = 0;
  uint8_t key_length = 0;
  int32_t cur_block = 0;  // the leaf cursor
  int32_t cur_pos = 0;    // 0 before the first entry, n + 1 after the last
  int32_t walk = 0;       // link steps since the last descent
};

struct IndexPathLevel {
  int32_t block;
  int32_t pos;
  int32_t count;
};

struct IndexFile {
  int32_t file = 0;
  int16_t delete_at_close = 0;  // a temporary index file
  int32_t uses = 0;             // open brackets of use
  int32_t mode = 0;             // of the brackets: 1 read, 2 read/write
  uint16_t version = 100;
  uint16_t block_size = kIndexBlock;
  int32_t free_chain = 0;
  int16_t language_a = 0;
  int16_t charset = 0;
  int16_t language_b = 0;
  std::vector<IndexEntry> entries;
  std::vector<uint8_t> buf[2];  // block buffers: 1 holds one extra entry
  int32_t held[2] = {0, 0};     // the block each buffer holds, 0 = none
  uint8_t scratch[2][kKeyMaxStored] = {};
  std::vector<IndexPathLevel> path;
  TableDef* owner = nullptr;
  int64_t block_reads = 0;  // blocks read from the file (a test figure)
};

// The descriptor a field points to; its key buffer is also its cursor.
struct FieldIndex {
  int32_t number = 0;  // in the file, from 1
  int32_t unique = 0;
  KeyBuf key;
};

// The most entries of a block for a key length (odd).
int32_t index_max_entries(int32_t key_length);

// ---- files
int16_t index_file_create(int32_t tab_file, const char* path, int32_t ext_id, int16_t temporary, IndexFile** out);
int16_t index_create(int32_t file, int16_t temporary, IndexFile** out);
int16_t index_file_open(const char* path, int32_t ext_id, IndexFile** out);
int16_t index_open(int32_t file, int16_t temporary, IndexFile** out);
// Deletes a temporary file, unregisters it and frees the record; null is
// accepted.
void index_close(IndexFile* index);
int16_t index_file_begin(IndexFile* index, int16_t mode);
int16_t index_file_end(IndexFile* index);
int16_t index_add(IndexFile* index, int32_t key_length, int32_t* number);
int16_t index_drop(IndexFile* index, int32_t number);
int16_t index_language_key(const IndexFile* index);
int16_t index_number_parse(const char* text, const IndexFile* index, FieldIndex* out);
int16_t index_write_header(IndexFile* index);
// Whether the file's index n (from 1) is in use.
int16_t index_in_use(const IndexFile* index, int32_t number);

// ---- field indexes (16-bit success flags; "position" is the leaf cursor)
int16_t field_index_attach(const char* number_text, IndexFile* index, FieldIndex* field, int32_t type, int32_t width,
                           int32_t unique);
int16_t field_index_create(IndexFile* index, FieldIndex* field, int32_t type, int32_t width, int32_t unique);
int16_t field_index_drop(IndexFile* index, FieldIndex* field);
void field_index_free(FieldIndex* field);
int16_t field_index_insert(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_delete(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_seek(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_seek_after(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_first(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_last(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_rewind(IndexFile* index, FieldIndex* field);
int16_t field_index_wind_end(IndexFile* index, FieldIndex* field);
int16_t field_index_next(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_prev(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_next_distinct(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_prev_distinct(IndexFile* index, FieldIndex* field, KeyBuf* key);
int16_t field_index_current(const FieldIndex* field, KeyBuf* key);

// ---- the B+-tree (index numbers from 1; key bytes of the index's length)
int16_t btree_read_block(IndexFile* index, int buffer, int32_t block);
int16_t btree_write_block(IndexFile* index, int buffer, int32_t block);
int16_t btree_alloc_block(IndexFile* index, int32_t* block);
int16_t btree_free_block(IndexFile* index, int32_t block);
// Mode 0 first key not below, 1 last equal key, 2 the exact (key, row).
int16_t btree_search(IndexFile* index, int32_t number, uint8_t* key, int16_t mode, int32_t* row);
int16_t btree_seek(IndexFile* index, int32_t number, uint8_t* key, int32_t* row);
int16_t btree_seek_last(IndexFile* index, int32_t number, uint8_t* key, int32_t* row);
int16_t btree_next_leaf(IndexFile* index, int32_t number, uint8_t* key, int32_t* row);
int16_t btree_prev_leaf(IndexFile* index, int32_t number, uint8_t* key, int32_t* row);
int16_t btree_rewind(IndexFile* index, int32_t number);
int16_t btree_wind_end(IndexFile* index, int32_t number);
int16_t btree_insert(IndexFile* index, int32_t number, const uint8_t* key, int32_t row);
int16_t btree_delete(IndexFile* index, int32_t number, const uint8_t* key, int32_t row);
// Blocks of the file (its size over the block size).
int32_t index_file_blocks(const IndexFile* index);
// A block number that may be followed: a multiple of the block size past
// block 0 inside the file.
bool index_block_valid(const IndexFile* index, int32_t block);
// The entry at the leaf cursor; 0 when the cursor is not on an entry.
int16_t btree_current(IndexFile* index, int32_t number, uint8_t* key, int32_t* row);
// A cursor past its leaf's end moves to the first entry of the next leaf.
int16_t btree_settle_forward(IndexFile* index, int32_t number, uint8_t* key, int32_t* row);
// A descriptor record for a field, and its release (key buffer and record).
FieldIndex* field_index_new();
void field_index_release(FieldIndex* field);
