// frontend/decoding_io.cpp -- see decoding_io.h.
#include "frontend/decoding_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "driver/html_probes.h"
#include "engine/checked_io.h"
#include "frontend/forwarding_io.h"
#include "frontend/legacy_decoder.h"
#include "frontend/web_io.h"
#include "frontend/text_encoding.h"

namespace {

// Input is read and output written in chunks of this size; a stream never holds more.
constexpr int32_t kChunkBytes = 65536;
// Room kept after a chunk for what one character can become ("&#1114111;" is the longest)
// and for a sequence carried over to the next chunk.
constexpr int32_t kSlackBytes = 16;
constexpr size_t kCodePointRoom = 4096;  // the legacy decoders' output per call
// The source's first bytes decoded before the HTML test; the rest follows only when the
// test's answer is kept.
constexpr int32_t kSniffInputBytes = 65536;

enum class Form { Html, Text };

// What one page's characters became, kept apart until the page's decoding is the one the
// engine gets.
struct Tally {
    int64_t transliterated = 0;
    int64_t replaced = 0;
    std::vector<CharacterNote> noted;
};

// An ASCII letter folded, and "\" taken for "/", in the Windows flavour.
char comparable(char c, PathFlavor flavor) {
    if (flavor != PathFlavor::Windows) return c;
    if (c == '\\') return '/';
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithPath(std::string_view path, std::string_view prefix, PathFlavor flavor) {
    if (prefix.empty() || path.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (comparable(path[i], flavor) != comparable(prefix[i], flavor)) return false;
    return true;
}


// The byte of a "%XX" escape at `at`, or -1 when there is none or it must stay written.
int escapedByte(std::string_view text, size_t at) {
    if (at + 2 >= text.size() || text[at] != '%') return -1;
    const int high = hexDigitValue(text[at + 1]);
    const int low = hexDigitValue(text[at + 2]);
    if (high < 0 || low < 0) return -1;
    const int byte = high * 16 + low;
    if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == '\\') return -1;
    return byte;
}

// Appends bytes decoded by the UTF-8 rule as UTF-8.
void appendRuleThree(std::string& out, const std::string& bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t codePoint = 0;
        const int size = utf8Sequence(data + i, bytes.size() - i, codePoint);
        if (size <= 0) {
            appendCodePointUtf8(out, windows1252CodePoint(data[i]));
            ++i;
        } else {
            appendCodePointUtf8(out, codePoint);
            i += static_cast<size_t>(size);
        }
    }
}

// The stream's size, with the stream left at 0; -1 when unknown.
int32_t sizeOf(const IoOps& io, uint32_t handle) {
    const int32_t size = io.seekStream(io.userData, handle, 0, 2);
    if (size < 0 || io.seekStream(io.userData, handle, 0, 0) != 0) return -1;
    return size;
}

// An IoOps over the inner table for the engine's HTML test: it notes how far into the
// stream reads went, so that a test on a decoded prefix can tell whether the prefix
// decided it, and whether any call failed, since the test takes a failure for "no HTML".
struct ReadWatch {
    IoOps inner;
    uint32_t handle;
    int64_t size;
    int64_t position = 0;
    int64_t furthest = 0;
    bool failed = false;
};

ReadWatch& watchOf(void* userData) { return *static_cast<ReadWatch*>(userData); }

int32_t watchSeek(void* userData, uint32_t handle, int32_t offset, int32_t origin) {
    ReadWatch& watch = watchOf(userData);
    const int32_t result = watch.inner.seekStream(watch.inner.userData, handle, offset, origin);
    if (result < 0) watch.failed = true;
    else if (handle == watch.handle) watch.position = result;
    return result;
}

int32_t watchRead(void* userData, uint32_t handle, int32_t count, void* buffer) {
    ReadWatch& watch = watchOf(userData);
    const int32_t got = watch.inner.readStream(watch.inner.userData, handle, count, buffer);
    if (handle == watch.handle) {
        watch.position += std::max(got, 0);
        watch.furthest = std::max(watch.furthest, watch.position);
        if (got < count && watch.position < watch.size) watch.failed = true;
    }
    return got;
}

uint32_t watchOpen(void* userData, const char* path, int32_t mode) {
    const IoOps& inner = watchOf(userData).inner;
    return inner.openStream(inner.userData, path, mode);
}

int32_t watchClose(void* userData, uint32_t handle) {
    const IoOps& inner = watchOf(userData).inner;
    return inner.closeStream(inner.userData, handle);
}

int32_t watchWrite(void* userData, uint32_t handle, int32_t count, const void* buffer) {
    const IoOps& inner = watchOf(userData).inner;
    return inner.writeStream(inner.userData, handle, count, buffer);
}

uint32_t watchTemp(void* userData) {
    const IoOps& inner = watchOf(userData).inner;
    return inner.createTempStream(inner.userData);
}

void* watchAlloc(void* userData, int32_t byteCount) {
    ReadWatch& watch = watchOf(userData);
    void* block = watch.inner.allocBlock(watch.inner.userData, byteCount);
    if (block == nullptr) watch.failed = true;
    return block;
}

int32_t watchFree(void* userData, void* block) {
    const IoOps& inner = watchOf(userData).inner;
    return inner.freeBlock(inner.userData, block);
}

// The engine's HTML test on `handle` (of `size` bytes) from its start, with the page's
// name as the driver gives it, so both decide alike; nullopt when a call failed under
// it. `furthest` gets how far it read.
std::optional<bool> sniffHtml(const IoOps& io, uint32_t handle, int64_t size, const std::string& page,
                              int64_t* furthest = nullptr) {
    ReadWatch watch{io, handle, size};
    const IoOps ops{&watch,    watchOpen, watchClose, watchSeek,  watchRead,
                    watchWrite, watchTemp, watchAlloc, watchFree, nullptr};
    const bool html = isHtmlSource(ops, handle, page.c_str());
    if (furthest != nullptr) *furthest = watch.furthest;
    if (watch.failed) return std::nullopt;
    return html;
}

// Decodes one source stream into a new temporary stream of the inner table, in chunks.
// Everything it obtains is released by its destructor unless the target is taken.
class Transcoder {
public:
    Transcoder(const IoOps& io, uint32_t source, int32_t sourceSize, int32_t start,
               TextEncoding encoding, Form form)
        : io_(io), source_(source), size_(sourceSize), inputPosition_(start),
          encoding_(encoding), form_(form) {}
    Transcoder(const Transcoder&) = delete;
    Transcoder& operator=(const Transcoder&) = delete;
    ~Transcoder() {
        if (input_ != nullptr) io_.freeBlock(io_.userData, input_);
        if (output_ != nullptr) io_.freeBlock(io_.userData, output_);
        if (codePoints_ != nullptr) io_.freeBlock(io_.userData, codePoints_);
        if (target_ != 0) io_.closeStream(io_.userData, target_);
    }

