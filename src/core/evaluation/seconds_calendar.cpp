#include "evaluation/seconds_calendar.hpp"

#include <algorithm>

namespace tourwright {

std::optional<SecondsCalendar> SecondsCalendar::compile(const OpenCalendar& calendar) {
    SecondsCalendar compiled;
    std::int64_t open_so_far = 0;
    for (const OpenInterval& interval : calendar.intervals()) {
        if (interval.open.subsec_nanos() != 0 || interval.close.subsec_nanos() != 0)
            return std::nullopt;
        compiled.opens_.push_back(interval.open.unix_seconds());
        compiled.closes_.push_back(interval.close.unix_seconds());
        compiled.open_before_.push_back(open_so_far);
        open_so_far += compiled.closes_.back() - compiled.opens_.back();
    }
    compiled.open_before_.push_back(open_so_far);
    compiled.base_ = compiled.opens_.front();
    const std::int64_t span = compiled.closes_.back() - compiled.base_;
    const auto count = static_cast<std::int64_t>(compiled.opens_.size());
    while ((span >> compiled.shift_) > 4 * count) ++compiled.shift_;
    std::size_t k = 0;
    for (std::int64_t stretch = 0; stretch <= span >> compiled.shift_; ++stretch) {
        const std::int64_t begins = compiled.base_ + (stretch << compiled.shift_);
        while (k < compiled.closes_.size() && compiled.closes_[k] <= begins) ++k;
        compiled.first_of_.push_back(k);
    }
    return compiled;
}

std::int64_t SecondsCalendar::room(std::int64_t t, std::int64_t length) const {
    for (std::size_t k = first_closing_after(t); k < opens_.size(); ++k) {
        const std::int64_t from = std::max(t, opens_[k]);
        if (closes_[k] - from >= length) return from;
    }
    return std::max(t, closes_.back());
}

std::int64_t SecondsCalendar::open_before(std::int64_t t) const {
    const std::size_t k = first_closing_after(t);
    if (k == opens_.size()) return open_before_[k] + (t - closes_.back());
    return open_before_[k] + std::max<std::int64_t>(t - opens_[k], 0);
}

}  // namespace tourwright
