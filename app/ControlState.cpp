#include "ControlState.h"

ControlState& controlState() {
    static ControlState state;
    return state;
}
