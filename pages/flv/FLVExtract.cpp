#include "pages/flv/FLVExtract.h"

#include <sys/stat.h>

#include <cstdint>

#include "flv/FlvFile.h"
#include "ops/PageTable.h"
#include "pages/flv/FlvEntries.h"
#include "pages/flv/FlvOperations.h"

namespace vt::gui {

namespace {

// The size and modification time of a file, to tell whether it changed.
bool FileStamp(const std::string& path, uint64_t& size, int64_t& time) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    size = uint64_t(st.st_size);
    time = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

}  // namespace

CFLVExtract::CFLVExtract(QWidget* parentObject) : CBaseExtract(parentObject, kColorFlv) {}

CFLVExtract::~CFLVExtract() = default;

bool CFLVExtract::OnInitDialog() {
    CBaseExtract::OnInitDialog();
    SetFormatLabels("FLV", "FLV");
    return true;
}

void CFLVExtract::SetInputFile(std::string path) {
    if (IsRunning()) return;
    CBaseExtract::SetInputFile(std::move(path));
    // The index stays for the real start shown while the times are typed.
    indexRead_ = false;
    const int code = ReadIndex();
    ShowRangeRead(code, TimeFields{}, code == 0 ? FromMilliseconds(index_->Duration()) : TimeFields{});
}

int CFLVExtract::ReadIndex() {
    index_.reset();
    indexPath_ = fields_.input;
    indexRead_ = FileStamp(indexPath_, indexSize_, indexTime_);
    auto file = std::make_unique<CFlvFile>();
    const int code = ErrorFromFlv(file->Open(indexPath_));
    if (code == 0) index_ = std::move(file);
    return code;
}

const CFlvFile* CFLVExtract::Index() {
    uint64_t size = 0;
    int64_t time = 0;
    // The same file, unchanged, or gone since (the start then says why):
    // what was read stands, a file that did not open included.
    const bool stamped = FileStamp(fields_.input, size, time);
    if (!indexRead_ || fields_.input != indexPath_ || (stamped && (size != indexSize_ || time != indexTime_)))
        ReadIndex();
    return index_.get();
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
    const CFlvFile* file = Index();
    if (!file) return ShowRealStart();
    ShowRealStart(start,
                  FromMilliseconds(file->SectionStartOf(FlvMilliseconds(start), FlvMilliseconds(end))));
}

void CFLVExtract::OnStart() {
    // Starting reads the path and time fields (and checks their ranges).
    if (!BeginOperation()) return;
    const OpResult r = RunFlvExtractionJob(JobOf(fields_), *this);
    ShowErrorMessage(r.detail, r.code);
    EndOperation();
}

}  // namespace vt::gui
