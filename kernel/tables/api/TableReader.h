// The table reader contract: the one view the application and the OCI module
// have of a source table. The slot order of the virtual operations is fixed:
// separately built modules call them by position.
#pragma once

#include <cstdint>
#include <string>

#include "kernel/tables/api/UploadOptions.h"
#include "kernel/tables/api/tabapi.h"
#include "platform/resources.h"

// The four object-kind texts of a table: points only, lines only, regions
// only, anything else.
inline constexpr const char* kObjectKindPoints = ".0";
inline constexpr const char* kObjectKindLines = ".1";
inline constexpr const char* kObjectKindRegions = ".2";
inline constexpr const char* kObjectKindMixed = ".3";

// The type text a reader shows for a column: the type's name (resource
// strings 213-219), with the width of a Char and the precision and
// decimals of a Decimal; empty for other types.
inline std::string ReaderColumnTypeText(uint8_t type, int precision, int decimals) {
  switch (type) {
    case COLTYPE_CHAR: return platform::ResString(213) + "(" + std::to_string(precision) + ")";
    case COLTYPE_DECIMAL:
      return platform::ResString(214) + "(" + std::to_string(precision) + "," + std::to_string(decimals) + ")";
    case COLTYPE_INTEGER: return platform::ResString(215);
    case COLTYPE_SMALLINT: return platform::ResString(216);
    case COLTYPE_DATE: return platform::ResString(217);
    case COLTYPE_LOGICAL: return platform::ResString(218);
    case COLTYPE_FLOAT: return platform::ResString(219);
    default: return std::string();
  }
}

// Maps an object-kind text to 0..3, anything else to -1.
inline int ObjectKindFromText(const char* text) {
  if (text == nullptr || text[0] != '.' || text[1] < '0' || text[1] > '3' || text[2] != '\0') return -1;
  return text[1] - '0';
}

class CTableReader {
 public:
  virtual ~CTableReader() = default;                                            // 0
  virtual int NewSdoArrays(SdoArrays** out) = 0;                                // 1
  virtual int16_t Close() = 0;                                                  // 2
  virtual void FreeRecord(void* record) = 0;                                    // 3
  virtual void FreeGeometry(unsigned char* blob) = 0;                           // 4
  virtual void FreeSdoArrays(SdoArrays* arrays) = 0;                            // 5
  virtual ColumnInfo* GetColumns() = 0;                                         // 6
  virtual uint8_t GetColumnDecimals(int n) = 0;                                 // 7
  virtual uint8_t GetColumnType(int n) = 0;                                     // 8
  virtual int GetColumnPrecision(int n) = 0;                                    // 9
  virtual ColumnInfo* GetColumn(int n) = 0;                                     // 10
  virtual bool IsColumnIndexed(int n) = 0;                                      // 11
  virtual void SetColumnIndexed(int n, bool flag) = 0;                          // 12
  virtual std::string& GetColumnTypeText(std::string& out, int n) = 0;          // 13
  virtual int GetTableHandle() = 0;                                             // 14
  virtual int GetRowCount() = 0;                                                // 15
  virtual int GetColumnCount() = 0;                                             // 16
  virtual void ResetCoordSysBounds(CoordSysInfo* info) = 0;                     // 17
  virtual CoordSysInfo* GetCoordSys() = 0;                                      // 18
  virtual int LastError() = 0;                                                  // 19
  virtual int GetPointCount() = 0;                                              // 20
  virtual int GetLineCount() = 0;                                               // 21
  virtual int GetRegionCount() = 0;                                             // 22
  virtual bool HasNoObjects() = 0;                                              // 23
  virtual const std::string* GetCoordSysText() = 0;                             // 24
  virtual bool HasNoSrid() = 0;                                                 // 25
  virtual int GetSrid() = 0;                                                    // 26
  virtual std::string* GetStyleClause() = 0;                                    // 27
  virtual std::string* GetDefaultStyle() = 0;                                   // 28
  virtual const std::string* GetObjectKindText() = 0;                           // 29
  virtual int GetObjectKind() = 0;                                              // 30
  virtual double GetResolutionX() = 0;                                          // 31
  virtual double GetResolutionY() = 0;                                          // 32
  virtual int16_t ComputeResolution(int unit) = 0;                              // 33
  virtual const std::string* GetPath() = 0;                                     // 34
  virtual int GetOption() = 0;                                                  // 35
  virtual std::string GetExtraText(std::string& out) = 0;                       // 36
  virtual bool IsMappable() = 0;                                                // 37
  virtual bool Open(const std::string& path, uint8_t normalise) = 0;            // 38
  // Reads one row: its text into `text` (4000 bytes) and its object as SDO
  // arrays in `holder`.
  virtual int16_t ReadSdo(int row, char* text, SdoArrays* holder, DRect* bounds,
                          uint8_t perRow, uint8_t shortGtype) = 0;              // 39
  // Reads one row: its text, its object as a compact record (storage kind 1,
  // freed with FreeRecord) or the quad key of its centre (storage kind 2).
  virtual int16_t ReadRecord(int row, char* text, unsigned char** record, int* size,
                             DRect* bounds, CUploadOptions* options, DPoint* centre,
                             std::string* key) = 0;                             // 40
  // Reads one row: its text and its object as a geometry blob (freed with
  // FreeGeometry).
  virtual int16_t ReadGeometry(int row, char* text, unsigned char** blob, int* size,
                               DRect* bounds, CUploadOptions* options) = 0;     // 41
  virtual void SetOption(int option) = 0;                                       // 42
  virtual void SetRawText(int flag) = 0;                                        // 43
  virtual void SetHasNoSrid(uint8_t flag) = 0;                                  // 44
  virtual void SetSrid(int srid) = 0;                                           // 45
  virtual void BuildStyleClause(const ObjRecord* record) = 0;                   // 46
  virtual void SetDefaultStyle(const std::string& text) = 0;                    // 47
  virtual bool HasColumnType(uint8_t type) = 0;                                 // 48
  // Why the last Open or read failed, for a person ("" when the reader has
  // nothing to add to LastError).
  virtual std::string LastErrorText() { return std::string(); }                // 49
};

// Size of the caller's row text buffer.
constexpr int READER_TEXT_SIZE = 4000;
