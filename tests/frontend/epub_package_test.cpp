// What an EPUB's package documents say, read from a table of entries: the reading order,
// the contents from each of their three sources, the title, the refusals, and the
// contents page the conversion starts from.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "frontend/epub_package.h"
#include "frontend/xml_reader.h"
#include "tests/support/table_entries.h"

namespace {

const char kContainer[] =
    R"(<?xml version="1.0"?><container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">)"
    R"(<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/></rootfiles></container>)";

// A package in OEBPS/ with three chapters in Text/, the second not linear.
TableEntries bookWith(const std::string& extraManifest, const std::string& spineAttributes = "") {
    TableEntries book;
    book.files["mimetype"] = "application/epub+zip";
    book.files["META-INF/container.xml"] = kContainer;
    book.files["OEBPS/content.opf"] =
        R"(<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="3.0">
 <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
  <dc:title>  Les Misérables &amp;
   co  </dc:title><dc:title>Second title</dc:title>
 </metadata>
 <manifest>
  <item id="c1" href="Text/one.xhtml" media-type="application/xhtml+xml"/>
  <item id="c2" href="Text/two.xhtml" media-type="application/xhtml+xml"/>
  <item id="c3" href="Text/thr%C3%A9e.xhtml" media-type="application/xhtml+xml"/>
  <item id="css" href="style.css" media-type="text/css"/>
  <item id="gone" href="Text/gone.xhtml" media-type="application/xhtml+xml"/>
  <item id="out" href="../../etc/passwd" media-type="application/xhtml+xml"/>
)" + extraManifest + R"(
 </manifest>
 <spine )" + spineAttributes + R"(>
  <itemref idref="c1"/><itemref idref="c2" linear="no"/><itemref idref="gone"/>
  <itemref idref="out"/><itemref idref="c3"/><itemref idref="c1"/><itemref idref="nothing"/>
 </spine>
</package>)";
    book.files["OEBPS/Text/one.xhtml"] = "<html><head><title>First</title></head><body/></html>";
    book.files["OEBPS/Text/two.xhtml"] = "<html><body><h2>Second <i>part</i></h2></body></html>";
    book.files["OEBPS/Text/thr\xC3\xA9" "e.xhtml"] = "<html><body><p>no title</p></body></html>";
    book.files["OEBPS/style.css"] = "p {}";
    return book;
}

TEST(EpubPackage, SpineGivesTheReadingOrderLinearItemsFirstEachOnceAndOnlyWhatExists) {
    TableEntries book = bookWith("");
    EpubPackage package;
    EpubProblem problem;
    ASSERT_TRUE(readEpubPackage(book, package, problem)) << problem.reason;
    EXPECT_EQ("OEBPS/content.opf", package.packagePath);
    EXPECT_EQ((std::vector<std::string>{"OEBPS/Text/one.xhtml", "OEBPS/Text/thr\xC3\xA9" "e.xhtml",
                                        "OEBPS/Text/two.xhtml"}),
              package.spine);
    EXPECT_EQ(std::vector<std::string>{"OEBPS/Text/gone.xhtml"}, package.missing);
    EXPECT_EQ("Les Mis\xC3\xA9rables & co", package.title);
}

TEST(EpubPackage, WithoutNavigationOrNcxTheContentsAreTheSpineByEachChaptersTitle) {
    TableEntries book = bookWith("");
    EpubPackage package;
    EpubProblem problem;
    ASSERT_TRUE(readEpubPackage(book, package, problem));
    EXPECT_EQ(ContentsSource::Spine, package.contentsFrom);
    ASSERT_EQ(3u, package.contents.size());
    EXPECT_EQ("First", package.contents[0].label);
    EXPECT_EQ("thr\xC3\xA9" "e.xhtml", package.contents[1].label);  // neither title nor heading
    EXPECT_EQ("Second part", package.contents[2].label);
    EXPECT_EQ("OEBPS/Text/two.xhtml", package.contents[2].entry);
}

TEST(EpubPackage, NavigationDocumentGivesNestedContentsWithFragments) {
    TableEntries book = bookWith(
        R"(<item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="scripted nav"/>
           <item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>)",
        R"(toc="ncx")");
    book.files["OEBPS/nav.xhtml"] =
        R"(<?xml version="1.0"?><!DOCTYPE html [<!ENTITY x "y">]>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"><body>
