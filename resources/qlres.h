/* The resource library's public interface: qlres.so, beside the executable,
 * exports qlres_resources(), which hands out every user-visible text, the
 * dialog templates, the main icon and the version block. Plain C records so
 * that any module can read them. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* One string-table entry: id and UTF-8 text. */
typedef struct QlString {
  int id;
  const char* text;
} QlString;

/* Kinds of dialog controls. */
typedef enum QlControlKind {
  QLC_STATIC = 1,        /* label */
  QLC_EDIT = 2,          /* single-line edit */
  QLC_BUTTON = 3,        /* push button */
  QLC_DEFBUTTON = 4,     /* default push button */
  QLC_CHECKBOX = 5,
  QLC_RADIO = 6,
  QLC_LISTBOX = 7,
  QLC_COMBOBOX = 8,      /* drop-down list */
  QLC_PROGRESS = 9,
  QLC_GROUPBOX = 10,
  QLC_CHECKLIST = 11,    /* list with a check box per entry */
  QLC_ICON = 12,
  QLC_PASSWORD = 13,     /* edit that hides its text */
  QLC_MULTILIST = 14     /* list with several entries selectable */
} QlControlKind;

/* Control style bits. */
enum {
  QLS_DISABLED = 0x1,    /* starts disabled */
  QLS_HIDDEN = 0x2,      /* starts hidden */
  QLS_GROUP = 0x4,       /* starts a group of radio buttons */
  QLS_MULTILINE = 0x8,   /* static or edit text of several lines */
  QLS_SORT = 0x10,       /* list keeps its entries sorted */
  QLS_READONLY = 0x20
};

/* One control of a template; the rectangle is in dialog units. */
typedef struct QlControl {
  int kind;              /* QlControlKind */
  int id;                /* control id; -1 for labels nobody addresses */
  const char* text;      /* caption, UTF-8; "" when none */
  int x, y, w, h;
  unsigned style;        /* QLS_* bits */
} QlControl;

typedef struct QlDialogTemplate {
  int id;
  const char* caption;
  int w, h;              /* dialog units */
  const char* font;
  int font_size;         /* points */
  int control_count;
  const QlControl* controls;
} QlDialogTemplate;

typedef struct QlIcon {
  int id;
  const char* format;    /* "png" */
  unsigned size;
  const unsigned char* bytes;
} QlIcon;

/* Version block entries, keyed like "\StringFileInfo\040904B0\ProductName". */
typedef struct QlVersionValue {
  const char* key;
  const char* value;
} QlVersionValue;

typedef struct QlResources {
  int format;            /* QLRES_FORMAT */
  int string_count;
  const QlString* strings;        /* sorted by id */
  int dialog_count;
  const QlDialogTemplate* dialogs;
  int icon_count;
  const QlIcon* icons;
  int version_count;
  const QlVersionValue* version;
} QlResources;

#define QLRES_FORMAT 1
#define QLRES_ENTRY "qlres_resources"

const QlResources* qlres_resources(void);

#ifdef __cplusplus
}
#endif
