// tests/cli/big_book_test.cpp -- `vimlo info`, `text` and `preview` on a book with about a
// million format runs stay within their memory bound, measured as the peak resident set
// of the program; and their output is still the whole book.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "tests/cli/vimlo_runner.h"
#include "tests/support/temp_dir.h"

using namespace cli_test;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers' own memory would be measured too
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr long kBoundKilobytes = 64 * 1024;

// A page of alternating bold and italic words, about `bytes` long; `pairs` gets the
// number of bold and italic pairs.
std::string boldAndItalic(size_t bytes, size_t& pairs) {
    std::string page = "<html><body><p>";
    for (pairs = 0; page.size() < bytes; ++pairs)
        page += "<b>w" + std::to_string(2 * pairs) + "</b> <i>w" + std::to_string(2 * pairs + 1) + "</i> ";
    return page + "</p></body></html>\n";
}

size_t count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

// The same for the file at `path`, read a block at a time: the full description is
// hundreds of megabytes.
size_t countInFile(const std::string& path, const std::string& needle) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0;
    std::string carry, block(1 << 20, '\0');
    size_t n = 0;
    for (size_t got; (got = std::fread(block.data(), 1, block.size(), file)) > 0;) {
        carry.append(block, 0, got);
        n += count(carry, needle);
        // Keep a tail shorter than the needle, so no match is counted twice or missed.
        carry.erase(0, carry.size() - std::min(carry.size(), needle.size() - 1));
    }
    std::fclose(file);
    return n;
}

struct Measured {
    int exitCode = -1;
    long peakKilobytes = 0;
};

// Runs vimlo with `args` in `folder`, standard output into `outPath`, and measures its
// peak resident set.
Measured runMeasured(const std::vector<std::string>& args, const std::string& folder,
                     const std::string& outPath) {
    const std::string program = vimloPath();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, 1) < 0) _exit(127);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    Measured measured;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) {
        measured.exitCode = WEXITSTATUS(status);
        measured.peakKilobytes = usage.ru_maxrss;
    }
    return measured;
}

TEST(BigBook, InfoTextAndPreviewStayWithinTheirMemoryBound) {
    TempDir dir;
    // Under the sanitizers a smaller book keeps the run short; only the outputs count there.
    size_t pairs = 0;
    dir.write("big.html", boldAndItalic(kSanitized ? (1u << 20) : (8u << 20), pairs));
    const Outcome converted = run({"convert", "-q", "big.html", "-o", "big.pdb"}, dir.path());
    ASSERT_EQ(0, converted.exitCode) << converted.err;

    struct Case {
        std::vector<std::string> args;
        const char* output;
    };
    const Case cases[] = {
        {{"info", "big.pdb"}, "info.json"},
        {{"info", "--summary", "big.pdb"}, "summary.json"},
        {{"text", "--raw", "big.pdb"}, "text.txt"},
        {{"preview", "big.pdb", "-o", "-"}, "page.html"},
    };
    for (const Case& c : cases) {
        const Measured measured = runMeasured(c.args, dir.path(), dir.file(c.output));
        EXPECT_EQ(0, measured.exitCode) << c.args[0];
        if (!kSanitized) {
            EXPECT_LT(measured.peakKilobytes, kBoundKilobytes) << c.args[0] << " " << c.output;
        }
    }

    // The outputs are the whole book: the summary counts the runs the full description
    // lists, the text is as long as record 0 says, and the page shows every word in its
    // style and ends.
    const nlohmann::json summary = nlohmann::json::parse(dir.read("summary.json"));
    const uint64_t textLength = summary["recordZero"]["textLength"];
    EXPECT_EQ(textLength, dir.read("text.txt").size());
    size_t runs = 0;
    for (const auto& record : summary["documentRecords"]["format"]["records"]) {
        EXPECT_FALSE(record.contains("runs"));
        runs += record["runCount"].get<size_t>();
    }
    EXPECT_LE(2 * pairs, runs);
    EXPECT_EQ(runs, countInFile(dir.file("info.json"), "\"start\": "));
    const std::string page = dir.read("page.html");
    EXPECT_EQ(pairs, count(page, "<b>"));
    EXPECT_EQ(pairs, count(page, "<i>"));
    EXPECT_EQ("</html>\n", page.substr(page.size() - 8));
}

}  // namespace