<nav epub:type="landmarks"><ol><li><a href="Text/two.xhtml">Landmark</a></li></ol></nav>
<nav epub:type="toc"><h1>Contents</h1><ol>
 <li><a href="Text/one.xhtml#start">One &amp; <em>only</em></a>
  <ol><li><a href="Text/two.xhtml#s%C3%A9c">Two</a></li>
      <li><span>Just a heading</span><ol><li><a href="Text/thr%C3%A9e.xhtml">Three</a></li></ol></li></ol></li>
 <li><a href="http://example.com/">Away</a></li>
 <li><a href="Text/gone.xhtml">Gone</a></li>
 <li><a href="style.css">Style</a></li>
</ol></nav></body></html>)";
    book.files["OEBPS/toc.ncx"] = "<ncx><navMap><navPoint><navLabel><text>NCX</text></navLabel>"
                                  "<content src=\"Text/one.xhtml\"/></navPoint></navMap></ncx>";
    EpubPackage package;
    EpubProblem problem;
    ASSERT_TRUE(readEpubPackage(book, package, problem)) << problem.reason;
    EXPECT_EQ(ContentsSource::Navigation, package.contentsFrom);
    ASSERT_EQ(7u, package.contents.size());
    const std::vector<EpubContentsEntry>& c = package.contents;
    EXPECT_EQ("One & only", c[0].label);
    EXPECT_EQ("OEBPS/Text/one.xhtml", c[0].entry);
    EXPECT_EQ("start", c[0].fragment);
    EXPECT_EQ(0, c[0].level);
    EXPECT_EQ("s\xC3\xA9" "c", c[1].fragment);
    EXPECT_EQ(1, c[1].level);
    EXPECT_EQ("Just a heading", c[2].label);
    EXPECT_EQ("", c[2].entry);
    EXPECT_EQ("OEBPS/Text/thr\xC3\xA9" "e.xhtml", c[3].entry);
    EXPECT_EQ(2, c[3].level);
    // Out of the package, missing, or no document: the label stays, the link goes.
    for (int i : {4, 5, 6}) {
        EXPECT_EQ("", c[static_cast<size_t>(i)].entry) << c[static_cast<size_t>(i)].label;
        EXPECT_EQ(0, c[static_cast<size_t>(i)].level);
    }
}

TEST(EpubPackage, Epub2NcxGivesTheContentsWhenThereIsNoNavigationDocument) {
    TableEntries book = bookWith(R"(<item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>)",
                                 R"(toc="ncx")");
    book.files["OEBPS/toc.ncx"] =
        R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" "http://www.daisy.org/z3986/2005/ncx-2005-1.dtd">
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/"><docTitle><text>Not an entry</text></docTitle>
<navMap>
 <navPoint id="a" playOrder="1"><navLabel><text>Part &#x2160;</text></navLabel><content src="Text/one.xhtml"/>
  <navPoint id="b" playOrder="2"><navLabel><text>Chapter 1</text></navLabel><content src="Text/two.xhtml#c1"/></navPoint>
 </navPoint>
 <navPoint id="c" playOrder="3"><navLabel><text>Part II</text></navLabel><content src="Text/thr%C3%A9e.xhtml"/></navPoint>
</navMap></ncx>)";
    EpubPackage package;
    EpubProblem problem;
    ASSERT_TRUE(readEpubPackage(book, package, problem)) << problem.reason;
    EXPECT_EQ(ContentsSource::Ncx, package.contentsFrom);
    ASSERT_EQ(3u, package.contents.size());
    EXPECT_EQ("Part \xE2\x85\xA0", package.contents[0].label);
    EXPECT_EQ(0, package.contents[0].level);
    EXPECT_EQ("Chapter 1", package.contents[1].label);
    EXPECT_EQ(1, package.contents[1].level);
    EXPECT_EQ("c1", package.contents[1].fragment);
    EXPECT_EQ(0, package.contents[2].level);
    EXPECT_EQ("OEBPS/Text/thr\xC3\xA9" "e.xhtml", package.contents[2].entry);
}

