#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

mode_t processUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

std::string describe(const std::string& action, const std::string& path) {
    return "cannot " + action + " '" + path + "': " + std::strerror(errno);
}

} // namespace

OutputFile::OutputFile(std::string finalPath) : target(std::move(finalPath)) {}

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::create(std::string* error) {
    const size_t slash = target.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = directory + "." + name + ".part-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        *error = describe("write", target);
        return false;
    }
    // mkstemp makes the file private; the finished file gets the usual mode.
    fchmod(fd, 0666 & ~processUmask());
    close(fd);
    temporary = pattern;
    return true;
}

bool OutputFile::commit(std::string* error) {
    if (temporary.empty()) {
        *error = "cannot write '" + target + "': not created";
        return false;
    }
    const int fd = open(temporary.c_str(), O_RDONLY);
    if (fd < 0 || fsync(fd) != 0) {
        *error = describe("write", target);
        if (fd >= 0)
            close(fd);
        return false;
    }
    close(fd);
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        *error = describe("write", target);
        return false;
    }
    committed = true;
    return true;
}

void OutputFile::discard() {
    if (committed || temporary.empty())
        return;
    unlink(temporary.c_str());
    temporary.clear();
}
