// html/link_resolution.cpp -- see link_resolution.h. Links and pages are read back from
// their streams record by record; only the two indexes are held in blocks, and each
// entry point frees its index at one exit.
#include "html/link_resolution.h"

#include <algorithm>
#include <cstring>

#include "engine/checked_io.h"
#include "html/html_context.h"

static constexpr int32_t kPageRecordBytes = sizeof(PageRecord);
static constexpr int32_t kNameRecordBytes = sizeof(NameRecord);
static constexpr int32_t kLinkRecordBytes = sizeof(LinkRecord);

static int32_t linkPathPosition(int32_t linkPosition) { return linkPosition + kLinkRecordBytes; }

static int32_t linkFragmentPosition(int32_t linkPosition, const LinkRecord& link) {
    return linkPosition + kLinkRecordBytes + link.pathLength;
}

static int32_t followingLink(int32_t linkPosition, const LinkRecord& link) {
    return linkPosition + kLinkRecordBytes + link.pathLength + link.fragmentLength;
}

static bool sameFoldedName(const char* a, const char* b, uint16_t length) {
    const int32_t compared = length < kFoldedNameBytes ? length : kFoldedNameBytes - 1;
    return std::memcmp(a, b, compared) == 0;
}

// --- Progress within long loops ---

static constexpr int32_t kWorkPerReport = 1024;  // records handled between two reports

// Counts one unit of work and, every kWorkPerReport units, repeats the last percentage
// so a cancel is heard. False on cancel, with the context marked canceled.
static bool stillWorking(HtmlContext& context) {
    if (++context.workSinceReport < kWorkPerReport) return true;
    context.workSinceReport = 0;
    if (stillWantedPercent(*context.io, context.tickPercent)) return true;
    context.canceled = 1;
    return false;
}

// --- Open-addressing tables in temporary streams ---
// Linear probing keeps entries of one hash in insertion order along the probe path, so
// walking from an entry's home slot meets the first page queued and the first anchor
// written before later ones. A slot is {hash, position + 1[, text position]}; zero bytes
// are an empty slot.

struct TableSlot {
    uint32_t hash;
    int32_t positionPlusOne;
    uint32_t textPos;
};
static constexpr int32_t kPageSlotBytes = 8;     // hash 4, position + 1 4
static constexpr int32_t kAnchorSlotBytes = 12;  // hash 4, position + 1 4, text position 4
static constexpr int32_t kFirstPageSlots = 4096;
static constexpr int32_t kMaxTableBytes = 0x40000000;  // offsets stay well inside int32

static bool readSlot(const IoOps& io, uint32_t stream, int32_t slotBytes, int32_t index, TableSlot* slot) {
    *slot = TableSlot{0, 0, 0};
    return seekExact(io, stream, index * slotBytes) && readExact(io, stream, slot, slotBytes);
}

// Lays out `slots` empty slots from offset 0 (a larger table overwrites a smaller one).
static bool clearTable(HtmlContext& context, uint32_t stream, int32_t slots, int32_t slotBytes) {
    static const uint8_t kZeros[4096] = {};
    const IoOps& io = *context.io;
    if (!seekExact(io, stream, 0)) return false;
    for (int32_t left = slots * slotBytes; left > 0; left -= static_cast<int32_t>(sizeof kZeros)) {
        const int32_t length = std::min(left, static_cast<int32_t>(sizeof kZeros));
        if (!writeExact(io, stream, kZeros, length) || !stillWorking(context)) return false;
    }
    return true;
}

static bool insertSlot(HtmlContext& context, uint32_t stream, int32_t slots, int32_t slotBytes,
                       const TableSlot& entry) {
    const IoOps& io = *context.io;
    int32_t index = static_cast<int32_t>(entry.hash & static_cast<uint32_t>(slots - 1));
    for (;;) {
        TableSlot slot;
        if (!readSlot(io, stream, slotBytes, index, &slot)) return false;
        if (slot.positionPlusOne == 0) break;
        index = (index + 1) & (slots - 1);
    }
    return seekExact(io, stream, index * slotBytes) && writeExact(io, stream, &entry, slotBytes) &&
           stillWorking(context);
}

