#include "pointer/cursor_stabilizer.h"
#include "pointer/runner.h"
#include "recording_io.h"

#include <gtest/gtest.h>

namespace {

Placements placeAll(CursorStabilizer& s, const Placements& raw) {
    RecordingIo rec;
    const PointerIo io = rec.io();
    for (const auto& [x, y] : raw)
        placeCursor(s, x, y, io);
    return rec.placements;
}

TEST(CursorStabilizer, PlacesTheMeanOfTheLastRawPositions) {
    struct Case {
        int32_t length;
        bool enable;
        Placements raw, placed;
    };
    const Case cases[] = {
        {5, false, {{1200, 600}, {-3, 7}, {1, 1}}, {{1200, 600}, {-3, 7}, {1, 1}}},
        // A fresh history of zeros pulls the first means toward the origin.
        {5,
         true,
         Placements(7, {1200, 600}),
         {{200, 100}, {400, 200}, {600, 300}, {800, 400}, {1000, 500}, {1200, 600}, {1200, 600}}},
        // Means truncate toward zero.
        {1, true, {{100, 100}, {101, 100}, {-3, -2}, {-2, -3}}, {{50, 50}, {100, 100}, {49, 49}, {-2, -2}}},
        // The history holds raw positions, not means: (0+0+300)/3, (0+300+600)/3, (300+600+900)/3.
        {2, true, {{300, 30}, {600, 60}, {900, 90}}, {{100, 10}, {300, 30}, {600, 60}}},
    };
    for (const Case& c : cases) {
        CursorStabilizer s = makeCursorStabilizer(c.length, c.enable);
        EXPECT_EQ(placeAll(s, c.raw), c.placed) << c.length;
    }
}

TEST(CursorStabilizer, UnusableLengthsPlaceDirectlyAndNeverOverrun) {
    for (int32_t n : {0, -1, -100}) {
        EXPECT_FALSE(stabilizerLengthUsable(n, true));
        EXPECT_TRUE(stabilizerLengthUsable(n, false));
        CursorStabilizer s = makeCursorStabilizer(n, true);
        EXPECT_TRUE(s.history.empty());
        EXPECT_EQ(placeAll(s, {{10, 20}, {-30, 40}}), (Placements{{10, 20}, {-30, 40}}));
    }
    EXPECT_TRUE(stabilizerLengthUsable(1, true));
}

TEST(CursorStabilizer, EveryPlacementOfAFrameIsASample) {
    // Two overlapping monitors both place in one frame; both positions enter the history.
    const auto screen = [](float left) {
        return makeDisplayPlane({-0.5f, 0.5f, -2}, {-0.5f, -0.5f, -2}, {0.5f, -0.5f, -2}, {0.5f, 0.5f, -2},
                                left, 0, left + 1000, 1000);
    };
    std::vector<DisplayPlane> displays{screen(0), screen(3000)};
    CursorStabilizer s = makeCursorStabilizer(1, true);
    RecordingIo rec;
    const PointerIo io = rec.io();
    pointAtDisplays(displays, {{0, 0, 0, 1}, {0, 0, -1}}, s, io);
    // (500 + 0) / 2, then (3500 + 500) / 2.
    EXPECT_EQ(rec.placements, (Placements{{250, 250}, {2000, 500}}));
}

TEST(FramePacing, OneWakeUpPerFrameAndFramesStartAtLeastFiveTicksApartAcrossTheWrap) {
    RecordingIo rec;
    const PointerIo io = rec.io();
    rec.now = 0xFFFFFFFEu;
    uint32_t start = rec.now;
    paceFrame(start, io);
    EXPECT_EQ(start, 3u);
    EXPECT_EQ(rec.sleeps, 1u);
    rec.now = 10; // a slow frame: no sleep at all
    paceFrame(start, io);
    EXPECT_EQ(start, 10u);
    EXPECT_EQ(rec.sleeps, 1u);
    rec.wakes_early_ms = 2; // the sleep cut short: the rest in 1 ms steps, to the tick
    paceFrame(start, io);
    EXPECT_EQ(start, 15u);
    EXPECT_EQ(rec.sleeps, 4u);
}

} // namespace
