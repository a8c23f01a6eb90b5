#include "accounting_out.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Ms(double seconds) { return seconds < 0 ? "null" : Format("%.2f", seconds * 1e3); }

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Escapes what XML gives a meaning to.
std::string Xml(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    return out;
}

bool Named(const PictureAccount& p) {
    return !p.present || p.outOfOrder || p.frames.size() != 1 || p.frames[0] != p.present;
}

std::string Count(int n, const char* what) { return std::to_string(n) + " " + what; }

} // namespace

std::string AccountingJson(const Accounting& a, size_t maxNamed) {
    std::string json = "{\"presented\": " + std::to_string(a.presented) +
                       ", \"shown\": " + std::to_string(a.shown) +
                       ", \"dropped\": " + std::to_string(a.dropped) +
                       ", \"repeated\": " + std::to_string(a.repeated) +
                       ", \"stale\": " + std::to_string(a.stale) +
                       ", \"drawn_over\": " + std::to_string(a.drawnOver) +
                       ", \"out_of_order\": " + std::to_string(a.outOfOrder) +
                       ", \"unmatched\": " + std::to_string(a.unmatched) +
                       ", \"unread\": " + std::to_string(a.unread);
    json += ", \"latency_ms\": {\"median\": " + Ms(a.latencyMedian) +
            ", \"p95\": " + Ms(a.latencyP95) + ", \"max\": " + Ms(a.latencyMax) +
            ", \"low_median\": " + Ms(a.lowMedian) + ", \"low_p95\": " + Ms(a.lowP95) +
            ", \"low_max\": " + Ms(a.lowMax) + ", \"slack\": " + Ms(a.latencySlack) + "}";
    json += ", \"line\": " + Quoted(AccountingLine(a)) + ", \"named\": [";
    size_t named = 0;
    for (size_t i = 0; i < a.pictures.size() && named < maxNamed; i++) {
        const PictureAccount& p = a.pictures[i];
        if (!Named(p))
            continue;
        std::string frames;
        for (long f : p.frames)
            frames += (frames.empty() ? "" : ", ") + std::to_string(f);
        json += std::string(named++ ? ", " : "") + "{\"picture\": " + std::to_string(i) +
                ", \"present\": " + std::to_string(p.present) + ", \"frames\": [" + frames +
                "], \"text\": " + Quoted(p.text) + "}";
    }
    return json + "]}";
}

std::string AccountingLine(const Accounting& a) {
    std::string line = Count(a.presented, a.presented == 1 ? "frame" : "frames") +
                       " presented: " + Count(a.shown, "shown") + ", " +
                       Count(a.dropped, "dropped");
    if (a.repeated)
        line += ", " + Count(a.repeated, "repeated without drawing");
    if (a.drawnOver)
        line += ", " + Count(a.drawnOver, "drawn over an earlier frame");
    if (a.stale)
        line += ", " + Count(a.stale, "holding an older frame (a stale buffer)");
    line += ", " + Count(a.outOfOrder, "out of order");
    if (a.unmatched)
        line += ", " + Count(a.unmatched, a.unmatched == 1 ? "picture" : "pictures") +
                " no single present held";
    if (a.latencyMedian >= 0)
        line += "; from Present to the screen " + Format("%.1f", a.latencyMedian * 1e3) +
                " ms median, " + Format("%.1f", a.latencyP95 * 1e3) +
                " ms at the 95th percentile, " + Format("%.1f", a.latencyMax * 1e3) +
                " ms at most (at least " + Format("%.1f", a.lowMedian * 1e3) + ", " +
                Format("%.1f", a.lowP95 * 1e3) + " and " + Format("%.1f", a.lowMax * 1e3) + " ms)";
    return line;
}

