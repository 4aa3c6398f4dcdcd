#include "panels/effect_panels.h"

#include "instance/mixer_instance.h"
#include "instance/settings_table.h"
#include "panels/panel_context.h"
#include "panels/panel_controls.h"
#include "panels/panel_exchange.h"

namespace {
constexpr ControlRow kColourControl = groupControl(kMixColour);
constexpr int kColourSize = groupSize(GroupKind::Colour);
constexpr GroupFields<kColourSize> kColourFields = groupFields<kColourSize>(kMixColour);

constexpr ControlRow kFilmControls[] = {
    controlOf(&MixerInstance::filmQuality), controlOf(&MixerInstance::sprocketJump),
    controlOf(&MixerInstance::whiteOut),    controlOf(&MixerInstance::sepia),
    controlOf(&MixerInstance::vignette),    controlOf(&MixerInstance::outOfFocus),
    controlOf(&MixerInstance::focalDisplacement),
};
constexpr int kFilmControlCount = sizeof(kFilmControls) / sizeof(kFilmControls[0]);

// A panel that cannot be created, or whose control cannot be found, is
// skipped: the instance keeps its values.
void editColour(const PanelFunctions *f, MixerInstance &instance, GlobalLookup lookup) {
    PanelHandle panel = f->createPanel("Set RGB for Mixer", nullptr);
    if (panel == nullptr) return;
    addControl(f, panel, kColourControl, lookup);
    PanelControl *control = f->nextPanelControl(panel, nullptr);
    if (control != nullptr) {
        int32_t colour[kColourSize];
        for (int i = 0; i < kColourSize; ++i) colour[i] = instance.*kColourFields.field[i];
        setControlTriple(control, colour);
        if (f->openPanel(panel, PANEL_OPEN_FLAGS) != 0) {
            control = f->nextPanelControl(panel, nullptr);
            if (control != nullptr) {
                getControlTriple(control, colour);
                for (int i = 0; i < kColourSize; ++i) instance.*kColourFields.field[i] = colour[i];
            }
        }
    }
    f->destroyPanel(panel);
}

void editFilm(const PanelFunctions *f, MixerInstance &instance, GlobalLookup lookup) {
    PanelHandle panel = f->createPanel("Set B&W Quality", nullptr);
    if (panel == nullptr) return;
    addControls(f, panel, kFilmControls, kFilmControlCount, lookup);
    if (showFields(f, panel, kFilmControls, kFilmControlCount, instance) &&
        f->openPanel(panel, PANEL_OPEN_FLAGS) != 0)
        storeFields(f, panel, kFilmControls, kFilmControlCount, instance);
    f->destroyPanel(panel);
}
} // namespace

void onEffectChoice(PanelControl *control, void *userData) {
    auto *context = static_cast<PanelContext *>(userData);
    if (context == nullptr || control == nullptr) return;
    const PanelFunctions *f = context->functions;

    // The chosen look is the control's value; the instance's effect changes
    // only when the main panel is accepted.
    switch (getControlInt(control, CTAG_VALUE)) {
    case EFFECT_RGB: editColour(f, *context->instance, context->lookup); break;
    case EFFECT_FILM: editFilm(f, *context->instance, context->lookup); break;
    default: break;
    }
    f->drawPanel(context->panel, PANEL_DRAW_MODE);
}
