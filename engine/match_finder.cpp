// engine/match_finder.cpp -- see match_finder.h.
#include "engine/match_finder.h"

#include <cstring>

#include "engine/deflate_tables.h"

static inline int hashAt(const uint8_t* bytes, int32_t position) {
    return ((((bytes[position] & 127) << 3) ^ bytes[position + 1]) << 3) ^ bytes[position + 2];
}

static inline void insertPosition(const uint8_t* bytes, int32_t position, const MatchTables& t) {
    const int hash = hashAt(bytes, position);
    t.links[position] = t.heads[hash];  // the tables were cleared, so 0 stays "none"
    t.heads[hash] = static_cast<uint16_t>(position + 1);
}

// The longest match for `position` among at most 384 chain candidates, or 0 when no
// candidate shares its first three bytes. `matchStart` gets the winner's position.
static int32_t longestMatch(const uint8_t* bytes, int32_t length, int32_t position,
                            const MatchTables& t, int32_t& matchStart) {
    const int32_t remaining = length - position;
    if (remaining < kMinMatch) return 0;  // the hash itself would read past the chunk
    const int32_t limit = remaining < kMaxMatch ? remaining : kMaxMatch;
    const uint8_t* here = bytes + position;
    int32_t best = 0;
    int32_t candidate = t.heads[hashAt(bytes, position)];
    for (int examined = 0; candidate != 0 && examined < kMaxChainCandidates; ++examined) {
        const int32_t start = candidate - 1;
        candidate = t.links[start];
        const uint8_t* there = bytes + start;
        // A candidate that differs at the current best length cannot beat it, and ties
        // keep the earlier (more recent) one, so it is passed over unmeasured.
        if (best >= kMinMatch && there[best] != here[best]) continue;
        if (there[0] != here[0] || there[1] != here[1] || there[2] != here[2]) continue;
        int32_t matched = kMinMatch;
        while (matched < limit && there[matched] == here[matched]) ++matched;
        if (matched > best) {
            best = matched;
            matchStart = start;
            if (best == limit) break;  // nothing later can be longer
        }
    }
    return best;
}

int32_t parseChunk(const uint8_t* bytes, int32_t length, const MatchTables& tables,
                   uint8_t* litLen, uint16_t* distance) {
    std::memset(tables.heads, 0, sizeof(uint16_t) * kHashHeads);
    std::memset(tables.links, 0, sizeof(uint16_t) * static_cast<size_t>(length));
    int32_t tokens = 0;
    int32_t position = 0;
    while (position < length - 2) {
        int32_t matchStart = 0;
        const int32_t matched = longestMatch(bytes, length, position, tables, matchStart);
        insertPosition(bytes, position, tables);
        if (matched == 0) {
            litLen[tokens] = bytes[position];
            distance[tokens++] = 0;
            ++position;
            continue;
        }
        if (matched <= kMaxLazyLength) {
            int32_t nextStart = 0;
            const int32_t next = longestMatch(bytes, length, position + 1, tables, nextStart);
            if (next > matched) {
                litLen[tokens] = bytes[position];
                distance[tokens++] = 0;
                ++position;
                continue;
            }
        }
        litLen[tokens] = static_cast<uint8_t>(matched - kMinMatch);
        distance[tokens++] = static_cast<uint16_t>(position - matchStart);
        // Positions inside the match join the chains, up to the last one that still has
        // three bytes to hash.
        const int32_t inserted = matched < length - 2 - position ? matched : length - 2 - position;
        for (int32_t i = 1; i < inserted; ++i) insertPosition(bytes, position + i, tables);
        position += matched;
    }
    for (; position < length; ++position) {
        litLen[tokens] = bytes[position];
        distance[tokens++] = 0;
    }
    return tokens;
}
