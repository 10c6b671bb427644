/* Independent loader of the INS gauge module.
 *
 * Loads the module as the simulator does and reads every record it hands over IN PLACE, at the
 * byte offsets of the simulator's panel interface. The offsets are written out below for 32-bit
 * and 64-bit references, field by field; nothing is taken from a structure, and nothing of the
 * module's own headers, types or constants is used. The gauge tables the module must carry (the
 * 20 gauges, every element of every chain, every mouse row) are written out here as well.
 *
 * Then it acts as a host: it fills the import table with a panel-services table of its own,
 * answers host variables for an aircraft standing still, places INS, INS_UPDATE and ALIGN, and
 * drives a short session through the mouse routines: power, present position into waypoint 00,
 * alignment until READY NAV lights, waypoint 01, each checked in the windows' texts and in
 * WAYPOINTS.DAT.
 *
 *   independent_loader MODULE      check the module's records, then run the session
 *   independent_loader --self-test check the checker on an image built here byte by byte
 *
 * Exit status 0 only when every check passed. */
#ifdef _WIN32
#define __USE_MINGW_ANSI_STDIO 1
#include <windows.h>
#else
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Every routine that crosses the boundary, both ways, is stdcall on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define BOUNDARY __stdcall
#else
#define BOUNDARY
#endif

_Static_assert(sizeof(void*) == sizeof(uintptr_t), "a reference is a uintptr_t");
_Static_assert(sizeof(void (*)(void)) == sizeof(uintptr_t), "a routine reference too");

/* ---------------------------------------------------------------------------------------------
 * Offsets of the simulator's records. Each field: name, offset on 32-bit, offset on 64-bit, width
 * on 32-bit, width on 64-bit. The reference width of this build decides which column is read. */

typedef struct {
  const char* name;
  unsigned o32, o64;
  unsigned w32, w64;
} Field;

static int g_w64; /* 1 when references are 8 bytes */

static unsigned fo(const Field* f) {
  return g_w64 ? f->o64 : f->o32;
}
static unsigned fw(const Field* f) {
  return g_w64 ? f->w64 : f->w32;
}

/* Module table, exported as Linkage. */
enum { MT_ID, MT_INIT, MT_DEINIT, MT_FLAGS, MT_PRIORITY, MT_VERSION, MT_GAUGES, MT_N };
static const Field kModule[MT_N] = {
    {"module id", 0, 0, 4, 4},
    {"module init routine", 4, 4, 4, 8},
    {"module deinit routine", 8, 12, 4, 8},
    {"module flags", 12, 20, 4, 4},
    {"module priority", 16, 24, 4, 4},
    {"module version", 20, 28, 4, 4},
    {"gauge references", 24, 32, 84, 168}, /* 20 references and the null one */
};

/* Import table, exported as ImportTable. */
enum { IT_ID, IT_REF, IT_END_ID, IT_END_REF, IT_N };
static const Field kImport[IT_N] = {
    {"import id", 0, 0, 4, 4},
    {"panel-services reference", 4, 4, 4, 8},
    {"terminator id", 8, 12, 4, 4},
    {"terminator reference", 12, 16, 4, 8},
};

/* Gauge record. */
enum {
  GR_VERSION,
  GR_NAME,
  GR_ELEMENTS,
  GR_QUERY,
  GR_INSTALL,
  GR_INITIALIZE,
  GR_UPDATE,
  GR_GENERATE,
  GR_DRAW,
  GR_KILL,
  GR_RESERVED1,
  GR_WIDTH,
  GR_HEIGHT,
  GR_XADJUST,
  GR_YADJUST,
  GR_RESERVED2,
  GR_RESERVED3,
  GR_POSITION,
  GR_RESERVED4,
  GR_MOUSE,
  GR_SERVICE,
  GR_USER_DATA,
  GR_PARAMETERS,
  GR_USAGE,
  GR_HOST,
  GR_N
};
static const Field kGauge[GR_N] = {
    {"header version", 0, 0, 4, 4},
    {"gauge name", 4, 4, 4, 8},
    {"element list", 8, 12, 4, 8},
    {"query routine", 12, 20, 4, 8},
    {"install routine", 16, 28, 4, 8},
    {"initialize routine", 20, 36, 4, 8},
    {"update routine", 24, 44, 4, 8},
    {"generate routine", 28, 52, 4, 8},
    {"draw routine", 32, 60, 4, 8},
    {"kill routine", 36, 68, 4, 8},
    {"reserved reference", 40, 76, 4, 8},
    {"width", 44, 84, 4, 4},
    {"height", 48, 88, 4, 4},
    {"x adjust", 52, 92, 4, 4},
    {"y adjust", 56, 96, 4, 4},
    {"first reserved pair reference", 60, 100, 4, 8},
    {"second reserved pair reference", 64, 108, 4, 8},
    {"position", 68, 116, 8, 8},
    {"reserved reference after position", 76, 124, 4, 8},
    {"mouse list", 80, 132, 4, 8},
    {"gauge service routine", 84, 140, 4, 8},
    {"user data", 88, 148, 4, 8},
    {"parameters", 92, 156, 4, 8},
    {"usage", 96, 164, 4, 8},
    {"host's own fields", 100, 172, 152, 180},
};
#define GAUGE_SIZE(w64) ((w64) ? 352u : 252u)

/* Element header, the first fields of every element. */
enum {
  EH_KIND,
  EH_BITMAP,
  EH_POSITION,
  EH_PREV_POSITION,
  EH_PIVOT,
  EH_GAUGE,
  EH_PREV_ELEMENT,
  EH_NEXT,
  EH_FAILURE,
  EH_FLAGS,
  EH_SPECIAL,
  EH_RESERVED,
  EH_N
};
static const Field kHeader[EH_N] = {
    {"kind", 0, 0, 4, 4},
    {"bitmap resource id", 4, 4, 4, 4},
    {"position", 8, 8, 8, 8},
    {"previous position", 16, 16, 8, 8},
    {"pivot offset", 24, 24, 8, 8},
    {"gauge record reference", 32, 32, 4, 8},
    {"previous element", 36, 40, 4, 8},
    {"next list", 40, 48, 4, 8},
    {"failure record", 44, 56, 4, 8},
    {"image flags", 48, 64, 4, 4},
    {"special instrumentation flags", 52, 68, 4, 4},
    {"reserved", 56, 72, 4, 4},
};

/* Host variable record, as embedded in elements (and as lookup_var receives it). */
#define HV_TOKEN 0u
#define HV_CURRENT(w64) ((w64) ? 16u : 12u)
#define HV_SIZE(w64) ((w64) ? 32u : 28u)

/* Static image: the header, then host fields only. */
enum { SI_HOST, SI_N };
static const Field kStatic[SI_N] = {
    {"host image fields", 60, 76, 36, 72},
};

/* Icon. */
enum {
  IC_SOURCE,
  IC_SOURCE_ROUTINE,
  IC_SWITCH_TYPE,
  IC_SWITCH_COUNT,
  IC_SCALE,
  IC_OFFSET,
  IC_IMAGES,
  IC_CURRENT,
  IC_TARGET,
  IC_IMAGE_DATA,
  IC_SAVE,
  IC_UPDATE,
  IC_RESERVED,
  IC_N
};
static const Field kIcon[IC_N] = {
    {"source variable", 60, 76, 28, 32},
    {"source variable routine", 88, 108, 4, 8},
    {"switch type", 92, 116, 4, 4},
    {"switch count", 96, 120, 4, 4},
    {"scale", 100, 124, 8, 8},
    {"offset", 108, 132, 4, 4},
    {"number of images", 112, 136, 4, 4},
    {"current image", 116, 140, 4, 4},
    {"target image", 120, 144, 4, 4},
    {"image data", 124, 148, 4, 8},
    {"save buffer", 128, 156, 4, 8},
    {"update routine", 132, 164, 4, 8},
    {"icon reserved", 136, 172, 4, 4},
};

/* Moving image. */
enum {
  MI_XSOURCE,
  MI_XSOURCE_ROUTINE,
  MI_XMIN,
  MI_XMAX,
  MI_XLAG,
  MI_YSOURCE,
  MI_YSOURCE_ROUTINE,
  MI_YMIN,
  MI_YMAX,
  MI_YLAG,
  MI_XSCALE,
  MI_YSCALE,
  MI_XOFFSET,
  MI_YOFFSET,
  MI_SAVE_POSITION,
  MI_IMAGES,
  MI_MASK_IMAGES,
  MI_MASK_DATA,
  MI_SAVE,
  MI_XUPDATE,
  MI_YUPDATE,
  MI_PREV_X,
  MI_PREV_Y,
  MI_N
};
static const Field kMoving[MI_N] = {
    {"x source variable", 60, 76, 28, 32}, {"x source routine", 88, 108, 4, 8},
    {"x minimum", 92, 116, 8, 8},          {"x maximum", 100, 124, 8, 8},
    {"x lag routine", 108, 132, 4, 8},     {"y source variable", 112, 140, 28, 32},
    {"y source routine", 140, 172, 4, 8},  {"y minimum", 144, 180, 8, 8},
    {"y maximum", 152, 188, 8, 8},         {"y lag routine", 160, 196, 4, 8},
    {"x scale", 164, 204, 8, 8},           {"y scale", 172, 212, 8, 8},
    {"x offset", 180, 220, 8, 8},          {"y offset", 188, 228, 8, 8},
    {"save position", 196, 236, 8, 8},     {"image set", 204, 244, 16, 32},
    {"mask image set", 220, 276, 16, 32},  {"mask data", 236, 308, 4, 8},
    {"save buffer", 240, 316, 4, 8},       {"x update routine", 244, 324, 4, 8},
    {"y update routine", 248, 332, 4, 8},  {"previous x", 252, 340, 8, 8},
    {"previous y", 260, 348, 8, 8},
};

/* Text element. */
enum {
  TX_SOURCE1,
  TX_SOURCE2,
  TX_SOURCE3,
  TX_SAVED,
  TX_SOURCE_ROUTINES,
  TX_SOURCE_FUNCTION,
  TX_BUFFER,
  TX_PREVIOUS,
  TX_BOX,
  TX_IMAGE,
  TX_SAVE,
  TX_COLOUR,
  TX_BACKGROUND,
  TX_HIGHLIGHT,
  TX_HANDLES,
  TX_FONT,
  TX_WEIGHT,
  TX_CHARSET,
  TX_PADDING,
  TX_DRAW_FLAGS,
  TX_CHARS,
  TX_CHAR_WIDTH,
  TX_SEL_START,
  TX_SEL_END,
  TX_HIGHLIGHT_LIST,
  TX_SEQUENCE,
  TX_CHAR_HEIGHT,
  TX_UPDATE,
  TX_USE_OWN,
  TX_OWN,
  TX_N
};
static const Field kText[TX_N] = {
    {"first source variable", 60, 76, 28, 32},
    {"second source variable", 88, 108, 28, 32},
    {"third source variable", 116, 140, 28, 32},
    {"saved values", 144, 172, 24, 24},
    {"source routines", 168, 196, 12, 24},
    {"source function", 180, 220, 4, 8},
    {"text buffer", 184, 228, 4, 8},
    {"previous text", 188, 236, 4, 8},
    {"box size", 192, 244, 8, 8},
    {"text image", 200, 252, 4, 8},
    {"text save buffer", 204, 260, 4, 8},
    {"text colour", 208, 268, 4, 4},
    {"background colour", 212, 272, 4, 4},
    {"highlight colour", 216, 276, 4, 4},
    {"host handles", 220, 280, 28, 56},
    {"font face", 248, 336, 32, 32},
    {"font weight", 280, 368, 4, 4},
    {"character set", 284, 372, 1, 1},
    {"character set padding", 285, 373, 3, 3},
    {"draw flags", 288, 376, 4, 4},
    {"number of characters", 292, 380, 2, 2},
    {"character width", 294, 382, 2, 2},
    {"selection start", 296, 384, 2, 2},
    {"selection end", 298, 386, 2, 2},
    {"highlight list", 300, 388, 4, 8},
    {"saved sequence", 304, 396, 4, 4},
    {"character height", 308, 400, 4, 4},
    {"update routine", 312, 404, 4, 8},
    {"use own colour", 316, 412, 4, 4},
    {"own colour", 320, 416, 4, 4},
};

