// engine/huffman_code.cpp -- see huffman_code.h.
#include "engine/huffman_code.h"

// The node order of the heap: lower frequency first, and at equal frequency the
// shallower subtree, so that merging keeps the tree flat.
static bool smaller(const CodeBuilderScratch& s, int a, int b) {
    return s.frequency[a] < s.frequency[b] ||
           (s.frequency[a] == s.frequency[b] && s.depth[a] < s.depth[b]);
}

// Moves the node at heap position 1 down. The right child is taken only when strictly
// smaller than the left, and the node stops above a child that is not smaller than it.
static void siftDown(CodeBuilderScratch& s, int heapLength) {
    const uint16_t node = s.slot[1];
    int position = 1;
    while (2 * position <= heapLength) {
        int child = 2 * position;
        if (child < heapLength && smaller(s, s.slot[child + 1], s.slot[child])) ++child;
        if (!smaller(s, s.slot[child], node)) break;
        s.slot[position] = s.slot[child];
        position = child;
    }
    s.slot[position] = node;
}

int buildCodeLengths(const uint32_t* frequencies, int symbolCount, int maxBits,
                     CodeBuilderScratch& s, uint8_t* lengths) {
    int heapLength = 0;
    int maxSymbol = -1;
    for (int symbol = 0; symbol < symbolCount; ++symbol) {
        lengths[symbol] = 0;
        if (frequencies[symbol] == 0) continue;
        s.frequency[symbol] = frequencies[symbol];
        s.depth[symbol] = 0;
        int position = ++heapLength;
        while (position > 1 && s.frequency[s.slot[position / 2]] > frequencies[symbol]) {
            s.slot[position] = s.slot[position / 2];
            position /= 2;
        }
        s.slot[position] = static_cast<uint16_t>(symbol);
        maxSymbol = symbol;
    }

    if (heapLength < 2) {
        // One code of length 1 cannot be complete, so a partner is added.
        const int first = heapLength == 1 ? s.slot[1] : 0;
        const int second = first == 0 ? 1 : 0;
        lengths[first] = 1;
        lengths[second] = 1;
        return first > second ? first : second;
    }

    const int slotEnd = 2 * symbolCount + 1;
    int tail = slotEnd;
    int nextNode = symbolCount;
    while (heapLength >= 2) {
        const uint16_t least = s.slot[1];
        s.slot[1] = s.slot[heapLength--];
        siftDown(s, heapLength);
        const uint16_t second = s.slot[1];
        s.slot[--tail] = least;
        s.slot[--tail] = second;
        const int node = nextNode++;
        s.frequency[node] = s.frequency[least] + s.frequency[second];
        s.depth[node] = static_cast<uint16_t>(
            (s.depth[least] > s.depth[second] ? s.depth[least] : s.depth[second]) + 1);
        s.parent[least] = static_cast<uint16_t>(node);
        s.parent[second] = static_cast<uint16_t>(node);
        s.slot[1] = static_cast<uint16_t>(node);
        siftDown(s, heapLength);
    }
    s.slot[--tail] = s.slot[1];

    // Lengths from the root down. A parent always sits before its children here, since
    // it was made after them, so its length is known when they need it. Every node cut
    // to maxBits (internal ones too) counts: half that count is exactly how many leaves
    // the cut pushed past a full code, in units of 2^-maxBits.
    for (int bits = 0; bits <= maxBits; ++bits) s.leavesAtLength[bits] = 0;
    s.depth[s.slot[tail]] = 0;
    int cut = 0;
    for (int h = tail + 1; h < slotEnd; ++h) {
        const int node = s.slot[h];
        int bits = s.depth[s.parent[node]] + 1;
        if (bits > maxBits) {
            bits = maxBits;
            ++cut;
        }
        s.depth[node] = static_cast<uint16_t>(bits);
        if (node < symbolCount) {
            ++s.leavesAtLength[bits];
            lengths[node] = static_cast<uint8_t>(bits);
        }
    }
    if (cut == 0) return maxSymbol;

    // Each step hangs a leaf from maxBits under a leaf moved one level down, which
    // takes 2^-maxBits off the overfull code, until it is complete again.
    do {
        int bits = maxBits - 1;
        while (bits > 0 && s.leavesAtLength[bits] == 0) --bits;
        if (bits == 0) break;  // cannot happen while 2^maxBits >= symbolCount
        --s.leavesAtLength[bits];
        s.leavesAtLength[bits + 1] += 2;
        --s.leavesAtLength[maxBits];
        cut -= 2;
    } while (cut > 0);

    // The longest lengths go to the leaves removed first: the least frequent.
    int h = slotEnd;
    for (int bits = maxBits; bits >= 1; --bits) {
        for (int count = s.leavesAtLength[bits]; count > 0;) {
            const int node = s.slot[--h];
            if (node >= symbolCount) continue;
            lengths[node] = static_cast<uint8_t>(bits);
            --count;
        }
    }
    return maxSymbol;
}

void makeCanonicalCodes(const uint8_t* lengths, int symbolCount, uint16_t* codes) {
    int lengthCount[kMaxLengthLimit + 1] = {};
    for (int symbol = 0; symbol < symbolCount; ++symbol) ++lengthCount[lengths[symbol]];
    lengthCount[0] = 0;
    uint32_t nextCode[kMaxLengthLimit + 1] = {};
    uint32_t code = 0;
    for (int bits = 1; bits <= kMaxLengthLimit; ++bits) {
        code = (code + lengthCount[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    for (int symbol = 0; symbol < symbolCount; ++symbol) {
        const int bits = lengths[symbol];
        codes[symbol] = 0;
        if (bits == 0) continue;
        uint32_t value = nextCode[bits]++;
        uint32_t reversed = 0;
        for (int i = 0; i < bits; ++i, value >>= 1) reversed = reversed << 1 | (value & 1);
        codes[symbol] = static_cast<uint16_t>(reversed);
    }
}
