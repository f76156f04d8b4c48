// tests/celconv/fuzz_test.cpp -- thousands of random and mutated CSV, info and database
// files. Under the sanitizer build any read or write outside a buffer fails the run; in
// both builds every database the CSV conversion completes must hold records exactly
// where its record list says, and be readable back.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "celconv/celdo_app_info.h"
#include "celconv/info_file.h"
#include "celconv/reporter.h"
#include "celconv/text_reader.h"
#include "tests/celconv/celconv_test_util.h"

using celconv_test::big16;
using celconv_test::big32;

namespace {

class Mutator {
public:
    explicit Mutator(uint32_t seed) : random_(seed) {}
    size_t below(size_t limit) { return limit == 0 ? 0 : std::uniform_int_distribution<size_t>(0, limit - 1)(random_); }

    // Bytes a CSV or info file reacts to, and some it should not.
    char interesting() {
        static const char bytes[] = {'"', ',', '\n', '\r', '\0', ' ', '0', 'x', '-', 'p', '9', '\x8C', '\xFF', 'a'};
        return bytes[below(sizeof bytes)];
    }

    std::string randomText(size_t maxLength) {
        std::string text(below(maxLength + 1), '\0');
        for (char& c : text) c = below(4) == 0 ? static_cast<char>(below(256)) : interesting();
        return text;
    }

    // An info file of the right shape with values mostly in range, in every number form,
    // with long, blank and marker popup lines.
    std::string infoFile(int fieldCount) {
        std::string text;
        for (int field = 0; field < fieldCount; ++field) text += number(-32768, 65535) + separator();
        for (int field = 0; field < fieldCount; ++field) text += number(0, 160) + separator();
        text += number(0, 160) + separator() + number(0, 19) + "\n";
        text += (below(3) == 0 ? std::string("none") : randomText(14)) + "\n" + number(0, 1) + "\n";
        for (size_t line = below(50); line > 0; --line) {
            const size_t kind = below(10);
            if (kind == 0) text += "popup" + randomText(5);
            else if (kind == 1) text += std::string(99 * (1 + below(2)), 'w');
            else if (kind != 2) text += std::string(below(120), 'v');
            text += below(2) ? "\n" : "\r\n";
        }
        return text;
    }

    std::string separator() { return below(3) == 0 ? "\n" : " "; }

    // A number in [low, high] but now and then, in decimal, hexadecimal or octal.
    std::string number(long low, long high) {
        long value = low + static_cast<long>(below(static_cast<size_t>(high - low + 1)));
        if (below(150) == 0) value = static_cast<long>(below(140000)) - 70000;
        const char* sign = value < 0 ? "-" : "";
        const unsigned long magnitude = static_cast<unsigned long>(value < 0 ? -value : value);
        char text[32];
        switch (below(3)) {
        case 0: std::snprintf(text, sizeof text, "%s0x%lx", sign, magnitude); break;
        case 1: std::snprintf(text, sizeof text, "%s0%lo", sign, magnitude); break;
        default: std::snprintf(text, sizeof text, "%s%lu", sign, magnitude); break;
        }
        return text;
    }

