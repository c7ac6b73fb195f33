// KernelList and NameList.
#include "kernel/runtime/list.h"

#include <cstring>

#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"

namespace {

void* next_of(const void* node) {
  void* next;
  std::memcpy(&next, node, sizeof next);
  return next;
}

void set_next(void* node, void* next) { std::memcpy(node, &next, sizeof next); }

}  // namespace

void list_init(KernelList* list) {
  if (list) list->head = list->tail = nullptr;
}

int16_t list_is_empty(const KernelList* list) { return list == nullptr || list->head == nullptr; }

void list_add(KernelList* list, void* node, int16_t where) {
  if (list == nullptr || node == nullptr) return;
  if (where == 0) {
    set_next(node, list->head);
    list->head = node;
    if (list->tail == nullptr) list->tail = node;
  } else if (where == 1) {
    set_next(node, nullptr);
    if (list->tail) set_next(list->tail, node);
    list->tail = node;
    if (list->head == nullptr) list->head = node;
  }
}

void list_insert_sorted(KernelList* list, void* node, ListCompare compare) {
  if (list == nullptr || node == nullptr || compare == nullptr) return;
  void* prev = nullptr;
  for (void* cur = list->head; cur != nullptr; prev = cur, cur = next_of(cur)) {
    if (compare(node, cur) <= 0) {
      set_next(node, cur);
      if (prev) {
        set_next(prev, node);
      } else {
        list->head = node;
      }
      return;
    }
  }
  list_add(list, node, 1);
}

void list_insert_at(KernelList* list, void* node, int32_t n) {
  if (list == nullptr || node == nullptr) return;
  if (n <= 0 || list->head == nullptr) {
    list_add(list, node, 0);
    return;
  }
  void* cur = list->head;
  for (int32_t i = 1; i < n && next_of(cur) != nullptr; ++i) cur = next_of(cur);
  set_next(node, next_of(cur));
  set_next(cur, node);
  if (list->tail == cur) list->tail = node;
}

int16_t list_pop(KernelList* list, void** node, int16_t where) {
  if (node) *node = nullptr;
  if (list == nullptr || list->head == nullptr) return 0;
  void* taken = where == 1 ? list->tail : list->head;
  list_unlink(list, taken);
  if (node) *node = taken;
  return 1;
}

int16_t list_unlink(KernelList* list, void* node) {
  if (list == nullptr || node == nullptr) return 0;
  void* prev = nullptr;
  for (void* cur = list->head; cur != nullptr; prev = cur, cur = next_of(cur)) {
    if (cur != node) continue;
    void* next = next_of(cur);
    if (prev) {
      set_next(prev, next);
    } else {
      list->head = next;
    }
    if (list->tail == cur) list->tail = prev;
    set_next(cur, nullptr);
    return 1;
  }
  return 0;
}

int16_t list_remove_nth(KernelList* list, void** node, int32_t n) {
  void* found = list_nth(list, n);
  if (node) *node = found;
  if (found == nullptr) return 0;
  return list_unlink(list, found);
}

void* list_next(const void* node) { return node ? next_of(node) : nullptr; }

void* list_nth(const KernelList* list, int32_t n) {
  if (list == nullptr || n < 0) return nullptr;
  void* cur = list->head;
  for (int32_t i = 0; i < n && cur != nullptr; ++i) cur = next_of(cur);
  return cur;
}

int32_t list_count(const KernelList* list) {
  int32_t n = 0;
  for (void* cur = list ? list->head : nullptr; cur != nullptr; cur = next_of(cur)) ++n;
  return n;
}

int32_t list_index_of(const KernelList* list, const void* node) {
  int32_t i = 0;
  for (void* cur = list ? list->head : nullptr; cur != nullptr; cur = next_of(cur), ++i) {
    if (cur == node) return i;
  }
  return -1;
}

void list_append_list(KernelList* list, const KernelList* other, int16_t where) {
  if (list == nullptr || other == nullptr || other->head == nullptr) return;
  if (list->head == nullptr) {
    list->head = other->head;
    list->tail = other->tail;
  } else if (where == 0) {
    set_next(other->tail, list->head);
    list->head = other->head;
  } else if (where == 1) {
    set_next(list->tail, other->head);
    list->tail = other->tail;
  }
}

void list_free_all(KernelList* list) {
  if (list == nullptr) return;
  void* cur = list->head;
  while (cur != nullptr) {
    void* next = next_of(cur);
    mem_free(&cur);
    cur = next;
  }
  list->head = list->tail = nullptr;
}

