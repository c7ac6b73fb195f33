// nlst: growable arrays of fixed-size elements with amortised growth and
// slack-limited shrinking. Sizes are computed in 64 bits; a storage size
// that cannot be represented is refused like an exhausted allocation.
#include "geometry/qd_nlst.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

namespace {

constexpr uint32_t kDefaultInc = 16;

int bad(const char* function, const char* param) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", param, nullptr);
    return 0;
}

char* bytes(const nlst* lst) { return static_cast<char*>(lst->data); }

// Storage of `capacity` elements of `size` bytes, or null after a report.
void* new_storage(uint64_t size, uint64_t capacity) {
    if (capacity > std::numeric_limits<uint32_t>::max() ||
        (capacity != 0 && size > std::numeric_limits<size_t>::max() / capacity)) {
        QD_FAIL("UKT_0", "function%s", "nlst_resize", nullptr);
        return nullptr;
    }
    return qd_alloc(static_cast<size_t>(size * capacity));
}

// Moves the elements into new storage of `capacity` slots, zero-filling the
// slots past tally. Old storage stays when the allocation fails.
int reallocate(nlst* lst, uint64_t capacity) {
    void* storage = new_storage(lst->size, capacity);
    if (!storage) return 0;
    const size_t used = static_cast<size_t>(lst->tally) * lst->size;
    if (used) std::memcpy(storage, lst->data, used);
    std::memset(static_cast<char*>(storage) + used, 0,
                static_cast<size_t>(capacity) * lst->size - used);
    qd_free(lst->data);
    lst->data = storage;
    lst->capacity = static_cast<uint32_t>(capacity);
    return 1;
}

}  // namespace

int nlst_resize(nlst* lst, uint32_t n, int mode) {
    if (!lst) return 0;
    const uint64_t tally = lst->tally, inc = lst->inc, capacity = lst->capacity;
    if (mode == 1) {
        if (tally + n <= capacity) return 1;
        return reallocate(lst, capacity + inc * (tally / inc + 1) + n);
    }
    if (capacity > inc && tally + 1 < capacity - inc)
        return reallocate(lst, inc * ((tally + inc) / inc) + 1);
    return 1;
}

nlst* nlst_alloc(uint32_t size, uint32_t capacity, uint32_t inc, NlstPrint print) {
    if (size == 0) return bad("nlst_alloc", "size"), nullptr;
    const uint64_t slots = capacity == 0 ? kDefaultInc : uint64_t{capacity} + 1;
    nlst* lst = static_cast<nlst*>(qd_alloc(sizeof(nlst)));
    if (!lst) return nullptr;
    void* storage = new_storage(size, slots);
    if (!storage) {
        qd_free(lst);
        return nullptr;
    }
    std::memset(storage, 0, static_cast<size_t>(size * slots));
    *lst = nlst{size, static_cast<uint32_t>(slots), inc ? inc : kDefaultInc, 0, storage, print};
    return lst;
}

nlst* nlst_alloc_with_array(uint32_t size, void* array, uint32_t count, uint32_t inc,
                            NlstPrint print) {
    if (size == 0) return bad("nlst_alloc_with_array", "size"), nullptr;
    if (!array) return bad("nlst_alloc_with_array", "array"), nullptr;
    if (count == 0) return bad("nlst_alloc_with_array", "count"), nullptr;
    nlst* lst = static_cast<nlst*>(qd_alloc(sizeof(nlst)));
    if (!lst) return nullptr;
    *lst = nlst{size, count, inc ? inc : kDefaultInc, count, array, print};
    return lst;
}

int nlst_free(nlst* lst) {
    if (!lst) return bad("nlst_free", "lst");
    qd_free(lst->data);
    qd_free(lst);
    return 1;
}

uint32_t nlst_tally(const nlst* lst) {
    if (!lst) return static_cast<uint32_t>(bad("nlst_tally", "lst"));
    return lst->tally;
}

void* nlst_index(const nlst* lst, uint32_t row) {
    if (!lst) return bad("nlst_index", "lst"), nullptr;
    if (row >= lst->tally) return bad("nlst_index", "row"), nullptr;
    return bytes(lst) + static_cast<size_t>(row) * lst->size;
}