// The smallest power of two at least twice `count` and at least `floor`, or 0 when the
// table would pass kMaxTableBytes.
static int32_t tableSlotsFor(int64_t count, int32_t floor, int32_t slotBytes) {
    int64_t slots = floor;
    while (slots < 2 * count) slots *= 2;
    return slots * slotBytes > kMaxTableBytes ? 0 : static_cast<int32_t>(slots);
}

bool readFoldedName(const IoOps& io, uint32_t stream, int32_t position, uint16_t length, char* buffer) {
    const int32_t keep = length < kFoldedNameBytes ? length : kFoldedNameBytes - 1;
    buffer[0] = '\0';
    if (keep > 0 && !(seekExact(io, stream, position) && readExact(io, stream, buffer, keep))) return false;
    for (int32_t i = 0; i < keep; ++i)
        if (buffer[i] >= 'A' && buffer[i] <= 'Z') buffer[i] = static_cast<char>(buffer[i] + 32);
    buffer[keep] = '\0';
    return true;
}

bool matchAnchor(const IoOps& io, uint32_t stream, int32_t namePosition, const char* foldedFragment,
                 LinkRecord* link, int32_t* nextPosition) {
    NameRecord record;
    if (!readNameRecord(io, stream, namePosition, &record)) return false;
    *nextPosition = namePosition + kNameRecordBytes + record.nameLength;
    if (record.nameHash != link->fragmentHash || record.nameLength != link->fragmentLength) return true;
    char name[kFoldedNameBytes];
    if (!readFoldedName(io, stream, namePosition + kNameRecordBytes, record.nameLength, name)) return false;
    if (sameFoldedName(name, foldedFragment, record.nameLength)) {
        link->targetPos = record.textPos;
        link->flags |= kLinkResolved;
    }
    return true;
}

bool matchPageName(const IoOps& io, uint32_t stream, int32_t pagePosition, uint16_t pathLength,
                   const char* foldedPath, bool* equal) {
    *equal = false;
    PageRecord page;
    if (!readPageRecord(io, stream, pagePosition, &page)) return false;
    if (page.nameLength != pathLength) return true;
    char name[kFoldedNameBytes];
    if (!readFoldedName(io, stream, pagePosition + kPageRecordBytes, page.nameLength, name)) return false;
    *equal = sameFoldedName(name, foldedPath, pathLength);
    return true;
}

void releaseLinkIndex(HtmlContext& context) {
    const IoOps& io = *context.io;
    if (context.pageIndexStream != 0) io.closeStream(io.userData, context.pageIndexStream);
    context.pageIndexStream = 0;
    context.pageIndexSlots = 0;
    context.pageIndexCount = 0;
    context.pageIndexLast = kNoRecord;
}

// Brings the page index in the temporary stream up to every queued page, creating it or
// laying it out twice as large (and indexing the queue again from its start) as needed.
// Growth by doubling keeps the total work linear in the pages.
static bool syncPageIndex(HtmlContext& context) {
    const IoOps& io = *context.io;
    if (context.pageIndexStream == 0) {
        context.pageIndexStream = io.createTempStream(io.userData);
        if (context.pageIndexStream == 0) return false;
        context.pageIndexSlots = 0;
    }
    if (context.pageIndexSlots == 0 || int64_t{context.pageCount} * 2 > context.pageIndexSlots) {
        const int32_t slots = tableSlotsFor(context.pageCount, kFirstPageSlots, kPageSlotBytes);
        if (slots == 0 || !clearTable(context, context.pageIndexStream, slots, kPageSlotBytes)) return false;
        context.pageIndexSlots = slots;
        context.pageIndexCount = 0;
        context.pageIndexLast = kNoRecord;
    }
    if (context.pageIndexCount == context.pageCount) return true;
    int32_t position = 0;
    if (context.pageIndexCount > 0) {
        PageRecord last;
        if (!readPageRecord(io, context.pageStream, context.pageIndexLast, &last)) return false;
        position = last.nextInQueue;
    }
    while (context.pageIndexCount < context.pageCount) {
        PageRecord page;
        if (position == kNoRecord || !readPageRecord(io, context.pageStream, position, &page)) return false;
        if (!insertSlot(context, context.pageIndexStream, context.pageIndexSlots, kPageSlotBytes,
                        TableSlot{page.nameHash, position + 1, 0}))
            return false;
        context.pageIndexLast = position;
        context.pageIndexCount += 1;
        position = page.nextInQueue;
    }
    return true;
}

