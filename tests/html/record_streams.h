// tests/html/record_streams.h -- a zeroed HtmlContext over four in-memory temporary
// streams (and the page table link resolution may add), behind a CountingIo, for the tests of the page, link and layout records.
// The context is set up as the pass driver leaves it before the first page.
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "html/html_context.h"
#include "html/link_resolution.h"
#include "html/page_records.h"
#include "tests/support/counting_io.h"
#include "tests/support/memory_io.h"

class RecordStreams {
public:
    RecordStreams() : counting_(memory_.ops()), context_(std::make_unique<HtmlContext>()) {
        const IoOps& io = counting_.ops();
        HtmlContext& c = *context_;
        c.io = &io;
        c.styleStream = io.createTempStream(io.userData);
        c.linkStream = io.createTempStream(io.userData);
        c.pageStream = io.createTempStream(io.userData);
        c.layoutStream = io.createTempStream(io.userData);
        c.linkStart = -1;
        c.currentPage = -1;
        c.lastPage = 0xFFFFFFFF;
        c.lastNamePos = 0xFFFFFFFF;
        c.lastNameRecord = 0xFFFFFFFF;
    }
    RecordStreams(const RecordStreams&) = delete;
    RecordStreams& operator=(const RecordStreams&) = delete;
    ~RecordStreams() { closeStreams(); }

    HtmlContext& context() { return *context_; }
    CountingIo& counting() { return counting_; }
    const IoOps& io() const { return counting_.ops(); }
    std::vector<uint8_t> bytes(uint32_t stream) const { return memory_.bytesOfHandle(stream); }

    // A further temporary stream that closeStreams also closes.
    uint32_t extraStream() {
        const uint32_t stream = io().createTempStream(io().userData);
        extra_.push_back(stream);
        return stream;
    }

    // Closes every stream the fixture made, once, so a test can check nothing is held.
    void closeStreams() {
        HtmlContext& c = *context_;
        releaseLinkIndex(c);
        for (uint32_t* stream : {&c.styleStream, &c.linkStream, &c.pageStream, &c.layoutStream}) {
            if (*stream != 0) io().closeStream(io().userData, *stream);
            *stream = 0;
        }
        for (uint32_t stream : extra_)
            if (stream != 0) io().closeStream(io().userData, stream);
        extra_.clear();
    }

    // Record readers for assertions.
    template <typename Record>
    Record recordAt(uint32_t stream, int32_t offset) const {
        const std::vector<uint8_t> data = bytes(stream);
        Record record{};
        if (offset >= 0 && static_cast<size_t>(offset) + sizeof record <= data.size())
            std::memcpy(&record, data.data() + offset, sizeof record);
        return record;
    }
    std::string textAt(uint32_t stream, int32_t offset, int32_t length) const {
        const std::vector<uint8_t> data = bytes(stream);
        if (offset < 0 || static_cast<size_t>(offset) + length > data.size()) return "<out of range>";
        return std::string(data.begin() + offset, data.begin() + offset + length);
    }

private:
    MemoryIo memory_;
    CountingIo counting_;
    std::unique_ptr<HtmlContext> context_;
    std::vector<uint32_t> extra_;
};

// Little-endian field builders for expected record bytes.
inline void appendLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void appendText(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}