/* Mouse row. */
enum { MR_KIND, MR_BOX, MR_CURSOR, MR_HELP, MR_FLAGS, MR_EVENT, MR_ROUTINE, MR_DATA, MR_N };
static const Field kRow[MR_N] = {
    {"kind", 0, 0, 4, 4},
    {"box", 4, 4, 16, 16},
    {"cursor", 20, 20, 4, 4},
    {"help id", 24, 24, 4, 4},
    {"flags", 28, 28, 4, 4},
    {"host event id", 32, 32, 4, 4},
    {"mouse routine", 36, 36, 4, 8},
    {"host data", 40, 44, 4, 8},
};

/* The records as one list, for the self-test that every table tiles its record exactly. */
typedef struct {
  const char* name;
  const Field* fields;
  int n;
  unsigned start32, start64; /* where these fields begin (after the element header) */
  unsigned size32, size64;
} Layout;
static const Layout kLayouts[] = {
    {"module table", kModule, MT_N, 0, 0, 108, 200},
    {"import table", kImport, IT_N, 0, 0, 16, 24},
    {"gauge record", kGauge, GR_N, 0, 0, 252, 352},
    {"element header", kHeader, EH_N, 0, 0, 60, 76},
    {"static image", kStatic, SI_N, 60, 76, 96, 148},
    {"icon", kIcon, IC_N, 60, 76, 140, 176},
    {"moving image", kMoving, MI_N, 60, 76, 268, 356},
    {"text element", kText, TX_N, 60, 76, 324, 420},
    {"mouse row", kRow, MR_N, 0, 0, 44, 52},
};

enum { KIND_STATIC = 0, KIND_TEXT = 2, KIND_ICON = 4, KIND_MOVING = 5 };
static unsigned kind_size(int kind) {
  switch (kind) {
    case KIND_STATIC:
      return g_w64 ? 148u : 96u;
    case KIND_TEXT:
      return g_w64 ? 420u : 324u;
    case KIND_ICON:
      return g_w64 ? 176u : 140u;
    case KIND_MOVING:
      return g_w64 ? 356u : 268u;
    default:
      return 0;
  }
}
static const char* kind_name(int kind) {
  switch (kind) {
    case 0:
      return "static image";
    case 1:
      return "needle";
    case 2:
      return "text";
    case 3:
      return "slider";
    case 4:
      return "icon";
    case 5:
      return "moving image";
    case 6:
      return "sprite";
    default:
      return "no element kind";
  }
}
#define ROW_SIZE (g_w64 ? 52u : 44u)
#define REF_SIZE ((unsigned)sizeof(void*))

/* Numbers of the interface. */
#define HIDDEN 0x40000000u
#define CLICK 0x20000000u
#define REPEATS 0x20200000u
#define ALL_BITS 0xFFFFFFFFu
#define AMBER 0x3CB9FAu

/* ---------------------------------------------------------------------------------------------
 * The gauge tables the module must carry. */

typedef struct {
  int kind;
  int bitmap;
  int x, y;
  uint32_t flags, flags_mask; /* the bits of flags the tables state */
  int images;                 /* icon: number of images */
  int routine;                /* icon: 1 an image routine, 0 none, -1 not stated */
  int chars, box_w, box_h;    /* text */
  double ymax;                /* moving image: vertical range 0..ymax */
  char role[40];
} ElemExp;

enum { CHK_BOX = 1, CHK_CURSOR_FLAGS = 2 };
typedef struct {
  int kind;
  int x, y, w, h;
  int cursor;
  uint32_t flags, event;
  int routine;
  unsigned check;
  char control[40];
} RowExp;

#define MAX_ELEMS 40
#define MAX_ROWS 40
typedef struct {
  char name[24];
  ElemExp elems[MAX_ELEMS];
  int n_elems;
  RowExp rows[MAX_ROWS];
  int n_rows;         /* including the closing kind-0 row */
  int optional_group; /* the rows may stand inside one opening and one closing row */
} GaugeExp;

#define N_GAUGES 20
static GaugeExp g_exp[N_GAUGES];
enum { G_INS = 0, G_UPDATE = 1, G_ALT_UPDATE = 2, G_ALIGN = 3 };

/* INS chain depths used by the session. */
enum {
  D_SET_LIT = 6,
  D_KNOB = 22,
  D_RIGHT = 25,
  D_LEFT = 26,
  D_W = 27,
  D_E = 28,
  D_S = 29,
  D_N = 30,
  D_TO = 31,
  D_FROM = 32,
  D_TENS = 33,
  D_UNITS = 34
};
enum { A_BAT = 1, A_READY = 2, A_KNOB = 3 };

static ElemExp* add_elem(GaugeExp* g, int kind, int bitmap, int x, int y, uint32_t flags,
                         uint32_t mask, const char* role) {
  ElemExp* e = &g->elems[g->n_elems++];
  memset(e, 0, sizeof *e);
  e->kind = kind;
  e->bitmap = bitmap;
  e->x = x;
  e->y = y;
  e->flags = flags;
  e->flags_mask = mask;
  e->images = 1;
  e->routine = -1;
  snprintf(e->role, sizeof e->role, "%s", role);
  return e;
}

static RowExp* add_row(GaugeExp* g, int kind, int x, int y, int w, int h, int cursor,
                       uint32_t flags, uint32_t event, int routine, unsigned check,
                       const char* control) {
  RowExp* r = &g->rows[g->n_rows++];
  r->kind = kind;
  r->x = x;
  r->y = y;
  r->w = w;
  r->h = h;
  r->cursor = cursor;
  r->flags = flags;
  r->event = event;
  r->routine = routine;
  r->check = check;
  snprintf(r->control, sizeof r->control, "%s", control);
  return r;
}

static void add_click(GaugeExp* g, int x, int y, int w, int h, int cursor, uint32_t flags,
                      const char* control) {
  add_row(g, 2, x, y, w, h, cursor, flags, 0, 1, CHK_BOX | CHK_CURSOR_FLAGS, control);
}

static void build_expectations(void) {
  memset(g_exp, 0, sizeof g_exp);

  /* INS: the CDU, 35 elements, 26 clickable boxes in one group. */
  GaugeExp* g = &g_exp[G_INS];
  snprintf(g->name, sizeof g->name, "INS");
  add_elem(g, KIND_STATIC, 4096, 0, 0, 0x3, ALL_BITS, "CDU face");
  static const struct {
    int bitmap, x, y;
    uint32_t flags;
    const char* role;
  } icons[] = {
      {4099, 38, 72, HIDDEN | 0x7, "HOLD key lit"},
      {4102, 275, 71, HIDDEN | 0x7, "BAT lamp lit"},
      {4105, 324, 71, HIDDEN | 0x7, "ALERT lamp lit"},
      {4108, 38, 72, HIDDEN | 0x3, "HOLD key pressed"},
      {4111, 84, 71, HIDDEN | 0x3, "SET key pressed"},
      {4114, 84, 71, HIDDEN | 0x7, "SET key lit"},
      {4117, 148, 72, HIDDEN | 0x3, "INSERT key pressed"},
      {4120, 227, 71, HIDDEN | 0x3, "LAST WPT key pressed"},
      {4123, 227, 71, HIDDEN | 0x7, "LAST WPT key lit"},
      {4126, 174, 175, HIDDEN | 0x3, "WYPT CHG key pressed"},
      {4129, 285, 266, HIDDEN | 0x3, "CLEAR key pressed"},
      {4132, 225, 266, HIDDEN | 0x3, "key 0 pressed"},
  };
  for (size_t i = 0; i < sizeof icons / sizeof icons[0]; i++)
    add_elem(g, KIND_ICON, icons[i].bitmap, icons[i].x, icons[i].y, icons[i].flags, ALL_BITS,
             icons[i].role);
  for (int d = 1; d <= 9; d++) {
    char role[40];
    snprintf(role, sizeof role, "key %d pressed", d);
    add_elem(g, KIND_ICON, 4135 + 3 * (d - 1), 225 + 49 * ((d - 1) % 3), 125 + 47 * ((d - 1) / 3),
             HIDDEN | 0x3, ALL_BITS, role);
  }
  ElemExp* knob = add_elem(g, KIND_ICON, 4162, 35, 178, 0x3, ALL_BITS, "data-selector knob");
  knob->images = 8;
  knob->routine = 1;
  add_elem(g, KIND_ICON, 4172, 142, 255, HIDDEN | 0x3, ALL_BITS, "AUTO/MAN switch at AUTO");
  add_elem(g, KIND_ICON, 4175, 142, 255, HIDDEN | 0x3, ALL_BITS, "AUTO/MAN switch at MAN");
  static const struct {
    int chars, w, h, x, y;
    const char* role;
  } texts[] = {
      {10, 140, 36, 206, 24, "right display"}, {9, 126, 36, 40, 24, "left display"},
      {1, 15, 20, 344, 38, "W letter"},        {1, 15, 20, 344, 21, "E letter"},
      {1, 15, 20, 169, 38, "S letter"},        {1, 15, 20, 169, 21, "N letter"},
      {2, 28, 38, 178, 124, "TO window"},      {2, 28, 38, 151, 124, "FROM window"},
  };
  for (size_t i = 0; i < sizeof texts / sizeof texts[0]; i++) {
    ElemExp* t = add_elem(g, KIND_TEXT, -1, texts[i].x, texts[i].y, 0x6, ALL_BITS, texts[i].role);
    t->chars = texts[i].chars;
    t->box_w = texts[i].w;
    t->box_h = texts[i].h;
  }
  add_elem(g, KIND_MOVING, 4181, 56, 120, 0x7, ALL_BITS, "thumbwheel tens")->ymax = 9.0;
  add_elem(g, KIND_MOVING, 4181, 82, 120, 0x7, ALL_BITS, "thumbwheel units")->ymax = 9.0;

  add_row(g, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, "opening row");
  add_click(g, 0, 0, 30, 59, 1, CLICK, "flight-plan spot");
  add_click(g, 82, 185, 38, 82, 4, CLICK, "data selector clockwise");
  add_click(g, 43, 182, 38, 82, 3, CLICK, "data selector anticlockwise");
  add_click(g, 38, 72, 39, 39, 1, CLICK, "HOLD");
  add_click(g, 84, 72, 39, 39, 1, CLICK, "SET");
  add_click(g, 148, 72, 55, 39, 1, CLICK, "INSERT");
  add_click(g, 227, 72, 39, 39, 1, CLICK, "LAST WPT");
  add_click(g, 167, 247, 44, 22, 4, CLICK, "AUTO/MAN to MAN");
  add_click(g, 121, 247, 44, 22, 3, CLICK, "AUTO/MAN to AUTO");
  add_click(g, 285, 266, 55, 39, 1, CLICK, "CLEAR");
  add_click(g, 225, 266, 39, 39, 1, CLICK, "key 0");
  for (int d = 1; d <= 9; d++) {
    char control[40];
    snprintf(control, sizeof control, "key %d", d);
    add_click(g, 225 + 49 * ((d - 1) % 3), 125 + 47 * ((d - 1) / 3), 39, 39, 1, CLICK, control);
  }
  add_click(g, 174, 175, 39, 39, 1, REPEATS, "WYPT CHG");
  add_click(g, 82, 115, 50, 20, 4, REPEATS, "thumbwheel units up");
  add_click(g, 82, 136, 50, 20, 3, REPEATS, "thumbwheel units down");
  add_click(g, 31, 115, 50, 20, 4, REPEATS, "thumbwheel tens up");
  add_click(g, 31, 136, 50, 20, 3, REPEATS, "thumbwheel tens down");
  add_click(g, 150, 271, 31, 21, 1, CLICK, "lamp test spot");
  add_row(g, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, "closing row");
  add_row(g, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "end of list");

  /* The two navigation computers: one hidden image, an empty group. */
  for (int i = G_UPDATE; i <= G_ALT_UPDATE; i++) {
    g = &g_exp[i];
    snprintf(g->name, sizeof g->name, i == G_UPDATE ? "INS_UPDATE" : "INS_ALT_UPDATE");
    add_elem(g, KIND_STATIC, 4178, 0, 0, HIDDEN, HIDDEN, "hidden image");
    add_row(g, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, "opening row");
    add_row(g, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, "closing row");
    add_row(g, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "end of list");
  }

  /* ALIGN: the mode selector unit. */
  g = &g_exp[G_ALIGN];
  snprintf(g->name, sizeof g->name, "ALIGN");
  add_elem(g, KIND_STATIC, 4185, 0, 0, 0, HIDDEN, "MSU face");
  add_elem(g, KIND_ICON, 4188, 293, 31, HIDDEN | 0x7, ALL_BITS, "BAT lamp lit");
  add_elem(g, KIND_ICON, 4191, 206, 31, HIDDEN | 0x7, ALL_BITS, "READY NAV lamp lit");
  ElemExp* mode = add_elem(g, KIND_ICON, 4194, 63, 12, 0x3, ALL_BITS, "mode knob");
  mode->images = 4;
  mode->routine = 1;
  add_click(g, 101, 1, 55, 101, 4, CLICK, "mode knob clockwise");
  add_click(g, 44, 1, 55, 101, 3, CLICK, "mode knob anticlockwise");
  add_row(g, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "end of list");
  g->optional_group = 1;

  /* The sixteen icon gauges: two sizes, eight host events. */
  for (int i = 0; i < 16; i++) {
    int n = i % 8 + 1, big = i < 8, size = big ? 19 : 12;
    g = &g_exp[4 + i];
    snprintf(g->name, sizeof g->name, big ? "INSicon1024_%02d" : "INSicon_%02d", n);
    add_elem(g, KIND_STATIC, big ? 4200 : 4203, 0, 0, 0x7, ALL_BITS, "icon");
    add_row(g, 1, 0, 0, 0, 0, 0, 0, 0, 0, CHK_BOX, "opening row, whole gauge");
    add_row(g, 1, 0, 0, size, size, 0, 0, 0, 0, CHK_BOX, "opening row, icon box");
    add_row(g, 2, 0, 0, size, size, 5, CLICK, 0x10173u + (uint32_t)(n - 1), 0,
            CHK_BOX | CHK_CURSOR_FLAGS, "icon box");
    add_row(g, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, "closing row");
    add_row(g, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, "closing row");
    add_row(g, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "end of list");
  }
}

