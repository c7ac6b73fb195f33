// The in-memory table driver: rows as nodes of the kernel's in-memory object
// list, each with a deep copy of the row's values. Look-ups walk the list
// from its head.
#include "kernel/drivers/memtab.h"

#include <new>
#include <unordered_map>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/mapobjects/mapstore.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/valconv.h"
#include "kernel/tables/storage/tabtype_ops.h"

// Row nodes by id: the first node with row values that has the id. Nodes
// with row values leave the list only through this driver (an object
// storage unlinks only nodes without them), so the index stays true.
struct MemTabIdIndex {
  std::unordered_map<int32_t, MemRowNode*> nodes;
  bool repeated = false;  // some id was filed twice
};

namespace {

constexpr int16_t kErrNoMemory = 304;

// The last position looked up, for walks that go on from there; valid
// while the list has the same ends and length.
struct PositionCache {
  const MemRowList* list = nullptr;
  const MemRowNode* head = nullptr;
  const MemRowNode* tail = nullptr;
  int32_t count = 0;
  int32_t n = 0;
  MemRowNode* node = nullptr;
};
PositionCache g_position;

// A node's values: node->word holds their count.
Value* values_of(MemRowNode* n) { return static_cast<Value*>(n->values); }

void free_values(MemRowNode* n) {
  Value* v = values_of(n);
  if (v == nullptr) return;
  for (int32_t i = 0; i < n->word; ++i) value_free(&v[i]);
  delete[] v;
  n->values = nullptr;
  n->word = 0;
}

MemRowNode* scan(MemRowList* list, int32_t id) {
  for (MemRowNode* n = list != nullptr ? list->head : nullptr; n != nullptr; n = n->next) {
    if (n->row == id && n->values != nullptr) return n;
  }
  return nullptr;
}

MemRowNode* find(MemTabRows* rows, int32_t id) {
  if (rows == nullptr) return nullptr;
  if (rows->by_id == nullptr) return scan(rows->list, id);
  auto it = rows->by_id->nodes.find(id);
  return it != rows->by_id->nodes.end() ? it->second : nullptr;
}

void unlink(MemRowList* list, MemRowNode* node) {
  MemRowNode* prev = nullptr;
  for (MemRowNode* n = list->head; n != nullptr; prev = n, n = n->next) {
    if (n != node) continue;
    (prev != nullptr ? prev->next : list->head) = n->next;
    if (list->tail == n) list->tail = prev;
    --list->count;
    n->next = nullptr;
    return;
  }
}

// The node's value in column c as plain text equals text (ignoring case).
bool column_is(MemRowNode* n, int32_t c, const char* text) {
  if (c < 0 || c >= n->word) return false;
  char buf[256];
  value_to_text_plain(&values_of(n)[c], buf, sizeof buf, 0);
  return mb_str_compare_nocase(buf, text) == 0;
}

int16_t find_by_text(TableDef* t, const char* a, int32_t ca, const char* b, int32_t cb, int32_t* id, int32_t* pos) {
  MemTabRows* rows = t != nullptr ? memtab_rows(&t->storage) : nullptr;
  int32_t i = 0;
  for (MemRowNode* n = rows != nullptr && rows->list != nullptr ? rows->list->head : nullptr; n != nullptr;
       n = n->next, ++i) {
    if (n->values == nullptr || !column_is(n, ca, a != nullptr ? a : "")) continue;
    if (b != nullptr && b[0] != '\0' && !column_is(n, cb, b)) continue;
    if (id != nullptr) *id = n->row;
    if (pos != nullptr) *pos = i;
    return 1;
  }
  return 0;
}

int16_t insert_entry(StorageDesc* s, int32_t* n, FieldDef* f) { return memtab_insert_row(s, *n, f); }
int16_t read_entry(StorageDesc* s, int32_t n, FieldDef* f, int16_t*) { return memtab_read_row(s, n, f); }

}  // namespace

MemTabRows* memtab_rows(StorageDesc* s) {
  auto* o = s != nullptr ? std::get_if<MemoryOptions>(&s->options) : nullptr;
  return o != nullptr ? static_cast<MemTabRows*>(o->rows) : nullptr;
}

