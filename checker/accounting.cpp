#include "accounting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

#include "recorder/present_record.h"

namespace {

typedef std::array<int, 4> BoxKey;
typedef std::vector<BoxKey> SetKey;

BoxKey KeyOf(const AccountBox& b) { return BoxKey{b.y, b.x, b.width, b.height}; }

SetKey SetOf(const std::vector<AccountBox>& boxes, int dx = 0, int dy = 0) {
    SetKey set;
    for (const AccountBox& b : boxes)
        set.push_back(BoxKey{b.y + dy, b.x + dx, b.width, b.height});
    std::sort(set.begin(), set.end());
    return set;
}

bool Contains(const BoxKey& outer, const BoxKey& inner) {
    return inner[0] >= outer[0] && inner[1] >= outer[1] &&
           inner[0] + inner[3] <= outer[0] + outer[3] && inner[1] + inner[2] <= outer[1] + outer[2];
}

// A box seen again within this many presents of its last appearance is the same drawing, kept
// in the buffer (a clear that did not happen, a buffer presented again); farther apart it is a
// new one that happens to land in the same place (one chance in about 440,000 a frame).
const long ORIGIN_WINDOW = 8;

// How far back a box of a picture no present held whole is looked for.
const size_t PARTS_WINDOW = 64;

std::string Join(const std::vector<long>& frames) {
    std::string text;
    for (size_t i = 0; i < frames.size(); i++) {
        if (i)
            text += i + 1 == frames.size() ? " and " : ", ";
        text += std::to_string(frames[i]);
    }
    return text;
}

std::string BoxCount(size_t n) { return std::to_string(n) + (n == 1 ? " box: " : " boxes: "); }

struct Known {
    SetKey set;
    std::vector<long> origins; // per box of `set`, the frame that drew it
    // Frames whose boxes lie inside a region of this present's own without being it: a box drawn
    // over an older one that was not cleared, the two one black region.
    std::vector<long> under;
    long contentFrame = 0;
    bool repeat = false; // the same boxes as its predecessor
    bool stale = false;
    bool drawnOver = false;
};

// The words for a picture that is present `p` whole.
std::string Describe(const AccountPresent& p, const Known& k, long newestBefore, bool outOfOrder) {
    std::vector<long> own, older;
    for (long o : k.origins)
        (o == p.index ? own : older).push_back(o);
    older.insert(older.end(), k.under.begin(), k.under.end());
    std::sort(older.begin(), older.end());
    older.erase(std::unique(older.begin(), older.end()), older.end());
    std::string text = BoxCount(k.set.size());
    std::string frame = "frame " + std::to_string(p.index);
    if (k.set.empty()) {
        text += frame + " (it held no box)";
    } else if (older.empty()) {
        text += frame + (own.size() > 1 ? " drew them all" : "");
    } else if (!own.empty()) {
        std::vector<long> all = older;
        all.push_back(p.index);
        text += "frames " + Join(all) + " (" + frame + " was drawn over frame" +
                (older.size() > 1 ? "s " : " ") + Join(older);
        text += older.back() == p.index - 1 ? ")" : "'s picture: a stale buffer)";
    } else {
        text += "frame" + std::string(older.size() > 1 ? "s " : " ") + Join(older) +
                " again, presented as " + frame;
        long age = p.index - older.back();
        text += k.repeat ? " (presented without drawing)"
                         : " (a stale buffer, " + std::to_string(age) + " frames old)";
    }
    if (outOfOrder)
        text += ", shown after frame " + std::to_string(newestBefore) + ": out of order";
    return text;
}

double Rank(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(share * values.size()));
    return values[rank ? rank - 1 : 0];
}

} // namespace

