// The progress driver.
#include "kernel/runtime/progress.h"

#include <cmath>

namespace {

int32_t saturate(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

void progress_init(ProgressRecord* record, void* context, const char* message, int16_t show, int32_t total) {
  if (record == nullptr) return;
  *record = ProgressRecord{};
  record->context = context;
  record->message = message;
  record->show = show;
  record->total = saturate(static_cast<double>(total) * 100);
}

int16_t progress_run(ProgressRecord* record) {
  if (record == nullptr) return 0;
  record->first_call = 1;
  if (record->step != nullptr) {
    while (record->step(record) != 0) record->first_call = 0;
  }
  record->first_call = 0;
  record->finished = record->aborted ? 0 : 1;
  return record->finished;
}

int16_t progress_start(ProgressRecord* record, ProgressStep step) {
  if (record == nullptr) return 0;
  record->start_word = 0;
  record->step = step;
  return progress_run(record);
}

void progress_add(ProgressRecord* record, double amount, int32_t count) {
  if (record == nullptr || !(amount > 0)) return;
  record->done = saturate(record->done + amount * count * 100);
}

void progress_reduce_total(ProgressRecord* record, int32_t n) {
  if (record == nullptr) return;
  record->total = saturate(record->total - static_cast<double>(n) * 100);
}

int16_t progress_get_finished(const ProgressRecord* record) { return record ? record->finished : 0; }
void progress_set_finished(ProgressRecord* record, int16_t value) {
  if (record) record->finished = value;
}
int16_t progress_get_aborted(const ProgressRecord* record) { return record ? record->aborted : 0; }
void progress_set_aborted(ProgressRecord* record, int16_t value) {
  if (record) record->aborted = value;
}
void* progress_context(const ProgressRecord* record) { return record ? record->context : nullptr; }
int16_t progress_display_flag() { return 0; }
