// cli/json_stream.cpp -- see json_stream.h.
#include "cli/json_stream.h"

#include <charconv>

namespace {

constexpr size_t kBufferBytes = 1 << 16;

}  // namespace

JsonStream::JsonStream(std::FILE* out, int indent) : out_(out), indent_(indent) {
    buffer_.reserve(kBufferBytes + 256);
}

JsonStream::~JsonStream() { flush(); }

void JsonStream::put(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferBytes) flush();
}

bool JsonStream::flush() {
    if (!buffer_.empty() && !failed_ &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
        failed_ = true;
    buffer_.clear();
    return !failed_;
}

void JsonStream::newLine(size_t depth) {
    buffer_ += '\n';
    buffer_.append(depth * static_cast<size_t>(indent_), ' ');
}

// A member's value follows its key on the same line; an element takes a line of its own.
void JsonStream::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (members_.empty()) return;
    if (members_.back()++ > 0) buffer_ += ',';
    newLine(members_.size());
}

void JsonStream::key(std::string_view name) {
    beforeValue();
    writeString(name);
    put(": ");
    afterKey_ = true;
}

void JsonStream::beginObject() {
    beforeValue();
    put("{");
    members_.push_back(0);
}

void JsonStream::beginArray() {
    beforeValue();
    put("[");
    members_.push_back(0);
}

void JsonStream::end(char close) {
    const int64_t count = members_.back();
    members_.pop_back();
    if (count > 0) newLine(members_.size());
    put(std::string_view(&close, 1));
}

void JsonStream::endObject() { end('}'); }
void JsonStream::endArray() { end(']'); }

void JsonStream::value(int64_t number) {
    beforeValue();
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    put(std::string_view(digits, static_cast<size_t>(result.ptr - digits)));
}

void JsonStream::value(bool flag) {
    beforeValue();
    put(flag ? "true" : "false");
}

void JsonStream::value(std::string_view utf8) {
    beforeValue();
    writeString(utf8);
}

void JsonStream::writeString(std::string_view utf8) {
    // Plain text needs no escaping; the library escapes the rest as its dump does.
    bool plain = true;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    if (plain) {
        buffer_ += '"';
        buffer_.append(utf8);
        put("\"");
        return;
    }
    put(nlohmann::ordered_json(std::string(utf8))
            .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

void JsonStream::value(const nlohmann::ordered_json& small) {
    beforeValue();
    const std::string text = small.dump(indent_, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    // Strings in the dump hold no raw line breaks, so every one starts a line to indent.
    const std::string pad(members_.size() * static_cast<size_t>(indent_), ' ');
    size_t from = 0;
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', from)) {
        buffer_.append(text, from, at + 1 - from);
        buffer_ += pad;
        from = at + 1;
    }
    put(std::string_view(text).substr(from));
}
