// The progress driver of long kernel operations: a step function is called
// until it reports the work done.
#pragma once
#include <cstdint>

struct ProgressRecord;
// Answers non-zero while more steps are needed.
using ProgressStep = int16_t (*)(ProgressRecord* record);

struct ProgressRecord {
  void* context;
  int32_t done;   // hundredths of units
  int32_t total;  // hundredths of units
  const char* message;
  int32_t spare;
  ProgressStep step;
  int16_t finished;
  int16_t aborted;
  int16_t show;
  int16_t first_call;  // 1 during the first call of the step function
  int16_t spare_words[2];
  int32_t start_word;  // cleared by progress_start
};

void progress_init(ProgressRecord* record, void* context, const char* message, int16_t show, int32_t total);
// Runs the step function until it answers 0; answers the finished flag
// (1 unless the step function set the aborted flag).
int16_t progress_run(ProgressRecord* record);
int16_t progress_start(ProgressRecord* record, ProgressStep step);
void progress_add(ProgressRecord* record, double amount, int32_t count);
void progress_reduce_total(ProgressRecord* record, int32_t n);
int16_t progress_get_finished(const ProgressRecord* record);
void progress_set_finished(ProgressRecord* record, int16_t value);
int16_t progress_get_aborted(const ProgressRecord* record);
void progress_set_aborted(ProgressRecord* record, int16_t value);
void* progress_context(const ProgressRecord* record);
int16_t progress_display_flag();