/* ---------------------------------------------------------------------------------------------
 * Reading memory that may not hold what it should: every reference is tested before it is
 * followed, so a module with another layout is reported, not crashed into. */

#ifdef _WIN32
static int readable(const void* p, size_t n) {
  const char* a = (const char*)p;
  const char* end = a + n;
  if (!p || end < a) return 0;
  while (a < end) {
    MEMORY_BASIC_INFORMATION mbi;
    if (!VirtualQuery(a, &mbi, sizeof mbi)) return 0;
    if (mbi.State != MEM_COMMIT) return 0;
    if (mbi.Protect & (PAGE_NOACCESS | PAGE_GUARD)) return 0;
    if (!(mbi.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)))
      return 0;
    a = (const char*)mbi.BaseAddress + mbi.RegionSize;
  }
  return 1;
}
static const void* g_module_base;
static int in_module(uintptr_t p) {
  MEMORY_BASIC_INFORMATION mbi;
  if (!p || !VirtualQuery((const void*)p, &mbi, sizeof mbi)) return 0;
  return mbi.AllocationBase == g_module_base;
}
#else
/* A write of the bytes into a pipe fails with EFAULT instead of faulting. */
static int g_probe[2] = {-1, -1};
static int readable(const void* p, size_t n) {
  if (!p || (uintptr_t)p + n < (uintptr_t)p || n > 4096) return 0;
  if (g_probe[0] < 0) {
    if (pipe(g_probe) != 0) return 0;
    fcntl(g_probe[0], F_SETFL, O_NONBLOCK);
    fcntl(g_probe[1], F_SETFL, O_NONBLOCK);
  }
  long w = syscall(SYS_write, g_probe[1], p, n);
  char sink[4096];
  if (w > 0) syscall(SYS_read, g_probe[0], sink, (size_t)w);
  return w == (long)n;
}
static const void* g_module_base;
static int in_module(uintptr_t p) {
  Dl_info info;
  if (!p || !dladdr((const void*)p, &info)) return 0;
  return info.dli_fbase == g_module_base;
}
#endif

/* A plain byte copy that the sanitizers leave alone: the bytes were tested readable, but they may
 * lie outside any object the module defined when its records have another size. */
#if defined(__GNUC__) || defined(__clang__)
__attribute__((no_sanitize_address))
#endif
static void
raw_copy(void* dst, const void* src, size_t n) {
  const volatile unsigned char* s = (const volatile unsigned char*)src;
  unsigned char* d = (unsigned char*)dst;
  for (size_t i = 0; i < n; i++) d[i] = s[i];
}

/* ---------------------------------------------------------------------------------------------
 * Mismatch reports. */

static int g_checks, g_failures, g_printed, g_print_limit = 80, g_quiet;
/* What the self-test looks for in the reports: a gauge and a field name. */
static const char* g_watch_field;
static int g_watch_gauge = -1, g_watch_hits, g_current_gauge = -1;
static char g_watch_report[400];

static void report(const char* where, const char* field, long off, const char* want,
                   const char* found) {
  char line[400];
  g_failures++;
  if (off >= 0)
    snprintf(line, sizeof line, "MISMATCH %s: '%s' at +%ld: expected %s, found %s", where, field,
             off, want, found);
  else
    snprintf(line, sizeof line, "MISMATCH %s: %s: expected %s, found %s", where, field, want,
             found);
  if (g_watch_field && strcmp(field, g_watch_field) == 0 && g_current_gauge == g_watch_gauge) {
    if (!g_watch_hits) snprintf(g_watch_report, sizeof g_watch_report, "%s", line);
    g_watch_hits++;
  }
  if (g_quiet) return;
  if (g_printed < g_print_limit)
    printf("  %s\n", line);
  else if (g_printed == g_print_limit)
    printf("  ... further mismatches not shown\n");
  g_printed++;
}

/* A record copied out of the module, with the place it was read for the reports. */
typedef struct {
  const unsigned char* live;
  unsigned char copy[512];
  unsigned size;
  char where[160];
} Rec;

static int rec_load(Rec* r, uintptr_t p, unsigned size) {
  r->live = (const unsigned char*)p;
  r->size = size;
  memset(r->copy, 0, sizeof r->copy);
  if (size > sizeof r->copy || !readable(r->live, size)) return 0;
  raw_copy(r->copy, r->live, size);
  return 1;
}

static uint64_t rec_uint(const Rec* r, unsigned off, unsigned width) {
  uint8_t u8;
  uint16_t u16;
  uint32_t u32;
  uint64_t u64 = 0;
  switch (width) {
    case 1:
      memcpy(&u8, r->copy + off, 1);
      return u8;
    case 2:
      memcpy(&u16, r->copy + off, 2);
      return u16;
    case 4:
      memcpy(&u32, r->copy + off, 4);
      return u32;
    default:
      memcpy(&u64, r->copy + off, 8);
      return u64;
  }
}
static uintptr_t rec_ref(const Rec* r, const Field* f) {
  uintptr_t p;
  memcpy(&p, r->copy + fo(f), sizeof p);
  return p;
}
static int32_t rec_i32(const Rec* r, unsigned off) {
  int32_t v;
  memcpy(&v, r->copy + off, 4);
  return v;
}

static void chk_uint(const Rec* r, const Field* f, uint64_t want) {
  g_checks++;
  uint64_t got = rec_uint(r, fo(f), fw(f));
  if (got == want) return;
  char a[64], b[64];
  snprintf(a, sizeof a, "%llu (0x%llX)", (unsigned long long)want, (unsigned long long)want);
  snprintf(b, sizeof b, "%llu (0x%llX)", (unsigned long long)got, (unsigned long long)got);
  report(r->where, f->name, fo(f), a, b);
}
static void chk_i32(const Rec* r, const Field* f, int32_t want) {
  g_checks++;
  int32_t got = rec_i32(r, fo(f));
  if (got == want) return;
  char a[32], b[32];
  snprintf(a, sizeof a, "%ld", (long)want);
  snprintf(b, sizeof b, "%ld", (long)got);
  report(r->where, f->name, fo(f), a, b);
}
/* Every byte zero: null references, zero numbers, 0.0. */
static void chk_zero(const Rec* r, const Field* f) {
  g_checks++;
  unsigned off = fo(f), w = fw(f);
  for (unsigned i = 0; i < w; i++) {
    if (r->copy[off + i]) {
      char b[64];
      snprintf(b, sizeof b, "byte %u of %u is 0x%02X", i, w, r->copy[off + i]);
      report(r->where, f->name, off, w <= 8 ? "zero / null" : "all bytes zero", b);
      return;
    }
  }
}
/* A routine of the module: a reference into the loaded module. */
static void chk_routine(const Rec* r, const Field* f) {
  g_checks++;
  uintptr_t p = rec_ref(r, f);
  if (in_module(p)) return;
  char b[64];
  snprintf(b, sizeof b, p ? "0x%llX, not inside the module" : "null", (unsigned long long)p);
  report(r->where, f->name, fo(f), "a routine of the module", b);
}
static void chk_ref(const Rec* r, const Field* f, uintptr_t want, const char* what) {
  g_checks++;
  uintptr_t p = rec_ref(r, f);
  if (p == want) return;
  char a[80], b[64];
  snprintf(a, sizeof a, "%s 0x%llX", what, (unsigned long long)want);
  snprintf(b, sizeof b, "0x%llX", (unsigned long long)p);
  report(r->where, f->name, fo(f), a, b);
}
static void chk_point(const Rec* r, const Field* f, int x, int y) {
  g_checks++;
  int32_t gx = rec_i32(r, fo(f)), gy = rec_i32(r, fo(f) + 4);
  if (gx == x && gy == y) return;
  char a[48], b[48];
  snprintf(a, sizeof a, "(%d, %d)", x, y);
  snprintf(b, sizeof b, "(%ld, %ld)", (long)gx, (long)gy);
  report(r->where, f->name, fo(f), a, b);
}
static void chk_f32(const Rec* r, const Field* f, float want) {
  g_checks++;
  float got;
  memcpy(&got, r->copy + fo(f), 4);
  if (got == want) return;
  char a[48], b[48];
  snprintf(a, sizeof a, "%g (32-bit float)", (double)want);
  snprintf(b, sizeof b, "%g (bits 0x%08lX)", (double)got, (unsigned long)rec_uint(r, fo(f), 4));
  report(r->where, f->name, fo(f), a, b);
}
static void chk_f64(const Rec* r, const Field* f, double want) {
  g_checks++;
  double got;
  memcpy(&got, r->copy + fo(f), 8);
  if (got == want) return;
  char a[48], b[64];
  snprintf(a, sizeof a, "%g", want);
  snprintf(b, sizeof b, "%g (bits 0x%016llX)", got, (unsigned long long)rec_uint(r, fo(f), 8));
  report(r->where, f->name, fo(f), a, b);
}
/* The token of a host variable record embedded at field f. */
static void chk_token_zero(const Rec* r, const Field* f) {
  g_checks++;
  uint32_t t = (uint32_t)rec_uint(r, fo(f) + HV_TOKEN, 4);
  if (t == 0) return;
  char name[80], b[32];
  snprintf(name, sizeof name, "%s token", f->name);
  snprintf(b, sizeof b, "%lu", (unsigned long)t);
  report(r->where, name, fo(f), "0 (none)", b);
}

