#include "module/activation.h"

#include "module/mixer_instance.h"
#include "module/saved_services.h"
#include "persist/settings_record.h"
#include "process/frame_pass.h"

SavedServices gSavedServices = {nullptr, nullptr, nullptr};

int32_t activateHandler(int32_t version, GlobalLookup lookup, void *local, void * /*serverData*/) {
    if (version != KIVO_SERVER_VERSION) return AFUNC_BADVERSION;

    // The table is filled before the lookups, so a failed lookup leaves it filled.
    auto *table = static_cast<HandlerTable *>(local);
    table->create = createInstance;
    table->destroy = destroyInstance;
    table->copy = copyInstance;
    table->load = loadInstance;
    table->save = saveInstance;
    table->process = processFrame;
    table->flags = instanceFlags;
    table->describe = describeInstance;

    gSavedServices.itemInfo = static_cast<const ItemInfoService *>(lookup("LW Item Info", 0));
    if (gSavedServices.itemInfo == nullptr) return AFUNC_BADGLOBAL;
    gSavedServices.messages = static_cast<const MessageService *>(lookup("Info Messages", 0));
    if (gSavedServices.messages == nullptr) return AFUNC_BADGLOBAL;

    gSavedServices.lookup = lookup;
    return AFUNC_OK;
}