int nlst_get(const nlst* lst, void* dest, uint32_t row) {
    if (!lst) return bad("nlst_get", "lst");
    if (row >= lst->tally) return bad("nlst_get", "row");
    std::memcpy(dest, bytes(lst) + static_cast<size_t>(row) * lst->size, lst->size);
    return 1;
}

uint32_t nlst_get_many(const nlst* lst, void* dest, uint32_t row, uint32_t count) {
    if (!lst) return static_cast<uint32_t>(bad("nlst_get_many", "lst"));
    if (row >= lst->tally) return static_cast<uint32_t>(bad("nlst_get_many", "row"));
    if (count > lst->tally - row) count = lst->tally - row;
    std::memcpy(dest, bytes(lst) + static_cast<size_t>(row) * lst->size,
                static_cast<size_t>(count) * lst->size);
    return count;
}

int nlst_add(nlst* lst, const void* element) {
    if (!element) return bad("nlst_add", "datum");
    if (!lst) return bad("nlst_add", "lst");
    return nlst_insert_many(lst, element, lst->tally, 1);
}

int nlst_add_many(nlst* lst, const void* array, uint32_t count) {
    if (!array) return bad("nlst_add_many", "datum");
    if (!lst) return bad("nlst_add_many", "lst");
    return nlst_insert_many(lst, array, lst->tally, count);
}

int nlst_insert(nlst* lst, const void* element, uint32_t row) {
    return nlst_insert_many(lst, element, row, 1);
}

int nlst_insert_many(nlst* lst, const void* array, uint32_t row, uint32_t count) {
    if (!lst) return bad("nlst_insert_many", "lst");
    if (!array) return bad("nlst_insert_many", "datum");
    if (row > lst->tally) return bad("nlst_insert_many", "row");
    if (count == 0) return 1;
    if (uint64_t{lst->tally} + count > lst->capacity && !nlst_resize(lst, count, 1)) return 0;
    const size_t size = lst->size;
    char* at = bytes(lst) + row * size;
    if (row < lst->tally) std::memmove(at + count * size, at, (lst->tally - row) * size);
    std::memcpy(at, array, count * size);
    lst->tally += count;
    return 1;
}

int nlst_remove(nlst* lst, uint32_t row) { return nlst_remove_many(lst, row, 1); }

int nlst_remove_many(nlst* lst, uint32_t row, uint32_t count) {
    if (!lst) return bad("nlst_remove_many", "lst");
    if (row >= lst->tally) return bad("nlst_remove_many", "row");
    if (uint64_t{row} + count > lst->tally) return bad("nlst_remove_many", "count");
    const size_t size = lst->size;
    if (row + count < lst->tally)
        std::memmove(bytes(lst) + row * size, bytes(lst) + (row + count) * size,
                     (lst->tally - row - count) * size);
    lst->tally -= count;
    return nlst_resize(lst, 0, 0);
}

int nlst_replace(nlst* lst, const void* element, uint32_t row) {
    return nlst_replace_many(lst, element, row, 1);
}

int nlst_replace_many(nlst* lst, const void* array, uint32_t row, uint32_t count) {
    if (!lst) return bad("nlst_replace_many", "lst");
    if (!array) return bad("nlst_replace_many", "datum");
    if (row > lst->tally) return bad("nlst_replace_many", "row");
    if (count == 0) return 1;
    const uint64_t end = uint64_t{row} + count;
    if (end > lst->tally) {
        if (end > lst->capacity &&
            !nlst_resize(lst, static_cast<uint32_t>(end - lst->tally), 1))
            return 0;
        lst->tally = static_cast<uint32_t>(end);
    }
    std::memcpy(bytes(lst) + static_cast<size_t>(row) * lst->size, array,
                static_cast<size_t>(count) * lst->size);
    return 1;
}

int nlst_append(nlst* lst, const nlst* other) {
    if (!other) return bad("nlst_append", "alst");
    if (!lst) return bad("nlst_append", "lst");
    if (other->size != lst->size) return bad("nlst_append", "alst");
    const uint32_t count = other->tally;
    if (count == 0) return 1;
    if (uint64_t{lst->tally} + count > lst->capacity && !nlst_resize(lst, count, 1)) return 0;
    // other may be lst itself: its data pointer is read after the resize.
    std::memcpy(bytes(lst) + static_cast<size_t>(lst->tally) * lst->size, other->data,
                static_cast<size_t>(count) * lst->size);
    lst->tally += count;
    return 1;
}

