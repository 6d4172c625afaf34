#pragma once
// The four operation kinds between CBaseOpe and the concrete pages: each
// fixes the template, relabels the shared controls, holds its fields and
// decides what a dropped or chosen file does.
#include <string>
#include <vector>

#include "ops/BaseOpe.h"
#include "ops/KindRules.h"

class QTimer;

class QListWidget;

namespace vt::gui {

class CNumberEditBox;

// Sets "text[formats]" captions from string pairs.
void SetFormatCaption(CBaseDialog* dlg, int ctrlId, unsigned stringId, const std::string& formats);

// Union: a video source and an audio source into one movie (template 103).
class CBaseCreator : public CBaseOpe {
    Q_OBJECT
  public:
    CBaseCreator(QWidget* parentObject, unsigned bkColor);

    // Sorts a file by its extension: the audio extension makes it the audio
    // source, anything else the video source (which names the output).
    void AssignSourceFile(std::string path, std::string outputExt, std::string audioExt);
    // Open dialog for a source; routeToInput: the choice goes to SetInputFile,
    // else it becomes the audio source whatever its extension.
    void BrowseSourceFile(std::string initialFile, std::string filter, std::string defaultExt,
                          int routeToInput);
    void SetFormatLabels(const std::string& video, const std::string& audio, const std::string& output);

    std::string& OutputPath() override { return fields_.output; }
    std::vector<std::string> InputPaths() const override {
        return {fields_.videoSource, fields_.audioSource};
    }
    std::optional<OpJob> JobOfFields() const override { return JobOf(fields_); }
    const CreatorFields& Fields() const { return fields_; }

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    // Buttons of the concrete page.
    virtual void OnBrowseVideo() {}   // 1053
    virtual void OnBrowseAudio() {}   // 1056
    virtual void OnBrowseOutput() {}  // 1059
    virtual void OnStart() {}         // 1063: runs the union

    CreatorFields fields_;
};

// Separation: the video or the audio stream of a movie (template 104).
class CBaseCutter : public CBaseOpe {
    Q_OBJECT
  public:
    CBaseCutter(QWidget* parentObject, unsigned bkColor);

    // Input = path; output = the input without extension + "_cut" + extension.
    void SetInputFile(std::string path) override;
    void SetFormatLabels(const std::string& input, const std::string& output);

    std::string& OutputPath() override { return fields_.output; }
    std::vector<std::string> InputPaths() const override { return {fields_.input}; }
    // The stream of the start button last clicked.
    std::optional<OpJob> JobOfFields() const override { return JobOf(fields_, stream_); }
    const CutterFields& Fields() const { return fields_; }

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    virtual void OnBrowseInput() {}   // 1053
    virtual void OnBrowseOutput() {}  // 1059
    virtual void OnVideoCut() {}      // 1061: writes the video stream
    virtual void OnAudioCut() {}      // 1062: writes the audio stream

    CutterFields fields_;
    SeparateStream stream_ = SeparateStream::Video;
};

// Connection: a list of files joined in list order (template 105).
class CBaseLinker : public CBaseOpe {
    Q_OBJECT
  public:
    CBaseLinker(QWidget* parentObject, unsigned bkColor);

    // Appends the file; the first file of an empty list names the output.
    void SetInputFile(std::string path) override;
    // Multi-select open dialog; each chosen file goes to SetInputFile in order.
    void BrowseAddFiles(std::string filter, std::string defaultExt);
    void SetFormatLabels(const std::string& output);

    std::string& OutputPath() override { return fields_.output; }
    std::vector<std::string> InputPaths() const override { return fields_.files; }
    std::optional<OpJob> JobOfFields() const override { return JobOf(fields_); }
    const LinkerFields& Fields() const { return fields_; }
    QListWidget* FileList() const { return list_; }

  public slots:
    void OnDel();    // 1073
    void OnReset();  // 1072

  protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    QWidget* CreateControl(const CtrlTemplate& ctrl, QWidget* parent) override;
    // The widget of the file list (1042).
    virtual QListWidget* CreateFileList(QWidget* parent);
    virtual void OnAdd() {}           // 1071
    virtual void OnBrowseOutput() {}  // 1059
    virtual void OnStart() {}         // 1063: joins the files in list order
    // Asks whether to join files that differ from the first, with Cancel as
    // the default answer; true for OK.
    bool ConfirmJoin(const std::string& question);

    LinkerFields fields_;

  private:
    // Brings the list widget to `files` through the list's own operations.
    void SyncList(const std::vector<std::string>& files);

    QListWidget* list_ = nullptr;
};

// Section extraction: a time range of one file (template 106).
class CBaseExtract : public CBaseOpe {
    Q_OBJECT
  public:
    CBaseExtract(QWidget* parentObject, unsigned bkColor);

    // Input = path; output = the input without extension + "_extr" + extension.
    void SetInputFile(std::string path) override;
    void SetFormatLabels(const std::string& input, const std::string& output);

    std::string& OutputPath() override { return fields_.output; }
    std::vector<std::string> InputPaths() const override { return {fields_.input}; }
    std::optional<OpJob> JobOfFields() const override { return JobOf(fields_); }
    const ExtractFields& Fields() const { return fields_; }

    // The line below the range that tells where the section really begins
    // (kIdRealStart; empty until a page shows it).
    static constexpr int kIdRealStart = 1096;
    // The delay between the last change of a time field and OnRangeTyped.
    static constexpr int kRangeTypedDelayMs = 250;

  protected:
    // Called on the user-interface thread a moment after the typed times stop
    // changing (also after a new input's range is shown), with the times as
    // typed; not while an operation runs, nor while a field holds no valid
    // number. A page whose extraction moves the start shows where it really
    // begins through ShowRealStart.
    virtual void OnRangeTyped(const TimeFields& start, const TimeFields& end) {
        (void)start;
        (void)end;
    }
    // Shows "real start" with the time, noting when it is not the typed start;
    // ShowRealStart() alone empties the line.
    void ShowRealStart(const TimeFields& asked, const TimeFields& real);
    void ShowRealStart();
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    QWidget* CreateControl(const CtrlTemplate& ctrl, QWidget* parent) override;
    virtual void OnBrowseInput() {}   // 1053
    virtual void OnBrowseOutput() {}  // 1059
    virtual void OnStart() {}         // 1063: extracts the range
    // Shows the range read from a new input. A failure (code != 0) forgets the
    // file and empties the fields; no operation runs, so no box appears.
    void ShowRangeRead(int code, const TimeFields& start, const TimeFields& end);

    ExtractFields fields_;
    // The time edits in the order 1088 down to 1081.
    CNumberEditBox* timeEdits_[kTimeFieldCount] = {};

  private:
    // The times in the edits, when each holds a number in its field's range.
    bool TypedRange(TimeFields& start, TimeFields& end) const;
    QTimer* rangeTimer_ = nullptr;
};

}  // namespace vt::gui
