// Places where the kernel would hand over to a host (bitmaps, redraws,
// long operations, clipping, external lexer input). In this program they
// have fixed answers.
#pragma once
#include <cstdint>

#include "kernel/runtime/intrect.h"

// The kernel's optional workspace record; nothing in this program creates
// one, so the pointer stays null.
struct KernelWorkspace {
  uint8_t coordsys_index;
  int16_t paper_unit;
  int16_t distance_unit;
  int16_t area_unit;
};
extern KernelWorkspace* g_kernel_workspace;

char* kernel_bitmap_name(int32_t id1, int32_t id2, char* output);
int16_t kernel_bitmap_ids(const char* name, int16_t* id1, int16_t* id2);
void kernel_hook_refresh();
int16_t kernel_hook_release_entry(void* side_record);
void kernel_hook_long_operation();
int16_t kernel_rect_in_clip(const IntRect* rect);
void kernel_hook_lexer();
void kernel_display_info(int32_t* width, int32_t* height, int32_t* dpi_x, int32_t* dpi_y);
// The host's current directory: none, so the kernel's is the empty text.
int32_t kernel_hook_current_dir(char* buffer, int32_t size);
int32_t kernel_hook_current_drive_dir(int32_t drive, char* buffer, int32_t size);
// Metafile copies: there are no metafiles here; both answer 0.
void* kernel_metafile_copy(void* metafile);
void* kernel_enh_metafile_copy(void* metafile);
