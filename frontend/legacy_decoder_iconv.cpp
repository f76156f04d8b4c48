// frontend/legacy_decoder_iconv.cpp -- see legacy_decoder.h; the POSIX implementation on
// iconv (glibc's), decoding to UTF-32LE. The Windows build leaves this file out.
#include <errno.h>
#include <iconv.h>

#include "frontend/legacy_decoder.h"

namespace {

using E = TextEncoding;

// glibc's names for the encodings as browsers decode them: the Encoding Standard decodes
// gbk with the gb18030 decoder, euc-kr as Windows code page 949, shift_jis as Windows-31J,
// big5 with the HKSCS extensions, iso-8859-8-i as iso-8859-8 (they differ only in the
// order text is shown).
const char* iconvName(TextEncoding encoding) {
    switch (encoding) {
        case E::Ibm866: return "IBM866";
        case E::Iso8859_2: return "ISO-8859-2";
        case E::Iso8859_3: return "ISO-8859-3";
        case E::Iso8859_4: return "ISO-8859-4";
        case E::Iso8859_5: return "ISO-8859-5";
        case E::Iso8859_6: return "ISO-8859-6";
        case E::Iso8859_7: return "ISO-8859-7";
        case E::Iso8859_8:
        case E::Iso8859_8I: return "ISO-8859-8";
        case E::Iso8859_10: return "ISO-8859-10";
        case E::Iso8859_13: return "ISO-8859-13";
        case E::Iso8859_14: return "ISO-8859-14";
        case E::Iso8859_15: return "ISO-8859-15";
        case E::Iso8859_16: return "ISO-8859-16";
        case E::Koi8R: return "KOI8-R";
        case E::Koi8U: return "KOI8-U";
        case E::Macintosh: return "MACINTOSH";
        case E::Windows874: return "CP874";
        case E::Windows1250: return "CP1250";
        case E::Windows1251: return "CP1251";
        case E::Windows1253: return "CP1253";
        case E::Windows1254: return "CP1254";
        case E::Windows1255: return "CP1255";
        case E::Windows1256: return "CP1256";
        case E::Windows1257: return "CP1257";
        case E::Windows1258: return "CP1258";
        case E::XMacCyrillic: return "MAC-CYRILLIC";
        case E::Gbk:
        case E::Gb18030: return "GB18030";
        case E::Big5: return "BIG5-HKSCS";
        case E::EucJp: return "EUC-JP";
        case E::Iso2022Jp: return "ISO-2022-JP";
        case E::ShiftJis: return "CP932";
        case E::EucKr: return "CP949";
        default: return nullptr;
    }
}

class IconvDecoder : public LegacyDecoder {
public:
    explicit IconvDecoder(iconv_t converter) : converter_(converter) {}
    ~IconvDecoder() override { iconv_close(converter_); }
    IconvDecoder(const IconvDecoder&) = delete;
    IconvDecoder& operator=(const IconvDecoder&) = delete;

    size_t decode(const uint8_t* bytes, size_t length, bool final, uint32_t* out,
                  size_t outCapacity, size_t& consumed) override {
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
        size_t inLeft = length;
        size_t written = 0;
        // Keeps room for the U+FFFD of a failure after a full conversion step.
        while (inLeft > 0 && outCapacity - written > 1) {
            char* to = reinterpret_cast<char*>(out + written);
            size_t toLeft = (outCapacity - written - 1) * 4;
            const size_t result = iconv(converter_, &in, &inLeft, &to, &toLeft);
            const int error = result == static_cast<size_t>(-1) ? errno : 0;
            written = static_cast<size_t>(reinterpret_cast<uint32_t*>(to) - out);
            if (error == EILSEQ) {
                out[written++] = 0xFFFD;  // the byte is dropped and decoding goes on after it
                ++in;
                --inLeft;
            } else if (error == EINVAL) {
                if (!final) break;        // a cut sequence: it comes again with more bytes
                out[written++] = 0xFFFD;  // the end of the page cuts it for good
                in += inLeft;
                inLeft = 0;
            } else if (error == E2BIG) {
                break;
            }
        }
        for (size_t i = 0; i < written; ++i) out[i] = littleEndian(out[i]);
        consumed = length - inLeft;
        return written;
    }

private:
    static uint32_t littleEndian(uint32_t stored) {
        const auto* b = reinterpret_cast<const uint8_t*>(&stored);
        return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    }
    iconv_t converter_;
};

}  // namespace

std::unique_ptr<LegacyDecoder> makeLegacyDecoder(TextEncoding encoding) {
    const char* name = iconvName(encoding);
    if (name == nullptr) return nullptr;
    const iconv_t converter = iconv_open("UTF-32LE", name);
    if (converter == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return std::make_unique<IconvDecoder>(converter);
}
