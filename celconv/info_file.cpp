// celconv/info_file.cpp -- see info_file.h.
#include "celconv/info_file.h"

#include <algorithm>

namespace celconv {

static const char kUnreadableNumber[] = "Error: missing or unreadable number in info file.\n";
static const char kBadFieldWidth[] = "Error: Invalid field width in info file.\n";
static const char kBadEditWidth[] = "Error: invalid editing data field width in info file.\n";
static const char kBadFirstColumn[] = "Error: invalid 'first show column' in info file.\n";
static const char kBadPasswordLock[] = "Error: invalid password lock entry in info file.\n";
static const char kPopupTooLong[] = "Error: maximum total popup list length exceeded\n";
static const char kPopupTooManyItems[] = "Error: popup list exceeds 100 items\n";

static int digitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Reads an integer after white space: optional sign, then decimal digits, 0x and
// hexadecimal digits, or 0 and octal digits. Every value is stored as a 16-bit word, so
// it must lie in -32768..65535 (65535 and -1 are the same word). Returns false when no
// number stands there or it does not fit the word.
static bool readInteger(TextReader& in, int16_t& value) {
    in.skipSpace();
    bool negative = false;
    if (in.peek() == '+' || in.peek() == '-') negative = in.get() == '-';
    if (digitValue(in.peek()) > 9) return false;
    int base = 10;
    if (in.peek() == '0') {
        in.get();
        base = 8;
        if (in.peek() == 'x' || in.peek() == 'X') {
            in.get();
            if (digitValue(in.peek()) >= 16) return false;
            base = 16;
        }
    }
    constexpr uint32_t kTooLarge = 65536;  // held there once passed, so it cannot wrap
    uint32_t magnitude = 0;
    while (digitValue(in.peek()) < base) {
        magnitude = std::min<uint32_t>(magnitude * base + digitValue(in.get()), kTooLarge);
    }
    if (magnitude > (negative ? 32768u : 65535u)) return false;
    if (negative) magnitude = 0u - magnitude;
    value = static_cast<int16_t>(static_cast<uint16_t>(magnitude));
    return true;
}

static bool readChecked(TextReader& in, int16_t& value, Reporter& reporter) {
    if (readInteger(in, value)) return true;
    reporter.error(kUnreadableNumber);
    return false;
}

// Text read from the file ends at a zero byte, as it would in the database.
static void cutAtZero(std::string& piece) {
    const size_t zero = piece.find('\0');
    if (zero != std::string::npos) piece.resize(zero);
}

static void readPassword(TextReader& in, CeldoAppInfo& appInfo) {
    std::string piece;
    in.readPiece(piece, kPasswordPieceChars);
    // A longer line keeps its first ten characters; the rest of it is not the lock entry.
    if (static_cast<int>(piece.size()) == kPasswordPieceChars && piece.back() != '\n') in.skipLine();
    cutAtZero(piece);
    if (!piece.empty()) piece.pop_back();  // normally the line end
    appInfo.password = piece == "none" ? std::string() : piece;
}

static bool readPopupLines(TextReader& in, CeldoAppInfo& appInfo, Reporter& reporter) {
    int total = 0;
    int itemCount = 0;
    bool lineWasSplit = false;
    std::string piece;
    while (in.readPiece(piece, kPopupPieceChars)) {
        const bool endsLine = piece.back() == '\n';
        // The line end left over from a line already split is no item of its own.
        const bool leftOverLineEnd = lineWasSplit && piece == "\n";
        lineWasSplit = !endsLine && static_cast<int>(piece.size()) == kPopupPieceChars;
        cutAtZero(piece);
        if (leftOverLineEnd || piece.empty()) continue;
        total += static_cast<int>(piece.size()) + 1;
        if (total > kMaxPopupTotal) {
            reporter.error(kPopupTooLong);
            return false;
        }
        if (piece.compare(0, 5, "popup") == 0) {
            itemCount = 0;
        } else if (++itemCount > kMaxPopupItems) {
            reporter.error(kPopupTooManyItems);
            return false;
        }
        if (piece.back() == '\n') piece.pop_back();
        appInfo.popupStrings.push_back(piece);
    }
    return true;
}

bool readInfoFile(TextReader& in, CeldoAppInfo& appInfo, int fieldCount, Reporter& reporter) {
    fieldCount = std::clamp(fieldCount, 0, kFieldSlots);
    for (int field = 0; field < fieldCount; ++field) {
        if (!readChecked(in, appInfo.fieldTypes[field], reporter)) return false;
    }
    for (int field = 0; field < fieldCount; ++field) {
        if (!readChecked(in, appInfo.fieldWidths[field], reporter)) return false;
        if (appInfo.fieldWidths[field] < 0 || appInfo.fieldWidths[field] > kMaxFieldWidth) {
            reporter.error(kBadFieldWidth);
            return false;
        }
    }
    if (!readChecked(in, appInfo.editFieldWidth, reporter)) return false;
    in.skipSpace();
    if (appInfo.editFieldWidth < 0 || appInfo.editFieldWidth > kMaxFieldWidth) {
        reporter.error(kBadEditWidth);
        return false;
    }
    if (!readChecked(in, appInfo.firstShowColumn, reporter)) return false;
    in.skipSpace();
    if (appInfo.firstShowColumn < 0 || appInfo.firstShowColumn > kMaxFirstShowColumn) {
        reporter.error(kBadFirstColumn);
        return false;
    }
    readPassword(in, appInfo);
    if (!readChecked(in, appInfo.passwordLock, reporter)) return false;
    in.skipSpace();
    if (appInfo.passwordLock < 0 || appInfo.passwordLock > 1) {
        reporter.error(kBadPasswordLock);
        return false;
    }
    appInfo.popupStrings.clear();
    return readPopupLines(in, appInfo, reporter);
}

bool writeInfoFile(std::ostream& out, const CeldoAppInfo& appInfo) {
    const int fieldCount = std::min<int>(appInfo.fieldCount, kFieldSlots);
    for (int field = 0; field < fieldCount; ++field) out << appInfo.fieldTypes[field] << ' ';
    out << "\r\n";
    for (int field = 0; field < fieldCount; ++field) out << appInfo.fieldWidths[field] << ' ';
    out << "\r\n";
    out << appInfo.editFieldWidth << " \r\n";
    out << appInfo.firstShowColumn << "\r\n";
    out << (appInfo.password.empty() ? std::string("none") : appInfo.password) << "\r\n";
    out << appInfo.passwordLock << "\r\n";
    for (const std::string& text : appInfo.popupStrings) {
        if (text.empty()) break;
        out << text << "\r\n";
    }
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace celconv