// The first page in queue order whose name equals the folded `path`, through the page
// index in the temporary stream; `found` gets its offset or kNoRecord.
static bool findIndexedPage(HtmlContext& context, uint32_t hash, uint16_t length, const char* folded,
                            int32_t* found) {
    const IoOps& io = *context.io;
    *found = kNoRecord;
    if (!syncPageIndex(context)) return false;
    const int32_t mask = context.pageIndexSlots - 1;
    for (int32_t index = static_cast<int32_t>(hash & static_cast<uint32_t>(mask));;
         index = (index + 1) & mask) {
        TableSlot slot;
        if (!readSlot(io, context.pageIndexStream, kPageSlotBytes, index, &slot)) return false;
        if (slot.positionPlusOne == 0) return true;
        if (slot.hash != hash) continue;
        bool equal = false;
        if (!matchPageName(io, context.pageStream, slot.positionPlusOne - 1, length, folded, &equal)) return false;
        if (equal) {
            *found = slot.positionPlusOne - 1;
            return true;
        }
    }
}

bool findKnownPage(HtmlContext& context, const char* name, int32_t* position) {
    const IoOps& io = *context.io;
    *position = kNoRecord;
    const size_t length = std::strlen(name);
    if (length >= kFoldedNameBytes) return true;  // page names are at most 255 bytes: none matches
    char folded[kFoldedNameBytes];
    for (size_t i = 0; i <= length; ++i)
        folded[i] = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] + 32) : name[i];
    const uint32_t hash = nameHash(name);
    if (context.pageCount > static_cast<uint32_t>(kPageIndexEntries))
        return findIndexedPage(context, hash, static_cast<uint16_t>(length), folded, position);
    const uint32_t wanted = std::min(context.pageCount, static_cast<uint32_t>(kPageIndexEntries));
    int32_t at = 0;
    for (uint32_t i = 0; i < wanted && at != kNoRecord; ++i) {
        PageRecord page;
        if (!readPageRecord(io, context.pageStream, at, &page)) return false;
        if (page.nameHash == hash && page.nameLength == length) {
            bool equal = false;
            if (!matchPageName(io, context.pageStream, at, page.nameLength, folded, &equal)) return false;
            if (equal) {
                *position = at;
                return true;
            }
        }
        at = page.nextInQueue;
    }
    return true;
}

// --- Indexes ---

template <typename Entry>
static bool entryBefore(const Entry& a, const Entry& b) {
    return a.nameHash != b.nameHash ? a.nameHash < b.nameHash : a.position < b.position;
}

// The run of entries whose hash is `hash`, as [first, last).
template <typename Entry>
static void equalHashRange(Entry* entries, int32_t count, uint32_t hash, Entry** first, Entry** last) {
    *first = std::lower_bound(entries, entries + count, hash,
                              [](const Entry& e, uint32_t h) { return e.nameHash < h; });
    *last = std::upper_bound(*first, entries + count, hash,
                             [](uint32_t h, const Entry& e) { return h < e.nameHash; });
}

void releasePageIndex(const IoOps& io, PageIndex* index) {
    if (index->entries != nullptr) io.freeBlock(io.userData, index->entries);
    index->entries = nullptr;
    index->count = 0;
}

void releaseAnchorIndex(const IoOps& io, AnchorIndex* index) {
    if (index->entries != nullptr) io.freeBlock(io.userData, index->entries);
    if (index->tableStream != 0) io.closeStream(io.userData, index->tableStream);
    index->entries = nullptr;
    index->tableStream = 0;
    index->tableSlots = 0;
    index->indexedCount = 0;
}

// A page with more anchors than the block takes gets a table in a temporary stream.
static bool buildAnchorTable(HtmlContext& context, const PageRecord& page, AnchorIndex* index) {
    const IoOps& io = *context.io;
    const int32_t slots = tableSlotsFor(index->totalCount, 16, kAnchorSlotBytes);
    if (slots == 0) return false;
    index->tableStream = io.createTempStream(io.userData);
    if (index->tableStream == 0 || !clearTable(context, index->tableStream, slots, kAnchorSlotBytes)) return false;
    index->tableSlots = slots;
    int32_t position = page.firstName;
    for (int32_t i = 0; i < index->totalCount; ++i) {
        NameRecord name;
        if (!readNameRecord(io, context.pageStream, position, &name) ||
            !insertSlot(context, index->tableStream, slots, kAnchorSlotBytes,
                        TableSlot{name.nameHash, position + 1, name.textPos}))
            return false;
        position += kNameRecordBytes + name.nameLength;
    }
    return true;
}

