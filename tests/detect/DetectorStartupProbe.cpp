// Starts and stops: what a run of this program shows is what the clapperboard
// detectors do before and after main.

#include "ObjectDetector.h"

#include <cstdio>

int main() {
    std::printf("main reached: white %s, black %s\n",
                whiteClapperDetector.cascade.empty() ? "empty" : "loaded",
                blackClapperDetector.cascade.empty() ? "empty" : "loaded");
    return 0;
}
