// cli/json_stream.h -- writes one JSON document as it is produced, laid out exactly as
// nlohmann::json's dump with an indent (each member and element on its own line, "key":
// value with one space, empty containers as {} and []), so a document streamed here is
// byte for byte the one the whole-document dump would give. Only the open containers
// are remembered; text goes out through a fixed buffer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

class JsonStream {
public:
    // Writes to `out`, which stays the caller's; `indent` spaces a level.
    explicit JsonStream(std::FILE* out, int indent = 2);
    JsonStream(const JsonStream&) = delete;
    JsonStream& operator=(const JsonStream&) = delete;
    ~JsonStream();

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The name of the next member; the value follows with one of the calls here.
    void key(std::string_view name);
    void value(int64_t number);
    void value(bool flag);
    // Valid UTF-8 text; a byte that is not shows as U+FFFD.
    void value(std::string_view utf8);
    void value(const char* utf8) { value(std::string_view(utf8)); }
    void value(const std::string& utf8) { value(std::string_view(utf8)); }
    // A small document placed whole at this point, indented to its depth.
    void value(const nlohmann::ordered_json& small);

    // Hands everything written to the stream; false once any write failed.
    bool flush();

private:
    void beforeValue();
    void newLine(size_t depth);
    void put(std::string_view bytes);
    void writeString(std::string_view utf8);
    void end(char close);

    std::FILE* out_;
    int indent_;
    std::string buffer_;
    std::vector<int64_t> members_;  // per open container, the members or elements so far
    bool afterKey_ = false;
    bool failed_ = false;
};