/* A string the module refers to, read with care. */
static int read_string(uintptr_t p, char* out, size_t cap) {
  for (size_t i = 0; i < cap; i++) {
    if (!readable((const void*)(p + i), 1)) return 0;
    raw_copy(out + i, (const void*)(p + i), 1);
    if (!out[i]) return 1;
  }
  out[cap - 1] = 0;
  return 0;
}

/* ---------------------------------------------------------------------------------------------
 * The walk of the records, as the simulator walks them. */

/* What the session needs of the records once they are checked. */
static uintptr_t g_gauge[N_GAUGES];
static uintptr_t g_elem[N_GAUGES][MAX_ELEMS];
static uintptr_t g_row[N_GAUGES][MAX_ROWS];
static int g_nrows[N_GAUGES];
static int g_walked[N_GAUGES]; /* elements of each chain checked */

/* Reads a null-terminated list of references; 0 when it is no such list within max entries. */
static int read_list(uintptr_t list, uintptr_t* out, int max, int* n) {
  *n = 0;
  for (int i = 0; i <= max; i++) {
    uintptr_t e;
    const void* at = (const void*)(list + (uintptr_t)i * REF_SIZE);
    if (!readable(at, REF_SIZE)) return 0;
    raw_copy(&e, at, REF_SIZE);
    if (!e) return 1;
    if (i == max) return 0;
    out[(*n)++] = e;
  }
  return 0;
}

/* Checks one element; returns its next list through *next, or 0 when the walk cannot go on. */
static int check_element(int gi, int depth, uintptr_t el, uintptr_t gauge, uintptr_t* next) {
  const ElemExp* e = &g_exp[gi].elems[depth];
  static Rec r;
  *next = 0;
  char where[160];
  snprintf(where, sizeof where, "gauge %d %s, element depth %d (%s, %s)", gi + 1, g_exp[gi].name,
           depth, kind_name(e->kind), e->role);
  if (!rec_load(&r, el, g_w64 ? 76 : 60)) {
    report(where, "element reference", -1, "a readable element", "unreadable memory");
    return 0;
  }
  snprintf(r.where, sizeof r.where, "%s", where);
  int32_t kind = rec_i32(&r, fo(&kHeader[EH_KIND]));
  if (kind != e->kind) {
    char a[48], b[48];
    snprintf(a, sizeof a, "%d (%s)", e->kind, kind_name(e->kind));
    snprintf(b, sizeof b, "%ld (%s)", (long)kind, kind_name(kind));
    report(where, "kind", 0, a, b);
    g_checks++;
    printf("  (the walk of this chain stops here: its element is not the expected kind)\n");
    return 0;
  }
  g_checks++;
  if (!rec_load(&r, el, kind_size(e->kind))) {
    report(where, "element record", -1, "readable for its kind's size", "unreadable memory");
    return 0;
  }
  snprintf(r.where, sizeof r.where, "%s", where);
  g_elem[gi][depth] = el;
  g_walked[gi] = depth + 1;

  chk_i32(&r, &kHeader[EH_BITMAP], e->bitmap);
  chk_point(&r, &kHeader[EH_POSITION], e->x, e->y);
  chk_zero(&r, &kHeader[EH_PREV_POSITION]);
  chk_zero(&r, &kHeader[EH_PIVOT]);
  chk_ref(&r, &kHeader[EH_GAUGE], gauge, "its gauge record");
  chk_zero(&r, &kHeader[EH_PREV_ELEMENT]);
  chk_zero(&r, &kHeader[EH_FAILURE]);
  {
    g_checks++;
    uint32_t flags = (uint32_t)rec_uint(&r, fo(&kHeader[EH_FLAGS]), 4);
    if ((flags & e->flags_mask) != e->flags) {
      char a[64], b[32];
      if (e->flags_mask == ALL_BITS)
        snprintf(a, sizeof a, "0x%08lX", (unsigned long)e->flags);
      else
        snprintf(a, sizeof a, "0x%08lX in the bits 0x%08lX", (unsigned long)e->flags,
                 (unsigned long)e->flags_mask);
      snprintf(b, sizeof b, "0x%08lX", (unsigned long)flags);
      report(r.where, kHeader[EH_FLAGS].name, fo(&kHeader[EH_FLAGS]), a, b);
    }
  }
  chk_zero(&r, &kHeader[EH_SPECIAL]);
  chk_zero(&r, &kHeader[EH_RESERVED]);

  switch (e->kind) {
    case KIND_STATIC:
      chk_zero(&r, &kStatic[SI_HOST]);
      break;
    case KIND_ICON:
      chk_token_zero(&r, &kIcon[IC_SOURCE]);
      chk_zero(&r, &kIcon[IC_SOURCE_ROUTINE]);
      chk_zero(&r, &kIcon[IC_SWITCH_TYPE]);
      chk_zero(&r, &kIcon[IC_SWITCH_COUNT]);
      chk_zero(&r, &kIcon[IC_SCALE]);
      chk_zero(&r, &kIcon[IC_OFFSET]);
      chk_i32(&r, &kIcon[IC_IMAGES], e->images);
      chk_zero(&r, &kIcon[IC_CURRENT]);
      chk_zero(&r, &kIcon[IC_TARGET]);
      chk_zero(&r, &kIcon[IC_IMAGE_DATA]);
      chk_zero(&r, &kIcon[IC_SAVE]);
      if (e->routine == 1)
        chk_routine(&r, &kIcon[IC_UPDATE]);
      else if (e->routine == 0)
        chk_zero(&r, &kIcon[IC_UPDATE]);
      else if (rec_ref(&r, &kIcon[IC_UPDATE]))
        chk_routine(&r, &kIcon[IC_UPDATE]); /* a fixed image may have one; if so, a real one */
      chk_zero(&r, &kIcon[IC_RESERVED]);
      break;
    case KIND_MOVING:
      chk_token_zero(&r, &kMoving[MI_XSOURCE]);
      chk_zero(&r, &kMoving[MI_XSOURCE_ROUTINE]);
      chk_f64(&r, &kMoving[MI_XMIN], 0.0);
      chk_f64(&r, &kMoving[MI_XMAX], 0.0);
      chk_zero(&r, &kMoving[MI_XLAG]);
      chk_token_zero(&r, &kMoving[MI_YSOURCE]);
      chk_zero(&r, &kMoving[MI_YSOURCE_ROUTINE]);
      chk_f64(&r, &kMoving[MI_YMIN], 0.0);
      chk_f64(&r, &kMoving[MI_YMAX], e->ymax);
      chk_zero(&r, &kMoving[MI_YLAG]);
      for (int f = MI_XSCALE; f <= MI_SAVE; f++) chk_zero(&r, &kMoving[f]);
      chk_routine(&r, &kMoving[MI_XUPDATE]);
      chk_routine(&r, &kMoving[MI_YUPDATE]);
      chk_zero(&r, &kMoving[MI_PREV_X]);
      chk_zero(&r, &kMoving[MI_PREV_Y]);
      break;
    case KIND_TEXT: {
      chk_token_zero(&r, &kText[TX_SOURCE1]);
      chk_token_zero(&r, &kText[TX_SOURCE2]);
      chk_token_zero(&r, &kText[TX_SOURCE3]);
      for (int f = TX_SAVED; f <= TX_PREVIOUS; f++) chk_zero(&r, &kText[f]);
      chk_point(&r, &kText[TX_BOX], e->box_w, e->box_h);
      chk_zero(&r, &kText[TX_IMAGE]);
      chk_zero(&r, &kText[TX_SAVE]);
      chk_uint(&r, &kText[TX_COLOUR], AMBER);
      chk_zero(&r, &kText[TX_BACKGROUND]);
      chk_zero(&r, &kText[TX_HIGHLIGHT]);
      chk_zero(&r, &kText[TX_HANDLES]);
      {
        g_checks++;
        const Field* f = &kText[TX_FONT];
        char face[33];
        memcpy(face, r.copy + fo(f), 32);
        face[32] = 0;
        if (strcmp(face, "Quartz") != 0 || memchr(r.copy + fo(f), 0, 32) == NULL) {
          char b[48];
          snprintf(b, sizeof b, "\"%.20s\"", face);
          report(r.where, f->name, fo(f), "\"Quartz\" inline, zero-terminated", b);
        }
      }
      chk_uint(&r, &kText[TX_WEIGHT], 500);
      chk_uint(&r, &kText[TX_CHARSET], 1);
      chk_uint(&r, &kText[TX_DRAW_FLAGS], 0x25);
      chk_uint(&r, &kText[TX_CHARS], (uint64_t)e->chars);
      chk_zero(&r, &kText[TX_CHAR_WIDTH]);
      chk_zero(&r, &kText[TX_SEL_START]);
      chk_zero(&r, &kText[TX_SEL_END]);
      chk_zero(&r, &kText[TX_HIGHLIGHT_LIST]);
      chk_zero(&r, &kText[TX_SEQUENCE]);
      {
        g_checks++;
        int32_t h = rec_i32(&r, fo(&kText[TX_CHAR_HEIGHT]));
        if (h <= 0 || h > e->box_h) {
          char a[48], b[32];
          snprintf(a, sizeof a, "a height of 1 to %d pixels", e->box_h);
          snprintf(b, sizeof b, "%ld", (long)h);
          report(r.where, kText[TX_CHAR_HEIGHT].name, fo(&kText[TX_CHAR_HEIGHT]), a, b);
        }
      }
      chk_routine(&r, &kText[TX_UPDATE]);
      chk_zero(&r, &kText[TX_USE_OWN]);
      chk_zero(&r, &kText[TX_OWN]);
      break;
    }
  }
  *next = rec_ref(&r, &kHeader[EH_NEXT]);
  return 1;
}

static void check_chain(int gi, uintptr_t gauge, uintptr_t list) {
  const GaugeExp* ge = &g_exp[gi];
  char where[160], field[64];
  snprintf(where, sizeof where, "gauge %d %s", gi + 1, ge->name);
  snprintf(field, sizeof field, "element list");
  for (int depth = 0;; depth++) {
    uintptr_t entries[8];
    int n;
    g_checks++;
    if (!read_list(list, entries, 8, &n)) {
      report(where, field, -1, "a null-terminated list of element references",
             "no such list within 8 entries (the walk of this chain stops here)");
      return;
    }
    if (depth == ge->n_elems) {
      if (n) {
        char b[64];
        snprintf(b, sizeof b, "%d more element(s) after depth %d", n, depth - 1);
        report(where, field, -1, "the end of the chain", b);
      }
      return;
    }
    if (n != 1) {
      char a[64], b[32];
      snprintf(a, sizeof a, "one element reference (depth %d of %d)", depth, ge->n_elems);
      snprintf(b, sizeof b, "%d", n);
      report(where, field, -1, a, b);
      if (!n) return;
    }
    uintptr_t next;
    if (!check_element(gi, depth, entries[0], gauge, &next)) return;
    snprintf(where, sizeof where, "gauge %d %s, element depth %d", gi + 1, ge->name, depth);
    snprintf(field, sizeof field, "next list");
    if (!next) {
      if (depth + 1 != ge->n_elems) {
        char a[64], b[48];
        snprintf(a, sizeof a, "%d elements", ge->n_elems);
        snprintf(b, sizeof b, "the chain ends after %d", depth + 1);
        report(where, field, -1, a, b);
      }
      return;
    }
    list = next;
  }
}

