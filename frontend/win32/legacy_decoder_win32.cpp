// frontend/win32/legacy_decoder_win32.cpp -- see legacy_decoder.h; the Windows
// implementation on MultiByteToWideChar with the matching code page. That call keeps no
// state between calls, so each call ends where no character can be cut: after a byte
// below 0x30, which no multi-byte code page here uses inside a character (ISO-2022-JP
// after a line feed, since its two-byte characters use 0x21 to 0x7E and lines end in
// ASCII). Built into the front-end core for the Windows target only.
#include <windows.h>

#include <vector>

#include "frontend/legacy_decoder.h"

namespace {

using E = TextEncoding;

// The code pages for the encodings as browsers decode them (gbk with the gb18030
// decoder, euc-kr as 949, shift_jis as Windows-31J); 0 where Windows has none.
UINT codePageOf(TextEncoding encoding) {
    switch (encoding) {
        case E::Ibm866: return 866;
        case E::Iso8859_2: return 28592;
        case E::Iso8859_3: return 28593;
        case E::Iso8859_4: return 28594;
        case E::Iso8859_5: return 28595;
        case E::Iso8859_6: return 28596;
        case E::Iso8859_7: return 28597;
        case E::Iso8859_8: return 28598;
        case E::Iso8859_8I: return 38598;
        case E::Iso8859_13: return 28603;
        case E::Iso8859_15: return 28605;
        case E::Koi8R: return 20866;
        case E::Koi8U: return 21866;
        case E::Macintosh: return 10000;
        case E::Windows874: return 874;
        case E::Windows1250: return 1250;
        case E::Windows1251: return 1251;
        case E::Windows1253: return 1253;
        case E::Windows1254: return 1254;
        case E::Windows1255: return 1255;
        case E::Windows1256: return 1256;
        case E::Windows1257: return 1257;
        case E::Windows1258: return 1258;
        case E::XMacCyrillic: return 10007;
        case E::Gbk:
        case E::Gb18030: return 54936;
        case E::Big5: return 950;
        case E::EucJp: return 20932;
        case E::Iso2022Jp: return 50220;
        case E::ShiftJis: return 932;
        case E::EucKr: return 949;
        default: return 0;
    }
}

bool multiByte(UINT codePage) {
    CPINFO info{};
    return codePage == 50220 || (GetCPInfo(codePage, &info) && info.MaxCharSize > 1);
}

class Win32Decoder : public LegacyDecoder {
public:
    explicit Win32Decoder(UINT codePage) : codePage_(codePage), multiByte_(multiByte(codePage)) {}

    size_t decode(const uint8_t* bytes, size_t length, bool final, uint32_t* out,
                  size_t outCapacity, size_t& consumed) override {
        consumed = 0;
        // One byte gives at most one UTF-16 unit in these code pages.
        size_t window = length < outCapacity ? length : outCapacity;
        if (multiByte_ && (window < length || !final)) {
            size_t cut = window;
            while (cut > 0 && !safeEnd(bytes[cut - 1])) --cut;
            // A window with no safe end at all is decoded whole rather than never.
            if (cut == 0 && window == length && !final && length < 4096) return 0;
            if (cut > 0) window = cut;
        }
        if (window == 0) return 0;
        wide_.resize(window);
        const int units = MultiByteToWideChar(codePage_, 0, reinterpret_cast<const char*>(bytes),
                                              static_cast<int>(window), wide_.data(),
                                              static_cast<int>(window));
        size_t written = 0;
        for (int i = 0; i < units; ++i) {
            const uint32_t unit = static_cast<uint16_t>(wide_[static_cast<size_t>(i)]);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
                const uint32_t next = static_cast<uint16_t>(wide_[static_cast<size_t>(i) + 1]);
                if (next >= 0xDC00 && next <= 0xDFFF) {
                    out[written++] = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                    ++i;
                    continue;
                }
            }
            out[written++] = unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit;
        }
        if (units <= 0) out[written++] = 0xFFFD;  // the code page refused the bytes
        consumed = window;
        return written;
    }

private:
    bool safeEnd(uint8_t byte) const { return codePage_ == 50220 ? byte == '\n' : byte < 0x30; }

    UINT codePage_;
    bool multiByte_;
    std::vector<wchar_t> wide_;
};

}  // namespace

std::unique_ptr<LegacyDecoder> makeLegacyDecoder(TextEncoding encoding) {
    const UINT codePage = codePageOf(encoding);
    if (codePage == 0 || !IsValidCodePage(codePage)) return nullptr;
    return std::make_unique<Win32Decoder>(codePage);
}
