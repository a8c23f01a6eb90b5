// The checker's results for programs, check.json: one JSON object of named sections. Its
// fields are defined once for the scripts in tools/results.py, which reads them; a test holds
// this writer against that reader through a golden file (tests/checker/golden/).
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "options.h"
#include "pictures.h"
#include "record.h"
#include "verdict.h"

// One JSON value. A scalar is written when it is made; an object keeps its fields in the order
// they were added.
class JsonValue {
  public:
    static JsonValue Null() { return JsonValue("null"); }
    static JsonValue Int(long long n) { return JsonValue(std::to_string(n)); }
    // A number with this many decimals.
    static JsonValue Fixed(double n, int decimals);
    static JsonValue Text(const std::string& text);
    // A path, or null when it is empty (the file was not written).
    static JsonValue Path(const std::string& path);
    static JsonValue TextList(const std::vector<std::string>& texts);
    static JsonValue Object() { return JsonValue(""); }
    // JSON written elsewhere, as it stands (null when empty).
    static JsonValue Raw(const std::string& json) {
        return JsonValue(json.empty() ? "null" : json);
    }

    // Adds a field to an object.
    JsonValue& Add(const std::string& key, JsonValue value);
    // On one line; an object at the top, one field a line.
    std::string Write(bool top = false) const;

  private:
    explicit JsonValue(std::string scalar) : scalar_(std::move(scalar)) {}
    std::string scalar_; // empty for an object
    std::vector<std::pair<std::string, JsonValue>> fields_;
};

// When the watch ran.
struct RunTimes {
    double seconds;        // how long it watched
    double started, ended; // seconds since 1970
    double cpu;            // the checker's own processor time while it watched: what watching costs
};

// The sections, each a place's or the run's.
JsonValue FramesSection(const Tally& t);
JsonValue FirstBadSection(const Tally& t, const std::string& picture);
JsonValue PicturesSection(const Pictures& pictures);
JsonValue PresentedSection(const PlaceRecord& presented, Verdict verdict, const Pictures& pictures);
JsonValue WindowSection(const PlaceRecord& window, Verdict verdict);

// The whole of check.json. `presented` is null where the renderer keeps no drawable of its own;
// `window` is null where no compositing manager composes the screen (`compositor`, its name);
// `accounting` is the accounting of the presents as JSON (accounting_out.h), empty without one,
// and `timeline` the path of its picture.
JsonValue CheckResults(const Options& o, const Verdicts& verdicts, const std::string& line,
                       const RunTimes& times, const PlaceRecord& shown,
                       const PlaceRecord* presented, const Pictures& pictures,
                       const PlaceRecord* window = nullptr, const std::string& compositor = "",
                       const std::string& accounting = "", const std::string& timeline = "");

// Writes the results to `path`; false when it could not.
bool WriteResults(const std::string& path, const JsonValue& results);
