#pragma once
// The four operation kinds' rules without any window: what a dropped or
// chosen file does to a page's fields, the default output names, and the
// extraction page's time fields. The window's pages hold one of these field
// structs; the command line fills one the same way. Qt-free.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TimeFields.h"
#include "ops/OpContract.h"

namespace vt {

// Suffixes of the default output names.
inline constexpr std::string_view kSuffixUnion = "_comb";
inline constexpr std::string_view kSuffixCut = "_cut";
inline constexpr std::string_view kSuffixLink = "_link";
inline constexpr std::string_view kSuffixExtract = "_extr";

// GetPathNoExt(path) + suffix + GetExtLower(path).
std::string DefaultOutputName(const std::string& path, std::string_view suffix);

// GetPathNoExt(path) + ext: the output name with its extension replaced, as
// the separation pages do when an operation starts (ext with its dot).
std::string ReplaceExtension(const std::string& path, std::string_view ext);

// ---- union (CBaseCreator) ----
struct CreatorFields {
    std::string videoSource;  // edit 1052
    std::string audioSource;  // edit 1055
    std::string output;       // edit 1058
};
// A path whose lower-case extension equals audioExt (ASCII case ignored)
// becomes the audio source and nothing else changes; any other path becomes
// the video source and the output GetPathNoExt(path) + "_comb" + outputExt.
void AssignSourceFile(CreatorFields& f, const std::string& path, std::string_view outputExt,
                      std::string_view audioExt);

// ---- separation (CBaseCutter) ----
struct CutterFields {
    std::string input;   // edit 1052
    std::string output;  // edit 1058
};
// Input = path; output = GetPathNoExt(path) + "_cut" + GetExtLower(path).
void SetInputFile(CutterFields& f, const std::string& path);

// ---- connection (CBaseLinker) ----
struct LinkerFields {
    std::vector<std::string> files;  // list box 1042, in join order
    std::string output;              // edit 1058
};
// When the list is empty the output becomes GetPathNoExt(path) + "_link" +
// GetExtLower(path); then the path is appended (duplicates allowed).
void SetInputFile(LinkerFields& f, const std::string& path);
// Del: removes the entry at index (nothing for an index outside the list,
// -1 = no selection); an emptied list empties the output.
void RemoveEntry(LinkerFields& f, int index);
// Reset: empties the list and the output.
void ResetList(LinkerFields& f);

// ---- section extraction (CBaseExtract) ----
struct ExtractFields {
    std::string input;   // edit 1052
    std::string output;  // edit 1058
    TimeFields start;    // edits 1081 to 1084
    TimeFields end;      // edits 1085 to 1088
};
// Input = path; output = GetPathNoExt(path) + "_extr" + GetExtLower(path).
// The time fields are left alone (pages that read the file's length fill them).
void SetInputFile(ExtractFields& f, const std::string& path);

// One of the eight time fields, in the order the data exchange checks them.
enum class TimeField {
    StartHours,
    StartMinutes,
    StartSeconds,
    StartMilliseconds,
    EndHours,
    EndMinutes,
    EndSeconds,
    EndMilliseconds,
};
inline constexpr int kTimeFieldCount = 8;

struct TimeFieldSpec {
    TimeField field;
    int editId;  // 1081 .. 1088
    int min;
    int max;
};
// The eight fields in check order with their edit ids and ranges.
const TimeFieldSpec& GetTimeFieldSpec(TimeField field);
// The field's value inside an ExtractFields.
int& TimeFieldValue(ExtractFields& f, TimeField field);
int TimeFieldValue(const ExtractFields& f, TimeField field);

// The time fields' typing rule: Backspace (8), Tab (9) and the digits pass,
// every other typed character (the full stop and the minus sign included) is
// discarded. Pasted text is not filtered; the data exchange checks it.
bool IsTimeFieldCharAccepted(uint32_t ch);

// The framework's message for a value outside min..max, in the current
// language: "Please enter an integer between 0 and 59." (and the Japanese).
std::string RangeMessage(int min, int max);
// The framework's message for a text that is no integer: "Please enter an integer."
std::string IntegerMessage();

// Reads an edit field's text the way the data exchange does: optional blanks
// around an optional sign and decimal digits that fit an int. False (and no
// value) for anything else, which the page reports with IntegerMessage().
bool ParseIntField(std::string_view text, int* value);

struct TimeFieldError {
    TimeField field;
    std::string message;  // RangeMessage of the field's range
};
// Checks the eight fields in order; the first one outside its range, or
// nothing when all are fine.
std::optional<TimeFieldError> CheckTimeFields(const ExtractFields& f);

// The command line's time: [[H:]M:]S[.mmm]. H, M and S are decimal digits;
// when a larger unit is present the next one must be below 60; one to three
// fraction digits are a decimal fraction of a second (".5" = 500 ms). The
// result fits the extraction fields (hours up to 2147483647). No signs, no
// blanks, no empty parts.
std::optional<int64_t> ParseCliTime(std::string_view text);
// The same shape back: "H:MM:SS.mmm".
std::string FormatCliTime(int64_t ms);

// ---- the job a page's fields describe (ops/OpContract.h) ----
OpJob JobOf(const CreatorFields& f);
OpJob JobOf(const CutterFields& f, SeparateStream stream);
OpJob JobOf(const LinkerFields& f);
OpJob JobOf(const ExtractFields& f);

}  // namespace vt
