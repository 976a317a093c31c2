// The open hours as instants, and the daily pair seen through the same lookups.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "model/open_calendar.hpp"
#include "model/open_hours.hpp"
#include "test_support.hpp"

namespace {

using namespace tourwright;
using namespace tourwright::test_support;

DateTime h(std::int64_t hours) { return instant(hours * 3600); }

// [08:00, 12:00), [13:00, 17:00) and, the next day, [08:00, 09:00).
OpenCalendar week() { return OpenCalendar({{h(8), h(12)}, {h(13), h(17)}, {h(32), h(33)}}); }

TEST(OpenCalendar, RefusesEmptyOverlappingTouchingOrUnorderedIntervals) {
    const std::string refused = "assertion failed: open intervals ascend, each non-empty";
    EXPECT_EQ(panic_message([] { OpenCalendar({}); }), refused);
    EXPECT_EQ(panic_message([] { OpenCalendar({{h(8), h(8)}}); }), refused);
    EXPECT_EQ(panic_message([] { OpenCalendar({{h(8), h(12)}, {h(12), h(13)}}); }), refused);
    EXPECT_EQ(panic_message([] { OpenCalendar({{h(13), h(14)}, {h(8), h(12)}}); }), refused);
}

TEST(OpenCalendar, ClosedForWaitsUntilTheNextOpeningAndNotPastTheLast) {
    const OpenCalendar calendar = week();
    EXPECT_EQ(calendar.closed_for(h(7)), hours(1));
    EXPECT_EQ(calendar.closed_for(h(8)), TimeDelta::zero());
    EXPECT_EQ(calendar.closed_for(h(12)), hours(1));  // a closing instant is closed
    EXPECT_EQ(calendar.closed_for(h(17)), hours(15));
    EXPECT_EQ(calendar.closed_for(h(33)), TimeDelta::zero());
    EXPECT_EQ(calendar.closing_after(h(14)), h(17));
    EXPECT_EQ(calendar.closing_after(h(40)), std::nullopt);
}

TEST(OpenCalendar, RoomForIsTheFirstInstantFromWhichTheLengthMeetsNoClosing) {
    const OpenCalendar calendar = week();
    EXPECT_EQ(calendar.room_for(h(9), hours(3)), h(9));
    EXPECT_EQ(calendar.room_for(h(10), hours(3)), h(13));
    EXPECT_EQ(calendar.room_for(h(10), hours(4)), h(13));
    EXPECT_EQ(calendar.room_for(h(10), hours(5)), h(33));  // none long enough: the last end
    EXPECT_EQ(calendar.room_for(h(40), hours(5)), h(40));
}

TEST(OpenHours, TheDailyPairAnswersAsTheCalendarOfItsDays) {
    const OperationTimes daily(tod(8), tod(17));
    const OpenHours hours_of_day(&daily);
    const OpenCalendar days({{h(8), h(17)}, {h(32), h(41)}});
    const OpenHours calendar_hours(&days);
    for (const std::int64_t at : {0, 8, 12, 17, 20}) {
        EXPECT_EQ(hours_of_day.closed_for(h(at)), calendar_hours.closed_for(h(at))) << at;
        if (hours_of_day.closed_for(h(at)) == TimeDelta::zero()) {
            EXPECT_EQ(hours_of_day.until_closing(h(at)), calendar_hours.until_closing(h(at)));
        }
        EXPECT_EQ(hours_of_day.room_for(h(at), hours(6)), calendar_hours.room_for(h(at), hours(6)))
            << at;
    }
    // Longer than any opening: the next opening, where the calendar has no interval left.
    EXPECT_EQ(hours_of_day.room_for(h(9), hours(10)), h(32));
    EXPECT_EQ(OpenHours().until_closing(h(3)), std::nullopt);
    EXPECT_EQ(OpenHours().room_for(h(3), hours(1)), h(3));
}

}  // namespace
