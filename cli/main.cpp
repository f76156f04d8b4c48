// cli/main.cpp -- the vimlo command line: GNU-style options read with CLI11, then one of
// the four commands. Options map onto the same settings the Windows program saves, so
// both build the engine's job by one rule.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/console.h"
#include "cli/convert_command.h"
#include "cli/exit_status.h"
#include "cli/info_command.h"
#include "cli/preview_command.h"
#include "cli/text_command.h"
#include "frontend/text_encoding.h"

#ifndef VIMLO_VERSION
#define VIMLO_VERSION "unknown"
#endif

static const char* const kExitStatuses =
    "Exit status:\n"
    "  0    success\n"
    "  1    unknown error\n"
    "  2    options or arguments not understood\n"
    "  3    refused before converting (destination exists, same file as the source,\n"
    "       destination folder missing or not a folder; preview: the page exists)\n"
    "  4    error opening the source file (info, text, preview: the database)\n"
    "  5    error opening or writing the destination (text: standard output;\n"
    "       preview: the page)\n"
    "  6    error opening a temporary file\n"
    "  7    error during preprocessing\n"
    "  8    error during conversion\n"
    "  9    not an e-book database, or a damaged one (info, text, preview)\n"
    "  130  canceled by Ctrl-C (the program ends by the interrupt signal)\n"
    "With several sources the status is that of the first source that failed.";

// The names --encoding takes (any label of the Encoding Standard works too).
static std::string encodingNames() {
    std::string text = "Encodings for convert --encoding:";
    size_t column = text.size();
    for (const char* name : acceptedEncodingNames()) {
        const size_t length = std::string(name).size() + 1;
        if (column + length > 78) {
            text += "\n ";
            column = 1;
        }
        text += std::string(" ") + name;
        column += length;
    }
    return text + "\n\n";
}

