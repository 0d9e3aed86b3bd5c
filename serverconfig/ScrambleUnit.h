// Record scrambling of the binary store files (all but domains.cfg).
//
// Byte i of a block is XORed with key[(i + phase) mod 16], phase being the byte's position in
// its file modulo 16. Applying it twice gives the plain bytes back.
//
// Scramble-write: scramble the buffer, write it, scramble it again (the caller's buffer is
// plain afterwards). Scramble-read: scramble the buffer, read into it, scramble it again: the
// bytes the read filled become plain and the bytes past the end of a shorter (older) file keep
// what the buffer held, which is how a record that grew keeps its in-memory tail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kScrambleKeyLength = 16;

void ScrambleBlock(void* buffer, std::size_t length, std::size_t phase);

// The bytes the scramble-write rule puts into the file for this plain buffer.
std::string ScrambledImage(const void* buffer, std::size_t length, std::size_t phase);

// Scramble-read of fileBytes (what the read delivered, at most length) into buffer.
void ScrambleReadInto(void* buffer, std::size_t length, std::size_t phase,
                      const std::string& fileBytes);
