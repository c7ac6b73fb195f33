// The metadata tree, its block reader and writer, and its enumeration.
#include "kernel/tables/lang/metadata.h"

#include <cstring>
#include <string>
#include <vector>

#include "kernel/runtime/err.h"
#include "kernel/runtime/file.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "kernel/tables/lang/keywords.h"
#include "kernel/tables/lang/lexer.h"

namespace {

constexpr int16_t kIdBegin = 1862;
constexpr int16_t kIdEnd = 1863;
constexpr int16_t kIdEquals = 20;
constexpr int kLineSize = 2200;
constexpr int kValueMax = 239;
constexpr int kMaxContinuationDigits = 10;
constexpr char kReadOnlyKey[] = "\\IsReadOnly";

// The path's components; false for a path that is no path.
bool split_path(const char* path, std::vector<std::string>* parts) {
  if (path == nullptr || path[0] != '\\') return false;
  const size_t n = strnlen(path, kMetaKeySize);
  if (n >= kMetaKeySize) return false;
  parts->clear();
  std::string part;
  for (size_t i = 1; i <= n; ++i) {
    if (i == n || path[i] == '\\') {
      if (!part.empty()) parts->push_back(part);
      part.clear();
    } else {
      part += path[i];
    }
  }
  return true;
}

bool key_equal(const char* a, const std::string& b) { return mb_str_compare_nocase(a, b.c_str()) == 0; }

MetadataNode* new_node(const std::string& key) {
  MetadataNode* node = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(sizeof(MetadataNode)), &node)) return nullptr;
  str_copy_n(node->key, key.c_str(), kMetaKeySize);
  return node;
}

MetadataNode* child_named(MetadataNode* parent, const std::string& key) {
  for (MetadataNode* c = parent->child; c; c = c->next) {
    if (key_equal(c->key, key)) return c;
  }
  return nullptr;
}

// The node at the path and, optionally, its parent; create adds missing
// nodes at the ends of their parents' child chains.
MetadataNode* walk(MetadataNode* root, const char* path, bool create, MetadataNode** parent_out) {
  std::vector<std::string> parts;
  if (root == nullptr || !split_path(path, &parts)) return nullptr;
  MetadataNode* node = root;
  MetadataNode* parent = nullptr;
  for (const std::string& part : parts) {
    MetadataNode* c = child_named(node, part);
    if (c == nullptr) {
      if (!create) return nullptr;
      c = new_node(part);
      if (c == nullptr) return nullptr;
      MetadataNode** tail = &node->child;
      while (*tail) tail = &(*tail)->next;
      *tail = c;
    }
    parent = node;
    node = c;
  }
  if (parent_out) *parent_out = parent;
  return node;
}

void set_value(MetadataNode* node, const char* value, int32_t length) {
  mem_free(&node->value);
  node->value_length = 0;
  if (length <= 0) return;
  char* block = nullptr;
  if (!mem_alloc_zeroed(static_cast<int64_t>(length) + 1, &block)) return;
  std::memcpy(block, value, static_cast<size_t>(length));
  node->value = block;
  node->value_length = length;
}

// At most n bytes of the text, never half of a double-byte character.
int32_t cut_length(const char* text, int32_t n) {
  int32_t i = 0;
  while (text[i] != '\0' && i < n) {
    if (mb_is_lead_byte(text + i) && text[i + 1] != '\0') {
      if (i + 2 > n) break;
      i += 2;
    } else {
      ++i;
    }
  }
  return i;
}

std::string without_line_feeds(const MetadataNode* node) {
  std::string out;
  if (node == nullptr || node->value == nullptr) return out;
  for (int32_t i = 0; i < node->value_length; ++i) {
    if (node->value[i] != '\n') out += node->value[i];
  }
  return out;
}

bool value_is(MetadataNode* root, const char* path, const char* text) {
  const MetadataNode* node = metadata_find(root, path);
  return node != nullptr && node->value != nullptr && mb_str_equal_nocase(without_line_feeds(node).c_str(), text);
}

bool has_value(MetadataNode* root, const char* path) {
  const MetadataNode* node = metadata_find(root, path);
  return node != nullptr && node->value_length > 0;
}

// ---- writing ------------------------------------------------------------

