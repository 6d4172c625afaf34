#pragma once
// The one shape of an operation, for the window's pages and the command line
// alike: a job description goes in, a result {code, detail} comes out, and the
// front end that started the job reports that result once. Each format family
// lists its operations in a table of entry points keyed by page number
// (pages/avi/AviEntries.h, pages/wm/WmEntries.h, pages/flv/FlvEntries.h).
// Qt-free.
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/OperationHost.h"
#include "core/TimeFields.h"
#include "ops/PageTable.h"

namespace vt {

enum class SeparateStream { None, Video, Audio };

// What to do, as the page's fields or the command line's arguments say it.
struct OpJob {
    Operation operation = Operation::Join;
    SeparateStream stream = SeparateStream::None;  // separation only
    // separation, extraction: the input; union: video source, audio source;
    // connection: the files in join order.
    std::vector<std::string> inputs;
    std::string output;  // the final output path
    TimeFields start;    // extraction only
    // Extraction only; none: to the input's end (the end the page proposes
    // when the file is loaded).
    std::optional<TimeFields> end;
    // Extraction: where the section really begins, after the alignment to a
    // key frame; called before the copy starts (optional).
    std::function<void(const TimeFields&)> onRealStart;
};

// How a job ended: 0 or a code of the error table, and the detail text of its
// message (the file an open failure is about, for example).
struct OpResult {
    int code = 0;
    std::string detail;
    OpResult(int c = 0, std::string d = {}) : code(c), detail(std::move(d)) {}
};

// Completes the job before it runs, as the page does when it is filled in:
// the end of an extraction's range, a separation's final output name. A
// failure (the input does not open) ends the job before anything is deleted.
// The host only takes diagnostics here.
using OpPrepare = OpResult (*)(OpJob& job, OperationHost& host);
// Runs the job against the host. Progress and the stop test go through the
// host; the result is returned, not reported. An existing output has already
// been deleted by the front end's start step. It returns only when the
// operation has ended (worker threads joined).
using OpRun = OpResult (*)(const OpJob& job, OperationHost& host);

struct OpEntry {
    int pageNumber;
    OpPrepare prepare;  // may be null: nothing to complete
    OpRun run;
};

// The entry of a page number in a family's table, or nullptr.
inline const OpEntry* FindEntry(std::span<const OpEntry> table, int pageNumber) {
    for (const OpEntry& e : table)
        if (e.pageNumber == pageNumber) return &e;
    return nullptr;
}

}  // namespace vt