static void check_rows(int gi, uintptr_t list) {
  GaugeExp ge = g_exp[gi];
  static Rec r;
  char where[160];
  /* A list of boxes that the tables give without group rows may stand in one group. */
  if (ge.optional_group && rec_load(&r, list, ROW_SIZE) && rec_i32(&r, 0) == 1) {
    GaugeExp wrapped = ge;
    wrapped.n_rows = 0;
    add_row(&wrapped, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, "opening row");
    for (int i = 0; i + 1 < ge.n_rows; i++) wrapped.rows[wrapped.n_rows++] = ge.rows[i];
    add_row(&wrapped, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, "closing row");
    add_row(&wrapped, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "end of list");
    ge = wrapped;
  }
  g_nrows[gi] = 0;
  for (int i = 0; i < ge.n_rows; i++) {
    const RowExp* x = &ge.rows[i];
    snprintf(where, sizeof where, "gauge %d %s, mouse row %d (%s)", gi + 1, ge.name, i, x->control);
    uintptr_t at = list + (uintptr_t)i * ROW_SIZE;
    g_checks++;
    if (!rec_load(&r, at, ROW_SIZE)) {
      report(where, "mouse row", -1, "a readable row", "unreadable memory");
      return;
    }
    snprintf(r.where, sizeof r.where, "%s", where);
    int32_t kind = rec_i32(&r, 0);
    if (kind != x->kind) {
      char a[16], b[48];
      snprintf(a, sizeof a, "%d", x->kind);
      snprintf(b, sizeof b, "%ld%s", (long)kind, kind < 0 || kind > 3 ? " (no row kind)" : "");
      report(where, "kind", 0, a, b);
      printf("  (the walk of this mouse list stops here)\n");
      return;
    }
    g_row[gi][g_nrows[gi]++] = at;
    if (kind == 0) return;
    if (x->check & CHK_BOX) {
      g_checks++;
      int32_t b[4];
      memcpy(b, r.copy + fo(&kRow[MR_BOX]), 16);
      if (b[0] != x->x || b[1] != x->y || b[2] != x->w || b[3] != x->h) {
        char a[64], f[64];
        snprintf(a, sizeof a, "(%d, %d, %d, %d)", x->x, x->y, x->w, x->h);
        snprintf(f, sizeof f, "(%ld, %ld, %ld, %ld)", (long)b[0], (long)b[1], (long)b[2],
                 (long)b[3]);
        report(where, "box", fo(&kRow[MR_BOX]), a, f);
      }
    }
    if (x->check & CHK_CURSOR_FLAGS) {
      chk_i32(&r, &kRow[MR_CURSOR], x->cursor);
      chk_uint(&r, &kRow[MR_FLAGS], x->flags);
    }
    chk_zero(&r, &kRow[MR_HELP]);
    if (kind == 2) chk_uint(&r, &kRow[MR_EVENT], x->event);
    if (x->routine)
      chk_routine(&r, &kRow[MR_ROUTINE]);
    else
      chk_zero(&r, &kRow[MR_ROUTINE]);
    chk_zero(&r, &kRow[MR_DATA]);
  }
}

static void check_gauge(int gi, uintptr_t gp) {
  static Rec r;
  const GaugeExp* ge = &g_exp[gi];
  g_current_gauge = gi;
  int before = g_failures;
  snprintf(r.where, sizeof r.where, "gauge %d %s, gauge record", gi + 1, ge->name);
  g_checks++;
  if (!rec_load(&r, gp, GAUGE_SIZE(g_w64))) {
    report(r.where, "gauge record", -1, "a readable record", "unreadable memory");
    if (!g_quiet) printf("gauge %2d %-15s record MISMATCH, not walked\n", gi + 1, ge->name);
    return;
  }
  g_gauge[gi] = gp;
  g_walked[gi] = 0;
  chk_uint(&r, &kGauge[GR_VERSION], 800);
  {
    g_checks++;
    char name[65];
    uintptr_t np = rec_ref(&r, &kGauge[GR_NAME]);
    if (!read_string(np, name, sizeof name) || strcmp(name, ge->name) != 0) {
      char a[40], b[96];
      snprintf(a, sizeof a, "\"%s\"", ge->name);
      if (read_string(np, name, sizeof name))
        snprintf(b, sizeof b, "\"%s\"", name);
      else
        snprintf(b, sizeof b, "0x%llX, no readable text", (unsigned long long)np);
      report(r.where, kGauge[GR_NAME].name, fo(&kGauge[GR_NAME]), a, b);
    }
  }
  for (int f = GR_QUERY; f <= GR_RESERVED1; f++) chk_zero(&r, &kGauge[f]);
  chk_uint(&r, &kGauge[GR_WIDTH], 100);
  chk_uint(&r, &kGauge[GR_HEIGHT], 0);
  chk_f32(&r, &kGauge[GR_XADJUST], 0.0f);
  chk_f32(&r, &kGauge[GR_YADJUST], 0.0f);
  chk_zero(&r, &kGauge[GR_RESERVED2]);
  chk_zero(&r, &kGauge[GR_RESERVED3]);
  chk_point(&r, &kGauge[GR_POSITION], 0, 0);
  chk_zero(&r, &kGauge[GR_RESERVED4]);
  chk_routine(&r, &kGauge[GR_SERVICE]);
  chk_zero(&r, &kGauge[GR_USER_DATA]);
  chk_zero(&r, &kGauge[GR_PARAMETERS]);
  chk_zero(&r, &kGauge[GR_USAGE]);
  chk_zero(&r, &kGauge[GR_HOST]);
  int record_failures = g_failures - before;

  uintptr_t elements = rec_ref(&r, &kGauge[GR_ELEMENTS]);
  uintptr_t mouse = rec_ref(&r, &kGauge[GR_MOUSE]);
  before = g_failures;
  check_chain(gi, gp, elements);
  int chain_failures = g_failures - before;
  before = g_failures;
  g_checks++;
  if (!mouse)
    report(r.where, kGauge[GR_MOUSE].name, fo(&kGauge[GR_MOUSE]), "a list", "null");
  else
    check_rows(gi, mouse);
  int row_failures = g_failures - before;
  if (!g_quiet)
    /* (A list may hold group rows around its boxes, so only a mismatch names the count.) */
    printf("gauge %2d %-15s record %s, elements %d of %d %s, mouse rows %d %s\n", gi + 1, ge->name,
           record_failures ? "MISMATCH" : "ok", g_walked[gi], ge->n_elems,
           chain_failures ? "MISMATCH" : "ok", g_nrows[gi], row_failures ? "MISMATCH" : "ok");
}

/* Checks every record reachable from the two tables. Returns the number of mismatches. */
static int check_records(uintptr_t linkage, uintptr_t import) {
  static Rec r;
  int start = g_failures;
  g_current_gauge = -1;
  snprintf(r.where, sizeof r.where, "import table");
  g_checks++;
  if (!rec_load(&r, import, g_w64 ? 24 : 16)) {
    report(r.where, "import table", -1, "a readable table", "unreadable memory");
  } else {
    chk_uint(&r, &kImport[IT_ID], 0x0F);
    chk_zero(&r, &kImport[IT_REF]);
    chk_zero(&r, &kImport[IT_END_ID]);
    chk_zero(&r, &kImport[IT_END_REF]);
  }
  snprintf(r.where, sizeof r.where, "module table");
  g_checks++;
  if (!rec_load(&r, linkage, fo(&kModule[MT_GAUGES]))) {
    report(r.where, "module table", -1, "a readable table", "unreadable memory");
    return g_failures - start;
  }
  chk_uint(&r, &kModule[MT_ID], 0x13);
  chk_routine(&r, &kModule[MT_INIT]);
  chk_routine(&r, &kModule[MT_DEINIT]);
  chk_zero(&r, &kModule[MT_FLAGS]);
  chk_zero(&r, &kModule[MT_PRIORITY]);
  chk_uint(&r, &kModule[MT_VERSION], 0x800);
  uintptr_t gauges[N_GAUGES];
  int n;
  g_checks++;
  int ok = read_list(linkage + fo(&kModule[MT_GAUGES]), gauges, N_GAUGES, &n);
  if (!ok || n != N_GAUGES) {
    char b[80];
    snprintf(b, sizeof b, ok ? "%d references" : "no null reference after %d", n);
    report(r.where, kModule[MT_GAUGES].name, fo(&kModule[MT_GAUGES]),
           "20 gauge references, then null", b);
  }
  if (!g_quiet && g_failures == start) printf("module table and import table ok\n");
  for (int i = 0; i < n && i < N_GAUGES; i++) check_gauge(i, gauges[i]);
  g_current_gauge = -1;
  return g_failures - start;
}

/* ---------------------------------------------------------------------------------------------
 * The host: panel services, host variables, the frame, clicks and drawing. */

typedef void(BOUNDARY* ServiceFn)(void* gauge, int32_t code, uint32_t extra);
typedef double(BOUNDARY* ElementFn)(void* element);
typedef int32_t(BOUNDARY* MouseFn)(void* point, uint32_t flags);

static ServiceFn as_service(uintptr_t u) {
  ServiceFn f;
  memcpy(&f, &u, sizeof f);
  return f;
}
static ElementFn as_element(uintptr_t u) {
  ElementFn f;
  memcpy(&f, &u, sizeof f);
  return f;
}
static MouseFn as_mouse(uintptr_t u) {
  MouseFn f;
  memcpy(&f, &u, sizeof f);
  return f;
}

static uintptr_t live_ref(uintptr_t rec, const Field* f) {
  uintptr_t p;
  memcpy(&p, (const void*)(rec + fo(f)), sizeof p);
  return p;
}
static uint32_t live_u32(uintptr_t rec, unsigned off) {
  uint32_t v;
  memcpy(&v, (const void*)(rec + off), 4);
  return v;
}

/* The aircraft stands still at 47 deg 27.35 min N, 122 deg 18.52 min W, power on. */
#define LAT_DEG (47.0 + 27.35 / 60.0)
#define LON_DEG_EAST (-(122.0 + 18.52 / 60.0))
static int32_t g_tick = 1000;
static int g_key_events, g_unknown_tokens;
static char g_activity[160] = "starting";

static void BOUNDARY host_lookup_var(void* var) {
  uint32_t token;
  memcpy(&token, var, 4);
  double v;
  switch (token) {
    case 1:
      v = (double)g_tick;
      break;
    case 71:
      v = LAT_DEG / 8.998425275459815e-6;
      break;
    case 72:
      v = (360.0 + LON_DEG_EAST) / 1.278976924368144e-12;
      break; /* west: above 2^47 */
    case 364:
      v = 1.0;
      break;
    case 566:
      v = 1.0;
      break;
    case 341:
      v = 15.0;
      break;
    case 103:
    case 106:
    case 832:
    case 82:
    case 343:
    case 344:
    case 64:
    case 81:
      v = 0.0;
      break;
    default:
      if (g_unknown_tokens++ < 5)
        printf("  MISMATCH lookup_var asked for token %lu\n", (unsigned long)token);
      return;
  }
  memcpy((char*)var + HV_CURRENT(g_w64), &v, sizeof v);
}

static int32_t BOUNDARY host_trigger_key_event(uint32_t id, uint32_t value) {
  g_key_events++;
  printf("  key event 0x%lX value %lu (while %s)\n", (unsigned long)id, (unsigned long)value,
         g_activity);
  return 1;
}

