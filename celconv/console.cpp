// celconv/console.cpp -- see console.h.
#include "celconv/console.h"

#include <cstdio>
#include <fstream>
#include <memory>

#include "celconv/celdo_layout.h"
#include "celconv/csv_to_database.h"
#include "celconv/database_to_csv.h"
#include "celconv/file_identity.h"
#include "celconv/reporter.h"
#include "celconv/staged_output.h"

namespace celconv {

namespace {

// The start lines and the usage message name the program as it was started (`name`).
std::string startLines(const std::string& name) {
    return "Celdo 2.5b <-> Comma seperated file Utility\n"
           "Version 2.5b \n\n\n"
           "Command Line Argument Usage:\n"
           "For csv->Celdo: " + name + " 1 <input_file> <output_file> <database_name> <optional_info_file>\n"
           "For Celdo->csv: " + name + " 2 <input_file> <output_file> <optional_info_file>\n"
           "For Celdo->csv in UTF-8: " + name + " --utf8 2 <input_file> <output_file> <optional_info_file>\n\n"
           "See the celconv.md file beside the program for more information on using this program.\n\n";
}
std::string usageError(const std::string& name) {
    return "Format error, use:\n"
           "For csv->Celdo: " + name + " 1 <input_file> <output_file> <database_name> <optional_info_file>\n"
           "For Celdo->csv: " + name + " 2 <input_file> <output_file> <optional_info_file>\n"
           "For Celdo->csv in UTF-8: " + name + " --utf8 2 <input_file> <output_file> <optional_info_file>\n";
}
const char kMenu[] =
    "Pick an option:\n"
    "1: Comma seperated file -> Celdo .pdb\n"
    "2: Celdo .pdb -> Comma seperated file\n";
const char kWriteFailed[] = "Error: could not write output file.\n";

constexpr int kEof = std::char_traits<char>::eof();

// What a user types to start the program again: its name without the folder and, on
// Windows, without ".exe".
std::string programName(const std::vector<std::string>& args) {
    std::string name = args.empty() ? std::string() : args[0];
#ifdef _WIN32
    name.erase(0, name.find_last_of("/\\:") + 1);
    if (name.size() > 4) {
        std::string extension = name.substr(name.size() - 4);
        for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (extension == ".exe") name.resize(name.size() - 4);
    }
#else
    name.erase(0, name.find_last_of('/') + 1);
#endif
    return name.empty() ? std::string("celconv") : name;
}

// Shows `prompt` and reads one line of any length, its line end removed. False when the
// input ended before anything was typed.
bool ask(std::istream& in, std::ostream& out, const char* prompt, std::string& answer) {
    out << prompt;
    out.flush();
    answer.clear();
    int c = in.get();
    if (c == kEof) return false;
    for (; c != kEof && c != '\n'; c = in.get()) answer += static_cast<char>(c);
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    return true;
}

// The menu: one character at a time until "1" or "2"; 0 when the input ends first. A
// wrong answer is told once, at its first character: the rest of its line, line end
// included, draws no further message (an empty line is a wrong answer of its own).
int chooseMode(std::istream& in, std::ostream& out) {
    out << kMenu;
    out.flush();
    int c = in.get();
    bool toldThisLine = false;
    while (c != '1' && c != '2') {
        if (c == kEof) return 0;
        if (!toldThisLine) {
            out << "Illegal option\n";
            out.flush();
        }
        toldThisLine = c != '\n';
        c = in.get();
    }
    in.get();  // the line end after the choice
    return c - '0';
}

bool askMode1(std::istream& in, std::ostream& out, ConversionRun& run) {
    if (!ask(in, out, "Comma seperated file name (example test.csv)? : ", run.inputName)) return false;
    if (!ask(in, out, "Output file name (example - test.pdb)? : ", run.outputName)) return false;
    if (!ask(in, out, "Desired Database Name (example - Test)? : ", run.databaseName)) return false;
    if (!ask(in, out, "Database info file (example - test.ifo, hit <return> if none)? : ", run.infoName)) {
        return false;
    }
    run.infoRequested = !run.infoName.empty();
    return true;
}

bool askMode2(std::istream& in, std::ostream& out, ConversionRun& run) {
    if (!ask(in, out, "Celdo file name (example - test.pdb)? : ", run.inputName)) return false;
    if (!ask(in, out, "Output file name (example - test.csv)? : ", run.outputName)) return false;
    if (!ask(in, out, "Optional info file name (example - test.ifo, hit <return> if none)? : ", run.infoName)) {
        return false;
    }
    run.infoRequested = !run.infoName.empty();
    return true;
}

// Fills `run` from the command line; false when its form is wrong for the mode.
bool takeCommandLine(const std::vector<std::string>& args, ConversionRun& run) {
    const char modeChar = args[1].empty() ? '\0' : args[1][0];
    if (modeChar == '1' && (args.size() == 5 || args.size() == 6)) {
        run.mode = 1;
        run.databaseName = args[4];
        run.infoRequested = args.size() == 6;
        if (run.infoRequested) run.infoName = args[5];
    } else if (modeChar == '2' && (args.size() == 4 || args.size() == 5)) {
        run.mode = 2;
        run.infoRequested = args.size() == 5;
        if (run.infoRequested) run.infoName = args[4];
    } else {
        return false;
    }
    run.inputName = args[2];
    run.outputName = args[3];
    return true;
}

// One file a run names, for the check that no output is another of its files.
struct NamedFile {
    std::string role;  // as the refusal names it
    bool written;      // created or replaced by the run
    FileIdentity identity;
};

// Refuses (on the screen) a run in which a file it writes is also a file it reads or
// another file it writes, however the names are spelled or linked: the staged output
// would replace an input, and the error log would take the place of an input or an
// output. Made before anything is created.
bool filesAreDistinct(const ConversionRun& run, const std::string& errorLogPath, Reporter& reporter) {
    std::vector<NamedFile> files = {{"input file", false, identifyFile(run.inputName)},
                                    {"output file", true, identifyFile(run.outputName)}};
    if (run.infoRequested) files.push_back({"info file", run.mode == 2, identifyFile(run.infoName)});
    files.push_back({"error log " + errorLogPath, true, identifyFile(errorLogPath)});
    for (size_t later = 1; later < files.size(); ++later) {
        for (size_t earlier = 0; earlier < later; ++earlier) {
            if (!files[later].written && !files[earlier].written) continue;
            if (!sameFile(files[later].identity, files[earlier].identity)) continue;
            const NamedFile& subject = files[later].written ? files[later] : files[earlier];
            const NamedFile& other = files[later].written ? files[earlier] : files[later];
            reporter.say(format("Error: the %s is the same file as the %s.\n", subject.role.c_str(), other.role.c_str()));
            return false;
        }
    }
    return true;
}

// Puts what a successful conversion wrote in place and deletes the error log. Every
// output is complete on the disk before the first one replaces its old file; an output
// that fails is a failed conversion, and the log then keeps the reason.
int finishConverted(StagedOutput& output, StagedOutput* info, std::ofstream& log,
                    const std::string& errorLogPath, Reporter& reporter) {
    bool written = output.finish();
    if (info != nullptr) written = info->finish() && written;
    written = written && output.commit() && (info == nullptr || info->commit());
    if (!written) {
        reporter.error(kWriteFailed);
        return kExitFailed;
    }
    log.close();
    std::remove(errorLogPath.c_str());
    return kExitConverted;
}

// Input, output and error log, in this order, after the check that they are distinct
// files; each failure is told on the screen only. The output is staged: whatever stops
// the run later leaves the file of that name as it was.
bool openCommonFiles(const ConversionRun& run, const std::string& errorLogPath, std::ifstream& input,
                     StagedOutput& output, std::ofstream& log, Reporter& reporter) {
    input.open(run.inputName, std::ios::binary);
    if (!input) {
        reporter.say("Could not open input file\n");
        return false;
    }
    if (!filesAreDistinct(run, errorLogPath, reporter)) return false;
    if (!output.open(run.outputName)) {
        reporter.say("Could not open output file\n");
        return false;
    }
    log.open(errorLogPath, std::ios::trunc);
    if (!log) {
        reporter.say("Could not open error output file\n");
        return false;
    }
    reporter.attachLog(&log);
    return true;
}

int runMode1(const ConversionRun& run, const std::string& errorLogPath, Reporter& reporter) {
    std::ifstream input;
    StagedOutput output;
    std::ofstream log;
    if (!openCommonFiles(run, errorLogPath, input, output, log, reporter)) return kExitFailed;
    if (run.databaseName.empty() || static_cast<int>(run.databaseName.size()) > kMaxDatabaseNameLength) {
        reporter.error("Database name invalid\n");
        return kExitFailed;
    }
    std::ifstream info;
    if (run.infoRequested) {
        info.open(run.infoName, std::ios::binary);
        if (!info) {
            reporter.error("Could not open info file\n");
            return kExitFailed;
        }
    }
    const CsvOpener reopen = [&run]() -> std::unique_ptr<std::istream> {
        auto again = std::make_unique<std::ifstream>(run.inputName, std::ios::binary);
        if (!*again) return nullptr;
        return again;
    };
    if (!csvToDatabase(input, reopen, run.infoRequested ? &info : nullptr, run.databaseName, output.stream(),
                       reporter)) {
        return kExitFailed;
    }
    return finishConverted(output, nullptr, log, errorLogPath, reporter);
}

int runMode2(const ConversionRun& run, const std::string& errorLogPath, Reporter& reporter) {
    std::ifstream input;
    StagedOutput output;
    std::ofstream log;
    if (!openCommonFiles(run, errorLogPath, input, output, log, reporter)) return kExitFailed;
    StagedOutput info;
    if (run.infoRequested && !info.open(run.infoName)) {
        reporter.error("Could not create info file\n");
        return kExitFailed;
    }
    if (!databaseToCsv(input, output.stream(), run.infoRequested ? &info.stream() : nullptr, reporter,
                       run.csvEncoding)) {
        return kExitFailed;
    }
    return finishConverted(output, run.infoRequested ? &info : nullptr, log, errorLogPath, reporter);
}

}  // namespace

int runCelconv(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
               const std::string& errorLogPath) {
    Reporter reporter(out);
    const std::string name = programName(arguments);
    reporter.say(startLines(name));
    ConversionRun run;
    // The option comes before the mode; what follows it is read as without it.
    std::vector<std::string> args = arguments;
    if (args.size() > 1 && args[1] == "--utf8") {
        run.csvEncoding = CsvEncoding::Utf8;
        args.erase(args.begin() + 1);
    }
    if (args.size() <= 1) {
        run.mode = chooseMode(in, out);
        if (run.mode == 0) return kExitFailed;
        const bool answered = run.mode == 1 ? askMode1(in, out, run) : askMode2(in, out, run);
        if (!answered) return kExitFailed;
    } else if (args.size() <= 3) {
        return kExitUsage;  // too few arguments for any conversion: nothing is done
    } else if (!takeCommandLine(args, run)) {
        reporter.say(usageError(name));
        return kExitUsage;
    }
    return run.mode == 1 ? runMode1(run, errorLogPath, reporter) : runMode2(run, errorLogPath, reporter);
}

}  // namespace celconv