TEST(EpubPackage, RefusesWhatIsNoEpubOrIsProtectedAndForgivesALostMimetype) {
    EpubPackage package;
    EpubProblem problem;

    TableEntries notEpub;
    notEpub.files["mimetype"] = "application/vnd.oasis.opendocument.text";
    notEpub.files["content.xml"] = "<x/>";
    EXPECT_FALSE(readEpubPackage(notEpub, package, problem));
    EXPECT_EQ(EpubRefusal::NotEpub, problem.refusal);
    TableEntries plainZip;
    plainZip.files["readme.txt"] = "hello";
    EXPECT_FALSE(readEpubPackage(plainZip, package, problem));
    EXPECT_EQ("This zip archive is not an EPUB book and cannot be converted.",
              epubRefusalMessage(problem));

    TableEntries lost = bookWith("");
    lost.files.erase("mimetype");
    EXPECT_TRUE(readEpubPackage(lost, package, problem)) << problem.reason;

    TableEntries fonts = bookWith("");
    fonts.files["META-INF/encryption.xml"] =
        R"(<encryption xmlns="urn:oasis:names:tc:opendocument:xmlns:container" xmlns:enc="http://www.w3.org/2001/04/xmlenc#">
<enc:EncryptedData><enc:EncryptionMethod Algorithm="http://www.idpf.org/2008/embedding"/>
<enc:CipherData><enc:CipherReference URI="OEBPS/font.otf"/></enc:CipherData></enc:EncryptedData></encryption>)";
    EXPECT_TRUE(readEpubPackage(fonts, package, problem)) << "obfuscated fonts are no DRM";

    TableEntries drm = fonts;
    drm.files["META-INF/encryption.xml"] +=
        R"(<enc:EncryptedData><enc:EncryptionMethod Algorithm="http://www.w3.org/2001/04/xmlenc#aes128-cbc"/>
<enc:CipherData><enc:CipherReference URI="OEBPS/Text/one.xhtml"/></enc:CipherData></enc:EncryptedData>)";
    EXPECT_FALSE(readEpubPackage(drm, package, problem));
    EXPECT_EQ("This EPUB is protected (DRM) and cannot be converted.", epubRefusalMessage(problem));

    TableEntries noPackage = bookWith("");
    noPackage.files.erase("OEBPS/content.opf");
    EXPECT_FALSE(readEpubPackage(noPackage, package, problem));
    EXPECT_EQ("This EPUB cannot be converted: its package document \"OEBPS/content.opf\" is missing.",
              epubRefusalMessage(problem));

    TableEntries climbing = bookWith("");
    climbing.files["META-INF/container.xml"] =
        R"(<container><rootfiles><rootfile full-path="../content.opf"/></rootfiles></container>)";
    EXPECT_FALSE(readEpubPackage(climbing, package, problem));
    EXPECT_EQ(EpubRefusal::Unreadable, problem.refusal);
}

TEST(EpubPackage, ReferencesResolveInsideThePackageOnly) {
    auto resolved = [](std::string_view base, std::string_view href) {
        std::optional<PackageTarget> target = resolvePackageHref(base, href);
        return target ? target->entry + "|" + target->fragment : std::string("none");
    };
    EXPECT_EQ("OEBPS/Text/b.xhtml|x", resolved("OEBPS/Text/a.xhtml", "b.xhtml#x"));
    EXPECT_EQ("OEBPS/b.xhtml|", resolved("OEBPS/Text/a.xhtml", "../b.xhtml"));
    EXPECT_EQ("OEBPS/Text/a.xhtml|note", resolved("OEBPS/Text/a.xhtml", "#note"));
    EXPECT_EQ("OEBPS/Text/a b.xhtml|", resolved("OEBPS/Text/a.xhtml", "./a%20b.xhtml?q=1"));
    EXPECT_EQ("b.xhtml|", resolved("a.xhtml", "  b.xhtml\n"));
    EXPECT_EQ("none", resolved("OEBPS/a.xhtml", "../../b.xhtml"));
    EXPECT_EQ("none", resolved("OEBPS/a.xhtml", "/etc/passwd"));
    EXPECT_EQ("none", resolved("OEBPS/a.xhtml", "http://example.com/b.xhtml"));
    EXPECT_EQ("none", resolved("OEBPS/a.xhtml", "mailto:a@b"));
    EXPECT_EQ("none", resolved("", ""));
}

