// nlst: the growable array of fixed-size elements behind every list of the
// geometry library and the topology engine. Rows, counts and sizes are
// unsigned 32-bit; faults are reported as "UKT_1" with the operation and
// parameter names and leave the list unchanged.
#pragma once

#include <cstdint>

struct nlst {
    uint32_t size;      // bytes per element, never 0
    uint32_t capacity;  // element slots in data
    uint32_t inc;       // growth increment, never 0
    uint32_t tally;     // elements in use
    void* data;         // capacity * size bytes from qd_alloc
    int (*print)(void* element);
};

typedef int (*NlstPrint)(void* element);
typedef int (*NlstCompare)(const void* a, const void* b);
typedef int (*NlstCallback)(void* element, void* user);

nlst* nlst_alloc(uint32_t size, uint32_t capacity, uint32_t inc, NlstPrint print);
nlst* nlst_alloc_with_array(uint32_t size, void* array, uint32_t count, uint32_t inc,
                            NlstPrint print);
int nlst_free(nlst* lst);
uint32_t nlst_tally(const nlst* lst);
void* nlst_index(const nlst* lst, uint32_t row);
int nlst_get(const nlst* lst, void* dest, uint32_t row);
uint32_t nlst_get_many(const nlst* lst, void* dest, uint32_t row, uint32_t count);
int nlst_add(nlst* lst, const void* element);
int nlst_add_many(nlst* lst, const void* array, uint32_t count);
int nlst_insert(nlst* lst, const void* element, uint32_t row);
int nlst_insert_many(nlst* lst, const void* array, uint32_t row, uint32_t count);
int nlst_remove(nlst* lst, uint32_t row);
int nlst_remove_many(nlst* lst, uint32_t row, uint32_t count);
int nlst_replace(nlst* lst, const void* element, uint32_t row);
int nlst_replace_many(nlst* lst, const void* array, uint32_t row, uint32_t count);
int nlst_append(nlst* lst, const nlst* other);
void* nlst_core(const nlst* lst);
int nlst_trunc(nlst* lst, uint32_t count);
int nlst_vtrunc(nlst* lst, uint32_t count);
int nlst_sort(nlst* lst, NlstCompare compare);
void* nlst_find(const nlst* lst, const void* key, NlstCompare compare);
int nlst_where(const nlst* lst, const void* element, uint32_t* row);
int nlst_exec(nlst* lst, NlstCallback callback, void* user);
uint32_t nlst_set_inc(nlst* lst, uint32_t inc);
uint32_t nlst_get_inc(const nlst* lst);
int nlst_dump(const nlst* lst);
// mode 1 grows for n more elements, mode 0 shrinks; 0 when allocation failed.
int nlst_resize(nlst* lst, uint32_t n, int mode);
