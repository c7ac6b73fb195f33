// The kernel's two small containers: KernelList, an intrusive singly linked
// list of kernel blocks whose first field is the next pointer, and NameList,
// a packed list of named records in one growable kernel block.
#pragma once
#include <cstdint>

struct KernelList {
  void* head;
  void* tail;
};

using ListCompare = int (*)(const void* a, const void* b);

void list_init(KernelList* list);
int16_t list_is_empty(const KernelList* list);
// where 0 at the head, 1 at the tail; other values do nothing.
void list_add(KernelList* list, void* node, int16_t where);
// Before the first node that compare(node, other) <= 0 places it before.
void list_insert_sorted(KernelList* list, void* node, ListCompare compare);
// After the first n nodes (at the end when the list is shorter).
void list_insert_at(KernelList* list, void* node, int32_t n);
int16_t list_pop(KernelList* list, void** node, int16_t where);
int16_t list_unlink(KernelList* list, void* node);
int16_t list_remove_nth(KernelList* list, void** node, int32_t n);
void* list_next(const void* node);
void* list_nth(const KernelList* list, int32_t n);
int32_t list_count(const KernelList* list);
int32_t list_index_of(const KernelList* list, const void* node);
// Moves the other list's nodes to the front (0) or end (1); the other
// list's head and tail are left as they were.
void list_append_list(KernelList* list, const KernelList* other, int16_t where);
// mem_free of every node; the list becomes empty.
void list_free_all(KernelList* list);

// NameList: after a leading zero byte, records of data_size bytes of data
// and a NUL-terminated name, ended by a record with an empty name. Records
// are addressed by the offset of their data (the first at 1); names compare
// without regard to case.
int32_t namelist_add(char** list, const char* name, const void* data, int32_t data_size, int16_t sorted);
void namelist_get(const char* list, int32_t offset, char* name, int32_t name_size, void* data, int32_t data_size);
int16_t namelist_get_nth(const char* list, int32_t n, char* name, int32_t name_size, void* data, int32_t data_size);
int16_t namelist_find(const char* list, const char* name, void* data, int32_t data_size);
