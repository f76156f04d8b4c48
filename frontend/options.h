// frontend/options.h -- the logic of the Options page: what its fields show when the
// page is built and how committing it writes the settings. The controls and their
// enabled states stay in the Windows shell.
#pragma once
#include <cstdint>
#include <string>

#include "frontend/messages.h"
#include "frontend/settings.h"

// The page's controls; the number fields as their text (digits only, at most 4).
struct OptionsFields {
    std::string maxDepth;
    bool removeCR = false;
    bool removeLF = false;
    bool convertCRtoLF = false;
    bool convertSingleLB = false;
    std::string slbToSpace;
    int32_t tabChoice = TabsKept;
    std::string tabToLB;
    std::string tabToSpace;
};

// The fields as the page shows them when it is built: numbers in decimal.
OptionsFields optionsFieldsFrom(const ConverterSettings& settings);

// Commits the page, in order: MaxDepth (an empty field is 0), the three flags, the
// single-line-break choice and count, then the tab count of the chosen conversion, then
// TabConversion. An empty count that is needed shows its message and refuses; an unknown
// choice refuses silently. What was written before a refusal stays written.
bool commitOptions(const OptionsFields& fields, ConverterSettings& settings,
                   MessageSink& messages);