/* Panel-services table of this host: zero everywhere but the two slots the module reads. */
static unsigned char g_services[0x200];
#define SLOT_TRIGGER_KEY_EVENT (g_w64 ? 0x110u : 0x90u)
#define SLOT_LOOKUP_VAR (g_w64 ? 0x130u : 0xA0u)

static void fill_services(uintptr_t import) {
  void(BOUNDARY * lookup)(void*) = host_lookup_var;
  int32_t(BOUNDARY * trigger)(uint32_t, uint32_t) = host_trigger_key_event;
  memcpy(g_services + SLOT_LOOKUP_VAR, &lookup, sizeof lookup);
  memcpy(g_services + SLOT_TRIGGER_KEY_EVENT, &trigger, sizeof trigger);
  uintptr_t table = (uintptr_t)g_services;
  memcpy((void*)(import + fo(&kImport[IT_REF])), &table, sizeof table);
}

/* Text windows with guarded buffers: exactly characters + 1 bytes, then guard bytes. */
#define GUARD 16
#define GUARD_BYTE 0xA5
typedef struct {
  int depth, chars;
  unsigned char* mem;
  double value; /* the element's current value as this host keeps it */
} Window;
static Window g_win[8];
static int g_overruns, g_result_faults;

static const char* printable(const char* s, char* out, size_t cap) {
  size_t o = 0;
  for (; *s && o + 8 < cap; s++) {
    unsigned char c = (unsigned char)*s;
    if (c == 0xB0)
      o += (size_t)snprintf(out + o, cap - o, "\xC2\xB0");
    else if (c < 32 || c > 126)
      o += (size_t)snprintf(out + o, cap - o, "\\x%02X", c);
    else
      out[o++] = (char)c;
  }
  out[o] = 0;
  return out;
}

static const char* window_text(int depth) {
  for (int i = 0; i < 8; i++)
    if (g_win[i].depth == depth) return (const char*)g_win[i].mem;
  return "";
}

static void call_window(Window* w) {
  uintptr_t el = g_elem[G_INS][w->depth];
  ElementFn fn = as_element(live_ref(el, &kText[TX_UPDATE]));
  snprintf(g_activity, sizeof g_activity, "drawing INS element depth %d (%s)", w->depth,
           g_exp[G_INS].elems[w->depth].role);
  /* The host keeps the routine's result as the first source variable's current value. */
  uintptr_t cur = el + fo(&kText[TX_SOURCE1]) + HV_CURRENT(g_w64);
  memcpy((void*)cur, &w->value, sizeof w->value);
  double result = fn((void*)el);
  double want = w->value == 0.0 ? 1.0 : 0.0;
  if (result != want && g_result_faults++ < 3)
    printf("  MISMATCH %s: result %g after current value %g, expected %g\n", g_activity, result,
           w->value, want);
  w->value = result;
  int bad = 0;
  for (int i = 0; i < GUARD; i++)
    if (w->mem[w->chars + 1 + i] != GUARD_BYTE) bad = 1;
  if (!memchr(w->mem, 0, (size_t)w->chars + 1)) bad = 1;
  if (bad) {
    char text[200], raw[64];
    size_t n = 0;
    while (n < sizeof raw - 1 && n < (size_t)w->chars + 1 + GUARD && w->mem[n] &&
           w->mem[n] != GUARD_BYTE)
      n++;
    memcpy(raw, w->mem, n);
    raw[n] = 0;
    if (g_overruns++ < 10)
      printf("  MISMATCH %s: wrote past the window's %d characters and terminator: \"%s\"\n",
             g_activity, w->chars, printable(raw, text, sizeof text));
    memset(w->mem + w->chars + 1, GUARD_BYTE, GUARD);
    w->mem[w->chars] = 0;
  }
}

static void draw(void) {
  for (int i = 0; i < 8; i++) call_window(&g_win[i]);
  /* The image routines the host asks when it draws. */
  ElementFn knob = as_element(live_ref(g_elem[G_INS][D_KNOB], &kIcon[IC_UPDATE]));
  ElementFn mode = as_element(live_ref(g_elem[G_ALIGN][A_KNOB], &kIcon[IC_UPDATE]));
  snprintf(g_activity, sizeof g_activity, "drawing the knobs and thumbwheels");
  knob((void*)g_elem[G_INS][D_KNOB]);
  mode((void*)g_elem[G_ALIGN][A_KNOB]);
  for (int d = D_TENS; d <= D_UNITS; d++) {
    as_element(live_ref(g_elem[G_INS][d], &kMoving[MI_XUPDATE]))((void*)g_elem[G_INS][d]);
    as_element(live_ref(g_elem[G_INS][d], &kMoving[MI_YUPDATE]))((void*)g_elem[G_INS][d]);
  }
}

static const int g_placed[3] = {G_ALIGN, G_UPDATE, G_INS};

static void service(int gi, int32_t code) {
  snprintf(g_activity, sizeof g_activity, "service code %ld of gauge %s", (long)code,
           g_exp[gi].name);
  as_service(live_ref(g_gauge[gi], &kGauge[GR_SERVICE]))((void*)g_gauge[gi], code, 0);
}

static void frames(int n) {
  for (int i = 0; i < n; i++) {
    g_tick++;
    for (int k = 0; k < 3; k++) service(g_placed[k], 6);
    draw();
  }
}

/* A click as a pilot makes it: the routine of the mouse row whose box holds the point. */
static int click(int gi, int x, int y, const char* what) {
  for (int i = 0; i < g_nrows[gi]; i++) {
    uintptr_t row = g_row[gi][i];
    if (live_u32(row, 0) != 2) continue;
    int32_t b[4];
    memcpy(b, (const void*)(row + fo(&kRow[MR_BOX])), 16);
    if (x < b[0] || y < b[1] || x >= b[0] + b[2] || y >= b[1] + b[3]) continue;
    uintptr_t routine = live_ref(row, &kRow[MR_ROUTINE]);
    int32_t point[2] = {x, y};
    snprintf(g_activity, sizeof g_activity, "clicking %s of gauge %s at (%d, %d)", what,
             g_exp[gi].name, x, y);
    if (!routine) return 0;
    as_mouse(routine)(point, live_u32(row, fo(&kRow[MR_FLAGS])));
    return 1;
  }
  return 0;
}

/* Session checks. */
static int g_session_failures;
static void session_fail(const char* what, const char* want, const char* found) {
  char a[200], b[200];
  g_session_failures++;
  printf("  MISMATCH %s: expected \"%s\", found \"%s\"\n", what, printable(want, a, sizeof a),
         printable(found, b, sizeof b));
}
/* '*' in an expected text stands for the degree sign, the byte 0xB0. */
static void expect_text(int depth, const char* pattern) {
  char want[32];
  size_t i = 0;
  for (; pattern[i] && i < sizeof want - 1; i++)
    want[i] = pattern[i] == '*' ? (char)0xB0 : pattern[i];
  want[i] = 0;
  g_checks++;
  const char* got = window_text(depth);
  if (strcmp(got, want) != 0) {
    char what[96];
    snprintf(what, sizeof what, "INS %s text", g_exp[G_INS].elems[depth].role);
    session_fail(what, want, got);
  }
}
static void expect_texts(const char* left, const char* right, const char* n, const char* s,
                         const char* e, const char* w) {
  expect_text(D_LEFT, left);
  expect_text(D_RIGHT, right);
  expect_text(D_N, n);
  expect_text(D_S, s);
  expect_text(D_E, e);
  expect_text(D_W, w);
}
static int hidden(int gi, int depth) {
  return (live_u32(g_elem[gi][depth], fo(&kHeader[EH_FLAGS])) & HIDDEN) != 0;
}
static void expect_hidden(int gi, int depth, int want) {
  g_checks++;
  if (hidden(gi, depth) != want)
    session_fail(g_exp[gi].elems[depth].role, want ? "hidden" : "shown", want ? "shown" : "hidden");
}
static void expect_image(int gi, int depth, int moving, double want) {
  uintptr_t el = g_elem[gi][depth];
  uintptr_t fn = live_ref(el, moving ? &kMoving[MI_YUPDATE] : &kIcon[IC_UPDATE]);
  double got = as_element(fn)((void*)el);
  g_checks++;
  if (got != want) {
    char a[32], b[32], what[96];
    snprintf(a, sizeof a, "%g", want);
    snprintf(b, sizeof b, "%g", got);
    snprintf(what, sizeof what, "%s %s routine", g_exp[gi].name, g_exp[gi].elems[depth].role);
    session_fail(what, a, b);
  }
}

/* The centre of a key of the keyboard. */
static void press(int gi, int x, int y, const char* what) {
  g_checks++;
  if (!click(gi, x, y, what)) {
    char at[96];
    snprintf(at, sizeof at, "a mouse box with a routine at (%d, %d) for %s", x, y, what);
    session_fail(at, "one", "none");
  }
  frames(6); /* past the key's 5-tick latch */
}
static void press_key(char k) {
  if (k == '0')
    press(G_INS, 244, 285, "key 0");
  else {
    int d = k - '0';
    press(G_INS, 225 + 49 * ((d - 1) % 3) + 19, 125 + 47 * ((d - 1) / 3) + 19, "a digit key");
  }
}
#define SET_KEY G_INS, 103, 91, "SET"
#define INSERT_KEY G_INS, 175, 91, "INSERT"
#define SELECTOR_CW G_INS, 101, 226, "data selector clockwise"
#define UNITS_UP G_INS, 107, 125, "thumbwheel units up"
#define WYPT_CHG G_INS, 193, 194, "WYPT CHG"
#define MODE_CW G_ALIGN, 128, 51, "mode knob clockwise"

/* Keys one entry digit by digit, checking the display's echo after each key. */
static void key_entry(const char* keys, int depth, const char* const* echoes) {
  for (int i = 0; keys[i]; i++) {
    press_key(keys[i]);
    expect_text(depth, echoes[i]);
  }
}

/* The line of WAYPOINTS.DAT for waypoint n, as written with "%d %.8f %.8f". */
static int file_line(int n, char* out, size_t cap, int* lines) {
  FILE* f = fopen("WAYPOINTS.DAT", "r");
  char line[256];
  int found = 0;
  *lines = 0;
  out[0] = 0;
  if (!f) return 0;
  while (fgets(line, sizeof line, f)) {
    line[strcspn(line, "\r\n")] = 0;
    if (atoi(line) == n && line[0] >= '0' && line[0] <= '9') {
      snprintf(out, cap, "%s", line);
      found = 1;
    }
    (*lines)++;
  }
  fclose(f);
  return found;
}
static void expect_file_line(int n, double lat_rad, double lon_rad_west) {
  char want[96], got[256];
  int lines;
  snprintf(want, sizeof want, "%d %.8f %.8f", n, (double)(float)lat_rad,
           (double)(float)lon_rad_west);
  g_checks++;
  if (!file_line(n, got, sizeof got, &lines) || strcmp(got, want) != 0) {
    char what[64];
    snprintf(what, sizeof what, "WAYPOINTS.DAT line for waypoint %d", n);
    session_fail(what, want, got);
  }
}
static double radians(double deg) {
  return deg * 3.14159265358979323846 / 180.0;
}