bool buildPageIndex(HtmlContext& context, PageIndex* index) {
    const IoOps& io = *context.io;
    index->count = 0;
    index->entries = nullptr;
    if (context.pageCount >= static_cast<uint32_t>(kPageIndexEntries)) return true;  // the stream's index
    index->entries = static_cast<PageIndexEntry*>(
        io.allocBlock(io.userData, kPageIndexEntries * static_cast<int32_t>(sizeof(PageIndexEntry))));
    if (index->entries == nullptr) return false;

    const int32_t wanted = context.pageCount < static_cast<uint32_t>(kPageIndexEntries)
                               ? static_cast<int32_t>(context.pageCount)
                               : kPageIndexEntries;
    int32_t position = 0;
    for (int32_t i = 0; i < wanted; ++i) {
        PageRecord page;
        if (!readPageRecord(io, context.pageStream, position, &page)) {
            releasePageIndex(io, index);
            return false;
        }
        index->entries[index->count++] = PageIndexEntry{page.nameHash, position};
        position = page.nextInQueue;
    }
    std::sort(index->entries, index->entries + index->count, entryBefore<PageIndexEntry>);
    return true;
}

bool buildAnchorIndex(HtmlContext& context, const PageRecord& page, AnchorIndex* index) {
    const IoOps& io = *context.io;
    *index = AnchorIndex{nullptr, 0, page.nameCount > 0 ? page.nameCount : 0, page.textStart, page.firstName, 0, 0};
    if (index->totalCount == 0) return true;
    const int32_t wanted = index->totalCount;
    if (wanted <= kAnchorBlockEntries)
        index->entries = static_cast<AnchorIndexEntry*>(
            io.allocBlock(io.userData, wanted * static_cast<int32_t>(sizeof(AnchorIndexEntry))));
    if (index->entries == nullptr) {
        if (wanted <= kAnchorIndexEntries) return true;  // every anchor is searched one by one instead
        if (buildAnchorTable(context, page, index)) return true;
        releaseAnchorIndex(io, index);
        return false;
    }

    int32_t position = page.firstName;
    for (int32_t i = 0; i < wanted; ++i) {
        NameRecord name;
        if (!readNameRecord(io, context.pageStream, position, &name) || !stillWorking(context)) {
            releaseAnchorIndex(io, index);
            return false;
        }
        index->entries[i] = AnchorIndexEntry{name.nameHash, position, name.textPos};
        position += kNameRecordBytes + name.nameLength;
    }
    std::sort(index->entries, index->entries + wanted, entryBefore<AnchorIndexEntry>);
    index->indexedCount = wanted;
    index->restPosition = position;
    return true;
}

// --- Resolution ---

