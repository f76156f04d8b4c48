// engine/match_finder.cpp -- see match_finder.h. This is the compressor's hot loop, so
// every position is searched at most once (the one-step look-ahead's search is also the
// next position's), in one place the compiler can inline, and matches are measured
// eight bytes at a time. None of that changes a token: the same candidates are
// examined in the same order.
#include "engine/match_finder.h"

#include <bit>
#include <cstring>

#include "engine/deflate_tables.h"

static inline int hashAt(const uint8_t* bytes, int32_t position) {
    return ((((bytes[position] & 127) << 3) ^ bytes[position + 1]) << 3) ^ bytes[position + 2];
}

static inline void insertPosition(int32_t position, int hash, const MatchTables& t) {
    t.links[position] = t.heads[hash];  // heads were cleared, so 0 stays "none"
    t.heads[hash] = static_cast<uint16_t>(position + 1);
}

static inline uint64_t load64(const uint8_t* bytes) {
    uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// How many leading bytes of `a` and `b` agree, at most `limit`.
static inline int32_t commonLength(const uint8_t* a, const uint8_t* b, int32_t limit) {
    int32_t matched = 0;
    // Whole words only while eight bytes remain below the limit, so neither side is ever
    // read past its `limit` bytes; the bytes after the last whole word go one by one.
    while (matched + 8 <= limit) {
        const uint64_t difference = load64(a + matched) ^ load64(b + matched);
        if (difference != 0) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(difference)
                                                                      : std::countl_zero(difference);
            return matched + bit / 8;
        }
        matched += 8;
    }
    while (matched < limit && a[matched] == b[matched]) ++matched;
    return matched;
}

// The longest match for `position` (whose hash is `hash`) among at most 384 chain
// candidates, or 0 when no candidate shares its first three bytes. `matchStart` gets
// the winner's position. A candidate that is not longer than the best so far is passed
// over, so a tie keeps the earlier (more recent) one.
static int32_t longestMatch(const uint8_t* bytes, int32_t length, int32_t position, int hash,
                            const MatchTables& t, int32_t& matchStart) {
    const int32_t remaining = length - position;
    const int32_t limit = remaining < kMaxMatch ? remaining : kMaxMatch;
    const uint8_t* here = bytes + position;
    int32_t best = 0;
    int32_t candidate = t.heads[hash];
    int examined = 0;
    if (limit >= 8) {
        // Eight bytes can be read at both ends (a candidate lies before `position`), so
        // the first eight are compared as one word: most candidates end inside it, and
        // their length then comes without a data-dependent branch per byte.
        const uint64_t hereWord = load64(here);
        for (; candidate != 0 && examined < kMaxChainCandidates; ++examined) {
            const int32_t start = candidate - 1;
            candidate = t.links[start];
            const uint8_t* there = bytes + start;
            const uint64_t difference = load64(there) ^ hereWord;
            int32_t matched;
            if (difference != 0) {
                const int bit = std::endian::native == std::endian::little ? std::countr_zero(difference)
                                                                          : std::countl_zero(difference);
                matched = bit / 8;
            } else {
                // Differing at the best length, it cannot beat the best.
                if (best > 8 && there[best] != here[best]) continue;
                matched = 8 + commonLength(there + 8, here + 8, limit - 8);
            }
            if (matched > best && matched >= kMinMatch) {
                best = matched;
                matchStart = start;
                if (best == limit) break;  // nothing later can be longer
            }
        }
        return best;
    }
    for (; candidate != 0 && examined < kMaxChainCandidates; ++examined) {
        const int32_t start = candidate - 1;
        candidate = t.links[start];
        const int32_t matched = commonLength(bytes + start, here, limit);
        if (matched > best && matched >= kMinMatch) {
            best = matched;
            matchStart = start;
            if (best == limit) break;
        }
    }
    return best;
}

int32_t parseChunk(const uint8_t* bytes, int32_t length, const MatchTables& tables,
                   uint8_t* litLen, uint16_t* distance) {
    // Links need no clearing: a chain only reaches positions already inserted, and
    // inserting a position writes its link.
    std::memset(tables.heads, 0, sizeof(uint16_t) * kHashHeads);
    int32_t tokens = 0;
    // A match of 128 bytes or less found at position - 1, held while the search at
    // `position` looks for a longer one: its length (0 = none) and start.
    int32_t heldLength = 0;
    int32_t heldStart = 0;
    int32_t position = 0;
    // Each position that is searched is searched once, in one place, before it joins the
    // chains; the positions inside a taken match only join them.
    while (position < length - 2) {
        const int hash = hashAt(bytes, position);
        int32_t matchStart = 0;
        const int32_t matched = longestMatch(bytes, length, position, hash, tables, matchStart);
        insertPosition(position, hash, tables);
        if (heldLength != 0) {
            if (matched <= heldLength) {
                // The held match stands. Its second position has just joined the chains.
                const int32_t first = position - 1;
                litLen[tokens] = static_cast<uint8_t>(heldLength - kMinMatch);
                distance[tokens++] = static_cast<uint16_t>(first - heldStart);
                const int32_t inserted = heldLength < length - 2 - first ? heldLength : length - 2 - first;
                for (int32_t i = 2; i < inserted; ++i)
                    insertPosition(first + i, hashAt(bytes, first + i), tables);
                position = first + heldLength;
                heldLength = 0;
                continue;
            }
            // A longer match one byte later: the held one's first byte goes as a literal.
            litLen[tokens] = bytes[position - 1];
            distance[tokens++] = 0;
            heldLength = 0;
        }
        if (matched == 0) {
            litLen[tokens] = bytes[position];
            distance[tokens++] = 0;
            ++position;
            continue;
        }
        // Held for a look at the next position, if it still has three bytes to hash.
        if (matched <= kMaxLazyLength && position + 1 < length - 2) {
            heldLength = matched;
            heldStart = matchStart;
            ++position;
            continue;
        }
        litLen[tokens] = static_cast<uint8_t>(matched - kMinMatch);
        distance[tokens++] = static_cast<uint16_t>(position - matchStart);
        // Positions inside the match join the chains, up to the last one that still has
        // three bytes to hash.
        const int32_t inserted = matched < length - 2 - position ? matched : length - 2 - position;
        for (int32_t i = 1; i < inserted; ++i)
            insertPosition(position + i, hashAt(bytes, position + i), tables);
        position += matched;
    }
    // A match is held only while the loop goes on, so none is left here.
    for (; position < length; ++position) {
        litLen[tokens] = bytes[position];
        distance[tokens++] = 0;
    }
    return tokens;
}
