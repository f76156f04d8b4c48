// celconv/text_reader.h -- reads a CSV or info file as text over a byte stream: a
// carriage return right before a line feed is dropped, everything else comes through
// as it is (so CR LF and LF files read alike on every platform, and a 0x1A byte is data).
// The reader never closes its stream.
#pragma once
#include <istream>
#include <string>

namespace celconv {

class TextReader {
public:
    explicit TextReader(std::istream& in) : in_(in) {}
    // The next character (0..255), or -1 at the end of the stream.
    int get();
    // The character get() would return next, without taking it.
    int peek();
    // Reads like fgets with a buffer of maxChars + 1: characters up to and including a
    // line feed, at most maxChars of them. Returns false (and an empty piece) only at
    // the end of the stream.
    bool readPiece(std::string& piece, int maxChars);
    // readPiece for CSV text, which may be UTF-8: reads whole characters (a valid UTF-8
    // sequence, else one byte) and counts each as the bytes it takes in the database,
    // stopping at a line feed or once `maxStoredChars` are counted, so a sequence is never
    // cut and the last one may pass the count by a few bytes. The piece holds the bytes as
    // read; `storedChars` receives the count. Returns false (and an empty piece) only at
    // the end of the stream. A Windows-1252 file reads exactly as with readPiece.
    bool readCharacters(std::string& piece, int maxStoredChars, int& storedChars);
    // Passes over the rest of the current line, its line feed included.
    void skipLine();
    // Passes over white space: bytes 0x09 to 0x0D and 0x20.
    void skipSpace();

private:
    int fetch();
    std::istream& in_;
    int pending_ = kNone;
    static constexpr int kNone = -2;
};

inline bool isSpaceByte(int c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

}  // namespace celconv
