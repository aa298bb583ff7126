#pragma once

// A mode button: a click publishes its mode, so that a group of buttons
// behaves like radio buttons whose state the worker threads read without
// touching a widget, and wakes the worker that acts on it.

#include "SharedControls.h"

#include <QPushButton>

class ButtonActivation : public QPushButton {
    Q_OBJECT

public:
    // The controls are not owned and must outlive the button.
    ButtonActivation(SharedControls& controls, PlayerMode mode);

    SharedControls& controls;
    const PlayerMode mode;

public slots:
    void activa();
};
