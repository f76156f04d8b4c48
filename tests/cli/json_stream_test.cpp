// tests/cli/json_stream_test.cpp -- the streaming JSON writer gives, byte for byte, what
// the library's dump with an indent of 2 gives for the same document, whatever its
// shape, and says so when its stream refuses the bytes.
#include "cli/json_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using nlohmann::ordered_json;

// Streams `document` member by member; containers at `embedDepth` go whole through
// value(ordered_json) instead.
void stream(JsonStream& out, const ordered_json& document, int depth, int embedDepth) {
    if (document.is_structured() && depth == embedDepth) {
        out.value(document);
        return;
    }
    if (document.is_object()) {
        out.beginObject();
        for (const auto& [name, member] : document.items()) {
            out.key(name);
            stream(out, member, depth + 1, embedDepth);
        }
        out.endObject();
    } else if (document.is_array()) {
        out.beginArray();
        for (const auto& element : document) stream(out, element, depth + 1, embedDepth);
        out.endArray();
    } else if (document.is_boolean()) {
        out.value(document.get<bool>());
    } else if (document.is_string()) {
        out.value(document.get_ref<const std::string&>());
    } else {
        out.value(document.get<int64_t>());
    }
}

std::string streamed(const ordered_json& document, int embedDepth = -1) {
    std::FILE* file = std::tmpfile();
    EXPECT_NE(nullptr, file);
    if (file == nullptr) return {};
    {
        JsonStream out(file);
        stream(out, document, 0, embedDepth);
        EXPECT_TRUE(out.flush());
    }
    std::string bytes(static_cast<size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    EXPECT_EQ(bytes.size(), std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

std::string dumped(const ordered_json& document) {
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

TEST(JsonStream, LaysOutEveryShapeAsTheLibraryDoes) {
    const ordered_json document = ordered_json::parse(R"({
        "file": "a\"b\\c\u0001\n\t/é→",
        "size": 4714584, "negative": -7, "zero": 0, "yes": true, "no": false,
        "emptyObject": {}, "emptyArray": [],
        "flags": [0, 0, 1, 0],
        "nested": {"records": [{"index": 1, "runs": [], "style": {"flags": ["bold"]}},
                               {"index": 2, "runs": [{"start": 0}], "more": [[], [[]], {}]}]},
        "last": "x"
    })");
    const std::string expected = dumped(document);
    EXPECT_EQ(expected, streamed(document)) << "member by member";
    for (int depth = 0; depth <= 4; ++depth)
        EXPECT_EQ(expected, streamed(document, depth)) << "containers at depth " << depth << " whole";
    EXPECT_EQ("[]", streamed(ordered_json::array()));
    EXPECT_EQ("\"top\"", streamed("top"));
}

TEST(JsonStream, TextThatIsNotUtf8ShowsAsReplacement) {
    const std::string bytes = "we\x01ird\xff\"\\\xc3\xa9";
    const ordered_json document = {{"file", bytes}};
    EXPECT_EQ(dumped(document), streamed(document));
    EXPECT_NE(std::string::npos, streamed(document).find("\xEF\xBF\xBD")) << "U+FFFD";
}

TEST(JsonStream, ADocumentLargerThanTheBufferComesThroughWhole) {
    ordered_json document = ordered_json::array();
    for (int i = 0; i < 20000; ++i) document.push_back({{"index", i}, {"kind", "coded"}});
    EXPECT_EQ(dumped(document), streamed(document));
}

TEST(JsonStream, AFailedWriteIsReported) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    {
        JsonStream out(full);
        out.beginArray();
        for (int i = 0; i < 100000; ++i) out.value("some text to fill the buffer");
        out.endArray();
        EXPECT_FALSE(out.flush());
    }
    std::fclose(full);
}

}  // namespace
