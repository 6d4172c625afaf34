#pragma once
// FLV section extraction: a time range of an FLV file.
#include <cstdint>
#include <memory>
#include <string>

#include "ops/BaseKinds.h"

namespace vt {
class CFlvFile;
}

namespace vt::gui {

class CFLVExtract : public CBaseExtract {
    Q_OBJECT
  public:
    explicit CFLVExtract(QWidget* parentObject);
    ~CFLVExtract() override;
    // The extraction kind's input and output, then the file's length as the
    // range (0 to its duration), as the other extraction pages do.
    void SetInputFile(std::string path) override;

  protected:
    bool OnInitDialog() override;
    void OnBrowseInput() override;
    void OnBrowseOutput() override;
    void DoDataExchange(CDataExchange& dx) override;
    // The start button: the extraction.
    void OnStart() override;
    // The key frame the section would begin at, as the library's Extract
    // finds it, from the index read with the file: typing reads nothing.
    void OnRangeTyped(const TimeFields& start, const TimeFields& end) override;

  private:
    // The index of the input as last read (null when it did not open), and
    // what the file was then (path, size, modification time): a changed file
    // is read again.
    const CFlvFile* Index();
    int ReadIndex();  // reads the input's index now; its error code
    std::unique_ptr<CFlvFile> index_;
    bool indexRead_ = false;
    std::string indexPath_;
    uint64_t indexSize_ = 0;
    int64_t indexTime_ = 0;
};

}  // namespace vt::gui
