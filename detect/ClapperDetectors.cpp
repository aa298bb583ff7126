#include "ObjectDetector.h"

// Apart from the class so that a program that only uses the class (a test)
// does not load the cascades before its main.
ObjectDetector whiteClapperDetector("claquetasBlancas.xml");
ObjectDetector blackClapperDetector("claquetasNegras.xml");
