#pragma once

#include <QByteArray>

#include <array>

#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace draftwell::test {

// Broadcast pages as the DFX app sends them, built from engineering values.
struct LapFigures {
    int lap = 1;
    double cdA = 0.3;
    double cal = 1.0;
    double lapTime = 60.0; // s
    double dist = 500.0;   // m
    double head = 90.0;
    double chest = 100.0;
    double riderPwr = 250.0;
    bool valid = true;
};

inline void putLe16(QByteArray& b, int at, double scaled) {
    const auto v = static_cast<std::uint16_t>(std::lround(scaled));
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

inline QByteArray page0(const LapFigures& f) {
    QByteArray b(8, '\0');
    b[0] = static_cast<char>(f.lap & 0x3F);
    putLe16(b, 1, f.cdA * 10000);
    putLe16(b, 3, f.cal * 10000);
    const auto ms = static_cast<std::uint32_t>(std::lround(f.lapTime * 1000));
    b[5] = static_cast<char>(ms & 0xFF);
    b[6] = static_cast<char>((ms >> 8) & 0xFF);
    b[7] = static_cast<char>((ms >> 16) & 0xFF);
    return b;
}

inline QByteArray page1(const LapFigures& f) {
    QByteArray b(8, '\0');
    b[0] = static_cast<char>(0x40 | (f.lap & 0x3F));
    putLe16(b, 1, f.dist * 10);
    putLe16(b, 3, f.head * 10);
    putLe16(b, 5, f.chest * 10);
    b[7] = static_cast<char>(f.valid ? 1 : 0);
    return b;
}

inline QByteArray page2(const LapFigures& f) {
    QByteArray b(8, '\0');
    b[0] = static_cast<char>(0x80 | (f.lap & 0x3F));
    putLe16(b, 1, f.riderPwr * 10);
    return b;
}

// The three pages of one lap, in broadcast order.
inline std::array<QByteArray, 3> lapPages(const LapFigures& f) {
    return {page0(f), page1(f), page2(f)};
}

// One transmitter's laps, heard from the `startAfter`th page of the others on.
struct RiderLaps {
    std::optional<std::uint16_t> deviceNumber;
    std::vector<LapFigures> laps;
    int startAfter = 0;
};

// `count` laps numbered from `first`, each a little slower and draggier.
inline std::vector<LapFigures> lapsFrom(int first, int count, double cdA, double lapTime) {
    std::vector<LapFigures> laps;
    for (int i = 0; i < count; ++i) {
        LapFigures f;
        f.lap = first + i;
        f.cdA = cdA + 0.01 * i;
        f.cal = 1.0 + 0.02 * i;
        f.lapTime = lapTime + i;
        f.dist = 500.0 + 10 * i;
        f.riderPwr = 250.0 + 5 * i;
        laps.push_back(f);
    }
    return laps;
}

using RiderPage = std::pair<std::optional<std::uint16_t>, QByteArray>;

// The riders' pages in broadcast order, one page of each rider in turn.
inline std::vector<RiderPage> interleavedPages(const std::vector<RiderLaps>& riders) {
    std::vector<std::vector<QByteArray>> pages(riders.size());
    for (std::size_t r = 0; r < riders.size(); ++r) {
        for (const LapFigures& f : riders[r].laps) {
            pages[r].insert(pages[r].end(), {page0(f), page1(f), page2(f)});
        }
    }
    std::vector<RiderPage> out;
    std::vector<std::size_t> next(riders.size(), 0);
    for (int step = 0;; ++step) {
        bool left = false;
        for (std::size_t r = 0; r < riders.size(); ++r) {
            if (step >= riders[r].startAfter && next[r] < pages[r].size()) {
                out.emplace_back(riders[r].deviceNumber, pages[r][next[r]++]);
            }
            left = left || next[r] < pages[r].size();
        }
        if (!left) {
            return out;
        }
    }
}

} // namespace draftwell::test
