// frontend/html_reference_rules.cpp -- see html_reference_rules.h. The helpers work on
// 255-byte strings; longer inputs are refused here rather than cut.
#include "frontend/html_reference_rules.h"

#include <cstring>

#include "html/references.h"

int HtmlReferenceRules::pathKind(const std::string& reference) const {
    return ::pathKind(reference.c_str());
}

std::optional<std::string> HtmlReferenceRules::resolveReference(
    const std::string& base, const std::string& reference) const {
    if (base.size() >= kReferenceBytes || reference.size() >= kReferenceBytes) return std::nullopt;
    char out[kReferenceBytes];
    if (::resolveReference(base.c_str(), reference.c_str(), out) == nullptr) return std::nullopt;
    return std::string(out);
}

std::optional<std::string> HtmlReferenceRules::normalizePath(const std::string& path) const {
    if (path.size() >= kReferenceBytes) return std::nullopt;
    char work[kReferenceBytes];
    std::memcpy(work, path.c_str(), path.size() + 1);
    if (::normalizePath(work) == nullptr) return std::nullopt;
    return std::string(work);
}