Accounting Account(const std::vector<AccountPresent>& presents,
                   const std::vector<AccountPicture>& pictures, double watchStart, double watchEnd,
                   int offsetX, int offsetY) {
    Accounting a;
    // What each present held: its boxes' frames, and the presents by what they held.
    std::vector<Known> known(presents.size());
    std::map<BoxKey, std::pair<long, long>> lastSeen; // box -> (last present, its origin)
    std::map<SetKey, std::vector<size_t>> bySet;
    for (size_t i = 0; i < presents.size(); i++) {
        const AccountPresent& p = presents[i];
        Known& k = known[i];
        if (!p.read)
            continue;
        k.set = SetOf(p.boxes);
        for (const BoxKey& b : k.set) {
            auto last = lastSeen.find(b);
            long origin = p.index;
            if (last != lastSeen.end() && p.index - last->second.first <= ORIGIN_WINDOW)
                origin = last->second.second;
            k.origins.push_back(origin);
            k.contentFrame = std::max(k.contentFrame, origin);
        }
        for (size_t b = 0; b < k.set.size(); b++)
            lastSeen[k.set[b]] = {p.index, k.origins[b]};
        for (size_t b = 0; b < k.set.size(); b++)
            for (size_t j = i; k.origins[b] == p.index && j > 0 && i - j < ORIGIN_WINDOW; j--)
                for (size_t c = 0; c < known[j - 1].set.size(); c++)
                    if (known[j - 1].set[c] != k.set[b] && Contains(k.set[b], known[j - 1].set[c]))
                        k.under.push_back(known[j - 1].origins[c]);
        std::sort(k.under.begin(), k.under.end());
        k.under.erase(std::unique(k.under.begin(), k.under.end()), k.under.end());
        long own = std::count(k.origins.begin(), k.origins.end(), p.index);
        k.repeat = i > 0 && presents[i - 1].read && known[i - 1].set == k.set;
        k.stale = !k.set.empty() && !own && !k.repeat;
        k.drawnOver = own && (own < static_cast<long>(k.origins.size()) || !k.under.empty());
        bySet[k.set].push_back(i);
    }

    // Each picture: the newest present at or before it that held exactly its boxes; when that
    // present only repeated its predecessor, the first of the run of them, which is the one
    // whose picture it was.
    std::vector<double> firstSeen(presents.size(), -1), lowSeen(presents.size(), -1);
    long newestShown = 0;
    size_t newestMatched = 0;
    bool anyMatched = false;
    for (const AccountPicture& picture : pictures) {
        PictureAccount out{0, {}, false, ""};
        SetKey set = SetOf(picture.boxes, offsetX, offsetY);
        size_t match = presents.size();
        auto found = bySet.find(set);
        if (found != bySet.end())
            for (auto it = found->second.rbegin(); it != found->second.rend(); ++it)
                if (presents[*it].time <= picture.seen) {
                    match = *it;
                    break;
                }
        if (match < presents.size()) {
            while (match > 0 && known[match].repeat)
                match--;
            const Known& k = known[match];
            out.present = presents[match].index;
            for (const AccountBox& b : picture.boxes) {
                BoxKey key = KeyOf(b);
                key[0] += offsetY, key[1] += offsetX;
                size_t at = std::find(k.set.begin(), k.set.end(), key) - k.set.begin();
                out.frames.push_back(k.origins[at]);
            }
            out.outOfOrder = k.contentFrame < newestShown;
            out.text = Describe(presents[match], k, newestShown, out.outOfOrder);
            a.outOfOrder += out.outOfOrder;
            newestShown = std::max(newestShown, k.contentFrame);
            if (firstSeen[match] < 0) {
                firstSeen[match] = picture.seen;
                lowSeen[match] = std::max(picture.notBefore, presents[match].time);
            }
            if (!anyMatched || match > newestMatched)
                newestMatched = match;
            anyMatched = true;
        } else {
            // No present held this picture whole: each box is named by the newest present
            // before it that held a box around it (a picture of rows of several frames).
            a.unmatched++;
            size_t end = presents.size();
            while (end > 0 && presents[end - 1].time > picture.seen)
                end--;
            size_t begin = end > PARTS_WINDOW ? end - PARTS_WINDOW : 0;
            std::vector<long> named;
            bool orphan = false;
            for (const AccountBox& b : picture.boxes) {
                BoxKey key = KeyOf(b);
                key[0] += offsetY, key[1] += offsetX;
                long frame = 0;
                for (size_t i = end; i > begin && !frame; i--)
                    for (size_t j = 0; j < known[i - 1].set.size() && !frame; j++)
                        if (Contains(known[i - 1].set[j], key))
                            frame = known[i - 1].origins[j];
                out.frames.push_back(frame);
                if (frame)
                    named.push_back(frame);
                orphan |= !frame;
            }
            std::sort(named.begin(), named.end());
            named.erase(std::unique(named.begin(), named.end()), named.end());
            out.text = BoxCount(picture.boxes.size());
            if (picture.boxes.empty())
                out.text += "no frame to name";
            else if (!named.empty())
                out.text += "parts of frame" + std::string(named.size() > 1 ? "s " : " ") +
                            Join(named) + ", a picture no single present held";
            if (orphan)
                out.text += std::string(named.empty() ? "" : "; ") + "a box no present held";
        }
        a.pictures.push_back(out);
    }

    // The presents counted, and what became of each.
    size_t first = 0;
    while (first < presents.size() && presents[first].time < watchStart)
        first++;
    std::vector<double> latencies, lows;
    // Through the newest present shown; when none was, through the last before the watch's end.
    size_t end = anyMatched ? newestMatched + 1 : first;
    while (!anyMatched && end < presents.size() && presents[end].time <= watchEnd)
        end++;
    for (size_t i = first; i < end; i++) {
        if (!presents[i].read) {
            a.unread++;
            continue;
        }
        const Known& k = known[i];
        PresentAccount p{presents[i].index, presents[i].time, PresentFate::DROPPED, -1, -1,
                         k.contentFrame,    k.stale,          k.drawnOver};
        if (firstSeen[i] >= 0) {
            p.fate = PresentFate::SHOWN;
            p.latency = firstSeen[i] - presents[i].time;
            p.lowLatency = lowSeen[i] - presents[i].time;
            latencies.push_back(p.latency);
            lows.push_back(p.lowLatency);
            a.latencySlack = std::max(a.latencySlack, firstSeen[i] - lowSeen[i]);
        } else if (k.repeat) {
            p.fate = PresentFate::REPEATED;
        }
        a.presented++;
        a.shown += p.fate == PresentFate::SHOWN;
        a.dropped += p.fate == PresentFate::DROPPED;
        a.repeated += p.fate == PresentFate::REPEATED;
        a.stale += p.stale;
        a.drawnOver += p.drawnOver;
        a.presents.push_back(p);
    }
    if (!latencies.empty()) {
        a.latencyMedian = Rank(latencies, 0.5);
        a.latencyP95 = Rank(latencies, 0.95);
        a.latencyMax = Rank(latencies, 1.0);
        a.lowMedian = Rank(lows, 0.5);
        a.lowP95 = Rank(lows, 0.95);
        a.lowMax = Rank(lows, 1.0);
    }
    return a;
}