std::string AccountingTimelineSvg(const Accounting& a, const std::vector<AccountPicture>& pictures,
                                  const std::vector<bool>& bad) {
    const double WIDTH = 1600, LEFT = 90, RIGHT = 20, PRESENTS_Y = 50, PICTURES_Y = 130;
    double start = 0, end = 1;
    if (!a.presents.empty()) {
        start = a.presents.front().time;
        end = a.presents.back().time;
    }
    for (size_t i = 0; i < pictures.size() && i < a.pictures.size(); i++)
        if (a.pictures[i].present && pictures[i].seen >= start)
            end = std::max(end, pictures[i].seen);
    if (end <= start)
        end = start + 1;
    const double scale = (WIDTH - LEFT - RIGHT) / (end - start);
    auto X = [&](double t) { return Format("%.1f", LEFT + (t - start) * scale); };

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Format("%.0f", WIDTH) +
                      "\" height=\"200\" font-family=\"sans-serif\" font-size=\"12\">\n"
                      "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
                      "<text x=\"4\" y=\"54\">presents</text>\n"
                      "<text x=\"4\" y=\"134\">on screen</text>\n";
    // Time along the bottom, a tick every 0.1, 0.2, 0.5, 1, 2, 5 ... seconds: the first step
    // that leaves at most a dozen.
    double step = 0.1;
    for (int i = 0; (end - start) / step > 12; ++i)
        step *= i % 3 == 1 ? 2.5 : 2;
    for (double t = 0; t <= end - start; t += step)
        svg += "<line x1=\"" + X(start + t) + "\" y1=\"150\" x2=\"" + X(start + t) +
               "\" y2=\"156\" stroke=\"black\"/><text x=\"" + X(start + t) +
               "\" y=\"170\" text-anchor=\"middle\">" + Format("%.0f ms", t * 1e3) + "</text>\n";
    for (size_t i = 0; i < a.pictures.size() && i < pictures.size(); i++) {
        const PictureAccount& p = a.pictures[i];
        if (pictures[i].seen < start)
            continue;
        const bool isBad = i < bad.size() && bad[i];
        const char* colour = isBad ? "#d00000" : p.outOfOrder ? "#f08000" : "#208020";
        auto tied =
            std::lower_bound(a.presents.begin(), a.presents.end(), p.present,
                             [](const PresentAccount& q, long index) { return q.index < index; });
        if (p.present && tied != a.presents.end() && tied->index == p.present)
            svg += "<line x1=\"" + X(tied->time) + "\" y1=\"" + Format("%.0f", PRESENTS_Y + 8) +
                   "\" x2=\"" + X(pictures[i].seen) + "\" y2=\"" + Format("%.0f", PICTURES_Y - 8) +
                   "\" stroke=\"" + colour + "\" stroke-width=\"0.6\"/>\n";
        svg += "<rect x=\"" + X(pictures[i].seen) + "\" y=\"" + Format("%.0f", PICTURES_Y - 8) +
               "\" width=\"2\" height=\"16\" fill=\"" + colour + "\"><title>picture " +
               std::to_string(i) + ": " + Xml(p.text) + (isBad ? " (bad)" : "") +
               "</title></rect>\n";
    }
    for (const PresentAccount& p : a.presents) {
        const char* colour = p.fate == PresentFate::DROPPED    ? "#d00000"
                             : p.fate == PresentFate::REPEATED ? "#a0a0a0"
                             : p.stale                         ? "#a0a0a0"
                                                               : "#204080";
        std::string what = p.fate == PresentFate::DROPPED ? "dropped"
                           : p.fate == PresentFate::REPEATED
                               ? "repeated without drawing"
                               : "shown after " + Format("%.1f ms", p.latency * 1e3);
        svg += "<rect x=\"" + X(p.time) + "\" y=\"" + Format("%.0f", PRESENTS_Y - 8) +
               "\" width=\"2\" height=\"16\" fill=\"" + colour + "\"><title>frame " +
               std::to_string(p.index) + ": " + what +
               (p.stale ? ", an older frame's picture" : "") + "</title></rect>\n";
    }
    svg += "<text x=\"" + Format("%.0f", LEFT) + "\" y=\"20\">" + Xml(AccountingLine(a)) +
           "</text>\n<text x=\"" + Format("%.0f", LEFT) +
           "\" y=\"192\" fill=\"#555\">blue: shown; red: dropped or a bad picture; orange: out "
           "of order; grey: repeated or an older frame; lines tie each picture to its "
           "present</text>\n</svg>\n";
    return svg;
}
