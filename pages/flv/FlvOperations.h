#pragma once
// The three FLV operations (separation, connection, section extraction) as the
// pages' start buttons and the command line run them (through
// pages/flv/FlvEntries.h), written against the operation host. Each returns
// its result: 0 or an error code, and a detail text. Progress goes to the
// host; its stop flag ends the save (kErrSilent). Qt-free.
#include <cstdint>
#include <string>
#include <vector>

#include "core/OperationHost.h"
#include "flv/FlvFile.h"
#include "ops/OpContract.h"

namespace vt {

// The library's progress calls, answered from a host: the percentage done
// goes to ReportProgress; the answer is 1 once the host wants to stop.
class CFlvHostProcess : public CFlvProcess {
  public:
    explicit CFlvHostProcess(OperationHost& host) : host_(host) {}
    int OnProgress(uint32_t done, uint32_t total) override;

  private:
    OperationHost& host_;
};

enum class FlvSeparationPart { Video, Audio };

// The output name of a separation: the given output with ".avi" (video) or
// the audio's extension in place of its extension: ".aac" when the audio of
// `input` is AAC, else ".mp3" (also when the input cannot be read: the
// separation then reports why).
std::string FlvSeparationOutputPath(const std::string& output, FlvSeparationPart part,
                                    const std::string& input = {});

// The three operations in the one operation shape: the result is returned,
// not reported (the front end that started the job reports it). An input that
// does not open is named by the detail text.

// Writes the video (AVI) or the audio (MP3 or ADTS AAC) of `input` to
// `output` (already given its extension, see FlvSeparationOutputPath). A
// failure that the library explains (a codec it cannot write) carries that
// explanation as the detail text.
OpResult FlvSeparation(OperationHost& host, const std::string& input, const std::string& output,
                       FlvSeparationPart part);
// Joins the files of `inputs`, in order, into `output`. Fewer than two files:
// nothing happens (0). A later file that cannot be opened or does not fit
// ends the appending; what was joined before it is still written, and then
// the result is that file's error with its path as the detail text.
OpResult FlvConnection(OperationHost& host, const std::vector<std::string>& inputs,
                       const std::string& output);
// Writes the section [startMs, endMs) of `input` to `output` as FLV; an end
// of 0 or past the file means up to the end.
OpResult FlvExtraction(OperationHost& host, const std::string& input, const std::string& output,
                       uint32_t startMs, uint32_t endMs);

}  // namespace vt
