// frontend/engine_title_probes.h -- the TitleProbes on the engine's own probes, run on
// the calling thread through the given IoOps (standardIoOps in the programs).
#pragma once
#include "engine/io_ops.h"
#include "frontend/source_destination.h"

class EngineTitleProbes : public TitleProbes {
public:
    explicit EngineTitleProbes(const IoOps& io) : io_(io) {}
    std::optional<std::string> docTitle(const std::string& path) override;
    std::optional<std::string> htmlTitle(const std::string& path, int32_t maxLength) override;

private:
    const IoOps& io_;
};
