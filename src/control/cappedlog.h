#pragma once

#include <cstddef>
#include <cstdint>

// A launched server's output on its way into its session log: what arrives on `input` is appended to `log`, and
// once the file would grow past `capBytes` its older half is dropped, cut at a line's start, so a server that
// writes for days keeps at most `capBytes` on disk and its newest output stays readable. A failed write drops
// that piece and goes on reading, so the server never blocks on its own output.
// `log` must be open for reading and writing, at its end. Plain POSIX: it runs in a process of its own.
namespace CappedLog {

inline constexpr std::uint64_t defaultCapBytes = 32ull * 1024 * 1024;

// The last line of a log whose copy ended while the server could still write: what the server writes after it is
// read and dropped, so the server runs on.
inline constexpr char endedLine[] = "Log ended: the log writer stopped, later output is not captured";

// Copies until `input` ends (true) or cannot be read (false).
bool copy(int input, int log, std::uint64_t capBytes);

// Appends `text` as a line of its own (after a line feed where the log does not end with one), within the cap.
void appendLine(int log, const char* text, std::uint64_t capBytes);

// Reads `input` to its end and keeps nothing.
void drain(int input);

} // namespace CappedLog
