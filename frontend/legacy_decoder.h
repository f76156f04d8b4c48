// frontend/legacy_decoder.h -- decoding the legacy encodings browsers know (ISO-8859-x,
// KOI8, the Windows and Mac code pages, Shift_JIS, EUC-JP, ISO-2022-JP, GBK, gb18030,
// Big5, EUC-KR) into code points with the platform's own well-kept converter: iconv on
// POSIX (legacy_decoder_iconv.cpp), MultiByteToWideChar on Windows
// (win32/legacy_decoder_win32.cpp). UTF-8, UTF-16, Windows-1252 and x-user-defined are
// decoded by decoding_io.cpp itself and never come here.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "frontend/text_encoding.h"

// Room a caller leaves in its code point buffer, at least, for one call.
inline constexpr size_t kLegacyMinimumOutput = 64;

// One stream's decoder; it keeps the state of stateful encodings (ISO-2022-JP) between
// calls, so each stream takes a decoder of its own.
class LegacyDecoder {
public:
    virtual ~LegacyDecoder() = default;
    // Decodes from `bytes` into `out` (room for `outCapacity` >= kLegacyMinimumOutput code
    // points) and returns how many it wrote; `consumed` gets the bytes used up. It stops
    // when `out` is nearly full or the bytes are used up, except that without `final` a
    // sequence cut at the end of `bytes` is left unconsumed, to come again in front of the
    // next bytes. With `final` every byte is consumed. A byte sequence the encoding does
    // not define becomes U+FFFD.
    virtual size_t decode(const uint8_t* bytes, size_t length, bool final, uint32_t* out,
                          size_t outCapacity, size_t& consumed) = 0;
};

// A fresh decoder for `encoding`, or nullptr when this platform cannot decode it.
std::unique_ptr<LegacyDecoder> makeLegacyDecoder(TextEncoding encoding);