    // Obtains the buffers, the legacy decoder it needs and the target stream.
    bool open() {
        if (encoding_ != TextEncoding::Utf8 && encoding_ != TextEncoding::Utf16Le &&
            encoding_ != TextEncoding::Utf16Be && encoding_ != TextEncoding::XUserDefined) {
            legacy_ = makeLegacyDecoder(encoding_);
            if (legacy_ == nullptr) return false;
            codePoints_ = static_cast<uint32_t*>(
                io_.allocBlock(io_.userData, static_cast<int32_t>(kCodePointRoom * sizeof(uint32_t))));
            if (codePoints_ == nullptr) return false;
        }
        input_ = static_cast<uint8_t*>(io_.allocBlock(io_.userData, kChunkBytes + kSlackBytes));
        output_ = static_cast<uint8_t*>(io_.allocBlock(io_.userData, kChunkBytes + kSlackBytes));
        if (input_ == nullptr || output_ == nullptr) return false;
        target_ = io_.createTempStream(io_.userData);
        return target_ != 0;
    }

    // Decodes the source up to byte `limit` (clamped to its size); at the size, or at
    // `limit` with `cutAtLimit`, a sequence broken off there is decoded as it stands.
    // The target is written from where this run left it. False on any I/O failure or an
    // output beyond what 32-bit positions reach.
    bool run(int32_t limit, bool cutAtLimit) {
        limit = std::min(limit, size_);
        if (!seekExact(io_, target_, static_cast<int32_t>(written_))) return false;
        if (inputPosition_ < limit && !seekExact(io_, source_, inputPosition_)) return false;
        while (inputPosition_ < limit || pending_ > 0) {
            const int32_t count = std::min(kChunkBytes - pending_, limit - inputPosition_);
            if (count > 0 && !readExact(io_, source_, input_ + pending_, count)) return false;
            inputPosition_ += std::max(count, 0);
            const int32_t available = pending_ + std::max(count, 0);
            const bool final = inputPosition_ >= size_ || (cutAtLimit && inputPosition_ >= limit);
            const size_t used = decode(input_, static_cast<size_t>(available), final);
            if (failed_) return false;
            pending_ = available - static_cast<int32_t>(used);
            if (pending_ > 0) std::memmove(input_, input_ + used, static_cast<size_t>(pending_));
            if (inputPosition_ >= limit && !final) break;  // the rest comes with the next run
            if (final && pending_ > 0) return false;       // cannot happen: final uses all
        }
        return flush();
    }

