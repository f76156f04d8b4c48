// Pages named by web addresses, as the fetching layer names them: the pass must ask for
// each page by the one address a browser would load, let links land on the pages they
// name, never ask a page from the web for a local file, and count what it left out.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/document_records.h"
#include "html/html_pass.h"
#include "tests/support/memory_io.h"

namespace {

const std::string kSite = "http://127.0.0.1:8000/docs/";

struct WebRun {
    StepResult result = StepFailed;
    std::string text;
    std::vector<uint32_t> targets;        // each link's target position, in record order
    std::vector<std::string> asked;       // every page the pass asked for, found or not
    std::vector<LimitReport> limits;
};

WebRun* activeRun = nullptr;

int32_t recordReport(void*, int32_t stage, void* argument) {
    if (stage == StageLimitReached) activeRun->limits.push_back(*static_cast<LimitReport*>(argument));
    return 1;
}

struct Opener {
    PageOpener opener;
    std::vector<std::string>* asked;
};

uint32_t openNoted(void* data, const char* path) {
    auto& noted = *static_cast<Opener*>(data);
    noted.asked->push_back(path);
    return openPage(&noted.opener, path);
}

void closeNoted(void* data, uint32_t handle) { closePage(&static_cast<Opener*>(data)->opener, handle); }

// The pass over `memory` from `source` as the driver runs it, with the links decoded.
WebRun runPass(MemoryIo& memory, const std::string& source) {
    WebRun run;
    IoOps io = memory.ops();
    io.reportProgress = &recordReport;
    activeRun = &run;
    ConversionJob job{};
    job.io = &io;
    job.sourcePath = source.c_str();
    job.maxDepth = -1;
    Opener opener{PageOpener{&job, io.openStream(io.userData, source.c_str(), 0)}, &run.asked};
    HtmlPassRequest request{};
    request.openPage = &openNoted;
    request.closePage = &closeNoted;
    request.pageCallbackData = &opener;
    request.io = &io;
    request.textStream = io.createTempStream(io.userData);
    request.recordStream = io.createTempStream(io.userData);
    request.offsetStream = io.createTempStream(io.userData);
    request.maxDepth = -1;
    run.result = runHtmlPass(request, source.c_str());
    activeRun = nullptr;

    const std::vector<uint8_t> text = memory.bytesOfHandle(request.textStream);
    run.text.assign(text.begin(), text.end());
    const std::vector<uint8_t> records = memory.bytesOfHandle(request.recordStream);
    const std::vector<uint8_t> offsets = memory.bytesOfHandle(request.offsetStream);
    std::vector<uint32_t> starts(offsets.size() / 4);
    if (!starts.empty()) std::memcpy(starts.data(), offsets.data(), starts.size() * 4);
    auto decoded = std::make_unique<DecodedLinkRecord>();
    for (int32_t i = request.linkFirst; run.result == StepDone && i < request.linkFirst + request.linkCount; ++i) {
        const size_t begin = starts[static_cast<size_t>(i)];
        const size_t end = static_cast<size_t>(i) + 1 < starts.size() ? starts[static_cast<size_t>(i) + 1] : records.size();
        EXPECT_TRUE(decodeLinkRecord(records.data() + begin, static_cast<int32_t>(end - begin), *decoded)) << i;
        for (int32_t e = 0; e < decoded->count; ++e)
            if (decoded->entries[e].length > 0) run.targets.push_back(decoded->entries[e].target);
    }
    for (uint32_t stream : {request.offsetStream, request.recordStream, request.textStream})
        io.closeStream(io.userData, stream);
    if (opener.opener.cachedSource != 0) io.closeStream(io.userData, opener.opener.cachedSource);
    EXPECT_EQ(0, memory.openHandles());
    EXPECT_EQ(0, memory.liveBlocks());
    return run;
}

// The marker the link at `target` lands on ("[name]" after any line breaks), or "".
std::string landing(const WebRun& run, uint32_t target) {
    size_t at = target;
    while (at < run.text.size() && (run.text[at] == '\n' || run.text[at] == ' ')) ++at;
    if (at >= run.text.size() || run.text[at] != '[') return "";
    return run.text.substr(at, run.text.find(']', at) + 1 - at);
}

}  // namespace

