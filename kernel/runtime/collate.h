// Collation tables: 256-byte maps from each byte of the current character
// set to a sort weight, built from source texts in the kernel string table
// when the character set is chosen. Index files record a table's key (a
// CRC-16 of the table), so the tables and their keys are part of the file
// format.
#pragma once
#include <cstdint>

constexpr int kCollateSlots = 6;

struct CollationSlot {
  uint8_t* table;  // owned kernel block of 256 bytes, null when empty
  void* handle;
  int16_t key;     // CRC-16/ARC of the 256 bytes
  int16_t key2;    // CRC-16/ARC of entries 32 to 126
};

// Builds the collation list for a character set: slot 0 the set's own table
// (or the Neutral table), slots 1-5 the extra tables of WindowsLatin1.
// Answers 1, or 0 when no table could be built at all.
int16_t normtab_init(int set);
// Builds one table from the source rows at base_id; null when the id is not
// in the kernel string table. *handle receives the block's handle.
uint8_t* normtab_load(int32_t base_id, void** handle);
// Parses a collation source text into table (256 bytes). Errors are
// reported through kernel_error_message; the table keeps what was set.
// Answers the number of errors.
// Assigns one entry: the byte the token names gets the weight. assigned
// marks the bytes already set. Answers 1, 0 for a second assignment of a
// byte (reported, ignored), -1 for a token that names no byte (reported).
int16_t normtab_set_entry(const char* token, uint8_t* table, int size, int weight,
                          uint8_t* assigned);
int32_t normtab_parse(const char* text, uint8_t* table);
void normtab_free();

const uint8_t* collate_table_get(int slot);
int16_t collate_table_key(int slot);
int16_t collate_table_key2(int slot);
int16_t collate_key_known(int16_t key);
void collate_apply_table(char* text, const uint8_t* table);
void collate_normalise(char* text, int16_t key);
int16_t collate_compare(const char* a, const char* b);
