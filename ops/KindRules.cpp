#include "ops/KindRules.h"

#include <array>
#include <cstdio>
#include <limits>

#include "core/ShellHelpers.h"
#include "core/Strings.h"
#include "platform/AsciiText.h"

namespace vt {
namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();

constexpr std::array<TimeFieldSpec, kTimeFieldCount> kSpecs = {{
    {TimeField::StartHours, 1081, 0, kIntMax},
    {TimeField::StartMinutes, 1082, 0, 59},
    {TimeField::StartSeconds, 1083, 0, 59},
    {TimeField::StartMilliseconds, 1084, 0, 999},
    {TimeField::EndHours, 1085, 0, kIntMax},
    {TimeField::EndMinutes, 1086, 0, 59},
    {TimeField::EndSeconds, 1087, 0, 59},
    {TimeField::EndMilliseconds, 1088, 0, 999},
}};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits only, at least one, value up to `limit`.
std::optional<int64_t> Digits(std::string_view s, int64_t limit) {
    if (s.empty()) return std::nullopt;
    int64_t v = 0;
    for (char c : s) {
        if (!IsDigit(c)) return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > limit) return std::nullopt;
    }
    return v;
}

}  // namespace

std::string DefaultOutputName(const std::string& path, std::string_view suffix) {
    return GetPathNoExt(path) + std::string(suffix) + GetExtLower(path);
}

std::string ReplaceExtension(const std::string& path, std::string_view ext) {
    return GetPathNoExt(path) + std::string(ext);
}

void AssignSourceFile(CreatorFields& f, const std::string& path, std::string_view outputExt,
                      std::string_view audioExt) {
    if (EqualsIgnoreAsciiCase(GetExtLower(path), audioExt)) {
        f.audioSource = path;
        return;
    }
    f.videoSource = path;
    f.output = GetPathNoExt(path) + std::string(kSuffixUnion) + std::string(outputExt);
}

void SetInputFile(CutterFields& f, const std::string& path) {
    f.input = path;
    f.output = DefaultOutputName(path, kSuffixCut);
}

void SetInputFile(LinkerFields& f, const std::string& path) {
    if (f.files.empty()) f.output = DefaultOutputName(path, kSuffixLink);
    f.files.push_back(path);
}

void RemoveEntry(LinkerFields& f, int index) {
    if (index < 0 || size_t(index) >= f.files.size()) return;
    f.files.erase(f.files.begin() + index);
    if (f.files.empty()) f.output.clear();
}

void ResetList(LinkerFields& f) {
    f.files.clear();
    f.output.clear();
}

void SetInputFile(ExtractFields& f, const std::string& path) {
    f.input = path;
    f.output = DefaultOutputName(path, kSuffixExtract);
}

const TimeFieldSpec& GetTimeFieldSpec(TimeField field) {
    return kSpecs[size_t(field)];
}

int& TimeFieldValue(ExtractFields& f, TimeField field) {
    switch (field) {
        case TimeField::StartHours:
            return f.start.hours;
        case TimeField::StartMinutes:
            return f.start.minutes;
        case TimeField::StartSeconds:
            return f.start.seconds;
        case TimeField::StartMilliseconds:
            return f.start.milliseconds;
        case TimeField::EndHours:
            return f.end.hours;
        case TimeField::EndMinutes:
            return f.end.minutes;
        case TimeField::EndSeconds:
            return f.end.seconds;
        case TimeField::EndMilliseconds:
            break;
    }
    return f.end.milliseconds;
}

int TimeFieldValue(const ExtractFields& f, TimeField field) {
    return TimeFieldValue(const_cast<ExtractFields&>(f), field);
}

bool IsTimeFieldCharAccepted(uint32_t ch) {
    return ch == 8 || ch == 9 || (ch >= '0' && ch <= '9');
}

