// tests/engine/engine_fixtures.h -- what several engine tests build: a job with the
// usual options, and PalmDoc databases laid out byte by byte, independently of the
// engine's own encoder, so a fault there cannot hide in both.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/conversion_job.h"

using Bytes = std::vector<uint8_t>;

Bytes toBytes(const std::string& text);
std::string toText(const Bytes& bytes);

// removeCR on, every other option off: the front end's defaults.
ConversionJob defaultJob(const IoOps& io, const char* source, const char* destination);

struct DocLayout {
    std::string name = "Sample book";
    std::string type = "TEXt";
    std::string creator = "REAd";
    uint16_t compression = 2;  // 1 = stored text
    int announcedRecords = -1; // record 0's text record count; -1 = the real count
};

// A Palm database: header, entries, two zero bytes, record 0 (16 bytes: compression,
// 0, text length, count, 4096, 0) and the text records as given.
Bytes makePalmDoc(const std::vector<Bytes>& textRecords, const DocLayout& layout = DocLayout());
// The offset of record `index` in a database made by makePalmDoc.
uint32_t recordOffsetIn(const Bytes& database, int index);
