// frontend/options.cpp -- see options.h.
#include "frontend/options.h"

#include <limits>
#include <optional>

// The field's decimal value, read whole; nullopt when empty. The field takes digits
// only, so anything from the first other character on is ignored, as the C library does.
static std::optional<int32_t> countField(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

OptionsFields optionsFieldsFrom(const ConverterSettings& settings) {
    OptionsFields fields;
    fields.maxDepth = std::to_string(settings.maxDepth);
    fields.removeCR = settings.removeCR;
    fields.removeLF = settings.removeLF;
    fields.convertCRtoLF = settings.convertCRtoLF;
    fields.convertSingleLB = settings.convertSingleLB;
    fields.slbToSpace = std::to_string(settings.slbToSpace);
    fields.tabChoice = settings.tabConversion;
    fields.tabToLB = std::to_string(settings.tabToLB);
    fields.tabToSpace = std::to_string(settings.tabToSpace);
    return fields;
}

static bool refuse(MessageSink& messages, MessageId id) {
    messages.show(id, messageText(id));
    return false;
}

bool commitOptions(const OptionsFields& fields, ConverterSettings& settings,
                   MessageSink& messages) {
    settings.maxDepth = countField(fields.maxDepth).value_or(0);
    settings.removeCR = fields.removeCR;
    settings.removeLF = fields.removeLF;
    settings.convertCRtoLF = fields.convertCRtoLF;
    if (fields.convertSingleLB) {
        settings.convertSingleLB = true;
        const std::optional<int32_t> spaces = countField(fields.slbToSpace);
        if (!spaces) return refuse(messages, MsgSlbCountMissing);
        settings.slbToSpace = *spaces;
    } else {
        settings.convertSingleLB = false;
    }
    switch (fields.tabChoice) {
        case TabsKept:
            break;
        case TabsToLineBreaks: {
            const std::optional<int32_t> breaks = countField(fields.tabToLB);
            if (!breaks) return refuse(messages, MsgTabLbCountMissing);
            settings.tabToLB = *breaks;
            break;
        }
        case TabsToSpaces: {
            const std::optional<int32_t> spaces = countField(fields.tabToSpace);
            if (!spaces) return refuse(messages, MsgTabSpaceCountMissing);
            settings.tabToSpace = *spaces;
            break;
        }
        default:
            return false;
    }
    settings.tabConversion = fields.tabChoice;
    return true;
}
