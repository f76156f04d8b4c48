// frontend/html_reference_rules.h -- the front ends make a source path absolute with the
// same reference helpers the HTML pass uses for links, so a page is named the same way
// whether it was the source or reached through a link.
#pragma once
#include "frontend/conversion_run.h"

class HtmlReferenceRules : public ReferenceRules {
public:
    int pathKind(const std::string& reference) const override;
    std::optional<std::string> resolveReference(const std::string& base,
                                                const std::string& reference) const override;
    std::optional<std::string> normalizePath(const std::string& path) const override;
};