int16_t memtab_find_row(MemRowList* rows, int32_t n, MemRowNode** node) {
  MemRowNode* found = nullptr;
  for (MemRowNode* p = rows != nullptr ? rows->head : nullptr; p != nullptr; p = p->next) {
    if (p->row == n) {
      found = p;
      break;
    }
  }
  if (node != nullptr) *node = found;
  return found != nullptr;
}

int16_t memtab_nth_row(MemRowList* rows, int32_t n, MemRowNode** node) {
  PositionCache& c = g_position;
  MemRowNode* p = rows != nullptr && n >= 1 ? rows->head : nullptr;
  int32_t i = 1;
  if (p != nullptr && c.list == rows && c.head == rows->head && c.tail == rows->tail && c.count == rows->count &&
      c.node != nullptr && c.n <= n) {
    p = c.node;
    i = c.n;
  }
  for (; p != nullptr && i < n; ++i) p = p->next;
  if (p != nullptr) c = PositionCache{rows, rows->head, rows->tail, rows->count, n, p};
  if (node != nullptr) *node = p;
  return p != nullptr;
}

int16_t memtab_create(StorageDesc* s, FieldDef*) {
  auto* o = std::get_if<MemoryOptions>(&s->options);
  if (o == nullptr) return 0;
  if (auto* rows = static_cast<MemTabRows*>(o->rows); rows != nullptr && rows->list != nullptr) {
    rows->counter = 0;
    return 1;
  }
  auto* rows = new (std::nothrow) MemTabRows{};
  auto* list = new (std::nothrow) MemRowList{};
  if (rows == nullptr || list == nullptr) {
    delete rows;
    delete list;
    err_push(4, kErrNoMemory, nullptr, nullptr);
    return 0;
  }
  list->users = 1;
  rows->list = list;
  rows->by_id = new (std::nothrow) MemTabIdIndex;  // without it, look-ups walk the list
  o->rows = rows;
  return 1;
}

int16_t memtab_insert_row(StorageDesc* s, int32_t id, FieldDef* fields) {
  MemTabRows* rows = memtab_rows(s);
  if (rows == nullptr || rows->list == nullptr) return 0;
  const int32_t count = s->field_count;
  auto* node = new (std::nothrow) MemRowNode{};
  Value* values = count > 0 ? new (std::nothrow) Value[static_cast<size_t>(count)]{} : nullptr;
  if (node == nullptr || (count > 0 && values == nullptr)) {
    delete node;
    delete[] values;
    err_push(4, kErrNoMemory, nullptr, nullptr);
    return 0;
  }
  mapobj_init(&node->object, MAPOBJ_NONE);
  node->users = 1;
  node->values = values;
  node->word = count;
  for (int32_t i = 0; i < count; ++i) {
    if (!value_copy(&values[i], &fields[i].value)) {
      free_values(node);
      delete node;
      return 0;
    }
  }
  node->row = id;
  rows->counter = (rows->counter > id ? rows->counter : id) + 1;
  if (rows->by_id != nullptr) {
    try {
      // The first node of an id wins.
      if (!rows->by_id->nodes.emplace(id, node).second) rows->by_id->repeated = true;
    } catch (const std::bad_alloc&) {
      delete rows->by_id;
      rows->by_id = nullptr;
    }
  }
  MemRowList* list = rows->list;
  if (list->tail != nullptr) list->tail->next = node;
  else list->head = node;
  list->tail = node;
  ++list->count;
  return 1;
}

int16_t memtab_read_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  MemTabRows* rows = memtab_rows(s);
  MemRowNode* node = find(rows, n);
  if (node == nullptr) return 0;
  const int32_t count = node->word < s->field_count ? node->word : s->field_count;
  for (int32_t i = 0; i < count; ++i) value_convert_plain(&fields[i].value, &values_of(node)[i]);
  return 1;
}

int16_t memtab_update_row(StorageDesc* s, int32_t n, FieldDef* fields) {
  MemTabRows* rows = memtab_rows(s);
  MemRowNode* node = find(rows, n);
  if (node == nullptr) return 0;
  const int32_t count = node->word < s->field_count ? node->word : s->field_count;
  for (int32_t i = 0; i < count; ++i) {
    const int16_t r = value_assign_plain(&values_of(node)[i], &fields[i].value);
    if (!r) return r;
  }
  return 1;
}

