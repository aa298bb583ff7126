#include "Summarize.h"

int main(int argc, char** argv) {
    return summarizeMain(argc, argv);
}
