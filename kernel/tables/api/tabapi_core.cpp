// Table API lifecycle: start and end, the slot array with registration and
// validation, the last-error query and the process-wide settings the API
// exposes (character set, fatal trap flag, fixed limits).
#include <cstring>
#include <string>

#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/cache.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/collate.h"
#include "kernel/runtime/kshared.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/path.h"
#include "kernel/tables/api/tabapi_kernel.h"
#include "kernel/tables/tabread.h"
#include "platform/module.h"

namespace {

TabApiState g_api;
constexpr int32_t kAcceptedVersion = 6510;

}  // namespace

TabApiState& tabapi_state() { return g_api; }

void tabapi_reset() {
  const int32_t program_dir = g_api.program_dir;
  g_api = TabApiState{};
  g_api.program_dir = program_dir;
}

int16_t TabApiIsStarted() { return g_api.refs != 0 ? 1 : 0; }

int16_t TabApiInit(int32_t version) {
  g_api.version_refused = version == kAcceptedVersion ? 0 : 1;
  if (g_api.version_refused) return 0;
  if (g_api.refs++ != 0) return 1;
  const int16_t ok = kernel_guard([&]() -> int16_t {
    locale_load_date_format();
    if (!g_api.charsets_ready) {
      g_api.charsets_ready = 1;
      if (!charset_init_system()) return 0;
    }
    tables_runtime_start();
    if (!mapobj_runtime_start()) return 0;
    g_api.version = version;
    g_api.slots.reset(new (std::nothrow) ApiSlot[kApiSlotGrowth]);
    if (!g_api.slots) return 0;
    g_api.slot_count = kApiSlotGrowth;
    block_cache_init();
    if (g_api.program_dir == 0) {
      // The executable's directory, its separator kept.
      std::string dir = platform::ExecutableDirectory();
      if (dir.empty() || dir.back() != '/') dir += '/';
      if (dir.size() < static_cast<size_t>(kPathSize)) {
        char path[kPathSize];
        std::memcpy(path, dir.c_str(), dir.size() + 1);
        if (path_normalise(path) != nullptr) g_api.program_dir = path_dir_add(path);
      }
    }
    g_api.table_dir = g_api.program_dir;
    return 1;
  });
  if (!ok) {
    // Nothing of a failed first start stays.
    g_api.refs = 1;
    TabApiTerminate();
    return 0;
  }
  return 1;
}

int TabApiTerminate() {
  if (g_api.refs == 0) return 1;
  if (--g_api.refs > 0) return 1;
  err_clear();
  kernel_guard([&]() {
    for (int32_t i = 1; i <= g_api.slot_count; ++i) {
      ApiSlot& s = g_api.slots[i - 1];
      if (s.key == 0) continue;
      if (s.kind == 3) s.kind = 1;
      // Closing needs a started API: the count goes to zero after.
      ++g_api.refs;
      if (s.kind == 2) {
        TabApiClosePointTable(i);
      } else {
        TabApiCloseTable(i, 1);
      }
      --g_api.refs;
    }
  });
  block_cache_free();
  objrec_free_buffers();
  mapobj_runtime_end();
  g_api.slots.reset();
  g_api.slot_count = 0;
  return 1;
}

int TabApiLastError() {
  if (g_api.refs == 0) return g_api.version_refused ? kApiErrVersion : kApiErrNotStarted;
  int code = 0;
  if (!kernel_guard([&]() { code = err_first_code(); })) code = kErrFatal;
  return code;
}

int16_t TabApiFatalTrapFlag(int16_t toggle) {
  if (toggle != 0) g_kshared.fatal_trap_flag = g_kshared.fatal_trap_flag ? 0 : 1;
  return g_kshared.fatal_trap_flag;
}

int32_t TabApiGetCharsetName(int32_t number, char* out) {
  if (g_api.refs == 0) return -1;
  const int32_t current = g_kshared.charset_number;
  if (number == -1) number = current;
  if (out != nullptr) {
    out[0] = '\0';
    if (number >= 0 && number <= 56) {
      const char* name = charset_name(number);
      if (name != nullptr) {
        std::strncpy(out, name, 39);
        out[39] = '\0';
      }
    }
  }
  return current;
}

int16_t TabApiSetCharset(int32_t number) {
  return tabapi_entry([&]() -> int16_t {
    if (number == -1) {
      err_push(4, kApiErrCharsetRefused, nullptr, nullptr);
      return 0;
    }
    for (int32_t i = 0; i < g_api.slot_count; ++i) {
      if (g_api.slots[i].key != 0) {
        err_push(4, kApiErrCharsetTableOpen, nullptr, nullptr);
        return 0;
      }
    }
    charset_set_current(number);
    return normtab_init(number);
  });
}

int16_t TabApiGetLimits(int32_t* a, int32_t* b, int32_t* c) {
  if (a != nullptr) *a = 9;
  if (b != nullptr) *b = 0;
  if (c != nullptr) *c = 0;
  return 1;
}

void TabApiSetRawText(int flag) { g_api.raw_text = static_cast<int16_t>(flag); }

int32_t table_register(int32_t key, TableDef* table, void* point_store, int32_t mode, int32_t kind, int32_t trace) {
  int32_t free_slot = 0;
  for (int32_t i = 1; i <= g_api.slot_count; ++i) {
    const ApiSlot& s = g_api.slots[i - 1];
    if (s.key == key) {
      err_push(4, kApiErrKeyRegistered, nullptr, nullptr);
      return 0;
    }
    if (s.key == 0 && free_slot == 0) free_slot = i;
  }
  if (free_slot == 0) {
    const int32_t grown = g_api.slot_count + kApiSlotGrowth;
    std::unique_ptr<ApiSlot[]> slots(new (std::nothrow) ApiSlot[grown]);
    if (!slots) return 0;
    for (int32_t i = 0; i < g_api.slot_count; ++i) slots[i] = g_api.slots[i];
    g_api.slots = std::move(slots);
    free_slot = g_api.slot_count + 1;
    g_api.slot_count = grown;
  }
  ApiSlot& s = g_api.slots[free_slot - 1];
  s = ApiSlot{};
  s.key = key;
  s.table = table;
  s.point_store = point_store;
  s.mode = mode;
  s.kind = kind & 0xff;
  s.output.type = -1;
  s.trace = trace;
  return free_slot;
}

int16_t api_slot_check(int32_t slot, int32_t kind, int32_t mode) {
  if (slot < 1 || slot > g_api.slot_count || g_api.slots[slot - 1].key == 0) {
    err_push(4, kApiErrBadSlot, nullptr, nullptr);
    return 0;
  }
  const ApiSlot& s = g_api.slots[slot - 1];
  bool ok = true;
  if (mode != 0 && s.mode != mode) {
    err_push(4, kApiErrNotWritable, nullptr, nullptr);
    ok = false;
  }
  if (kind != 0 && s.kind != kind) {
    err_push(4, kApiErrSlotKind, nullptr, nullptr);
    ok = false;
  }
  return ok ? 1 : 0;
}

ApiSlot* api_slot(int32_t slot) { return &g_api.slots[slot - 1]; }

int16_t api_table_check(int32_t slot, int32_t mode) {
  if (!api_slot_check(slot, 0, mode)) return 0;
  if (api_slot(slot)->kind == 2) {
    err_push(4, kApiErrSlotKind, nullptr, nullptr);
    return 0;
  }
  return 1;
}
