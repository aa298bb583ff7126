#include "BytesAsFile.h"

#include <sys/mman.h>
#include <unistd.h>

bool withBytesAsFile(const uint8_t* data, size_t size,
                     const std::function<void(const std::string& path)>& use) {
    const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    if (written == size)
        use("/proc/self/fd/" + std::to_string(fd));
    close(fd);
    return written == size;
}
