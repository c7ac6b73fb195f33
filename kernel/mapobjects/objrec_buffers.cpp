// The two process-wide buffers of object records: DPoints (and the text of a
// text record) and section descriptors. They grow, never shrink, and are
// freed when the map-object runtime ends.
#include "kernel/mapobjects/objrec.h"

#include "kernel/runtime/mem.h"

namespace {

struct RecordBuffers {
  DPoint* points = nullptr;
  ObjSection* sections = nullptr;
};
RecordBuffers g_buffers;

bool ensure(void** block, int64_t bytes) { return mem_ensure(bytes, block, nullptr, 1) != 0; }

}  // namespace

int16_t objrec_alloc_buffers(int64_t nodes, ObjSection** sections_out, int64_t sections, DPoint** points_out) {
  if (nodes < 0 || sections < 0 || 28 * sections + 8 * nodes > 0x3fffffff) return 0;
  if (nodes > 0) {
    void* block = g_buffers.points;
    if (!ensure(&block, 16 * nodes)) return 0;
    g_buffers.points = static_cast<DPoint*>(block);
  }
  if (sections > 0) {
    void* block = g_buffers.sections;
    if (!ensure(&block, static_cast<int64_t>(sizeof(ObjSection)) * sections)) return 0;
    g_buffers.sections = static_cast<ObjSection*>(block);
  }
  if (points_out) *points_out = g_buffers.points;
  if (sections_out) *sections_out = g_buffers.sections;
  return 1;
}

int16_t objrec_alloc_text_buffer(int64_t length, char** text_out) {
  if (length < 0 || length > 0x3fffffff) return 0;
  void* block = g_buffers.points;
  if (!ensure(&block, length + 1)) return 0;
  g_buffers.points = static_cast<DPoint*>(block);
  *text_out = reinterpret_cast<char*>(g_buffers.points);
  return 1;
}

void objrec_free_buffers() {
  mem_free(&g_buffers.points);
  mem_free(&g_buffers.sections);
}