std::string quoted(const std::string& piece) {
  std::string out = "\"";
  for (size_t i = 0; i < piece.size(); ++i) {
    if (mb_is_lead_byte(piece.c_str() + i) && i + 1 < piece.size()) {
      out += piece[i];
      out += piece[++i];
      continue;
    }
    if (piece[i] == '"') out += '"';
    out += piece[i];
  }
  return out + "\"";
}

bool write_entries(const MetadataNode* node, const std::string& parent, int32_t file, const std::string& prefix) {
  for (; node; node = node->next) {
    std::vector<std::string> pieces;
    std::string piece;
    for (int32_t i = 0; node->value && i < node->value_length; ++i) {
      if (node->value[i] == '\n') {
        pieces.push_back(piece);
        piece.clear();
      } else {
        piece += node->value[i];
      }
    }
    if (!piece.empty() || pieces.empty()) pieces.push_back(piece);
    for (size_t i = 0; i < pieces.size(); ++i) {
      // Quotes inside a key are doubled so that the key reads back whole.
      std::string key = quoted(parent + "\\" + node->key);
      key.pop_back();
      std::string line = prefix + key;
      if (i > 0) line += "\\+" + std::to_string(i);
      line += "\" =";
      if (parent.size() + std::strlen(node->key) + pieces[i].size() + 8 >= 256) {
        line += "\n" + prefix;
      } else {
        line += " ";
      }
      line += quoted(pieces[i]) + "\n";
      if (file_puts(line.c_str(), file) < 0) return false;
    }
    if (node->child && !write_entries(node->child, parent + "\\" + node->key, file, prefix)) return false;
  }
  return true;
}

// ---- reading --------------------------------------------------------------

struct BlockReader {
  int32_t file;
  const char* source = nullptr;  // lines from a text instead of the file
  bool overlong = false;         // a line of the text did not fit
  std::string prefix;
  char line[kLineSize];
  const char* pos = nullptr;
  int16_t kind = 0;
  char text[kMetaKeySize];
};

bool next_token(BlockReader& r) {
  for (;;) {
    if (r.pos == nullptr) {
      if (r.source != nullptr) {
        if (*r.source == '\0') return false;
        const size_t n = std::strcspn(r.source, "\n");
        if (n >= sizeof r.line) {
          r.overlong = true;
          return false;
        }
        std::memcpy(r.line, r.source, n);
        r.line[n] = '\0';
        r.source += n;
        if (*r.source == '\n') ++r.source;
      } else if (file_read_line(r.line, kLineSize, r.file) == nullptr) {
        return false;
      }
      const char* p = r.line;
      if (!r.prefix.empty()) {
        const char* q = p;
        while (*q == ' ' || *q == '\t') ++q;
        if (mb_strn_equal_nocase(q, r.prefix.c_str(), static_cast<int32_t>(r.prefix.size()))) {
          p = q + r.prefix.size();
        }
      }
      r.pos = p;
    }
    while (*r.pos == ' ' || *r.pos == '\t' || *r.pos == '\r' || *r.pos == '\n' || *r.pos == '\f') ++r.pos;
    if (*r.pos == '\0') {
      r.pos = nullptr;
      continue;
    }
    int32_t len = 0;
    r.kind = lex_scan(r.pos, &len);
    if (r.kind == kTokEnd) return false;
    str_copy_n(r.text, lex_token_text(), sizeof r.text);
    r.pos += len > 0 ? len : 1;
    return true;
  }
}

bool fail_expected(BlockReader& r, bool have, const char* expected) {
  char found[32] = {};
  if (have) {
    if (r.kind == kTokString || r.kind == kTokIdentifier || r.kind == kTokNumber) {
      str_copy_n(found, r.text, sizeof found);
    } else {
      str_copy_n(found, r.kind == kTokUnsupported ? kernel_string(3600) : keyword_text(r.kind), sizeof found);
    }
  }
  char what[256];
  str_copy_n(what, expected, sizeof what);
  err_push(4, kErrLexExpected, found, what);
  return false;
}

