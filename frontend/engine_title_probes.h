// frontend/engine_title_probes.h -- the TitleProbes on the engine's own probes, run on
// the calling thread through the given IoOps (standardIoOps in the programs) under the
// decoding wrapper (decoding_io.h), so that a page is read in its own encoding. Paths
// and titles are UTF-8 on this side; the engine's Windows-1252 titles are turned back.
#pragma once
#include <optional>

#include "engine/io_ops.h"
#include "frontend/source_destination.h"
#include "frontend/text_encoding.h"

// The bytes of a page decoded for its title; the title probe reads no further than this.
inline constexpr int32_t kTitleProbeBytes = 65536;

class EngineTitleProbes : public TitleProbes {
public:
    // `encoding` overrides each page's own, as for the run.
    explicit EngineTitleProbes(const IoOps& io, std::optional<TextEncoding> encoding = std::nullopt)
        : io_(io), encoding_(encoding) {}
    std::optional<std::string> docTitle(const std::string& path) override;
    std::optional<std::string> htmlTitle(const std::string& path, int32_t maxLength) override;

private:
    const IoOps& io_;
    std::optional<TextEncoding> encoding_;
};
