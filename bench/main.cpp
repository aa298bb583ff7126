#include "Bench.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
struct Entry {
    const char* name;
    const char* usage;
    BenchFunction function;
};

std::vector<Entry>& registry() {
    static std::vector<Entry> entries;
    return entries;
}

int usage() {
    std::fprintf(stderr, "usage: tessaro-bench COMMAND [ARGS]\ncommands:\n");
    for (const Entry& e : registry())
        std::fprintf(stderr, "  %s %s\n", e.name, e.usage);
    return 2;
}
} // namespace

BenchRegistration::BenchRegistration(const char* name, const char* usage, BenchFunction function) {
    registry().push_back({name, usage, function});
}

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    for (const Entry& e : registry())
        if (std::strcmp(e.name, argv[1]) == 0)
            return e.function(argc - 1, argv + 1);
    std::fprintf(stderr, "tessaro-bench: unknown command '%s'\n", argv[1]);
    return usage();
}
