// libFuzzer entry: arbitrary bytes through the harness the target is built
// with (TESSARO_FUZZ_HARNESS, see CMakeLists.txt).

#include "ReaderHarness.h"
#include "SoundHarness.h"
#include "StoreHarness.h"
#include "SubtitleHarness.h"

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TESSARO_FUZZ_HARNESS(data, size);
    return 0;
}
