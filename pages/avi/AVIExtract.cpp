#include "pages/avi/AVIExtract.h"

#include "media/avi/DecMovie.h"
#include "ops/PageTable.h"
#include "pages/avi/AviEntries.h"
#include "pages/avi/AviOperations.h"

namespace vt::gui {

CAVIExtract::CAVIExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorAvi) {}

bool CAVIExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("AVI", "AVI");
    return true;
}

void CAVIExtract::OnBrowseInput() {
    BrowseInputFile(fields_.input, "AVI (*.AVI)|*.avi|", ".avi");
}

void CAVIExtract::OnBrowseOutput() {
    BrowseOutputFile("AVI (*.AVI)|*.avi|", ".avi");
}

void CAVIExtract::SetInputFile(std::string path) {
    // A running page's fields belong to the running operation.
    if (IsRunning()) return;
    CBaseExtract::SetInputFile(std::move(path));
    ReadRange();
}

void CAVIExtract::ReadRange() {
    SectionRange range;
    const int r = ReadAviRange(fields_.input, range, &frameRate_);
    ShowRangeRead(r, range.start, range.end);
}

void CAVIExtract::OnRangeTyped(const TimeFields& start, const TimeFields& end) {
    // The steps of ExtractAviSection: the end frame clamped, then the start
    // moved to its key frame. Reading the index only, on this thread.
    CDecAVIAudio reader;
    if (reader.Open(fields_.input) || reader.GetLength() <= 0) return ShowRealStart();
    const double rate = reader.GetFrameRate();
    int last = TimeToFrame(end, rate);
    if (last >= reader.GetLength() - 1) last = reader.GetLength() - 1;
    int first = TimeToFrame(start, rate);
    if (first <= last) first = AviKeyFrameStart(reader, first, last);
    ShowRealStart(start, FrameToTime(first, rate));
}

void CAVIExtract::OnStart() {
    if (!BeginOperation()) return;
    OpJob job = JobOf(fields_);
    job.onRealStart = [this](const TimeFields& start) {
        // Where the section really begins, after the key-frame alignment.
        fields_.start = start;
        UpdateData(false);
    };
    const OpResult r = RunAviExtraction(job, *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