bool resolveLinkTarget(HtmlContext& context, const AnchorIndex& index, int32_t linkPosition,
                       LinkRecord* link) {
    const IoOps& io = *context.io;
    char fragment[kFoldedNameBytes];
    bool haveFragment = false;

    if (index.tableStream != 0 && link->fragmentLength != 0) {
        // Names are compared for every equal hash, in the order the anchors were written.
        const int32_t mask = index.tableSlots - 1;
        for (int32_t slotIndex = static_cast<int32_t>(link->fragmentHash & static_cast<uint32_t>(mask));
             !(link->flags & kLinkResolved); slotIndex = (slotIndex + 1) & mask) {
            TableSlot slot;
            if (!readSlot(io, index.tableStream, kAnchorSlotBytes, slotIndex, &slot)) return false;
            if (slot.positionPlusOne == 0) break;
            if (slot.hash != link->fragmentHash) continue;
            if (!haveFragment && !readFoldedName(io, context.linkStream, linkFragmentPosition(linkPosition, *link),
                                                 link->fragmentLength, fragment))
                return false;
            haveFragment = true;
            int32_t next;
            if (!matchAnchor(io, context.pageStream, slot.positionPlusOne - 1, fragment, link, &next)) return false;
        }
    } else if (index.indexedCount > 0 && link->fragmentLength != 0) {
        AnchorIndexEntry* first;
        AnchorIndexEntry* last;
        equalHashRange(index.entries, index.indexedCount, link->fragmentHash, &first, &last);
        if (last - first == 1 && index.indexedCount == index.totalCount && index.totalCount <= kAnchorIndexEntries) {
            link->targetPos = first->textPos;  // the only anchor with this hash: no name read
            link->flags |= kLinkResolved;
            return true;
        }
        if (first != last) {
            if (!readFoldedName(io, context.linkStream, linkFragmentPosition(linkPosition, *link),
                                link->fragmentLength, fragment))
                return false;
            haveFragment = true;
            for (AnchorIndexEntry* entry = first; entry != last && !(link->flags & kLinkResolved); ++entry) {
                int32_t next;
                if (!matchAnchor(io, context.pageStream, entry->position, fragment, link, &next)) return false;
            }
        }
    }

    if (!(link->flags & kLinkResolved) && link->fragmentLength != 0 && index.tableStream == 0) {
        if (!haveFragment && !readFoldedName(io, context.linkStream, linkFragmentPosition(linkPosition, *link),
                                             link->fragmentLength, fragment))
            return false;
        int32_t position = index.restPosition;
        for (int32_t i = index.indexedCount; i < index.totalCount && !(link->flags & kLinkResolved); ++i)
            if (!matchAnchor(io, context.pageStream, position, fragment, link, &position)) return false;
    }

    if (!(link->flags & kLinkResolved)) {
        link->targetPos = static_cast<uint32_t>(index.textStart);  // page top, or -1 never converted
        link->flags |= kLinkResolved;
    }
    return true;
}

bool resolveLocalLinks(HtmlContext& context) {
    const IoOps& io = *context.io;
    context.workSinceReport = 0;
    PageRecord page;
    if (!readPageRecord(io, context.pageStream, context.currentPage, &page)) return false;
    AnchorIndex anchors{};
    if (!buildAnchorIndex(context, page, &anchors)) return false;

    bool ok = page.nameLength != 0;
    char pageName[kFoldedNameBytes];
    if (ok) ok = readFoldedName(io, context.pageStream, context.currentPage + kPageRecordBytes,
                                page.nameLength, pageName);
    int32_t position = context.pageLinksStart;
    for (int32_t i = 0; ok && i < context.pageLinkCount; ++i) {
        LinkRecord link;
        ok = readLinkRecord(io, context.linkStream, position, &link);
        if (!ok) break;
        bool local = link.pathLength == 0;
        if (!local && link.pathHash == page.nameHash && link.pathLength == page.nameLength) {
            char path[kFoldedNameBytes];
            ok = readFoldedName(io, context.linkStream, linkPathPosition(position), link.pathLength, path);
            local = ok && sameFoldedName(path, pageName, link.pathLength);
        }
        if (ok && local) {
            ok = resolveLinkTarget(context, anchors, position, &link) &&
                 writeLinkRecord(io, context.linkStream, position, link);
        }
        ok = ok && stillWorking(context);
        position = followingLink(position, link);
    }

    releaseAnchorIndex(io, &anchors);
    return ok;
}

