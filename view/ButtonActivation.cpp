#include "ButtonActivation.h"

ButtonActivation::ButtonActivation(SharedControls& shared, PlayerMode chosen)
    : QPushButton(nullptr), controls(shared), mode(chosen) {}

void ButtonActivation::activa() {
    controls.setMode(mode);
}