// 1 continuation of the key, 0 another entry, -1 a continuation whose
// number is too long.
int continuation(const char* text, const std::string& key) {
  if (std::strncmp(text, key.c_str(), key.size()) != 0) return 0;
  const char* p = text + key.size();
  if (p[0] != '\\' || p[1] != '+') return 0;
  p += 2;
  const size_t n = std::strlen(p);
  if (n == 0) return 0;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return 0;
  }
  return n > kMaxContinuationDigits ? -1 : 1;
}

bool read_pair(BlockReader& r, std::string* value) {
  bool have = next_token(r);
  if (!have || r.kind != kIdEquals) return fail_expected(r, have, keyword_text(kIdEquals));
  have = next_token(r);
  if (!have || r.kind != kTokString) return fail_expected(r, have, kernel_string(612));
  *value = r.text;
  return true;
}

bool is_plus_digits(const std::string& part) {
  if (part.size() < 2 || part[0] != '+') return false;
  for (size_t i = 1; i < part.size(); ++i) {
    if (part[i] < '0' || part[i] > '9') return false;
  }
  return true;
}

// Enumeration: the next node of the walk, or null at its end.
MetadataNode* advance(MetadataIter* it) {
  if (!it->started) {
    it->started = 1;
    if (it->start_node == nullptr || it->start_node->child == nullptr) return nullptr;
    it->level = 0;
    it->stack[0] = it->start_node->child;
  } else if (it->level < 0) {
    return nullptr;
  } else if (it->mode == 2) {
    it->stack[0] = it->stack[0]->next;
    return it->stack[0];
  } else {
    MetadataNode* top = it->stack[it->level];
    if (top->next == nullptr) {
      // Every child done: the parent comes after them.
      --it->level;
      return it->level >= 0 ? it->stack[it->level] : nullptr;
    }
    it->stack[it->level] = top->next;
  }
  if (it->mode == 1) {
    while (it->stack[it->level]->child != nullptr && it->level + 1 < kMetaEnumDepth) {
      it->stack[it->level + 1] = it->stack[it->level]->child;
      ++it->level;
    }
  }
  return it->stack[it->level];
}

}  // namespace

MetadataNode* metadata_new() { return new_node(""); }

void metadata_free(MetadataNode* node) {
  while (node != nullptr) {
    MetadataNode* next = node->next;
    metadata_free(node->child);
    mem_free(&node->value);
    mem_free(&node);
    node = next;
  }
}

int16_t metadata_is_empty(const MetadataNode* root) {
  return root == nullptr || (root->child == nullptr && root->next == nullptr) ? 1 : 0;
}

MetadataNode* metadata_find(MetadataNode* root, const char* path) { return walk(root, path, false, nullptr); }

int16_t metadata_set(MetadataNode* root, const char* path, const char* value) {
  MetadataNode* node = walk(root, path, true, nullptr);
  if (node == nullptr || node == root) return 0;
  if (value == nullptr) value = "";
  set_value(node, value, cut_length(value, kValueMax));
  return 1;
}

int16_t metadata_append(MetadataNode* root, const char* path, const char* text) {
  MetadataNode* node = metadata_find(root, path);
  if (node == nullptr || node == root) return 0;
  if (text == nullptr) return 1;
  std::string value(node->value ? node->value : "", static_cast<size_t>(node->value_length));
  if (!value.empty() && value.back() != '\n') value += '\n';
  value.append(text, static_cast<size_t>(cut_length(text, kValueMax)));
  set_value(node, value.c_str(), static_cast<int32_t>(value.size()));
  return 1;
}

int32_t metadata_get(MetadataNode* root, const char* path, char* out, int32_t size) {
  MetadataNode* node = metadata_find(root, path);
  if (node == nullptr) return -1;
  if (out == nullptr || size <= 0) return 0;
  metadata_value_text(node, out, size);
  return node->value_length;
}

int32_t metadata_value_size(MetadataNode* root, const char* path) {
  const MetadataNode* node = metadata_find(root, path);
  return node != nullptr ? node->value_length + 1 : 0;
}

MetadataNode* metadata_detach(MetadataNode* root, const char* path) {
  MetadataNode* parent = nullptr;
  MetadataNode* node = walk(root, path, false, &parent);
  if (node == nullptr || node == root || parent == nullptr) return nullptr;
  for (MetadataNode** link = &parent->child; *link; link = &(*link)->next) {
    if (*link == node) {
      *link = node->next;
      node->next = nullptr;
      return node;
    }
  }
  return nullptr;
}