int main(int argc, char** argv) {
    CLI::App app{"Converts HTML, text or PalmDoc files into e-book databases for the handheld's "
                 "reader, and reads such databases back.",
                 "vimlo"};
    app.set_version_flag("--version", std::string("vimlo ") + VIMLO_VERSION);
    app.require_subcommand(1);
    app.footer(encodingNames() + kExitStatuses);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("vimlo: ") + error.what() + "\nTry 'vimlo --help' for more information.\n";
    });

    ConvertRequest convert;
    int32_t maxDepth = 1;
    bool keepCR = false, removeLF = false, crToLF = false;
    int32_t joinLines = -1, tabsToNewlines = -1, tabsToSpaces = -1;
    CLI::App* convertCommand = app.add_subcommand(
        "convert", "Convert each SOURCE (HTML page, text, PalmDoc, EPUB, or an http:// or https:// "
                   "address) into an e-book database.");
    convertCommand->add_option("SOURCE", convert.sources, "Files to convert")
        ->required()
        ->type_name("");
    convertCommand->add_option("-o,--output", convert.output,
                               "Destination file, or folder for the proposed file name "
                               "(default: the source's folder); a folder with several sources")
        ->type_name("PATH");
    convertCommand->add_option("-t,--title", convert.title,
                               "Title of the book (default: the PalmDoc name, the HTML title, "
                               "or the file's base name)")
        ->type_name("TEXT");
    convertCommand->add_option("-d,--max-depth", maxDepth,
                               "Follow links of HTML pages this deep; -1 for no limit")
        ->type_name("N")
        ->check(CLI::Range(-1, 9999))
        ->capture_default_str();
    convertCommand->add_option("--max-pages", convert.settings.maxPages,
                               "Convert at most N HTML pages; vimlo says when pages were left out")
        ->type_name("N")
        ->check(CLI::Range(1, kHighestMaxPages))
        ->capture_default_str();
    convertCommand->add_flag("--keep-cr", keepCR, "Keep carriage returns (text, PalmDoc)");
    convertCommand->add_flag("--remove-lf", removeLF, "Remove line feeds (text, PalmDoc)");
    convertCommand->add_flag("--cr-to-lf", crToLF, "Turn carriage returns into line feeds");
    convertCommand->add_option("--join-lines", joinLines,
                               "Replace each single line break by N spaces")
        ->type_name("N")
        ->check(CLI::Range(0, 9999));
    CLI::Option* toNewlines =
        convertCommand
            ->add_option("--tabs-to-newlines", tabsToNewlines, "Replace each tab by N line feeds")
            ->type_name("N")
            ->check(CLI::Range(0, 9999));
    CLI::Option* toSpaces =
        convertCommand->add_option("--tabs-to-spaces", tabsToSpaces, "Replace each tab by N spaces")
            ->type_name("N")
            ->check(CLI::Range(0, 9999));
    toNewlines->excludes(toSpaces);
    convertCommand->add_flag("-y,--force", convert.force,
                             "Overwrite an existing destination without asking");
    convertCommand->add_flag("-q,--quiet", convert.quiet,
                             "No progress and no message after a successful conversion");
    convertCommand->add_flag("--preview", convert.preview,
                             "Also write each database's preview page beside it (BOOK.html)");
    convertCommand->add_flag("--follow-links-outside", convert.settings.followLinksOutside,
                             "Also follow links to pages outside the source's folder or in "
                             "hidden folders below it. Risky with pages from elsewhere: any "
                             "file you can read that a page links to (/etc/passwd, your keys) "
                             "goes into the book");
    convertCommand->add_flag("--follow-hosts", convert.followHosts,
                             "For a SOURCE on the web: follow links to any host. By default "
                             "only pages at or below the source page's folder on its own "
                             "host are fetched; --follow-links-outside allows the whole host");
    convertCommand->add_option("--wait", convert.waitSeconds,
                               "For a SOURCE on the web: seconds between two requests to one host")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();
    convertCommand->add_option("--timeout", convert.timeoutSeconds,
                               "For a SOURCE on the web: seconds to wait for a connection, and "
                               "for each silence of the server")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();
    convertCommand->add_flag("--keep-navigation", convert.settings.keepNavigation,
                             "Also write the text of HTML navigation blocks (nav elements "
                             "and role=navigation); their links are followed either way");
    convertCommand->add_flag("-v,--verbose", convert.verbose,
                             "Name each linked page that was not followed, and why, the first "
                             "characters that were transliterated or replaced, and pages whose "
                             "encoding cannot be decoded here");
    std::string encoding;
    convertCommand->add_option("--encoding", encoding,
                               "Read every page and text in this encoding (names in vimlo --help; "
                               "windows-1252 reads the bytes as they are). Default: each page's "
                               "byte-order mark or declaration, else UTF-8 where the bytes are "
                               "UTF-8 and Windows-1252 elsewhere")
        ->type_name("NAME")
        ->check([](const std::string& label) -> std::string {
            const std::optional<TextEncoding> found = encodingForLabel(label);
            if (!found || *found == TextEncoding::Replacement)
                return "unknown encoding " + label + " (see vimlo --help)";
            return {};
        });
    convertCommand->add_option("-j,--jobs", convert.jobs, "Convert up to N sources at once")
        ->type_name("N")
        // An HTML conversion holds about a dozen streams at once, and the standard I/O
        // table has 256 slots for the whole process.
        ->check(CLI::Range(1, 16))
        ->capture_default_str();

    std::string book;
    CLI::App* infoCommand =
        app.add_subcommand("info", "Describe an e-book database as JSON on standard output.");
    infoCommand->add_option("BOOK", book, "The database")->required()->type_name("");
    bool infoSummary = false;
    infoCommand->add_flag("--summary", infoSummary, "Counts in place of the runs and entries of each record");
    bool rawText = false;
    CLI::App* textCommand = app.add_subcommand(
        "text", "Write an e-book database's text to standard output, as UTF-8.");
    textCommand->add_option("BOOK", book, "The database")->required()->type_name("");
    textCommand->add_flag("--raw", rawText,
                          "The stored bytes instead (the handheld's Windows-1252)");

    PreviewRequest preview;
    CLI::App* previewCommand = app.add_subcommand(
        "preview", "Write an HTML page showing the book as the handheld's reader lays it out.");
    previewCommand->add_option("BOOK", preview.book, "The database")->required()->type_name("");
    previewCommand->add_option("-o,--output", preview.output,
                               "The page, a folder for it, or - for standard output "
                               "(default: beside the database, BOOK.html)")
        ->type_name("PATH");
    previewCommand->add_flag("-y,--force", preview.force, "Overwrite an existing page without asking");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, std::cout, std::cerr);
        return code == 0 ? ExitSuccess : ExitUsage;
    }

    if (*infoCommand) return runInfo(book, infoSummary);
    if (*textCommand) return runText(book, rawText);
    const mode_t mask = umask(0);  // reading the mask means setting it; put it back
    umask(mask);
    if (*previewCommand) {
        preview.umaskBits = mask;
        // An interrupt then only raises a flag: a page being written is not left half done.
        console::installInterruptHandlers();
        const int status = runPreview(preview);
        if (status == ExitCanceled && console::interruptSignal() != 0)
            console::endBySignal(console::interruptSignal());
        return status;
    }

    ConverterSettings& settings = convert.settings;
    if (!encoding.empty()) settings.encoding = encodingForLabel(encoding);
    settings.maxDepth = maxDepth;
    settings.removeCR = !keepCR;
    settings.removeLF = removeLF;
    settings.convertCRtoLF = crToLF;
    settings.convertSingleLB = joinLines >= 0;
    if (joinLines >= 0) settings.slbToSpace = joinLines;
    if (tabsToNewlines >= 0) {
        settings.tabConversion = TabsToLineBreaks;
        settings.tabToLB = tabsToNewlines;
    } else if (tabsToSpaces >= 0) {
        settings.tabConversion = TabsToSpaces;
        settings.tabToSpace = tabsToSpaces;
    }
    convert.umaskBits = mask;
    console::installInterruptHandlers();
    return runConvert(convert);
}
