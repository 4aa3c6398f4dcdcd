// The three process-wide host pointers that the handler activation saves.
#ifndef KIVO_ENTRY_SAVED_SERVICES_H
#define KIVO_ENTRY_SAVED_SERVICES_H

#include "contract/host_abi.h"

struct SavedServices {
    GlobalLookup lookup;             // replaced only by a successful activation
    const ItemInfoService *itemInfo; // replaced by every activation past the version test
    const MessageService *messages;  // replaced once the item information lookup succeeded
};

// Null when the module is loaded; written only by activateHandler.
extern SavedServices gSavedServices;

#endif