// ---- NameList ---------------------------------------------------------

namespace {

// The name of the record at offset, bounded by the block; null when the
// offset does not address a record inside the block.
const char* record_name(const char* list, int32_t offset, int32_t data_size, size_t* name_len) {
  if (list == nullptr || offset < 1 || data_size < 0) return nullptr;
  size_t size = mem_size(list);
  size_t at = static_cast<size_t>(offset) + static_cast<size_t>(data_size);
  if (at >= size) return nullptr;
  const char* name = list + at;
  size_t len = strnlen(name, size - at);
  if (len == size - at) return nullptr;  // no NUL inside the block
  *name_len = len;
  return name;
}

void copy_data(void* out, const char* list, int32_t offset, int32_t data_size) {
  if (out != nullptr && data_size > 0) std::memcpy(out, list + offset, static_cast<size_t>(data_size));
}

}  // namespace

int32_t namelist_add(char** list, const char* name, const void* data, int32_t data_size, int16_t sorted) {
  if (list == nullptr || name == nullptr || name[0] == '\0' || data_size < 0) return 0;
  size_t name_len = std::strlen(name);
  size_t record = static_cast<size_t>(data_size) + name_len + 1;
  if (*list == nullptr) {
    char* block = nullptr;
    if (!mem_alloc_zeroed(static_cast<int64_t>(name_len) + 2 * data_size + 3, &block)) return 0;
    if (data) std::memcpy(block + 1, data, static_cast<size_t>(data_size));
    std::memcpy(block + 1 + data_size, name, name_len + 1);
    *list = block;
    return 1;
  }
  int32_t offset = 1;
  int32_t insert_at = 0;
  size_t len = 0;
  const char* rec;
  while ((rec = record_name(*list, offset, data_size, &len)) != nullptr && len > 0) {
    if (mb_str_compare_nocase(rec, name) == 0) {
      if (data) std::memcpy(*list + offset, data, static_cast<size_t>(data_size));
      return offset;
    }
    if (sorted && insert_at == 0 && mb_str_compare_nocase(rec, name) > 0) insert_at = offset;
    offset += data_size + static_cast<int32_t>(len) + 1;
  }
  if (rec == nullptr) return 0;  // damaged block: no terminating record
  size_t end = static_cast<size_t>(offset) + static_cast<size_t>(data_size) + 1;  // past the terminator
  char* block = *list;
  if (!mem_realloc(static_cast<int64_t>(mem_size(block) + record), &block, static_cast<char**>(nullptr))) return 0;
  *list = block;
  int32_t at = insert_at ? insert_at : offset;
  std::memmove(block + at + record, block + at, end - static_cast<size_t>(at));
  if (data) {
    std::memcpy(block + at, data, static_cast<size_t>(data_size));
  } else {
    std::memset(block + at, 0, static_cast<size_t>(data_size));
  }
  std::memcpy(block + at + data_size, name, name_len + 1);
  return at;
}

void namelist_get(const char* list, int32_t offset, char* name, int32_t name_size, void* data, int32_t data_size) {
  size_t len = 0;
  const char* rec = record_name(list, offset, data_size, &len);
  if (rec == nullptr) {
    str_copy_n(name, "", name_size);
    return;
  }
  str_copy_n(name, rec, name_size);
  copy_data(data, list, offset, data_size);
}

int16_t namelist_get_nth(const char* list, int32_t n, char* name, int32_t name_size, void* data, int32_t data_size) {
  int32_t offset = 1;
  size_t len = 0;
  const char* rec;
  for (int32_t i = 0; (rec = record_name(list, offset, data_size, &len)) != nullptr && len > 0; ++i) {
    if (i == n) {
      namelist_get(list, offset, name, name_size, data, data_size);
      return 1;
    }
    offset += data_size + static_cast<int32_t>(len) + 1;
  }
  str_copy_n(name, "", name_size);
  return 0;
}

int16_t namelist_find(const char* list, const char* name, void* data, int32_t data_size) {
  if (name == nullptr) return 0;
  int32_t offset = 1;
  size_t len = 0;
  const char* rec;
  while ((rec = record_name(list, offset, data_size, &len)) != nullptr && len > 0) {
    if (mb_str_compare_nocase(rec, name) == 0) {
      copy_data(data, list, offset, data_size);
      return 1;
    }
    offset += data_size + static_cast<int32_t>(len) + 1;
  }
  return 0;
}