    bool finished() const { return inputPosition_ >= size_ && pending_ == 0; }
    int64_t written() const { return written_; }
    uint32_t target() const { return target_; }
    // Hands the target over to the caller, at its start.
    uint32_t takeTarget() {
        const uint32_t target = target_;
        target_ = 0;
        return target;
    }
    Tally& tally() { return tally_; }

private:
    size_t decode(const uint8_t* bytes, size_t length, bool final) {
        switch (encoding_) {
            case TextEncoding::Utf8: return decodeUtf8(bytes, length, final);
            case TextEncoding::Utf16Le: return decodeUtf16(bytes, length, final, false);
            case TextEncoding::Utf16Be: return decodeUtf16(bytes, length, final, true);
            case TextEncoding::XUserDefined: return decodeUserDefined(bytes, length);
            default: return decodeLegacy(bytes, length, final);
        }
    }

    // Valid UTF-8 sequences are characters; any other byte is its Windows-1252 self.
    size_t decodeUtf8(const uint8_t* bytes, size_t length, bool final) {
        size_t at = 0;
        while (at < length) {
            size_t run = at;
            // Eight bytes at a time while all are ASCII, then byte by byte.
            uint64_t word = 0;
            while (run + 8 <= length) {
                std::memcpy(&word, bytes + run, 8);
                if ((word & 0x8080808080808080ULL) != 0) break;
                run += 8;
            }
            while (run < length && bytes[run] < 0x80) ++run;
            if (run > at) {
                emitBytes(bytes + at, run - at);
                at = run;
                if (at == length) break;
            }
            uint32_t codePoint = 0;
            int size = utf8Sequence(bytes + at, length - at, codePoint);
            if (size < 0) {
                if (!final) break;  // cut at the chunk's end: decided with the next bytes
                size = 0;
            }
            if (size == 0) {
                emitByte(bytes[at]);
                ++at;
            } else {
                emitCharacter(codePoint);
                at += static_cast<size_t>(size);
            }
        }
        return at;
    }

