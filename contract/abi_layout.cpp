// Compile-time checks that every host record has the host's layout. Built with
// the module on 64-bit targets and, by a test, with -m32 for the 32-bit one.
#include <cstddef>

#include "contract/host_abi.h"
#include "contract/panel_services.h"

#define KIVO_AT(record, field, off32, off64) \
    static_assert(offsetof(record, field) == (sizeof(void *) == 4 ? (off32) : (off64)), \
                  #record "." #field " offset")
#define KIVO_SIZE(record, size32, size64) \
    static_assert(sizeof(record) == (sizeof(void *) == 4 ? (size32) : (size64)), #record " size")

static_assert(sizeof(void *) == 4 || sizeof(void *) == 8, "32-bit or 64-bit target");

KIVO_AT(ModuleDescriptor, syncWord, 0, 0);
KIVO_AT(ModuleDescriptor, systemVersion, 4, 4);
KIVO_AT(ModuleDescriptor, machineWord, 8, 8);
KIVO_AT(ModuleDescriptor, startup, 12, 16);
KIVO_AT(ModuleDescriptor, shutdown, 16, 24);
KIVO_AT(ModuleDescriptor, serverTable, 20, 32);
KIVO_SIZE(ModuleDescriptor, 24, 40);

KIVO_AT(ServerRecord, className, 0, 0);
KIVO_AT(ServerRecord, serverName, 4, 8);
KIVO_AT(ServerRecord, activate, 8, 16);
KIVO_SIZE(ServerRecord, 12, 24);

KIVO_AT(HandlerTable, create, 0, 0);
KIVO_AT(HandlerTable, destroy, 4, 8);
KIVO_AT(HandlerTable, copy, 8, 16);
KIVO_AT(HandlerTable, load, 12, 24);
KIVO_AT(HandlerTable, save, 16, 32);
KIVO_AT(HandlerTable, process, 20, 40);
KIVO_AT(HandlerTable, flags, 24, 48);
KIVO_AT(HandlerTable, describe, 28, 56);
KIVO_SIZE(HandlerTable, 32, 64);

KIVO_AT(ItemInfoService, param, 36, 72);
KIVO_AT(MessageService, error, 4, 8);
KIVO_AT(MessageService, warning, 8, 16);

KIVO_AT(FrameAccess, width, 0, 0);
KIVO_AT(FrameAccess, height, 4, 4);
KIVO_AT(FrameAccess, frame, 8, 8);
KIVO_AT(FrameAccess, time, 16, 16);
KIVO_AT(FrameAccess, unused1, 24, 24);
KIVO_AT(FrameAccess, getLine, 32, 32);
KIVO_AT(FrameAccess, unused2, 36, 40);
KIVO_AT(FrameAccess, setRGB, 40, 48);
KIVO_AT(FrameAccess, setAlpha, 44, 56);
KIVO_AT(FrameAccess, monitor, 48, 64);
KIVO_SIZE(FrameAccess, 56, 72);

KIVO_AT(ProgressMonitor, data, 0, 0);
KIVO_AT(ProgressMonitor, init, 4, 8);
KIVO_AT(ProgressMonitor, step, 8, 16);
KIVO_AT(ProgressMonitor, done, 12, 24);
KIVO_SIZE(ProgressMonitor, 16, 32);

KIVO_AT(LoadState, ioMode, 0, 0);
KIVO_AT(LoadState, readData, 4, 8);
KIVO_AT(LoadState, read, 8, 16);
KIVO_SIZE(LoadState, 12, 24);
KIVO_AT(SaveState, ioMode, 0, 0);
KIVO_AT(SaveState, writeData, 4, 8);
KIVO_AT(SaveState, write, 8, 16);
KIVO_SIZE(SaveState, 12, 24);

KIVO_AT(PanelFunctions, createPanel, 0, 0);
KIVO_AT(PanelFunctions, destroyPanel, 4, 8);
KIVO_AT(PanelFunctions, openPanel, 8, 16);
KIVO_AT(PanelFunctions, drawPanel, 16, 32);
KIVO_AT(PanelFunctions, setPanelAttribute, 28, 56);
KIVO_AT(PanelFunctions, addPanelControl, 32, 64);
KIVO_AT(PanelFunctions, nextPanelControl, 36, 72);
KIVO_SIZE(PanelFunctions, 40, 80);

KIVO_AT(PanelControl, get, 4, 8);
KIVO_AT(PanelControl, set, 8, 16);

KIVO_AT(PanelValue, type, 0, 0);
KIVO_AT(PanelValue, value.intValue, 4, 8);
KIVO_AT(PanelValue, value.rgb[1], 8, 12);
KIVO_AT(PanelValue, value.rgb[2], 12, 16);
KIVO_AT(PanelValue, value.pointer, 4, 8);
KIVO_SIZE(PanelValue, 40, 48);

KIVO_AT(ControlDescriptor, type, 0, 0);
KIVO_AT(ControlDescriptor, word1, 4, 8);
KIVO_AT(ControlDescriptor, word2, 8, 16);
KIVO_AT(ControlDescriptor, word3, 12, 20);
KIVO_AT(ControlDescriptor, word4, 16, 24);
KIVO_SIZE(ControlDescriptor, 20, 32);