TEST(WebReferences, APageFromTheWebLinksByItsAddressAsABrowserDoes) {
    MemoryIo memory;
    memory.addFile(kSite + "index.html",
                   "<P>[index] <A HREF=\"guide/intro.html\">a</A> <A HREF=\"./guide/../faq.html?x=1\">b</A>"
                   " <A HREF=\"//127.0.0.1:8000/docs/faq.html?x=1#q2\">c</A>"
                   " <A HREF=\"HTTP://127.0.0.1:8000/docs/gu%69de/intro.html\">d</A>"
                   " <A HREF=\"file:///etc/passwd\">e</A> <A HREF=\"C:\\secret.html\">f</A>"
                   " <A HREF=\"mailto:a@b.example\">g</A> <A HREF=\"?page=2\">h</A></P>");
    memory.addFile(kSite + "guide/intro.html",
                   "<P>[intro] <A HREF=\"../index.html\">up</A> <A HREF=\"/docs/faq.html?x=1\">faq</A></P>");
    memory.addFile(kSite + "faq.html?x=1", "<P>[faq]</P><P><A NAME=\"q2\">[q2]</A></P>");
    memory.addFile(kSite + "index.html?page=2", "<P>[page2]</P>");
    memory.addFile("/etc/passwd", "<P>[local]</P>");
    memory.addFile("C:\\secret.html", "<P>[local]</P>");

    const WebRun run = runPass(memory, kSite + "index.html");
    ASSERT_EQ(StepDone, run.result);
    // Each page once, by its one address; no local file was asked for.
    const std::vector<std::string> expected = {kSite + "index.html", kSite + "guide/intro.html",
                                               kSite + "faq.html?x=1", kSite + "index.html?page=2"};
    EXPECT_EQ(expected, run.asked);
    EXPECT_EQ(std::string::npos, run.text.find("[local]"));
    // Links a, b, c, d, h from the index; up and faq from the intro.
    const std::vector<std::string> landed = {"[intro]", "[faq]", "[q2]", "[intro]", "[page2]", "[index]", "[faq]"};
    ASSERT_EQ(landed.size(), run.targets.size());
    for (size_t i = 0; i < landed.size(); ++i) EXPECT_EQ(landed[i], landing(run, run.targets[i])) << i;
    EXPECT_TRUE(run.limits.empty());
}

TEST(WebReferences, CharacterReferencesInAWebPagesLinksAreDecodedAsBrowsersDo) {
    MemoryIo memory;
    memory.addFile(kSite + "index.html",
                   "<BASE HREF=\"http://127.0.0.1:8000/docs/?from=base&amp;x=1\">"
                   "<P>[index] <A HREF=\"list.php?page=2&amp;sort=date\">a</A>"
                   " <A HREF=\"list.php?page=3&#38;sort=date\">b</A> <A HREF=\"list.php?q=&amp\">c</A></P>");
    memory.addFile(kSite + "list.php?page=2&sort=date", "<P>[two]</P>");
    memory.addFile(kSite + "list.php?page=3&sort=date", "<P>[three]</P>");
    memory.addFile(kSite + "list.php?q=&", "<P>[bare]</P>");
    const WebRun run = runPass(memory, kSite + "index.html");
    ASSERT_EQ(StepDone, run.result);
    const std::vector<std::string> expected = {kSite + "index.html", kSite + "list.php?page=2&sort=date",
                                               kSite + "list.php?page=3&sort=date", kSite + "list.php?q=&"};
    EXPECT_EQ(expected, run.asked);
}