    size_t decodeUtf16(const uint8_t* bytes, size_t length, bool final, bool bigEndian) {
        const auto unit = [&](size_t at) -> uint32_t {
            return bigEndian ? uint32_t{bytes[at]} << 8 | bytes[at + 1]
                             : uint32_t{bytes[at + 1]} << 8 | bytes[at];
        };
        size_t at = 0;
        while (at + 2 <= length) {
            const uint32_t first = unit(at);
            if (first >= 0xD800 && first <= 0xDBFF) {
                if (at + 4 > length) {
                    if (!final) break;
                    emitCharacter(0xFFFD);  // a high surrogate at the very end
                    at += 2;
                    continue;
                }
                const uint32_t second = unit(at + 2);
                if (second >= 0xDC00 && second <= 0xDFFF) {
                    emitCharacter(0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
                    at += 4;
                    continue;
                }
                emitCharacter(0xFFFD);  // unpaired; the next unit is read on its own
                at += 2;
                continue;
            }
            emitCharacter(first >= 0xDC00 && first <= 0xDFFF ? 0xFFFD : first);
            at += 2;
        }
        if (final && at < length) {
            emitCharacter(0xFFFD);  // an odd byte at the end
            at = length;
        }
        return at;
    }

    // The Encoding Standard's x-user-defined: upper bytes are U+F780 to U+F7FF.
    size_t decodeUserDefined(const uint8_t* bytes, size_t length) {
        for (size_t at = 0; at < length; ++at) {
            if (bytes[at] < 0x80) emitByte(bytes[at]);
            else emitCharacter(0xF780u + bytes[at] - 0x80u);
        }
        return length;
    }

    size_t decodeLegacy(const uint8_t* bytes, size_t length, bool final) {
        size_t at = 0;
        for (;;) {
            size_t consumed = 0;
            const size_t count =
                legacy_->decode(bytes + at, length - at, final, codePoints_, kCodePointRoom, consumed);
            for (size_t i = 0; i < count; ++i) emitCharacter(codePoints_[i]);
            at += consumed;
            if (at >= length || (count == 0 && consumed == 0)) break;
        }
        return at;
    }

    void emitByte(uint8_t byte) {
        if (fill_ >= kChunkBytes) flush();
        output_[fill_++] = byte;
    }

    void emitBytes(const uint8_t* bytes, size_t length) {
        while (length > 0) {
            if (fill_ >= kChunkBytes) flush();
            const size_t room = static_cast<size_t>(kChunkBytes + kSlackBytes - fill_);
            const size_t part = std::min(room, length);
            std::memcpy(output_ + fill_, bytes, part);
            fill_ += static_cast<int32_t>(part);
            bytes += part;
            length -= part;
        }
    }

    void emitCharacter(uint32_t codePoint) {
        if (codePoint < 0x80) {
            emitByte(static_cast<uint8_t>(codePoint));
            return;
        }
        const int32_t byte = windows1252Byte(codePoint);
        if (byte >= 0) {
            emitByte(static_cast<uint8_t>(byte));
            return;
        }
        const HandheldText text = handheldText(codePoint);
        if (text.form == HandheldForm::Replaced) ++tally_.replaced;
        else ++tally_.transliterated;
        note(codePoint, text);
        if (fill_ >= kChunkBytes) flush();
        bool onlySpaces = text.length > 0;
        for (int i = 0; i < text.length; ++i) onlySpaces = onlySpaces && text.bytes[i] == ' ';
        if (form_ == Form::Text || text.form != HandheldForm::Transliterated || onlySpaces) {
            // Nothing, spaces or "?" can never become markup, so pages take them as text
            // too; the HTML reader would make the same of their references.
            std::memcpy(output_ + fill_, text.bytes, text.length);
            fill_ += text.length;
            return;
        }
        char reference[kSlackBytes];
        const int length = std::snprintf(reference, sizeof reference, "&#%u;", codePoint);
        std::memcpy(output_ + fill_, reference, static_cast<size_t>(length));
        fill_ += length;
    }

    void note(uint32_t codePoint, const HandheldText& text) {
        if (tally_.noted.size() >= kNotedCharacters) return;
        for (const CharacterNote& noted : tally_.noted)
            if (noted.codePoint == codePoint) return;
        tally_.noted.push_back({codePoint, text.form, std::string(text.bytes, text.length), {}});
    }

    // After a failure output is dropped, so the buffer never overflows while the chunk
    // being decoded runs to its end.
    bool flush() {
        if (fill_ > 0 && !failed_) {
            if (written_ + fill_ > std::numeric_limits<int32_t>::max() ||
                !writeExact(io_, target_, output_, fill_))
                failed_ = true;
            else
                written_ += fill_;
        }
        fill_ = 0;
        return !failed_;
    }

    const IoOps& io_;
    uint32_t source_;
    int32_t size_;
    int32_t inputPosition_;
    TextEncoding encoding_;
    Form form_;
    std::unique_ptr<LegacyDecoder> legacy_;
    uint8_t* input_ = nullptr;
    uint8_t* output_ = nullptr;
    uint32_t* codePoints_ = nullptr;
    uint32_t target_ = 0;
    int32_t pending_ = 0;  // bytes carried at the front of input_
    int32_t fill_ = 0;     // bytes waiting in output_
    int64_t written_ = 0;
    bool failed_ = false;
    Tally tally_;
};

// Whether the UTF-8 rule changes anything in bytes [start, end) of the stream: true at
// the first valid multi-byte sequence. nullopt when the stream could not be read.
std::optional<bool> holdsUtf8(const IoOps& io, uint32_t handle, int32_t start, int32_t end) {
    uint8_t chunk[4096 + 4];
    int32_t carried = 0;
    if (!seekExact(io, handle, start)) return std::nullopt;
    for (int32_t position = start; position < end || carried > 0;) {
        const int32_t count = std::min<int32_t>(4096, end - position);
        if (count > 0 && !readExact(io, handle, chunk + carried, count)) return std::nullopt;
        position += std::max(count, 0);
        const size_t length = static_cast<size_t>(carried + std::max(count, 0));
        carried = 0;
        for (size_t at = 0; at < length; ++at) {
            if (chunk[at] < 0x80) continue;
            uint32_t codePoint = 0;
            const int size = utf8Sequence(chunk + at, length - at, codePoint);
            if (size > 1) return true;
            if (size < 0 && position < end) {
                carried = static_cast<int32_t>(length - at);
                std::memmove(chunk, chunk + at, static_cast<size_t>(carried));
                break;
            }
        }
    }
    return false;
}

DecodingIo& stateOf(void* userData) { return *static_cast<DecodingIo*>(userData); }

void commitTally(DecodingIo& state, const std::string& page, Tally& tally) {
    if (!state.countedPages.insert(page).second) return;
    state.transliterated += tally.transliterated;
    state.replaced += tally.replaced;
    for (CharacterNote& note : tally.noted) {
        if (state.noted.size() >= kNotedCharacters) break;
        const bool known = std::any_of(state.noted.begin(), state.noted.end(),
                                       [&](const CharacterNote& n) { return n.codePoint == note.codePoint; });
        if (known) continue;
        note.page = page;
        state.noted.push_back(std::move(note));
    }
}

void noteUndecodable(DecodingIo& state, const std::string& page, TextEncoding encoding) {
    // Once per page, and only the first few: the rest of a site says the same.
    if (state.undecodable.size() >= kNotedCharacters) return;
    for (const EncodingNote& note : state.undecodable)
        if (note.page == page) return;
    state.undecodable.push_back({page, encodingName(encoding)});
}

// How the driver tells a PalmDoc source: creator "REAd" in the database header.
constexpr int32_t kDatabaseHeaderSize = 78;
constexpr int kCreatorOffset = 64;  // type at 60, creator at 64, 4 bytes each
constexpr char kDocCreator[4] = {'R', 'E', 'A', 'd'};

// Whether pages in `encoding` can be decoded here; the replacement encoding stands for
// labels browsers refuse to decode, and it is never tried.
bool decodable(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
        case TextEncoding::XUserDefined:
        case TextEncoding::Windows1252: return true;
        case TextEncoding::Replacement: return false;
        default: return makeLegacyDecoder(encoding) != nullptr;
    }
}

// What to do with one opened stream.
struct Plan {
    bool passThrough = true;
    TextEncoding encoding = TextEncoding::Utf8;
    int32_t start = 0;  // bytes of a byte-order mark skipped
};

// Decodes the whole stream into a temporary one; 0 on failure, with everything released.
uint32_t transcodeWhole(DecodingIo& state, uint32_t source, int32_t size, const Plan& plan,
                        Form form, const std::string& page, int32_t limit) {
    Transcoder transcoder(state.inner, source, size, plan.start, plan.encoding, form);
    if (!transcoder.open() || !transcoder.run(limit, true)) return 0;
    if (!seekExact(state.inner, transcoder.target(), 0)) return 0;
    commitTally(state, page, transcoder.tally());
    return transcoder.takeTarget();
}

// The source: decoded for an HTML page when the engine's test finds HTML in the decoded
// form, else for text (unless `textWanted` is false: then `result` stays 0). The test
// runs on a decoded prefix first; only when it read to the prefix's end is the whole
// page decoded before it is asked. False on failure, with everything released.
bool transcodeSource(DecodingIo& state, uint32_t source, int32_t size, const Plan& plan,
                     const std::string& page, bool textWanted, uint32_t& result) {
    const IoOps& io = state.inner;
    result = 0;
    {
        Transcoder transcoder(io, source, size, plan.start, plan.encoding, Form::Html);
        if (!transcoder.open() || !transcoder.run(kSniffInputBytes, false)) return false;
        int64_t furthest = 0;
        std::optional<bool> html = sniffHtml(io, transcoder.target(), transcoder.written(), page, &furthest);
        if (html && !transcoder.finished() && furthest >= transcoder.written()) {
            if (!transcoder.run(size, true)) return false;
            html = sniffHtml(io, transcoder.target(), transcoder.written(), page);
        }
        if (!html) return false;
        if (*html) {
            if (!transcoder.run(size, true) || !seekExact(io, transcoder.target(), 0)) return false;
            commitTally(state, page, transcoder.tally());
            result = transcoder.takeTarget();
            return true;
        }
    }
    if (!textWanted) return true;
    result = transcodeWhole(state, source, size, plan, Form::Text, page, size);
    return result != 0;
}

// Decides what the engine gets for the stream just opened at `handle` (the file at
// `page`): the handle itself, at 0, or a temporary stream with the decoded page, the
// handle then closed. 0 on failure, with the handle closed.
uint32_t present(DecodingIo& state, uint32_t handle, bool isSource, const std::string& page) {
    const IoOps& io = state.inner;
    const int32_t size = sizeOf(io, handle);
    if (size == 0) return handle;
    if (size < 0) {
        // A page that cannot be measured cannot be read by the engine either.
        io.closeStream(io.userData, handle);
        return 0;
    }
    const int32_t limit = state.prefixBytes > 0 ? std::min(state.prefixBytes, size) : size;
    uint8_t head[kPrescanBytes];
    const int32_t headLength = std::min<int32_t>(size, static_cast<int32_t>(kPrescanBytes));
    if (!seekExact(io, handle, 0) || !readExact(io, handle, head, headLength)) {
        io.closeStream(io.userData, handle);
        return 0;
    }
    // PalmDoc text is Windows-1252 by the format's convention.
    if (isSource && headLength >= kDatabaseHeaderSize &&
        std::memcmp(head + kCreatorOffset, kDocCreator, sizeof kDocCreator) == 0)
        return seekExact(io, handle, 0) ? handle : (io.closeStream(io.userData, handle), 0u);

    Plan plan;
    // Whether a declaration applies depends, for the source, on whether it is HTML.
    bool declarationChosen = false;
    if (state.encoding) {
        plan.encoding = *state.encoding;
    } else if (const std::optional<ByteOrderMark> mark = findByteOrderMark(head, static_cast<size_t>(headLength))) {
        plan.encoding = mark->encoding;
        plan.start = mark->length;
    } else if (const std::optional<TextEncoding> sent =
                   state.transportEncoding ? state.transportEncoding() : std::nullopt) {
        plan.encoding = *sent;  // what the server said goes before the page's own words, as in browsers
    } else if (const std::optional<TextEncoding> declared = prescanEncoding(head, static_cast<size_t>(headLength))) {
        plan.encoding = *declared;
        declarationChosen = true;
    }

    // For the source a declaration counts only when the engine will take it for a page.
    std::optional<bool> declarationCounts = true;
    if (declarationChosen && isSource && state.prefixBytes == 0 &&
        (plan.encoding == TextEncoding::Windows1252 || !decodable(plan.encoding)))
        declarationCounts = sniffHtml(io, handle, size, page);
    uint32_t result = 0;
    bool decided = !declarationCounts;  // a failed test fails the open
    if (decided) {
        result = 0;
    } else if (plan.encoding == TextEncoding::Windows1252) {
        if (*declarationCounts) {
            result = handle;
            decided = true;
        }
        plan.encoding = TextEncoding::Utf8;  // a text's declaration means nothing
    } else if (!decodable(plan.encoding)) {
        // Neither decodable here nor refused with reason: the UTF-8 rule loses nothing.
        if (*declarationCounts) noteUndecodable(state, page, plan.encoding);
        plan.encoding = TextEncoding::Utf8;
    } else if (plan.encoding != TextEncoding::Utf8) {
        if (!isSource || state.prefixBytes > 0) {
            result = transcodeWhole(state, handle, size, plan, Form::Html, page, limit);
            decided = true;
        } else {
            // A declaration in a text is no declaration: then the UTF-8 rule decides.
            const bool done =
                transcodeSource(state, handle, size, plan, page, !declarationChosen, result);
            decided = !done || result != 0;
            plan.encoding = TextEncoding::Utf8;
        }
    }

    if (!decided) {
        const std::optional<bool> utf8 = holdsUtf8(io, handle, plan.start, limit);
        if (!utf8) {
            result = 0;
        } else if (!*utf8 && plan.start == 0) {
            result = handle;  // exactly today's bytes
        } else if (!isSource || state.prefixBytes > 0) {
            result = transcodeWhole(state, handle, size, plan, Form::Html, page, limit);
        } else {
            transcodeSource(state, handle, size, plan, page, true, result);
        }
    }

    if (result == handle) {
        if (seekExact(io, handle, 0)) return handle;
        result = 0;
    }
    io.closeStream(io.userData, handle);
    return result;
}

uint32_t openDecoded(void* userData, const char* path, int32_t mode) {
    DecodingIo& state = stateOf(userData);
    const IoOps& inner = state.inner;
    if (mode != 0 || path == nullptr) return inner.openStream(inner.userData, path, mode);
    const bool isSource = state.engineSourcePath == path;
    std::string real = realPathFor(state, path);
    uint32_t handle = inner.openStream(inner.userData, real.c_str(), 0);
    // A name whose "%" was meant literally, or a file named in the page's own bytes.
    if (handle == 0 && !isSource && state.files != nullptr &&
        state.files->lookup(real) == PathLookup::Missing) {
        for (std::string other : {windows1252ToUtf8(path), std::string(path)}) {
            if (other == real || state.files->lookup(other) == PathLookup::Missing) continue;
            real = std::move(other);
            handle = inner.openStream(inner.userData, real.c_str(), 0);
            break;
        }
    }
    if (handle == 0) return 0;
    return present(state, handle, isSource, real);
}

// Page names reach the front end by their real names.
int32_t reportDecoded(void* userData, int32_t stage, void* argument) {
    DecodingIo& state = stateOf(userData);
    const IoOps& inner = state.inner;
    if (stage == StageCurrentPage && argument != nullptr) {
        state.reportedPage = realPathFor(state, static_cast<const char*>(argument));
        argument = state.reportedPage.data();
    }
    return inner.reportProgress(inner.userData, stage, argument);
}

}  // namespace

