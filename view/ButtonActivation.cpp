#include "ButtonActivation.h"

ButtonActivation::ButtonActivation(std::atomic<bool>* set, std::atomic<bool>* clear1,
                                   std::atomic<bool>* clear2, std::atomic<bool>* clear3)
    : QPushButton(nullptr), flagToSet(set), flagsToClear{clear1, clear2, clear3} {}

void ButtonActivation::activa() {
    if (flagToSet != nullptr) {
        flagToSet->store(true);
    }
    for (std::atomic<bool>* flag : flagsToClear) {
        if (flag != nullptr) {
            flag->store(false);
        }
    }
}
