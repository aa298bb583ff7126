#pragma once

// A mode button: a click sets one flag and then clears up to three others, so
// that a group of buttons behaves like radio buttons whose state the worker
// threads read without touching a widget.

#include <QPushButton>

#include <array>
#include <atomic>

class ButtonActivation : public QPushButton {
    Q_OBJECT

public:
    // Any pointer may be null. The flags are not owned and must outlive the button.
    ButtonActivation(std::atomic<bool>* flagToSet, std::atomic<bool>* flagToClear1,
                     std::atomic<bool>* flagToClear2, std::atomic<bool>* flagToClear3);

    std::atomic<bool>* const flagToSet;
    const std::array<std::atomic<bool>*, 3> flagsToClear;

public slots:
    // Sets flagToSet, then clears the others in order, one store at a time.
    void activa();
};
