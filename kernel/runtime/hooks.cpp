// Fixed answers of the host hooks.
#include "kernel/runtime/hooks.h"

KernelWorkspace* g_kernel_workspace = nullptr;

char* kernel_bitmap_name(int32_t, int32_t, char* output) {
  if (output) output[0] = '\0';
  return output;
}

int16_t kernel_bitmap_ids(const char*, int16_t* id1, int16_t* id2) {
  if (id1) *id1 = 0;
  if (id2) *id2 = 0;
  return 0;
}

void kernel_hook_refresh() {}
int16_t kernel_hook_release_entry(void*) { return 0; }
void kernel_hook_long_operation() {}
int16_t kernel_rect_in_clip(const IntRect*) { return 1; }
void kernel_hook_lexer() {}

void kernel_display_info(int32_t* width, int32_t* height, int32_t* dpi_x, int32_t* dpi_y) {
  if (width) *width = 640;
  if (height) *height = 480;
  if (dpi_x) *dpi_x = 96;
  if (dpi_y) *dpi_y = 96;
}

int32_t kernel_hook_current_dir(char*, int32_t) { return 0; }
int32_t kernel_hook_current_drive_dir(int32_t, char*, int32_t) { return 0; }
void* kernel_metafile_copy(void*) { return nullptr; }
void* kernel_enh_metafile_copy(void*) { return nullptr; }