void* nlst_core(const nlst* lst) {
    if (!lst || lst->tally == 0) return bad("nlst_core", "lst"), nullptr;
    const size_t n = static_cast<size_t>(lst->tally) * lst->size;
    void* copy = qd_alloc(n);
    if (copy) std::memcpy(copy, lst->data, n);
    return copy;
}

int nlst_trunc(nlst* lst, uint32_t count) {
    if (!lst) return bad("nlst_trunc", "lst");
    if (count >= lst->tally) return 1;
    lst->tally = count;
    return nlst_resize(lst, 0, 0);
}

int nlst_vtrunc(nlst* lst, uint32_t count) {
    if (!lst) return bad("nlst_vtrunc", "lst");
    if (count >= lst->tally) return bad("nlst_vtrunc", "row");
    lst->tally = count;
    return 1;
}

int nlst_sort(nlst* lst, NlstCompare compare) {
    if (!lst) return bad("nlst_sort", "lst");
    if (lst->tally >= 2) std::qsort(lst->data, lst->tally, lst->size, compare);
    return 1;
}

void* nlst_find(const nlst* lst, const void* key, NlstCompare compare) {
    if (!lst) return bad("nlst_find", "lst"), nullptr;
    if (!key) return bad("nlst_find", "key"), nullptr;
    if (lst->tally == 0) return nullptr;
    return std::bsearch(key, lst->data, lst->tally, lst->size, compare);
}

int nlst_where(const nlst* lst, const void* element, uint32_t* row) {
    if (!lst) return bad("nlst_where", "lst");
    if (!element) return bad("nlst_where", "item");
    const char* p = static_cast<const char*>(element);
    const char* start = bytes(lst);
    if (p < start || p >= start + static_cast<size_t>(lst->tally) * lst->size) return 1;
    const size_t offset = static_cast<size_t>(p - start);
    if (row) *row = static_cast<uint32_t>(offset / lst->size);
    if (offset % lst->size != 0) return bad("nlst_where", "item");
    return 1;
}

int nlst_exec(nlst* lst, NlstCallback callback, void* user) {
    if (!lst) return bad("nlst_exec", "lst");
    for (uint32_t row = 0; row < lst->tally; ++row) {
        const int r = callback(bytes(lst) + static_cast<size_t>(row) * lst->size, user);
        if (r != 1) return r;
    }
    return 1;
}

uint32_t nlst_set_inc(nlst* lst, uint32_t inc) {
    if (!lst) return static_cast<uint32_t>(bad("nlst_set_inc", "lst"));
    const uint32_t previous = lst->inc;
    lst->inc = inc ? inc : kDefaultInc;
    return previous;
}

uint32_t nlst_get_inc(const nlst* lst) {
    if (!lst) return static_cast<uint32_t>(bad("nlst_get_inc", "lst"));
    return lst->inc;
}

int nlst_dump(const nlst* lst) {
    if (!lst) return bad("nlst_dump", "lst");
    if (!qd_trace_enabled(10)) return 1;
    qd_trace_printf(16, __FILE__, __LINE__, "nlst_dump", "List: 0x%x",
                    static_cast<unsigned>(reinterpret_cast<uintptr_t>(lst)));
    qd_trace_printf(16, __FILE__, __LINE__, "nlst_dump", "\tSize     = %lu",
                    static_cast<unsigned long>(lst->size));
    qd_trace_printf(16, __FILE__, __LINE__, "nlst_dump", "\tCapacity = %lu",
                    static_cast<unsigned long>(lst->capacity));
    qd_trace_printf(16, __FILE__, __LINE__, "nlst_dump", "\tTally    = %lu",
                    static_cast<unsigned long>(lst->tally));
    if (!lst->print || lst->tally == 0) return 1;
    qd_trace_printf(16, __FILE__, __LINE__, "nlst_dump", "\tElements:");
    for (uint32_t row = 0; row < lst->tally; ++row) {
        qd_trace_printf(16, __FILE__, __LINE__, "nlst_dump", "\t\t[%05d]: ",
                        static_cast<int>(row));
        const int r = lst->print(bytes(lst) + static_cast<size_t>(row) * lst->size);
        if (r != 1) return r;
    }
    return 1;
}