std::string RangeMessage(int min, int max) {
    std::string lo = std::to_string(min), hi = std::to_string(max);
    return SelectByLanguage(lo + " から " + hi + " までの整数を入力してください。",
                            "Please enter an integer between " + lo + " and " + hi + ".");
}

std::string IntegerMessage() {
    return SelectByLanguage("整数を入力してください。", "Please enter an integer.");
}

bool ParseIntField(std::string_view text, int* value) {
    size_t i = 0, n = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < n && blank(text[i])) ++i;
    while (n > i && blank(text[n - 1])) --n;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Magnitude up to 2147483648 so that the smallest int still parses.
    auto v = Digits(text.substr(i, n - i), int64_t(kIntMax) + 1);
    if (!v) return false;
    int64_t signedValue = negative ? -*v : *v;
    if (signedValue > kIntMax) return false;
    if (value) *value = int(signedValue);
    return true;
}

std::optional<TimeFieldError> CheckTimeFields(const ExtractFields& f) {
    for (const TimeFieldSpec& rule : kSpecs) {
        int v = TimeFieldValue(f, rule.field);
        if (v < rule.min || v > rule.max) return TimeFieldError{rule.field, RangeMessage(rule.min, rule.max)};
    }
    return std::nullopt;
}

std::optional<int64_t> ParseCliTime(std::string_view text) {
    // Largest time the fields can hold.
    const int64_t maxMs = ToMilliseconds(TimeFields{kIntMax, 59, 59, 999});
    int64_t ms = 0;
    std::string_view whole = text;
    size_t dot = text.find('.');
    if (dot != std::string_view::npos) {
        std::string_view frac = text.substr(dot + 1);
        if (frac.empty() || frac.size() > 3) return std::nullopt;
        auto f = Digits(frac, 999);
        if (!f) return std::nullopt;
        int64_t scaled = *f;
        for (size_t i = frac.size(); i < 3; ++i) scaled *= 10;
        ms = scaled;
        whole = text.substr(0, dot);
    }
    std::string_view parts[3];
    int count = 0;
    size_t pos = 0;
    while (true) {
        if (count == 3) return std::nullopt;
        size_t colon = whole.find(':', pos);
        if (colon == std::string_view::npos) {
            parts[count++] = whole.substr(pos);
            break;
        }
        parts[count++] = whole.substr(pos, colon - pos);
        pos = colon + 1;
    }
    // The leading part may be large; the ones after it are below 60.
    const int64_t bigLimit = maxMs / 1000;
    int64_t seconds = 0;
    for (int i = 0; i < count; ++i) {
        auto v = Digits(parts[i], i == 0 ? bigLimit : 59);
        if (!v) return std::nullopt;
        seconds = seconds * 60 + *v;
        if (seconds > bigLimit) return std::nullopt;
    }
    ms += seconds * 1000;
    if (ms > maxMs) return std::nullopt;
    return ms;
}

std::string FormatCliTime(int64_t ms) {
    TimeFields t = FromMilliseconds(ms);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d.%03d", t.hours, t.minutes, t.seconds, t.milliseconds);
    return buf;
}

OpJob JobOf(const CreatorFields& f) {
    OpJob job;
    job.operation = Operation::Union;
    job.inputs = {f.videoSource, f.audioSource};
    job.output = f.output;
    return job;
}

OpJob JobOf(const CutterFields& f, SeparateStream stream) {
    OpJob job;
    job.operation = Operation::Separate;
    job.stream = stream;
    job.inputs = {f.input};
    job.output = f.output;
    return job;
}

OpJob JobOf(const LinkerFields& f) {
    OpJob job;
    job.operation = Operation::Join;
    job.inputs = f.files;
    job.output = f.output;
    return job;
}

OpJob JobOf(const ExtractFields& f) {
    OpJob job;
    job.operation = Operation::Extract;
    job.inputs = {f.input};
    job.output = f.output;
    job.start = f.start;
    job.end = f.end;
    return job;
}

}  // namespace vt
