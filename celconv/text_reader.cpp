// celconv/text_reader.cpp -- see text_reader.h.
#include "celconv/text_reader.h"

namespace celconv {

int TextReader::fetch() {
    const int c = in_.get();
    if (c == std::char_traits<char>::eof()) return -1;
    if (c == '\r' && in_.peek() == '\n') {
        in_.get();
        return '\n';
    }
    return c;
}

int TextReader::get() {
    if (pending_ != kNone) {
        const int c = pending_;
        pending_ = kNone;
        return c;
    }
    return fetch();
}

int TextReader::peek() {
    if (pending_ == kNone) pending_ = fetch();
    return pending_;
}

bool TextReader::readPiece(std::string& piece, int maxChars) {
    piece.clear();
    while (static_cast<int>(piece.size()) < maxChars) {
        const int c = get();
        if (c < 0) break;
        piece.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !piece.empty();
}

void TextReader::skipLine() {
    for (int c = get(); c >= 0 && c != '\n'; c = get()) {
    }
}

void TextReader::skipSpace() {
    while (isSpaceByte(peek())) get();
}

}  // namespace celconv