bool ReadPresentLog(const std::string& bytes, std::vector<AccountPresent>* presents,
                    std::string* error) {
    PresentFileHeader header;
    if (bytes.size() < sizeof header) {
        *error = "shorter than its header";
        return false;
    }
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.magic, PRESENT_MAGIC, sizeof header.magic) != 0) {
        *error = "not a present recorder's file";
        return false;
    }
    if (header.recordSize != sizeof(PresentRecord) || header.boxSlots != PRESENT_BOX_SLOTS) {
        *error = "records of another layout";
        return false;
    }
    if (header.qpcFrequency <= 0) {
        *error = "no counter frequency";
        return false;
    }
    presents->clear();
    for (size_t at = sizeof header; at + sizeof(PresentRecord) <= bytes.size();
         at += sizeof(PresentRecord)) {
        PresentRecord r;
        std::memcpy(&r, bytes.data() + at, sizeof r);
        AccountPresent p;
        p.index = r.index;
        p.time = static_cast<double>(r.qpcCall) / static_cast<double>(header.qpcFrequency);
        p.read = (r.flags & PRESENT_READ) && !(r.flags & PRESENT_OVERFLOW);
        for (int i = 0; p.read && i < r.boxCount; i++)
            p.boxes.push_back(
                AccountBox{r.boxes[i].x, r.boxes[i].y, r.boxes[i].width, r.boxes[i].height});
        presents->push_back(p);
    }
    return true;
}