void prepareDecodingIo(DecodingIo& state, const IoOps& inner, const FileSystem* files,
                       PathFlavor flavor, const std::string& realSourcePath,
                       std::optional<TextEncoding> encoding) {
    state.inner = inner;
    state.files = files;
    state.flavor = flavor;
    state.encoding = encoding;
    state.realSourcePath = realSourcePath;
    state.engineSourcePath = engineFormOfPath(realSourcePath);
    const size_t slash = realSourcePath.rfind('/');
    state.realFolder = slash == std::string::npos ? std::string() : realSourcePath.substr(0, slash + 1);
    const size_t engineSlash = state.engineSourcePath.rfind('/');
    state.engineFolder = engineSlash == std::string::npos
                             ? std::string()
                             : state.engineSourcePath.substr(0, engineSlash + 1);
    state.transliterated = 0;
    state.replaced = 0;
    state.noted.clear();
    state.undecodable.clear();
    state.countedPages.clear();
}

IoOps decodingIoOps(DecodingIo& state) {
    IoOps ops = forwardingIoOps(state);
    ops.openStream = &openDecoded;
    if (ops.reportProgress != nullptr) ops.reportProgress = &reportDecoded;
    return ops;
}

std::string engineFormOfPath(std::string_view realPath) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(realPath.data());
    std::string plain;
    bool escaped = false;
    for (size_t i = 0; i < realPath.size();) {
        uint32_t codePoint = 0;
        const int size = utf8Sequence(bytes + i, realPath.size() - i, codePoint);
        if (size <= 0) {
            plain += static_cast<char>(bytes[i]);  // no UTF-8: the byte is its own character
            ++i;
            continue;
        }
        const int32_t byte = windows1252Byte(codePoint);
        if (byte < 0) escaped = true;
        else plain += static_cast<char>(byte);
        i += static_cast<size_t>(size);
    }
    if (!escaped) return plain;
    static const char kHex[] = "0123456789ABCDEF";
    std::string form;
    for (size_t i = 0; i < realPath.size();) {
        uint32_t codePoint = 0;
        const int size = utf8Sequence(bytes + i, realPath.size() - i, codePoint);
        const int32_t byte = size > 0 ? windows1252Byte(codePoint) : bytes[i];
        if (byte >= 0 && byte != '%') {
            form += static_cast<char>(byte);
        } else {
            for (int k = 0; k < std::max(size, 1); ++k) {
                form += '%';
                form += kHex[bytes[i + static_cast<size_t>(k)] >> 4];
                form += kHex[bytes[i + static_cast<size_t>(k)] & 15];
            }
        }
        i += static_cast<size_t>(std::max(size, 1));
    }
    return form;
}

