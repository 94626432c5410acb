#pragma once

#include <cstdint>

// A launched server's output on its way into its session log: what arrives on `input` is appended to `log`, and
// once the file would grow past `capBytes` its older half is dropped, cut at a line's start, so a server that
// writes for days keeps at most `capBytes` on disk and its newest output stays readable. A failed write drops
// that piece and goes on reading, so the server never blocks on its own output. Returns when `input` ends.
// `log` must be open for reading and writing, at its end. Plain POSIX: it runs in a process of its own.
namespace CappedLog {

inline constexpr std::uint64_t defaultCapBytes = 32ull * 1024 * 1024;

void copy(int input, int log, std::uint64_t capBytes);

} // namespace CappedLog