bool findOrAddTargetPage(HtmlContext& context, PageIndex* index, int32_t linkPosition,
                         const LinkRecord& link) {
    const IoOps& io = *context.io;
    if (link.pathLength == 0) return true;  // a link without a target is local, never a new page

    int32_t target = kNoRecord;
    char path[kFoldedNameBytes];
    if (index->entries == nullptr) {
        if (!readFoldedName(io, context.linkStream, linkPathPosition(linkPosition), link.pathLength, path) ||
            !findIndexedPage(context, link.pathHash, link.pathLength, path, &target))
            return false;
    } else if (index->count > 0) {
        PageIndexEntry* first;
        PageIndexEntry* last;
        equalHashRange(index->entries, index->count, link.pathHash, &first, &last);
        if (first != last) {
            if (!readFoldedName(io, context.linkStream, linkPathPosition(linkPosition), link.pathLength, path))
                return false;
            for (PageIndexEntry* entry = first; entry != last && target == kNoRecord; ++entry) {
                bool equal = false;
                if (!matchPageName(io, context.pageStream, entry->position, link.pathLength, path, &equal))
                    return false;
                if (equal) target = entry->position;
            }
        }
    }

    const uint16_t linkedDepth = static_cast<uint16_t>(context.pageDepth + 1);
    if (target == kNoRecord) {
        char* name = static_cast<char*>(io.allocBlock(io.userData, link.pathLength + 1));
        if (name == nullptr) return false;
        bool added = seekExact(io, context.linkStream, linkPathPosition(linkPosition)) &&
                     readExact(io, context.linkStream, name, link.pathLength);
        if (added) {
            name[link.pathLength] = '\0';
            added = addPage(context, linkedDepth, name, &target);
        }
        io.freeBlock(io.userData, name);
        if (!added) return false;
        if (index->entries != nullptr && index->count >= kPageIndexEntries) {
            // The site outgrew the block: the index in the temporary stream, which takes
            // every page in queue order, answers from now on.
            releasePageIndex(io, index);
        } else if (index->entries != nullptr) {
            // After every equal hash: the page queued first stays first among equal names.
            PageIndexEntry* end = index->entries + index->count;
            PageIndexEntry* slot = std::upper_bound(index->entries, end, link.pathHash,
                                                    [](uint32_t h, const PageIndexEntry& e) { return h < e.nameHash; });
            std::move_backward(slot, end, end + 1);
            *slot = PageIndexEntry{link.pathHash, target};
            index->count += 1;
        }
    }

    PageRecord page;
    if (!readPageRecord(io, context.pageStream, target, &page)) return false;
    if (page.incomingCount == 0) {
        page.firstIncoming = linkPosition;
    } else {
        LinkRecord previous;
        if (!readLinkRecord(io, context.linkStream, page.lastIncoming, &previous)) return false;
        previous.nextSameTarget = linkPosition;
        if (!writeLinkRecord(io, context.linkStream, page.lastIncoming, previous)) return false;
    }
    if (linkedDepth < page.depth) page.depth = linkedDepth;
    page.incomingCount += 1;
    page.lastIncoming = linkPosition;
    return writePageRecord(io, context.pageStream, target, page);
}

bool resolvePageLinks(HtmlContext& context) {
    const IoOps& io = *context.io;
    context.workSinceReport = 0;
    PageRecord current;  // the linking page must still be readable
    if (!readPageRecord(io, context.pageStream, context.currentPage, &current)) return false;
    PageIndex pages{};
    if (!buildPageIndex(context, &pages)) return false;

    bool ok = true;
    int32_t position = context.pageLinksStart;
    for (int32_t i = 0; ok && i < context.pageLinkCount; ++i) {
        LinkRecord link;
        ok = readLinkRecord(io, context.linkStream, position, &link);
        if (!ok) break;
        if (!(link.flags & kLinkResolved)) ok = findOrAddTargetPage(context, &pages, position, link);
        ok = ok && stillWorking(context);
        position = followingLink(position, link);
    }

    releasePageIndex(io, &pages);
    return ok;
}

bool resolveAllLinks(HtmlContext& context) {
    const IoOps& io = *context.io;
    context.workSinceReport = 0;
    bool ok = true;
    int32_t pagePosition = 0;
    for (uint32_t i = 0; ok && i < context.pageCount; ++i) {
        PageRecord page;
        ok = readPageRecord(io, context.pageStream, pagePosition, &page);
        if (!ok) break;
        if (page.incomingCount != 0) {
            AnchorIndex anchors{};
            ok = buildAnchorIndex(context, page, &anchors) && page.nameLength != 0;
            int32_t linkPosition = page.firstIncoming;
            for (int32_t k = 0; ok && k < page.incomingCount; ++k) {
                LinkRecord link{};
                ok = readLinkRecord(io, context.linkStream, linkPosition, &link) &&
                     resolveLinkTarget(context, anchors, linkPosition, &link) &&
                     writeLinkRecord(io, context.linkStream, linkPosition, link) && stillWorking(context);
                linkPosition = link.nextSameTarget;
            }
            releaseAnchorIndex(io, &anchors);
        }
        ok = ok && stillWorking(context);
        pagePosition = page.nextInQueue;
    }
    return ok;
}
