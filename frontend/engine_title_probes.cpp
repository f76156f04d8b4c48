// frontend/engine_title_probes.cpp -- see engine_title_probes.h.
#include "frontend/engine_title_probes.h"

#include <cstring>
#include <vector>

#include "driver/conversion.h"
#include "driver/html_probes.h"

std::optional<std::string> EngineTitleProbes::docTitle(const std::string& path) {
    char name[33] = {};
    if (!probeDocTitle(io_, path.c_str(), name)) return std::nullopt;
    return std::string(name, strnlen(name, 32));
}

std::optional<std::string> EngineTitleProbes::htmlTitle(const std::string& path,
                                                        int32_t maxLength) {
    if (maxLength < 0) return std::nullopt;
    std::vector<char> title(static_cast<size_t>(maxLength) + 1, '\0');
    if (!probeHtmlTitle(io_, path.c_str(), title.data(), maxLength)) return std::nullopt;
    return std::string(title.data(), strnlen(title.data(), static_cast<size_t>(maxLength)));
}
