#include "entry/activation.h"

#include "entry/saved_services.h"
#include "instance/mixer_instance.h"
#include "panels/main_panel.h"
#include "persist/settings_record.h"
#include "process/frame_pass.h"

SavedServices gSavedServices = {nullptr, nullptr, nullptr};

void processHandler(void *instance, const FrameAccess *access) {
    processFrame(instance, access, gSavedServices.itemInfo);
}

int32_t activateHandler(int32_t version, GlobalLookup lookup, void *local, void * /*serverData*/) {
    if (version != KIVO_SERVER_VERSION) return AFUNC_BADVERSION;

    // The table is filled before the lookups, so a failed lookup leaves it filled.
    auto *table = static_cast<HandlerTable *>(local);
    table->create = createInstance;
    table->destroy = destroyInstance;
    table->copy = copyInstance;
    table->load = loadInstance;
    table->save = saveInstance;
    table->process = processHandler;
    table->flags = instanceFlags;
    table->describe = describeInstance;

    gSavedServices.itemInfo = static_cast<const ItemInfoService *>(lookup("LW Item Info", 0));
    if (gSavedServices.itemInfo == nullptr) return AFUNC_BADGLOBAL;
    gSavedServices.messages = static_cast<const MessageService *>(lookup("Info Messages", 0));
    if (gSavedServices.messages == nullptr) return AFUNC_BADGLOBAL;

    gSavedServices.lookup = lookup;
    return AFUNC_OK;
}

int32_t activateInterface(int32_t /*version*/, GlobalLookup /*lookup*/, void *local, void * /*serverData*/) {
    // The panels use the services the handler's activation saved, not the
    // lookup handed to this activation.
    return editInstanceSettings(local, gSavedServices.lookup, gSavedServices.messages);
}
