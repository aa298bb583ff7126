#include "TestMedia.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

std::string testMedia(const std::string& name) {
    static std::once_flag made;
    std::call_once(made, [] {
        const std::string command =
            std::string("'") + TESSARO_MAKE_TEST_MEDIA + "' '" + TESSARO_TEST_MEDIA_DIR + "'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "testMedia: %s failed\n", command.c_str());
    });
    return std::string(TESSARO_TEST_MEDIA_DIR) + "/" + name;
}
