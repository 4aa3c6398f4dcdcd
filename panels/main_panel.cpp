#include "panels/main_panel.h"

#include <cstdlib>

#include "instance/mixer_instance.h"
#include "instance/settings_table.h"
#include "panels/effect_panels.h"
#include "panels/panel_context.h"
#include "panels/panel_controls.h"
#include "panels/panel_exchange.h"

namespace {
constexpr char kMainPanelTitle[] = "Kivo Video Effects Mixer - Shareware v.1.2b";

// In the order added; grain height comes before grain width.
constexpr ControlRow kMainControls[] = {
    controlOf(&MixerInstance::grainHeight), controlOf(&MixerInstance::grainWidth),
    controlOf(&MixerInstance::controlItem), controlOf(&MixerInstance::fadeChannel),
    controlOf(&MixerInstance::fadeAxis),    controlOf(&MixerInstance::fadeDivisor),
    controlOf(&MixerInstance::allowNegatives), controlOf(&MixerInstance::effect),
};
constexpr int kMainControlCount = sizeof(kMainControls) / sizeof(kMainControls[0]);
constexpr int kEffectChoice = kMainControlCount - 1;

// A missing message service skips the message, nothing else.
void showError(const MessageService *messages, const char *line1, const char *line2) {
    if (messages != nullptr && messages->error != nullptr) messages->error(line1, line2);
}

void showWarning(const MessageService *messages, const char *line1, const char *line2) {
    if (messages != nullptr && messages->warning != nullptr) messages->warning(line1, line2);
}

// The widest label of all controls; the number of controls walked.
int32_t widestLabel(const PanelFunctions *f, PanelHandle panel, int *controlCount) {
    int32_t widest = 0;
    int count = 0;
    for (PanelControl *c = f->nextPanelControl(panel, nullptr); c != nullptr; c = f->nextPanelControl(panel, c)) {
        const int32_t width = getControlInt(c, CTAG_LABEL_WIDTH);
        if (width > widest) widest = width;
        ++count;
    }
    *controlCount = count;
    return widest;
}

// Shows the instance's values and aligns the labels' right edges; each
// control keeps its vertical place. Attaches the callback to the effect
// choice once its value is set, and sizes the panel to end below it.
bool layOutMainPanel(PanelContext &context, int32_t widest) {
    const PanelFunctions *f = context.functions;
    PanelControl *control = nullptr;
    for (int i = 0; i < kMainControlCount; ++i) {
        control = f->nextPanelControl(context.panel, control);
        if (control == nullptr) return false;
        setControlInt(control, CTAG_VALUE, context.instance->*kMainControls[i].setting->field);
        const int32_t y = getControlInt(control, CTAG_Y);
        const int32_t labelWidth = getControlInt(control, CTAG_LABEL_WIDTH);
        setControlInt(control, CTAG_X, widest - labelWidth);
        setControlInt(control, CTAG_Y, y);
        if (i == kEffectChoice) {
            setControlEvent(control, onEffectChoice);
            setControlPointer(control, CTAG_USER_DATA, &context);
            const int32_t height = y + 3 * getControlInt(control, CTAG_HEIGHT);
            f->setPanelAttribute(context.panel, PTAG_HEIGHT, &height);
        }
    }
    return true;
}

void storeMainPanel(const PanelContext &context) {
    const PanelFunctions *f = context.functions;
    MixerInstance &instance = *context.instance;
    PanelControl *control = nullptr;
    for (int i = 0; i < kMainControlCount; ++i) {
        control = f->nextPanelControl(context.panel, control);
        if (control == nullptr) return;
        const SettingInfo &setting = *kMainControls[i].setting;
        int32_t value = getControlInt(control, CTAG_VALUE);
        // The divisor is the one number the panel keeps within its range.
        if (setting.field == &MixerInstance::fadeDivisor && value < setting.facts.minimum) value = setting.facts.minimum;
        instance.*setting.field = value;
        if (setting.field == &MixerInstance::controlItem && value == 0)
            showWarning(context.messages, "You have not specified a control object.", "No effect will be present");
    }
}

int32_t editInstance(PanelContext &context) {
    // The saved lookup is null until a handler activation has succeeded.
    GlobalLookup lookup = context.lookup;
    const void *services = lookup != nullptr ? lookup(KIVO_PANEL_SERVICES_NAME, 0) : nullptr;
    if (services == nullptr) {
        showError(context.messages, "Unable to activate globalLWPanelServices", "   Please add plugin lwpanels.p");
        return AFUNC_BADGLOBAL;
    }
    context.functions = static_cast<const PanelFunctions *>(services);
    const PanelFunctions *f = context.functions;
    context.panel = f->createPanel(kMainPanelTitle, nullptr);
    if (context.panel == nullptr) return AFUNC_BADGLOBAL;

    addControls(f, context.panel, kMainControls, kMainControlCount, context.lookup);
    int controlCount = 0;
    const int32_t widest = widestLabel(f, context.panel, &controlCount);
    // A panel that lost a control cannot be edited: close it untouched.
    const bool complete = controlCount >= kMainControlCount && layOutMainPanel(context, widest);
    if (!complete) {
        f->destroyPanel(context.panel);
        return AFUNC_BADGLOBAL;
    }
    if (f->openPanel(context.panel, PANEL_OPEN_FLAGS) != 0) storeMainPanel(context);
    f->destroyPanel(context.panel);
    return AFUNC_OK;
}
} // namespace

int32_t editInstanceSettings(void *local, GlobalLookup savedLookup, const MessageService *messages) {
    if (local == nullptr) return AFUNC_BADGLOBAL;
    auto *context = static_cast<PanelContext *>(std::malloc(sizeof(PanelContext)));
    if (context == nullptr) return AFUNC_BADGLOBAL;
    *context = PanelContext{nullptr, nullptr, static_cast<MixerInstance *>(local), savedLookup, messages};
    const int32_t result = editInstance(*context);
    std::free(context);
    return result;
}