int16_t metadata_delete(MetadataNode* root, const char* path) {
  MetadataNode* node = metadata_detach(root, path);
  if (node == nullptr) return 0;
  metadata_free(node);
  return 1;
}

int16_t metadata_first_child(MetadataNode* root, const char* path, MetadataNode** out) {
  MetadataNode* node = walk(root, path, false, nullptr);
  if (out) *out = node ? node->child : nullptr;
  return node != nullptr && node->child != nullptr ? 1 : 0;
}

int16_t metadata_set_text(MetadataNode* root, const char* key, const char* value) {
  if (key == nullptr) return 0;
  if (value == nullptr) value = "";
  std::vector<std::string> parts;
  bool bad = std::strpbrk(key, "\"\r\n") != nullptr || std::strpbrk(value, "\r\n") != nullptr;
  // A "+digits" component would read back as a continuation piece.
  if (!bad && split_path(key, &parts)) {
    for (const std::string& part : parts) bad = bad || is_plus_digits(part);
  }
  if (bad) {
    err_push(4, kErrMetaText, key, nullptr);
    return 0;
  }
  if (mb_str_equal_nocase(key, kReadOnlyKey)) return 0;
  if (value[0] == '\0') return metadata_set(root, key, "");
  bool first = true;
  const char* p = value;
  while (*p != '\0') {
    int32_t n = 0;
    int32_t cost = 0;
    while (p[n] != '\0') {
      const bool pair = mb_is_lead_byte(p + n) && p[n + 1] != '\0';
      const int32_t step = pair ? 2 : 1;
      const int32_t add = pair ? 2 : (p[n] == '"' ? 2 : 1);
      if (cost + add > kMetaPieceMax) break;
      cost += add;
      n += step;
    }
    const std::string piece(p, static_cast<size_t>(n));
    const int16_t ok = first ? metadata_set(root, key, piece.c_str()) : metadata_append(root, key, piece.c_str());
    if (!ok) return 0;
    first = false;
    p += n;
  }
  return 1;
}

int16_t metadata_is_readonly(MetadataNode* root) {
  if (metadata_is_empty(root)) return 0;
  return value_is(root, kReadOnlyKey, "FALSE") ? 0 : 1;
}

int16_t metadata_is_seamless(MetadataNode* root) {
  return !metadata_is_empty(root) && has_value(root, "\\IsSeamless") && !value_is(root, "\\IsSeamless", "FALSE")
             ? 1
             : 0;
}

int16_t metadata_is_drilldown(MetadataNode* root) {
  return !metadata_is_empty(root) && has_value(root, "\\IsDrilldown") &&
                 !value_is(root, "\\IsDrilldown", "FALSE")
             ? 1
             : 0;
}

int16_t metadata_unsuspend_readonly(MetadataNode* root) {
  if (!value_is(root, kReadOnlyKey, "SUSPEND_FALSE")) return 0;
  metadata_set(root, kReadOnlyKey, "FALSE");
  return 1;
}

void metadata_suspend_readonly(MetadataNode* root) {
  if (!metadata_is_readonly(root)) metadata_set(root, kReadOnlyKey, "SUSPEND_FALSE");
}

int16_t metadata_write(MetadataNode* root, int32_t file, const char* prefix) {
  const int16_t suspended = metadata_unsuspend_readonly(root);
  const std::string pre = prefix ? prefix : "";
  std::string begin = std::string(keyword_text(kIdBegin)) + "\n";
  bool ok = file_puts(begin.c_str(), file) >= 0;
  if (ok && root) ok = write_entries(root->child, "", file, pre);
  if (ok) ok = file_puts((pre + keyword_text(kIdEnd) + "\n").c_str(), file) >= 0;
  if (suspended) metadata_suspend_readonly(root);
  return ok ? 1 : 0;
}

