#include "control/cappedlog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace CappedLog {

namespace {

constexpr std::size_t chunkBytes = 64 * 1024;
// How far past the cut a line's start is looked for; a longer line is cut inside.
constexpr std::uint64_t lineSearchBytes = 4096;

ssize_t readSome(int fd, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool writeAllAt(int fd, const char* data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
        offset += n;
    }
    return true;
}

// Moves the newest `keep` bytes (from a line's start where one is near) to the front and cuts the file there.
// Returns the new size, or `size` when the file could not be changed.
std::uint64_t dropOlderPart(int log, std::uint64_t size, std::uint64_t keep, char* buffer)
{
    if (keep >= size)
        return size;
    // The search starts at the byte before the cut, so a cut that already falls at a line's start stays there.
    const std::uint64_t before = size - keep - 1;
    std::uint64_t from = size - keep;
    const ssize_t probe =
        ::pread(log, buffer, std::size_t(std::min<std::uint64_t>(lineSearchBytes, keep + 1)), off_t(before));
    if (probe > 0) {
        if (const void* newline = std::memchr(buffer, '\n', std::size_t(probe)))
            from = before + std::uint64_t(static_cast<const char*>(newline) - buffer) + 1;
    }
    std::uint64_t to = 0;
    for (std::uint64_t at = from; at < size;) {
        const ssize_t n = ::pread(log, buffer, std::size_t(std::min<std::uint64_t>(chunkBytes, size - at)), off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !writeAllAt(log, buffer, std::size_t(n), off_t(to)))
            return size;
        at += std::uint64_t(n);
        to += std::uint64_t(n);
    }
    while (::ftruncate(log, off_t(to)) != 0) {
        if (errno != EINTR)
            return size;
    }
    return to;
}

// Appends one piece at `size`, dropping the older part first where the piece would pass the cap. Returns the new
// size.
std::uint64_t appendPiece(int log, std::uint64_t size, const char* start, std::size_t length, std::uint64_t capBytes,
                          char* scratch)
{
    // A piece larger than the cap keeps its newest part.
    if (length > capBytes) {
        start += length - capBytes;
        length = std::size_t(capBytes);
    }
    if (size + length > capBytes)
        size = dropOlderPart(log, size, std::min<std::uint64_t>(capBytes / 2, capBytes - length), scratch);
    return writeAllAt(log, start, length, off_t(size)) ? size + length : size;
}

std::uint64_t sizeOf(int log)
{
    struct stat status
    {
    };
    return ::fstat(log, &status) == 0 ? std::uint64_t(status.st_size) : 0;
}

char scratch[chunkBytes];

} // namespace

bool copy(int input, int log, std::uint64_t capBytes)
{
    static char data[chunkBytes];
    std::uint64_t size = sizeOf(log);
    for (;;) {
        const ssize_t n = readSome(input, data, sizeof data);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        size = appendPiece(log, size, data, std::size_t(n), capBytes, scratch);
    }
}

void appendLine(int log, const char* text, std::uint64_t capBytes)
{
    std::uint64_t size = sizeOf(log);
    char last = '\n';
    if (size > 0 && ::pread(log, &last, 1, off_t(size - 1)) != 1)
        last = '\n';
    std::string line = last == '\n' ? std::string() : std::string("\n");
    line += text;
    line += '\n';
    appendPiece(log, size, line.data(), line.size(), capBytes, scratch);
}

void drain(int input)
{
    char data[4096];
    while (readSome(input, data, sizeof data) > 0) {
    }
}

} // namespace CappedLog
