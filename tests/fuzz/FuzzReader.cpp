// libFuzzer entry: arbitrary bytes through the reader and the summary.

#include "ReaderHarness.h"

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runReaderHarness(data, size);
    return 0;
}