namespace {

// The entries of a block up to "end_metadata"; with open_end the end of the
// lines also ends it.
int16_t read_entries(BlockReader& r, MetadataNode* root, bool open_end) {
  bool have = next_token(r);
  for (;;) {
    if (!have) return open_end && !r.overlong ? 1 : 0;
    if (r.kind == kIdEnd) return 1;
    if (r.kind != kTokString) {
      fail_expected(r, true, kernel_string(612));
      return 0;
    }
    const std::string key = r.text;
    std::string value;
    if (!read_pair(r, &value)) return 0;
    metadata_set(root, key.c_str(), value.c_str());
    have = next_token(r);
    while (have && r.kind == kTokString) {
      const int c = continuation(r.text, key);
      if (c == 0) break;
      if (c < 0) return 0;
      if (!read_pair(r, &value)) return 0;
      metadata_append(root, key.c_str(), value.c_str());
      have = next_token(r);
    }
  }
}

}  // namespace

int16_t metadata_read(MetadataNode* root, int32_t file, const char* prefix, int16_t skip) {
  BlockReader r;
  r.file = file;
  r.prefix = prefix ? prefix : "";
  if (skip) {
    do {
      if (!next_token(r)) return 1;
    } while (r.kind != kIdBegin);
  }
  return read_entries(r, root, false);
}

int16_t metadata_merge_text(MetadataNode* root, const char* text) {
  if (root == nullptr || text == nullptr) return 0;
  BlockReader r;
  r.file = 0;
  r.source = text;
  return read_entries(r, root, true);
}

int16_t metadata_enum_begin(MetadataIter* it, MetadataNode* root, const char* path, int16_t mode) {
  std::memset(it, 0, sizeof *it);
  it->mode = mode == 2 ? 2 : 1;
  it->level = -1;
  if (path == nullptr) return 0;
  str_copy_n(it->start, path, sizeof it->start);
  const size_t n = std::strlen(it->start);
  if (n > 0 && it->start[n - 1] == '\\') it->start[n - 1] = '\0';
  it->start_node = walk(root, path, false, nullptr);
  return it->start_node != nullptr ? 1 : 0;
}

int16_t metadata_enum_next(MetadataIter* it) {
  for (;;) {
    MetadataNode* node = advance(it);
    if (node == nullptr) {
      it->level = -1;
      it->current = nullptr;
      return 0;
    }
    if (node->value != nullptr) {
      it->current = node;
      return 1;
    }
  }
}

void metadata_enum_path(const MetadataIter* it, char* out, int32_t size) {
  std::string path = it->start;
  for (int i = 0; i <= it->level && i < kMetaEnumDepth; ++i) path += std::string("\\") + it->stack[i]->key;
  str_copy_n(out, path.c_str(), size);
}

char* metadata_value_text(const MetadataNode* node, char* out, int32_t size) {
  if (out == nullptr || size <= 0) return out;
  str_copy_n(out, without_line_feeds(node).c_str(), size);
  return out;
}

int16_t metadata_take_entry(MetadataIter* it, char* value, int32_t value_size, char* key, int32_t key_size) {
  if (it->current == nullptr) return 0;
  metadata_value_text(it->current, value, value_size);
  if (key) str_copy_n(key, it->current->key, key_size);
  return 1;
}

int16_t metadata_selftest() {
  MetadataNode* root = metadata_new();
  if (root == nullptr) return 0;
  bool ok = metadata_set(root, "\\Test\\One", "1") && metadata_set(root, "\\Test\\Two", "2") &&
            metadata_set_text(root, "\\Test\\Long", std::string(300, 'x').c_str());
  char buf[400];
  ok = ok && metadata_get(root, "\\test\\one", buf, sizeof buf) == 1 && std::strcmp(buf, "1") == 0;
  ok = ok && metadata_get(root, "\\Test\\Long", buf, sizeof buf) == 301 && std::strlen(buf) == 300;
  MetadataIter it;
  int count = 0;
  if (ok && metadata_enum_begin(&it, root, "\\Test", 2)) {
    while (metadata_enum_next(&it)) ++count;
  }
  ok = ok && count == 3 && metadata_delete(root, "\\Test\\Two") && metadata_find(root, "\\Test\\Two") == nullptr;
  ok = ok && metadata_delete(root, "\\Test") && metadata_is_empty(root);
  metadata_free(root);
  return ok ? 1 : 0;
}