static int run_session(uintptr_t import) {
  int start = g_failures;
  g_session_failures = 0;
  fill_services(import);
  printf("session: panel-services table filled, INS, INS_UPDATE and ALIGN placed\n");
  for (int k = 0; k < 3; k++) service(g_placed[k], 4);

  /* Before the host lends any buffer, every window routine is called once without one. */
  static const int depths[8] = {D_RIGHT, D_LEFT, D_W, D_E, D_S, D_N, D_TO, D_FROM};
  for (int i = 0; i < 8; i++) {
    uintptr_t el = g_elem[G_INS][depths[i]];
    snprintf(g_activity, sizeof g_activity, "drawing INS element depth %d without a buffer",
             depths[i]);
    as_element(live_ref(el, &kText[TX_UPDATE]))((void*)el);
    g_checks++;
    if (live_ref(el, &kText[TX_BUFFER]))
      session_fail("text buffer field after a call without one", "null", "set");
  }
  printf("session: every window routine called once with no buffer: nothing written, no crash\n");
  for (int i = 0; i < 8; i++) {
    Window* w = &g_win[i];
    w->depth = depths[i];
    w->chars = g_exp[G_INS].elems[depths[i]].chars;
    w->mem = malloc((size_t)w->chars + 1 + GUARD);
    memset(w->mem, 0, (size_t)w->chars + 1);
    memset(w->mem + w->chars + 1, GUARD_BYTE, GUARD);
    uintptr_t b = (uintptr_t)w->mem;
    memcpy((void*)(g_elem[G_INS][depths[i]] + fo(&kText[TX_BUFFER])), &b, sizeof b);
  }
  frames(3);
  printf("session: knob at OFF: the windows are blank\n");
  expect_texts("         ", "         ", " ", " ", " ", " ");
  expect_text(D_TO, "  ");
  expect_text(D_FROM, "  ");
  expect_image(G_ALIGN, A_KNOB, 0, 0.0);
  expect_image(G_INS, D_KNOB, 0, 3.0);
  expect_hidden(G_ALIGN, A_BAT, 1);
  expect_hidden(G_ALIGN, A_READY, 1);

  press(MODE_CW);
  printf("session: STBY: POS shows the present position\n");
  expect_image(G_ALIGN, A_KNOB, 0, 1.0);
  expect_hidden(G_ALIGN, A_BAT, 1);
  expect_texts(" 47*27.35", "122*18.52", "N", " ", " ", "W");
  expect_text(D_TO, "00");
  expect_text(D_FROM, "00");

  press(SELECTOR_CW);
  expect_image(G_INS, D_KNOB, 0, 4.0);
  printf("session: WAY PT, no waypoint file yet: TO waypoint 00 at 0, 0\n");
  expect_texts(" 00*00.00", "000*00.00", "N", " ", " ", "W");

  printf("session: waypoint 00 keyed with the present position\n");
  press(SET_KEY);
  expect_hidden(G_INS, D_SET_LIT, 0);
  expect_texts(" 00*00.00", "000*00.00", "N", " ", " ", "W");
  static const char* const lat00[] = {" --*--.--", " 4-*--.--", " 47*--.--", " 47*2-.--",
                                      " 47*27.--", " 47*27.3-", " 47*27.35"};
  static const char* const lon00[] = {"---*--.--", "1--*--.--", "12-*--.--", "122*--.--",
                                      "122*1-.--", "122*18.--", "122*18.5-", "122*18.52"};
  key_entry("2472735", D_LEFT, lat00);
  expect_text(D_RIGHT, "000*00.00");
  key_entry("41221852", D_RIGHT, lon00);
  expect_texts(" 47*27.35", "122*18.52", "N", " ", " ", "W");
  press(INSERT_KEY);
  expect_hidden(G_INS, D_SET_LIT, 1);
  expect_file_line(0, radians(LAT_DEG), radians(-LON_DEG_EAST));
  printf("session: after INSERT, WAY PT shows TO waypoint 00 from the file\n");
  expect_texts(" 47*27.35", "122*18.52", "N", " ", " ", "W");

  printf("session: ALIGN: the countdown runs until READY NAV lights\n");
  press(MODE_CW);
  int32_t aligned_from = g_tick - 6; /* the tick of the click */
  expect_image(G_ALIGN, A_KNOB, 0, 2.0);
  int lit_at = -1;
  for (int i = 0; i < 1300 && lit_at < 0; i++) {
    frames(1);
    if (!hidden(G_ALIGN, A_READY)) lit_at = g_tick;
  }
  g_checks++;
  if (lit_at < 0) {
    session_fail("READY NAV lamp within 1300 frames of ALIGN", "lit", "dark");
  } else {
    printf("session: READY NAV lit %ld ticks after the click into ALIGN\n",
           (long)(lit_at - aligned_from));
    if (lit_at - aligned_from != 1080) {
      char b[32];
      snprintf(b, sizeof b, "%ld", (long)(lit_at - aligned_from));
      session_fail("ticks from ALIGN to READY NAV", "1080", b);
    }
  }
  expect_hidden(G_ALIGN, A_BAT, 1);

  printf("session: waypoint 01 keyed (thumbwheel units up, SET, S 33*51.50 E 151*12.25)\n");
  press(UNITS_UP);
  expect_image(G_INS, D_TENS, 1, 0.0);
  expect_image(G_INS, D_UNITS, 1, 1.0);
  press(SET_KEY);
  static const char* const lat01[] = {" --*--.--", " 3-*--.--", " 33*--.--", " 33*5-.--",
                                      " 33*51.--", " 33*51.5-", " 33*51.50"};
  static const char* const lon01[] = {"---*--.--", "1--*--.--", "15-*--.--", "151*--.--",
                                      "151*1-.--", "151*12.--", "151*12.2-", "151*12.25"};
  key_entry("8335150", D_LEFT, lat01);
  key_entry("61511225", D_RIGHT, lon01);
  expect_texts(" 33*51.50", "151*12.25", " ", "S", "E", " ");
  press(INSERT_KEY);
  expect_file_line(1, -radians(33.0 + 51.50 / 60.0), -radians(151.0 + 12.25 / 60.0));
  expect_file_line(0, radians(LAT_DEG), radians(-LON_DEG_EAST));
  {
    char line[256], want[64];
    int lines;
    for (int n = 2; n < 99; n++) {
      g_checks++;
      snprintf(want, sizeof want, "%d 0.00000000 0.00000000", n);
      if (!file_line(n, line, sizeof line, &lines) || strcmp(line, want) != 0) {
        session_fail("WAYPOINTS.DAT line of a waypoint never set", want, line);
        break;
      }
    }
    printf("session: WAYPOINTS.DAT holds %d lines\n", lines);
  }
  printf("session: WYPT CHG: TO waypoint 01 in the windows\n");
  press(WYPT_CHG);
  expect_texts(" 33*51.50", "151*12.25", " ", "S", "E", " ");
  expect_text(D_TO, "01");
  expect_text(D_FROM, "00");

  for (int k = 0; k < 3; k++) service(g_placed[k], 12);
  g_checks += 2;
  if (g_key_events) session_fail("key events sent without HOLD", "none", "some");
  if (g_unknown_tokens) session_fail("host variables asked", "the 14 tokens", "another token");
  if (g_overruns) g_session_failures++;
  if (g_result_faults) g_session_failures++;
  for (int i = 0; i < 8; i++) {
    uintptr_t zero = 0;
    memcpy((void*)(g_elem[G_INS][g_win[i].depth] + fo(&kText[TX_BUFFER])), &zero, sizeof zero);
    free(g_win[i].mem);
  }
  g_failures += g_session_failures;
  return g_failures - start;
}

/* ---------------------------------------------------------------------------------------------
 * Self-test: the checker against an image of the records built here byte by byte at the same
 * offsets, once as the tables say (it must pass) and once for each field of a table of cases moved
 * by 4 bytes (each must fail, naming that field). */

static void BOUNDARY image_routine(void) {}

static void* g_blocks[4096];
static int g_nblocks;
static unsigned char* alloc0(size_t n) {
  unsigned char* p = calloc(1, n);
  if (!p || g_nblocks == (int)(sizeof g_blocks / sizeof g_blocks[0])) {
    printf("self-test: out of memory\n");
    exit(2);
  }
  g_blocks[g_nblocks++] = p;
  return p;
}
static void free_image(void) {
  while (g_nblocks) free(g_blocks[--g_nblocks]);
}
static void put(unsigned char* rec, const Field* f, const void* v, unsigned n) {
  memcpy(rec + fo(f), v, n);
}
static void put_u32(unsigned char* rec, const Field* f, uint32_t v) {
  put(rec, f, &v, 4);
}
static void put_ref(unsigned char* rec, const Field* f, uintptr_t v) {
  put(rec, f, &v, REF_SIZE);
}
static void put_point(unsigned char* rec, const Field* f, int32_t x, int32_t y) {
  int32_t p[2] = {x, y};
  put(rec, f, p, 8);
}
static void put_f64(unsigned char* rec, const Field* f, double v) {
  put(rec, f, &v, 8);
}
static uintptr_t routine_ref(void) {
  void(BOUNDARY * fn)(void) = image_routine;
  uintptr_t u;
  memcpy(&u, &fn, sizeof u);
  return u;
}
static uintptr_t list_of(uintptr_t one) {
  unsigned char* l = alloc0(2 * REF_SIZE);
  memcpy(l, &one, REF_SIZE);
  return (uintptr_t)l;
}

/* Where the cases below find their records. */
static unsigned char* g_img_gauge[N_GAUGES];
static unsigned char* g_img_elem[N_GAUGES][MAX_ELEMS];
static unsigned char* g_img_rows[N_GAUGES];
static unsigned char* g_img_module;

static void build_image(uintptr_t* linkage, uintptr_t* import) {
  unsigned char* it = alloc0(g_w64 ? 24 : 16);
  put_u32(it, &kImport[IT_ID], 0x0F);
  unsigned char* mt = alloc0(fo(&kModule[MT_GAUGES]) + (N_GAUGES + 1) * REF_SIZE);
  g_img_module = mt;
  put_u32(mt, &kModule[MT_ID], 0x13);
  put_ref(mt, &kModule[MT_INIT], routine_ref());
  put_ref(mt, &kModule[MT_DEINIT], routine_ref());
  put_u32(mt, &kModule[MT_VERSION], 0x800);
  for (int gi = 0; gi < N_GAUGES; gi++) {
    const GaugeExp* ge = &g_exp[gi];
    unsigned char* g = alloc0(GAUGE_SIZE(g_w64));
    g_img_gauge[gi] = g;
    uintptr_t gref = (uintptr_t)g;
    memcpy(mt + fo(&kModule[MT_GAUGES]) + (unsigned)gi * REF_SIZE, &gref, REF_SIZE);
    put_u32(g, &kGauge[GR_VERSION], 800);
    put_ref(g, &kGauge[GR_NAME], (uintptr_t)ge->name);
    put_u32(g, &kGauge[GR_WIDTH], 100);
    put_ref(g, &kGauge[GR_SERVICE], routine_ref());
    /* The chain, built from its far end. */
    uintptr_t next = 0;
    for (int d = ge->n_elems - 1; d >= 0; d--) {
      const ElemExp* e = &ge->elems[d];
      unsigned char* el = alloc0(kind_size(e->kind));
      g_img_elem[gi][d] = el;
      put_u32(el, &kHeader[EH_KIND], (uint32_t)e->kind);
      put_u32(el, &kHeader[EH_BITMAP], (uint32_t)e->bitmap);
      put_point(el, &kHeader[EH_POSITION], e->x, e->y);
      put_ref(el, &kHeader[EH_GAUGE], gref);
      put_ref(el, &kHeader[EH_NEXT], next);
      put_u32(el, &kHeader[EH_FLAGS], e->flags);
      if (e->kind == KIND_ICON) {
        put_u32(el, &kIcon[IC_IMAGES], (uint32_t)e->images);
        if (e->routine == 1) put_ref(el, &kIcon[IC_UPDATE], routine_ref());
      } else if (e->kind == KIND_MOVING) {
        put_f64(el, &kMoving[MI_YMAX], e->ymax);
        put_ref(el, &kMoving[MI_XUPDATE], routine_ref());
        put_ref(el, &kMoving[MI_YUPDATE], routine_ref());
      } else if (e->kind == KIND_TEXT) {
        put_point(el, &kText[TX_BOX], e->box_w, e->box_h);
        put_u32(el, &kText[TX_COLOUR], AMBER);
        put(el, &kText[TX_FONT], "Quartz", 7);
        put_u32(el, &kText[TX_WEIGHT], 500);
        put(el, &kText[TX_CHARSET], "\1", 1);
        put_u32(el, &kText[TX_DRAW_FLAGS], 0x25);
        uint16_t chars = (uint16_t)e->chars;
        put(el, &kText[TX_CHARS], &chars, 2);
        put_u32(el, &kText[TX_CHAR_HEIGHT], (uint32_t)(e->box_h - 4));
        put_ref(el, &kText[TX_UPDATE], routine_ref());
      }
      next = list_of((uintptr_t)el);
    }
    put_ref(g, &kGauge[GR_ELEMENTS], next);
    unsigned char* rows = alloc0((size_t)ge->n_rows * ROW_SIZE);
    g_img_rows[gi] = rows;
    for (int i = 0; i < ge->n_rows; i++) {
      const RowExp* x = &ge->rows[i];
      unsigned char* row = rows + (size_t)i * ROW_SIZE;
      int32_t box[4] = {x->x, x->y, x->w, x->h};
      put_u32(row, &kRow[MR_KIND], (uint32_t)x->kind);
      put(row, &kRow[MR_BOX], box, 16);
      put_u32(row, &kRow[MR_CURSOR], (uint32_t)x->cursor);
      put_u32(row, &kRow[MR_FLAGS], x->flags);
      put_u32(row, &kRow[MR_EVENT], x->event);
      if (x->routine) put_ref(row, &kRow[MR_ROUTINE], routine_ref());
    }
    put_ref(g, &kGauge[GR_MOUSE], (uintptr_t)rows);
  }
  *linkage = (uintptr_t)mt;
  *import = (uintptr_t)it;
}

