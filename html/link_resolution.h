// html/link_resolution.h -- gives every link a target text position and, in doing so,
// drives the following of links: a link to a page not yet known queues that page one
// level deeper than the linking page. The pass driver calls resolveLocalLinks and then
// resolvePageLinks after each page (after endPage), and resolveAllLinks after the last.
// Afterwards every link carries the resolved bit and a target position: its anchor, the
// top of its page, or 0xFFFFFFFF when that page was never converted.
//
// Names match when their hashes, their stored lengths and their ASCII-folded bytes are
// equal. A small site's pages, and the anchors of a page of up to kAnchorBlockEntries,
// are looked up in sorted blocks that live for one call. Beyond those sizes the lookups
// go through open-addressing tables in temporary streams, so time stays near linear and
// memory fixed at any count: the page table lives in the context from the first call
// that needs it until releaseLinkIndex; an anchor table lives for one call.
// Every loop reports the context's tickPercent after each 1024 records, so a
// cancel is heard; false is then returned with context.canceled set.
// All operations return false when a seek, read, write or required block fails.
#pragma once
#include <cstdint>

#include "engine/io_ops.h"
#include "html/page_records.h"

struct HtmlContext;

constexpr int32_t kPageIndexEntries = 512;  // sites up to this many pages use a block
constexpr int32_t kAnchorIndexEntries = 4000;  // up to here a hash alone may identify an anchor
// A block of at most this many anchors (768 KB) is kept in memory: a table in a stream
// costs a seek and a read per probe.
constexpr int32_t kAnchorBlockEntries = 65536;
constexpr int32_t kFoldedNameBytes = 256;  // a compared name keeps its first 255 bytes

// Entries are sorted by hash (unsigned) and, for equal hashes, by record offset, so the
// first page queued and the first anchor written win among equal names.
struct PageIndexEntry {
    uint32_t nameHash;
    int32_t position;  // offset of the PageRecord in pageStream
};

struct PageIndex {
    PageIndexEntry* entries;  // block of kPageIndexEntries, or null
    int32_t count;
};

struct AnchorIndexEntry {
    uint32_t nameHash;
    int32_t position;  // offset of the NameRecord in pageStream
    uint32_t textPos;
};

struct AnchorIndex {
    AnchorIndexEntry* entries;  // block of totalCount (at most kAnchorBlockEntries), or null
    int32_t indexedCount;       // entries in use; 0 when the block was not obtainable
    int32_t totalCount;         // the page's nameCount
    int32_t textStart;          // the page's textStart (-1: never converted)
    int32_t restPosition;       // offset of the first NameRecord not in the index
    uint32_t tableStream;       // when no block holds them: every anchor, in a temporary stream
    int32_t tableSlots;
};

// Right after a page: resolves the links of the current page that point into it (no
// target, or the page's own name in any letter case) against its anchors.
bool resolveLocalLinks(HtmlContext& context);

// Right after resolveLocalLinks: attaches every other link of the current page to its
// target page, queuing unknown pages at pageDepth + 1.
bool resolvePageLinks(HtmlContext& context);

// After the last page: resolves the links attached to each page against its anchors.
bool resolveAllLinks(HtmlContext& context);

// Closes the context's page table, if any. The owner of the context calls it once the
// last resolution is done, on every path.
void releaseLinkIndex(HtmlContext& context);

// Fills `index` from every PageRecord in queue order while there are fewer than
// kPageIndexEntries; otherwise leaves it empty (entries null), and lookups use the
// context's page table. False when the block cannot be allocated or a record cannot be
// read (nothing is then held).
bool buildPageIndex(HtmlContext& context, PageIndex* index);
void releasePageIndex(const IoOps& io, PageIndex* index);

// Indexes the anchors of `page`: up to kAnchorBlockEntries in a block, more (or more than
// kAnchorIndexEntries when no block can be had) in a table in a temporary stream; a page
// of at most kAnchorIndexEntries without a block has its anchors searched one by one.
// False when a record cannot be read or the table cannot be made (nothing is then held).
bool buildAnchorIndex(HtmlContext& context, const PageRecord& page, AnchorIndex* index);
void releaseAnchorIndex(const IoOps& io, AnchorIndex* index);

// Finds the link's target page among the indexed pages or queues it, then attaches the
// link at `linkPosition` to it and lowers the page's depth to pageDepth + 1 when that is
// smaller. When the block fills up it is released and the context's page table answers
// from then on. Does not write `link` itself.
bool findOrAddTargetPage(HtmlContext& context, PageIndex* index, int32_t linkPosition,
                         const LinkRecord& link);

// Resolves `link` (read from `linkPosition`) against its target page's anchors, or to the
// page's top when none matches. A hash that only one anchor has is trusted without
// reading names when the page has at most kAnchorIndexEntries anchors, all in the block;
// otherwise names are always compared, so the block and the table give the same answers. Updates `link` in memory only.
bool resolveLinkTarget(HtmlContext& context, const AnchorIndex& index, int32_t linkPosition,
                       LinkRecord* link);

// Compares the NameRecord at `namePosition` with the folded fragment; on equality sets the
// link's targetPos and resolved bit. `nextPosition` gets the offset of the following
// NameRecord.
bool matchAnchor(const IoOps& io, uint32_t stream, int32_t namePosition, const char* foldedFragment,
                 LinkRecord* link, int32_t* nextPosition);

// Looks for the first page named `name` in queue order, names
// compared as links compare them; `position` gets its PageRecord offset, or kNoRecord.
// Frames use it so that a frameset naming itself, or framesets naming each other, do
// not queue their pages again and again. False when a record cannot be read.
bool findKnownPage(HtmlContext& context, const char* name, int32_t* position);

// Sets *equal to whether the name of the PageRecord at `pagePosition` equals the folded
// path of `pathLength` bytes.
bool matchPageName(const IoOps& io, uint32_t stream, int32_t pagePosition, uint16_t pathLength,
                   const char* foldedPath, bool* equal);

// Reads min(length, 255) bytes at `position` into `buffer` (256 bytes), terminates them
// and folds ASCII capitals to small letters.
bool readFoldedName(const IoOps& io, uint32_t stream, int32_t position, uint16_t length, char* buffer);
