// The metadata tree of a table: keys with text values addressed by
// backslash paths ("\IsReadOnly", "\FIELDS\COL1"), its block in a table
// definition file between "begin_metadata" and "end_metadata", the flags
// derived from it, and the enumeration the table API walks it with.
//
// A value may hold several pieces joined by line feeds (each piece is one
// entry of the block); values read for callers have the line feeds removed.
#pragma once
#include <cstdint>

constexpr int kMetaKeySize = 240;    // one path component with its NUL
constexpr int kMetaPathMax = 239;    // longer paths are refused
constexpr int kMetaPieceMax = 237;   // piece length plus its quotes
constexpr int kMetaEnumDepth = 10;
constexpr int16_t kErrMetaText = 1999;

struct MetadataNode {
  MetadataNode* next;
  MetadataNode* child;
  char key[kMetaKeySize];
  char* value;  // owned, or null
  int32_t value_length;
};

struct MetadataIter {
  int16_t mode;   // 1 whole subtree, 2 children only
  int16_t level;  // -1 when finished
  char start[kMetaKeySize];
  MetadataNode* start_node;
  MetadataNode* current;
  MetadataNode* stack[kMetaEnumDepth];
  int16_t started;
};

MetadataNode* metadata_new();
void metadata_free(MetadataNode* node);
int16_t metadata_is_empty(const MetadataNode* root);
MetadataNode* metadata_find(MetadataNode* root, const char* path);
int16_t metadata_set(MetadataNode* root, const char* path, const char* value);
int16_t metadata_append(MetadataNode* root, const char* path, const char* text);
// -1 without such a node, 0 without output; else the value without line
// feeds, cut to size - 1, and the answer is the stored length.
int32_t metadata_get(MetadataNode* root, const char* path, char* out, int32_t size);
int32_t metadata_value_size(MetadataNode* root, const char* path);
int16_t metadata_delete(MetadataNode* root, const char* path);
MetadataNode* metadata_detach(MetadataNode* root, const char* path);
int16_t metadata_first_child(MetadataNode* root, const char* path, MetadataNode** out);
// The validating setter: 1999 for a key with a double quote, CR or LF or a
// "+digits" component, or a value with CR or LF; "\IsReadOnly" answers 0.
int16_t metadata_set_text(MetadataNode* root, const char* key, const char* value);

int16_t metadata_is_readonly(MetadataNode* root);
int16_t metadata_is_seamless(MetadataNode* root);
int16_t metadata_is_drilldown(MetadataNode* root);
// "SUSPEND_FALSE" becomes "FALSE" (answer 1 when it did); the suspend step
// sets it back unless the tree then marks the table read-only.
int16_t metadata_unsuspend_readonly(MetadataNode* root);
void metadata_suspend_readonly(MetadataNode* root);

// The block: written to an open text file, each entry after the prefix when
// one is given; read from one (the prefix skipped where a line has it; with
// skip set, tokens before "begin_metadata" are passed over).
int16_t metadata_write(MetadataNode* root, int32_t file, const char* prefix);
int16_t metadata_read(MetadataNode* root, int32_t file, const char* prefix, int16_t skip);
// Merges entries given as block text ("\Key" = "value", lines apart; an
// "end_metadata" ends it early); 0 when the text is not such entries.
int16_t metadata_merge_text(MetadataNode* root, const char* text);

// Enumeration.
int16_t metadata_enum_begin(MetadataIter* it, MetadataNode* root, const char* path, int16_t mode);
int16_t metadata_enum_next(MetadataIter* it);
void metadata_enum_path(const MetadataIter* it, char* out, int32_t size);
// The value of a node without its line feeds, cut to size - 1.
char* metadata_value_text(const MetadataNode* node, char* out, int32_t size);
int16_t metadata_take_entry(MetadataIter* it, char* value, int32_t value_size, char* key, int32_t key_size);

// Sets, reads, enumerates and deletes fixed keys on a tree of its own;
// 1 when every step gave what it should.
int16_t metadata_selftest();
