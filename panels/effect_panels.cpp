#include "panels/effect_panels.h"

#include "module/mixer_instance.h"
#include "panels/choice_lists.h"
#include "panels/panel_context.h"
#include "panels/panel_controls.h"
#include "panels/panel_exchange.h"

namespace {
const ControlRow kColourControl = {ControlKind::ColourTriple, KIVO_FIELD(mixRed), nullptr};

const ControlRow kFilmControls[] = {
    {ControlKind::Choice, KIVO_FIELD(filmQuality), kFilmQualityItems},
    {ControlKind::CheckBox, KIVO_FIELD(sprocketJump), nullptr},
    {ControlKind::CheckBox, KIVO_FIELD(whiteOut), nullptr},
    {ControlKind::CheckBox, KIVO_FIELD(sepia), nullptr},
    {ControlKind::CheckBox, KIVO_FIELD(vignette), nullptr},
    {ControlKind::CheckBox, KIVO_FIELD(outOfFocus), nullptr},
    {ControlKind::Number, KIVO_FIELD(focalDisplacement), nullptr},
};
constexpr int kFilmControlCount = sizeof(kFilmControls) / sizeof(kFilmControls[0]);

// A panel that cannot be created, or whose control cannot be found, is
// skipped: the instance keeps its values.
void editColour(const PanelFunctions *f, MixerInstance &instance) {
    PanelHandle panel = f->createPanel("Set RGB for Mixer", nullptr);
    if (panel == nullptr) return;
    addControl(f, panel, kColourControl);
    PanelControl *control = f->nextPanelControl(panel, nullptr);
    if (control != nullptr) {
        const int32_t shown[3] = {instance.mixRed, instance.mixGreen, instance.mixBlue};
        setControlTriple(control, shown);
        if (f->openPanel(panel, PANEL_OPEN_FLAGS) != 0) {
            control = f->nextPanelControl(panel, nullptr);
            if (control != nullptr) {
                int32_t rgb[3];
                getControlTriple(control, rgb);
                instance.mixRed = rgb[0];
                instance.mixGreen = rgb[1];
                instance.mixBlue = rgb[2];
            }
        }
    }
    f->destroyPanel(panel);
}

void editFilm(const PanelFunctions *f, MixerInstance &instance) {
    PanelHandle panel = f->createPanel("Set B&W Quality", nullptr);
    if (panel == nullptr) return;
    addControls(f, panel, kFilmControls, kFilmControlCount);
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
    case EFFECT_RGB: editColour(f, *context->instance); break;
    case EFFECT_FILM: editFilm(f, *context->instance); break;
    default: break;
    }
    f->drawPanel(context->panel, PANEL_DRAW_MODE);
}
