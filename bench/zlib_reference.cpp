// bench/zlib_reference.cpp -- the yardstick of the end-to-end benchmark: deflates a
// file in independent 4096-byte chunks, raw (no zlib header), level 9, a 4096-byte
// window (window bits 12), the same framing the e-book compressor works in, and writes
// each chunk's output one after another. It reads and writes through stdio like the
// product. Benchmark-only; the product never links zlib.
//
// usage: zlib_reference SOURCE DEST   (prints the total input and output bytes)
#include <zlib.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kChunkBytes = 4096;

int fail(const char* what, const char* path) {
    std::fprintf(stderr, "zlib_reference: %s %s\n", what, path);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zlib_reference SOURCE DEST\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr) return fail("cannot open", argv[1]);
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) return fail("cannot create", argv[2]);

    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -12, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return fail("deflateInit2 failed for", argv[1]);
    unsigned char chunk[kChunkBytes];
    static unsigned char packed[kChunkBytes * 2];  // deflateBound of 4096 bytes is far less
    unsigned long long inBytes = 0, outBytes = 0;
    for (;;) {
        const size_t length = std::fread(chunk, 1, kChunkBytes, in);
        if (length == 0) break;
        deflateReset(&stream);  // every chunk stands alone, as on the handheld
        stream.next_in = chunk;
        stream.avail_in = static_cast<uInt>(length);
        stream.next_out = packed;
        stream.avail_out = sizeof packed;
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) return fail("deflate failed on", argv[1]);
        const size_t produced = sizeof packed - stream.avail_out;
        if (std::fwrite(packed, 1, produced, out) != produced) return fail("cannot write", argv[2]);
        inBytes += length;
        outBytes += produced;
    }
    deflateEnd(&stream);
    if (std::ferror(in) || std::fclose(in) != 0) return fail("cannot read", argv[1]);
    if (std::fclose(out) != 0) return fail("cannot write", argv[2]);
    std::printf("%llu %llu\n", inBytes, outBytes);
    return 0;
}
