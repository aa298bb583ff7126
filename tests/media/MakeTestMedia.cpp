// Makes the whole test-media set; CTest runs it before the tests that use it.
#include "TestMedia.h"

#include <cstdio>

int main() {
    std::printf("%s\n", testMedia("").c_str());
    return 0;
}
