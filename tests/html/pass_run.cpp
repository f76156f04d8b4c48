// tests/html/pass_run.cpp -- see pass_run.h.
#include "tests/html/pass_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "html/html_pass.h"

namespace {

// The driver's page opener, with every path it is asked for noted.
struct RecordingOpener {
    PageOpener opener;
    std::vector<std::string>* asked;
};

uint32_t openRecorded(void* data, const char* path) {
    auto& recording = *static_cast<RecordingOpener*>(data);
    recording.asked->push_back(path);
    return openPage(&recording.opener, path);
}

void closeRecorded(void* data, uint32_t handle) {
    closePage(&static_cast<RecordingOpener*>(data)->opener, handle);
}

bool decodeRecords(PassRun& run) {
    const HtmlPassRequest& request = run.request;
    const int32_t total = request.formatCount + request.linkCount + request.ruleCount + request.boundaryCount;
    if (static_cast<size_t>(total) != run.records.size()) return false;
    for (int32_t i = 0; i < total; ++i) {
        const std::vector<uint8_t>& bytes = run.records[static_cast<size_t>(i)];
        const int32_t length = static_cast<int32_t>(bytes.size());
        if (i < request.linkFirst) {
            auto record = std::make_unique<DecodedFormatRecord>();
            if (!decodeFormatRecord(bytes.data(), length, *record)) return false;
            run.runs.insert(run.runs.end(), record->runs, record->runs + record->count);
        } else if (i < request.ruleFirst) {
            auto record = std::make_unique<DecodedLinkRecord>();
            if (!decodeLinkRecord(bytes.data(), length, *record)) return false;
            for (int32_t e = 0; e < record->count; ++e) {
                const LinkEntry& entry = record->entries[e];
                if (entry.length > 0)
                    run.links.push_back({entry.position, entry.position + entry.length, entry.target});
            }
        } else if (i < request.boundaryFirst) {
            auto record = std::make_unique<DecodedRuleRecord>();
            if (!decodeRuleRecord(bytes.data(), length, *record)) return false;
            for (int32_t e = 0; e < record->count; ++e)
                if (record->entries[e].kind == 1) run.rules.push_back(record->entries[e]);
        } else {
            auto record = std::make_unique<DecodedBoundaryRecord>();
            if (!decodeBoundaryRecord(bytes.data(), length, *record)) return false;
            // Each record repeats the previous one's last boundary as its first entry.
            run.boundaries.insert(run.boundaries.end(), record->boundaries + 1,
                                  record->boundaries + record->count);
        }
    }
    return true;
}

}  // namespace

PassRun runPassOver(MemoryIo& memory, const std::string& source, const PassOptions& options) {
    CountingIo counting(memory.ops());
    if (!options.withReportSlot) counting.withoutReportSlot();
    const IoOps& io = counting.ops();
    PassRun run;

    ConversionJob job{};
    job.io = &io;
    job.sourcePath = source.c_str();
    job.maxDepth = options.maxDepth;
    RecordingOpener opener{PageOpener{&job, io.openStream(io.userData, source.c_str(), 0)}, &run.pagesAsked};
    EXPECT_NE(0u, opener.opener.cachedSource) << source;
    const uint32_t text = io.createTempStream(io.userData);
    const uint32_t records = io.createTempStream(io.userData);
    const uint32_t offsets = io.createTempStream(io.userData);

    HtmlPassRequest& request = run.request;
    request.openPage = &openRecorded;
    request.closePage = &closeRecorded;
    request.pageCallbackData = &opener;
    request.io = &io;
    request.textStream = text;
    request.recordStream = records;
    request.offsetStream = offsets;
    request.maxDepth = options.maxDepth;
    request.keepNavigation = options.keepNavigation ? 1 : 0;
    if (options.arm) options.arm(counting);
    run.result = runHtmlPass(request, source.c_str());
    run.faultFired = counting.faultFired();
    counting.failAt(IoOp::Any, 0);
    counting.shortAt(IoOp::Any, 0);
    run.log = counting.log();
    run.reports = counting.reports();
    for (const ProgressReport& report : run.reports)
        if (report.stage == StageCurrentPage) run.pagesReported.push_back(report.page);
    const std::vector<uint32_t> temps = counting.tempHandles();
    if (temps.size() > 3) run.passTemps.assign(temps.begin() + 3, temps.end());

    const std::vector<uint8_t> textBytes = memory.bytesOfHandle(text);
    run.text.assign(textBytes.begin(), textBytes.end());
    const std::vector<uint8_t> recordBytes = memory.bytesOfHandle(records);
    const std::vector<uint8_t> offsetBytes = memory.bytesOfHandle(offsets);
    std::vector<uint32_t> starts(offsetBytes.size() / 4);
    if (!starts.empty()) std::memcpy(starts.data(), offsetBytes.data(), starts.size() * 4);
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t begin = starts[i];
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : recordBytes.size();
        if (begin > end || end > recordBytes.size()) break;
        run.records.emplace_back(recordBytes.begin() + static_cast<long>(begin),
                                 recordBytes.begin() + static_cast<long>(end));
    }
    if (run.result == StepDone) run.recordsDecoded = decodeRecords(run);
    run.closeOrder = counting.closeOrder();

    io.closeStream(io.userData, offsets);
    io.closeStream(io.userData, records);
    io.closeStream(io.userData, text);
    if (opener.opener.cachedSource != 0) io.closeStream(io.userData, opener.opener.cachedSource);
    expectNothingHeld(counting);
    return run;
}

std::string textBetween(const PassRun& run, uint32_t start, uint32_t end) {
    if (start > end || end > run.text.size()) return "<out of range>";
    return run.text.substr(start, end - start);
}
