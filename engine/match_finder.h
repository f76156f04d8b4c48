// engine/match_finder.h -- parses one chunk of text into literal and match tokens for
// the compressor. Matches reach back only inside the chunk, so every chunk decodes on
// its own. The search is bounded (13-bit hash, 384 candidates, 258 bytes) and its
// choices are part of the output format's bytes: the longest match wins, the most
// recent one among equals, with a one-step lazy check for matches of 128 bytes or less.
#pragma once
#include <cstdint>

constexpr int kHashBits = 13;
constexpr int kHashHeads = 1 << kHashBits;  // 8192
constexpr int kMaxChainCandidates = 384;
constexpr int kMaxLazyLength = 128;         // longer matches are taken without a look ahead
constexpr int kMaxChunkForMatcher = 32768;  // positions + 1 fit 16 bits, distances fit deflate

// Memory the parse works in, owned by the caller: `heads` holds kHashHeads entries and
// `links` one entry per chunk byte. Both store position + 1, so 0 means none.
struct MatchTables {
    uint16_t* heads;
    uint16_t* links;
};

// Parses bytes[0..length) (1 <= length <= kMaxChunkForMatcher) into tokens: for a literal
// the byte and distance 0, for a match its length - 3 and its distance (1 or more).
// `litLen` and `distance` need room for `length` tokens. Returns the token count.
int32_t parseChunk(const uint8_t* bytes, int32_t length, const MatchTables& tables,
                   uint8_t* litLen, uint16_t* distance);
