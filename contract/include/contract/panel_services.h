/* The panel services of the host's panels plug-in ("LWPanelServices"), as the
 * module uses them. Plain C, host layout. */
#ifndef KIVO_CONTRACT_PANEL_SERVICES_H
#define KIVO_CONTRACT_PANEL_SERVICES_H

#include <stdint.h>

#include "contract/host_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KIVO_PANEL_SERVICES_NAME "LWPanelServices"

/* ValueType codes. */
enum {
    VALUE_INTEGER = 2,
    VALUE_INTEGER_TRIPLE = 5,
    VALUE_BOOLEAN = 8,
    VALUE_CHOICE = 9,
    VALUE_SCENE_ITEM = 16
};

/* ControlTag codes. */
enum {
    CTAG_X = 0,
    CTAG_Y = 1,
    CTAG_HEIGHT = 3,
    CTAG_VALUE = 4,
    CTAG_LABEL_WIDTH = 9,
    CTAG_EVENT = 14,
    CTAG_USER_DATA = 16
};

/* PanelTag codes. */
enum { PTAG_HEIGHT = 3 };

/* openPanel flags and drawPanel mode the module passes. */
enum { PANEL_OPEN_FLAGS = 3, PANEL_DRAW_MODE = 3 };

typedef struct PanelControl PanelControl;
typedef void (*ControlEventFunction)(PanelControl *control, void *userData);

/* Value words of a PanelValue: one integer, a colour triple, or a pointer
 * (event callback or user data). The host may write anywhere in it. */
typedef union PanelValueWords {
    int32_t words[9];
    int32_t intValue;
    int32_t rgb[3];
    void *pointer;
    ControlEventFunction event;
} PanelValueWords;

typedef struct PanelValue {
    int32_t type;
    PanelValueWords value;
} PanelValue;

/* Word 1 is the choice list for choices, the GlobalLookup for scene items. */
typedef union ControlDescriptorWord1 {
    const char *const *items;
    GlobalLookup lookup;
    void *pointer;
} ControlDescriptorWord1;

typedef struct ControlDescriptor {
    int32_t type;
    ControlDescriptorWord1 word1;
    int32_t word2;
    int32_t word3;
    int32_t word4;
} ControlDescriptor;

typedef void (*ControlAttributeFunction)(PanelControl *control, int32_t tag, PanelValue *value);

/* A control: three function entries; the host may keep more after them. */
struct PanelControl {
    void *entry0; /* not called by the module */
    ControlAttributeFunction get;
    ControlAttributeFunction set;
};

typedef void *PanelHandle;

typedef struct PanelFunctions {
    PanelHandle (*createPanel)(const char *title, void *zero);
    void (*destroyPanel)(PanelHandle panel);
    int32_t (*openPanel)(PanelHandle panel, int32_t flags);
    void *unused3;
    void (*drawPanel)(PanelHandle panel, int32_t mode);
    void *unused5;
    void *unused6;
    void (*setPanelAttribute)(PanelHandle panel, int32_t tag, const int32_t *value);
    PanelControl *(*addPanelControl)(PanelHandle panel, const char *typeName,
                                     ControlDescriptor *desc, const char *label);
    PanelControl *(*nextPanelControl)(PanelHandle panel, PanelControl *control);
} PanelFunctions;

#ifdef __cplusplus
}
#endif

#endif
