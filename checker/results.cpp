#include "results.h"

#include <cstdio>

JsonValue JsonValue::Fixed(double n, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, n);
    return JsonValue(text);
}

JsonValue JsonValue::Text(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\', out += c;
        else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else
            out += c;
    }
    return JsonValue(out + "\"");
}

JsonValue JsonValue::Path(const std::string& path) { return path.empty() ? Null() : Text(path); }

JsonValue JsonValue::TextList(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); ++i)
        out += (i ? ", " : "") + Text(texts[i]).scalar_;
    return JsonValue(out + "]");
}

JsonValue& JsonValue::Add(const std::string& key, JsonValue value) {
    fields_.emplace_back(key, std::move(value));
    return *this;
}

std::string JsonValue::Write(bool top) const {
    if (!scalar_.empty())
        return scalar_;
    std::string out = top ? "{\n" : "{";
    for (size_t i = 0; i < fields_.size(); ++i) {
        out += top ? "  " : (i ? ", " : "");
        out += Text(fields_[i].first).scalar_ + ": " + fields_[i].second.Write();
        if (top)
            out += i + 1 < fields_.size() ? ",\n" : "\n";
    }
    return out + "}";
}

JsonValue FramesSection(const Tally& t) {
    return JsonValue::Object()
        .Add("judged", JsonValue::Int(t.judged))
        .Add("good", JsonValue::Int(t.good))
        .Add("bad", JsonValue::Int(t.bad))
        .Add("discarded", JsonValue::Int(t.discarded))
        .Add("blank", JsonValue::Int(t.blank))
        .Add("flashes", JsonValue::Int(t.flashes))
        .Add("torn", JsonValue::Int(t.torn))
        .Add("no_box", JsonValue::Int(t.noBox));
}

JsonValue FirstBadSection(const Tally& t, const std::string& picture) {
    if (t.firstBad < 0)
        return JsonValue::Null();
    return JsonValue::Object()
        .Add("index", JsonValue::Int(t.firstBad))
        .Add("description", JsonValue::Text(t.firstBadText))
        .Add("picture", JsonValue::Path(picture));
}

JsonValue PicturesSection(const Pictures& pictures) {
    return JsonValue::Object()
        .Add("last", JsonValue::Path(pictures.last))
        .Add("positions", JsonValue::Path(pictures.positions))
        .Add("first_bad", JsonValue::Path(pictures.firstBad))
        .Add("around_first_bad", JsonValue::TextList(pictures.around));
}

JsonValue WindowSection(const PlaceRecord& window, Verdict verdict) {
    const Tally& t = window.Frames();
    return JsonValue::Object()
        .Add("verdict", JsonValue::Text(VerdictName(verdict)))
        .Add("frames", FramesSection(t))
        .Add("distinct_positions", JsonValue::Int(static_cast<long long>(t.positions.size())))
        .Add("first_bad", FirstBadSection(t, ""));
}

// The renderer's own drawable: a place's section, with its last picture.
JsonValue PresentedSection(const PlaceRecord& presented, Verdict verdict,
                           const Pictures& pictures) {
    return WindowSection(presented, verdict)
        .Add("last_picture", JsonValue::Path(pictures.presentedLast));
}

JsonValue CheckResults(const Options& o, const Verdicts& verdicts, const std::string& line,
                       const RunTimes& times, const PlaceRecord& shown,
                       const PlaceRecord* presented, const Pictures& pictures,
                       const PlaceRecord* window, const std::string& compositor,
                       const std::string& accounting, const std::string& timeline) {
    const Tally& t = shown.Frames();
    double rate = times.seconds > 0 ? shown.Changes() / times.seconds : 0.0;
    JsonValue results = JsonValue::Object();
    results.Add("checker", JsonValue::Int(1))
        .Add("mode", JsonValue::Text(o.rate > 0 ? "sampled" : "every-frame"))
        .Add("verdict", JsonValue::Text(VerdictName(verdicts.shown)))
        .Add("line", JsonValue::Text(line))
        .Add("cpu_seconds", JsonValue::Fixed(times.cpu, 3))
        .Add("seconds", JsonValue::Fixed(times.seconds, 3))
        .Add("started", JsonValue::Fixed(times.started, 6))
        .Add("ended", JsonValue::Fixed(times.ended, 6))
        .Add("frames", FramesSection(t))
        .Add("distinct_positions", JsonValue::Int(static_cast<long long>(t.positions.size())))
        .Add("changes_per_second", JsonValue::Fixed(rate, 1))
        .Add("longest_still_ms", JsonValue::Int(static_cast<int>(shown.LongestStill() * 1000)))
        .Add("first_bad", FirstBadSection(t, pictures.firstBad))
        .Add("pictures", PicturesSection(pictures))
        .Add("presented", presented && verdicts.presented
                              ? PresentedSection(*presented, *verdicts.presented, pictures)
                              : JsonValue::Null())
        .Add("compositor", compositor.empty() ? JsonValue::Null() : JsonValue::Text(compositor))
        .Add("window", window && verdicts.window ? WindowSection(*window, *verdicts.window)
                                                 : JsonValue::Null())
        .Add("accounting", JsonValue::Raw(accounting))
        .Add("timeline", JsonValue::Path(timeline));
    return results;
}

bool WriteResults(const std::string& path, const JsonValue& results) {
    std::string text = results.Write(true) + "\n";
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}
