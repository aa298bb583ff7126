#include "FrameBuffer.h"
