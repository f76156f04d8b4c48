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

bool findKnownPage(HtmlContext& context, const char* name, int32_t* position) {
    const IoOps& io = *context.io;
    *position = kNoRecord;
    const size_t length = std::strlen(name);
    if (length >= kFoldedNameBytes) return true;  // page names are at most 255 bytes: none matches
    char folded[kFoldedNameBytes];
    for (size_t i = 0; i <= length; ++i)
        folded[i] = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] + 32) : name[i];
    const uint32_t hash = nameHash(name);
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
    index->entries = nullptr;
    index->indexedCount = 0;
}

bool buildPageIndex(HtmlContext& context, PageIndex* index) {
    const IoOps& io = *context.io;
    index->count = 0;
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
    *index = AnchorIndex{nullptr, 0, page.nameCount > 0 ? page.nameCount : 0, page.textStart, page.firstName};
    if (index->totalCount == 0) return true;

    const int32_t wanted = std::min(index->totalCount, kAnchorIndexEntries);
    index->entries = static_cast<AnchorIndexEntry*>(
        io.allocBlock(io.userData, wanted * static_cast<int32_t>(sizeof(AnchorIndexEntry))));
    if (index->entries == nullptr) return true;  // every anchor is searched one by one instead

    int32_t position = page.firstName;
    for (int32_t i = 0; i < wanted; ++i) {
        NameRecord name;
        if (!readNameRecord(io, context.pageStream, position, &name)) {
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

    if (index.indexedCount > 0 && link->fragmentLength != 0) {
        AnchorIndexEntry* first;
        AnchorIndexEntry* last;
        equalHashRange(index.entries, index.indexedCount, link->fragmentHash, &first, &last);
        if (last - first == 1 && index.indexedCount == index.totalCount) {
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

    if (!(link->flags & kLinkResolved) && link->fragmentLength != 0) {
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
    if (index->count > 0) {
        PageIndexEntry* first;
        PageIndexEntry* last;
        equalHashRange(index->entries, index->count, link.pathHash, &first, &last);
        if (first != last) {
            char path[kFoldedNameBytes];
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
        char* path = static_cast<char*>(io.allocBlock(io.userData, link.pathLength + 1));
        if (path == nullptr) return false;
        bool added = seekExact(io, context.linkStream, linkPathPosition(linkPosition)) &&
                     readExact(io, context.linkStream, path, link.pathLength);
        if (added) {
            path[link.pathLength] = '\0';
            added = addPage(context, linkedDepth, path, &target);
        }
        io.freeBlock(io.userData, path);
        if (!added) return false;
        if (index->count >= kPageIndexEntries) return true;  // queued, but the link stays unattached
        // After every equal hash: the page queued first stays first among equal names.
        PageIndexEntry* end = index->entries + index->count;
        PageIndexEntry* slot = std::upper_bound(index->entries, end, link.pathHash,
                                                [](uint32_t h, const PageIndexEntry& e) { return h < e.nameHash; });
        std::move_backward(slot, end, end + 1);
        *slot = PageIndexEntry{link.pathHash, target};
        index->count += 1;
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
        position = followingLink(position, link);
    }

    releasePageIndex(io, &pages);
    return ok;
}

bool resolveAllLinks(HtmlContext& context) {
    const IoOps& io = *context.io;
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
                     writeLinkRecord(io, context.linkStream, linkPosition, link);
                linkPosition = link.nextSameTarget;
            }
            releaseAnchorIndex(io, &anchors);
        }
        pagePosition = page.nextInQueue;
    }
    return ok;
}
