#pragma once

// A mode button: a click asks for its mode through the action it was given
// (the player's command), so that the worker threads never read a widget.

#include <QPushButton>

#include <functional>

class ButtonActivation : public QPushButton {
    Q_OBJECT

public:
    explicit ButtonActivation(std::function<void()> action);

    const std::function<void()> action;

public slots:
    void activa();
};
