/* Records and function types shared with the host, in the host's own layout.
 * Plain C so that a host written in C, and the -m32 layout check, can include
 * it. Field order is the host's; 32-bit integers stay 32-bit on every target,
 * addresses and function entries are pointer-sized. */
#ifndef KIVO_CONTRACT_HOST_ABI_H
#define KIVO_CONTRACT_HOST_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Doubles are 8-byte aligned in host records on every target, i386 included. */
#define KIVO_DOUBLE_ALIGN __attribute__((aligned(8)))

enum {
    KIVO_SYNC_WORD = 0x04121994,
    KIVO_SYSTEM_VERSION = 2,
    KIVO_MACHINE_WORD = 0x300,
    KIVO_SERVER_VERSION = 2
};

/* Activation result codes. */
enum { AFUNC_OK = 0, AFUNC_BADVERSION = 1, AFUNC_BADGLOBAL = 2 };

typedef void *(*GlobalLookup)(const char *name, int32_t flags);
typedef int32_t (*ActivateFunction)(int32_t version, GlobalLookup lookup, void *local,
                                    void *serverData);

typedef struct ServerRecord {
    const char *className;
    const char *serverName;
    ActivateFunction activate;
} ServerRecord;

typedef struct ModuleDescriptor {
    uint32_t syncWord;
    int32_t systemVersion;
    uint32_t machineWord;
    void *(*startup)(void);
    void (*shutdown)(void *serverData);
    const ServerRecord *serverTable;
} ModuleDescriptor;

typedef struct LoadState {
    int32_t ioMode; /* not read by the module */
    void *readData;
    int32_t (*read)(void *readData, char *buffer, int32_t length);
} LoadState;

typedef struct SaveState {
    int32_t ioMode; /* not read by the module */
    void *writeData;
    int32_t (*write)(void *writeData, const char *buffer, int32_t length);
} SaveState;

typedef struct ProgressMonitor {
    void *data;
    void (*init)(void *data, int32_t total);
    int32_t (*step)(void *data, int32_t amount);
    void (*done)(void *data);
} ProgressMonitor;

/* Row types of FrameAccess.getLine. */
enum { RTYPE_RED = 32, RTYPE_GREEN = 33, RTYPE_BLUE = 34, RTYPE_ALPHA = 35 };

typedef struct FrameAccess {
    int32_t width;
    int32_t height;
    int32_t frame;
    double time KIVO_DOUBLE_ALIGN;
    uint8_t unused1[8]; /* not read by the module */
    const uint8_t *(*getLine)(int32_t type, int32_t y);
    void *unused2; /* not read by the module */
    void (*setRGB)(int32_t x, int32_t y, const uint8_t rgb[3]);
    void (*setAlpha)(int32_t x, int32_t y, uint8_t alpha);
    ProgressMonitor *monitor;
} FrameAccess;

typedef void *(*CreateFunction)(void *hostData);
typedef void (*DestroyFunction)(void *instance);
typedef int32_t (*CopyFunction)(void *source, void *destination);
typedef int32_t (*LoadFunction)(void *instance, const LoadState *state);
typedef int32_t (*SaveFunction)(void *instance, const SaveState *state);
typedef void (*ProcessFunction)(void *instance, const FrameAccess *access);
typedef int32_t (*FlagsFunction)(void *instance);
typedef const char *(*DescribeFunction)(void *instance);

typedef struct HandlerTable {
    CreateFunction create;
    DestroyFunction destroy;
    CopyFunction copy;
    LoadFunction load;
    SaveFunction save;
    ProcessFunction process;
    FlagsFunction flags;
    DescribeFunction describe;
} HandlerTable;

/* Item information codes used by param. */
enum { ITEM_PARAM_SCALING = 6, ITEM_PARAM_POSITION = 8 };

typedef int32_t (*ItemParamFunction)(int32_t item, int32_t code, double time, double out[3]);

/* "LW Item Info": only the tenth entry, param, is called. */
typedef struct ItemInfoService {
    void *unused[9];
    ItemParamFunction param;
} ItemInfoService;

typedef void (*MessageFunction)(const char *line1, const char *line2);

/* "Info Messages": entry 1 shows an error, entry 2 a warning. */
typedef struct MessageService {
    MessageFunction info; /* not called by the module */
    MessageFunction error;
    MessageFunction warning;
} MessageService;

#ifdef __cplusplus
}
#endif

#endif
