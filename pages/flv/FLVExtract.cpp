#include "pages/flv/FLVExtract.h"

#include <cstdint>

#include "flv/FlvFile.h"
#include "ops/PageTable.h"
#include "pages/flv/FlvEntries.h"
#include "pages/flv/FlvOperations.h"

namespace vt::gui {

CFLVExtract::CFLVExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorFlv) {}

bool CFLVExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("FLV", "FLV");
    return true;
}

void CFLVExtract::SetInputFile(std::string path) {
    if (IsRunning()) return;
    CBaseExtract::SetInputFile(std::move(path));
    CFlvFile file;
    const int code = ErrorFromFlv(file.Open(fields_.input));
    ShowRangeRead(code, TimeFields{}, code == 0 ? FromMilliseconds(file.Duration()) : TimeFields{});
}

void CFLVExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input, "FLV (*.FLV)|*.flv|", ".flv");
}

void CFLVExtract::OnBrowseOutput() {
    BrowseOutputFile("FLV (*.FLV)|*.flv|", ".flv");
}

void CFLVExtract::DoDataExchange(CDataExchange& dx) {
    CBaseExtract::DoDataExchange(dx);
}

namespace {

// The library counts unsigned 32-bit milliseconds. The hours field goes far
// beyond that (about 1193 hours); such a time lies past any FLV file, so it is
// held at the largest count instead of wrapping round to a time inside the file.
uint32_t FlvMilliseconds(const TimeFields& t) {
    return uint32_t(std::clamp<int64_t>(ToMilliseconds(t), 0, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

void CFLVExtract::OnRangeTyped(const TimeFields& start, const TimeFields& end) {
    CFlvFile file;
    if (file.Open(fields_.input) || file.Extract(FlvMilliseconds(start), FlvMilliseconds(end)))
        return ShowRealStart();
    ShowRealStart(start, FromMilliseconds(file.SectionStart()));
}

void CFLVExtract::OnStart() {
    // Starting reads the path and time fields (and checks their ranges).
    if (!BeginOperation()) return;
    const OpResult r = RunFlvExtractionJob(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
