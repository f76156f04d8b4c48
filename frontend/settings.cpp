// frontend/settings.cpp -- loading, saving and the command line. The registry value
// names, types, defaults and ranges are one table each for numbers and flags, so loading
// and saving cannot disagree about a value.
#include "frontend/settings.h"

namespace {

struct NumberValue {
    const char* name;
    int32_t ConverterSettings::*field;
    uint32_t highest;  // accepted range is 0..highest
};

const NumberValue kNumbers[] = {
    {"DestinationLocation", &ConverterSettings::destinationLocation, 2},
    {"SLBToSpace", &ConverterSettings::slbToSpace, 9999},
    {"TabConversion", &ConverterSettings::tabConversion, 2},
    {"TabToLB", &ConverterSettings::tabToLB, 9999},
    {"TabToSpace", &ConverterSettings::tabToSpace, 9999},
    {"MaxDepth", &ConverterSettings::maxDepth, 9999},
    {"BrowseFilterIndex", &ConverterSettings::browseFilterIndex, 5},
};

// Numbers no page shows: loaded like the flags below, never saved. A stored value out of
// range (a MaxPages of 0 included: it would mean no pages at all) keeps the default.
struct LoadedOnlyNumber {
    const char* name;
    int32_t ConverterSettings::*field;
    uint32_t lowest;
    uint32_t highest;
};

const LoadedOnlyNumber kLoadedOnlyNumbers[] = {
    {"MaxPages", &ConverterSettings::maxPages, 1, kHighestMaxPages},
    {"WebWait", &ConverterSettings::webWaitMilliseconds, 0, kHighestWebWaitMilliseconds},
    {"WebTimeout", &ConverterSettings::webTimeoutSeconds, 1, kHighestWebTimeoutSeconds},
};

struct FlagValue {
    const char* name;
    bool ConverterSettings::*field;
};

const FlagValue kFlags[] = {
    {"RemoveCR", &ConverterSettings::removeCR},
    {"RemoveLF", &ConverterSettings::removeLF},
    {"ConvertCRtoLF", &ConverterSettings::convertCRtoLF},
    {"ConvertSingleLB", &ConverterSettings::convertSingleLB},
};

// Flags no page shows: loaded like the others, never saved, so that a value set by hand
// stays exactly as it was set.
const FlagValue kLoadedOnlyFlags[] = {
    {"FollowLinksOutside", &ConverterSettings::followLinksOutside},
    {"KeepNavigation", &ConverterSettings::keepNavigation},
    {"FollowHosts", &ConverterSettings::followHosts},
};

struct TextValue {
    const char* name;
    std::string ConverterSettings::*field;
};

const TextValue kTexts[] = {
    {"DestinationUserName", &ConverterSettings::destinationUserName},
    {"DestinationFolder", &ConverterSettings::destinationFolder},
};

}  // namespace

ConverterSettings loadSettings(SettingsStore& store) {
    ConverterSettings settings;
    const std::unique_ptr<SettingsKey> key = store.openForReading(kSettingsKeyPath);
    if (!key) return settings;
    for (const NumberValue& number : kNumbers) {
        const std::optional<uint32_t> value = key->getDword(number.name);
        if (value && *value <= number.highest) settings.*number.field = static_cast<int32_t>(*value);
    }
    for (const LoadedOnlyNumber& number : kLoadedOnlyNumbers) {
        const std::optional<uint32_t> value = key->getDword(number.name);
        if (value && *value >= number.lowest && *value <= number.highest)
            settings.*number.field = static_cast<int32_t>(*value);
    }
    auto loadFlag = [&](const FlagValue& flag) {
        const std::optional<uint32_t> value = key->getDword(flag.name);
        if (value) settings.*flag.field = *value != 0;
    };
    for (const FlagValue& flag : kFlags) loadFlag(flag);
    for (const FlagValue& flag : kLoadedOnlyFlags) loadFlag(flag);
    for (const TextValue& text : kTexts) {
        std::optional<std::string> value = key->getString(text.name);
        if (value) settings.*text.field = std::move(*value);
    }
    return settings;
}

bool saveSettings(SettingsStore& store, const ConverterSettings& settings) {
    const std::unique_ptr<SettingsKey> key = store.openForWriting(kSettingsKeyPath);
    if (!key) return false;
    bool allWritten = true;
    // Numbers are written as they are, even out of range: loading then keeps the default.
    for (const NumberValue& number : kNumbers)
        allWritten &= key->setDword(number.name, static_cast<uint32_t>(settings.*number.field));
    for (const FlagValue& flag : kFlags)
        allWritten &= key->setDword(flag.name, settings.*flag.field ? 1u : 0u);
    for (const TextValue& text : kTexts) allWritten &= key->setString(text.name, settings.*text.field);
    return allWritten;
}

ConverterCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ConverterCommandLine line;
    for (const std::string& argument : arguments) {
        const bool isOption = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
        if (isOption) {
            const char letter = argument.size() > 1 ? argument[1] : '\0';
            if (letter == '?' || letter == 'h') line.showHelp = true;
            else if (letter == 'u') line.quiet = true;
            else if (letter == 'y') line.forceOverwrite = true;
        } else if (!line.fileGiven) {
            line.sourceFile = argument;
            line.fileGiven = true;
        }
        // A further name is ignored: reading its first character as an option letter
        // would let a second file name starting with "y" force overwriting.
    }
    return line;
}