TEST(EpubPackage, ContentsPageLinksTheSpineInOrderThenNestsTheEntriesEscaped) {
    EpubPackage package;
    package.title = "A <b> & \"c\"";
    package.spine = {"t/one.xhtml", "t/tw o#?%\xC3\xA9.xhtml"};
    package.contents = {{"One", "t/one.xhtml", "s\xC3\xA9" "c", 0},
                        {"Deep", "t/one.xhtml", "", 2},
                        {"Plain <x>", "", "", 0}};
    const std::string page = contentsPageHtml(package);
    EXPECT_EQ(0u, page.find("\xEF\xBB\xBF<!DOCTYPE html>"));
    EXPECT_NE(std::string::npos, page.find("<title>A &lt;b&gt; &amp; &quot;c&quot;</title>"));
    const size_t first = page.find("<a href=\"t/one.xhtml\"></a>");
    const size_t second = page.find("<a href=\"t/tw%20o%23%3F%25%C3%A9.xhtml\"></a>");
    const size_t heading = page.find("<h1>");
    ASSERT_NE(std::string::npos, first);
    ASSERT_NE(std::string::npos, second);
    EXPECT_LT(first, second);
    EXPECT_LT(second, heading);
    EXPECT_NE(std::string::npos,
              page.find("<ul>\n<li><a href=\"t/one.xhtml#s\xC3\xA9" "c\">One</a>\n<ul>\n<ul>\n"
                        "<li><a href=\"t/one.xhtml\">Deep</a>\n</ul>\n</ul>\n<li>Plain &lt;x&gt;\n</ul>\n"));
}

TEST(XmlReader, ReadsTagsAttributesTextAndPassesOverTheRest) {
    XmlReader xml("<?xml version='1.0'?><!-- <no> --><!DOCTYPE a [<!ENTITY e '<b>'>]>"
                  "<a:root x='1 &lt; 2' b:y=\"&#233;&#x10348;&bogus;\" z=bare><e/>t&amp;<![CDATA[<c>]]>"
                  "</a:root>< stray");
    ASSERT_EQ(XmlEvent::StartTag, xml.next());
    EXPECT_EQ("a:root", xml.name());
    EXPECT_EQ("root", xml.localName());
    ASSERT_NE(nullptr, xml.attribute("x"));
    EXPECT_EQ("1 < 2", *xml.attribute("x"));
    EXPECT_EQ("\xC3\xA9\xF0\x90\x8D\x88&bogus;", *xml.attribute("y"));
    EXPECT_EQ(nullptr, xml.attribute("a:y"));
    EXPECT_EQ("bare", *xml.attribute("z"));
    ASSERT_EQ(XmlEvent::StartTag, xml.next());
    EXPECT_EQ("e", xml.name());
    ASSERT_EQ(XmlEvent::EndTag, xml.next());
    ASSERT_EQ(XmlEvent::Text, xml.next());
    EXPECT_EQ("t&", xml.text());
    ASSERT_EQ(XmlEvent::Text, xml.next());
    EXPECT_EQ("<c>", xml.text());
    ASSERT_EQ(XmlEvent::EndTag, xml.next());
    ASSERT_EQ(XmlEvent::Text, xml.next());
    EXPECT_EQ("<", xml.text());
    ASSERT_EQ(XmlEvent::Text, xml.next());
    EXPECT_EQ(" stray", xml.text());
    EXPECT_EQ(XmlEvent::End, xml.next());
    EXPECT_EQ(XmlEvent::End, xml.next());
}

TEST(XmlReader, DocumentsInUtf16AndStrayBytesBecomeUtf8) {
    const std::string le("\xFF\xFE<\0a\0>\0\xE9\0<\0/\0a\0>\0", 18);
    EXPECT_EQ("<a>\xC3\xA9</a>", xmlDocumentUtf8(le));
    const std::string be("\0<\0?\0x\xD8\x00\xDF\x48", 10);
    EXPECT_EQ("<?x\xF0\x90\x8D\x88", xmlDocumentUtf8(be));
    EXPECT_EQ("a\xC3\xA9\xE2\x82\xAC", xmlDocumentUtf8("\xEF\xBB\xBF" "a\xC3\xA9\x80"));
}

}  // namespace
