// cli/spill_sort.h -- sorts entries by a 64-bit key in bounded memory, keeping entries of
// equal keys in the order they came (a stable sort). Entries gather in a block; a full
// block is sorted and written to an unnamed temporary file, and the sorted blocks are
// merged as they are read back, a few entries of each at a time. Few entries never
// reach the disk. `Item` must be trivially copyable: it goes to the file as bytes.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <queue>
#include <type_traits>
#include <utility>
#include <vector>

template <typename Item>
class SpillSorter {
    static_assert(std::is_trivially_copyable_v<Item>, "entries are written as bytes");

public:
    struct Entry {
        uint64_t key;
        Item item;
    };
    // About 6 MB a block for entries of 24 bytes: a handful of sorters stay far below
    // the readers' memory bound, and even the largest database makes few blocks.
    static constexpr size_t kDefaultBlockEntries = 1 << 18;
    static constexpr size_t kReadEntries = 1024;  // read back from each block at a time

    explicit SpillSorter(size_t blockEntries = kDefaultBlockEntries)
        : blockEntries_(std::max<size_t>(1, blockEntries)) {}
    SpillSorter(const SpillSorter&) = delete;
    SpillSorter& operator=(const SpillSorter&) = delete;
    ~SpillSorter() {
        if (file_ != nullptr) std::fclose(file_);
    }

    // Adds an entry; false once the temporary file could not be made or written.
    bool add(uint64_t key, const Item& item) {
        if (failed_) return false;
        block_.push_back({key, item});
        if (block_.size() >= blockEntries_) spill();
        return !failed_;
    }
    // Ends the adding and starts the reading; false when the temporary file failed.
    bool finish() {
        if (!failed_ && file_ != nullptr && !block_.empty()) spill();
        if (failed_) return false;
        if (file_ == nullptr) {
            sortBlock();
            return true;
        }
        std::vector<Entry>().swap(block_);  // everything is on the disk now
        for (size_t b = 0; b < blocks_.size(); ++b)
            if (refill(b)) heads_.push({blocks_[b].buffer[0].key, b});
        return !failed_;
    }
    // The least entry not yet taken, or nullptr at the end (or after a read failed).
    const Entry* peek() const {
        if (file_ == nullptr) return next_ < block_.size() ? &block_[next_] : nullptr;
        if (heads_.empty()) return nullptr;
        const Block& block = blocks_[heads_.top().second];
        return &block.buffer[block.bufferNext];
    }
    void pop() {
        if (file_ == nullptr) {
            ++next_;
            return;
        }
        if (heads_.empty()) return;
        const size_t b = heads_.top().second;
        heads_.pop();
        Block& block = blocks_[b];
        if (++block.bufferNext < block.buffer.size() || refill(b))
            heads_.push({block.buffer[block.bufferNext].key, b});
    }
    bool failed() const { return failed_; }

private:
    struct Block {
        long offset;        // where its entries start in the file
        size_t count;       // entries in the block
        size_t read = 0;    // entries read back so far
        std::vector<Entry> buffer;
        size_t bufferNext = 0;
    };

    void sortBlock() {
        std::stable_sort(block_.begin(), block_.end(),
                         [](const Entry& a, const Entry& b) { return a.key < b.key; });
    }

    void spill() {
        if (file_ == nullptr) file_ = std::tmpfile();
        if (file_ == nullptr) {
            failed_ = true;
            return;
        }
        sortBlock();
        if (std::fseek(file_, 0, SEEK_END) != 0) failed_ = true;
        const long offset = failed_ ? -1 : std::ftell(file_);
        if (offset < 0 || std::fwrite(block_.data(), sizeof(Entry), block_.size(), file_) != block_.size())
            failed_ = true;
        blocks_.push_back({offset, block_.size(), 0, {}, 0});
        block_.clear();
    }

    // Reads the next entries of block `b`; false when it has none left or the read failed.
    bool refill(size_t b) {
        Block& block = blocks_[b];
        const size_t want = std::min(kReadEntries, block.count - block.read);
        block.buffer.resize(want);
        block.bufferNext = 0;
        if (want == 0 || failed_) return false;
        const long at = block.offset + static_cast<long>(block.read * sizeof(Entry));
        if (std::fseek(file_, at, SEEK_SET) != 0 ||
            std::fread(block.buffer.data(), sizeof(Entry), want, file_) != want) {
            failed_ = true;
            return false;
        }
        block.read += want;
        return true;
    }

    size_t blockEntries_;
    std::vector<Entry> block_;  // the block being filled; without a file, every entry
    size_t next_ = 0;           // without a file, the next entry of block_ to give
    std::FILE* file_ = nullptr;
    std::vector<Block> blocks_;
    // Each block's least entry not yet taken; equal keys go to the earlier block, which
    // holds the entries added first.
    std::priority_queue<std::pair<uint64_t, size_t>, std::vector<std::pair<uint64_t, size_t>>,
                        std::greater<>>
        heads_;
    bool failed_ = false;
};