std::string realPathFor(const DecodingIo& state, std::string_view enginePath) {
    if (enginePath == state.engineSourcePath) return state.realSourcePath;
    // An address keeps its escapes: a server tells "a%26b" from "a&b".
    if (isWebAddress(std::string(enginePath))) return windows1252ToUtf8(enginePath);
    if (startsWithPath(enginePath, state.engineFolder, state.flavor))
        return state.realFolder + decodeEnginePath(enginePath.substr(state.engineFolder.size()));
    return decodeEnginePath(enginePath);
}

std::string decodeEnginePath(std::string_view enginePath) {
    std::string out;
    out.reserve(enginePath.size());
    for (size_t i = 0; i < enginePath.size();) {
        if (escapedByte(enginePath, i) < 0) {
            appendCodePointUtf8(out, windows1252CodePoint(static_cast<uint8_t>(enginePath[i])));
            ++i;
            continue;
        }
        std::string run;  // consecutive escapes make one UTF-8 sequence or more
        for (int byte; (byte = escapedByte(enginePath, i)) >= 0; i += 3) run += static_cast<char>(byte);
        appendRuleThree(out, run);
    }
    return out;
}

std::string characterCountMessage(int64_t transliterated, int64_t replaced) {
    const auto characters = [](int64_t count) {
        return std::to_string(count) + (count == 1 ? " character was " : " characters were ");
    };
    if (transliterated > 0 && replaced > 0)
        return characters(transliterated) + "transliterated, " + std::to_string(replaced) +
               " replaced by ?";
    if (transliterated > 0) return characters(transliterated) + "transliterated";
    if (replaced > 0) return characters(replaced) + "replaced by ?";
    return {};
}

std::string describeCharacter(const CharacterNote& note) {
    std::string text;
    // A control character would act on the terminal rather than show.
    const bool control = note.codePoint < 0xA0;
    if (!control) appendCodePointUtf8(text, note.codePoint);
    char code[16];
    std::snprintf(code, sizeof code, control ? "U+%04X " : " U+%04X ", note.codePoint);
    text += code;
    if (note.form == HandheldForm::Removed) text += "was removed";
    else if (note.form == HandheldForm::Replaced) text += "became ?";
    else text += "became \"" + note.became + "\"";
    return text + " in " + note.page;
}