/* Every table of offsets covers its record exactly: no gap, no overlap, the record's size. */
static int check_tiling(void) {
  int bad = 0;
  for (int w64 = 0; w64 <= 1; w64++) {
    g_w64 = w64;
    for (size_t i = 0; i < sizeof kLayouts / sizeof kLayouts[0]; i++) {
      const Layout* l = &kLayouts[i];
      unsigned at = w64 ? l->start64 : l->start32;
      for (int k = 0; k < l->n; k++) {
        if (fo(&l->fields[k]) != at) {
          printf("self-test: %d-bit %s: '%s' at %u, the field before ends at %u\n", w64 ? 64 : 32,
                 l->name, l->fields[k].name, fo(&l->fields[k]), at);
          bad++;
        }
        at = fo(&l->fields[k]) + fw(&l->fields[k]);
      }
      if (at != (w64 ? l->size64 : l->size32)) {
        printf("self-test: %d-bit %s: the fields end at %u, the record is %u bytes\n",
               w64 ? 64 : 32, l->name, at, w64 ? l->size64 : l->size32);
        bad++;
      }
    }
  }
  g_w64 = sizeof(void*) == 8;
  return bad;
}

typedef struct {
  const char* what;
  int gauge;   /* -1: the module table */
  int element; /* depth, or -1 */
  int row;     /* mouse row, or -1 */
  const Field* field;
} MoveCase;

static int self_test(void) {
  int bad = check_tiling();
  printf("self-test: %d-bit references; the offset tables tile their records in both widths%s\n",
         g_w64 ? 64 : 32, bad ? ": NO" : "");
#ifdef _WIN32
  g_module_base = GetModuleHandleA(NULL);
#else
  {
    Dl_info info;
    uintptr_t r = routine_ref();
    if (!dladdr((const void*)r, &info)) return 2;
    g_module_base = info.dli_fbase;
  }
#endif
  uintptr_t linkage, import;
  build_image(&linkage, &import);
  printf("self-test: the records built as the tables say:\n");
  int failures = check_records(linkage, import);
  printf("self-test: %s (%d checks, %d mismatches)\n",
         failures ? "FAILED, expected to pass" : "passed", g_checks, failures);
  if (failures) bad++;
  free_image();

  const MoveCase cases[] = {
      {"gauge record of ALIGN", G_ALIGN, -1, -1, &kGauge[GR_WIDTH]},
      {"gauge record of INS", G_INS, -1, -1, &kGauge[GR_SERVICE]},
      {"INS right display", G_INS, D_RIGHT, -1, &kText[TX_CHARS]},
      {"INS left display", G_INS, D_LEFT, -1, &kText[TX_WEIGHT]},
      {"INS thumbwheel units", G_INS, D_UNITS, -1, &kMoving[MI_YMAX]},
      {"INSicon_03 image", 4 + 8 + 2, 0, -1, &kHeader[EH_FLAGS]},
      {"ALIGN mode knob", G_ALIGN, A_KNOB, -1, &kIcon[IC_IMAGES]},
      {"INS mouse row of SET", G_INS, -1, 5, &kRow[MR_FLAGS]},
      {"INSicon1024_02 mouse row", 4 + 1, -1, 2, &kRow[MR_EVENT]},
      {"module table", -1, -1, -1, &kModule[MT_VERSION]},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
    const MoveCase* c = &cases[i];
    build_image(&linkage, &import);
    unsigned char* rec = c->gauge < 0      ? g_img_module
                         : c->element >= 0 ? g_img_elem[c->gauge][c->element]
                         : c->row >= 0     ? g_img_rows[c->gauge] + (size_t)c->row * ROW_SIZE
                                           : g_img_gauge[c->gauge];
    unsigned off = fo(c->field), w = fw(c->field);
    memmove(rec + off + 4, rec + off, w);
    memset(rec + off, 0, 4);
    g_quiet = 1;
    g_watch_field = c->field->name;
    g_watch_gauge = c->gauge;
    g_watch_hits = 0;
    g_watch_report[0] = 0;
    int n = check_records(linkage, import);
    g_quiet = 0;
    g_watch_field = NULL;
    int caught = n > 0 && g_watch_hits > 0;
    printf("self-test: '%s' of %s moved by 4 bytes: %s (%d mismatches)\n", c->field->name, c->what,
           caught ? "caught" : "NOT CAUGHT", n);
    if (caught) printf("    %s\n", g_watch_report);
    if (!caught) bad++;
    free_image();
  }
  printf("self-test: %s\n", bad ? "FAIL" : "PASS");
  return bad ? 1 : 0;
}

/* ---------------------------------------------------------------------------------------------
 * Loading the module, the working folder, crashes. */

#ifdef _WIN32
static LONG WINAPI on_crash(EXCEPTION_POINTERS* e) {
  printf("CRASH (exception 0x%08lX) while %s\nindependent loader: FAIL\n",
         (unsigned long)e->ExceptionRecord->ExceptionCode, g_activity);
  fflush(stdout);
  ExitProcess(1);
  return EXCEPTION_EXECUTE_HANDLER;
}
static void catch_crashes(void) {
  SetUnhandledExceptionFilter(on_crash);
}

static int load_module(const char* path, uintptr_t* linkage, uintptr_t* import) {
  char full[MAX_PATH];
  if (!GetFullPathNameA(path, sizeof full, full, NULL)) return 0;
  HMODULE m = LoadLibraryA(full);
  if (!m) {
    printf("cannot load %s (error %lu)\n", full, (unsigned long)GetLastError());
    return 0;
  }
  FARPROC l = GetProcAddress(m, "Linkage"), i = GetProcAddress(m, "ImportTable");
  if (!l || !i) {
    printf("%s exports no %s\n", full, l ? "ImportTable" : "Linkage");
    return 0;
  }
  memcpy(linkage, &l, sizeof *linkage);
  memcpy(import, &i, sizeof *import);
  g_module_base = m;
  return 1;
}

static char g_home[MAX_PATH], g_work[MAX_PATH];
static int enter_work_folder(void) {
  char tmp[MAX_PATH];
  if (!GetCurrentDirectoryA(sizeof g_home, g_home) || !GetTempPathA(sizeof tmp, tmp)) return 0;
  snprintf(g_work, sizeof g_work, "%sins-loader-%lu-%lu", tmp, (unsigned long)GetCurrentProcessId(),
           (unsigned long)GetTickCount());
  return CreateDirectoryA(g_work, NULL) && SetCurrentDirectoryA(g_work);
}
/* After a failure the waypoint file stays for a look; an empty folder goes in any case. */
static int leave_work_folder(int keep_files) {
  if (!keep_files) remove("WAYPOINTS.DAT");
  return SetCurrentDirectoryA(g_home) && RemoveDirectoryA(g_work);
}
#else
static void on_crash(int sig) {
  char msg[320];
  int n = snprintf(msg, sizeof msg, "CRASH (signal %d) while %s\nindependent loader: FAIL\n", sig,
                   g_activity);
  if (write(1, msg, (size_t)n) < 0) _exit(1);
  _exit(1);
}
static void catch_crashes(void) {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_crash;
  sigaction(SIGSEGV, &sa, NULL);
  sigaction(SIGBUS, &sa, NULL);
  sigaction(SIGILL, &sa, NULL);
  sigaction(SIGFPE, &sa, NULL);
}

static int load_module(const char* path, uintptr_t* linkage, uintptr_t* import) {
  char full[4096];
  if (!realpath(path, full)) {
    printf("no module at %s\n", path);
    return 0;
  }
  void* m = dlopen(full, RTLD_NOW | RTLD_LOCAL);
  if (!m) {
    printf("cannot load %s: %s\n", full, dlerror());
    return 0;
  }
  void* l = dlsym(m, "Linkage");
  void* i = dlsym(m, "ImportTable");
  Dl_info info;
  if (!l || !i || !dladdr(l, &info)) {
    printf("%s exports no %s\n", full, l ? "ImportTable" : "Linkage");
    return 0;
  }
  *linkage = (uintptr_t)l;
  *import = (uintptr_t)i;
  g_module_base = info.dli_fbase;
  return 1;
}

static char g_home[4096], g_work[4096];
static int enter_work_folder(void) {
  const char* tmp = getenv("TMPDIR");
  if (!getcwd(g_home, sizeof g_home)) return 0;
  snprintf(g_work, sizeof g_work, "%s/ins-loader-XXXXXX", tmp && *tmp ? tmp : "/tmp");
  return mkdtemp(g_work) && chdir(g_work) == 0;
}
/* After a failure the waypoint file stays for a look; an empty folder goes in any case. */
static int leave_work_folder(int keep_files) {
  if (!keep_files) remove("WAYPOINTS.DAT");
  return chdir(g_home) == 0 && rmdir(g_work) == 0;
}
#endif

int main(int argc, char** argv) {
  setvbuf(stdout, NULL, _IONBF, 0);
  g_w64 = sizeof(void*) == 8;
  build_expectations();
  if (argc == 2 && strcmp(argv[1], "--self-test") == 0) return self_test();
  if (argc != 2) {
    printf("usage: independent_loader MODULE | --self-test\n");
    return 2;
  }
  catch_crashes();
  uintptr_t linkage, import;
  printf("independent loader: %s, %d-bit references\n", argv[1], g_w64 ? 64 : 32);
  if (!load_module(argv[1], &linkage, &import)) {
    printf("independent loader: FAIL\n");
    return 1;
  }
  if (!enter_work_folder()) {
    printf("cannot make a working folder\nindependent loader: FAIL\n");
    return 1;
  }
  printf("working folder: %s\n", g_work);
  snprintf(g_activity, sizeof g_activity, "reading the records");
  int failures = check_records(linkage, import);
  if (failures)
    printf("session: not run: the records do not follow the simulator's panel interface\n");
  else
    failures += run_session(import);
  if (!leave_work_folder(failures != 0)) printf("the working folder stays: %s\n", g_work);
  printf("independent loader: %s (%d checks, %d failed)\n", failures ? "FAIL" : "PASS", g_checks,
         failures);
  return failures ? 1 : 0;
}
