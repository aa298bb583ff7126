#include "ButtonActivation.h"

ButtonActivation::ButtonActivation(std::function<void()> chosen)
    : QPushButton(nullptr), action(std::move(chosen)) {
    connect(this, &QPushButton::clicked, this, &ButtonActivation::activa);
}

void ButtonActivation::activa() {
    if (action)
        action();
}