int16_t memtab_delete_row(StorageDesc* s, int32_t n) {
  MemTabRows* rows = memtab_rows(s);
  MemRowNode* node = find(rows, n);
  if (node == nullptr) return 1;
  free_values(node);
  if (rows->by_id != nullptr) {
    rows->by_id->nodes.erase(n);
    // The node has no values now: the scan finds the next node of the id.
    if (rows->by_id->repeated) {
      if (MemRowNode* next = scan(rows->list, n)) rows->by_id->nodes.emplace(n, next);
    }
  }
  if (node->object.type == MAPOBJ_NONE) {
    if (rows->cursor == node) rows->cursor = nullptr;
    unlink(rows->list, node);
    memnode_release(rows->list, node);
  }
  return 1;
}

int16_t memtab_close(StorageDesc* s) {
  auto* o = std::get_if<MemoryOptions>(&s->options);
  MemTabRows* rows = memtab_rows(s);
  if (rows == nullptr) return 1;
  for (MemRowNode* n = rows->list != nullptr ? rows->list->head : nullptr; n != nullptr; n = n->next) free_values(n);
  // The list goes with its last user (this table or an object storage).
  memlist_release(&rows->list);
  g_position = PositionCache{};
  delete rows->by_id;
  delete rows;
  o->rows = nullptr;
  return 1;
}

int16_t memtab_find_by_text(TableDef* t, const char* a, int32_t ca, const char* b, int32_t cb, int32_t* id) {
  return find_by_text(t, a, ca, b, cb, id, nullptr);
}

int16_t memtab_position_by_text(TableDef* t, const char* a, int32_t ca, const char* b, int32_t cb, int32_t* pos) {
  return find_by_text(t, a, ca, b, cb, nullptr, pos);
}

int16_t memtab_next_row_id(StorageDesc* s, int32_t* id) {
  MemTabRows* rows = memtab_rows(s);
  *id = (rows != nullptr ? rows->counter : 0) + 1;
  return 1;
}

int16_t memtab_cursor_first(StorageDesc* s) {
  MemTabRows* rows = memtab_rows(s);
  if (rows != nullptr) rows->cursor = rows->list != nullptr ? rows->list->head : nullptr;
  return 1;
}

int16_t memtab_cursor_next(StorageDesc* s, int32_t* id, void*, int16_t* end) {
  if (end != nullptr) *end = 0;
  MemTabRows* rows = memtab_rows(s);
  MemRowNode* c = rows != nullptr ? rows->cursor : nullptr;
  if (c == nullptr) {
    if (end != nullptr) *end = 1;
    return 0;
  }
  *id = c->row;
  if (c->next == nullptr) {
    if (end != nullptr) *end = 1;
    return 0;
  }
  rows->cursor = c->next;
  return 1;
}

int16_t memtab_cursor_prev(StorageDesc* s, int32_t* id) {
  MemTabRows* rows = memtab_rows(s);
  MemRowNode* c = rows != nullptr ? rows->cursor : nullptr;
  if (c == nullptr) return 0;
  *id = c->row;
  MemRowNode* prev = nullptr;
  for (MemRowNode* n = rows->list->head; n != nullptr && n != c; n = n->next) prev = n;
  if (prev != nullptr) rows->cursor = prev;
  return 1;
}

int16_t memtab_cursor_last(StorageDesc* s, int32_t* id) {
  MemTabRows* rows = memtab_rows(s);
  MemRowNode* last = rows != nullptr && rows->list != nullptr ? rows->list->tail : nullptr;
  if (last == nullptr) return 0;
  rows->cursor = last;
  *id = last->row;
  return 1;
}

const TabTypeDriver* memtab_driver() {
  static constexpr TabTypeDriver kDriver = {memtab_create, memtab_create,     nullptr,           nullptr,
                                            nullptr,       memtab_close,      read_entry,        insert_entry,
                                            memtab_update_row, memtab_delete_row, nullptr,       nullptr};
  return &kDriver;
}
