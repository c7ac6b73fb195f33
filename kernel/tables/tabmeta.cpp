// The metadata of open tables: reading, setting, clearing and deleting keys
// with the definition file rewritten after each change, and renumbering the
// column subtrees after columns moved.
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/tables/tabdef.h"
#include "kernel/tables/tabwrite.h"

constexpr int16_t kErrNoMetadata = 764;

namespace {

TableDef* base_of(OpenTable* e) { return e != nullptr && !e->bases.empty() ? e->bases[0] : nullptr; }

}  // namespace

MetadataNode* table_metadata(OpenTable* e, int16_t report) {
  TableDef* t = base_of(e);
  if (t == nullptr || t->metadata == nullptr) {
    if (report) err_push(4, kErrNoMetadata, e != nullptr ? e->name : "", nullptr);
    return nullptr;
  }
  return t->metadata;
}

int16_t table_metadata_writable(OpenTable* e) {
  TableDef* t = base_of(e);
  return t != nullptr && t->metadata != nullptr && !metadata_is_readonly(t->metadata) ? 1 : 0;
}

int16_t table_metadata_set(OpenTable* e, const char* key, const char* value) {
  TableDef* t = base_of(e);
  if (t == nullptr) return 0;
  if (t->metadata == nullptr) t->metadata = metadata_new();
  if (t->metadata == nullptr || metadata_is_readonly(t->metadata)) return 0;
  const bool was_empty = metadata_is_empty(t->metadata) != 0;
  if (!metadata_set_text(t->metadata, key, value)) return 0;
  if (was_empty) metadata_set(t->metadata, "\\IsReadOnly", "FALSE");
  return tabfile_write_plain(t);
}

int16_t table_metadata_clear(OpenTable* e, const char* key) {
  TableDef* t = base_of(e);
  if (t == nullptr || t->metadata == nullptr || metadata_find(t->metadata, key) == nullptr) return 0;
  metadata_set(t->metadata, key, "");
  return tabfile_write_plain(t);
}

int16_t table_metadata_delete(OpenTable* e, const char* path) {
  TableDef* t = base_of(e);
  if (t == nullptr || t->metadata == nullptr) return 0;
  if (path[0] == '\\' && path[1] == '\0') {
    metadata_free(t->metadata);
    t->metadata = metadata_new();
    metadata_set(t->metadata, "\\IsReadOnly", "FALSE");
  } else if (!metadata_delete(t->metadata, path)) {
    return 0;
  }
  return tabfile_write_plain(t);
}

int32_t table_metadata_value_size(OpenTable* e, const char* key) {
  MetadataNode* m = table_metadata(e, 0);
  return m != nullptr ? metadata_value_size(m, key) : 0;
}

int32_t table_metadata_get(OpenTable* e, const char* key, char* out, int32_t size) {
  MetadataNode* m = table_metadata(e, 0);
  return m != nullptr ? metadata_get(m, key, out, size) : -1;
}

int16_t table_metadata_renumber_columns(OpenTable* e, const int32_t* old_numbers, int32_t new_count,
                                        int32_t old_count) {
  MetadataNode* m = table_metadata(e, 0);
  if (m == nullptr) return 0;
  // Take every old column subtree out first, so that a moved column cannot
  // land on one not yet moved.
  std::vector<MetadataNode*> old(static_cast<size_t>(old_count) + 1, nullptr);
  for (int32_t n = 1; n <= old_count; ++n) {
    char path[64];
    std::snprintf(path, sizeof path, "\\FIELDS\\COL%d", n);
    old[static_cast<size_t>(n)] = metadata_detach(m, path);
  }
  int16_t ok = 1;
  for (int32_t i = 0; i < new_count; ++i) {
    const int32_t from = old_numbers[i];
    if (from < 1 || from > old_count || old[static_cast<size_t>(from)] == nullptr) continue;
    MetadataIter it;
    MetadataNode* sub = old[static_cast<size_t>(from)];
    // Each value of the subtree, written again below its new number.
    MetadataNode* holder = metadata_new();
    holder->child = sub;
    metadata_enum_begin(&it, holder, "\\", 1);
    while (metadata_enum_next(&it)) {
      char path[kMetaKeySize];
      metadata_enum_path(&it, path, sizeof path);
      char value[4096];
      metadata_value_text(it.current, value, sizeof value);
      const std::string rest = std::string(path).substr(std::string(path).find('\\', 1) == std::string::npos
                                                            ? std::string(path).size()
                                                            : std::string(path).find('\\', 1));
      char key[kMetaKeySize * 2];
      std::snprintf(key, sizeof key, "\\Fields\\Col%d%s", i + 1, rest.c_str());
      if (!metadata_set_text(m, key, value)) ok = 0;
    }
    holder->child = nullptr;
    metadata_free(holder);
  }
  for (MetadataNode* n : old) metadata_free(n);
  return ok;
}