TEST(WebReferences, ABaseAddressMovesTheFolderAndARelativeOneIsTakenAgainstThePage) {
    MemoryIo memory;
    memory.addFile(kSite + "index.html",
                   "<BASE HREF=\"archive/2024/\"><P>[index] <A HREF=\"../2023/post.html\">a</A>"
                   " <A HREF=\"\">self</A></P>");
    memory.addFile(kSite + "archive/2023/post.html",
                   "<BASE HREF=\"file:///tmp/\"><P>[post] <A HREF=\"more.html\">b</A></P>");
    memory.addFile(kSite + "archive/2023/more.html", "<P>[more]</P>");
    memory.addFile(kSite + "archive/2024/", "<P>[folder]</P>");

    const WebRun run = runPass(memory, kSite + "index.html");
    ASSERT_EQ(StepDone, run.result);
    const std::vector<std::string> expected = {kSite + "index.html", kSite + "archive/2023/post.html",
                                               kSite + "archive/2024/", kSite + "archive/2023/more.html"};
    EXPECT_EQ(expected, run.asked);
    const std::vector<std::string> landed = {"[post]", "[folder]", "[more]"};
    ASSERT_EQ(landed.size(), run.targets.size());
    for (size_t i = 0; i < landed.size(); ++i) EXPECT_EQ(landed[i], landing(run, run.targets[i])) << i;
}

TEST(WebReferences, LinksAndFramesPast255BytesAreLeftOutAndCountedOnce) {
    MemoryIo memory;
    const std::string longName(250, 'n');
    memory.addFile(kSite + "index.html",
                   "<P>[index] <A HREF=\"" + longName + "\">a</A> <A HREF=\"ok.html\">b</A>"
                   " <A HREF=\"" + std::string(300, 'm') + "\">c</A></P>");
    memory.addFile(kSite + "ok.html", "<FRAMESET><FRAME SRC=\"" + longName + "\"><FRAME SRC=\"f.html\"></FRAMESET>");
    memory.addFile(kSite + "f.html", "<P>[frame]</P>");
    const WebRun run = runPass(memory, kSite + "index.html");
    ASSERT_EQ(StepDone, run.result);
    const std::vector<std::string> expected = {kSite + "index.html", kSite + "ok.html", kSite + "f.html"};
    EXPECT_EQ(expected, run.asked);
    ASSERT_EQ(1u, run.targets.size());  // only b: the others are no links at all
    ASSERT_EQ(1u, run.limits.size());
    EXPECT_EQ(LimitLongReferences, run.limits[0].kind);
    EXPECT_EQ(255, run.limits[0].limit);
    EXPECT_EQ(3, run.limits[0].dropped);
}

TEST(WebReferences, LocalPagesKeepTheirRulesAndCountTheirOverlongLinks) {
    MemoryIo memory;
    const std::string dir = "C:\\site\\";
    // An address from a local page is kept as written; a name past 255 bytes was once
    // cut to another page's name, and is now left out.
    const std::string cut = dir + std::string(247, 'x');  // 255 bytes
    memory.addFile(dir + "index.htm",
                   "<P>[index] <A HREF=\"HTTP://Example.com:80/a/../b.html\">w</A>"
                   " <A HREF=\"" + cut + "p.htm\">long</A> <A HREF=\"sub/../p.htm\">p</A></P>");
    memory.addFile(dir + "p.htm", "<P>[p]</P>");
    memory.addFile(cut, "<P>[cut]</P>");
    const WebRun run = runPass(memory, dir + "index.htm");
    ASSERT_EQ(StepDone, run.result);
    const std::vector<std::string> expected = {dir + "index.htm", "HTTP://Example.com:80/b.html", dir + "p.htm"};
    EXPECT_EQ(expected, run.asked);
    ASSERT_EQ(1u, run.targets.size());  // a link to a page never converted is no link
    EXPECT_EQ("[p]", landing(run, run.targets[0]));
    EXPECT_EQ(std::string::npos, run.text.find("[cut]"));
    ASSERT_EQ(1u, run.limits.size());
    EXPECT_EQ(LimitLongReferences, run.limits[0].kind);
    EXPECT_EQ(1, run.limits[0].dropped);
}