    std::string mutate(std::string bytes) {
        const size_t steps = 1 + below(below(2) ? 2 : 8);
        for (size_t step = 0; step < steps; ++step) {
            const size_t at = below(bytes.size() + 1);
            switch (below(7)) {
            case 0: if (at < bytes.size()) bytes[at] = static_cast<char>(below(256)); break;
            case 1: if (at < bytes.size()) bytes[at] = interesting(); break;
            case 2: bytes.insert(at, 1, interesting()); break;
            case 3: bytes.erase(at, below(16)); break;
            case 4: bytes.resize(at); break;
            case 5: bytes.insert(at, bytes.substr(below(bytes.size() + 1), below(600))); break;
            default: if (at + 4 <= bytes.size()) bytes.replace(at, 4, std::string(below(2) ? 4 : 1, '\xFF').substr(0, 4) + std::string(4, '\0'), 0, 4); break;
            }
        }
        return bytes;
    }

private:
    std::mt19937 random_;
};

// Every record of a database written by the utility holds fieldCount zero-ended values
// and ends exactly where the next one (or the file) begins.
void expectRecordsWhereTheListSays(const std::string& database) {
    const uint32_t count = big16(database, 76);
    const uint32_t appInfo = big32(database, 52);
    ASSERT_EQ(80u + 8 * count, appInfo);
    const uint32_t fields = big16(database, appInfo + 460);
    for (uint32_t index = 0; index < count; ++index) {
        uint32_t position = big32(database, 78 + 8 * index);
        const uint32_t end = index + 1 < count ? big32(database, 78 + 8 * (index + 1))
                                               : static_cast<uint32_t>(database.size());
        for (uint32_t field = 0; field < fields; ++field) {
            const size_t zero = database.find('\0', position);
            ASSERT_NE(std::string::npos, zero);
            position = static_cast<uint32_t>(zero) + 1;
        }
        ASSERT_EQ(end, position) << "record " << index;
    }
}

const std::vector<std::string> kCsvSeeds = {
    "Name,Phone\nSmith,555\n",
    "A,\"B\"\"x\",C\r\n\"a,b\",\"say \"\"hi\"\"\",\n,,\"\n\"\n",
    "One\n\nx\n\"unbalanced\n\"\n",
    "A,B\nx,y\"\np\",q\n",
    "",
};
const std::vector<std::string> kInfoSeeds = {
    "1 1\n80 80\n80\n1\nnone\n0\n",
    "0x10 010\n0 160\n 0\n19\nabcdefghijklmn\n1\n\npopup a\nx\n\ny\n",
    "1 2 3\n4 5 6\n7\n8\npw\n0\n" + std::string(99, 'p') + "\n" + std::string(150, 'q') + "\n",
};

TEST(CelconvFuzz, RandomAndMutatedCsvFiles) {
    Mutator mutator(20240601);
    int converted = 0;
    for (int round = 0; round < 6000; ++round) {
        std::string csv = round % 5 == 0 ? mutator.randomText(300) : mutator.mutate(kCsvSeeds[round % kCsvSeeds.size()]);
        const std::string info = mutator.mutate(kInfoSeeds[round % kInfoSeeds.size()]);
        const auto run = celconv_test::toDatabase(csv, round % 3 == 0 ? &info : nullptr);
        if (!run.converted) continue;
        ++converted;
        expectRecordsWhereTheListSays(run.database);
        const auto back = celconv_test::toCsv(run.database, true);
        ASSERT_TRUE(back.converted) << back.messages.screen;
    }
    EXPECT_GT(converted, 2000);  // the mutations still reach the writing
}

TEST(CelconvFuzz, RandomAndMutatedInfoFiles) {
    Mutator mutator(7);
    int converted = 0;
    for (int round = 0; round < 6000; ++round) {
        const int fieldCount = static_cast<int>(mutator.below(21));
        std::string text;
        switch (round % 4) {
        case 0: text = mutator.randomText(400); break;
        case 1: text = mutator.mutate(kInfoSeeds[round % kInfoSeeds.size()]); break;
        case 2: text = mutator.mutate(mutator.infoFile(fieldCount)); break;
        default: text = mutator.infoFile(fieldCount); break;
        }
        celconv::CeldoAppInfo appInfo;
        celconv::setAppInfoDefaults(appInfo);
        std::istringstream in(text);
        celconv::TextReader reader(in);
        std::ostringstream screen;
        celconv::Reporter reporter(screen);
        if (!celconv::readInfoFile(reader, appInfo, fieldCount, reporter)) {
            ASSERT_FALSE(screen.str().empty());
            continue;
        }
        ++converted;
        // The popup text stays within its 4000-character budget.
        ASSERT_LE(celconv::popupBlockSize(appInfo), 564u + 4001u);
        ASSERT_EQ(celconv::popupBlockSize(appInfo), celconv::encodeAppInfo(appInfo).size());
    }
    EXPECT_GT(converted, 1500);
}

TEST(CelconvFuzz, RandomAndMutatedDatabases) {
    Mutator mutator(99);
    std::vector<std::string> seeds;
    for (const std::string& csv : kCsvSeeds) seeds.push_back(celconv_test::toDatabase(csv).database);
    for (const std::string& info : kInfoSeeds) {
        const auto run = celconv_test::toDatabase(kCsvSeeds[0], &info);
        if (run.converted) seeds.push_back(run.database);
    }
    ASSERT_EQ(kCsvSeeds.size() + 2, seeds.size());
    int converted = 0;
    for (int round = 0; round < 8000; ++round) {
        const std::string database =
            round % 8 == 0 ? mutator.randomText(1200) : mutator.mutate(seeds[round % seeds.size()]);
        const auto run = celconv_test::toCsv(database, round % 2 == 0);
        if (run.converted) {
            ++converted;
            ASSERT_EQ("\r\n", run.csv.substr(run.csv.size() - 2));
        } else {
            ASSERT_FALSE(run.messages.log.empty());
        }
    }
    EXPECT_GT(converted, 2000);
}

}  // namespace
